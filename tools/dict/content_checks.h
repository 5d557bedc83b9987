// The checks of what a translation says, beside the structure of the
// dictionary: each has a name (for --skip and for its findings), each
// looks at one entry at a time.
//
//   endpunc       the end punctuation differs (. ! ? … : , ; and their
//                 Chinese forms 。！？……：，； count as the same)
//   placeholders  printf conversions (%s, %d, %1$s, ...) and {0}/{name}
//                 fields of the source missing from the translation, or added
//   tags          <…> markup of the source missing or added
//   whitespace    the spaces, tabs and line breaks at the ends differ
//   newlines      a different number of line breaks
//   unchanged     the target is still the source (not for entries marked
//                 [identical], sources listed with --allow, or sources
//                 without a letter)
//   length        a translation far wider than its source
//   width         a subtitle line wider than the limit
//   glossary      a glossary term translated otherwise, or a forbidden one
//   notingame     the source matches no text of the game (--game only)
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "tools/dict/dict_build.h"
#include "tools/dict/dict_file.h"

namespace dict_tool {

enum class ContentCheck {
  kEndPunctuation,
  kPlaceholders,
  kTags,
  kWhitespace,
  kNewlines,
  kUnchanged,
  kLength,
  kWidth,
  kGlossary,
  kNotInGame,
};
inline constexpr int kContentChecks = 10;

const char* ContentCheckName(ContentCheck check);
// False when name names no check.
bool ContentCheckNamed(std::string_view name, ContentCheck* check);
// Every name, comma-separated, for help and messages.
std::string ContentCheckNames();

// A source term and how it must (or must not) be translated.
struct GlossaryTerm {
  std::string source;
  std::vector<std::string> required;   // the translation holds one of these
  std::vector<std::string> forbidden;  // and none of these
};
// A glossary from the records of a CSV file (source, target, remark): each
// record pairs a source term with a target term, which is required unless
// the remark says "forbidden".
std::vector<GlossaryTerm> GlossaryOf(const std::vector<Entry>& records);

struct ContentOptions {
  std::array<bool, kContentChecks> enabled;
  std::unordered_set<std::string> allowed;  // sources that may stay unchanged
  std::vector<GlossaryTerm> glossary;
  uint32_t widthLimit = 0;  // columns per subtitle line; 0: no limit
  ContentOptions() { enabled.fill(true); }
  bool on(ContentCheck check) const { return enabled[static_cast<int>(check)]; }
};

struct ContentFinding {
  ContentCheck check;
  std::string message;
};

// The findings of one entry (every check but notingame, which needs the
// game). subtitle: the entry translates a subtitle line.
void CheckContent(std::string_view source, std::string_view target, std::string_view remark, bool subtitle,
                  const ContentOptions& options, std::vector<ContentFinding>* findings);

// Columns a line takes on screen: 2 for East Asian wide characters, 1 for
// the others.
uint32_t DisplayWidth(std::string_view line);
// The width of the widest line of a text.
uint32_t WidestLine(std::string_view text);
// A remark that extract wrote for a subtitle ("NAME.usm H:MM:SS.mmm").
bool IsSubtitleRemark(std::string_view remark);

}  // namespace dict_tool

namespace dict_tool {

// A finding of the content checks in a dictionary file.
struct EntryFinding {
  uint32_t entry = 0;  // from 0
  uint32_t line = 0;   // of the entry's target
  ContentCheck check;
  std::string message;
};

// What the game holds, for notingame and to tell subtitles from dialogue.
struct GameTextSets {
  std::unordered_set<std::string> all;        // every text, as a lookup sees it
  std::unordered_set<std::string> subtitles;  // the movies' texts
};

// Every content finding of a dictionary file, by entry. game, when given,
// adds notingame and tells which entries translate subtitles; without it,
// subtitles are the entries whose remark extract wrote for a movie. A width
// limit of 0 in options is taken from the widest subtitle source line.
std::vector<EntryFinding> CheckFileContent(const DictFile& file, ContentOptions options, const GameTextSets* game);

}  // namespace dict_tool
