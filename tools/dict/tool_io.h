// What hanhua-dict needs of files and of the console, on top of the platform
// layer: whole files by path, and the progress and report lines it prints.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dict_tool {

// Reads the whole file at path into bytes. False when it cannot be opened or
// read whole.
bool ReadWholeFile(const std::string& path, std::string* bytes);
// Writes data to path, replacing the file. False when not every byte got
// there.
bool WriteWholeFile(const std::string& path, std::string_view data);
// True when path names a file that can be opened for reading.
bool FileExists(const std::string& path);

// Prints a line of text as it is (UTF-8 or ASCII), followed by a line feed.
void PrintLine(std::string_view text);
// Prints a message composed by the dictionary loader (GBK, as on the
// patcher's console) followed by a line feed.
void PrintGbkLine(const char* text);

// The progress lines of a long run, in the style of the patcher's:
// "Reading (5 / 1702)...\r", each overwriting the one before. Done() wipes
// the last one so that the next line starts on a clean line.
class Progress {
 public:
  Progress(const char* label, int total, bool quiet);
  ~Progress() { Done(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  void Show(int number);
  // Wipes the progress line before a message is printed in between.
  void Done();

 private:
  const char* label_;
  int total_;
  bool quiet_;
  int shownWidth_ = 0;
};

// A text for a one-line message: between double quotes, at most maxBytes of
// it (cut at a character boundary, "..." after the quote when cut), with
// line breaks, tabs, quotes, backslashes and bytes that are not UTF-8 shown
// as escapes (\r \n \t \" \\ \xNN).
std::string Quoted(std::string_view text, size_t maxBytes = 60);

// Percentage of part in whole with one decimal ("0.0" for an empty whole).
std::string Percent(uint64_t part, uint64_t whole);

}  // namespace dict_tool
