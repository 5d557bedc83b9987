// MinGW's own printf, which knows the C99 sizes (%zu, %llu).
#define __USE_MINGW_ANSI_STDIO 1
#include "tools/dict/tool_io.h"

#include <cstdarg>
#include <cstdio>
#include <new>

#include "platform/platform.h"
#include "platform/terminal.h"
#include "tools/dict/dict_text.h"

namespace dict_tool {

namespace {

// The temporary file of an output, removed unless committed.
class Temporary {
 public:
  ~Temporary() { platform::DiscardTemporary(&file_); }
  platform::TemporaryFile* get() { return &file_; }

 private:
  platform::TemporaryFile file_;
};

bool g_forceProgress = false;

// Reads the whole of an open file from its start; false unless exactly
// size bytes are there.
bool ReadBack(platform::File file, size_t size, std::string* bytes) {
  if (!platform::SeekBegin(file, 0)) return false;
  try {
    bytes->assign(size + 1, '\0');
  } catch (const std::bad_alloc&) {
    return false;
  }
  // One byte more than written is asked for, so a longer file shows.
  if (platform::Read(file, bytes->data(), uint32_t(size + 1)) != int64_t(size)) return false;
  bytes->resize(size);
  return true;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  platform::FileHolder file(platform::OpenRead(path.c_str()));
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

bool FileExists(const std::string& path) {
  platform::FileHolder file(platform::OpenRead(path.c_str()));
  return file.is_open();
}

bool SameFile(const std::string& a, const std::string& b) {
  platform::FileIdentity first, second;
  if (!platform::GetFileIdentity(a.c_str(), &first) || !platform::GetFileIdentity(b.c_str(), &second))
    return false;
  return first.fileId == second.fileId && first.volume == second.volume;
}

const char* WriteFailureText(WriteFailure failure) {
  switch (failure) {
    case WriteFailure::kNone: return "written";
    case WriteFailure::kCreate: return "cannot be written: no new file can be made in its folder";
    case WriteFailure::kWrite: return "cannot be written: not every byte got to the disk (is it full?)";
    case WriteFailure::kFlush: return "cannot be written: the system could not store it on the disk";
    case WriteFailure::kReadBack: return "cannot be written: the new file does not read back as written";
    case WriteFailure::kCheck: return "cannot be written: the new file does not load as it should";
    case WriteFailure::kCommit: return "cannot be written: the new file cannot take its place";
  }
  return "";
}

WriteFailure WriteOutputSafely(const std::string& path, std::string_view bytes, const ReadBackCheck& check) {
  if (bytes.size() >= UINT32_MAX) return WriteFailure::kWrite;
  Temporary temporary;
  if (!platform::CreateTemporaryBeside(path.c_str(), temporary.get())) return WriteFailure::kCreate;
  const platform::File file = temporary.get()->file;
  const uint32_t size = static_cast<uint32_t>(bytes.size());
  if (size > 0 && platform::Write(file, bytes.data(), size) != int64_t(size)) return WriteFailure::kWrite;
  if (!platform::Flush(file)) return WriteFailure::kFlush;
  std::string back;
  if (!ReadBack(file, bytes.size(), &back) || back != bytes) return WriteFailure::kReadBack;
  if (check && !check(back)) return WriteFailure::kCheck;
  if (!platform::CommitTemporary(temporary.get())) return WriteFailure::kCommit;
  return WriteFailure::kNone;
}

bool WriteOutputOrReport(const std::string& path, std::string_view bytes, Diagnostics* diagnostics,
                         const ReadBackCheck& check) {
  const WriteFailure failure = WriteOutputSafely(path, bytes, check);
  if (failure == WriteFailure::kNone) return true;
  diagnostics->IoError(path, std::string(WriteFailureText(failure)) + "; the file there is left as it was");
  return false;
}

bool RefuseOutputOverInput(const std::string& input, const std::string& output, const char* format,
                           Diagnostics* diagnostics) {
  if (input != output && !SameFile(input, output)) return false;
  diagnostics->Report({Severity::kError, output, kNoLine, kNoEntry, "output",
                       std::string("not written: this is the input, which a ") + format +
                           " file would replace; name another output file",
                       true});
  return true;
}

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text;
  if (length > 0) {
    text.assign(size_t(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(size_t(length));
  }
  va_end(args);
  return text;
}

void PrintResult(std::string_view text) {
  std::string line(text);
  line += '\n';
  platform::WriteUtf8(platform::Stream::kOut, line);
}

void PrintDiagnostic(std::string_view text) {
  std::string line(text);
  line += '\n';
  platform::WriteUtf8(platform::Stream::kErr, line);
}

void ForceProgressForTests(bool force) { g_forceProgress = force; }

Progress::Progress(const char* label, int total, bool quiet)
    : label_(label), total_(total), shown_(!quiet && (g_forceProgress || platform::IsTerminal(platform::Stream::kErr))) {}

void Progress::Show(int number) {
  if (!shown_) return;
  const std::string line = Format("%s (%d / %d)...", label_, number, total_);
  platform::WriteUtf8(platform::Stream::kErr, line + "\r");
  shownWidth_ = int(line.size());
}

void Progress::Done() {
  if (shownWidth_ == 0) return;
  platform::WriteUtf8(platform::Stream::kErr, std::string(size_t(shownWidth_), ' ') + "\r");
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
    if (const char* escape = ShortEscape(static_cast<char>(c))) {
      out += escape;
    } else if (length == 1 && c >= 0x20 && c != 0x7F) {
      out += static_cast<char>(c);
    } else {
      out += Format("\\x%02X", c);
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
  return Format("%llu.%llu", static_cast<unsigned long long>(tenths / 10),
                static_cast<unsigned long long>(tenths % 10));
}

}  // namespace dict_tool
