#include "pickerstates.h"

#include "patchnames.h"
#include "scan.h"

std::vector<std::string> PickerStates(const std::string& folder, const std::vector<std::string>& selected) {
  if (folder.empty()) return std::vector<std::string>(selected.empty() ? 1 : selected.size());
  std::string base = folder;
  if (base.back() != '\\') base += '\\';
  if (selected.empty()) return {base};
  std::vector<std::string> states;
  for (const std::string& name : selected) states.push_back(name.empty() ? std::string() : base + name);
  return states;
}

SourceVerdict JudgeStates(const std::vector<std::string>& states, const std::function<bool(const std::string&)>& isDir,
                          size_t maxStates) {
  SourceVerdict v;
  size_t dirs = 0;
  bool empty = false;
  for (const std::string& s : states) {
    if (s.empty()) {
      empty = true;
      v.isDirectory.push_back(0);
      continue;
    }
    const bool d = isDir(s);
    v.isDirectory.push_back(d ? 1 : 0);
    if (d) ++dirs;
  }
  v.allDirectories = !states.empty() && dirs == states.size();
  if (empty || states.size() < 2 || states.size() > maxStates) return v;
  if (dirs != 0 && dirs != states.size()) return v;
  for (size_t i = 0; i < states.size(); ++i)
    for (size_t j = i + 1; j < states.size(); ++j)
      if (SameFileName(states[i], states[j])) return v;
  v.valid = true;
  return v;
}

uint32_t EnginePatchType(int comboIndex) {
  switch (comboIndex) {
    case 1: return 1;
    case 2: return 3;
    default: return 0;
  }
}

std::string EngineOutputName(const std::string& entered, uint32_t patchType) {
  return ReplaceExtension(entered, patchType == 0 ? ".utp" : ".exe");
}
