// The content checks: each finds its seeded defect and leaves the sound
// entry beside it alone.
#include "tools/dict/content_checks.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "dictionary/dict_test_util.h"
#include "tests/support/files.h"

namespace dict_tool {
namespace {

struct Case {
  ContentCheck check;
  const char* source;
  const char* defective;  // target the check flags
  const char* sound;      // target it lets pass
  bool subtitle = false;
};

std::vector<ContentCheck> Flagged(const Case& c, const char* target, const char* remark, const ContentOptions& options) {
  std::vector<ContentFinding> findings;
  CheckContent(c.source, target, remark, c.subtitle, options, &findings);
  std::vector<ContentCheck> checks;
  for (const ContentFinding& f : findings) checks.push_back(f.check);
  return checks;
}

TEST(ContentChecks, EachCheckFindsItsDefectAndPassesTheSoundEntry) {
  ContentOptions options;
  options.widthLimit = 20;
  options.glossary = GlossaryOf({{"Reaper", "\xE6\x94\xB6\xE5\x89\xB2\xE8\x80\x85", "", 0},
                                 {"Reaper", "\xE6\x94\xB6\xE5\x89\xB2\xE6\x9C\xBA", "Forbidden", 0}});
  options.allowed = {"Shepard"};
  const Case cases[] = {
      {ContentCheck::kEndPunctuation, "We ride at dawn!", "\xE9\xBB\x8E\xE6\x98\x8E\xE5\x87\xBA\xE5\x8F\x91",
       "\xE9\xBB\x8E\xE6\x98\x8E\xEF\xBC\x81"},
      {ContentCheck::kEndPunctuation, "Wait...\"", "\xE7\xAD\x89\xE3\x80\x82\"", "\xE7\xAD\x89\xE2\x80\xA6\xE2\x80\xA6\xE2\x80\x9D"},
      {ContentCheck::kPlaceholders, "%1$s has %d {0}", "%s \xE6\x9C\x89 {0}", "{0} %d \xE4\xB8\xAA %1$s"},
      {ContentCheck::kTags, "<b>Go</b> now", "<b>\xE8\xB5\xB0 now", "<b>\xE8\xB5\xB0</b> now"},
      {ContentCheck::kWhitespace, "Go", "\xE8\xB5\xB0 ", "\xE8\xB5\xB0"},
      {ContentCheck::kNewlines, "One\nTwo", "\xE4\xB8\x80\n\xE4\xBA\x8C\n\xE4\xB8\x89", "\xE4\xB8\x80\n\xE4\xBA\x8C"},
      {ContentCheck::kLength, "Hi", "\xE4\xBD\xA0\xE5\xA5\xBD\xE4\xBD\xA0\xE5\xA5\xBD\xE4\xBD\xA0\xE5\xA5\xBD\xE4\xBD\xA0\xE5\xA5\xBD",
       "\xE4\xBD\xA0\xE5\xA5\xBD"},
      {ContentCheck::kWidth, "A line", "\xE4\xB8\x80\xE4\xBA\x8C\xE4\xB8\x89\xE5\x9B\x9B\xE4\xBA\x94\xE5\x85\xAD\xE4\xB8\x83\xE5\x85\xAB\xE4\xB9\x9D\xE5\x8D\x81\xE4\xB8\x80",
       "\xE4\xB8\x80\xE4\xBA\x8C\xE4\xB8\x89\xE5\x9B\x9B\xE4\xBA\x94\xE5\x85\xAD\xE4\xB8\x83\xE5\x85\xAB\xE4\xB9\x9D\xE5\x8D\x81", true},
      {ContentCheck::kGlossary, "The reaper.", "\xE6\x94\xB6\xE5\x89\xB2\xE8\x80\x85\xE3\x80\x81\xE6\x94\xB6\xE5\x89\xB2\xE6\x9C\xBA\xE3\x80\x82",
       "\xE6\x94\xB6\xE5\x89\xB2\xE8\x80\x85\xE3\x80\x82"},
      {ContentCheck::kUnchanged, "Hello.", "Hello.", "\xE4\xBD\xA0\xE5\xA5\xBD\xE3\x80\x82"},
  };
  for (const Case& c : cases) {
    const char* name = ContentCheckName(c.check);
    EXPECT_EQ(Flagged(c, c.defective, "", options), std::vector<ContentCheck>{c.check}) << name << ": " << c.defective;
    EXPECT_TRUE(Flagged(c, c.sound, "", options).empty()) << name << ": " << c.sound;
    ContentOptions skipped = options;
    skipped.enabled[static_cast<int>(c.check)] = false;
    EXPECT_TRUE(Flagged(c, c.defective, "", skipped).empty()) << name << " skipped";
  }
  // Unchanged on purpose: marked, listed, or nothing to translate.
  const Case same = {ContentCheck::kUnchanged, "Hmm.", "Hmm.", ""};
  EXPECT_TRUE(Flagged(same, "Hmm.", "a sound\n[identical]", options).empty());
  EXPECT_TRUE(Flagged({ContentCheck::kUnchanged, "Shepard", "", ""}, "Shepard", "", options).empty());
  EXPECT_TRUE(Flagged({ContentCheck::kUnchanged, "... ?!", "", ""}, "... ?!", "", options).empty());
}

TEST(ContentChecks, TheGameTellsSubtitlesAndSourcesItDoesNotHave) {
  fixtures::TempDir dir;
  const std::string path = dir.File("chs.txt");
  ASSERT_TRUE(fixtures::WriteFileText(path, dict_test::FileText({{"In the game.", "\xE5\x9C\xA8\xE3\x80\x82", ""},
                                                                  {"Mistyped.", "\xE9\x94\x99\xE3\x80\x82", ""},
                                                                  {"Sub line.", "\xE4\xB8\x80\xE4\xBA\x8C\xE4\xB8\x89\xE5\x9B\x9B\xE4\xBA\x94\xE3\x80\x82", ""}})));
  DictFile file;
  LoadError error;
  ASSERT_TRUE(LoadDictFile(path, &file, &error));
  GameTextSets game;
  game.all = {"In the game.", "Sub line."};
  game.subtitles = {"Sub line."};
  // The width limit comes from the one English subtitle line (9 columns),
  // which its translation (12 columns) exceeds.
  std::vector<std::pair<uint32_t, ContentCheck>> found;
  for (const EntryFinding& f : CheckFileContent(file, ContentOptions(), &game)) found.push_back({f.entry, f.check});
  EXPECT_EQ(found, (std::vector<std::pair<uint32_t, ContentCheck>>{{1, ContentCheck::kNotInGame},
                                                                    {2, ContentCheck::kWidth}}));
}

TEST(ContentChecks, NamesAndWidths) {
  ContentCheck check;
  EXPECT_TRUE(ContentCheckNamed("notingame", &check));
  EXPECT_EQ(check, ContentCheck::kNotInGame);
  EXPECT_FALSE(ContentCheckNamed("endpunct", &check));
  EXPECT_EQ(WidestLine("ab\r\n\xE4\xB8\x80\xE4\xB8\x80\xE4\xB8\x80\nabcd"), 6u);
  EXPECT_TRUE(IsSubtitleRemark("Movie1.usm 0:01:02.345"));
  EXPECT_FALSE(IsSubtitleRemark("Pkg1.upk A'B'"));
}

}  // namespace
}  // namespace dict_tool
