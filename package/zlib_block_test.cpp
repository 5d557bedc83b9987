// InflateZlibBlock against zlib's uncompress on the same streams: valid,
// cut short, corrupted, with trailing bytes, odd headers and hand-made deflate
// data that libdeflate without its patch reads differently from zlib. Every case
// compares the verdict and the whole slot, prepared identically for both, and
// holds libdeflate alone to its promise: what it accepts, zlib accepts with
// the same output (in a build with libdeflate).
#include "package/zlib_block.h"
#include "tests/support/package_like_data.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace package {
namespace {

using Bytes = std::vector<uint8_t>;

// Data like a package's: text, little-endian tables, runs and noise.
Bytes RealisticData(size_t size, uint32_t seed) { return fixtures::PackageLikeData(size, seed); }

Bytes Compress(const Bytes& data, int level) {
  uLongf size = compressBound(uLong(data.size()));
  Bytes out(size);
  EXPECT_EQ(compress2(out.data(), &size, data.data(), uLong(data.size()), level), Z_OK);
  out.resize(size);
  return out;
}

struct Outcome {
  bool ok;
  Bytes slot;
};

// The slot before decoding: zero like the caller's, or a pattern, which
// shows any byte written beyond the output.
Bytes PreparedSlot(uint32_t size, bool patterned) {
  Bytes slot(size + 64, 0);  // guard bytes after the slot
  if (patterned)
    for (size_t i = 0; i < slot.size(); ++i) slot[i] = uint8_t(0xA5 ^ i);
  return slot;
}

Outcome ByZlib(const Bytes& stream, uint32_t slotSize, bool patterned) {
  Outcome outcome{false, PreparedSlot(slotSize, patterned)};
  uLongf produced = slotSize;
  outcome.ok = uncompress(outcome.slot.data(), &produced, stream.data(), uLong(stream.size())) == Z_OK;
  return outcome;
}

Outcome ByBlock(const Bytes& stream, uint32_t slotSize, bool patterned) {
  Outcome outcome{false, PreparedSlot(slotSize, patterned)};
  // A heap copy of exactly the stream, where the sanitizers see any read
  // beyond it.
  Bytes copy(stream);
  outcome.ok = InflateZlibBlock(copy.data(), uint32_t(copy.size()), outcome.slot.data(), slotSize);
  return outcome;
}

#if HANHUA_HAVE_LIBDEFLATE
struct LibdeflateOutcome {
  bool ok;
  Bytes output;  // what it produced
};

LibdeflateOutcome ByLibdeflateAlone(const Bytes& stream, uint32_t slotSize) {
  Bytes copy(stream);
  Bytes slot(slotSize + 1);  // never empty, so data() is a real buffer
  uint32_t produced = 0, consumed = 0;
  bool ok = detail::InflateWithLibdeflate(copy.data(), uint32_t(copy.size()), slot.data(), slotSize, &produced,
                                          &consumed);
  if (!ok) return {false, {}};
  EXPECT_LE(produced, slotSize);
  EXPECT_LE(consumed, stream.size());
  slot.resize(produced);
  return {true, slot};
}
#endif

// Compares both decoders on stream and slot, and checks that libdeflate
// alone accepts nothing zlib refuses; returns the number of comparisons made.
int ExpectSame(const Bytes& stream, uint32_t slotSize, const std::string& what) {
  for (bool patterned : {false, true}) {
    Outcome zlib = ByZlib(stream, slotSize, patterned);
    Outcome block = ByBlock(stream, slotSize, patterned);
    EXPECT_EQ(block.ok, zlib.ok) << what << ", slot " << slotSize << (patterned ? ", patterned" : "");
    EXPECT_TRUE(block.slot == zlib.slot) << what << ", slot " << slotSize << (patterned ? ", patterned" : "");
  }
#if HANHUA_HAVE_LIBDEFLATE
  LibdeflateOutcome alone = ByLibdeflateAlone(stream, slotSize);
  if (alone.ok) {
    Outcome zlib = ByZlib(stream, slotSize, true);
    if (!zlib.ok)
      ADD_FAILURE() << what << ", slot " << slotSize << ": libdeflate accepts what zlib refuses";
    else
      EXPECT_TRUE(std::equal(alone.output.begin(), alone.output.end(), zlib.slot.begin()))
          << what << ", slot " << slotSize << ": libdeflate's output differs";
  }
#endif
  return 3;
}

TEST(ZlibBlock, ValidStreamsOfEveryLevelSizeAndSlot) {
  int cases = 0;
  for (size_t size : {size_t(0), size_t(1), size_t(100), size_t(4096), size_t(65536), size_t(131072),
                      size_t(131072 + 777)}) {
    Bytes data = RealisticData(size, uint32_t(size));
    for (int level = 0; level <= 9; ++level) {
      Bytes stream = Compress(data, level);
      std::string what = "size " + std::to_string(size) + " level " + std::to_string(level);
#if HANHUA_HAVE_LIBDEFLATE
      // Ordinary streams must take libdeflate's path, not zlib's.
      EXPECT_TRUE(ByLibdeflateAlone(stream, uint32_t(size)).ok) << what;
#endif
      uint32_t exact = uint32_t(size);
      for (uint32_t slot : {exact, exact + 1, exact + 1000, exact > 0 ? exact - 1 : 0u, exact / 2, 0u})
        cases += ExpectSame(stream, slot, what);
      Outcome block = ByBlock(stream, exact, false);
      EXPECT_TRUE(block.ok) << what;
      EXPECT_TRUE(std::equal(data.begin(), data.end(), block.slot.begin())) << what;
    }
  }
  EXPECT_GE(cases, 800);
  RecordProperty("cases", cases);
}

TEST(ZlibBlock, StreamsCutShortAtEveryPoint) {
  int cases = 0;
  for (auto [size, level] : {std::pair{300, 6}, std::pair{5000, 1}, std::pair{2000, 0}, std::pair{3000, 9}}) {
    Bytes data = RealisticData(size_t(size), 7);
    Bytes stream = Compress(data, level);
    for (size_t cut = 0; cut < stream.size(); ++cut) {
      Bytes shorter(stream.begin(), stream.begin() + long(cut));
      std::string what = "level " + std::to_string(level) + " cut at " + std::to_string(cut);
      cases += ExpectSame(shorter, uint32_t(size), what);
    }
  }
  EXPECT_GE(cases, 5000);
  RecordProperty("cases", cases);
}

TEST(ZlibBlock, CorruptedStreams) {
  std::mt19937 random(20261208);
  int cases = 0;
  for (int level : {1, 6, 9, 0}) {
    Bytes data = RealisticData(20000, uint32_t(level));
    Bytes stream = Compress(data, level);
    for (int i = 0; i < 1500; ++i) {
      Bytes damaged = stream;
      size_t at = random() % damaged.size();
      if (i % 3 == 2) damaged[at] = uint8_t(random());
      else damaged[at] ^= uint8_t(1u << (random() % 8));
      if (i % 5 == 4) damaged[random() % damaged.size()] ^= uint8_t(1u << (random() % 8));
      cases += ExpectSame(damaged, uint32_t(data.size()) + (i % 7 == 0 ? 100u : 0u),
                          "level " + std::to_string(level) + " damage " + std::to_string(i));
    }
  }
  EXPECT_GE(cases, 12000);
  RecordProperty("cases", cases);
}

TEST(ZlibBlock, TrailingBytesAndShortSlots) {
  int cases = 0;
  Bytes data = RealisticData(10000, 3);
  Bytes stream = Compress(data, 6);
  for (size_t extra : {1, 3, 4, 7, 100}) {
    Bytes longer = stream;
    for (size_t i = 0; i < extra; ++i) longer.push_back(uint8_t(0x5A + i));
    for (uint32_t slot : {10000u, 9999u, 10001u, 1u})
      cases += ExpectSame(longer, slot, "trailing " + std::to_string(extra));
  }
  for (uint32_t slot = 0; slot <= 10000; slot += 97) cases += ExpectSame(stream, slot, "slot");
  // A stream of one byte into an empty slot: uncompress accepts it (it
  // decodes into a byte of its own).
  Bytes one = Compress(Bytes{42}, 6);
  cases += ExpectSame(one, 0, "one byte, empty slot");
  EXPECT_TRUE(ByBlock(one, 0, false).ok);
  cases += ExpectSame(Bytes{}, 0, "nothing at all");
  cases += ExpectSame(Bytes{}, 10, "nothing at all");
  EXPECT_GE(cases, 240);
  RecordProperty("cases", cases);
}

// --- hand-made streams -----------------------------------------------------

// Writes deflate bits LSB first; Huffman codewords go MSB first.
class BitWriter {
 public:
  void Put(uint32_t value, unsigned bits) {
    for (unsigned i = 0; i < bits; ++i) PutBit((value >> i) & 1);
  }
  void PutCode(uint32_t codeword, unsigned length) {
    for (unsigned i = length; i-- > 0;) PutBit((codeword >> i) & 1);
  }
  void AlignToByte() {
    while (used_ != 0) PutBit(0);
  }
  void PutBytes(const Bytes& bytes) {
    AlignToByte();
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  }
  Bytes Finish() {
    AlignToByte();
    return bytes_;
  }

