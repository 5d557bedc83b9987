// Fuzz target: the movie patcher on one backup file. The scratch directory
// holds a chs.txt that knows a few short texts, so that subtitle chunks get
// replaced. Besides the sanitizers it checks that the patcher never leaves
// the movie missing and never changes the backup.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "movie/movie_patcher.h"
#include "platform/platform.h"
#include "tests/fuzz/fuzz_files.h"
#include "tools/fixtures/files.h"

namespace {

const char kDictionary[] =
    "\r\nqzrtn_res_No.00000000\r\nqzrtn_res_ENG_Start\r\n\r\nqzrtn_res_ENG_End\r\n"
    "qzrtn_res_CHI_Start\r\nempty\r\nqzrtn_res_CHI_End\r\n"
    "qzrtn_res_Remark00_Start\r\n\r\nqzrtn_res_Remark00_End\r\n"
    "\r\nqzrtn_res_No.00000001\r\nqzrtn_res_ENG_Start\r\nA\r\nqzrtn_res_ENG_End\r\n"
    "qzrtn_res_CHI_Start\r\n\xE4\xBD\xA0\xE5\xA5\xBD\r\nqzrtn_res_CHI_End\r\n"
    "qzrtn_res_Remark00_Start\r\n\r\nqzrtn_res_Remark00_End\r\n"
    "\r\nqzrtn_res_No.00000002\r\nqzrtn_res_ENG_Start\r\nHi\r\nqzrtn_res_ENG_End\r\n"
    "qzrtn_res_CHI_Start\r\na translation longer than the line it replaces\r\nqzrtn_res_CHI_End\r\n"
    "qzrtn_res_Remark00_Start\r\n\r\nqzrtn_res_Remark00_End\r\n";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  platform::ConsoleSetUtf8(false);
  fuzz::WriteScratchFile("chs.txt", reinterpret_cast<const uint8_t*>(kDictionary),
                         sizeof kDictionary - 1);
  // The patcher reads chs.txt from the current directory.
  return fuzz::EnterScratchDir(argc, argv) ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The search on a heap copy of exactly the input's size, where the
  // sanitizer sees every byte read beyond it.
  std::vector<uint8_t> copy(data, data + size);
  for (const uint8_t* at = copy.data(); size > 0;) {
    uint32_t left = static_cast<uint32_t>(copy.data() + copy.size() - at);
    const uint8_t* chunk = movie::FindSubtitleChunk(at, left);
    if (chunk == nullptr) break;
    at = chunk + 16;
  }

  std::string backup = fuzz::WriteScratchFile("m.usm.bak", data, size);
  std::string shipped = fuzz::ScratchDir() + "/m.usm";
  std::vector<char> path(backup.begin(), backup.end());
  path.push_back('\0');
  PatchMovieFile(path.data());

  fixtures::Bytes after;
  if (!fixtures::ReadFileBytes(backup, &after) || after != copy) abort();  // backup changed
  if (!fixtures::FileExists(shipped)) abort();                             // movie missing
  return 0;
}
