#include "package/zlib_block.h"

#include <libdeflate.h>
#include <zlib.h>

#include <bit>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

// Where libdeflate (1.14) and zlib's inflate (1.2.x, as uncompress runs it)
// could differ, and how each case is kept to zlib's verdict:
//
//   zlib header: both refuse a header whose check bits (CMF*256+FLG) are not
//     a multiple of 31, a method other than 8, a window size field CINFO > 7
//     and the preset dictionary flag (zlib asks for the dictionary, which
//     uncompress turns into Z_DATA_ERROR). Same verdicts; not guarded.
//   Bytes after the Adler-32: both ignore them. Not guarded.
//   Adler-32 mismatch, a stream cut short anywhere (libdeflate reads zeros
//     past the end of the input but refuses the stream when it used them),
//     stored blocks whose LEN and NLEN disagree, block type 3, an
//     over-subscribed or incomplete code (other than an empty one or a single
//     code of length 1), a distance reaching before the first output byte:
//     both refuse.
//   Output slot: exactly filled is success for both; a stream needing more
//     makes libdeflate refuse, and zlib then gives its verdict. dstLength 0 is
//     zlib's alone: uncompress then decodes into a 1-byte buffer of its own
//     and accepts a stream of one byte.
//   Every stream libdeflate refuses goes to uncompress, so zlib's verdict
//     stands on it.
//
// libdeflate accepts some deflate data that zlib refuses; on those streams
// libdeflate's success is not taken, zlib decides. ZlibAgreesOnDeflateData
// walks the deflate blocks of every stream libdeflate accepted with zlib's
// rules and finds:
//   - a dynamic block declaring more than 286 literal/length or 30 distance
//     codes (zlib: "too many length or distance symbols");
//   - code length repeats running past the declared count (zlib: "invalid
//     bit length repeat"; libdeflate drops the excess);
//   - a code-length code that is incomplete (zlib refuses any; libdeflate
//     takes a single code of length 1);
//   - a literal/length or distance code made of one code of length 1 whose
//     unused codeword 1 appears in the data (libdeflate gives both codewords
//     to the symbol; zlib only 0), and an empty distance code used by a
//     match (libdeflate reads distance 1, zlib an invalid code);
//   - literal/length symbols 286 and 287 and distance symbols 30 and 31 of
//     the fixed code (libdeflate reads them as length 258 and as distances
//     from 24577, zlib as invalid codes).
// The walk follows libdeflate's output (a literal is checked against the
// next output byte, a match moves on by its length) and ends where
// libdeflate ended. It has to read every symbol to find the next block
// header, so it costs about as much as libdeflate's own decoding: on 128 KiB
// blocks the pair is no faster than zlib (see bench/zlib_block_bench.cpp).
//
// uncompress writes nothing beyond the bytes it produces, while libdeflate
// may write a few hundred bytes past its output while it runs. To leave the
// rest of the slot as uncompress does, libdeflate decodes into a buffer of
// the thread's own and the result is copied into dst; dst itself is written
// by uncompress alone on every other path.

