// The movie subtitle patcher: rebuilds one movie file from its backup with
// its subtitle lines translated through the dictionary "chs.txt".
//
// A movie is a run of chunks, each a four-byte ASCII signature, a 32-bit
// big-endian size (the bytes of the chunk after the size field) and a body.
// Subtitle lines travel in "@SBT" chunks. Only subtitle chunks of language 0
// with a rate and time base of 1000 are translated; every other byte of the
// movie is copied unchanged and in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <string>

#include "common/backup.h"

namespace movie {

// Every way the rebuild of a movie can fail. A failed movie is put back as
// a copy of its backup, so the game shows its own subtitles.
enum class Failure {
  kNone,             // rebuilt (or, with no subtitle known, a plain copy)
  kBackupUnopened,   // the backup cannot be opened
  kNoBakSuffix,      // the path does not end in ".bak"
  kNoSize,           // the backup's size cannot be had
  kNotMapped,        // the backup cannot be mapped (an empty backup cannot)
  kOutOfMemory,      // memory is short for the dictionary or the replacements
  kTooLarge,         // the rebuilt movie would not fit a 32-bit file size
  kOutputUncreated,  // the shipped file cannot be created
  kWriteFailed,      // not every byte of the rebuilt movie reached the file
};

struct FailureReport {
  Failure failure;
  int code;          // the failure's number, for a caller that tells it
  const char* line;  // what the patcher prints; null: nothing
};

// One entry per Failure, in the order of the enumeration. The movie patcher
// prints nothing of its own for any of them.
inline constexpr FailureReport kFailureReports[] = {
    {Failure::kNone, 0, nullptr},
    {Failure::kBackupUnopened, -1, nullptr},
    {Failure::kNoBakSuffix, -2, nullptr},
    {Failure::kNoSize, -3, nullptr},
    {Failure::kNotMapped, -4, nullptr},
    {Failure::kOutOfMemory, -5, nullptr},
    {Failure::kTooLarge, -6, nullptr},
    {Failure::kOutputUncreated, -7, nullptr},
    {Failure::kWriteFailed, -8, nullptr},
};

constexpr bool InEnumerationOrder() {
  for (size_t i = 0; i < std::size(kFailureReports); ++i) {
    if (kFailureReports[i].failure != Failure(i)) return false;
  }
  return std::size(kFailureReports) == size_t(Failure::kWriteFailed) + 1;
}
static_assert(InEnumerationOrder(), "kFailureReports lists every Failure once, in order");

constexpr int CodeOf(Failure failure) { return kFailureReports[size_t(failure)].code; }

// PatchMovieFile (below), telling what became of the shipped movie:
// kPatched when it was translated, or is a plain copy because no subtitle
// was known; kRestored or kFailed after a failure, as backup::PutBack gives
// them; kMissing when nothing was touched.
backup::Outcome RebuildMovieFile(char* backupPath);

// The first subtitle chunk in the byte range [start, start + length) that is
// a candidate for translation, or nullptr. Candidates lie on a 16-byte grid
// counted from start; a chunk is recognised only when more than 64 bytes of
// the range remain from its first byte. A candidate matches when it begins
// with "@SBT" and its bytes 20 to 39 hold the subtitle pattern: rate 1000
// (big-endian), two zero words, language 0 and time base 1000 (both
// little-endian). A length above 2^31 - 1 gives nullptr. Reads nothing
// outside the range.
const uint8_t* FindSubtitleChunk(const uint8_t* start, uint32_t length);

// What ForEachSubtitle hands over for each subtitle chunk: its first byte,
// its end as its size field states it (a position from the movie's start,
// which may lie beyond the movie), and its text (the bytes from chunk byte
// 52 up to the first zero byte or the end of the movie).
using SubtitleVisitor =
    std::function<void(const uint8_t* chunk, uint64_t chunkEnd, const std::string& text)>;

// Walks the subtitle chunks of a movie (size bytes) in order, exactly as the
// patcher does: the first FindSubtitleChunk over the whole movie, then each
// next one from the stated end of the chunk before, until none is left or a
// stated end reaches the end of the movie. Calls visit for each.
void ForEachSubtitle(const uint8_t* movie, uint32_t size, const SubtitleVisitor& visit);

}  // namespace movie

// Rebuilds the movie whose backup is backupPath (a path ending in ".bak")
// under the same path less ".bak". The backup is only read. Every subtitle
// chunk that movie::FindSubtitleChunk finds and whose text the dictionary knows is
// replaced by a chunk of the same head carrying the translation.
//
// The shipped movie is never left missing or partial: when no subtitle was
// translated, or when anything fails after the shipped file was deleted, the
// shipped movie is put back from the backup by backup::PutBack (a plain
// copy with normal attributes, or the backup itself moved back when no copy
// can be made). When the backup cannot be opened or the path does not end
// in ".bak", nothing is deleted or written. Prints nothing of its own; only
// a movie that cannot be put back at all is named ("还原文件[%s]失败").
void PatchMovieFile(char* backupPath);
