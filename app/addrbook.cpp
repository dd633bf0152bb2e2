#include "addrbook.h"

#include <windows.h>

#include <exception>

#include "receivers.h"
#include "settings.h"

TForm3* Form3 = nullptr;

namespace {

template <class T>
T* Place(TForm3* form, TWinControl* parent, const std::string& name, int left, int top, int width, int height) {
  T* c = new T(form);
  c->SetName(name);
  c->SetBounds(left, top, width, height);
  c->SetParent(parent);
  return c;
}

TButton* MakeButton(TForm3* form, TWinControl* parent, const std::string& name, const std::string& caption, int left,
                    int top) {
  TButton* b = Place<TButton>(form, parent, name, left, top, 75, 25);
  b->SetCaption(caption);
  return b;
}

TLabel* MakeLabel(TForm3* form, TWinControl* parent, const std::string& name, const std::string& caption, int left,
                  int top) {
  TLabel* l = Place<TLabel>(form, parent, name, left, top, 0, 0);
  l->SetCaption(caption);
  return l;
}

TCheckBox* MakeCheckBox(TForm3* form, TWinControl* parent, const std::string& name, const std::string& caption,
                        int left, int top, int width) {
  TCheckBox* c = Place<TCheckBox>(form, parent, name, left, top, width, 17);
  c->SetCaption(caption);
  return c;
}

TTabSheet* MakePage(TForm3* form, TPageControl* control, const std::string& name, const std::string& caption) {
  auto* page = new TTabSheet(form);
  page->SetName(name);
  page->SetCaption(caption);
  page->SetPageControl(control);
  return page;
}

// The window-system's upper case of the ANSI code page, so that letters
// beyond ASCII match their capitals too.
std::string AnsiUpper(std::string s) {
  if (!s.empty()) CharUpperBuffA(&s[0], static_cast<DWORD>(s.size()));
  return s;
}

const int kGridWidth = 430;
const int kButtonColumn = 452;

const char kEngineMissingText[] =
    "Sorry, you need to install BDE (Borland Database Engine) first, before you can access addressbook function. "
    "Note that it might take a few seconds for the installation to come up.";

// Starts the engine's installer through the command interpreter.  The
// folder comes from the registry and may hold blanks, so the program is
// quoted; the interpreter takes off the outer pair of quotes.
void StartEngineInstaller(const std::string& setup) {
  char comspec[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("COMSPEC", comspec, sizeof comspec);
  std::string interpreter = n > 0 && n < sizeof comspec ? std::string(comspec, n) : std::string("cmd.exe");
  std::string line = "\"" + interpreter + "\" /c \"\"" + setup + "\"\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi{};
  if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
}

bool visibleBeforeRun = false;

}  // namespace

TForm3::TForm3(TComponent* AOwner) : TForm(AOwner) {
  SetName("Form3");
  SetCaption("Morvane Universal Addressbook");
  SetBorderStyle(bsSingle);
  SetBorderIcons(biSystemMenu | biMinimize);
  SetClientSize(560, 420);
  // F1 is answered on key up, whichever control has the focus.
  KeyPreview = true;

  pagectrl_Database = Place<TPageControl>(this, this, "pagectrl_Database", 8, 8, 544, 380);
  page_Lookup = MakePage(this, pagectrl_Database, "page_Lookup", "Email Lookup");
  page_DistributionLists = MakePage(this, pagectrl_Database, "page_DistributionLists", "Distribution Lists");
  page_EditDatabase = MakePage(this, pagectrl_Database, "page_EditDatabase", "Edit Addressbook Database");

  // Lookup page.
  label_LookupFilter =
      MakeLabel(this, page_Lookup, "label_LookupFilter", " Type in the name you are looking for: ", 8, 8);
  edit_LookupFilter = Place<TEdit>(this, page_Lookup, "edit_LookupFilter", 8, 26, 240, 21);
  chkbox_FilterCaseInsensitive =
      MakeCheckBox(this, page_Lookup, "chkbox_FilterCaseInsensitive", "Case-Insensitive Search", 262, 18, 180);
  chkbox_LookupPartial = MakeCheckBox(this, page_Lookup, "chkbox_LookupPartial", "Partial Match", 262, 36, 180);
  button_TO = MakeButton(this, page_Lookup, "button_TO", "&To:", kButtonColumn, 56);
  button_CC = MakeButton(this, page_Lookup, "button_CC", "&Cc:", kButtonColumn, 86);
  button_BCC = MakeButton(this, page_Lookup, "button_BCC", "&Bcc:", kButtonColumn, 116);
  button_TO->SetTag(0);
  button_CC->SetTag(1);
  button_BCC->SetTag(2);
  dbgrid_Lookup = Place<TDBGrid>(this, page_Lookup, "dbgrid_Lookup", 8, 56, kGridWidth, 150);
  dbgrid_Lookup->SetOptions(dgRowSelect | dgMultiSelect);
  label_Receivers = MakeLabel(this, page_Lookup, "label_Receivers", " This message will be sent to: ", 8, 214);
  listbox_Receivers = Place<TListBox>(this, page_Lookup, "listbox_Receivers", 8, 232, kGridWidth, 80);
  button_Remove = MakeButton(this, page_Lookup, "button_Remove", "&Remove", kButtonColumn, 232);
  button_RemoveAll = MakeButton(this, page_Lookup, "button_RemoveAll", "Remove &All", kButtonColumn, 262);
  chbox_HintsPageLookup = MakeCheckBox(this, page_Lookup, "chbox_HintsPageLookup", "Show hints here", 8, 322, 160);
  button_Help = MakeButton(this, page_Lookup, "button_Help", "&Help", kButtonColumn - 83, 316);
  button_Close = MakeButton(this, page_Lookup, "button_Close", "&Close", kButtonColumn, 316);

  // Distribution lists: not there yet.
  label_DistributionLists = MakeLabel(this, page_DistributionLists, "label_DistributionLists",
                                      "Sorry, this feature is not yet implemented.", 16, 16);

  // Edit page.
  button_Insert = MakeButton(this, page_EditDatabase, "button_Insert", "Insert", 16, 16);
  button_EditDelete = MakeButton(this, page_EditDatabase, "button_EditDelete", "Remove", 99, 16);
  button_EditPrev = MakeButton(this, page_EditDatabase, "button_EditPrev", "&< Prev", 199, 16);
  button_EditNext = MakeButton(this, page_EditDatabase, "button_EditNext", "Next &>", 282, 16);
  group_EditEntry = Place<TGroupBox>(this, page_EditDatabase, "group_EditEntry", 16, 56, 500, 120);
  group_EditEntry->SetCaption(" Edit this entry: ");
  label_EditRealname = MakeLabel(this, group_EditEntry, "label_EditRealname", "Realname", 16, 28);
  dbedit_Realname = Place<TDBEdit>(this, group_EditEntry, "dbedit_Realname", 110, 24, 370, 21);
  label_EditEmail = MakeLabel(this, group_EditEntry, "label_EditEmail", "Email address", 16, 64);
  dbedit_Email = Place<TDBEdit>(this, group_EditEntry, "dbedit_Email", 110, 60, 370, 21);

  chkbox_WindowOnTop =
      MakeCheckBox(this, this, "chkbox_WindowOnTop", "This window is always on top", 12, 396, 260);
  chkbox_WindowOnTop->SetChecked(true);
  SetFormStyle(fsStayOnTop);

  table_AddressBook = new TTable(this);
  table_AddressBook->SetName("table_AddressBook");
  datasource_AddressBook = new TDataSource(this);
  datasource_AddressBook->SetName("datasource_AddressBook");

  // Events.
  auto addAs = [this](TButton* b) { b->OnClick = [this, b](TObject*) { AddReceivers(b->Tag()); }; };
  addAs(button_TO);
  addAs(button_CC);
  addAs(button_BCC);
  dbgrid_Lookup->OnDblClick = [this](TObject*) { AddReceivers(0); };
  edit_LookupFilter->OnChange = [this](TObject*) { ApplyFilter(); };
  edit_LookupFilter->OnKeyDown = [this](TObject*, WORD& key, TShiftState) {
    if (key == VK_RETURN) {
      key = 0;
      AddReceivers(0);
    }
  };
  edit_LookupFilter->OnKeyPress = [](TObject*, char& key) {
    if (key == '\r') key = 0;
  };
  chkbox_FilterCaseInsensitive->OnClick = [this](TObject*) { ApplyFilter(); };
  chkbox_LookupPartial->OnClick = [this](TObject*) { ApplyFilter(); };
  button_Remove->OnClick = [this](TObject*) { RemoveReceiver(); };
  button_RemoveAll->OnClick = [this](TObject*) { RemoveAllReceivers(); };
  button_Close->OnClick = [this](TObject*) { Close(); };
  button_Help->OnClick = [this](TObject*) { Application->ContextHelp(this); };
  chbox_HintsPageLookup->OnClick = [this](TObject*) {
    page_Lookup->SetShowHint(chbox_HintsPageLookup->Checked());
  };
  page_Lookup->SetShowHint(false);
  chkbox_WindowOnTop->OnClick = [this](TObject*) {
    SetFormStyle(chkbox_WindowOnTop->Checked() ? fsStayOnTop : fsNormal);
  };
  button_Insert->OnClick = [this](TObject*) { InsertEntry(); };
  button_EditPrev->OnClick = [this](TObject*) {
    DropUntouchedEntry();
    table_AddressBook->Prior();
  };
  button_EditNext->OnClick = [this](TObject*) {
    DropUntouchedEntry();
    table_AddressBook->Next();
  };
  button_EditDelete->OnClick = [this](TObject*) {
    if (!table_AddressBook->IsEmpty() || table_AddressBook->State() == dsInsert) table_AddressBook->Delete();
  };
  // An entry typed on the edit page is posted before another page shows;
  // when it cannot be (a required field is empty) the page stays, so that
  // it can be completed instead of being lost.
  pagectrl_Database->OnChanging = [this](TObject*, bool& allow) {
    if (pagectrl_Database->ActivePage() != page_EditDatabase || !table_AddressBook->Active()) return;
    DropUntouchedEntry();
    try {
      table_AddressBook->CheckBrowseMode();
    } catch (const std::exception& e) {
      allow = false;
      Application->ShowException(e);
    }
  };
  pagectrl_Database->OnChange = [this](TObject*) { ApplyPageRules(); };
  table_AddressBook->OnFilterRecord = [this](TDataSet* ds, bool& accept) { FilterRecord(ds, accept); };
  OnCloseQuery = [this](TObject*, bool& canClose) { FormCloseQuery(canClose); };
  OnClose = [this](TObject*, TCloseAction& action) { action = caHide; };
  // Closed, or hidden for a patch run: the place is kept either way.
  OnHide = [this](TObject*) { FormHide(); };
  OnDestroy = [this](TObject*) { FormDestroy(); };
}

TForm3::~TForm3() {
  FormDestroy();
  // The base class would run it again once this class is gone.
  OnDestroy = nullptr;
  if (Form3 == this) Form3 = nullptr;
}

std::string TForm3::TablePath() {
  std::string exe = Application->ExeName();
  return ChangeFileExt(exe, "") + "_db2.dbf";
}

void TForm3::FormCreate() {
  TTable* t = table_AddressBook;
  t->SetTableName(TablePath());
  t->FieldDefs().Clear();
  t->FieldDefs().Add("REALNAME", ftString, 150, true);
  t->FieldDefs().Add("EMAIL", ftString, 150, true);
  t->FieldDefs().Add("ID", ftInteger, 0, true);
  // Only a missing file is made: anything else at that name (a damaged
  // table, a foreign file, a folder) is refused by Open and left as it is.
  if (GetFileAttributesA(t->TableName().c_str()) == INVALID_FILE_ATTRIBUTES) t->CreateTable();
  t->SetFilterOptions(foCaseInsensitive);
  t->Open();
  datasource_AddressBook->SetDataSet(t);
  dbedit_Realname->SetDataSource(datasource_AddressBook);
  dbedit_Realname->SetDataField("REALNAME");
  dbedit_Email->SetDataSource(datasource_AddressBook);
  dbedit_Email->SetDataField("EMAIL");
  dbgrid_Lookup->Columns().Clear();
  TColumn* name = dbgrid_Lookup->Columns().Add();
  name->SetFieldName("REALNAME");
  name->SetTitle("Realname");
  name->SetWidth(200);
  TColumn* mail = dbgrid_Lookup->Columns().Add();
  mail->SetFieldName("EMAIL");
  mail->SetTitle("Email address");
  mail->SetWidth(dbgrid_Lookup->Width() - 203);
  dbgrid_Lookup->SetDataSource(datasource_AddressBook);
  pagectrl_Database->SetActivePage(page_Lookup);
  ApplyPageRules();
  RefreshReceivers();
}

void TForm3::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  // A typed entry is kept when it can be; one that cannot be stored (a
  // required field empty) is given up, as the window is going.
  if (table_AddressBook->Active()) {
    try {
      table_AddressBook->CheckBrowseMode();
    } catch (const std::exception&) {
      table_AddressBook->Cancel();
    }
  }
  dbedit_Realname->SetDataSource(nullptr);
  dbedit_Realname->SetDataField("");
  dbedit_Email->SetDataSource(nullptr);
  dbedit_Email->SetDataField("");
  dbgrid_Lookup->SetDataSource(nullptr);
  dbgrid_Lookup->Columns().Clear();
  datasource_AddressBook->SetDataSet(nullptr);
  try {
    table_AddressBook->Close();
  } catch (const std::exception&) {
  }
  if (Form3 == this) Form3 = nullptr;
}

