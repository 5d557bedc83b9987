// Tests of the movie subtitle patcher. Movies come from the movie builder;
// the output each test expects is put together from the builder's parts,
// with replaced chunks written out from the chunk format.
#include "movie/movie_patcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "dictionary/dict_test_util.h"
#include "platform/fault_injection.h"
#include "platform/platform.h"
#include "tests/support/files.h"
#include "tests/support/movie_builder.h"

namespace movie {
namespace {

using fixtures::Bytes;
using fixtures::MovieBuilder;
using fixtures::Subtitle;

Bytes Concat(std::initializer_list<Bytes> pieces) {
  Bytes all;
  for (const Bytes& piece : pieces) all.insert(all.end(), piece.begin(), piece.end());
  return all;
}

Bytes Slice(const Bytes& data, size_t from, size_t to) {
  return Bytes(data.begin() + static_cast<ptrdiff_t>(from), data.begin() + static_cast<ptrdiff_t>(to));
}

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// The chunk that stands for oldChunk once its text is translated to target:
// the first 52 bytes of the old chunk with the chunk size and the text
// length rewritten, the target, then zeros to the next multiple of 16 with
// room for at least two of them.
Bytes TranslatedChunk(const Bytes& oldChunk, const std::string& target) {
  Bytes chunk = Slice(oldChunk, 0, 52);
  size_t total = 52 + target.size() + 2;
  while (total % 16 != 0) ++total;
  bytes::StoreU32BE(chunk.data() + 4, static_cast<uint32_t>(total - 8));
  bytes::StoreU32LE(chunk.data() + 48, static_cast<uint32_t>(target.size() + 2));
  chunk.insert(chunk.end(), target.begin(), target.end());
  chunk.resize(total, 0);
  return chunk;
}

// The movie with the parts at the given indices replaced by their
// translations.
Bytes Translated(const MovieBuilder& movie, const std::map<size_t, std::string>& targets) {
  Bytes all;
  for (size_t i = 0; i < movie.parts().size(); ++i) {
    auto found = targets.find(i);
    Bytes piece = found == targets.end() ? movie.part(i).bytes
                                         : TranslatedChunk(movie.part(i).bytes, found->second);
    all.insert(all.end(), piece.begin(), piece.end());
  }
  return all;
}

// A dictionary file whose entries are sorted by source, as lookups need.
std::string DictionaryText(const std::map<std::string, std::string>& entries) {
  std::vector<dict_test::Texts> texts;
  for (const auto& [source, target] : entries) texts.push_back({source, target, ""});
  return dict_test::FileText(texts);
}

// A temporary directory made the current directory (where the patcher looks
// for chs.txt), with a movie and its backup in it.
class MoviePatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    platform::faults::Clear();
  }
  void TearDown() override {
    platform::faults::Clear();
    std::filesystem::current_path(previous_);
  }

  void SetDictionary(const std::map<std::string, std::string>& entries) {
    ASSERT_TRUE(fixtures::WriteFileText(dir_.File("chs.txt"), DictionaryText(entries)));
  }

  std::string shipped() const { return dir_.File("movie.usm"); }
  std::string backup() const { return dir_.File("movie.usm.bak"); }

  void Run(const std::string& backupPath) {
    std::vector<char> path(backupPath.begin(), backupPath.end());
    path.push_back('\0');
    PatchMovieFile(path.data());
  }

  // Puts movie in the backup (as the driver leaves it: no shipped file),
  // patches it and gives the shipped file. The backup must come through
  // unchanged.
  Bytes Patch(const Bytes& movie) {
    EXPECT_TRUE(fixtures::WriteFileBytes(backup(), movie));
    Run(backup());
    EXPECT_EQ(fixtures::ReadFileBytes(backup()), movie) << "the backup is only read";
    EXPECT_TRUE(fixtures::FileExists(shipped())) << "the movie is never left missing";
    return fixtures::ReadFileBytes(shipped());
  }

  fixtures::TempDir dir_;
  std::filesystem::path previous_;
};

// --- finding subtitle chunks ------------------------------------------------

Bytes SubtitleChunk(uint32_t language, const std::string& text) {
  Subtitle subtitle;
  subtitle.language = language;
  subtitle.text = text;
  return fixtures::MakeSubtitleChunk(subtitle);
}

