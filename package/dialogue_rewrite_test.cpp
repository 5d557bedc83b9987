// Tests of the DialogueText rewrite and of the relocation of rewritten
// exports. Expected bodies are put together by hand from the pieces a tag is
// made of, so each case states the bytes it wants.
#include "package/dialogue_rewrite.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/fault_injection.h"
#include "tests/support/byte_builders.h"

namespace package {
namespace {

using fixtures::Bytes;

// --- pieces of bodies -------------------------------------------------------

using fixtures::Cat;
using fixtures::Str8;
using fixtures::StrWide;
using fixtures::Text;
using fixtures::Word32;

// Names of the cases: index 0 is the DialogueText property.
enum : uint32_t { kDialogueText, kOther, kLonger, kNameCount };

NameSlots Names() {
  NameSlots names;
  names.count = kNameCount;
  names.text.reset(new char[kNameCount * kNameSlotSize]());
  std::strcpy(names.text.get() + kDialogueText * kNameSlotSize, "DialogueText");
  std::strcpy(names.text.get() + kOther * kNameSlotSize, "Other");
  std::strcpy(names.text.get() + kLonger * kNameSlotSize, "DialogueTexts");
  return names;
}

// A property tag with the given words, then the string count and strings.
Bytes RawTag(uint32_t name, uint32_t number, uint32_t size, uint32_t word12, uint32_t count,
             const std::vector<Bytes>& strings) {
  return Cat({Word32(name), Word32(number), Word32(size), Word32(word12), Word32(count), Cat(strings)});
}
// A consistent DialogueText tag: its value size counts the string count and
// every string.
Bytes Tag(const std::vector<Bytes>& strings) { return fixtures::DialogueTag(kDialogueText, strings); }

// A dictionary made of a map, remembering every text asked for.
struct Dictionary {
  Dictionary(std::initializer_list<std::pair<const std::string, std::string>> e) : entries(e) {}

  std::map<std::string, std::string> entries;
  std::vector<std::string> asked;

