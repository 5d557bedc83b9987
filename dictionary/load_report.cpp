#include "dictionary/load_report.h"

#include "platform/platform.h"

bool ReportLoadFailure(const BRXStringDict& dict, bool* reported) {
  const char* message = dict.GetLoadFailureMessage();
  if (*reported || message[0] == '\0') return false;
  platform::ConsolePrintf("%s\n", message);
  *reported = true;
  return true;
}

void ReportLoadFailureOnce(const BRXStringDict& dict) {
  static bool reported = false;
  ReportLoadFailure(dict, &reported);
}