 private:
  void PutBit(uint32_t bit) {
    if (used_ == 0) bytes_.push_back(0);
    bytes_.back() |= uint8_t(bit << used_);
    used_ = (used_ + 1) % 8;
  }
  Bytes bytes_;
  unsigned used_ = 0;
};

// The order in which a dynamic header gives the code-length code's lengths.
const int kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Canonical codewords for code lengths, as deflate assigns them.
std::vector<uint32_t> Codewords(const std::vector<uint8_t>& lengths) {
  unsigned count[16] = {}, next[16] = {};
  for (uint8_t l : lengths) count[l]++;
  count[0] = 0;
  for (unsigned l = 1, code = 0; l < 16; ++l) next[l] = code = (code + count[l - 1]) << 1;
  std::vector<uint32_t> codes(lengths.size());
  for (size_t s = 0; s < lengths.size(); ++s)
    if (lengths[s] != 0) codes[s] = next[lengths[s]]++;
  return codes;
}

// A zlib stream around deflate data whose output is output.
Bytes ZlibStream(const Bytes& deflate, const Bytes& output, uint8_t cmf = 0x78, uint8_t flg = 0x01) {
  Bytes stream{cmf, flg};
  stream.insert(stream.end(), deflate.begin(), deflate.end());
  uint32_t adler = uint32_t(adler32(adler32(0, nullptr, 0), output.data(), uInt(output.size())));
  for (int shift = 24; shift >= 0; shift -= 8) stream.push_back(uint8_t(adler >> shift));
  return stream;
}

// A dynamic block header for the given code lengths, each written as one
// code-length symbol. The code-length code gives symbols 0-12 4 bits and
// 13-18 5 bits, unless codeLengthLengths says otherwise.
struct DynamicHeader {
  std::vector<uint8_t> literals;   // HLIT + 257 lengths
  std::vector<uint8_t> distances;  // HDIST + 1 lengths
  int zeroRunAtEnd = 0;            // extra symbol 17 of this count after the lengths
  std::vector<uint8_t> codeLengthLengths = DefaultCodeLengthLengths();

