#include "filetime.h"

#include <algorithm>
#include <cmath>

namespace {
const int64_t kMsPerDay = 86400000;
const double kMinDateTime = -693593.0;  // 0001-01-01
const double kMaxDateTime = 2958466.0;  // 10000-01-01
}  // namespace


int64_t DateTimeToMilliseconds(TDateTime date) {
  // A damaged header may hold anything; keep to the years 1 to 9999.
  if (!std::isfinite(date)) date = 0;
  date = std::min(std::max(date, kMinDateTime), kMaxDateTime);
  const double day = std::trunc(date);
  const double fraction = std::fabs(date - day);
  return static_cast<int64_t>(day) * kMsPerDay + std::llround(fraction * kMsPerDay);
}

// Anything that rounds to the first millisecond of 1899-12-30 is the 0 of a
// header without a date, however the bytes spell it.
bool UsableFileDateTime(TDateTime date) {
  return std::isfinite(date) && date < kMaxDateTime && DateTimeToMilliseconds(date) > 0;
}

TDateTime MillisecondsToDateTime(int64_t ms) {
  int64_t day = ms / kMsPerDay;
  int64_t rest = ms % kMsPerDay;
  if (rest < 0) {
    day -= 1;
    rest += kMsPerDay;
  }
  const double fraction = static_cast<double>(rest) / kMsPerDay;
  return day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
}
