#include "package/package_decompress.h"

#include <lzo/lzo1x.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "common/bytes.h"
#include "common/messages.h"
#include "package/package_patcher.h"
#include "package/zlib_block.h"

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
// of the slot stays zero.
int DecompressZlib(const uint8_t* src, uint32_t srcLength, uint8_t* dst, uint32_t dstLength) {
  if (!InflateZlibBlock(src, srcLength, dst, dstLength)) {
    platform::ConsolePrintf("%s", messages::kMsgSizeMismatch);
    return kPatchBlockFailed;
  }
  return 0;
}

int DecompressLzo(const uint8_t* src, uint32_t srcLength, uint8_t* dst, uint32_t dstLength) {
  if (lzo_init() != LZO_E_OK) {
    platform::ConsolePrintf("%s", messages::kMsgLzoInitFailed);
    platform::ConsolePrintf("%s", messages::kMsgLzoInitHint);
    return kPatchLzoInit;
  }
  // The checking decompressor never writes more than dstLength bytes nor
  // reads beyond the block. A complete stream with bytes left over behind
  // it is accepted when its length is right; any other error is a damaged
  // block, whatever length it reached.
  lzo_uint produced = dstLength;
  int result = lzo1x_decompress_safe(src, srcLength, dst, &produced, nullptr);
  bool complete = result == LZO_E_OK || result == LZO_E_INPUT_NOT_CONSUMED;
  if (!complete || produced != dstLength) {
    platform::ConsolePrintf("%s", messages::kMsgSizeMismatch);
    return kPatchBlockFailed;
  }
  return 0;
}

// Decompresses the blocks of the chunk at c into chunk (size bytes, zero).
int DecompressChunk(const Backup& in, uint32_t compression, uint64_t c, uint8_t* chunk,
                    uint32_t size, const char* path) {
  if (!in.Has(c, kChunkHeaderSize)) return Damaged(path);
  uint64_t blockSize = in.Word(c + 4);
  uint64_t total = in.Word(c + 12);
  if (blockSize == 0) return Damaged(path);
  uint64_t blockCount = (total + blockSize - 1) / blockSize;  // 64-bit: no wrap to 0
  uint64_t pairs = c + kChunkHeaderSize;
  if (!in.Has(pairs, kBlockPairSize * blockCount)) return Damaged(path);

  uint64_t data = pairs + kBlockPairSize * blockCount;
  for (uint64_t j = 0; j < blockCount; ++j) {
    if (compression != kZlib && compression != kLzo) {
      platform::ConsolePrintf("%s", messages::kMsgUnknownCompression);
      return kPatchBlockFailed;
    }
    uint32_t packed = in.Word(pairs + kBlockPairSize * j);
    uint32_t unpacked = in.Word(pairs + kBlockPairSize * j + 4);
    uint64_t destination = j * blockSize;
    if (!in.Has(data, packed) || !bytes::InBounds(destination, unpacked, size)) return Damaged(path);
    int code = compression == kZlib
                   ? DecompressZlib(in.data + data, packed, chunk + destination, unpacked)
                   : DecompressLzo(in.data + data, packed, chunk + destination, unpacked);
    if (code != 0) return code;
    data += packed;
  }
  return 0;
}

// Writes chunk i's uncompressed bytes (after the summary's remaining bytes,
// for the first chunk).
int WriteChunk(const Backup& in, const Summary& summary, uint32_t i, Output& out) {
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
  int code = DecompressChunk(in, summary.compression, c, chunk.get(), size, out.path);
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
int Uncompress(Backup& in, const Summary& summary, Output& out) {
  bytes::StoreU32LE(in.data + summary.packageFlagsAt,
                    in.Word(summary.packageFlagsAt) & kClearedPackageFlags);
  bytes::StoreU32LE(in.data + summary.compressionFlagsAt, 0);
  bytes::StoreU32LE(in.data + summary.compressionFlagsAt + 4, 0);
  int code = Append(out, in.data, summary.chunkTable);
  for (uint32_t i = 0; code == 0 && i < summary.chunkCount; ++i) code = WriteChunk(in, summary, i, out);
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
  return Uncompress(in, summary, out);
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
    code = Uncompress(in, summary, out);
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
