// The benchmark corpus is what the benchmark claims it measures: the
// planned sizes and counts, packages that hanhua rebuilds and translates as
// the generator says, movies and a dictionary that match.
#include "bench/corpus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "dictionary/dict_test_util.h"
#include "driver/target_files.h"
#include "package/package_patcher.h"
#include "platform/platform.h"
#include "tests/support/capture_stdout.h"
#include "tests/support/dialogue_count.h"
#include "tests/support/movie_builder.h"

namespace {

using fixtures::Bytes;

constexpr int kEmptyEntry = 709;  // the Target file list's empty entry

struct PlanTotals {
  double bytes = 0;
  int below1MB = 0;
  int from50To100MB = 0;
  int listed = 0;
  int dialogueExports = 0;
};

PlanTotals Sum(const std::vector<bench::PackagePlan>& plans) {
  PlanTotals t;
  for (const bench::PackagePlan& p : plans) {
    if (p.bytes == 0) continue;
    ++t.listed;
    t.bytes += double(p.bytes);
    if (p.bytes < 1000000) ++t.below1MB;
    if (p.bytes >= 50000000 && p.bytes <= 100000000) ++t.from50To100MB;
    t.dialogueExports += p.dialogueExports;
  }
  return t;
}

TEST(CorpusPlan, GameScaleSizesAndCounts) {
  const std::vector<bench::PackagePlan> plans = bench::PlanPackages(1.0);
  ASSERT_EQ(plans.size(), size_t(driver::kPackageCount));
  PlanTotals t = Sum(plans);
  EXPECT_EQ(t.listed, driver::kPackageCount - 1);
  EXPECT_NEAR(t.bytes, 1e9, 0.02e9);
  EXPECT_GE(t.below1MB, t.listed * 85 / 100);
  EXPECT_GE(t.from50To100MB, 3);
  EXPECT_LE(t.from50To100MB, 8);
  EXPECT_EQ(t.dialogueExports, 20000);
  EXPECT_EQ(plans[kEmptyEntry].bytes, 0u);
  EXPECT_EQ(plans[kEmptyEntry].dialogueExports, 0);
  for (int i = 4; i < driver::kPackageCount; i += 5) EXPECT_EQ(plans[i].dialogueExports, 0) << i;
}

TEST(CorpusPlan, ShrinksWithTheScale) {
  PlanTotals full = Sum(bench::PlanPackages(1.0));
  PlanTotals small = Sum(bench::PlanPackages(0.05));
  EXPECT_NEAR(small.bytes, full.bytes * 0.05, full.bytes * 0.002);
  EXPECT_EQ(small.dialogueExports, 1000);
  EXPECT_EQ(small.listed, full.listed);
}

// Listed packages of several kinds at a small scale: zlib and LZO, with and
// without dialogue, a UTF-16 DialogueText name (index 7), an exported event
// class (index 1), a large one of several chunks (index 420).
const int kSampleIndexes[] = {0, 1, 4, 7, 101, 420, 1697};
constexpr double kSmallScale = 0.02;

TEST(CorpusPackage, SameBytesEveryTimeAndRebuildsToItsSize) {
  const std::vector<bench::PackagePlan> plans = bench::PlanPackages(kSmallScale);
  for (int index : kSampleIndexes) {
    SCOPED_TRACE(index);
    Bytes first, second, output;
    uint64_t size = 0, sizeAgain = 0;
    bench::DialogueStats stats, statsAgain;
    ASSERT_TRUE(bench::ShippedPackage(index, plans[index], kSmallScale, &first, &size, &stats));
    ASSERT_TRUE(bench::ShippedPackage(index, plans[index], kSmallScale, &second, &sizeAgain, &statsAgain));
    EXPECT_EQ(first, second);
    EXPECT_EQ(stats.strings, statsAgain.strings);

    ASSERT_TRUE(fixtures::ExpectedPatchOutput(first, &output));
    EXPECT_EQ(output.size(), size);
    EXPECT_NEAR(double(size), double(plans[index].bytes), 0.1 * double(plans[index].bytes) + 4096);
    EXPECT_EQ(stats.exports, plans[index].dialogueExports);
    EXPECT_GE(stats.strings, stats.exports);
    EXPECT_LE(stats.strings, 3 * stats.exports);

    fixtures::SummaryFieldOffsets summary;
    ASSERT_TRUE(fixtures::LocateSummaryFields(first, &summary));
    EXPECT_EQ(fixtures::GetU32(first, summary.compressionFlags),
              index % 2 == 0 ? fixtures::kCompressionZlib : fixtures::kCompressionLzo);
  }
}

TEST(CorpusPackage, CompressesLikeGameData) {
  const std::vector<bench::PackagePlan> plans = bench::PlanPackages(0.1);
  for (int index : {101, 420}) {  // LZO and zlib, several MB each
    Bytes shipped;
    uint64_t size = 0;
    bench::DialogueStats stats;
    ASSERT_TRUE(bench::ShippedPackage(index, plans[index], 0.1, &shipped, &size, &stats));
    double ratio = double(size) / double(shipped.size());
    EXPECT_GT(ratio, 1.8) << index;
    EXPECT_LT(ratio, 4.5) << index;
  }
}

// hanhua's package patcher, given the corpus chs.txt, translates exactly the
// strings that the generator counts as translatable.
TEST(CorpusPackage, PatcherTranslatesTheCountedStrings) {
  fixtures::TempDir dir;
  dict_test::InDirectory cwd{dir.path()};
  ASSERT_TRUE(cwd.ok());
  ASSERT_TRUE(fixtures::WriteFileText(dir.File("chs.txt"),
                                      fixtures::DictionaryText(bench::DictionaryEntries(kSmallScale))));
  const std::vector<bench::PackagePlan> plans = bench::PlanPackages(kSmallScale);
  fixtures::DialogueCount count;
  bench::DialogueStats expected;
  for (int index : kSampleIndexes) {
    Bytes shipped;
    uint64_t size = 0;
    bench::DialogueStats stats;
    ASSERT_TRUE(bench::ShippedPackage(index, plans[index], kSmallScale, &shipped, &size, &stats));
    ASSERT_TRUE(fixtures::WriteFileBytes(dir.File("p.upk.bak"), shipped));
    std::string backup = dir.File("p.upk.bak");
    platform::ConsoleSetUtf8(false);
    fixtures::CaptureStdout capture;
    EXPECT_EQ(package::PatchPackageFile(backup.data()), 0) << index;
    EXPECT_EQ(capture.Finish(), "");
    fixtures::CountPackageDialogue(shipped, fixtures::ReadFileBytes(dir.File("p.upk")), &count);
    expected.exports += stats.exports;
    expected.strings += stats.strings;
    expected.translatable += stats.translatable;
  }
  EXPECT_GT(expected.exports, 0);
  EXPECT_EQ(count.problems, 0);
  EXPECT_EQ(count.exports, expected.exports);
  EXPECT_EQ(count.strings, expected.strings);
  EXPECT_EQ(count.translated, expected.translatable);
  EXPECT_GT(count.translated, count.strings * 8 / 10);
}

TEST(CorpusDictionary, AboutThirtyThousandDistinctEntries) {
  const std::vector<fixtures::DemoTranslation> entries = bench::DictionaryEntries(1.0);
  EXPECT_GE(entries.size(), 28000u);
  EXPECT_LE(entries.size(), 32000u);
  std::set<std::string> sources;
  for (const fixtures::DemoTranslation& e : entries) {
    EXPECT_FALSE(e.target.empty());
    EXPECT_NE(e.source.front(), ' ');
    EXPECT_NE(e.source.back(), ' ');
    sources.insert(e.source);
  }
  EXPECT_EQ(sources.size(), entries.size());
  // Most dialogue lines have an entry, the others none.
  const uint32_t lines = bench::DialogueLineCount(1.0);
  int translated = 0;
  for (uint32_t id = 0; id < lines; ++id) {
    bool listed = sources.count(bench::DialogueLine(id)) != 0;
    EXPECT_EQ(listed, bench::IsTranslated(id)) << id;
    translated += listed;
  }
  EXPECT_GT(translated, int(lines) * 8 / 10);
}

TEST(CorpusMovie, SizedSubtitledAndTranslatable) {
  const double scale = 0.05;
  std::set<std::string> sources;
  for (const fixtures::DemoTranslation& e : bench::DictionaryEntries(scale)) sources.insert(e.source);
  const double plannedMB[4] = {34, 48, 22, 41};
  for (int k = 0; k < 4; ++k) {
    SCOPED_TRACE(k);
    bench::MovieStats stats;
    Bytes movie = bench::Movie(k, scale, &stats);
    EXPECT_EQ(stats.bytes, movie.size());
    EXPECT_NEAR(double(movie.size()), plannedMB[k] * 1e6 * scale, 70000.0);
    EXPECT_EQ(stats.lines, 15);
    std::vector<fixtures::Subtitle> subtitles = fixtures::ReadSubtitles(movie);
    ASSERT_EQ(subtitles.size(), size_t(2 * stats.lines));
    int known = 0;
    for (size_t s = 0; s < subtitles.size(); ++s) {
      EXPECT_EQ(subtitles[s].language, s % 2);
      if (subtitles[s].language == 0) known += int(sources.count(subtitles[s].text));
    }
    EXPECT_EQ(known, stats.translatable);
    EXPECT_GT(known, stats.lines / 2);
  }
}

}  // namespace
