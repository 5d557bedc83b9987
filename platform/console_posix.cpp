// POSIX backend of the console: the messages are GBK bytes; a terminal whose
// locale uses UTF-8 gets them converted, any other gets them unchanged.
#include <errno.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

namespace {

int g_utf8 = -1;  // -1: not decided yet; then 0 or 1

bool ConvertToUtf8() {
  if (g_utf8 < 0) {
    const char* codeset = nl_langinfo(CODESET);
    g_utf8 = codeset != nullptr && (strcmp(codeset, "UTF-8") == 0 || strcmp(codeset, "utf8") == 0);
  }
  return g_utf8 == 1;
}

// GBK to UTF-8 through iconv; bytes that are not GBK pass through unchanged.
std::string GbkToUtf8(const std::string& gbk) {
  iconv_t cd = iconv_open("UTF-8", "GBK");
  if (cd == (iconv_t)-1) return gbk;
  std::string out;
  std::vector<char> buffer(gbk.size() * 3 + 16);
  char* in = const_cast<char*>(gbk.data());
  size_t inLeft = gbk.size();
  while (inLeft > 0) {
    char* outPtr = buffer.data();
    size_t outLeft = buffer.size();
    size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer.data(), size_t(outPtr - buffer.data()));
    if (r == (size_t)-1 && inLeft > 0 && errno != E2BIG) {
      out.push_back(*in);  // not GBK: keep the byte as it is
      ++in;
      --inLeft;
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace

void ConsoleInit() { setlocale(LC_ALL, ""); }

void ConsoleSetUtf8(bool utf8) { g_utf8 = utf8 ? 1 : 0; }

void ConsoleVPrintf(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int len = vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (len < 0) return;
  std::string text(size_t(len) + 1, '\0');
  vsnprintf(text.data(), text.size(), format, args);
  text.resize(size_t(len));
  if (ConvertToUtf8()) text = GbkToUtf8(text);
  fwrite(text.data(), 1, text.size(), stdout);
  fflush(stdout);
}

void ConsolePrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  ConsoleVPrintf(format, args);
  va_end(args);
}

}  // namespace platform
