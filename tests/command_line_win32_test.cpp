// End-to-end tests of hanhua.exe on Windows: the program is started the way
// a user's console starts it (CreateProcess with one command line), on a
// temporary game folder, and its exit code, its console bytes and the files
// it leaves are checked, attributes through GetFileAttributesA.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "driver/target_files.h"
#include "platform/platform.h"
#include "tests/support/console_text.h"
#include "tests/support/demo_game.h"
#include "tests/support/files.h"

namespace {

using driver::kMovieCount;
using driver::kPackageCount;
using driver::kTargetFiles;
using fixtures::Bytes;
using fixtures::ProgressLine;
using fixtures::ProgressLines;
using fixtures::ReadFileBytes;
using fixtures::SameBytes;
using fixtures::TempDir;
using fixtures::WriteFileText;

constexpr int kEmptyEntry = 709;
constexpr DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// The C runtime's text mode turns each line feed into CR LF on the way out;
// a carriage return alone stays as it is.
std::string TextMode(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

const std::string kPatching = fixtures::kGbkTexts.patching;
const std::string kRestoring = fixtures::kGbkTexts.restoring;
const std::string kDone = TextMode(fixtures::kGbkTexts.done);

// The program under test: hanhua.exe beside this test program, where the
// build puts both (the path compiled in is the build machine's).
std::string ProgramPath() {
  char self[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
  std::string path(self, n);
  size_t slash = path.find_last_of("\\/");
  std::string beside = path.substr(0, slash + 1) + "hanhua.exe";
  return GetFileAttributesA(beside.c_str()) != INVALID_FILE_ATTRIBUTES ? beside : HANHUA_BINARY;
}

// One argument quoted so that the C runtime's parser gives it back
// unchanged: backslashes are literal except before a quote, where they are
// doubled, and the quote itself is escaped.
std::string Quote(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');  // before the closing quote
  return out + "\"";
}

struct Result {
  DWORD exitCode = 0xFFFFFFFF;
  std::string out;
};

// Runs the program with these arguments (argv[0] included) in directory
// cwd and collects its standard output through a pipe.
Result RunProgram(const std::vector<std::string>& args, const std::string& cwd) {
  Result result;
  std::string commandLine;
  for (const std::string& arg : args) commandLine += (commandLine.empty() ? "" : " ") + Quote(arg);

  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);  // the child gets the write end only

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
  mutableLine.push_back('\0');
  std::string program = ProgramPath();
  BOOL started = CreateProcessA(program.c_str(), mutableLine.data(), nullptr, nullptr, TRUE, 0,
                                nullptr, cwd.c_str(), &startup, &process);
  CloseHandle(writeEnd);  // so the read below ends when the child exits
  if (started) {
    char buffer[65536];
    DWORD n = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0) result.out.append(buffer, n);
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(readEnd);
  return result;
}

DWORD Attributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }
bool Hidden(const std::string& path) {
  DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & kHiddenSystem) == kHiddenSystem;
}
bool Plain(const std::string& path) {
  DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & (kHiddenSystem | FILE_ATTRIBUTE_READONLY)) == 0;
}

TEST(HanhuaWin32, EchoesAnyOtherCommandLineWithCrLf) {
  const std::string program = ProgramPath();
  const std::vector<std::vector<std::string>> cases = {
      {program},
      {program, "eng2chs", "P"},
      {program, "ENG2CHS", "P", "M"},
      {program, "chs2eng", "P", "M", "extra"},
      {program, "with space", "C:\\Program Files\\Game\\", "say \"hi\""},
      {program, "100%", "%s%n%d", ""},
      {program, "back\\\\slashes\\", "\\\"quoted\\\""},
  };
  TempDir cwd;
  for (const auto& args : cases) {
    std::string expected;
    for (size_t i = 0; i < args.size(); ++i)
      expected += "argv[" + std::to_string(i) + "]," + args[i] + "\r\n";
    Result r = RunProgram(args, cwd.path());
    EXPECT_EQ(r.exitCode, 0u) << args.size() << " args";
    EXPECT_EQ(r.out, expected);
  }
}

TEST(HanhuaWin32, EmptyFoldersGiveOnlyTheProgressLines) {
  TempDir root;
  std::string packages = root.File("CookedPC"), movies = root.File("Movies");
  std::filesystem::create_directory(packages);
  std::filesystem::create_directory(movies);
  const std::string program = ProgramPath();

  Result restore = RunProgram({program, "chs2eng", packages, movies}, root.path());
  EXPECT_EQ(restore.exitCode, 0u);
  EXPECT_TRUE(SameBytes(restore.out, ProgressLines(kRestoring))) << "no closing line";

  Result patch = RunProgram({program, "eng2chs", packages, movies}, root.path());
  EXPECT_EQ(patch.exitCode, 0u);
  EXPECT_TRUE(SameBytes(patch.out, ProgressLines(kPatching) + kDone));
  EXPECT_TRUE(std::filesystem::is_empty(packages));
}

// True when bytes hold the UTF-16LE form of one of the demo's translations.
bool HoldsATranslation(const Bytes& bytes) {
  for (const fixtures::DemoTranslation& t : fixtures::DemoDialogueTranslations()) {
    if (t.target.empty()) continue;
    std::vector<uint16_t> wide(t.target.size());
    int units = platform::Utf8ToUtf16(t.target.data(), int(t.target.size()), wide.data(), int(wide.size()));
    Bytes needle;
    for (int u = 0; u < units; ++u) {
      needle.push_back(uint8_t(wide[u]));
      needle.push_back(uint8_t(wide[u] >> 8));
    }
    if (!needle.empty() && std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end()) != bytes.end())
      return true;
  }
  return false;
}

