// The commands of hanhua-dict. Each reports its findings through a
// Diagnostics sink (stderr, or the JSON document with --json), prints its
// results on stdout and returns the exit status (kExitOk, kExitProblems,
// kExitUsage: see diagnostics.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/dict/diagnostics.h"
#include "tools/dict/text_input.h"

namespace dict_tool {

struct GameDirs {
  std::string packageDir;
  std::string movieDir;
};

// Writes a dictionary of every distinct text of the game, target = source.
// Refuses to replace a file that is not an untranslated template unless
// force.
int RunExtract(const GameDirs& game, const std::string& output, bool quiet, bool force);
// What check looks at beside the structure: the content checks to skip
// (by name), the sources that may stay unchanged, the glossary, the game
// (empty: none) and the subtitle line width (0: the widest English line).
struct ContentRequest {
  std::vector<std::string> skip;
  std::string allowFile, glossaryFile;
  GameDirs game;
  uint32_t width = 0;
};
// Reports the defects of a dictionary and the findings of the content
// checks; status 1 on errors (also on warnings when strict).
int RunCheck(const std::string& path, bool strict, bool all, bool json, const ContentRequest& content);
// Rewrites a dictionary in lookup order, keeping the first of equal sources.
int RunSort(const std::string& input, const std::string& output);
// Carries the translations of old over to the entries of a template.
int RunMerge(const std::string& old, const std::string& templ, const std::string& output,
             const std::string& obsoleteOutput, bool keepRemarks, bool json);
// How much of the game a dictionary translates.
int RunStats(const std::string& path, const GameDirs& game, bool quiet, bool allFiles, bool json);
int RunCsvExport(const std::string& path, const std::string& output);
int RunCsvImport(const std::string& path, const std::string& output, Encoding encoding);
// PO and XLIFF files for translation tools.
enum class Interchange { kPo, kXliff };
int RunInterchangeExport(const std::string& path, const std::string& output, Interchange format);
int RunInterchangeImport(const std::string& path, const std::string& output, Interchange format);
// Writes the binary form of a dictionary.
int RunBin(const std::string& path, const std::string& output, bool force);
// Checks a game folder after eng2chs; with a dictionary, also that the
// patched files hold the translations it makes.
int RunVerify(const GameDirs& game, const std::string& dictionary, bool quiet, bool json);

}  // namespace dict_tool
