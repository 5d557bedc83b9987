// The texts of a game install that the patcher looks up: the DialogueText
// strings of every dialogue event export of every listed package, and the
// texts of every subtitle chunk of every listed movie, read with the
// patchers' own routines, file by file in the order of the Target file list.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace dict_tool {

// One text as the patcher looks it up, and where it was found: the Object
// path of its export, or the start time of its subtitle.
struct GameText {
  std::string text;
  std::string where;
};

// Which copy of a listed file to read.
enum class Copy {
  kOriginal,  // the backup when there is one (the game's own file), else the shipped file
  kShipped,   // the file under its listed name
  kBackup,    // the backup ("NAME.bak") only
};

struct FileTexts {
  int index = 0;           // in the Target file list
  std::string name;        // listed name
  bool movie = false;
  std::string path;        // the file read; empty when none was there
  bool fromBackup = false;
  bool readable = false;   // read and walked without a failure
  int code = 0;            // the patcher's failure code of an unreadable package
  bool compressed = false;  // packages: the file was compressed
  uint32_t exportsOutside = 0;  // packages: exports whose body does not lie inside the package
  std::vector<GameText> texts;  // in file order
};

// Reads the texts of listed file index from the given copy under packageDir
// or movieDir (backslash-joined like the driver's paths). Every text, empty
// ones included.
FileTexts ReadListedFile(const std::string& packageDir, const std::string& movieDir, int index,
                         Copy copy);

// The number of entries of the Target file list, and whether entry index
// names a file (one entry is empty).
int ListedFileCount();
bool IsListedFile(int index);

// Reads every listed file, in list order, with a progress line per file
// (labelled label, unless quiet), and hands each to visit.
void ForEachListedFile(const std::string& packageDir, const std::string& movieDir, Copy copy,
                       const char* label, bool quiet,
                       const std::function<void(const FileTexts&)>& visit);

// Time of a subtitle, milliseconds, as "H:MM:SS.mmm".
std::string FormatTime(uint32_t milliseconds);

}  // namespace dict_tool
