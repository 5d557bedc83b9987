// Byte-level views of dictionary texts that hanhua-dict needs for its checks
// and messages: UTF-8 validity, the markers of the dictionary text format,
// trimming as lookups do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dict_tool {

inline constexpr size_t kNoPosition = std::string_view::npos;

// The length of the UTF-8 sequence at text[at] (1 to 4), or 0 when no
// well-formed sequence starts there: a stray continuation byte, a sequence
// cut short, an overlong form, a surrogate or a value above U+10FFFF.
size_t Utf8SequenceLength(std::string_view text, size_t at);
// The position of the first byte that is not part of well-formed UTF-8, or
// kNoPosition.
size_t FirstInvalidUtf8(std::string_view text);
// The number of UTF-16 code units of a well-formed UTF-8 text.
uint64_t Utf16Units(std::string_view text);

// Where a marker of the dictionary text format occurs in text: its position
// and its bytes, or kNoPosition. Every marker, the entry and file end
// markers included, is looked for; the earliest occurrence is given.
struct MarkerHit {
  size_t position = kNoPosition;
  std::string_view marker;
};
MarkerHit FindAnyMarker(std::string_view text);
// Where a marker would occur if text were written as a text of an entry:
// every text stands between a marker line and a line break, so a text that
// merely begins with a marker's line (or ends with a marker line without
// its line break) would read as that marker too. The position is within
// text (0 for a marker that begins before it).
MarkerHit FindMarkerWhenWritten(std::string_view text);
// The marker's readable name: its bytes without line breaks.
std::string MarkerName(std::string_view marker);

// The backslash escapes that every quoted text hanhua-dict reads or writes
// shares: line feed \n, carriage return \r, tab \t, double quote \" and
// backslash \\. The escape of c, or nullptr when c has none of them.
const char* ShortEscape(char c);
// The character that the escape letter (after the backslash) stands for;
// false when letter is none of the shared escapes.
bool ShortUnescape(char letter, char* c);

// text without the spaces (0x20 only) at its ends, as lookups see a key.
std::string_view TrimSpaces(std::string_view text);
// text up to its first zero byte: what a lookup of it compares.
std::string_view UpToZero(std::string_view text);

// The lookup order of two source texts: BRXStringDict::CompareText's
// result (kEqual, kBefore, kAfter) for texts given with their lengths; like
// it, each text ends at its first zero byte.
int CompareSources(std::string_view a, std::string_view b);

}  // namespace dict_tool
