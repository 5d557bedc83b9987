#include "movie/movie_patcher.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "common/backup.h"
#include "common/bytes.h"
#include "dictionary/brx_string_dict.h"
#include "dictionary/dict_cache.h"
#include "dictionary/load_report.h"
#include "platform/platform.h"

namespace movie {

namespace {

using dictionary::FindSharedEntry;
using dictionary::ReportLoadFailureOnce;
using dictionary::SharedDictionary;

constexpr char kDictionaryName[] = "chs.txt";

// Subtitle chunk layout (offsets from the chunk's first byte).
constexpr uint8_t kSubtitleSignature[4] = {'@', 'S', 'B', 'T'};
constexpr uint32_t kSizeFieldOffset = 4;  // big-endian size of the rest of the chunk
constexpr uint32_t kChunkPrefixSize = 8;  // signature and size field
constexpr uint32_t kPatternOffset = 20;
constexpr uint32_t kTextLengthOffset = 48;  // little-endian
constexpr uint32_t kTextOffset = 52;        // zero-terminated text

// Chunk bytes 20 to 39 of a subtitle chunk that is translated: the head's
// rate word 1000 (big-endian) and its two zero words, then language 0 and
// time base 1000 (little-endian).
constexpr uint8_t kSubtitlePattern[20] = {0x00, 0x00, 0x03, 0xE8, 0, 0, 0, 0, 0, 0,
                                          0,    0,    0,    0,    0, 0, 0xE8, 0x03, 0, 0};

// Candidates lie 16 bytes apart, and a chunk is only taken when more than
// 64 bytes of the searched range remain from its first byte: the smallest
// subtitle chunk (an empty text) is 64 bytes long.
constexpr uint32_t kGridStep = 16;
constexpr uint32_t kMinimumRemainder = 64;
constexpr uint32_t kLargestSearchLength = 0x7FFFFFFF;

class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile() { platform::Unmap(&view_); }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  bool Map(platform::File file, uint32_t size) { return platform::MapReadOnly(file, size, &view_); }
  const uint8_t* data() const { return view_.data; }

 private:
  platform::MappedView view_;
};

// The subtitle text at text, up to its zero byte or the end of the movie,
// whichever comes first, as a zero-terminated key.
void ReadSubtitleKey(const uint8_t* text, const uint8_t* movieEnd, std::string* key) {
  size_t available = static_cast<size_t>(movieEnd - text);
  const void* zero = std::memchr(text, 0, available);
  size_t length = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - text) : available;
  key->assign(reinterpret_cast<const char*>(text), length);
}

// A known subtitle: where its chunk lies in the movie (the end clamped to
// the movie's size) and the dictionary entry that translates it.
struct Replacement {
  uint64_t chunkStart;
  uint64_t chunkEnd;
  const BRXStringEntry* entry;
};

// The length of the chunk that replaces a subtitle chunk: its first 52
// bytes, the translation, and zero bytes up to a multiple of 16 (at least
// two of them, counted by the text length).
uint64_t TranslatedChunkLength(uint32_t textLength) {
  return (uint64_t{textLength} + kTextOffset + 2 + 15) & ~uint64_t{15};
}

// Fills chunk with the chunk that replaces oldChunk: a new size and text
// length, the translation and the zero padding.
void BuildTranslatedChunk(const uint8_t* oldChunk, const char* text, uint32_t textLength,
                          std::vector<uint8_t>* chunk) {
  uint64_t chunkLength = TranslatedChunkLength(textLength);
  chunk->assign(oldChunk, oldChunk + kTextOffset);
  chunk->insert(chunk->end(), text, text + textLength);
  chunk->resize(chunkLength, 0);
  bytes::StoreU32BE(chunk->data() + kSizeFieldOffset, static_cast<uint32_t>(chunkLength - kChunkPrefixSize));
  bytes::StoreU32LE(chunk->data() + kTextLengthOffset, textLength + 2);
}

// The subtitles of the movie that the dictionary knows, in movie order. An
// unknown subtitle stays where it is, among the bytes around it.
std::vector<Replacement> FindReplacements(const uint8_t* movie, uint32_t size, const BRXStringDict& dictionary) {
  std::vector<Replacement> replacements;
  ForEachSubtitle(movie, size, [&](const uint8_t* chunk, uint64_t chunkEnd, const std::string& text) {
    const BRXStringEntry* entry = FindSharedEntry(dictionary, text.c_str());
    if (entry == nullptr) return;
    replacements.push_back({static_cast<uint64_t>(chunk - movie), std::min<uint64_t>(chunkEnd, size), entry});
  });
  return replacements;
}

// The length of the movie with every replacement made.
uint64_t RebuiltLength(uint32_t size, const std::vector<Replacement>& replacements) {
  uint64_t length = size;
  for (const Replacement& r : replacements)
    length = length - (r.chunkEnd - r.chunkStart) + TranslatedChunkLength(r.entry->targetLength);
  return length;
}

bool WriteAll(platform::File file, const uint8_t* data, uint64_t length) {
  return length == 0 || platform::Write(file, data, static_cast<uint32_t>(length)) == int64_t(length);
}

bool CopyAll(platform::File from, uint64_t offset, platform::File file, uint64_t length) {
  return length == 0 || platform::AppendFileRange(from, offset, file, length);
}

