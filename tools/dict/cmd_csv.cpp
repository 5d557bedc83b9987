// csv export and csv import: dictionaries to and from spreadsheets.
#include <string>
#include <vector>

#include "tools/dict/commands.h"
#include "tools/dict/csv.h"
#include "tools/dict/dict_build.h"
#include "tools/dict/dict_check.h"
#include "tools/dict/dict_file.h"
#include "tools/dict/text_input.h"
#include "tools/dict/tool_io.h"

namespace dict_tool {

int RunCsvExport(const std::string& path, const std::string& output) {
  Diagnostics diagnostics;
  if (RefuseOutputOverInput(path, output, "CSV", &diagnostics)) return diagnostics.ExitStatus();
  DictFile file;
  if (!LoadDictFileOrReport(path, &file, &diagnostics)) return diagnostics.ExitStatus();
  const std::vector<Entry> entries = EntriesOf(file);
  if (!WriteOutputOrReport(output, CsvText(entries), &diagnostics)) return diagnostics.ExitStatus();
  PrintResult(Format("%s: %zu entries", output.c_str(), entries.size()));
  return kExitOk;
}

int RunCsvImport(const std::string& path, const std::string& output, Encoding encoding) {
  Diagnostics diagnostics;
  std::string text;
  if (!ReadTextFile(path, encoding, &text, &diagnostics)) return diagnostics.ExitStatus();
  std::vector<Entry> entries;
  std::vector<std::string> ignored;
  CsvError error;
  if (!ReadCsv(text, &entries, &error, &ignored)) {
    diagnostics.Error(path, error.line, "csv", error.message);
    return diagnostics.ExitStatus();
  }
  if (!ignored.empty()) {
    std::string names;
    for (const std::string& name : ignored) names += (names.empty() ? "" : ", ") + Quoted(name, 30);
    diagnostics.Note(path, 1, "csv", "columns not read: " + names);
  }
  if (entries.empty()) {
    diagnostics.Error(path, kNoLine, "csv", "no entry: a dictionary without entries does not load");
    return diagnostics.ExitStatus();
  }
  // Findings are reported at the lines of the CSV file (a record's line,
  // since a spreadsheet shows no lines inside a cell).
  if (!WriteImportedEntries(&entries, path, output, "record", true, &diagnostics)) return diagnostics.ExitStatus();
  PrintResult(Format("%s: %zu entries in lookup order; %d warnings", output.c_str(), entries.size(),
                     diagnostics.warnings()));
  return kExitOk;
}

}  // namespace dict_tool
