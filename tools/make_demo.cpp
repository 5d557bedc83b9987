// hanhua-make-demo OUTDIR: writes a synthetic game install for the compiled-in
// Target file list into OUTDIR (OUTDIR/CookedPC, OUTDIR/Movies, OUTDIR/chs.txt),
// to try hanhua on without a game.
//
// hanhua-make-demo --count-translated ORIGINAL_PKGDIR PATCHED_PKGDIR: after
// `hanhua eng2chs`, counts the dialogue strings that were translated, by
// comparing every package with its shipped form, and checks the count
// against what the demo's chs.txt can translate.
#include <cstdio>
#include <cstring>

#include "tests/support/demo_game.h"
#include "tests/support/dialogue_count.h"

namespace {

int CountTranslated(const char* program, const char* originalDir, const char* patchedDir) {
  fixtures::DialogueCount count;
  if (!fixtures::CountTranslatedDialogue(originalDir, patchedDir, &count)) {
    std::fprintf(stderr, "%s: a listed package is missing from %s or %s\n", program, originalDir, patchedDir);
    return 1;
  }
  const fixtures::DemoDialogueStats expected = fixtures::DemoDialogueTotals();
  std::printf("Dialogue: %d of %d DialogueText strings translated, in %d dialogue event exports of %d packages"
              " (%d exports rewritten and relocated)\n",
              count.translated, count.strings, count.exports, count.packages, count.relocated);
  if (count.problems != 0 || count.translated != expected.translatable || count.strings != expected.strings) {
    std::fprintf(stderr,
                 "%s: expected %d of %d strings translated (chs.txt knows those), found %d of %d; %d packages"
                 " or arrays could not be compared\n",
                 program, expected.translatable, expected.strings, count.translated, count.strings, count.problems);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* program = argc > 0 ? argv[0] : "hanhua-make-demo";
  if (argc == 4 && std::strcmp(argv[1], "--count-translated") == 0) {
    return CountTranslated(program, argv[2], argv[3]);
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTDIR\n       %s --count-translated ORIGINAL_PKGDIR PATCHED_PKGDIR\n",
                 program, program);
    return 2;
  }
  fixtures::DemoGameSummary summary;
  if (!fixtures::WriteDemoGame(argv[1], &summary)) {
    std::fprintf(stderr, "%s: cannot write the demo game into %s\n", program, argv[1]);
    return 1;
  }
  std::printf("Demo game in %s: %d packages in %s/, %d movies in %s/, %s; %llu bytes\n", argv[1],
              summary.packages, fixtures::kDemoPackageDir, summary.movies, fixtures::kDemoMovieDir,
              fixtures::kDemoDictionary, static_cast<unsigned long long>(summary.totalBytes));
  std::printf("  %d dialogue event exports hold %d DialogueText strings; chs.txt translates %d of them\n",
              summary.dialogue.exports, summary.dialogue.strings, summary.dialogue.translatable);
  return 0;
}
