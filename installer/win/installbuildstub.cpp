// Stand-ins for the distribution build until it is part of the driver: a
// setup program started with "-b" or "-f" says that it cannot do that.
#include "install.h"

void TCustomInstall::BuildFromIni() { throw IEInstall("Building the distribution is not available in this setup program"); }

void TCustomInstall::TransferToFloppies(const std::string&) {
  throw IEInstall("Transferring to floppies is not available in this setup program");
}
