#include "installinfo.h"

void TInstallInformation::Assign(TPersistent* source) {
  TInstallInformation* other = dynamic_cast<TInstallInformation*>(source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  CompanyName = other->CompanyName;
  ProductName = other->ProductName;
  Version = other->Version;
}

void TInstallInformation::PublishProperties(TPropList& list) const {
  TPersistent::PublishProperties(list);
  list.push_back(StrProp<TInstallInformation>(
      "CompanyName", [](TInstallInformation* i) { return i->CompanyName; },
      [](TInstallInformation* i, const std::string& v) { i->CompanyName = v; }));
  list.push_back(StrProp<TInstallInformation>(
      "ProductName", [](TInstallInformation* i) { return i->ProductName; },
      [](TInstallInformation* i, const std::string& v) { i->ProductName = v; }));
  list.push_back(StrProp<TInstallInformation>(
      "Version", [](TInstallInformation* i) { return i->Version; },
      [](TInstallInformation* i, const std::string& v) { i->Version = v; }));
}
