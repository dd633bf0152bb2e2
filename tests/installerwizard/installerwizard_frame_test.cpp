// The dialog manager and its wizard frame on real windows under Wine: pages
// built from the registry and sorted, moves over skipped pages, the ways
// out (Next past the last page, Cancel, the close button), placement on the
// screen, the message checks, and the install-status window.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include <deque>
#include <memory>

#include "exception_text.h"
#include "gui_test_support.h"
#include "loader.h"
#include "shelllinks.h"
#include "test_support.h"
#include "translator.h"
#include "win/install.h"
#include "win/wizardpages.h"
#include "wizard_script.h"

using namespace testsupport;
using wizardtest::Script;

namespace {

class TTestDlg;

// A page with the common buttons whose skipping the test decides.
class TTestPage : public TQuenlowPageForm {
 public:
  TTestPage(TComponent* owner, const std::string& caption, bool finish)
      : TQuenlowPageForm(owner, caption, finish) {}
  bool Skip() override;
};

class TTestDlg : public TBaseInstallDlg {
 public:
  TTestDlg(TComponent* owner, const std::string& caption, int order, bool finish = false)
      : TBaseInstallDlg(owner), caption_(caption), finish_(finish) {
    SetOrder(order);
    RegisterWizardPage(typeid(TTestPage), [this](TComponent* o) { return FormClass(o); }, this, order);
  }
  TBaseQuenlowForm* FormClass(TComponent* owner) override { return new TTestPage(owner, caption_, finish_); }
  TTestPage* Page() const { return dynamic_cast<TTestPage*>(Form()); }
  bool skip = false;

 private:
  std::string caption_;
  bool finish_;
};

bool TTestPage::Skip() {
  auto* d = dynamic_cast<TTestDlg*>(DC);
  return d && d->skip;
}

struct SetupForm {
  SetupForm() {
    InstallDriverSeams().Arguments = [] { return std::vector<std::string>{}; };
    form.reset(new TForm(nullptr));
    CreateStandardPathSpecifiers(form.get());
    driver = new TInstall(form.get());
    driver->SetName("Install1");
    driver->Loaded();
  }
  ~SetupForm() {
    form.reset();
    WizardSeams() = TWizardSeams();
  }
  TDialogManager* Manager(const std::string& name, TManagerType type) {
    auto* m = new TDialogManager(form.get());
    m->SetName(name);
    m->SetManagerType(type);
    m->SetContainer(driver);
    return m;
  }
  TTestDlg* Dialog(const std::string& name, TDialogManager* m, const std::string& caption, int order,
                   bool finish = false) {
    auto* d = new TTestDlg(form.get(), caption, order, finish);
    d->SetName(name);
    d->SetContainer(driver);
    d->SetDialogManager(m);
    return d;
  }
  void Send(int code) { driver->SendInstallMessage(driver, code, nullptr); }
  std::unique_ptr<TForm> form;
  TInstall* driver = nullptr;
};

void Click(TWinControl* c) { SendMessageA(c->Handle(), BM_CLICK, 0, 0); }

std::string FrameCaption(TDialogManager* m) { return m->Frame() ? m->Frame()->Caption() : "<no frame>"; }

bool Shown(TWinControl* c) { return c->HandleAllocated() && IsWindowVisible(c->Handle()); }

}  // namespace

