// CSV files of hanhua-dict: every byte of every text survives a trip through
// a CSV file, and what is not RFC 4180 is refused with its line.
#include "tools/dict/csv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/dict/interchange_test_sample.h"

namespace dict_tool {
namespace {

// Texts that CSV must quote or keep as they are: commas, quotes, line breaks
// of every kind, spaces and tabs at the ends, leading zeros, formulas.
std::vector<Entry> CsvSample() {
  return {
      {"Hello, world", "\xE4\xBD\xA0\xE5\xA5\xBD\xEF\xBC\x8C\xE4\xB8\x96\xE7\x95\x8C", "comma", 0},
      {"Say \"yes\"", "\xE8\xAF\xB4\xE2\x80\x9C\xE6\x98\xAF\xE2\x80\x9D", "\"\"", 0},
      {"Two\r\nlines", "\xE4\xB8\xA4\r\n\xE8\xA1\x8C", "CR LF inside", 0},
      {"LF\nonly", "CR\ronly", "bare line breaks", 0},
      {"  spaces at the ends  ", " x ", "", 0},
      {"007", "", "leading zeros, an empty target", 0},
      {"tab\there", "=1+1", "a formula-looking target", 0},
      {"ends in CR\r", "\"", ",", 0},
  };
}

TEST(Csv, EveryTextSurvivesTheRoundTripByteForByte) {
  const std::vector<Entry> entries = CsvSample();
  const std::string text = CsvText(entries);
  std::vector<Entry> back;
  CsvError error;
  ASSERT_TRUE(ReadCsv(text, &back, &error)) << error.line << ": " << error.message;
  ExpectSameTexts(entries, back);
  ASSERT_EQ(back.size(), entries.size());
  // Each record's line is where it begins: the third record spans three
  // lines (two of its texts hold a line feed), the fourth two.
  EXPECT_EQ(back[0].line, 2u);
  EXPECT_EQ(back[2].line, 4u);
  EXPECT_EQ(back[3].line, 7u);
  EXPECT_EQ(back[4].line, 9u);
}

TEST(Csv, TheFileIsRfc4180WithAByteOrderMark) {
  const std::string text = CsvText({{"a,b", "say \"x\"", "", 0}});
  EXPECT_EQ(text, "\xEF\xBB\xBFsource,target,remark\r\n\"a,b\",\"say \"\"x\"\"\",\"\"\r\n");
}

TEST(Csv, WhatSpreadsheetsWriteIsRead) {
  struct Case {
    const char* what;
    std::string text;
    std::vector<std::vector<std::string>> records;
  } cases[] = {
      {"no byte-order mark, LF line ends, unquoted fields", "Source,Target,Remark\na,b,c\nd,e,f\n",
       {{"a", "b", "c"}, {"d", "e", "f"}}},
      {"two columns, no line break at the end", "source,target\r\nx,y", {{"x", "y", ""}}},
      {"empty records and a trailing empty line are passed over", "source,target\r\n\r\n,,\r\nx,y\r\n\r\n",
       {{"x", "y", ""}}},
      {"an empty quoted field", "source,target,remark\r\n\"\",\"t\",\"\"\r\n", {{"", "t", ""}}},
  };
  for (const Case& c : cases) {
    std::vector<Entry> entries;
    CsvError error;
    ASSERT_TRUE(ReadCsv(c.text, &entries, &error)) << c.what << ": " << error.message;
    ASSERT_EQ(entries.size(), c.records.size()) << c.what;
    for (size_t i = 0; i < entries.size(); ++i) {
      EXPECT_EQ(entries[i].source, c.records[i][0]) << c.what;
      EXPECT_EQ(entries[i].target, c.records[i][1]) << c.what;
      EXPECT_EQ(entries[i].remark, c.records[i][2]) << c.what;
    }
  }
}

TEST(Csv, MalformedFilesAreRefusedAtTheirLine) {
  const std::string header = "source,target,remark\r\n";
  struct Case {
    const char* what;
    std::string text;
    uint32_t line;
  } cases[] = {
      {"no header", "a,b,c\r\n", 1},
      {"empty file", "", 1},
      {"a header of other names", "english,chinese\r\n", 1},
      {"quote never closed (reported where it opened)", header + "a,b,c\r\n\"open,\r\nmore\r\n", 3},
      {"text after a closing quote", header + "a,b,c\r\n\"x\"y,b,c\r\n", 3},
      {"a quote inside an unquoted field", header + "a,b\"c,d\r\n", 2},
      {"a bare CR outside quotes", header + "a,b\rc\r\n", 2},
      {"one field", header + "a,b\r\nonly\r\n", 3},
      {"four fields", header + "a,b,c,d\r\n", 2},
  };
  for (const Case& c : cases) {
    std::vector<Entry> entries;
    CsvError error;
    EXPECT_FALSE(ReadCsv(c.text, &entries, &error)) << c.what;
    EXPECT_EQ(error.line, c.line) << c.what;
    EXPECT_FALSE(error.message.empty()) << c.what;
  }
}

}  // namespace
}  // namespace dict_tool
