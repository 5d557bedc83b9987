// Windows backend of the text conversions: the system's own UTF-8 code page
// (65001) with flags 0, which turns invalid input into U+FFFD.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

// A count of 0 or below would mean "up to the terminator" or be refused by
// the Windows calls; both are taken here as empty input, as on every
// platform.

int Utf16ToUtf8(const uint16_t* src, int units, char* dst, int capacity) {
  if (src == nullptr || units <= 0 || capacity < 0 || (capacity > 0 && dst == nullptr)) return 0;
  return WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(src), units,
                             capacity == 0 ? nullptr : dst, capacity, nullptr, nullptr);
}

int Utf8ToUtf16(const char* src, int bytes, uint16_t* dst, int capacity) {
  if (src == nullptr || bytes <= 0 || capacity < 0 || (capacity > 0 && dst == nullptr)) return 0;
  return MultiByteToWideChar(CP_UTF8, 0, src, bytes,
                             capacity == 0 ? nullptr : reinterpret_cast<wchar_t*>(dst), capacity);
}

}  // namespace platform
