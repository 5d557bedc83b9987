// XLIFF files: every byte of every text and every state survives export and
// import, the states other tools write are read, and Translate Toolkit
// reads the export into a PO file that gettext accepts.
#include "tools/dict/xliff.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tools/dict/interchange_test_sample.h"
#include "tools/dict/tool_io.h"
#include "tests/support/files.h"

namespace dict_tool {
namespace {

// Without the control characters that XML 1.0 cannot carry.
std::vector<Entry> XmlSample() {
  std::vector<Entry> sample;
  for (const Entry& e : InterchangeSample())
    if (FindUnexportable({e}, true).empty()) sample.push_back(e);
  return sample;
}

TEST(Xliff, EveryByteAndStateSurvivesExportAndImport) {
  const std::vector<Entry> sample = XmlSample();
  ASSERT_EQ(sample.size(), InterchangeSample().size() - 1);
  std::vector<Entry> back;
  ReadError error;
  ASSERT_TRUE(ReadXliff(XliffText(sample, "chs.txt"), &back, &error)) << error.line << ": " << error.message;
  ASSERT_EQ(back.size(), sample.size());
  for (size_t i = 0; i < sample.size(); ++i) {
    EXPECT_EQ(sample[i].source, back[i].source) << i;
    EXPECT_EQ(sample[i].target, back[i].target) << i;
    EXPECT_EQ(sample[i].remark, back[i].remark) << i;
  }
}

TEST(Xliff, ReadsTheStatesOfOtherTools) {
  const std::string head = "<?xml version=\"1.0\"?><xliff version=\"1.2\"><file><body>";
  const std::string tail = "</body></file></xliff>";
  const struct {
    const char* unit;
    Entry expected;
  } cases[] = {
      {"<trans-unit id=\"a\" approved=\"no\"><source>A</source><target>x</target></trans-unit>", {"A", "A", "[fuzzy] \"x\"", 0}},
      {"<trans-unit id=\"b\"><source>B</source><target state=\"new\">x</target></trans-unit>", {"B", "B", "", 0}},
      {"<trans-unit id=\"c\"><source>C</source><target state=\"signed-off\">C</target><note>n</note></trans-unit>",
       {"C", "C", "n\n[identical]", 0}},
      {"<group><trans-unit id=\"d\"><source>D</source><target><![CDATA[<d>]]></target></trans-unit></group>", {"D", "<d>", "", 0}},
  };
  for (const auto& c : cases) {
    std::vector<Entry> entries;
    ReadError error;
    ASSERT_TRUE(ReadXliff(head + c.unit + tail, &entries, &error)) << c.unit << ": " << error.message;
    ASSERT_EQ(entries.size(), 1u) << c.unit;
    EXPECT_EQ(entries[0].source, c.expected.source);
    EXPECT_EQ(entries[0].target, c.expected.target);
    EXPECT_EQ(entries[0].remark, c.expected.remark) << c.unit;
  }
  std::vector<Entry> entries;
  ReadError error;
  EXPECT_FALSE(ReadXliff(head + "\n<trans-unit><source>A<g>b</g></source></trans-unit>" + tail, &entries, &error));
  EXPECT_EQ(error.line, 2u);
  EXPECT_FALSE(ReadXliff(head + "\n\n<trans-unit>" + tail, &entries, &error));
  EXPECT_EQ(error.line, 3u) << error.message;
}

TEST(Xliff, TranslateToolkitReadsTheExportIntoAPoThatGettextAccepts) {
  if (std::system("xliff2po --version >/dev/null 2>&1") != 0 || std::system("msgfmt --version >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "xliff2po (translate-toolkit) or msgfmt (gettext) is not installed";
  fixtures::TempDir dir;
  const std::string xliff = dir.File("chs.xlf"), po = dir.File("chs.po");
  ASSERT_TRUE(fixtures::WriteFileText(xliff, XliffText(XmlSample(), "chs.txt")));
  ASSERT_EQ(std::system(("xliff2po --progress=none '" + xliff + "' '" + po + "' >/dev/null 2>&1").c_str()), 0);
  EXPECT_EQ(std::system(("msgfmt --check -o /dev/null '" + po + "' 2>/dev/null").c_str()), 0);
  std::string text;
  ASSERT_TRUE(ReadWholeFile(po, &text));
  // Translated units arrive translated, the suggestion as fuzzy.
  EXPECT_NE(text.find("msgid \"<b>%s</b> & {0} > \\\"q\\\" 'a' \\\\ back\"\nmsgstr \"<b>%s</b>"), std::string::npos) << text;
  EXPECT_NE(text.find("#, fuzzy\nmsgid \"We ride at dawn!\""), std::string::npos) << text;
}

}  // namespace
}  // namespace dict_tool
