// No Windows Internet library here: the first use fails as it does on a
// Windows system without one.
#include "netlocation.h"

struct TWinInetApi {};

uint32_t TCustomNetInstallLocation::LastError() { return 0; }

std::string TCustomNetInstallLocation::LastResponse() { return "No server response"; }

void TCustomNetInstallLocation::LoadWinInet() {
  if (!loaded_) throw ENIL_FailLoadWININET();
}

void TCustomNetInstallLocation::FreeWinInet() { loaded_ = false; }

void TCustomNetInstallLocation::Connect() {
  CurrentNetInstallLocation = this;
  LoadWinInet();
}

void TCustomNetInstallLocation::CloseHandles() {}

void TCustomNetInstallLocation::Download(const std::string& remoteFile, const std::string& localFile) {
  Connect();
  remoteFile_ = remoteFile;
  localFile_ = localFile;
}
