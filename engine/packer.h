// Packing the finished patch file: the internal ZIP writer or one of the
// external archivers of the packer table, started through the host.
#pragma once

#include <cstdint>
#include <string>

struct PackerEntry {
  std::string name;        // shown in the application's packer lists
  std::string executable;  // program file name; empty: internal
  std::string suffix;      // appended to the output base name
  std::string path;        // configured program path; empty: search PATH
  std::string options;     // option template with %b and %p
  bool hideOutput = true;  // keep the archiver's console window hidden
};

const int kPackerCount = 8;
// Rows as the program starts; the application copies its settings over
// rows 1..7 before each run.
extern PackerEntry PackerTable[kPackerCount];
void ResetPackerTable();

// Before anything is written: the chosen packer must be known and, when
// packing is requested, findable.
void CheckPacker(uint32_t index);
std::string PackerCommand(uint32_t index);
std::string ExpandTemplate(const std::string& options, const std::string& baseName, const std::string& patchFile);
void RunPacker(const std::string& commandLine, bool hide);
// For the host that ran the archiver: a non-zero exit code ends the run
// (the packer then removes what the archiver left; the patch stays).
[[noreturn]] void ReportArchiverFailed(const std::string& commandLine, unsigned long exitCode);
// Packs outputName into baseName + the row's suffix (PackerIndex); the patch
// file stays beside the archive.
void PackPatchfile(const std::string& baseName, const std::string& outputName);
