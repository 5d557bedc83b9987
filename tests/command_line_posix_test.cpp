// End-to-end tests of the hanhua program: the built binary is run on a
// temporary game folder with a chosen locale, and its exit code, its console
// bytes and the files it leaves are checked.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "bench/corpus.h"
#include "driver/target_files.h"
#include "tests/support/console_text.h"
#include "tests/support/demo_game.h"
#include "tests/support/dir_state.h"
#include "tests/support/files.h"

namespace {

using driver::kMovieCount;
using driver::kPackageCount;
using driver::kTargetFiles;
using fixtures::Bytes;
using fixtures::FileExists;
using fixtures::ReadFileBytes;
using fixtures::TempDir;
using fixtures::WriteFileBytes;
using fixtures::WriteFileText;

constexpr int kEmptyEntry = 709;

using fixtures::kGbkTexts;
using fixtures::kUtf8Texts;
using fixtures::ProgressLines;
using fixtures::SameBytes;

struct Result {
  int exitCode = -1;
  std::string out;
};

// Runs the program with exactly these arguments (argv[0] included) and
// environment variables, in directory cwd, and collects standard output.
Result RunProgram(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
                  const std::string& cwd) {
  std::map<std::string, std::string> environment = env;
  // Only the sanitizers' settings and PATH come from outside: the locale
  // variables of the test runner must not leak in.
  for (const char* keep : {"PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
    if (const char* value = getenv(keep); value != nullptr && !environment.count(keep))
      environment[keep] = value;
  std::vector<std::string> envStrings;
  for (const auto& [name, value] : environment) envStrings.push_back(name + "=" + value);

  std::vector<char*> argv, envp;
  std::vector<std::string> argsCopy = args;
  for (std::string& a : argsCopy) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (std::string& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);

  Result result;
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return result;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    close(pipeFds[0]);
    close(pipeFds[1]);
    if (chdir(cwd.c_str()) != 0) _exit(126);
    execve(HANHUA_BINARY, argv.data(), envp.data());
    _exit(127);
  }
  close(pipeFds[1]);
  char buffer[65536];
  ssize_t n;
  while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) result.out.append(buffer, size_t(n));
  close(pipeFds[0]);
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
    result.exitCode = WEXITSTATUS(status);
  return result;
}

// A game folder: CookedPC (packages) and Movies, with chs.txt beside them.
class GameFolder {
 public:
  GameFolder() {
    mkdir(packages.c_str(), 0755);
    mkdir(movies.c_str(), 0755);
  }
  Result Run(const std::string& command, const std::string& locale = "C") {
    return RunProgram({HANHUA_BINARY, command, packages, movies}, {{"LC_ALL", locale}}, root.path());
  }
  std::string Package(int i) const { return packages + "/" + kTargetFiles[i]; }
  std::string Movie(int k) const { return movies + "/" + kTargetFiles[kPackageCount + k]; }

