#include "tools/dict/verify.h"

#include "common/bytes.h"
#include "package/dialogue_rewrite.h"
#include "tools/dict/dict_file.h"
#include "tools/dict/dict_text.h"
#include "tools/dict/game_texts.h"
#include "tools/dict/tool_io.h"

namespace dict_tool {

namespace {

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

// Whether eng2chs changes this text of the game with dict: the lookup finds
// an entry whose target is not the text itself, and for a dialogue string
// the target fits the longest translation written.
bool Translates(const BRXStringDict& dict, const GameText& text, bool movie) {
  const BRXStringEntry* entry = dict.FindEntry(text.text.c_str());
  if (entry == nullptr) return false;
  const std::string_view target(entry->target, entry->targetLength);
  if (target == text.text) return false;
  return movie || Utf16Units(target) <= package::kMaxTranslationUnits;
}

class Verifier {
 public:
  Verifier(const GameDirs& game, const BRXStringDict* dict, VerifyResult* result, Diagnostics* diagnostics)
      : game_(game), dict_(dict), result_(result), diagnostics_(diagnostics) {}

  void File(int index) {
    FileTexts shipped = ReadListedFile(game_.packageDir, game_.movieDir, index, Copy::kShipped);
    FileTexts backup = ReadListedFile(game_.packageDir, game_.movieDir, index, Copy::kBackup);
    if (dict_ != nullptr) CountExpected(backup.path.empty() ? shipped : backup);
    if (shipped.path.empty()) {
      if (backup.path.empty()) {
        ++result_->notFound;
      } else {
        Problem(backup.path, "the backup is there, but not the file itself");
      }
      return;
    }
    ++(shipped.movie ? result_->movies : result_->packages);
    if (shipped.movie) {
      if (std::string chain = ChunkChainProblem(shipped.path); !chain.empty()) Problem(shipped.path, chain);
    } else if (!shipped.readable) {
      Problem(shipped.path, "cannot be read as a package (code " + std::to_string(shipped.code) + ")");
      return;
    } else {
      if (shipped.compressed) Problem(shipped.path, "still compressed: eng2chs has not rebuilt it");
      if (shipped.exportsOutside > 0)
        Problem(shipped.path, std::to_string(shipped.exportsOutside) + " exports point outside the file");
    }
    if (!backup.path.empty()) CompareWithBackup(shipped, backup);
  }

 private:
  void Problem(const std::string& path, const std::string& message) { diagnostics_->Error(path, kNoLine, "install", message); }

  void CountExpected(const FileTexts& original) {
    if (!original.readable) return;
    uint64_t& expected = original.movie ? result_->subtitlesExpected : result_->dialogueExpected;
    for (const GameText& t : original.texts) expected += Translates(*dict_, t, original.movie);
  }

  // The texts of the patched file against those of its backup: the same
  // number of texts at the same places. Counts the texts that changed.
  void CompareWithBackup(const FileTexts& shipped, const FileTexts& backup) {
    if (!backup.readable) {
      Problem(backup.path, "the backup cannot be read (code " + std::to_string(backup.code) + ")");
      return;
    }
    const char* kind = shipped.movie ? "subtitles" : "dialogue strings";
    if (shipped.texts.size() != backup.texts.size()) {
      Problem(shipped.path, "holds " + std::to_string(shipped.texts.size()) + " " + kind + " where its backup holds " +
                                std::to_string(backup.texts.size()));
      return;
    }
    uint64_t& translated = shipped.movie ? result_->subtitlesTranslated : result_->dialogueTranslated;
    for (size_t i = 0; i < shipped.texts.size(); ++i) {
      // Subtitles are told apart by their time, dialogue strings by export.
      if (!shipped.movie && shipped.texts[i].where != backup.texts[i].where) {
        Problem(shipped.path, std::string("its ") + kind + " lie in other exports than in its backup");
        return;
      }
      if (shipped.texts[i].text != backup.texts[i].text) ++translated;
    }
  }

  const GameDirs& game_;
  const BRXStringDict* dict_;
  VerifyResult* result_;
  Diagnostics* diagnostics_;
};

void CompareCounts(const std::string& dictionary, const VerifyResult& r, Diagnostics* diagnostics) {
  const uint64_t expected = r.dialogueExpected + r.subtitlesExpected;
  const uint64_t translated = r.dialogueTranslated + r.subtitlesTranslated;
  if (expected > 0 && translated == 0) {
    diagnostics->Error(dictionary, kNoLine, "translated",
                       "the game holds none of the " + std::to_string(expected) +
                           " translations of this dictionary: was \"hanhua eng2chs\" run with it as chs.txt in "
                           "the current folder?");
    return;
  }
  auto compare = [&](const char* kind, uint64_t want, uint64_t have) {
    if (want == have) return;
    diagnostics->Error(dictionary, kNoLine, "translated",
                       Format("the dictionary translates %llu %s of the game, the patched files hold %llu: "
                              "run \"hanhua eng2chs\" again with this dictionary as chs.txt",
                              static_cast<unsigned long long>(want), kind, static_cast<unsigned long long>(have)));
  };
  compare("dialogue strings", r.dialogueExpected, r.dialogueTranslated);
  compare("subtitles", r.subtitlesExpected, r.subtitlesTranslated);
}

}  // namespace

VerifyResult VerifyInstall(const GameDirs& game, const std::string& dictionary, bool quiet) {
  VerifyResult result;
  Diagnostics diagnostics(Diagnostics::Mode::kCollect);
  DictFile dict;
  if (!dictionary.empty()) result.withDictionary = LoadDictFileOrReport(dictionary, &dict, &diagnostics);
  if (dictionary.empty() || result.withDictionary) {
    Verifier verifier(game, result.withDictionary ? &dict.dict : nullptr, &result, &diagnostics);
    Progress progress("Verifying", ListedFileCount(), quiet);
    for (int i = 0; i < ListedFileCount(); ++i) {
      progress.Show(i + 1);
      if (IsListedFile(i)) verifier.File(i);
    }
  }
  if (result.packages + result.movies == 0 && diagnostics.errors() == 0) {
    diagnostics.Error("", kNoLine, "game", "none of the listed files is in " + game.packageDir + " or " + game.movieDir);
  } else if (result.withDictionary) {
    CompareCounts(dictionary, result, &diagnostics);
  } else if (dictionary.empty() && result.dialogueTranslated + result.subtitlesTranslated == 0) {
    diagnostics.Warning("", kNoLine, "translated",
                        "no text of the game is translated; --dict chs.txt tells whether the dictionary "
                        "translates anything");
  }
  result.findings = diagnostics.all();
  result.exitStatus = diagnostics.ExitStatus();
  return result;
}

}  // namespace dict_tool
