#include "package/package_decompress.h"

#include <lzo/lzo1x.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <memory>

#include "common/bytes.h"
#include "package/package_failure.h"
#include "package/package_pipeline.h"
#include "package/zlib_block.h"
#include "platform/parallel.h"

namespace package {

namespace {

// A backup larger than this is read in pieces of this size (ReadInPieces).
constexpr uint32_t kReadPiece = 1u << 20;

constexpr uint32_t kPackageTag = 0x9E2A83C1u;
constexpr uint32_t kRefusedVersionA = 0x00020000u;
constexpr uint32_t kRefusedVersionB = 0x00010000u;
constexpr uint32_t kClearedPackageFlags = 0xF0FFFFFFu;  // bits 24 to 27 cleared
constexpr uint32_t kZlib = 1;
constexpr uint32_t kLzo = 2;
constexpr uint64_t kChunkRecordSize = 16;
constexpr uint64_t kChunkHeaderSize = 16;
constexpr uint64_t kBlockPairSize = 8;
constexpr uint64_t kGenerationSize = 12;
// Positions in a package are 32-bit, and the output's size is taken (to
// append relocated exports) with a 32-bit query whose failure value is
// 0xFFFFFFFF, so the output must stay below that.
constexpr uint64_t kMaxOutputSize = 0xFFFFFFFEu;
// No block inflates to more than 1032 times its size (the deflate limit;
// LZO1X stays far below it), so no genuine package grows by more than that.
// A chunk size beyond it is damage, and writing it would only fill the disk
// with zeros.
constexpr uint64_t kMaxExpansion = 1032;
// More threads than this gain nothing on a package's few blocks per chunk.
constexpr unsigned kMaxThreads = 8;
constexpr char kThreadsVariable[] = "HANHUA_THREADS";

std::atomic<unsigned> g_forcedThreads{0};

// The backup in memory: size bytes of file data (followed by 4 zero bytes
// that no field may use).
struct Backup {
  uint8_t* data;
  uint64_t size;

