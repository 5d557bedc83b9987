#include "tools/setup/setup_app.h"

#include <algorithm>
#include <optional>

#include "driver/target_files.h"
#include "platform/setup_support.h"
#include "platform/terminal.h"
#include "tools/dict/verify.h"
#include "tools/setup/dictionary_gate.h"
#include "tools/setup/discovery.h"
#include "tools/setup/game_files.h"
#include "tools/setup/runs.h"
#include "tools/setup/screen.h"

namespace setup {

namespace {

constexpr char kLogName[] = "hanhua-setup.log";
// Failed files listed on the console; the log has them all.
constexpr size_t kFailuresShown = 20;

enum class Command { kMenu, kInstall, kRestore, kVerify };

struct Options {
  Command command = Command::kMenu;
  std::string gameDir;
  std::string dictionary;
  bool yes = false;
  bool help = false;
  std::string error;  // a command line that cannot be used
};

Options ParseArguments(const std::vector<std::string>& args) {
  Options o;
  size_t i = 0;
  if (!args.empty()) {
    if (args[0] == "install") o.command = Command::kInstall;
    if (args[0] == "restore") o.command = Command::kRestore;
    if (args[0] == "verify") o.command = Command::kVerify;
    if (o.command != Command::kMenu) i = 1;
  }
  for (; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--yes" || a == "-y") {
      o.yes = true;
    } else if (a == "--help" || a == "-h" || a == "/?") {
      o.help = true;
    } else if (a == "--dict") {
      if (i + 1 == args.size()) o.error = "--dict 后面缺少词典文件 (--dict needs a FILE)";
      else o.dictionary = args[++i];
    } else if (!a.empty() && a[0] == '-' && a.size() > 1) {
      o.error = "未知选项 (unknown option) " + a;
    } else if (o.gameDir.empty()) {
      o.gameDir = a;
    } else {
      o.error = "参数太多 (one game folder at most): " + a;
    }
  }
  return o;
}

constexpr char kUsage[] =
    "用法 (usage):\n"
    "  hanhua-setup                        查找游戏并显示菜单 (find the game, show the menu)\n"
    "  hanhua-setup GAMEDIR                同上，游戏在 GAMEDIR (the same for the game in GAMEDIR)\n"
    "  hanhua-setup install|restore|verify [GAMEDIR] [--dict FILE] [--yes]\n"
    "      install  安装汉化 (install the translation)\n"
    "      restore  还原原版 (put the original files back)\n"
    "      verify   检查 (check the installed translation)\n"
    "      --yes    不提问 (ask nothing; standard input is not read)\n"
    "  退出码 (exit status): 0 完成 (done), 1 有文件失败 (some files failed), 2 拒绝执行，未做任何修改 "
    "(refused, nothing touched)";

// Takes the quotes and spaces off a folder typed or dragged into a console.
std::string Unquote(std::string text) {
  auto trim = [&text] {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    size_t start = 0;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
    text.erase(0, start);
  };
  trim();
  if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front())
    text = text.substr(1, text.size() - 2);
  trim();
  return text;
}

bool ContainsProgramFiles(const std::string& path) {
  std::string key = platform::FileNameKey(path);
  for (char& c : key)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return key.find("PROGRAM FILES") != std::string::npos;
}

class Session {
 public:
  Session(const Options& options, const SetupEnvironment& env, Screen* screen)
      : o_(options), env_(env), screen_(*screen) {}

  int Main() {
    if (o_.command == Command::kMenu) return Menu();
    if (!FindTheGame()) return kExitRefused;
    switch (o_.command) {
      case Command::kInstall: return DoInstall(true);
      case Command::kRestore: return DoRestore(true);
      case Command::kVerify: return DoVerify();
      case Command::kMenu: break;
    }
    return kExitRefused;
  }

 private:
  bool interactive() const { return !o_.yes; }

  // A line of input; nullopt at the end of input or when nothing may be asked.
  std::optional<std::string> Answer(const std::string& prompt) {
    if (!interactive()) return std::nullopt;
    screen_.Ask(prompt);
    std::string line;
    if (!env_.readLine || !env_.readLine(&line)) {
      screen_.Say("");
      return std::nullopt;
    }
    screen_.Log(prompt + line);
    return line;
  }

  bool Confirm(const std::string& question, bool byDefault) {
    const std::optional<std::string> answer = Answer(question + (byDefault ? " [Y/n] " : " [y/N] "));
    if (!answer) return false;
    const std::string a = Unquote(*answer);
    if (a.empty()) return byDefault;
    return a[0] == 'y' || a[0] == 'Y' || a == "是" || a == "1";
  }

