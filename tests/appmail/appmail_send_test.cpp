// The e-mail thread and its window under Wine against a real SMTP server:
// what arrives is read back with Python's email parser and the server's
// stored envelopes; failures are seen through the message-box hook.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "emailform.h"
#include "emailthread.h"
#include "gui_test_support.h"
#include "mail_peers.h"
#include "receivers.h"
#include "settings.h"
#include "test_support.h"
#include "win/appthread.h"
#include "win/extctrls.h"

using namespace testsupport;

namespace {

struct Box {
  std::string text, caption;
  bool onWorker;
};

TForm* gMain = nullptr;

void AddReceiver(const std::string& email, const std::string& name, uint8_t kind) {
  ReceiverEntry* r = new ReceiverEntry;
  r->Email = email;
  r->Name = name;
  r->Kind = kind;
  Receivers.Append(r);
}

EmailSettings Profile(const std::string& name) {
  EmailSettings p;
  p.Email = "sender@example.org";
  p.Name = name;
  p.Smtp = "127.0.0.1";
  return p;
}

class EmailSending : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Application->Initialize();
    gMain = new TForm(Application);
    gMain->SetCaption("Main window");
    gMain->SetBounds(20, 20, 300, 200);
    Form4 = new TForm4(Application);
  }

  void SetUp() override {
    Receivers.Clear();
    boxes.clear();
    Application->MessageBoxFunction = [this](HWND, const std::string& text, const std::string& caption, UINT) {
      std::lock_guard<std::mutex> lock(mutex);
      boxes.push_back(Box{text, caption, GetCurrentThreadId() != GuiThreadID()});
      return IDOK;
    };
    gMain->Show();
    Pump(20);
  }

  void TearDown() override {
    Application->MessageBoxFunction = nullptr;
    Receivers.Clear();
  }

  std::mutex mutex;
  std::vector<Box> boxes;
};

}  // namespace

