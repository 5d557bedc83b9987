// po and xliff, export and import: dictionaries to and from the files that
// translation tools exchange.
#include <ctime>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tools/dict/commands.h"
#include "tools/dict/dict_build.h"
#include "tools/dict/dict_check.h"
#include "tools/dict/dict_file.h"
#include "tools/dict/entry_state.h"
#include "tools/dict/po.h"
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
  DictFile file;
  if (!LoadDictFileOrReport(path, &file)) return kExitProblems;
  const std::vector<Entry> entries = EntriesOf(file);
  const std::vector<ExportProblem> problems = FindUnexportable(entries, format == Interchange::kXliff);
  for (const ExportProblem& p : problems) {
    platform::ConsolePrintf("%s:%u: error: entry %u: %s\n", path.c_str(), p.line, p.entry, p.message.c_str());
  }
  if (!problems.empty()) {
    platform::ConsolePrintf("%s: not written: %zu entries hold texts a UTF-8 %s file cannot carry\n",
                            output.c_str(), problems.size(), format == Interchange::kPo ? "PO" : "XLIFF");
    return kExitProblems;
  }
  const std::string text = format == Interchange::kPo ? PoText(entries, RevisionDate()) : XliffText(entries, BaseName(path));
  if (!WriteWholeFile(output, text)) {
    platform::ConsolePrintf("%s: error: cannot be written\n", output.c_str());
    return kExitProblems;
  }
  platform::ConsolePrintf("%s: %zu messages: %s\n", output.c_str(), entries.size(), StateCounts(entries).c_str());
  return kExitOk;
}

int Import(const std::string& path, const std::string& output, Interchange format) {
  std::string text;
  if (!ReadWholeFile(path, &text)) {
    platform::ConsolePrintf("%s: error: cannot be read\n", path.c_str());
    return kExitProblems;
  }
  std::vector<Entry> entries;
  ReadError error;
  const bool read = format == Interchange::kPo ? ReadPo(text, &entries, &error) : ReadXliff(text, &entries, &error);
  if (!read) {
    platform::ConsolePrintf("%s:%u: error: ", path.c_str(), error.line);
    PrintLine(error.message);
    return kExitProblems;
  }
  if (entries.empty()) {
    platform::ConsolePrintf("%s: error: no message: a dictionary without entries does not load\n", path.c_str());
    return kExitProblems;
  }
  if (ReportUnwritable(entries, path)) return kExitProblems;
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
    platform::ConsolePrintf("%s:%u: error: source %s is also the msgid of the message at line %u\n", path.c_str(),
                            d.entry.line, Quoted(d.entry.source).c_str(), d.keptLine);
  }
  if (errors > 0) {
    platform::ConsolePrintf("%s: not written: %d errors, %d warnings\n", output.c_str(), errors, warnings);
    return kExitProblems;
  }
  if (!WriteDictionary(entries, output, Form::kText)) return kExitProblems;
  platform::ConsolePrintf("%s: %zu entries in lookup order: %s; %d warnings\n", output.c_str(), entries.size(),
                          StateCounts(entries).c_str(), warnings);
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
