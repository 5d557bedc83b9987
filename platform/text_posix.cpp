// POSIX backend of the text conversions: UTF-16 <-> UTF-8 with the results
// of the Windows calls for code page 65001 and flags 0. Invalid input is not
// an error there: a lone surrogate, and each invalid piece of a UTF-8
// sequence (cut the way Windows cuts it, see NextUtf8), becomes U+FFFD.
#include <string>

#include "platform/platform.h"

namespace platform {

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

// Appends the UTF-8 form of code point cp; counts without writing when
// dst is null.
int PutUtf8(uint32_t cp, char* dst) {
  if (cp < 0x80) {
    if (dst) dst[0] = char(cp);
    return 1;
  }
  if (cp < 0x800) {
    if (dst) {
      dst[0] = char(0xC0 | cp >> 6);
      dst[1] = char(0x80 | (cp & 0x3F));
    }
    return 2;
  }
  if (cp < 0x10000) {
    if (dst) {
      dst[0] = char(0xE0 | cp >> 12);
      dst[1] = char(0x80 | (cp >> 6 & 0x3F));
      dst[2] = char(0x80 | (cp & 0x3F));
    }
    return 3;
  }
  if (dst) {
    dst[0] = char(0xF0 | cp >> 18);
    dst[1] = char(0x80 | (cp >> 12 & 0x3F));
    dst[2] = char(0x80 | (cp >> 6 & 0x3F));
    dst[3] = char(0x80 | (cp & 0x3F));
  }
  return 4;
}

// Decodes one code point at src[i] (n bytes in all); advances i past it, or
// past the invalid bytes that decode as one U+FFFD: a byte that cannot start
// a sequence; a lead with a first continuation byte out of its range; a
// valid start cut short by a byte that does not continue it.
uint32_t NextUtf8(const uint8_t* src, int n, int& i) {
  uint8_t b = src[i++];
  if (b < 0x80) return b;
  int need;
  uint32_t cp;
  uint8_t lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    need = 1, cp = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    need = 2, cp = b & 0x0F;
    if (b == 0xE0) lo = 0xA0;  // no overlong forms
    if (b == 0xED) hi = 0x9F;  // no surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    need = 3, cp = b & 0x07;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return kReplacement;
  }
  for (int k = 0; k < need; ++k) {
    if (i >= n) return kReplacement;
    uint8_t c = src[i];
    if (c < 0x80 || c > 0xBF) return kReplacement;  // not a continuation: left for the next
    ++i;
    // A continuation byte outside the lead's range (an overlong form, a
    // surrogate, a value above U+10FFFF) is taken with the lead into one
    // U+FFFD, as Windows does: "\xED\xA0\x80" gives two, not three.
    if (k == 0 && (c < lo || c > hi)) return kReplacement;
    cp = cp << 6 | (c & 0x3F);
  }
  return cp;
}

}  // namespace

int Utf16ToUtf8(const uint16_t* src, int units, char* dst, int capacity) {
  if (src == nullptr || units <= 0 || capacity < 0) return 0;
  int written = 0;
  for (int i = 0; i < units;) {
    uint32_t cp = src[i++];
    if (cp >= 0xD800 && cp <= 0xDBFF && i < units && src[i] >= 0xDC00 && src[i] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (src[i++] - 0xDC00);
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    int len = PutUtf8(cp, nullptr);
    if (capacity != 0) {
      if (written + len > capacity) return 0;
      PutUtf8(cp, dst + written);
    }
    written += len;
  }
  return written;
}

int Utf8ToUtf16(const char* src, int bytes, uint16_t* dst, int capacity) {
  if (src == nullptr || bytes <= 0 || capacity < 0) return 0;
  auto* in = reinterpret_cast<const uint8_t*>(src);
  int written = 0;
  for (int i = 0; i < bytes;) {
    uint32_t cp = NextUtf8(in, bytes, i);
    int len = cp >= 0x10000 ? 2 : 1;
    if (capacity != 0) {
      if (written + len > capacity) return 0;
      if (len == 2) {
        dst[written] = uint16_t(0xD800 + ((cp - 0x10000) >> 10));
        dst[written + 1] = uint16_t(0xDC00 + ((cp - 0x10000) & 0x3FF));
      } else {
        dst[written] = uint16_t(cp);
      }
    }
    written += len;
  }
  return written;
}

}  // namespace platform
