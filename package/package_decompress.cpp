#include "package/package_decompress.h"

#include <lzo/lzo1x.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "common/bytes.h"
#include "common/messages.h"
#include "package/package_patcher.h"
#include "platform/parallel.h"

namespace package {

namespace {

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
// The output is read back with a 32-bit size query whose failure value is
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

struct FreeBytes {
  void operator()(uint8_t* p) const { std::free(p); }
};
using ZeroedBuffer = std::unique_ptr<uint8_t, FreeBytes>;

// size bytes, all zero; empty when memory is short. calloc leaves the pages
// of a large buffer untouched until they are used.
ZeroedBuffer AllocateZeroed(uint64_t size) {
  if (size > SIZE_MAX) return nullptr;
  return ZeroedBuffer(static_cast<uint8_t*>(std::calloc(size_t(size), 1)));
}

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

// Where the uncompressed package goes (the output file, or memory when
// memory is set), how much has been written and how much may be.
struct Output {
  platform::File file;
  const char* path;
  uint64_t limit;
  uint64_t size = 0;
  std::vector<uint8_t>* memory = nullptr;
};

int Damaged(const char* path) {
  platform::ConsolePrintf(messages::kMsgPackageDamaged, path);
  return kPatchDamaged;
}

int Append(Output& out, const uint8_t* data, uint64_t length) {
  if (out.size + length > out.limit) return Damaged(out.path);
  if (out.memory != nullptr) {
    try {
      out.memory->insert(out.memory->end(), data, data + length);
    } catch (const std::bad_alloc&) {
      platform::ConsolePrintf("%s", messages::kMsgImageAllocError);
      return kPatchOutOfMemory;
    }
    out.size += length;
    return 0;
  }
  if (!platform::SeekEnd(out.file) ||
      platform::Write(out.file, data, uint32_t(length)) != int64_t(length)) {
    platform::ConsolePrintf(messages::kMsgWriteFileError, out.path);
    return kPatchWriteFailed;
  }
  out.size += length;
  return 0;
}

// Checks the summary and reads where its chunk table lies. kPatchNotCompressed
// with compressionFlagsAt set means an uncompressed package.
int ReadSummary(Backup& in, const char* path, Summary* summary) {
  if (!in.Has(0, 4) || in.Word(0) != kPackageTag) return kPatchWrongTag;
  if (!in.Has(4, 4)) return Damaged(path);
  uint32_t version = in.Word(4);
  if (version == kRefusedVersionA || version == kRefusedVersionB) return kPatchRefusedVersion;

  if (!in.Has(12, 4)) return Damaged(path);
  uint32_t folderLength = in.Word(12);
  if (folderLength >= 0x80000000u) return Damaged(path);  // a negative length
  uint64_t flagsAt = 16 + uint64_t(folderLength);
  uint64_t generationCountAt = 80 + uint64_t(folderLength);
  if (!in.Has(flagsAt, 4) || !in.Has(generationCountAt, 4)) return Damaged(path);
  summary->packageFlagsAt = flagsAt;

  uint64_t p = generationCountAt + 4 + kGenerationSize * in.Word(generationCountAt);
  if (!in.Has(p, 16)) return Damaged(path);
  summary->compressionFlagsAt = p + 8;
  summary->compression = in.Word(p + 8);
  summary->chunkCount = in.Word(p + 12);
  if (summary->compression == 0) return kPatchNotCompressed;

  summary->chunkTable = p + 16;
  summary->chunkTableEnd = summary->chunkTable + kChunkRecordSize * summary->chunkCount;
  if (!in.Has(summary->chunkTable, kChunkRecordSize * summary->chunkCount)) return Damaged(path);
  return 0;
}

// A stream that inflates to fewer bytes than its slot is accepted; the rest
// of the slot stays zero. Returns 0 or kPatchBlockFailed; prints nothing.
int DecompressZlib(const uint8_t* src, uint32_t srcLength, uint8_t* dst, uint32_t dstLength) {
  uLongf produced = dstLength;
  if (uncompress(dst, &produced, src, srcLength) != Z_OK) return kPatchBlockFailed;
  return 0;
}

// The LZO library's self-check, made once, before the first LZO block and
// before any thread decompresses one.
bool LzoReady() {
  static const bool ready = lzo_init() == LZO_E_OK;
  return ready;
}

// Returns 0 or kPatchBlockFailed; prints nothing. LzoReady() must be true.
int DecompressLzo(const uint8_t* src, uint32_t srcLength, uint8_t* dst, uint32_t dstLength) {
  // The checking decompressor never writes more than dstLength bytes nor
  // reads beyond the block. A complete stream with bytes left over behind
  // it is accepted when its length is right; any other error is a damaged
  // block, whatever length it reached.
  lzo_uint produced = dstLength;
  int result = lzo1x_decompress_safe(src, srcLength, dst, &produced, nullptr);
  bool complete = result == LZO_E_OK || result == LZO_E_INPUT_NOT_CONSUMED;
  if (!complete || produced != dstLength) return kPatchBlockFailed;
  return 0;
}

// Prints the message of a failed block (a code of DecompressZlib,
// DecompressLzo or kPatchLzoInit) and returns the code.
int ReportBlockFailure(int code) {
  if (code == kPatchLzoInit) {
    platform::ConsolePrintf("%s", messages::kMsgLzoInitFailed);
    platform::ConsolePrintf("%s", messages::kMsgLzoInitHint);
  } else {
    platform::ConsolePrintf("%s", messages::kMsgSizeMismatch);
  }
  return code;
}

// One block of a chunk: its compressed bytes in the backup and its slot in
// the chunk buffer.
struct BlockJob {
  const uint8_t* source;
  uint32_t sourceLength;
  uint8_t* destination;
  uint32_t destinationLength;
};

// Blocks are laid out and decompressed this many at a time, so that the
// list of jobs needs no memory of its own however many blocks a damaged
// block table claims.
constexpr size_t kBlockBatch = 64;

struct BlockBatch {
  uint32_t compression = 0;
  BlockJob jobs[kBlockBatch];
  int results[kBlockBatch];
  size_t count = 0;
};

int DecompressBlock(uint32_t compression, const BlockJob& job) {
  return compression == kZlib
             ? DecompressZlib(job.source, job.sourceLength, job.destination, job.destinationLength)
             : DecompressLzo(job.source, job.sourceLength, job.destination, job.destinationLength);
}

// True when no block of batch reaches into the slot of the block after it.
// Block j of a chunk fills its slot from j times the block size, so an entry
// longer than the block size overlaps the next block, which then overwrites
// the overlap.
bool SlotsAreDisjoint(const BlockBatch& batch) {
  for (size_t k = 0; k + 1 < batch.count; ++k) {
    const BlockJob& job = batch.jobs[k];
    if (job.destination + job.destinationLength > batch.jobs[k + 1].destination) return false;
  }
  return true;
}

// Decompresses the blocks of batch (in table order, their slots one after
// another) and returns the code of the first one in table order that fails
// (0 when none does). Blocks run on up to threads threads, unless their
// slots overlap: then one after another, in order, so that the later block's
// bytes win as they always have. Nothing is printed, so that a failure is
// reported as one thread working through the table would report it.
int DecompressBatch(BlockBatch& batch, unsigned threads) {
  if (batch.count == 0) return 0;
  if (batch.compression == kLzo && !LzoReady()) return kPatchLzoInit;
  if (threads <= 1 || batch.count < 2 || !SlotsAreDisjoint(batch)) {
    for (size_t k = 0; k < batch.count; ++k) {
      int code = DecompressBlock(batch.compression, batch.jobs[k]);
      if (code != 0) return code;
    }
    return 0;
  }
  platform::ParallelFor(batch.count, threads, [&batch](size_t k) {
    batch.results[k] = DecompressBlock(batch.compression, batch.jobs[k]);
  });
  for (size_t k = 0; k < batch.count; ++k) {
    if (batch.results[k] != 0) return batch.results[k];
  }
  return 0;
}

// Why laying out the blocks stopped short of the end of the block table.
enum class LayoutStop { kNone, kUnknownCompression, kDamaged };

// Decompresses the blocks of the chunk at c into chunk (size bytes, zero).
// Failures are reported in table order: for each block, unknown
// compression flags, then a block that lies outside the backup or the
// chunk, then a failure to decompress it; the first failure ends the chunk.
int DecompressChunk(const Backup& in, uint32_t compression, uint64_t c, uint8_t* chunk,
                    uint32_t size, const char* path, unsigned threads) {
  if (!in.Has(c, kChunkHeaderSize)) return Damaged(path);
  uint64_t blockSize = in.Word(c + 4);
  uint64_t total = in.Word(c + 12);
  if (blockSize == 0) return Damaged(path);
  uint64_t blockCount = (total + blockSize - 1) / blockSize;  // 64-bit: no wrap to 0
  uint64_t pairs = c + kChunkHeaderSize;
  if (!in.Has(pairs, kBlockPairSize * blockCount)) return Damaged(path);

  uint64_t data = pairs + kBlockPairSize * blockCount;
  BlockBatch batch;
  batch.compression = compression;
  uint64_t j = 0;
  while (j < blockCount) {
    // Lay out the next blocks, up to the first one that cannot be
    // decompressed at all; that one's failure counts only when every block
    // before it decompresses.
    LayoutStop stop = LayoutStop::kNone;
    batch.count = 0;
    for (; batch.count < kBlockBatch && j < blockCount; ++batch.count, ++j) {
      if (compression != kZlib && compression != kLzo) {
        stop = LayoutStop::kUnknownCompression;
        break;
      }
      uint32_t packed = in.Word(pairs + kBlockPairSize * j);
      uint32_t unpacked = in.Word(pairs + kBlockPairSize * j + 4);
      uint64_t destination = j * blockSize;
      if (!in.Has(data, packed) || !bytes::InBounds(destination, unpacked, size)) {
        stop = LayoutStop::kDamaged;
        break;
      }
      batch.jobs[batch.count] = BlockJob{in.data + data, packed, chunk + destination, unpacked};
      data += packed;
    }
    int code = DecompressBatch(batch, threads);
    if (code != 0) return ReportBlockFailure(code);
    if (stop == LayoutStop::kUnknownCompression) {
      platform::ConsolePrintf("%s", messages::kMsgUnknownCompression);
      return kPatchBlockFailed;
    }
    if (stop == LayoutStop::kDamaged) return Damaged(path);
  }
  return 0;
}

// Writes chunk i's uncompressed bytes (after the summary's remaining bytes,
// for the first chunk).
int WriteChunk(const Backup& in, const Summary& summary, uint32_t i, unsigned threads, Output& out) {
  uint64_t record = summary.chunkTable + kChunkRecordSize * i;
  uint32_t size = in.Word(record + 4);
  uint64_t c = in.Word(record + 8);
  if (i == 0) {
    if (c < summary.chunkTableEnd || c > in.size) return Damaged(out.path);
    int code = Append(out, in.data + summary.chunkTableEnd, c - summary.chunkTableEnd);
    if (code != 0) return code;
  }
  if (out.size + size > out.limit) return Damaged(out.path);

  ZeroedBuffer chunk = AllocateZeroed(uint64_t(size) + 4);
  if (!chunk) {
    platform::ConsolePrintf("%s", messages::kMsgChunkAllocError);
    return kPatchChunkAlloc;
  }
  int code = DecompressChunk(in, summary.compression, c, chunk.get(), size, out.path, threads);
  if (code != 0) return code;
  return Append(out, chunk.get(), size);
}

// Reads the whole of file into a buffer of its size plus 4 zero bytes.
int ReadWhole(platform::File file, const char* path, ZeroedBuffer* buffer, uint32_t* size) {
  *size = platform::FileSize(file);
  if (*size == platform::kSizeError) return kPatchNoSize;
  *buffer = AllocateZeroed(uint64_t(*size) + 4);
  if (!*buffer) return kPatchOutOfMemory;
  if (platform::Read(file, buffer->get(), *size) != int64_t(*size)) {
    platform::ConsolePrintf(messages::kMsgReadFileError, path);
    return kPatchShortRead;
  }
  return 0;
}

// Writes the uncompressed form of the compressed package in (its summary
// already read) to out. The summary is changed in place to describe an
// uncompressed package: the package flag bits that describe the compressed
// form cleared, compression flags and chunk count 0.
int Uncompress(Backup& in, const Summary& summary, unsigned threads, Output& out) {
  bytes::StoreU32LE(in.data + summary.packageFlagsAt,
                    in.Word(summary.packageFlagsAt) & kClearedPackageFlags);
  bytes::StoreU32LE(in.data + summary.compressionFlagsAt, 0);
  bytes::StoreU32LE(in.data + summary.compressionFlagsAt + 4, 0);
  int code = Append(out, in.data, summary.chunkTable);
  for (uint32_t i = 0; code == 0 && i < summary.chunkCount; ++i) {
    code = WriteChunk(in, summary, i, threads, out);
  }
  return code;
}

// The largest uncompressed package made from a backup of size bytes.
uint64_t OutputLimit(uint64_t size) { return std::min(kMaxOutputSize, kMaxExpansion * size); }

// Fills image from data (size bytes followed by 4 zero bytes): takes the six
// table fields from its summary. False when the summary does not hold them.
bool TakeImage(std::unique_ptr<uint8_t[]> data, uint32_t size, PackageImage* image) {
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

}  // namespace

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

int WriteUncompressedPackage(platform::File backup, platform::File output, const char* outputPath) {
  ZeroedBuffer buffer;
  uint32_t size = 0;
  int code = ReadWhole(backup, outputPath, &buffer, &size);
  if (code != 0) return code;
  Backup in{buffer.get(), size};
  Summary summary;
  code = ReadSummary(in, outputPath, &summary);
  if (code != 0) return code;
  Output out{output, outputPath, OutputLimit(size)};
  return Uncompress(in, summary, DecompressionThreads(), out);
}

int ReadPackageImage(platform::File output, const char* outputPath, PackageImage* image) {
  uint32_t size = platform::FileSize(output);
  if (size == platform::kSizeError) {
    platform::ConsolePrintf(messages::kMsgReadFileError, outputPath);
    return kPatchReadBackFailed;
  }
  std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[uint64_t(size) + 4]());
  if (!data) {
    platform::ConsolePrintf("%s", messages::kMsgImageAllocError);
    return kPatchOutOfMemory;
  }
  if (!platform::SeekBegin(output, 0) || platform::Read(output, data.get(), size) != int64_t(size)) {
    platform::ConsolePrintf(messages::kMsgReadFileError, outputPath);
    return kPatchReadBackFailed;
  }
  // The summary was checked before it was written; a read-back that does
  // not hold it is not the file that was written.
  if (!TakeImage(std::move(data), size, image)) {
    platform::ConsolePrintf(messages::kMsgReadFileError, outputPath);
    return kPatchReadBackFailed;
  }
  return 0;
}

int LoadPackageImage(const char* path, PackageImage* image, bool* compressed) {
  *compressed = false;
  platform::File file = platform::OpenRead(path);
  if (file == platform::kNoFile) return kPatchNotOpened;
  ZeroedBuffer buffer;
  uint32_t size = 0;
  int code = ReadWhole(file, path, &buffer, &size);
  platform::Close(file);
  if (code != 0) return code;

  Backup in{buffer.get(), size};
  if (!in.Has(0, 4) || in.Word(0) != kPackageTag) return kPatchWrongTag;
  Summary summary;
  code = ReadSummary(in, path, &summary);
  const bool uncompressed = code == kPatchNotCompressed && summary.compressionFlagsAt != 0;
  if (code != 0 && !uncompressed) return code;

  std::unique_ptr<uint8_t[]> data;
  uint32_t imageSize = size;
  if (uncompressed) {
    data.reset(new (std::nothrow) uint8_t[uint64_t(size) + 4]());
    if (data) std::memcpy(data.get(), buffer.get(), size);
  } else {
    *compressed = true;
    std::vector<uint8_t> memory;
    Output out{platform::kNoFile, path, OutputLimit(size)};
    out.memory = &memory;
    code = Uncompress(in, summary, DecompressionThreads(), out);
    if (code != 0) return code;
    buffer.reset();
    imageSize = uint32_t(memory.size());  // below kMaxOutputSize
    data.reset(new (std::nothrow) uint8_t[memory.size() + 4]());
    if (data && !memory.empty()) std::memcpy(data.get(), memory.data(), memory.size());
  }
  if (!data) {
    platform::ConsolePrintf("%s", messages::kMsgImageAllocError);
    return kPatchOutOfMemory;
  }
  if (!TakeImage(std::move(data), imageSize, image)) return Damaged(path);
  return 0;
}

}  // namespace package
