#include "tools/dict/dict_text.h"

#include <algorithm>

#include "dictionary/brx_string_dict.h"
#include "dictionary/dict_format.h"

namespace dict_tool {

size_t Utf8SequenceLength(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  size_t length;
  uint32_t value;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
  } else {
    return 0;  // a continuation byte, or a lead byte that only overlong or too large forms use
  }
  if (text.size() - at < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    const unsigned char next = byte(at + i);
    if ((next & 0xC0) != 0x80) return 0;
    value = value << 6 | (next & 0x3F);
  }
  const uint32_t smallest[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  return length;
}

size_t FirstInvalidUtf8(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    const size_t length = Utf8SequenceLength(text, at);
    if (length == 0) return at;
    at += length;
  }
  return kNoPosition;
}

uint64_t Utf16Units(std::string_view text) {
  uint64_t units = 0;
  for (size_t at = 0; at < text.size();) {
    const size_t length = std::max<size_t>(Utf8SequenceLength(text, at), 1);
    units += length == 4 ? 2 : 1;
    at += length;
  }
  return units;
}

MarkerHit FindAnyMarker(std::string_view text) {
  static constexpr const dict_format::Marker* kMarkers[] = {
      &dict_format::kEntryMarker, &dict_format::kSourceStart, &dict_format::kSourceEnd,
      &dict_format::kTargetStart, &dict_format::kTargetEnd,   &dict_format::kRemarkStart,
      &dict_format::kRemarkEnd,   &dict_format::kFileEnd};
  MarkerHit hit;
  for (const dict_format::Marker* marker : kMarkers) {
    const std::string_view bytes(marker->text, marker->length);
    const size_t at = text.find(bytes);
    if (at < hit.position) hit = {at, bytes};
  }
  return hit;
}

MarkerHit FindMarkerWhenWritten(std::string_view text) {
  const std::string written = "\r\n" + std::string(text) + "\r\n";
  MarkerHit hit = FindAnyMarker(written);
  if (hit.position != kNoPosition) hit.position = hit.position < 2 ? 0 : std::min(hit.position - 2, text.size());
  return hit;
}

std::string MarkerName(std::string_view marker) {
  std::string name;
  for (char c : marker)
    if (c != '\r' && c != '\n') name += c;
  return name;
}

namespace {

struct ShortEscapeForm {
  char plain;
  char letter;
  const char* escape;
};
constexpr ShortEscapeForm kShortEscapes[] = {
    {'\n', 'n', "\\n"}, {'\r', 'r', "\\r"}, {'\t', 't', "\\t"}, {'"', '"', "\\\""}, {'\\', '\\', "\\\\"},
};

}  // namespace

const char* ShortEscape(char c) {
  for (const ShortEscapeForm& form : kShortEscapes) {
    if (form.plain == c) return form.escape;
  }
  return nullptr;
}

bool ShortUnescape(char letter, char* c) {
  for (const ShortEscapeForm& form : kShortEscapes) {
    if (form.letter == letter) {
      *c = form.plain;
      return true;
    }
  }
  return false;
}

std::string_view TrimSpaces(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == kNoPosition) return text.substr(0, 0);
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string_view UpToZero(std::string_view text) { return text.substr(0, text.find('\0')); }

int CompareSources(std::string_view a, std::string_view b) {
  a = UpToZero(a);
  b = UpToZero(b);
  // Unsigned byte order; a text sorts before every longer text it begins.
  const int order = a.compare(b);
  if (order == 0) return BRXStringDict::kEqual;
  return order < 0 ? BRXStringDict::kBefore : BRXStringDict::kAfter;
}

}  // namespace dict_tool