  // --- finding the game ------------------------------------------------------

  void Describe(const SearchResult& result, const std::vector<std::string>& from) {
    std::string places;
    for (const std::string& f : from) places += (places.empty() ? "" : "、") + f;
    if (result.outcome == Discovery::kAmbiguous) {
      screen_.Say("找到了不止一份游戏文件 (more than one folder holds the game's packages):");
    } else {
      screen_.Say("在 " + places + " 附近没有找到游戏 (no game found near " + places + ").");
      screen_.Say("要找的是存放引擎包 (.upk) 的文件夹：清单上的 " + std::to_string(driver::kPackageCount) +
                  " 个引擎包至少要有十分之一，例如 " + driver::kTargetFiles[0] + "；以及存放 4 个影片 (.usm) "
                  "的文件夹，例如 " + driver::kTargetFiles[driver::kPackageCount] +
                  ". (Looked for a folder holding at least a tenth of the listed packages, and the movies.)");
    }
    if (result.outcome == Discovery::kTooFew && !result.candidates.empty())
      screen_.Say("找到的文件夹 (folders found):");
    for (size_t i = 0; i < result.candidates.size() && i < 5; ++i) {
      screen_.Say("  " + result.candidates[i].folder + ": " + std::to_string(result.candidates[i].packages) + " / " +
                  std::to_string(driver::kPackageCount) + " 个引擎包 (packages)");
    }
  }

  bool FindTheGame() {
    std::vector<std::string> from;
    if (!o_.gameDir.empty()) {
      from = {platform::AbsolutePath(o_.gameDir)};
    } else {
      from = {env_.programFolder, env_.currentFolder};
      from.erase(std::remove(from.begin(), from.end(), std::string()), from.end());
      if (from.size() == 2 && from[0] == from[1]) from.pop_back();
    }
    SearchResult result = FindGame(from);
    // A folder the player names is the game's or lies in it; a game found
    // only above it is someone else's guess, taken only when confirmed.
    if (!o_.gameDir.empty() && result.outcome == Discovery::kFound && result.level > 0 &&
        !Confirm("文件夹 " + from[0] + " 里没有游戏，但在它的上层找到了：" + result.game.packageDir +
                     "。使用它吗？(No game in the folder given, but one above it: use it?)",
                 false)) {
      result = SearchResult{Discovery::kTooFew, {}, result.candidates};
    }
    if (result.outcome == Discovery::kTooFew && o_.gameDir.empty()) {
      const std::vector<std::string> steam = SteamGameFolders(env_.home);
      if (!steam.empty()) {
        SearchResult inSteam = FindGame(steam, SearchLimits{0, 4, 4000});
        if (inSteam.outcome != Discovery::kTooFew) result = inSteam;
      }
    }
    while (result.outcome != Discovery::kFound) {
      Describe(result, from);
      const std::optional<std::string> answer =
          Answer("请输入游戏文件夹，或把它拖进这个窗口后按 Enter（直接按 Enter 退出）\n"
                 "(Type the game folder or drag it into this window, then press Enter; Enter alone quits): ");
      const std::string folder = answer ? Unquote(*answer) : "";
      if (folder.empty()) {
        screen_.Say("没有找到游戏，未做任何修改。(No game found; nothing was changed.)");
        return false;
      }
      if (!platform::IsFolder(folder)) {
        screen_.Say("不是文件夹 (not a folder): " + folder);
        continue;
      }
      from = {platform::AbsolutePath(folder)};
      result = FindGame(from, SearchLimits{0, 4, 4000});
    }
    game_ = result.game;
    screen_.Log("package folder: " + game_.packageDir + " (" + std::to_string(game_.packages) + ")");
    screen_.Log("movie folder: " + game_.movieDir + " (" + std::to_string(game_.movies) + ")");
    return true;
  }

  // --- the dictionary ----------------------------------------------------------

  std::vector<std::string> DictionaryFolders() const {
    std::vector<std::string> folders = {env_.programFolder};
    if (!o_.gameDir.empty()) folders.push_back(platform::AbsolutePath(o_.gameDir));
    std::string folder = game_.packageDir;
    for (int up = 0; up <= 3 && !folder.empty(); ++up) {
      folders.push_back(folder);
      folder = platform::ParentFolder(folder);
    }
    folders.push_back(env_.currentFolder);
    folders.erase(std::remove(folders.begin(), folders.end(), std::string()), folders.end());
    return folders;
  }

