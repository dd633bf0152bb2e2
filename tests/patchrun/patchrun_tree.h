// Directory trees for whole patch runs: several states of a small program
// folder whose files change from state to state like real releases.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace patchrun {

// Writes states 0..states-1 below root as root/v0, root/v1, ... and returns
// their paths. Every state holds `files` files of about `size` bytes; each
// state edits, inserts into and cuts from the previous one.
std::vector<std::string> MakeStates(const std::string& root, int states, int files, size_t size);

// Every file below `expected` exists below `actual` with the same bytes.
bool SameTree(const std::string& expected, const std::string& actual, std::string* difference);

// Points the temporary directory of the process at dir.
void UseTempDir(const std::string& dir);

// Number of entries in a directory.
size_t EntryCount(const std::string& dir);

}  // namespace patchrun
