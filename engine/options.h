// Process-wide option variables of the patch engine, the progress hooks, and
// the small text routines the engine applies to option text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Sources (at most 20) plus the output name as the last used entry.
const int kMaxSourceEntries = 21;

extern std::string SourceList[kMaxSourceEntries];
extern uint32_t SourceCount;
extern uint8_t SourceIsDir[kMaxSourceEntries];
extern uint32_t PatchType;
extern uint8_t ArchiveResult;
extern uint8_t ArchiveFlag2;
extern uint32_t PackerIndex;
extern std::string BackupDir;
extern uint8_t CompressPatchfile;
extern uint8_t MatchInNewFile;
extern uint8_t InMemory;
extern uint16_t SampleStep;
extern uint16_t OptionB;
extern uint16_t OptionA;
extern uint32_t WarpOffset;
extern uint8_t WarpFlag;
extern uint8_t UseCurrentTime;
extern uint8_t UniformFileTime;
extern uint8_t ForcePatch;
extern uint8_t ScanFlag;
extern std::string RegistryInfoFirst;
extern std::string RegistryInfoSecond;

struct IgnorePattern {
  std::string pattern;
  uint8_t flag = 0;        // handed to MatchesPattern like a MatchPatterns flag
  uint8_t allOld = 0;      // applies to every old version
  uint8_t newest = 0;      // applies to the newest version
  uint8_t perVersion[kMaxSourceEntries] = {};  // by source index
};

struct MatchPattern {
  std::string pattern;
  uint8_t flag = 0;
};

// The list counts of the option table are the sizes of these vectors.
extern std::vector<IgnorePattern> IgnorePatterns;
extern std::vector<MatchPattern> MatchPatterns;
extern std::vector<std::string> ProtectionRanges;

// Results of LookupProtectionRange for the current file.
extern uint8_t ProtectionFound;
extern uint32_t ProtectionLength;
extern uint32_t ProtectionOffsets[kMaxSourceEntries];

extern uint8_t DirectoryMode;
extern uint8_t GermanMessages;

typedef void (*PercentHookFn)(int32_t percent);
typedef void (*FileProgressHookFn)(uint32_t bytesDone, uint32_t bytesTotal, const char* fileName);

extern PercentHookFn FinderProgressHook;
extern PercentHookFn OptimizeProgressHook;
extern PercentHookFn EncodeProgressHook;
extern FileProgressHookFn FileProgressHook;

void ResetEngineOptions();
void ClampEngineNumericOptions();

std::string SubstringFrom(const std::string& text, size_t k);
std::string DropLeadingChar(const std::string& text, char c);
char UpperChar(char c);
std::string UpperText(const std::string& text);
void SplitAtComma(std::string& text, std::string& head);

bool IsNumberText(const std::string& text);
uint32_t ParseNumber(const std::string& text);

// Ends the process (exit code 20) on a malformed number, as the command-line
// tools have always done, after removing what the run has written.
void LookupProtectionRange(const std::string& fileName, uint32_t versionCount);
// Judges every entry the way the lookup will, before anything is written
// (file runs only; the same exit on a malformed number).
void CheckProtectionRanges(uint32_t versionCount);

bool MatchesPattern(const std::string& pattern, const std::string& name, uint8_t flag);
bool MatchesAnyPattern(const std::string& name);
