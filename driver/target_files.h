// The Target file list: the game files that hanhua patches, compiled in from
// driver/target_files.txt (or the list named by HANHUA_TARGET_LIST).
#pragma once

namespace driver {

inline constexpr int kPackageCount = 1698;
inline constexpr int kMovieCount = 4;
inline constexpr int kTargetFileCount = kPackageCount + kMovieCount;

// Entries 0 to 1697 are package names (".upk"), entries 1698 to 1701 movie
// names (".usm"). Entry 709 is empty and is processed like any other.
extern const char* const kTargetFiles[kTargetFileCount];

}  // namespace driver
