#include "package/package_patcher.h"

#include <cstring>
#include <memory>
#include <new>

#include "common/messages.h"
#include "package/package_decompress.h"
#include "package/package_image.h"
#include "package/package_tables.h"
#include "platform/platform.h"

namespace package {

namespace {

constexpr char kBackupSuffix[] = ".bak";
constexpr size_t kBackupSuffixLength = sizeof kBackupSuffix - 1;

bool HasBackupSuffix(const char* path, size_t length) {
  return length >= kBackupSuffixLength &&
         std::memcmp(path + length - kBackupSuffixLength, kBackupSuffix, kBackupSuffixLength) == 0;
}

// Replaces the shipped file with a copy of its backup and clears the
// hidden and system attributes that the copy takes over from the backup.
void RestoreFromBackup(const char* outputPath) {
  size_t length = std::strlen(outputPath);
  std::unique_ptr<char[]> backupPath(new (std::nothrow) char[length + kBackupSuffixLength + 1]);
  bool restored = false;
  if (backupPath) {
    std::memcpy(backupPath.get(), outputPath, length);
    std::memcpy(backupPath.get() + length, kBackupSuffix, kBackupSuffixLength + 1);
    restored = platform::CopyReplace(backupPath.get(), outputPath);
  }
  // Where the file system keeps no attributes the copy has none to clear.
  if (!restored || (!platform::SetAttributes(outputPath, platform::kAttrNormal) &&
                    platform::GetAttributes(outputPath) != platform::kAttrNormal)) {
    platform::ConsolePrintf(messages::kMsgRestoreError, outputPath);
  }
}

// From the deletion of the shipped file to the end of the table stage.
int RebuildShippedFile(PackageFiles& files) {
  platform::DeletePath(files.outputPath);
  files.output = platform::CreateReadWrite(files.outputPath);
  if (files.output == platform::kNoFile) return kPatchNotOpened;

  PackageImage image;
  int code = WriteUncompressedPackage(files.backup, files.output, files.outputPath, &image);
  if (code != 0) return code;
  return TranslateDialogueExports(image, files);
}

}  // namespace

int PatchPackageFile(char* backupPath) {
  if (backupPath == nullptr) return kPatchNotOpened;
  PackageFiles files;
  files.backup = platform::OpenRead(backupPath);
  if (files.backup == platform::kNoFile) return kPatchNotOpened;

  size_t length = std::strlen(backupPath);
  if (!HasBackupSuffix(backupPath, length)) {
    platform::Close(files.backup);
    return kPatchNoBakSuffix;
  }
  backupPath[length - kBackupSuffixLength] = '\0';
  files.outputPath = backupPath;

  int code = RebuildShippedFile(files);
  platform::Close(files.output);
  platform::Close(files.backup);
  if (code != kPatchOk) RestoreFromBackup(files.outputPath);
  return code;
}

}  // namespace package