void TForm3::FilterRecord(TDataSet* ds, bool& accept) {
  accept = true;
  if (pagectrl_Database->ActivePage() != page_Lookup) return;
  std::string filter = edit_LookupFilter->Text();
  if (filter.empty()) return;
  std::string name = ds->FieldByName("REALNAME")->AsString();
  std::string mail = ds->FieldByName("EMAIL")->AsString();
  if (chkbox_FilterCaseInsensitive->Checked()) {
    filter = AnsiUpper(filter);
    name = AnsiUpper(name);
    mail = AnsiUpper(mail);
  }
  const bool partial = chkbox_LookupPartial->Checked();
  auto matches = [&](const std::string& value) {
    return partial ? value.find(filter) != std::string::npos : value.compare(0, filter.size(), filter) == 0;
  };
  accept = matches(name) || matches(mail);
}

void TForm3::ApplyFilter() {
  if (!table_AddressBook->Active() || pagectrl_Database->ActivePage() != page_Lookup) return;
  table_AddressBook->SetFiltered(true);
}

void TForm3::ApplyPageRules() {
  const bool lookup = pagectrl_Database->ActivePage() == page_Lookup;
  if (table_AddressBook->Active()) {
    if (!lookup) table_AddressBook->CheckBrowseMode();
    table_AddressBook->SetFiltered(lookup);
  }
  dbedit_Realname->SetEnabled(!lookup);
  dbedit_Email->SetEnabled(!lookup);
  dbgrid_Lookup->SetEnabled(lookup);
  if (lookup && Visible() && edit_LookupFilter->CanFocus()) edit_LookupFilter->SetFocus();
}

