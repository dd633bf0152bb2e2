// The address book: names and e-mail addresses in a dBASE table beside the
// program, looked up by name to build the receiver list of the next e-mail,
// and edited on a page of their own.  Made the first time it is opened.
#pragma once

#include <string>

#include "dbtables.h"
#include "win/comctrls.h"
#include "win/dbctrls.h"
#include "win/extctrls.h"
#include "win/forms.h"
#include "win/stdctrls.h"

class TForm3 : public TForm {
 public:
  explicit TForm3(TComponent* AOwner);
  ~TForm3() override;

  TPageControl* pagectrl_Database;
  TTabSheet *page_Lookup, *page_DistributionLists, *page_EditDatabase;

  TLabel* label_LookupFilter;
  TEdit* edit_LookupFilter;
  TButton *button_TO, *button_CC, *button_BCC;
  TDBGrid* dbgrid_Lookup;
  TCheckBox *chkbox_FilterCaseInsensitive, *chkbox_LookupPartial;
  TLabel* label_Receivers;
  TListBox* listbox_Receivers;
  TButton *button_Remove, *button_RemoveAll, *button_Close, *button_Help;
  TCheckBox* chbox_HintsPageLookup;

  TLabel* label_DistributionLists;

  TButton *button_Insert, *button_EditDelete, *button_EditPrev, *button_EditNext;
  TGroupBox* group_EditEntry;
  TLabel *label_EditRealname, *label_EditEmail;
  TDBEdit *dbedit_Realname, *dbedit_Email;

  TCheckBox* chkbox_WindowOnTop;
  TTable* table_AddressBook;
  TDataSource* datasource_AddressBook;

  // Opens (and when missing first creates) the table and binds the
  // controls to it.  Raises when the table cannot be opened or created.
  void FormCreate();
  // Unbinds the controls and closes the table, posting a pending entry.
  void FormDestroy();

  // The table file: the program's base name + "_db2.dbf".
  static std::string TablePath();

  // Where the window's position mode is shown and read back at closing.
  TRadioGroup* PositionGroup = nullptr;

  // The handlers.
  void AddReceivers(int kind);
  void ApplyPageRules();
  void ApplyFilter();
  void InsertEntry();
  void RemoveReceiver();
  void RemoveAllReceivers();

 protected:
  void KeyUp(WORD& key, TShiftState shift) override;

 private:
  void FilterRecord(TDataSet* dataSet, bool& accept);
  void FormCloseQuery(bool& canClose);
  // Cancels a new record the user has typed nothing into; true when it did.
  bool DropUntouchedEntry();
  void FormHide();
  bool destroyed_ = false;
};

extern TForm3* Form3;

// Brings the address book up, creating it on first use (an information box
// and the offer of the engine installer when that fails).
void OpenAddressBook(TRadioGroup* positionGroup);
// Around a patch run: the window is hidden and shown again afterwards when
// it was visible.
void HideForRun();
void RestoreAfterRun();
