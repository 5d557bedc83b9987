// Windows backend of the console: the messages are GBK bytes, the code page
// of a Chinese Windows console (936), and go to standard output through the
// C runtime unchanged. The stream keeps the runtime's text mode, so a line
// feed reaches the console as CR LF, as from any console program.
// MinGW's own printf, which knows the C99 and C++ sizes (%zu, %lld) that
// the system's C runtime does not; the bytes of the text go out the same.
#define __USE_MINGW_ANSI_STDIO 1
#include <cstdio>

#include "platform/platform.h"

namespace platform {

// Nothing to set up: the console shows the bytes in its own code page.
void ConsoleInit() {}

// There is no conversion on Windows to force on or off.
void ConsoleSetUtf8(bool) {}

void ConsoleVPrintf(const char* format, va_list args) {
  if (format == nullptr) return;
  vfprintf(stdout, format, args);
  fflush(stdout);
}

void ConsoleWrite(const char* message) {
  if (message == nullptr) return;
  fputs(message, stdout);
  fflush(stdout);
}

void ConsolePrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  ConsoleVPrintf(format, args);
  va_end(args);
}

}  // namespace platform
