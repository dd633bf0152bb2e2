// Platform half of the version-resource reader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sysutils.h"

struct TFixedVersionFields {
  uint32_t FileVersionMS = 0, FileVersionLS = 0;
  uint32_t ProductVersionMS = 0, ProductVersionLS = 0;
  uint32_t FileOS = 0, FileType = 0, FileSubtype = 0;
};

// The file's whole version resource; false when it has none.
bool LoadVersionData(const std::string& fileName, std::vector<unsigned char>& data);
// The fixed part of a loaded resource; false when it is missing.
bool QueryFixedVersion(std::vector<unsigned char>& data, TFixedVersionFields& fields);
// A value of the resource's string table ("\StringFileInfo\...\Name").
bool QueryVersionString(std::vector<unsigned char>& data, const std::string& path,
                        std::string& value);
// The language and code page pairs of the resource's translation table,
// each as language << 16 | code page.
bool QueryVersionTranslations(std::vector<unsigned char>& data, std::vector<uint32_t>& pairs);
// The file's modification time, read through a handle opened for reading
// with no sharing restriction; false when it cannot be opened.
bool OpenedFileDate(const std::string& fileName, TDateTime& date);
