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
// Result codes. Each failure prints at most the line shown (GBK on the
// console, %s the shipped path) and returns at once; the files are closed and
// every buffer released on every path.
//
//   code  printed                        cause
//   ----  -----------------------------  -----------------------------------
//      0  nothing                        the package was rebuilt
//     -1  nothing                        the backup cannot be opened; the
//                                        shipped file cannot be created; the
//                                        tag at offset 0 is wrong; the
//                                        compression flags are 0
//     -2  nothing                        the backup's size cannot be had; the
//                                        version word is 0x00020000 or
//                                        0x00010000
//     -3  nothing                        the path does not end in ".bak"; the
//                                        backup buffer cannot be allocated
//     -3  "非配内存失败\n"               the package image (the uncompressed
//                                        package, built in memory) cannot be
//                                        allocated
//     -4  "读取文件[%s]错误\n"           the backup read returns fewer bytes
//                                        than its size
//     -9  "解压大小不符\n"               a zlib block fails; an LZO block fails
//                                        or gives another length than its
//                                        block table entry
//     -9  "未知压缩类型\n"               compression flags other than 0, 1, 2
//                                        (noticed at the first block)
//      3  "internal error - lzo_init()   the LZO library's self-check fails
//         failed !!!\n" and a hint line
//    -20  "文件[%s]数据损坏\n"           the backup is damaged: a summary
//                                        field, the chunk table, a chunk
//                                        header, a block table or a block's
//                                        data lies outside the file; the
//                                        folder-name length is negative; the
//                                        first chunk starts inside the chunk
//                                        table; a block size of 0; a block
//                                        whose output would not lie inside
//                                        its chunk; an output of 4 GiB or more,
//                                        or more than 1032 times the backup's
//                                        size (more than compressed data can
//                                        hold)
//    -21  "写入文件[%s]错误\n"           writing the shipped file failed
//                                        (disk full, for instance)
//
// Chunks are decompressed straight into the package image, which is never
// read back from the file: codes -12 and -22 are not used.
//
// Codes of the name and export table stage (package_tables.h); each counts
// as a failure of the package like those above:
//     -5  "new pNamestring err\n" or    the name slots or the export entries
//         "new EXPORTENTRY err\n"        cannot be allocated
//    -13  "ExprotTable 解析错误\n"      the export table cannot be read
//    -15  "dwtypeNameIndex err\n" or    an export cannot be named (class
//         "Export 解析错误\n", then      index beyond the import table,
//         "GetExportName err\n"          outer index beyond the exports)
//    -23  to -30                         the table stage's own refusals of
//                                        damaged tables, indexes, outer loops,
//                                        over-long Object paths and failed
//                                        relocation writes (each with its
//                                        message, listed in package_tables.h)
//
// After a failure the shipped file is put back by backup::PutBack: the
// partial output is removed, then a copy of the backup takes its place, or,
// when no copy can be made (a full disk), the backup itself is moved back.
// Only when none of that works does "还原文件[%s]失败\n" follow the
// failure's own line; the failure's code is returned unchanged.
#pragma once

#include "common/backup.h"

namespace package {

inline constexpr int kPatchOk = 0;
inline constexpr int kPatchNotOpened = -1;      // also the output cannot be created
inline constexpr int kPatchWrongTag = -1;
inline constexpr int kPatchNotCompressed = -1;
inline constexpr int kPatchNoSize = -2;
inline constexpr int kPatchRefusedVersion = -2;
inline constexpr int kPatchNoBakSuffix = -3;
inline constexpr int kPatchOutOfMemory = -3;    // backup buffer or package image
inline constexpr int kPatchShortRead = -4;
inline constexpr int kPatchBlockFailed = -9;    // also unknown compression flags
inline constexpr int kPatchLzoInit = 3;
inline constexpr int kPatchDamaged = -20;
inline constexpr int kPatchWriteFailed = -21;

// backupPath: a modifiable zero-terminated copy of the backup's path. Its
// ".bak" suffix is cut off in place, so that afterwards it names the shipped
// file. Returns one of the codes above.
int PatchPackageFile(char* backupPath);
// The same, telling also what became of the shipped file: kPatched for code
// 0; after a failure kRestored or kFailed as backup::PutBack gives them;
// kMissing when nothing was touched (the backup cannot be opened, the path
// has no ".bak").
int PatchPackageFile(char* backupPath, backup::Outcome* outcome);
// The outcome alone, for driver::Patchers.
backup::Outcome RebuildPackageFile(char* backupPath);

}  // namespace package
