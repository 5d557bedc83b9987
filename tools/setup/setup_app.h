// hanhua-setup: the program a player starts to install the translation into
// the game, check it, or take it out again.
//
//   hanhua-setup                       finds the game, shows its state and a menu
//   hanhua-setup GAMEDIR               the same for the game in GAMEDIR (a folder
//                                      dropped onto the program's icon)
//   hanhua-setup install|restore|verify [GAMEDIR] [--dict FILE] [--yes]
//
// With --yes nothing is asked and standard input is never read. Exit status:
// 0 done, 1 some files failed (verify: problems found), 2 refused (nothing
// was touched).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace setup {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitRefused = 2;

// Where the program runs: everything it would otherwise ask the system for,
// so that tests can set it.
struct SetupEnvironment {
  std::string programFolder;  // chs.txt is looked for here first; the log lies here
  std::string currentFolder;
  std::string logPath;        // empty: no log
  std::string home;           // for Steam's library folders; empty: none
  bool console = false;       // standard output is a console
  bool ownConsole = false;    // the console is the program's own: wait for Enter at the end
  // Reads an answer line; false at the end of input (platform::ReadLine).
  std::function<bool(std::string*)> readLine;
};

SetupEnvironment ThisProcessEnvironment();

// args: the command line without the program path.
int RunSetup(const std::vector<std::string>& args, const SetupEnvironment& environment);

}  // namespace setup
