// The commands that work on a dictionary alone: check, sort, bin.
#include <string>
#include <vector>

#include "tools/dict/cmd_content.h"
#include "tools/dict/commands.h"
#include "tools/dict/dict_build.h"
#include "tools/dict/dict_check.h"
#include "tools/dict/dict_file.h"
#include "tools/dict/json_report.h"
#include "tools/dict/tool_io.h"

namespace dict_tool {

namespace {

constexpr int kShownPerKind = 20;

}  // namespace

int RunCheck(const std::string& path, bool strict, bool all, bool json, const ContentRequest& content) {
  Diagnostics diagnostics(json ? Diagnostics::Mode::kCollect : Diagnostics::Mode::kPrint);
  ContentOptions options;
  GameTextSets game;
  if (!PrepareContentChecks(content, &options, &game, &diagnostics)) {
    if (json) PrintJson(JsonDocument("check", diagnostics, diagnostics.ExitStatus()));
    return diagnostics.ExitStatus();
  }
  DictFile file;
  const bool loaded = LoadDictFileOrReport(path, &file, &diagnostics);
  if (loaded) {
    ReportFindings(path, CheckDictFile(file), all ? 0 : kShownPerKind, &diagnostics);
    ReportContentFindings(path, CheckFileContent(file, options, content.game.packageDir.empty() ? nullptr : &game),
                          all ? 0 : kShownPerKind, &diagnostics);
  }
  const int status = diagnostics.ExitStatus(strict);
  if (json) {
    Json document = JsonDocument("check", diagnostics, status);
    document["file"] = path;
    document["loads"] = loaded;
    document["entries"] = loaded ? file.count() : 0;
    PrintJson(document);
  } else if (!loaded) {
    PrintResult(path + ": the patcher would translate nothing with this file");
  } else {
    PrintResult(Format("%s: %u entries, %d errors, %d warnings", path.c_str(), file.count(),
                       diagnostics.errors(), diagnostics.warnings()));
  }
  return status;
}

int RunSort(const std::string& input, const std::string& output) {
  Diagnostics diagnostics;
  DictFile file;
  if (!LoadDictFileOrReport(input, &file, &diagnostics)) return diagnostics.ExitStatus();
  std::vector<Entry> entries = EntriesOf(file);
  if (ReportUnwritable(entries, input, &diagnostics)) return diagnostics.ExitStatus();
  SortForLookup(&entries);
  std::vector<Dropped> dropped;
  KeepFirstOfEqualSources(&entries, &dropped);
  for (const Dropped& d : dropped) {
    diagnostics.Report({Severity::kNote, input, d.entry.line, d.entry.entry, "duplicate",
                        "left out: source " + Quoted(d.entry.source) + " is also the source of the entry at line " +
                            std::to_string(d.keptLine) + ", which is kept" +
                            (d.sameTarget ? "" : " (with another target)"),
                        false});
  }
  if (!WriteDictionary(entries, output, Form::kText, &diagnostics)) return diagnostics.ExitStatus();
  PrintResult(Format("%s: %zu entries in lookup order, %zu duplicates left out", output.c_str(), entries.size(),
                     dropped.size()));
  return kExitOk;
}

int RunBin(const std::string& path, const std::string& output, bool force) {
  Diagnostics diagnostics;
  if (RefuseOutputOverInput(path, output, "binary dictionary", &diagnostics)) return diagnostics.ExitStatus();
  DictFile file;
  if (!LoadDictFileOrReport(path, &file, &diagnostics)) return diagnostics.ExitStatus();
  std::vector<Finding> errors;
  for (Finding& f : CheckDictFile(file))
    if (IsError(f.defect)) errors.push_back(std::move(f));
  if (!errors.empty()) {
    ReportFindings(path, errors, kShownPerKind, &diagnostics);
    if (!force) {
      diagnostics.Note(output, kNoLine, "output",
                       "not written: mend the errors first (\"hanhua-dict sort\" puts the entries in lookup "
                       "order), or write it as it is with --force");
      return diagnostics.ExitStatus();
    }
  }
  if (!WriteDictionary(EntriesOf(file), output, Form::kBinary, &diagnostics)) return diagnostics.ExitStatus();
  PrintResult(Format("%s: %u entries in binary form", output.c_str(), file.count()));
  return diagnostics.ExitStatus();
}

}  // namespace dict_tool
