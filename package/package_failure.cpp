#include "package/package_failure.h"

#include "platform/platform.h"

namespace package {

namespace {

void PrintLine(const char* line, Print print, const char* path) {
  if (line == nullptr) return;
  if (print == Print::kText) {
    platform::ConsoleWrite(line);
  } else {
    platform::ConsolePrintf(line, path);
  }
}

}  // namespace

void Report(Failure failure, const char* path) {
  const FailureReport& report = ReportOf(failure);
  PrintLine(report.line, report.print, path);
  PrintLine(report.secondLine, report.print, path);
}

}  // namespace package
