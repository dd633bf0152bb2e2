// The file dialog built from the shell controls: a shell combo for the
// folder to look in, an optional shell tree beside a shell list, a name
// edit, a file-type combo and the buttons, in place of the platform's common
// dialog.  TPTOpenDlg and TPTSaveDlg are the components a program places;
// TPTFrmOpenDlg is the form they show while they run.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classes.h"
#include "win/buttons.h"
#include "win/extctrls.h"
#include "win/forms.h"
#include "win/imagecombo.h"
#include "win/menus.h"
#include "win/ptsplitter.h"
#include "win/shellcombo.h"
#include "win/shelllist.h"
#include "win/shelltree.h"
#include "win/stdctrls.h"

// Exceptions of the dialog components (a second Execute while one runs).
MORVANE_EXCEPTION(EPTDialogError, Exception);

enum TPTOpenOption {
  ptofAllowMultiselect,
  ptofCreatePrompt,
  ptofExtensionDifferent,
  ptofFileMustExist,
  ptofHideReadOnly,
  ptofNoChangeDir,
  ptofNoDereferenceLinks,
  ptofNoReadOnlyReturn,
  ptofNoTestFileCreate,
  ptofNoValidate,
  ptofOverwritePrompt,
  ptofReadOnly,
  ptofPathMustExist,
  ptofShareAware,
  ptofShowHelp,
  ptofAllowTree,
  ptofShowTree,
  ptofShowHints,
  ptofHideFoldersInListWhenTreeVisible,
  ptofOleDrag,
  ptofOleDrop,
};
// Bit i is option i.
typedef uint32_t TPTOpenOptions;
inline TPTOpenOptions PtofBit(TPTOpenOption o) { return static_cast<TPTOpenOptions>(1u << o); }
// ptofHideReadOnly, ptofAllowTree, ptofShowHints, ptofOleDrag, ptofOleDrop.
enum : TPTOpenOptions { kDefaultOpenOptions = 1736720 };

class TPTFrmOpenDlg;

class TPTDialog : public TComponent {
 public:
  explicit TPTDialog(TComponent* AOwner) : TComponent(AOwner) {}

  // Runs the dialog; raises EPTDialogError "<class> already executing"
  // while a run is in progress.  The flag goes on every way out of a run.
  bool Execute();
  bool Executing() const { return executing_; }

  int FormWidth = -1;
  int FormHeight = -1;
  TWindowState FormWindowState = wsNormal;
  std::string Title;
  // Called once the form is set up, before it shows.
  TNotifyEvent OnInitialized;

  void PublishProperties(TPropList& list) const override;

 protected:
  virtual bool DoExecute() = 0;

 private:
  bool executing_ = false;
};

class TPTFileDlg : public TPTDialog {
 public:
  explicit TPTFileDlg(TComponent* AOwner);
  ~TPTFileDlg() override;

  TStrings& HistoryList() { return history_; }
  TPTOpenOptions Options = kDefaultOpenOptions;
  bool HasOption(TPTOpenOption o) const { return (Options & PtofBit(o)) != 0; }
  std::string DefaultExt;
  // The first selected file when there is one, else the name given.
  std::string FileName() const;
  void SetFileName(const std::string& v) { file_name_ = v; }
  std::string GetFileName() const { return FileName(); }
  // Every accepted file of the last run, with its full path.
  TStrings& Files() { return files_; }
  // "Description|masks|Description|masks..."
  std::string Filter;
  int FilterIndex = 1;
  int HelpContext = 0;
  std::string InitialDir;
  // Where the splitter was; negative while the tree was hidden.
  int FormSplitterPos = -1;

  const TPTShAddItemEvent& OnAddListItem() const { return on_add_list_item_; }
  void SetOnAddListItem(TPTShAddItemEvent v);
  const TPTShAddItemEvent& OnAddTreeItem() const { return on_add_tree_item_; }
  void SetOnAddTreeItem(TPTShAddItemEvent v);
  const TPTShAddItemEvent& OnAddComboItem() const { return on_add_combo_item_; }
  void SetOnAddComboItem(TPTShAddItemEvent v);
  TPTShLvCustomDrawEvent OnLvCustomDrawSh, OnLvCustomDrawShEx;
  TPTShTvCustomDrawEvent OnTvCustomDrawSh, OnTvCustomDrawShEx;
  THelpEvent OnHelp;

  // The form while it is shown, else null.
  TPTFrmOpenDlg* Form() const { return form_; }

  void PublishProperties(TPropList& list) const override;

 protected:
  bool DoExecute() override;
  virtual bool SaveVariant() const = 0;

