// The commands of hanhua-dict. Each prints its findings and its summary and
// returns the exit status: 0 when all went well, 1 when it found problems
// or could not do its work.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dict_tool {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitProblems = 1;
inline constexpr int kExitUsage = 2;

struct GameDirs {
  std::string packageDir;
  std::string movieDir;
};

// Writes a dictionary of every distinct text of the game, target = source.
int RunExtract(const GameDirs& game, const std::string& output, bool quiet);
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
int RunCheck(const std::string& path, bool strict, bool all, const ContentRequest& content);
// Rewrites a dictionary in lookup order, keeping the first of equal sources.
int RunSort(const std::string& input, const std::string& output);
// Carries the translations of old over to the entries of a template.
int RunMerge(const std::string& old, const std::string& templ, const std::string& output,
             const std::string& obsoleteOutput, bool keepRemarks);
// How much of the game a dictionary translates.
int RunStats(const std::string& path, const GameDirs& game, bool quiet, bool allFiles);
int RunCsvExport(const std::string& path, const std::string& output);
int RunCsvImport(const std::string& path, const std::string& output);
// PO and XLIFF files for translation tools.
enum class Interchange { kPo, kXliff };
int RunInterchangeExport(const std::string& path, const std::string& output, Interchange format);
int RunInterchangeImport(const std::string& path, const std::string& output, Interchange format);
// Writes the binary form of a dictionary.
int RunBin(const std::string& path, const std::string& output, bool force);
// Checks a game folder after eng2chs.
int RunVerify(const GameDirs& game, bool quiet);

}  // namespace dict_tool
