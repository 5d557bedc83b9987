// stats: how much of the game a dictionary translates.
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tools/dict/commands.h"
#include "tools/dict/dict_file.h"
#include "tools/dict/dict_text.h"
#include "tools/dict/game_texts.h"
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
  platform::ConsolePrintf("%-40s %9llu %9llu %10llu %7s %%\n", name.c_str(),
                          static_cast<unsigned long long>(c.texts),
                          static_cast<unsigned long long>(c.inDictionary),
                          static_cast<unsigned long long>(c.translated), Percent(c.translated, c.texts).c_str());
}

}  // namespace

int RunStats(const std::string& path, const GameDirs& game, bool quiet, bool allFiles) {
  DictFile file;
  if (!LoadDictFileOrReport(path, &file)) return kExitProblems;
  if (game.packageDir.empty()) {
    // The dictionary alone: its entries by the file their remark names.
    StateCounts total;
    const std::vector<FileCounts> rows = CountByRemark(file, &total);
    PrintLine(StateTable(rows, total, "entries of the file"));
    platform::ConsolePrintf("%s: %s %% of the words of its entries translated or identical\n", path.c_str(),
                            Percent(total.DoneWords(), total.Words()).c_str());
    return kExitOk;
  }

  struct Row {
    std::string name;
    Coverage coverage;
  };
  std::vector<Row> rows;
  std::vector<FileCounts> stateRows;
  StateCounts stateTotal;
  Coverage dialogue, subtitles;
  std::vector<FileTexts> unreadable;
  int filesFound = 0;
  ForEachListedFile(game.packageDir, game.movieDir, Copy::kOriginal, "Reading", quiet,
                    [&](const FileTexts& f) {
                      if (f.path.empty()) return;
                      ++filesFound;
                      if (!f.readable) {
                        unreadable.push_back(f);
                        return;
                      }
                      const Coverage c = Measure(f, file.dict);
                      (f.movie ? subtitles : dialogue).Add(c);
                      if (c.texts > 0 || allFiles) rows.push_back({f.name, c});
                      const StateCounts states = CountTexts(NonEmptyTexts(f), file.dict);
                      stateTotal.Add(states);
                      if (states.Entries() > 0 || allFiles) stateRows.push_back({f.name, states});
                    });
  for (const FileTexts& f : unreadable)
    platform::ConsolePrintf("%s: error: cannot be read (code %d); not counted\n", f.path.c_str(), f.code);
  if (filesFound == 0) {
    platform::ConsolePrintf("error: none of the listed files is in %s or %s\n", game.packageDir.c_str(),
                            game.movieDir.c_str());
    return kExitProblems;
  }

  platform::ConsolePrintf("%-40s %9s %9s %10s %9s\n", "file", "texts", "in dict", "translated", "covered");
  for (const Row& row : rows) PrintRow(row.name, row.coverage);
  Coverage total = dialogue;
  total.Add(subtitles);
  PrintRow("dialogue strings", dialogue);
  PrintRow("subtitles", subtitles);
  PrintRow("total", total);
  PrintLine("");
  PrintLine(StateTable(stateRows, stateTotal, "texts of the file"));
  platform::ConsolePrintf("%s covers %s %% of the game's texts: %llu of %llu translated\n", path.c_str(),
                          Percent(total.translated, total.texts).c_str(),
                          static_cast<unsigned long long>(total.translated),
                          static_cast<unsigned long long>(total.texts));
  return unreadable.empty() ? kExitOk : kExitProblems;
}

}  // namespace dict_tool
