// The file type's version guard: a newer patch creator already installed
// keeps its own description, icon, test command and extension entries.
#pragma once

// The file-type version this setup writes as "MorvaneVersion".
const int SetupFileTypeVersion = 21;

// True when HKEY_CLASSES_ROOT\Morvane holds a "MorvaneVersion" that reads as
// an integer above SetupFileTypeVersion.  The key is never created; a
// missing key or value, or text that is no number, counts as not newer.
bool InstalledFileTypeIsNewer();
