// Exception families of the installer kit.  The IException family carries
// messages that pass through the current translator, so every kit error is
// shown in the user's language where a translation exists.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "sysutils.h"

// ---- install run ----
class EAI : public Exception {
 public:
  using Exception::Exception;
};

class EAIUserAbort : public EAI {
 public:
  EAIUserAbort() : EAI("Installation aborted by the user") {}
};

// Meta-variable expansion failures (%a, %i).
class EAICannotExpandContainerDirMV : public EAI {
 public:
  using EAI::EAI;
};
class EAICannotExpandInstallDirMV : public EAI {
 public:
  using EAI::EAI;
};

// ---- kit errors ----
class ECustomQuenlowAbnormal : public Exception {
 public:
  using Exception::Exception;
};

class EQuenlowAbnormal : public ECustomQuenlowAbnormal {
 public:
  using ECustomQuenlowAbnormal::ECustomQuenlowAbnormal;
};

class EQnlwCompress : public EQuenlowAbnormal {
 public:
  using EQuenlowAbnormal::EQuenlowAbnormal;
};

class EqcDiskFull : public EQnlwCompress {
 public:
  EqcDiskFull() : EQnlwCompress("The disk is full") {}
  using EQnlwCompress::EQnlwCompress;
};

class EqcAborted : public EQnlwCompress {
 public:
  EqcAborted() : EQnlwCompress("Operation aborted by user") {}
  using EQnlwCompress::EQnlwCompress;
};

class EAPIRoutines : public EQuenlowAbnormal {
 public:
  using EQuenlowAbnormal::EQuenlowAbnormal;
};

class EIRCannotWriteValue : public Exception {
 public:
  using Exception::Exception;
};

// ---- the archive's compression ----
class EZlibError : public Exception {
 public:
  EZlibError() : Exception("error") {}
  using Exception::Exception;
};
class ECompressionError : public EZlibError {
 public:
  using EZlibError::EZlibError;
};
class EDecompressionError : public EZlibError {
 public:
  using EZlibError::EZlibError;
};

// ---- translated kit errors ----
class IException : public ECustomQuenlowAbnormal {
 public:
  // The message is translated before it is stored.
  explicit IException(const std::string& message);
  // The format is translated first, then filled in.
  IException(const std::string& format, std::initializer_list<TVarRec> args);
  IException(const std::string& format, const std::vector<TVarRec>& args);
};

#define INSTKIT_IEXCEPTION(name, parent) \
  class name : public parent {           \
   public:                               \
    using parent::parent;                \
  };

INSTKIT_IEXCEPTION(IEInstall, IException)
INSTKIT_IEXCEPTION(IEInstallContainer, IException)
INSTKIT_IEXCEPTION(IEFileRelated, IException)
INSTKIT_IEXCEPTION(IEFileContainer, IException)
INSTKIT_IEXCEPTION(IEfcDuplicateFile, IEFileContainer)
INSTKIT_IEXCEPTION(IECustomInstallFile, IException)
INSTKIT_IEXCEPTION(IECustomInstallFileList, IException)
INSTKIT_IEXCEPTION(IEPathSpecifier, IException)
INSTKIT_IEXCEPTION(IEPathSpecifierList, IException)
INSTKIT_IEXCEPTION(IERegistryEntry, IException)
INSTKIT_IEXCEPTION(IERegistryEntries, IException)
INSTKIT_IEXCEPTION(IEInstallRegistry, IException)
INSTKIT_IEXCEPTION(IEInstallRegistryList, IException)
INSTKIT_IEXCEPTION(IEInstallShellLink, IException)
INSTKIT_IEXCEPTION(IEShellLinkGroup, IException)
INSTKIT_IEXCEPTION(IEInstallShellLinkList, IException)
INSTKIT_IEXCEPTION(IEUninstallEXE, IException)
INSTKIT_IEXCEPTION(IEFileGroupSelectForm, IException)
INSTKIT_IEXCEPTION(IEObjectRepositoryEntry, IException)
INSTKIT_IEXCEPTION(IEInstallBDE, IException)
INSTKIT_IEXCEPTION(IEbdeCannotFindQuenlowPath, IEInstallBDE)

#undef INSTKIT_IEXCEPTION
