#include <sys/stat.h>
#include <sys/time.h>

#include <ctime>

#include "filetime.h"

namespace {
const int64_t kMsPerDay = 86400000;
}  // namespace

bool FileDateTime(const std::string& path, TDateTime& date) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  struct tm lt {};
  const time_t seconds = st.st_mtim.tv_sec;
  if (!localtime_r(&seconds, &lt)) return false;
  TDateTime day = 0;
  if (!TryEncodeDate(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday, day)) return false;
  const int64_t msOfDay =
      ((lt.tm_hour * 60 + lt.tm_min) * 60 + lt.tm_sec) * 1000LL + st.st_mtim.tv_nsec / 1000000;
  date = MillisecondsToDateTime(static_cast<int64_t>(day) * kMsPerDay + msOfDay);
  return true;
}

bool SetFileDateTime(const std::string& path, TDateTime date) {
  if (!UsableFileDateTime(date)) return false;
  const int64_t ms = DateTimeToMilliseconds(date);
  int year = 0, month = 0, day = 0;
  DecodeDate(MillisecondsToDateTime(ms - ms % kMsPerDay), year, month, day);
  const int64_t msOfDay = ms % kMsPerDay;
  struct tm lt {};
  lt.tm_year = year - 1900;
  lt.tm_mon = month - 1;
  lt.tm_mday = day;
  lt.tm_hour = static_cast<int>(msOfDay / 3600000);
  lt.tm_min = static_cast<int>(msOfDay / 60000 % 60);
  lt.tm_sec = static_cast<int>(msOfDay / 1000 % 60);
  lt.tm_isdst = -1;
  const time_t seconds = mktime(&lt);
  if (seconds == static_cast<time_t>(-1)) return false;
  struct timeval times[2];
  times[0].tv_sec = times[1].tv_sec = seconds;
  times[0].tv_usec = times[1].tv_usec = static_cast<suseconds_t>(msOfDay % 1000 * 1000);
  return ::utimes(path.c_str(), times) == 0;
}