  // Finds, copies and checks the dictionary once; true when it can be used.
  bool PrepareDictionary() {
    if (dictionaryChecked_) return verdict_.usable;
    dictionaryChecked_ = true;
    if (!o_.dictionary.empty()) {
      dictionarySource_ = platform::AbsolutePath(o_.dictionary);
    } else {
      dictionarySource_ = LocateDictionary(DictionaryFolders());
    }
    if (dictionarySource_.empty()) {
      std::string places;
      for (const std::string& f : DictionaryFolders()) places += "\n    " + f;
      verdict_.problem = "找不到词典 chs.txt。已查找 (chs.txt not found; looked in):" + places;
      verdict_.advice = "请把汉化包里的 chs.txt 放到 hanhua-setup 旁边，或用 --dict 指定。"
                        "(Put the translation's chs.txt beside hanhua-setup, or name it with --dict.)";
      return false;
    }
    if (!platform::IsRegularFile(dictionarySource_)) {
      verdict_ = CheckDictionary(dictionarySource_);
      return false;
    }
    if (!copy_.Make(dictionarySource_)) {
      verdict_.problem = "无法读取词典 (the dictionary cannot be read): " + dictionarySource_;
      verdict_.advice = "确认文件没有被其他程序占用。(Make sure no other program holds it open.)";
      return false;
    }
    verdict_ = CheckDictionary(copy_.path());
    screen_.Log("dictionary: " + dictionarySource_ + " (" + std::to_string(verdict_.entries) + " entries)");
    return verdict_.usable;
  }

  void SayDictionaryProblem() {
    screen_.Say("词典不能使用 (the dictionary cannot be used): " + dictionarySource_);
    screen_.Say("  " + verdict_.problem);
    screen_.Say("  " + verdict_.advice);
    screen_.Say("未做任何修改。(Nothing was changed.)");
  }

  // --- state ------------------------------------------------------------------

  std::string StateText(const GameFiles& files) const {
    switch (StateOf(files)) {
      case InstallState::kNotInstalled: return "未安装汉化 (not installed)";
      case InstallState::kInstalled: return "已安装汉化 (installed)";
      case InstallState::kPartly:
        return "部分文件已安装汉化 (partly installed: " + std::to_string(files.backups) + " of " +
               std::to_string(files.files.size()) + " files have a backup)";
    }
    return "";
  }

  void ShowStatus() {
    const GameFiles files = SurveyGame(game_);
    screen_.Say("引擎包 (packages): " + game_.packageDir + " (" + std::to_string(game_.packages) + " / " +
                std::to_string(driver::kPackageCount) + ")");
    screen_.Say("影片 (movies):     " + (game_.movieDir.empty() ? std::string("没有找到 (not found)")
                                                                : game_.movieDir + " (" + std::to_string(game_.movies) +
                                                                      " / " + std::to_string(driver::kMovieCount) + ")"));
    if (PrepareDictionary()) {
      screen_.Say("词典 (dictionary): " + dictionarySource_ + " (" + std::to_string(verdict_.entries) + " 条 entries)");
    } else {
      screen_.Say("词典 (dictionary): " + verdict_.problem);
    }
    screen_.Say("状态 (state):      " + StateText(files));
  }

  // True when both game folders take new files; says what to do otherwise.
  bool CheckWritable() {
    for (const std::string& folder : {game_.packageDir, game_.movieDir}) {
      if (folder.empty() || FolderIsWritable(folder)) continue;
      screen_.Say("无法写入文件夹 (cannot write to the folder) " + folder + ".");
      if (ContainsProgramFiles(folder)) {
        screen_.Say("游戏装在 Program Files 下，修改它需要管理员权限：请右键点击 hanhua-setup.exe，"
                    "选择“以管理员身份运行”。(The game is under Program Files: right-click hanhua-setup.exe "
                    "and choose \"Run as administrator\".)");
      } else {
        screen_.Say("请确认游戏没有在运行，并检查文件夹的权限；必要时以管理员身份运行。"
                    "(Close the game, check the folder's permissions, or run as administrator.)");
      }
      screen_.Say("未做任何修改。(Nothing was changed.)");
      return false;
    }
    return true;
  }