void TForm3::AddReceivers(int kind) {
  TTable* t = table_AddressBook;
  if (!t->Active()) return;
  std::vector<TBookmark> rows = dbgrid_Lookup->SelectedRows();
  TBookmark keep = t->Bookmark();
  t->DisableControls();
  try {
    for (TBookmark bm : rows) {
      if (!t->BookmarkValid(bm)) continue;
      t->SetBookmark(bm);
      const int id = t->FieldByName("ID")->AsInteger();
      ReceiverEntry* r = FindReceiver(id);
      if (!r) {
        r = Receivers.Append(new ReceiverEntry);
        r->Identifier = id;
      }
      r->Email = t->FieldByName("EMAIL")->AsString();
      r->Name = t->FieldByName("REALNAME")->AsString();
      r->Kind = static_cast<uint8_t>(kind);
    }
    if (keep >= 0 && t->BookmarkValid(keep)) t->SetBookmark(keep);
  } catch (...) {
    t->EnableControls();
    RefreshReceivers();
    throw;
  }
  t->EnableControls();
  if (edit_LookupFilter->CanFocus()) edit_LookupFilter->SetFocus();
  edit_LookupFilter->SelectAll();
  RefreshReceivers();
}

void TForm3::RemoveReceiver() {
  const int i = listbox_Receivers->ItemIndex();
  if (i < 0) return;
  Receivers.Delete(i);
  RefreshReceivers();
}

