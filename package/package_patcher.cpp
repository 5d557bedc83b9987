#include "package/package_patcher.h"

#include <cstring>
#include <new>
#include <string>

#include "common/backup.h"
#include "common/messages.h"
#include "dictionary/dict_cache.h"
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
int RebuildShippedFile(PackageFiles& files) {
  platform::DeletePath(files.outputPath);
  files.output = platform::CreateNew(files.outputPath);
  if (files.output == platform::kNoFile) return kPatchNotOpened;

  PackageImage image;
  int code = WriteUncompressedPackage(files.backup, files.output, files.outputPath, &image);
  if (code != 0) return code;
  return TranslateDialogueExports(image, files);
}

}  // namespace

int PatchPackageFile(char* backupPath, backup::Outcome* outcome) {
  backup::Outcome ignored;
  if (outcome == nullptr) outcome = &ignored;
  *outcome = backup::Outcome::kMissing;
  if (backupPath == nullptr) return kPatchNotOpened;
  PackageFiles files;
  files.backup = platform::OpenRead(backupPath);
  if (files.backup == platform::kNoFile) return kPatchNotOpened;

  size_t length = std::strlen(backupPath);
  if (length <= backup::kSuffixLength ||
      std::memcmp(backupPath + length - backup::kSuffixLength, backup::kSuffix, backup::kSuffixLength) != 0) {
    platform::Close(files.backup);
    return kPatchNoBakSuffix;
  }
  backupPath[length - backup::kSuffixLength] = '\0';
  files.outputPath = backupPath;

  int code;
  {
    // Every export of this package sees one version of the dictionary.
    SharedDictionaryVersion version;
    code = RebuildShippedFile(files);
  }
  platform::Close(files.output);
  platform::Close(files.backup);
  *outcome = code == kPatchOk ? backup::Outcome::kPatched : PutBackFromBackup(files.outputPath);
  return code;
}

int PatchPackageFile(char* backupPath) { return PatchPackageFile(backupPath, nullptr); }

backup::Outcome RebuildPackageFile(char* backupPath) {
  backup::Outcome outcome;
  PatchPackageFile(backupPath, &outcome);
  return outcome;
}

}  // namespace package
