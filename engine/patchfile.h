// Records of the patch file, the version slots and the state of one patch
// run, and the entry points of the patch writer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "streams.h"

const uint32_t kPatchMagic = 0x3E7F8443;
const uint32_t kPatchFormat = 190;
const uint32_t kPatchHeaderSize = 76;
const uint32_t kPatchinfoRecordSize = 16;
const uint32_t kVersionRecordSize = 32;
const uint32_t kEndMarkerSize = 8;
const uint32_t kPatchType2Trailer = 0x25456ABF;

// Header flag bits.
const uint8_t kHeaderDeflated = 0x01;
const uint8_t kHeaderRegistryInfo = 0x02;
// Patchinfo flag bits.
const uint16_t kPatchinfoProtected = 0x0001;
const uint16_t kPatchinfoMatchesPattern = 0x0002;
// Version record flag bits.
const uint8_t kVersionMatchInNewFile = 0x01;
const uint8_t kVersionRawExtension = 0x02;
// Kind bytes of directory-mode entries.
const uint8_t kEntryPatched = 1;
const uint8_t kEntryEmbedded = 2;
const uint8_t kEntryEnd = 0;

struct PatchfileHeader {
  uint32_t magic = kPatchMagic;
  uint32_t format = kPatchFormat;
  uint8_t mode = 1;  // 1 single files, 2 directory trees
  uint8_t flags = 0;
  uint8_t block[64] = {};
  uint16_t firstBlockLength = 0;
};

struct PatchinfoRecord {
  uint32_t crc = 0;
  uint32_t size = 0;
  uint32_t dosTime = 0;
  uint16_t oldVersions = 0;
  uint16_t flags = 0;
};

struct VersionRecord {
  uint32_t crc = 0;
  uint32_t size = 0;
  uint32_t lengthA = 0;
  uint32_t lengthB1 = 0;
  uint32_t lengthB2 = 0;
  uint32_t lengthD = 0;
  uint32_t lengthE = 0;
  uint16_t optionB = 0;
  uint8_t flags = 0;
  uint8_t optionA = 0;
};

// Little-endian images of the records, exactly as they appear in the file.
void EncodeHeader(const PatchfileHeader& header, uint8_t out[kPatchHeaderSize]);
void EncodePatchinfo(const PatchinfoRecord& record, uint8_t out[kPatchinfoRecordSize]);
void EncodeVersionRecord(const VersionRecord& record, uint8_t out[kVersionRecordSize]);

// A file has at most this many versions.
const int kMaxVersions = 20;

struct VersionSlot {
  FILE* tempFile = nullptr;
  std::string fullPath;      // at most 400 characters
  std::string relativePath;  // at most 400 characters
  uint32_t crc = 0;          // 0: not computed yet for the current file
  uint32_t size = 0;
  std::string tempName;      // streams of the pair ending at this version
};

// Allocated once per process by AllocEngineBuffers.
extern VersionSlot* VersionSlots;
// Record i describes the pair (version i-1 -> version i); index 0 unused.
extern VersionRecord VersionRecords[kMaxVersions];

// Run state; used by the patch thread only.
extern std::string OutputName;
extern std::string OutputBaseName;
extern std::string PatchfileName;   // the file being written
extern FILE* PatchFile;
extern FILE* PairOldFile;
extern FILE* PairNewFile;
extern FILE* EmbedInputFile;
extern volatile uint8_t EngineInterruptible;
extern uint32_t CurrentFileTime;     // set by whoever calls WritePatchedFile
extern std::string ProgramDir;       // ends in a separator, or empty
extern uint8_t PatchMode;            // header mode of the current run
// Size of both files of the current pair, and the range the encoder's
// numbers must cover (larger size, or the sum with MatchInNewFile).
extern uint32_t PairOldSize;
extern uint32_t PairNewSize;
extern uint32_t PairWorkingSize;
// Protected range starts of the current pair (old and new file).
extern uint32_t ProtectionOldStart;
extern uint32_t ProtectionNewStart;
// Every DirectoryStream of the run, in source-list order (owned).
extern DynArray DirectoryStreams;

// Entry point of a run: everything comes from EngineOptions.
void CreatePatch();

void StartBodyCompression();
void WriteBody(const void* buffer, uint32_t n);
void FinishBody();
void WriteName(const std::string& text);

bool WritePatchedFile(const std::string& name, uint32_t n);
void DiffPair(uint32_t i);
void LoadPair(const std::string& oldName, const std::string& newName, uint32_t i);
void EmbedFile(const std::string& path, const std::string& relativeName);

FILE* MakeTempFile(std::string& nameOut);
bool ConcatenateFiles(const std::string& first, const std::string& second, const std::string& output);

void ClearStreams();
void EndPatchRun();
void AllocEngineBuffers();
void FreeEngineBuffers();
