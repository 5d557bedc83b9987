// The checks of hanhua-dict: every kind of defect is found, at the entry
// and the line where a translator has to look.
#include "tools/dict/dict_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dictionary/dict_test_util.h"
#include "tools/dict/dict_file.h"
#include "tests/support/files.h"

namespace dict_tool {
namespace {

using dict_test::EntryText;
using dict_test::FileText;
using dict_test::Texts;

// The line (from 1) of the first byte of the occurrence-th needle in text,
// counted independently of the tool: line feeds before it, plus one.
uint32_t LineOf(const std::string& text, const std::string& needle, int occurrence = 1) {
  size_t at = std::string::npos;
  for (int k = 0; k < occurrence; ++k) at = text.find(needle, at == std::string::npos ? 0 : at + 1);
  EXPECT_NE(at, std::string::npos) << needle;
  return uint32_t(std::count(text.begin(), text.begin() + at, '\n') + 1);
}

struct Expected {
  Defect defect;
  uint32_t entry;
  uint32_t line;
};

// The findings of the library call CheckDictionary on a file holding text,
// each with the defect its check name stands for.
std::vector<Expected> Check(const std::string& text, uint32_t* entries = nullptr) {
  fixtures::TempDir dir;
  const std::string path = dir.File("chs.txt");
  EXPECT_TRUE(fixtures::WriteFileText(path, text));
  const CheckResult result = CheckDictionary(path);
  EXPECT_TRUE(result.loaded);
  if (entries != nullptr) *entries = result.entries;
  std::vector<Expected> found;
  int errors = 0, warnings = 0;
  for (const Diagnostic& d : result.findings) {
    EXPECT_EQ(d.file, path);
    int kind = 0;
    while (kind < kDefectKinds && d.check != DefectCheckName(Defect(kind))) ++kind;
    EXPECT_LT(kind, kDefectKinds) << d.check;
    EXPECT_EQ(d.severity == Severity::kError, IsError(Defect(kind))) << d.check;
    (d.severity == Severity::kError ? errors : warnings)++;
    found.push_back({Defect(kind), uint32_t(d.entry), d.line});
  }
  EXPECT_EQ(result.errors, errors);
  EXPECT_EQ(result.warnings, warnings);
  return found;
}

bool operator==(const Expected& a, const Expected& b) {
  return a.defect == b.defect && a.entry == b.entry && a.line == b.line;
}
void PrintTo(const Expected& e, std::ostream* out) {
  *out << DefectName(e.defect) << " at entry " << e.entry << ", line " << e.line;
}

TEST(DictCheck, ACleanDictionaryHasNoFinding) {
  uint32_t entries = 0;
  EXPECT_EQ(Check(FileText({{"Apple", "Pomme", "fruit"}, {"Hello", "\xE4\xBD\xA0\xE5\xA5\xBD", ""},
                            {"Two\r\nlines", "A\r\nB", "multi"}, {"World", "Monde", ""}}),
                  &entries),
            std::vector<Expected>{});
  EXPECT_EQ(entries, 4u);
}

TEST(DictCheck, EachDefectIsFoundAtItsEntryAndLine) {
  const std::string longTarget(32769, 'x');
  struct Case {
    const char* what;
    std::string text;
    std::vector<Expected> expected;  // lines filled in below from needles
    std::vector<std::pair<std::string, int>> needles;  // one per expected finding
  };
  std::vector<Case> cases = {
      {"out of order", FileText({{"B", "b", ""}, {"A", "a", ""}, {"C", "c", ""}}),
       {{Defect::kOutOfOrder, 1, 0}}, {{"\r\nA\r\n", 1}}},
      {"duplicate, also out of order",
       FileText({{"A", "a", ""}, {"B", "b", ""}, {"C", "c", ""}, {"B", "other", ""}}),
       {{Defect::kOutOfOrder, 3, 0}, {Defect::kDuplicate, 3, 0}}, {{"B\r\nqzrtn_res_ENG_End", 2}, {"B\r\nqzrtn_res_ENG_End", 2}}},
      {"spaces at the ends of sources", FileText({{" A", "a", ""}, {"B ", "b", ""}}),
       {{Defect::kSpacesAtEnds, 0, 0}, {Defect::kSpacesAtEnds, 1, 0}}, {{" A\r\n", 1}, {"B \r\n", 1}}},
      {"not UTF-8 on a text's second line", FileText({{"A", "ok\r\nbad \xC3(", ""}}),
       {{Defect::kInvalidUtf8, 0, 0}}, {{"bad", 1}}},
      {"an overlong form and a surrogate", FileText({{"B", "\xC0\xAF", ""}, {"\xED\xA0\x80", "a", ""}}),
       {{Defect::kInvalidUtf8, 0, 0}, {Defect::kInvalidUtf8, 1, 0}}, {{"\xC0\xAF", 1}, {"\xED\xA0\x80", 1}}},
      {"a zero byte", FileText({{"A", std::string("x\0y", 3), ""}}),
       {{Defect::kZeroByte, 0, 0}}, {{std::string("x\0y", 3), 1}}},
      {"empty target", FileText({{"A", "", ""}, {"B", "b", ""}}),
       {{Defect::kEmptyTarget, 0, 0}}, {{"qzrtn_res_CHI_Start\r\n", 1}}},
      {"empty source", FileText({{"", "nothing", ""}, {"B", "b", ""}}),
       {{Defect::kEmptySource, 0, 0}}, {{"qzrtn_res_ENG_Start\r\n", 1}}},
      {"target too long for a dialogue string", FileText({{"A", longTarget, ""}}),
       {{Defect::kTargetTooLong, 0, 0}}, {{"xxx", 1}}},
      {"remarks are not checked for UTF-8", FileText({{"A", "a", "\xFF"}}), {}, {}},
  };
  // The lines of the needles: the line of the defective text's first byte,
  // or of the defect's own byte inside a text, one line after the marker
  // for the texts that begin after a marker line.
  for (Case& c : cases) {
    ASSERT_EQ(c.expected.size(), c.needles.size()) << c.what;
    for (size_t k = 0; k < c.expected.size(); ++k) {
      const std::string& needle = c.needles[k].first;
      uint32_t line = LineOf(c.text, needle, c.needles[k].second);
      const bool startsWithBreak = needle.rfind("\r\n", 0) == 0;
      const bool isMarker = needle.rfind("qzrtn_res_", 0) == 0;
      if (startsWithBreak || isMarker) ++line;
      c.expected[k].line = line;
    }
    EXPECT_EQ(Check(c.text), c.expected) << c.what;
  }
}

TEST(DictCheck, AMissingEndMarkerInTheMiddleShowsAsAMarkerInsideATarget) {
  // The loader reads the middle entry's target on to the next entry's
  // target end marker: two entries load, and the second one's target holds
  // the marker lines of the entry that disappeared.
  const std::string middle = EntryText({"B", "b", "remark b"}, 1);
  std::string text = dict_test::kHeader + EntryText({"A", "a", ""}, 0) + middle +
                     EntryText({"C", "c", ""}, 2) + dict_test::kFileEnd;
  const size_t cut = text.find("qzrtn_res_CHI_End\r\n", text.find("qzrtn_res_No.00000001"));
  text.erase(cut, 19);
  uint32_t entries = 0;
  const std::vector<Expected> found = Check(text, &entries);
  EXPECT_EQ(entries, 2u);
  EXPECT_EQ(found, (std::vector<Expected>{
                       {Defect::kMarkerInText, 1, LineOf(text, "qzrtn_res_Remark00_Start", 2)}}));
}

TEST(DictCheck, EntryMarkersThatTheLoaderPassesOverAreFound) {
  // The first entry's marker on the file's first line, without the line
  // break before it: the loader never sees that entry.
  std::string first = EntryText({"A", "a", ""}, 0).substr(2);
  std::string text = first + EntryText({"B", "b", ""}, 1) + dict_test::kFileEnd;
  uint32_t entries = 0;
  EXPECT_EQ(Check(text, &entries), (std::vector<Expected>{{Defect::kUnreadMarker, 0, 1}}));
  EXPECT_EQ(entries, 1u);

  // A stray number line between two entries takes the next entry's
  // sections; that entry's own marker line is then passed over.
  text = dict_test::kHeader + EntryText({"A", "a", ""}, 0) + "\r\nqzrtn_res_No.stray" +
         EntryText({"B", "b", ""}, 1) + dict_test::kFileEnd;
  EXPECT_EQ(Check(text, &entries),
            (std::vector<Expected>{{Defect::kUnreadMarker, 1, LineOf(text, "qzrtn_res_No.00000001")}}));
  EXPECT_EQ(entries, 2u);
}

TEST(DictFile, LoadFailuresNameTheEntryAndItsLine) {
  fixtures::TempDir dir;
  const std::string path = dir.File("chs.txt");
  const std::string whole = FileText({{"A", "a", ""}, {"B", "b", ""}, {"C", "c", ""}});
  struct Case {
    const char* what;
    std::string text;
    LoadFailure failure;
    uint32_t entry;
    uint32_t line;
  } cases[] = {
      {"CHI end marker missing in the last entry",
       whole.substr(0, whole.rfind("qzrtn_res_CHI_End")) + whole.substr(whole.rfind("qzrtn_res_CHI_End") + 19),
       LoadFailure::kMissingMarker, 2, LineOf(whole, "qzrtn_res_No.00000002")},
      {"ENG start marker missing in the first entry",
       dict_test::kHeader + EntryText({"A", "a", ""}, 0).replace(25, 21, ""), LoadFailure::kMissingMarker, 0,
       LineOf(whole, "qzrtn_res_No.00000000")},
      {"no entry", "header only\r\n\r\n\r\nqzrtn_res_All_End\r\n", LoadFailure::kNoEntry, 0, 0},
      {"a UTF-16 file", std::string("\xFF\xFEq\0z\0", 6), LoadFailure::kNoEntry, 0, 0},
      {"empty", "", LoadFailure::kEmpty, 0, 0},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(fixtures::WriteFileText(path, c.text));
    DictFile file;
    LoadError error;
    EXPECT_FALSE(LoadDictFile(path, &file, &error)) << c.what;
    EXPECT_EQ(error.failure, c.failure) << c.what;
    EXPECT_EQ(error.entry, c.entry) << c.what;
    EXPECT_EQ(error.line, c.line) << c.what;
    EXPECT_EQ(file.count(), 0u) << c.what;
  }
  DictFile file;
  LoadError error;
  EXPECT_FALSE(LoadDictFile(dir.File("missing.txt"), &file, &error));
  EXPECT_EQ(error.failure, LoadFailure::kUnreadable);
}

TEST(DictFile, EveryEntryKnowsTheLinesOfItsTexts) {
  fixtures::TempDir dir;
  const std::string path = dir.File("chs.txt");
  const std::string text = FileText({{"A", "first\r\nsecond", "r"}, {"B", "", ""}});
  ASSERT_TRUE(fixtures::WriteFileText(path, text));
  DictFile file;
  LoadError error;
  ASSERT_TRUE(LoadDictFile(path, &file, &error));
  ASSERT_EQ(file.count(), 2u);
  EXPECT_EQ(file.EntryLine(0), LineOf(text, "qzrtn_res_No.00000000"));
  EXPECT_EQ(file.EntryLine(1), LineOf(text, "qzrtn_res_No.00000001"));
  EXPECT_EQ(file.TextLine(0, Field::kSource), LineOf(text, "\r\nA\r\n") + 1);
  EXPECT_EQ(file.TextLine(0, Field::kTarget), LineOf(text, "first"));
  EXPECT_EQ(file.LineInText(0, Field::kTarget, 7), LineOf(text, "second"));
  EXPECT_EQ(file.TextLine(0, Field::kRemark), LineOf(text, "\r\nr\r\n") + 1);
  EXPECT_EQ(file.Text(0, Field::kTarget), "first\r\nsecond");
  EXPECT_EQ(file.Text(1, Field::kTarget), "");
}

}  // namespace
}  // namespace dict_tool
