// Building, editing and saving dictionaries, and the segmented translation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "dictionary/brx_string_dict.h"
#include "dictionary/dict_clock.h"
#include "dictionary/dict_test_util.h"
#include "tests/support/files.h"

namespace {

using dict_test::FileText;
using dict_test::Holds;
using dict_test::Texts;
using fixtures::TempDir;

std::string Contents(const std::string& path) {
  fixtures::Bytes bytes = fixtures::ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// A fixed clock for the saves below: 2015-12-31 20:30:05 UTC.
void NewYearsEve(platform::SystemTime* utc) {
  *utc = platform::SystemTime{2015, 12, 4, 31, 20, 30, 5, 0};
}

class FixedClock {
 public:
  FixedClock() { dict_clock::SetClock(NewYearsEve); }
  ~FixedClock() { dict_clock::SetClock(nullptr); }
};

const char kSavedHeader[] = "Brindlecot BRXStringDict::SaveToTXTFileA Ver.0.19 2016-01-01 04:30:05\r\n\r\n\r\n";

TEST(DictClock, EightHoursAheadOfUtcDateIncluded) {
  struct Case {
    platform::SystemTime utc;
    uint16_t year, month, day, hour, dayOfWeek;
  };
  const Case cases[] = {
      {{2015, 12, 4, 31, 20, 30, 0, 0}, 2016, 1, 1, 4, 5},
      {{2016, 2, 0, 28, 16, 0, 0, 0}, 2016, 2, 29, 0, 1},  // leap day
      {{2015, 2, 6, 28, 16, 0, 0, 0}, 2015, 3, 1, 0, 0},   // no leap day
      {{2000, 2, 2, 29, 23, 59, 59, 0}, 2000, 3, 1, 7, 3},
      {{2024, 6, 6, 15, 15, 59, 0, 0}, 2024, 6, 15, 23, 6},  // same day
  };
  for (const Case& c : cases) {
    platform::SystemTime local = dict_clock::ToUtcPlus8(c.utc);
    EXPECT_EQ(local.year, c.year);
    EXPECT_EQ(local.month, c.month);
    EXPECT_EQ(local.day, c.day);
    EXPECT_EQ(local.hour, c.hour);
    EXPECT_EQ(local.minute, c.utc.minute);
    EXPECT_EQ(local.second, c.utc.second);
    EXPECT_EQ(local.dayOfWeek, c.dayOfWeek) << c.year << "-" << c.month << "-" << c.day;
  }
  char header[128];
  platform::SystemTime utc;
  NewYearsEve(&utc);
  EXPECT_EQ(dict_clock::FormatHeader(dict_clock::ToUtcPlus8(utc), header, sizeof header),
            strlen(kSavedHeader));
  EXPECT_STREQ(header, kSavedHeader);
}

TEST(DictSave, TheWrittenFileByteForByte) {
  FixedClock clock;
  TempDir dir;
  std::string path = dir.File("out.txt");
  BRXStringDict dict;
  ASSERT_NE(dict.AddEntry("Hello", "\xE4\xBD\xA0\xE5\xA5\xBD", "greeting"), nullptr);
  ASSERT_NE(dict.AddEntry("Bye", "", ""), nullptr);
  std::string expected = std::string(kSavedHeader) +
                         "\r\nqzrtn_res_No.00000000\r\nqzrtn_res_ENG_Start\r\nBye\r\nqzrtn_res_ENG_End\r\n"
                         "qzrtn_res_CHI_Start\r\n\r\nqzrtn_res_CHI_End\r\n"
                         "qzrtn_res_Remark00_Start\r\n\r\nqzrtn_res_Remark00_End\r\n"
                         "\r\nqzrtn_res_No.00000001\r\nqzrtn_res_ENG_Start\r\nHello\r\nqzrtn_res_ENG_End\r\n"
                         "qzrtn_res_CHI_Start\r\n\xE4\xBD\xA0\xE5\xA5\xBD\r\nqzrtn_res_CHI_End\r\n"
                         "qzrtn_res_Remark00_Start\r\ngreeting\r\nqzrtn_res_Remark00_End\r\n"
                         "\r\n\r\n\r\nqzrtn_res_All_End\r\n";
  EXPECT_EQ(dict.SaveToTXTFileA(path.c_str()), int64_t(expected.size()));
  EXPECT_EQ(Contents(path), expected);

  BRXStringDict empty;
  EXPECT_EQ(empty.SaveToTXTFileA(path.c_str()), int64_t(strlen(kSavedHeader) + 25));
  EXPECT_EQ(Contents(path), std::string(kSavedHeader) + "\r\n\r\n\r\nqzrtn_res_All_End\r\n");
  EXPECT_EQ(empty.SaveToTXTFileA(nullptr), 0);
}

TEST(DictSave, RoundTripsThroughTheLoader) {
  const std::vector<std::vector<Texts>> dictionaries = {
      {{"A", "a", "r"}},
      {{"Apple", "Pomme", ""}, {"Hello", "", "remark"}, {"World", "Monde", "x"}},
      {{"Two\r\nlines", "Deux\r\nlignes\r\n", "\r\n"}, {"\xE4\xBD\xA0", "\xC4\xE3", "gbk"}},
  };
  TempDir dir;
  std::string path = dir.File("round.txt");
  for (const auto& texts : dictionaries) {
    BRXStringDict built;
    for (const Texts& t : texts) ASSERT_NE(built.AddEntry(t.source.c_str(), t.target.c_str(), t.remark.c_str()), nullptr);
    ASSERT_GT(built.SaveToTXTFileA(path.c_str()), 0);
    BRXStringDict loaded;
    ASSERT_EQ(loaded.LoadFromTXTFileA(path.c_str()), texts.size());
    for (uint32_t i = 0; i < texts.size(); ++i) {
      const BRXStringEntry* e = loaded.FindEntry(texts[i].source.c_str());
      EXPECT_TRUE(Holds(e, texts[i])) << texts[i].source;
      EXPECT_EQ(loaded.FindIndex(texts[i].source.c_str()), built.FindIndex(texts[i].source.c_str()));
    }
  }
}

TEST(DictSave, SavingAgainReplacesTheFile) {
  TempDir dir;
  std::string path = dir.File("chs.txt");
  ASSERT_TRUE(fixtures::WriteFileText(path, "old contents that must go\r\n" + FileText({{"Zed", "z", ""}})));
  BRXStringDict dict;
  dict.AddEntry("b", "2", "");
  dict.AddEntry("a", "1", "");
  int64_t first = dict.SaveToTXTFileA(path.c_str());
  ASSERT_GT(first, 0);
  EXPECT_EQ(dict.SaveToTXTFileA(path.c_str()), first);
  EXPECT_EQ(int64_t(Contents(path).size()), first) << "one dictionary, not two";
  BRXStringDict loaded;
  EXPECT_EQ(loaded.LoadFromTXTFileA(path.c_str()), 2u);
  EXPECT_STREQ(loaded.FindEntry("a")->target, "1");
  EXPECT_STREQ(loaded.FindEntry("b")->target, "2");
  EXPECT_EQ(loaded.FindEntry("Zed"), nullptr);
}

TEST(DictSave, AHiddenReadOnlyFileIsWrittenAndAnUnwritablePathFails) {
  TempDir dir;
  std::string path = dir.File("hidden.txt");
  ASSERT_TRUE(fixtures::WriteFileText(path, "x"));
  // Where the filesystem keeps no attributes the reset is simply skipped.
  platform::SetAttributes(path.c_str(), platform::kAttrHidden | platform::kAttrReadOnly);
  BRXStringDict dict;
  dict.AddEntry("k", "v", "");
  EXPECT_GT(dict.SaveToTXTFileA(path.c_str()), 0);
  EXPECT_EQ(platform::GetAttributes(path.c_str()), platform::kAttrNormal);

  std::string missingDir = dir.File("no/such/dir/x.txt");
  EXPECT_EQ(dict.SaveToTXTFileA(missingDir.c_str()), -3) << "each of the three writes fails";
  EXPECT_EQ(BRXStringDict::WriteFileBlock(missingDir.c_str(), "x", 0, 0, platform::kOpenAlways), -1);
  EXPECT_EQ(BRXStringDict::WriteFileBlock(path.c_str(), nullptr, 0, 1, platform::kOpenAlways), -1);
}

TEST(DictWriteFileBlock, OffsetsDispositionsAndLengths) {
  TempDir dir;
  std::string path = dir.File("w");
  EXPECT_EQ(BRXStringDict::WriteFileBlock(path.c_str(), "abc", 0, 0, platform::kOpenExisting), -1);
  EXPECT_EQ(BRXStringDict::WriteFileBlock(path.c_str(), "abcdef", 0, 0, platform::kOpenAlways), 6);
  EXPECT_EQ(BRXStringDict::WriteFileBlock(path.c_str(), "XY", 2, 0, platform::kOpenExisting), 2);
  EXPECT_EQ(BRXStringDict::WriteFileBlock(path.c_str(), "tail", BRXStringDict::kEndOfFile, 2,
                                          platform::kOpenAlways),
            2);
  EXPECT_EQ(Contents(path), "abXYefta");
  EXPECT_EQ(BRXStringDict::WriteFileBlock(path.c_str(), "new", 0, 0, platform::kCreateAlways), 3);
  EXPECT_EQ(Contents(path), "new");
  EXPECT_EQ(BRXStringDict::WriteFileBlock(path.c_str(), "x", 0, 0, platform::kCreateNew), -1);
}

// --- editing --------------------------------------------------------------------

// The sources in array order, read from the binary form, whose records keep
// that order (lookups would hide order faults).
std::vector<std::string> Sources(const BRXStringDict& dict) {
  std::vector<std::string> out;
  TempDir dir;
  std::string path = dir.File("order.bin");
  if (dict.SaveToBINFileA(path.c_str()) < 0) return out;
  fixtures::Bytes file = fixtures::ReadFileBytes(path);
  uint32_t n = bytes::LoadU32LE(file.data() + 4);
  size_t block = 8 + 24 * size_t(n);
  for (uint32_t i = 0; i < n; ++i) {
    const uint8_t* r = file.data() + 8 + 24 * i;
    uint32_t offset = bytes::LoadU32LE(r);
    uint32_t length = bytes::LoadU32LE(r + 12);
    out.emplace_back(reinterpret_cast<const char*>(file.data() + block + offset), length);
  }
  return out;
}

TEST(DictAddEntry, KeepsSourceOrderAndTheFirstOfDuplicates) {
  BRXStringDict dict;
  dict.AddEntry("b", "B", "");
  dict.AddEntry("a", "A", "");
  dict.AddEntry("c", "C", "");
  EXPECT_EQ(Sources(dict), (std::vector<std::string>{"a", "b", "c"}));

  const BRXStringEntry* hello = dict.AddEntry("  Hello ", nullptr, nullptr);
  ASSERT_NE(hello, nullptr);
  EXPECT_TRUE(Holds(hello, {"Hello", "  Hello ", "  Hello "})) << "absent texts copy the source as passed";
  const BRXStringEntry* again = dict.AddEntry("Hello", "x", "y");
  EXPECT_EQ(again, dict.FindEntry("Hello"));
  EXPECT_TRUE(Holds(again, {"Hello", "  Hello ", "  Hello "})) << "the present entry is kept";
  EXPECT_EQ(dict.GetCount(), 4u);
  EXPECT_EQ(dict.AddEntry(nullptr, "x", "y"), nullptr);
  EXPECT_EQ(dict.GetCount(), 4u);
}

TEST(DictAddEntry, GrowthKeepsEveryTextReachable) {
  // Enough additions to move the store (1 MiB steps) and the entry array
  // (10,000-record steps) several times, after a file load so that the first
  // move leaves the loaded file's block. Keys ascend (appends are cheap)
  // except a tenth of them, which land in the middle.
  BRXStringDict dict;
  ASSERT_EQ(dict.LoadFromTXTBuffer(FileText({{"loaded", "from file", "r"}}).c_str()), 1u);
  const std::string filler(200, 'f');
  const int kCount = 25000;
  auto keyOf = [](int i) {
    char key[32];
    snprintf(key, sizeof key, "key%06d", i);
    return std::string(key);
  };
  // Every key ending in 9 is added last, in descending order.
  std::vector<int> order;
  for (int i = 0; i < kCount; ++i)
    if (i % 10 != 9) order.push_back(i);
  for (int i = kCount - 1; i >= 0; --i)
    if (i % 10 == 9) order.push_back(i);
  for (int i : order) {
    std::string key = keyOf(i);
    ASSERT_NE(dict.AddEntry(key.c_str(), (key + filler).c_str(), key.c_str()), nullptr) << i;
  }
  EXPECT_EQ(dict.GetCount(), uint32_t(kCount + 1));
  EXPECT_GT(dict.GetTextSize(), uint32_t(kCount) * 200);
  EXPECT_TRUE(Holds(dict.FindEntry("loaded"), {"loaded", "from file", "r"}));
  for (int i = 0; i < kCount; i += 97) {
    std::string key = keyOf(i);
    EXPECT_TRUE(Holds(dict.FindEntry(key.c_str()), {key, key + filler, key})) << key;
  }
  std::vector<std::string> sources = Sources(dict);
  EXPECT_TRUE(std::is_sorted(sources.begin(), sources.end()));
}

TEST(DictAddEntry, TextsFromTheDictionaryItselfSurviveAStoreMove) {
  BRXStringDict dict;
  ASSERT_EQ(dict.LoadFromTXTBuffer(FileText({{"Apple", "Pomme", "fruit"}}).c_str()), 1u);
  const BRXStringEntry* apple = dict.FindEntry("Apple");
  // The store is exactly full after a load: this addition moves it while
  // the texts passed still point into the old one.
  const BRXStringEntry* copy = dict.AddEntry("Apple2", apple->target, apple->remark);
  EXPECT_TRUE(Holds(copy, {"Apple2", "Pomme", "fruit"}));
  EXPECT_TRUE(Holds(dict.FindEntry("Apple"), {"Apple", "Pomme", "fruit"}));

  BRXStringDict other;
  ASSERT_EQ(other.LoadFromTXTBuffer(FileText({{"Apple", "Pomme", "fruit"}}).c_str()), 1u);
  EXPECT_EQ(other.SetRemarkText(0, other.FindEntry("Apple")->target), 1);
  EXPECT_TRUE(Holds(other.FindEntry("Apple"), {"Apple", "Pomme", "Pomme"}));
}

TEST(DictInsertBlankEntry, Positions) {
  BRXStringDict dict;
  EXPECT_EQ(dict.InsertBlankEntry(5), 1u) << "on an empty dictionary";
  EXPECT_TRUE(Holds(dict.FindEntry(""), {"", "", ""}));

  BRXStringDict two;
  two.AddEntry("a", "1", "");
  two.AddEntry("b", "2", "");
  EXPECT_EQ(two.InsertBlankEntry(0), 3u);
  EXPECT_EQ(Sources(two), (std::vector<std::string>{"", "a", "b"}));
  EXPECT_NE(two.FindEntry("a"), nullptr) << "a blank first entry keeps the order";
  EXPECT_EQ(two.InsertBlankEntry(99), 4u);
  EXPECT_EQ(Sources(two), (std::vector<std::string>{"", "a", "b", ""}));
  EXPECT_EQ(two.InsertBlankEntry(2), 5u);
  EXPECT_EQ(Sources(two), (std::vector<std::string>{"", "a", "", "b", ""}));
}

TEST(DictSetters, ShorterInPlaceLongerStoredAnew) {
  BRXStringDict dict;
  dict.AddEntry("a", "target", "remark");
  dict.AddEntry("b", "second", "");
  const BRXStringEntry* a = dict.FindEntry("a");
  char* before = a->target;
  uint32_t sizeBefore = dict.GetTextSize();

  EXPECT_EQ(dict.SetTargetText(0, "tgt"), 1);
  EXPECT_EQ(a->target, before) << "shorter: in place";
  EXPECT_TRUE(Holds(a, {"a", "tgt", "remark"}));
  EXPECT_EQ(dict.GetTextSize(), sizeBefore);

  EXPECT_EQ(dict.SetTargetText(0, "abc"), 1);
  EXPECT_NE(a->target, before) << "equal length: stored anew";
  EXPECT_EQ(dict.GetTextSize(), sizeBefore + 3 + 4);
  EXPECT_TRUE(Holds(a, {"a", "abc", "remark"}));

  EXPECT_EQ(dict.SetRemarkText(0, nullptr), 1);
  EXPECT_TRUE(Holds(a, {"a", "abc", ""}));
  EXPECT_EQ(dict.SetSourceText(99, "c"), 1) << "beyond the last: the last entry";
  EXPECT_TRUE(Holds(dict.FindEntry("c"), {"c", "second", ""}));
  EXPECT_EQ(dict.SetSourceText(1, "0 sorts first"), 1);
  EXPECT_EQ(dict.FindEntry("0 sorts first"), nullptr) << "entries are not re-sorted";

  BRXStringDict empty;
  EXPECT_EQ(empty.SetSourceText(0, "x"), 1);
  EXPECT_EQ(empty.GetCount(), 0u);
  EXPECT_EQ(empty.GetTextSize(), 0u);
}

// --- segmented translation ---------------------------------------------------------

struct Step {
  const char* piece;
  int result;
  const char* output;  // written text when result > 0
};

void Pieces(BRXStringDict* dict, const char* label, const std::vector<Step>& steps,
         uint32_t size = 64) {
  SCOPED_TRACE(label);
  for (size_t i = 0; i < steps.size(); ++i) {
    char out[64];
    strcpy(out, "untouched");
    EXPECT_EQ(dict->TranslateSegment(steps[i].piece, out, size), steps[i].result)
        << "step " << i << " [" << steps[i].piece << "]";
    if (steps[i].result > 0) {
      EXPECT_STREQ(out, steps[i].output) << "step " << i;
    }
  }
}

TEST(DictTranslateSegment, PiecesOfASource) {
  BRXStringDict dict;
  dict.AddEntry("AB CD", "W1W2", "");
  dict.AddEntry("Hello", "Bonjour", "");
  dict.AddEntry("one two three", "uno dos tres!", "");

  Pieces(&dict, "two pieces", {{"AB", 1, "W1"}, {"CD", 2, "W2"}});
  Pieces(&dict, "pieces are trimmed", {{" AB ", 1, "W1"}, {"  CD", 2, "W2"}});
  Pieces(&dict, "a whole source is for FindEntry", {{"Hello", 0, ""}});
  Pieces(&dict, "begins no source", {{"Help", 0, ""}, {"xyz", 0, ""}});
  Pieces(&dict, "a piece that does not continue ends it",
      {{"AB", 1, "W1"}, {"XX", 0, ""}, {"CD", 0, ""}});
  Pieces(&dict, "three pieces", {{"one", 1, "uno"}, {"two", 1, " do"}, {"three", 2, "s tres!"}});
  Pieces(&dict, "idle again after the last part",
      {{"AB", 1, "W1"}, {"CD", 2, "W2"}, {"CD", 0, ""}, {"AB", 1, "W1"}, {"CD", 2, "W2"}});
}

TEST(DictTranslateSegment, DoubleByteCharactersAreNeverSplit) {
  BRXStringDict dict;
  // Targets in GBK: two double-byte characters, then ASCII.
  dict.AddEntry("ab cdef", "\xC4\xE3\xBA\xC3ok", "");
  dict.AddEntry("a b", "x\xC4\xE3y", "");
  dict.AddEntry("abc d", "\x81\x30zz", "");  // 0x30 is no trail byte
  Pieces(&dict, "character at the start", {{"ab", 1, "\xC4\xE3"}, {"cdef", 2, "\xBA\xC3ok"}});
  Pieces(&dict, "character after the stretch", {{"a", 1, "x"}, {"b", 2, "\xC4\xE3y"}});
  Pieces(&dict, "lead byte without a trail byte", {{"abc", 1, "\x81\x30z"}, {"d", 2, "z"}});
  // The piece's n-th byte is the lead byte of a character: n + 1 bytes.
  dict.AddEntry("xy z", "a\xC4\xE3" "b", "");
  Pieces(&dict, "straddling", {{"xy", 1, "a\xC4\xE3"}, {"z", 2, "b"}});
}

TEST(DictTranslateSegment, AnOutputTooSmallEndsTheTranslation) {
  BRXStringDict dict;
  dict.AddEntry("AB CD", "W1W2", "");
  Pieces(&dict, "W1 and its zero need 3 bytes", {{"AB", 0, ""}}, 2);
  Pieces(&dict, "nothing under way any more", {{"CD", 0, ""}}, 64);
  Pieces(&dict, "just fits", {{"AB", 1, "W1"}}, 3);
  Pieces(&dict, "last part too big", {{"CD", 0, ""}}, 2);
  Pieces(&dict, "ended, then anew", {{"CD", 0, ""}, {"AB", 1, "W1"}, {"CD", 2, "W2"}}, 3);

  char out[8];
  EXPECT_EQ(dict.TranslateSegment(nullptr, out, 8), 0);
  EXPECT_EQ(dict.TranslateSegment("AB", nullptr, 8), 0);
  EXPECT_EQ(dict.TranslateSegment("AB", out, 0), 0);
}

TEST(DictTranslateSegment, EditsAndLoadsEndATranslationUnderWay) {
  BRXStringDict dict;
  dict.AddEntry("AB CD", "W1W2", "");
  Pieces(&dict, "start", {{"AB", 1, "W1"}});
  // An addition that moves the store ends the translation under way.
  std::string big(2 << 20, 'x');
  ASSERT_NE(dict.AddEntry(big.c_str(), "big", ""), nullptr);
  Pieces(&dict, "after the store moved", {{"CD", 0, ""}, {"AB", 1, "W1"}});
  ASSERT_EQ(dict.LoadFromTXTBuffer(FileText({{"AB CD", "V1V2", ""}}).c_str()), 1u);
  Pieces(&dict, "after a load", {{"CD", 0, ""}, {"AB", 1, "V1"}, {"CD", 2, "V2"}});
}

TEST(DictTranslateSegment, SpacesAtTheEndOfAStoredSourceAreLeftInPlace) {
  BRXStringDict dict;
  ASSERT_EQ(dict.LoadFromTXTBuffer(FileText({{"AB CD  ", "W1W2", ""}}).c_str()), 1u);
  Pieces(&dict, "spaces after the source", {{"AB", 1, "W1"}, {"CD", 2, "W2"}});
  TempDir dir;
  std::string path = dir.File("after.txt");
  ASSERT_GT(dict.SaveToTXTFileA(path.c_str()), 0);
  std::string saved = Contents(path);
  EXPECT_NE(saved.find("ENG_Start\r\nAB CD  \r\n"), std::string::npos) << "the source is unchanged";
}

}  // namespace
