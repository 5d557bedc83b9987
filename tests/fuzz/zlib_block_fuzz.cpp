// Fuzz target: InflateZlibBlock against zlib's uncompress, and libdeflate
// alone against zlib. Aborts when InflateZlibBlock and uncompress differ in
// verdict or in any byte of the slot, or when libdeflate alone accepts a
// stream that zlib refuses or produces other bytes than zlib.
//
// Input: 2 bytes of slot size (little-endian), 1 byte of mode, then the data.
//   mode bit 0 clear: the data is a whole zlib stream, taken as it is.
//   mode bit 0 set:   the data is raw deflate data; the harness wraps it in a
//                     zlib header and the Adler-32 of one decoder's reading
//                     of it (libdeflate's, or zlib's with bit 2 set), so that
//                     the fuzzer reaches the streams on which the two read
//                     the deflate data differently (a checksum is out of a
//                     fuzzer's reach).
//   mode bit 1 set:   the slot starts patterned rather than zero.
#include <libdeflate.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "package/zlib_block.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Slot(uint32_t size, bool patterned) {
  Bytes slot(size);
  if (patterned)
    for (size_t i = 0; i < slot.size(); ++i) slot[i] = uint8_t(0x5A ^ i);
  return slot;
}

// libdeflate's reading of raw deflate data into out: the bytes it read and
// wrote, or false.
bool ReadWithLibdeflate(const uint8_t* data, size_t size, Bytes& out, size_t* consumed, size_t* produced) {
  thread_local libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  // Never an absent buffer, even for an empty slot: libdeflate computes the
  // buffers' ends first.
  Bytes one(1);
  uint8_t* into = out.empty() ? one.data() : out.data();
  return decompressor != nullptr &&
         libdeflate_deflate_decompress_ex(decompressor, data, size, into, out.size(), consumed, produced) ==
             LIBDEFLATE_SUCCESS;
}

// zlib's reading of raw deflate data into out, as inflate runs it: the
// bytes it read and wrote, or false unless it reached the final block's end.
bool ReadWithZlib(const uint8_t* data, size_t size, Bytes& out, size_t* consumed, size_t* produced) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  z.next_in = const_cast<uint8_t*>(data);
  z.avail_in = uInt(size);
  Bytes one(1);  // uncompress too decodes into a byte of its own for an empty slot
  z.next_out = out.empty() ? one.data() : out.data();
  z.avail_out = out.empty() ? 1 : uInt(out.size());
  bool ended = inflate(&z, Z_FINISH) == Z_STREAM_END;
  *consumed = z.total_in;
  *produced = z.total_out;
  inflateEnd(&z);
  return ended && *produced <= out.size();
}

// The zlib stream around deflate data: the data one decoder read, with the
// Adler-32 of its output, or all of the data with a zero checksum when it
// refuses the data.
Bytes WrapDeflate(const uint8_t* data, size_t size, uint32_t slotSize, bool zlibReading) {
  Bytes stream{0x78, 0x01};
  Bytes out(slotSize);
  size_t consumed = 0, produced = 0;
  uint32_t adler = 0;
  bool read = zlibReading ? ReadWithZlib(data, size, out, &consumed, &produced)
                          : ReadWithLibdeflate(data, size, out, &consumed, &produced);
  if (read) {
    size = consumed;
    adler = uint32_t(adler32(adler32(0, nullptr, 0), out.data(), uInt(produced)));
  }
  stream.insert(stream.end(), data, data + size);
  for (int shift = 24; shift >= 0; shift -= 8) stream.push_back(uint8_t(adler >> shift));
  return stream;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  uint32_t slotSize = uint32_t(data[0]) | uint32_t(data[1]) << 8;
  uint8_t mode = data[2];
  bool patterned = (mode & 2) != 0;
  Bytes stream = (mode & 1) != 0 ? WrapDeflate(data + 3, size - 3, slotSize, (mode & 4) != 0)
                                 : Bytes(data + 3, data + size);

  // Exactly sized heap copies, where the sanitizer sees any access beyond.
  Bytes viaBlock = Slot(slotSize, patterned);
  Bytes input(stream);
  bool blockOk = package::InflateZlibBlock(input.data(), uint32_t(input.size()), viaBlock.data(), slotSize);

  Bytes viaZlib = Slot(slotSize, patterned);
  uLongf produced = slotSize;
  bool zlibOk = uncompress(viaZlib.data(), &produced, stream.data(), uLong(stream.size())) == Z_OK;

  if (blockOk != zlibOk || viaBlock != viaZlib) abort();

  // libdeflate alone: whatever it accepts, zlib accepts with the same bytes.
  if (slotSize > 0) {
    Bytes viaLibdeflate = Slot(slotSize, false);
    uint32_t rawProduced = 0, rawConsumed = 0;
    bool rawOk = package::detail::InflateWithLibdeflate(input.data(), uint32_t(input.size()), viaLibdeflate.data(),
                                                        slotSize, &rawProduced, &rawConsumed);
    if (rawOk && (!zlibOk || rawProduced != produced ||
                  std::memcmp(viaLibdeflate.data(), viaZlib.data(), produced) != 0))
      abort();
  }
  return 0;
}
