// POSIX backend of the terminal functions.
#include <iconv.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <new>
#include <vector>

#include "platform/gbk_posix.h"
#include "platform/terminal.h"

namespace platform {

namespace {

FILE* g_results = nullptr;  // set by SeparateResults

FILE* File(Stream stream) {
  if (stream == Stream::kErr) return stderr;
  return g_results != nullptr ? g_results : stdout;
}
int Descriptor(Stream stream) { return fileno(File(stream)); }

}  // namespace

bool SeparateResults() {
  if (g_results != nullptr) return true;
  fflush(stdout);
  const int results = dup(STDOUT_FILENO);
  if (results < 0) return false;
  FILE* file = fdopen(results, "w");
  if (file == nullptr) {
    close(results);
    return false;
  }
  if (dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    fclose(file);
    return false;
  }
  g_results = file;
  return true;
}

bool IsTerminal(Stream stream) { return isatty(Descriptor(stream)) == 1; }

int TerminalColumns(Stream stream) {
  winsize size{};
  if (!IsTerminal(stream) || ioctl(Descriptor(stream), TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

bool WriteUtf8(Stream stream, std::string_view text) {
  FILE* file = File(stream);
  const bool written = fwrite(text.data(), 1, text.size(), file) == text.size();
  return fflush(file) == 0 && written;
}

bool AppendGbkAsUtf8(std::string_view bytes, bool keepOthers, std::string* utf8) {
  iconv_t cd = iconv_open("UTF-8", "CP936");
  if (cd == (iconv_t)-1) return false;
  struct Closer {
    iconv_t cd;
    ~Closer() { iconv_close(cd); }
  } closer{cd};
  try {
    // A byte becomes at most three UTF-8 bytes (0x80, the euro sign, alone),
    // so one call converts all that can be converted.
    std::vector<char> buffer(bytes.size() * 3 + 4);
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    while (inLeft > 0) {
      char* out = buffer.data();
      size_t outLeft = buffer.size();
      const size_t converted = iconv(cd, &in, &inLeft, &out, &outLeft);
      utf8->append(buffer.data(), size_t(out - buffer.data()));
      if (converted != (size_t)-1) break;
      if (!keepOthers) return false;
      utf8->push_back(*in);  // not GBK (or cut short): the byte as it is
      ++in;
      --inLeft;
    }
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool GbkToUtf8(std::string_view bytes, std::string* utf8) {
  utf8->clear();
  return AppendGbkAsUtf8(bytes, false, utf8);
}

}  // namespace platform
