// One 164-byte file header (short input is padded with zeros).  Its date
// may be any eight bytes: the millisecond count must come back the same
// through a date-time value, and the stored path, shortened to any width,
// must keep its file name.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "compress.h"
#include "filetime.h"
#include "wizardlayout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t raw[FileHeaderSize] = {};
  std::memcpy(raw, data, size < sizeof raw ? size : sizeof raw);
  TFileHeaderRecord r;
  r.Decode(raw);
  const int64_t ms = DateTimeToMilliseconds(r.Date);
  if (DateTimeToMilliseconds(MillisecondsToDateTime(ms)) != ms) __builtin_trap();
  if (UsableFileDateTime(r.Date) && ms <= 0) __builtin_trap();
  const int width = size > FileHeaderSize ? data[FileHeaderSize] : 40;
  const std::string shown = FitPath(r.SourcePath, width, [](const std::string& s) { return static_cast<int>(s.size()); });
  const size_t slash = r.SourcePath.rfind('\\');
  if (slash != std::string::npos) {
    const std::string name = r.SourcePath.substr(slash + 1);
    if (shown.size() < name.size() || shown.compare(shown.size() - name.size(), name.size(), name) != 0)
      __builtin_trap();
  }
  return 0;
}
