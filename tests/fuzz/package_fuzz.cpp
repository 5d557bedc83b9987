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
#include "tools/fixtures/files.h"

namespace {

const char kDictionary[] =
    "\r\nqzrtn_res_No.00000000\r\nqzrtn_res_ENG_Start\r\nHello\r\nqzrtn_res_ENG_End\r\n"
    "qzrtn_res_CHI_Start\r\n\xE4\xBD\xA0\xE5\xA5\xBD\r\nqzrtn_res_CHI_End\r\n"
    "qzrtn_res_Remark00_Start\r\n\r\nqzrtn_res_Remark00_End\r\n"
    "\r\nqzrtn_res_No.00000001\r\nqzrtn_res_ENG_Start\r\nYes\r\nqzrtn_res_ENG_End\r\n"
    "qzrtn_res_CHI_Start\r\nlonger translation text\r\nqzrtn_res_CHI_End\r\n"
    "qzrtn_res_Remark00_Start\r\n\r\nqzrtn_res_Remark00_End\r\n";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  platform::ConsoleSetUtf8(false);
  fuzz::WriteScratchFile("chs.txt", reinterpret_cast<const uint8_t*>(kDictionary),
                         sizeof kDictionary - 1);
  // The patcher reads chs.txt from the current directory.
  if (!fuzz::EnterScratchDir(argc, argv)) return 1;
  // The patcher prints its failures; the fuzzer's own output is what counts.
  if (freopen("/dev/null", "w", stdout) == nullptr) return 1;
  return 0;
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