  RunHooks Hooks() {
    RunHooks hooks;
    hooks.progress = [this](const RunProgress& p) { screen_.Progress(p); };
    hooks.fileDone = [this](const FileOutcome& outcome) {
      for (const std::string& m : outcome.messages) screen_.Log("  " + outcome.file.path + ": " + m);
      if (!outcome.ok) screen_.Log("failed: " + outcome.file.path + ": " + outcome.reason);
    };
    return hooks;
  }

  void SayFailures(const std::vector<FileOutcome>& failures) {
    if (failures.empty()) return;
    screen_.Say(std::to_string(failures.size()) + " 个文件失败 (files failed):");
    for (size_t i = 0; i < failures.size(); ++i) {
      const std::string line = "  " + failures[i].file.path + ": " + failures[i].reason;
      if (i < kFailuresShown) screen_.Say(line);
      else screen_.Log(line);
    }
    if (failures.size() > kFailuresShown)
      screen_.Say("  …… 其余 " + std::to_string(failures.size() - kFailuresShown) + " 个见日志 (the rest are in the log)");
  }

  // The toolkit's check of the install: the files are sound, and with the
  // dictionary, they hold every translation it makes.
  dict_tool::VerifyResult CheckTheInstall() {
    screen_.Say("正在检查…… (checking)");
    const dict_tool::GameDirs dirs{game_.packageDir, game_.movieDir.empty() ? game_.packageDir : game_.movieDir};
    return dict_tool::VerifyInstall(dirs, verdict_.usable ? copy_.path() : "", true);
  }

  void SayCounts(const dict_tool::VerifyResult& v) {
    auto count = [&v](uint64_t translated, uint64_t expected) {
      return "已翻译 " + std::to_string(translated) +
             (v.withDictionary ? " / " + std::to_string(expected) + " 条 (translated, of those the dictionary translates)"
                               : " 条 (translated)");
    };
    screen_.Say("对白 (dialogue strings): " + count(v.dialogueTranslated, v.dialogueExpected));
    screen_.Say("字幕 (subtitles):        " + count(v.subtitlesTranslated, v.subtitlesExpected));
    for (size_t i = 0; i < v.findings.size(); ++i) {
      const std::string line = "检查发现问题 (check found): " + dict_tool::FormatDiagnostic(v.findings[i]);
      if (i < kFailuresShown) screen_.Say(line);
      else screen_.Log(line);
    }
  }

  // --- the runs -----------------------------------------------------------------

  int DoInstall(bool ask) {
    if (!PrepareDictionary()) {
      SayDictionaryProblem();
      return kExitRefused;
    }
    const GameFiles files = SurveyGame(game_);
    if (!CheckWritable()) return kExitRefused;
    if (ask && interactive() &&
        !Confirm("将把汉化安装到 " + game_.packageDir + "，继续吗？(Install the translation?)", true)) {
      screen_.Say("已取消，未做任何修改。(Cancelled; nothing was changed.)");
      return kExitRefused;
    }
    screen_.BeginProgress("正在安装汉化…… (installing)");
    const RunReport report = Install(game_, files, copy_.folder(), Hooks());
    screen_.EndProgress();
    const dict_tool::VerifyResult check = CheckTheInstall();

    int packages = 0, movies = 0;
    for (const ListedFile& f : files.files) {
      const bool failed = std::any_of(report.failures.begin(), report.failures.end(),
                                      [&f](const FileOutcome& o) { return o.file.index == f.index; });
      if (!failed) ++(f.movie ? movies : packages);
    }
    screen_.Say("—— 安装完成 (installed) ——");
    screen_.Say("重建了 " + std::to_string(packages) + " 个引擎包和 " + std::to_string(movies) +
                " 个影片 (packages and movies rebuilt)");
    SayCounts(check);
    SayFailures(report.failures);
    screen_.Say("用时 (time taken): " + Duration(report.seconds));
    return report.failures.empty() && check.exitStatus == dict_tool::kExitOk ? kExitDone : kExitFailed;
  }

