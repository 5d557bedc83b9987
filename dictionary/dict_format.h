// The byte-exact markers of the dictionary text format, shared by its loader
// and its writer.
#pragma once

#include <cstddef>
#include <string>

namespace dict_format {

struct Marker {
  const char* text;
  size_t length;
  size_t anchor;  // index of the 'z' of "qzrtn", the byte a search looks for first
};

inline constexpr Marker kEntryMarker = {"\r\nqzrtn_res_No.", 15, 3};
inline constexpr Marker kSourceStart = {"qzrtn_res_ENG_Start\r\n", 21, 1};
inline constexpr Marker kSourceEnd = {"qzrtn_res_ENG_End\r\n", 19, 1};
inline constexpr Marker kTargetStart = {"qzrtn_res_CHI_Start\r\n", 21, 1};
inline constexpr Marker kTargetEnd = {"qzrtn_res_CHI_End\r\n", 19, 1};
inline constexpr Marker kRemarkStart = {"qzrtn_res_Remark00_Start\r\n", 26, 1};
inline constexpr Marker kRemarkEnd = {"qzrtn_res_Remark00_End\r\n", 24, 1};
inline constexpr Marker kFileEnd = {"\r\n\r\n\r\nqzrtn_res_All_End\r\n", 25, 7};

constexpr bool Consistent(const Marker& m) {
  return std::char_traits<char>::length(m.text) == m.length && m.text[m.anchor] == 'z' &&
         m.text[m.anchor - 1] == 'q';
}
static_assert(Consistent(kEntryMarker) && Consistent(kSourceStart) && Consistent(kSourceEnd) &&
              Consistent(kTargetStart) && Consistent(kTargetEnd) && Consistent(kRemarkStart) &&
              Consistent(kRemarkEnd) && Consistent(kFileEnd));

// The first line of a saved file: program version, then the date and time
// of saving (UTC+8), then two empty lines.
inline constexpr char kHeaderFormat[] =
    "Brindlecot BRXStringDict::SaveToTXTFileA %s %04d-%02d-%02d %02d:%02d:%02d\r\n\r\n\r\n";
inline constexpr char kVersion[] = "Ver.0.19";

}  // namespace dict_format
