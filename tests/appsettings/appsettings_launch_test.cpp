// Starting the browser and the mail client: the command lines built for each
// browser kind, caught by a recording stand-in program, and the clipboard
// offer when nothing can be started.
#include <gtest/gtest.h>

#include "appsettings_support.h"
#include "launch.h"
#include "settings.h"
#include "test_support.h"
#include "win/clipboard.h"
#include "win/forms.h"

using namespace appsettings;

namespace {

const char kAppPaths[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
const char kUrl[] = "http://example.invalid/help page.html";
const char kQuotedUrl[] = "\"http://example.invalid/help page.html\"";

class Launch : public ::testing::Test {
 protected:
  void SetUp() override {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    recorder = ExtractFilePath(self) + "appsettings_recorder.exe";
    const std::string dir = testsupport::ScratchDir();
    record = testsupport::Join(dir, "record.txt");
    SetEnvironmentVariableA("APPSETTINGS_RECORD", record.c_str());
    // A program in a folder with a blank, as under "Program Files".
    const std::string spacedDir = testsupport::Join(dir, "browser dir");
    testsupport::MakeDirs(spacedDir);
    spaced = testsupport::Join(spacedDir, "browser.exe");
    ASSERT_TRUE(CopyFileA(recorder.c_str(), spaced.c_str(), FALSE));
    DefaultBrowser = bkSystemDefault;
  }
  void TearDown() override { Application->MessageBoxFunction = nullptr; }

  // The command line the stand-in was started with; "" when it was not.
  std::string Launched() {
    for (int i = 0; i < 200 && !FileExists(record); ++i) Sleep(50);
    std::string text;
    if (FileExists(record)) {
      auto bytes = testsupport::ReadFileBytes(record);
      text.assign(bytes.begin(), bytes.end());
      DeleteFileA(record.c_str());
    }
    return text;
  }
  std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

  std::string recorder, spaced, record;
};

}  // namespace

TEST(SubstituteArgument, ReplacesOrAppendsAndQuotesBlanks) {
  EXPECT_EQ(SubstituteArgument("prog %1", "x"), "prog x");
  EXPECT_EQ(SubstituteArgument("prog -a %1 -b %1", "x"), "prog -a x -b x");
  EXPECT_EQ(SubstituteArgument("prog -h ", "x"), "prog -h  x");
  EXPECT_EQ(SubstituteArgument("prog", "a b"), "prog \"a b\"");
  EXPECT_EQ(SubstituteArgument("prog %1", "a b"), "prog \"a b\"");
  EXPECT_EQ(SubstituteArgument("prog \"%1\"", "a b"), "prog \"a b\"");
  EXPECT_EQ(SubstituteArgument("prog %1", "\"a b\""), "prog \"a b\"");
}

TEST_F(Launch, EachBrowserKind) {
  DefaultValueGuard http(HKEY_CLASSES_ROOT, "http\\shell\\open\\command", Quoted(recorder) + " -sys \"%1\"");
  DefaultValueGuard ie(HKEY_LOCAL_MACHINE, std::string(kAppPaths) + "iexplore.exe", spaced);
  DefaultValueGuard ns(HKEY_LOCAL_MACHINE, std::string(kAppPaths) + "netscape.exe", spaced);
  DetectEnvironment();
  EXPECT_EQ(InternetExplorerProgram, spaced);
  EXPECT_EQ(NetscapeProgram, spaced);
  const std::string system = Quoted(recorder) + " -sys " + kQuotedUrl;

  DefaultBrowser = bkSystemDefault;
  EXPECT_TRUE(LaunchBrowser(kUrl));
  EXPECT_EQ(Launched(), system);

  DefaultBrowser = bkInternetExplorer;
  EXPECT_TRUE(LaunchBrowser(kUrl));
  EXPECT_EQ(Launched(), Quoted(spaced) + " -nohome  " + kQuotedUrl);

  DefaultBrowser = bkNetscape;
  EXPECT_TRUE(LaunchBrowser(kUrl));
  EXPECT_EQ(Launched(), Quoted(spaced) + " -h  " + kQuotedUrl);

  DefaultBrowser = bkCustom;
  CustomBrowserPath = spaced;
  CustomBrowserArgs = "--open=%1";
  EXPECT_TRUE(LaunchBrowser(kUrl));
  EXPECT_EQ(Launched(), Quoted(spaced) + " --open=" + kQuotedUrl);
  CustomBrowserArgs = "-new";
  EXPECT_TRUE(LaunchBrowser("http://example.invalid/"));
  EXPECT_EQ(Launched(), Quoted(spaced) + " -new http://example.invalid/");

  // A custom browser that is gone, or a browser kind not installed: the
  // system's browser.
  CustomBrowserPath = spaced + ".missing";
  EXPECT_TRUE(LaunchBrowser(kUrl));
  EXPECT_EQ(Launched(), system);
  DefaultBrowser = bkInternetExplorer;
  InternetExplorerProgram.clear();
  EXPECT_TRUE(LaunchBrowser(kUrl));
  EXPECT_EQ(Launched(), system);
}

TEST_F(Launch, MailClient) {
  DefaultValueGuard mailto(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command", Quoted(spaced) + " -mail %1");
  DetectEnvironment();
  EXPECT_TRUE(LaunchMailClient("mailto:someone@example.invalid"));
  EXPECT_EQ(Launched(), Quoted(spaced) + " -mail mailto:someone@example.invalid");
}

TEST_F(Launch, NothingToStartOffersTheClipboard) {
  std::string text, caption;
  UINT flags = 0;
  int answer = IDNO, calls = 0;
  Application->MessageBoxFunction = [&](HWND, const std::string& t, const std::string& c, UINT f) {
    text = t;
    caption = c;
    flags = f;
    ++calls;
    return answer;
  };
  Clipboard()->SetAsText("before");

  DefaultBrowser = bkSystemDefault;
  SystemBrowserCommand.clear();
  EXPECT_FALSE(LaunchBrowser(kUrl));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(caption, "Question");
  EXPECT_EQ(flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
  EXPECT_EQ(text,
            "Seems that Morvane can't launch your internet browser automatically. Would you like to have the URL "
            "copied to the clipboard?");
  EXPECT_EQ(Clipboard()->AsText(), "before");

  // A command whose program does not exist fails the same way.
  answer = IDYES;
  SystemBrowserCommand = "C:\\no\\such\\browser.exe %1";
  EXPECT_FALSE(LaunchBrowser(kUrl));
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(Clipboard()->AsText(), kUrl);

  MailClientCommand.clear();
  EXPECT_FALSE(LaunchMailClient("mailto:someone@example.invalid"));
  EXPECT_EQ(text,
            "Seems that Morvane can't launch your mailing program automatically. Would you like to have the address "
            "copied to the clipboard?");
  EXPECT_EQ(Clipboard()->AsText(), "mailto:someone@example.invalid");
  EXPECT_FALSE(FileExists(record));
}
