// merge: carries the translations of a dictionary over to a new extraction.
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tools/dict/commands.h"
#include "tools/dict/dict_build.h"
#include "tools/dict/dict_file.h"
#include "tools/dict/dict_text.h"
#include "tools/dict/fuzzy_merge.h"
#include "tools/dict/tool_io.h"

namespace dict_tool {

int RunMerge(const std::string& old, const std::string& templ, const std::string& output,
             const std::string& obsoleteOutput, bool keepRemarks) {
  DictFile oldFile, templateFile;
  if (!LoadDictFileOrReport(old, &oldFile) || !LoadDictFileOrReport(templ, &templateFile)) return kExitProblems;

  // The old entries by source as a lookup sees it (trimmed, up to a zero
  // byte): an old source with spaces at its ends was never found, but its
  // translation is still meant for the trimmed text. The first of equal
  // sources counts, as in sort.
  std::vector<Entry> oldEntries = EntriesOf(oldFile);
  std::map<std::string, size_t> oldBySource;
  for (size_t i = 0; i < oldEntries.size(); ++i)
    oldBySource.emplace(std::string(TrimSpaces(UpToZero(oldEntries[i].source))), i);

  std::vector<Entry> entries = EntriesOf(templateFile);
  SortForLookup(&entries);
  KeepFirstOfEqualSources(&entries, nullptr);
  std::vector<bool> used(oldEntries.size(), false), matched(entries.size(), false);
  size_t carried = 0;
  for (size_t k = 0; k < entries.size(); ++k) {
    Entry& e = entries[k];
    auto found = oldBySource.find(std::string(TrimSpaces(UpToZero(e.source))));
    if (found == oldBySource.end()) continue;
    const Entry& from = oldEntries[found->second];
    used[found->second] = true;
    matched[k] = true;
    e.target = from.target;
    if (keepRemarks) {
      e.remark = from.remark;
    } else {
      CarryState(from, &e);
    }
    if (from.target != from.source) ++carried;
  }

  // Texts without an exact match get the translation of a similar old
  // source as a suggestion to review.
  const std::vector<Suggestion> suggestions = SuggestTranslations(oldEntries, matched, &entries);

  // Old translations whose source the game no longer has. Entries whose
  // target is their source translate nothing and are only counted.
  std::vector<Entry> obsolete;
  size_t untranslatedGone = 0;
  for (size_t i = 0; i < oldEntries.size(); ++i) {
    if (used[i]) continue;
    const Entry& e = oldEntries[i];
    auto first = oldBySource.find(std::string(TrimSpaces(UpToZero(e.source))));
    if (first != oldBySource.end() && used[first->second]) continue;  // a duplicate of a carried one
    if (e.target == e.source) {
      ++untranslatedGone;
      continue;
    }
    platform::ConsolePrintf("%s:%u: obsolete: %s -> %s: the game no longer has this text\n", old.c_str(),
                            e.line, Quoted(e.source).c_str(), Quoted(e.target, 40).c_str());
    obsolete.push_back(e);
  }

  if (ReportUnwritable(entries, templ)) return kExitProblems;
  if (!WriteDictionary(entries, output, Form::kText)) return kExitProblems;
  if (!obsoleteOutput.empty() && !obsolete.empty()) {
    SortForLookup(&obsolete);
    KeepFirstOfEqualSources(&obsolete, nullptr);
    if (!WriteDictionary(obsolete, obsoleteOutput, Form::kText)) return kExitProblems;
    platform::ConsolePrintf("%s: the %zu obsolete translations\n", obsoleteOutput.c_str(), obsolete.size());
  }
  platform::ConsolePrintf("%s: %zu entries, %zu translations carried over (exact), %zu suggested (fuzzy, to "
                          "review), %zu texts to translate; %zu obsolete translations, %zu untranslated entries gone\n",
                          output.c_str(), entries.size(), carried, suggestions.size(), entries.size() - carried,
                          obsolete.size(), untranslatedGone);
  return kExitOk;
}

}  // namespace dict_tool
