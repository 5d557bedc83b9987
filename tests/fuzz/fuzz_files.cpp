#include "tests/fuzz/fuzz_files.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "platform/platform.h"

namespace fuzz {

const std::string& ScratchDir() {
  // Never destroyed, so the exit handler below can still read it.
  static const std::string* dir = new std::string([] {
    // Memory-backed when the system has it: every input becomes a file, and
    // a disk-backed directory would make the fuzzer wait on the disk.
    std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                     ? std::filesystem::path("/dev/shm")
                                     : std::filesystem::temp_directory_path();
    std::string pattern = (base / "hanhua-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) abort();
    // libFuzzer may end the process without running exit handlers, so a
    // directory can stay behind; scripts/fuzz removes those.
    atexit([] {
      std::error_code error;
      std::filesystem::remove_all(ScratchDir(), error);
    });
    return pattern;
  }());
  return *dir;
}

std::string WriteScratchFile(const std::string& name, const uint8_t* data, size_t size) {
  std::string path = ScratchDir() + "/" + name;
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) abort();
  if (size != 0 && fwrite(data, 1, size, f) != size) abort();
  fclose(f);
  return path;
}

bool EnterScratchDir(int* argc, char*** argv) {
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
    rewritten.push_back(arg);  // reserved above: earlier strings never move
    (*argv)[i] = rewritten.back().data();
  }
  return chdir(ScratchDir().c_str()) == 0;
}

bool PrepareDictionaryTarget(const std::string& dictionaryText, bool quiet, int* argc, char*** argv) {
  platform::ConsoleSetUtf8(false);
  WriteScratchFile("chs.txt", reinterpret_cast<const uint8_t*>(dictionaryText.data()), dictionaryText.size());
  if (!EnterScratchDir(argc, argv)) return false;
  return !quiet || freopen("/dev/null", "w", stdout) != nullptr;
}

const char kPackageDictionary[] =
    "\r\nqzrtn_res_No.00000000\r\nqzrtn_res_ENG_Start\r\nHello\r\nqzrtn_res_ENG_End\r\n"
    "qzrtn_res_CHI_Start\r\n\xE4\xBD\xA0\xE5\xA5\xBD\r\nqzrtn_res_CHI_End\r\n"
    "qzrtn_res_Remark00_Start\r\n\r\nqzrtn_res_Remark00_End\r\n"
    "\r\nqzrtn_res_No.00000001\r\nqzrtn_res_ENG_Start\r\nYes\r\nqzrtn_res_ENG_End\r\n"
    "qzrtn_res_CHI_Start\r\nlonger translation text\r\nqzrtn_res_CHI_End\r\n"
    "qzrtn_res_Remark00_Start\r\n\r\nqzrtn_res_Remark00_End\r\n";

}  // namespace fuzz
