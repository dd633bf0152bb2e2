// The rules for patch file names and typed mail receivers, free of the
// platform so that they are checked natively.
#pragma once

#include <string>
#include <vector>

// Names with a drive ("C:\...") or a network share ("\\server\...") are
// absolute; anything else is taken relative to the desktop folder.
bool IsAbsolutePatchName(const std::string& name);
// The name proposed on the pages: an absolute setting as it is, otherwise
// the desktop folder, "\" and the setting.
std::string ProposedPatchName(const std::string& setting, const std::string& desktop);

// Drive, folder and base name of name followed by extension (which brings
// its own dot). A dot in a folder name is not an extension.
std::string ReplaceExtension(const std::string& name, const std::string& extension);

// The extension a run gives its result: with an archive the packer's
// archive suffix, otherwise ".utp" for a plain and ".exe" for an
// executable patch.
std::string PatchFileExtension(bool plain, bool archive, const std::string& archiveSuffix);

// A stored name shown beside a stored patch type: a name that ends in the
// other type's extension (".utp" or ".exe") gets the type's own; any other
// name (an archive's, say) stays as it is.
std::string NameMatchingType(const std::string& name, bool plain);

// Whether a typed text becomes a receiver: not empty, not the field's
// placeholder, not yet among existing (addresses compared without case),
// and with exactly one "@".
bool CanAddTypedReceiver(const std::string& text, const std::string& placeholder,
                         const std::vector<std::string>& existing);
