// Tests of the platform layer that hold on every backend.
#include "platform/platform.h"
#include "platform/fault_injection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/files.h"

namespace {

using fixtures::Bytes;
using fixtures::ReadFileBytes;
using fixtures::TempDir;
using fixtures::WriteFileText;

TEST(PlatformFiles, MoveNeverReplacesAnExistingTarget) {
  TempDir dir;
  std::string a = dir.File("a"), b = dir.File("b");
  WriteFileText(a, "original");
  WriteFileText(b, "backup");
  EXPECT_FALSE(platform::MoveNoReplace(a.c_str(), b.c_str()));
  EXPECT_EQ(ReadFileBytes(b), Bytes({'b', 'a', 'c', 'k', 'u', 'p'}));
  EXPECT_TRUE(fixtures::FileExists(a));

  platform::DeletePath(b.c_str());
  EXPECT_TRUE(platform::MoveNoReplace(a.c_str(), b.c_str()));
  EXPECT_FALSE(fixtures::FileExists(a));
  EXPECT_EQ(ReadFileBytes(b).size(), 8u);
  EXPECT_FALSE(platform::MoveNoReplace(a.c_str(), b.c_str())) << "missing source";
}

TEST(PlatformFiles, CopyReplacesTheTargetWhole) {
  TempDir dir;
  std::string a = dir.File("a"), b = dir.File("b");
  WriteFileText(a, "new contents");
  WriteFileText(b, "old contents that were longer");
  EXPECT_TRUE(platform::CopyReplace(a.c_str(), b.c_str()));
  EXPECT_EQ(ReadFileBytes(b), ReadFileBytes(a));
  EXPECT_FALSE(platform::CopyReplace(dir.File("missing").c_str(), b.c_str()));
  EXPECT_EQ(ReadFileBytes(b), ReadFileBytes(a)) << "a failed copy leaves the target alone";
}

TEST(PlatformFiles, TemporaryFilesReplaceTheTargetWholeOrNotAtAll) {
  TempDir dir;
  std::string target = dir.File("target");
  WriteFileText(target, "old");
  platform::TemporaryFile kept, dropped;
  ASSERT_TRUE(platform::CreateTemporaryBeside(target.c_str(), &kept));
  ASSERT_TRUE(platform::CreateTemporaryBeside(target.c_str(), &dropped));
  EXPECT_EQ(platform::Write(kept.file, "new", 3), 3);
  EXPECT_EQ(platform::Write(dropped.file, "lost", 4), 4);
  EXPECT_TRUE(platform::Flush(kept.file));
  platform::DiscardTemporary(&dropped);
  EXPECT_EQ(ReadFileBytes(target), Bytes({'o', 'l', 'd'})) << "a discarded file changes nothing";
  EXPECT_TRUE(platform::CommitTemporary(&kept));
  EXPECT_EQ(ReadFileBytes(target), Bytes({'n', 'e', 'w'}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1)
      << "nothing left beside it";
}

TEST(PlatformFiles, CopiesOfEverySizeAreWhole) {
  TempDir dir;
  std::string target = dir.File("target");
  WriteFileText(target, "old");
  // Empty, below and across the copy buffer's 1 MiB, several MiB and odd.
  for (size_t size : {size_t(0), size_t(1), size_t(4095), size_t(1) << 20, (size_t(1) << 20) + 1,
                      (size_t(3) << 20) + 12345}) {
    Bytes data(size);
    for (size_t i = 0; i < size; ++i) data[i] = uint8_t((i * 2654435761u) >> 13);
    std::string source = dir.File("source" + std::to_string(size));
    ASSERT_TRUE(fixtures::WriteFileBytes(source, data));
    EXPECT_TRUE(platform::CopyReplace(source.c_str(), target.c_str())) << size;
    EXPECT_TRUE(ReadFileBytes(target) == data) << size;
  }
}

TEST(PlatformFiles, AppendFileRangeCopiesTheRangeBehindWhatIsThere) {
  TempDir dir;
  const size_t size = (size_t(3) << 20) + 777;  // more than the 1 MiB buffer
  Bytes data(size);
  for (size_t i = 0; i < size; ++i) data[i] = uint8_t((i * 2654435761u) >> 11);
  std::string source = dir.File("source");
  ASSERT_TRUE(fixtures::WriteFileBytes(source, data));
  struct Case {
    uint64_t offset, length;
    bool ok;
  } cases[] = {
      {0, size, true},          {1, 10, true},        {(1u << 20) - 3, (1u << 20) + 9, true},
      {size - 1, 1, true},      {123, 0, true},       {size - 5, 6, false},
      {size, 1, false},         {size + 100, 1, false},
  };
  for (const Case& c : cases) {
    std::string target = dir.File("target");
    WriteFileText(target, "head");
    platform::File from = platform::OpenRead(source.c_str());
    platform::File to = platform::OpenWrite(target.c_str(), platform::kOpenExisting);
    ASSERT_TRUE(from != platform::kNoFile && to != platform::kNoFile);
    ASSERT_TRUE(platform::SeekEnd(to));
    EXPECT_EQ(platform::AppendFileRange(from, c.offset, to, c.length), c.ok) << c.offset << "+" << c.length;
    platform::Close(from);
    platform::Close(to);
    if (!c.ok) continue;
    Bytes expected{'h', 'e', 'a', 'd'};
    expected.insert(expected.end(), data.begin() + long(c.offset), data.begin() + long(c.offset + c.length));
    EXPECT_TRUE(ReadFileBytes(target) == expected) << c.offset << "+" << c.length;
  }
}

TEST(PlatformFiles, BackslashesSeparateDirectories) {
  TempDir dir;
  std::string windowsStyle = dir.path() + "\\name.upk";
  platform::File f = platform::CreateReadWrite(windowsStyle.c_str());
  ASSERT_NE(f, platform::kNoFile);
  EXPECT_EQ(platform::Write(f, "abc", 3), 3);
  platform::Close(f);
  EXPECT_TRUE(fixtures::FileExists(dir.File("name.upk")));
}

TEST(PlatformFiles, ReadWriteSeekAndSize) {
  TempDir dir;
  std::string path = dir.File("f");
  platform::File f = platform::CreateReadWrite(path.c_str());
  ASSERT_NE(f, platform::kNoFile);
  EXPECT_EQ(platform::FileSize(f), 0u);
  EXPECT_EQ(platform::Write(f, "0123456789", 10), 10);
  EXPECT_TRUE(platform::SeekBegin(f, 2));
  EXPECT_EQ(platform::Write(f, "ab", 2), 2);
  EXPECT_TRUE(platform::SeekEnd(f));
  EXPECT_EQ(platform::Write(f, "Z", 1), 1);
  EXPECT_EQ(platform::FileSize(f), 11u);
  char buffer[32] = {};
  EXPECT_TRUE(platform::SeekBegin(f, 0));
  EXPECT_EQ(platform::Read(f, buffer, sizeof buffer), 11) << "a short read reports what it got";
  EXPECT_STREQ(buffer, "01ab456789Z");
  // Reads at an offset: inside, across the end, and past it.
  char piece[8] = {};
  EXPECT_EQ(platform::ReadAt(f, 3, piece, 4), 4);
  EXPECT_STREQ(piece, "b456");
  EXPECT_EQ(platform::ReadAt(f, 9, piece, 4), 2);
  EXPECT_EQ(std::string(piece, 2), "9Z");
  EXPECT_EQ(platform::ReadAt(f, 20, piece, 4), 0);
  platform::Close(f);

  EXPECT_EQ(platform::OpenRead(dir.File("missing").c_str()), platform::kNoFile);
  EXPECT_EQ(platform::OpenRead(dir.path().c_str()), platform::kNoFile) << "a directory";
  EXPECT_EQ(platform::FileSize(platform::kNoFile), platform::kSizeError);
  EXPECT_EQ(platform::OpenWrite(path.c_str(), platform::kCreateNew), platform::kNoFile);
}

// OpenWrite with each disposition, on an existing file holding "old-data"
// and on a missing one, then "new" written at the start.
struct DispositionCase {
  const char* name;
  int disposition;
  bool exists;
  bool opens;
  const char* after;  // the file's contents afterwards; null: no file
};

class OpenWriteTest : public testing::TestWithParam<DispositionCase> {};

TEST_P(OpenWriteTest, FollowsTheDisposition) {
  const DispositionCase& c = GetParam();
  TempDir dir;
  std::string path = dir.File("f");
  if (c.exists) WriteFileText(path, "old-data");
  platform::File f = platform::OpenWrite(path.c_str(), platform::Disposition(c.disposition));
  EXPECT_EQ(f != platform::kNoFile, c.opens);
  if (f != platform::kNoFile) {
    EXPECT_EQ(platform::Write(f, "new", 3), 3);
    platform::Close(f);
  }
  if (c.after == nullptr) {
    EXPECT_FALSE(fixtures::FileExists(path));
  } else {
    Bytes bytes = ReadFileBytes(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.after);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpenWriteTest,
    testing::Values(DispositionCase{"create_new_existing", platform::kCreateNew, true, false, "old-data"},
                    DispositionCase{"create_new_missing", platform::kCreateNew, false, true, "new"},
                    DispositionCase{"create_always_existing", platform::kCreateAlways, true, true, "new"},
                    DispositionCase{"create_always_missing", platform::kCreateAlways, false, true, "new"},
                    DispositionCase{"open_existing_existing", platform::kOpenExisting, true, true, "new-data"},
                    DispositionCase{"open_existing_missing", platform::kOpenExisting, false, false, nullptr},
                    DispositionCase{"open_always_existing", platform::kOpenAlways, true, true, "new-data"},
                    DispositionCase{"open_always_missing", platform::kOpenAlways, false, true, "new"},
                    DispositionCase{"truncate_existing", platform::kTruncateExisting, true, true, "new"},
                    DispositionCase{"truncate_missing", platform::kTruncateExisting, false, false, nullptr},
                    DispositionCase{"unknown_existing", 6, true, false, "old-data"},
                    DispositionCase{"unknown_missing", 0, false, false, nullptr}),
    [](const auto& info) { return info.param.name; });

TEST(PlatformFiles, AttributesRoundTrip) {
  TempDir dir;
  std::string path = dir.File("f");
  WriteFileText(path, "x");
  EXPECT_EQ(platform::GetAttributes(path.c_str()), uint32_t(platform::kAttrNormal));
  if (!platform::SetAttributes(path.c_str(), platform::kAttrHidden | platform::kAttrSystem))
    GTEST_SKIP() << "this filesystem keeps no DOS attributes";
  EXPECT_EQ(platform::GetAttributes(path.c_str()), 6u);

  // A copy takes the attributes of its source, as CopyFileA does.
  std::string copy = dir.File("copy");
  EXPECT_TRUE(platform::CopyReplace(path.c_str(), copy.c_str()));
  EXPECT_EQ(platform::GetAttributes(copy.c_str()), 6u);

  EXPECT_TRUE(platform::SetAttributes(path.c_str(), platform::kAttrNormal));
  EXPECT_EQ(platform::GetAttributes(path.c_str()), uint32_t(platform::kAttrNormal));
  EXPECT_TRUE(platform::SetAttributes(path.c_str(), platform::kAttrNormal)) << "already normal";
  EXPECT_FALSE(platform::SetAttributes(dir.File("missing").c_str(), platform::kAttrHidden));
  EXPECT_EQ(platform::GetAttributes(dir.File("missing").c_str()), platform::kAttrInvalid);
}

TEST(PlatformMapping, MapsFilesButNotEmptyOnes) {
  TempDir dir;
  std::string path = dir.File("f");
  WriteFileText(path, "mapped bytes");
  platform::File f = platform::OpenRead(path.c_str());
  platform::MappedView view;
  ASSERT_TRUE(platform::MapReadOnly(f, platform::FileSize(f), &view));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(view.data), view.size), "mapped bytes");
  platform::Unmap(&view);
  EXPECT_EQ(view.data, nullptr);
  platform::Close(f);

  WriteFileText(path, "");
  f = platform::OpenRead(path.c_str());
  EXPECT_FALSE(platform::MapReadOnly(f, 0, &view));
  platform::Unmap(&view);  // harmless on an empty view
  platform::Close(f);
}

TEST(PlatformProcess, CurrentDirectoryFitsOrFails) {
  char buffer[4096];
  uint32_t len = platform::CurrentDirectory(buffer, sizeof buffer);
  ASSERT_GT(len, 0u);
  EXPECT_EQ(len, strlen(buffer));
  char tiny[2];
  EXPECT_EQ(platform::CurrentDirectory(tiny, sizeof tiny), 0u);
}

// Sets (value non-null) or removes a variable of this process's environment.
void SetEnvironment(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value != nullptr ? value : "");
#else
  if (value != nullptr) setenv(name, value, 1);
  else unsetenv(name);
#endif
}

