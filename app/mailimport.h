// Sender profiles taken over, read-only, from the settings of other mail
// programs found on the machine.  Each importer adds its profiles to
// EmailProfiles (settings.h) with the imported flag set; a key that is not
// there adds nothing.
#pragma once

#include <string>

struct EmailSettings;

void ImportInternetMailSettings();
// The default account goes to the front of the profiles, the others after.
void ImportAccountManagerSettings();
void ImportNavigatorMailSettings();
// The current user goes to the front, the others after.
void ImportMessengerUserSettings();

// Takes the SMTP server, organisation and reply-to address from a
// preference file; a file that cannot be read leaves what was read so far.
void ReadMessengerPrefs(const std::string& fileName, EmailSettings& profile);
