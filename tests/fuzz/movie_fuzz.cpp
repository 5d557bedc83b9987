// Fuzz target: the movie patcher on one backup file. The scratch directory
// holds a chs.txt that knows a few short texts, so that subtitle chunks get
// replaced. Besides the sanitizers it checks that the patcher never leaves
// the movie missing and never changes the backup.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
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

// The patcher reads chs.txt from the current directory, so the target runs
// in the scratch directory. libFuzzer reads its arguments after this
// function returns; corpus directories and the artifact prefix are made
// absolute first, so that they still name the caller's directories.
void MakePathArgumentsAbsolute(int* argc, char*** argv) {
  static std::vector<std::string> rewritten;
  rewritten.reserve(static_cast<size_t>(*argc));
  const std::string cwd = std::filesystem::current_path().string() + "/";
  const std::string artifactFlag = "-artifact_prefix=";
  for (int i = 1; i < *argc; ++i) {
    std::string arg = (*argv)[i];
    if (arg.rfind(artifactFlag, 0) == 0 && arg.size() > artifactFlag.size() && arg[artifactFlag.size()] != '/')
      arg = artifactFlag + cwd + arg.substr(artifactFlag.size());
    else if (!arg.empty() && arg[0] != '-' && arg[0] != '/')
      arg = cwd + arg;
    else
      continue;
    rewritten.push_back(arg);
    (*argv)[i] = rewritten.back().data();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  platform::ConsoleSetUtf8(false);
  MakePathArgumentsAbsolute(argc, argv);
  fuzz::WriteScratchFile("chs.txt", reinterpret_cast<const uint8_t*>(kDictionary),
                         sizeof kDictionary - 1);
  if (chdir(fuzz::ScratchDir().c_str()) != 0) return 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The search on a heap copy of exactly the input's size, where the
  // sanitizer sees every byte read beyond it.
  std::vector<uint8_t> copy(data, data + size);
  for (const uint8_t* at = copy.data(); size > 0;) {
    uint32_t left = static_cast<uint32_t>(copy.data() + copy.size() - at);
    const uint8_t* chunk = FindSubtitleChunk(at, left);
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
