#include "driver/driver.h"

#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "common/messages.h"
#include "driver/target_files.h"
#include "platform/platform.h"
#include "platform/setup_support.h"

namespace driver {

namespace {

const char* MovieName(int k) { return kTargetFiles[kPackageCount + k]; }
const char* PackageName(int i) { return kTargetFiles[i]; }

// A modifiable, zero-terminated heap copy of text: a patcher may change it
// (the package patcher cuts ".bak" off in place). Null when memory is short.
std::unique_ptr<char[]> HeapCopy(const std::string& text) {
  std::unique_ptr<char[]> copy(new (std::nothrow) char[text.size() + 1]);
  if (copy) std::memcpy(copy.get(), text.c_str(), text.size() + 1);
  return copy;
}

// The package folder's lock, held from a run's first file to its end.
class RunLock {
 public:
  explicit RunLock(const char* packageDir) : lock_(platform::LockFolder(packageDir)) {}
  ~RunLock() { platform::UnlockFolder(lock_); }
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

 private:
  platform::FolderLock lock_;
};

// One listed file of a run: its two paths, and the report to the observer.
struct ListedFile {
  std::string path;
  std::string backup;
  ListedFile(const char* dir, const char* name) : path(FilePath(dir, name)), backup(BackupPath(path)) {}

