#include "common/backup.h"

#include <cstring>
#include <new>

#include "common/messages.h"

namespace backup {

namespace {

// Gives a file that now holds the original normal attributes (a copy takes
// the backup's hidden and system marks along; a backup moved back carries
// them too). Where the file system keeps no attributes there is nothing to
// clear, and the file reads as normal.
bool ClearMarks(const char* file) {
  return platform::SetAttributes(file, platform::kAttrNormal) ||
         platform::GetAttributes(file) == platform::kAttrNormal;
}

// A copy of the backup without its marks.
bool CopyBack(const char* file, const char* backup) { return platform::CopyReplaceUnmarked(backup, file); }

Outcome Report(const char* file) {
  platform::ConsolePrintf(messages::kMsgRestoreError, file);
  return Outcome::kFailed;
}

}  // namespace

std::string PathOf(const std::string& file) { return file + kSuffix; }

bool FilePathOf(const char* backupPath, std::string* file) {
  if (backupPath == nullptr) return false;
  const size_t length = std::strlen(backupPath);
  if (length <= kSuffixLength) return false;
  const size_t stem = length - kSuffixLength;
  if (std::memcmp(backupPath + stem, kSuffix, kSuffixLength) != 0) return false;
  try {
    file->assign(backupPath, stem);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool MoveAside(const char* file, const char* backup) {
  // A backup that is there already is kept: it holds the original.
  if (!platform::IsRegularFile(backup)) {
    if (!platform::IsRegularFile(file)) return false;
    platform::FileIdentity identity;
    if (platform::GetFileIdentity(file, &identity) && identity.links > 1) {
      // The file has other names, maybe outside the game's folder: the
      // backup is a copy of its own, so that its marks, and the rebuild
      // that replaces this name, reach none of the others.
      platform::CopyReplace(file, backup);
    } else {
      // Fails when something other than a regular file stands at the
      // backup's name; that is left alone.
      platform::MoveNoReplace(file, backup);
    }
    if (!platform::IsRegularFile(backup)) return false;
  }
  platform::SetAttributes(backup, kBackupAttributes);
  return true;
}

Outcome PutBack(const char* file, const char* backup, Current current) {
  if (!platform::IsRegularFile(backup)) return Outcome::kMissing;
  // A half-made rebuild is worth nothing, and its space may be what the
  // copy needs.
  if (current == Current::kPartial) platform::DeletePath(file);
  if (CopyBack(file, backup)) return Outcome::kRestored;
  // The copy failed over a whole file: remove it to free its space and try
  // once more.
  if (current == Current::kWhole && platform::IsRegularFile(file) && platform::DeletePath(file) &&
      CopyBack(file, backup))
    return Outcome::kRestored;
  // No copy can be made. The backup itself goes back (a rename, which needs
  // no space), unless something still stands at the file's name.
  if (platform::MoveNoReplace(backup, file) && ClearMarks(file)) return Outcome::kRestored;
  return Report(file);
}

}  // namespace backup
