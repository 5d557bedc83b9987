// The content checks of check: their options read from the command line
// and files, the game's texts read when asked for, the findings reported.
#include "tools/dict/cmd_content.h"

#include <string>
#include <vector>

#include "tools/dict/csv.h"
#include "tools/dict/dict_text.h"
#include "tools/dict/game_texts.h"
#include "tools/dict/text_input.h"
#include "tools/dict/tool_io.h"

namespace dict_tool {

namespace {

// The lines of an --allow file, each a source that may stay unchanged.
bool ReadAllowed(const std::string& path, std::unordered_set<std::string>* allowed, Diagnostics* diagnostics) {
  std::string text;
  if (!ReadTextFile(path, Encoding::kUtf8, &text, diagnostics)) return false;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + begin, end - begin);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) allowed->emplace(line);
    begin = end + 1;
  }
  return true;
}

bool ReadGlossary(const std::string& path, std::vector<GlossaryTerm>* glossary, Diagnostics* diagnostics) {
  std::string text;
  if (!ReadTextFile(path, Encoding::kUtf8, &text, diagnostics)) return false;
  std::vector<Entry> records;
  CsvError error;
  if (!ReadCsv(text, &records, &error)) {
    diagnostics->Error(path, error.line, "glossary", error.message);
    return false;
  }
  *glossary = GlossaryOf(records);
  return true;
}

bool ReadGame(const GameDirs& dirs, GameTextSets* game, Diagnostics* diagnostics) {
  int found = 0;
  ForEachListedFile(dirs.packageDir, dirs.movieDir, Copy::kOriginal, "Reading", false, [&](const FileTexts& f) {
    if (f.path.empty()) return;
    ++found;
    if (!f.readable) {
      diagnostics->Warning(f.path, kNoLine, "game",
                           "cannot be read (code " + std::to_string(f.code) + "); its texts are not known");
      return;
    }
    for (const GameText& t : f.texts) {
      std::string key(TrimSpaces(UpToZero(t.text)));
      if (key.empty()) continue;
      if (f.movie) game->subtitles.insert(key);
      game->all.insert(std::move(key));
    }
  });
  if (found == 0)
    diagnostics->IoError("", "none of the listed files is in " + dirs.packageDir + " or " + dirs.movieDir);
  return found > 0;
}

}  // namespace

bool PrepareContentChecks(const ContentRequest& request, ContentOptions* options, GameTextSets* game,
                          Diagnostics* diagnostics) {
  for (const std::string& name : request.skip) {
    ContentCheck check;
    if (ContentCheckNamed(name, &check)) options->enabled[static_cast<int>(check)] = false;
  }
  options->widthLimit = request.width;
  if (!request.allowFile.empty() && !ReadAllowed(request.allowFile, &options->allowed, diagnostics)) return false;
  if (!request.glossaryFile.empty() && !ReadGlossary(request.glossaryFile, &options->glossary, diagnostics))
    return false;
  return request.game.packageDir.empty() || ReadGame(request.game, game, diagnostics);
}

void ReportContentFindings(const std::string& path, const std::vector<EntryFinding>& findings, int maxPerKind,
                           Diagnostics* diagnostics) {
  PerKindLimit limit(kContentChecks, maxPerKind, diagnostics);
  for (const EntryFinding& f : findings) {
    if (!limit.Show(static_cast<int>(f.check), Severity::kWarning)) continue;
    const char* name = ContentCheckName(f.check);
    diagnostics->Report({Severity::kWarning, path, f.line, int64_t(f.entry), name,
                         std::string("[") + name + "] " + f.message, false});
  }
  for (int kind = 0; kind < kContentChecks; ++kind) {
    const int left = limit.left(kind);
    if (left == 0) continue;
    const char* name = ContentCheckName(static_cast<ContentCheck>(kind));
    diagnostics->Note(path, kNoLine, name,
                      std::to_string(left) + " more [" + name + "] findings (--all shows every one, --skip " +
                          name + " turns the check off)");
  }
}

}  // namespace dict_tool