TEST(PlatformProcess, EnvironmentValueFitsOrGivesEmpty) {
  SetEnvironment("HANHUA_TEST_VALUE", "abc");
  char buffer[8];
  EXPECT_EQ(platform::EnvironmentValue("HANHUA_TEST_VALUE", buffer, sizeof buffer), 3u);
  EXPECT_STREQ(buffer, "abc");
  // "abc" and its terminator need 4 bytes.
  EXPECT_EQ(platform::EnvironmentValue("HANHUA_TEST_VALUE", buffer, 3), 0u);
  EXPECT_STREQ(buffer, "");
  SetEnvironment("HANHUA_TEST_VALUE", nullptr);
  EXPECT_EQ(platform::EnvironmentValue("HANHUA_TEST_VALUE", buffer, sizeof buffer), 0u);
  EXPECT_STREQ(buffer, "");
  EXPECT_GE(platform::ProcessorCount(), 1u);
}

TEST(PlatformProcess, SystemTimeIsPlausible) {
  platform::SystemTime t;
  platform::GetSystemTimeUtc(&t);
  EXPECT_GE(t.year, 2024);
  EXPECT_GE(t.month, 1);
  EXPECT_LE(t.month, 12);
  EXPECT_LE(t.hour, 23);
}

// --- text conversion ---------------------------------------------------------

