// The time stamp of a saved dictionary: the time of saving in the UTC+8 zone
// (China Standard Time), where the program's translators work.
#pragma once

#include <cstddef>

#include "platform/platform.h"

namespace dict_clock {

// The clock that saving reads; platform::GetSystemTimeUtc unless a test set
// another. Passing nullptr restores the system clock.
using Clock = void (*)(platform::SystemTime* utc);
void SetClock(Clock clock);
void Now(platform::SystemTime* utc);

// utc moved forward by eight hours as a whole, date included (day, month,
// year and day of the week roll over, leap years counted).
platform::SystemTime ToUtcPlus8(const platform::SystemTime& utc);

// The header line of a saved dictionary for the given local time, into out.
// Result: its length, or 0 when it does not fit.
size_t FormatHeader(const platform::SystemTime& local, char* out, size_t capacity);

}  // namespace dict_clock
