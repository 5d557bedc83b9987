// Entries and words by state (translated, identical, fuzzy, untranslated),
// as stats reports them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/dict/dict_file.h"
#include "tools/dict/entry_state.h"
#include "tools/dict/json_report.h"

namespace dict_tool {

struct StateCounts {
  uint64_t entries[4] = {0, 0, 0, 0};  // by EntryState
  uint64_t words[4] = {0, 0, 0, 0};    // of the sources

  void Add(EntryState state, uint64_t wordCount) {
    ++entries[static_cast<int>(state)];
    words[static_cast<int>(state)] += wordCount;
  }
  void Add(const StateCounts& other) {
    for (int k = 0; k < 4; ++k) {
      entries[k] += other.entries[k];
      words[k] += other.words[k];
    }
  }
  uint64_t Entries() const { return entries[0] + entries[1] + entries[2] + entries[3]; }
  uint64_t Words() const { return words[0] + words[1] + words[2] + words[3]; }
  // Translated or deliberately identical: nothing left to do.
  uint64_t DoneWords() const {
    return words[static_cast<int>(EntryState::kTranslated)] + words[static_cast<int>(EntryState::kIdentical)];
  }
};

// The package or movie an extract remark names ("NAME.upk ..."), else "".
std::string FileOfRemark(std::string_view remark);

struct FileCounts {
  std::string name;  // "" for entries whose remark names no file
  StateCounts counts;
};
// The entries of a dictionary by the file their remark names, files in
// name order (entries naming none last), and the totals.
std::vector<FileCounts> CountByRemark(const DictFile& file, StateCounts* total);

// The non-empty texts of a game file by the state of the entry a lookup
// finds for each (untranslated when none), with their words.
StateCounts CountTexts(const std::vector<std::string_view>& texts, const BRXStringDict& dict);

// The counts as JSON: {"files": [{"file", "translated", "fuzzy",
// "identical", "untranslated", "words", "done_words"}...], "total": {...}}.
Json StateCountsJson(const std::vector<FileCounts>& rows, const StateCounts& total);

// The table of counts: one row per file, then the total, each with the
// entries of every state and the share of words done.
std::string StateTable(const std::vector<FileCounts>& rows, const StateCounts& total, const char* unit);

}  // namespace dict_tool
