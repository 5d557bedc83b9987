// Byte-level helpers of hanhua-dict: UTF-8, lookup order, markers, quoting.
#include "tools/dict/dict_text.h"

#include <gtest/gtest.h>

#include <string>

#include "dictionary/brx_string_dict.h"
#include "tools/dict/tool_io.h"

namespace dict_tool {
namespace {

TEST(DictText, Utf8IsCheckedStrictly) {
  struct Case {
    std::string text;
    size_t firstInvalid;
  } cases[] = {
      {"", kNoPosition},
      {"plain ASCII\r\n", kNoPosition},
      {"\xE5\xAE\x88\xE4\xBD\x8F", kNoPosition},          // two CJK characters
      {"\xF0\x9F\x98\x80 ok", kNoPosition},               // outside the BMP
      {std::string("a\0b", 3), kNoPosition},              // a zero byte is UTF-8 (checked apart)
      {"ab\x80", 2},                                      // stray continuation byte
      {"a\xC3", 1},                                       // cut short at the end
      {"a\xE5\xAE", 1},                                   // cut short at the end
      {"\xC3(", 0},                                       // no continuation
      {"\xC0\xAF", 0},                                    // overlong '/'
      {"\xE0\x80\xAF", 0},                                // overlong, three bytes
      {"\xED\xA0\x80", 0},                                // a UTF-16 surrogate
      {"ok\xF4\x90\x80\x80", 2},                          // above U+10FFFF
      {"\xFF", 0},
      {"\xB5\xDA", 0},                                    // GBK, not UTF-8
  };
  for (const Case& c : cases) EXPECT_EQ(FirstInvalidUtf8(c.text), c.firstInvalid) << Quoted(c.text);
  EXPECT_EQ(Utf16Units("a\xE5\xAE\x88\xF0\x9F\x98\x80"), 4u);
}

TEST(DictText, LookupOrderIsTheDictionarysOwn) {
  const std::string texts[] = {"", "A", "AB", "B", "a", "ab", "\x7F", "\xC3\xA9", "\xE5\xAE\x88",
                               "\xFF", std::string("A\0Z", 3), " A"};
  for (const std::string& a : texts) {
    for (const std::string& b : texts) {
      EXPECT_EQ(CompareSources(a, b), BRXStringDict::CompareText(a.c_str(), b.c_str()))
          << Quoted(a) << " " << Quoted(b);
    }
  }
}

TEST(DictText, TrimmingAndZeroBytesAsLookupsSeeThem) {
  EXPECT_EQ(TrimSpaces("  Hello "), "Hello");
  EXPECT_EQ(TrimSpaces("   "), "");
  EXPECT_EQ(TrimSpaces("\tHello\t"), "\tHello\t");  // only spaces count
  EXPECT_EQ(UpToZero(std::string_view("ab\0cd", 5)), "ab");
}

TEST(DictText, MarkersAreFoundWhereverTheyAre) {
  EXPECT_EQ(FindAnyMarker("no marker, qzrtn_res_ alone").position, kNoPosition);
  const MarkerHit hit = FindAnyMarker("text\r\nqzrtn_res_CHI_End\r\nqzrtn_res_ENG_Start\r\n");
  EXPECT_EQ(hit.position, 6u);
  EXPECT_EQ(MarkerName(hit.marker), "qzrtn_res_CHI_End");
  EXPECT_EQ(FindAnyMarker("x\r\nqzrtn_res_No.").position, 1u);  // the entry marker holds its line break
  EXPECT_EQ(MarkerName(FindAnyMarker("x\r\n\r\n\r\nqzrtn_res_All_End\r\n").marker), "qzrtn_res_All_End");
}

TEST(DictText, QuotedTextsShowWhatIsInThem) {
  EXPECT_EQ(Quoted("Hi \"you\"\r\n\tC:\\"), "\"Hi \\\"you\\\"\\r\\n\\tC:\\\\\"");
  EXPECT_EQ(Quoted("\xE5\xAE\x88\xFF"), "\"\xE5\xAE\x88\\xFF\"");
  EXPECT_EQ(Quoted(std::string("a\0", 2)), "\"a\\x00\"");
  // Cut at a character boundary, never inside one.
  EXPECT_EQ(Quoted("abcdef", 3), "\"abc\"...");
  EXPECT_EQ(Quoted("a\xE5\xAE\x88\xE4\xBD\x8F", 2), "\"a\xE5\xAE\x88\"...");
}

TEST(DictText, EveryShortEscapeReadsBackAsItsCharacter) {
  int escaped = 0;
  for (int byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte), *escape = ShortEscape(c);
    char plain = 0;
    if (escape == nullptr) continue;
    ++escaped;
    ASSERT_EQ(std::string_view(escape).size(), 2u);
    EXPECT_TRUE(escape[0] == '\\' && ShortUnescape(escape[1], &plain) && plain == c) << byte;
  }
  EXPECT_EQ(escaped, 5);
  char plain;
  EXPECT_FALSE(ShortUnescape('a', &plain) || ShortUnescape('x', &plain) || ShortUnescape('0', &plain));
}

TEST(DictText, PercentagesAreRoundedDown) {
  EXPECT_EQ(Percent(0, 0), "0.0");
  EXPECT_EQ(Percent(0, 10), "0.0");
  EXPECT_EQ(Percent(1, 3), "33.3");
  EXPECT_EQ(Percent(1, 100000), "0.0");
  EXPECT_EQ(Percent(99999, 100000), "99.9");
  EXPECT_EQ(Percent(7, 7), "100.0");
}

}  // namespace
}  // namespace dict_tool
