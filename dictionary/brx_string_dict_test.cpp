// Lookups, comparison and trimming of BRXStringDict.
#include "dictionary/brx_string_dict.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dictionary/dict_test_util.h"

namespace {

using dict_test::FileText;
using dict_test::Texts;

// A dictionary loaded from a text holding these sources, in this order.
void LoadSources(BRXStringDict* dict, const std::vector<std::string>& sources) {
  std::vector<Texts> entries;
  for (const std::string& s : sources) entries.push_back({s, "T(" + s + ")", ""});
  ASSERT_EQ(dict->LoadFromTXTBuffer(FileText(entries).c_str()), sources.size());
}

TEST(DictCompareText, UnsignedByteOrder) {
  struct Case {
    const char* a;
    const char* b;
    int expected;
  };
  const Case cases[] = {
      {"abc", "abd", BRXStringDict::kBefore},
      {"abd", "abc", BRXStringDict::kAfter},
      {"ab", "abc", BRXStringDict::kBefore},
      {"abc", "ab", BRXStringDict::kAfter},
      {"", "", BRXStringDict::kEqual},
      {"Hello", "Hello", BRXStringDict::kEqual},
      {"Hello", "hello", BRXStringDict::kBefore},  // case matters: 'H' < 'h'
      {"\xE4\xBD\xA0", "z", BRXStringDict::kAfter},  // 0xE4 after every byte below 0x80
      {"\x7F", "\x80", BRXStringDict::kBefore},
  };
  for (const Case& c : cases)
    EXPECT_EQ(BRXStringDict::CompareText(c.a, c.b), c.expected) << c.a << " vs " << c.b;
}

TEST(DictTrimSpaces, ModesAndLengths) {
  struct Case {
    const char* text;
    int mode;
    const char* result;  // nullptr: no result
    uint32_t length;
    const char* stored;  // the text's own buffer afterwards
  };
  const Case cases[] = {
      {"  Hello ", 0, "Hello", 5, "  Hello"},
      {"  Hello ", 1, "Hello", 5, "Hello"},
      {"Hello", 0, "Hello", 5, "Hello"},
      {"   ", 0, "", 0, ""},
      {"", 1, "", 0, ""},
      {"\tHi\r\n", 0, "\tHi\r\n", 5, "\tHi\r\n"},  // only spaces count
      {" a b ", 1, "a b", 3, "a b"},
      {" x ", 2, nullptr, 99, " x"},  // unknown mode: trailing cut, no result
  };
  for (const Case& c : cases) {
    char buffer[32];
    strcpy(buffer, c.text);
    uint32_t length = 99;
    char* result = BRXStringDict::TrimSpaces(buffer, c.mode, &length);
    if (c.result == nullptr) {
      EXPECT_EQ(result, nullptr) << c.text;
    } else {
      ASSERT_NE(result, nullptr) << c.text;
      EXPECT_STREQ(result, c.result) << c.text;
      if (c.mode == 1) {
        EXPECT_EQ(result, buffer);
      }
    }
    EXPECT_EQ(length, c.length) << c.text;
    EXPECT_STREQ(buffer, c.stored) << c.text;
  }
  EXPECT_EQ(BRXStringDict::TrimSpaces(nullptr, 0, nullptr), nullptr);
}

TEST(DictLookup, NothingIsFoundBeforeALoadOrAfterAFailedOne) {
  BRXStringDict dict;
  EXPECT_EQ(dict.GetCount(), 0u);
  EXPECT_EQ(dict.GetTextSize(), 0u);
  EXPECT_EQ(dict.FindEntry("Hello"), nullptr);
  EXPECT_EQ(dict.FindEntry(""), nullptr);
  EXPECT_EQ(dict.FindIndex("Hello"), BRXStringDict::kNoIndex);
  EXPECT_EQ(dict.FindEntryByID(0), nullptr);
  EXPECT_EQ(dict.LoadFromTXTBuffer("no markers at all"), 0u);
  EXPECT_EQ(dict.FindEntry("no markers at all"), nullptr);
  EXPECT_EQ(dict.FindIndex("x"), BRXStringDict::kNoIndex);
}

TEST(DictLookup, KeysAreTrimmedOfSpacesOnlyAndCaseSensitive) {
  BRXStringDict dict;
  LoadSources(&dict, {"", "\tTabbed", "Apple", "Hello", "hello"});
  struct Case {
    const char* key;
    const char* found;  // source of the entry found, nullptr for a miss
  };
  const Case cases[] = {
      {"Hello", "Hello"},   {"  Hello ", "Hello"}, {"Hello   ", "Hello"},
      {"hello", "hello"},   {"HELLO", nullptr},    {"\tHello", nullptr},
      {"Hello\t", nullptr}, {"   ", ""},           {"", ""},
      {"Hell", nullptr},    {"Hello!", nullptr},   {"\tTabbed", "\tTabbed"},
      {"Tabbed", nullptr},
  };
  for (const Case& c : cases) {
    const BRXStringEntry* e = dict.FindEntry(c.key);
    if (c.found == nullptr) {
      EXPECT_EQ(e, nullptr) << "[" << c.key << "]";
    } else {
      ASSERT_NE(e, nullptr) << "[" << c.key << "]";
      EXPECT_STREQ(e->source, c.found);
      EXPECT_EQ(std::string(e->target), "T(" + std::string(c.found) + ")");
    }
  }
  char key[] = "  Hello ";
  dict.FindEntry(key);
  EXPECT_STREQ(key, "  Hello ") << "the caller's key is never changed";
  EXPECT_EQ(dict.FindEntry(nullptr), nullptr);
}

TEST(DictLookup, BinarySearchReachesEveryEntryOfEverySize) {
  for (size_t n : {size_t(1), size_t(2), size_t(3), size_t(7), size_t(64), size_t(1000)}) {
    std::vector<std::string> sources;
    for (size_t i = 0; i < n; ++i) {
      char text[32];
      snprintf(text, sizeof text, "key%06zu", i * 2);  // odd numbers are gaps
      sources.push_back(text);
    }
    BRXStringDict dict;
    LoadSources(&dict, sources);
    for (size_t i = 0; i < n; ++i) {
      const BRXStringEntry* e = dict.FindEntry(sources[i].c_str());
      ASSERT_NE(e, nullptr) << n << " entries, key " << sources[i];
      EXPECT_EQ(sources[i], e->source);
      EXPECT_EQ(dict.FindIndex(sources[i].c_str()), i);
      char gap[32];
      snprintf(gap, sizeof gap, "key%06zu", i * 2 + 1);
      EXPECT_EQ(dict.FindEntry(gap), nullptr);
      EXPECT_EQ(dict.FindIndex(gap), i + 1) << "insertion point after entry " << i;
    }
    EXPECT_EQ(dict.FindIndex("a"), 0u) << "sorts before every source";
    EXPECT_EQ(dict.FindIndex("z"), n) << "sorts after every source";
    EXPECT_EQ(dict.FindEntry("a"), nullptr);
    EXPECT_EQ(dict.FindEntry("z"), nullptr);
  }
}

TEST(DictLookup, EntriesThatCanNeverBeFound) {
  BRXStringDict dict;
  LoadSources(&dict, {" lead", "trail "});
  EXPECT_EQ(dict.FindEntry(" lead"), nullptr);
  EXPECT_EQ(dict.FindEntry("lead"), nullptr);
  EXPECT_EQ(dict.FindEntry("trail "), nullptr);
  EXPECT_EQ(dict.FindEntry("trail"), nullptr);
}

TEST(DictLookup, AnUnsortedFileLoadsButItsLookupsMiss) {
  BRXStringDict dict;
  LoadSources(&dict, {"delta", "alpha", "charlie", "bravo", "echo"});
  EXPECT_EQ(dict.GetCount(), 5u);
  EXPECT_NE(dict.FindEntry("charlie"), nullptr) << "the middle entry is the first probe";
  EXPECT_EQ(dict.FindEntry("delta"), nullptr);
  EXPECT_EQ(dict.FindEntry("bravo"), nullptr);
}

TEST(DictLookup, FindEntryByIdSearchesByTheLeadingFourBytes) {
  // Sources ordered by their first four bytes read as a little-endian number.
  BRXStringDict dict;
  LoadSources(&dict, {"A", "\x05\x05\x05\x05tail", "\x01\x01xx", "\x02\x01yy", "\x01\x02zz"});
  EXPECT_STREQ(dict.FindEntryByID(0x41)->source, "A") << "shorter source, zero-filled";
  EXPECT_STREQ(dict.FindEntryByID(0x78780101)->source, "\x01\x01xx");
  EXPECT_STREQ(dict.FindEntryByID(0x79790102)->source, "\x02\x01yy");
  EXPECT_STREQ(dict.FindEntryByID(0x7A7A0201)->source, "\x01\x02zz");
  EXPECT_STREQ(dict.FindEntryByID(0x05050505)->source, "\x05\x05\x05\x05tail");
  EXPECT_EQ(dict.FindEntryByID(0), nullptr);
  EXPECT_EQ(dict.FindEntryByID(0xFFFFFFFFu), nullptr);
  EXPECT_EQ(dict.FindEntryByID(0x42), nullptr);
}

}  // namespace
