// The content checks of check: their options read from the command line
// and files, the game's texts read when asked for, the findings printed.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tools/dict/commands.h"
#include "tools/dict/cmd_content.h"
#include "tools/dict/csv.h"
#include "tools/dict/dict_text.h"
#include "tools/dict/game_texts.h"
#include "tools/dict/tool_io.h"

namespace dict_tool {

namespace {

// The lines of an --allow file, each a source that may stay unchanged.
bool ReadAllowed(const std::string& path, std::unordered_set<std::string>* allowed) {
  std::string text;
  if (!ReadWholeFile(path, &text)) {
    platform::ConsolePrintf("%s: error: cannot be read\n", path.c_str());
    return false;
  }
  if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.erase(0, kUtf8Bom.size());
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

bool ReadGlossary(const std::string& path, std::vector<GlossaryTerm>* glossary) {
  std::string text;
  if (!ReadWholeFile(path, &text)) {
    platform::ConsolePrintf("%s: error: cannot be read\n", path.c_str());
    return false;
  }
  std::vector<Entry> records;
  CsvError error;
  if (!ReadCsv(text, &records, &error)) {
    platform::ConsolePrintf("%s:%u: error: ", path.c_str(), error.line);
    PrintLine(error.message);
    return false;
  }
  *glossary = GlossaryOf(records);
  return true;
}

bool ReadGame(const GameDirs& dirs, GameTextSets* game) {
  int found = 0;
  ForEachListedFile(dirs.packageDir, dirs.movieDir, Copy::kOriginal, "Reading", false, [&](const FileTexts& f) {
    if (f.path.empty()) return;
    ++found;
    if (!f.readable) {
      platform::ConsolePrintf("%s: warning: cannot be read (code %d); its texts are not known\n", f.path.c_str(),
                              f.code);
      return;
    }
    for (const GameText& t : f.texts) {
      std::string key(TrimSpaces(UpToZero(t.text)));
      if (key.empty()) continue;
      if (f.movie) game->subtitles.insert(key);
      game->all.insert(std::move(key));
    }
  });
  if (found == 0) {
    platform::ConsolePrintf("error: none of the listed files is in %s or %s\n", dirs.packageDir.c_str(),
                            dirs.movieDir.c_str());
  }
  return found > 0;
}

}  // namespace

int PrepareContentChecks(const ContentRequest& request, ContentOptions* options, GameTextSets* game) {
  for (const std::string& name : request.skip) {
    ContentCheck check;
    if (!ContentCheckNamed(name, &check)) {
      platform::ConsolePrintf("error: --skip %s: no such check; the checks are %s\n", name.c_str(),
                              ContentCheckNames().c_str());
      return kExitUsage;
    }
    options->enabled[static_cast<int>(check)] = false;
  }
  options->widthLimit = request.width;
  if (!request.allowFile.empty() && !ReadAllowed(request.allowFile, &options->allowed)) return kExitProblems;
  if (!request.glossaryFile.empty() && !ReadGlossary(request.glossaryFile, &options->glossary)) return kExitProblems;
  if (!request.game.packageDir.empty() && !ReadGame(request.game, game)) return kExitProblems;
  return kExitOk;
}

int PrintContentFindings(const std::string& path, const std::vector<EntryFinding>& findings, int maxPerKind) {
  int shown[kContentChecks] = {};
  for (const EntryFinding& f : findings) {
    int& n = shown[static_cast<int>(f.check)];
    if (maxPerKind > 0 && n >= maxPerKind) {
      ++n;
      continue;
    }
    ++n;
    platform::ConsolePrintf("%s:%u: warning: entry %u: [%s] ", path.c_str(), f.line, f.entry, ContentCheckName(f.check));
    PrintLine(f.message);
  }
  for (int k = 0; k < kContentChecks; ++k) {
    if (maxPerKind > 0 && shown[k] > maxPerKind) {
      platform::ConsolePrintf("%s: note: %d more [%s] findings not shown (--all shows them, --skip %s turns the "
                              "check off)\n",
                              path.c_str(), shown[k] - maxPerKind, ContentCheckName(static_cast<ContentCheck>(k)),
                              ContentCheckName(static_cast<ContentCheck>(k)));
    }
  }
  return int(findings.size());
}

}  // namespace dict_tool
