// verify: checks a game folder after eng2chs.
#include <string>

#include "tools/dict/commands.h"
#include "tools/dict/json_report.h"
#include "tools/dict/tool_io.h"
#include "tools/dict/verify.h"

namespace dict_tool {

int RunVerify(const GameDirs& game, const std::string& dictionary, bool quiet, bool json) {
  const VerifyResult r = VerifyInstall(game, dictionary, quiet);
  Diagnostics diagnostics(json ? Diagnostics::Mode::kCollect : Diagnostics::Mode::kPrint);
  for (const Diagnostic& d : r.findings) diagnostics.Report(d);
  if (json) {
    Json document = JsonDocument("verify", diagnostics, r.exitStatus);
    document["packages"] = r.packages;
    document["movies"] = r.movies;
    document["not_found"] = r.notFound;
    document["translated"] = {{"dialogue_strings", r.dialogueTranslated}, {"subtitles", r.subtitlesTranslated}};
    document["dictionary"] = r.withDictionary ? Json(dictionary) : Json();
    if (r.withDictionary)
      document["expected"] = {{"dialogue_strings", r.dialogueExpected}, {"subtitles", r.subtitlesExpected}};
    PrintJson(document);
    return r.exitStatus;
  }
  if (r.packages + r.movies == 0) return r.exitStatus;
  PrintResult(Format("verify: %d packages and %d movies checked, %d not found, %d problems; "
                     "%llu dialogue strings and %llu subtitles translated",
                     r.packages, r.movies, r.notFound, diagnostics.errors(),
                     static_cast<unsigned long long>(r.dialogueTranslated),
                     static_cast<unsigned long long>(r.subtitlesTranslated)));
  if (r.withDictionary) {
    PrintResult(Format("%s translates %llu dialogue strings and %llu subtitles of the game", dictionary.c_str(),
                       static_cast<unsigned long long>(r.dialogueExpected),
                       static_cast<unsigned long long>(r.subtitlesExpected)));
  }
  return r.exitStatus;
}

}  // namespace dict_tool