  TranslationLookup Lookup() {
    return [this](const char* text, Translation* found) {
      asked.push_back(text);
      auto it = entries.find(text);
      if (it == entries.end()) return false;
      found->target = it->second.data();
      found->targetLength = uint32_t(it->second.size());
      return true;
    };
  }
};

struct Rewritten {
  int result;
  Bytes body;
};

Rewritten Rewrite(const Bytes& body, Dictionary* dictionary) {
  NameSlots names = Names();
  std::vector<uint8_t> out = {0xDE, 0xAD};  // must stay untouched unless rewritten
  int result = RewriteDialogueBody(body.data(), uint32_t(body.size()), names, dictionary->Lookup(), &out);
  if (result == 0) {
    EXPECT_EQ(out, Bytes({0xDE, 0xAD})) << "the new body is set only for result 1";
  }
  return {result, out};
}

const Bytes kPrefix = {1, 2, 3, 4, 5, 6, 7};
const Bytes kSuffix = {0xF0, 0xF1, 0xF2};

// --- the tag scan -------------------------------------------------------------

TEST(DialogueRewrite, BodiesOf20BytesOrLessAreNotScanned) {
  Dictionary dict({{"", "X"}});
  Bytes tag20 = RawTag(kDialogueText, 0, 4, 0, 0, {});
  EXPECT_EQ(Rewrite(tag20, &dict).result, 0);
  EXPECT_TRUE(dict.asked.empty());

  // 24 bytes: scanned, and the empty 8-bit string (length word 0) is looked
  // up by the empty text.
  Bytes tag24 = Tag({Word32(0)});
  Rewritten r = Rewrite(tag24, &dict);
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.body, Tag({StrWide(u"X")}));
  EXPECT_EQ(dict.asked, std::vector<std::string>{""});
}

TEST(DialogueRewrite, TagsThatAreNotDialogueTextArePassedOver) {
  const std::vector<Bytes> hello = {Str8("Hello")};
  struct Case {
    const char* what;
    Bytes tag;
  } cases[] = {
      {"name number not 0", RawTag(kDialogueText, 1, 10, 0, 1, hello)},
      {"word at +12 not 0", RawTag(kDialogueText, 0, 10, 1, 1, hello)},
      {"name index at the name count", RawTag(kNameCount, 0, 10, 0, 1, hello)},
      {"name index far beyond", RawTag(0x80000000u, 0, 10, 0, 1, hello)},
      {"another name", RawTag(kOther, 0, 10, 0, 1, hello)},
      {"a longer name", RawTag(kLonger, 0, 10, 0, 1, hello)},
  };
  for (const Case& c : cases) {
    Dictionary dict({{"Hello", "Hi"}});
    EXPECT_EQ(Rewrite(Cat({kPrefix, c.tag, kSuffix}), &dict).result, 0) << c.what;
    EXPECT_TRUE(dict.asked.empty()) << c.what;
  }
}

TEST(DialogueRewrite, StringArraysOfBothFormsAreRewritten) {
  Dictionary dict({{"Hello", "\xE4\xBD\xA0\xE5\xA5\xBD"},  // 你好
                   {"World", "\xE4\xB8\x96\xE7\x95\x8C"},  // 世界
                   {"Bye", ""}});
  Bytes body = Cat({kPrefix,
                    Tag({Str8("Hello"), StrWide(u"World"), Str8("Untranslated"), StrWide(u""),
                         Word32(0), Str8("Bye"), StrWide(u"Also untranslated")}),
                    kSuffix});
  Rewritten r = Rewrite(body, &dict);
  ASSERT_EQ(r.result, 1);
  Bytes expected = Cat({kPrefix,
                        Tag({StrWide(u"\u4F60\u597D"), StrWide(u"\u4E16\u754C"), Str8("Untranslated"),
                             StrWide(u""), Word32(0), Cat({Word32(0xFFFFFFFFu), {0, 0}}),
                             StrWide(u"Also untranslated")}),
                        kSuffix});
  EXPECT_EQ(r.body, expected);
  EXPECT_EQ(dict.asked, (std::vector<std::string>{"Hello", "World", "Untranslated", "", "", "Bye",
                                                  "Also untranslated"}));
}

TEST(DialogueRewrite, NonAsciiTextsTravelAsUtf8) {
  Dictionary dict({{"Caf\xC3\xA9 \xF0\x9F\x99\x82", "\xE5\x92\x96\xE5\x95\xA1 \xF0\x9F\x99\x82"},
                   {"Gr\xC3\xBC\xC3\x9F", "\xE9\x97\xAE\xE5\x80\x99"}});
  Bytes body = Tag({StrWide(u"Caf\u00E9 \U0001F642"), Str8("Gr\xC3\xBC\xC3\x9F"), StrWide(u"\xD800x")});
  Rewritten r = Rewrite(body, &dict);
  ASSERT_EQ(r.result, 1);
  EXPECT_EQ(r.body, Tag({StrWide(u"\u5496\u5561 \U0001F642"), StrWide(u"\u95EE\u5019"), StrWide(u"\xD800x")}));
  // An 8-bit string is looked up as stored; a lone surrogate becomes U+FFFD.
  EXPECT_EQ(dict.asked[1], "Gr\xC3\xBC\xC3\x9F");
  EXPECT_EQ(dict.asked[2], "\xEF\xBF\xBDx");
}

TEST(DialogueRewrite, UntranslatedBodiesGiveNoNewBody) {
  Dictionary dict({{"Elsewhere", "X"}});
  EXPECT_EQ(Rewrite(Cat({kPrefix, Tag({Str8("Hello"), StrWide(u"World")}), kSuffix}), &dict).result, 0);
  EXPECT_EQ(dict.asked.size(), 2u);
}

TEST(DialogueRewrite, TheTextVisitorSeesWhatTheRewriteLooksUpAndChangesNothing) {
  const Bytes body = Cat({kPrefix, Tag({Str8("One"), StrWide(u"Tw\u00F6"), Str8("")}), kSuffix,
                          RawTag(kOther, 0, 8, 0, 1, {Str8("Not")}),
                          Tag({StrWide(u"Three")}), kPrefix});
  Dictionary dictionary{};
  Rewrite(body, &dictionary);
  ASSERT_EQ(dictionary.asked, (std::vector<std::string>{"One", "Tw\xC3\xB6", "", "Three"}));

  NameSlots names = Names();
  std::vector<std::string> visited;
  const Bytes copy = body;
  ForEachDialogueText(copy.data(), uint32_t(copy.size()), names,
                      [&](const char* text) { visited.push_back(text); });
  EXPECT_EQ(visited, dictionary.asked);
  EXPECT_EQ(copy, body);
}

TEST(DialogueRewrite, AnEmptyArrayIsResumedBehindItsTwentyBytes) {
  // Behind a tag with no strings, the next tag starts right at +20. A scan
  // that resumed earlier would read that tag's name index as a string count.
  Dictionary dict({{"Hello", "Hi"}});
  Bytes empty = RawTag(kDialogueText, 0, 4, 0, 0, {});
  Rewritten r = Rewrite(Cat({empty, Tag({Str8("Hello")}), kSuffix}), &dict);
  ASSERT_EQ(r.result, 1);
  EXPECT_EQ(r.body, Cat({empty, Tag({StrWide(u"Hi")}), kSuffix}));
}

TEST(DialogueRewrite, TwoTagsAreBothRewrittenAndTheirSizesCorrected) {
  Dictionary dict({{"Second", "2nd"}, {"First", "1st"}});
  // The first tag's value size is wrong; it holds no translated string, yet
  // its size is recounted, as for every tag with strings.
  Bytes first = RawTag(kDialogueText, 0, 999, 0, 1, {Str8("Nothing")});
  Bytes body = Cat({kPrefix, first, Text("between"), Tag({Str8("Second"), Str8("First")}), kSuffix});
  Rewritten r = Rewrite(body, &dict);
  ASSERT_EQ(r.result, 1);
  EXPECT_EQ(r.body, Cat({kPrefix, Tag({Str8("Nothing")}), Text("between"),
                         Tag({StrWide(u"2nd"), StrWide(u"1st")}), kSuffix}));
}

TEST(DialogueRewrite, AdjacentOverlappingAndLastTagsAreFound) {
  Dictionary dict({{"A", "1"}, {"B", "2"}, {"C", "3"}});
  // Back to back, no byte between them.
  Rewritten adjacent = Rewrite(Cat({Tag({Str8("A")}), Tag({Str8("B")})}), &dict);
  ASSERT_EQ(adjacent.result, 1);
  EXPECT_EQ(adjacent.body, Cat({Tag({StrWide(u"1")}), Tag({StrWide(u"2")})}));
  // A false start whose first eight bytes look like a tag's, with the real
  // tag beginning inside it: the scan moves on by one byte, not past it.
  const Bytes falseStart = Cat({Word32(kDialogueText), Word32(0)});
  Rewritten inside = Rewrite(Cat({falseStart, Tag({Str8("C")})}), &dict);
  ASSERT_EQ(inside.result, 1);
  EXPECT_EQ(inside.body, Cat({falseStart, Tag({StrWide(u"3")})}));
  // A tag whose strings end the body; and one whose header alone is the
  // last 20 bytes, which is not scanned.
  Rewritten last = Rewrite(Cat({kPrefix, Tag({Str8("A")})}), &dict);
  ASSERT_EQ(last.result, 1);
  EXPECT_EQ(last.body, Cat({kPrefix, Tag({StrWide(u"1")})}));
  dict.asked.clear();
  EXPECT_EQ(Rewrite(Cat({kPrefix, RawTag(kDialogueText, 0, 4, 0, 1, {})}), &dict).result, 0);
  EXPECT_TRUE(dict.asked.empty());
}

// Names with "DialogueText" in the slot of each of dialogueIndexes among
// count names, and "Other" in every other slot; with found, its
// dialogueTextNames filled in beforehand, as the name table reader does.
NameSlots NamesWith(uint32_t count, const std::vector<uint32_t>& dialogueIndexes, bool found) {
  NameSlots names;
  names.count = count;
  names.text.reset(new char[uint64_t(count) * kNameSlotSize]());
  for (uint32_t i = 0; i < count; ++i) std::strcpy(names.text.get() + uint64_t(i) * kNameSlotSize, "Other");
  for (uint32_t i : dialogueIndexes) std::strcpy(names.text.get() + uint64_t(i) * kNameSlotSize, "DialogueText");
  if (found) FindDialogueTextNames(&names);
  return names;
}

struct ScanResult {
  int result;
  Bytes body;
  std::vector<std::string> asked;
  bool operator==(const ScanResult&) const = default;
};

ScanResult RewriteWith(const Bytes& body, const NameSlots& names) {
  Dictionary dict({{"Yes", "Ja"}, {"No", ""}, {"Maybe", "Vielleicht"}});
  std::vector<uint8_t> out;
  int result = RewriteDialogueBody(body.data(), uint32_t(body.size()), names, dict.Lookup(), &out);
  return {result, out, dict.asked};
}

// A body of random pieces: filler bytes, zero runs, tags of the name index
// dialogue (sound ones, ones with a non-zero name number or word at +12,
// empty arrays, arrays reaching past the end), and bare 8-byte tag starts.
Bytes RandomBody(std::mt19937& random, uint32_t dialogue) {
  const char* const texts[] = {"Yes", "No", "Maybe", "Unknown", ""};
  Bytes body;
  const int pieces = int(random() % 12);
  for (int k = 0; k < pieces; ++k) {
    std::vector<Bytes> strings;
    for (uint32_t n = random() % 4; n > 0; --n) {
      const char* text = texts[random() % 5];
      strings.push_back(random() % 2 == 0 ? Str8(text)
                                          : StrWide(std::u16string(text, text + std::strlen(text))));
    }
    switch (random() % 7) {
      case 0: for (uint32_t n = random() % 40; n > 0; --n) body.push_back(uint8_t(random())); break;
      case 1: body.insert(body.end(), random() % 40, 0); break;
      case 2: body = Cat({body, RawTag(dialogue, 0, uint32_t(random()), 0, uint32_t(strings.size()), strings)}); break;
      case 3: body = Cat({body, RawTag(dialogue, random() % 2, 0, random() % 2, uint32_t(strings.size()), strings)}); break;
      case 4: body = Cat({body, Word32(dialogue), Word32(0)}); break;
      case 5: body = Cat({body, RawTag(dialogue, 0, 4, 0, 0, {})}); break;
      case 6: body = Cat({body, RawTag(dialogue, 0, 9, 0, 1 + random() % 5, {})}); break;
    }
  }
  return body;
}

TEST(DialogueRewrite, TheTagSearchFindsWhatAByteByByteScanFinds) {
  // The usual search looks for one name index with memchr; a package that
  // names "DialogueText" twice is scanned byte by byte. Given a second
  // DialogueText name that no body holds, the byte-by-byte scan must find
  // exactly what the quick search finds, for every kind of placement,
  // whether or not the names' DialogueText indexes were noted beforehand.
  std::mt19937 random(1208);
  int compared = 0, rewritten = 0;
  for (uint32_t dialogue : {0u, 1u, 7u, 0x100u, 0x1234u}) {
    const uint32_t count = 0x1300;
    const uint32_t unused = count - 1;  // 0x12FF: its bytes never come from a tag here
    const NameSlots quick = NamesWith(count, {dialogue}, true);
    const NameSlots unnoted = NamesWith(count, {dialogue}, false);
    const NameSlots byteByByte = NamesWith(count, {dialogue, unused}, true);
    ASSERT_EQ(quick.dialogueTextNames, std::vector<uint32_t>{dialogue});
    ASSERT_EQ(byteByByte.dialogueTextNames.size(), 2u);
    for (int round = 0; round < 400; ++round) {
      const Bytes body = RandomBody(random, dialogue);
      const Bytes unusedStart = Cat({Word32(unused), Word32(0)});
      if (std::search(body.begin(), body.end(), unusedStart.begin(), unusedStart.end()) != body.end()) continue;
      SCOPED_TRACE("name index " + std::to_string(dialogue) + ", round " + std::to_string(round));
      const ScanResult expected = RewriteWith(body, byteByByte);
      EXPECT_TRUE(RewriteWith(body, quick) == expected);
      EXPECT_TRUE(RewriteWith(body, unnoted) == expected);
      ++compared;
      rewritten += expected.result;
    }
  }
  EXPECT_GT(compared, 1900);
  EXPECT_GT(rewritten, 500) << "most bodies hold a translated string";
}

TEST(DialogueRewrite, NoDialogueTextNameMeansNoTag) {
  Dictionary dict({{"Yes", "Ja"}});
  const NameSlots names = NamesWith(8, {}, true);
  EXPECT_TRUE(names.dialogueTextNames.empty());
  const Bytes body = Cat({kPrefix, RawTag(0, 0, 8, 0, 1, {Str8("Yes")}), kSuffix});
  std::vector<uint8_t> out;
  EXPECT_EQ(RewriteDialogueBody(body.data(), uint32_t(body.size()), names, dict.Lookup(), &out), 0);
  EXPECT_TRUE(dict.asked.empty());
}

TEST(DialogueRewrite, ArraysReachingPastTheBodyAreNotTags) {
  Dictionary dict({{"Hello", "Hi"}, {"", "E"}});
  // A tag with 1000 strings where the body has room for few: its bytes stay
  // as they are, and the scan goes on byte by byte to the real tag inside.
  Bytes fake = RawTag(kDialogueText, 0, 0x99, 0, 1000, {});
  Rewritten r = Rewrite(Cat({fake, Tag({Str8("Hello")})}), &dict);
  ASSERT_EQ(r.result, 1);
  EXPECT_EQ(r.body, Cat({fake, Tag({StrWide(u"Hi")})}));

  struct Case {
    const char* what;
    Bytes tag;
  } cases[] = {
      {"8-bit length beyond the end", RawTag(kDialogueText, 0, 20, 0, 1, {Word32(100), Text("Hello")})},
      {"UTF-16 length beyond the end", RawTag(kDialogueText, 0, 20, 0, 1, {Word32(uint32_t(-50)), Text("Hello")})},
      {"lowest length word", RawTag(kDialogueText, 0, 20, 0, 1, {Word32(0x80000000u), Text("Hello")})},
      {"second string beyond the end", RawTag(kDialogueText, 0, 20, 0, 2, {Str8("Hello"), Word32(2)})},
      {"count beyond the strings", RawTag(kDialogueText, 0, 20, 0, 3, {Str8("Hello"), Word32(0)})},
  };
  for (const Case& c : cases) {
    dict.asked.clear();
    EXPECT_EQ(Rewrite(c.tag, &dict).result, 0) << c.what;
    EXPECT_TRUE(dict.asked.empty()) << c.what;
  }
}

TEST(DialogueRewrite, LookupTextsStopAtTheirZeroAndAtTheLimit) {
  const std::string max8(65535, 'a');
  const std::string over8(65536, 'b');
  const std::u16string maxWide(65535, u'c');
  const std::u16string overWide(21846, u'\u4E2D');  // 65,538 bytes of UTF-8
  Dictionary dict({{"Hel", "H"}, {max8, "A"}, {over8, "B"}, {std::string(65535, 'c'), "C"}});
  Bytes body = Tag({Cat({Word32(7), Text("Hel"), {0}, Text("lo"), {0}}), Str8(max8), Str8(over8),
                    StrWide(maxWide), StrWide(overWide)});
  Rewritten r = Rewrite(body, &dict);
  ASSERT_EQ(r.result, 1);
  EXPECT_EQ(r.body, Tag({StrWide(u"H"), StrWide(u"A"), Str8(over8), StrWide(u"C"), StrWide(overWide)}));
  EXPECT_EQ(dict.asked.size(), 3u) << "texts over 65,535 bytes are not looked up";
}

TEST(DialogueRewrite, TranslationsAreNeverCut) {
  const std::string max(32768, 'm');
  const std::string over(32769, 'o');
  std::string astral;
  for (int i = 0; i < 16384; ++i) astral += "\xF0\x9F\x98\x80";  // 32,768 units
  Dictionary dict({{"max", max}, {"over", over}, {"astral", astral}, {"astral+1", astral + "a"}});
  Bytes body = Tag({Str8("max"), Str8("over"), Str8("astral"), Str8("astral+1")});
  Rewritten r = Rewrite(body, &dict);
  ASSERT_EQ(r.result, 1);
  std::u16string astralWide;
  for (int i = 0; i < 16384; ++i) astralWide += u"\U0001F600";
  EXPECT_EQ(r.body, Tag({StrWide(std::u16string(32768, u'm')), Str8("over"), StrWide(astralWide),
                         Str8("astral+1")}));
}

TEST(DialogueRewrite, TheNewBodyGrowsBeyondTwiceTheOldOne) {
  // 31 bytes of body, so the first guess at the new body's size is 4,158
  // bytes; the translation alone takes 40,006.
  const std::string longText(20000, 'L');
  Dictionary dict({{"Hi", longText}});
  Bytes body = Cat({Tag({Str8("Hi")}), Text("tail")});
  ASSERT_EQ(body.size(), 31u);
  Rewritten r = Rewrite(body, &dict);
  ASSERT_EQ(r.result, 1);
  EXPECT_EQ(r.body, Cat({Tag({StrWide(std::u16string(20000, u'L'))}), Text("tail")}));
}

// --- relocation ----------------------------------------------------------------

class Relocation : public testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("out.upk");
    original_.resize(200);
    for (size_t i = 0; i < original_.size(); ++i) original_[i] = uint8_t(i * 7);
    ASSERT_TRUE(fixtures::WriteFileBytes(path_, original_));
    file_ = platform::OpenWrite(path_.c_str(), platform::kOpenExisting);
    ASSERT_NE(file_, platform::kNoFile);
  }
  void TearDown() override {
    platform::faults::Clear();
    platform::Close(file_);
  }
  // The original with the words at position replaced by size and offset.
  Bytes Patched(Bytes bytes, uint32_t position, uint32_t size, uint32_t offset) {
    Bytes words = Cat({Word32(size), Word32(offset)});
    std::copy(words.begin(), words.end(), bytes.begin() + position);
    return bytes;
  }

  fixtures::TempDir dir_;
  std::string path_;
  Bytes original_;
  platform::File file_ = platform::kNoFile;
};

