#include "dictionary/dict_clock.h"

#include <cstdint>
#include <cstdio>

#include "dictionary/dict_format.h"

namespace dict_clock {

namespace {

Clock g_clock = nullptr;

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<int64_t>(yoe) + era * 400 + (*m <= 2);
}

}  // namespace

void SetClock(Clock clock) { g_clock = clock; }

void Now(platform::SystemTime* utc) {
  if (g_clock != nullptr) {
    g_clock(utc);
  } else {
    platform::GetSystemTimeUtc(utc);
  }
}

platform::SystemTime ToUtcPlus8(const platform::SystemTime& utc) {
  platform::SystemTime local = utc;
  int64_t days = DaysFromCivil(utc.year, utc.month, utc.day);
  unsigned hour = utc.hour + 8u;
  if (hour >= 24) {
    hour -= 24;
    ++days;
  }
  int64_t year;
  unsigned month, day;
  CivilFromDays(days, &year, &month, &day);
  local.year = static_cast<uint16_t>(year);
  local.month = static_cast<uint16_t>(month);
  local.day = static_cast<uint16_t>(day);
  local.hour = static_cast<uint16_t>(hour);
  local.dayOfWeek = static_cast<uint16_t>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  return local;
}

size_t FormatHeader(const platform::SystemTime& local, char* out, size_t capacity) {
  int n = snprintf(out, capacity, dict_format::kHeaderFormat, dict_format::kVersion, local.year,
                   local.month, local.day, local.hour, local.minute, local.second);
  return n < 0 || static_cast<size_t>(n) >= capacity ? 0 : static_cast<size_t>(n);
}

}  // namespace dict_clock
