// A stand-in install driver for the link and registry suites: the root of
// the tree with the product's information, registered with the kit.
#pragma once

#include "installfile.h"
#include "installregistry.h"

namespace instlinks {

class TLinksDriver : public TFileContainer {
 public:
  TLinksDriver(TComponent* owner, const std::string& destDir) : TFileContainer(owner) {
    SetName("Install");
    SetDestDir(destDir);
    Information.CompanyName = "Morvane Test Co";
    Information.ProductName = "Morvane Tapmend";
    Information.Version = "3.2";
    RegisterInstallDriver(this, &Information);
    InstallDriverInfoHooks().Information = [this] { return &Information; };
  }
  ~TLinksDriver() override { InstallDriverInfoHooks().Information = nullptr; }
  TInstallInformation Information;
};

}  // namespace instlinks
