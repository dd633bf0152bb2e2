// A patch applier for the tests, written from the patch file format alone.
// It shares no code with the patch creator, so that a fault in the encoder
// shows up as a failed apply or a wrong checksum instead of cancelling out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testapply {

struct Bytes {
  const uint8_t* data = nullptr;
  size_t size = 0;
};

// One old version of a patched file with its streams.
struct OldVersion {
  std::string name;  // relative name (directory patches only)
  uint32_t crc = 0, size = 0;
  uint32_t lengthA = 0, lengthB1 = 0, lengthB2 = 0, lengthD = 0, lengthE = 0;
  uint16_t optionB = 0;
  uint8_t flags = 0, optionA = 0;
  uint32_t rangeStart = 0, rangeLength = 0;
  Bytes a, b1, b2, d, e;
};

struct PatchedFile {
  std::string name;  // relative name (directory patches only)
  uint32_t crc = 0, size = 0, dosTime = 0;
  uint16_t flags = 0;
  uint32_t rangeStart = 0, rangeLength = 0;
  std::vector<OldVersion> versions;  // oldest first
};

struct EmbeddedFile {
  std::string name;
  uint32_t dosTime = 0;
  Bytes content;
};

struct Patch {
  size_t dataStart = 0;  // where the patch data begins (after a stub)
  uint8_t mode = 0, flags = 0;
  std::string backupDir;
  std::string registryFirst, registrySecond;
  bool typeTwoTrailer = false;
  std::vector<PatchedFile> files;
  std::vector<EmbeddedFile> embedded;
  std::vector<uint8_t> body;  // the (inflated) body; Bytes point into it
};

// Reads a patch file (plain, or behind an applier stub). False with a
// reason when anything does not follow the format.
bool ParsePatch(const std::vector<uint8_t>& file, Patch* patch, std::string* error);

// CRC-32 as the format uses it (start 0xFFFFFFFF, no final XOR), leaving
// out `length` bytes at `rangeStart` when length > 0.
uint32_t Checksum(const uint8_t* data, size_t size, uint32_t rangeStart = 0, uint32_t rangeLength = 0);

// Rebuilds version i+1 from version i (old) with the streams of `version`;
// newSize is the size of version i+1.
bool DecodePair(const std::vector<uint8_t>& old, const OldVersion& version, uint32_t newSize,
                std::vector<uint8_t>* out, std::string* error);

// Identifies `old` among the file's versions by size and checksum, walks the
// chain to the newest version, checks every checksum on the way.
bool ApplyToFile(const PatchedFile& file, const std::vector<uint8_t>& old, std::vector<uint8_t>* out,
                 std::string* error);

// Whole single-file patch.
bool ApplyFilePatch(const std::vector<uint8_t>& patchFile, const std::vector<uint8_t>& old,
                    std::vector<uint8_t>* out, std::string* error);

// Directory patch: each patched file is looked up in oldDir under the names
// of its versions; results and embedded files are written below outDir.
bool ApplyDirectoryPatch(const std::vector<uint8_t>& patchFile, const std::string& oldDir,
                         const std::string& outDir, std::string* error);

}  // namespace testapply
