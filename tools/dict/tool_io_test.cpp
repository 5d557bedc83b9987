// Outputs of hanhua-dict that never destroy work: every platform call of a
// command that writes is made to fail in turn (reads and writes also
// half-way, as on a full disk), and the folder must hold either what it
// held before or the command's clean result, never anything else and no
// stray file; a failed command leaves it exactly as it was. Then: outputs
// named like their input, for every command that writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "dictionary/dict_test_util.h"
#include "platform/fault_injection.h"
#include "tools/dict/cli.h"
#include "tools/dict/csv.h"
#include "tests/support/capture_stdout.h"
#include "tests/support/dir_state.h"
#include "tests/support/files.h"

namespace dict_tool {
namespace {

namespace faults = platform::faults;

int RunQuietly(std::vector<std::string> args) {
  args.insert(args.begin(), "hanhua-dict");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  fixtures::CaptureStdout err(2);
  fixtures::CaptureStdout out;
  return RunDictTool(int(argv.size()), argv.data());
}

// A dictionary text without its first line, which holds the time of saving.
fixtures::Bytes WithoutHeaderLine(fixtures::Bytes bytes) {
  const std::string text(bytes.begin(), bytes.end());
  if (text.compare(0, 10, "Brindlecot") != 0) return bytes;
  return fixtures::Bytes(bytes.begin() + text.find('\n') + 1, bytes.end());
}

fixtures::DirState Comparable(fixtures::DirState state) {
  for (auto& [name, file] : state) file.bytes = WithoutHeaderLine(file.bytes);
  return state;
}

struct WritingCommand {
  const char* name;
  std::vector<std::string> args;  // file names relative to the folder
};

// The folder every command starts from: an unsorted dictionary with a
// duplicate, a template, a CSV file, and earlier outputs of each command.
void WriteInputs(const fixtures::TempDir& dir) {
  const std::string unsorted = dict_test::FileText({{"B", "b", "1"}, {"A", "a", "2"}, {"B", "x", "3"}});
  ASSERT_TRUE(fixtures::WriteFileText(dir.File("chs.txt"), unsorted));
  ASSERT_TRUE(fixtures::WriteFileText(dir.File("template.txt"), dict_test::FileText({{"A", "A", "t"}, {"C", "C", "t"}})));
  ASSERT_TRUE(fixtures::WriteFileText(dir.File("in.csv"), "source,target\r\nQ,q\r\nP,p\r\n"));
  ASSERT_TRUE(fixtures::WriteFileText(dir.File("out.csv"), "earlier export"));
  ASSERT_TRUE(fixtures::WriteFileText(dir.File("imported.txt"), dict_test::FileText({{"Z", "z", ""}})));
  ASSERT_TRUE(fixtures::WriteFileText(dir.File("chs.bin"), "earlier binary"));
}

std::vector<std::string> InFolder(const fixtures::TempDir& dir, std::vector<std::string> args) {
  for (std::string& a : args)
    if (a.find('.') != std::string::npos) a = dir.File(a);
  return args;
}

const WritingCommand kWritingCommands[] = {
    {"sort over its input", {"sort", "chs.txt", "-o", "chs.txt"}},
    {"merge over its input", {"merge", "chs.txt", "template.txt", "-o", "chs.txt"}},
    {"csv import", {"csv", "import", "in.csv", "-o", "imported.txt"}},
    {"csv export", {"csv", "export", "template.txt", "-o", "out.csv"}},
    {"bin", {"bin", "template.txt", "-o", "chs.bin"}},
};

TEST(SafeOutput, EveryFailingCallLeavesTheFolderAsItWasOrDone) {
  if (!faults::Available()) GTEST_SKIP() << "built without the fault switch";
  const faults::Operation kOperations[] = {faults::kOpenRead, faults::kCreate, faults::kRead, faults::kWrite,
                                           faults::kSeek,     faults::kSize,   faults::kMove};
  for (const WritingCommand& command : kWritingCommands) {
    fixtures::DirState before, done;
    uint64_t calls[faults::kOperationCount] = {};
    {
      fixtures::TempDir dir;
      ASSERT_NO_FATAL_FAILURE(WriteInputs(dir));
      before = Comparable(fixtures::ReadDirState(dir.path()));
      faults::Clear();
      ASSERT_EQ(RunQuietly(InFolder(dir, command.args)), 0) << command.name;
      for (faults::Operation op : kOperations) calls[op] = faults::CallCount(op);
      done = Comparable(fixtures::ReadDirState(dir.path()));
      ASSERT_NE(done, before) << command.name;
    }
    for (faults::Operation op : kOperations) {
      for (bool halfWay : {false, true}) {
        if (halfWay && op != faults::kRead && op != faults::kWrite) continue;
        for (uint64_t n = 1; n <= calls[op]; ++n) {
          fixtures::TempDir dir;
          ASSERT_NO_FATAL_FAILURE(WriteInputs(dir));
          faults::Clear();
          faults::FailCall(op, n, halfWay);
          const int code = RunQuietly(InFolder(dir, command.args));
          faults::Clear();
          const fixtures::DirState after = Comparable(fixtures::ReadDirState(dir.path()));
          const std::string what = std::string(command.name) + ", operation " + std::to_string(op) + " call " +
                                   std::to_string(n) + (halfWay ? " half-way" : "");
          if (code != 0) {
            EXPECT_EQ(after, before) << what << "\n" << fixtures::DescribeDifferences(before, after);
          } else {
            EXPECT_EQ(after, done) << what << "\n" << fixtures::DescribeDifferences(done, after);
          }
        }
      }
    }
  }
}

TEST(SafeOutput, AnOutputNamedLikeItsInput) {
  fixtures::TempDir dir;
  ASSERT_NO_FATAL_FAILURE(WriteInputs(dir));
  const fixtures::Bytes dictionary = fixtures::ReadFileBytes(dir.File("chs.txt"));
  struct Case {
    std::vector<std::string> args;
    int code;
    bool changes;  // the input is rewritten (same format) rather than refused
  } cases[] = {
      {{"csv", "export", "chs.txt", "-o", "chs.txt"}, 2, false},
      {{"csv", "export", "chs.txt", "-o", "sub/../chs.txt"}, 2, false},
      {{"bin", "chs.txt", "-o", "chs.txt", "--force"}, 2, false},
      {{"extract", "pkgs", "movies", "-o", "chs.txt"}, 1, false},  // holds translations
      {{"sort", "chs.txt", "-o", "chs.txt"}, 0, true},
      {{"merge", "chs.txt", "template.txt", "-o", "chs.txt"}, 0, true},
  };
  std::filesystem::create_directories(dir.File("sub"));
  for (const Case& c : cases) {
    ASSERT_TRUE(fixtures::WriteFileBytes(dir.File("chs.txt"), dictionary));
    std::vector<std::string> args = InFolder(dir, c.args);
    if (c.args[0] == "extract") args[1] = args[2] = dir.path();
    EXPECT_EQ(RunQuietly(args), c.code) << c.args[0];
    EXPECT_EQ(fixtures::ReadFileBytes(dir.File("chs.txt")) != dictionary, c.changes) << c.args[0];
  }
}

}  // namespace
}  // namespace dict_tool
