#include "bench/unpack.h"

#include <lzo/lzo1x.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "common/bytes.h"

namespace bench {

namespace {

constexpr uint32_t kPackageTag = 0x9E2A83C1u;
constexpr uint32_t kZlib = 1;
constexpr uint32_t kLzo = 2;
constexpr uint64_t kRecordSize = 16;       // chunk table record and chunk header
constexpr uint64_t kGenerationSize = 12;

struct Input {
  const uint8_t* data;
  uint64_t size;
  bool Has(uint64_t offset, uint64_t length) const { return bytes::InBounds(offset, length, size); }
  uint32_t Word(uint64_t offset) const { return bytes::LoadU32LE(data + offset); }
};

bool DecompressBlock(uint32_t compression, const uint8_t* src, uint32_t packed, uint8_t* dst,
                     uint32_t unpacked, uint64_t* produced) {
  if (compression == kZlib) {
    uLongf length = unpacked;
    if (uncompress(dst, &length, src, packed) != Z_OK) return false;
    *produced = length;
    return true;
  }
  lzo_uint length = unpacked;
  int result = lzo1x_decompress_safe(src, packed, dst, &length, nullptr);
  if ((result != LZO_E_OK && result != LZO_E_INPUT_NOT_CONSUMED) || length != unpacked) return false;
  *produced = length;
  return true;
}

// Decompresses the chunk whose header is at c into dst (size bytes).
bool UnpackChunk(const Input& in, uint32_t compression, uint64_t c, uint8_t* dst, uint64_t size) {
  if (!in.Has(c, kRecordSize)) return false;
  uint64_t blockSize = in.Word(c + 4);
  uint64_t total = in.Word(c + 12);
  if (blockSize == 0) return false;
  uint64_t blocks = (total + blockSize - 1) / blockSize;
  uint64_t pairs = c + kRecordSize;
  if (!in.Has(pairs, 8 * blocks)) return false;
  uint64_t data = pairs + 8 * blocks;
  uint64_t filled = 0;
  for (uint64_t j = 0; j < blocks; ++j) {
    uint32_t packed = in.Word(pairs + 8 * j);
    uint32_t unpacked = in.Word(pairs + 8 * j + 4);
    uint64_t at = j * blockSize;
    if (!in.Has(data, packed) || !bytes::InBounds(at, unpacked, size)) return false;
    if (at > filled) std::memset(dst + filled, 0, at - filled);
    uint64_t produced = 0;
    if (!DecompressBlock(compression, in.data + data, packed, dst + at, unpacked, &produced)) return false;
    filled = std::max(filled, at + produced);
    data += packed;
  }
  if (size > filled) std::memset(dst + filled, 0, size - filled);
  return true;
}

}  // namespace

bool GrowBuffer::Reserve(size_t size) {
  if (size <= capacity_) return true;
  data_.reset(static_cast<uint8_t*>(std::malloc(size)));
  capacity_ = data_ ? size : 0;
  return bool(data_);
}

int64_t UnpackPackage(const uint8_t* data, uint64_t size, GrowBuffer* chunk, const Sink& sink) {
  Input in{data, size};
  if (!in.Has(0, 16) || in.Word(0) != kPackageTag) return -1;
  uint64_t folderLength = in.Word(12);
  uint64_t flagsAt = 16 + folderLength;
  uint64_t generationsAt = 80 + folderLength;
  if (folderLength >= 0x80000000u || !in.Has(generationsAt, 4)) return -1;
  uint64_t p = generationsAt + 4 + kGenerationSize * in.Word(generationsAt);
  if (!in.Has(p, 16)) return -1;
  uint32_t compression = in.Word(p + 8);
  uint64_t chunkCount = in.Word(p + 12);
  uint64_t table = p + 16;
  uint64_t tableEnd = table + kRecordSize * chunkCount;
  if ((compression != kZlib && compression != kLzo) || !in.Has(table, kRecordSize * chunkCount)) return -1;
  uint64_t firstChunk = chunkCount > 0 ? in.Word(table + 8) : tableEnd;
  if (firstChunk < tableEnd || firstChunk > size) return -1;

  // The summary as an uncompressed package has it, then what lies between
  // the chunk table and the first chunk.
  if (!chunk->Reserve(size_t(table))) return -1;
  std::memcpy(chunk->data(), data, table);
  bytes::StoreU32LE(chunk->data() + flagsAt, in.Word(flagsAt) & 0xF0FFFFFFu);
  bytes::StoreU32LE(chunk->data() + p + 8, 0);
  bytes::StoreU32LE(chunk->data() + p + 12, 0);
  if (!sink(chunk->data(), table) || !sink(data + tableEnd, firstChunk - tableEnd)) return -1;
  uint64_t total = table + (firstChunk - tableEnd);

  for (uint64_t i = 0; i < chunkCount; ++i) {
    uint64_t chunkSize = in.Word(table + kRecordSize * i + 4);
    uint64_t header = in.Word(table + kRecordSize * i + 8);
    total += chunkSize;
    if (total >= 0xFFFFFFFFu || !chunk->Reserve(size_t(chunkSize))) return -1;
    if (!UnpackChunk(in, compression, header, chunk->data(), chunkSize)) return -1;
    if (!sink(chunk->data(), chunkSize)) return -1;
  }
  return int64_t(total);
}

}  // namespace bench
