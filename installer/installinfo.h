// The product that the install driver installs, as its Information.
#pragma once

#include <string>

#include "classes.h"

class TInstallInformation : public TPersistent {
 public:
  std::string CompanyName = "Default Company Name";
  std::string ProductName = "Default Product Name";
  std::string Version = "1.0";

  void Assign(TPersistent* source) override;
  void PublishProperties(TPropList& list) const override;
};
