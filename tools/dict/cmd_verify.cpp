// verify: checks a game folder after eng2chs.
#include <string>
#include <vector>

#include "common/bytes.h"
#include "platform/platform.h"
#include "tools/dict/commands.h"
#include "tools/dict/game_texts.h"
#include "tools/dict/tool_io.h"

namespace dict_tool {

namespace {

struct Outcome {
  int packages = 0;
  int movies = 0;
  int notFound = 0;
  uint64_t dialogueTranslated = 0;
  uint64_t subtitlesTranslated = 0;
  std::vector<std::string> problems;  // "PATH: ..." lines
};

// Where a movie is not a run of whole chunks (signature, big-endian size,
// body) from its first byte to its last, or an empty text when it is.
std::string ChunkChainProblem(const std::string& path) {
  std::string movie;
  if (!ReadWholeFile(path, &movie)) return "cannot be read";
  const auto* data = reinterpret_cast<const uint8_t*>(movie.data());
  uint64_t at = 0;
  while (at + 8 <= movie.size()) {
    const uint64_t end = at + 8 + bytes::LoadU32BE(data + at + 4);
    if (end > movie.size()) {
      return "the chunk at byte " + std::to_string(at) + " runs " + std::to_string(end - movie.size()) +
             " bytes past the end of the movie";
    }
    at = end;
  }
  if (at != movie.size()) return std::to_string(movie.size() - at) + " bytes after the last chunk";
  return "";
}

// Compares the texts of the patched file with those of its backup: the same
// number of texts at the same places. Counts the texts that changed.
void CompareWithBackup(const FileTexts& shipped, const FileTexts& backup, uint64_t* translated,
                       std::vector<std::string>* problems) {
  if (!backup.readable) {
    problems->push_back(backup.path + ": its backup cannot be read (code " + std::to_string(backup.code) + ")");
    return;
  }
  const char* kind = shipped.movie ? "subtitles" : "dialogue strings";
  if (shipped.texts.size() != backup.texts.size()) {
    problems->push_back(shipped.path + ": holds " + std::to_string(shipped.texts.size()) + " " + kind +
                        " where its backup holds " + std::to_string(backup.texts.size()));
    return;
  }
  for (size_t i = 0; i < shipped.texts.size(); ++i) {
    // Subtitles are told apart by their time, dialogue strings by export.
    if (!shipped.movie && shipped.texts[i].where != backup.texts[i].where) {
      problems->push_back(shipped.path + ": its " + kind + " lie in other exports than in its backup");
      return;
    }
    if (shipped.texts[i].text != backup.texts[i].text) ++*translated;
  }
}

void VerifyFile(const GameDirs& game, int index, Outcome* out) {
  FileTexts shipped = ReadListedFile(game.packageDir, game.movieDir, index, Copy::kShipped);
  FileTexts backup = ReadListedFile(game.packageDir, game.movieDir, index, Copy::kBackup);
  if (shipped.path.empty()) {
    if (backup.path.empty()) {
      ++out->notFound;
    } else {
      out->problems.push_back(backup.path + ": the backup is there, but not the file itself");
    }
    return;
  }
  ++(shipped.movie ? out->movies : out->packages);
  auto problem = [&](const std::string& text) { out->problems.push_back(shipped.path + ": " + text); };
  if (shipped.movie) {
    if (std::string chain = ChunkChainProblem(shipped.path); !chain.empty()) problem(chain);
  } else if (!shipped.readable) {
    problem("cannot be read as a package (code " + std::to_string(shipped.code) + ")");
    return;
  } else {
    if (shipped.compressed) problem("still compressed: eng2chs has not rebuilt it");
    if (shipped.exportsOutside > 0)
      problem(std::to_string(shipped.exportsOutside) + " exports point outside the file");
  }
  if (!backup.path.empty())
    CompareWithBackup(shipped, backup, shipped.movie ? &out->subtitlesTranslated : &out->dialogueTranslated,
                      &out->problems);
}

}  // namespace

int RunVerify(const GameDirs& game, bool quiet) {
  Outcome out;
  {
    Progress progress("Verifying", ListedFileCount(), quiet);
    for (int i = 0; i < ListedFileCount(); ++i) {
      progress.Show(i + 1);
      if (IsListedFile(i)) VerifyFile(game, i, &out);
    }
  }
  for (const std::string& line : out.problems) {
    platform::ConsolePrintf("error: ");
    PrintLine(line);
  }
  if (out.packages + out.movies == 0) {
    platform::ConsolePrintf("error: none of the listed files is in %s or %s\n", game.packageDir.c_str(),
                            game.movieDir.c_str());
    return kExitProblems;
  }
  platform::ConsolePrintf("verify: %d packages and %d movies checked, %d not found, %zu problems; "
                          "%llu dialogue strings and %llu subtitles translated\n",
                          out.packages, out.movies, out.notFound, out.problems.size(),
                          static_cast<unsigned long long>(out.dialogueTranslated),
                          static_cast<unsigned long long>(out.subtitlesTranslated));
  return out.problems.empty() ? kExitOk : kExitProblems;
}

}  // namespace dict_tool
