// The address-book window under Wine: typed into, filtered, receivers
// picked from the grid with the mouse, closed, destroyed and opened again,
// with the table file read back by python3-dbfread after each step.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "addrbook.h"
#include "gui_test_support.h"
#include "receivers.h"
#include "settings.h"
#include "test_support.h"
#include "win/forms.h"

using testsupport::Pump;

namespace {

const char kInstalledKey[] = "SOFTWARE\\Dorn Aldwick Software\\Morvane Professional\\1.00\\Installed";
const char kEngineText[] = "Sorry, you need to install BDE (Borland Database Engine) first";

struct Box {
  std::string text, caption;
};

TForm* gMain = nullptr;
TRadioGroup* gGroup = nullptr;

// The table's fields, live records and deleted records as dbfread sees them
// (texts through ascii(), so that cp1252 letters show as escapes).
std::string Dbf(const std::string& table) {
  std::string script = testsupport::Join(testsupport::ScratchDir(), "dbf.py");
  testsupport::WriteFileText(script,
                             "import sys\n"
                             "from dbfread import DBF\n"
                             "t = DBF(sys.argv[1])\n"
                             "print([(f.name, f.type, f.length) for f in t.fields])\n"
                             "print(ascii([(r['REALNAME'], r['EMAIL'], r['ID']) for r in t]))\n"
                             "print(ascii([(r['REALNAME'], r['ID']) for r in t.deleted]))\n");
  std::string out;
  int rc = testsupport::RunUnix("/usr/bin/python3", {testsupport::ToUnixPath(script), testsupport::ToUnixPath(table)},
                                &out);
  EXPECT_EQ(rc, 0) << out;
  return out;
}

const std::string kFields = "[('REALNAME', 'C', 150), ('EMAIL', 'C', 150), ('ID', 'N', 11)]\n";

void Type(TWinControl* c, const std::string& text) {
  for (char ch : text) SendMessageA(c->Handle(), WM_CHAR, static_cast<unsigned char>(ch), 1);
  Pump(10);
}

void Click(TButton* b) {
  SendMessageA(b->Handle(), BM_CLICK, 0, 0);
  Pump(20);
}

void ClickCheck(TCheckBox* b) {
  SendMessageA(b->Handle(), BM_CLICK, 0, 0);
  Pump(20);
}

// A click on a tab, as the user changes pages.
void ClickTab(TPageControl* pc, int index) {
  RECT r{};
  SendMessageA(pc->Handle(), TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
  LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  PostMessageA(pc->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageA(pc->Handle(), WM_LBUTTONUP, 0, at);
  Pump(60);
}

// A click on a grid row with the keys held (MK_CONTROL, MK_SHIFT).
void ClickRow(TDBGrid* g, int row, WPARAM keys = 0, bool twice = false) {
  RECT r{};
  r.left = LVIR_BOUNDS;
  SendMessageA(g->Handle(), LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
  LPARAM at = MAKELPARAM(r.left + 40, (r.top + r.bottom) / 2);
  PostMessageA(g->Handle(), WM_LBUTTONDOWN, MK_LBUTTON | keys, at);
  PostMessageA(g->Handle(), WM_LBUTTONUP, keys, at);
  if (twice) {
    PostMessageA(g->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON | keys, at);
    PostMessageA(g->Handle(), WM_LBUTTONUP, keys, at);
  }
  Pump(60);
}

// A key pressed with Shift held, as the view reads the shift state.
void ShiftKey(TWinControl* c, WORD key) {
  BYTE keys[256];
  GetKeyboardState(keys);
  BYTE saved = keys[VK_SHIFT];
  keys[VK_SHIFT] = 0x80;
  SetKeyboardState(keys);
  SendMessageA(c->Handle(), WM_KEYDOWN, key, 1);
  SendMessageA(c->Handle(), WM_KEYUP, key, 0xC0000001);
  keys[VK_SHIFT] = saved;
  SetKeyboardState(keys);
  Pump(20);
}

std::vector<std::string> ReceiverLines() {
  std::vector<std::string> out;
  TStrings& items = Form3->listbox_Receivers->Items();
  for (int i = 0; i < items.Count(); ++i) out.push_back(items.Get(i));
  return out;
}

std::vector<TBookmark> Marked() { return Form3->dbgrid_Lookup->SelectedRows(); }

void SetMachineValue(const char* name, const std::string* value) {
  HKEY k;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kInstalledKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
            ERROR_SUCCESS);
  if (value)
    RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                   static_cast<DWORD>(value->size() + 1));
  else
    RegDeleteValueA(k, name);
  RegCloseKey(k);
}

void DestroyBook() {
  if (!Form3) return;
  // As at exit: the application runs the destroy handler, then frees.
  TForm3* book = Form3;
  book->DoDestroy();
  delete book;
  ASSERT_EQ(Form3, nullptr);
}

class AddressBook : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Application->Initialize();
    gMain = new TForm(Application);
    gMain->SetCaption("Main window");
    gMain->SetBounds(20, 20, 300, 200);
    gGroup = new TRadioGroup(gMain);
    gGroup->SetBounds(8, 8, 200, 90);
    gGroup->SetParent(gMain);
    gGroup->Items().Add("Use default settings");
    gGroup->Items().Add("Center it on screen");
    gGroup->Items().Add("Restore old position");
    RegDeleteKeyA(HKEY_CURRENT_USER, (std::string(kSettingsKey + 1) + "\\windows\\Form3").c_str());
  }