TEST(WizardFrame, PagesSortSkipAndEndTheWayTheUserChose) {
  RegisterWizardPages();  // the start-up entries stand back for dialogs
  SetupForm s;
  TDialogManager* m = s.Manager("BeforeManager", dmBeforeInstall);
  TTestDlg* sixty = s.Dialog("Sixty", m, "Page sixty", 60);
  TTestDlg* ten = s.Dialog("Ten", m, "Page ten", 10);
  TTestDlg* fifty = s.Dialog("Fifty", m, "Page fifty", 50);
  EXPECT_EQ(m->DialogCount(), 3);
  fifty->skip = true;

  std::vector<std::string> order, seen;
  const size_t formsBefore = QuenlowFormList().size();
  Script script({
      [&] {
        for (int i = 0; i < m->Frame()->PageCount(); ++i) order.push_back(m->Frame()->Pages(i)->Caption());
        seen.push_back(FrameCaption(m));
        EXPECT_FALSE(Shown(ten->Page()->BackBtn));
        EXPECT_TRUE(Shown(ten->Page()->CancelBtn));
        EXPECT_EQ(GetFocus(), ten->Page()->ProceedBtn->Handle());
        EXPECT_TRUE(ten->Page()->IsFirstPage());
        Click(ten->Page()->ProceedBtn);
      },
      [&] {
        seen.push_back(FrameCaption(m));  // fifty is passed over
        EXPECT_TRUE(Shown(sixty->Page()->BackBtn));
        EXPECT_FALSE(Shown(ten->Page()));
        EXPECT_TRUE(sixty->Page()->IsLastPage());
        Click(sixty->Page()->BackBtn);
      },
      [&] {
        seen.push_back(FrameCaption(m));  // and again going back
        // Enter on the focused Next button moves on, as a click does.
        PostMessageA(GetFocus(), WM_KEYDOWN, VK_RETURN, 1);
      },
      [&] {
        seen.push_back(FrameCaption(m));
        Pump(100);
        Screenshot("wizard-frame-test-page");
        Click(sixty->Page()->ProceedBtn);  // past the last page: done
      },
  });
  EXPECT_NO_THROW(s.Send(imManagerBeforeInstall));
  script.Stop();
  EXPECT_FALSE(script.Leftover());
  EXPECT_EQ(order, (std::vector<std::string>{"Page ten", "Page fifty", "Page sixty"}));
  EXPECT_EQ(seen, (std::vector<std::string>{"Page ten", "Page sixty", "Page ten", "Page sixty"}));
  EXPECT_EQ(m->Frame(), nullptr);
  EXPECT_EQ(CurrentDialogManager(), nullptr);
  EXPECT_EQ(QuenlowFormList().size(), formsBefore);  // the frame freed its pages

  // Cancel asks the driver: refused keeps the page, allowed ends the run.
  // The close button on a page with Cancel asks the same question.
  std::deque<bool> answers = {false, false, true};
  int asked = 0;
  WizardSeams().UserAbort = [&] {
    ++asked;
    bool a = answers.front();
    answers.pop_front();
    return a;
  };
  fifty->skip = false;
  Script cancel({
      [&] { Click(ten->Page()->CancelBtn); },
      [&] {
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(FrameCaption(m), "Page ten");
        PostMessageA(m->Frame()->Handle(), WM_CLOSE, 0, 0);
      },
      [&] {
        EXPECT_EQ(asked, 2);
        EXPECT_TRUE(Shown(m->Frame()));
        Click(ten->Page()->CancelBtn);
      },
  });
  EXPECT_THROW(s.Send(imManagerBeforeInstall), EAIUserAbort);
  cancel.Stop();
  EXPECT_EQ(asked, 3);
  EXPECT_FALSE(cancel.Leftover());

  // On a Finish page the close button finishes; nobody is asked.
  TDialogManager* good = s.Manager("GoodManager", dmAfterGoodInstall);
  TTestDlg* done = s.Dialog("Done", good, "Done page", 10, true);
  Script finish({
      [&] {
        EXPECT_TRUE(Shown(done->Page()->FinishBtn));
        EXPECT_FALSE(Shown(done->Page()->ProceedBtn));
        EXPECT_EQ(GetFocus(), done->Page()->FinishBtn->Handle());
        PostMessageA(good->Frame()->Handle(), WM_CLOSE, 0, 0);
      },
  });
  asked = 0;
  EXPECT_NO_THROW(s.Send(imManagerGoodEnd));
  finish.Stop();
  EXPECT_EQ(asked, 0);
  EXPECT_FALSE(finish.Leftover());

  // Every page skipped: the wizard is over at once, nothing shows.
  sixty->skip = ten->skip = fifty->skip = true;
  Script none({[&] { ADD_FAILURE() << "a frame came up: " << FrameCaption(m); }});
  EXPECT_NO_THROW(s.Send(imManagerBeforeInstall));
  Pump(150);
  none.Stop();

  // A manager without pages: its message shows nothing.
  TDialogManager* bad = s.Manager("BadManager", dmAfterBadInstall);
  EXPECT_NO_THROW(s.Send(imManagerBadEnd));
  EXPECT_EQ(bad->Frame(), nullptr);
  EXPECT_EQ(QuenlowFormList().size(), formsBefore);

  // The manager of a type inside the driver is found; a dialog made now
  // takes it.
  EXPECT_EQ(FindDialogManager(dmAfterBadInstall), bad);
  EXPECT_EQ(FindDialogManager(dmReboot), nullptr);
  TGoodInstallationDlg goodDlg(s.form.get());
  EXPECT_EQ(goodDlg.DialogManager(), good);
  EXPECT_EQ(goodDlg.Order(), 10);
  delete good;
  EXPECT_EQ(goodDlg.DialogManager(), nullptr);
  EXPECT_EQ(done->DialogManager(), nullptr);
}

