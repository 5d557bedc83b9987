// po and xliff, export and import: dictionaries to and from the files that
// translation tools exchange.
#include <ctime>
#include <string>
#include <vector>

#include "tools/dict/commands.h"
#include "tools/dict/dict_build.h"
#include "tools/dict/dict_check.h"
#include "tools/dict/dict_file.h"
#include "tools/dict/entry_state.h"
#include "tools/dict/po.h"
#include "tools/dict/text_input.h"
#include "tools/dict/tool_io.h"
#include "tools/dict/xliff.h"

namespace dict_tool {

namespace {

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Now, as PO headers give dates.
std::string RevisionDate() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &now);
#else
  gmtime_r(&now, &utc);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M+0000", &utc);
  return text;
}

std::string StateCounts(const std::vector<Entry>& entries) {
  size_t counts[4] = {0, 0, 0, 0};
  for (const Entry& e : entries) ++counts[static_cast<int>(StateOf(e.source, e.target, e.remark))];
  return std::to_string(counts[0]) + " translated, " + std::to_string(counts[1]) + " identical, " +
         std::to_string(counts[2]) + " fuzzy, " + std::to_string(counts[3]) + " untranslated";
}

int Export(const std::string& path, const std::string& output, Interchange format) {
  const bool po = format == Interchange::kPo;
  Diagnostics diagnostics;
  if (RefuseOutputOverInput(path, output, po ? "PO" : "XLIFF", &diagnostics)) return diagnostics.ExitStatus();
  DictFile file;
  if (!LoadDictFileOrReport(path, &file, &diagnostics)) return diagnostics.ExitStatus();
  const std::vector<Entry> entries = EntriesOf(file);
  const std::vector<ExportProblem> problems = FindUnexportable(entries, !po);
  for (const ExportProblem& p : problems)
    diagnostics.Report({Severity::kError, path, p.line, int64_t(p.entry), po ? "po" : "xliff", p.message, false});
  if (!problems.empty()) {
    diagnostics.Note(output, kNoLine, "output",
                     Format("not written: %zu entries hold texts a UTF-8 %s file cannot carry", problems.size(),
                            po ? "PO" : "XLIFF"));
    return diagnostics.ExitStatus();
  }
  const std::string text = po ? PoText(entries, RevisionDate()) : XliffText(entries, BaseName(path));
  if (!WriteOutputOrReport(output, text, &diagnostics)) return diagnostics.ExitStatus();
  PrintResult(Format("%s: %zu messages: %s", output.c_str(), entries.size(), StateCounts(entries).c_str()));
  return kExitOk;
}

int Import(const std::string& path, const std::string& output, Interchange format) {
  const bool po = format == Interchange::kPo;
  const char* check = po ? "po" : "xliff";
  Diagnostics diagnostics;
  std::string text;
  // XLIFF names its own encoding, which the XML reader follows; PO files
  // are UTF-8, and one in GBK or UTF-16 is named as such.
  if (po ? !ReadTextFile(path, Encoding::kUtf8, &text, &diagnostics) : !ReadWholeFile(path, &text)) {
    if (!po) diagnostics.IoError(path, "cannot be read");
    return diagnostics.ExitStatus();
  }
  std::vector<Entry> entries;
  ReadError error;
  if (!(po ? ReadPo(text, &entries, &error) : ReadXliff(text, &entries, &error))) {
    diagnostics.Error(path, error.line, check, error.message);
    return diagnostics.ExitStatus();
  }
  if (entries.empty()) {
    diagnostics.Error(path, kNoLine, check, "no message: a dictionary without entries does not load");
    return diagnostics.ExitStatus();
  }
  if (!WriteImportedEntries(&entries, path, output, "message", false, &diagnostics)) return diagnostics.ExitStatus();
  PrintResult(Format("%s: %zu entries in lookup order: %s; %d warnings", output.c_str(), entries.size(),
                     StateCounts(entries).c_str(), diagnostics.warnings()));
  return kExitOk;
}

}  // namespace

int RunInterchangeExport(const std::string& path, const std::string& output, Interchange format) {
  return Export(path, output, format);
}

int RunInterchangeImport(const std::string& path, const std::string& output, Interchange format) {
  return Import(path, output, format);
}

}  // namespace dict_tool
