#include "tools/setup/runs.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "common/messages.h"
#include "driver/driver.h"
#include "driver/target_files.h"
#include "movie/movie_patcher.h"
#include "package/package_patcher.h"
#include "package/package_pipeline.h"
#include "platform/platform.h"
#include "platform/setup_support.h"

namespace setup {

namespace {

constexpr char kBackupSuffix[] = ".bak";

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool SameSize(const std::string& a, const std::string& b) {
  platform::FileIdentity x, y;
  return platform::GetFileIdentity(a.c_str(), &x) && platform::GetFileIdentity(b.c_str(), &y) &&
         x.size == y.size;
}

// One run of the driver with its files' outcomes. The driver calls plain
// functions and prints through the console; both lead here, to the one run
// in progress.
class Run {
 public:
  Run(const GameFiles& files, const RunHooks& hooks) : hooks_(hooks) {
    progress_.filesTotal = int(files.files.size());
    progress_.bytesTotal = files.bytes;
    for (const ListedFile& file : files.files) byName_[platform::FileNameKey(Name(file.index))] = &file;
    current_ = this;
    platform::SetConsoleSink(&Run::Sink, this);
  }
  ~Run() {
    platform::SetConsoleSink(nullptr, nullptr);
    current_ = nullptr;
  }

  static Run* current() { return current_; }

  // A patcher is about to rebuild the file whose backup is backupPath.
  void Start(const char* backupPath) {
    std::string name = platform::LastComponent(backupPath);
    if (name.size() >= 4) name.resize(name.size() - 4);
    auto found = byName_.find(platform::FileNameKey(name));
    active_ = found == byName_.end() ? nullptr : found->second;
    messages_.clear();
  }

  // The patcher returned code (0 for a movie, which reports nothing).
  void Finish(int code) {
    if (active_ == nullptr) return;
    FileOutcome outcome;
    outcome.file = *active_;
    outcome.code = code;
    outcome.messages = std::move(messages_);
    outcome.ok = code == 0 && platform::IsRegularFile(active_->path);
    if (!outcome.ok) outcome.reason = code != 0 ? ReasonForCode(code) : "无法重建 (could not be rebuilt)";
    if (!outcome.ok && RestoreFailed(outcome.messages)) {
      outcome.reason += "；也未能从备份还原，请选择“还原原版” (and it could not be put back: run the restore)";
    }
    Record(outcome);
    active_ = nullptr;
  }

  // For chs2eng, which calls no patcher: the files are judged as its
  // progress lines pass (the movies go first, then the packages in list
  // order), the rest when it returns.
  void JudgeRestoresOf(const GameFiles* files) { restoring_ = files; }
  void RestoredBefore(int packageIndex) {
    if (restoring_ == nullptr) return;
    if (!moviesJudged_) {
      for (const ListedFile& file : restoring_->files)
        if (file.movie) Judge(file);
      moviesJudged_ = true;
    }
    const std::vector<ListedFile>& list = restoring_->files;
    for (; next_ < list.size() && !list[next_].movie && list[next_].index < packageIndex; ++next_) Judge(list[next_]);
  }
  void RestoredAll() { RestoredBefore(driver::kTargetFileCount); }

  RunReport TakeReport(std::chrono::steady_clock::time_point start) {
    report_.seconds = SecondsSince(start);
    return std::move(report_);
  }

 private:
  static const char* Name(int index) { return driver::kTargetFiles[index]; }

  static bool RestoreFailed(const std::vector<std::string>& messages) {
    const std::string failed = "还原文件[";
    for (const std::string& m : messages)
      if (m.compare(0, failed.size(), failed) == 0) return true;
    return false;
  }

  // A restored file is its backup again: there, and of the backup's size.
  void Judge(const ListedFile& file) {
    if (!file.backup) return;
    FileOutcome outcome;
    outcome.file = file;
    outcome.ok = SameSize(file.path, file.path + kBackupSuffix);
    if (!outcome.ok) outcome.reason = "未能从备份还原 (could not be put back from its backup)";
    Record(outcome);
  }

  void Record(const FileOutcome& outcome) {
    ++progress_.filesDone;
    progress_.bytesDone += outcome.file.size;
    if (outcome.ok) {
      ++report_.done;
    } else {
      report_.failures.push_back(outcome);
    }
    if (hooks_.fileDone) hooks_.fileDone(outcome);
    if (hooks_.progress) hooks_.progress(progress_);
  }

