// The file system at its edges, with the hanhua program on the demo game: a
// disk too small for the patched game, links planted beside the game files,
// FIFOs where files are expected, two runs at once and a long current
// folder. Each case compares what is left on disk with what single runs on
// an ordinary folder leave.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "driver/target_files.h"
#include "tests/support/demo_game.h"
#include "tests/support/dir_state.h"
#include "tests/support/files.h"

namespace {

namespace fs = std::filesystem;
using fixtures::DirState;

// "还原文件[" in GBK: the start of the message for a file not put back.
constexpr char kRestoreErrorStart[] = "\xBB\xB9\xD4\xAD\xCE\xC4\xBC\xFE[";

struct Result {
  bool finished = false;  // exited with 0 within the time allowed
  std::string printed;
};

// Starts hanhua COMMAND PKGDIR MOVIEDIR with cwd as its current folder and
// its output in outPath.
pid_t Start(const std::string& game, const std::string& cwd, const char* command, const std::string& outPath) {
  const std::string packages = game + "/" + fixtures::kDemoPackageDir;
  const std::string movies = game + "/" + fixtures::kDemoMovieDir;
  fflush(stdout);  // or the child writes what is still buffered a second time
  pid_t pid = fork();
  if (pid == 0) {
    if (freopen(outPath.c_str(), "w", stdout) == nullptr || chdir(cwd.c_str()) != 0) _exit(126);
    setenv("LC_ALL", "C", 1);
    execl(HANHUA_BINARY, HANHUA_BINARY, command, packages.c_str(), movies.c_str(), (char*)nullptr);
    _exit(127);
  }
  return pid;
}

// Waits for pid at most a minute; a run that blocks is killed and fails.
bool Finish(pid_t pid) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string ReadText(const std::string& path) {
  const fixtures::Bytes bytes = fixtures::ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

Result RunHanhua(const std::string& game, const char* command, const std::string& cwd = "") {
  const std::string out = game + ".out";
  Result r;
  r.finished = Finish(Start(game, cwd.empty() ? game : cwd, command, out));
  r.printed = ReadText(out);
  fs::remove(out);
  return r;
}

// Two runs of command on game, started together.
bool RunTwice(const std::string& game, const char* command) {
  pid_t first = Start(game, game, command, game + ".out1");
  pid_t second = Start(game, game, command, game + ".out2");
  const bool finished = Finish(first) & Finish(second);
  fs::remove(game + ".out1");
  fs::remove(game + ".out2");
  return finished;
}

// A listed file's name relative to the game folder, and its path.
std::string ListedName(int index) {
  const bool movie = index >= driver::kPackageCount;
  return std::string(movie ? fixtures::kDemoMovieDir : fixtures::kDemoPackageDir) + "/" + driver::kTargetFiles[index];
}
std::string ListedPath(const std::string& game, int index) { return game + "/" + ListedName(index); }

class Edges : public testing::Test {
 protected:
  // The demo game and what single runs of each command leave in it.
  static void SetUpTestSuite() {
    base_ = new fixtures::TempDir;
    pristine_ = base_->File("pristine");
    ASSERT_TRUE(fixtures::WriteDemoGame(pristine_));
    original_ = fixtures::ReadDirState(pristine_);
    const std::string game = base_->File("single");
    fs::copy(pristine_, game, fs::copy_options::recursive);
    ASSERT_TRUE(RunHanhua(game, "eng2chs").finished);
    patched_ = fixtures::ReadDirState(game);
    ASSERT_TRUE(RunHanhua(game, "chs2eng").finished);
    restored_ = fixtures::ReadDirState(game);
  }
  static void TearDownTestSuite() { delete base_; }

  // A fresh copy of the pristine game at path.
  static std::string Copy(const std::string& path) {
    fs::remove_all(path);
    fs::copy(pristine_, path, fs::copy_options::recursive);
    return path;
  }

  static fixtures::TempDir* base_;
  static std::string pristine_;
  static DirState original_, patched_, restored_;
};

fixtures::TempDir* Edges::base_ = nullptr;
std::string Edges::pristine_;
DirState Edges::original_, Edges::patched_, Edges::restored_;

// A tmpfs that holds the game but not its patched form: after eng2chs every
// file is patched or its original and every backup there is intact; no file
// is named as not put back; chs2eng then gives every original back.
TEST_F(Edges, FullDiskLeavesEveryFilePatchedOrOriginal) {
  const std::string mountPoint = base_->File("small");
  fs::create_directory(mountPoint);
  // Room for the game (in whole pages, as a tmpfs keeps it) and half as
  // much again: the patched game with its backups takes over three times as
  // much.
  uint64_t pages = 0;
  for (const auto& entry : fs::recursive_directory_iterator(pristine_))
    pages += entry.is_regular_file() ? (entry.file_size() + 4095) / 4096 + 1 : 1;
  const std::string options = "size=" + std::to_string(pages * 4096 * 3 / 2);
  if (mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, options.c_str()) != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here (" << strerror(errno) << "): needs root";
  struct Unmount {
    std::string at;
    ~Unmount() { umount(at.c_str()); }
  } unmount{mountPoint};
  const std::string game = Copy(mountPoint + "/game");

  const Result patch = RunHanhua(game, "eng2chs");
  ASSERT_TRUE(patch.finished);
  EXPECT_EQ(patch.printed.find(kRestoreErrorStart), std::string::npos);
  const DirState state = fixtures::ReadDirState(game);
  int patched = 0, original = 0;
  for (const auto& [name, file] : original_) {
    if (name == fixtures::kDemoDictionary) continue;
    ASSERT_TRUE(state.count(name)) << name << " is missing";
    patched += state.at(name) == patched_.at(name);
    original += state.at(name).bytes == file.bytes;
    EXPECT_TRUE(state.at(name) == patched_.at(name) || state.at(name) == file) << name;
    if (state.count(name + ".bak")) {
      EXPECT_EQ(state.at(name + ".bak").bytes, file.bytes) << name;
    }
  }
  EXPECT_GT(patched, 0);
  EXPECT_GT(original, 0) << "the disk was large enough: the test proves nothing";
  std::printf("full disk: %d files patched, %d original\n", patched, original);

  const Result restore = RunHanhua(game, "chs2eng");
  ASSERT_TRUE(restore.finished);
  EXPECT_EQ(restore.printed.find(kRestoreErrorStart), std::string::npos);
  const DirState after = fixtures::ReadDirState(game);
  for (const auto& [name, file] : original_) {
    ASSERT_TRUE(after.count(name)) << name;
    EXPECT_EQ(after.at(name), file) << name;
  }
}

// Links at every name a run might create beside the listed files, a listed
// file that is a link, one that is a hard link and a backup that is a link:
// nothing outside the game folder changes, marks included.
TEST_F(Edges, PlantedLinksReachNothingOutside) {
  const std::string game = Copy(base_->File("links"));
  const std::string outside = base_->File("outside");
  fs::create_directory(outside);
  const std::string victim = outside + "/victim", linked = outside + "/linked";
  fs::copy_file(ListedPath(game, 0), victim);
  fs::copy_file(ListedPath(game, 1), linked);
  const DirState before = fixtures::ReadDirState(outside);

  for (int i = 3; i < driver::kTargetFileCount; ++i) {
    const std::string path = ListedPath(game, i);
    if (!fs::exists(path)) continue;
    for (const char* suffix : {".hanhua-copy", ".~hanhua-0000000000000000", ".tmp", ".bak.tmp"})
      fs::create_symlink(victim, path + suffix);
  }
  fs::remove(ListedPath(game, 0));
  fs::create_symlink(victim, ListedPath(game, 0));  // a listed file that is a link
  fs::remove(ListedPath(game, 1));
  fs::create_hard_link(linked, ListedPath(game, 1));  // and one that is a hard link
  fs::create_symlink(victim, ListedPath(game, 2) + ".bak");  // a backup that is a link

  for (const char* command : {"eng2chs", "eng2chs", "chs2eng"}) {
    ASSERT_TRUE(RunHanhua(game, command).finished) << command;
    EXPECT_EQ(fixtures::DescribeDifferences(before, fixtures::ReadDirState(outside)), "") << command;
  }
  EXPECT_EQ(fixtures::ReadFileBytes(ListedPath(game, 0)), original_.at(ListedName(0)).bytes);
}

// FIFOs as chs.txt, as a backup and as a listed file: both commands finish
// without reading them, and leave them where they are.
TEST_F(Edges, FifosAreNeverWaitedOn) {
  const std::string game = Copy(base_->File("fifos"));
  const std::string dictionary = game + "/" + fixtures::kDemoDictionary;
  const std::string backup = ListedPath(game, 5) + ".bak", listed = ListedPath(game, 6);
  fs::remove(dictionary);
  fs::remove(listed);
  for (const std::string& fifo : {dictionary, backup, listed}) ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0) << fifo;

  for (const char* command : {"eng2chs", "chs2eng"}) {
    const Result r = RunHanhua(game, command);
    EXPECT_TRUE(r.finished) << command << " blocked";
    for (const std::string& fifo : {dictionary, backup, listed}) EXPECT_TRUE(fs::is_fifo(fifo)) << fifo;
  }
  EXPECT_EQ(fixtures::ReadDirState(game).at(ListedName(5)), original_.at(ListedName(5)))
      << "a file whose backup is a FIFO";
}

// Two runs at once on one game wait for each other: each pair leaves what
// one run leaves, whether eng2chs finds backups or not. (Two rounds: each
// run walks the whole list, which takes seconds on a busy machine.)
TEST_F(Edges, TwoRunsAtOnceLeaveWhatOneRunLeaves) {
  const std::string game = base_->File("twice");
  constexpr int kRounds = 2;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    Copy(game);
    ASSERT_TRUE(RunTwice(game, "eng2chs"));
    EXPECT_EQ(fixtures::DescribeDifferences(patched_, fixtures::ReadDirState(game)), "") << "without backups";
    ASSERT_TRUE(RunTwice(game, "eng2chs"));
    EXPECT_EQ(fixtures::DescribeDifferences(patched_, fixtures::ReadDirState(game)), "") << "with backups";
    ASSERT_TRUE(RunTwice(game, "chs2eng"));
    EXPECT_EQ(fixtures::DescribeDifferences(restored_, fixtures::ReadDirState(game)), "") << "chs2eng";
  }
}

// From a current folder of 300 bytes, longer than Windows allows, chs.txt
// is found and used.
TEST_F(Edges, LongCurrentFolderFindsTheDictionary) {
  const std::string game = Copy(base_->File("deep-game"));
  std::string deep = base_->File("deep");
  while (deep.size() < 300) deep += "/" + std::string(std::min<size_t>(60, 300 - deep.size() - 1), 'd');
  fs::create_directories(deep);
  fs::rename(game + "/" + fixtures::kDemoDictionary, deep + "/" + fixtures::kDemoDictionary);
  ASSERT_TRUE(RunHanhua(game, "eng2chs", deep).finished);
  DirState state = fixtures::ReadDirState(game);
  DirState expected = patched_;
  expected.erase(fixtures::kDemoDictionary);
  EXPECT_EQ(fixtures::DescribeDifferences(expected, state), "");
}

}  // namespace