// The relocations of bodies, each at its record position: true when they
// were written.
bool Relocate(platform::File file, const Bytes& image, const std::vector<std::pair<uint32_t, Bytes>>& bodies) {
  RelocatedBodies relocated;
  for (const auto& [position, body] : bodies)
    if (!relocated.Add(position, body)) return false;
  return RelocateExports(file, image.data(), uint32_t(image.size()), relocated) == Failure::kNone;
}

TEST_F(Relocation, OneExportIsAppendedAndPointedAt) {
  const Bytes body = {9, 8, 7, 6, 5};
  ASSERT_TRUE(Relocate(file_, original_, {{40, body}}));
  platform::Close(file_);
  file_ = platform::kNoFile;
  EXPECT_EQ(fixtures::ReadFileBytes(path_), Cat({Patched(original_, 40, 5, 200), body}));
}

TEST_F(Relocation, ExportsFollowOneAnotherInTheOrderAdded) {
  // Records out of position order, far apart and side by side.
  const Bytes first = {1, 1, 1}, second(300, 2), third = {3};
  ASSERT_TRUE(Relocate(file_, original_, {{36 + 72, first}, {36, second}, {44, third}}));
  platform::Close(file_);
  file_ = platform::kNoFile;
  Bytes expected = Patched(Patched(Patched(original_, 36 + 72, 3, 200), 36, 300, 203), 44, 1, 503);
  EXPECT_EQ(fixtures::ReadFileBytes(path_), Cat({expected, first, second, third}));
}

