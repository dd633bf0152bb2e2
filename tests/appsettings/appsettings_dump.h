// Every stored setting as text, one per line, for comparing two processes.
#pragma once

#include <string>

#include "settings.h"

namespace appsettings {

inline std::string DumpSettings() {
  std::string out;
  for (const TSettingInfo& s : SettingsTable()) {
    out += s.Name;
    out += "=";
    switch (s.Type) {
      case stBool: out += *s.BoolVar ? "true" : "false"; break;
      case stInt: out += std::to_string(*s.IntVar); break;
      case stString: out += *s.StringVar; break;
    }
    out += "\n";
  }
  for (size_t n = 0; n < ExpertFilelistContents.size(); ++n)
    out += "expert list " + std::to_string(n) + "=" + ExpertFilelistContents[n] + "\n";
  for (size_t n = 0; n < WizardFilelistContents.size(); ++n)
    out += "wizard list " + std::to_string(n) + "=" + WizardFilelistContents[n] + "\n";
  for (const PackerSettings& p : PackerSettingsList)
    out += "packer " + p.Name + "=" + std::to_string(p.CallViaSystemPath) + "," + std::to_string(p.HideDosOutput) +
           "," + p.ExecutablePath + "," + p.ParameterTemplate + "," + p.ArchiveSuffix + "\n";
  for (const EmailSettings& p : EmailProfiles)
    if (!p.Imported)
      out += "profile " + p.DisplayName + "=" + p.Email + "," + p.Name + "," + p.Smtp + "," + p.Organization + "," +
             p.ReplyTo + "\n";
  return out;
}

}  // namespace appsettings
