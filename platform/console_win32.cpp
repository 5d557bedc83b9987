// Windows backend of the console: the messages are GBK bytes, the code page
// of a Chinese Windows console (936), and go to standard output through the
// C runtime unchanged. The stream keeps the runtime's text mode, so a line
// feed reaches the console as CR LF, as from any console program.
// MinGW's own printf, which knows the C99 and C++ sizes (%zu, %lld) that
// the system's C runtime does not; the bytes of the text go out the same.
#define __USE_MINGW_ANSI_STDIO 1
#include <cstdio>
#include <new>
#include <string>

#include "platform/platform.h"
#include "platform/setup_support.h"
#include "platform/terminal.h"

namespace platform {

namespace {

ConsoleSink g_sink = nullptr;
void* g_sinkContext = nullptr;

// The message formatted with its format in UTF-8, for the sink.
void ToSink(const char* format, va_list args) {
  try {
    std::string utf8Format;
    if (!GbkToUtf8(format, &utf8Format)) utf8Format = format;
    va_list copy;
    va_copy(copy, args);
    int len = vsnprintf(nullptr, 0, utf8Format.c_str(), copy);
    va_end(copy);
    if (len < 0) return;
    std::string text(size_t(len) + 1, '\0');
    vsnprintf(text.data(), text.size(), utf8Format.c_str(), args);
    text.resize(size_t(len));
    g_sink(format, text, g_sinkContext);
  } catch (const std::bad_alloc&) {
    // No memory for the message: it is lost, the program goes on.
  }
}

}  // namespace

void SetConsoleSink(ConsoleSink sink, void* context) {
  g_sink = sink;
  g_sinkContext = context;
}

// Nothing to set up: the console shows the bytes in its own code page.
void ConsoleInit() {}

// There is no conversion on Windows to force on or off.
void ConsoleSetUtf8(bool) {}

void ConsoleVPrintf(const char* format, va_list args) {
  if (format == nullptr) return;
  if (g_sink != nullptr) {
    ToSink(format, args);
    return;
  }
  vfprintf(stdout, format, args);
  fflush(stdout);
}

void ConsoleWrite(const char* message) {
  if (message == nullptr) return;
  fputs(message, stdout);
  fflush(stdout);
}

}  // namespace platform
