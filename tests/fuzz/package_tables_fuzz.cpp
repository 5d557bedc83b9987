// Fuzz target: the table stage of the package patcher on an uncompressed
// package (names, imports, exports, Object paths, dialogue rewriting and
// relocation), without the decompression in front of it. The input's first
// 24 bytes are the six summary fields (name count and offset, export count
// and offset, import count and offset); the rest is the package image, also
// written to the output file that relocations append to. The scratch
// directory holds a small chs.txt so that dialogue exports get translated.
#include <unistd.h>

#include <cstring>
#include <string>

#include "common/bytes.h"
#include "package/package_tables.h"
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

constexpr size_t kFields = 24;

// The fuzzer's own directory; the patcher runs in the scratch directory,
// where "chs.txt" lies, and libFuzzer's relative corpus paths need this one.
std::string g_home;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  platform::ConsoleSetUtf8(false);
  fuzz::WriteScratchFile("chs.txt", reinterpret_cast<const uint8_t*>(kDictionary),
                         sizeof kDictionary - 1);
  char home[4096];
  if (getcwd(home, sizeof home) == nullptr) return 1;
  g_home = home;
  if (freopen("/dev/null", "w", stdout) == nullptr) return 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kFields || size - kFields > (64u << 20)) return 0;
  package::PackageImage image;
  image.size = uint32_t(size - kFields);
  image.data = package::AllocateImageBytes(uint64_t(image.size) + 4);
  std::memcpy(image.data.get(), data + kFields, image.size);
  image.nameCount = bytes::LoadU32LE(data + 0);
  image.nameOffset = bytes::LoadU32LE(data + 4);
  image.exportCount = bytes::LoadU32LE(data + 8);
  image.exportOffset = bytes::LoadU32LE(data + 12);
  image.importCount = bytes::LoadU32LE(data + 16);
  image.importOffset = bytes::LoadU32LE(data + 20);

  std::string path = fuzz::WriteScratchFile("out.upk", image.data.get(), image.size);
  package::PackageFiles files;
  files.output = platform::OpenWrite(path.c_str(), platform::kOpenExisting);
  files.outputPath = path.c_str();
  if (chdir(fuzz::ScratchDir().c_str()) == 0) {
    package::Report(package::TranslateDialogueExports(image, files), files.outputPath);
    if (chdir(g_home.c_str()) != 0) __builtin_trap();
  }
  platform::Close(files.output);
  return 0;
}
