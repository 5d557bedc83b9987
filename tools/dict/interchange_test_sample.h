// Entries for the round trips of the interchange files (CSV, PO, XLIFF) and
// the check that entries came back with the same texts.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "tools/dict/dict_build.h"

namespace dict_tool {

// Every byte class a text can hold in PO and XLIFF and every state an entry
// can be in, in lookup order.
inline std::vector<Entry> InterchangeSample() {
  return {
      {"", "\xE7\xA9\xBA", "an empty source: its msgid needs a context", 0},
      {" spaces at the ends ", " \xE4\xB8\xA4\xE7\xAB\xAF ", "", 0},
      {"<b>%s</b> & {0} > \"q\" 'a' \\ back", "<b>%s</b> & {0} > \"\xE5\xBC\x95\" \\ \xE5\x8F\x8D", "", 0},
      {"CR LF\r\nand LF\nand CR\rend\n", "\xE5\x9B\x9E\r\n\xE8\xBD\xA6\n\xE6\x8D\xA2\r\xE8\xA1\x8C\n", "two\nlines", 0},
      {"Control \x01\x1F\x7F and tab\t", "\xE6\x8E\xA7\x01\x1F\x7F\t", "", 0},
      {"Hmm.", "Hmm.", "a sound\n[identical]", 0},
      {"Pkg1.upk place", "Pkg1.upk place", "Pkg1.upk AkDialogueEvent'Pkg1.Ev_1'", 0},
      {"Subtitle", "\xE5\xAD\x97\xE5\xB9\x95", "Movie1.usm 0:01:02.345 (and 2 more)", 0},
      {"We ride at dawn!", "We ride at dawn!",
       "Pkg2.upk A'B'\n[fuzzy 93%] \"\xE9\xBB\x8E\xE6\x98\x8E\\n\\\"x\\\"\"\n[fuzzy source] \"We ride at dawn.\"", 0},
      {"\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80", "\xE5\xA4\x8F \xF0\x9F\x98\x80", "[identical] is not last\nhere", 0},
  };
}

// The same number of entries, each with the same source, target and remark.
inline void ExpectSameTexts(const std::vector<Entry>& expected, const std::vector<Entry>& actual) {
  ASSERT_EQ(expected.size(), actual.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i].source, actual[i].source) << i;
    EXPECT_EQ(expected[i].target, actual[i].target) << i;
    EXPECT_EQ(expected[i].remark, actual[i].remark) << i;
  }
}

}  // namespace dict_tool
