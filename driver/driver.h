// The command-line driver: picks the run from the command line and walks the
// Target file list, making and restoring the backups and calling the two
// patchers once per file.
//
//   hanhua eng2chs PKGDIR MOVIEDIR   move every listed file aside to a hidden,
//                                    system "X.bak" and rebuild X from it
//   hanhua chs2eng PKGDIR MOVIEDIR   copy every "X.bak" back over X
//
// Any other command line is echoed argument by argument. Every file is
// attempted, no result stops the run, and the exit code is always 0.
#pragma once

#include <cstdint>
#include <string>

#include "common/backup.h"

namespace driver {

// The patchers of the eng2chs run. Each is handed its own modifiable heap
// copy of the backup path and rebuilds the shipped file (the backup path less
// ".bak") from the backup. The program uses PatchMovieFile and
// PatchPackageFile; tests hand in fakes.
struct Patchers {
  void (*patchMovie)(char* backupPath);
  int (*patchPackage)(char* backupPath);
  // Told the paths of the listed packages a few places ahead of the one
  // patched, in order (the first ones before the movies), so that their work
  // can start early (package::PreparePackage). Optional.
  void (*preparePackage)(const char* nextFilePath) = nullptr;
  // The same patchers in the form that also tells what became of the file
  // (RebuildMovieFile, package::RebuildPackageFile); used instead of the two
  // above when set.
  backup::Outcome (*rebuildMovie)(char* backupPath) = nullptr;
  backup::Outcome (*rebuildPackage)(char* backupPath) = nullptr;
};

// What a caller running the commands in its own process (an installer)
// learns of each listed file, in list order (movies first), once the file
// is done.
struct FileReport {
  const char* path;         // the listed file's path, as the run built it
  int number;               // 1 to kTargetFileCount: movies first, then packages
  backup::Outcome outcome;  // patched, restored, failed or missing
  uint64_t size;            // the file's size in bytes afterwards, 0 when missing
};
struct Observer {
  void* context = nullptr;
  void (*fileDone)(void* context, const FileReport& report) = nullptr;
};

// The program entry behind main(): selects the run and returns the exit code
// (always 0).
int Run(int argc, char** argv, const Patchers& patchers);

// The two runs. The directories are used as given: no check, no
// normalisation, no trailing separator removed. Each holds the package
// folder's lock (platform::LockFolder) for the whole run, so a second run
// on the same game, in this process or another, waits for it. observer,
// when given, hears of every listed file; the console output is the same
// with or without it.
void Eng2Chs(const char* packageDir, const char* movieDir, const Patchers& patchers,
             const Observer* observer = nullptr);
void Chs2Eng(const char* packageDir, const char* movieDir, const Observer* observer = nullptr);

// Writes "argv[i],text" for every argument, the program path included.
void Echo(int argc, char** argv);

// dir + "\" + name: the path of a listed file. A backslash separates
// directories on every platform (the platform layer maps it on POSIX).
std::string FilePath(const char* dir, const char* name);
// The backup of a file: its path followed by ".bak".
std::string BackupPath(const std::string& filePath);

}  // namespace driver