  TempDir root;
  std::string packages = root.File("CookedPC");
  std::string movies = root.File("Movies");
};

// The DOS attributes as Wine and Samba keep them: "" when there are none.
std::string DosAttribute(const std::string& path) {
  char value[64] = {};
  ssize_t n = getxattr(path.c_str(), "user.DOSATTRIB", value, sizeof value - 1);
  return n > 0 ? std::string(value, size_t(n)) : std::string();
}

bool AttributesWork(const std::string& dir) {
  std::string probe = dir + "/attribute-probe";
  WriteFileText(probe, "x");
  bool works = setxattr(probe.c_str(), "user.DOSATTRIB", "0x6", 3, 0) == 0;
  unlink(probe.c_str());
  return works;
}

TEST(HanhuaConsole, MessagesAreGbkBytesOrUtf8AfterTheLocale) {
  struct Case {
    std::map<std::string, std::string> env;
    const fixtures::DriverTexts* texts;
    const char* why;
  } cases[] = {
      {{{"LC_ALL", "C"}}, &kGbkTexts, "C locale: the raw GBK bytes"},
      {{}, &kGbkTexts, "no locale at all"},
      {{{"LC_ALL", "C.UTF-8"}}, &kUtf8Texts, "UTF-8 locale: converted"},
      {{{"LANG", "C.UTF-8"}}, &kUtf8Texts, "LANG alone"},
      {{{"LC_ALL", "C"}, {"LANG", "C.UTF-8"}}, &kGbkTexts, "LC_ALL wins over LANG"},
      {{{"LC_ALL", "xx_YY.UTF-8"}}, &kUtf8Texts, "a UTF-8 locale that is not installed"},
      {{{"LC_ALL", "xx_YY"}}, &kGbkTexts, "an unknown locale without UTF-8 in its name"},
  };
  for (const Case& c : cases) {
    GameFolder game;  // empty: every file is missing, so only progress is printed
    Result restore = RunProgram({HANHUA_BINARY, "chs2eng", game.packages, game.movies}, c.env,
                                game.root.path());
    EXPECT_EQ(restore.exitCode, 0) << c.why;
    EXPECT_TRUE(SameBytes(restore.out, ProgressLines(c.texts->restoring))) << c.why;
    Result patch = RunProgram({HANHUA_BINARY, "eng2chs", game.packages, game.movies}, c.env,
                              game.root.path());
    EXPECT_EQ(patch.exitCode, 0) << c.why;
    EXPECT_TRUE(SameBytes(patch.out, ProgressLines(c.texts->patching) + c.texts->done)) << c.why;
  }
}

TEST(HanhuaConsole, EchoesAnyOtherCommandLineByteForByte) {
  // Arguments reach the console as they came, in every locale: a UTF-8
  // path on a UTF-8 terminal must not be taken for GBK and garbled.
  const std::string program = HANHUA_BINARY;
  struct Case {
    std::vector<std::string> args;
  } cases[] = {
      {{program}},
      {{program, "eng2chs"}},
      {{program, "eng2chs", "P"}},
      {{program, "ENG2CHS", "P", "M"}},
      {{program, "Chs2Eng", "P", "M"}},
      {{program, "eng2chs", "P", "M", "extra"}},
      {{program, "chs2eng", "P", "M", "x", "y"}},
      {{program, "汉化", "/游戏/CookedPC", "电影"}},
      {{program, "100%", "%s%n%d", ""}},
      {{"hanhua-renamed", "help"}},
  };
  TempDir cwd;
  for (const char* locale : {"C", "C.UTF-8"}) {
    for (const Case& c : cases) {
      std::string expected;
      for (size_t i = 0; i < c.args.size(); ++i)
        expected += "argv[" + std::to_string(i) + "]," + c.args[i] + "\n";
      Result r = RunProgram(c.args, {{"LC_ALL", locale}}, cwd.path());
      EXPECT_EQ(r.exitCode, 0) << locale << " " << c.args.size() << " args";
      EXPECT_EQ(r.out, expected) << locale;
    }
  }
}

TEST(HanhuaRestore, BeforeAnyPatchTouchesNothing) {
  GameFolder game;
  WriteFileText(game.Package(0), "shipped");
  WriteFileText(game.Movie(0), "movie");
  Result r = game.Run("chs2eng");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(SameBytes(r.out, ProgressLines(kGbkTexts.restoring)));
  EXPECT_EQ(ReadFileBytes(game.Package(0)), Bytes({'s', 'h', 'i', 'p', 'p', 'e', 'd'}));
  EXPECT_EQ(ReadFileBytes(game.Movie(0)).size(), 5u);
  EXPECT_FALSE(FileExists(game.Package(1)));
  EXPECT_FALSE(FileExists(game.Package(0) + ".bak"));
}

TEST(HanhuaPaths, DirectoriesWithATrailingSeparatorStillWork) {
  // "DIR\" + "\" + name doubles the separator; the doubled one is harmless.
  GameFolder game;
  WriteFileText(game.Package(3), "three");
  Result restore = RunProgram({HANHUA_BINARY, "eng2chs", game.packages + "\\", game.movies + "/"},
                              {{"LC_ALL", "C"}}, game.root.path());
  EXPECT_EQ(restore.exitCode, 0);
  EXPECT_EQ(ReadFileBytes(game.Package(3) + ".bak"), Bytes({'t', 'h', 'r', 'e', 'e'}));
  if (AttributesWork(game.root.path())) {
    EXPECT_EQ(DosAttribute(game.Package(3) + ".bak"), "0x6");
  }
}

// A demo game install in a temporary folder, with every listed file's
// original bytes kept for comparison.
class HanhuaOnDemoGame : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fixtures::WriteDemoGame(root_.path()));
    attributes_ = AttributesWork(root_.path());
    for (int i = 0; i < driver::kTargetFileCount; ++i) {
      if (kTargetFiles[i][0] == '\0') continue;
      original_[Path(i)] = ReadFileBytes(Path(i));
    }
  }

  std::string Path(int i) const {
    return root_.path() + "/" + (i < kPackageCount ? "CookedPC/" : "Movies/") + kTargetFiles[i];
  }
  // Takes the demo dictionary away, so every package comes out as its plain
  // uncompressed form and can be compared with the independently computed
  // layout (translated packages are checked by the dialogue tests).
  void RemoveDictionary() { ASSERT_EQ(unlink((root_.path() + "/chs.txt").c_str()), 0); }
  Result Run(const std::string& command) {
    return RunProgram({HANHUA_BINARY, command, "CookedPC", "Movies"}, {{"LC_ALL", "C"}}, root_.path());
  }
  // The listed files that hold other bytes than the original, by path.
  std::vector<std::string> ChangedFiles() const {
    std::vector<std::string> changed;
    for (const auto& [path, bytes] : original_)
      if (ReadFileBytes(path) != bytes) changed.push_back(path);
    return changed;
  }

  TempDir root_;
  bool attributes_ = false;
  std::map<std::string, Bytes> original_;
};