TEST_F(Relocation, NothingToRelocateWritesNothing) {
  platform::faults::Clear();
  ASSERT_TRUE(Relocate(file_, original_, {}));
  if (platform::faults::Available()) {
    EXPECT_EQ(platform::faults::CallCount(platform::faults::kWrite), 0u);
  }
  platform::Close(file_);
  file_ = platform::kNoFile;
  EXPECT_EQ(fixtures::ReadFileBytes(path_), original_);
}

TEST_F(Relocation, ARecordOutsideTheImageIsRefused) {
  for (uint32_t position : {193u, 200u, 0xFFFFFFFCu})
    EXPECT_FALSE(Relocate(file_, original_, {{40, {1}}, {position, {2}}})) << position;
  EXPECT_TRUE(Relocate(file_, original_, {{192, {1}}})) << "the last whole record";
}

TEST_F(Relocation, AFileThatWouldOutgrow32BitOffsetsIsRefused) {
  // Grown by path with the file closed: Windows shares an open file with
  // no second writer, and its truncate() takes only 32-bit sizes.
  platform::Close(file_);
  std::error_code error;
  std::filesystem::resize_file(path_, 0xFFFFFFF0ull, error);
  ASSERT_FALSE(error) << error.message();
  file_ = platform::OpenWrite(path_.c_str(), platform::kOpenExisting);
  ASSERT_NE(file_, platform::kNoFile);
  EXPECT_FALSE(Relocate(file_, original_, {{40, Bytes(16, 1)}}));
  EXPECT_FALSE(Relocate(file_, original_, {{40, Bytes(10, 1)}, {48, Bytes(6, 1)}}))
      << "together past the last 32-bit position";
  EXPECT_TRUE(Relocate(file_, original_, {{40, Bytes(10, 1)}, {48, Bytes(5, 1)}}))
      << "ends at the last 32-bit position";
}

TEST_F(Relocation, EveryFailingCallFailsTheRelocation) {
  if (!platform::faults::Available()) GTEST_SKIP() << "no fault switch in this build";
  struct Case {
    const char* what;
    platform::faults::Operation op;
    uint64_t nth;
    bool shortTransfer;
  } cases[] = {
      {"size query", platform::faults::kSize, 1, false},
      {"seek to the end", platform::faults::kSeek, 1, false},
      {"bodies write", platform::faults::kWrite, 1, false},
      {"short bodies write", platform::faults::kWrite, 1, true},
      {"seek to the records", platform::faults::kSeek, 2, false},
      {"records write", platform::faults::kWrite, 2, false},
      {"short records write", platform::faults::kWrite, 2, true},
  };
  for (const Case& c : cases) {
    platform::faults::Clear();
    platform::faults::FailCall(c.op, c.nth, c.shortTransfer);
    EXPECT_FALSE(Relocate(file_, original_, {{40, Bytes(64, 3)}, {120, Bytes(9, 4)}})) << c.what;
  }
  platform::faults::Clear();
  EXPECT_TRUE(Relocate(file_, original_, {{40, Bytes(64, 3)}, {120, Bytes(9, 4)}}));
}

}  // namespace
}  // namespace package
