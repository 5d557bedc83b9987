// The shared dictionary must answer exactly as a fresh load of the file
// would at that moment, whatever happened to the file in between, while
// parsing it only when it changed.
#include "dictionary/dict_cache.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "dictionary/dict_test_util.h"
#include "tests/support/files.h"

namespace dictionary {
namespace {

using dict_test::FileText;
using dict_test::Texts;

const char* const kKeys[] = {"Hello", "Yes", "No", "Gone"};

// Compares the shared dictionary with a fresh load, key by key.
void ExpectSameAsFreshLoad(const BRXStringDict& shared, const std::string& when) {
  BRXStringDict fresh;
  fresh.LoadFromTXTFileA("chs.txt");
  EXPECT_EQ(shared.GetCount(), fresh.GetCount()) << when;
  EXPECT_STREQ(shared.GetLoadFailureMessage(), fresh.GetLoadFailureMessage()) << when;
  for (const char* key : kKeys) {
    const BRXStringEntry* a = shared.FindEntry(key);
    EXPECT_EQ(FindSharedEntry(shared, key), a) << when << ": " << key;
    const BRXStringEntry* b = fresh.FindEntry(key);
    ASSERT_EQ(a == nullptr, b == nullptr) << when << ": " << key;
    if (a != nullptr) {
      EXPECT_STREQ(a->target, b->target) << when << ": " << key;
    }
  }
}

std::string Broken() {
  std::string text = FileText({{"Hello", "A", ""}, {"Yes", "B", ""}});
  text.erase(text.rfind("qzrtn_res_CHI_End\r\n"), 19);  // last entry loses a marker
  return text;
}

TEST(SharedDictionary, FollowsEveryChangeOfTheFileAndParsesOnlyThen) {
  fixtures::TempDir dir;
  dict_test::InDirectory inDir(dir.path());
  const std::string file = dir.File("chs.txt");

  struct Step {
    const char* what;
    bool write;        // write text (else remove the file)
    std::string text;
    bool parses;       // a new parse is due
  };
  const std::vector<Step> steps = {
      {"first load", true, FileText({{"Hello", "X1", ""}, {"Yes", "Y1", ""}}), true},
      {"same size, new text", true, FileText({{"Hello", "X2", ""}, {"Yes", "Y2", ""}}), true},
      {"longer file", true, FileText({{"Hello", "X3", ""}, {"No", "N3", ""}, {"Yes", "Y3", ""}}), true},
      {"removed", false, "", true},
      {"back again", true, FileText({{"Gone", "G", ""}}), true},
      {"broken entry", true, Broken(), true},
      {"repaired", true, FileText({{"Hello", "X4", ""}}), true},
  };
  int stepNumber = 0;
  for (const Step& step : steps) {
    ++stepNumber;
    if (step.write) {
      ASSERT_TRUE(fixtures::WriteFileText(file, step.text));
      // Dated well in the past (a distinct time per step), so the parse may
      // be kept; a file written just now is covered below.
      std::filesystem::last_write_time(
          file, std::filesystem::file_time_type::clock::now() - std::chrono::seconds(100 - stepNumber));
    } else {
      ASSERT_EQ(remove(file.c_str()), 0);
    }
    uint64_t before = SharedDictionaryLoads();
    ExpectSameAsFreshLoad(SharedDictionary("chs.txt"), step.what);
    EXPECT_EQ(SharedDictionaryLoads() - before, step.parses ? 1u : 0u) << step.what;

    // Unchanged since: the parse is handed out again, with the same answers.
    before = SharedDictionaryLoads();
    for (int i = 0; i < 3; ++i) ExpectSameAsFreshLoad(SharedDictionary("chs.txt"), step.what);
    EXPECT_EQ(SharedDictionaryLoads(), before) << step.what << ": parsed again";
  }
}

TEST(SharedDictionary, AFileWrittenJustNowIsParsedAtEveryUse) {
  // Its modification time may not move at a second write within the same
  // clock tick, so its parse is not trusted until the time has settled.
  fixtures::TempDir dir;
  dict_test::InDirectory inDir(dir.path());
  ASSERT_TRUE(fixtures::WriteFileText(dir.File("chs.txt"), FileText({{"Hello", "one", ""}})));
  uint64_t before = SharedDictionaryLoads();
  EXPECT_STREQ(SharedDictionary("chs.txt").FindEntry("Hello")->target, "one");
  ASSERT_TRUE(fixtures::WriteFileText(dir.File("chs.txt"), FileText({{"Hello", "two", ""}})));
  EXPECT_STREQ(SharedDictionary("chs.txt").FindEntry("Hello")->target, "two");
  EXPECT_EQ(SharedDictionaryLoads() - before, 2u);
}

TEST(SharedDictionary, ResolvesTheNameInTheCurrentDirectoryEveryTime) {
  fixtures::TempDir first, second;
  ASSERT_TRUE(fixtures::WriteFileText(first.File("chs.txt"), FileText({{"Hello", "first", ""}})));
  ASSERT_TRUE(fixtures::WriteFileText(second.File("chs.txt"), FileText({{"Hello", "second", ""}})));
  {
    dict_test::InDirectory in(first.path());
    EXPECT_STREQ(SharedDictionary("chs.txt").FindEntry("Hello")->target, "first");
  }
  {
    dict_test::InDirectory in(second.path());
    EXPECT_STREQ(SharedDictionary("chs.txt").FindEntry("Hello")->target, "second");
  }
  // A path that cannot be formed fails as a fresh load does.
  EXPECT_EQ(SharedDictionary(std::string(300, 'x').c_str()).GetCount(), 0u);
  EXPECT_EQ(SharedDictionary("").GetCount(), 0u);
}

// FindSharedEntry, and FindSharedEntries for all keys at once, must find
// exactly what FindEntry finds: in sorted dictionaries (looked up by hash)
// and in unsorted ones or ones with a source twice (where the binary
// search's path decides what it misses).
TEST(SharedDictionary, FindSharedEntryAnswersAsFindEntry) {
  fixtures::TempDir dir;
  dict_test::InDirectory inDir(dir.path());
  std::vector<std::string> sorted;
  for (int i = 0; i < 300; ++i) sorted.push_back("Line " + std::to_string(1000 + i));
  const std::vector<std::vector<std::string>> dictionaries = {
      {"A", "Ab", "Abc def", "Abc defg", "B", "Welcome back", "Welcome back, friend", "\xC3\xA9t\xC3\xA9",
       "\xFF\xFF"},
      sorted,
      {"delta", "alpha", "charlie", "bravo", "echo"},
      {"alpha", "bravo", "bravo", "charlie"},
      {" lead", "only", "trail "},
  };
  for (const std::vector<std::string>& sources : dictionaries) {
    std::vector<Texts> entries;
    for (const std::string& source : sources) entries.push_back({source, "T(" + source + ")", ""});
    ASSERT_TRUE(fixtures::WriteFileText(dir.File("chs.txt"), FileText(entries)));
    const BRXStringDict& shared = SharedDictionary("chs.txt");
    ASSERT_EQ(shared.GetCount(), sources.size()) << sources[0];
    std::vector<std::string> probes = {"", " ", "a", "Z", "lead", "trail", "\x80"};
    for (const std::string& source : sources) {
      probes.push_back(source);
      probes.push_back(" " + source + "  ");
      probes.push_back(source + "x");
      probes.push_back(source.substr(0, source.size() - 1));
    }
    std::vector<const char*> keys;
    for (const std::string& probe : probes) keys.push_back(probe.c_str());
    std::vector<const BRXStringEntry*> together(keys.size());
    FindSharedEntries(shared, keys.data(), keys.size(), together.data());
    int found = 0;
    for (size_t i = 0; i < probes.size(); ++i) {
      const BRXStringEntry* expected = shared.FindEntry(keys[i]);
      EXPECT_EQ(FindSharedEntry(shared, keys[i]), expected) << sources[0] << ", key \"" << probes[i] << "\"";
      EXPECT_EQ(together[i], expected) << sources[0] << ", key \"" << probes[i] << "\" among the others";
      found += expected != nullptr;
    }
    EXPECT_GT(found, 0) << sources[0];
    // Another dictionary than the shared one is searched as it is.
    BRXStringDict other;
    other.LoadFromTXTFileA("chs.txt");
    EXPECT_EQ(FindSharedEntry(other, sources.back().c_str()), other.FindEntry(sources.back().c_str()));
  }
  EXPECT_EQ(FindSharedEntry(SharedDictionary("chs.txt"), nullptr), nullptr);
}

}  // namespace
}  // namespace dictionary