void TForm3::RemoveAllReceivers() {
  Receivers.Clear();
  RefreshReceivers();
}

void TForm3::InsertEntry() {
  TTable* t = table_AddressBook;
  // An entry typed in full is kept, as a page change or Next would keep
  // it: Insert is how one enters several in a row. Only one that cannot be
  // stored (a required field still empty) is given up for the new one.
  if (t->State() == dsInsert) {
    try {
      t->Post();
    } catch (const std::exception&) {
      t->Cancel();
    }
  }
  int largest = 0;
  t->DisableControls();
  try {
    for (t->First(); !t->Eof(); t->Next()) largest = std::max(largest, t->FieldByName("ID")->AsInteger());
  } catch (...) {
    t->EnableControls();
    throw;
  }
  t->EnableControls();
  t->Append();
  t->FieldByName("ID")->SetAsInteger(largest + 1);
  if (dbedit_Realname->CanFocus()) dbedit_Realname->SetFocus();
}

bool TForm3::DropUntouchedEntry() {
  TTable* t = table_AddressBook;
  if (!t->Active() || t->State() != dsInsert) return false;
  // Insert alone gives the record nothing but its ID: the user has not
  // begun an entry, so there is nothing to complete or to warn about.
  if (!dbedit_Realname->Text().empty() || !dbedit_Email->Text().empty() ||
      !t->FieldByName("REALNAME")->AsString().empty() || !t->FieldByName("EMAIL")->AsString().empty())
    return false;
  t->Cancel();
  return true;
}

