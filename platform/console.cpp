// The console calls that are the same on every platform, built on the
// backend's ConsoleVPrintf.
#include <cstdarg>

#include "platform/platform.h"

namespace platform {

void ConsolePrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  ConsoleVPrintf(format, args);
  va_end(args);
}

}  // namespace platform