namespace package {

namespace {

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

bool InflateWithZlib(const uint8_t* src, uint32_t srcLength, uint8_t* dst, uint32_t dstLength) {
  uLongf produced = dstLength;
  return uncompress(dst, &produced, src, srcLength) == Z_OK;
}

// --- zlib's reading of deflate data, along libdeflate's output -----------------

constexpr unsigned kMaxCodeLength = 15;
constexpr unsigned kTableBits = 11;  // codes up to this length decode by one lookup
constexpr unsigned kLiteralCodes = 288;
constexpr unsigned kDistanceCodes = 32;
constexpr unsigned kMaxLiteralCodesDeclared = 286;
constexpr unsigned kMaxDistanceCodesDeclared = 30;
constexpr unsigned kEndOfBlock = 256;

// Extra bits after length symbols 257..285 and distance symbols 0..29.
constexpr uint8_t kLengthExtraBits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                          2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kDistanceExtraBits[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                            6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

enum class CodeKind { kCodeLengths, kLiterals, kDistances };

// A table entry: bits 0-5 the bits to consume (codeword and extra bits),
// bits 8-9 what the symbol is, bits 10-13 the codeword's length, bits 16-31
// the symbol. Two more values:
// kSlow for a codeword longer than the table or unassigned, kRefused for a
// symbol that zlib treats as an invalid code.
enum : uint32_t {
  kSlow = 0,
  kRefused = 1,
  kLiteral = 1u << 8,
  kLength = 2u << 8,
  kEnd = 3u << 8,
  kKindMask = 3u << 8
};

// The entry for symbol of a codeword of length bits, 0 for a symbol that
// zlib treats as an invalid code.
uint32_t Entry(CodeKind kind, unsigned symbol, unsigned codewordLength) {
  unsigned bits = codewordLength;
  uint32_t what = 0;
  switch (kind) {
    case CodeKind::kCodeLengths:
      what = kLiteral;
      break;
    case CodeKind::kLiterals:
      if (symbol < kEndOfBlock) what = kLiteral;
      else if (symbol == kEndOfBlock) what = kEnd;
      else if (symbol - 257 < 29) what = kLength, bits += kLengthExtraBits[symbol - 257];
      else return 0;
      break;
    case CodeKind::kDistances:
      if (symbol >= 30) return 0;
      what = kLength;
      bits += kDistanceExtraBits[symbol];
      break;
  }
  return uint32_t(symbol) << 16 | codewordLength << 10 | what | bits;
}

struct Code {
  CodeKind kind;
  uint16_t count[kMaxCodeLength + 1];  // codewords of each length
  uint16_t symbols[kLiteralCodes];     // symbols in canonical order
  // For codewords longer than the table, by length: the end of the
  // codewords up to that length as 15-bit left-aligned values, and the index
  // in symbols of the first codeword of that length less that codeword.
  uint32_t limit[kMaxCodeLength + 1];
  int32_t base[kMaxCodeLength + 1];
  uint32_t table[1u << kTableBits];
  // Literal/length codes: each byte's codeword, first bit lowest, and its
  // length; a byte without a codeword gets a value no bits can equal.
  uint32_t byteCodeword[256];
  uint8_t byteLength[256];
};

uint32_t ReverseBits(uint32_t code, unsigned length) {
  uint32_t reversed = 0;
  for (unsigned i = 0; i < length; ++i, code >>= 1) reversed = reversed << 1 | (code & 1);
  return reversed;
}

// Builds code from the codeword lengths of n symbols with zlib's rules: no
// over-subscribed set; an incomplete set only for literal/length and
// distance codes, and only an empty one or a single code of length 1 (its
// codeword 0; codeword 1 stays invalid). A code-length code must be
// complete (an empty one reads every length as 0 in zlib, which then
// refuses the block for its missing end-of-block code; refused here at
// once).
bool BuildCode(const uint8_t* lengths, unsigned n, Code* code) {
  std::memset(code->count, 0, sizeof code->count);
  for (unsigned s = 0; s < n; ++s) code->count[lengths[s]]++;
  code->count[0] = 0;
  unsigned longest = kMaxCodeLength;
  while (longest > 0 && code->count[longest] == 0) --longest;
  int left = 1;
  for (unsigned length = 1; length <= kMaxCodeLength; ++length) {
    left = left * 2 - code->count[length];
    if (left < 0) return false;
  }
  if (left > 0 && (code->kind == CodeKind::kCodeLengths || longest > 1)) return false;

  uint16_t offsets[kMaxCodeLength + 2] = {};
  for (unsigned length = 1; length <= kMaxCodeLength; ++length)
    offsets[length + 1] = uint16_t(offsets[length] + code->count[length]);
  for (unsigned s = 0; s < n; ++s)
    if (lengths[s] != 0) code->symbols[offsets[lengths[s]]++] = uint16_t(s);

  std::memset(code->table, 0, sizeof code->table);
  uint32_t codeword = 0;
  unsigned index = 0;
  for (unsigned length = 1; length <= kMaxCodeLength; ++length, codeword <<= 1) {
    code->base[length] = int32_t(index) - int32_t(codeword);
    code->limit[length] = (codeword + code->count[length]) << (kMaxCodeLength - length);
    if (length > kTableBits) {
      codeword += code->count[length];
      index += code->count[length];
      continue;
    }
    for (unsigned k = 0; k < code->count[length]; ++k, ++codeword) {
      uint32_t entry = Entry(code->kind, code->symbols[index++], length);
      if (entry == kSlow) entry = kRefused;
      for (uint32_t slot = ReverseBits(codeword, length); slot < (1u << kTableBits); slot += 1u << length)
        code->table[slot] = entry;
    }
  }
  if (code->kind == CodeKind::kLiterals) {
    std::memset(code->byteLength, 0, sizeof code->byteLength);
    std::memset(code->byteCodeword, 0xFF, sizeof code->byteCodeword);
    codeword = 0;
    index = 0;
    for (unsigned length = 1; length <= kMaxCodeLength; ++length, codeword <<= 1) {
      for (unsigned k = 0; k < code->count[length]; ++k, ++codeword) {
        unsigned symbol = code->symbols[index++];
        if (symbol >= 256) continue;
        code->byteCodeword[symbol] = ReverseBits(codeword, length);
        code->byteLength[symbol] = uint8_t(length);
      }
    }
  }
  return true;
}

// The output libdeflate made of the data, and how much of it the walk has
// passed.
struct Output {
  const uint8_t* data;
  uint32_t size;
  uint32_t at = 0;
};

// 8 bytes of data as a little-endian word.
inline uint64_t LoadWord(const uint8_t* p) {
  uint64_t word;
  std::memcpy(&word, p, sizeof word);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  return word;
}

// Reads the bits of the deflate data LSB first. Past the end it supplies
// zero bytes and counts them; using any of them means the data is cut short.
class BitReader {
 public:
  BitReader(const uint8_t* data, uint32_t length) : next_(data), end_(data + length) {}

  // At least 56 bits in the buffer afterwards. False once a supplied zero
  // byte was used or the reader is far past the end, which ends the walk of
  // data cut short.
  bool Refill() {
    if (end_ - next_ >= 8) {
      buffer_ |= LoadWord(next_) << count_;
      next_ += (63 - count_) >> 3;
      count_ |= 56;
      return true;
    }
    if (!Sound()) return false;
    while (count_ < 56) {
      uint64_t byte = 0;
      if (next_ < end_) byte = *next_++;
      else ++phantom_;
      buffer_ |= byte << count_;
      count_ += 8;
    }
    return true;
  }
  uint64_t Peek() const { return buffer_; }
  void Drop(unsigned bits) {
    buffer_ >>= bits;
    count_ -= bits;
  }
  uint32_t Take(unsigned bits) {
    uint32_t value = uint32_t(buffer_ & ((uint64_t(1) << bits) - 1));
    Drop(bits);
    return value;
  }
  // True while no supplied zero byte was used.
  bool Sound() const { return phantom_ <= count_ / 8 && phantom_ < 64; }

  // Moves to the next byte boundary for a stored block and reads its LEN
  // bytes over, passing as many of out. False when the data or out ends
  // first or LEN and NLEN disagree.
  bool SkipStoredBlock(Output* out) {
    Drop(count_ & 7);
    if (!Sound()) return false;
    next_ -= count_ / 8 - phantom_;
    buffer_ = 0;
    count_ = 0;
    phantom_ = 0;
    if (end_ - next_ < 4) return false;
    uint32_t length = uint32_t(next_[0]) | uint32_t(next_[1]) << 8;
    uint32_t check = uint32_t(next_[2]) | uint32_t(next_[3]) << 8;
    next_ += 4;
    if ((length ^ check) != 0xFFFF || uint32_t(end_ - next_) < length || out->size - out->at < length)
      return false;
    next_ += length;
    out->at += length;
    return true;
  }

 private:
  const uint8_t* next_;
  const uint8_t* end_;
  uint64_t buffer_ = 0;
  unsigned count_ = 0;
  unsigned phantom_ = 0;
};

// Decodes one symbol of code at the reader (refilled): its table entry, or
// 0 when zlib finds no valid symbol there.
inline uint32_t DecodeSymbol(const Code& code, const BitReader& in) {
  uint32_t entry = code.table[in.Peek() & ((1u << kTableBits) - 1)];
  if (entry > kRefused) return entry;
  if (entry == kRefused) return 0;
  // A codeword longer than the table, or none: the next 15 bits, first bit
  // highest, against the end of each longer length's codewords.
  uint32_t bits = uint32_t(in.Peek() & 0x7FFF);
  uint32_t value = ReverseBits(bits, kMaxCodeLength);
  for (unsigned length = kTableBits + 1; length <= kMaxCodeLength; ++length) {
    if (value < code.limit[length]) {
      uint32_t codeword = value >> (kMaxCodeLength - length);
      return Entry(code.kind, code.symbols[code.base[length] + int32_t(codeword)], length);
    }
  }
  return 0;
}

struct BlockCodes {
  Code literals{};
  Code distances{};
  Code codeLengths{};
  BlockCodes() {
    literals.kind = CodeKind::kLiterals;
    distances.kind = CodeKind::kDistances;
    codeLengths.kind = CodeKind::kCodeLengths;
  }
};

bool BuildFixedCodes(BlockCodes* codes) {
  uint8_t lengths[kLiteralCodes + kDistanceCodes];
  std::memset(lengths, 8, 144);
  std::memset(lengths + 144, 9, 112);
  std::memset(lengths + 256, 7, 24);
  std::memset(lengths + 280, 8, 8);
  std::memset(lengths + kLiteralCodes, 5, kDistanceCodes);
  return BuildCode(lengths, kLiteralCodes, &codes->literals) &&
         BuildCode(lengths + kLiteralCodes, kDistanceCodes, &codes->distances);
}

// Reads a dynamic block's header (after BFINAL and BTYPE) into codes.
bool ReadDynamicCodes(BitReader& in, BlockCodes* codes) {
  static constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  if (!in.Refill()) return false;
  unsigned literalCount = 257 + in.Take(5);
  unsigned distanceCount = 1 + in.Take(5);
  unsigned lengthCodeCount = 4 + in.Take(4);
  if (literalCount > kMaxLiteralCodesDeclared || distanceCount > kMaxDistanceCodesDeclared) return false;

  uint8_t lengths[kLiteralCodes + kDistanceCodes] = {};
  for (unsigned i = 0; i < lengthCodeCount; ++i) {
    if (!in.Refill()) return false;
    lengths[kOrder[i]] = uint8_t(in.Take(3));
  }
  if (!BuildCode(lengths, 19, &codes->codeLengths)) return false;

  unsigned total = literalCount + distanceCount;
  for (unsigned i = 0; i < total;) {
    if (!in.Refill()) return false;
    uint32_t entry = DecodeSymbol(codes->codeLengths, in);
    if (entry == 0) return false;
    in.Drop(entry & 63);
    unsigned symbol = entry >> 16;
    if (symbol < 16) {
      lengths[i++] = uint8_t(symbol);
      continue;
    }
    uint8_t value = 0;
    unsigned repeat;
    if (symbol == 16) {
      if (i == 0) return false;
      value = lengths[i - 1];
      repeat = 3 + in.Take(2);
    } else if (symbol == 17) {
      repeat = 3 + in.Take(3);
    } else {
      repeat = 11 + in.Take(7);
    }
    if (i + repeat > total) return false;
    std::memset(lengths + i, value, repeat);
    i += repeat;
  }
  if (lengths[kEndOfBlock] == 0) return false;
  return BuildCode(lengths, literalCount, &codes->literals) &&
         BuildCode(lengths + literalCount, distanceCount, &codes->distances);
}

// Reads the symbols of a Huffman block up to its end-of-block code, along
// the output libdeflate made. A literal is most likely the next output
// byte: when the bits begin with that byte's codeword, that is the symbol
// (no codeword is the start of another), found without a table lookup that
// waits for the previous symbol's length. Anything else is decoded by the
// table; a length moves the output on by its value.
bool WalkHuffmanBlock(BitReader& reader, const BlockCodes& codes, Output& out) {
  BitReader in = reader;  // a local copy the compiler keeps in registers
  const Code& literals = codes.literals;
  for (;;) {
    if (!in.Refill()) return false;
    // Up to 3 literals (15 bits each) from one refill.
    int literalsTaken = 0;
    for (; literalsTaken < 3 && out.at < out.size; ++literalsTaken) {
      uint8_t byte = out.data[out.at];
      unsigned length = literals.byteLength[byte];
      if ((in.Peek() & ((1u << length) - 1)) != literals.byteCodeword[byte]) break;
      in.Drop(length);
      out.at++;
    }
    if (literalsTaken == 3) continue;
    if (!in.Refill()) return false;
    uint32_t entry = DecodeSymbol(literals, in);
    uint32_t what = entry & kKindMask;
    // A literal here is not the output's byte: libdeflate read otherwise.
    if (entry == 0 || what == kLiteral) return false;
    if (what == kEnd) {
      in.Drop(entry & 63);
      break;
    }
    unsigned codewordLength = (entry >> 10) & 15;
    unsigned extra = (entry & 63) - codewordLength;
    uint32_t length = kLengthBase[(entry >> 16) - 257] +
                      uint32_t((in.Peek() >> codewordLength) & ((1u << extra) - 1));
    in.Drop(entry & 63);
    entry = DecodeSymbol(codes.distances, in);
    if (entry == 0 || out.size - out.at < length) return false;
    in.Drop(entry & 63);
    out.at += length;
  }
  reader = in;
  return true;
}

}  // namespace

namespace detail {

bool ZlibAgreesOnDeflateData(const uint8_t* data, uint32_t length, const uint8_t* output,
                             uint32_t outputLength) {
  BitReader in(data, length);
  Output out{output, outputLength};
  // The codes take about 5 KiB; on the heap, once per thread.
  thread_local BlockCodes codes;
  thread_local BlockCodes fixed;
  thread_local bool fixedBuilt = BuildFixedCodes(&fixed);
  if (!fixedBuilt) return false;
  for (bool last = false; !last;) {
    if (!in.Refill()) return false;
    last = in.Take(1) != 0;
    unsigned type = in.Take(2);
    bool ok = false;
    if (type == 0) ok = in.SkipStoredBlock(&out);
    else if (type == 1) ok = WalkHuffmanBlock(in, fixed, out);
    else if (type == 2) ok = ReadDynamicCodes(in, &codes) && WalkHuffmanBlock(in, codes, out);
    if (!ok) return false;
  }
  return in.Sound() && out.at == out.size;
}

bool InflateWithLibdeflate(const uint8_t* src, uint32_t srcLength, uint8_t* dst, uint32_t dstLength,
                           uint32_t* produced, uint32_t* consumed) {
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

bool InflateUsesZlibOnly() {
  static const bool zlibOnly = ReadZlibOnlySetting();
  return zlibOnly;
}

bool InflateZlibBlock(const uint8_t* src, uint32_t srcLength, uint8_t* dst, uint32_t dstLength) {
  if (InflateUsesZlibOnly() || dstLength == 0 || dstLength > kMaxScratchSize)
    return InflateWithZlib(src, srcLength, dst, dstLength);
  uint8_t* scratch = threadDecoder.Scratch(dstLength);
  uint32_t produced = 0, consumed = 0;
  // A stream libdeflate accepted is at least its 2-byte header, the deflate
  // data and the 4-byte Adler-32.
  if (scratch != nullptr &&
      detail::InflateWithLibdeflate(src, srcLength, scratch, dstLength, &produced, &consumed) &&
      consumed >= 6 && detail::ZlibAgreesOnDeflateData(src + 2, consumed - 6, scratch, produced)) {
    std::memcpy(dst, scratch, produced);
    return true;
  }
  return InflateWithZlib(src, srcLength, dst, dstLength);
}

}  // namespace package
