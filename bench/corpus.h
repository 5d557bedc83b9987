// A synthetic, game-sized install for the compiled-in Target file list, for
// the end-to-end benchmark (never linked into hanhua).
//
//   ROOT/CookedPC/NAME.upk  every listed package, compressed as shipped
//   ROOT/Movies/NAME.usm    the four listed movies
//   ROOT/chs.txt            a sorted dictionary that translates most lines
//
// At scale 1 the packages hold about 1 GB uncompressed: most below 1 MB,
// some tens of a few MB, a few of 50 to 100 MB, zlib and LZO alternating,
// 128 KiB blocks in 1 MiB chunks. Their content is a mix of text, packed
// vertex records, texture-like blocks and sparse tables that compresses
// about 2 to 4 times. About 20,000 dialogue event exports hold about
// 40,000 DialogueText strings; the movies are 20 to 50 MB with about 300
// subtitle lines each (in two languages); chs.txt holds about 30,000
// entries. Sizes and counts shrink with the scale; everything is made from
// fixed seeds, so a scale gives the same bytes on every run.
//
// The dialogue density multiplies the dialogue event exports per megabyte
// and the distinct dialogue lines (so chs.txt grows with them; 90% of the
// lines stay translated) while the package sizes stay as they are: at 3 a
// corpus as dialogue-heavy as the densest parts of the game.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/demo_game.h"
#include "tests/support/files.h"
#include "tests/support/package_builder.h"

namespace bench {

// What one listed package is made of.
struct PackagePlan {
  uint64_t bytes = 0;       // uncompressed size aimed at (0: the empty list entry)
  int dialogueExports = 0;  // dialogue event exports in it
};

// The plan of every listed package, index as in the Target file list.
std::vector<PackagePlan> PlanPackages(double scale, double density = 1);

// The number of distinct dialogue lines that the packages draw from.
uint32_t DialogueLineCount(double scale, double density = 1);
// Dialogue line id: its English text, whether chs.txt translates it, and
// its translation.
std::string DialogueLine(uint32_t id);
bool IsTranslated(uint32_t id);
std::string Translation(uint32_t id);

struct DialogueStats {
  int exports = 0;
  int strings = 0;
  int translatable = 0;  // strings whose text chs.txt translates
};

// The objects of listed package index, uncompressed, following its plan.
fixtures::PackageContents PackageContents(int index, const PackagePlan& plan, double scale,
                                          DialogueStats* dialogue, double density = 1);
// How listed package index is packed.
fixtures::CompressOptions PackageCompression(int index);
// The shipped bytes of listed package index; uncompressedSize receives the
// size of the package that hanhua rebuilds. False when the builder refuses.
bool ShippedPackage(int index, const PackagePlan& plan, double scale, fixtures::Bytes* shipped,
                    uint64_t* uncompressedSize, DialogueStats* dialogue, double density = 1);

struct MovieStats {
  uint64_t bytes = 0;
  int lines = 0;         // English subtitle lines (each also in a second language)
  int translatable = 0;  // lines that chs.txt translates
};
// The shipped bytes of listed movie k (0 to 3).
fixtures::Bytes Movie(int k, double scale, MovieStats* stats);

// Every entry of chs.txt (unsorted): the translated dialogue lines, the
// translated subtitle lines and some lines the game does not use.
std::vector<fixtures::DemoTranslation> DictionaryEntries(double scale, double density = 1);

struct CorpusStats {
  int packages = 0;
  int zlibPackages = 0;
  uint64_t uncompressedBytes = 0;  // of the packages
  uint64_t compressedBytes = 0;
  uint64_t largestPackage = 0;     // uncompressed
  int packagesBelow1MB = 0;
  DialogueStats dialogue;
  int movies = 0;
  MovieStats subtitles;            // summed over the movies
  int dictionaryEntries = 0;
  uint64_t dictionaryBytes = 0;
};

// Writes the whole install under root with the given number of threads.
// False when a file cannot be made.
bool WriteCorpus(const std::string& root, double scale, int threads, CorpusStats* stats,
                 double density = 1);

}  // namespace bench
