// Loading the dictionary text format from files and from memory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/messages.h"
#include "dictionary/brx_string_dict.h"
#include "dictionary/dict_test_util.h"
#include "dictionary/load_report.h"
#include "tests/support/files.h"

namespace dictionary {
namespace {

using dict_test::EntryText;
using dict_test::FileText;
using dict_test::Holds;
using dict_test::InDirectory;
using dict_test::Texts;
using fixtures::TempDir;

const std::vector<Texts> kThree = {
    {"Apple", "Pomme", "fruit"},
    {"Hello", "\xE4\xBD\xA0\xE5\xA5\xBD", "greeting"},
    {"World", "Monde", ""},
};

std::string Without(std::string text, const std::string& piece, size_t from = 0) {
  size_t at = text.find(piece, from);
  if (at != std::string::npos) text.erase(at, piece.size());
  return text;
}

TEST(DictTextLoad, WhatTheFormatAllows) {
  const std::string entry0 = EntryText({"A", "a", "r"}, 0);
  struct Case {
    const char* name;
    std::string text;
    std::vector<Texts> expected;
  };
  const Case cases[] = {
      {"as written", FileText(kThree), kThree},
      {"multi-line texts",
       FileText({{"A\r\nB", "x\r\n\r\ny", "line1\r\nline2"}}),
       {{"A\r\nB", "x\r\n\r\ny", "line1\r\nline2"}}},
      {"empty sections, with and without their line break",
       std::string("\r\nqzrtn_res_No.0\r\nqzrtn_res_ENG_Start\r\nqzrtn_res_ENG_End\r\n") +
           "qzrtn_res_CHI_Start\r\n\r\nqzrtn_res_CHI_End\r\n" +
           "qzrtn_res_Remark00_Start\r\nXqzrtn_res_Remark00_End\r\n",
       {{"", "", ""}}},
      {"final end marker without its line break",
       "\r\nqzrtn_res_No.\r\nqzrtn_res_ENG_Start\r\nS\r\nqzrtn_res_ENG_End\r\n"
       "qzrtn_res_CHI_Start\r\nT\r\nqzrtn_res_CHI_End\r\n"
       "qzrtn_res_Remark00_Start\r\nR\r\nqzrtn_res_Remark00_End",
       {{"S", "T", "R"}}},
      {"entry numbers wrong, repeated or missing",
       EntryText({"A", "1", ""}, 7) + EntryText({"B", "2", ""}, 7) +
           Without(EntryText({"C", "3", ""}, 0), "00000000"),
       {{"A", "1", ""}, {"B", "2", ""}, {"C", "3", ""}}},
      {"no header, no file end marker", EntryText({"A", "a", "r"}, 0), {{"A", "a", "r"}}},
      {"the two bytes before an end marker are dropped whatever they are",
       "\r\nqzrtn_res_No.\r\nqzrtn_res_ENG_Start\r\nABxyqzrtn_res_ENG_End\r\n"
       "qzrtn_res_CHI_Start\r\nC\n\nqzrtn_res_CHI_End\r\n"
       "qzrtn_res_Remark00_Start\r\n\r\n\r\nqzrtn_res_Remark00_End\r\n",
       {{"AB", "C", "\r\n"}}},
      {"an entry marker inside a text is skipped",
       FileText({{"A", "x\r\nqzrtn_res_No.y", "r"}, {"B", "b", ""}}),
       {{"A", "x\r\nqzrtn_res_No.y", "r"}, {"B", "b", ""}}},
      {"entry marker on the first line is lost",
       entry0.substr(2) + EntryText({"B", "b", ""}, 1),
       {{"B", "b", ""}}},
  };
  for (const Case& c : cases) {
    BRXStringDict dict;
    EXPECT_EQ(dict.LoadFromTXTBuffer(c.text.c_str()), c.expected.size()) << c.name;
    ASSERT_EQ(dict.GetCount(), c.expected.size()) << c.name;
    EXPECT_EQ(dict.GetTextSize(), c.text.size()) << c.name;
    EXPECT_STREQ(dict.GetLoadFailureMessage(), "") << c.name;
    for (size_t i = 0; i < c.expected.size(); ++i) {
      const BRXStringEntry* e = dict.FindEntry(c.expected[i].source.c_str());
      EXPECT_TRUE(Holds(e, c.expected[i])) << c.name << ", entry " << i;
    }
  }
}

TEST(DictTextLoad, TextsWithoutEntriesFail) {
  const char* texts[] = {
      "Header\r\n\r\n\r\n\r\n\r\n\r\nqzrtn_res_All_End\r\n",
      "qzrtn_res_No.00000000\r\nqzrtn_res_ENG_Start\r\nA\r\nqzrtn_res_ENG_End\r\n",
      "x",
  };
  for (const char* text : texts) {
    BRXStringDict dict;
    ASSERT_EQ(dict.LoadFromTXTBuffer(FileText(kThree).c_str()), 3u);
    EXPECT_EQ(dict.LoadFromTXTBuffer(text), 0u) << text;
    EXPECT_EQ(dict.GetCount(), 0u) << "a failed parse leaves the dictionary empty";
    EXPECT_EQ(dict.FindEntry("Apple"), nullptr);
    EXPECT_STREQ(dict.GetLoadFailureMessage(), "");
  }
}

TEST(DictTextLoad, EachMissingMarkerNamesItsSectionAndEntry) {
  struct Case {
    const char* marker;
    const char* message;
  };
  const Case cases[] = {
      {"qzrtn_res_ENG_Start\r\n", messages::kMsgDictNoEngStart},
      {"qzrtn_res_ENG_End\r\n", messages::kMsgDictNoEngEnd},
      {"qzrtn_res_CHI_Start\r\n", messages::kMsgDictNoChiStart},
      {"qzrtn_res_CHI_End\r\n", messages::kMsgDictNoChiEnd},
      {"qzrtn_res_Remark00_Start\r\n", messages::kMsgDictNoRemarkStart},
      {"qzrtn_res_Remark00_End\r\n", messages::kMsgDictNoRemarkEnd},
  };
  std::string whole = FileText(kThree);
  size_t lastEntry = whole.find("qzrtn_res_No.00000002");
  for (const Case& c : cases) {
    BRXStringDict dict;
    ASSERT_EQ(dict.LoadFromTXTBuffer(whole.c_str()), 3u);
    std::string broken = Without(whole, c.marker, lastEntry);
    EXPECT_EQ(dict.LoadFromTXTBuffer(broken.c_str()), 0u) << c.marker;
    EXPECT_EQ(dict.GetCount(), 0u);
    EXPECT_EQ(dict.FindEntry("Apple"), nullptr);
    char expected[128];
    snprintf(expected, sizeof expected, c.message, 2);
    EXPECT_STREQ(dict.GetLoadFailureMessage(), expected) << c.marker;
    // The place names the entry and the start of its entry marker.
    uint32_t entry = 99, offset = 0;
    ASSERT_TRUE(dict.GetLoadFailurePlace(&entry, &offset)) << c.marker;
    EXPECT_EQ(entry, 2u);
    EXPECT_EQ(offset, lastEntry - 2) << c.marker;  // the line break before "qzrtn_res_No."
  }
  // In a file of one entry the message names entry 0.
  BRXStringDict dict;
  std::string one = EntryText({"A", "a", ""}, 0);
  EXPECT_EQ(dict.LoadFromTXTBuffer(Without(one, "qzrtn_res_ENG_End\r\n").c_str()), 0u);
  char expected[128];
  snprintf(expected, sizeof expected, messages::kMsgDictNoEngEnd, 0);
  EXPECT_STREQ(dict.GetLoadFailureMessage(), expected);
  // A later successful load clears the message and the place.
  EXPECT_EQ(dict.LoadFromTXTBuffer(one.c_str()), 1u);
  EXPECT_STREQ(dict.GetLoadFailureMessage(), "");
  uint32_t entry = 0, offset = 0;
  EXPECT_FALSE(dict.GetLoadFailurePlace(&entry, &offset));
}

TEST(DictTextLoad, EntriesAreReachableByIndexAndTheirTextsLieAtTheirFilePositions) {
  std::string whole = FileText(kThree);
  BRXStringDict dict;
  EXPECT_EQ(dict.GetEntry(0), nullptr);  // nothing loaded yet
  ASSERT_EQ(dict.LoadFromTXTBuffer(whole.c_str()), 3u);
  for (uint32_t i = 0; i < 3; ++i) {
    const BRXStringEntry* e = dict.GetEntry(i);
    ASSERT_TRUE(Holds(e, kThree[i])) << i;
    size_t sourceAt = whole.find("qzrtn_res_ENG_Start\r\n" + kThree[i].source + "\r\n");
    EXPECT_EQ(size_t(e->source - dict.GetTextStore()), sourceAt + 21) << i;
    size_t targetAt = whole.find("qzrtn_res_CHI_Start\r\n" + kThree[i].target + "\r\n");
    EXPECT_EQ(size_t(e->target - dict.GetTextStore()), targetAt + 21) << i;
  }
  EXPECT_EQ(dict.GetEntry(3), nullptr);
  EXPECT_EQ(dict.GetEntry(0xFFFFFFFFu), nullptr);
}

TEST(DictTextLoad, ATextHeldByTheDictionaryItselfLoads) {
  // An entry's target holding a whole dictionary text, loaded into the
  // dictionary that holds it.
  std::string inner = FileText({{"Inner", "inside", ""}});
  BRXStringDict dict;
  ASSERT_NE(dict.AddEntry("Outer", inner.c_str(), ""), nullptr);
  EXPECT_EQ(dict.LoadFromTXTBuffer(dict.FindEntry("Outer")->target), 1u);
  EXPECT_TRUE(Holds(dict.FindEntry("Inner"), {"Inner", "inside", ""}));
}

TEST(DictTextLoad, AMiddleEntryWithoutItsTargetEndMarkerSwallowsTheNext) {
  std::string text = FileText(kThree);
  std::string broken = Without(text, "qzrtn_res_CHI_End\r\n", text.find("qzrtn_res_No.00000001"));
  BRXStringDict dict;
  ASSERT_EQ(dict.LoadFromTXTBuffer(broken.c_str()), 2u);
  EXPECT_TRUE(Holds(dict.FindEntry("Apple"), kThree[0]));
  const BRXStringEntry* middle = dict.FindEntry("Hello");
  ASSERT_NE(middle, nullptr);
  std::string target(middle->target, middle->targetLength);
  EXPECT_EQ(target.substr(0, kThree[1].target.size() + 2), kThree[1].target + "\r\n");
  EXPECT_NE(target.find("qzrtn_res_No.00000002"), std::string::npos);
  EXPECT_EQ(target.substr(target.size() - 5), "Monde") << "runs through the last entry's target";
  EXPECT_EQ(std::string(middle->remark, middle->remarkLength), "") << "the last entry's remark";
  EXPECT_EQ(dict.FindEntry("World"), nullptr);
}

TEST(DictTextLoad, ReportsALoadFailureOnlyOnce) {
  BRXStringDict good, bad;
  ASSERT_EQ(good.LoadFromTXTBuffer(FileText(kThree).c_str()), 3u);
  std::string text = FileText(kThree);
  std::string broken =
      Without(text, "qzrtn_res_Remark00_Start\r\n", text.find("qzrtn_res_No.00000002"));
  ASSERT_EQ(bad.LoadFromTXTBuffer(broken.c_str()), 0u);

  platform::ConsoleSetUtf8(false);
  bool reported = false;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(ReportLoadFailure(good, &reported)) << "nothing to report";
  EXPECT_TRUE(ReportLoadFailure(bad, &reported));
  EXPECT_FALSE(ReportLoadFailure(bad, &reported)) << "already shown";
  std::string shown = testing::internal::GetCapturedStdout();
  char expected[128];
  snprintf(expected, sizeof expected, messages::kMsgDictNoRemarkStart, 2);
  EXPECT_EQ(shown, std::string(expected) + "\n");
}

// --- files --------------------------------------------------------------------

TEST(DictTextFile, ABareNameIsReadFromTheCurrentDirectory) {
  TempDir dir;
  ASSERT_TRUE(fixtures::WriteFileText(dir.File("chs.txt"), FileText(kThree)));
  InDirectory in(dir.path());
  ASSERT_TRUE(in.ok());
  BRXStringDict dict;
  EXPECT_EQ(dict.LoadFromTXTFileA("chs.txt"), 3u);
  EXPECT_EQ(std::string(dict.GetPath()), dir.path() + "\\chs.txt");
  EXPECT_EQ(dict.GetTextSize(), FileText(kThree).size());
  EXPECT_TRUE(Holds(dict.FindEntry("Hello"), kThree[1]));
}

TEST(DictTextFile, NamesWithASeparatorAreWholePaths) {
  TempDir dir;
  ASSERT_TRUE(fixtures::WriteFileText(dir.File("d.txt"), FileText(kThree)));
  // The root of the directory's drive ("/" on POSIX, "C:\\" on Windows).
  std::filesystem::path whole(dir.path());
  InDirectory in(whole.root_path().string());
  const std::string paths[] = {
      dir.path() + "/d.txt",
      dir.path() + "\\d.txt",
      whole.relative_path().string() + "/d.txt",  // relative to the root, the current directory
  };
  for (const std::string& path : paths) {
    BRXStringDict dict;
    EXPECT_EQ(dict.LoadFromTXTFileA(path.c_str()), 3u) << path;
    EXPECT_EQ(std::string(dict.GetPath()), path);
  }
}

TEST(DictTextFile, TheRootDirectoryKeepsOneSeparator) {
  InDirectory in("/");
  // The root ends in its separator: "/" on POSIX, "Z:\\" (the current
  // drive's) on Windows. That one is dropped before the backslash is added.
  std::string root = std::filesystem::current_path().string();
  ASSERT_FALSE(root.empty());
  root.pop_back();
  BRXStringDict dict;
  EXPECT_EQ(dict.LoadFromTXTFileA("hanhua-no-such-dictionary.txt"), 0u);
  EXPECT_EQ(std::string(dict.GetPath()), root + "\\hanhua-no-such-dictionary.txt") << "the path is kept";
}

TEST(DictTextFile, RefusalsThatLeaveTheDictionaryAsItWas) {
  TempDir dir;
  std::string good = dir.File("good.txt");
  ASSERT_TRUE(fixtures::WriteFileText(good, FileText(kThree)));
  ASSERT_TRUE(fixtures::WriteFileText(dir.File("empty.txt"), ""));
  const size_t capacity = BRXStringDict::kPathCapacity;
  std::string tooLong = dir.path() + "/" + std::string(capacity + 40 - dir.path().size(), 'n');
  std::string longest =
      dir.path() + "/" + std::string(std::min<size_t>(capacity - 1 - dir.path().size() - 1, 250), 'm');
  const std::string names[] = {
      dir.File("missing.txt"), dir.File("empty.txt"), tooLong, longest, "",
  };
  for (const std::string& name : names) {
    BRXStringDict dict;
    ASSERT_EQ(dict.LoadFromTXTFileA(good.c_str()), 3u);
    EXPECT_EQ(dict.LoadFromTXTFileA(name.c_str()), 0u) << name;
    EXPECT_EQ(dict.GetCount(), 3u) << name;
    EXPECT_TRUE(Holds(dict.FindEntry("World"), kThree[2])) << name;
  }
  BRXStringDict dict;
  EXPECT_EQ(dict.LoadFromTXTFileA(nullptr), 0u);
  EXPECT_EQ(dict.LoadFromTXTBuffer(nullptr), 0u);
  EXPECT_EQ(dict.LoadFromTXTFileA(tooLong.c_str()), 0u);
  EXPECT_STREQ(dict.GetPath(), "") << "a path that does not fit is not stored";
}

// The current directory is asked for with the platform's own limit: from a
// folder of 300 bytes (more than Windows' 260) the dictionary is found where
// paths may be that long; where they may not (Windows), a directory whose
// path plus "\chs.txt" does not fit is refused.
TEST(DictTextFile, ALongCurrentDirectoryIsFoundWithinThePlatformLimit) {
  TempDir dir;
  const size_t capacity = BRXStringDict::kPathCapacity;
  const size_t length = capacity > 400 ? 300 : capacity - strlen("\\chs.txt");
  std::string deep = dir.path();
  while (deep.size() + 1 < length) {
    deep += "/" + std::string(std::min<size_t>(40, length - deep.size() - 1), 'd');
    ASSERT_TRUE(std::filesystem::create_directory(deep)) << deep;
  }
  ASSERT_TRUE(fixtures::WriteFileText(deep + "/chs.txt", FileText(kThree)));
  InDirectory in(deep);
  ASSERT_TRUE(in.ok());
  BRXStringDict dict;
  const bool fits = deep.size() + strlen("\\chs.txt") < capacity;
  EXPECT_EQ(dict.LoadFromTXTFileA("chs.txt"), fits ? 3u : 0u);
  EXPECT_STREQ(dict.GetPath(), fits ? (deep + "\\chs.txt").c_str() : "");
}

TEST(DictTextFile, SizeLimitIsExact) {
  TempDir dir;
  // Sparse files: one entry, then zero bytes up to the size.
  std::string entry = EntryText({"A", "a", ""}, 0);
  std::string atLimit = dir.File("limit.txt"), overLimit = dir.File("over.txt");
  ASSERT_TRUE(fixtures::WriteFileText(atLimit, entry));
  ASSERT_TRUE(fixtures::WriteFileText(overLimit, FileText(kThree)));
  ASSERT_EQ(truncate(atLimit.c_str(), BRXStringDict::kMaxFileSize), 0);
  ASSERT_EQ(truncate(overLimit.c_str(), off_t(BRXStringDict::kMaxFileSize) + 1), 0);

  BRXStringDict dict;
  EXPECT_EQ(dict.LoadFromTXTFileA(atLimit.c_str()), 1u);
  EXPECT_EQ(dict.GetTextSize(), BRXStringDict::kMaxFileSize);
  EXPECT_EQ(dict.LoadFromTXTFileA(overLimit.c_str()), 0u);
  EXPECT_EQ(dict.GetCount(), 1u) << "refused without touching the dictionary";
  EXPECT_NE(dict.FindEntry("A"), nullptr);

  std::string big(size_t(BRXStringDict::kMaxFileSize) + 1, ' ');
  big.replace(0, entry.size(), entry);
  EXPECT_EQ(dict.LoadFromTXTBuffer(big.c_str()), 0u);
  EXPECT_EQ(dict.GetCount(), 1u);
  EXPECT_STREQ(dict.GetPath(), "") << "a load from memory forgets the path";
}

TEST(DictTextFile, ReloadReadsTheStoredPathAgain) {
  TempDir dir;
  std::string path = dir.File("chs.txt");
  ASSERT_TRUE(fixtures::WriteFileText(path, FileText(kThree)));
  BRXStringDict dict;
  ASSERT_EQ(dict.LoadFromTXTFileA(path.c_str()), 3u);
  EXPECT_EQ(dict.ReloadTXTFileA(), 3u);
  EXPECT_TRUE(Holds(dict.FindEntry("Apple"), kThree[0]));
  EXPECT_EQ(std::string(dict.GetPath()), path);

  ASSERT_TRUE(fixtures::WriteFileText(path, FileText({{"New", "Neu", ""}})));
  EXPECT_EQ(dict.ReloadTXTFileA(), 1u) << "the file's current contents";
  EXPECT_NE(dict.FindEntry("New"), nullptr);

  ASSERT_EQ(dict.LoadFromTXTBuffer(FileText(kThree).c_str()), 3u);
  EXPECT_EQ(dict.ReloadTXTFileA(), 0u) << "a load from memory has no file";
  EXPECT_EQ(dict.GetCount(), 0u);
  EXPECT_EQ(dict.FindEntry("Apple"), nullptr);
}

TEST(DictTextFile, ADirectoryIsNotADictionary) {
  TempDir dir;
  BRXStringDict dict;
  EXPECT_EQ(dict.LoadFromTXTFileA(dir.path().c_str()), 0u);
  EXPECT_EQ(dict.GetCount(), 0u);
}

TEST(DictReadFileBlock, SizeAndRanges) {
  TempDir dir;
  std::string path = dir.File("f");
  ASSERT_TRUE(fixtures::WriteFileText(path, "0123456789"));
  char buffer[16] = {};
  EXPECT_EQ(BRXStringDict::ReadFileBlock(path.c_str(), nullptr, 0, 0), 10);
  EXPECT_EQ(BRXStringDict::ReadFileBlock(path.c_str(), buffer, 3, 4), 4);
  EXPECT_EQ(std::string(buffer, 4), "3456");
  EXPECT_EQ(BRXStringDict::ReadFileBlock(path.c_str(), buffer, 8, 6), 2) << "a short read";
  EXPECT_EQ(BRXStringDict::ReadFileBlock(dir.File("none").c_str(), nullptr, 0, 0), -1);
  EXPECT_EQ(BRXStringDict::ReadFileBlock(nullptr, buffer, 0, 1), -1);
}

}  // namespace
}  // namespace dictionary