struct Utf16Case {
  const char* name;
  std::vector<uint16_t> utf16;
  std::string utf8;
};

class Utf16ToUtf8Test : public testing::TestWithParam<Utf16Case> {};

TEST_P(Utf16ToUtf8Test, ConvertsLikeCodePage65001) {
  const Utf16Case& c = GetParam();
  int units = int(c.utf16.size());
  EXPECT_EQ(platform::Utf16ToUtf8(c.utf16.data(), units, nullptr, 0), int(c.utf8.size()));
  std::string out(c.utf8.size() + 8, '\0');
  int n = platform::Utf16ToUtf8(c.utf16.data(), units, out.data(), int(out.size()));
  out.resize(size_t(n));
  EXPECT_EQ(out, c.utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf16ToUtf8Test,
    testing::Values(Utf16Case{"ascii", {'H', 'i'}, "Hi"},
                    Utf16Case{"chinese", {0x4F60, 0x597D}, "\xE4\xBD\xA0\xE5\xA5\xBD"},
                    Utf16Case{"two_byte", {0x00E9}, "\xC3\xA9"},
                    Utf16Case{"surrogate_pair", {0xD83D, 0xDE00}, "\xF0\x9F\x98\x80"},
                    Utf16Case{"lone_high", {0xD83D, 'a'}, "\xEF\xBF\xBD" "a"},
                    Utf16Case{"lone_low", {0xDE00}, "\xEF\xBF\xBD"},
                    Utf16Case{"embedded_zero", {'a', 0, 'b'}, std::string("a\0b", 3)}),
    [](const auto& info) { return info.param.name; });

struct Utf8Case {
  const char* name;
  std::string utf8;
  std::vector<uint16_t> utf16;
};

class Utf8ToUtf16Test : public testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8ToUtf16Test, ConvertsLikeCodePage65001) {
  const Utf8Case& c = GetParam();
  int bytes = int(c.utf8.size());
  EXPECT_EQ(platform::Utf8ToUtf16(c.utf8.data(), bytes, nullptr, 0), int(c.utf16.size()));
  std::vector<uint16_t> out(c.utf16.size() + 4);
  int n = platform::Utf8ToUtf16(c.utf8.data(), bytes, out.data(), int(out.size()));
  out.resize(size_t(n));
  EXPECT_EQ(out, c.utf16);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8ToUtf16Test,
    testing::Values(Utf8Case{"ascii", "Hi", {'H', 'i'}},
                    Utf8Case{"chinese", "\xE4\xBD\xA0\xE5\xA5\xBD", {0x4F60, 0x597D}},
                    Utf8Case{"astral", "\xF0\x9F\x98\x80", {0xD83D, 0xDE00}},
                    Utf8Case{"stray_continuation", "a\x80" "b", {'a', 0xFFFD, 'b'}},
                    Utf8Case{"truncated_sequence", "\xE4\xBD", {0xFFFD}},
                    Utf8Case{"overlong", "\xC0\xAF", {0xFFFD, 0xFFFD}},
                    // A lead byte and a first continuation byte outside its
                    // range make one U+FFFD together, as on Windows.
                    Utf8Case{"encoded_surrogate", "\xED\xA0\x80", {0xFFFD, 0xFFFD}},
                    Utf8Case{"encoded_surrogate_pair", "\xED\xAF\xBF\xED\xBF\xBF",
                             {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}},
                    Utf8Case{"overlong_three_bytes", "\xE0\x80\xAD", {0xFFFD, 0xFFFD}},
                    Utf8Case{"overlong_four_bytes", "\xF0\x8F\xBF\xBF", {0xFFFD, 0xFFFD, 0xFFFD}},
                    Utf8Case{"above_10ffff", "\xF4\x90\x80\x80", {0xFFFD, 0xFFFD, 0xFFFD}},
                    Utf8Case{"bad_second_at_end", "\xE0\x80", {0xFFFD}},
                    // A byte that cannot start a sequence stands alone.
                    Utf8Case{"lead_f7", "\xF7\xBF\xBF\xBF", {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}},
                    Utf8Case{"lead_fa", "\xFA\x80\x80\x80\x80",
                             {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}},
                    Utf8Case{"lead_ff_then_ascii", "\xFF@", {0xFFFD, '@'}},
                    // A good start cut short leaves the byte that stopped it.
                    Utf8Case{"cut_short_by_ascii", "\xF0\x90\x80-", {0xFFFD, '-'}},
                    Utf8Case{"extra_continuation", "\xE0\xA0\x80\x80", {0x0800, 0xFFFD}},
                    Utf8Case{"gbk_bytes", "\xC4\xE3", {0xFFFD, 0xFFFD}}),
    [](const auto& info) { return info.param.name; });

