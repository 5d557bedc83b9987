// The floor's decompression hands on what hanhua writes for a package (the
// fixtures' independent ExpectedPatchOutput), whatever the chunk buffer held
// before, and refuses what hanhua refuses.
#include "bench/unpack.h"

#include <gtest/gtest.h>

#include <lzo/lzo1x.h>
#include <zlib.h>

#include <functional>
#include <string>

#include "bench/corpus.h"
#include "tests/support/package_builder.h"

namespace {

using fixtures::Bytes;

// The pieces handed on, joined; empty when the result is -1 or does not
// count the bytes handed on.
Bytes Unpacked(const Bytes& shipped, bench::GrowBuffer* buffer) {
  Bytes out;
  int64_t size = bench::UnpackPackage(shipped.data(), shipped.size(), buffer,
                                      [&out](const uint8_t* data, uint64_t length) {
                                        out.insert(out.end(), data, data + length);
                                        return true;
                                      });
  if (size != int64_t(out.size())) return {};
  return out;
}

Bytes CorpusPackage(int index, double scale) {
  Bytes shipped;
  uint64_t size = 0;
  bench::DialogueStats stats;
  EXPECT_TRUE(bench::ShippedPackage(index, bench::PlanPackages(scale)[index], scale, &shipped, &size, &stats));
  return shipped;
}

TEST(Unpack, EqualsThePatcherOutputWithOneBufferForAll) {
  ASSERT_EQ(lzo_init(), LZO_E_OK);
  bench::GrowBuffer buffer;
  // Large before small, so later packages land in a buffer full of old bytes.
  for (int index : {420, 101, 0, 3, 7, 1500}) {
    SCOPED_TRACE(index);
    Bytes shipped = CorpusPackage(index, 0.02);
    Bytes expected;
    ASSERT_TRUE(fixtures::ExpectedPatchOutput(shipped, &expected));
    EXPECT_EQ(Unpacked(shipped, &buffer), expected);
  }
}

// A plain package of `size` bytes of patterned data behind its tables.
Bytes PlainPackage(size_t size) {
  fixtures::PackageContents contents;
  Bytes body(size);
  for (size_t i = 0; i < size; ++i) body[i] = uint8_t(i * 7 + i / 251);
  contents.AddExport(contents.AddClassImport("Texture2D"), contents.Name("T"), body);
  return fixtures::BuildPackage(contents).bytes;
}

TEST(Unpack, BlocksThatFillLessThanTheirSlotLeaveZeros) {
  ASSERT_EQ(lzo_init(), LZO_E_OK);
  fixtures::CompressOptions options;
  options.chunkSize = 4096;
  options.blockSize = 1024;
  // Block 1 of chunk 0 inflates to 100 bytes instead of 1024.
  options.editBlock = [](uint32_t chunk, uint32_t block, Bytes& compressed) {
    if (chunk != 0 || block != 1) return;
    Bytes part(100, 0xAB);
    uLongf length = compressBound(100);
    compressed.assign(length, 0);
    compress2(compressed.data(), &length, part.data(), 100, 6);
    compressed.resize(length);
  };
  fixtures::CompressedPackage packed;
  ASSERT_TRUE(fixtures::CompressPackage(PlainPackage(10000), options, &packed));
  Bytes expected;
  ASSERT_TRUE(fixtures::ExpectedPatchOutput(packed.bytes, &expected));

  bench::GrowBuffer buffer;
  ASSERT_TRUE(buffer.Reserve(expected.size()));
  std::fill(buffer.data(), buffer.data() + expected.size(), 0xEE);  // left over from before
  EXPECT_EQ(Unpacked(packed.bytes, &buffer), expected);
}

struct Damage {
  std::string name;
  std::function<void(fixtures::CompressedPackage&)> apply;
};

TEST(Unpack, RefusesWhatCannotBeRebuilt) {
  ASSERT_EQ(lzo_init(), LZO_E_OK);
  const Damage damages[] = {
      {"wrong tag", [](fixtures::CompressedPackage& p) { fixtures::PutU32(p.bytes, 0, 0x12345678); }},
      {"not compressed", [](fixtures::CompressedPackage& p) { fixtures::PutU32(p.bytes, p.summary.compressionFlags, 0); }},
      {"unknown compression", [](fixtures::CompressedPackage& p) { fixtures::PutU32(p.bytes, p.summary.compressionFlags, 4); }},
      {"truncated", [](fixtures::CompressedPackage& p) { p.bytes.erase(p.bytes.end() - 10, p.bytes.end()); }},
      {"chunk table beyond the end", [](fixtures::CompressedPackage& p) { fixtures::PutU32(p.bytes, p.summary.chunkCount, 0x10000000); }},
      {"chunk beyond the end", [](fixtures::CompressedPackage& p) { fixtures::PutU32(p.bytes, p.chunks[1].recordOffset + 8, uint32_t(p.bytes.size())); }},
      {"block size 0", [](fixtures::CompressedPackage& p) { fixtures::PutU32(p.bytes, p.chunks[0].headerOffset + 4, 0); }},
      {"block larger than its chunk", [](fixtures::CompressedPackage& p) { fixtures::PutU32(p.bytes, p.chunks[0].recordOffset + 4, 100); }},
      {"corrupt block", [](fixtures::CompressedPackage& p) { p.bytes[p.chunks[0].blocks[0].dataOffset] ^= 0xFF; }},
  };
  for (uint32_t compression : {fixtures::kCompressionZlib, fixtures::kCompressionLzo}) {
    for (const Damage& damage : damages) {
      SCOPED_TRACE(damage.name + (compression == fixtures::kCompressionZlib ? " zlib" : " lzo"));
      fixtures::CompressOptions options;
      options.compression = compression;
      options.chunkSize = 4096;
      options.blockSize = 1024;
      fixtures::CompressedPackage packed;
      ASSERT_TRUE(fixtures::CompressPackage(PlainPackage(10000), options, &packed));
      damage.apply(packed);
      bench::GrowBuffer buffer;
      EXPECT_EQ(Unpacked(packed.bytes, &buffer), Bytes());
    }
  }
}

TEST(Unpack, StopsWhenTheSinkRefuses) {
  Bytes shipped = CorpusPackage(420, 0.02);
  // The pieces: the summary, the bytes before the chunks, two chunks.
  for (int refusedPiece : {0, 1, 2, 3}) {
    bench::GrowBuffer buffer;
    int pieces = 0;
    int64_t size = bench::UnpackPackage(shipped.data(), shipped.size(), &buffer,
                                        [&](const uint8_t*, uint64_t) { return pieces++ != refusedPiece; });
    EXPECT_EQ(size, -1) << refusedPiece;
    EXPECT_EQ(pieces, refusedPiece + 1);
  }
}

}  // namespace
