#include "package/package_patcher.h"

#include <cstring>
#include <new>
#include <string>

#include "common/backup.h"
#include "common/messages.h"
#include "dictionary/dict_cache.h"
#include "package/dialogue_rewrite.h"
#include "package/package_decompress.h"
#include "package/package_image.h"
#include "package/package_tables.h"
#include "platform/platform.h"

namespace package {

namespace {

// Puts the original back after a failed rebuild (backup.h: the partial
// output goes first, then a copy of the backup, else the backup itself).
backup::Outcome PutBackFromBackup(const char* outputPath) {
  try {
    const std::string backupPath = backup::PathOf(outputPath);
    return backup::PutBack(outputPath, backupPath.c_str(), backup::Current::kPartial);
  } catch (const std::bad_alloc&) {
    platform::ConsolePrintf(messages::kMsgRestoreError, outputPath);
    return backup::Outcome::kFailed;
  }
}

// From the deletion of the shipped file to the end of the table stage. The
// output is made only where nothing, not even a link, is left at its name.
Failure RebuildShippedFile(platform::File backup, const char* outputPath) {
  platform::DeletePath(outputPath);
  platform::FileHolder output(platform::CreateNew(outputPath));
  if (!output.is_open()) return Failure::kOutputUncreated;

  PackageImage image;
  TranslatedAhead translated;
  Failure failure = WriteUncompressedPackage(backup, output.get(), outputPath, &image, &translated);
  if (failure != Failure::kNone) return failure;
  return TranslateDialogueExports(image, PackageFiles{backup, output.get(), outputPath}, &translated);
}

}  // namespace

int PatchPackageFile(char* backupPath, backup::Outcome* outcome) {
  backup::Outcome ignored;
  if (outcome == nullptr) outcome = &ignored;
  *outcome = backup::Outcome::kMissing;
  if (backupPath == nullptr) return CodeOf(Failure::kBackupUnopened);
  platform::FileHolder backupFile(platform::OpenRead(backupPath));
  if (!backupFile.is_open()) return CodeOf(Failure::kBackupUnopened);

  size_t length = std::strlen(backupPath);
  if (length <= backup::kSuffixLength ||
      std::memcmp(backupPath + length - backup::kSuffixLength, backup::kSuffix, backup::kSuffixLength) != 0) {
    return CodeOf(Failure::kNoBakSuffix);
  }
  backupPath[length - backup::kSuffixLength] = '\0';
  const char* outputPath = backupPath;

  Failure failure;
  {
    // Every export of this package sees one version of the dictionary.
    dictionary::SharedDictionaryVersion version;
    failure = RebuildShippedFile(backupFile.get(), outputPath);
  }
  // Closed before the shipped file is put back, so that on Windows the
  // backup can be moved back if need be.
  backupFile.Close();
  Report(failure, outputPath);
  *outcome = failure == Failure::kNone ? backup::Outcome::kPatched : PutBackFromBackup(outputPath);
  return CodeOf(failure);
}

int PatchPackageFile(char* backupPath) { return PatchPackageFile(backupPath, nullptr); }

backup::Outcome RebuildPackageFile(char* backupPath) {
  backup::Outcome outcome;
  PatchPackageFile(backupPath, &outcome);
  return outcome;
}

}  // namespace package