  int DoRestore(bool ask) {
    const GameFiles files = SurveyGame(game_);
    if (files.backups == 0) {
      screen_.Say("没有找到备份：汉化没有安装，不需要还原。(No backup found: nothing to restore.)");
      return kExitDone;
    }
    if (!CheckWritable()) return kExitRefused;
    if (ask && interactive() && !Confirm("将还原 " + std::to_string(files.backups) + " 个原版文件，继续吗？"
                                         "(Restore the original files?)", true)) {
      screen_.Say("已取消，未做任何修改。(Cancelled; nothing was changed.)");
      return kExitRefused;
    }
    screen_.BeginProgress("正在还原原版…… (restoring)");
    const RunReport report = Restore(game_, files, Hooks());
    screen_.EndProgress();
    screen_.Say("—— 还原完成 (restored) ——");
    screen_.Say("还原了 " + std::to_string(report.done) + " 个文件 (files restored)");
    SayFailures(report.failures);
    screen_.Say("用时 (time taken): " + Duration(report.seconds));
    if (!report.failures.empty()) {
      screen_.Say("备份已保留，请处理上述问题后再还原一次。(The backups are kept; mend the above and restore again.)");
      return kExitFailed;
    }
    if (Confirm("全部还原成功。要删除 " + std::to_string(files.backups) +
                    " 个备份 (.bak) 文件吗？以后重新安装汉化不需要它们。(Delete the backups?)",
                false)) {
      std::vector<std::string> kept;
      const int removed = DeleteBackups(files, &kept);
      screen_.Say("删除了 " + std::to_string(removed) + " 个备份 (backups deleted)");
      for (const std::string& k : kept) screen_.Say("  未删除 (kept): " + k);
    }
    return kExitDone;
  }

  int DoVerify() {
    const GameFiles files = SurveyGame(game_);
    if (files.backups == 0) {
      screen_.Say("没有找到备份：汉化没有安装。(No backup: the translation is not installed.)");
      return kExitFailed;
    }
    PrepareDictionary();  // counts what it translates when it is usable
    const dict_tool::VerifyResult check = CheckTheInstall();
    screen_.Say("检查了 " + std::to_string(check.packages) + " 个引擎包和 " + std::to_string(check.movies) +
                " 个影片 (packages and movies checked)");
    SayCounts(check);
    if (check.exitStatus != dict_tool::kExitOk) return kExitFailed;
    screen_.Say("汉化完好。(The translation is in place.)");
    return kExitDone;
  }

  int Menu() {
    if (!FindTheGame()) return kExitRefused;
    int status = kExitDone;
    for (;;) {
      screen_.Say("");
      ShowStatus();
      screen_.Say("");
      screen_.Say("  1  安装汉化 (install)");
      screen_.Say("  2  还原原版 (restore)");
      screen_.Say("  3  检查     (verify)");
      screen_.Say("  0  退出     (quit)");
      const std::optional<std::string> choice = Answer("请选择 (choose): ");
      if (!choice) return status;
      const std::string c = Unquote(*choice);
      if (c == "1") status = DoInstall(false);
      else if (c == "2") status = DoRestore(false);
      else if (c == "3") status = DoVerify();
      else if (c == "0") return status;
      else screen_.Say("请输入 0、1、2 或 3。(Type 0, 1, 2 or 3.)");
    }
  }

  const Options& o_;
  const SetupEnvironment& env_;
  Screen& screen_;
  GameFolders game_;
  bool dictionaryChecked_ = false;
  std::string dictionarySource_;
  DictionaryCopy copy_;
  DictionaryVerdict verdict_;
};

}  // namespace

SetupEnvironment ThisProcessEnvironment() {
  SetupEnvironment env;
  env.programFolder = platform::ProgramFolder();
  env.currentFolder = platform::AbsolutePath(".");
  if (!env.programFolder.empty()) env.logPath = platform::JoinPath(env.programFolder, kLogName);
  env.home = platform::HomeFolder();
  env.console = platform::IsTerminal(platform::Stream::kOut);
  env.ownConsole = platform::HasOwnConsole();
  env.readLine = platform::ReadLine;
  return env;
}

int RunSetup(const std::vector<std::string>& args, const SetupEnvironment& environment) {
  const Options options = ParseArguments(args);
  int status;
  {
    Screen screen(environment.logPath, environment.console);
    std::string commandLine = "hanhua-setup";
    for (const std::string& a : args) commandLine += " " + a;
    screen.Log(commandLine);
    if (options.help) {
      screen.Say(kUsage);
      status = kExitDone;
    } else if (!options.error.empty()) {
      screen.Say(options.error);
      screen.Say(kUsage);
      status = kExitRefused;
    } else {
      Session session(options, environment, &screen);
      status = session.Main();
    }
    screen.Log("exit status " + std::to_string(status));
  }
  if (environment.ownConsole) {
    platform::WriteUtf8(platform::Stream::kOut, "\n按 Enter 键关闭窗口…… (Press Enter to close.)");
    std::string line;
    if (environment.readLine) environment.readLine(&line);
  }
  return status;
}

}  // namespace setup