  void SetUp() override {
    table = TForm3::TablePath();
    // A folder left at the table's name by an interrupted run.
    RemoveDirectoryA(table.c_str());
    boxes.clear();
    Application->MessageBoxFunction = [this](HWND, const std::string& text, const std::string& caption, UINT) {
      boxes.push_back(Box{text, caption});
      return IDOK;
    };
    gMain->Show();
    Pump(20);
  }

  void TearDown() override { Application->MessageBoxFunction = nullptr; }

  std::string table;
  std::vector<Box> boxes;
};

}  // namespace

TEST_F(AddressBook, EntriesAreKeptThroughPagesClosingAndDestroyingAndReceiversComeFromTheGrid) {
  DeleteFileA(table.c_str());
  OpenAddressBook(gGroup);
  ASSERT_NE(Form3, nullptr);
  ASSERT_TRUE(boxes.empty()) << boxes[0].text;
  TForm3* book = Form3;
  EXPECT_TRUE(book->Visible());
  EXPECT_EQ(book->FormStyle(), fsStayOnTop);
  EXPECT_EQ(gGroup->ItemIndex(), wsmRestore);
  EXPECT_EQ(book->Left(), 400);
  EXPECT_EQ(book->Top(), 400);
  EXPECT_EQ(Dbf(table), kFields + "[]\n[]\n");
  EXPECT_EQ(book->dbgrid_Lookup->Columns().Count(), 2);
  EXPECT_EQ(book->dbgrid_Lookup->Columns().Items(1)->Width(), book->dbgrid_Lookup->Width() - 203);
  EXPECT_FALSE(book->dbedit_Realname->Enabled());
  EXPECT_EQ(GetFocus(), book->edit_LookupFilter->Handle());

  // The first entry: posted when the page changes.
  ClickTab(book->pagectrl_Database, 2);
  ASSERT_EQ(book->pagectrl_Database->ActivePage(), book->page_EditDatabase);
  EXPECT_TRUE(book->dbedit_Realname->Enabled());
  EXPECT_FALSE(book->dbgrid_Lookup->Enabled());
  Click(book->button_Insert);
  EXPECT_EQ(book->table_AddressBook->State(), dsInsert);
  EXPECT_EQ(book->table_AddressBook->FieldByName("ID")->AsInteger(), 1);
  EXPECT_EQ(book->dbedit_Realname->MaxLength(), 150);
  Type(book->dbedit_Realname, "Ann Lee");
  Type(book->dbedit_Email, "ann@example.org");
  ClickTab(book->pagectrl_Database, 0);
  EXPECT_EQ(book->table_AddressBook->State(), dsBrowse);
  EXPECT_EQ(Dbf(table), kFields + "[('Ann Lee', 'ann@example.org', 1)]\n[]\n");

  // The second: posted when the window closes.
  ClickTab(book->pagectrl_Database, 2);
  Click(book->button_Insert);
  EXPECT_EQ(book->table_AddressBook->FieldByName("ID")->AsInteger(), 2);
  Type(book->dbedit_Realname, "J\xF6rg M\xFC" "ller");
  Type(book->dbedit_Email, "jm@example.org");
  Click(book->button_Close);
  EXPECT_FALSE(book->Visible());
  EXPECT_EQ(Dbf(table), kFields + "[('Ann Lee', 'ann@example.org', 1), ('J\\xf6rg M\\xfcller', 'jm@example.org', 2)]\n[]\n");

  // The third: typed after the window came back, posted when it is freed.
  OpenAddressBook(gGroup);
  ASSERT_EQ(Form3, book);
  EXPECT_TRUE(book->Visible());
  Click(book->button_Insert);
  EXPECT_EQ(book->table_AddressBook->FieldByName("ID")->AsInteger(), 3);
  Type(book->dbedit_Realname, "Bob Stone");
  Type(book->dbedit_Email, "stone@example.org");
  Pump(100);
  testsupport::Screenshot("addrbook_edit_page");
  DestroyBook();
  EXPECT_EQ(Dbf(table), kFields +
                            "[('Ann Lee', 'ann@example.org', 1), ('J\\xf6rg M\\xfcller', 'jm@example.org', 2), "
                            "('Bob Stone', 'stone@example.org', 3)]\n[]\n");

  // Created again over the existing table.
  OpenAddressBook(gGroup);
  ASSERT_NE(Form3, nullptr);
  book = Form3;
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(book->pagectrl_Database->ActivePage(), book->page_Lookup);
  TDBGrid* grid = book->dbgrid_Lookup;
  ASSERT_EQ(grid->RowCount(), 3);
  EXPECT_EQ(grid->CellText(1, 0), "J\xF6rg M\xFCller");
  EXPECT_EQ(grid->CellText(2, 1), "stone@example.org");
  ClickTab(book->pagectrl_Database, 1);
  Pump(100);
  testsupport::Screenshot("addrbook_distribution_page");
  ClickTab(book->pagectrl_Database, 0);

  // The filter: the middle of a name only with a partial match, other
  // letter case only with the case-insensitive search.
  Type(book->edit_LookupFilter, "Lee");
  EXPECT_EQ(grid->RowCount(), 0);
  ClickCheck(book->chkbox_LookupPartial);
  ASSERT_EQ(grid->RowCount(), 1);
  EXPECT_EQ(grid->CellText(0, 0), "Ann Lee");
  ClickCheck(book->chkbox_LookupPartial);
  book->edit_LookupFilter->SetText("bob");
  Pump(10);
  EXPECT_EQ(grid->RowCount(), 0);
  ClickCheck(book->chkbox_FilterCaseInsensitive);
  ASSERT_EQ(grid->RowCount(), 1);
  EXPECT_EQ(grid->CellText(0, 0), "Bob Stone");
  book->edit_LookupFilter->SetText("J\xD6RG");
  Pump(10);
  EXPECT_EQ(grid->RowCount(), 1);
  ClickCheck(book->chkbox_FilterCaseInsensitive);
  EXPECT_EQ(grid->RowCount(), 0);
  book->edit_LookupFilter->SetText("");
  Pump(10);
  ASSERT_EQ(grid->RowCount(), 3);
  EXPECT_EQ(book->table_AddressBook->Bookmark(), 0);

  // Two rows marked with a click and a Ctrl+click, added as To; then one
  // of them alone, added as Bcc.
  ClickRow(grid, 0);
  ClickRow(grid, 1, MK_CONTROL);
  EXPECT_EQ(Marked(), (std::vector<TBookmark>{0, 1}));
  Click(book->button_TO);
  EXPECT_EQ(Marked(), (std::vector<TBookmark>{0, 1}));
  ClickRow(grid, 1);
  EXPECT_EQ(Marked(), (std::vector<TBookmark>{1}));
  Click(book->button_BCC);
  ASSERT_EQ(Receivers.Count(), 2);
  EXPECT_EQ(Receivers.Items(0)->Identifier, 1);
  EXPECT_EQ(Receivers.Items(1)->Identifier, 2);
  EXPECT_EQ(Receivers.Items(1)->Kind, 2);
  EXPECT_EQ(ReceiverLines(),
            (std::vector<std::string>{"To: Ann Lee <ann@example.org>", "Bcc: J\xF6rg M\xFCller <jm@example.org>"}));
  EXPECT_EQ(GetFocus(), book->edit_LookupFilter->Handle());

  // Shift+click marks the rows between; a double-click adds its row as To.
  ClickRow(grid, 0);
  ClickRow(grid, 2, MK_SHIFT);
  EXPECT_EQ(Marked(), (std::vector<TBookmark>{0, 1, 2}));
  // From the keyboard: Shift+Up extends the marks from the current row.
  ClickRow(grid, 2);
  ShiftKey(grid, VK_UP);
  EXPECT_EQ(Marked(), (std::vector<TBookmark>{1, 2}));
  EXPECT_EQ(book->table_AddressBook->Bookmark(), 1);
  ClickRow(grid, 2, 0, true);
  ASSERT_EQ(Receivers.Count(), 3);
  EXPECT_EQ(ReceiverLine(*Receivers.Items(2)), "To: Bob Stone <stone@example.org>");
  Pump(100);
  testsupport::Screenshot("addrbook_lookup_page");

  // Enter in the filter edit adds the current row as To.
  Type(book->edit_LookupFilter, "Ann");
  ASSERT_EQ(grid->RowCount(), 1);
  Click(book->button_CC);
  EXPECT_EQ(Receivers.Items(0)->Kind, 1);
  SendMessageA(book->edit_LookupFilter->Handle(), WM_KEYDOWN, VK_RETURN, 1);
  Pump(20);
  EXPECT_EQ(Receivers.Items(0)->Kind, 0);
  EXPECT_EQ(Receivers.Count(), 3);
  book->edit_LookupFilter->SetText("");
  Pump(10);

  // Remove does nothing without a chosen line; Remove All empties.
  SendMessageA(book->listbox_Receivers->Handle(), LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  Click(book->button_Remove);
  EXPECT_EQ(Receivers.Count(), 3);
  SendMessageA(book->listbox_Receivers->Handle(), LB_SETCURSEL, 0, 0);
  Click(book->button_Remove);
  ASSERT_EQ(Receivers.Count(), 2);
  EXPECT_EQ(ReceiverLines()[0], "Bcc: J\xF6rg M\xFCller <jm@example.org>");
  Click(book->button_RemoveAll);
  EXPECT_EQ(Receivers.Count(), 0);
  EXPECT_TRUE(ReceiverLines().empty());

  // The edit page walks the records and removes the current one.
  ClickTab(book->pagectrl_Database, 2);
  EXPECT_EQ(book->dbedit_Realname->Text(), "Ann Lee");
  Click(book->button_EditNext);
  EXPECT_EQ(book->dbedit_Realname->Text(), "J\xF6rg M\xFCller");
  Click(book->button_EditNext);
  Click(book->button_EditPrev);
  EXPECT_EQ(book->dbedit_Email->Text(), "jm@example.org");
  Click(book->button_EditDelete);
  EXPECT_EQ(book->dbedit_Realname->Text(), "Bob Stone");
  // A changed entry is written back over its record.
  SendMessageA(book->dbedit_Email->Handle(), EM_SETSEL, 17, 17);
  Type(book->dbedit_Email, ".uk");
  EXPECT_EQ(book->table_AddressBook->State(), dsEdit);
  Click(book->button_Insert);
  EXPECT_EQ(book->table_AddressBook->FieldByName("ID")->AsInteger(), 4);
  Click(book->button_EditDelete);
  EXPECT_EQ(book->table_AddressBook->State(), dsBrowse);
  EXPECT_EQ(Dbf(table), kFields +
                            "[('Ann Lee', 'ann@example.org', 1), ('Bob Stone', 'stone@example.org.uk', 3)]\n"
                            "[('J\\xf6rg M\\xfcller', 2)]\n");

  // An entry that cannot be stored yet keeps the window open.
  Click(book->button_Insert);
  Type(book->dbedit_Realname, "No Address");
  Click(book->button_Close);
  EXPECT_TRUE(book->Visible());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("EMAIL"), std::string::npos) << boxes[0].text;
  Type(book->dbedit_Email, "no@example.org");

  // Closing stores the position mode of the radio group.
  gGroup->SetItemIndex(wsmCenter);
  Click(book->button_Close);
  EXPECT_FALSE(book->Visible());
  std::string out;
  testsupport::RunWindows(std::string("reg query \"HKCU") + kSettingsKey + "\\windows\\Form3\" /v \"store mode\"",
                          &out);
  EXPECT_NE(out.find("0x1"), std::string::npos) << out;
  EXPECT_NE(Dbf(table).find("('No Address', 'no@example.org', 4)"), std::string::npos);

  // F1 asks for context help once, on key up; the two switches.
  OpenAddressBook(gGroup);
  int helps = 0;
  Application->HelpFile = "dummy";
  Application->OnHelp = [&helps](WORD command, intptr_t, bool& callHelp) {
    helps += command == HELP_CONTEXT;
    callHelp = false;
    return true;
  };
  ClickTab(book->pagectrl_Database, 0);
  SendMessageA(book->edit_LookupFilter->Handle(), WM_KEYDOWN, VK_F1, 1);
  EXPECT_EQ(helps, 0);
  SendMessageA(book->edit_LookupFilter->Handle(), WM_KEYUP, VK_F1, 0xC0000001);
  EXPECT_EQ(helps, 1);
  Application->OnHelp = nullptr;
  Application->HelpFile.clear();
  EXPECT_NE(GetWindowLongA(book->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  ClickCheck(book->chkbox_WindowOnTop);
  EXPECT_EQ(GetWindowLongA(book->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  EXPECT_FALSE(book->page_Lookup->ShowHint());
  ClickCheck(book->chbox_HintsPageLookup);
  EXPECT_TRUE(book->page_Lookup->ShowHint());

  // Insert after an entry typed in full keeps it and starts the next one;
  // an entry still missing a field is given up for the new one, silently.
  const size_t shown = boxes.size();
  ClickTab(book->pagectrl_Database, 2);
  Click(book->button_Insert);
  EXPECT_EQ(book->table_AddressBook->FieldByName("ID")->AsInteger(), 5);
  Type(book->dbedit_Realname, "Cy Row");
  Type(book->dbedit_Email, "cy@example.org");
  Click(book->button_Insert);
  EXPECT_EQ(book->table_AddressBook->FieldByName("ID")->AsInteger(), 6);
  Type(book->dbedit_Realname, "Half Typed");
  Click(book->button_Insert);
  EXPECT_EQ(book->table_AddressBook->FieldByName("ID")->AsInteger(), 6);
  book->table_AddressBook->Cancel();
  EXPECT_NE(Dbf(table).find("('Cy Row', 'cy@example.org', 5)"), std::string::npos) << Dbf(table);
  EXPECT_EQ(Dbf(table).find("Half Typed"), std::string::npos) << Dbf(table);
  EXPECT_EQ(boxes.size(), shown);
  // A new entry left untouched goes without a word, whatever comes next:
  // another page, Prev or Next, the Close button.
  Click(book->button_Insert);
  ClickTab(book->pagectrl_Database, 0);
  EXPECT_EQ(book->pagectrl_Database->ActivePage(), book->page_Lookup);
  ClickTab(book->pagectrl_Database, 2);
  Click(book->button_Insert);
  Click(book->button_EditPrev);
  EXPECT_EQ(book->table_AddressBook->State(), dsBrowse);
  Click(book->button_Insert);
  Click(book->button_Close);
  EXPECT_FALSE(book->Visible());
  EXPECT_EQ(boxes.size(), shown) << boxes.back().text;
  EXPECT_EQ(Dbf(table).find(", 6)"), std::string::npos) << Dbf(table);
  book->Hide();

  // Around a patch run only a visible window comes back.
  HideForRun();
  RestoreAfterRun();
  EXPECT_FALSE(book->Visible());
  OpenAddressBook(gGroup);
  HideForRun();
  EXPECT_FALSE(book->Visible());
  RestoreAfterRun();
  EXPECT_TRUE(book->Visible());
  DestroyBook();
}

TEST_F(AddressBook, DamagedTableIsReportedWithItsReasonAndKeptByteForByte) {
  DestroyBook();
  std::vector<uint8_t> bytes = testsupport::ReadFileBytes(table);
  ASSERT_GT(bytes.size(), 32u);
  // More records than the file holds.
  bytes[4] = 0x40;
  testsupport::WriteFileBytes(table, bytes);
  SetMachineValue("BDE", nullptr);

  OpenAddressBook(gGroup);
  EXPECT_EQ(Form3, nullptr);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Information");
  EXPECT_EQ(boxes[0].text.find(kEngineText), 0u) << boxes[0].text;
  EXPECT_NE(boxes[0].text.find(table), std::string::npos) << boxes[0].text;
  EXPECT_NE(boxes[0].text.find("record"), std::string::npos) << boxes[0].text;
  EXPECT_EQ(testsupport::ReadFileBytes(table), bytes);
}

TEST_F(AddressBook, FailureStartsTheEngineInstallerFromAFolderWithBlanks) {
  DestroyBook();
  DeleteFileA(table.c_str());
  // Something that is no table file takes the table's name.
  ASSERT_TRUE(CreateDirectoryA(table.c_str(), nullptr));
  std::string engine = testsupport::Join(testsupport::ScratchDir(), "Engine Setup");
  testsupport::MakeDirs(engine);
  std::string self = Application->ExeName();
  std::string stub = ExtractFilePath(self) + "addrbook_fake_setup.exe";
  ASSERT_TRUE(CopyFileA(stub.c_str(), testsupport::Join(engine, "setup.exe").c_str(), FALSE));
  SetMachineValue("BDE", &engine);

  OpenAddressBook(gGroup);
  EXPECT_EQ(Form3, nullptr);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text.find(kEngineText), 0u) << boxes[0].text;
  EXPECT_NE(boxes[0].text.find(table), std::string::npos) << boxes[0].text;
  std::string marker = testsupport::Join(engine, "setup-ran.txt");
  for (int i = 0; i < 300 && !testsupport::FileExists(marker); ++i) Pump(50);
  EXPECT_TRUE(testsupport::FileExists(marker));

  SetMachineValue("BDE", nullptr);
  RemoveDirectoryA(table.c_str());
}

