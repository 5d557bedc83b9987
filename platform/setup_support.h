// What the players' installer (hanhua-setup) needs of the system beyond the
// patcher's calls: its own folder, folder listings, a console that shows
// Chinese whatever its code page, answers typed or dragged into it, and
// whether the program has a console window of its own. (Console output, and
// whether standard output is a console, are in platform/terminal.h.)
//
// Paths are 8-bit strings as everywhere in the platform layer: UTF-8 on
// POSIX; on Windows the process's code page, which hanhua-setup's manifest
// makes UTF-8 (Windows 10 1903 and later), so that every path can be
// expressed. Texts for the console are UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// dir joined with name by this system's separator ('/' on POSIX, '\' on
// Windows). An empty dir gives name alone.
std::string JoinPath(const std::string& dir, const std::string& name);
// The folder that holds path (path less its last component and the
// separators before it), or an empty text when path has none above it.
std::string ParentFolder(const std::string& path);
// The last component of path.
std::string LastComponent(const std::string& path);
// path made absolute against the current folder, with "." and ".."
// components and doubled separators removed (links are not resolved).
// Empty when the current folder cannot be had.
std::string AbsolutePath(const std::string& path);
// The text by which two file names are the same file in one folder: the
// name itself on POSIX, its ASCII letters in upper case on Windows.
std::string FileNameKey(std::string_view name);

// The folder of the running program, absolute; empty when it cannot be had.
std::string ProgramFolder();
// The user's home folder ($HOME), empty when unset.
std::string HomeFolder();

enum class EntryKind { kFile, kFolder, kOther };
struct FolderEntry {
  std::string name;
  EntryKind kind = EntryKind::kOther;
  uint64_t size = 0;  // kFile only
};
// The entries of folder, "." and ".." left out. Links (and reparse points)
// are kOther, so a walk over folders never follows one. False when the
// folder cannot be listed.
bool ListFolder(const std::string& folder, std::vector<FolderEntry>* entries);
// The names in folder, "." and ".." left out, without looking at what they
// name (ListFolder asks the file system once more for every entry). False
// when the folder cannot be listed.
bool ListFolderNames(const std::string& folder, std::vector<std::string>* names);
// True when path is a folder (following links: a folder named by the user
// may be one).
bool IsFolder(const std::string& path);
// True when path is a regular file (following links).
bool IsRegularFile(const std::string& path);
// SetCurrentDirectory. False on failure.
bool SetCurrentFolder(const std::string& path);
// A new, empty folder of this process's own under the system's temporary
// folder, made exclusively with a name no one can guess. False on failure.
bool MakePrivateFolder(std::string* path);
// Removes an empty folder.
bool RemoveEmptyFolder(const std::string& path);

// ---------------------------------------------------------------------------
// Console

// Reads one line from standard input, without its line break, as an 8-bit
// text that paths take (a Windows console is read in wide characters and
// the line converted, so a dragged folder's name arrives whole). False at
// the end of input.
bool ReadLine(std::string* line);
// True when the program's console window is its own: started by a
// double-click rather than from a shell (Windows: the console serves this
// process alone). Always false on POSIX, where a terminal window belongs to
// the shell or the file manager that opened it.
bool HasOwnConsole();
// While a sink is set, platform::ConsolePrintf hands each message to it as
// UTF-8 text (its GBK format converted, its arguments as they are) instead
// of writing it: the installer shows what the patchers report in its own
// words and keeps their lines for its log. format is the message's format
// as given, so a caller can tell the messages apart. Defined with the
// console backend (console_*.cpp). Null restores the console.
using ConsoleSink = void (*)(const char* format, const std::string& utf8Text, void* context);
void SetConsoleSink(ConsoleSink sink, void* context);

}  // namespace platform
