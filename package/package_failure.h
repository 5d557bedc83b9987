// Every way the rebuild of a package can fail, with the code PatchPackageFile
// returns for it and the lines it prints (GBK on the console, %s the shipped
// path). The stages of the package patcher return a Failure and print
// nothing; the patcher's entry reports it once (Report) and returns its code.
//
// Several failures share a code: the code tells the kind of trouble, the
// printed line tells which check failed.
#pragma once

#include <cstddef>
#include <iterator>

#include "common/messages.h"

namespace package {

enum class Failure {
  kNone,                      // the package was rebuilt
  kBackupUnopened,            // the backup cannot be opened
  kOutputUncreated,           // the shipped file cannot be created
  kWrongTag,                  // the tag at offset 0 is not a package's
  kNotCompressed,             // the compression flags are 0
  kNoSize,                    // the backup's size cannot be had
  kRefusedVersion,            // the version word is 0x00020000 or 0x00010000
  kNoBakSuffix,               // the path does not end in ".bak"
  kOutOfMemory,               // the backup's buffer cannot be allocated
  kImageAllocFailed,          // the package image cannot be allocated
  kShortRead,                 // the backup read gives fewer bytes than its size
  kBlockFailed,               // a block fails or gives the wrong length
  kUnknownCompression,        // compression flags other than 0, 1, 2
  kLzoInit,                   // the LZO library's self-check fails
  kDamaged,                   // a summary or chunk field lies outside the file
  kWriteFailed,               // writing the shipped file failed
  kNameSlotsAllocFailed,      // the name slots cannot be allocated
  kExportEntriesAllocFailed,  // the export entries cannot be allocated
  kExportTableUnreadable,     // the export table reaches beyond the package
  kImportIndexOutOfRange,     // an imported class index beyond the import table
  kOuterIndexOutOfRange,      // an outer index beyond the export table
  kNameTableUnreadable,       // the name table is damaged, or a name too long for its slot
  kImportTableUnreadable,     // the import table reaches beyond the package
  kNameIndexOutOfRange,       // a name index at or above the name count
  kClassIndexOutOfRange,      // a class index that names no export (and no import)
  kOuterChainLoops,           // an export is its own outer, directly or not
  kObjectPathTooLong,         // an Object path over 511 bytes
  kRelocationFailed,          // writing the relocated exports failed
  kExportBodyOutsideImage,    // a dialogue event export's body beyond the package
};

// How a failure's lines reach the console: as printf formats that are given
// the shipped path, or as plain texts (which the console converts whole).
enum class Print { kFormat, kText };

struct FailureReport {
  Failure failure;
  int code;                // what PatchPackageFile returns
  const char* line;        // null: nothing is printed
  const char* secondLine;  // null: one line only
  Print print;
};

// A failure to name an export is followed by this line.
inline constexpr const char* kNaming = messages::kMsgGetExportNameError;

// One entry per Failure, in the order of the enumeration.
inline constexpr FailureReport kFailureReports[] = {
    {Failure::kNone, 0, nullptr, nullptr, Print::kFormat},
    {Failure::kBackupUnopened, -1, nullptr, nullptr, Print::kFormat},
    {Failure::kOutputUncreated, -1, nullptr, nullptr, Print::kFormat},
    {Failure::kWrongTag, -1, nullptr, nullptr, Print::kFormat},
    {Failure::kNotCompressed, -1, nullptr, nullptr, Print::kFormat},
    {Failure::kNoSize, -2, nullptr, nullptr, Print::kFormat},
    {Failure::kRefusedVersion, -2, nullptr, nullptr, Print::kFormat},
    {Failure::kNoBakSuffix, -3, nullptr, nullptr, Print::kFormat},
    {Failure::kOutOfMemory, -3, nullptr, nullptr, Print::kFormat},
    {Failure::kImageAllocFailed, -3, messages::kMsgImageAllocError, nullptr, Print::kText},
    {Failure::kShortRead, -4, messages::kMsgReadFileError, nullptr, Print::kFormat},
    {Failure::kBlockFailed, -9, messages::kMsgSizeMismatch, nullptr, Print::kText},
    {Failure::kUnknownCompression, -9, messages::kMsgUnknownCompression, nullptr, Print::kText},
    {Failure::kLzoInit, 3, messages::kMsgLzoInitFailed, messages::kMsgLzoInitHint, Print::kText},
    {Failure::kDamaged, -20, messages::kMsgPackageDamaged, nullptr, Print::kFormat},
    {Failure::kWriteFailed, -21, messages::kMsgWriteFileError, nullptr, Print::kFormat},
    {Failure::kNameSlotsAllocFailed, -5, messages::kMsgNameSlotsAllocError, nullptr, Print::kFormat},
    {Failure::kExportEntriesAllocFailed, -5, messages::kMsgExportEntriesAllocError, nullptr, Print::kFormat},
    {Failure::kExportTableUnreadable, -13, messages::kMsgExportTableParseError, nullptr, Print::kFormat},
    {Failure::kImportIndexOutOfRange, -15, messages::kMsgImportIndexError, kNaming, Print::kFormat},
    {Failure::kOuterIndexOutOfRange, -15, messages::kMsgExportParseError, kNaming, Print::kFormat},
    {Failure::kNameTableUnreadable, -23, messages::kMsgNameTableParseError, nullptr, Print::kFormat},
    {Failure::kImportTableUnreadable, -24, messages::kMsgImportTableParseError, nullptr, Print::kFormat},
    {Failure::kNameIndexOutOfRange, -25, messages::kMsgNameIndexError, kNaming, Print::kFormat},
    {Failure::kClassIndexOutOfRange, -26, messages::kMsgClassIndexError, kNaming, Print::kFormat},
    {Failure::kOuterChainLoops, -27, messages::kMsgOuterLoopError, kNaming, Print::kFormat},
    {Failure::kObjectPathTooLong, -28, messages::kMsgObjectPathTooLong, kNaming, Print::kFormat},
    {Failure::kRelocationFailed, -29, messages::kMsgWriteFileError, nullptr, Print::kFormat},
    {Failure::kExportBodyOutsideImage, -30, messages::kMsgPackageDamaged, nullptr, Print::kFormat},
};

constexpr bool InEnumerationOrder() {
  for (size_t i = 0; i < std::size(kFailureReports); ++i) {
    if (kFailureReports[i].failure != Failure(i)) return false;
  }
  return std::size(kFailureReports) == size_t(Failure::kExportBodyOutsideImage) + 1;
}
static_assert(InEnumerationOrder(), "kFailureReports lists every Failure once, in order");

constexpr const FailureReport& ReportOf(Failure failure) { return kFailureReports[size_t(failure)]; }

// The code PatchPackageFile returns for failure (0 for kNone).
constexpr int CodeOf(Failure failure) { return ReportOf(failure).code; }

// Prints failure's lines, path standing for %s; nothing for kNone and for
// the failures that have no line.
void Report(Failure failure, const char* path);

}  // namespace package