TEST_F(EmailSending, OneMailWithEveryHeaderAndReceiverKindAndTheWholeAttachment) {
  MailPeer server("smtpd", "mail_smtpd.py");
  const std::vector<uint8_t> patch = RandomBytes(3 * 1024 * 1024 + 5, 11);
  const std::string patchName = Join(ScratchDir(), "release 2.utp");
  WriteFileBytes(patchName, patch);

  EmailSettings profile = Profile("Sender Name");
  profile.ReplyTo = "replies@example.org";
  profile.Organization = "Example Software";
  AddReceiver("ann@example.org", "Ann Lee", 0);
  AddReceiver("bob@example.org", "Bob", 1);
  AddReceiver("carl@example.org", "", 2);
  TStringList body;
  body.Add("Here is the patch.");
  body.Add("Regards");
  EmailJob job = MakeEmailJob(profile, "Your patch", &body, patchName);
  job.SmtpPort = static_cast<uint16_t>(server.Port());
  EXPECT_EQ(job.Receivers.size(), 3u);

  // While the mail goes out: the windows as the user sees them, a second
  // send refused, and Remove All in the address book, which must not take
  // receivers away from the mail already under way.
  bool sawForm4 = false, mainHidden = true, secondRefused = false;
  bool shot = false;
  // The window's place restored from the options page; the user moves it
  // while it works, and it is hidden, never closed, when the mail is out.
  TRadioGroup places(gMain);
  places.SetParent(gMain);
  for (const char* mode : {"Use default settings", "Center it on screen", "Restore old position"})
    places.Items().Add(mode);
  places.SetItemIndex(wsmRestore);
  Form4->PositionGroup = &places;
  const std::string placeKey = std::string(kSettingsKey + 1) + "\\windows\\Form4";
  RegDeleteKeyA(HKEY_CURRENT_USER, placeKey.c_str());
  TTimer timer(nullptr);
  timer.SetInterval(30);
  timer.OnTimer = [&](TObject*) {
    if (!sawForm4 && Form4->Visible())
      SetWindowPos(Form4->Handle(), nullptr, 333, 222, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    sawForm4 = sawForm4 || Form4->Visible();
    mainHidden = mainHidden && !gMain->Visible();
    secondRefused = !SendPatchByEmail(gMain, job);
    Receivers.Clear();
    if (!shot && Form4->progress_EMail->Position() > 20) {
      shot = true;
      Screenshot("appmail_form4_sending");
    }
  };
  timer.SetEnabled(true);
  EXPECT_TRUE(SendPatchByEmail(gMain, job));
  timer.SetEnabled(false);

  EXPECT_TRUE(boxes.empty()) << boxes[0].text;
  EXPECT_TRUE(sawForm4);
  EXPECT_TRUE(mainHidden);
  EXPECT_TRUE(secondRefused);
  EXPECT_FALSE(EmailSendingUnderWay());
  EXPECT_FALSE(Form4->Visible());
  EXPECT_TRUE(gMain->Visible());
  EXPECT_EQ(EmailSendDone.load(), 1u);
  // The bar followed the transport's traces to the last line of the data.
  EXPECT_GE(Form4->progress_EMail->Position(), 95);
  EXPECT_EQ(Form4->label_Status->Caption(), "Done.");
  Form4->PositionGroup = nullptr;
  const std::pair<const char*, DWORD> stored[] = {{"store mode", wsmRestore}, {"left", 333}, {"top", 222}};
  for (const auto& [value, want] : stored) {
    DWORD v = 0, size = sizeof v;
    RegGetValueA(HKEY_CURRENT_USER, placeKey.c_str(), value, RRF_RT_REG_DWORD, nullptr, &v, &size);
    EXPECT_EQ(v, want) << value;
  }

  auto s = ParseStoredMessage(server, 1, "full");
  ASSERT_EQ(s["error"], "");
  EXPECT_EQ(s["defects"], "0") << s["defect_list"];
  // The parser drops address comments, so the names are read in the raw
  // message.
  const std::string raw = server.ReadFile("msg1.eml");
  EXPECT_NE(raw.find("\r\nFrom: sender@example.org (Sender Name)\r\n"), std::string::npos) << raw.substr(0, 600);
  EXPECT_NE(raw.find("ann@example.org (Ann Lee)"), std::string::npos) << raw.substr(0, 600);
  EXPECT_NE(raw.find("bob@example.org (Bob)"), std::string::npos) << raw.substr(0, 600);
  EXPECT_EQ(raw.find("carl@"), std::string::npos);
  EXPECT_EQ(s["header.reply-to"], "replies@example.org");
  EXPECT_EQ(s["header.subject"], "Your patch");
  EXPECT_EQ(s["header.organization"], "Example Software");
  EXPECT_EQ(s["header.x-mailer"].rfind("Morvane32 Tapmend (PreRelease) from ", 0), 0u) << s["header.x-mailer"];
  EXPECT_NE(s["header.to"].find("ann@example.org"), std::string::npos) << s["header.to"];
  EXPECT_NE(s["header.cc"].find("bob@example.org"), std::string::npos) << s["header.cc"];
  EXPECT_EQ(s.count("header.bcc"), 0u);
  EXPECT_EQ(s["parts"], "2");
  auto text = ReadFileBytes(Join(Join(ScratchDir(), "full"), "part0"));
  std::string bodyText(text.begin(), text.end());
  EXPECT_NE(bodyText.find("Here is the patch."), std::string::npos) << bodyText;
  EXPECT_NE(bodyText.find("Regards"), std::string::npos) << bodyText;
  EXPECT_EQ(s["part1.filename"], "release 2.utp");
  EXPECT_TRUE(ReadFileBytes(Join(Join(ScratchDir(), "full"), "part1")) == patch);
  // Every receiver got the mail, the blind copy through the envelope only.
  const std::string env = server.ReadFile("msg1.env");
  EXPECT_EQ(CountOf(env, "ann@example.org"), 1) << env;
  EXPECT_EQ(CountOf(env, "bob@example.org"), 1) << env;
  EXPECT_EQ(CountOf(env, "carl@example.org"), 1) << env;
}

TEST_F(EmailSending, BlindCopiesAloneAndAMissingPatchAndARefusedReceiver) {
  {
    // Only blind copies, and a sender without a personal name.
    MailPeer server("smtpd-bcc", "mail_smtpd.py");
    const std::string patchName = Join(ScratchDir(), "small.utp");
    WriteFileText(patchName, "patch bytes");
    AddReceiver("hidden@example.org", "Hidden One", 2);
    EmailJob job = MakeEmailJob(Profile(""), "Blind", nullptr, patchName);
    job.SmtpPort = static_cast<uint16_t>(server.Port());
    EXPECT_TRUE(SendPatchByEmail(gMain, job));
    EXPECT_TRUE(boxes.empty()) << boxes[0].text;
    auto s = ParseStoredMessage(server, 1, "bcc");
    EXPECT_EQ(s["header.from"], "sender@example.org");
    EXPECT_EQ(s.count("header.reply-to"), 0u);
    EXPECT_EQ(s.count("header.organization"), 0u);
    EXPECT_EQ(CountOf(server.ReadFile("msg1.env"), "hidden@example.org"), 1);
  }
  {
    // A patch that is gone by the time it is sent.
    MailPeer server("smtpd-missing", "mail_smtpd.py");
    EmailJob job = MakeEmailJob(Profile("Sender"), "Missing", nullptr, Join(ScratchDir(), "gone.utp"));
    job.SmtpPort = static_cast<uint16_t>(server.Port());
    EXPECT_TRUE(SendPatchByEmail(gMain, job));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Unknown error occured while trying to send email.");
    EXPECT_EQ(boxes[0].caption, "Error sending patch!");
    EXPECT_TRUE(boxes[0].onWorker);
    EXPECT_FALSE(testsupport::FileExists(Join(server.Folder(), "msg1.eml")));
    EXPECT_TRUE(gMain->Visible());
    EXPECT_FALSE(Form4->Visible());
  }
  boxes.clear();
  {
    // The server refuses the sender: the transport's error with the
    // server's own words.
    MailPeer peer("peer-mail5xx", "mail_peer.py", {"mail5xx"});
    const std::string patchName = Join(ScratchDir(), "small.utp");
    Receivers.Clear();
    AddReceiver("ann@example.org", "", 0);
    EmailJob job = MakeEmailJob(Profile("Sender"), "Refused", nullptr, patchName);
    job.SmtpPort = static_cast<uint16_t>(peer.Port());
    EXPECT_TRUE(SendPatchByEmail(gMain, job));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text.rfind("Seems that your computer is currently not connected to the internet. Please dialup. "
                                  "Morvane SMTP subsystem error message was:\r\n\r\n",
                                  0),
              0u)
        << boxes[0].text;
    EXPECT_NE(boxes[0].text.find("sender refused"), std::string::npos) << boxes[0].text;
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_TRUE(boxes[0].onWorker);
  }
  // Nothing to send to: nothing happens.
  Receivers.Clear();
  boxes.clear();
  EXPECT_FALSE(SendPatchByEmail(gMain, MakeEmailJob(Profile("Sender"), "None", nullptr, "x.utp")));
  EXPECT_FALSE(Form4->Visible());
  EXPECT_TRUE(boxes.empty());
}
