#include "tools/setup/discovery.h"

#include <algorithm>
#include <deque>
#include <set>
#include <unordered_map>

#include "driver/target_files.h"
#include "platform/setup_support.h"
#include "tools/setup/game_files.h"

namespace setup {

namespace {

constexpr char kBackupSuffix[] = ".bak";

// Whether entry names a listed file or its backup: 1 for a package, 2 for a
// movie, 0 otherwise.
int ListedKind(const std::string& name) {
  static const std::unordered_map<std::string, int> kinds = [] {
    std::unordered_map<std::string, int> map;
    for (int i = 0; i < driver::kTargetFileCount; ++i) {
      const std::string listed = driver::kTargetFiles[i];
      if (listed.empty()) continue;
      const int kind = i < driver::kPackageCount ? 1 : 2;
      map[platform::FileNameKey(listed)] = kind;
      map[platform::FileNameKey(listed + kBackupSuffix)] = kind;
    }
    return map;
  }();
  auto found = kinds.find(platform::FileNameKey(name));
  return found == kinds.end() ? 0 : found->second;
}

// Counts the listed files of one folder's entries; a file and its backup
// count once.
FolderCount CountListed(const std::string& folder, const std::vector<platform::FolderEntry>& entries) {
  FolderCount count{folder};
  std::set<std::string> seen;
  for (const platform::FolderEntry& entry : entries) {
    if (entry.kind != platform::EntryKind::kFile) continue;
    const int kind = ListedKind(entry.name);
    if (kind == 0) continue;
    std::string key = platform::FileNameKey(entry.name);
    if (key.size() > 4 && key.compare(key.size() - 4, 4, platform::FileNameKey(kBackupSuffix)) == 0)
      key.resize(key.size() - 4);
    if (!seen.insert(key).second) continue;
    ++(kind == 1 ? count.packages : count.movies);
  }
  return count;
}

struct Walk {
  explicit Walk(const SearchLimits& l) : limits(l) {}
  const SearchLimits& limits;
  std::set<std::string> listed;
  std::vector<FolderCount> counted;
  int listings = 0;

