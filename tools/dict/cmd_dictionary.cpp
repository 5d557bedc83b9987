// The commands that work on a dictionary alone: check, sort, bin.
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tools/dict/cmd_content.h"
#include "tools/dict/commands.h"
#include "tools/dict/dict_build.h"
#include "tools/dict/dict_check.h"
#include "tools/dict/dict_file.h"
#include "tools/dict/tool_io.h"

namespace dict_tool {

namespace {

constexpr int kShownPerKind = 20;

}  // namespace

int RunCheck(const std::string& path, bool strict, bool all, const ContentRequest& content) {
  ContentOptions options;
  GameTextSets game;
  if (const int status = PrepareContentChecks(content, &options, &game); status != kExitOk) return status;
  DictFile file;
  if (!LoadDictFileOrReport(path, &file)) {
    platform::ConsolePrintf("%s: the patcher would translate nothing with this file\n", path.c_str());
    return kExitProblems;
  }
  CheckSummary summary = PrintFindings(path, CheckDictFile(file), all ? 0 : kShownPerKind);
  summary.warnings += PrintContentFindings(
      path, CheckFileContent(file, options, content.game.packageDir.empty() ? nullptr : &game),
      all ? 0 : kShownPerKind);
  platform::ConsolePrintf("%s: %u entries, %d errors, %d warnings\n", path.c_str(), file.count(),
                          summary.errors, summary.warnings);
  return summary.errors > 0 || (strict && summary.warnings > 0) ? kExitProblems : kExitOk;
}

int RunSort(const std::string& input, const std::string& output) {
  DictFile file;
  if (!LoadDictFileOrReport(input, &file)) return kExitProblems;
  std::vector<Entry> entries = EntriesOf(file);
  if (ReportUnwritable(entries, input)) return kExitProblems;
  SortForLookup(&entries);
  std::vector<Dropped> dropped;
  KeepFirstOfEqualSources(&entries, &dropped);
  for (const Dropped& d : dropped) {
    platform::ConsolePrintf("%s:%u: note: left out: source %s is also the source of the entry at line %u, "
                            "which is kept%s\n",
                            input.c_str(), d.entry.line, Quoted(d.entry.source).c_str(), d.keptLine,
                            d.sameTarget ? "" : " (with another target)");
  }
  if (!WriteDictionary(entries, output, Form::kText)) return kExitProblems;
  platform::ConsolePrintf("%s: %zu entries in lookup order, %zu duplicates left out\n", output.c_str(),
                          entries.size(), dropped.size());
  return kExitOk;
}

int RunBin(const std::string& path, const std::string& output, bool force) {
  DictFile file;
  if (!LoadDictFileOrReport(path, &file)) return kExitProblems;
  std::vector<Finding> errors;
  for (Finding& f : CheckDictFile(file))
    if (IsError(f.defect)) errors.push_back(std::move(f));
  if (!errors.empty()) {
    PrintFindings(path, errors, kShownPerKind);
    if (!force) {
      platform::ConsolePrintf(
          "%s: not written: mend the errors first (\"hanhua-dict sort\" puts the entries in lookup "
          "order), or write it as it is with --force\n",
          output.c_str());
      return kExitProblems;
    }
  }
  if (!WriteDictionary(EntriesOf(file), output, Form::kBinary)) return kExitProblems;
  platform::ConsolePrintf("%s: %u entries in binary form\n", output.c_str(), file.count());
  return errors.empty() ? kExitOk : kExitProblems;
}

}  // namespace dict_tool
