// PO files: every byte of every text and every state of an entry survives
// export and import, what other tools write is read, and gettext itself
// accepts the export.
#include "tools/dict/po.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tools/dict/entry_state.h"
#include "tools/dict/interchange_test_sample.h"
#include "tests/support/files.h"

namespace dict_tool {
namespace {

void ExpectSameTexts(const std::vector<Entry>& expected, const std::vector<Entry>& actual) {
  ASSERT_EQ(expected.size(), actual.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i].source, actual[i].source) << i;
    EXPECT_EQ(expected[i].target, actual[i].target) << i;
    EXPECT_EQ(expected[i].remark, actual[i].remark) << i;
  }
}

TEST(Po, EveryByteAndStateSurvivesExportAndImport) {
  std::vector<Entry> sample = InterchangeSample();
  // The same source twice: the second message gets a context of its own.
  sample.push_back({"Hmm.", "\xE5\x97\xAF", "", 0});
  std::vector<Entry> back;
  ReadError error;
  ASSERT_TRUE(ReadPo(PoText(sample, "2024-01-01 00:00+0000"), &back, &error)) << error.line << ": " << error.message;
  ExpectSameTexts(sample, back);
}

TEST(Po, ExportPinned) {
  const std::vector<Entry> entries = {
      {"Hmm.", "Hmm.", "[identical]", 0},
      {"Untranslated", "Untranslated", "Movie1.usm 0:00:01.000", 0},
      {"We ride at dawn!", "We ride at dawn!", "Pkg1.upk A'B'\n[fuzzy 93%] \"\xE9\xBB\x8E\xE6\x98\x8E\"\n[fuzzy source] \"We ride at dawn.\"", 0},
      {"a\nb", "c\nd", "note", 0},
  };
  const std::string text = PoText(entries, "2024-01-01 00:00+0000");
  const std::string messages = text.substr(text.find("\n\n") + 2);
  EXPECT_EQ(messages,
            "msgid \"Hmm.\"\nmsgstr \"Hmm.\"\n\n"
            "#: Movie1.usm:0:00:01.000\nmsgid \"Untranslated\"\nmsgstr \"\"\n\n"
            "#: Pkg1.upk:A'B'\n#, fuzzy\n#| msgid \"We ride at dawn.\"\nmsgid \"We ride at dawn!\"\n"
            "msgstr \"\xE9\xBB\x8E\xE6\x98\x8E\"\n\n"
            "#. note\nmsgid \"\"\n\"a\\n\"\n\"b\"\nmsgstr \"\"\n\"c\\n\"\n\"d\"\n");
  EXPECT_NE(text.find("\"Content-Type: text/plain; charset=UTF-8\\n\"\n"), std::string::npos);
  EXPECT_NE(text.find("\"Language: zh_CN\\n\"\n"), std::string::npos);
}

struct ReadCase {
  const char* name;
  const char* po;
  std::vector<Entry> expected;  // remark included
};

TEST(Po, ReadsWhatTranslationToolsWrite) {
  const ReadCase cases[] = {
      {"translator comment joins the remark; fuzzy flag among others",
       "# mine\n#. dev\n#, c-format, fuzzy\nmsgid \"A\"\nmsgstr \"x\"\n",
       {{"A", "A", "dev\nmine\n[fuzzy] \"x\"", 0}}},
      {"obsolete messages and their comments are passed over",
       "#. gone\n#~ msgid \"Old\"\n#~ msgstr \"y\"\n\nmsgid \"B\"\nmsgstr \"b\"\n", {{"B", "b", "", 0}}},
      {"plural forms: the first; CR LF lines; a byte-order mark",
       "\xEF\xBB\xBFmsgid \"C\"\r\nmsgid_plural \"Cs\"\r\nmsgstr[0] \"c\"\r\nmsgstr[1] \"cs\"\r\n", {{"C", "c", "", 0}}},
      {"a fuzzy message without text is untranslated; escapes", "#, fuzzy\nmsgid \"D\\x41\\101\\a\"\nmsgstr \"\"\n",
       {{"DAA\a", "DAA\a", "", 0}}},
      {"the previous msgid gives the similarity", "#, fuzzy\n#| msgid \"\"\n#| \"Old \"\n#| \"text\"\nmsgid \"Old text!\"\nmsgstr \"z\"\n",
       {{"Old text!", "Old text!", "[fuzzy 88%] \"z\"\n[fuzzy source] \"Old text\"", 0}}},
  };
  for (const ReadCase& c : cases) {
    std::vector<Entry> entries;
    ReadError error;
    ASSERT_TRUE(ReadPo(c.po, &entries, &error)) << c.name << ": " << error.line << ": " << error.message;
    ExpectSameTexts(c.expected, entries);
  }
  const std::pair<const char*, uint32_t> broken[] = {
      {"msgid \"A\"\nmsgstr \"a\\q\"\n", 2},
      {"msgid \"A\"\n\nmsgid \"B\"\nmsgstr \"\"\n", 3},
      {"msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=ISO-8859-1\\n\"\n\nmsgid \"A\"\nmsgstr \"\"\n", 1},
      {"msgid \"A\"\nmsgstr \"a\"\nbogus\n", 3},
  };
  for (const auto& [po, line] : broken) {
    std::vector<Entry> entries;
    ReadError error;
    EXPECT_FALSE(ReadPo(po, &entries, &error)) << po;
    EXPECT_EQ(error.line, line) << po << ": " << error.message;
  }
}

TEST(Po, GettextAcceptsTheExport) {
  if (std::system("msgfmt --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "msgfmt (gettext) is not installed";
  fixtures::TempDir dir;
  const std::string path = dir.File("chs.po");
  ASSERT_TRUE(fixtures::WriteFileText(path, PoText(InterchangeSample(), "2024-01-01 00:00+0000")));
  EXPECT_EQ(std::system(("msgfmt --check -o /dev/null '" + path + "'").c_str()), 0);
}

}  // namespace
}  // namespace dict_tool
