// Fuzz target: InflateZlibBlock against zlib's uncompress. Aborts when the
// two differ in verdict or in any byte of the slot.
//
// Input: 2 bytes of slot size (little-endian), 1 byte of mode, then the data.
//   mode bit 0 clear: the data is a whole zlib stream, taken as it is.
//   mode bit 0 set:   the data is raw deflate data; when libdeflate reads it,
//                     the harness wraps what it read in a zlib header and
//                     the Adler-32 of libdeflate's output, so that the fuzzer
//                     reaches the streams on which libdeflate and zlib read
//                     the deflate data differently (a checksum is out of a
//                     fuzzer's reach).
//   mode bit 1 set:   the slot starts patterned rather than zero.
//
// With ZLIB_BLOCK_FUZZ_RAW=1 in the environment it also aborts when
// libdeflate alone (without the guards of InflateZlibBlock) and uncompress
// differ: a way to find the differences the guards must cover.
#include <libdeflate.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "package/zlib_block.h"

namespace {

using Bytes = std::vector<uint8_t>;

bool reportRaw = false;

Bytes Slot(uint32_t size, bool patterned) {
  Bytes slot(size);
  if (patterned)
    for (size_t i = 0; i < slot.size(); ++i) slot[i] = uint8_t(0x5A ^ i);
  return slot;
}

// The zlib stream around deflate data: libdeflate's reading of it with the
// matching Adler-32, or the data with a zero checksum when libdeflate
// refuses it.
Bytes WrapDeflate(const uint8_t* data, size_t size, uint32_t slotSize) {
  Bytes stream{0x78, 0x01};
  thread_local libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  Bytes out(slotSize);
  size_t consumed = 0, produced = 0;
  uint32_t adler = 0;
  if (decompressor != nullptr &&
      libdeflate_deflate_decompress_ex(decompressor, data, size, out.data(), out.size(), &consumed, &produced) ==
          LIBDEFLATE_SUCCESS) {
    size = consumed;
    adler = uint32_t(adler32(adler32(0, nullptr, 0), out.data(), uInt(produced)));
  }
  stream.insert(stream.end(), data, data + size);
  for (int shift = 24; shift >= 0; shift -= 8) stream.push_back(uint8_t(adler >> shift));
  return stream;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* raw = std::getenv("ZLIB_BLOCK_FUZZ_RAW");
  reportRaw = raw != nullptr && std::strcmp(raw, "1") == 0;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  uint32_t slotSize = uint32_t(data[0]) | uint32_t(data[1]) << 8;
  uint8_t mode = data[2];
  bool patterned = (mode & 2) != 0;
  Bytes stream = (mode & 1) != 0 ? WrapDeflate(data + 3, size - 3, slotSize) : Bytes(data + 3, data + size);

  // Exactly sized heap copies, where the sanitizer sees any access beyond.
  Bytes viaBlock = Slot(slotSize, patterned);
  Bytes input(stream);
  bool blockOk = package::InflateZlibBlock(input.data(), uint32_t(input.size()), viaBlock.data(), slotSize);

  Bytes viaZlib = Slot(slotSize, patterned);
  uLongf produced = slotSize;
  bool zlibOk = uncompress(viaZlib.data(), &produced, stream.data(), uLong(stream.size())) == Z_OK;

  if (blockOk != zlibOk || viaBlock != viaZlib) abort();

  if (reportRaw && slotSize > 0) {
    Bytes viaLibdeflate = Slot(slotSize, false);
    uint32_t rawProduced = 0, rawConsumed = 0;
    bool rawOk = package::detail::InflateWithLibdeflate(input.data(), uint32_t(input.size()), viaLibdeflate.data(),
                                                        slotSize, &rawProduced, &rawConsumed);
    Bytes zeroZlib = Slot(slotSize, false);
    produced = slotSize;
    zlibOk = uncompress(zeroZlib.data(), &produced, stream.data(), uLong(stream.size())) == Z_OK;
    if (rawOk != zlibOk) abort();
    if (rawOk && (rawProduced != produced || std::memcmp(viaLibdeflate.data(), zeroZlib.data(), produced) != 0))
      abort();
  }
  return 0;
}
