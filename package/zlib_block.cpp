#include "package/zlib_block.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

#if HANHUA_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

// libdeflate is built from its source with a patch (third_party/libdeflate)
// that makes its zlib decoder refuse every stream that zlib's inflate (as
// uncompress runs it) refuses; it refuses a few more, which zlib's deflate
// never writes (incomplete Huffman codes). Both refuse, even without the
// patch: a header whose check bits (CMF*256+FLG) are not a multiple of 31,
// a method other than 8, a window size field above 7, the preset dictionary
// flag, an Adler-32 mismatch, a stream cut short anywhere, stored blocks
// whose LEN and NLEN disagree, block type 3, over-subscribed codes and
// distances reaching before the first output byte. What remains to keep the
// two alike:
//
//   Every stream libdeflate refuses goes to uncompress, so zlib's verdict
//     stands on it.
//   Output slot: exactly filled is success for both; a stream needing more
//     makes libdeflate refuse, and zlib then gives its verdict. dstLength 0 is
//     zlib's alone: uncompress then decodes into a 1-byte buffer of its own
//     and accepts a stream of one byte.
//   Bytes after the Adler-32: both ignore them.
//   uncompress writes nothing beyond the bytes it produces, while libdeflate
//     may write a few hundred bytes past its output while it runs. To leave
//     the rest of the slot as uncompress does, libdeflate decodes into a
//     buffer of the thread's own and the result is copied into dst; dst
//     itself is written by uncompress alone on every other path.
//
// package/zlib_block_test.cpp and the fuzz target zlib_block_fuzz hold
// libdeflate to this: whatever it accepts, zlib accepts with the same output.

namespace package {

namespace {

#if HANHUA_HAVE_LIBDEFLATE
// Slots larger than this go to zlib rather than growing the thread's buffer
// (packages as shipped use 128 KiB blocks).
constexpr uint32_t kMaxScratchSize = 1u << 20;

// One libdeflate decompressor and output buffer per thread, freed when the
// thread ends.
struct ThreadDecoder {
  libdeflate_decompressor* decompressor = nullptr;
  uint8_t* scratch = nullptr;
  uint32_t capacity = 0;

  ~ThreadDecoder() {
    libdeflate_free_decompressor(decompressor);
    std::free(scratch);
  }

  // The decompressor, allocated on first use; null when memory is short.
  libdeflate_decompressor* Decompressor() {
    if (decompressor == nullptr) decompressor = libdeflate_alloc_decompressor();
    return decompressor;
  }

  // A buffer of at least size bytes; null when memory is short.
  uint8_t* Scratch(uint32_t size) {
    if (size <= capacity) return scratch;
    uint8_t* grown = static_cast<uint8_t*>(std::malloc(size));
    if (grown == nullptr) return nullptr;
    std::free(scratch);
    scratch = grown;
    capacity = size;
    return scratch;
  }
};

thread_local ThreadDecoder threadDecoder;

bool ReadZlibOnlySetting() {
  char value[8];
  uint32_t length = platform::EnvironmentValue("HANHUA_INFLATE", value, sizeof value);
  return length == 4 && std::memcmp(value, "zlib", 4) == 0;
}
#endif

bool InflateWithZlib(const uint8_t* src, uint32_t srcLength, uint8_t* dst, uint32_t dstLength) {
  uLongf produced = dstLength;
  return uncompress(dst, &produced, src, srcLength) == Z_OK;
}

}  // namespace

#if HANHUA_HAVE_LIBDEFLATE
namespace detail {

bool InflateWithLibdeflate(const uint8_t* src, uint32_t srcLength, uint8_t* dst, uint32_t dstLength,
                           uint32_t* produced, uint32_t* consumed) {
  // libdeflate computes the ends of both buffers before it looks at the
  // lengths, which is undefined for an absent buffer even when empty.
  if (src == nullptr || dst == nullptr) return false;
  libdeflate_decompressor* decompressor = threadDecoder.Decompressor();
  if (decompressor == nullptr) return false;
  size_t in = 0, out = 0;
  if (libdeflate_zlib_decompress_ex(decompressor, src, srcLength, dst, dstLength, &in, &out) !=
      LIBDEFLATE_SUCCESS)
    return false;
  *produced = uint32_t(out);
  *consumed = uint32_t(in);
  return true;
}

}  // namespace detail
#endif

bool InflateUsesZlibOnly() {
#if HANHUA_HAVE_LIBDEFLATE
  static const bool zlibOnly = ReadZlibOnlySetting();
  return zlibOnly;
#else
  return true;
#endif
}

bool InflateZlibBlock(const uint8_t* src, uint32_t srcLength, uint8_t* dst, uint32_t dstLength) {
#if HANHUA_HAVE_LIBDEFLATE
  if (!InflateUsesZlibOnly() && dstLength != 0 && dstLength <= kMaxScratchSize) {
    uint8_t* scratch = threadDecoder.Scratch(dstLength);
    uint32_t produced = 0, consumed = 0;
    if (scratch != nullptr &&
        detail::InflateWithLibdeflate(src, srcLength, scratch, dstLength, &produced, &consumed)) {
      std::memcpy(dst, scratch, produced);
      return true;
    }
  }
#endif
  return InflateWithZlib(src, srcLength, dst, dstLength);
}

bool InflateZlibBlockFilled(const uint8_t* src, uint32_t srcLength, uint8_t* dst, uint32_t dstLength) {
  // The bytes libdeflate may write past its output are zeroed with the rest
  // of the slot, so it needs no buffer of its own here. A stream it refuses
  // may have left anything in dst; uncompress then decodes it afresh.
  uint32_t produced = 0;
  bool decoded = false;
#if HANHUA_HAVE_LIBDEFLATE
  uint32_t consumed = 0;
  decoded = !InflateUsesZlibOnly() && dstLength != 0 &&
            detail::InflateWithLibdeflate(src, srcLength, dst, dstLength, &produced, &consumed);
#endif
  if (!decoded) {
    uLongf length = dstLength;
    if (uncompress(dst, &length, src, srcLength) != Z_OK) return false;
    produced = uint32_t(length);
  }
  if (produced < dstLength) std::memset(dst + produced, 0, dstLength - produced);
  return true;
}

}  // namespace package