// Writes the movie to path with every replacement made: the unchanged
// stretches copied from the backup file by the system (movie is its mapping),
// each new chunk from a small buffer, so the movie never passes through our
// memory.
Failure WriteRebuiltMovie(const char* path, platform::File backup, const uint8_t* movie, uint32_t size,
                          const std::vector<Replacement>& replacements) {
  if (RebuiltLength(size, replacements) > UINT32_MAX) return Failure::kTooLarge;  // file sizes are 32-bit
  platform::FileHolder file(platform::CreateNew(path));
  if (!file.is_open()) return Failure::kOutputUncreated;
  std::vector<uint8_t> chunk;
  uint64_t copyFrom = 0;  // first movie byte not yet written
  for (const Replacement& r : replacements) {
    BuildTranslatedChunk(movie + r.chunkStart, r.entry->target, r.entry->targetLength, &chunk);
    if (!CopyAll(backup, copyFrom, file.get(), r.chunkStart - copyFrom) ||
        !WriteAll(file.get(), chunk.data(), chunk.size()))
      return Failure::kWriteFailed;
    copyFrom = r.chunkEnd;
  }
  return CopyAll(backup, copyFrom, file.get(), size - copyFrom) ? Failure::kNone : Failure::kWriteFailed;
}

// Rebuilds the movie from the open backup and writes it to shippedPath.
// translated tells whether the dictionary knew at least one subtitle; when
// it knew none, nothing is written.
Failure RebuildMovie(platform::File backup, const char* shippedPath, bool* translated) {
  uint32_t size = platform::FileSize(backup);
  if (size == platform::kSizeError) return Failure::kNoSize;
  MappedFile movie;
  if (!movie.Map(backup, size)) return Failure::kNotMapped;
  try {
    const BRXStringDict& dictionary = SharedDictionary(kDictionaryName);
    ReportLoadFailureOnce(dictionary);
    std::vector<Replacement> replacements = FindReplacements(movie.data(), size, dictionary);
    *translated = !replacements.empty();
    if (!*translated) return Failure::kNone;
    return WriteRebuiltMovie(shippedPath, backup, movie.data(), size, replacements);
  } catch (const std::bad_alloc&) {
    return Failure::kOutOfMemory;
  }
}

// From the backup at backupPath to the rebuilt movie at shippedPath (the
// same less ".bak"), with the backup closed again on every way out.
Failure RebuildFromBackup(const char* backupPath, std::string* shippedPath, bool* translated) {
  platform::FileHolder backupFile(platform::OpenRead(backupPath));
  if (!backupFile.is_open()) return Failure::kBackupUnopened;
  if (!backup::FilePathOf(backupPath, shippedPath)) return Failure::kNoBakSuffix;
  // A file at the shipped path is a rebuilt copy from an earlier run; the
  // movie is always rebuilt from the backup.
  platform::DeletePath(shippedPath->c_str());
  return RebuildMovie(backupFile.get(), shippedPath->c_str(), translated);
}

// Prints the line that the table gives failure (none of the movie's
// failures has one).
void Report(Failure failure) {
  const char* line = kFailureReports[size_t(failure)].line;
  if (line != nullptr) platform::ConsoleWrite(line);
}

}  // namespace

const uint8_t* FindSubtitleChunk(const uint8_t* start, uint32_t length) {
  if (start == nullptr || length > kLargestSearchLength || length <= kMinimumRemainder) return nullptr;
  uint32_t bound = length - kMinimumRemainder;
  for (uint32_t at = 0; at < bound; at += kGridStep) {
    const uint8_t* candidate = start + at;
    if (std::memcmp(candidate, kSubtitleSignature, sizeof kSubtitleSignature) == 0 &&
        std::memcmp(candidate + kPatternOffset, kSubtitlePattern, sizeof kSubtitlePattern) == 0)
      return candidate;
  }
  return nullptr;
}

void ForEachSubtitle(const uint8_t* movie, uint32_t size, const SubtitleVisitor& visit) {
  const uint8_t* movieEnd = movie + size;
  std::string text;
  const uint8_t* chunk = FindSubtitleChunk(movie, size);
  while (chunk != nullptr) {
    uint64_t chunkStart = static_cast<uint64_t>(chunk - movie);
    // Computed in 64 bits, the stated end always lies at least 8 bytes past
    // the chunk's start, so the search always moves forward; a size that
    // reaches beyond the movie ends the search below.
    uint64_t chunkEnd = chunkStart + kChunkPrefixSize + bytes::LoadU32BE(chunk + kSizeFieldOffset);
    ReadSubtitleKey(chunk + kTextOffset, movieEnd, &text);
    visit(chunk, chunkEnd, text);
    // The grid starts again at the end of the chunk.
    if (chunkEnd >= size) break;
    chunk = FindSubtitleChunk(movie + chunkEnd, static_cast<uint32_t>(size - chunkEnd));
  }
}

backup::Outcome RebuildMovieFile(char* backupPath) {
  if (backupPath == nullptr) return backup::Outcome::kMissing;
  std::string shippedPath;
  bool translated = false;
  const Failure failure = RebuildFromBackup(backupPath, &shippedPath, &translated);
  Report(failure);
  // Where the backup cannot be opened or has no ".bak", nothing was touched.
  if (failure == Failure::kBackupUnopened || failure == Failure::kNoBakSuffix) return backup::Outcome::kMissing;
  if (failure == Failure::kNone && translated) return backup::Outcome::kPatched;
  // The shipped movie becomes a plain copy of the backup: all it can be when
  // nothing is known, the original back after a failure. The backup is
  // closed by now, so that on Windows it can be moved back if need be.
  const backup::Outcome outcome = backup::PutBack(shippedPath.c_str(), backupPath, backup::Current::kPartial);
  if (failure == Failure::kNone && outcome == backup::Outcome::kRestored) return backup::Outcome::kPatched;
  return outcome;
}

}  // namespace movie

void PatchMovieFile(char* backupPath) { movie::RebuildMovieFile(backupPath); }
