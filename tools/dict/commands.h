// The commands of hanhua-dict. Each prints its findings and its summary and
// returns the exit status: 0 when all went well, 1 when it found problems
// or could not do its work.
#pragma once

#include <string>

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
// Reports the defects of a dictionary; status 1 on errors (also on
// warnings when strict).
int RunCheck(const std::string& path, bool strict, bool all);
// Rewrites a dictionary in lookup order, keeping the first of equal sources.
int RunSort(const std::string& input, const std::string& output);
// Carries the translations of old over to the entries of a template.
int RunMerge(const std::string& old, const std::string& templ, const std::string& output,
             const std::string& obsoleteOutput, bool keepRemarks);
// How much of the game a dictionary translates.
int RunStats(const std::string& path, const GameDirs& game, bool quiet, bool allFiles);
int RunCsvExport(const std::string& path, const std::string& output);
int RunCsvImport(const std::string& path, const std::string& output);
// Writes the binary form of a dictionary.
int RunBin(const std::string& path, const std::string& output, bool force);
// Checks a game folder after eng2chs.
int RunVerify(const GameDirs& game, bool quiet);

}  // namespace dict_tool
