// The findings of a hanhua-dict command: errors, warnings and notes, each
// with the file, line and dictionary entry it concerns and the name of the
// check that made it. One sink per run: it prints each finding on stderr as
// it comes ("FILE:LINE: error: entry N: message"), or only collects them for
// a JSON document (--json) or for a caller that uses the toolkit as a
// library. Either way every finding stays available in all().
//
//   Diagnostics diagnostics;                       // prints
//   diagnostics.Error(path, line, "csv", "a quoted field that is never closed");
//   return diagnostics.ExitStatus();              // 0, 1 or 2
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dict_tool {

// Exit statuses of hanhua-dict.
inline constexpr int kExitOk = 0;        // all is well
inline constexpr int kExitProblems = 1;  // problems found in the input or the game
inline constexpr int kExitUsage = 2;     // a command line not understood, or a file that cannot be read or written

enum class Severity { kError, kWarning, kNote };
const char* SeverityName(Severity severity);  // "error", "warning", "note"

inline constexpr uint32_t kNoLine = 0;
inline constexpr int64_t kNoEntry = -1;

struct Diagnostic {
  Severity severity = Severity::kError;
  std::string file;           // empty: the finding concerns no one file
  uint32_t line = kNoLine;    // from 1; kNoLine: the whole file
  int64_t entry = kNoEntry;   // the dictionary entry (from 0), when there is one
  std::string check;          // short name of what found it: "order", "csv", "write", ...
  std::string message;        // UTF-8, one line, without file, line and entry
  bool io = false;            // a file that could not be read or written (exit status 2)
};

// "FILE:LINE: error: entry N: message", leaving out what is not known
// ("hanhua-dict: error: ..." without a file).
std::string FormatDiagnostic(const Diagnostic& diagnostic);

class Diagnostics {
 public:
  enum class Mode { kPrint, kCollect };
  explicit Diagnostics(Mode mode = Mode::kPrint) : mode_(mode) {}

  void Report(Diagnostic diagnostic);
  void Error(const std::string& file, uint32_t line, const char* check, const std::string& message);
  void Warning(const std::string& file, uint32_t line, const char* check, const std::string& message);
  void Note(const std::string& file, uint32_t line, const char* check, const std::string& message);
  // An error of reading or writing a file: exit status 2.
  void IoError(const std::string& file, const std::string& message);
  // Counts a finding that is left out of the printed lines (a command that
  // shows only the first few of a kind), without printing or keeping it.
  void CountUnshown(Severity severity);

  bool printing() const { return mode_ == Mode::kPrint; }
  int errors() const { return errors_; }
  int warnings() const { return warnings_; }
  int ioErrors() const { return ioErrors_; }
  const std::vector<Diagnostic>& all() const { return all_; }
  // 2 after an I/O error, else 1 after an error (or, when strict, a
  // warning), else 0.
  int ExitStatus(bool strict = false) const;

 private:
  Mode mode_;
  int errors_ = 0;
  int warnings_ = 0;
  int ioErrors_ = 0;
  std::vector<Diagnostic> all_;
};

// Lets a command show only the first maxPerKind findings of each kind
// (numbered from 0 to kinds - 1) it prints; every one is shown when
// maxPerKind is 0 or the diagnostics only collect. The others are counted
// as unshown, and how many of each kind were left over for a closing note.
class PerKindLimit {
 public:
  PerKindLimit(int kinds, int maxPerKind, Diagnostics* diagnostics);
  // Whether to report this finding; false counts it as unshown.
  bool Show(int kind, Severity severity);
  int left(int kind) const { return left_[kind]; }

 private:
  int maxPerKind_;
  Diagnostics* diagnostics_;
  std::vector<int> shown_, left_;
};

}  // namespace dict_tool