  bool Has(uint64_t offset, uint64_t length) const { return bytes::InBounds(offset, length, size); }
  uint32_t Word(uint64_t offset) const { return bytes::LoadU32LE(data + offset); }
};

struct Summary {
  uint64_t packageFlagsAt = 0;      // 16 + L
  uint64_t compressionFlagsAt = 0;  // P + 8, not 0 once the summary was read that far
  uint32_t compression = 0;
  uint32_t chunkCount = 0;
  uint64_t chunkTable = 0;     // P + 16
  uint64_t chunkTableEnd = 0;  // P + 16 + 16N
};

// Checks the summary and reads where its chunk table lies. A summary with
// compression flags 0 (an uncompressed package) is read up to them and
// gives kNone; the chunk table is not looked at then.
Failure ReadSummary(Backup& in, Summary* summary) {
  if (!in.Has(0, 4) || in.Word(0) != kPackageTag) return Failure::kWrongTag;
  if (!in.Has(4, 4)) return Failure::kDamaged;
  uint32_t version = in.Word(4);
  if (version == kRefusedVersionA || version == kRefusedVersionB) return Failure::kRefusedVersion;

  if (!in.Has(12, 4)) return Failure::kDamaged;
  uint32_t folderLength = in.Word(12);
  if (folderLength >= 0x80000000u) return Failure::kDamaged;  // a negative length
  uint64_t flagsAt = 16 + uint64_t(folderLength);
  uint64_t generationCountAt = 80 + uint64_t(folderLength);
  if (!in.Has(flagsAt, 4) || !in.Has(generationCountAt, 4)) return Failure::kDamaged;
  summary->packageFlagsAt = flagsAt;

  uint64_t p = generationCountAt + 4 + kGenerationSize * in.Word(generationCountAt);
  if (!in.Has(p, 16)) return Failure::kDamaged;
  summary->compressionFlagsAt = p + 8;
  summary->compression = in.Word(p + 8);
  summary->chunkCount = in.Word(p + 12);
  if (summary->compression == 0) return Failure::kNone;

  summary->chunkTable = p + 16;
  summary->chunkTableEnd = summary->chunkTable + kChunkRecordSize * summary->chunkCount;
  if (!in.Has(summary->chunkTable, kChunkRecordSize * summary->chunkCount)) return Failure::kDamaged;
  return Failure::kNone;
}

// A stream that inflates to fewer bytes than its slot is accepted; the rest
// of the slot is zeroed when filled is set, otherwise left as it was.
// False when the stream fails.
bool DecompressZlib(const uint8_t* src, uint32_t srcLength, uint8_t* dst, uint32_t dstLength,
                    bool filled) {
  return filled ? InflateZlibBlockFilled(src, srcLength, dst, dstLength)
                : InflateZlibBlock(src, srcLength, dst, dstLength);
}

// The LZO library's self-check, made once, before the first LZO block and
// before any thread decompresses one.
bool LzoReady() {
  static const bool ready = lzo_init() == LZO_E_OK;
  return ready;
}

// False when the block fails or gives another length. LzoReady() must be
// true.
bool DecompressLzo(const uint8_t* src, uint32_t srcLength, uint8_t* dst, uint32_t dstLength) {
  // The checking decompressor never writes more than dstLength bytes nor
  // reads beyond the block. A complete stream with bytes left over behind
  // it is accepted when its length is right; any other error is a damaged
  // block, whatever length it reached.
  lzo_uint produced = dstLength;
  int result = lzo1x_decompress_safe(src, srcLength, dst, &produced, nullptr);
  bool complete = result == LZO_E_OK || result == LZO_E_INPUT_NOT_CONSUMED;
  return complete && produced == dstLength;
}

// One block of a chunk: its compressed bytes in the backup and its slot in
// the uncompressed package. The slot's bytes from fresh on lie beyond every
// earlier block's slot (fresh is 0 unless the slot overlaps an earlier one).
struct BlockJob {
  const uint8_t* source;
  uint32_t sourceLength;
  uint8_t* destination;
  uint32_t destinationLength;
  uint32_t fresh;
};

// Blocks are laid out and decompressed this many at a time, so that the
// list of jobs needs no memory of its own however many blocks a damaged
// block table claims.
constexpr size_t kBlockBatch = 64;

struct BlockBatch {
  uint32_t compression = 0;
  BlockJob jobs[kBlockBatch];
  bool done[kBlockBatch];
  size_t count = 0;
  bool overlaps = false;  // a slot reaches back into an earlier block's slot
};

// Decompresses one block into its slot; false when it fails. With filled
// set the whole slot is written (a short zlib stream's rest zeroed; LZO
// fills it exactly or fails).
bool DecompressBlock(uint32_t compression, const BlockJob& job, bool filled) {
  return compression == kZlib
             ? DecompressZlib(job.source, job.sourceLength, job.destination, job.destinationLength, filled)
             : DecompressLzo(job.source, job.sourceLength, job.destination, job.destinationLength);
}

// Decompresses the blocks of batch (in table order) and returns the failure
// of the first one in table order that fails (kNone when none does), so
// that a failure is reported as one thread working through the table would
// report it.
//
// The package image is not cleared beforehand: bytes no block fills must be
// zero, so each block writes its whole slot. Where slots overlap (an entry
// longer than the block size reaches into the next block's slot), a later
// block writes only the bytes it produces over the earlier ones, so such a
// batch runs one block after another, in order, each slot's fresh part
// zeroed just before its block, and the later block's bytes win as they
// would over a cleared image. Other batches run on up to threads threads.
Failure DecompressBatch(BlockBatch& batch, unsigned threads) {
  if (batch.count == 0) return Failure::kNone;
  if (batch.compression == kLzo && !LzoReady()) return Failure::kLzoInit;
  if (batch.overlaps) {
    for (size_t k = 0; k < batch.count; ++k) {
      const BlockJob& job = batch.jobs[k];
      std::memset(job.destination + job.fresh, 0, job.destinationLength - job.fresh);
      if (!DecompressBlock(batch.compression, job, false)) return Failure::kBlockFailed;
    }
    return Failure::kNone;
  }
  if (threads <= 1 || batch.count < 2) {
    for (size_t k = 0; k < batch.count; ++k) {
      if (!DecompressBlock(batch.compression, batch.jobs[k], true)) return Failure::kBlockFailed;
    }
    return Failure::kNone;
  }
  platform::ParallelFor(batch.count, threads, [&batch](size_t k) {
    batch.done[k] = DecompressBlock(batch.compression, batch.jobs[k], true);
  });
  for (size_t k = 0; k < batch.count; ++k) {
    if (!batch.done[k]) return Failure::kBlockFailed;
  }
  return Failure::kNone;
}

// Why a walk over the chunk and block tables stopped short of their end:
// the first thing, in table order, that rules out decompressing further.
enum class LayoutStop { kNone, kUnknownCompression, kDamaged };

// Called for every block that can be decompressed, in table order: its
// compressed bytes and its slot, as an offset in the uncompressed package.
// A failure ends the walk with that failure.
using BlockVisitor = std::function<Failure(const uint8_t* source, uint32_t sourceLength,
                                       uint64_t destination, uint32_t destinationLength)>;

// Where the uncompressed package's parts come from, as a walk over the
// tables lays them out.
struct Layout {
  uint64_t remainingSize = 0;  // the summary's bytes between the chunk table and chunk 0
  uint64_t size = 0;           // bytes laid out: the summary and every chunk reached
  LayoutStop stop = LayoutStop::kNone;
};

// Ends a walk: notes why in layout->stop.
Failure Stop(Layout* layout, LayoutStop why) {
  layout->stop = why;
  return Failure::kNone;
}

// Walks the chunk table and the block table of every chunk in table order,
// checking each field before it is used, and lays the uncompressed package
// out: the summary up to the chunk count, the summary's remaining bytes, and
// every chunk's U bytes, each block of a chunk at j times the chunk's block
// size. Per chunk: its position and size (the output may not grow beyond
// limit), its header and block table; per block: the compression flags, then
// the block's data and slot. Stops at the first of these that fails, noting
// why in layout->stop; a chunk whose size passed counts in layout->size even
// when its blocks then stop the walk. Calls visit for every block before the
// stop and returns visit's first failure, or kNone.
Failure WalkChunks(const Backup& in, const Summary& summary, uint64_t limit, Layout* layout,
               const BlockVisitor& visit) {
  *layout = Layout{};
  uint64_t size = summary.chunkTable;  // the summary up to the chunk count
  layout->size = size;
  if (size > limit) {
    return Stop(layout, LayoutStop::kDamaged);
  }
  for (uint32_t i = 0; i < summary.chunkCount; ++i) {
    const uint64_t record = summary.chunkTable + kChunkRecordSize * i;
    const uint32_t chunkSize = in.Word(record + 4);
    const uint64_t c = in.Word(record + 8);
    if (i == 0) {
      if (c < summary.chunkTableEnd || c > in.size || size + (c - summary.chunkTableEnd) > limit) {
        return Stop(layout, LayoutStop::kDamaged);
      }
      layout->remainingSize = c - summary.chunkTableEnd;
      size += layout->remainingSize;
      layout->size = size;
    }
    if (size + chunkSize > limit) {
      return Stop(layout, LayoutStop::kDamaged);
    }
    const uint64_t chunkStart = size;
    size += chunkSize;
    layout->size = size;

    if (!in.Has(c, kChunkHeaderSize) || in.Word(c + 4) == 0) {
      return Stop(layout, LayoutStop::kDamaged);
    }
    const uint64_t blockSize = in.Word(c + 4);
    const uint64_t total = in.Word(c + 12);
    const uint64_t blockCount = (total + blockSize - 1) / blockSize;  // 64-bit: no wrap to 0
    const uint64_t pairs = c + kChunkHeaderSize;
    if (!in.Has(pairs, kBlockPairSize * blockCount)) {
      return Stop(layout, LayoutStop::kDamaged);
    }
    uint64_t data = pairs + kBlockPairSize * blockCount;
    for (uint64_t j = 0; j < blockCount; ++j) {
      if (summary.compression != kZlib && summary.compression != kLzo) {
        return Stop(layout, LayoutStop::kUnknownCompression);
      }
      const uint32_t packed = in.Word(pairs + kBlockPairSize * j);
      const uint32_t unpacked = in.Word(pairs + kBlockPairSize * j + 4);
      const uint64_t destination = j * blockSize;
      if (!in.Has(data, packed) || !bytes::InBounds(destination, unpacked, chunkSize)) {
        return Stop(layout, LayoutStop::kDamaged);
      }
      if (visit) {
        Failure failure = visit(in.data + data, packed, chunkStart + destination, unpacked);
        if (failure != Failure::kNone) return failure;
      }
      data += packed;
    }
  }
  return Failure::kNone;
}

// Decompresses the blocks that layout reached into image, a batch at a time,
// and returns the first failure in table order: a block that does not
// decompress, or else what stopped the walk. The image's bytes before
// written (the summary) are set; on success every later byte up to
// layout.size + 4 is written too: by a block, or zeroed where no block's
// slot lies.
Failure DecompressBlocks(const Backup& in, const Summary& summary, uint64_t limit,
                         const Layout& layout, uint8_t* image, uint64_t written, unsigned threads) {
  // One reference is all the visitor holds, so that it needs no memory of
  // its own. Slots come in increasing order of their start; covered is the
  // end of the furthest slot so far (or of the summary).
  struct Sink {
    BlockBatch batch;
    uint8_t* image;
    unsigned threads;
    uint64_t covered;
  } sink{{}, image, threads, written};
  sink.batch.compression = summary.compression;
  Layout again;
  Failure failure = WalkChunks(in, summary, limit, &again,
                               [&sink](const uint8_t* source, uint32_t sourceLength, uint64_t destination,
                                       uint32_t destinationLength) {
                                 BlockBatch& batch = sink.batch;
                                 const uint64_t end = destination + destinationLength;
                                 uint32_t fresh = 0;
                                 if (destination > sink.covered) {
                                   std::memset(sink.image + sink.covered, 0, destination - sink.covered);
                                 } else if (destination < sink.covered) {
                                   batch.overlaps = true;
                                   fresh = uint32_t(std::min(sink.covered, end) - destination);
                                 }
                                 sink.covered = std::max(sink.covered, end);
                                 batch.jobs[batch.count++] = BlockJob{source, sourceLength, sink.image + destination,
                                                                      destinationLength, fresh};
                                 if (batch.count < kBlockBatch) return Failure::kNone;
                                 Failure batchFailure = DecompressBatch(batch, sink.threads);
                                 batch.count = 0;
                                 batch.overlaps = false;
                                 return batchFailure;
                               });
  if (failure == Failure::kNone) failure = DecompressBatch(sink.batch, threads);
  if (failure != Failure::kNone) return failure;
  if (layout.size + 4 > sink.covered) {
    std::memset(image + sink.covered, 0, layout.size + 4 - sink.covered);
  }
  if (layout.stop == LayoutStop::kUnknownCompression) return Failure::kUnknownCompression;
  if (layout.stop == LayoutStop::kDamaged) return Failure::kDamaged;
  return Failure::kNone;
}

// Reads size bytes from the start of file into buffer: a file larger than
// one piece in pieces, on as many threads as decompress (copying a backup
// out of the system's cache is a good part of building its image, and the
// thread that waits for the image helps with it), a smaller one with one
// read.
bool ReadInPieces(platform::File file, uint8_t* buffer, uint32_t size) {
  const unsigned threads = DecompressionThreads();
  if (threads == 1 || size <= kReadPiece) return platform::Read(file, buffer, size) == int64_t(size);
  const size_t pieces = (size_t(size) + kReadPiece - 1) / kReadPiece;
  std::atomic<bool> whole{true};
  platform::ParallelFor(pieces, threads, [&](size_t i) {
    const uint64_t at = uint64_t(i) * kReadPiece;
    const uint32_t count = uint32_t(std::min<uint64_t>(kReadPiece, size - at));
    if (platform::ReadAt(file, at, buffer + at, count) != int64_t(count)) whole = false;
  });
  return whole;
}

// Reads the whole of file into a buffer of its size plus 4 zero bytes. A
// file larger than budget is not read (kOutOfMemory).
Failure ReadWhole(platform::File file, ImageBytes* buffer, uint32_t* size, uint64_t budget = kNoBudget) {
  *size = platform::FileSize(file);
  if (*size == platform::kSizeError) return Failure::kNoSize;
  if (*size > budget) return Failure::kOutOfMemory;
  *buffer = AllocateUnfilledImageBytes(uint64_t(*size) + 4);
  if (!*buffer) return Failure::kOutOfMemory;
  if (!ReadInPieces(file, buffer->get(), *size)) return Failure::kShortRead;
  std::memset(buffer->get() + *size, 0, 4);
  return Failure::kNone;
}

// The largest uncompressed package made from a backup of size bytes.
uint64_t OutputLimit(uint64_t size) { return std::min(kMaxOutputSize, kMaxExpansion * size); }

// Builds the uncompressed form of the compressed package in (its summary
// already read) in memory: one buffer of its size plus 4 bytes, which every
// block is decompressed into directly (the bytes between and after them
// zeroed). The summary is copied changed to describe an uncompressed
// package: the package flag bits that describe the compressed form cleared,
// compression flags and chunk count 0. A package whose backup and image
// would take more than budget bytes together is not built (kOutOfMemory).
Failure BuildUncompressed(const Backup& in, const Summary& summary, ImageBytes* image, uint32_t* imageSize,
                          uint64_t budget = kNoBudget) {
  const uint64_t limit = OutputLimit(in.size);
  Layout layout;
  WalkChunks(in, summary, limit, &layout, nullptr);
  if (layout.size > budget - std::min(budget, in.size)) return Failure::kOutOfMemory;
  ImageBytes out = AllocateUnfilledImageBytes(layout.size + 4);  // below 4 GiB: layout.size <= limit
  if (!out) return Failure::kImageAllocFailed;
  std::memcpy(out.get(), in.data, summary.chunkTable);
  bytes::StoreU32LE(out.get() + summary.packageFlagsAt,
                    in.Word(summary.packageFlagsAt) & kClearedPackageFlags);
  bytes::StoreU32LE(out.get() + summary.compressionFlagsAt, 0);
  bytes::StoreU32LE(out.get() + summary.compressionFlagsAt + 4, 0);
  if (layout.remainingSize != 0) {
    std::memcpy(out.get() + summary.chunkTable, in.data + summary.chunkTableEnd, layout.remainingSize);
  }
  const uint64_t written = summary.chunkTable + layout.remainingSize;
  Failure failure = DecompressBlocks(in, summary, limit, layout, out.get(), written, DecompressionThreads());
  if (failure != Failure::kNone) return failure;
  *image = std::move(out);
  *imageSize = uint32_t(layout.size);
  return Failure::kNone;
}

}  // namespace

bool TakeImage(ImageBytes data, uint32_t size, PackageImage* image) {
  uint64_t folderLength = size >= 16 ? bytes::LoadU32LE(data.get() + 12) : 0;
  if (size < 16 || !bytes::InBounds(20 + folderLength, 24, size)) return false;
  const uint8_t* fields = data.get() + 20 + folderLength;
  image->nameCount = bytes::LoadU32LE(fields);
  image->nameOffset = bytes::LoadU32LE(fields + 4);
  image->exportCount = bytes::LoadU32LE(fields + 8);
  image->exportOffset = bytes::LoadU32LE(fields + 12);
  image->importCount = bytes::LoadU32LE(fields + 16);
  image->importOffset = bytes::LoadU32LE(fields + 20);
  image->data = std::move(data);
  image->size = size;
  return true;
}

unsigned ChooseDecompressionThreads(const char* setting, unsigned processors) {
  if (setting != nullptr && setting[0] >= '1' && setting[0] <= '0' + char(kMaxThreads) &&
      setting[1] == '\0') {
    return unsigned(setting[0] - '0');
  }
  return std::clamp(processors, 1u, kMaxThreads);
}

unsigned DecompressionThreads() {
  if (unsigned forced = g_forcedThreads.load(std::memory_order_relaxed); forced != 0) return forced;
  static const unsigned chosen = [] {
    char value[16];
    const bool set = platform::EnvironmentValue(kThreadsVariable, value, sizeof value) != 0;
    return ChooseDecompressionThreads(set ? value : nullptr, platform::ProcessorCount());
  }();
  return chosen;
}

void SetDecompressionThreads(unsigned threads) {
  g_forcedThreads.store(std::min(threads, kMaxThreads), std::memory_order_relaxed);
}

Failure BuildPackageImage(platform::File backup, ImageBytes* image, uint32_t* size, uint64_t budget) {
  // The backup is let go as soon as its uncompressed form is built.
  ImageBytes buffer;
  uint32_t backupSize = 0;
  Failure failure = ReadWhole(backup, &buffer, &backupSize, budget);
  if (failure != Failure::kNone) return failure;
  Backup in{buffer.get(), backupSize};
  Summary summary;
  failure = ReadSummary(in, &summary);
  if (failure != Failure::kNone) return failure;
  if (summary.compression == 0) return Failure::kNotCompressed;
  return BuildUncompressed(in, summary, image, size, budget);
}

Failure WriteUncompressedPackage(platform::File backup, platform::File output, const char* outputPath,
                                 PackageImage* image, TranslatedAhead* translated) {
  const bool prepared = TakePreparedImage(outputPath, image, translated);
  ImageBytes uncompressed;
  uint32_t size = image->size;
  Failure failure = Failure::kNone;
  if (!prepared) failure = BuildPackageImage(backup, &uncompressed, &size);
  if (failure == Failure::kNone) NoteImageSize(size);
  // The packages ahead are built while this one is written.
  ResumePreparing();
  if (failure != Failure::kNone) return failure;
  // A new file: its position is at its start.
  const uint8_t* bytes = prepared ? image->data.get() : uncompressed.get();
  if (platform::Write(output, bytes, size) != int64_t(size)) return Failure::kWriteFailed;
  // The summary was read whole from the backup, so its table fields are in.
  if (!prepared && !TakeImage(std::move(uncompressed), size, image)) return Failure::kDamaged;
  return Failure::kNone;
}

Failure LoadPackageImage(const char* path, PackageImage* image, bool* compressed) {
  *compressed = false;
  ImageBytes buffer;
  uint32_t size = 0;
  {
    platform::FileHolder file(platform::OpenRead(path));
    if (!file.is_open()) return Failure::kBackupUnopened;
    Failure failure = ReadWhole(file.get(), &buffer, &size);
    if (failure != Failure::kNone) return failure;
  }

  Backup in{buffer.get(), size};
  Summary summary;
  Failure failure = ReadSummary(in, &summary);
  if (failure != Failure::kNone) return failure;

  if (summary.compression != 0) {
    *compressed = true;
    ImageBytes built;
    failure = BuildUncompressed(in, summary, &built, &size);
    if (failure != Failure::kNone) return failure;
    buffer = std::move(built);
  }
  // The file's buffer is the image itself when the file is not compressed.
  if (!TakeImage(std::move(buffer), size, image)) return Failure::kDamaged;
  return Failure::kNone;
}

}  // namespace package