TEST(FindSubtitleChunk, GridAndBounds) {
  const Bytes chunk = SubtitleChunk(0, "Hi");  // 64 bytes
  ASSERT_EQ(chunk.size(), 64u);
  struct Case {
    const char* name;
    size_t chunkAt;     // where the chunk is placed in the range
    size_t rangeSize;   // length of the range searched
    long expected;      // offset found, or -1
  } cases[] = {
      {"at the start", 0, 200, 0},
      {"on the grid", 48, 200, 48},
      {"off the grid by 8", 40, 200, -1},
      {"off the grid by 4", 4, 200, -1},
      {"off the grid by 1", 33, 200, -1},
      {"exactly 65 bytes remain", 0, 65, 0},
      {"exactly 64 bytes remain", 0, 64, -1},
      {"chunk in the last 64 bytes", 128, 192, -1},
      {"chunk with 80 bytes after its start", 128, 208, 128},
      {"range of 0 bytes", 0, 0, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes range(std::max(c.rangeSize, c.chunkAt + chunk.size()), 0x55);
    std::copy(chunk.begin(), chunk.end(), range.begin() + static_cast<ptrdiff_t>(c.chunkAt));
    range.resize(c.rangeSize);  // exactly the range, so the sanitizer sees any read beyond
    range.shrink_to_fit();
    const uint8_t* found = FindSubtitleChunk(range.data(), static_cast<uint32_t>(range.size()));
    if (c.expected < 0)
      EXPECT_EQ(found, nullptr);
    else
      EXPECT_EQ(found, range.data() + c.expected);
  }
}

TEST(FindSubtitleChunk, OnlyTheTranslatedKindMatches) {
  struct Case {
    const char* name;
    size_t offset;
    uint8_t value;
    bool matches;
  } cases[] = {
      {"unchanged", 1, 'S', true},
      {"other signature", 3, 'V', false},
      {"language 1", 32, 1, false},
      {"rate 1001", 23, 0xE9, false},
      {"non-zero head word", 28, 1, false},
      {"time base 1001", 36, 0xE9, false},
      {"timing fields are free", 40, 0xFF, true},
      {"head fields before the rate are free", 12, 0xFF, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes chunk = SubtitleChunk(0, "A line of text");
    chunk[c.offset] = c.value;
    chunk.resize(chunk.size() + 16, 0);
    const uint8_t* found = FindSubtitleChunk(chunk.data(), static_cast<uint32_t>(chunk.size()));
    EXPECT_EQ(found != nullptr, c.matches);
  }
}

TEST(FindSubtitleChunk, FirstMatchAndNegativeLengths) {
  Bytes range = Concat({fixtures::MakeFillerChunk("@SFV", 96), SubtitleChunk(1, "one"),
                        SubtitleChunk(0, "two"), SubtitleChunk(0, "three")});
  EXPECT_EQ(FindSubtitleChunk(range.data(), static_cast<uint32_t>(range.size())), range.data() + 160);
  // A count above 2^31 - 1 stands for a negative length: nothing is read.
  EXPECT_EQ(FindSubtitleChunk(range.data(), 0x80000000u), nullptr);
  EXPECT_EQ(FindSubtitleChunk(range.data(), 0xFFFFFFFFu), nullptr);
  EXPECT_EQ(FindSubtitleChunk(nullptr, 100), nullptr);
}

// --- the chunk layouts --------------------------------------------------------

TEST(ForEachSubtitle, VisitsTheChunksThePatcherLooksUpWithTheirEndsAndTexts) {
  // The walk restarts its grid at each stated end: a subtitle 8 bytes past
  // the end of a long chunk is missed, one on the grid from there is found.
  Bytes longChunk = SubtitleChunk(0, "first");
  longChunk.insert(longChunk.end(), 8, 0xEE);
  bytes::StoreU32BE(longChunk.data() + 4, static_cast<uint32_t>(longChunk.size() - 8));
  Bytes unterminated = SubtitleChunk(0, "");
  ASSERT_EQ(unterminated.size(), 64u);
  std::fill(unterminated.begin() + 52, unterminated.end(), 'z');  // no zero byte: the text runs on
  MovieBuilder movie;
  movie.AddHeader(0x40)
      .AddRaw(longChunk)              // 1: found
      .AddSubtitle(0, 0, "second")    // 2: found, on the grid from 1's end
      .AddSubtitle(1, 0, "other")     // 3: another language
      .AddRaw(Bytes(8, 0x11))
      .AddSubtitle(0, 0, "missed")    // 5: off the grid
      .AddRaw(Bytes(8, 0x22))
      .AddRaw(unterminated)           // 7: found, text up to the end
      .AddRaw(Bytes(1, 0x33));
  const Bytes data = movie.Build();
  struct Seen {
    size_t at;
    uint64_t end;
    std::string text;
  };
  std::vector<Seen> seen;
  ForEachSubtitle(data.data(), static_cast<uint32_t>(data.size()),
                  [&](const uint8_t* chunk, uint64_t end, const std::string& text) {
                    seen.push_back({static_cast<size_t>(chunk - data.data()), end, text});
                  });
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].at, movie.part(1).offset);
  EXPECT_EQ(seen[0].end, movie.part(2).offset);
  EXPECT_EQ(seen[0].text, "first");
  EXPECT_EQ(seen[1].at, movie.part(2).offset);
  EXPECT_EQ(seen[1].text, "second");
  EXPECT_EQ(seen[2].at, movie.part(7).offset);
  EXPECT_EQ(seen[2].text, std::string(64 - 52, 'z') + "\x33");
}

