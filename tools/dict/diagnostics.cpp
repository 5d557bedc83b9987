#include "tools/dict/diagnostics.h"

#include "tools/dict/tool_io.h"

namespace dict_tool {

const char* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::kError: return "error";
    case Severity::kWarning: return "warning";
    case Severity::kNote: return "note";
  }
  return "";
}

std::string FormatDiagnostic(const Diagnostic& d) {
  std::string text = d.file.empty() ? std::string("hanhua-dict") : d.file;
  if (!d.file.empty() && d.line != kNoLine) text += ":" + std::to_string(d.line);
  text += std::string(": ") + SeverityName(d.severity) + ": ";
  if (d.entry != kNoEntry) text += "entry " + std::to_string(d.entry) + ": ";
  return text + d.message;
}

void Diagnostics::Report(Diagnostic diagnostic) {
  if (diagnostic.severity == Severity::kError) ++errors_;
  if (diagnostic.severity == Severity::kWarning) ++warnings_;
  if (diagnostic.io) ++ioErrors_;
  if (printing()) PrintDiagnostic(FormatDiagnostic(diagnostic));
  all_.push_back(std::move(diagnostic));
}

void Diagnostics::Error(const std::string& file, uint32_t line, const char* check, const std::string& message) {
  Report({Severity::kError, file, line, kNoEntry, check, message, false});
}

void Diagnostics::Warning(const std::string& file, uint32_t line, const char* check, const std::string& message) {
  Report({Severity::kWarning, file, line, kNoEntry, check, message, false});
}

void Diagnostics::Note(const std::string& file, uint32_t line, const char* check, const std::string& message) {
  Report({Severity::kNote, file, line, kNoEntry, check, message, false});
}

void Diagnostics::IoError(const std::string& file, const std::string& message) {
  Report({Severity::kError, file, kNoLine, kNoEntry, "io", message, true});
}

void Diagnostics::CountUnshown(Severity severity) {
  if (severity == Severity::kError) ++errors_;
  if (severity == Severity::kWarning) ++warnings_;
}

PerKindLimit::PerKindLimit(int kinds, int maxPerKind, Diagnostics* diagnostics)
    : maxPerKind_(maxPerKind), diagnostics_(diagnostics), shown_(kinds), left_(kinds) {}

bool PerKindLimit::Show(int kind, Severity severity) {
  if (diagnostics_->printing() && maxPerKind_ > 0 && shown_[kind] >= maxPerKind_) {
    ++left_[kind];
    diagnostics_->CountUnshown(severity);
    return false;
  }
  ++shown_[kind];
  return true;
}

int Diagnostics::ExitStatus(bool strict) const {
  if (ioErrors_ > 0) return kExitUsage;
  return errors_ > 0 || (strict && warnings_ > 0) ? kExitProblems : kExitOk;
}

}  // namespace dict_tool
