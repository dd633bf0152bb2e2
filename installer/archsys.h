// The one file operation of the install archive that the class library does
// not offer: moving a finished extraction onto its target in one step.
#pragma once

#include <string>

// Moves 'from' onto 'to', replacing 'to' when it exists.
bool ArchRenameReplace(const std::string& from, const std::string& to);