TEST(WizardFrame, NinePositionsOnTheScreen) {
  ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), 1280);
  ASSERT_EQ(GetSystemMetrics(SM_CYSCREEN), 1024);
  SetupForm s;
  TDialogManager* m = s.Manager("PlaceManager", dmBeforeInstall);
  TTestDlg* only = s.Dialog("Only", m, "Only page", 10);
  m->SetRelativeLeftOffset(10);
  m->SetRelativeTopOffset(20);
  const int cap = GetSystemMetrics(SM_CYCAPTION);
  const int centreLeft = 640 - 239 + 10, rightLeft = 1280 - 478 - 10;
  const int centreTop = 512 - 198 + 20, bottomTop = 1024 - cap - 395 - 20;
  struct Row {
    TQuenlowDialogPosition position;
    int left, top;
  } rows[] = {{qdpCenterLeft, 10, centreTop},        {qdpCenter, centreLeft, centreTop},
              {qdpCenterRight, rightLeft, centreTop}, {qdpBottomLeft, 10, bottomTop},
              {qdpBottomCenter, centreLeft, bottomTop}, {qdpBottomRight, rightLeft, bottomTop},
              {qdpTopLeft, 10, 20},                     {qdpTopCenter, centreLeft, 20},
              {qdpTopRight, rightLeft, 20}};
  for (const Row& r : rows) {
    m->SetPosition(r.position);
    RECT got{};
    Script place({[&] {
      GetWindowRect(m->Frame()->Handle(), &got);
      Click(only->Page()->ProceedBtn);
    }});
    s.Send(imManagerBeforeInstall);
    place.Stop();
    EXPECT_EQ(got.left, r.left) << r.position;
    EXPECT_EQ(got.top, r.top) << r.position;
    EXPECT_EQ(got.right - got.left, 478);
    EXPECT_EQ(got.bottom - got.top, 395);
  }
}

