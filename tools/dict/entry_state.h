// What a dictionary entry means to a translator, beyond its three texts.
//
// The dictionary holds only source, target and remark, and an entry whose
// target equals its source translates nothing. Two states live in the last
// lines of the remark, so that they travel with the entry through sort,
// merge, CSV, PO and XLIFF:
//
//   [identical]                  the source is deliberately kept as the
//                                translation ("Hmm.", a name): done, not
//                                untranslated
//   [fuzzy 87%] "suggestion"     a translation carried over from a similar
//   [fuzzy source] "old source"  old source, to be reviewed; the target stays
//                                the source, so the patcher never installs it
//
// The quoted texts are written on one line with \n \r \t \" \\ escapes.
// Only these trailing lines are annotations; the lines before them are the
// translator's own remark.
#pragma once

#include <string>
#include <string_view>

namespace dict_tool {

enum class EntryState {
  kTranslated,    // target differs from source
  kIdentical,     // target = source, marked deliberate
  kFuzzy,         // target = source, with a suggestion to review
  kUntranslated,  // target = source
};
const char* EntryStateName(EntryState state);

struct RemarkParts {
  std::string own;            // the translator's remark, without annotations
  bool identical = false;
  bool fuzzy = false;
  int similarity = -1;        // percent, -1 when not known
  std::string suggestion;     // fuzzy: the suggested translation
  std::string suggestionSource;  // fuzzy: the old source it translated (may be empty)
  std::string lineBreak = "\n";  // the line break before the annotations
};

RemarkParts SplitRemark(std::string_view remark);
std::string JoinRemark(const RemarkParts& parts);

EntryState StateOf(std::string_view source, std::string_view target, std::string_view remark);

// How an interchange file (PO, XLIFF) states one unit's translation.
struct ImportedTranslation {
  std::string text;              // the translation or suggestion; empty: none
  bool fuzzy = false;            // a suggestion awaiting review
  bool reviewed = true;          // false: not translated yet, whatever text holds
  std::string suggestionSource;  // the old source of a suggestion, if known
};
// The target and remark of an imported entry of source, own being the
// unit's comments: a fuzzy text is kept as a suggestion in the remark; a
// reviewed text equal to the source marks the entry deliberately identical;
// any other reviewed text is the target; otherwise it stays untranslated.
void ApplyImportedTranslation(std::string_view source, std::string own, ImportedTranslation translation,
                              std::string* target, std::string* remark);

// One-line form of a text: \n \r \t \" \\ escaped, between double quotes.
std::string EscapeOnLine(std::string_view text);
// The text of a one-line form; false when it is not one.
bool UnescapeLine(std::string_view quoted, std::string* text);

// Words of a text as translators count them: runs of characters between
// spaces and line breaks; each Chinese, Japanese or Korean character counts
// as a word of its own.
uint64_t CountWords(std::string_view text);

}  // namespace dict_tool
