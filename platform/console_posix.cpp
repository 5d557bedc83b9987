// POSIX backend of the console: the messages are GBK bytes; a terminal whose
// locale uses UTF-8 gets them converted, any other gets them unchanged.
//
// Only the message format is converted. The texts filled into it (paths,
// command-line arguments) are already in the locale's own encoding, as they
// came from the command line; converting them too would turn a UTF-8 path
// into nonsense.
#include <langinfo.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <new>
#include <string>

#include "platform/gbk_posix.h"
#include "platform/platform.h"
#include "platform/setup_support.h"

namespace platform {

namespace {

ConsoleSink g_sink = nullptr;
void* g_sinkContext = nullptr;

int g_utf8 = -1;  // -1: not decided yet; then 0 or 1

bool NamesUtf8(const char* text) {
  return text != nullptr && (strcasestr(text, "UTF-8") != nullptr || strcasestr(text, "UTF8") != nullptr);
}

// The locale named by the environment, as setlocale(LC_ALL, "") reads it.
const char* LocaleFromEnvironment() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = getenv(name);
    if (value != nullptr && value[0] != '\0') return value;
  }
  return nullptr;
}

bool ConvertToUtf8() {
  if (g_utf8 < 0) {
    const char* codeset = nl_langinfo(CODESET);
    g_utf8 = codeset != nullptr && (strcmp(codeset, "UTF-8") == 0 || strcmp(codeset, "utf8") == 0);
  }
  return g_utf8 == 1;
}

// GBK to UTF-8; bytes that are not GBK pass through unchanged.
std::string GbkToUtf8(const std::string& gbk) {
  std::string utf8;
  return AppendGbkAsUtf8(gbk, true, &utf8) ? utf8 : gbk;
}

}  // namespace

void ConsoleInit() {
  if (setlocale(LC_ALL, "") != nullptr) return;
  // The environment names a locale that is not installed (common on minimal
  // systems: LANG=en_US.UTF-8 without the locale generated). The terminal
  // still expects what the name says, so go by the name.
  if (NamesUtf8(LocaleFromEnvironment())) g_utf8 = 1;
}

void ConsoleSetUtf8(bool utf8) { g_utf8 = utf8 ? 1 : 0; }

void SetConsoleSink(ConsoleSink sink, void* context) {
  g_sink = sink;
  g_sinkContext = context;
}

void ConsoleVPrintf(const char* format, va_list args) {
  if (format == nullptr) return;
  const char* const original = format;
  try {
    // A GBK trail byte is never below 0x40, so no "%" hides inside a
    // character, and the conversion leaves every % directive intact.
    std::string converted;
    if (g_sink != nullptr || ConvertToUtf8()) {
      converted = GbkToUtf8(format);
      format = converted.c_str();
    }
    va_list copy;
    va_copy(copy, args);
    int len = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (len < 0) return;
    std::string text(size_t(len) + 1, '\0');
    vsnprintf(text.data(), text.size(), format, args);
    if (g_sink != nullptr) {
      text.resize(size_t(len));
      g_sink(original, text, g_sinkContext);
      return;
    }
    fwrite(text.data(), 1, size_t(len), stdout);
    fflush(stdout);
  } catch (const std::bad_alloc&) {
    // No memory for the message: it is lost, the program goes on.
  }
}

void ConsoleWrite(const char* message) {
  if (message == nullptr) return;
  try {
    const std::string text = ConvertToUtf8() ? GbkToUtf8(message) : std::string(message);
    fwrite(text.data(), 1, text.size(), stdout);
    fflush(stdout);
  } catch (const std::bad_alloc&) {
    // No memory for the message: it is lost, the program goes on.
  }
}

}  // namespace platform
