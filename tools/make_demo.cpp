// hanhua-make-demo OUTDIR: writes a synthetic game install for the compiled-in
// Target file list into OUTDIR (OUTDIR/CookedPC, OUTDIR/Movies, OUTDIR/chs.txt),
// to try hanhua on without a game.
#include <cstdio>

#include "tools/fixtures/demo_game.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTDIR\n", argc > 0 ? argv[0] : "hanhua-make-demo");
    return 2;
  }
  fixtures::DemoGameSummary summary;
  if (!fixtures::WriteDemoGame(argv[1], &summary)) {
    std::fprintf(stderr, "%s: cannot write the demo game into %s\n", argv[0], argv[1]);
    return 1;
  }
  std::printf("Demo game in %s: %d packages in %s/, %d movies in %s/, %s; %llu bytes\n", argv[1],
              summary.packages, fixtures::kDemoPackageDir, summary.movies, fixtures::kDemoMovieDir,
              fixtures::kDemoDictionary, static_cast<unsigned long long>(summary.totalBytes));
  return 0;
}
