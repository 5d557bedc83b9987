// The fuzzy part of merge: translations carried to new texts that have no
// exact match, as suggestions that wait for a translator's review.
#pragma once

#include <cstddef>
#include <vector>

#include "tools/dict/dict_build.h"

namespace dict_tool {

struct Suggestion {
  size_t entry = 0;  // in the new entries
  size_t old = 0;    // in the old entries
  int similarity = 0;
};

// For each new entry not yet matched, the old translation (an old entry
// whose target differs from its source) with the most similar source, when
// at least kFuzzyThreshold percent similar; ties go to the first old entry.
// The suggestion goes into the entry's remark ([fuzzy N%] lines); the
// target stays the source, so the patcher installs nothing unreviewed.
std::vector<Suggestion> SuggestTranslations(const std::vector<Entry>& old, const std::vector<bool>& matched,
                                            std::vector<Entry>* entries);

// An exact match: the states that live in old's remark ([identical], a
// suggestion still to review) carried to the remark of to, whose target
// has just been taken from old.
void CarryState(const Entry& old, Entry* to);

}  // namespace dict_tool
