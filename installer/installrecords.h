// The byte and text forms the install driver reads and writes: the trailer
// of a self-extracting setup, the remote file list of web distributions,
// the setup program's command line, the line that continues an
// installation after a reboot and the batch file that removes the
// loader's temporary copy.  Both the trailer and the file list can come
// from outside (a wrong "-e" file, a server), so their readers check every
// field before anything is taken from them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// ---- self-extractor trailer: the last 56 bytes of the executable ----
const size_t SelfExtractTrailerSize = 56;

struct TSelfExtractTrailer {
  int32_t SetupStart = 0;  // first byte of the appended "setup.1"
  int32_t SetupEnd = 0;    // its last byte
  int32_t FilesStart = 0;  // first byte of "files.1", 0 when none
  int32_t FilesEnd = 0;    // its last byte, 0 when none
};

std::string EncodeSelfExtractTrailer(const TSelfExtractTrailer& trailer);
// Takes the trailer from its 56 bytes, for a file of fileSize bytes.  False
// when the magic is missing or a position lies outside what comes before
// the trailer.
bool DecodeSelfExtractTrailer(const void* bytes, size_t size, int64_t fileSize, TSelfExtractTrailer& trailer);

// ---- "filelist.lst" ----
const size_t RemoteFileRecordSize = 72;
const size_t RemoteFileNameWidth = 40;
const size_t RemoteFileVersionWidth = 20;

struct TRemoteFileRecord {
  int32_t Size = 0;
  double Date = 0;  // TDateTime
  std::string Name;
  std::string Version;
};

// A name or version longer than its field is cut by the writer; the build
// refuses such names before it gets here.
std::string EncodeRemoteFileList(const std::vector<TRemoteFileRecord>& records);
// Raises IEInstall "Cannot read the remote list of files: %s" (%s = path)
// for a short count or record, a negative count or size, or a date outside
// the TDateTime range.
std::vector<TRemoteFileRecord> DecodeRemoteFileList(const std::string& bytes, const std::string& path);

// ---- command line ----
enum TCommandLineFlag { clBuild, clFloppies, clDebug, clSelfExtract, clAfterReboot, clSource, clCopy, clFlagCount };

struct TCommandLine {
  bool Given[clFlagCount] = {};
  std::string Text[clFlagCount];
  bool Has(TCommandLineFlag f) const { return Given[f]; }
  const std::string& TextOf(TCommandLineFlag f) const { return Text[f]; }
};

// Reads the arguments after the program name, first to last; a later
// argument of the same letter replaces the text.  An argument that is not
// "-" and one of "bfdersc" (case-free) raises IException with the
// invalid-parameter message.
TCommandLine ParseSetupCommandLine(const std::vector<std::string>& args);

// ---- RunOnce line ----
struct TRunOnceLine {
  std::string ProgramPath;       // the running setup program
  std::string SetupProgramPath;  // the distribution's setup program (or the self-extractor)
  bool SelfExtract = false;
  bool Copy = false;
  std::string CopyText;          // the loader's file name given with "-c"
};
std::string BuildRunOnceLine(const TRunOnceLine& line);

// ---- "Unfinished" entries: "name;kind" ----
// Splits at the last ";", since a file path may hold one itself.  False
// when there is no ";" or the kind is not an integer.
bool SplitUnfinishedLine(const std::string& line, std::string& name, int& kind);

// ---- loader clean-up batch ----
struct TCleanupBatch {
  std::string ProgramPath;  // the setup program to erase
  std::string ProgramDir;   // its folder, without trailing backslash
  std::string BatchPath;
  bool WindowsNT = true;    // RMDIR /S /Q; the 95 family has DELTREE /Y
  bool DeleteTree = true;   // false when the folder is not the loader's temporary copy
  int Retries = 10;         // waits of about a second while the program still ends
};
std::vector<std::string> BuildCleanupBatch(const TCleanupBatch& batch);

// True when path lies strictly below dir (case-free, whole folder names).
bool PathBelowDirectory(const std::string& path, const std::string& dir);
