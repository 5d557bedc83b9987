// Fuzz target: the whole package patcher on one backup file (decompression,
// tables, Object paths, dialogue rewriting, relocation). The scratch
// directory holds a small chs.txt so that dialogue exports get translated.
// Besides the sanitizers it checks that the backup is never changed and that
// a package that fails is left byte-identical to its backup.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "package/package_patcher.h"
#include "platform/platform.h"
#include "tests/fuzz/fuzz_files.h"
#include "tests/support/files.h"

// The patcher reads chs.txt from the current directory and prints its
// failures.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  return fuzz::PrepareDictionaryTarget(fuzz::kPackageDictionary, true, argc, argv) ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string backup = fuzz::WriteScratchFile("p.upk.bak", data, size);
  std::string shipped = fuzz::ScratchDir() + "/p.upk";
  std::vector<char> path(backup.begin(), backup.end());
  path.push_back('\0');
  int code = package::PatchPackageFile(path.data());

  // The backup is only read, and a package that fails is put back as it
  // was shipped: the game never sees a broken file.
  const fixtures::Bytes input(data, data + size);
  fixtures::Bytes after;
  if (!fixtures::ReadFileBytes(backup, &after) || after != input) abort();
  if (!fixtures::ReadFileBytes(shipped, &after)) abort();
  if (code != 0 && after != input) abort();
  return 0;
}
