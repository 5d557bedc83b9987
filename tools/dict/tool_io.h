// What hanhua-dict needs of files and of the console, on top of the platform
// layer: whole files by path, outputs written so that a failure never
// destroys the file they replace, and every line the toolkit prints.
//
// Output: results go to stdout (PrintResult), diagnostics and progress to
// stderr (PrintDiagnostic, Progress). All of it is UTF-8 and passes through
// platform::WriteUtf8, the one place that knows how a console takes text.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "tools/dict/diagnostics.h"

namespace dict_tool {

// Reads the whole file at path into bytes. False when it cannot be opened or
// read whole.
bool ReadWholeFile(const std::string& path, std::string* bytes);
// True when path names a file that can be opened for reading.
bool FileExists(const std::string& path);
// True when a and b name the same existing file (the same file on the same
// volume, whatever the spelling of the paths).
bool SameFile(const std::string& a, const std::string& b);

// How writing an output failed.
enum class WriteFailure {
  kNone,
  kCreate,    // no temporary file could be made beside the target
  kWrite,     // not every byte got into it (a full disk, for one)
  kFlush,     // the system could not bring it to the disk
  kReadBack,  // it does not read back as written
  kCheck,     // what was read back does not pass the caller's check
  kCommit,    // it could not take the target's place
};
const char* WriteFailureText(WriteFailure failure);

// Checks the bytes of a complete output, read back from the disk, before it
// takes the target's place (a dictionary: that it loads and holds what was
// meant). True when they pass.
using ReadBackCheck = std::function<bool(std::string_view bytes)>;

// Writes bytes to path without ever leaving path damaged: into a new file
// created exclusively beside it (platform::CreateTemporaryBeside), flushed
// to the disk, read back and compared, given to check (when there is one),
// and only then renamed over path in one step. On any failure the temporary
// file is removed and path is exactly as it was (or still absent).
WriteFailure WriteOutputSafely(const std::string& path, std::string_view bytes,
                               const ReadBackCheck& check = nullptr);
// WriteOutputSafely, reporting a failure as an I/O error of path. False on
// failure.
bool WriteOutputOrReport(const std::string& path, std::string_view bytes, Diagnostics* diagnostics,
                         const ReadBackCheck& check = nullptr);
// For a command whose output has another format than its input: reports an
// error and gives true when output names the input file itself, which the
// command would replace.
bool RefuseOutputOverInput(const std::string& input, const std::string& output, const char* format,
                           Diagnostics* diagnostics);

// printf into a string (MinGW's C99 printf on Windows, so %zu and %llu work).
std::string Format(const char* format, ...)
#if defined(__MINGW32__)
    __attribute__((format(gnu_printf, 1, 2)))
#elif defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// A result on stdout: text as it is (UTF-8), then a line feed.
void PrintResult(std::string_view text);
// A diagnostic line on stderr, then a line feed.
void PrintDiagnostic(std::string_view text);

// The progress lines of a long run on stderr: "Reading (5 / 1702)...\r",
// each overwriting the one before. Shown only when stderr is a terminal and
// not quiet, so that no progress ends up in a log or a pipe. Done() wipes
// the last one so that the next line starts on a clean line.
class Progress {
 public:
  Progress(const char* label, int total, bool quiet);
  ~Progress() { Done(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  void Show(int number);
  void Done();

 private:
  const char* label_;
  int total_;
  bool shown_;
  int shownWidth_ = 0;
};
// Tests: progress also when stderr is no terminal.
void ForceProgressForTests(bool force);

// A text for a one-line message: between double quotes, at most maxBytes of
// it (cut at a character boundary, "..." after the quote when cut), with
// line breaks, tabs, quotes, backslashes and bytes that are not UTF-8 shown
// as escapes (\r \n \t \" \\ \xNN).
std::string Quoted(std::string_view text, size_t maxBytes = 60);

// Percentage of part in whole with one decimal ("0.0" for an empty whole).
std::string Percent(uint64_t part, uint64_t whole);

}  // namespace dict_tool
