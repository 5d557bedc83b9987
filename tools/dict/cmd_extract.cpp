// extract: a dictionary template of every text of the game.
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tools/dict/commands.h"
#include "tools/dict/dict_build.h"
#include "tools/dict/dict_text.h"
#include "tools/dict/game_texts.h"
#include "tools/dict/tool_io.h"

namespace dict_tool {

namespace {

// Where a text was found first, and how often.
struct Found {
  std::string where;
  int places = 0;
};

struct Tally {
  int filesFound = 0;
  int filesMissing = 0;
  int packagesWithDialogue = 0;
  int moviesWithSubtitles = 0;
  uint64_t dialogueStrings = 0;
  uint64_t subtitles = 0;
  std::vector<FileTexts> unreadable;
};

std::string Remark(const Found& found) {
  if (found.places == 1) return found.where;
  return found.where + " (and " + std::to_string(found.places - 1) + " more)";
}

}  // namespace

int RunExtract(const GameDirs& game, const std::string& output, bool quiet) {
  // Keyed by the text as a lookup compares it (trimmed, up to a zero byte);
  // std::string orders by unsigned bytes, which is lookup order.
  std::map<std::string, Found> texts;
  Tally tally;
  ForEachListedFile(game.packageDir, game.movieDir, Copy::kOriginal, "Reading", quiet,
                    [&](const FileTexts& file) {
                      if (file.path.empty()) {
                        ++tally.filesMissing;
                        return;
                      }
                      ++tally.filesFound;
                      if (!file.readable) {
                        tally.unreadable.push_back(file);
                        return;
                      }
                      if (!file.texts.empty()) ++(file.movie ? tally.moviesWithSubtitles : tally.packagesWithDialogue);
                      (file.movie ? tally.subtitles : tally.dialogueStrings) += file.texts.size();
                      for (const GameText& t : file.texts) {
                        const std::string_view key = TrimSpaces(UpToZero(t.text));
                        if (key.empty()) continue;  // nothing to translate
                        Found& found = texts[std::string(key)];
                        if (found.places++ == 0) found.where = t.where;
                      }
                    });
  for (const FileTexts& file : tally.unreadable) {
    platform::ConsolePrintf("%s: error: cannot be read (code %d); its texts are not in the template\n",
                            file.path.c_str(), file.code);
  }
  if (tally.filesFound == 0) {
    platform::ConsolePrintf("error: none of the %d listed files is in %s or %s\n", tally.filesMissing,
                            game.packageDir.c_str(), game.movieDir.c_str());
    return kExitProblems;
  }

  std::vector<Entry> entries;
  entries.reserve(texts.size());
  for (const auto& [text, found] : texts) entries.push_back({text, text, Remark(found), 0});
  if (entries.empty()) {
    platform::ConsolePrintf("%s: error: not written: the game holds no text to translate, and a "
                            "dictionary without entries does not load\n",
                            output.c_str());
    return kExitProblems;
  }
  if (ReportUnwritable(entries, output)) return kExitProblems;
  if (!WriteDictionary(entries, output, Form::kText)) return kExitProblems;

  platform::ConsolePrintf(
      "%s: %zu entries: %llu dialogue strings in %d packages, %llu subtitles in %d movies; "
      "%d listed files read, %d not found\n",
      output.c_str(), entries.size(), static_cast<unsigned long long>(tally.dialogueStrings),
      tally.packagesWithDialogue, static_cast<unsigned long long>(tally.subtitles),
      tally.moviesWithSubtitles, tally.filesFound, tally.filesMissing);
  return tally.unreadable.empty() ? kExitOk : kExitProblems;
}

}  // namespace dict_tool