TEST_F(HanhuaOnDemoGame, PatchRebuildsEveryFileAndRestoreBringsBackTheOriginals) {
  RemoveDictionary();
  Result patch = Run("eng2chs");
  EXPECT_EQ(patch.exitCode, 0);
  EXPECT_TRUE(SameBytes(patch.out, ProgressLines(kGbkTexts.patching) + kGbkTexts.done))
      << "a healthy game prints nothing but progress";

  for (const auto& [path, bytes] : original_) {
    ASSERT_EQ(ReadFileBytes(path + ".bak"), bytes) << path << ": the backup is the original";
    if (attributes_) {
      EXPECT_EQ(DosAttribute(path + ".bak"), "0x6") << path;
      EXPECT_EQ(DosAttribute(path), "") << path << ": the rebuilt file is not hidden";
    }
  }
  for (int i = 0; i < kPackageCount; ++i) {
    if (i == kEmptyEntry) continue;
    Bytes expected;
    ASSERT_TRUE(fixtures::ExpectedPatchOutput(original_[Path(i)], &expected)) << i;
    ASSERT_EQ(ReadFileBytes(Path(i)), expected) << Path(i) << ": not the uncompressed package";
  }
  for (int k = 0; k < kMovieCount; ++k)
    EXPECT_FALSE(ReadFileBytes(Path(kPackageCount + k)).empty()) << "movie " << k << " rebuilt";

  Result restore = Run("chs2eng");
  EXPECT_EQ(restore.exitCode, 0);
  EXPECT_TRUE(SameBytes(restore.out, ProgressLines(kGbkTexts.restoring)));
  EXPECT_EQ(ChangedFiles(), std::vector<std::string>{}) << "every file is the original again";
  for (const auto& [path, bytes] : original_) {
    EXPECT_TRUE(FileExists(path + ".bak")) << path << ": backups are never removed";
    if (attributes_) {
      EXPECT_EQ(DosAttribute(path), "") << path << ": a restored file must not stay hidden";
      EXPECT_EQ(DosAttribute(path + ".bak"), "0x6") << path;
    }
  }
}

TEST_F(HanhuaOnDemoGame, SecondPatchKeepsTheBackupsAndRebuildsFromThem) {
  Run("eng2chs");
  std::map<std::string, Bytes> firstRun;
  for (const auto& [path, bytes] : original_) firstRun[path] = ReadFileBytes(path);

  // A file lost since (deleted by hand, say) comes back from its backup,
  // and its backup is hidden again even if its mark was removed.
  const std::string lostPackage = Path(42), lostMovie = Path(kPackageCount + 1);
  ASSERT_EQ(unlink(lostPackage.c_str()), 0);
  ASSERT_EQ(unlink(lostMovie.c_str()), 0);
  removexattr((lostPackage + ".bak").c_str(), "user.DOSATTRIB");

  Result again = Run("eng2chs");
  EXPECT_EQ(again.exitCode, 0);
  for (const auto& [path, bytes] : original_) {
    ASSERT_EQ(ReadFileBytes(path + ".bak"), bytes) << path << ": a backup was replaced";
    ASSERT_EQ(ReadFileBytes(path), firstRun[path]) << path << ": not rebuilt from the backup";
  }
  if (attributes_) {
    EXPECT_EQ(DosAttribute(lostPackage + ".bak"), "0x6");
  }

  Run("chs2eng");
  EXPECT_EQ(ChangedFiles(), std::vector<std::string>{});
}

TEST_F(HanhuaOnDemoGame, DamagedPackageStaysAsShippedAndTheRunGoesOn) {
  const std::string damaged = Path(100);
  Bytes bytes = original_[damaged];
  bytes.resize(bytes.size() / 2);  // cut short: its chunks lie past the end
  ASSERT_TRUE(WriteFileBytes(damaged, bytes));
  original_[damaged] = bytes;
  RemoveDictionary();

  Result patch = Run("eng2chs");
  EXPECT_EQ(patch.exitCode, 0);
  EXPECT_EQ(ReadFileBytes(damaged), bytes) << "a package that cannot be rebuilt stays as shipped";
  Bytes expected;
  ASSERT_TRUE(fixtures::ExpectedPatchOutput(original_[Path(101)], &expected));
  EXPECT_EQ(ReadFileBytes(Path(101)), expected) << "the next package is still rebuilt";
  // Its message, if any, stands between its own progress line and the next.
  std::string before = ProgressLines(kGbkTexts.patching, 101);
  std::string after = ProgressLines(kGbkTexts.patching).substr(before.size()) + kGbkTexts.done;
  EXPECT_EQ(patch.out.substr(0, before.size()), before);
  ASSERT_GE(patch.out.size(), before.size() + after.size());
  EXPECT_EQ(patch.out.substr(patch.out.size() - after.size()), after);

  Run("chs2eng");
  EXPECT_EQ(ChangedFiles(), std::vector<std::string>{});
}

