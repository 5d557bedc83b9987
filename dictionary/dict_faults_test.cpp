// Dictionary file operations when the operating system fails them (test
// builds with the platform fault switch only).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dictionary/brx_string_dict.h"
#include "dictionary/dict_test_util.h"
#include "platform/fault_injection.h"
#include "tests/support/files.h"

namespace {

namespace faults = platform::faults;
using dict_test::FileText;
using dict_test::Texts;
using fixtures::TempDir;

const std::vector<Texts> kTwo = {{"Apple", "Pomme", ""}, {"World", "Monde", ""}};

class DictFaults : public testing::Test {
 protected:
  void SetUp() override {
    if (!faults::Available()) GTEST_SKIP() << "built without the fault switch";
    faults::Clear();
  }
  void TearDown() override { faults::Clear(); }
};

TEST_F(DictFaults, TextLoadFailuresBeforeAndAfterTheOldContentGoes) {
  struct Case {
    const char* name;
    faults::Operation op;
    uint64_t nth;
    bool shortTransfer;
    uint32_t countAfter;  // 2: the old entries stay; 0: the dictionary is empty
  };
  const Case cases[] = {
      {"size query cannot open", faults::kOpenRead, 1, false, 2},
      {"size unknown", faults::kSize, 1, false, 2},
      {"file gone before the read", faults::kOpenRead, 2, false, 0},
      {"seek fails", faults::kSeek, 1, false, 0},
      {"read fails", faults::kRead, 1, false, 0},
      {"short read", faults::kRead, 1, true, 0},
  };
  TempDir dir;
  std::string old = dir.File("old.txt"), path = dir.File("chs.txt");
  ASSERT_TRUE(fixtures::WriteFileText(old, FileText(kTwo)));
  ASSERT_TRUE(fixtures::WriteFileText(path, FileText({{"New", "Neu", ""}})));
  for (const Case& c : cases) {
    BRXStringDict dict;
    ASSERT_EQ(dict.LoadFromTXTFileA(old.c_str()), 2u);
    faults::Clear();
    faults::FailCall(c.op, c.nth, c.shortTransfer);
    EXPECT_EQ(dict.LoadFromTXTFileA(path.c_str()), 0u) << c.name;
    EXPECT_EQ(dict.GetCount(), c.countAfter) << c.name;
    EXPECT_EQ(dict.FindEntry("Apple") != nullptr, c.countAfter > 0) << c.name;
    EXPECT_EQ(dict.FindEntry("New"), nullptr) << c.name;
    faults::Clear();
  }
}

TEST_F(DictFaults, BinaryLoadWithAShortReadIsRefused) {
  TempDir dir;
  std::string path = dir.File("d.bin");
  BRXStringDict source;
  source.AddEntry("Hello", "Hi", "");
  ASSERT_GT(source.SaveToBINFileA(path.c_str()), 0);
  BRXStringDict dict;
  faults::FailCall(faults::kRead, 1, true);
  EXPECT_EQ(dict.LoadFromBINFileA(path.c_str()), 0u);
  EXPECT_EQ(dict.GetCount(), 0u);
  EXPECT_EQ(dict.LoadFromBINFileA(path.c_str()), 1u) << "and loads once the read succeeds";
}

TEST_F(DictFaults, EachFailedSaveWriteCountsMinusOne) {
  TempDir dir;
  std::string path = dir.File("out.txt");
  BRXStringDict dict;
  for (const Texts& t : kTwo) dict.AddEntry(t.source.c_str(), t.target.c_str(), t.remark.c_str());
  int64_t whole = dict.SaveToTXTFileA(path.c_str());
  ASSERT_GT(whole, 0);
  ASSERT_EQ(int64_t(fixtures::ReadFileBytes(path).size()), whole);
  // The entry text as the independent writer frames it, without its header
  // line and file end marker.
  int64_t entries = int64_t(FileText(kTwo).size()) - int64_t(strlen(dict_test::kHeader)) - 25;

  faults::FailCall(faults::kWrite, 2);  // the entries
  EXPECT_EQ(dict.SaveToTXTFileA(path.c_str()), whole - entries - 1);
  faults::Clear();
  faults::FailCall(faults::kCreate, 1);  // the header's open
  int64_t headerLength = whole - entries - 25;
  EXPECT_EQ(dict.SaveToTXTFileA(path.c_str()), whole - headerLength - 1);
  faults::Clear();
  faults::FailCall(faults::kWrite, 1, true);  // a full disk during the binary save
  EXPECT_EQ(dict.SaveToBINFileA(dir.File("d.bin").c_str()), -1);
}

}  // namespace
