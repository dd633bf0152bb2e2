// A file's modification time as a local date-time value (days since
// 1899-12-30, the fraction the time of day), at the file system's own
// range and precision: the packed date format of old stops at 1980 and
// 2107, and a file dated outside it would lose its date or get a wrong one.
#pragma once

#include <cstdint>
#include <string>

#include "sysutils.h"

// False when the file cannot be reached.
bool FileDateTime(const std::string& path, TDateTime& date);
// False when the date cannot be given to the file.
bool SetFileDateTime(const std::string& path, TDateTime date);
// Whether a stored date is one at all: 0 is what a header without a known
// date holds, and values past the year 9999 are damage.
bool UsableFileDateTime(TDateTime date);

// Whole milliseconds since 1899-12-30 00:00 and back; times before that
// day count their fraction forwards from the day's start, as date-time
// values do.
int64_t DateTimeToMilliseconds(TDateTime date);
TDateTime MillisecondsToDateTime(int64_t ms);
