// The install file that carries the uninstaller and enters the product in
// Windows' list of installed software.  The uninstaller gets the product
// name as its argument and works from the logs the other objects write
// under the product's uninstall key.
#pragma once

#include <string>

#include "installfile.h"

class TUninstallEXE : public TCustomInstallFile {
 public:
  explicit TUninstallEXE(TComponent* owner);
  // Replaces the file log with the product's entry.
  void WriteUninstallLog(const std::string& key) override;
  // The command Windows runs to remove the product.
  std::string UninstallString();
};