TEST(MovieBuilder, SubtitleChunkLayout) {
  Subtitle subtitle;
  subtitle.start = 0x01020304;
  subtitle.duration = 0x0A0B;
  subtitle.text = "Hello";
  const Bytes expected = {
      '@', 'S', 'B', 'T', 0x00, 0x00, 0x00, 0x38,              // size 56
      0x00, 0x18, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00,          // head, 5 bytes of padding
      0x01, 0x02, 0x03, 0x04, 0x00, 0x00, 0x03, 0xE8,          // frame time, rate 1000
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,          // two zero words
      0x00, 0x00, 0x00, 0x00, 0xE8, 0x03, 0x00, 0x00,          // language 0, time base 1000
      0x04, 0x03, 0x02, 0x01, 0x0B, 0x0A, 0x00, 0x00,          // start, duration
      0x07, 0x00, 0x00, 0x00, 'H', 'e', 'l', 'l',              // text length 7
      'o', 0, 0, 0, 0, 0, 0, 0,                                // text end and padding
  };
  EXPECT_EQ(fixtures::MakeSubtitleChunk(subtitle), expected);

  MovieBuilder movie;
  movie.AddHeader(0x40).AddRaw({1, 2, 3}).AddSubtitle(0, 0, "x").AddVideoFrame(24);
  ASSERT_EQ(movie.parts().size(), 4u);
  EXPECT_EQ(movie.part(2).offset, 0x43u);
  EXPECT_EQ(movie.part(3).offset, 0x43u + 64);
  EXPECT_EQ(movie.Build().size(), movie.size());
  EXPECT_EQ(movie.size(), 0x43u + 64 + 24);
  EXPECT_EQ(bytes::LoadU32BE(movie.part(3).bytes.data() + 4), 16u);
}

