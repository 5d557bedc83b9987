// extract: a dictionary template of every text of the game.
#include <map>
#include <string>
#include <vector>

#include "tools/dict/commands.h"
#include "tools/dict/dict_build.h"
#include "tools/dict/dict_file.h"
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

// Why output may not be replaced by a template: a dictionary that holds
// translations (a target that differs from its source), or a file that is
// no dictionary at all. Empty when it may (no file, or a template).
std::string ReasonToKeep(const std::string& output) {
  if (!FileExists(output)) return "";
  DictFile file;
  LoadError error;
  if (!LoadDictFile(output, &file, &error)) return "it is there and is not a dictionary template";
  uint32_t translated = 0;
  for (uint32_t i = 0; i < file.count(); ++i)
    translated += file.Text(i, Field::kTarget) != file.Text(i, Field::kSource);
  if (translated == 0) return "";
  return "it is a dictionary with " + std::to_string(translated) + " translations";
}

}  // namespace

int RunExtract(const GameDirs& game, const std::string& output, bool quiet, bool force) {
  Diagnostics diagnostics;
  if (const std::string reason = ReasonToKeep(output); !reason.empty() && !force) {
    diagnostics.Error(output, kNoLine, "output",
                      "not replaced: " + reason +
                          "; name a new file (then \"hanhua-dict merge\" carries its translations over), "
                          "or replace it with --force");
    return diagnostics.ExitStatus();
  }
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
    diagnostics.Error(file.path, kNoLine, "read",
                      "cannot be read (code " + std::to_string(file.code) + "); its texts are not in the template");
  }
  if (tally.filesFound == 0) {
    diagnostics.Error("", kNoLine, "game",
                      Format("none of the %d listed files is in %s or %s", tally.filesMissing,
                             game.packageDir.c_str(), game.movieDir.c_str()));
    return diagnostics.ExitStatus();
  }

  std::vector<Entry> entries;
  entries.reserve(texts.size());
  for (const auto& [text, found] : texts) entries.push_back({text, text, Remark(found), 0});
  if (entries.empty()) {
    diagnostics.Error(output, kNoLine, "output",
                      "not written: the game holds no text to translate, and a dictionary without entries "
                      "does not load");
    return diagnostics.ExitStatus();
  }
  if (ReportUnwritable(entries, output, &diagnostics)) return diagnostics.ExitStatus();
  if (!WriteDictionary(entries, output, Form::kText, &diagnostics)) return diagnostics.ExitStatus();

  PrintResult(Format(
      "%s: %zu entries: %llu dialogue strings in %d packages, %llu subtitles in %d movies; "
      "%d listed files read, %d not found",
      output.c_str(), entries.size(), static_cast<unsigned long long>(tally.dialogueStrings),
      tally.packagesWithDialogue, static_cast<unsigned long long>(tally.subtitles),
      tally.moviesWithSubtitles, tally.filesFound, tally.filesMissing));
  return diagnostics.ExitStatus();
}

}  // namespace dict_tool
