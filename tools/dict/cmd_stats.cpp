// stats: how much of the game a dictionary translates.
#include <string>
#include <vector>

#include "tools/dict/commands.h"
#include "tools/dict/dict_file.h"
#include "tools/dict/dict_text.h"
#include "tools/dict/game_texts.h"
#include "tools/dict/json_report.h"
#include "tools/dict/state_counts.h"
#include "tools/dict/tool_io.h"

namespace dict_tool {

namespace {

struct Coverage {
  uint64_t texts = 0;       // non-empty texts of the game
  uint64_t inDictionary = 0;  // of those, texts the dictionary has an entry for
  uint64_t translated = 0;    // of those, entries whose target differs from the source

  void Add(const Coverage& other) {
    texts += other.texts;
    inDictionary += other.inDictionary;
    translated += other.translated;
  }
};

Coverage Measure(const FileTexts& file, const BRXStringDict& dict) {
  Coverage c;
  for (const GameText& t : file.texts) {
    // Empty texts have nothing to translate and are not counted.
    if (TrimSpaces(UpToZero(t.text)).empty()) continue;
    ++c.texts;
    // The lookup the patcher makes.
    const BRXStringEntry* entry = dict.FindEntry(t.text.c_str());
    if (entry == nullptr) continue;
    ++c.inDictionary;
    if (std::string_view(entry->target, entry->targetLength) != std::string_view(entry->source, entry->sourceLength))
      ++c.translated;
  }
  return c;
}

// The texts of a file a lookup is made for: all but the empty ones.
std::vector<std::string_view> NonEmptyTexts(const FileTexts& file) {
  std::vector<std::string_view> texts;
  for (const GameText& t : file.texts)
    if (!TrimSpaces(UpToZero(t.text)).empty()) texts.push_back(t.text);
  return texts;
}

void PrintRow(const std::string& name, const Coverage& c) {
  PrintResult(Format("%-40s %9llu %9llu %10llu %7s %%", name.c_str(), static_cast<unsigned long long>(c.texts),
                     static_cast<unsigned long long>(c.inDictionary), static_cast<unsigned long long>(c.translated),
                     Percent(c.translated, c.texts).c_str()));
}

Json CoverageJson(const Coverage& c) {
  return Json{{"texts", c.texts}, {"in_dictionary", c.inDictionary}, {"translated", c.translated}};
}

}  // namespace

int RunStats(const std::string& path, const GameDirs& game, bool quiet, bool allFiles, bool json) {
  Diagnostics diagnostics(json ? Diagnostics::Mode::kCollect : Diagnostics::Mode::kPrint);
  DictFile file;
  if (!LoadDictFileOrReport(path, &file, &diagnostics)) {
    if (json) PrintJson(JsonDocument("stats", diagnostics, diagnostics.ExitStatus()));
    return diagnostics.ExitStatus();
  }
  if (game.packageDir.empty()) {
    // The dictionary alone: its entries by the file their remark names.
    StateCounts total;
    const std::vector<FileCounts> rows = CountByRemark(file, &total);
    if (json) {
      Json document = JsonDocument("stats", diagnostics, kExitOk);
      document["dictionary"] = path;
      document["entries_by_state"] = StateCountsJson(rows, total);
      PrintJson(document);
      return kExitOk;
    }
    PrintResult(StateTable(rows, total, "entries of the file"));
    PrintResult(Format("%s: %s %% of the words of its entries translated or identical", path.c_str(),
                       Percent(total.DoneWords(), total.Words()).c_str()));
    return kExitOk;
  }

  struct Row {
    std::string name;
    bool movie;
    Coverage coverage;
  };
  std::vector<Row> rows;
  std::vector<FileCounts> stateRows;
  StateCounts stateTotal;
  Coverage dialogue, subtitles;
  int filesFound = 0;
  ForEachListedFile(game.packageDir, game.movieDir, Copy::kOriginal, "Reading", quiet,
                    [&](const FileTexts& f) {
                      if (f.path.empty()) return;
                      ++filesFound;
                      if (!f.readable) {
                        diagnostics.Error(f.path, kNoLine, "read",
                                          "cannot be read (code " + std::to_string(f.code) + "); not counted");
                        return;
                      }
                      const Coverage c = Measure(f, file.dict);
                      (f.movie ? subtitles : dialogue).Add(c);
                      if (c.texts > 0 || allFiles) rows.push_back({f.name, f.movie, c});
                      const StateCounts states = CountTexts(NonEmptyTexts(f), file.dict);
                      stateTotal.Add(states);
                      if (states.Entries() > 0 || allFiles) stateRows.push_back({f.name, states});
                    });
  if (filesFound == 0) {
    diagnostics.Error("", kNoLine, "game",
                      "none of the listed files is in " + game.packageDir + " or " + game.movieDir);
  }
  Coverage total = dialogue;
  total.Add(subtitles);
  const int status = diagnostics.ExitStatus();
  if (json) {
    Json document = JsonDocument("stats", diagnostics, status);
    document["dictionary"] = path;
    Json files = Json::array();
    for (const Row& row : rows) {
      Json figures = CoverageJson(row.coverage);
      figures["file"] = row.name;
      figures["kind"] = row.movie ? "movie" : "package";
      files.push_back(std::move(figures));
    }
    document["files"] = std::move(files);
    document["dialogue_strings"] = CoverageJson(dialogue);
    document["subtitles"] = CoverageJson(subtitles);
    document["total"] = CoverageJson(total);
    document["texts_by_state"] = StateCountsJson(stateRows, stateTotal);
    PrintJson(document);
    return status;
  }
  if (filesFound == 0) return status;
  PrintResult(Format("%-40s %9s %9s %10s %9s", "file", "texts", "in dict", "translated", "covered"));
  for (const Row& row : rows) PrintRow(row.name, row.coverage);
  PrintRow("dialogue strings", dialogue);
  PrintRow("subtitles", subtitles);
  PrintRow("total", total);
  PrintResult("");
  PrintResult(StateTable(stateRows, stateTotal, "texts of the file"));
  PrintResult(Format("%s covers %s %% of the game's texts: %llu of %llu translated", path.c_str(),
                     Percent(total.translated, total.texts).c_str(), static_cast<unsigned long long>(total.translated),
                     static_cast<unsigned long long>(total.texts)));
  return status;
}

}  // namespace dict_tool
