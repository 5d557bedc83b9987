// Tests of the driver's runs with fake patchers on a temporary game folder:
// which file each patcher is handed, what the disk looks like at that moment,
// what reaches the console and in which order.
#include "driver/driver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/target_files.h"
#include "platform/fault_injection.h"
#include "platform/platform.h"
#include "tests/support/capture_stdout.h"
#include "tests/support/console_text.h"
#include "tests/support/files.h"

namespace {

using driver::kMovieCount;
using driver::kPackageCount;
using driver::kTargetFiles;
using fixtures::Bytes;
using fixtures::FileExists;
using fixtures::ReadFileBytes;
using fixtures::TempDir;
using fixtures::WriteFileText;

constexpr int kEmptyEntry = 709;
constexpr uint32_t kHiddenSystem = platform::kAttrHidden | platform::kAttrSystem;

using fixtures::ProgressLine;
using fixtures::ProgressLines;
using fixtures::SameBytes;
const std::string& kPatchingGbk = fixtures::kGbkTexts.patching;
const std::string& kRestoringGbk = fixtures::kGbkTexts.restoring;
const std::string& kDoneGbk = fixtures::kGbkTexts.done;

// What a fake patcher saw at the moment it was called.
struct Call {
  std::string backupPath;
  bool shippedExists;
  bool backupExists;
  uint32_t backupAttributes;
};

std::vector<Call> g_movieCalls, g_packageCalls;

Call Observe(char* backupPath) {
  std::string backup(backupPath);
  std::string shipped = backup.substr(0, backup.size() - 4);
  return Call{backup, platform::GetAttributes(shipped.c_str()) != platform::kAttrInvalid,
              platform::GetAttributes(backup.c_str()) != platform::kAttrInvalid,
              platform::GetAttributes(backup.c_str())};
}

// What the fakes write to the console when called, so that the output shows
// where each call falls among the progress lines.
constexpr char kMovieMark[] = "<movie>";
constexpr char kPackageMark[] = "<package>";

// Behave like the real patchers: cut ".bak" off in place and write the
// shipped file anew from the backup, marked so the test can tell. Paths go
// through the platform layer, which knows the backslash.
void RebuildFrom(char* backupPath) {
  platform::File in = platform::OpenRead(backupPath);
  backupPath[strlen(backupPath) - 4] = '\0';
  if (in == platform::kNoFile) return;
  char buffer[256];
  int64_t n = platform::Read(in, buffer, sizeof buffer);
  platform::Close(in);
  platform::File out = platform::CreateReadWrite(backupPath);
  platform::Write(out, "patched:", 8);
  if (n > 0) platform::Write(out, buffer, uint32_t(n));
  platform::Close(out);
}

void FakeMovie(char* backupPath) {
  g_movieCalls.push_back(Observe(backupPath));
  platform::ConsolePrintf("%s", kMovieMark);
  RebuildFrom(backupPath);
}

int FakePackage(char* backupPath) {
  g_packageCalls.push_back(Observe(backupPath));
  platform::ConsolePrintf("%s", kPackageMark);
  RebuildFrom(backupPath);
  return -1;  // a result the driver must ignore
}

constexpr driver::Patchers kFakes{FakeMovie, FakePackage};

// The console output of an eng2chs run with the fakes: the four movies
// without progress lines, then each package's progress line directly before
// its patcher call, then the closing line.
std::string Eng2ChsOutputWithFakes() {
  std::string text;
  for (int k = 0; k < kMovieCount; ++k) text += kMovieMark;
  for (int i = 1; i <= kPackageCount; ++i) text += ProgressLine(kPatchingGbk, i) + kPackageMark;
  return text + kDoneGbk;
}

std::string Text(const std::string& path) {
  Bytes bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

bool AttributesWork(const TempDir& dir) {
  std::string probe = dir.File("attribute-probe");
  WriteFileText(probe, "x");
  bool works = platform::SetAttributes(probe.c_str(), kHiddenSystem);
  std::remove(probe.c_str());
  return works;
}

class DriverRun : public ::testing::Test {
 protected:
  void SetUp() override {
    g_movieCalls.clear();
    g_packageCalls.clear();
    ASSERT_TRUE(std::filesystem::create_directory(packages_));
    ASSERT_TRUE(std::filesystem::create_directory(movies_));
    attributes_ = AttributesWork(root_);
    platform::ConsoleSetUtf8(false);  // raw GBK, whatever the test's locale
  }

  std::string Package(int i) const { return packages_ + "/" + kTargetFiles[i]; }
  std::string Movie(int k) const { return movies_ + "/" + kTargetFiles[kPackageCount + k]; }

  std::string Eng2Chs() {
    fixtures::CaptureStdout capture;
    driver::Eng2Chs(packages_.c_str(), movies_.c_str(), kFakes);
    return capture.Finish();
  }
  std::string Chs2Eng() {
    fixtures::CaptureStdout capture;
    driver::Chs2Eng(packages_.c_str(), movies_.c_str());
    return capture.Finish();
  }

  TempDir root_;
  std::string packages_ = root_.File("CookedPC");
  std::string movies_ = root_.File("Movies");
  bool attributes_ = false;
};

TEST(DriverPaths, JoinWithOneBackslashAndAppendBak) {
  struct Case {
    const char* dir;
    const char* name;
    const char* file;
  } cases[] = {
      {"C:\\Game\\CookedPC", "Startup.upk", "C:\\Game\\CookedPC\\Startup.upk"},
      {"dir\\", "a.upk", "dir\\\\a.upk"},  // a trailing separator is kept: doubled
      {"/games/x", "a.usm", "/games/x\\a.usm"},
      {"dir", "", "dir\\"},  // the empty entry
      {"", "a.upk", "\\a.upk"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(driver::FilePath(c.dir, c.name), c.file) << c.dir << " + " << c.name;
    EXPECT_EQ(driver::BackupPath(c.file), std::string(c.file) + ".bak");
  }
}

TEST_F(DriverRun, Eng2ChsBacksUpEveryFileBeforeItsPatcherRuns) {
  const int present[] = {0, 1, 708, 710, kPackageCount - 1};
  for (int i : present) WriteFileText(Package(i), "package " + std::to_string(i));
  for (int k = 0; k < kMovieCount; ++k) WriteFileText(Movie(k), "movie " + std::to_string(k));

  std::string out = Eng2Chs();

  // Movies first, in list order, each with its own backup path.
  ASSERT_EQ(g_movieCalls.size(), size_t(kMovieCount));
  for (int k = 0; k < kMovieCount; ++k) {
    const Call& call = g_movieCalls[k];
    EXPECT_EQ(call.backupPath, movies_ + "\\" + kTargetFiles[kPackageCount + k] + ".bak");
    EXPECT_FALSE(call.shippedExists) << "moved aside before the patcher runs";
    EXPECT_TRUE(call.backupExists);
    if (attributes_) { EXPECT_EQ(call.backupAttributes, kHiddenSystem); }
  }
  // Then every package, missing ones included.
  ASSERT_EQ(g_packageCalls.size(), size_t(kPackageCount));
  for (int i = 0; i < kPackageCount; ++i)
    ASSERT_EQ(g_packageCalls[i].backupPath, packages_ + "\\" + kTargetFiles[i] + ".bak") << i;
  for (int i : present) {
    EXPECT_TRUE(g_packageCalls[i].backupExists) << i;
    EXPECT_FALSE(g_packageCalls[i].shippedExists) << i;
    if (attributes_) { EXPECT_EQ(g_packageCalls[i].backupAttributes, kHiddenSystem) << i; }
    EXPECT_EQ(ReadFileBytes(Package(i) + ".bak").size(), ("package " + std::to_string(i)).size());
  }
  EXPECT_FALSE(g_packageCalls[2].backupExists) << "a missing file makes no backup";
  EXPECT_EQ(g_packageCalls[kEmptyEntry].backupPath, packages_ + "\\.bak");

  EXPECT_TRUE(SameBytes(out, Eng2ChsOutputWithFakes()));
}

TEST_F(DriverRun, SecondEng2ChsKeepsTheFirstBackupAndRebuildsFromIt) {
  WriteFileText(Package(0), "original");
  WriteFileText(Movie(0), "film");
  Eng2Chs();
  ASSERT_EQ(Text(Package(0)), "patched:original");

  g_movieCalls.clear();
  g_packageCalls.clear();
  Eng2Chs();
  EXPECT_EQ(Text(Package(0) + ".bak"), "original") << "the backup must never be replaced";
  EXPECT_EQ(Text(Package(0)), "patched:original");
  EXPECT_EQ(Text(Movie(0) + ".bak"), "film");
  EXPECT_EQ(Text(Movie(0)), "patched:film");
  EXPECT_EQ(g_packageCalls.size(), size_t(kPackageCount));
}

TEST_F(DriverRun, MissingFileIsRebuiltFromItsBackupWhichIsHiddenAgain) {
  std::string backup = Package(5) + ".bak";
  WriteFileText(backup, "original");
  platform::SetAttributes(backup.c_str(), platform::kAttrNormal);

  Eng2Chs();
  EXPECT_TRUE(g_packageCalls[5].backupExists);
  if (attributes_) { EXPECT_EQ(g_packageCalls[5].backupAttributes, kHiddenSystem); }
  EXPECT_EQ(Text(Package(5)), "patched:original");
}

// Patchers that stop before they create the file, as when the backup
// cannot be opened.
void GiveUpMovie(char* backupPath) { g_movieCalls.push_back(Observe(backupPath)); }
int GiveUpPackage(char* backupPath) {
  g_packageCalls.push_back(Observe(backupPath));
  return -1;
}

TEST_F(DriverRun, FileThatAPatcherLeavesMissingGetsItsBackupBack) {
  WriteFileText(Package(3), "package original");
  WriteFileText(Movie(1), "movie original");
  {
    fixtures::CaptureStdout capture;
    driver::Eng2Chs(packages_.c_str(), movies_.c_str(), driver::Patchers{GiveUpMovie, GiveUpPackage});
  }
  for (const auto& [path, text] : {std::pair{Package(3), "package original"}, {Movie(1), "movie original"}}) {
    EXPECT_EQ(Text(path), text) << "the game keeps its file";
    EXPECT_EQ(Text(path + ".bak"), text);
    if (attributes_) {
      EXPECT_EQ(platform::GetAttributes(path.c_str()), platform::kAttrNormal) << path;
      EXPECT_EQ(platform::GetAttributes((path + ".bak").c_str()), kHiddenSystem) << path;
    }
  }
  EXPECT_FALSE(FileExists(Package(4))) << "nothing is made where there is no backup";
}

TEST_F(DriverRun, Chs2EngCopiesBackupsBackWithNormalAttributes) {
  WriteFileText(Package(0), "pkg original");
  WriteFileText(Package(kPackageCount - 1), "last original");
  WriteFileText(Movie(3), "movie original");
  WriteFileText(Package(7), "no backup: left alone");
  Eng2Chs();
  std::remove(Package(7).c_str());
  WriteFileText(Package(7), "no backup: left alone");

  std::string out = Chs2Eng();

  EXPECT_TRUE(SameBytes(out, ProgressLines(kRestoringGbk))) << "no closing line";
  for (const std::string& path : {Package(0), Package(kPackageCount - 1), Movie(3)}) {
    EXPECT_EQ(ReadFileBytes(path), ReadFileBytes(path + ".bak")) << path;
    if (attributes_) {
      EXPECT_EQ(platform::GetAttributes(path.c_str()), platform::kAttrNormal)
          << path << ": a restored file must not stay hidden";
      EXPECT_EQ(platform::GetAttributes((path + ".bak").c_str()), kHiddenSystem)
          << path << ": the backup stays";
    }
  }
  EXPECT_EQ(Text(Package(7)), "no backup: left alone");
  EXPECT_FALSE(FileExists(Package(1))) << "nothing is made from a missing backup";
}

// chs2eng's restore policy: a copy that fails over the patched file is
// tried again once the patched file is gone; when no copy can be made (a
// full disk), the backup itself is moved back; a file that cannot be put
// back at all is named.
TEST_F(DriverRun, Chs2EngPutsEveryFileBackOrNamesIt) {
  struct Case {
    const char* name;
    bool needsFaults;
    void (*arm)();
    const char* file;      // what Package(0) holds afterwards
    bool backupKept;
    bool named;
  } cases[] = {
      {"the first copy fails", true, [] { platform::faults::FailCall(platform::faults::kCopy, kMovieCount + 1); },
       "original", true, false},
      {"the disk is full", true, [] { platform::faults::FillDisk(platform::faults::kCopy, 1); }, "original",
       false, false},
      {"a folder stands at the file's name", false, nullptr, nullptr, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.needsFaults && !platform::faults::Available()) continue;
    std::filesystem::remove_all(packages_);
    std::filesystem::create_directory(packages_);
    WriteFileText(Package(0), "original");
    Eng2Chs();
    if (c.file == nullptr) {
      std::filesystem::remove(Package(0));
      std::filesystem::create_directories(Package(0) + "/inside");
    }
    platform::faults::Clear();
    if (c.arm) c.arm();
    const std::string out = Chs2Eng();
    platform::faults::Clear();

    // "还原文件[%s]失败\n" in GBK.
    const std::string named = "\xBB\xB9\xD4\xAD\xCE\xC4\xBC\xFE[" + packages_ + "\\" + kTargetFiles[0] +
                              "]\xCA\xA7\xB0\xDC\n";
    EXPECT_EQ(out.find(named) != std::string::npos, c.named) << out.substr(0, 200);
    if (c.file) {
      EXPECT_EQ(Text(Package(0)), c.file);
      if (attributes_) { EXPECT_EQ(platform::GetAttributes(Package(0).c_str()), platform::kAttrNormal); }
    } else {
      EXPECT_TRUE(std::filesystem::is_directory(Package(0) + "/inside")) << "what stands there is left alone";
    }
    EXPECT_EQ(FileExists(Package(0) + ".bak"), c.backupKept);
    if (c.backupKept) { EXPECT_EQ(Text(Package(0) + ".bak"), "original"); }
  }
}

// An observer hears of every listed file once, in list order, with what
// became of it and its size; the console output stays the same.
TEST_F(DriverRun, ObserverHearsOfEveryFile) {
  WriteFileText(Package(1), "package");
  WriteFileText(Movie(2), "movie");
  struct Heard {
    std::vector<driver::FileReport> reports;
    std::vector<std::string> paths;
  } heard;
  driver::Observer observer{&heard, [](void* context, const driver::FileReport& report) {
                              auto* h = static_cast<Heard*>(context);
                              h->reports.push_back(report);
                              h->paths.push_back(report.path);
                            }};
  std::string out;
  {
    fixtures::CaptureStdout capture;
    driver::Eng2Chs(packages_.c_str(), movies_.c_str(), kFakes, &observer);
    out = capture.Finish();
  }
  EXPECT_TRUE(SameBytes(out, Eng2ChsOutputWithFakes()));
  const auto check = [&](backup::Outcome movie, backup::Outcome package, uint64_t movieSize, uint64_t packageSize) {
    ASSERT_EQ(heard.reports.size(), size_t(driver::kTargetFileCount));
    for (int n = 0; n < driver::kTargetFileCount; ++n) {
      const driver::FileReport& r = heard.reports[n];
      EXPECT_EQ(r.number, n + 1);
      const bool isMovie = n < kMovieCount;
      const std::string path = isMovie ? movies_ + "\\" + kTargetFiles[kPackageCount + n]
                                       : packages_ + "\\" + kTargetFiles[n - kMovieCount];
      EXPECT_EQ(heard.paths[n], path);
      if (n == 2 || n == kMovieCount + 1) {
        EXPECT_EQ(r.outcome, isMovie ? movie : package) << n;
        EXPECT_EQ(r.size, isMovie ? movieSize : packageSize) << n;
      } else {
        EXPECT_EQ(r.outcome, backup::Outcome::kMissing) << n;
        EXPECT_EQ(r.size, 0u) << n;
      }
    }
  };
  // The fake package patcher reports a failure, so its file counts as put back.
  check(backup::Outcome::kPatched, backup::Outcome::kRestored, 13, 15);
  heard = Heard{};
  {
    fixtures::CaptureStdout capture;
    driver::Chs2Eng(packages_.c_str(), movies_.c_str(), &observer);
    EXPECT_TRUE(SameBytes(capture.Finish(), ProgressLines(kRestoringGbk)));
  }
  check(backup::Outcome::kRestored, backup::Outcome::kRestored, 5, 7);
}

// The empty entry names the package directory itself ("DIR\" is "DIR/" on
// POSIX). Moving a directory into itself, copying over a directory and
// creating a file under a directory's name all fail, so the entry must pass
// without touching the directory or anything in it.
TEST_F(DriverRun, LeftoverTemporariesOfListedFilesGoOthersStay) {
  // What a run killed between naming a temporary file and renaming it
  // leaves behind; only files of this program beside listed files go.
  const std::string leftover = Package(3) + ".~hanhua-0123456789abcdef";
  const std::string backupLeftover = Movie(1) + ".bak.~hanhua-fedcba9876543210";
  const std::vector<std::string> kept = {packages_ + "/chs.txt.~hanhua-0123456789abcdef",
                                         Package(3) + ".~hanhua-0123", Package(3) + ".~hanhua-0123456789abcdeg"};
  for (const std::string& path : kept) WriteFileText(path, "keep");
  WriteFileText(leftover, "partial");
  WriteFileText(backupLeftover, "partial");
  Chs2Eng();
  EXPECT_FALSE(fixtures::FileExists(leftover));
  EXPECT_FALSE(fixtures::FileExists(backupLeftover));
  for (const std::string& path : kept) EXPECT_TRUE(fixtures::FileExists(path)) << path;
}

TEST_F(DriverRun, EmptyEntryLeavesThePackageDirectoryAlone) {
  WriteFileText(Package(0), "first");
  Eng2Chs();
  Chs2Eng();
  EXPECT_TRUE(std::filesystem::is_directory(packages_));
  EXPECT_FALSE(FileExists(packages_ + "/.bak"));
  EXPECT_TRUE(FileExists(Package(0) + ".bak"));
  EXPECT_EQ(Text(Package(0)), "first");
  EXPECT_FALSE(FileExists(root_.File("CookedPC.bak")));
}

TEST_F(DriverRun, EmptyEntryWithAStrayDotBakFileLosesNothing) {
  // A file named ".bak" in the package directory is what the empty entry's
  // backup path names. It gets hidden like a backup, but the copy back over
  // "DIR/" fails and neither the file nor the directory is harmed.
  std::string stray = packages_ + "/.bak";
  WriteFileText(stray, "stray");
  Eng2Chs();
  Chs2Eng();
  EXPECT_TRUE(std::filesystem::is_directory(packages_));
  EXPECT_EQ(Text(stray), "stray");
  EXPECT_FALSE(FileExists(packages_ + "/.hanhua-copy")) << "no temporary copy left behind";
}

TEST(DriverCommandLine, SelectsTheRunOrEchoes) {
  struct Case {
    std::vector<std::string> args;
    enum { kEng2Chs, kChs2Eng, kEcho } expect;
  } cases[] = {
      {{"hanhua", "eng2chs", "P", "M"}, Case::kEng2Chs},
      {{"hanhua", "chs2eng", "P", "M"}, Case::kChs2Eng},
      {{"hanhua"}, Case::kEcho},
      {{"hanhua", "eng2chs"}, Case::kEcho},
      {{"hanhua", "eng2chs", "P"}, Case::kEcho},
      {{"hanhua", "eng2chs", "P", "M", "extra"}, Case::kEcho},
      {{"hanhua", "ENG2CHS", "P", "M"}, Case::kEcho},
      {{"hanhua", "Chs2eng", "P", "M"}, Case::kEcho},
      {{"hanhua", "eng2chs ", "P", "M"}, Case::kEcho},
      {{"hanhua", "eng2ch", "P", "M"}, Case::kEcho},
      {{"hanhua", "", "", ""}, Case::kEcho},
  };
  TempDir dir;
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    // Directories that do not exist: nothing can be touched.
    for (size_t i = 2; i < args.size() && i < 4; ++i) args[i] = dir.File(args[i]);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    g_movieCalls.clear();
    g_packageCalls.clear();
    platform::ConsoleSetUtf8(false);

    fixtures::CaptureStdout capture;
    int code = driver::Run(int(args.size()), argv.data(), kFakes);
    std::string out = capture.Finish();

    std::string label = c.args.size() > 1 ? c.args[1] : "(none)";
    label += " / " + std::to_string(c.args.size()) + " args";
    EXPECT_EQ(code, 0) << label;
    switch (c.expect) {
      case Case::kEng2Chs:
        EXPECT_TRUE(SameBytes(out, Eng2ChsOutputWithFakes())) << label;
        EXPECT_EQ(g_packageCalls.size(), size_t(kPackageCount)) << label;
        EXPECT_EQ(g_movieCalls.size(), size_t(kMovieCount)) << label;
        break;
      case Case::kChs2Eng:
        EXPECT_TRUE(SameBytes(out, ProgressLines(kRestoringGbk))) << label;
        EXPECT_TRUE(g_packageCalls.empty()) << "restoring patches nothing";
        break;
      case Case::kEcho: {
        std::string expected;
        for (size_t i = 0; i < args.size(); ++i)
          expected += "argv[" + std::to_string(i) + "]," + args[i] + "\n";
        EXPECT_EQ(out, expected) << label;
        EXPECT_TRUE(g_packageCalls.empty() && g_movieCalls.empty()) << label;
        break;
      }
    }
  }
}

}  // namespace
