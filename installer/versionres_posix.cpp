// Executables here carry no Windows version resources; every file reads as
// one without, which is also what the decisions expect for such files.
#include "filetime.h"
#include "versionres_sys.h"

bool LoadVersionData(const std::string&, std::vector<unsigned char>& data) {
  data.clear();
  return false;
}

bool QueryFixedVersion(std::vector<unsigned char>&, TFixedVersionFields&) { return false; }

bool QueryVersionString(std::vector<unsigned char>&, const std::string&, std::string&) {
  return false;
}

bool QueryVersionTranslations(std::vector<unsigned char>&, std::vector<uint32_t>& pairs) {
  pairs.clear();
  return false;
}

bool OpenedFileDate(const std::string& fileName, TDateTime& date) {
  THandle h = FileOpen(fileName, fmOpenRead | fmShareDenyNone);
  if (h == INVALID_FILE_HANDLE) return false;
  FileClose(h);
  return FileDateTime(fileName, date);
}
