// merge: carries the translations of a dictionary over to a new extraction.
#include <map>
#include <string>
#include <vector>

#include "tools/dict/commands.h"
#include "tools/dict/dict_build.h"
#include "tools/dict/dict_file.h"
#include "tools/dict/dict_text.h"
#include "tools/dict/entry_state.h"
#include "tools/dict/fuzzy_merge.h"
#include "tools/dict/json_report.h"
#include "tools/dict/tool_io.h"

namespace dict_tool {

namespace {

struct MergeCounts {
  size_t entries = 0;
  size_t carried = 0;    // translations carried by an exact match
  size_t identical = 0;  // entries marked identical carried by an exact match
  size_t obsolete = 0;
  size_t untranslatedGone = 0;
  Json fuzzy = Json::array();          // the suggestions made
  Json obsoleteList = Json::array();  // the obsolete translations
};

int Finish(const Diagnostics& diagnostics, const MergeCounts& counts, const std::string& output, bool written,
           bool json) {
  const int status = diagnostics.ExitStatus();
  const size_t exact = counts.carried + counts.identical;
  if (json) {
    Json document = JsonDocument("merge", diagnostics, status);
    document["output"] = output;
    document["written"] = written;
    document["entries"] = counts.entries;
    document["carried"] = counts.carried;
    document["exact"] = exact;
    document["fuzzy"] = counts.fuzzy.size();
    document["to_translate"] = counts.entries - exact;
    document["obsolete"] = counts.obsolete;
    document["untranslated_gone"] = counts.untranslatedGone;
    document["suggestions"] = counts.fuzzy;
    document["obsolete_translations"] = counts.obsoleteList;
    PrintJson(document);
  } else if (written) {
    PrintResult(Format("%s: %zu entries: %zu exact (%zu translations carried over, %zu identical), %zu fuzzy "
                       "suggestions to review, %zu texts to translate; %zu obsolete translations, %zu "
                       "untranslated entries gone",
                       output.c_str(), counts.entries, exact, counts.carried, counts.identical, counts.fuzzy.size(),
                       counts.entries - exact, counts.obsolete, counts.untranslatedGone));
  }
  return status;
}

}  // namespace

int RunMerge(const std::string& old, const std::string& templ, const std::string& output,
             const std::string& obsoleteOutput, bool keepRemarks, bool json) {
  Diagnostics diagnostics(json ? Diagnostics::Mode::kCollect : Diagnostics::Mode::kPrint);
  MergeCounts counts;
  DictFile oldFile, templateFile;
  if (!LoadDictFileOrReport(old, &oldFile, &diagnostics) || !LoadDictFileOrReport(templ, &templateFile, &diagnostics))
    return Finish(diagnostics, counts, output, false, json);

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
    if (from.target != from.source) {
      ++counts.carried;
    } else if (StateOf(from.source, from.target, from.remark) == EntryState::kIdentical) {
      ++counts.identical;
    }
  }
  counts.entries = entries.size();

  // Texts without an exact match get the translation of a similar old
  // source as a suggestion to review.
  for (const Suggestion& made : SuggestTranslations(oldEntries, matched, &entries)) {
    const Entry& from = oldEntries[made.old];
    counts.fuzzy.push_back({{"source", entries[made.entry].source},
                            {"suggestion", from.target},
                            {"old_source", from.source},
                            {"similarity", made.similarity}});
  }

  // Old translations whose source is not among the template's texts. Entries whose
  // target is their source translate nothing and are only counted.
  std::vector<Entry> obsolete;
  for (size_t i = 0; i < oldEntries.size(); ++i) {
    if (used[i]) continue;
    const Entry& e = oldEntries[i];
    auto first = oldBySource.find(std::string(TrimSpaces(UpToZero(e.source))));
    if (first != oldBySource.end() && used[first->second]) continue;  // a duplicate of a carried one
    if (e.target == e.source) {
      ++counts.untranslatedGone;
      continue;
    }
    diagnostics.Report({Severity::kNote, old, e.line, e.entry, "obsolete",
                        "obsolete: " + Quoted(e.source) + " -> " + Quoted(e.target, 40) +
                            ": the game no longer has this text",
                        false});
    obsolete.push_back(e);
    counts.obsoleteList.push_back({{"source", e.source}, {"target", e.target}, {"line", e.line}});
  }
  counts.obsolete = obsolete.size();

  // Texts that cannot be written stop the merge before anything is written.
  if (ReportUnwritable(entries, templ, &diagnostics) ||
      !WriteDictionary(entries, output, Form::kText, &diagnostics))
    return Finish(diagnostics, counts, output, false, json);
  if (!obsoleteOutput.empty() && !obsolete.empty()) {
    SortForLookup(&obsolete);
    KeepFirstOfEqualSources(&obsolete, nullptr);
    if (!WriteDictionary(obsolete, obsoleteOutput, Form::kText, &diagnostics))
      return Finish(diagnostics, counts, output, true, json);
    if (!json) PrintResult(Format("%s: the %zu obsolete translations", obsoleteOutput.c_str(), obsolete.size()));
  }
  return Finish(diagnostics, counts, output, true, json);
}

}  // namespace dict_tool