TEST(WizardFrame, MessagesWithBadParametersAreRefused) {
  SetupForm s;
  TDialogManager* copy = s.Manager("CopyManager", dmDuringCopyFiles);
  TMessageParameter text;
  TFileStatusParameter status;
  EXPECT_EQ(MessageOf<IException>([&] { copy->ReceiveMessage(s.driver, imFileStatus, nullptr); }),
            "CopyManager got a nil PO parameter");
  EXPECT_EQ(MessageOf<IException>([&] { copy->ReceiveMessage(s.driver, imFileStatus, &text); }),
            "The PO object passed to CopyManager is not a TFileStatusParameter object");
  EXPECT_EQ(MessageOf<IException>([&] { copy->ReceiveMessage(s.driver, imDownloadStatus, &status); }),
            "The PO object passed to CopyManager is not a TDownloadStatusParameter object");
  EXPECT_EQ(MessageOf<IException>([&] { copy->ReceiveMessage(s.driver, imDownloadStatus, nullptr); }),
            "CopyManager got a nil PO parameter");
  // Messages of other managers' types are not this one's business.
  EXPECT_NO_THROW(copy->ReceiveMessage(s.driver, imNewDisk, nullptr));

  TDialogManager* disk = s.Manager("DiskManager", dmChangeDisk);
  TChangeDiskDlg diskDlg(s.form.get());
  EXPECT_EQ(diskDlg.DialogManager(), disk);
  TInstallFile file(s.form.get());
  TDiskParameter param;
  TList none, one, wrongFirst, wrongSecond;
  one.Add(&file);
  wrongFirst.Add(&text);
  wrongFirst.Add(&param);
  wrongSecond.Add(static_cast<TObject*>(&file));
  wrongSecond.Add(&text);
  auto send = [&](TObject* p) { return MessageOf([&] { disk->ReceiveMessage(s.driver, imNewDisk, p); }); };
  EXPECT_EQ(send(nullptr), "The ParameterObject is Nil in the TDialogManager. Cannot show the change disk form");
  EXPECT_EQ(send(&text), "TChangeDiskDlg--PO is not a TList object");
  EXPECT_EQ(send(&one), "TChangeDiskDlg--Not engouh parameters for status event");
  EXPECT_EQ(send(&wrongFirst), "TChangeDiskDlg says bad first parameter");
  EXPECT_EQ(send(&wrongSecond), "TChangeDiskDlg says bad second parameter");
  EXPECT_EQ(CurrentDialogManager(), nullptr);

  EXPECT_EQ(MessageOf([] { WizardPageEntry(-1); }), "-1 is an invalid index in the BIFList");
  EXPECT_EQ(MessageOf([] { WizardPageEntry(WizardPageCount()); }),
            std::to_string(WizardPageCount()) + " is an invalid index in the BIFList");
  EXPECT_EQ(MessageOf([&] { copy->AddDialog(nullptr); }),
            "Cannot add a NIL Dialog to the Dialog Manager CopyManager");

  // Pages whose dialog sits in the wrong place refuse to come up.
  TDialogManager* before = s.Manager("BeforeManager", dmBeforeInstall);
  auto* groups = new TInstallFileGroupsDlg(s.form.get());
  groups->SetName("Groups");
  EXPECT_EQ(groups->DialogManager(), before);
  EXPECT_EQ(MessageOf<IEFileGroupSelectForm>([&] { s.Send(imManagerBeforeInstall); }),
            "Cannot show the install file groups dialog for blank container property");
  auto* mainGroup = new TMainLinkGroup(s.form.get());
  mainGroup->SetName("MainGroup");
  groups->SetContainer(mainGroup);
  EXPECT_EQ(MessageOf<IEFileGroupSelectForm>([&] { s.Send(imManagerBeforeInstall); }),
            "Container is not a TFileContainer for Groups");
  EXPECT_EQ(before->Frame(), nullptr);
  EXPECT_EQ(CurrentDialogManager(), nullptr);
  delete groups;
  auto* folder = new TSelectFolderDlg(s.form.get());
  folder->SetName("Folder");
  EXPECT_EQ(MessageOf([&] { s.Send(imManagerBeforeInstall); }),
            "Cannot run this dialog Folder with a blank Container property");
  EXPECT_EQ(MessageOf([&] { folder->SetContainer(s.driver); }),
            "The container for Folder must be a TCustomShellLinkGroup");
}

TEST(WizardFrame, InstallStatusStacksItsTexts) {
  SetupForm s;
  auto* status = new TInstallStatusDlg(s.form.get());
  status->SetName("Status");
  status->SetContainer(s.driver);
  // A pop with nothing pushed leaves nothing behind.
  EXPECT_NO_THROW(s.driver->PopStatus());
  EXPECT_EQ(status->StatusForm(), nullptr);

  s.driver->PushStatus("Reading file information...");
  s.driver->PushStatus("Copying the files of the second group, which takes a while");
  TInstallStatusForm* form = status->StatusForm();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->StatusLabel->Caption(), "Copying the files of the second group, which takes a while");
  const int longWidth = form->Width();
  s.driver->PopStatus();
  Pump(100);
  EXPECT_TRUE(Shown(form));
  EXPECT_EQ(form->StatusLabel->Caption(), "Reading file information...");
  Screenshot("wizard-install-status");
  const int width = form->Width();
  EXPECT_LT(width, longWidth);
  EXPECT_EQ(width, form->StatusLabel->Width() + form->ImagePanel->Width() + form->MarginPanel->Width() +
                       form->StatusLabel->Left() + 25);
  EXPECT_EQ(form->Left(), (1280 - width) / 2);
  // One line, centred in its panel.
  const int labelMid = form->StatusLabel->Top() + form->StatusLabel->Height() / 2;
  EXPECT_NEAR(labelMid, form->TextPanel->ClientHeight() / 2, 1);
  s.driver->PopStatus();
  EXPECT_FALSE(Shown(form));
  EXPECT_NO_THROW(s.driver->PopStatus());
  EXPECT_FALSE(Shown(form));

  EXPECT_EQ(MessageOf<IException>([&] { status->ReceiveMessage(s.driver, imPushStatus, nullptr); }),
            "Status got a nil PO parameter");
  TFileStatusParameter wrong;
  EXPECT_EQ(MessageOf<IException>([&] { status->ReceiveMessage(s.driver, imPushStatus, &wrong); }),
            "The PO object passed to Status is not a TMessageParameter object");
}

