#include "tools/dict/tool_io.h"

#include <cstdarg>
#include <cstdio>
#include <new>

#include "platform/platform.h"
#include "tools/dict/dict_text.h"

namespace dict_tool {

namespace {

class OpenFile {
 public:
  explicit OpenFile(platform::File file) : file_(file) {}
  ~OpenFile() { platform::Close(file_); }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  platform::File get() const { return file_; }
  bool is_open() const { return file_ != platform::kNoFile; }

 private:
  platform::File file_;
};

// ConsolePrintf with a format that is not a literal (the platform converts
// the format, not its arguments, to the console's character set).
void PrintFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  platform::ConsoleVPrintf(format, args);
  va_end(args);
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  OpenFile file(platform::OpenRead(path.c_str()));
  if (!file.is_open()) return false;
  const uint32_t size = platform::FileSize(file.get());
  if (size == platform::kSizeError) return false;
  try {
    bytes->assign(size, '\0');
  } catch (const std::bad_alloc&) {
    return false;
  }
  return size == 0 || platform::Read(file.get(), bytes->data(), size) == int64_t(size);
}

bool WriteWholeFile(const std::string& path, std::string_view data) {
  if (data.size() > UINT32_MAX) return false;
  platform::SetAttributes(path.c_str(), platform::kAttrNormal);
  OpenFile file(platform::OpenWrite(path.c_str(), platform::kCreateAlways));
  if (!file.is_open()) return false;
  const uint32_t size = static_cast<uint32_t>(data.size());
  return size == 0 || platform::Write(file.get(), data.data(), size) == int64_t(size);
}

bool FileExists(const std::string& path) {
  OpenFile file(platform::OpenRead(path.c_str()));
  return file.is_open();
}

void PrintLine(std::string_view text) {
  platform::ConsolePrintf("%.*s\n", static_cast<int>(text.size()), text.data());
}

void PrintGbkLine(const char* text) {
  // The text becomes a format: every '%' in it is doubled (GBK never uses
  // the byte 0x25 inside a character, so this cannot split one).
  std::string format;
  for (const char* c = text; *c != '\0'; ++c) format += *c == '%' ? std::string("%%") : std::string(1, *c);
  format += '\n';
  PrintFormat(format.c_str());
}

Progress::Progress(const char* label, int total, bool quiet)
    : label_(label), total_(total), quiet_(quiet) {}

void Progress::Show(int number) {
  if (quiet_) return;
  char line[96];
  int width = std::snprintf(line, sizeof line, "%s (%d / %d)...", label_, number, total_);
  if (width < 0) return;
  platform::ConsolePrintf("%s\r", line);
  shownWidth_ = width;
}

void Progress::Done() {
  if (shownWidth_ == 0) return;
  platform::ConsolePrintf("%*s\r", shownWidth_, "");
  shownWidth_ = 0;
}

std::string Quoted(std::string_view text, size_t maxBytes) {
  std::string out = "\"";
  size_t at = 0;
  while (at < text.size() && at < maxBytes) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    const size_t length = Utf8SequenceLength(text, at);
    if (length > 1) {
      out.append(text.substr(at, length));
      at += length;
      continue;
    }
    switch (c) {
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      default:
        if (length == 1 && c >= 0x20 && c != 0x7F) {
          out += static_cast<char>(c);
        } else {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\x%02X", c);
          out += escape;
        }
    }
    ++at;
  }
  out += '"';
  if (at < text.size()) out += "...";
  return out;
}

std::string Percent(uint64_t part, uint64_t whole) {
  // Rounded down, so that 100.0 means all and 0.0 means none.
  const uint64_t tenths = whole == 0 ? 0 : part * 1000 / whole;
  char text[32];
  std::snprintf(text, sizeof text, "%llu.%llu", static_cast<unsigned long long>(tenths / 10),
                static_cast<unsigned long long>(tenths % 10));
  return text;
}

}  // namespace dict_tool