 private:
  TStringList history_;
  std::string file_name_;
  TStringList files_;
  TPTShAddItemEvent on_add_list_item_, on_add_tree_item_, on_add_combo_item_;
  TPTFrmOpenDlg* form_ = nullptr;
};

class TPTOpenDlg : public TPTFileDlg {
 public:
  using TPTFileDlg::TPTFileDlg;

 protected:
  bool SaveVariant() const override { return false; }
};

class TPTSaveDlg : public TPTFileDlg {
 public:
  using TPTFileDlg::TPTFileDlg;

 protected:
  bool SaveVariant() const override { return true; }
};

// The dialog's form.  Built in code; its parts are public so that the
// program's tests can reach them.
class TPTFrmOpenDlg : public TForm {
 public:
  TPTFrmOpenDlg(TComponent* AOwner, TPTFileDlg* dialog, bool save);
  ~TPTFrmOpenDlg() override;

  TLabel* LookInTxt;
  TSpeedButton *UpOneLevelBtn, *CreateNewFolderBtn, *ShowTreeBtn, *ListBtn, *DetailsBtn;
  TPTShellCombo* PTShellCombo1;
  TPanel* Panel1;
  TLabel *FileNameTxt, *FilesOfTypeTxt;
  TEdit* FileNameEdt;
  TComboBox* FileNameCbx;
  TPTCombobox* FileTypesCbx;
  TButton *OpenBtn, *CancelBtn, *HelpBtn;
  TCheckBox* ReadOnlyChk;
  TPTSplitter* PTSplitter1;
  TPTShellTree* PTShellTree1;
  TPTShellList* PTShellList1;
  TPopupMenu* LvPopup;
  TMenuItem *View1Mitm, *LargeIcons1Mitm, *SmallIcons1Mitm, *List1Mitm, *Details1Mitm, *Paste1Mitm, *New1Mitm,
      *Folder1Mitm, *Properties1Mitm;

  // Set-up steps 1 to 7; the last calls the dialog's OnInitialized.
  void Setup();

  TPTOpenOptions Options() const { return options_; }
  bool TreeShown() const { return (options_ & PtofBit(ptofShowTree)) != 0; }
  const std::string& TypedMask() const { return typed_mask_; }
  bool NameFromList() const { return name_from_list_; }
  TStrings& AcceptedFiles() { return accepted_; }
  // The folder the names typed are taken in: the list's.
  std::string CurrentFolderPath();

  // Handlers.
  void ViewBtnClick(TObject* sender);
  void FormResize(TObject* sender);
  void PTShellList1Change(TObject* sender, TListItem* item, TItemChange change);
  void UpOneLevelBtnClick(TObject* sender);
  void ShowTreeBtnClick(TObject* sender);
  void FormDestroy(TObject* sender);
  void FormKeyDown(TObject* sender, WORD& key, TShiftState shift);
  void FormCloseQuery(TObject* sender, bool& canClose);
  void PTShellTree1Change(TObject* sender, TTreeNode* node);
  void FileTypesCbxSelEndOk(TObject* sender);
  void CreateNewFolderBtnClick(TObject* sender);
  void FileNameEdtChange(TObject* sender);
  void Paste1MitmClick(TObject* sender);
  void Properties1MitmClick(TObject* sender);
  void HelpBtnClick(TObject* sender);

  // Tree toggle: shows or hides the tree.
  void SetTreeShown(bool show);
  // The smallest size at which the top row, the list and the bottom panel
  // all stay whole and usable.
  void FitMinimumSize();
  // Opens a folder in the combo and, through it, in the list and tree.
  void OpenFolder(const std::string& path);

 private:
  void BuildControls();
  void BuildMenu();
  void LinkFollowers();
  void ApplyFilter(int index);
  void SetListFilter(const std::string& masks);
  bool CheckNames();
  // The name of one typed entry turned into a full path ("" = refused or
  // the dialog moved to a folder instead: 'stop' tells which).
  bool ResolveName(const std::string& name, bool single, std::string& path, bool& stop);
  bool TestFile(const std::string& path, TPTOpenOptions options);
  int Ask(unsigned id, const std::string& name, UINT flags);
  bool ExtensionRegistered(const std::string& ext);

  TPTFileDlg* dialog_;
  bool save_;
  TPTOpenOptions options_;
  std::string typed_mask_;
  TStringList accepted_;
  bool name_from_list_ = false;
  bool setting_name_ = false;
  bool closing_ = false;
  std::vector<std::string> filter_masks_;  // per file-type entry
};

// The form while one is shown.
extern TPTFrmOpenDlg* PTFrmOpenDlg;
