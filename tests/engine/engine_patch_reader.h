// A reader of patch files for the tests, written from the file format alone
// (it shares nothing with the writer): header, body, entries and marker.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ReadVersion {
  std::string name;  // directory mode only
  uint32_t crc = 0, size = 0;
  uint32_t lengths[5] = {};  // A, B1, B2, D, E
  uint16_t optionB = 0;
  uint8_t flags = 0, optionA = 0;
  uint32_t rangeStart = 0, rangeLength = 0;
  std::vector<uint8_t> streams;  // the five streams back to back
};

struct ReadEntry {
  int kind = 1;  // 1 patched, 2 embedded
  std::string name;
  uint32_t crc = 0, size = 0, time = 0;
  uint16_t flags = 0;
  uint32_t rangeStart = 0, rangeLength = 0;
  std::vector<ReadVersion> versions;
  std::vector<uint8_t> content;  // embedded files
};

struct ReadPatch {
  size_t dataStart = 0;  // stub length in an executable
  uint32_t magic = 0, format = 0;
  uint8_t mode = 0, flags = 0;
  std::vector<uint8_t> headerBlock;
  uint16_t firstLength = 0;
  std::vector<uint8_t> body;  // inflated when the header says so
  std::vector<uint8_t> firstBlock;
  std::string backupDir, registryFirst, registrySecond;
  std::vector<ReadEntry> entries;
  bool trailer = false;  // the u32 0, u32 0x25456ABF of PatchType 2
  uint32_t markerLength = 0, markerMagic = 0;
};

// Parses a whole patch file (plain or executable); returns "" or the fault.
std::string ReadPatchFile(const std::vector<uint8_t>& file, bool withTrailer, ReadPatch& out);
