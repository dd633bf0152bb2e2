// The option tabs: every option shows its stored setting, takes a change
// made through window messages at once, is stored when the window closes
// and comes back in a new window; failures of one store keep the others.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "addrbook.h"
#include "gui_test_support.h"
#include "mainform.h"
#include "settings.h"
#include "test_support.h"
#include "user_registry.h"
#include "win/forms.h"
#include "win/registry.h"

using namespace testsupport;

namespace {

const std::string kMain = "Software\\Dorn Aldwick Software\\Morvane\\1.9";
const std::string kImportKey = "Software\\Microsoft\\Internet Mail and News\\Mail";

// What reg.exe, a second program, finds stored.
std::string Query(const std::string& key, const std::string& name) {
  std::string out;
  RunWindows("reg query \"HKCU\\" + key + "\" /v \"" + name + "\"", &out);
  const size_t at = out.find(name);
  if (at == std::string::npos) return "<missing>";
  std::string line = out.substr(at + name.size());
  line = line.substr(0, line.find_first_of("\r\n"));
  const size_t type = line.find("REG_");
  if (type == std::string::npos) return line;
  line = line.substr(line.find_first_not_of(' ', line.find(' ', type)));
  return line;
}

void Text(TWinControl* c, const std::string& text) {
  SendMessageA(c->Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Click(TWinControl* c) { SendMessageA(c->Handle(), BM_CLICK, 0, 0); }

// A choice in a drop-down list as the user makes it: the selection, then
// the notification the list sends its parent.
void Choose(TComboBox* combo, int index) {
  SendMessageA(combo->Handle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageA(GetParent(combo->Handle()), WM_COMMAND,
               MAKEWPARAM(GetDlgCtrlID(combo->Handle()), CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo->Handle()));
}

void ClickItem(TRadioGroup* group, int i) { Click(group->Buttons(i)); }

std::string Template(const std::string& path) {
  auto bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

class Options : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { Application->Initialize(); }

  void SetUp() override {
    boxes.clear();
    Application->MessageBoxFunction = [this](HWND, const std::string& text, const std::string&, UINT) {
      boxes.push_back(text);
      return IDOK;
    };
  }
  void TearDown() override { Application->MessageBoxFunction = nullptr; }

  // A window as at start: settings loaded, made, filled.
  TForm1* Open() {
    InitSettingsUnit();
    TForm1* form = new TForm1(Application);
    form->FormCreate();
    form->Show();
    Pump(30);
    return form;
  }

  void CloseAndFree(TForm1* form) {
    TCloseAction action = caHide;
    form->FormClose(form, action);
    delete form;
  }

  std::vector<std::string> boxes;
};

}  // namespace

TEST_F(Options, EveryOptionShowsItsSettingTakesChangesAndComesBackAfterARestart) {
  DeleteUserKey(kMain.c_str());
  DeleteUserKey(kImportKey.c_str());
  SetUserValue(kMain, "Expert default patchfile", "\\\\server\\share\\fix.utp");
  SetUserValue(kMain, "Startup page mode", 3);
  SetUserValue(kMain, "Startup page", 3);
  SetUserValue(kMain, "Default browser", 3);
  SetUserValue(kMain, "custom browser args", "--new %1");
  SetUserValue(kMain, "Wizard default packer", 4);
  SetUserValue(kMain + "\\packer\\InfoZIP", "Use executable at", "C:\\tools\\zip.exe");
  SetUserValue(kMain + "\\packer\\InfoZIP", "Call via system path", 0);
  SetUserValue(kImportKey, "Sender EMail", "imported@example.org");
  SetUserValue(kImportKey, "Default SMTP Server", "smtp.example.org");
  const std::string templ = TForm1::TemplatePath();
  WriteFileText(templ, "Dear customer,\r\nhere is your patch.\r\n");

  TForm1* form = Open();
  // Shown as stored.
  EXPECT_EQ(form->edit_OptionExpertPatchname->Text(), "\\\\server\\share\\fix.utp");
  EXPECT_EQ(form->edit_OptionWizardPatchname->Text(), "YourPatch.exe");
  EXPECT_EQ(form->rdgrp_PageOnStartup->ItemIndex(), 3);
  EXPECT_EQ(form->pagectrl_Main->ActivePage(), form->page_Options);
  EXPECT_EQ(form->combo_OptionWizardPatchType->ItemIndex(), 2);
  EXPECT_TRUE(form->chkbox_OptionExpertArchive->Checked());
  EXPECT_EQ(form->chkbox_OptionExpertArchive->Caption(), "Automatically create new ZIP-Archive of Patchfile");
  EXPECT_EQ(form->chkbox_OptionWizardArchive->Caption(), "Automatically create new RAR-Archive of Patchfile");
  EXPECT_TRUE(form->radiobtn_OptionWizardExternalPacker->Checked());
  EXPECT_TRUE(form->combo_OptionWizardExternalPacker->Enabled());
  EXPECT_FALSE(form->combo_OptionExpertExternalPacker->Enabled());
  EXPECT_EQ(form->rdgrp_OptionBrowser->ItemIndex(), 3);
  EXPECT_EQ(form->edit_OptionBrowserArgs->Text(), "--new %1");
  EXPECT_EQ(form->edit_OptionPackerPath->Text(), "C:\\tools\\zip.exe");
  EXPECT_FALSE(form->chkbox_OptionPackerSystemPath->Checked());
  EXPECT_TRUE(form->edit_OptionPackerPath->Enabled());
  EXPECT_EQ(form->edit_OptionPackerSuffix->Text(), ".zip");
  EXPECT_EQ(form->memo_OptionDefaultEmailText->Lines().Strings(1), "here is your patch.");
  // The imported profile comes first and cannot be edited.
  EXPECT_EQ(form->combo_OptionEditEmailSettings->Text(), "Internet Mail (imported)");
  EXPECT_EQ(form->edit_OptionEmailAddress->Text(), "imported@example.org");
  EXPECT_FALSE(form->edit_OptionEmailAddress->Enabled());

  for (int i = 0; i < form->pagectrl_Options->PageCount(); ++i) {
    form->pagectrl_Options->SetActivePageIndex(i);
    Pump(30);
    Screenshot("appoptions_tab" + std::to_string(i));
  }

  // Changed through messages, each in its variable at once.
  Text(form->edit_OptionWizardPatchname, "D:\\out\\wizard.exe");
  EXPECT_EQ(WizardDefaultPatchfile, "D:\\out\\wizard.exe");
  Choose(form->combo_OptionExpertPatchType, 1);
  EXPECT_EQ(ExpertDefaultPatchType, 1);
  Click(form->chkbox_OptionExpertArchive);
  EXPECT_FALSE(ExpertDefaultArchiveChecked);
  Text(form->edit_OptionExpertBackupDir, "Old files");
  Click(form->chkbox_OptionWizardForceIdentical);
  Click(form->chkbox_OptionExpertPgp);
  ClickItem(form->rdgrp_PageOnStartup, 1);
  EXPECT_EQ(StartupPageMode, 1);
  ClickItem(form->rdgrp_OptionBrowser, 0);
  EXPECT_EQ(DefaultBrowser, 0);
  ClickItem(form->rdgrp_OptionCurrentFilelistMode, 2);
  Click(form->chkbox_OptionRestoreWizardFilelists);
  Click(form->chkbox_OptionHideSplash);
  EXPECT_TRUE(HideSplash);
  Text(form->edit_OptionEmailSubject, "Fresh patch");
  // The expert page gets an external packer; its archive box says which.
  Click(form->radiobtn_OptionExpertExternalPacker);
  Choose(form->combo_OptionExpertExternalPacker, 2);
  EXPECT_EQ(ExpertDefaultPacker, 3);
  EXPECT_EQ(form->chkbox_OptionExpertArchive->Caption(), "Automatically create new GZIP-Archive of Patchfile");
  // Packer settings: InfoZIP back on the system path (path greyed), GZIP
  // with its own suffix and a template longer than any fixed field.
  Click(form->chkbox_OptionPackerSystemPath);
  EXPECT_FALSE(form->edit_OptionPackerPath->Enabled());
  EXPECT_FALSE(form->button_OptionPackerBrowse->Enabled());
  Choose(form->combo_OptionPackerEdit, 2);
  EXPECT_EQ(form->edit_OptionPackerSuffix->Text(), ".gz");
  const std::string longTemplate = "-9 -c %p > %b.gz " + std::string(90, 'x');
  Text(form->edit_OptionPackerSuffix, ".mygz");
  Text(form->edit_OptionPackerParameters, longTemplate);
  // A custom profile is edited and becomes the default one.
  Choose(form->combo_OptionEditEmailSettings, 2);
  EXPECT_EQ(form->combo_OptionEditEmailSettings->Text(), "Custom settings #2");
  EXPECT_TRUE(form->edit_OptionEmailAddress->Enabled());
  Text(form->edit_OptionEmailAddress, "me@example.org");
  Text(form->edit_OptionEmailSmtp, "127.0.0.1");
  Choose(form->combo_OptionDefaultEmailSettings, 2);
  form->memo_OptionDefaultEmailText->SetText("Line one\r\nLine two");
  // The address book's place: its mode is kept although it never opened.
  ClickItem(form->rdgrp_OptionAddressBookWindowPos, 1);
  EXPECT_EQ(Query(kMain + "\\windows\\Form3", "store mode"), "0x1");
  CloseAndFree(form);
  EXPECT_TRUE(boxes.empty()) << boxes[0];

  // Stored, as another program reads it.
  EXPECT_EQ(Query(kMain, "Wizard default patchfile"), "D:\\out\\wizard.exe");
  EXPECT_EQ(Query(kMain, "Startup page mode"), "0x1");
  EXPECT_EQ(Query(kMain, "Startup page"), "0x1");
  EXPECT_EQ(Query(kMain, "Expert default packer"), "0x3");
  EXPECT_EQ(Query(kMain, "mail profile"), "Custom settings #2");
  EXPECT_EQ(Query(kMain + "\\packer\\GZIP", "Call with parameters"), longTemplate);
  EXPECT_EQ(Query(kMain + "\\packer\\InfoZIP", "Call via system path"), "0x1");
  EXPECT_EQ(Query(kMain + "\\email settings\\custom2", "SMTP"), "127.0.0.1");
  EXPECT_EQ(Template(templ), "Line one\r\nLine two\r\n");

  // And shown again by the next window.
  form = Open();
  EXPECT_EQ(form->edit_OptionWizardPatchname->Text(), "D:\\out\\wizard.exe");
  EXPECT_EQ(form->combo_OptionExpertPatchType->ItemIndex(), 1);
  EXPECT_FALSE(form->chkbox_OptionExpertArchive->Checked());
  EXPECT_EQ(form->edit_OptionExpertBackupDir->Text(), "Old files");
  EXPECT_TRUE(form->chkbox_OptionWizardForceIdentical->Checked());
  EXPECT_TRUE(form->chkbox_OptionExpertPgp->Checked());
  EXPECT_EQ(form->rdgrp_PageOnStartup->ItemIndex(), 1);
  EXPECT_EQ(form->pagectrl_Main->ActivePage(), form->page_Expert);
  EXPECT_EQ(form->rdgrp_OptionBrowser->ItemIndex(), 0);
  EXPECT_EQ(form->rdgrp_OptionCurrentFilelistMode->ItemIndex(), 2);
  EXPECT_TRUE(form->chkbox_OptionRestoreWizardFilelists->Checked());
  EXPECT_TRUE(form->chkbox_OptionHideSplash->Checked());
  EXPECT_EQ(form->edit_OptionEmailSubject->Text(), "Fresh patch");
  EXPECT_TRUE(form->radiobtn_OptionExpertExternalPacker->Checked());
  EXPECT_EQ(form->combo_OptionExpertExternalPacker->ItemIndex(), 2);
  EXPECT_TRUE(form->chkbox_OptionPackerSystemPath->Checked());
  Choose(form->combo_OptionPackerEdit, 2);
  EXPECT_EQ(form->edit_OptionPackerSuffix->Text(), ".mygz");
  EXPECT_EQ(form->edit_OptionPackerParameters->Text(), longTemplate);
  EXPECT_EQ(form->combo_OptionDefaultEmailSettings->Text(), "Custom settings #2");
  EXPECT_EQ(form->memo_OptionDefaultEmailText->Lines().Count(), 2);

  // A template that cannot be written is reported; the old one stays and
  // every other setting is still stored.
  SetFileAttributesA(templ.c_str(), FILE_ATTRIBUTE_NORMAL);
  const std::string blocker = templ + ".new";
  MakeDirs(blocker);
  form->memo_OptionDefaultEmailText->SetText("Lost?");
  Click(form->chkbox_OptionHideSplash);
  CloseAndFree(form);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("Cannot write"), std::string::npos) << boxes[0];
  EXPECT_EQ(Template(templ), "Line one\r\nLine two\r\n");
  EXPECT_EQ(Query(kMain, "Hide Splash"), "0x0");
  RemoveTree(blocker);

  // The address book opens in the mode chosen before it existed.
  form = Open();
  OpenAddressBook(form->rdgrp_OptionAddressBookWindowPos);
  ASSERT_NE(Form3, nullptr);
  EXPECT_EQ(form->rdgrp_OptionAddressBookWindowPos->ItemIndex(), 1);
  EXPECT_EQ(Form3->Left(), (GetSystemMetrics(SM_CXSCREEN) - Form3->Width()) / 2);
  TForm3* book = Form3;
  book->DoDestroy();
  delete book;
  DeleteUserKey(kImportKey.c_str());
  delete form;
}