  // Breadth first from root down to limits.depth levels.
  void From(const std::string& root) {
    std::deque<std::pair<std::string, int>> queue{{root, 0}};
    std::vector<platform::FolderEntry> entries;
    while (!queue.empty() && listings < limits.maxFolders) {
      auto [folder, level] = queue.front();
      queue.pop_front();
      if (!listed.insert(folder).second) continue;
      ++listings;
      if (!platform::ListFolder(folder, &entries)) continue;
      FolderCount count = CountListed(folder, entries);
      if (count.packages + count.movies > 0) counted.push_back(count);
      if (level == limits.depth) continue;
      for (const platform::FolderEntry& entry : entries) {
        // Hidden folders (".git", ".cache") hold no game.
        if (entry.kind == platform::EntryKind::kFolder && entry.name[0] != '.')
          queue.push_back({platform::JoinPath(folder, entry.name), level + 1});
      }
    }
  }
};

size_t CommonPrefix(const std::string& a, const std::string& b) {
  size_t n = 0;
  while (n < a.size() && n < b.size() && a[n] == b[n]) ++n;
  return n;
}

}  // namespace

bool EnoughPackages(int packages) { return int64_t(packages) * 10 >= driver::kPackageCount; }

void ChooseMovieFolder(const std::vector<FolderCount>& counted, GameFolders* game) {
  // The one with the most listed movies, the one nearest the package folder
  // among equals.
  const FolderCount* chosen = nullptr;
  for (const FolderCount& m : counted) {
    if (m.movies == 0) continue;
    if (chosen == nullptr || m.movies > chosen->movies ||
        (m.movies == chosen->movies &&
         CommonPrefix(m.folder, game->packageDir) > CommonPrefix(chosen->folder, game->packageDir)))
      chosen = &m;
  }
  if (chosen == nullptr) return;
  game->movieDir = chosen->folder;
  game->movies = chosen->movies;
}

SearchResult Decide(std::vector<FolderCount> counted) {
  SearchResult result;
  for (const FolderCount& c : counted)
    if (c.packages > 0) result.candidates.push_back(c);
  std::stable_sort(result.candidates.begin(), result.candidates.end(),
                   [](const FolderCount& a, const FolderCount& b) { return a.packages > b.packages; });
  const int enough = int(std::count_if(result.candidates.begin(), result.candidates.end(),
                                       [](const FolderCount& c) { return EnoughPackages(c.packages); }));
  if (enough == 0) return result;
  if (enough > 1) {
    result.outcome = Discovery::kAmbiguous;
    return result;
  }
  result.outcome = Discovery::kFound;
  result.game.packageDir = result.candidates.front().folder;
  result.game.packages = result.candidates.front().packages;
  ChooseMovieFolder(counted, &result.game);
  return result;
}

SearchResult FindGame(const std::vector<std::string>& startFolders, const SearchLimits& limits) {
  Walk walk(limits);
  std::vector<std::string> starts;
  for (const std::string& start : startFolders) starts.push_back(platform::AbsolutePath(start));
  // Ring by ring: the start folders' own trees, then their parents' trees,
  // and so on; the nearest ring that holds the game decides, so a copy of
  // the game elsewhere on the disk does not make a near one ambiguous.
  SearchResult result;
  for (int up = 0; up <= limits.parents; ++up) {
    for (std::string& folder : starts) {
      if (folder.empty()) continue;
      walk.From(folder);
      folder = platform::ParentFolder(folder);
    }
    result = Decide(walk.counted);
    result.level = up;
    if (result.outcome != Discovery::kTooFew) break;
  }
  // Movies beside the package folder's parents (a game started from inside
  // its package folder).
  std::string folder = result.game.packageDir;
  for (int up = 0; up < limits.parents && result.outcome == Discovery::kFound && result.game.movieDir.empty(); ++up) {
    folder = platform::ParentFolder(folder);
    if (folder.empty()) break;
    walk.From(folder);
    ChooseMovieFolder(walk.counted, &result.game);
  }
  result.foldersSearched = walk.listings;
  return result;
}

std::vector<std::string> VdfLibraryPaths(const std::string& vdf) {
  // Tokens are quoted texts with backslash escapes; a library is a "path"
  // key followed by its value.
  std::vector<std::string> tokens;
  for (size_t at = 0; (at = vdf.find('"', at)) != std::string::npos;) {
    std::string token;
    size_t i = at + 1;
    for (; i < vdf.size() && vdf[i] != '"'; ++i) {
      if (vdf[i] == '\\' && i + 1 < vdf.size()) ++i;
      token.push_back(vdf[i]);
    }
    tokens.push_back(token);
    at = i + 1;
  }
  std::vector<std::string> paths;
  for (size_t i = 0; i + 1 < tokens.size(); ++i) {
    if (tokens[i] == "path") paths.push_back(tokens[++i]);
  }
  return paths;
}

std::vector<std::string> SteamGameFolders(const std::string& home) {
  std::vector<std::string> folders;
  if (home.empty()) return folders;
  auto add = [&folders](const std::string& folder) {
    if (platform::IsFolder(folder) && std::find(folders.begin(), folders.end(), folder) == folders.end())
      folders.push_back(folder);
  };
  const std::string steam = platform::JoinPath(platform::JoinPath(home, ".steam"), "steam");
  add(platform::JoinPath(platform::JoinPath(steam, "steamapps"), "common"));
  std::string vdf;
  if (ReadSmallTextFile(platform::JoinPath(platform::JoinPath(steam, "steamapps"), "libraryfolders.vdf"), &vdf)) {
    for (const std::string& library : VdfLibraryPaths(vdf))
      add(platform::JoinPath(platform::JoinPath(library, "steamapps"), "common"));
  }
  return folders;
}

}  // namespace setup
