// Crash safety: the hanhua program is killed (SIGKILL, which it cannot
// catch) at random moments of eng2chs and of chs2eng on a demo game, the way
// a power cut or a closed console window would stop it. After each kill the
// same command is run again to its end, and the whole game folder must then
// be exactly what an uninterrupted run leaves: every file, every backup,
// every attribute, and nothing else. After chs2eng every listed file is the
// original again, also when chs2eng follows a killed eng2chs.
//
// The kill moments come from a fixed seed, spread over the time an
// uninterrupted run takes; the number of rounds is bounded, and so is the
// time they may take, so that the test fits a continuous-integration run.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "tests/support/demo_game.h"
#include "tests/support/dir_state.h"
#include "tests/support/files.h"

namespace {

using Clock = std::chrono::steady_clock;
using fixtures::DirState;

constexpr unsigned kSeed = 20240607;
constexpr int kMaxRounds = 16;      // each round kills eng2chs once and chs2eng once
constexpr int kMinRounds = 4;       // done whatever the time they take
constexpr auto kTimeBudget = std::chrono::seconds(75);

// Starts hanhua COMMAND PKGDIR MOVIEDIR in root, its output discarded.
pid_t Start(const std::string& root, const char* command) {
  const std::string packages = root + "/" + fixtures::kDemoPackageDir;
  const std::string movies = root + "/" + fixtures::kDemoMovieDir;
  pid_t pid = fork();
  if (pid == 0) {
    FILE* devnull = freopen("/dev/null", "w", stdout);
    (void)devnull;
    if (chdir(root.c_str()) != 0) _exit(126);
    setenv("LC_ALL", "C", 1);
    execl(HANHUA_BINARY, HANHUA_BINARY, command, packages.c_str(), movies.c_str(), (char*)nullptr);
    _exit(127);
  }
  return pid;
}

// Runs the command to its end; true when it exited with 0.
bool RunToEnd(const std::string& root, const char* command) {
  pid_t pid = Start(root, command);
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Starts the command and kills it after delay. True when the kill stopped
// it (false when it had already ended).
bool RunAndKill(const std::string& root, const char* command, std::chrono::microseconds delay) {
  pid_t pid = Start(root, command);
  if (pid <= 0) return false;
  std::this_thread::sleep_for(delay);
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

std::chrono::microseconds Elapsed(Clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - since);
}

// A fresh copy of the pristine game in work.
void CopyGame(const std::string& pristine, const std::string& work) {
  std::filesystem::remove_all(work);
  std::filesystem::copy(pristine, work, std::filesystem::copy_options::recursive);
}

// Every file of the original game is there with its bytes and normal
// attributes, and everything else is a backup holding its file's original
// bytes. Empty when so, otherwise what differs.
std::string OriginalsBack(const DirState& original, const DirState& state) {
  std::string problems;
  for (const auto& [name, file] : original) {
    auto now = state.find(name);
    if (now == state.end() || now->second.bytes != file.bytes) problems += name + ": not the original\n";
    else if (now->second.attributes != file.attributes) problems += name + ": other attributes\n";
  }
  for (const auto& [name, file] : state) {
    if (original.count(name)) continue;
    const std::string stem = name.size() > 4 ? name.substr(0, name.size() - 4) : std::string();
    const bool backup = name.compare(stem.size(), std::string::npos, ".bak") == 0 && original.count(stem);
    if (!backup || file.bytes != original.at(stem).bytes) problems += name + ": not expected\n";
  }
  return problems;
}

TEST(CrashSafety, KilledRunsAreMendedByRunningAgain) {
  fixtures::TempDir base;
  const std::string pristine = base.File("pristine"), work = base.File("game");
  ASSERT_TRUE(fixtures::WriteDemoGame(pristine));
  const DirState original = fixtures::ReadDirState(pristine);

  // What uninterrupted runs leave, and how long they take.
  CopyGame(pristine, work);
  Clock::time_point start = Clock::now();
  ASSERT_TRUE(RunToEnd(work, "eng2chs"));
  const std::chrono::microseconds patchTime = Elapsed(start);
  const DirState patched = fixtures::ReadDirState(work);
  start = Clock::now();
  ASSERT_TRUE(RunToEnd(work, "chs2eng"));
  const std::chrono::microseconds restoreTime = Elapsed(start);
  const DirState restored = fixtures::ReadDirState(work);
  ASSERT_NE(patched, original);
  for (const auto& [name, file] : original) {
    ASSERT_TRUE(restored.count(name)) << name;
    ASSERT_EQ(restored.at(name).bytes, file.bytes) << name << ": chs2eng gives the original";
  }

  std::mt19937 random(kSeed);
  // The moments fall within the first 80% of an uninterrupted run's time:
  // on a busy machine a run may well take less time than the one measured.
  auto moment = [&random](std::chrono::microseconds within) {
    return std::chrono::microseconds(
        std::uniform_int_distribution<int64_t>(0, within.count() * 4 / 5)(random));
  };
  int rounds = 0, patchKills = 0, restoreKills = 0;
  const Clock::time_point began = Clock::now();
  while (rounds < kMaxRounds && (rounds < kMinRounds || Clock::now() - began < kTimeBudget)) {
    ++rounds;
    SCOPED_TRACE("round " + std::to_string(rounds));
    CopyGame(pristine, work);
    patchKills += RunAndKill(work, "eng2chs", moment(patchTime));
    if (rounds % 2 == 0) {
      // Undone instead of finished: the originals come back all the same.
      ASSERT_TRUE(RunToEnd(work, "chs2eng"));
      ASSERT_EQ(OriginalsBack(original, fixtures::ReadDirState(work)), "")
          << "eng2chs killed, then chs2eng";
    }
    ASSERT_TRUE(RunToEnd(work, "eng2chs"));
    ASSERT_EQ(fixtures::DescribeDifferences(patched, fixtures::ReadDirState(work)), "")
        << "eng2chs killed, then run again";

    restoreKills += RunAndKill(work, "chs2eng", moment(restoreTime));
    ASSERT_TRUE(RunToEnd(work, "chs2eng"));
    ASSERT_EQ(fixtures::DescribeDifferences(restored, fixtures::ReadDirState(work)), "")
        << "chs2eng killed, then run again";
  }
  // Kills must land while the program runs, or the test proves little; the
  // load of a shared machine makes the run times vary (runs often end
  // before a late kill), so a quarter of the two kills of each round is
  // asked for.
  EXPECT_GE(2 * (patchKills + restoreKills), rounds);
  std::printf("crash safety: %d kills survived (%d during eng2chs, %d during chs2eng) in %d rounds\n",
              patchKills + restoreKills, patchKills, restoreKills, rounds);
  RecordProperty("kills", patchKills + restoreKills);
}

}  // namespace
