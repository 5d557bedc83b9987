// The files that scripts/package-windows puts beside hanhua.exe: the sample
// dictionary must load and answer its own entries, and the README must be
// text the script can turn into Notepad's UTF-8 (BOM, CR LF) unharmed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dictionary/brx_string_dict.h"
#include "platform/platform.h"
#include "tests/support/files.h"

namespace {

const std::string kPackaging = std::string(HANHUA_SOURCE_DIR) + "/packaging/windows/";

// The file's bytes; skips the test on a machine without the source tree
// (a cross-built test program copied to Windows), fails elsewhere.
bool Load(const std::string& name, fixtures::Bytes* bytes) {
  if (fixtures::ReadFileBytes(kPackaging + name, bytes)) return true;
#if defined(_WIN32)
  return false;
#else
  ADD_FAILURE() << "missing " << kPackaging << name;
  return false;
#endif
}

TEST(WindowsPackage, SampleDictionaryAnswersEveryEntry) {
  fixtures::Bytes bytes;
  if (!Load("chs.txt", &bytes)) GTEST_SKIP() << "no source tree here";
  // Backslashes: a name without one would be joined to the current
  // directory (the platform layer maps them back on POSIX).
  std::string path = kPackaging + "chs.txt";
  for (char& c : path)
    if (c == '/') c = '\\';
  BRXStringDict dict;
  ASSERT_EQ(dict.LoadFromTXTFileA(path.c_str()), 3u);

  struct Pair {
    std::string source, target;
  };
  const std::vector<Pair> expected = {
      {"Follow me.", "\xE8\xB7\x9F\xE6\x88\x91\xE6\x9D\xA5\xE3\x80\x82"},
      {"Hold your position!", "\xE5\x8E\x9F\xE5\x9C\xB0\xE5\xBE\x85\xE5\x91\xBD\xEF\xBC\x81"},
      {"We have to get out of here.",
       "\xE6\x88\x91\xE4\xBB\xAC\xE5\xBE\x97\xE7\xA6\xBB\xE5\xBC\x80\xE8\xBF\x99\xE9\x87\x8C\xE3\x80\x82"},
  };
  for (size_t i = 0; i < expected.size(); ++i) {
    const BRXStringEntry* entry = dict.FindEntry(expected[i].source.c_str());
    ASSERT_NE(entry, nullptr) << expected[i].source << ": the entries must be in byte order";
    EXPECT_EQ(std::string(entry->target, entry->targetLength), expected[i].target);
    EXPECT_EQ(dict.FindIndex(expected[i].source.c_str()), uint32_t(i));
  }
  EXPECT_NE(dict.FindEntry("  Follow me.  "), nullptr) << "spaces at the ends do not count";
  EXPECT_EQ(dict.FindEntry("follow me."), nullptr) << "case matters";
}

TEST(WindowsPackage, ReadmeIsPlainUtf8WithBothLanguages) {
  fixtures::Bytes bytes;
  if (!Load("README.txt", &bytes)) GTEST_SKIP() << "no source tree here";
  std::string text(bytes.begin(), bytes.end());
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.rfind("\xEF\xBB\xBF", 0), 0u) << "the packaging script adds the byte-order mark";
  EXPECT_EQ(text.find('\r'), std::string::npos) << "the packaging script adds the carriage returns";
  std::vector<uint16_t> wide(text.size());
  int units = platform::Utf8ToUtf16(text.data(), int(text.size()), wide.data(), int(wide.size()));
  ASSERT_GT(units, 0);
  wide.resize(size_t(units));
  for (uint16_t unit : wide) ASSERT_NE(unit, 0xFFFD) << "not valid UTF-8";
  for (const char* needed : {"hanhua.exe eng2chs", "hanhua.exe chs2eng", "Usage",
                             "\xE7\x94\xA8\xE6\xB3\x95" /* 用法 */, "chcp 936", "hanhua-dict.exe extract",
                             "hanhua-dict.exe csv import", "--dict chs.txt", "--encoding gbk", "CSV UTF-8"})
    EXPECT_NE(text.find(needed), std::string::npos) << needed;
}

}  // namespace
