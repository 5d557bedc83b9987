// The binary dictionary file: loading, its refusals, and saving.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/bytes.h"
#include "dictionary/brx_string_dict.h"
#include "dictionary/dict_test_util.h"
#include "tests/support/files.h"

namespace {

using dict_test::FileText;
using dict_test::Holds;
using dict_test::InDirectory;
using dict_test::Texts;
using fixtures::Bytes;
using fixtures::TempDir;

struct Record {
  uint32_t fields[6];  // source, target, remark offsets; their lengths
};

// A binary dictionary file written field by field.
Bytes BinaryFile(uint32_t format, uint32_t n, const std::vector<Record>& records,
                 const std::string& block) {
  Bytes out(8 + 24 * records.size());
  bytes::StoreU32LE(out.data(), format);
  bytes::StoreU32LE(out.data() + 4, n);
  for (size_t i = 0; i < records.size(); ++i)
    for (int f = 0; f < 6; ++f) bytes::StoreU32LE(out.data() + 8 + 24 * i + 4 * f, records[i].fields[f]);
  out.insert(out.end(), block.begin(), block.end());
  return out;
}

const std::string kHelloBlock("Hello\0Hi\0\0", 10);
const Record kHelloRecord = {{0, 6, 9, 5, 2, 0}};

TEST(DictBinaryLoad, OneRecord) {
  TempDir dir;
  std::string path = dir.File("one.bin");
  ASSERT_TRUE(fixtures::WriteFileBytes(path, BinaryFile(1, 1, {kHelloRecord}, kHelloBlock)));
  BRXStringDict dict;
  EXPECT_EQ(dict.LoadFromBINFileA(path.c_str()), 1u);
  EXPECT_EQ(dict.GetCount(), 1u);
  EXPECT_EQ(dict.GetTextSize(), 8u + 24u + 10u) << "the whole file";
  EXPECT_TRUE(Holds(dict.FindEntry("Hello"), {"Hello", "Hi", ""}));
  EXPECT_EQ(std::string(dict.GetPath()), path);
}

TEST(DictBinaryLoad, NoEntriesLoadsAsEmpty) {
  TempDir dir;
  std::string path = dir.File("none.bin");
  ASSERT_TRUE(fixtures::WriteFileBytes(path, BinaryFile(1, 0, {}, "")));
  BRXStringDict dict;
  ASSERT_EQ(dict.LoadFromTXTBuffer(FileText({{"A", "a", ""}}).c_str()), 1u);
  EXPECT_EQ(dict.LoadFromBINFileA(path.c_str()), 0u);
  EXPECT_EQ(dict.GetCount(), 0u);
  EXPECT_EQ(dict.FindEntry("A"), nullptr);
}

TEST(DictBinaryLoad, ATextThatEndsTheBlockNeedsNoZero) {
  TempDir dir;
  std::string path = dir.File("end.bin");
  ASSERT_TRUE(fixtures::WriteFileBytes(path, BinaryFile(1, 1, {{{0, 0, 2, 2, 2, 3}}}, "abcde")));
  BRXStringDict dict;
  ASSERT_EQ(dict.LoadFromBINFileA(path.c_str()), 0u) << "'ab' is not terminated after 2 bytes";

  ASSERT_TRUE(fixtures::WriteFileBytes(path, BinaryFile(1, 1, {{{0, 0, 3, 2, 2, 2}}}, std::string("ab\0cd", 5))));
  ASSERT_EQ(dict.LoadFromBINFileA(path.c_str()), 1u);
  EXPECT_TRUE(Holds(dict.FindEntry("ab"), {"ab", "ab", "cd"}));
  // Texts at the very end of the store move along when an addition grows it.
  ASSERT_NE(dict.AddEntry("zz", "y", "x"), nullptr);
  EXPECT_TRUE(Holds(dict.FindEntry("ab"), {"ab", "ab", "cd"}));
  EXPECT_TRUE(Holds(dict.FindEntry("zz"), {"zz", "y", "x"}));
}

TEST(DictBinaryLoad, RefusedFilesLeaveTheDictionaryEmpty) {
  const std::string block = kHelloBlock;
  struct Case {
    const char* name;
    Bytes file;
  };
  Bytes shortFile = BinaryFile(1, 0, {}, "");
  shortFile.resize(7);
  const Case cases[] = {
      {"format number 2", BinaryFile(2, 1, {kHelloRecord}, block)},
      {"format number 0", BinaryFile(0, 1, {kHelloRecord}, block)},
      {"empty file", {}},
      {"shorter than its header", shortFile},
      {"N beyond the file", BinaryFile(1, 2, {kHelloRecord}, block)},
      {"N whose records would wrap 32 bits", BinaryFile(1, 0x0AAAAAAB, {kHelloRecord}, block)},
      {"N all bits set", BinaryFile(1, 0xFFFFFFFFu, {kHelloRecord}, block)},
      {"offset beyond the block", BinaryFile(1, 1, {{{0, 6, 11, 5, 2, 0}}}, block)},
      {"length beyond the block", BinaryFile(1, 1, {{{0, 6, 9, 5, 2, 2}}}, block)},
      {"offset and length wrap", BinaryFile(1, 1, {{{0xFFFFFFF0u, 6, 9, 0x20, 2, 0}}}, block)},
      {"length that misses the text's zero", BinaryFile(1, 1, {{{0, 6, 9, 4, 2, 0}}}, block)},
      {"length that runs past the text's zero", BinaryFile(1, 1, {{{0, 6, 9, 5, 3, 0}}}, block)},
      {"zero inside a text", BinaryFile(1, 1, {{{0, 0, 9, 0, 1, 0}}}, std::string(10, '\0'))},
  };
  TempDir dir;
  std::string good = dir.File("good.bin"), bad = dir.File("bad.bin");
  ASSERT_TRUE(fixtures::WriteFileBytes(good, BinaryFile(1, 1, {kHelloRecord}, block)));
  for (const Case& c : cases) {
    ASSERT_TRUE(fixtures::WriteFileBytes(bad, c.file));
    BRXStringDict dict;
    ASSERT_EQ(dict.LoadFromBINFileA(good.c_str()), 1u);
    EXPECT_EQ(dict.LoadFromBINFileA(bad.c_str()), 0u) << c.name;
    EXPECT_EQ(dict.GetCount(), 0u) << c.name;
    EXPECT_EQ(dict.FindEntry("Hello"), nullptr) << c.name;
  }
  BRXStringDict dict;
  ASSERT_EQ(dict.LoadFromBINFileA(good.c_str()), 1u);
  EXPECT_EQ(dict.LoadFromBINFileA(dir.File("missing.bin").c_str()), 0u);
  EXPECT_EQ(dict.GetCount(), 0u) << "a missing file empties the dictionary too";
}

TEST(DictBinaryLoad, SizeAboveTheLimitIsRefused) {
  TempDir dir;
  std::string path = dir.File("big.bin");
  ASSERT_TRUE(fixtures::WriteFileBytes(path, BinaryFile(1, 1, {kHelloRecord}, kHelloBlock)));
  ASSERT_EQ(truncate(path.c_str(), off_t(BRXStringDict::kMaxFileSize) + 1), 0);
  BRXStringDict dict;
  EXPECT_EQ(dict.LoadFromBINFileA(path.c_str()), 0u);
  EXPECT_EQ(dict.GetCount(), 0u);
}

TEST(DictBinaryLoad, ABareNameIsReadFromTheCurrentDirectory) {
  TempDir dir;
  ASSERT_TRUE(fixtures::WriteFileBytes(dir.File("d.bin"), BinaryFile(1, 1, {kHelloRecord}, kHelloBlock)));
  InDirectory in(dir.path());
  BRXStringDict dict;
  EXPECT_EQ(dict.LoadFromBINFileA("d.bin"), 1u);
  EXPECT_EQ(std::string(dict.GetPath()), dir.path() + "\\d.bin");
}

TEST(DictBinarySave, RoundTrips) {
  const std::vector<Texts> texts = {
      {"", "empty source", ""},
      {"Apple", "Pomme", "fruit"},
      {"Hello", "\xE4\xBD\xA0\xE5\xA5\xBD", ""},
      {"Two\r\nlines", "", "r\r\n"},
  };
  BRXStringDict built;
  built.InsertBlankEntry(0);
  built.SetTargetText(0, "empty source");
  for (size_t i = 1; i < texts.size(); ++i)
    ASSERT_NE(built.AddEntry(texts[i].source.c_str(), texts[i].target.c_str(), texts[i].remark.c_str()), nullptr);

  TempDir dir;
  std::string path = dir.File("round.bin");
  int64_t written = built.SaveToBINFileA(path.c_str());
  EXPECT_EQ(written, int64_t(fixtures::ReadFileBytes(path).size()));
  BRXStringDict loaded;
  ASSERT_EQ(loaded.LoadFromBINFileA(path.c_str()), texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    EXPECT_TRUE(Holds(loaded.FindEntry(texts[i].source.c_str()), texts[i])) << i;
    EXPECT_EQ(loaded.FindIndex(texts[i].source.c_str()), i);
  }

  // Written again over a longer file: the file is replaced, not overwritten in part.
  ASSERT_TRUE(fixtures::WriteFileText(path, std::string(4096, 'x')));
  EXPECT_EQ(built.SaveToBINFileA(path.c_str()), written);
  EXPECT_EQ(int64_t(fixtures::ReadFileBytes(path).size()), written);

  BRXStringDict empty;
  EXPECT_EQ(empty.SaveToBINFileA(path.c_str()), 8);
  EXPECT_EQ(loaded.LoadFromBINFileA(path.c_str()), 0u);
  EXPECT_EQ(empty.SaveToBINFileA(nullptr), -1);
  EXPECT_EQ(built.SaveToBINFileA(dir.File("no/such/dir.bin").c_str()), -1);
}

TEST(DictBinarySave, ATextFileConvertsToTheBinaryForm) {
  const std::vector<Texts> texts = {{"Apple", "Pomme", "fruit"}, {"World", "Monde", ""}};
  BRXStringDict fromText;
  ASSERT_EQ(fromText.LoadFromTXTBuffer(FileText(texts).c_str()), 2u);
  TempDir dir;
  std::string path = dir.File("c.bin");
  ASSERT_GT(fromText.SaveToBINFileA(path.c_str()), 0);
  BRXStringDict loaded;
  ASSERT_EQ(loaded.LoadFromBINFileA(path.c_str()), 2u);
  for (const Texts& t : texts) EXPECT_TRUE(Holds(loaded.FindEntry(t.source.c_str()), t));
}

}  // namespace
