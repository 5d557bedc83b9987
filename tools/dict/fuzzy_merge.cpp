#include "tools/dict/fuzzy_merge.h"

#include <string>

#include "tools/dict/entry_state.h"
#include "tools/dict/fuzzy_match.h"

namespace dict_tool {

std::vector<Suggestion> SuggestTranslations(const std::vector<Entry>& old, const std::vector<bool>& matched,
                                            std::vector<Entry>* entries) {
  std::vector<std::string> sources;
  std::vector<size_t> origin;  // old entry of each indexed source
  for (size_t i = 0; i < old.size(); ++i) {
    if (old[i].target == old[i].source) continue;
    sources.push_back(old[i].source);
    origin.push_back(i);
  }
  std::vector<Suggestion> made;
  if (sources.empty()) return made;
  const FuzzyIndex index(sources);
  for (size_t e = 0; e < entries->size(); ++e) {
    if (matched[e]) continue;
    Entry& entry = (*entries)[e];
    const FuzzyIndex::Match match = index.Best(entry.source);
    if (match.index < 0) continue;
    const Entry& from = old[origin[size_t(match.index)]];
    RemarkParts parts = SplitRemark(entry.remark);
    parts.fuzzy = true;
    parts.similarity = match.similarity;
    parts.suggestion = from.target;
    parts.suggestionSource = from.source;
    entry.remark = JoinRemark(parts);
    entry.target = entry.source;
    made.push_back({e, origin[size_t(match.index)], match.similarity});
  }
  return made;
}

void CarryState(const Entry& old, Entry* to) {
  const EntryState state = StateOf(old.source, old.target, old.remark);
  if (state != EntryState::kIdentical && state != EntryState::kFuzzy) return;
  const RemarkParts from = SplitRemark(old.remark);
  RemarkParts parts = SplitRemark(to->remark);
  parts.identical = from.identical;
  parts.fuzzy = from.fuzzy;
  parts.similarity = from.similarity;
  parts.suggestion = from.suggestion;
  parts.suggestionSource = from.suggestionSource;
  to->remark = JoinRemark(parts);
}

}  // namespace dict_tool
