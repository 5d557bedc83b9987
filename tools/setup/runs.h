// The installer's runs over a found game, in this process: install (the
// patcher's eng2chs), restore (chs2eng) and the check of an install. Each
// reports its progress and every file's outcome to the caller, and returns
// what a summary needs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/setup/discovery.h"
#include "tools/setup/game_files.h"

namespace setup {

struct FileOutcome {
  ListedFile file;
  bool ok = false;
  int code = 0;                       // the package patcher's result code
  std::string reason;                 // why it failed, in a player's words
  std::vector<std::string> messages;  // what the patchers printed for it (UTF-8)
};

struct RunProgress {
  int filesDone = 0;
  int filesTotal = 0;
  uint64_t bytesDone = 0;
  uint64_t bytesTotal = 0;
};

struct RunHooks {
  std::function<void(const RunProgress&)> progress;
  std::function<void(const FileOutcome&)> fileDone;
};

struct RunReport {
  int done = 0;
  std::vector<FileOutcome> failures;
  double seconds = 0;
};

// The plain words for a package patcher's result code.
std::string ReasonForCode(int code);

// Rebuilds every listed file of files with the dictionary "chs.txt" of
// dictionaryFolder (the run works in that folder).
RunReport Install(const GameFolders& game, const GameFiles& files, const std::string& dictionaryFolder,
                  const RunHooks& hooks);
// Puts every backup of files back over its file.
RunReport Restore(const GameFolders& game, const GameFiles& files, const RunHooks& hooks);
// Removes the backups of files whose file is there again, the same size as
// its backup. Returns how many were removed; failed names the others.
int DeleteBackups(const GameFiles& files, std::vector<std::string>* failed);

// True when a file can be made in folder (the installer's test for a game
// folder that only an administrator may change).
bool FolderIsWritable(const std::string& folder);

}  // namespace setup
