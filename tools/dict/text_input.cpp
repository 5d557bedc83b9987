#include "tools/dict/text_input.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/platform.h"
#include "platform/terminal.h"
#include "tools/dict/dict_text.h"
#include "tools/dict/tool_io.h"

namespace dict_tool {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

constexpr char kSaveAsUtf8[] =
    "save it as UTF-8 (in a spreadsheet program: Save As, file type \"CSV UTF-8 (comma delimited)\"; "
    "in LibreOffice: character set \"Unicode (UTF-8)\")";

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

uint32_t LineOfOffset(std::string_view text, size_t offset) {
  return uint32_t(std::count(text.begin(), text.begin() + std::min(offset, text.size()), '\n') + 1);
}

// UTF-16 (big-endian when bigEndian) to UTF-8; false at a lone surrogate
// or an odd byte count, with *badUnit the index of the unit.
bool Utf16ToUtf8Text(std::string_view bytes, bool bigEndian, std::string* utf8, size_t* badUnit) {
  *badUnit = bytes.size() / 2;
  if (bytes.size() % 2 != 0) return false;
  std::vector<uint16_t> units(bytes.size() / 2);
  for (size_t i = 0; i < units.size(); ++i) {
    const uint8_t first = uint8_t(bytes[2 * i]), second = uint8_t(bytes[2 * i + 1]);
    units[i] = bigEndian ? uint16_t(first << 8 | second) : uint16_t(second << 8 | first);
  }
  for (size_t i = 0; i < units.size(); ++i) {
    const bool high = units[i] >= 0xD800 && units[i] <= 0xDBFF;
    const bool low = units[i] >= 0xDC00 && units[i] <= 0xDFFF;
    if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      ++i;
    } else if (high || low) {
      *badUnit = i;
      return false;
    }
  }
  utf8->clear();
  if (units.empty()) return true;
  if (units.size() > 0x7FFFFFFF / 3) return false;
  const int count = int(units.size());
  const int length = platform::Utf16ToUtf8(units.data(), count, nullptr, 0);
  utf8->resize(size_t(length));
  return platform::Utf16ToUtf8(units.data(), count, utf8->data(), length) == length;
}

}  // namespace

bool ParseEncoding(const std::string& name, Encoding* encoding) {
  std::string lower;
  for (char c : name) lower += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
  if (lower == "utf-8" || lower == "utf8") *encoding = Encoding::kUtf8;
  else if (lower == "gbk" || lower == "cp936") *encoding = Encoding::kGbk;
  else if (lower == "utf-16" || lower == "utf16") *encoding = Encoding::kUtf16;
  else return false;
  return true;
}

bool DecodeText(const std::string& path, std::string_view bytes, Encoding encoding, std::string* utf8,
                Diagnostics* diagnostics) {
  auto fail = [&](uint32_t line, const std::string& message) {
    diagnostics->Report({Severity::kError, path, line, kNoEntry, "encoding", message, false});
    return false;
  };
  const bool utf16Mark = StartsWith(bytes, kUtf16LeMark) || StartsWith(bytes, kUtf16BeMark);
  switch (encoding) {
    case Encoding::kUtf16: {
      const bool bigEndian = StartsWith(bytes, kUtf16BeMark);
      size_t badUnit = 0;
      if (!Utf16ToUtf8Text(bytes.substr(utf16Mark ? 2 : 0), bigEndian, utf8, &badUnit))
        return fail(kNoLine, "not UTF-16 text: a broken character at byte " + std::to_string(2 * badUnit));
      if (StartsWith(*utf8, kUtf8Mark)) utf8->erase(0, kUtf8Mark.size());
      return true;
    }
    case Encoding::kGbk:
      if (!platform::GbkToUtf8(bytes, utf8)) return fail(kNoLine, "not GBK text");
      return true;
    case Encoding::kUtf8:
      break;
  }
  if (utf16Mark) {
    return fail(1, std::string("the file is UTF-16 text (\"Unicode text\"), not UTF-8: ") + kSaveAsUtf8 +
                       ", or read it as it is with --encoding utf-16");
  }
  if (StartsWith(bytes, kUtf8Mark)) bytes.remove_prefix(kUtf8Mark.size());
  const size_t bad = FirstInvalidUtf8(bytes);
  if (bad == kNoPosition) {
    utf8->assign(bytes);
    return true;
  }
  std::string converted;
  if (platform::GbkToUtf8(bytes, &converted)) {
    return fail(LineOfOffset(bytes, bad),
                std::string("the file is GBK text (the \"ANSI\" code page of a Chinese Windows), not UTF-8: ") +
                    kSaveAsUtf8 + ", or read it as it is with --encoding gbk");
  }
  return fail(LineOfOffset(bytes, bad), "the file is not UTF-8 text (" + Quoted(bytes.substr(bad), 8) + "): " +
                                            kSaveAsUtf8);
}

bool ReadTextFile(const std::string& path, Encoding encoding, std::string* utf8, Diagnostics* diagnostics) {
  std::string bytes;
  if (!ReadWholeFile(path, &bytes)) {
    diagnostics->IoError(path, "cannot be read");
    return false;
  }
  return DecodeText(path, bytes, encoding, utf8, diagnostics);
}

}  // namespace dict_tool
