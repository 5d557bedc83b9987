// The least work a rebuild of a compressed package can do, for the
// benchmark's floor (never linked into hanhua): every block decompressed
// once into a chunk buffer that is reused from chunk to chunk and from
// package to package, and the output handed on piece by piece, laid out as
// hanhua writes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>

namespace bench {

// A buffer that only grows, so that the pages of one package are reused
// for the next.
class GrowBuffer {
 public:
  // False when memory is short; the contents are not kept.
  bool Reserve(size_t size);
  uint8_t* data() { return data_.get(); }
  size_t capacity() const { return capacity_; }

 private:
  struct Free {
    void operator()(uint8_t* p) const { std::free(p); }
  };
  std::unique_ptr<uint8_t, Free> data_;
  size_t capacity_ = 0;
};

// Receives the output in order, one piece at a time; false stops the work.
using Sink = std::function<bool(const uint8_t* data, uint64_t size)>;

// Decompresses the compressed package in (size bytes) and hands sink, in
// order: the summary with the package flag bits 24 to 27, the compression
// flags and the chunk count cleared and without its chunk table; the bytes
// between the chunk table and the first chunk; every chunk (block j at j
// times the chunk's block size, bytes no block fills zero), each through
// chunk. zlib blocks go through uncompress, LZO blocks through
// lzo1x_decompress_safe. Result: the output size, or -1 when the package is
// not compressed, is damaged or sink refused a piece.
int64_t UnpackPackage(const uint8_t* in, uint64_t size, GrowBuffer* chunk, const Sink& sink);

}  // namespace bench