void TForm3::FormCloseQuery(bool& canClose) {
  // A typed entry is posted rather than lost with the window; one that
  // cannot be stored yet keeps the window open.
  if (!table_AddressBook->Active()) return;
  DropUntouchedEntry();
  try {
    table_AddressBook->CheckBrowseMode();
  } catch (const std::exception& e) {
    canClose = false;
    Application->ShowException(e);
  }
}

void TForm3::FormHide() {
  if (PositionGroup) StoreClosingWindowPosition(this, PositionGroup->ItemIndex());
}

void TForm3::KeyUp(WORD& key, TShiftState shift) {
  if (key == VK_F1) Application->ContextHelp(this);
  TForm::KeyUp(key, shift);
}

// ---------------------------------------------------------------------------

void OpenAddressBook(TRadioGroup* positionGroup) {
  if (!Form3) {
    TForm3* form = new TForm3(Application);
    try {
      form->FormCreate();
    } catch (const std::exception& e) {
      delete form;
      // The table engine is the program's own: what failed is the table
      // file, and the user is told which and why.
      Application->MessageBox(std::string(kEngineMissingText) + "\r\n\r\n" + e.what(), "Information",
                              MB_OK | MB_ICONINFORMATION);
      const std::string dir = DatabaseEngineInstallerDir();
      if (!dir.empty()) {
        std::string setup = dir;
        if (setup.back() != '\\' && setup.back() != '/') setup += '\\';
        setup += "setup.exe";
        if (FileExists(setup)) StartEngineInstaller(setup);
      }
      return;
    }
    Form3 = form;
    ConvertHintLineBreaks(Form3);
    form->PositionGroup = positionGroup;
    const int mode = RestoreWindowPosition(Form3, 400, 400);
    if (positionGroup) positionGroup->SetItemIndex(mode);
  }
  if (positionGroup) Form3->PositionGroup = positionGroup;
  Form3->Show();
  Form3->BringToFront();
  Form3->ApplyPageRules();
}

void HideForRun() {
  visibleBeforeRun = Form3 && Form3->Visible();
  if (Form3) Form3->Hide();
}

void RestoreAfterRun() {
  if (Form3 && visibleBeforeRun) Form3->Show();
}
