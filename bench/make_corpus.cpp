// hanhua-make-corpus: writes a synthetic, game-sized install for the
// benchmark. Usage: hanhua-make-corpus DIR [--scale S] [--dialogue-density D]
// [--threads N]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "bench/corpus.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: hanhua-make-corpus DIR [--scale S] [--dialogue-density D] [--threads N]\n"
               "  writes DIR/CookedPC, DIR/Movies and DIR/chs.txt; scale 1 is about 1 GB of\n"
               "  uncompressed packages (default 1; 0.05 for a quick run); density D times the\n"
               "  dialogue exports per megabyte and dialogue lines (default 1, up to 10)\n");
  return 2;
}

double MB(uint64_t bytes) { return double(bytes) / 1e6; }

void Print(const bench::CorpusStats& s) {
  std::printf("packages            %d (%d zlib, %d LZO), %d below 1 MB\n", s.packages, s.zlibPackages,
              s.packages - s.zlibPackages, s.packagesBelow1MB);
  std::printf("package bytes       %.1f MB uncompressed, %.1f MB compressed (ratio %.2f)\n",
              MB(s.uncompressedBytes), MB(s.compressedBytes),
              s.compressedBytes ? double(s.uncompressedBytes) / double(s.compressedBytes) : 0.0);
  std::printf("largest package     %.1f MB uncompressed\n", MB(s.largestPackage));
  std::printf("dialogue            %d event exports, %d strings, %d of them in chs.txt\n",
              s.dialogue.exports, s.dialogue.strings, s.dialogue.translatable);
  std::printf("movies              %d, %.1f MB, %d subtitle lines (x2 languages), %d in chs.txt\n",
              s.movies, MB(s.subtitles.bytes), s.subtitles.lines, s.subtitles.translatable);
  std::printf("chs.txt             %d entries, %.1f MB\n", s.dictionaryEntries, MB(s.dictionaryBytes));
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir;
  double scale = 1.0;
  double density = 1.0;
  int threads = int(std::thread::hardware_concurrency());
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--scale") == 0 && i + 1 < argc) {
      scale = std::atof(argv[++i]);
    } else if (std::strcmp(argv[i], "--dialogue-density") == 0 && i + 1 < argc) {
      density = std::atof(argv[++i]);
    } else if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc) {
      threads = std::atoi(argv[++i]);
    } else if (argv[i][0] != '-' && dir.empty()) {
      dir = argv[i];
    } else {
      return Usage();
    }
  }
  if (dir.empty() || !(scale > 0 && scale <= 4) || !(density > 0 && density <= 10)) return Usage();
  bench::CorpusStats stats;
  if (!bench::WriteCorpus(dir, scale, threads, &stats, density)) {
    std::fprintf(stderr, "hanhua-make-corpus: cannot write the install in %s\n", dir.c_str());
    return 1;
  }
  std::printf("corpus in %s at scale %g, dialogue density %g\n", dir.c_str(), scale, density);
  Print(stats);
  return 0;
}
