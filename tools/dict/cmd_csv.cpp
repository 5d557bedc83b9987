// csv export and csv import: dictionaries to and from spreadsheets.
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tools/dict/commands.h"
#include "tools/dict/csv.h"
#include "tools/dict/dict_build.h"
#include "tools/dict/dict_check.h"
#include "tools/dict/dict_file.h"
#include "tools/dict/tool_io.h"

namespace dict_tool {

int RunCsvExport(const std::string& path, const std::string& output) {
  DictFile file;
  if (!LoadDictFileOrReport(path, &file)) return kExitProblems;
  const std::vector<Entry> entries = EntriesOf(file);
  if (!WriteWholeFile(output, CsvText(entries))) {
    platform::ConsolePrintf("%s: error: cannot be written\n", output.c_str());
    return kExitProblems;
  }
  platform::ConsolePrintf("%s: %zu entries\n", output.c_str(), entries.size());
  return kExitOk;
}

int RunCsvImport(const std::string& path, const std::string& output) {
  std::string text;
  if (!ReadWholeFile(path, &text)) {
    platform::ConsolePrintf("%s: error: cannot be read\n", path.c_str());
    return kExitProblems;
  }
  std::vector<Entry> entries;
  CsvError error;
  if (!ReadCsv(text, &entries, &error)) {
    platform::ConsolePrintf("%s:%u: error: ", path.c_str(), error.line);
    PrintLine(error.message);
    return kExitProblems;
  }
  if (entries.empty()) {
    platform::ConsolePrintf("%s: error: no entry: a dictionary without entries does not load\n", path.c_str());
    return kExitProblems;
  }
  if (ReportUnwritable(entries, path)) return kExitProblems;

  // The checks of each entry's texts, reported at the lines of the CSV file
  // (a record's line, since a spreadsheet shows no lines inside a cell).
  int errors = 0, warnings = 0;
  for (const Entry& e : entries) {
    for (const TextFinding& t : CheckEntryTexts(e.source, e.target, e.remark)) {
      (IsError(t.defect) ? errors : warnings)++;
      platform::ConsolePrintf("%s:%u: %s: ", path.c_str(), e.line, IsError(t.defect) ? "error" : "warning");
      PrintLine(t.message);
    }
  }
  SortForLookup(&entries);
  std::vector<Dropped> dropped;
  KeepFirstOfEqualSources(&entries, &dropped);
  for (const Dropped& d : dropped) {
    ++errors;
    platform::ConsolePrintf("%s:%u: error: left out: source %s is also the source of the record at line %u%s\n",
                            path.c_str(), d.entry.line, Quoted(d.entry.source).c_str(), d.keptLine,
                            d.sameTarget ? "" : ", whose translation is kept");
  }
  if (!WriteDictionary(entries, output, Form::kText)) return kExitProblems;
  platform::ConsolePrintf("%s: %zu entries in lookup order; %d errors, %d warnings\n", output.c_str(),
                          entries.size(), errors, warnings);
  return errors > 0 ? kExitProblems : kExitOk;
}

}  // namespace dict_tool
