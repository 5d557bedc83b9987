// merge: carries the translations of a dictionary over to a new extraction.
#include <map>
#include <string>
#include <vector>

#include "tools/dict/commands.h"
#include "tools/dict/dict_build.h"
#include "tools/dict/dict_file.h"
#include "tools/dict/dict_text.h"
#include "tools/dict/json_report.h"
#include "tools/dict/tool_io.h"

namespace dict_tool {

namespace {

struct MergeCounts {
  size_t entries = 0;
  size_t carried = 0;
  size_t obsolete = 0;
  size_t untranslatedGone = 0;
};

int Finish(const Diagnostics& diagnostics, const MergeCounts& counts, const std::string& output, bool written,
           bool json) {
  const int status = diagnostics.ExitStatus();
  if (json) {
    Json document = JsonDocument("merge", diagnostics, status);
    document["output"] = output;
    document["written"] = written;
    document["entries"] = counts.entries;
    document["carried"] = counts.carried;
    document["to_translate"] = counts.entries - counts.carried;
    document["obsolete"] = counts.obsolete;
    document["untranslated_gone"] = counts.untranslatedGone;
    PrintJson(document);
  } else if (written) {
    PrintResult(Format("%s: %zu entries, %zu translations carried over, %zu texts to translate; "
                       "%zu obsolete translations, %zu untranslated entries gone",
                       output.c_str(), counts.entries, counts.carried, counts.entries - counts.carried,
                       counts.obsolete, counts.untranslatedGone));
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
  std::vector<bool> used(oldEntries.size(), false);
  for (Entry& e : entries) {
    auto found = oldBySource.find(std::string(TrimSpaces(UpToZero(e.source))));
    if (found == oldBySource.end()) continue;
    const Entry& from = oldEntries[found->second];
    used[found->second] = true;
    e.target = from.target;
    if (keepRemarks) e.remark = from.remark;
    if (from.target != from.source) ++counts.carried;
  }
  counts.entries = entries.size();

  // Old translations whose source the game no longer has. Entries whose
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
