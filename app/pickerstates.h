// What the pickers hand to the engine, on plain data: the states one pair
// stands for, and whether a whole set of states makes a patch.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The states of one pair. folder is the combo's file-system path, empty
// when the folder has none (the computer folder, Desktop's virtual
// folders); selected are the chosen items' file names in list order.
// No selection: the folder itself. Otherwise one state per item. A pair
// without a file-system folder gives empty states, never bare names that
// would be resolved against the current directory.
std::vector<std::string> PickerStates(const std::string& folder, const std::vector<std::string>& selected);

struct SourceVerdict {
  bool valid = false;
  bool allDirectories = false;
  std::vector<uint8_t> isDirectory;  // one flag per state
};

// The states (sources then the final state, without the output name) are
// a patch when none is empty, there are at most maxStates of them, they
// are all files or all directories, and no two name the same file.
SourceVerdict JudgeStates(const std::vector<std::string>& states, const std::function<bool(const std::string&)>& isDir,
                          size_t maxStates);

// The engine's patch type for the item of a patch-type combo: plain,
// command line, graphical.
uint32_t EnginePatchType(int comboIndex);
// The engine's output name: the entered name with ".utp" for a plain
// patch, ".exe" otherwise.
std::string EngineOutputName(const std::string& entered, uint32_t patchType);
