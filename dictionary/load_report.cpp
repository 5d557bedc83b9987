#include "dictionary/load_report.h"

#include "platform/platform.h"

namespace dictionary {

bool ReportLoadFailure(const BRXStringDict& dict, bool* reported) {
  const char* message = dict.GetLoadFailureMessage();
  if (*reported || message[0] == '\0') return false;
  // The message is GBK text composed from the loader's format: it goes
  // through the console's conversion as a whole.
  platform::ConsoleWrite(message);
  platform::ConsoleWrite("\n");
  *reported = true;
  return true;
}

void ReportLoadFailureOnce(const BRXStringDict& dict) {
  static bool reported = false;
  ReportLoadFailure(dict, &reported);
}

}  // namespace dictionary
