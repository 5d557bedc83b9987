// Backups: where the original of a listed file waits while the translation
// is installed, and the one way a file is put back from it.
//
// The backup of "X" is "X.bak" beside it, marked hidden and system so that
// the game and its launcher pass it by. eng2chs moves X aside to it (never
// over an existing backup, which holds the original from an earlier run)
// and rebuilds X from it; when a rebuild fails, and for every file of
// chs2eng, X is put back from it by PutBack, which holds the only restore
// policy of the program.
//
// The module lives in common/ because the driver (which makes the backups
// and restores them) and both patchers (which put a file back when it cannot
// be rebuilt) use it, and neither may depend on the other. Every operating
// system call goes through platform/.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace backup {

inline constexpr char kSuffix[] = ".bak";
inline constexpr size_t kSuffixLength = sizeof kSuffix - 1;
inline constexpr uint32_t kBackupAttributes = platform::kAttrHidden | platform::kAttrSystem;

// What became of one listed file in a run.
enum class Outcome {
  kPatched,   // rebuilt with the translation (eng2chs)
  kRestored,  // byte-identical to its original again, with normal attributes
  kFailed,    // neither: "还原文件[%s]失败" was printed
  kMissing,   // no file to work on: neither the file nor its backup is a regular file
};

// file + ".bak".
std::string PathOf(const std::string& file);
// The listed file of a backup path: the path less its ".bak". False when it
// does not end in ".bak" or is nothing but it, or memory is short.
bool FilePathOf(const char* backupPath, std::string* file);

// eng2chs's first step: moves a regular file aside to backup, never over an
// existing backup, and marks the backup hidden and system. True when a
// backup that is a regular file is there afterwards (just made, or from an
// earlier run), so that file can be rebuilt from it. A folder, FIFO, device
// or socket, under either name, is treated as missing: nothing is moved,
// opened or marked. A file with other names (hard links) is copied to its
// backup instead of moved, so nothing done to the backup reaches them.
bool MoveAside(const char* file, const char* backup);

// Whether file's content at the time of the call is worth keeping until the
// original is safely back.
enum class Current {
  kPartial,  // a half-made rebuild: removed first, to free its space
  kWhole,    // a patched file: replaced in one step, removed only if that fails
};

// Puts the original back at file from backup: a copy of the backup made
// beside file and renamed over it, with normal attributes. When a whole
// file stands in the way and the copy fails, that file is removed and the
// copy tried again (a full disk). When no copy can be made, the backup
// itself is moved back into place (a rename needs no space) and given
// normal attributes: the file is then exactly as before any run, without a
// backup, and the next eng2chs starts from it. The backup is never changed.
// Prints "还原文件[%s]失败" with file, and gives kFailed, only when none of
// this worked; kRestored otherwise. A backup that is not a regular file is
// not used: kMissing, nothing printed.
Outcome PutBack(const char* file, const char* backup, Current current);

}  // namespace backup
