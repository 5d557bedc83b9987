#include "tools/setup/screen.h"

#include <algorithm>
#include <cstdio>

#include "platform/terminal.h"

namespace setup {

namespace {

// Redraws of the bar on a console: at most this often.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

std::string Timestamp() {
  platform::SystemTime t;
  platform::GetSystemTimeUtc(&t);
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u UTC", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return text;
}

// The columns text takes on a console: two for each character beyond
// U+07FF (Chinese), one for any other.
size_t Columns(const std::string& text) {
  size_t columns = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) == 0x80) continue;
    columns += c >= 0xE0 ? 2 : 1;
  }
  return columns;
}

}  // namespace

std::string Duration(double seconds) {
  const long total = seconds < 0 ? 0 : long(seconds + 0.5);
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  }
  return text;
}

std::string Megabytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", double(bytes) / 1e6);
  return text;
}

std::string ProgressLine(const RunProgress& p, double elapsedSeconds, int barWidth) {
  const double fraction = p.bytesTotal > 0 ? double(p.bytesDone) / double(p.bytesTotal)
                          : p.filesTotal > 0 ? double(p.filesDone) / double(p.filesTotal)
                                             : 1.0;
  const int filled = std::clamp(int(fraction * barWidth), 0, barWidth);
  std::string line = "[" + std::string(size_t(filled), '=') + (filled < barWidth ? ">" : "") +
                     std::string(size_t(barWidth - filled - (filled < barWidth ? 1 : 0)), ' ') + "]";
  char numbers[160];
  std::snprintf(numbers, sizeof numbers, " %3d%%  %d/%d 个文件", int(fraction * 100), p.filesDone, p.filesTotal);
  line += numbers;
  if (p.bytesTotal > 0) line += "  " + Megabytes(p.bytesDone) + "/" + Megabytes(p.bytesTotal) + " MB";
  if (fraction > 0 && fraction < 1 && elapsedSeconds >= 0.1)
    line += "  剩余 " + Duration(elapsedSeconds * (1 - fraction) / fraction);
  return line;
}

Screen::Screen(const std::string& logPath, bool console) : console_(console) {
  if (logPath.empty()) return;
  log_ = platform::OpenWrite(logPath.c_str(), platform::kOpenAlways);
  if (log_ != platform::kNoFile && !platform::SeekEnd(log_)) {
    platform::Close(log_);
    log_ = platform::kNoFile;
  }
  Log("==== hanhua-setup " + Timestamp());
}

Screen::~Screen() { platform::Close(log_); }

void Screen::Write(const std::string& text) { platform::WriteUtf8(platform::Stream::kOut, text); }

void Screen::Log(const std::string& line) {
  if (log_ == platform::kNoFile) return;
  const std::string text = line + "\n";
  platform::Write(log_, text.data(), uint32_t(text.size()));
}

void Screen::Say(const std::string& line) {
  ClearBar();
  Write(line + "\n");
  Log(line);
}

void Screen::Ask(const std::string& prompt) {
  ClearBar();
  Write(prompt);
}

void Screen::ClearBar() {
  if (barShown_ == 0) return;
  Write("\r" + std::string(barShown_, ' ') + "\r");
  barShown_ = 0;
}

void Screen::BeginProgress(const std::string& label) {
  label_ = label;
  start_ = std::chrono::steady_clock::now();
  lastDraw_ = {};
  lastDecile_ = -1;
  Say(label);
}

void Screen::Progress(const RunProgress& progress) {
  const auto now = std::chrono::steady_clock::now();
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  const bool last = progress.filesDone >= progress.filesTotal;
  if (console_) {
    if (!last && now - lastDraw_ < kRedrawInterval) return;
    lastDraw_ = now;
    const std::string line = ProgressLine(progress, elapsed);
    // The line keeps its width or grows (a shorter estimate is padded).
    const size_t width = std::max(barShown_, Columns(line));
    Write("\r" + line + std::string(width - Columns(line), ' '));
    barShown_ = width;
    return;
  }
  const int decile = progress.bytesTotal > 0 ? int(progress.bytesDone * 10 / progress.bytesTotal)
                                             : progress.filesTotal > 0 ? progress.filesDone * 10 / progress.filesTotal
                                                                       : 10;
  if (decile == lastDecile_ && !last) return;
  if (last && lastDecile_ == 10) return;
  lastDecile_ = last ? 10 : decile;
  Write(ProgressLine(progress, elapsed) + "\n");
}

void Screen::EndProgress() {
  if (barShown_ > 0) Write("\n");
  barShown_ = 0;
}

}  // namespace setup
