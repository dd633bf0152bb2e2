// Every stored setting as text, one per line, for comparing two processes.
#pragma once

#include <string>

#include "settings.h"

namespace appsettings {

inline std::string ProfileText(const EmailSettings& p) {
  return p.Email + "," + p.Name + "," + p.Smtp + "," + p.Organization + "," + p.ReplyTo;
}

inline std::string DumpSettings() {
  std::string out;
  for (const TSettingInfo& s : SettingsTable()) {
    out += std::string(s.Name) + "=";
    switch (s.Type) {
      case stBool: out += *s.BoolVar ? "true" : "false"; break;
      case stInt: out += std::to_string(*s.IntVar); break;
      case stString: out += *s.StringVar; break;
    }
    out += "\n";
  }
  for (const std::string& list : ExpertFilelistContents) out += "expert list=" + list + "\n";
  for (const std::string& list : WizardFilelistContents) out += "wizard list=" + list + "\n";
  for (const PackerSettings& p : PackerSettingsList)
    out += "packer " + p.Name + "=" + std::to_string(p.CallViaSystemPath) + "," + std::to_string(p.HideDosOutput) +
           "," + p.ExecutablePath + "," + p.ParameterTemplate + "," + p.ArchiveSuffix + "\n";
  for (const EmailSettings& p : EmailProfiles)
    if (!p.Imported) out += "profile " + p.DisplayName + "=" + ProfileText(p) + "\n";
  return out;
}

}  // namespace appsettings
