// The interchange commands end to end: a game update's changed line gets a
// suggestion from merge that the patcher does not install, that a PO file
// shows as fuzzy, and that a reviewed PO makes the translation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "tools/dict/cli.h"
#include "tools/dict/dict_build.h"
#include "tools/dict/dict_file.h"
#include "tools/dict/tool_io.h"
#include "tests/support/capture_stdout.h"
#include "tests/support/files.h"

namespace dict_tool {
namespace {

int DictRun(std::vector<std::string> args) {
  args.insert(args.begin(), "hanhua-dict");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  fixtures::CaptureStdout quiet;
  const int status = RunDictTool(int(argv.size()), argv.data());
  quiet.Finish();
  return status;
}

bool Write(const std::vector<Entry>& entries, const std::string& path) {
  Diagnostics diagnostics(Diagnostics::Mode::kCollect);
  return WriteDictionary(entries, path, Form::kText, &diagnostics);
}

std::vector<Entry> Load(const std::string& path) {
  DictFile file;
  LoadError error;
  EXPECT_TRUE(LoadDictFile(path, &file, &error)) << path;
  return EntriesOf(file);
}

const Entry* Find(const std::vector<Entry>& entries, const std::string& source) {
  for (const Entry& e : entries)
    if (e.source == source) return &e;
  return nullptr;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

constexpr char kDawn[] = "\xE6\x88\x91\xE4\xBB\xAC\xE9\xBB\x8E\xE6\x98\x8E\xE5\x87\xBA\xE5\x8F\x91\xE3\x80\x82";

TEST(Interchange, ASuggestionTravelsThroughPoAndBecomesTheTranslationOnceReviewed) {
  fixtures::TempDir dir;
  const std::string old = dir.File("old.txt"), templ = dir.File("template.txt"), merged = dir.File("merged.txt"),
                    po = dir.File("chs.po"), back = dir.File("back.txt");
  ASSERT_TRUE(Write({{"Hmm.", "Hmm.", "[identical]", 0}, {"We ride at dawn.", kDawn, "", 0}}, old));
  ASSERT_TRUE(Write({{"Hmm.", "Hmm.", "Pkg2.upk C'D'", 0}, {"We ride at dawn!", "We ride at dawn!", "Pkg1.upk A'B'", 0}},
                              templ));
  ASSERT_EQ(DictRun({"merge", old, templ, "-o", merged}), 0);

  std::vector<Entry> entries = Load(merged);
  const Entry* dawn = Find(entries, "We ride at dawn!");
  ASSERT_NE(dawn, nullptr);
  EXPECT_EQ(dawn->target, dawn->source);  // the patcher installs nothing unreviewed
  EXPECT_EQ(dawn->remark, std::string("Pkg1.upk A'B'\n[fuzzy 93%] \"") + kDawn + "\"\n[fuzzy source] \"We ride at dawn.\"");
  EXPECT_EQ(Find(entries, "Hmm.")->remark, "Pkg2.upk C'D'\n[identical]");

  ASSERT_EQ(DictRun({"po", "export", merged, "-o", po}), 0);
  std::string text;
  ASSERT_TRUE(ReadWholeFile(po, &text));
  EXPECT_NE(text.find(std::string("#: Pkg1.upk:A'B'\n#, fuzzy\n#| msgid \"We ride at dawn.\"\nmsgid \"We ride at dawn!\"\n"
                                  "msgstr \"") + kDawn + "\"\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("msgid \"Hmm.\"\nmsgstr \"Hmm.\"\n"), std::string::npos);

  // Imported as it is, the states come back; reviewed, the suggestion is
  // the translation.
  ASSERT_EQ(DictRun({"po", "import", po, "-o", back}), 0);
  std::vector<Entry> same = Load(back);
  ASSERT_EQ(same.size(), entries.size());
  for (size_t i = 0; i < same.size(); ++i) EXPECT_EQ(same[i].remark, entries[i].remark);
  ASSERT_TRUE(fixtures::WriteFileText(po, Replaced(text, "#, fuzzy\n", "")));
  ASSERT_EQ(DictRun({"po", "import", po, "-o", back}), 0);
  const std::vector<Entry> reviewed = Load(back);
  dawn = Find(reviewed, "We ride at dawn!");
  ASSERT_NE(dawn, nullptr);
  EXPECT_EQ(dawn->target, kDawn);
  EXPECT_EQ(dawn->remark, "Pkg1.upk A'B'");
}

TEST(Interchange, RefusalsWriteNothing) {
  fixtures::TempDir dir;
  const std::string dict = dir.File("chs.txt"), out = dir.File("out.xlf"), po = dir.File("bad.po");
  ASSERT_TRUE(Write({{"Bell\x07", "\xE9\x93\x83\x07", "", 0}}, dict));
  EXPECT_EQ(DictRun({"xliff", "export", dict, "-o", out}), 1);  // XML cannot carry the control character
  EXPECT_FALSE(FileExists(out));
  ASSERT_TRUE(fixtures::WriteFileText(po, "msgid \"A \"\nmsgstr \"a\"\n"));  // a source never found
  EXPECT_EQ(DictRun({"po", "import", po, "-o", out}), 1);
  EXPECT_FALSE(FileExists(out));
  EXPECT_EQ(DictRun({"check", dict, "--skip", "nosuch"}), 2);
}

}  // namespace
}  // namespace dict_tool