  static void Sink(const char* format, const std::string& text, void* context) {
    auto* run = static_cast<Run*>(context);
    if (format == messages::kMsgPatching || format == messages::kMsgPatchDone) return;
    if (format == messages::kMsgRestoring) {
      // "... (N / 1698)...": package N (from 1) is restored next.
      int number = 0;
      const size_t open = text.find('(');
      if (open != std::string::npos && std::sscanf(text.c_str() + open + 1, "%d", &number) == 1)
        run->RestoredBefore(number - 1);
      return;
    }
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
    run->messages_.push_back(line);
  }

  static Run* current_;
  const RunHooks& hooks_;
  std::unordered_map<std::string, const ListedFile*> byName_;
  const ListedFile* active_ = nullptr;
  std::vector<std::string> messages_;
  RunProgress progress_;
  RunReport report_;
  const GameFiles* restoring_ = nullptr;
  bool moviesJudged_ = false;
  size_t next_ = 0;
};

Run* Run::current_ = nullptr;

void PatchMovie(char* backupPath) {
  Run::current()->Start(backupPath);
  PatchMovieFile(backupPath);
  Run::current()->Finish(0);
}

int PatchPackage(char* backupPath) {
  Run::current()->Start(backupPath);
  const int code = package::PatchPackageFile(backupPath);
  Run::current()->Finish(code);
  return code;
}

// The current folder for the length of a run, and back afterwards.
class WorkIn {
 public:
  explicit WorkIn(const std::string& folder) : previous_(platform::AbsolutePath(".")) {
    platform::SetCurrentFolder(folder);
  }
  ~WorkIn() { platform::SetCurrentFolder(previous_); }

 private:
  std::string previous_;
};

// The driver needs a movie folder; without one the package folder stands
// in, where no listed movie is.
std::string MovieDirOf(const GameFolders& game) {
  return game.movieDir.empty() ? game.packageDir : game.movieDir;
}

}  // namespace

std::string ReasonForCode(int code) {
  switch (code) {
    case package::CodeOf(package::Failure::kBackupUnopened):
      return "无法打开或创建该文件：可能正被游戏或其他程序使用 "
             "(cannot be opened or created: the game or another program may be using it)";
    case package::CodeOf(package::Failure::kNoSize):
      return "不是本汉化支持的引擎包版本 (a package version this translation does not support)";
    case package::CodeOf(package::Failure::kOutOfMemory):
      return "内存不足 (not enough memory)";
    case package::CodeOf(package::Failure::kShortRead):
      return "读取失败：磁盘或文件出错 (could not be read: a disk or file error)";
    case package::CodeOf(package::Failure::kWriteFailed):
      return "写入失败：磁盘可能已满 (could not be written: the disk may be full)";
    case package::CodeOf(package::Failure::kLzoInit):
      return "解压程序自检失败 (the decompressor failed its self-check)";
    default:
      return "文件已损坏：请在游戏平台（启动器）中验证游戏文件的完整性 "
             "(damaged file: check the game files in your launcher)";
  }
}

RunReport Install(const GameFolders& game, const GameFiles& files, const std::string& dictionaryFolder,
                  const RunHooks& hooks) {
  const auto start = std::chrono::steady_clock::now();
  WorkIn work(dictionaryFolder);
  Run run(files, hooks);
  driver::Eng2Chs(game.packageDir.c_str(), MovieDirOf(game).c_str(),
                  driver::Patchers{PatchMovie, PatchPackage, package::PreparePackage});
  return run.TakeReport(start);
}

RunReport Restore(const GameFolders& game, const GameFiles& files, const RunHooks& hooks) {
  const auto start = std::chrono::steady_clock::now();
  Run run(files, hooks);
  run.JudgeRestoresOf(&files);
  driver::Chs2Eng(game.packageDir.c_str(), MovieDirOf(game).c_str());
  run.RestoredAll();
  return run.TakeReport(start);
}

int DeleteBackups(const GameFiles& files, std::vector<std::string>* failed) {
  int removed = 0;
  for (const ListedFile& file : files.files) {
    if (!file.backup) continue;
    const std::string backup = file.path + kBackupSuffix;
    if (SameSize(file.path, backup) && platform::SetAttributes(backup.c_str(), platform::kAttrNormal) &&
        platform::DeletePath(backup.c_str())) {
      ++removed;
    } else {
      failed->push_back(backup);
    }
  }
  return removed;
}

bool FolderIsWritable(const std::string& folder) {
  platform::TemporaryFile probe;
  if (!platform::CreateTemporaryBeside(platform::JoinPath(folder, "hanhua-setup-probe").c_str(), &probe))
    return false;
  platform::DiscardTemporary(&probe);
  return true;
}

}  // namespace setup