TEST(WizardFrame, DialogsLoadByClassNameAndPagesTranslate) {
  RegisterWizardPages();
  SetupForm s;
  TTranslator translator(nullptr);
  ASSERT_EQ(CurrentTranslator(), &translator);
  auto lines = [](TLanguage* language, std::initializer_list<const char*> text) {
    TStringList l;
    for (const char* t : text) l.Add(t);
    language->SetStrings(&l);
  };
  lines(translator.Language(qlEnglish), {"4;< Previous", "5;Next >", "6;Cancel", "100;Welcome",
                                         "20;This program will install the software on your computer."});
  lines(translator.Language(qlGerman), {"4;< Zurück", "5;Weiter >", "6;Abbrechen", "100;Willkommen",
                                        "20;Dieses Programm installiert die Software auf Ihrem Rechner."});
  translator.SetTranslateIntoLanguage(qlGerman);

  std::vector<TComponent*> made =
      LoadForm(s.form.get(), {{"TDialogManager", "Manager",
                               {{"ManagerType", "dmBeforeInstall"},
                                {"Position", "qdpTopLeft"},
                                {"Width", "520"},
                                {"RelativeTopOffset", "7"},
                                {"Container", "Install1"}}},
                              {"TWelcomeDlg", "Welcome", {{"Order", "30"}, {"Container", "Install1"}}},
                              {"TCopyFileDlg", "Copy", {{"Position", "qdpBottomRight"}, {"Container", "Install1"}}},
                              {"TInstallStatusDlg", "Status", {{"Container", "Install1"}}}});
  ASSERT_EQ(made.size(), 4u);
  auto* manager = dynamic_cast<TDialogManager*>(made[0]);
  auto* welcome = dynamic_cast<TWelcomeDlg*>(made[1]);
  ASSERT_NE(manager, nullptr);
  ASSERT_NE(welcome, nullptr);
  EXPECT_EQ(manager->Width(), 520);
  EXPECT_EQ(welcome->Order(), 30);
  // Streamed before the manager was complete, the dialog found it once loaded.
  EXPECT_EQ(welcome->DialogManager(), manager);
  EXPECT_EQ(dynamic_cast<TCopyFileDlg*>(made[2])->Position(), qdpBottomRight);
  EXPECT_EQ(dynamic_cast<TCopyFileDlg*>(made[2])->DialogManager(), nullptr);  // no copy manager here

  RECT at{};
  std::string frameCaption, next, text;
  Script run({[&] {
    auto* page = dynamic_cast<TWelcomeForm*>(welcome->Form());
    GetWindowRect(manager->Frame()->Handle(), &at);
    frameCaption = manager->Frame()->Caption();
    next = page->ProceedBtn->Caption();
    text = page->Text1->Caption();
    Pump(100);
    Screenshot("wizard-page-welcome-german");
    Click(page->ProceedBtn);
  }});
  EXPECT_NO_THROW(s.Send(imManagerBeforeInstall));
  run.Stop();
  EXPECT_FALSE(run.Leftover());
  EXPECT_EQ(at.left, 0);
  EXPECT_EQ(at.top, 7);
  EXPECT_EQ(at.right - at.left, 520);
  EXPECT_EQ(frameCaption, "Willkommen");
  EXPECT_EQ(next, "Weiter >");
  EXPECT_EQ(text, "Dieses Programm installiert die Software auf Ihrem Rechner.");
}