  void Report(const Observer* observer, int number, backup::Outcome outcome) const {
    if (observer == nullptr || observer->fileDone == nullptr) return;
    platform::FileIdentity identity;
    const bool present = outcome != backup::Outcome::kMissing && platform::IsRegularFile(path.c_str()) &&
                         platform::GetFileIdentity(path.c_str(), &identity);
    observer->fileDone(observer->context, FileReport{path.c_str(), number, outcome, present ? identity.size : 0});
  }
};

// What a patcher of the plain form left: a file that is there counts as
// done (its result code is not trusted to tell more).
backup::Outcome OutcomeOnDisk(const ListedFile& file, bool succeeded) {
  if (!platform::IsRegularFile(file.path.c_str())) return backup::Outcome::kMissing;
  return succeeded ? backup::Outcome::kPatched : backup::Outcome::kRestored;
}

backup::Outcome PatchMovie(const Patchers& patchers, const ListedFile& file) {
  std::unique_ptr<char[]> copy = HeapCopy(file.backup);
  if (!copy) return backup::Outcome::kMissing;
  if (patchers.rebuildMovie) return patchers.rebuildMovie(copy.get());
  if (patchers.patchMovie) patchers.patchMovie(copy.get());
  return OutcomeOnDisk(file, true);
}

backup::Outcome PatchPackage(const Patchers& patchers, const ListedFile& file) {
  std::unique_ptr<char[]> copy = HeapCopy(file.backup);
  if (!copy) return backup::Outcome::kMissing;
  if (patchers.rebuildPackage) return patchers.rebuildPackage(copy.get());
  if (!patchers.patchPackage) return OutcomeOnDisk(file, false);
  return OutcomeOnDisk(file, patchers.patchPackage(copy.get()) == 0);
}

// A patcher that stops before it creates the file (its backup cannot be
// opened, memory is short) leaves the listed file missing, and the game
// without it: the backup then goes back in its place, as chs2eng would put
// it. Where there is no backup (every file of an empty folder, the list's
// empty entry) this costs one call.
backup::Outcome MendIfMissing(const ListedFile& file, backup::Outcome outcome) {
  if (outcome != backup::Outcome::kMissing && outcome != backup::Outcome::kRestored) return outcome;
  if (!platform::IsRegularFile(file.backup.c_str())) return outcome;
  if (platform::IsRegularFile(file.path.c_str())) return outcome;
  return backup::PutBack(file.path.c_str(), file.backup.c_str(), backup::Current::kPartial);
}

// eng2chs for one file: the backup, what comes before the patcher (the
// progress line of a package), the patcher, the mending. Memory running
// short passes the file over.
template <typename Before, typename Patch>
void PatchOne(const char* dir, const char* name, int number, const Observer* observer, const Before& before,
              const Patch& patch) {
  try {
    ListedFile file(dir, name);
    backup::MoveAside(file.path.c_str(), file.backup.c_str());
    before();
    backup::Outcome outcome = MendIfMissing(file, patch(file));
    file.Report(observer, number, outcome);
  } catch (const std::bad_alloc&) {
    // This file is passed over, like any other failure.
  }
}

// chs2eng for one file. A missing backup is not an error.
void RestoreOne(const char* dir, const char* name, int number, const Observer* observer) {
  try {
    ListedFile file(dir, name);
    file.Report(observer, number, backup::PutBack(file.path.c_str(), file.backup.c_str(), backup::Current::kWhole));
  } catch (const std::bad_alloc&) {
    // This file is passed over, like any other failure.
  }
}

// How many packages ahead of the one it patches the driver announces: far
// enough that the builder always has one to take up while a package is
// written (the builder's memory limit stops it sooner where they are large).
constexpr int kAnnouncedAhead = 32;

// Announces listed package number i to prepare, when there is one.
void Announce(const char* packageDir, int i, void (*prepare)(const char*)) {
  if (prepare == nullptr || i >= kPackageCount) return;
  try {
    prepare(FilePath(packageDir, PackageName(i)).c_str());
  } catch (const std::bad_alloc&) {
    // Not built ahead: built in its turn.
  }
}

// A temporary file this program made beside a listed file or its backup:
// the listed name, ".bak" perhaps, ".~hanhua-" and 16 hex digits. Result:
// the listed name's part, or empty when name is not such a file.
std::string_view ListedPartOfTemporary(std::string_view name) {
  constexpr std::string_view kMark = ".~hanhua-";
  constexpr size_t kDigits = 16;
  if (name.size() < kMark.size() + kDigits) return {};
  std::string_view digits = name.substr(name.size() - kDigits);
  for (char c : digits)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return {};
  std::string_view rest = name.substr(0, name.size() - kDigits);
  if (rest.substr(rest.size() - kMark.size()) != kMark) return {};
  rest.remove_suffix(kMark.size());
  if (rest.size() > 4 && rest.substr(rest.size() - 4) == ".bak") rest.remove_suffix(4);
  return rest;
}

// A run killed between naming a finished temporary file and renaming it
// over its target leaves that file behind. Under the run's lock no other run
// writes in the folder, so every such file of a listed name is a leftover and
// is removed (a link among them is removed, never followed; a folder of such
// a name stays, as removing a file cannot take a folder).
void RemoveLeftoverTemporaries(const char* dir) {
  std::vector<std::string> names;
  if (!platform::ListFolderNames(dir, &names)) return;
  std::unordered_set<std::string_view> listed(std::begin(kTargetFiles), std::end(kTargetFiles));
  for (const std::string& name : names) {
    std::string_view part = ListedPartOfTemporary(name);
    if (part.empty() || !listed.count(part)) continue;
    platform::DeletePath(FilePath(dir, name.c_str()).c_str());
  }
}

}  // namespace

std::string FilePath(const char* dir, const char* name) {
  std::string path(dir);
  path += '\\';
  path += name;
  return path;
}

std::string BackupPath(const std::string& filePath) { return backup::PathOf(filePath); }

void Eng2Chs(const char* packageDir, const char* movieDir, const Patchers& patchers, const Observer* observer) {
  RunLock lock(packageDir);
  RemoveLeftoverTemporaries(movieDir);
  RemoveLeftoverTemporaries(packageDir);
  // The first packages are read and decompressed while the movies are
  // rebuilt.
  for (int i = 0; i < kAnnouncedAhead; ++i) Announce(packageDir, i, patchers.preparePackage);
  for (int k = 0; k < kMovieCount; ++k) {
    PatchOne(movieDir, MovieName(k), k + 1, observer, [] {},
             [&](const ListedFile& file) { return PatchMovie(patchers, file); });
  }
  for (int i = 0; i < kPackageCount; ++i) {
    const auto before = [&] {
      platform::ConsolePrintf(messages::kMsgPatching, i + 1, kPackageCount);
      Announce(packageDir, i + kAnnouncedAhead, patchers.preparePackage);
    };
    PatchOne(packageDir, PackageName(i), kMovieCount + i + 1, observer, before,
             [&](const ListedFile& file) { return PatchPackage(patchers, file); });
  }
  platform::ConsolePrintf(messages::kMsgPatchDone);
}

void Chs2Eng(const char* packageDir, const char* movieDir, const Observer* observer) {
  RunLock lock(packageDir);
  RemoveLeftoverTemporaries(movieDir);
  RemoveLeftoverTemporaries(packageDir);
  for (int k = 0; k < kMovieCount; ++k) RestoreOne(movieDir, MovieName(k), k + 1, observer);
  for (int i = 0; i < kPackageCount; ++i) {
    platform::ConsolePrintf(messages::kMsgRestoring, i + 1, kPackageCount);
    RestoreOne(packageDir, PackageName(i), kMovieCount + i + 1, observer);
  }
}

void Echo(int argc, char** argv) {
  for (int i = 0; i < argc; ++i)
    platform::ConsolePrintf(messages::kMsgArgumentEcho, i, argv[i] != nullptr ? argv[i] : "");
}

int Run(int argc, char** argv, const Patchers& patchers) {
  if (argc != 4) {
    Echo(argc, argv);
  } else if (std::strcmp(argv[1], "eng2chs") == 0) {
    Eng2Chs(argv[2], argv[3], patchers);
  } else if (std::strcmp(argv[1], "chs2eng") == 0) {
    Chs2Eng(argv[2], argv[3]);
  } else {
    Echo(argc, argv);
  }
  return 0;
}

}  // namespace driver
