// The listed files of a found game as they lie on disk: which are there,
// which have a backup, how many bytes a run reads; and from that, whether
// the translation is installed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/setup/discovery.h"

namespace setup {

struct ListedFile {
  int index = 0;        // in the Target file list
  bool movie = false;
  std::string path;     // the listed file, as the patchers build it
  bool present = false;  // the file itself is there
  bool backup = false;   // its backup is there
  uint64_t size = 0;     // of the backup when there is one, else of the file
};

struct GameFiles {
  std::vector<ListedFile> files;  // those present or backed up, in list order
  int backups = 0;
  uint64_t bytes = 0;
};

// Looks at the package and movie folders (one listing each).
GameFiles SurveyGame(const GameFolders& game);

enum class InstallState {
  kNotInstalled,  // no listed file has a backup
  kInstalled,     // every listed file there has one
  kPartly,        // some have
};
InstallState StateOf(const GameFiles& files);

// Reads a small text file whole (at most maxBytes). False when it is
// missing, not a regular file, larger or unreadable.
bool ReadSmallTextFile(const std::string& path, std::string* text, uint32_t maxBytes = 1u << 20);

}  // namespace setup
