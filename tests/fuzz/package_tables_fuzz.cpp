// Fuzz target: the table stage of the package patcher on an uncompressed
// package (names, imports, exports, Object paths, dialogue rewriting and
// relocation), without the decompression in front of it. The input's first
// 24 bytes are the six summary fields (name count and offset, export count
// and offset, import count and offset); the rest is the package image, also
// written to the output file that relocations append to. The scratch
// directory holds a small chs.txt so that dialogue exports get translated.
#include <cstring>
#include <string>

#include "common/bytes.h"
#include "package/package_tables.h"
#include "platform/platform.h"
#include "tests/fuzz/fuzz_files.h"

namespace {

constexpr size_t kFields = 24;

}  // namespace

// The dialogue rewriter reads chs.txt from the current directory; the table
// readers print their failures.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  return fuzz::PrepareDictionaryTarget(fuzz::kPackageDictionary, true, argc, argv) ? 0 : 1;
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
  package::Report(package::TranslateDialogueExports(image, files), files.outputPath);
  platform::Close(files.output);
  return 0;
}
