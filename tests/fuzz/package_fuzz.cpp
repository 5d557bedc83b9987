// Fuzz target: the whole package patcher on one backup file (decompression,
// tables, Object paths, dialogue rewriting, relocation). The scratch
// directory holds a small chs.txt so that dialogue exports get translated.
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "package/package_patcher.h"
#include "platform/platform.h"
#include "tests/fuzz/fuzz_files.h"

namespace {

const char kDictionary[] =
    "\r\nqzrtn_res_No.00000000\r\nqzrtn_res_ENG_Start\r\nHello\r\nqzrtn_res_ENG_End\r\n"
    "qzrtn_res_CHI_Start\r\n\xE4\xBD\xA0\xE5\xA5\xBD\r\nqzrtn_res_CHI_End\r\n"
    "qzrtn_res_Remark00_Start\r\n\r\nqzrtn_res_Remark00_End\r\n"
    "\r\nqzrtn_res_No.00000001\r\nqzrtn_res_ENG_Start\r\nYes\r\nqzrtn_res_ENG_End\r\n"
    "qzrtn_res_CHI_Start\r\nlonger translation text\r\nqzrtn_res_CHI_End\r\n"
    "qzrtn_res_Remark00_Start\r\n\r\nqzrtn_res_Remark00_End\r\n";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  platform::ConsoleSetUtf8(false);
  fuzz::WriteScratchFile("chs.txt", reinterpret_cast<const uint8_t*>(kDictionary),
                         sizeof kDictionary - 1);
  if (chdir(fuzz::ScratchDir().c_str()) != 0) return 1;
  // The patcher prints its failures; the fuzzer's own output is what counts.
  if (freopen("/dev/null", "w", stdout) == nullptr) return 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string backup = fuzz::WriteScratchFile("p.upk.bak", data, size);
  std::vector<char> path(backup.begin(), backup.end());
  path.push_back('\0');
  package::PatchPackageFile(path.data());
  return 0;
}
