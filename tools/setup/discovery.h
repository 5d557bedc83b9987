// Finding the game: the folder that holds the listed packages (the package
// folder) and the one that holds the listed movies (the movie folder), by
// looking at folders near where the player started the installer.
#pragma once

#include <string>
#include <vector>

namespace setup {

// A folder and how many files of the Target file list it holds (a file
// counts when it or its backup is there).
struct FolderCount {
  std::string folder;
  int packages = 0;
  int movies = 0;
};

struct GameFolders {
  std::string packageDir;
  std::string movieDir;  // empty when no folder holds a listed movie
  int packages = 0;      // listed packages in packageDir
  int movies = 0;        // listed movies in movieDir
};

enum class Discovery {
  kFound,      // one folder holds at least a tenth of the listed packages
  kAmbiguous,  // several do
  kTooFew,     // none does
};

struct SearchResult {
  Discovery outcome = Discovery::kTooFew;
  GameFolders game;                     // kFound
  std::vector<FolderCount> candidates;  // folders holding listed packages, most first
  int level = 0;  // parents above the start folders of the level that decided
  int foldersSearched = 0;
};

// Looks from each start folder: the folder itself and every folder up to
// depth levels below it; when that finds no game, the same from its parent,
// and so on up to parents levels up (the nearest level that finds the game
// decides). The movies are looked for near the package folder in the same
// way. Links are never followed. At most maxFolders folders are listed, the
// nearest first.
struct SearchLimits {
  int parents = 3;
  int depth = 4;
  int maxFolders = 4000;
};
SearchResult FindGame(const std::vector<std::string>& startFolders, const SearchLimits& limits = {});

// The decision on counted folders alone (FindGame's last step).
SearchResult Decide(std::vector<FolderCount> counted);

// True when packages listed packages are at least a tenth of the list.
bool EnoughPackages(int packages);

// The folders of Steam's libraries under home whose games a search should
// look into: home/.steam/steam/steamapps/common and the "steamapps/common"
// folder of every library that libraryfolders.vdf lists, each once.
std::vector<std::string> SteamGameFolders(const std::string& home);
// The "path" values of a libraryfolders.vdf text, unescaped.
std::vector<std::string> VdfLibraryPaths(const std::string& vdf);

}  // namespace setup
