#include "tools/setup/game_files.h"

#include <unordered_map>

#include "driver/driver.h"
#include "driver/target_files.h"
#include "platform/platform.h"
#include "platform/setup_support.h"

namespace setup {

namespace {

using Listing = std::unordered_map<std::string, const platform::FolderEntry*>;

Listing Index(const std::vector<platform::FolderEntry>& entries) {
  Listing listing;
  for (const platform::FolderEntry& entry : entries)
    if (entry.kind == platform::EntryKind::kFile) listing[platform::FileNameKey(entry.name)] = &entry;
  return listing;
}

const platform::FolderEntry* Find(const Listing& listing, const std::string& name) {
  auto found = listing.find(platform::FileNameKey(name));
  return found == listing.end() ? nullptr : found->second;
}

}  // namespace

GameFiles SurveyGame(const GameFolders& game) {
  GameFiles result;
  std::vector<platform::FolderEntry> packageEntries, movieEntries;
  platform::ListFolder(game.packageDir, &packageEntries);
  if (!game.movieDir.empty()) platform::ListFolder(game.movieDir, &movieEntries);
  const Listing packages = Index(packageEntries);
  const Listing movies = Index(movieEntries);
  for (int i = 0; i < driver::kTargetFileCount; ++i) {
    const std::string name = driver::kTargetFiles[i];
    if (name.empty()) continue;
    const bool movie = i >= driver::kPackageCount;
    if (movie && game.movieDir.empty()) continue;
    const Listing& listing = movie ? movies : packages;
    const platform::FolderEntry* file = Find(listing, name);
    const platform::FolderEntry* backup = Find(listing, name + ".bak");
    if (file == nullptr && backup == nullptr) continue;
    ListedFile listed;
    listed.index = i;
    listed.movie = movie;
    listed.path = driver::FilePath((movie ? game.movieDir : game.packageDir).c_str(), name.c_str());
    listed.present = file != nullptr;
    listed.backup = backup != nullptr;
    listed.size = (backup != nullptr ? backup : file)->size;
    result.backups += listed.backup;
    result.bytes += listed.size;
    result.files.push_back(std::move(listed));
  }
  return result;
}

InstallState StateOf(const GameFiles& files) {
  if (files.backups == 0) return InstallState::kNotInstalled;
  return files.backups == int(files.files.size()) ? InstallState::kInstalled : InstallState::kPartly;
}

bool ReadSmallTextFile(const std::string& path, std::string* text, uint32_t maxBytes) {
  if (!platform::IsRegularFile(path)) return false;
  platform::File file = platform::OpenRead(path.c_str());
  if (file == platform::kNoFile) return false;
  const uint32_t size = platform::FileSize(file);
  bool ok = size != platform::kSizeError && size <= maxBytes;
  if (ok) {
    text->assign(size, '\0');
    ok = size == 0 || platform::Read(file, text->data(), size) == int64_t(size);
  }
  platform::Close(file);
  return ok;
}

}  // namespace setup
