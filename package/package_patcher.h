// The package patcher's entry: rebuilds one engine package from its backup.
//
// PatchPackageFile opens the backup (the shipped package moved aside to
// "<name>.bak"), builds the package's fully uncompressed form in memory,
// writes it under the shipped name (package_decompress.h) and hands the same
// memory to the name and export table stage (package_tables.h), which
// rewrites the dialogue exports in the file.
//
// A package that cannot be rebuilt never breaks the game: whenever the
// result is not 0 and the shipped path was touched, the shipped file is put
// back as a byte-identical copy of the backup with normal attributes (the
// backup itself stays hidden and system). Where the backup cannot be opened
// or its path has no ".bak" suffix, nothing is deleted or created.
//
// Every failure, with the code returned and the line printed for it, is
// listed in package_failure.h. A failure prints its line (if it has one)
// once, after the files are closed and before the shipped file is put back.
//
// After a failure the shipped file is put back by backup::PutBack: the
// partial output is removed, then a copy of the backup takes its place, or,
// when no copy can be made (a full disk), the backup itself is moved back.
// Only when none of that works does "还原文件[%s]失败\n" follow the
// failure's own line; the failure's code is returned unchanged.
#pragma once

#include "common/backup.h"
#include "package/package_failure.h"

namespace package {

// backupPath: a modifiable zero-terminated copy of the backup's path. Its
// ".bak" suffix is cut off in place, so that afterwards it names the shipped
// file. Returns CodeOf the failure, 0 when the package was rebuilt.
int PatchPackageFile(char* backupPath);
// The same, telling also what became of the shipped file: kPatched for code
// 0; after a failure kRestored or kFailed as backup::PutBack gives them;
// kMissing when nothing was touched (the backup cannot be opened, the path
// has no ".bak").
int PatchPackageFile(char* backupPath, backup::Outcome* outcome);
// The outcome alone, for driver::Patchers.
backup::Outcome RebuildPackageFile(char* backupPath);

}  // namespace package
