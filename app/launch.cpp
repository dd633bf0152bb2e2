#include <windows.h>

#include "launch.h"

#include "settings.h"
#include "win/clipboard.h"
#include "win/forms.h"

namespace {

bool HasBlank(const std::string& s) { return s.find_first_of(" \t") != std::string::npos; }

// A program path with a blank would otherwise be split at it, and the
// system would try to start the part before the blank.
std::string QuotedProgram(const std::string& path) {
  if (path.empty() || path[0] == '"' || !HasBlank(path)) return path;
  return "\"" + path + "\"";
}

bool Start(const std::string& commandLine, UINT show) {
  if (commandLine.empty()) return false;
  return WinExec(commandLine.c_str(), show) >= 32;
}

void OfferClipboardCopy(const std::string& question, const std::string& text) {
  if (Application->MessageBox(question, "Question", MB_YESNO | MB_ICONQUESTION) == IDYES)
    Clipboard()->SetAsText(text);
}

}  // namespace

std::string SubstituteArgument(const std::string& commandTemplate, const std::string& argument) {
  const bool quote = HasBlank(argument) && !(argument.size() >= 2 && argument.front() == '"' && argument.back() == '"');
  std::string result;
  bool substituted = false;
  for (size_t i = 0; i < commandTemplate.size(); ++i) {
    if (commandTemplate[i] == '%' && i + 1 < commandTemplate.size() && commandTemplate[i + 1] == '1') {
      bool quotedAlready = i > 0 && commandTemplate[i - 1] == '"';
      result += quote && !quotedAlready ? "\"" + argument + "\"" : argument;
      substituted = true;
      ++i;
    } else {
      result += commandTemplate[i];
    }
  }
  if (!substituted) result += " " + (quote ? "\"" + argument + "\"" : argument);
  return result;
}

std::string BrowserCommandLine(const std::string& url) {
  std::string command;
  switch (DefaultBrowser) {
    case bkSystemDefault: command = SystemBrowserCommand; break;
    case bkInternetExplorer:
      if (!InternetExplorerProgram.empty()) command = QuotedProgram(InternetExplorerProgram) + " -nohome ";
      break;
    case bkNetscape:
      if (!NetscapeProgram.empty()) command = QuotedProgram(NetscapeProgram) + " -h ";
      break;
    case bkCustom:
      if (!CustomBrowserPath.empty() && FileExists(CustomBrowserPath))
        command = QuotedProgram(CustomBrowserPath) + " " + CustomBrowserArgs;
      break;
  }
  if (command.empty()) command = SystemBrowserCommand;
  return command.empty() ? command : SubstituteArgument(command, url);
}

bool LaunchBrowser(const std::string& url) {
  if (Start(BrowserCommandLine(url), SW_SHOWNORMAL)) return true;
  OfferClipboardCopy(
      "Seems that Morvane can't launch your internet browser automatically. Would you like to have the URL copied "
      "to the clipboard?",
      url);
  return false;
}

bool LaunchMailClient(const std::string& address) {
  if (!MailClientCommand.empty() && Start(SubstituteArgument(MailClientCommand, address), SW_HIDE)) return true;
  OfferClipboardCopy(
      "Seems that Morvane can't launch your mailing program automatically. Would you like to have the address "
      "copied to the clipboard?",
      address);
  return false;
}