TEST(PlatformText, OutputThatDoesNotFitGivesZero) {
  const uint16_t wide[] = {0x4F60, 0x597D};
  char narrow[5];
  EXPECT_EQ(platform::Utf16ToUtf8(wide, 2, narrow, 5), 0);
  uint16_t out[1];
  EXPECT_EQ(platform::Utf8ToUtf16("ab", 2, out, 1), 0);
  EXPECT_EQ(platform::Utf8ToUtf16("", 0, out, 1), 0) << "empty input";
}

}  // namespace

namespace {

TEST(PlatformFaults, ArmedCallsFailOnceAndShortWritesMovePart) {
  if (!platform::faults::Available()) GTEST_SKIP() << "built without the fault switch";
  TempDir dir;
  std::string path = dir.File("f");
  platform::faults::Clear();
  platform::File f = platform::CreateReadWrite(path.c_str());
  ASSERT_NE(f, platform::kNoFile);

  platform::faults::FailCall(platform::faults::kWrite, 2);
  EXPECT_EQ(platform::Write(f, "abcd", 4), 4);
  EXPECT_EQ(platform::Write(f, "efgh", 4), -1) << "the second call fails";
  EXPECT_EQ(platform::Write(f, "ijkl", 4), 4) << "and only that one";

  platform::faults::FailCall(platform::faults::kWrite, 1, /*shortTransfer=*/true);
  EXPECT_EQ(platform::Write(f, "mnop", 4), 2);
  EXPECT_EQ(platform::FileSize(f), 10u);
  EXPECT_EQ(platform::faults::CallCount(platform::faults::kWrite), 4u);
  platform::Close(f);

  platform::faults::FailCall(platform::faults::kCopy, 1);
  EXPECT_FALSE(platform::CopyReplace(path.c_str(), dir.File("g").c_str()));
  EXPECT_FALSE(fixtures::FileExists(dir.File("g")));
  platform::faults::Clear();
}

}  // namespace

