// Inflates one zlib block of a package chunk. The verdict and the bytes are
// those of zlib's uncompress(dst, &produced, src, srcLength) with produced
// starting at dstLength; the work is done by libdeflate's faster decoder
// (patched to refuse whatever zlib refuses) on every stream it accepts, and
// by zlib on the rest. A build without libdeflate's source (CMake then
// leaves HANHUA_HAVE_LIBDEFLATE undefined) decodes every block with zlib.
#pragma once

#include <cstdint>

namespace package {

// True iff uncompress would return Z_OK. dst then holds what uncompress
// writes: the stream's output (possibly shorter than dstLength); the bytes of
// dst after it are left as they were. On failure dst's content is undefined,
// but nothing outside [dst, dst + dstLength) is ever written. dst may be null
// when dstLength is 0.
//
// The environment variable HANHUA_INFLATE=zlib (read once per process) makes
// every call use uncompress alone. Safe to call from several threads at once.
bool InflateZlibBlock(const uint8_t* src, uint32_t srcLength, uint8_t* dst, uint32_t dstLength);

// InflateZlibBlock for a slot that needs all its bytes written: on success
// dst holds the stream's output followed by zeros up to dstLength. The
// decoder writes straight into dst, which may hold anything before.
bool InflateZlibBlockFilled(const uint8_t* src, uint32_t srcLength, uint8_t* dst, uint32_t dstLength);

// The decoder that InflateZlibBlock uses in this process: true for zlib
// alone (HANHUA_INFLATE=zlib, or a build without libdeflate).
bool InflateUsesZlibOnly();

#if HANHUA_HAVE_LIBDEFLATE
namespace detail {
// libdeflate's verdict alone: true when it decodes the whole zlib stream src
// (srcLength bytes) into at most dstLength bytes of dst; produced and
// consumed tell how many bytes it wrote and read. False as well when no
// decompressor can be allocated. For the differential tests and the fuzzer.
bool InflateWithLibdeflate(const uint8_t* src, uint32_t srcLength, uint8_t* dst, uint32_t dstLength,
                           uint32_t* produced, uint32_t* consumed);
}  // namespace detail
#endif

}  // namespace package
