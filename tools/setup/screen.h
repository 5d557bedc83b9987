// What the installer shows and records: lines on the console (Chinese on
// any console), the same lines in its log file, and the progress bar of a
// run, redrawn in place on a console and written as plain lines otherwise.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "tools/setup/runs.h"

namespace setup {

// "[=========>          ]  45%  760/1701 files  2.8/6.3 MB  0:12 left"
// (elapsedSeconds: time since the run began; no estimate before a tenth of
// a second or any byte done).
std::string ProgressLine(const RunProgress& progress, double elapsedSeconds, int barWidth = 24);
// "1:05" or "1:02:03".
std::string Duration(double seconds);
// A byte count in megabytes with one decimal.
std::string Megabytes(uint64_t bytes);

class Screen {
 public:
  // logPath: the log file, appended to; empty for none. console: whether
  // standard output is a console (redraws in place) or a file or pipe.
  Screen(const std::string& logPath, bool console);
  ~Screen();
  Screen(const Screen&) = delete;
  Screen& operator=(const Screen&) = delete;

  // A line on the console and in the log.
  void Say(const std::string& line);
  // A line in the log alone.
  void Log(const std::string& line);
  // A question on the console; the answer is logged by the caller.
  void Ask(const std::string& prompt);

  void BeginProgress(const std::string& label);
  void Progress(const RunProgress& progress);
  void EndProgress();

  bool logging() const { return log_ != platform::kNoFile; }

 private:
  void Write(const std::string& text);
  void ClearBar();

  platform::File log_ = platform::kNoFile;
  bool console_ = false;
  std::string label_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastDraw_;
  size_t barShown_ = 0;   // width of the bar on the console now
  int lastDecile_ = -1;   // redirected output: the last tenth written
};

}  // namespace setup