namespace {

TEST(PlatformFiles, IdentityChangesWithEveryRewrite) {
  TempDir dir;
  std::string path = dir.File("chs.txt");
  WriteFileText(path, "one");
  platform::FileIdentity first, again, rewritten, replaced;
  ASSERT_TRUE(platform::GetFileIdentity(path.c_str(), &first));
  ASSERT_TRUE(platform::GetFileIdentity(path.c_str(), &again));
  EXPECT_EQ(first, again);
  EXPECT_EQ(first.size, 3u);

  WriteFileText(path, "two");  // same size, rewritten in place
  ASSERT_TRUE(platform::GetFileIdentity(path.c_str(), &rewritten));
  EXPECT_FALSE(rewritten == first);

  std::string other = dir.File("other");
  WriteFileText(other, "two");
  EXPECT_TRUE(platform::CopyReplace(other.c_str(), path.c_str()));
  ASSERT_TRUE(platform::GetFileIdentity(path.c_str(), &replaced));
  EXPECT_FALSE(replaced == rewritten);

  EXPECT_FALSE(platform::GetFileIdentity(dir.File("missing").c_str(), &first));
}

// Folders and devices are never opened for reading: a FIFO or a device
// planted at a backup's or chs.txt's name would block a run or feed it
// endless bytes.
TEST(PlatformFiles, OnlyRegularFilesAreOpenedForReading) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("folder.bak"));
#if defined(_WIN32)
  const char* device = "NUL";
