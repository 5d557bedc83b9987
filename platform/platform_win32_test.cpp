// Tests of the Windows backend that only Windows can answer: error codes,
// sharing modes, attributes as GetFileAttributesA reports them, mappings,
// and the console's text mode.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "tests/support/files.h"

namespace {

using fixtures::Bytes;
using fixtures::ReadFileBytes;
using fixtures::TempDir;
using fixtures::WriteFileText;

// Wine stands in for Windows in the automated runs. Where it is known to
// behave otherwise than Windows, a test says so and is skipped there.
bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Windows-style path of name in dir.
std::string WinPath(const TempDir& dir, const char* name) { return dir.path() + "\\" + name; }

// The read-only, hidden and system bits as GetFileAttributesA itself
// reports them.
DWORD DosBits(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES) << path;
  return attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
}

TEST(Win32Files, MoveRefusesAnExistingTargetWithAlreadyExists) {
  TempDir dir;
  std::string file = WinPath(dir, "Game.upk"), backup = WinPath(dir, "Game.upk.bak");
  WriteFileText(file, "patched");
  WriteFileText(backup, "original");
  // The backup of an earlier run is hidden and system; it must survive.
  ASSERT_TRUE(platform::SetAttributes(backup.c_str(), platform::kAttrHidden | platform::kAttrSystem));

  SetLastError(0);
  EXPECT_FALSE(platform::MoveNoReplace(file.c_str(), backup.c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(ReadFileBytes(backup), Bytes({'o', 'r', 'i', 'g', 'i', 'n', 'a', 'l'}));
  EXPECT_EQ(ReadFileBytes(file).size(), 7u);
  EXPECT_TRUE(platform::SetAttributes(backup.c_str(), platform::kAttrNormal));
}

TEST(Win32Files, AnOpenFileCannotBeMovedOrDeleted) {
  TempDir dir;
  std::string file = WinPath(dir, "open.upk");
  WriteFileText(file, "bytes");
  platform::File reader = platform::OpenRead(file.c_str());
  ASSERT_NE(reader, platform::kNoFile);
  EXPECT_FALSE(platform::MoveNoReplace(file.c_str(), WinPath(dir, "open.upk.bak").c_str()));
  EXPECT_FALSE(platform::DeletePath(file.c_str()));
  platform::Close(reader);
  EXPECT_TRUE(platform::DeletePath(file.c_str()));
}

// Each open names its access and what it shares; a second open succeeds
// only when each side shares what the other asks for.
struct SharingCase {
  const char* name;
  bool firstWrites;  // the first handle: CreateReadWrite, else OpenRead
  int second;        // 0: OpenRead, 1: OpenWrite(kOpenExisting), 2: CreateReadWrite
  bool secondOpens;
};

class Win32Sharing : public testing::TestWithParam<SharingCase> {};

TEST_P(Win32Sharing, SecondOpenFollowsTheShareModes) {
  const SharingCase& c = GetParam();
  TempDir dir;
  std::string path = WinPath(dir, "shared");
  WriteFileText(path, "x");
  platform::File first =
      c.firstWrites ? platform::CreateReadWrite(path.c_str()) : platform::OpenRead(path.c_str());
  ASSERT_NE(first, platform::kNoFile);
  SetLastError(0);
  platform::File second = c.second == 0   ? platform::OpenRead(path.c_str())
                          : c.second == 1 ? platform::OpenWrite(path.c_str(), platform::kOpenExisting)
                                          : platform::CreateReadWrite(path.c_str());
  EXPECT_EQ(second != platform::kNoFile, c.secondOpens);
  if (!c.secondOpens) {
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  }
  platform::Close(second);
  platform::Close(first);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Win32Sharing,
    testing::Values(SharingCase{"two_readers", false, 0, true},
                    SharingCase{"writer_while_reading", false, 1, false},
                    SharingCase{"rewrite_while_reading", false, 2, false},
                    // CreateReadWrite shares reading, but a reader shares no
                    // writing, and the first handle writes.
                    SharingCase{"reader_while_writing", true, 0, false},
                    // OpenWrite shares only writing; the first handle reads too.
                    SharingCase{"writer_while_read_write", true, 1, false},
                    SharingCase{"two_read_writes", true, 2, true}),
    [](const auto& info) { return info.param.name; });

TEST(Win32Files, CopyOverAnExistingFileReplacesItWhole) {
  TempDir dir;
  std::string backup = WinPath(dir, "Movie.usm.bak"), file = WinPath(dir, "Movie.usm");
  WriteFileText(backup, "original movie");
  WriteFileText(file, "patched movie, which was longer");
  ASSERT_TRUE(platform::CopyReplace(backup.c_str(), file.c_str()));
  EXPECT_EQ(ReadFileBytes(file), ReadFileBytes(backup));
  EXPECT_EQ(DosBits(file), 0u);
}

TEST(Win32Files, CopyCarriesHiddenAndSystemOverAnExistingFile) {
  TempDir dir;
  std::string backup = WinPath(dir, "a.bak"), file = WinPath(dir, "a");
  WriteFileText(backup, "original");
  WriteFileText(file, "patched");
  ASSERT_TRUE(platform::SetAttributes(backup.c_str(), platform::kAttrHidden | platform::kAttrSystem));
  ASSERT_TRUE(platform::CopyReplace(backup.c_str(), file.c_str()));
  // This is why a restore must reset the restored file's attributes.
  EXPECT_EQ(platform::GetAttributes(file.c_str()), 6u);
  platform::SetAttributes(file.c_str(), platform::kAttrNormal);
  platform::SetAttributes(backup.c_str(), platform::kAttrNormal);
}

TEST(Win32Files, CopyRefusesAHiddenOrReadOnlyTarget) {
  if (RunningUnderWine()) GTEST_SKIP() << "Wine overwrites a hidden or read-only target";
  TempDir dir;
  std::string source = WinPath(dir, "source"), target = WinPath(dir, "target");
  WriteFileText(source, "new");
  for (uint32_t attributes : {uint32_t(platform::kAttrHidden), uint32_t(platform::kAttrReadOnly)}) {
    SCOPED_TRACE(attributes);
    WriteFileText(target, "old");
    ASSERT_TRUE(platform::SetAttributes(target.c_str(), attributes));
    SetLastError(0);
    EXPECT_FALSE(platform::CopyReplace(source.c_str(), target.c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    ASSERT_TRUE(platform::SetAttributes(target.c_str(), platform::kAttrNormal));
    EXPECT_EQ(ReadFileBytes(target), Bytes({'o', 'l', 'd'}));
  }
}

// --- attributes ----------------------------------------------------------------

class Win32Attributes : public testing::TestWithParam<uint32_t> {};

TEST_P(Win32Attributes, ReadBackAsSet) {
  const uint32_t attributes = GetParam();
  TempDir dir;
  std::string path = WinPath(dir, "f.bak");
  WriteFileText(path, "x");
  EXPECT_EQ(platform::GetAttributes(path.c_str()), uint32_t(platform::kAttrNormal))
      << "a new file has only the archive bit, which is not reported";
  ASSERT_TRUE(platform::SetAttributes(path.c_str(), attributes));
  EXPECT_EQ(DosBits(path), attributes) << "what Windows itself reports";
  EXPECT_EQ(platform::GetAttributes(path.c_str()), attributes);
  ASSERT_TRUE(platform::SetAttributes(path.c_str(), platform::kAttrNormal));
  EXPECT_EQ(platform::GetAttributes(path.c_str()), uint32_t(platform::kAttrNormal));
  EXPECT_EQ(DosBits(path), 0u);
}

INSTANTIATE_TEST_SUITE_P(Values, Win32Attributes,
                         testing::Values(platform::kAttrHidden, platform::kAttrSystem,
                                         platform::kAttrHidden | platform::kAttrSystem,
                                         platform::kAttrReadOnly,
                                         platform::kAttrReadOnly | platform::kAttrHidden));

TEST(Win32Attributes, HiddenFilesCanBeDeletedReadOnlyOnesCannot) {
  TempDir dir;
  std::string hidden = WinPath(dir, "hidden"), readOnly = WinPath(dir, "read-only");
  WriteFileText(hidden, "h");
  WriteFileText(readOnly, "r");
  ASSERT_TRUE(platform::SetAttributes(hidden.c_str(), platform::kAttrHidden | platform::kAttrSystem));
  ASSERT_TRUE(platform::SetAttributes(readOnly.c_str(), platform::kAttrReadOnly));
  EXPECT_TRUE(platform::DeletePath(hidden.c_str()));
  SetLastError(0);
  EXPECT_FALSE(platform::DeletePath(readOnly.c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  ASSERT_TRUE(platform::SetAttributes(readOnly.c_str(), platform::kAttrNormal));
  EXPECT_TRUE(platform::DeletePath(readOnly.c_str()));
}

// --- mapping ---------------------------------------------------------------------

TEST(Win32Mapping, AnEmptyFileIsRefusedAndNotExtended) {
  TempDir dir;
  std::string path = WinPath(dir, "empty.usm");
  WriteFileText(path, "");
  platform::File f = platform::OpenRead(path.c_str());
  ASSERT_NE(f, platform::kNoFile);
  // Windows itself refuses to map a file of no bytes.
  SetLastError(0);
  HANDLE mapping = CreateFileMappingA(reinterpret_cast<HANDLE>(f), nullptr, PAGE_READONLY, 0, 0, nullptr);
  EXPECT_EQ(mapping, nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_INVALID));
  if (mapping != nullptr) CloseHandle(mapping);

  platform::MappedView view;
  EXPECT_FALSE(platform::MapReadOnly(f, 0, &view));
  EXPECT_FALSE(platform::MapReadOnly(f, 16, &view)) << "a read-only mapping cannot grow the file";
  EXPECT_EQ(view.data, nullptr);
  EXPECT_EQ(view.handle, 0);
  EXPECT_EQ(platform::FileSize(f), 0u);
  platform::Close(f);
}

TEST(Win32Mapping, MapsThePrefixAndReleasesTheMapping) {
  TempDir dir;
  std::string path = WinPath(dir, "movie.usm");
  WriteFileText(path, "CRIDmovie bytes");
  platform::File f = platform::OpenRead(path.c_str());
  platform::MappedView view;
  ASSERT_TRUE(platform::MapReadOnly(f, 4, &view));
  EXPECT_NE(view.handle, 0) << "the mapping object is kept for Unmap";
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(view.data), view.size), "CRID");
  platform::Unmap(&view);
  EXPECT_EQ(view.data, nullptr);
  EXPECT_EQ(view.handle, 0);
  platform::Close(f);
  // With the view and the mapping gone, nothing holds the file.
  EXPECT_TRUE(platform::DeletePath(path.c_str()));
}

TEST(Win32Mapping, AFileOpenOnlyForWritingCannotBeMapped) {
  TempDir dir;
  std::string path = WinPath(dir, "w");
  WriteFileText(path, "data");
  platform::File f = platform::OpenWrite(path.c_str(), platform::kOpenExisting);
  ASSERT_NE(f, platform::kNoFile);
  platform::MappedView view;
  EXPECT_FALSE(platform::MapReadOnly(f, 4, &view));
  platform::Close(f);
}

// --- process -------------------------------------------------------------------

TEST(Win32Process, ForwardSlashesAreAcceptedAndOnlyBackslashSeparates) {
  TempDir dir;
  std::string path = dir.path() + "/forward.upk";
  platform::File f = platform::CreateReadWrite(path.c_str());
  ASSERT_NE(f, platform::kNoFile);
  platform::Close(f);
  EXPECT_TRUE(fixtures::FileExists(WinPath(dir, "forward.upk")));
  // A name is bare unless it holds a backslash, as the dictionary loader
  // decides it on Windows.
  EXPECT_TRUE(platform::IsPathSeparator('\\'));
  EXPECT_FALSE(platform::IsPathSeparator('/'));
}

TEST(Win32Process, CurrentDirectoryIsADrivePath) {
  char buffer[MAX_PATH];
  uint32_t length = platform::CurrentDirectory(buffer, sizeof buffer);
  ASSERT_GT(length, 2u);
  EXPECT_EQ(buffer[1], ':') << buffer;
  // Exactly big enough (length + terminator) fits; one byte less does not.
  std::string exact(length + 1, '\0');
  EXPECT_EQ(platform::CurrentDirectory(exact.data(), length + 1), length);
  EXPECT_EQ(platform::CurrentDirectory(exact.data(), length), 0u);
}

// --- console -------------------------------------------------------------------

// Runs print with standard output sent to a file and returns what reached it.
template <typename Print>
std::string CaptureStdout(const TempDir& dir, Print print) {
  std::string path = WinPath(dir, "stdout.txt");
  fflush(stdout);
  int saved = _dup(_fileno(stdout));
  int file = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_TEXT, 0600);
  if (saved < 0 || file < 0) return "(stdout could not be redirected)";
  _dup2(file, _fileno(stdout));
  print();
  fflush(stdout);
  _dup2(saved, _fileno(stdout));
  _close(saved);
  _close(file);
  Bytes bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

TEST(Win32Console, GbkBytesGoOutUnchangedInTextMode) {
  TempDir dir;
  // "正在汉化 (%d / %d)...\r" and "汉化完毕\n" in GBK.
  std::string out = CaptureStdout(dir, [] {
    platform::ConsolePrintf("\xD5\xFD\xD4\xDA\xBA\xBA\xBB\xAF (%d / %d)...\r", 1698, 1698);
    platform::ConsolePrintf("\xBA\xBA\xBB\xAF\xCD\xEA\xB1\xCF\n");
    // Sizes as the tools print them, which the old C runtime's printf lacks.
    platform::ConsolePrintf("%zu %llu %s", size_t(42), 1ull << 40, "C:\\Games");
  });
  EXPECT_EQ(out,
            "\xD5\xFD\xD4\xDA\xBA\xBA\xBB\xAF (1698 / 1698)...\r"
            "\xBA\xBA\xBB\xAF\xCD\xEA\xB1\xCF\r\n"
            "42 1099511627776 C:\\Games");
}

}  // namespace
