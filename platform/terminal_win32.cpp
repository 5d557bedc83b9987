// Windows backend of the terminal functions.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <new>
#include <vector>

#include "platform/terminal.h"

namespace platform {

namespace {

FILE* g_results = nullptr;  // set by SeparateResults
HANDLE g_resultsHandle = nullptr;

HANDLE Handle(Stream stream) {
  if (stream == Stream::kOut && g_results != nullptr) return g_resultsHandle;
  return GetStdHandle(stream == Stream::kOut ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}
FILE* File(Stream stream) {
  if (stream == Stream::kErr) return stderr;
  return g_results != nullptr ? g_results : stdout;
}

// UTF-16 of text in code page codePage; false when text is not valid in it.
bool ToWide(UINT codePage, std::string_view text, std::vector<wchar_t>* wide) {
  wide->clear();
  if (text.empty()) return true;
  if (text.size() > 0x7FFFFFFF) return false;
  const int length = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
  if (units <= 0) return false;
  wide->resize(size_t(units));
  return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), length, wide->data(), units) == units;
}

}  // namespace

bool SeparateResults() {
  if (g_results != nullptr) return true;
  fflush(stdout);
  const int results = _dup(_fileno(stdout));
  if (results < 0) return false;
  FILE* file = _fdopen(results, "w");
  if (file == nullptr) {
    _close(results);
    return false;
  }
  // The C runtime's _dup2 onto descriptor 1 also makes the new handle the
  // process's standard output handle.
  if (_dup2(_fileno(stderr), _fileno(stdout)) != 0) {
    fclose(file);
    return false;
  }
  g_resultsHandle = reinterpret_cast<HANDLE>(_get_osfhandle(results));
  g_results = file;
  return true;
}

bool IsTerminal(Stream stream) {
  DWORD mode = 0;
  return GetConsoleMode(Handle(stream), &mode) != 0;
}

int TerminalColumns(Stream stream) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(Handle(stream), &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

bool WriteUtf8(Stream stream, std::string_view text) {
  FILE* file = File(stream);
  fflush(file);
  if (IsTerminal(stream)) {
    try {
      std::vector<wchar_t> wide;
      if (ToWide(CP_UTF8, text, &wide)) {
        DWORD written = 0;
        return wide.empty() ||
               (WriteConsoleW(Handle(stream), wide.data(), DWORD(wide.size()), &written, nullptr) &&
                written == wide.size());
      }
    } catch (const std::bad_alloc&) {
    }
    // Not UTF-8 after all, or no memory: the bytes as they are.
  }
  const bool written = fwrite(text.data(), 1, text.size(), file) == text.size();
  return fflush(file) == 0 && written;
}

bool GbkToUtf8(std::string_view bytes, std::string* utf8) {
  try {
    std::vector<wchar_t> wide;
    if (!ToWide(936, bytes, &wide)) return false;
    utf8->clear();
    if (wide.empty()) return true;
    const int units = static_cast<int>(wide.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return false;
    utf8->resize(size_t(length));
    return WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, utf8->data(), length, nullptr, nullptr) == length;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace platform
