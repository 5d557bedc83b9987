// hanhua-floor: the least work that rebuilding every listed file takes, on
// one thread. Every listed package is read whole with one read (as the
// backup is), every block decompressed once (zlib uncompress, LZO
// lzo1x_decompress_safe) into a chunk buffer reused throughout, and each
// chunk appended with one write, as the rebuild does; the movies are copied
// with one read and one write each. Nothing is read back, parsed or
// translated.
//
// Usage: hanhua-floor PACKAGEDIR MOVIEDIR OUTDIR
// Prints "seconds S uncompressed_mb M largest_bytes L files N".
#include <lzo/lzo1x.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "bench/unpack.h"
#include "driver/target_files.h"
#include "platform/platform.h"

namespace {

struct Totals {
  uint64_t outputBytes = 0;
  uint64_t largestPackage = 0;
  int files = 0;
};

// Reads path whole into buffer; the size, or -1.
int64_t ReadWhole(const std::string& path, bench::GrowBuffer* buffer) {
  platform::File file = platform::OpenRead(path.c_str());
  if (file == platform::kNoFile) return -1;
  uint32_t size = platform::FileSize(file);
  int64_t read = -1;
  if (size != platform::kSizeError && buffer->Reserve(size_t(size) + 4)) {
    read = platform::Read(file, buffer->data(), size);
  }
  platform::Close(file);
  return read == int64_t(size) ? read : -1;
}

bool WriteWhole(const std::string& path, const uint8_t* data, uint64_t size) {
  platform::File file = platform::OpenWrite(path.c_str(), platform::kCreateAlways);
  if (file == platform::kNoFile) return false;
  bool written = platform::Write(file, data, uint32_t(size)) == int64_t(size);
  platform::Close(file);
  return written;
}

bool Fail(const char* what, const std::string& path) {
  std::fprintf(stderr, "hanhua-floor: %s %s\n", what, path.c_str());
  return false;
}

// Writes the uncompressed form of the package backup (size bytes) to path.
bool WritePackage(const std::string& path, const uint8_t* backup, uint64_t size,
                  bench::GrowBuffer* chunk, Totals* totals) {
  platform::File file = platform::OpenWrite(path.c_str(), platform::kCreateAlways);
  if (file == platform::kNoFile) return Fail("cannot create", path);
  int64_t unpacked = bench::UnpackPackage(backup, size, chunk, [file](const uint8_t* data, uint64_t length) {
    return platform::Write(file, data, uint32_t(length)) == int64_t(length);
  });
  platform::Close(file);
  if (unpacked < 0) return Fail("cannot decompress or write", path);
  totals->outputBytes += uint64_t(unpacked);
  totals->largestPackage = std::max(totals->largestPackage, uint64_t(unpacked));
  ++totals->files;
  return true;
}

bool RebuildPackages(const std::string& packageDir, const std::string& outDir, Totals* totals) {
  bench::GrowBuffer backup, chunk;
  for (int i = 0; i < driver::kPackageCount; ++i) {
    const char* name = driver::kTargetFiles[i];
    if (name[0] == '\0') continue;
    int64_t size = ReadWhole(packageDir + "/" + name, &backup);
    if (size < 0) return Fail("cannot read", packageDir + "/" + name);
    if (!WritePackage(outDir + "/" + name, backup.data(), uint64_t(size), &chunk, totals)) return false;
  }
  return true;
}

bool CopyMovies(const std::string& movieDir, const std::string& outDir, Totals* totals) {
  bench::GrowBuffer movie;
  for (int k = 0; k < driver::kMovieCount; ++k) {
    const char* name = driver::kTargetFiles[driver::kPackageCount + k];
    int64_t size = ReadWhole(movieDir + "/" + name, &movie);
    if (size < 0) return Fail("cannot read", movieDir + "/" + name);
    if (!WriteWhole(outDir + "/" + name, movie.data(), uint64_t(size))) {
      return Fail("cannot write", outDir + "/" + name);
    }
    totals->outputBytes += uint64_t(size);
    ++totals->files;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: hanhua-floor PACKAGEDIR MOVIEDIR OUTDIR\n");
    return 2;
  }
  if (lzo_init() != LZO_E_OK) {
    Fail("LZO self-check failed", "");
    return 1;
  }
  auto start = std::chrono::steady_clock::now();
  Totals totals;
  if (!CopyMovies(argv[2], argv[3], &totals) || !RebuildPackages(argv[1], argv[3], &totals)) return 1;
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("seconds %.3f uncompressed_mb %.1f largest_bytes %llu files %d\n", seconds,
              double(totals.outputBytes) / 1e6, static_cast<unsigned long long>(totals.largestPackage),
              totals.files);
  return 0;
}
