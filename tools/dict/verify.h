// The check of a game folder after "hanhua eng2chs", as a library call:
// every listed package must be an uncompressed package whose tables and
// exports lie inside the file, every movie a run of whole chunks, each file
// must hold as many texts as its backup; the texts that changed are
// counted. With a dictionary, the texts of the game it translates are
// counted too (on the game's own files: the backups where they exist), and
// the two counts must agree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/dict/commands.h"
#include "tools/dict/diagnostics.h"

namespace dict_tool {

struct VerifyResult {
  int packages = 0;  // listed packages found and checked
  int movies = 0;
  int notFound = 0;  // listed files found neither as such nor as a backup
  uint64_t dialogueTranslated = 0;  // dialogue strings that differ from the backup's
  uint64_t subtitlesTranslated = 0;
  bool withDictionary = false;      // a dictionary was given and loaded
  uint64_t dialogueExpected = 0;    // dialogue strings the dictionary translates
  uint64_t subtitlesExpected = 0;
  std::vector<Diagnostic> findings;  // every problem, each an error
  int exitStatus = kExitOk;          // as the command's: 1 on any problem, 2 when the dictionary cannot be read
};

// Checks the game in game's folders; dictionary may be empty (no count of
// what it translates). Progress on stderr unless quiet (and only on a
// terminal); nothing else is printed.
VerifyResult VerifyInstall(const GameDirs& game, const std::string& dictionary, bool quiet);

}  // namespace dict_tool
