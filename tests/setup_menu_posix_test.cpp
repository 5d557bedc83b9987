// hanhua-setup as a player drives it: the built program started without
// arguments in the game folder, its menu answered through standard input.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/support/demo_game.h"
#include "tests/support/dir_state.h"
#include "tests/support/files.h"

namespace {

namespace fs = std::filesystem;

struct Result {
  int exitCode = -1;
  std::string out;
};

// Runs hanhua-setup without arguments in cwd with input on its standard
// input (a pipe, closed after it) and collects its standard output.
Result RunMenu(const std::string& cwd, const std::string& input) {
  Result result;
  int in[2], out[2];
  if (pipe(in) != 0 || pipe(out) != 0) return result;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
    if (chdir(cwd.c_str()) != 0) _exit(126);
    execl(HANHUA_SETUP_BINARY, HANHUA_SETUP_BINARY, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  // The answers fit in the pipe's buffer: written whole before reading.
  if (write(in[1], input.data(), input.size()) != ssize_t(input.size())) ADD_FAILURE() << "input not written";
  close(in[1]);
  char buffer[65536];
  ssize_t n;
  while ((n = read(out[0], buffer, sizeof buffer)) > 0) result.out.append(buffer, size_t(n));
  close(out[0]);
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  return result;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(SetupMenu, InstallVerifyRestoreAndDeleteTheBackupsThroughStandardInput) {
  fixtures::TempDir dir;
  const std::string game = dir.File("GAME");
  ASSERT_TRUE(fixtures::WriteDemoGame(dir.File("demo")));
  fs::create_directories(game + "/Game/Data");
  fs::rename(dir.File("demo/CookedPC"), game + "/Game/Data/CookedPC");
  fs::rename(dir.File("demo/Movies"), game + "/Game/Movies");
  fs::rename(dir.File("demo/chs.txt"), game + "/chs.txt");
  const fixtures::DirState original = fixtures::ReadDirState(game);

  // Install, check, restore answering yes to deleting the backups, quit.
  const Result r = RunMenu(game, "1\n3\n2\ny\n0\n");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(Count(r.out, "1  安装汉化"), 4u) << r.out;  // the menu before each choice
  EXPECT_EQ(Count(r.out, "未安装汉化"), 2u) << r.out;   // the status: before install, after restore
  EXPECT_EQ(Count(r.out, "已安装汉化 (installed)"), 2u) << r.out;
  EXPECT_EQ(Count(r.out, "4843 / 4843"), 2u) << r.out;  // install and check
  EXPECT_NE(r.out.find("1701 个文件 (files restored)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("删除了 1701 个备份"), std::string::npos) << r.out;
  // Output to a pipe: plain progress lines, never a carriage return.
  EXPECT_EQ(r.out.find('\r'), std::string::npos);
  EXPECT_EQ(fixtures::DescribeDifferences(original, fixtures::ReadDirState(game)), "");
}

}  // namespace