// The empty entry's paths are "CookedPC\" and "CookedPC\.bak": the
// package folder itself. Every operation on it fails, and the folder must
// come out of both runs holding exactly the listed files and their backups.
TEST_F(HanhuaOnDemoGame, EmptyEntryLeavesThePackageFolderWhole) {
  Result patch = Run("eng2chs");
  EXPECT_NE(patch.out.find(fixtures::ProgressLine(kGbkTexts.patching, 710) +
                           fixtures::ProgressLine(kGbkTexts.patching, 711)),
            std::string::npos);
  Run("chs2eng");

  std::set<std::string> expected, found;
  for (int i = 0; i < kPackageCount; ++i) {
    if (i == kEmptyEntry) continue;
    expected.insert(kTargetFiles[i]);
    expected.insert(std::string(kTargetFiles[i]) + ".bak");
  }
  for (const auto& entry : std::filesystem::directory_iterator(root_.File("CookedPC")))
    found.insert(entry.path().filename().string());
  EXPECT_EQ(found, expected);
  EXPECT_EQ(ChangedFiles(), std::vector<std::string>{});
}


// Copies the folder from to a fresh folder to.
void CopyFolder(const std::string& from, const std::string& to) {
  std::filesystem::remove_all(to);
  std::filesystem::copy(from, to, std::filesystem::copy_options::recursive);
}

// Flips the bytes of a file from its middle on: a package whose blocks no
// longer decompress.
void SpoilMiddle(const std::string& path) {
  Bytes bytes = ReadFileBytes(path);
  for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 64 && i < bytes.size(); ++i) bytes[i] ^= 0x5A;
  ASSERT_TRUE(WriteFileBytes(path, bytes));
}

// How many threads decompress and whether the next package is built while
// the current one is written change nothing: files, attributes and console
// bytes of eng2chs (from the shipped files, then again from the backups)
// and of chs2eng are those of one thread without the pipeline. On the demo
// game with two damaged packages (their messages must keep their places)
// and on a small, dialogue-dense corpus.
TEST(HanhuaThreads, SameRunWithAnyThreadCountAndPipeline) {
  TempDir base;
  const std::string demo = base.File("demo"), corpus = base.File("corpus"), work = base.File("work");
  ASSERT_TRUE(fixtures::WriteDemoGame(demo));
  const std::string packages = demo + "/" + fixtures::kDemoPackageDir + "/";
  Bytes cut = ReadFileBytes(packages + kTargetFiles[100]);
  cut.resize(cut.size() / 2);
  ASSERT_TRUE(WriteFileBytes(packages + kTargetFiles[100], cut));
  SpoilMiddle(packages + kTargetFiles[101]);
  bench::CorpusStats stats;
  ASSERT_TRUE(bench::WriteCorpus(corpus, 0.01, 2, &stats, 3));

  struct Setting {
    const char* threads;
    const char* pipeline;
  };
  for (const std::string& game : {demo, corpus}) {
    std::string firstOutput;
    fixtures::DirState firstPatched, firstRestored;
    for (const Setting& s : {Setting{"1", "0"}, Setting{"2", "0"}, Setting{"2", "1"}, Setting{"8", "1"}}) {
      SCOPED_TRACE(game + ": " + s.threads + " threads, pipeline " + s.pipeline);
      CopyFolder(game, work);
      const std::map<std::string, std::string> env{
          {"LC_ALL", "C"}, {"HANHUA_THREADS", s.threads}, {"HANHUA_PIPELINE", s.pipeline}};
      auto run = [&](const char* command) {
        return RunProgram({HANHUA_BINARY, command, "CookedPC", "Movies"}, env, work).out;
      };
      std::string output = run("eng2chs");
      output += run("eng2chs");
      const fixtures::DirState patched = fixtures::ReadDirState(work);
      output += run("chs2eng");
      const fixtures::DirState restored = fixtures::ReadDirState(work);
      if (firstOutput.empty()) {
        firstOutput = output;
        firstPatched = patched;
        firstRestored = restored;
        continue;
      }
      EXPECT_TRUE(SameBytes(output, firstOutput));
      EXPECT_EQ(fixtures::DescribeDifferences(firstPatched, patched), "");
      EXPECT_EQ(fixtures::DescribeDifferences(firstRestored, restored), "");
    }
  }
}

}  // namespace
