// Fuzzy matching: the threshold holds exactly at its edge, the closest of
// several candidates wins, and the bounded distance agrees with the plain
// one wherever it claims to know it.
#include "tools/dict/fuzzy_match.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "tools/dict/dict_build.h"
#include "tools/dict/entry_state.h"
#include "tools/dict/fuzzy_merge.h"

namespace dict_tool {
namespace {

uint32_t PlainDistance(const std::u32string& a, const std::u32string& b) {
  std::vector<uint32_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = uint32_t(j);
  for (size_t i = 1; i <= a.size(); ++i) {
    uint32_t diagonal = row[0];
    row[0] = uint32_t(i);
    for (size_t j = 1; j <= b.size(); ++j) {
      const uint32_t up = row[j];
      row[j] = std::min({up + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0u : 1u)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

TEST(FuzzyMatch, BoundedDistanceAgreesWithThePlainOne) {
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::u32string a, b;
    const int n = int(random() % 12), m = int(random() % 12);
    for (int i = 0; i < n; ++i) a += char32_t('a' + random() % 3);
    for (int i = 0; i < m; ++i) b += char32_t('a' + random() % 3);
    const uint32_t limit = random() % 8, plain = PlainDistance(a, b);
    EXPECT_EQ(BoundedEditDistance(a, b, limit), std::min(plain, limit + 1)) << round;
  }
}

TEST(FuzzyMatch, TheThresholdHoldsAtItsEdge) {
  // 100 Chinese characters (3 bytes each): similarity counts code points.
  std::string hundred;
  for (int i = 0; i < 100; ++i) hundred += "\xE4\xB8\x80";
  auto changed = [&](int n) {
    std::string t = hundred;
    for (int i = 0; i < n; ++i) t.replace(size_t(i) * 3, 3, "\xE4\xBA\x8C");
    return t;
  };
  EXPECT_EQ(Similarity(hundred, changed(25)), 75);
  EXPECT_EQ(Similarity(hundred, changed(26)), 74);
  const FuzzyIndex index({changed(26), changed(25)});
  EXPECT_EQ(index.Best(hundred).index, 1);
  const FuzzyIndex tooFar({changed(26)});
  EXPECT_EQ(tooFar.Best(hundred).index, -1);
  // Short texts, where trigrams sort nothing out.
  EXPECT_EQ(FuzzyIndex({"abcd", "abxy"}).Best("abce").index, 0);
  EXPECT_EQ(FuzzyIndex({"abxy"}).Best("abce").index, -1);
}

TEST(FuzzyMatch, TheClosestOfSeveralCandidatesWinsAndTiesGoToTheFirst) {
  const FuzzyIndex index({"We ride at noon.", "We ride at dusk!", "We ride at dawn.", "We ride at dawn?"});
  const FuzzyIndex::Match best = index.Best("We ride at dawn!");
  EXPECT_EQ(best.index, 2);
  EXPECT_EQ(best.similarity, 93);
}

TEST(FuzzyMerge, ASuggestionIsKeptInTheRemarkAndNeverInstalled) {
  const std::vector<Entry> old = {{"We ride at dawn.", "\xE9\xBB\x8E\xE6\x98\x8E", "", 0},
                                  {"Untranslated old text!", "Untranslated old text!", "", 0}};
  std::vector<Entry> entries = {{"We ride at dawn!", "We ride at dawn!", "Pkg1.upk A'B'", 0},
                                {"Untranslated old text?", "Untranslated old text?", "", 0},
                                {"We ride at dawn.", "\xE9\xBB\x8E\xE6\x98\x8E", "", 0}};
  const std::vector<Suggestion> made = SuggestTranslations(old, {false, false, true}, &entries);
  ASSERT_EQ(made.size(), 1u);
  EXPECT_EQ(made[0].entry, 0u);
  EXPECT_EQ(entries[0].target, entries[0].source);
  EXPECT_EQ(StateOf(entries[0].source, entries[0].target, entries[0].remark), EntryState::kFuzzy);
  EXPECT_EQ(entries[0].remark, "Pkg1.upk A'B'\n[fuzzy 93%] \"\xE9\xBB\x8E\xE6\x98\x8E\"\n[fuzzy source] \"We ride at dawn.\"");
  EXPECT_EQ(entries[1].remark, "");  // an untranslated old entry suggests nothing
}

}  // namespace
}  // namespace dict_tool
