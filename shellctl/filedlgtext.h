// The rules the file dialog applies to what the user types into its name
// edit and to the filter list it is given: splitting into names, refusing
// names the file system cannot take, masks typed as names, the default
// extension and the combination of a typed name with the folder shown.
// Portable: whether an extension is registered is the caller's answer.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace filedlg {

// Text holding a double quote is the names between quotes (blanks around
// them ignored; a word outside quotes counts as a name of its own; a quote
// left open takes the rest of the text).  Other text is one name, as typed.
std::vector<std::string> SplitTypedNames(const std::string& text);

// "/", "<", ">" or "|" anywhere, or two backslashes after the first two
// characters (where only a network path may start with them).
bool HasForbiddenChars(const std::string& name);

// The name part: after the last "\", "/" or drive colon.
std::string NamePart(const std::string& path);
// The folder part with its trailing separator, or "".
std::string DirPart(const std::string& path);
// Whether the name part holds "*" or "?".
bool IsMask(const std::string& path);

// A name part the platform takes for a device, not a file: CON, PRN, AUX,
// NUL, COM1-9 or LPT1-9, in any case, with or without an extension (and
// with blanks before the dot).  Writing to one loses the data silently.
bool IsDeviceName(const std::string& path);

// Whether the path starts at a drive ("C:") or a network share ("\\"):
// one that does not depends on whatever folder is current.
bool IsRooted(const std::string& path);

// The extension of the name part without its dot; "" for none (a name
// ending in a dot has none either).
std::string ExtensionOf(const std::string& path);

struct DefaultExtResult {
  std::string Name;
  bool ExtensionDifferent = false;
};
// With an empty defaultExt the name stays.  A name without extension gets
// "." + defaultExt (a trailing dot is not doubled); one whose extension is
// registered stays and is marked different; any other gets ".defaultExt"
// appended after its own.
DefaultExtResult ApplyDefaultExt(const std::string& name, const std::string& defaultExt,
                                 const std::function<bool(const std::string& ext)>& isRegistered);

// A typed name against the folder shown: "\x" starts at the folder's drive
// root, "C:..." and "\\server\share..." stand alone, anything else is below
// the folder; "." and ".." parts are resolved (never above the root).
std::string CombinePath(const std::string& folder, const std::string& name);

struct FilterEntry {
  std::string Description;
  std::string Masks;  // as given: "*.a;*.b"
};
// "Description|masks|Description|masks...": a description without masks
// gets none (all files); empty descriptions are kept as they are.
std::vector<FilterEntry> ParseFilter(const std::string& filter);

// The names chosen in the list as the edit shows several: each quoted,
// separated by blanks.
std::string QuoteNames(const std::vector<std::string>& names);

}  // namespace filedlg