  static std::vector<uint8_t> DefaultCodeLengthLengths() {
    std::vector<uint8_t> lengths(19, 4);
    for (int s = 13; s < 19; ++s) lengths[size_t(s)] = 5;
    return lengths;
  }

  // declaredDistances: the HDIST + 1 written, when not distances.size().
  void Write(BitWriter& out, bool last, size_t declaredDistances = 0) const {
    out.Put(last ? 1 : 0, 1);
    out.Put(2, 2);
    out.Put(uint32_t(literals.size() - 257), 5);
    out.Put(uint32_t((declaredDistances != 0 ? declaredDistances : distances.size()) - 1), 5);
    out.Put(19 - 4, 4);
    for (int s : kOrder) out.Put(codeLengthLengths[size_t(s)], 3);
    std::vector<uint32_t> codes = Codewords(codeLengthLengths);
    auto put = [&](unsigned symbol) { out.PutCode(codes[symbol], codeLengthLengths[symbol]); };
    for (uint8_t l : literals) put(l);
    for (uint8_t l : distances) put(l);
    if (zeroRunAtEnd > 0) {
      put(17);
      out.Put(uint32_t(zeroRunAtEnd - 3), 3);
    }
  }
};

// Literal/length code of count lengths (at least 258): 'a' 1 bit,
// end-of-block and length 3 (257) 2 bits.
std::vector<uint8_t> SmallLiteralCode(size_t count) {
  std::vector<uint8_t> lengths(std::max<size_t>(count, 258), 0);
  lengths['a'] = 1;
  lengths[256] = 2;
  lengths[257] = 2;
  return lengths;
}

enum Symbol { kA, kEnd, kLength3 };
void PutSmall(BitWriter& out, Symbol s) {
  if (s == kA) out.PutCode(0, 1);
  if (s == kEnd) out.PutCode(2, 2);
  if (s == kLength3) out.PutCode(3, 2);
}

// A fixed-code block: literals, then symbol lengthSymbol with zero extra
// bits, then distance symbol distanceSymbol with zero extra bits, then the
// end of block.
Bytes FixedBlockWith(const Bytes& literals, unsigned lengthSymbol, unsigned distanceSymbol, const Bytes& before) {
  BitWriter out;
  if (!before.empty()) {
    out.Put(0, 1);
    out.Put(0, 2);
    out.AlignToByte();
    out.PutBytes(Bytes{uint8_t(before.size()), uint8_t(before.size() >> 8), uint8_t(~before.size()),
                       uint8_t(~before.size() >> 8)});
    out.PutBytes(before);
  }
  out.Put(1, 1);
  out.Put(1, 2);
  for (uint8_t c : literals) c < 144 ? out.PutCode(0x30 + c, 8) : out.PutCode(0x190 + c - 144, 9);
  auto putLiteralLength = [&](unsigned s) {
    if (s < 280) out.PutCode(s - 256, 7);
    else out.PutCode(0xC0 + s - 280, 8);
  };
  putLiteralLength(lengthSymbol);
  if (lengthSymbol >= 265 && lengthSymbol < 285) out.Put(0, (lengthSymbol - 261) / 4);
  out.PutCode(distanceSymbol, 5);
  unsigned extra = distanceSymbol < 4 ? 0 : (distanceSymbol - 2) / 2;
  if (distanceSymbol >= 30) extra = 13;
  out.Put(0, extra);
  putLiteralLength(256);
  return out.Finish();
}

struct HandMade {
  std::string name;
  Bytes stream;
  uint32_t slot;
  bool libdeflateAlone;  // libdeflate's own verdict (patched)
  bool zlib;             // uncompress's verdict
};

std::vector<HandMade> HandMadeStreams() {
  std::vector<HandMade> cases;
  Bytes aaaa{'a', 'a', 'a', 'a'};
  auto dynamic = [](const DynamicHeader& header, const std::vector<Symbol>& symbols, int distanceCodeword,
                    int distanceBits) {
    BitWriter out;
    header.Write(out, true);
    for (Symbol s : symbols) {
      PutSmall(out, s);
      if (s == kLength3 && distanceBits > 0) out.PutCode(uint32_t(distanceCodeword), unsigned(distanceBits));
    }
    return out.Finish();
  };
  std::vector<uint8_t> twoDistances{1, 1};

  // Ordinary dynamic blocks, which both read alike.
  cases.push_back({"dynamic block", ZlibStream(dynamic({SmallLiteralCode(258), twoDistances}, {kA, kLength3, kEnd}, 0, 1), aaaa), 4, true, true});
  cases.push_back({"dynamic block, slot larger", ZlibStream(dynamic({SmallLiteralCode(258), twoDistances}, {kA, kLength3, kEnd}, 0, 1), aaaa), 9, true, true});
  cases.push_back({"dynamic block, slot smaller", ZlibStream(dynamic({SmallLiteralCode(258), twoDistances}, {kA, kLength3, kEnd}, 0, 1), aaaa), 3, false, false});
  // zlib refuses more than 286 literal/length or 30 distance codes, even
  // unused (libdeflate without its patch takes them).
  cases.push_back({"287 literal/length codes", ZlibStream(dynamic({SmallLiteralCode(287), twoDistances}, {kA, kEnd}, 0, 0), {'a'}), 1, false, false});
  cases.push_back({"288 literal/length codes", ZlibStream(dynamic({SmallLiteralCode(288), twoDistances}, {kA, kEnd}, 0, 0), {'a'}), 1, false, false});
  std::vector<uint8_t> distances31(31, 0);
  distances31[0] = distances31[1] = 1;
  cases.push_back({"31 distance codes", ZlibStream(dynamic({SmallLiteralCode(258), distances31}, {kA, kEnd}, 0, 0), {'a'}), 1, false, false});
  // A repeat of zero lengths running past the declared count: 3 distance
  // lengths declared, 2 written and then a run of 3 zeros (libdeflate
  // without its patch drops the excess).
  {
    DynamicHeader h{SmallLiteralCode(258), {1, 1}};
    h.zeroRunAtEnd = 3;
    BitWriter out;
    h.Write(out, true, /*declaredDistances=*/3);
    PutSmall(out, kA);
    PutSmall(out, kEnd);
    cases.push_back({"zero run past the declared lengths", ZlibStream(out.Finish(), {'a'}), 1, false, false});
  }
  // Incomplete codes, which zlib accepts with their unused codewords invalid
  // and the patched libdeflate refuses outright (its tables cannot express an
  // invalid codeword). A literal/length code of the end-of-block code
  // alone (1 bit): codeword 0 is it for zlib, codeword 1 invalid.
  for (int bit : {0, 1}) {
    std::vector<uint8_t> onlyEnd(257, 0);
    onlyEnd[256] = 1;
    DynamicHeader h{onlyEnd, {0}};
    BitWriter out;
    h.Write(out, true);
    out.Put(uint32_t(bit), 1);
    cases.push_back({"end-of-block alone, codeword " + std::to_string(bit), ZlibStream(out.Finish(), {}), 0, false, bit == 0});
    cases.push_back({"end-of-block alone, codeword " + std::to_string(bit) + ", slot 5", ZlibStream(out.Finish(), {}), 5, false, bit == 0});
  }
  // A distance code of one symbol (distance 1, 1 bit), codeword 0 and 1.
  for (int bit : {0, 1})
    cases.push_back({"one distance code, codeword " + std::to_string(bit),
                     ZlibStream(dynamic({SmallLiteralCode(258), {1}}, {kA, kLength3, kEnd}, bit, 1), aaaa), 4, false, bit == 0});
  // An empty distance code, used by a match (libdeflate without its patch
  // reads distance 1) and unused.
  cases.push_back({"empty distance code used", ZlibStream(dynamic({SmallLiteralCode(258), {0}}, {kA, kLength3, kEnd}, 0, 1), aaaa), 4, false, false});
  cases.push_back({"empty distance code unused", ZlibStream(dynamic({SmallLiteralCode(258), {0}}, {kA, kEnd}, 0, 0), {'a'}), 1, false, true});
  // A code-length code of a single code: refused by both (libdeflate
  // without its patch takes it, but the lengths it gives make no valid
  // block).
  {
    std::vector<uint8_t> codeLengthLengths(19, 0);
    codeLengthLengths[8] = 1;
    BitWriter out;
    out.Put(1, 1);
    out.Put(2, 2);
    out.Put(0, 5);
    out.Put(1, 5);
    out.Put(15, 4);
    for (int s : kOrder) out.Put(codeLengthLengths[size_t(s)], 3);
    for (int i = 0; i < 259; ++i) out.Put(0, 1);  // every length 8
    cases.push_back({"single code-length code", ZlibStream(out.Finish(), {}), 10, false, false});
  }
  // A missing end-of-block code.
  {
    std::vector<uint8_t> noEnd = SmallLiteralCode(258);
    noEnd[256] = 0;
    noEnd['b'] = 2;
    cases.push_back({"no end-of-block code", ZlibStream(dynamic({noEnd, twoDistances}, {kA}, 0, 0), {'a'}), 10, false, false});
  }
  // Fixed-code symbols that zlib treats as invalid: literal/length 286 and
  // 287 (libdeflate without its patch: length 258), distances 30 and 31
  // (24577).
  {
    Bytes out259(259, 'a');
    cases.push_back({"fixed code, length symbol 286", ZlibStream(FixedBlockWith({'a'}, 286, 0, {}), out259), 259, false, false});
    cases.push_back({"fixed code, length symbol 287", ZlibStream(FixedBlockWith({'a'}, 287, 0, {}), out259), 259, false, false});
    cases.push_back({"fixed code, length symbol 285", ZlibStream(FixedBlockWith({'a'}, 285, 0, {}), out259), 259, true, true});
    Bytes before = RealisticData(24577, 9);
    for (unsigned distance : {29u, 30u, 31u}) {
      Bytes output = before;
      for (int i = 0; i < 3; ++i) output.push_back(output[output.size() - 24577]);
      cases.push_back({"fixed code, distance symbol " + std::to_string(distance),
                       ZlibStream(FixedBlockWith({}, 257, distance, before), output), uint32_t(output.size()),
                       distance == 29, distance == 29});
    }
  }
  // A distance before the first byte.
  cases.push_back({"distance too far back", ZlibStream(FixedBlockWith({'a'}, 257, 1, {}), {'a', 'a', 'a', 'a'}), 4, false, false});
  // Stored blocks: empty, non-final then final, wrong NLEN.
  {
    BitWriter out;
    out.Put(0, 1), out.Put(0, 2);
    out.PutBytes({3, 0, 0xFC, 0xFF, 'a', 'b', 'c'});
    out.Put(1, 1), out.Put(0, 2);
    out.PutBytes({0, 0, 0xFF, 0xFF});
    cases.push_back({"stored blocks", ZlibStream(out.Finish(), {'a', 'b', 'c'}), 3, true, true});
    BitWriter bad;
    bad.Put(1, 1), bad.Put(0, 2);
    bad.PutBytes({3, 0, 0xFC, 0xFE, 'a', 'b', 'c'});
    cases.push_back({"stored block, NLEN wrong", ZlibStream(bad.Finish(), {'a', 'b', 'c'}), 3, false, false});
    BitWriter notLast;
    notLast.Put(0, 1), notLast.Put(0, 2);
    notLast.PutBytes({3, 0, 0xFC, 0xFF, 'a', 'b', 'c'});
    cases.push_back({"no final block", ZlibStream(notLast.Finish(), {'a', 'b', 'c'}), 3, false, false});
    BitWriter type3;
    type3.Put(1, 1), type3.Put(3, 2);
    cases.push_back({"block type 3", ZlibStream(type3.Finish(), {}), 3, false, false});
  }
  // Headers around a valid stream of "hello".
  Bytes hello{'h', 'e', 'l', 'l', 'o'};
  Bytes helloStream = Compress(hello, 9);
  Bytes deflate(helloStream.begin() + 2, helloStream.end() - 4);
  auto header = [&](uint8_t cmf, uint8_t flgHigh) {
    unsigned flg = flgHigh;
    flg += (31 - (cmf * 256u + flg) % 31) % 31;
    return ZlibStream(deflate, hello, cmf, uint8_t(flg));
  };
  cases.push_back({"window field 7", header(0x78, 0xC0), 5, true, true});
  cases.push_back({"window field 0", header(0x08, 0x00), 5, true, true});
  cases.push_back({"window field 8", header(0x88, 0x00), 5, false, false});
  cases.push_back({"window field 15", header(0xF8, 0x00), 5, false, false});
  cases.push_back({"method 7", header(0x77, 0x00), 5, false, false});
  cases.push_back({"method 15", header(0x7F, 0x00), 5, false, false});
  cases.push_back({"dictionary flag", header(0x78, 0x20), 5, false, false});
  cases.push_back({"header check wrong", ZlibStream(deflate, hello, 0x78, 0x02), 5, false, false});
  Bytes badAdler = helloStream;
  badAdler.back() ^= 1;
  cases.push_back({"Adler-32 wrong", badAdler, 5, false, false});
  // A small window with a match further back than it: zlib does not enforce
  // the window size (uncompress inflates into the whole slot).
  {
    Bytes output = RealisticData(1000, 4);
    for (int i = 0; i < 3; ++i) output.push_back(output[output.size() - 769]);
    Bytes block = FixedBlockWith({}, 257, 19, Bytes(output.begin(), output.begin() + 1000));
    Bytes small = ZlibStream(block, output, 0x08, 0x1D);
    cases.push_back({"window 256, distance 769", small, uint32_t(output.size()), true, true});
  }
  return cases;
}

TEST(ZlibBlock, HandMadeStreams) {
  int cases = 0;
  for (const HandMade& c : HandMadeStreams()) {
#if HANHUA_HAVE_LIBDEFLATE
    Bytes slot(c.slot + 16);
    uint32_t produced = 0, consumed = 0;
    EXPECT_EQ(detail::InflateWithLibdeflate(c.stream.data(), uint32_t(c.stream.size()), slot.data(), c.slot,
                                            &produced, &consumed),
              c.libdeflateAlone)
        << c.name << ": libdeflate alone";
#endif
    EXPECT_EQ(ByZlib(c.stream, c.slot, false).ok, c.zlib) << c.name << ": uncompress";
    cases += ExpectSame(c.stream, c.slot, c.name);
  }
  EXPECT_GE(cases, 76);
  RecordProperty("cases", cases);
}

TEST(ZlibBlock, ThreadsDecodeAtTheSameTime) {
  std::vector<Bytes> data, streams;
  for (uint32_t i = 0; i < 4; ++i) {
    data.push_back(RealisticData(131072, i));
    streams.push_back(Compress(data.back(), int(i * 3)));
  }
  std::vector<int> failures(4, 0);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 20; ++round) {
        size_t which = (t + size_t(round)) % 4;
        Bytes slot(131072);
        if (!InflateZlibBlock(streams[which].data(), uint32_t(streams[which].size()), slot.data(), 131072) ||
            slot != data[which])
          failures[t]++;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (size_t t = 0; t < 4; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

}  // namespace
}  // namespace package