#else
  const char* device = "/dev/null";
#endif
  for (const std::string& path : {dir.File("folder.bak"), std::string(device)})
    EXPECT_EQ(platform::OpenRead(path.c_str()), platform::kNoFile) << path;
  WriteFileText(dir.File("plain"), "x");
  platform::File plain = platform::OpenRead(dir.File("plain").c_str());
  EXPECT_NE(plain, platform::kNoFile);
  platform::Close(plain);
}

// A second run on the same game waits for the first, however its folder is
// spelled; a run on another game does not.
TEST(PlatformLocks, ASecondLockOnTheSameFolderWaitsForTheFirst) {
  TempDir game, other;
  platform::FolderLock first = platform::LockFolder(game.path().c_str());
  ASSERT_NE(first, platform::kNoLock);
  std::atomic<bool> otherTaken{false}, secondTaken{false};
  std::thread otherRun([&] {
    platform::UnlockFolder(platform::LockFolder(other.path().c_str()));
    otherTaken = true;
  });
  std::thread secondRun([&] {
    platform::FolderLock second = platform::LockFolder((game.path() + "/").c_str());
    secondTaken = true;
    platform::UnlockFolder(second);
  });
  otherRun.join();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(otherTaken);
  EXPECT_FALSE(secondTaken);
  platform::UnlockFolder(first);
  secondRun.join();
  EXPECT_TRUE(secondTaken);
}

}  // namespace
