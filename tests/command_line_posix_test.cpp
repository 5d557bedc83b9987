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

#include "driver/target_files.h"
#include "tools/fixtures/console_text.h"
#include "tools/fixtures/files.h"

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

}  // namespace
