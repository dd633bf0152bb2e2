// Starting the web browser and the mail client with an argument, with the
// offer to copy the argument to the clipboard when that fails.
#pragma once

#include <string>

// The template with each "%1" replaced by the argument, or the template, a
// blank and the argument when it holds no "%1".  An argument with a blank
// is put in double quotes unless the template already quotes it.
std::string SubstituteArgument(const std::string& commandTemplate, const std::string& argument);

// The command line LaunchBrowser starts for the url, by the setting
// "Default browser"; empty when no browser is known.
std::string BrowserCommandLine(const std::string& url);

// True when the program was started.
bool LaunchBrowser(const std::string& url);
bool LaunchMailClient(const std::string& address);
