#include "driver/driver.h"

#include <cstring>
#include <memory>
#include <new>

#include "common/messages.h"
#include "driver/target_files.h"
#include "platform/platform.h"

namespace driver {

namespace {

constexpr char kBackupSuffix[] = ".bak";
// Backups are hidden and system, so the game and its launcher pass them by.
constexpr uint32_t kBackupAttributes = platform::kAttrHidden | platform::kAttrSystem;

const char* MovieName(int k) { return kTargetFiles[kPackageCount + k]; }
const char* PackageName(int i) { return kTargetFiles[i]; }

// A modifiable, zero-terminated heap copy of text: a patcher may change it
// (the package patcher cuts ".bak" off in place). Null when memory is short.
std::unique_ptr<char[]> HeapCopy(const std::string& text) {
  std::unique_ptr<char[]> copy(new (std::nothrow) char[text.size() + 1]);
  if (copy) std::memcpy(copy.get(), text.c_str(), text.size() + 1);
  return copy;
}

// Moves the listed file aside to its backup and marks the backup hidden and
// system. The move never replaces an existing backup: that one holds the
// original from an earlier run, and the file is rebuilt from it again. A
// failure (no file, a backup already there) is not an error.
// Result: the patcher's copy of the backup path, or null when memory is
// short, in which case nothing on disk has been touched.
std::unique_ptr<char[]> MakeBackup(const char* dir, const char* name) {
  try {
    std::string file = FilePath(dir, name);
    std::string backup = BackupPath(file);
    std::unique_ptr<char[]> copy = HeapCopy(backup);
    if (!copy) return nullptr;
    platform::MoveNoReplace(file.c_str(), backup.c_str());
    platform::SetAttributes(backup.c_str(), kBackupAttributes);
    return copy;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// Copies the backup back over the listed file. The copy takes the backup's
// hidden and system marks along, so a restored file is reset to normal
// attributes: it is the game's file again. A missing backup is not an error.
void RestoreBackup(const char* dir, const char* name) {
  try {
    std::string file = FilePath(dir, name);
    std::string backup = BackupPath(file);
    if (platform::CopyReplace(backup.c_str(), file.c_str()))
      platform::SetAttributes(file.c_str(), platform::kAttrNormal);
  } catch (const std::bad_alloc&) {
    // This file is passed over, like any other failure.
  }
}

// A patcher that stops before it creates the file (its backup cannot be
// opened, memory is short) leaves the listed file missing, and the game
// without it. The backup then goes back in its place, as chs2eng would put
// it. The backup is asked for first: where there is none (every file of an
// empty folder, the list's empty entry) this costs one call.
void RestoreIfMissing(const char* dir, const char* name) {
  try {
    std::string file = FilePath(dir, name);
    std::string backup = BackupPath(file);
    if (platform::GetAttributes(backup.c_str()) == platform::kAttrInvalid) return;
    if (platform::GetAttributes(file.c_str()) != platform::kAttrInvalid) return;
    RestoreBackup(dir, name);
  } catch (const std::bad_alloc&) {
    // Nothing more can be done for this file.
  }
}

// Tells prepare which listed package comes after the one about to be
// patched (next, which may be past the last).
void AnnounceNext(const char* packageDir, int next, void (*prepare)(const char*)) {
  if (next >= kPackageCount) {
    prepare(nullptr);
    return;
  }
  try {
    prepare(FilePath(packageDir, PackageName(next)).c_str());
  } catch (const std::bad_alloc&) {
    prepare(nullptr);
  }
}

}  // namespace

std::string FilePath(const char* dir, const char* name) {
  std::string path(dir);
  path += '\\';
  path += name;
  return path;
}

std::string BackupPath(const std::string& filePath) { return filePath + kBackupSuffix; }

void Eng2Chs(const char* packageDir, const char* movieDir, const Patchers& patchers) {
  for (int k = 0; k < kMovieCount; ++k) {
    std::unique_ptr<char[]> backup = MakeBackup(movieDir, MovieName(k));
    if (backup && patchers.patchMovie) patchers.patchMovie(backup.get());
    RestoreIfMissing(movieDir, MovieName(k));
  }
  for (int i = 0; i < kPackageCount; ++i) {
    std::unique_ptr<char[]> backup = MakeBackup(packageDir, PackageName(i));
    platform::ConsolePrintf(messages::kMsgPatching, i + 1, kPackageCount);
    if (patchers.preparePackage) AnnounceNext(packageDir, i + 1, patchers.preparePackage);
    if (backup && patchers.patchPackage) patchers.patchPackage(backup.get());
    RestoreIfMissing(packageDir, PackageName(i));
  }
  platform::ConsolePrintf(messages::kMsgPatchDone);
}

void Chs2Eng(const char* packageDir, const char* movieDir) {
  for (int k = 0; k < kMovieCount; ++k) RestoreBackup(movieDir, MovieName(k));
  for (int i = 0; i < kPackageCount; ++i) {
    platform::ConsolePrintf(messages::kMsgRestoring, i + 1, kPackageCount);
    RestoreBackup(packageDir, PackageName(i));
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
