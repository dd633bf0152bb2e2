// Path specifiers: named components that compute a base directory on the
// target machine, and the expansion of meta variables in paths.
#pragma once

#include <functional>
#include <string>
#include <typeinfo>
#include <vector>

#include "classes.h"

// The install object tree lives above this unit; it tells the specifiers
// how to reach into it.  Every hook may be left empty, which reads as "no
// such object" (nil container, no driver, not an install object...).
struct TPathSpecifierTree {
  std::function<bool(TComponent*)> IsInstallObject;
  std::function<TComponent*(TComponent*)> ContainerOf;     // an install object's Container
  std::function<bool(TComponent*)> IsFileRelated;
  std::function<std::string(TComponent*)> ArchiveFileOf;   // archive path of a file-related object
  std::function<std::string(TComponent*)> DestDirOf;       // an object's destination directory
  std::function<TComponent*()> InstallDriver;              // the TInstall component, or nil
  std::function<std::string()> SourceDir;                  // where the user ran the install from
  // The "-e" switch: true when given, with its text.
  std::function<bool(std::string&)> SelfExtractorName;
  std::function<bool(TComponent*)> IsShellLink;            // a TCustomInstallShellLink
  std::function<bool(TComponent*)> HasObjectLink;
  std::function<std::string(TComponent*)> ObjectLinkPath;  // file path or group directory
};
TPathSpecifierTree& PathSpecifierTree();

using TGetPathEvent = std::function<void(TObject* Sender, std::string& Path)>;

class TCustomPathSpecifier : public TComponent {
 public:
  explicit TCustomPathSpecifier(TComponent* owner);
  ~TCustomPathSpecifier() override;
  // Raises IEPathSpecifier when this specifier cannot serve obj.
  virtual void Check(TComponent* obj);
  virtual std::string Describe();
  // The directory, without a trailing backslash.
  virtual std::string Expand(TComponent* obj) = 0;
};

class TPathSpecifier : public TCustomPathSpecifier {
 public:
  explicit TPathSpecifier(TComponent* owner);
  std::string Description = "My cool new path specifier";
  TGetPathEvent OnGetPath;
  std::string Describe() override;
  std::string Expand(TComponent* obj) override;
};

class TStandardPathSpecifier : public TCustomPathSpecifier {
 public:
  TStandardPathSpecifier(TComponent* owner, const char* standardName, const char* description);
  ~TStandardPathSpecifier() override;
  const std::string& StandardName() const { return fStandardName; }
  std::string Describe() override { return fDescription; }

 private:
  std::string fStandardName;
  std::string fDescription;
};

#define INSTKIT_STANDARD_SPECIFIER(cls)                         \
  class cls : public TStandardPathSpecifier {                   \
   public:                                                      \
    explicit cls(TComponent* owner);                            \
    void Check(TComponent* obj) override;                       \
    std::string Expand(TComponent* obj) override;               \
  };

INSTKIT_STANDARD_SPECIFIER(TpsBDEDLL)
INSTKIT_STANDARD_SPECIFIER(TpsCommonFiles)
INSTKIT_STANDARD_SPECIFIER(TpsContainerArchiveFile)
INSTKIT_STANDARD_SPECIFIER(TpsContainerDestDir)
INSTKIT_STANDARD_SPECIFIER(TpsDesktopMenu)
INSTKIT_STANDARD_SPECIFIER(TpsInstallSource)
INSTKIT_STANDARD_SPECIFIER(TpsMainInstall)
INSTKIT_STANDARD_SPECIFIER(TpsMainArchiveFile)
INSTKIT_STANDARD_SPECIFIER(TpsProgramFiles)
INSTKIT_STANDARD_SPECIFIER(TpsProgramMenu)
INSTKIT_STANDARD_SPECIFIER(TpsStartMenu)
INSTKIT_STANDARD_SPECIFIER(TpsStartupMenu)
INSTKIT_STANDARD_SPECIFIER(TpsSystem)
INSTKIT_STANDARD_SPECIFIER(TpsWindow)
INSTKIT_STANDARD_SPECIFIER(TpsObjectLink)

#undef INSTKIT_STANDARD_SPECIFIER

// Every live path specifier, and the standard ones among them.
const std::vector<TCustomPathSpecifier*>& PathSpecifierList();
const std::vector<TStandardPathSpecifier*>& StandardPathSpecifierList();
// The one standard specifier of that class, or nil.
TStandardPathSpecifier* FindStandardPathSpecifier(const std::type_info& cls);
template <class T>
T* FindStandardPathSpecifier() {
  return static_cast<T*>(FindStandardPathSpecifier(typeid(T)));
}

// Creates, owned by owner and under its standard name, every standard
// specifier except psObjectLink that has no instance yet.
void CreateStandardPathSpecifiers(TComponent* owner);
// psObjectLink, created the same way by the shell links.
void CreateObjectLinkPathSpecifier(TComponent* owner);

// The Windows shell folders, each without trailing backslash.
std::string StartMenuFolder();
std::string ProgramsFolder();
std::string DesktopFolder();
std::string StartupFolder();
std::string ProgramFilesDir();
std::string CommonFilesDir();

// Expands %a %b %c %d %f %i %m %p %s %w and %% in text for component.
std::string ExpandMetaVariables(const std::string& text, TComponent* component);
// Expands %p (either case) to path and %% to %, as registry values use; a
// "%" before any other character, or at the end, stays as it is.
std::string ExpandPathVariable(const std::string& text, const std::string& path);