TEST_F(MoviePatcherTest, TenAndElevenByteTranslations) {
  // Ten bytes fit a 64-byte chunk: size 0x38, text length 0x0C.
  // Eleven need 80 bytes: size 0x48, text length 0x0D.
  struct Case {
    std::string target;
    Bytes sizeField, lengthField;
    size_t chunkLength;
  } cases[] = {
      {"0123456789", {0, 0, 0, 0x38}, {0x0C, 0, 0, 0}, 64},
      {"0123456789A", {0, 0, 0, 0x48}, {0x0D, 0, 0, 0}, 80},
      {"", {0, 0, 0, 0x38}, {0x02, 0, 0, 0}, 64},
      {"\xE4\xBD\xA0\xE5\xA5\xBD\xEF\xBC\x81", {0, 0, 0, 0x38}, {0x0B, 0, 0, 0}, 64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    SetDictionary({{"Where is the harbour master?", c.target}});
    MovieBuilder movie;
    movie.AddHeader(0x100).AddSubtitle(0, 1500, "Where is the harbour master?").AddVideoFrame(0x200);
    const Bytes out = Patch(movie.Build());
    ASSERT_EQ(out.size(), 0x100 + c.chunkLength + 0x200);
    const Bytes old = movie.part(1).bytes;
    Bytes chunk = Slice(out, 0x100, 0x100 + c.chunkLength);
    EXPECT_EQ(Slice(chunk, 0, 4), ToBytes("@SBT"));
    EXPECT_EQ(Slice(chunk, 4, 8), c.sizeField);
    EXPECT_EQ(Slice(chunk, 8, 48), Slice(old, 8, 48)) << "head and timing kept";
    EXPECT_EQ(Slice(chunk, 48, 52), c.lengthField);
    EXPECT_EQ(Slice(chunk, 52, 52 + c.target.size()), ToBytes(c.target));
    EXPECT_EQ(Slice(chunk, 52 + c.target.size(), c.chunkLength), Bytes(c.chunkLength - 52 - c.target.size(), 0));
    EXPECT_EQ(Slice(out, 0, 0x100), movie.part(0).bytes);
    EXPECT_EQ(Slice(out, 0x100 + c.chunkLength, out.size()), movie.part(2).bytes);
  }
}

// --- whole movies ---------------------------------------------------------------

TEST_F(MoviePatcherTest, KnownAndUnknownSubtitlesInOneMovie) {
  SetDictionary({{"Second line", "第二行"}, {"Fourth line", "第四行，较长的一句译文"}});
  MovieBuilder movie;
  movie.AddHeader()
      .AddMediaFrames(3, 1)
      .AddSubtitle(0, 1000, "First line")  // 4: unknown
      .AddMediaFrames(2, 2)
      .AddSubtitle(0, 3000, "Second line")  // 7
      .AddSubtitle(1, 3000, "Second line")  // 8: language 1, passed through
      .AddSubtitle(0, 5000, "  Fourth line ")  // 9: spaces at the ends do not count
      .AddMediaFrames(4, 3);
  EXPECT_EQ(Patch(movie.Build()),
            Translated(movie, {{7, "第二行"}, {9, "第四行，较长的一句译文"}}));
}

TEST_F(MoviePatcherTest, OtherLanguagesArePassedThrough) {
  SetDictionary({{"Run!", "快跑！"}});
  MovieBuilder movie;
  movie.AddHeader().AddSubtitle(1, 0, "Run!").AddSubtitle(2, 0, "Run!").AddVideoFrame(64);
  Subtitle otherRate;
  otherRate.text = "Run!";
  otherRate.frameRate = 2997;
  movie.AddSubtitle(otherRate).AddSubtitle(0, 9, "Run!").AddAudioFrame(128);
  EXPECT_EQ(Patch(movie.Build()), Translated(movie, {{5, "快跑！"}}));
}

TEST_F(MoviePatcherTest, GrowsByManyLongTranslations) {
  // Forty short lines translated into 200-byte texts: the movie grows by
  // about 7 KiB, well past any one chunk's size.
  std::map<std::string, std::string> dictionary;
  std::map<size_t, std::string> targets;
  MovieBuilder movie;
  movie.AddHeader(0x40);
  for (int i = 0; i < 40; ++i) {
    std::string source = "Line " + std::to_string(100 + i);
    std::string target = std::string(199, char('a' + i % 26)) + std::to_string(i % 10);
    dictionary[source] = target;
    targets[movie.parts().size()] = target;
    movie.AddSubtitle(0, static_cast<uint32_t>(i * 1000), source);
  }
  movie.AddVideoFrame(32);
  SetDictionary(dictionary);
  const Bytes expected = Translated(movie, targets);
  ASSERT_GT(expected.size(), movie.size() + 2048);
  EXPECT_EQ(Patch(movie.Build()), expected);
}

TEST_F(MoviePatcherTest, GridRestartsAtTheEndOfEachMatchedChunk) {
  SetDictionary({{"alpha", "ALPHA"}, {"beta", "BETA"}, {"gamma", "GAMMA"}});
  // A matched chunk that ends 8 bytes off the file's grid: its size field
  // counts 8 bytes of trailing data.
  auto longChunk = [](const std::string& text) {
    Bytes chunk = SubtitleChunk(0, text);
    chunk.insert(chunk.end(), 8, 0xEE);
    bytes::StoreU32BE(chunk.data() + 4, static_cast<uint32_t>(chunk.size() - 8));
    return chunk;
  };
  for (bool firstKnown : {true, false}) {
    SCOPED_TRACE(firstKnown ? "first chunk translated" : "first chunk unknown");
    MovieBuilder movie;
    movie.AddHeader(0x80)
        .AddRaw(longChunk(firstKnown ? "alpha" : "unknown"))  // 1: ends at 0x80 + 72
        .AddSubtitle(0, 0, "beta")                            // 2: on the new grid, found
        .AddRaw(Bytes(8, 0x11))                               // 3: back on the file's grid
        .AddSubtitle(0, 0, "gamma")                           // 4: off the new grid, missed
        .AddVideoFrame(96);
    std::map<size_t, std::string> targets = {{2, "BETA"}};
    if (firstKnown) targets[1] = "ALPHA";
    EXPECT_EQ(movie.part(4).offset % 16, 0u);
    EXPECT_EQ(Patch(movie.Build()), Translated(movie, targets));
  }
}

TEST_F(MoviePatcherTest, ChunksTooCloseToTheEndAreNotRecognised) {
  SetDictionary({{"Bye", "再见"}});
  MovieBuilder last;
  last.AddHeader(0x40).AddSubtitle(0, 0, "Bye");  // exactly 64 bytes at the end
  ASSERT_EQ(last.part(1).bytes.size(), 64u);
  EXPECT_EQ(Patch(last.Build()), last.Build());

  MovieBuilder oneMore;
  oneMore.AddHeader(0x40).AddSubtitle(0, 0, "Bye").AddRaw({0x01});
  EXPECT_EQ(Patch(oneMore.Build()), Translated(oneMore, {{1, "再见"}}));
}

TEST_F(MoviePatcherTest, ShortAndEmptyBackupsAreCopied) {
  SetDictionary({{"Hi", "嗨"}});
  Bytes subtitle = SubtitleChunk(0, "Hi");
  struct Case {
    const char* name;
    Bytes backup;
  } cases[] = {
      {"empty", {}},
      {"one byte", {0x40}},
      {"a subtitle chunk alone (64 bytes)", subtitle},
      {"a subtitle chunk cut short", Slice(subtitle, 0, 40)},
      {"64 bytes of filler", fixtures::MakeFillerChunk("CRID", 64)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::DeletePath(shipped().c_str());
    EXPECT_EQ(Patch(c.backup), c.backup);
  }
}

TEST_F(MoviePatcherTest, ARebuiltFileFromAnEarlierRunIsRebuiltFromTheBackup) {
  SetDictionary({{"Again", "再来"}});
  MovieBuilder movie;
  movie.AddHeader().AddSubtitle(0, 0, "Again").AddMediaFrames(5, 9);
  const Bytes expected = Translated(movie, {{1, "再来"}});
  ASSERT_TRUE(fixtures::WriteFileBytes(shipped(), expected));  // the earlier run's output
  EXPECT_EQ(Patch(movie.Build()), expected);
  ASSERT_TRUE(fixtures::WriteFileText(shipped(), "a much shorter stale file"));
  EXPECT_EQ(Patch(movie.Build()), expected);
}

// --- a movie is never left missing ------------------------------------------------

TEST_F(MoviePatcherTest, WithoutTranslationsTheMovieStaysAsShipped) {
  MovieBuilder movie;
  movie.AddHeader().AddMediaFrames(4, 5).AddSubtitle(0, 0, "Nobody knows this line").AddMediaFrames(2, 6);
  const Bytes original = movie.Build();
  struct Case {
    const char* name;
    const char* dictionary;  // nullptr: no chs.txt at all
  } cases[] = {
      {"no chs.txt", nullptr},
      {"chs.txt without the line", "known"},
      {"chs.txt that cannot be parsed", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::DeletePath(dir_.File("chs.txt").c_str());
    if (c.dictionary != nullptr && *c.dictionary != '\0') SetDictionary({{c.dictionary, "已知"}});
    if (c.dictionary != nullptr && *c.dictionary == '\0') {
      ASSERT_TRUE(fixtures::WriteFileText(dir_.File("chs.txt"), "\r\nqzrtn_res_No.0\r\nbroken"));
    }
    platform::DeletePath(shipped().c_str());
    EXPECT_EQ(Patch(original), original);
  }
}

TEST_F(MoviePatcherTest, ACopiedMovieDoesNotKeepTheBackupsAttributes) {
  MovieBuilder movie;
  movie.AddHeader().AddVideoFrame(256);
  ASSERT_TRUE(fixtures::WriteFileBytes(backup(), movie.Build()));
  if (!platform::SetAttributes(backup().c_str(), platform::kAttrHidden | platform::kAttrSystem)) {
    GTEST_SKIP() << "this file system keeps no DOS attributes";
  }
  Run(backup());
  EXPECT_EQ(fixtures::ReadFileBytes(shipped()), movie.Build());
  EXPECT_EQ(platform::GetAttributes(shipped().c_str()), uint32_t{platform::kAttrNormal});
  EXPECT_EQ(platform::GetAttributes(backup().c_str()), uint32_t{platform::kAttrHidden | platform::kAttrSystem});
}

TEST_F(MoviePatcherTest, NothingIsTouchedWithoutAReadableBackup) {
  SetDictionary({{"Hi", "嗨"}});
  const Bytes stale = ToBytes("the shipped movie");
  struct Case {
    const char* name;
    std::string backupName;
    bool createBackup;
  } cases[] = {
      {"backup missing", "movie.usm.bak", false},
      {"path without .bak (the shipped movie itself)", "movie.usm", false},
      {"path ending in .ba", "movie.usm.ba", true},
      {"path ending in .BAK", "movie.usm.BAK", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::DeletePath(backup().c_str());
    ASSERT_TRUE(fixtures::WriteFileBytes(shipped(), stale));
    MovieBuilder movie;
    movie.AddHeader().AddSubtitle(0, 0, "Hi").AddVideoFrame(64);
    if (c.createBackup) {
      ASSERT_TRUE(fixtures::WriteFileBytes(dir_.File(c.backupName), movie.Build()));
    }
    Run(dir_.File(c.backupName));
    EXPECT_EQ(fixtures::ReadFileBytes(shipped()), stale);
  }
}

// --- malformed movies -----------------------------------------------------------------

TEST_F(MoviePatcherTest, MalformedChunkSizesNeitherStallNorReadOutside) {
  SetDictionary({{"broken", "坏"}, {"later", "后来"}});
  struct Case {
    const char* name;
    const char* text;  // of the malformed chunk
    uint32_t size;     // its size field
  } cases[] = {
      {"known, size 0", "broken", 0},
      {"unknown, size 0", "unknown", 0},
      {"known, size 8", "broken", 8},
      {"known, size beyond the end", "broken", 0x10000},
      {"known, size 0xFFFFFFF8", "broken", 0xFFFFFFF8},
      {"known, size 0xFFFFFFFF", "broken", 0xFFFFFFFF},
      {"unknown, size 0xFFFFFFFF", "unknown", 0xFFFFFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes bad = SubtitleChunk(0, c.text);
    bytes::StoreU32BE(bad.data() + 4, c.size);
    MovieBuilder movie;
    movie.AddHeader(0x40).AddRaw(bad).AddVideoFrame(0x70).AddSubtitle(0, 0, "later").AddVideoFrame(0x40);
    const Bytes original = movie.Build();
    const size_t badAt = movie.part(1).offset;
    const uint64_t statedEnd = badAt + 8 + uint64_t{c.size};
    const bool known = std::string(c.text) == "broken";

    Bytes expected;
    if (statedEnd >= original.size()) {
      // The search ends with the malformed chunk. A translated chunk takes
      // everything up to its stated end, which is the end of the movie.
      expected = known ? Concat({movie.part(0).bytes, TranslatedChunk(bad, "坏")}) : original;
    } else {
      // The search goes on from the stated end on a grid counted from it.
      // Bytes from there on are copied; "later" sits at a multiple of 16
      // from that end only when the size is a multiple of 16 minus 8.
      const size_t laterAt = movie.part(3).offset;
      const bool laterFound = (laterAt - statedEnd) % 16 == 0;
      Bytes head = known ? Concat({movie.part(0).bytes, TranslatedChunk(bad, "坏")})
                         : Slice(original, 0, static_cast<size_t>(statedEnd));
      Bytes middle = Slice(original, static_cast<size_t>(statedEnd), laterAt);
      Bytes later = laterFound ? TranslatedChunk(movie.part(3).bytes, "后来") : movie.part(3).bytes;
      expected = Concat({head, middle, later, movie.part(4).bytes});
    }
    platform::DeletePath(shipped().c_str());
    EXPECT_EQ(Patch(original), expected);
  }
}

TEST_F(MoviePatcherTest, ATextRunningToTheEndOfTheMovie) {
  // The last chunk's text has no zero byte before the end of the file, and
  // the file ends on a page boundary, where the mapping ends too.
  const std::string text(4096 - 0x40 - 52, 'z');
  SetDictionary({{text, "末尾"}});
  Bytes chunk = SubtitleChunk(0, "");
  chunk.resize(52);
  chunk.insert(chunk.end(), text.begin(), text.end());
  bytes::StoreU32BE(chunk.data() + 4, static_cast<uint32_t>(chunk.size() - 8));
  MovieBuilder movie;
  movie.AddHeader(0x40).AddRaw(chunk);
  ASSERT_EQ(movie.size(), 4096u);
  EXPECT_EQ(Patch(movie.Build()), Translated(movie, {{1, "末尾"}}));
}

// --- failures of the operating system ---------------------------------------------------

TEST_F(MoviePatcherTest, FailuresLeaveTheShippedMovieEqualToTheBackup) {
  if (!platform::faults::Available()) {
    GTEST_SKIP() << "built without the platform fault switch";
  }
  using platform::faults::Operation;
  SetDictionary({{"Hold on", "等一下"}});
  MovieBuilder movie;
  movie.AddHeader().AddMediaFrames(3, 4).AddSubtitle(0, 0, "Hold on").AddMediaFrames(3, 5);
  const Bytes original = movie.Build();
  struct Case {
    const char* name;
    Operation op;
    bool shortTransfer;
  } cases[] = {
      {"size unknown", platform::faults::kSize, false},
      {"mapping refused", platform::faults::kMap, false},
      {"rebuilt file cannot be created", platform::faults::kCreate, false},
      {"write fails", platform::faults::kWrite, false},
      {"disk full during the write", platform::faults::kWrite, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(fixtures::WriteFileBytes(shipped(), ToBytes("stale")));
    platform::faults::Clear();
    platform::faults::FailCall(c.op, 1, c.shortTransfer);
    EXPECT_EQ(Patch(original), original);
  }
}

TEST_F(MoviePatcherTest, ABackupThatCannotBeCopiedIsMovedBackWhole) {
  if (!platform::faults::Available()) {
    GTEST_SKIP() << "built without the platform fault switch";
  }
  SetDictionary({{"Hold on", "等一下"}});
  MovieBuilder movie;
  movie.AddHeader().AddSubtitle(0, 0, "Hold on").AddMediaFrames(3, 5);
  ASSERT_TRUE(fixtures::WriteFileBytes(backup(), movie.Build()));
  platform::faults::FailCall(platform::faults::kWrite, 1, true);
  platform::faults::FailCall(platform::faults::kCopy, 1);
  Run(backup());
  // No partial movie: the backup itself is the movie again.
  EXPECT_EQ(fixtures::ReadFileBytes(shipped()), movie.Build());
  EXPECT_FALSE(fixtures::FileExists(backup()));
}

TEST_F(MoviePatcherTest, AnUnreadableBackupDeletesNothing) {
  if (!platform::faults::Available()) {
    GTEST_SKIP() << "built without the platform fault switch";
  }
  MovieBuilder movie;
  movie.AddHeader();
  ASSERT_TRUE(fixtures::WriteFileBytes(backup(), movie.Build()));
  ASSERT_TRUE(fixtures::WriteFileText(shipped(), "earlier output"));
  platform::faults::FailCall(platform::faults::kOpenRead, 1);
  Run(backup());
  EXPECT_EQ(fixtures::ReadFileBytes(shipped()), ToBytes("earlier output"));
}

}  // namespace
}  // namespace movie