// A demo game install, with every listed file's original bytes kept.
class DemoGameWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fixtures::WriteDemoGame(root_.path()));
    for (int i = 0; i < driver::kTargetFileCount; ++i) {
      if (kTargetFiles[i][0] == '\0') continue;
      original_[Path(i)] = ReadFileBytes(Path(i));
    }
  }
  void TearDown() override {
    // Hidden and system files are removed like any other; read-only ones
    // would not be.
    for (const auto& [path, bytes] : original_) SetFileAttributesA((path + ".bak").c_str(), 0x80);
  }

  std::string Path(int i) const {
    return root_.path() + "\\" + (i < kPackageCount ? "CookedPC\\" : "Movies\\") + kTargetFiles[i];
  }
  Result Run(const std::string& command) {
    return RunProgram({ProgramPath(), command, "CookedPC", "Movies"}, root_.path());
  }
  std::vector<std::string> ChangedFiles() const {
    std::vector<std::string> changed;
    for (const auto& [path, bytes] : original_)
      if (ReadFileBytes(path) != bytes) changed.push_back(path);
    return changed;
  }

  TempDir root_;
  std::map<std::string, Bytes> original_;
};

// A patch and a restore of a whole game, as a Windows user runs them. Each
// run takes a while under Wine, so the checks share the runs; a second patch
// (MoveFileA refusing to replace a backup) is left to the driver's own tests,
// which run on this backend too.
TEST_F(DemoGameWin32, PatchAndRestore) {
  Result patch = Run("eng2chs");
  EXPECT_EQ(patch.exitCode, 0u);
  EXPECT_TRUE(SameBytes(patch.out, ProgressLines(kPatching) + kDone));
  for (const auto& [path, bytes] : original_) {
    ASSERT_EQ(ReadFileBytes(path + ".bak"), bytes) << path << ": the backup is the original";
    EXPECT_TRUE(Hidden(path + ".bak")) << path;
  }
  // chs.txt was found through the current directory (GetCurrentDirectoryA).
  // A package without a string to translate is the plain uncompressed
  // package; one with such strings grows by its rewritten exports, which
  // carry the translations as UTF-16 (converted by MultiByteToWideChar).
  // The bytes themselves are compared with the Linux program's by
  // scripts/compare-windows.
  int translated = 0, withText = 0;
  for (int i = 0; i < kPackageCount; ++i) {
    if (i == kEmptyEntry) continue;
    Bytes plain, output = ReadFileBytes(Path(i));
    fixtures::DemoDialogueStats dialogue;
    fixtures::DemoPackageContents(i, &dialogue);
    ASSERT_TRUE(fixtures::ExpectedPatchOutput(original_[Path(i)], &plain)) << i;
    if (dialogue.translatable == 0) {
      ASSERT_EQ(output, plain) << Path(i);
    } else {
      ASSERT_GT(output.size(), plain.size()) << Path(i) << ": no export rewritten";
      ++translated;
      // Some packages translate only a line whose translation is empty.
      if (HoldsATranslation(output)) ++withText;
    }
    ASSERT_TRUE(Plain(Path(i))) << Path(i) << ": the rebuilt file is not hidden";
  }
  EXPECT_GT(translated, 0);
  EXPECT_GT(withText, translated / 2);
  for (int k = 0; k < kMovieCount; ++k) {
    const std::string movie = Path(kPackageCount + k);
    EXPECT_FALSE(ReadFileBytes(movie).empty()) << movie << ": subtitles translated";
    EXPECT_NE(ReadFileBytes(movie), original_[movie]) << movie;
  }

  // A file deleted since is made anew by the copy from its hidden backup,
  // and the copy takes the backup's attributes along: the restore must
  // clear them.
  const std::string lost = Path(3);
  ASSERT_TRUE(DeleteFileA(lost.c_str()));
  Result restore = Run("chs2eng");
  EXPECT_EQ(restore.exitCode, 0u);
  EXPECT_TRUE(SameBytes(restore.out, ProgressLines(kRestoring))) << "no closing line";
  EXPECT_EQ(ChangedFiles(), std::vector<std::string>{});
  for (const auto& [path, bytes] : original_) {
    EXPECT_TRUE(Plain(path)) << path << ": a restored file must not stay hidden";
    EXPECT_TRUE(Hidden(path + ".bak")) << path << ": the backup stays hidden";
  }

  // "CookedPC\" + "" is the package folder itself: every operation on it
  // failed, and the folder holds exactly the listed files and backups.
  EXPECT_NE(patch.out.find(ProgressLine(kPatching, 710) + ProgressLine(kPatching, 711)),
            std::string::npos);
  EXPECT_TRUE(Plain(root_.File("CookedPC"))) << "the folder is not marked";
  size_t entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(root_.File("CookedPC"))) {
    EXPECT_NE(entry.path().filename().string(), ".bak");
    ++entries;
  }
  EXPECT_EQ(entries, size_t(2 * (kPackageCount - 1)));
}

}  // namespace
