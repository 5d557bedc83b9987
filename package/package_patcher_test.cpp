// PatchPackageFile from the outside: a backup on disk, the shipped file it
// leaves behind, the code and the console bytes.
#include "package/package_patcher.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/messages.h"
#include "package/package_decompress.h"
#include "package/package_pipeline.h"
#include "dictionary/dict_test_util.h"
#include "platform/fault_injection.h"
#include "platform/platform.h"
#include "platform/terminal.h"
#include "tests/support/files.h"
#include "tests/support/package_builder.h"
#include "tests/support/package_scene.h"

#if !defined(_WIN32)
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define HANHUA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HANHUA_ASAN 1
#endif
#endif

namespace {

using fixtures::Bytes;
using fixtures::GetU32;
using fixtures::PutU32;

constexpr uint32_t kHiddenSystem = platform::kAttrHidden | platform::kAttrSystem;

// Bytes that compress, but not to nothing.
Bytes Pattern(size_t size, uint32_t seed) {
  Bytes out(size);
  uint32_t x = seed;
  for (size_t i = 0; i < size; ++i) {
    if (i % 64 == 0) x = x * 1103515245u + 12345u;
    out[i] = uint8_t((x >> 16) + i % 7);
  }
  return out;
}

fixtures::BuiltPackage PlainPackage(size_t bodyBytes) {
  fixtures::PackageContents c;
  c.packageFlags = 0x0F080009;  // bits 24 to 27 set: cleared in the output
  c.AddName("None");
  c.AddUtf16Name("\xE5\xAF\xB9\xE8\xAF\x9D");
  int32_t dialogue = c.AddClassImport("AkDialogueEvent");
  int32_t outer = c.AddExport(0, c.Name("Bank"), Pattern(40, 1));
  c.AddExport(dialogue, c.Name("Line"), Pattern(bodyBytes, 2), outer, 1);
  return fixtures::BuildPackage(c);
}

struct Shipped {
  fixtures::BuiltPackage plain;
  fixtures::CompressedPackage packed;
  Bytes expected;  // what the patcher must write
};

Shipped MakeShipped(uint32_t compression, size_t bodyBytes, uint32_t chunkSize = 0x80000,
                    uint32_t blockSize = fixtures::kStandardBlockSize,
                    const fixtures::CompressOptions* base = nullptr) {
  Shipped s;
  s.plain = PlainPackage(bodyBytes);
  fixtures::CompressOptions options = base ? *base : fixtures::CompressOptions{};
  options.compression = compression;
  options.chunkSize = chunkSize;
  options.blockSize = blockSize;
  EXPECT_TRUE(fixtures::CompressPackage(s.plain.bytes, options, &s.packed));
  s.expected = s.plain.bytes;
  PutU32(s.expected, s.plain.summary.packageFlags, 0x00080009);
  return s;
}

using Scene = fixtures::PackageScene;
using PatchRun = fixtures::PatchResult;

PatchRun Patch(const std::string& path) { return fixtures::RunPackagePatch(path); }

std::string Format(const char* format, const std::string& path) {
  return fixtures::FormatMessage(format, path);
}

// After a failure the shipped file is the backup, with normal attributes,
// and the backup is untouched.
void ExpectRestored(const Scene& scene, const Bytes& backup) {
  EXPECT_EQ(fixtures::ReadFileBytes(scene.shipped), backup);
  EXPECT_EQ(platform::GetAttributes(scene.shipped.c_str()), platform::kAttrNormal);
  EXPECT_EQ(fixtures::ReadFileBytes(scene.backup), backup);
  if (scene.attributes) {
    EXPECT_EQ(platform::GetAttributes(scene.backup.c_str()), kHiddenSystem);
  }
}

// ---------------------------------------------------------------------------
// Packages that rebuild

struct GoodCase {
  const char* name;
  uint32_t compression;
  size_t bodyBytes;
  uint32_t chunkSize;
  uint32_t blockSize;
  size_t chunks;
  size_t blocksInFirstChunk;
};

void PrintTo(const GoodCase& c, std::ostream* os) { *os << c.name; }

class PatchGood : public testing::TestWithParam<GoodCase> {};

TEST_P(PatchGood, WritesTheUncompressedPackage) {
  const GoodCase& t = GetParam();
  Shipped s = MakeShipped(t.compression, t.bodyBytes, t.chunkSize, t.blockSize);
  ASSERT_EQ(s.packed.chunks.size(), t.chunks);
  ASSERT_EQ(s.packed.chunks[0].blocks.size(), t.blocksInFirstChunk);
  Scene scene;
  ASSERT_TRUE(scene.Install(s.packed.bytes));

  PatchRun run = Patch(scene.backup);
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.printed, "");
  EXPECT_EQ(run.pathAfter, scene.shipped) << "the .bak suffix is cut off in place";
  Bytes output = fixtures::ReadFileBytes(scene.shipped);
  EXPECT_EQ(output, s.expected);
  Bytes oracle;
  ASSERT_TRUE(fixtures::ExpectedPatchOutput(s.packed.bytes, &oracle));
  EXPECT_EQ(output, oracle);
  EXPECT_EQ(fixtures::ReadFileBytes(scene.backup), s.packed.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, PatchGood,
    testing::Values(
        GoodCase{"ZlibSmall", fixtures::kCompressionZlib, 300, 0x80000, 0x20000, 1, 1},
        GoodCase{"LzoSmall", fixtures::kCompressionLzo, 300, 0x80000, 0x20000, 1, 1},
        GoodCase{"ZlibChunksOfBlocks", fixtures::kCompressionZlib, 1200000, 0x60000, 0x20000, 4, 3},
        GoodCase{"LzoChunksOfBlocks", fixtures::kCompressionLzo, 1200000, 0x60000, 0x20000, 4, 3},
        GoodCase{"ZlibUnevenChunks", fixtures::kCompressionZlib, 700000, 0x50000, 0x20000, 3, 3},
        // Block sizes other than 128 KiB are placed at multiples of their own size.
        GoodCase{"ZlibSmallBlocks", fixtures::kCompressionZlib, 300000, 0x20000, 0x8000, 3, 4},
        GoodCase{"LzoLargeBlocks", fixtures::kCompressionLzo, 900000, 0x90000, 0x30000, 2, 3},
        GoodCase{"LzoTinyBlocks", fixtures::kCompressionLzo, 3000, 1000, 100, 4, 10}),
    [](const testing::TestParamInfo<GoodCase>& info) { return std::string(info.param.name); });

TEST(PatchPackage, OutputSummaryIsTheBackupsLessTheChunkTable) {
  Shipped s = MakeShipped(fixtures::kCompressionZlib, 600000, 0x40000);
  const fixtures::SummaryFieldOffsets& f = s.packed.summary;
  uint32_t chunks = GetU32(s.packed.bytes, f.chunkCount);
  ASSERT_EQ(chunks, 3u);
  Scene scene;
  ASSERT_TRUE(scene.Install(s.packed.bytes));
  ASSERT_EQ(Patch(scene.backup).code, 0);
  Bytes out = fixtures::ReadFileBytes(scene.shipped);
  const Bytes& in = s.packed.bytes;

  ASSERT_GE(out.size(), f.chunkTable + 8u);
  EXPECT_EQ(GetU32(out, f.packageFlags), GetU32(in, f.packageFlags) & 0xF0FFFFFFu);
  EXPECT_NE(GetU32(in, f.packageFlags) & 0x0F000000u, 0u);
  EXPECT_EQ(GetU32(out, f.compressionFlags), 0u);
  EXPECT_EQ(GetU32(out, f.chunkCount), 0u);
  for (uint32_t i = 0; i < f.compressionFlags; ++i) {
    bool flags = i >= f.packageFlags && i < f.packageFlags + 4;
    ASSERT_TRUE(flags || out[i] == in[i]) << "byte " << i;
  }
  // The remaining summary bytes follow the chunk count directly, and chunk 0
  // starts 16N bytes earlier than in the backup.
  uint32_t firstChunk = s.packed.chunks[0].headerOffset;
  for (uint32_t i = f.chunkTable; i < firstChunk - 16 * chunks; ++i) {
    ASSERT_EQ(out[i], in[i + 16 * chunks]) << "byte " << i;
  }
  EXPECT_EQ(out.size(), f.chunkTable + (firstChunk - f.chunkTable - 16 * chunks) +
                            s.plain.bytes.size() - s.plain.nameOffset);
}

TEST(PatchPackage, ChunkWithNoBlocksIsWrittenAsZeros) {
  for (uint32_t compression : {fixtures::kCompressionZlib, fixtures::kCompressionLzo}) {
    Shipped s = MakeShipped(compression, 600000, 0x40000);
    const fixtures::CompressedChunk& second = s.packed.chunks[1];
    PutU32(s.packed.bytes, second.headerOffset + 12, 0);  // T = 0
    uint32_t start = GetU32(s.packed.bytes, second.recordOffset);
    std::fill(s.expected.begin() + start, s.expected.begin() + start + second.uncompressedSize, 0);
    Scene scene;
    ASSERT_TRUE(scene.Install(s.packed.bytes));
    PatchRun run = Patch(scene.backup);
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(fixtures::ReadFileBytes(scene.shipped), s.expected) << "compression " << compression;
  }
}

TEST(PatchPackage, ShortZlibBlockLeavesZeros) {
  Bytes shortStream(64);
  uLongf length = shortStream.size();
  const Bytes text(100, 'Z');
  ASSERT_EQ(compress2(shortStream.data(), &length, text.data(), text.size(), 9), Z_OK);
  shortStream.resize(length);
  fixtures::CompressOptions options;
  options.editBlock = [&](uint32_t chunk, uint32_t block, Bytes& data) {
    if (chunk == 1 && block == 1) data = shortStream;
  };
  Shipped s = MakeShipped(fixtures::kCompressionZlib, 600000, 0x40000, 0x20000, &options);
  uint32_t start = GetU32(s.packed.bytes, s.packed.chunks[1].recordOffset) + 0x20000;
  std::fill(s.expected.begin() + start, s.expected.begin() + start + 0x20000, 0);
  std::fill(s.expected.begin() + start, s.expected.begin() + start + 100, 'Z');
  Scene scene;
  ASSERT_TRUE(scene.Install(s.packed.bytes));
  PatchRun run = Patch(scene.backup);
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.printed, "");
  EXPECT_EQ(fixtures::ReadFileBytes(scene.shipped), s.expected);
}

TEST(PatchPackage, NoChunksWritesOnlyTheSummaryUpToTheChunkCount) {
  // Without chunks the remaining summary bytes are not written, whatever the
  // compression flags say (unknown flags are only noticed at a block). The
  // package has no names, imports or exports: the summary alone holds no
  // tables for the next stage to read.
  for (uint32_t compression : {fixtures::kCompressionZlib, 7u}) {
    fixtures::PackageContents empty;
    empty.packageFlags = 0x0F080009;
    fixtures::BuiltPackage plain = fixtures::BuildPackage(empty);
    fixtures::CompressOptions options;
    options.compression = compression;
    options.dataStart = uint32_t(plain.bytes.size());
    fixtures::CompressedPackage packed;
    ASSERT_TRUE(fixtures::CompressPackage(plain.bytes, options, &packed));
    ASSERT_TRUE(packed.chunks.empty());
    Scene scene;
    ASSERT_TRUE(scene.Install(packed.bytes));
    PatchRun run = Patch(scene.backup);
    EXPECT_EQ(run.code, 0);
    Bytes expected(packed.bytes.begin(), packed.bytes.begin() + packed.summary.chunkTable);
    PutU32(expected, packed.summary.packageFlags, 0x00080009);
    PutU32(expected, packed.summary.compressionFlags, 0);
    EXPECT_EQ(fixtures::ReadFileBytes(scene.shipped), expected) << "compression " << compression;
  }
}

TEST(PatchPackage, BytesBehindTheLastChunkAreLeftOut) {
  fixtures::CompressOptions options;
  options.trailing = Bytes(1000, 0xEE);
  Shipped s = MakeShipped(fixtures::kCompressionLzo, 5000, 0x80000, 0x20000, &options);
  Scene scene;
  ASSERT_TRUE(scene.Install(s.packed.bytes));
  EXPECT_EQ(Patch(scene.backup).code, 0);
  EXPECT_EQ(fixtures::ReadFileBytes(scene.shipped), s.expected);
}

TEST(PatchPackage, ReplacesAStaleShippedFile) {
  Shipped s = MakeShipped(fixtures::kCompressionZlib, 2000);
  Scene scene;
  ASSERT_TRUE(scene.Install(s.packed.bytes));
  ASSERT_TRUE(fixtures::WriteFileBytes(scene.shipped, Bytes(5000000, 1)));
  EXPECT_EQ(Patch(scene.backup).code, 0);
  EXPECT_EQ(fixtures::ReadFileBytes(scene.shipped), s.expected);
}

// ---------------------------------------------------------------------------
// Packages that are refused: code, console bytes, and the shipped file put
// back from the backup

enum class Printed { kNothing, kDamaged, kSizeMismatch, kUnknownCompression };

struct BadCase {
  const char* name;
  uint32_t compression;
  std::function<void(Bytes& backup, const fixtures::CompressedPackage& packed)> damage;
  int code;
  Printed printed;
};

const fixtures::CompressedBlock& FirstBlock(const fixtures::CompressedPackage& p) {
  return p.chunks[0].blocks[0];
}
const fixtures::CompressedBlock& LastBlock(const fixtures::CompressedPackage& p) {
  return p.chunks.back().blocks.back();
}

const BadCase kBadCases[] = {
    {"WrongTag", fixtures::kCompressionZlib,
     [](Bytes& b, const auto&) { PutU32(b, 0, 0xC1832A9E); }, -1, Printed::kNothing},
    {"RefusedVersion2", fixtures::kCompressionZlib,
     [](Bytes& b, const auto&) { PutU32(b, 4, 0x00020000); }, -2, Printed::kNothing},
    {"RefusedVersion1", fixtures::kCompressionLzo,
     [](Bytes& b, const auto&) { PutU32(b, 4, 0x00010000); }, -2, Printed::kNothing},
    {"NotCompressed", fixtures::kCompressionZlib,
     [](Bytes& b, const auto& p) { PutU32(b, p.summary.compressionFlags, 0); }, -1,
     Printed::kNothing},
    {"UnknownCompression", fixtures::kCompressionZlib,
     [](Bytes& b, const auto& p) { PutU32(b, p.summary.compressionFlags, 3); }, -9,
     Printed::kUnknownCompression},
    {"ZlibBlockBroken", fixtures::kCompressionZlib,
     [](Bytes& b, const auto& p) { b[LastBlock(p).dataOffset] ^= 0xFF; }, -9,
     Printed::kSizeMismatch},
    {"ZlibBlockCutShort", fixtures::kCompressionZlib,
     [](Bytes& b, const auto& p) { PutU32(b, FirstBlock(p).pairOffset, FirstBlock(p).compressedSize - 4); },
     -9, Printed::kSizeMismatch},
    {"LzoLongerThanItsEntry", fixtures::kCompressionLzo,
     [](Bytes& b, const auto& p) { PutU32(b, FirstBlock(p).pairOffset + 4, FirstBlock(p).uncompressedSize - 1); },
     -9, Printed::kSizeMismatch},
    {"LzoShorterThanItsEntry", fixtures::kCompressionLzo,
     [](Bytes& b, const auto& p) { PutU32(b, FirstBlock(p).pairOffset + 4, FirstBlock(p).uncompressedSize + 1); },
     -9, Printed::kSizeMismatch},
    {"LzoBlockCutShort", fixtures::kCompressionLzo,
     [](Bytes& b, const auto& p) { PutU32(b, LastBlock(p).pairOffset, LastBlock(p).compressedSize - 3); },
     -9, Printed::kSizeMismatch},
    {"FolderLengthNegative", fixtures::kCompressionZlib,
     [](Bytes& b, const auto&) { PutU32(b, 12, 0xFFFFFFFB); }, -20, Printed::kDamaged},
    {"FolderLengthHuge", fixtures::kCompressionZlib,
     [](Bytes& b, const auto&) { PutU32(b, 12, 0x7FFFFFF0); }, -20, Printed::kDamaged},
    {"GenerationCountHuge", fixtures::kCompressionZlib,
     [](Bytes& b, const auto& p) { PutU32(b, p.summary.generationCount, 0x40000000); }, -20,
     Printed::kDamaged},
    {"ChunkCountHuge", fixtures::kCompressionLzo,
     [](Bytes& b, const auto& p) { PutU32(b, p.summary.chunkCount, 0x10000000); }, -20,
     Printed::kDamaged},
    {"FirstChunkInsideTheChunkTable", fixtures::kCompressionZlib,
     [](Bytes& b, const auto& p) { PutU32(b, p.chunks[0].recordOffset + 8, p.summary.chunkTable); },
     -20, Printed::kDamaged},
    {"FirstChunkBeyondTheFile", fixtures::kCompressionZlib,
     [](Bytes& b, const auto& p) { PutU32(b, p.chunks[0].recordOffset + 8, uint32_t(b.size()) + 1); },
     -20, Printed::kDamaged},
    {"ChunkHeaderCutByTheEnd", fixtures::kCompressionLzo,
     [](Bytes& b, const auto& p) { PutU32(b, p.chunks[1].recordOffset + 8, uint32_t(b.size()) - 8); },
     -20, Printed::kDamaged},
    {"BlockSizeZero", fixtures::kCompressionZlib,
     [](Bytes& b, const auto& p) { PutU32(b, p.chunks[1].headerOffset + 4, 0); }, -20,
     Printed::kDamaged},
    // In 32 bits (T + B - 1) / B would wrap to 0 blocks and give a chunk of
    // zeros; counted in 64 bits the block table runs off the file.
    {"BlockCountWouldWrap", fixtures::kCompressionZlib,
     [](Bytes& b, const auto& p) { PutU32(b, p.chunks[0].headerOffset + 12, 0xFFFFFFF0); }, -20,
     Printed::kDamaged},
    {"BlockCountHuge", fixtures::kCompressionLzo,
     [](Bytes& b, const auto& p) { PutU32(b, p.chunks[0].headerOffset + 4, 1); }, -20,
     Printed::kDamaged},
    {"BlockDataBeyondTheFile", fixtures::kCompressionZlib,
     [](Bytes& b, const auto& p) { PutU32(b, LastBlock(p).pairOffset, LastBlock(p).compressedSize + 1); },
     -20, Printed::kDamaged},
    {"BlockCompressedSizeHuge", fixtures::kCompressionLzo,
     [](Bytes& b, const auto& p) { PutU32(b, FirstBlock(p).pairOffset, 0xFFFFFFF0); }, -20,
     Printed::kDamaged},
    {"BlockPastTheChunkEnd", fixtures::kCompressionLzo,
     [](Bytes& b, const auto& p) { PutU32(b, LastBlock(p).pairOffset + 4, LastBlock(p).uncompressedSize + 1); },
     -20, Printed::kDamaged},
    {"ChunkSmallerThanItsBlocks", fixtures::kCompressionZlib,
     [](Bytes& b, const auto& p) { PutU32(b, p.chunks[0].recordOffset + 4, 1000); }, -20,
     Printed::kDamaged},
    {"ChunkLargerThanCompressedDataCanHold", fixtures::kCompressionLzo,
     [](Bytes& b, const auto& p) {
       PutU32(b, p.chunks[2].recordOffset + 4, uint32_t(1032 * b.size()));
       PutU32(b, p.chunks[2].headerOffset + 12, 0);
     },
     -20, Printed::kDamaged},
    {"OutputOf4GiB", fixtures::kCompressionZlib,
     [](Bytes& b, const auto& p) { PutU32(b, p.chunks[1].recordOffset + 4, 0xFFFFFF00); }, -20,
     Printed::kDamaged},
};

void PrintTo(const BadCase& c, std::ostream* os) { *os << c.name; }

class PatchBad : public testing::TestWithParam<BadCase> {};

TEST_P(PatchBad, RefusesAndLeavesTheBackupInPlace) {
  const BadCase& t = GetParam();
  Shipped s = MakeShipped(t.compression, 600000, 0x40000);
  ASSERT_GE(s.packed.chunks.size(), 2u);
  Bytes backup = s.packed.bytes;
  t.damage(backup, s.packed);
  Scene scene;
  ASSERT_TRUE(scene.Install(backup));

  PatchRun run = Patch(scene.backup);
  EXPECT_EQ(run.code, t.code);
  switch (t.printed) {
    case Printed::kNothing: EXPECT_EQ(run.printed, ""); break;
    case Printed::kDamaged:
      EXPECT_EQ(run.printed, Format(messages::kMsgPackageDamaged, scene.shipped));
      break;
    case Printed::kSizeMismatch: EXPECT_EQ(run.printed, messages::kMsgSizeMismatch); break;
    case Printed::kUnknownCompression:
      EXPECT_EQ(run.printed, messages::kMsgUnknownCompression);
      break;
  }
  ExpectRestored(scene, backup);

  // A UTF-8 terminal gets every message of the package in UTF-8 (a Windows
  // console takes the GBK bytes as they are).
  ASSERT_TRUE(scene.Install(backup));
  std::string converted = run.printed;
#if !defined(_WIN32)
  ASSERT_TRUE(platform::GbkToUtf8(run.printed, &converted));
#endif
  EXPECT_EQ(fixtures::RunPackagePatch(scene.backup, true).printed, converted);
}

INSTANTIATE_TEST_SUITE_P(Damage, PatchBad, testing::ValuesIn(kBadCases),
                         [](const testing::TestParamInfo<BadCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(PatchPackage, ConsoleBytesAreGbk) {
  // The damaged-package line as the console writes it without conversion.
  Shipped s = MakeShipped(fixtures::kCompressionZlib, 100);
  PutU32(s.packed.bytes, s.packed.chunks[0].headerOffset + 4, 0);
  Scene scene;
  ASSERT_TRUE(scene.Install(s.packed.bytes));
  PatchRun run = Patch(scene.backup);
  EXPECT_EQ(run.printed, "\xCE\xC4\xBC\xFE[" + scene.shipped + "]\xCA\xFD\xBE\xDD\xCB\xF0\xBB\xB5\n");
}

// ---------------------------------------------------------------------------
// Paths and files

TEST(PatchPackage, PathWithoutBakSuffixTouchesNothing) {
  Shipped s = MakeShipped(fixtures::kCompressionZlib, 100);
  for (const char* name : {"Pkg.upk", "Pkg.upk.BAK", "Pkg.bak.upk"}) {
    fixtures::TempDir dir;
    std::string path = dir.File(name);
    ASSERT_TRUE(fixtures::WriteFileBytes(path, s.packed.bytes));
    PatchRun run = Patch(path);
    EXPECT_EQ(run.code, -3) << name;
    EXPECT_EQ(run.printed, "");
    EXPECT_EQ(run.pathAfter, path);
    EXPECT_EQ(fixtures::ReadFileBytes(path), s.packed.bytes);
    EXPECT_FALSE(fixtures::FileExists(dir.File("Pkg")));
    EXPECT_FALSE(fixtures::FileExists(dir.File("Pkg.upk.hanhua-copy")));
  }
}

TEST(PatchPackage, MissingBackupTouchesNothing) {
  Scene scene;
  PatchRun run = Patch(scene.backup);
  EXPECT_EQ(run.code, -1);
  EXPECT_EQ(run.printed, "");
  EXPECT_FALSE(fixtures::FileExists(scene.shipped)) << "nothing is created";

  ASSERT_TRUE(fixtures::WriteFileText(scene.shipped, "keep"));
  EXPECT_EQ(Patch(scene.backup).code, -1);
  EXPECT_EQ(fixtures::ReadFileBytes(scene.shipped), Bytes({'k', 'e', 'e', 'p'}));
}

TEST(PatchPackage, ShippedPathThatCannotBeCreated) {
  // A directory where the shipped file belongs: it can be neither deleted,
  // created nor replaced by the backup, and the patcher says so.
  Shipped s = MakeShipped(fixtures::kCompressionZlib, 100);
  Scene scene;
  ASSERT_TRUE(scene.Install(s.packed.bytes));
  ASSERT_TRUE(std::filesystem::create_directory(scene.shipped));
  PatchRun run = Patch(scene.backup);
  EXPECT_EQ(run.code, -1);
  EXPECT_EQ(run.printed, Format(messages::kMsgRestoreError, scene.shipped));
  EXPECT_EQ(fixtures::ReadFileBytes(scene.backup), s.packed.bytes);
}

// A package built ahead of its turn (the pipeline) is taken only while its
// backup is the very file that was read: unchanged, it is used; replaced
// after the build (by another package, or by a damaged one), the
// package is built again in its turn, from that file and with its message.
TEST(PatchPackage, BuiltAheadOnlyWhileTheBackupIsTheFileThatWasRead) {
  package::SetDecompressionThreads(2);
  package::SetPipeline(1);
  const Shipped first = MakeShipped(fixtures::kCompressionZlib, 300000);
  const Shipped second = MakeShipped(fixtures::kCompressionLzo, 200000, 0x20000);
  Bytes damaged = second.packed.bytes;
  damaged.resize(damaged.size() / 2);
  struct Case {
    const char* what;
    const Bytes* replacement;  // written over the backup after the build; null: none
    const Bytes* expected;     // the shipped file afterwards
    const char* message;       // printed, with the shipped path; null: nothing
  };
  for (const Case& c : {Case{"unchanged", nullptr, &first.expected, nullptr},
                        Case{"replaced by another package", &second.packed.bytes, &second.expected, nullptr},
                        Case{"replaced by a damaged package", &damaged, &damaged, messages::kMsgPackageDamaged}}) {
    SCOPED_TRACE(c.what);
    Scene scene;
    ASSERT_TRUE(fixtures::WriteFileBytes(scene.backup, first.packed.bytes));
    package::PreparePackage(scene.shipped.c_str());  // built ahead from the backup
    package::PreparePackage(nullptr);                // done, and kept for it
    if (c.replacement) {
      ASSERT_TRUE(fixtures::WriteFileBytes(scene.backup, *c.replacement));
    }
    PatchRun run = Patch(scene.backup);
    EXPECT_EQ(run.code, c.message ? -20 : 0);
    EXPECT_EQ(run.printed, c.message ? Format(c.message, scene.shipped) : "");
    EXPECT_TRUE(fixtures::ReadFileBytes(scene.shipped) == *c.expected);
  }
  package::SetPipeline(-1);
  package::SetDecompressionThreads(0);
}

// Packages announced ahead are built one after another and taken in order:
// one whose image is beyond the builder's memory (8 MiB unless a larger
// image came before) waits for room or is built in its turn, one never
// patched is passed over, and each package gets its own image.
TEST(PatchPackage, AnnouncedPackagesAreTakenInOrder) {
  package::SetDecompressionThreads(2);
  package::SetPipeline(1);
  const Shipped small = MakeShipped(fixtures::kCompressionZlib, 300000);
  const Shipped large = MakeShipped(fixtures::kCompressionLzo, 12u << 20);
  const Shipped other = MakeShipped(fixtures::kCompressionLzo, 200000, 0x20000);
  const Shipped* order[] = {&small, &large, &other, &small, &other};
  const bool patched[] = {true, true, false, true, true};
  Scene scenes[5];
  for (size_t i = 0; i < 5; ++i) {
    ASSERT_TRUE(fixtures::WriteFileBytes(scenes[i].backup, order[i]->packed.bytes));
    package::PreparePackage(scenes[i].shipped.c_str());
  }
  for (size_t i = 0; i < 5; ++i) {
    if (!patched[i]) continue;
    SCOPED_TRACE(i);
    PatchRun run = Patch(scenes[i].backup);
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.printed, "");
    EXPECT_TRUE(fixtures::ReadFileBytes(scenes[i].shipped) == order[i]->expected);
  }
  package::SetPipeline(-1);
  package::SetDecompressionThreads(0);
}

#if !defined(_WIN32)
TEST(PatchPackage, FailedWriteIsAFailureOfThePackage) {
  // A file size limit that the small backup fits under but the uncompressed
  // package does not: the write fails part way.
  Bytes zeros(3000000, 0);
  fixtures::PackageContents c;
  c.AddExport(0, c.Name("Big"), zeros);
  fixtures::BuiltPackage plain = fixtures::BuildPackage(c);
  fixtures::CompressedPackage packed;
  ASSERT_TRUE(fixtures::CompressPackage(plain.bytes, {}, &packed));
  ASSERT_LT(packed.bytes.size(), 100000u);
  Scene scene;
  ASSERT_TRUE(scene.Install(packed.bytes));

  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit limited = saved;
  limited.rlim_cur = 1000000;
  void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  PatchRun run = Patch(scene.backup);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(run.code, -21);
  EXPECT_EQ(run.printed, Format(messages::kMsgWriteFileError, scene.shipped));
  ExpectRestored(scene, packed.bytes);
}

#endif  // !_WIN32

#if !defined(HANHUA_ASAN) && !defined(_WIN32)
// Runs body in a child process whose private writable memory (the data
// limit, which every heap allocation counts against) is capped at what it
// uses now plus extra bytes; the child's exit status is body's result. The
// address space is not the thing to cap: once threads have run in this
// process, the memory pools they leave behind hold address space that is
// already counted, and an allocation is then served from them.
int InLimitedMemory(uint64_t extra, const std::function<int()>& body) {
  fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    long pages = 0, resident = 0, shared = 0, text = 0, library = 0, data = 0;
    FILE* statm = fopen("/proc/self/statm", "r");
    if (statm == nullptr ||
        fscanf(statm, "%ld %ld %ld %ld %ld %ld", &pages, &resident, &shared, &text, &library, &data) != 6) {
      _exit(100);
    }
    fclose(statm);
    struct rlimit limit;
    limit.rlim_cur = limit.rlim_max = uint64_t(data) * uint64_t(sysconf(_SC_PAGESIZE)) + extra;
    if (setrlimit(RLIMIT_DATA, &limit) != 0) _exit(101);
    _exit(body());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

// A package of chunks without blocks, each declaring size zero bytes.
Bytes ZeroChunkPackage(uint32_t size, int chunks) {
  Shipped s = MakeShipped(fixtures::kCompressionZlib, 3000, 1000);
  Bytes bytes = s.packed.bytes;
  PutU32(bytes, s.packed.summary.chunkCount, uint32_t(chunks));
  for (int i = 0; i < chunks; ++i) {
    PutU32(bytes, s.packed.chunks[i].recordOffset + 4, size);
    PutU32(bytes, s.packed.chunks[i].headerOffset + 12, 0);
  }
  // Ignored bytes behind the last chunk, so that the chunks are not more
  // than compressed data of this size could hold.
  bytes.resize(size_t(size) * chunks / 1000 + 4096, 0);
  return bytes;
}

TEST(PatchPackage, ImageThatCannotBeAllocated) {
  // The chunks are decompressed straight into the package image: one chunk
  // larger than the memory left, or two that would each fit but not both.
  struct Case {
    uint32_t chunkSize;
    int chunks;
  };
  for (const Case& c : {Case{256u << 20, 1}, Case{40u << 20, 2}}) {
    SCOPED_TRACE(std::to_string(c.chunks) + " chunks");
    Bytes backup = ZeroChunkPackage(c.chunkSize, c.chunks);
    Scene scene;
    ASSERT_TRUE(scene.Install(backup));
    int status = InLimitedMemory(64u << 20, [&] {
      PatchRun run = Patch(scene.backup);
      return run.code == -3 && run.printed == messages::kMsgImageAllocError ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
    ExpectRestored(scene, backup);
  }
}
TEST(PatchPackage, BackupBufferThatCannotBeAllocated) {
  // A backup larger than the memory left: refused with -3 and no message.
  Shipped s = MakeShipped(fixtures::kCompressionZlib, 100);
  Bytes backup = s.packed.bytes;
  backup.resize(40u << 20, 0);
  Scene scene;
  ASSERT_TRUE(scene.Install(backup));
  int status = InLimitedMemory(16u << 20, [&] {
    PatchRun run = Patch(scene.backup);
    return run.code == -3 && run.printed.empty() ? 0 : 1;
  });
  EXPECT_EQ(status, 0);
  ExpectRestored(scene, backup);
}
#endif


// ---------------------------------------------------------------------------
// Failures of the operating system, through the platform fault switch

namespace faults = platform::faults;

class PatchFaults : public testing::Test {
 protected:
  void SetUp() override {
    if (!faults::Available()) GTEST_SKIP() << "built without the fault switch";
    shipped_ = MakeShipped(fixtures::kCompressionZlib, 600000, 0x40000);
    ASSERT_EQ(shipped_.packed.chunks.size(), 3u);
    faults::Clear();
  }
  void TearDown() override { faults::Clear(); }

  // Installs a fresh backup, arms the fault and patches.
  PatchRun PatchWithFault(Scene& scene, const Bytes& backup, faults::Operation op, uint64_t nth,
                          bool shortTransfer = false) {
    EXPECT_TRUE(scene.Install(backup));
    faults::Clear();
    faults::FailCall(op, nth, shortTransfer);
    PatchRun run = Patch(scene.backup);
    faults::Clear();
    return run;
  }

  Shipped shipped_;
};

struct FaultCase {
  const char* name;
  faults::Operation op;
  uint64_t nth;
  bool shortTransfer;
  int code;
  const char* message;  // takes the shipped path; nullptr: nothing printed
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

// Calls in order: OpenRead (backup), DeletePath, CreateReadWrite, FileSize
// and Read (backup), then one Write of the whole uncompressed package.
const FaultCase kFaultCases[] = {
    {"BackupSize", faults::kSize, 1, false, -2, nullptr},
    {"BackupReadFails", faults::kRead, 1, false, -4, messages::kMsgReadFileError},
    {"BackupReadShort", faults::kRead, 1, true, -4, messages::kMsgReadFileError},
    {"ShippedFileNotCreated", faults::kCreate, 1, false, -1, nullptr},
    {"PackageWriteFails", faults::kWrite, 1, false, -21, messages::kMsgWriteFileError},
    {"PackageWriteShort", faults::kWrite, 1, true, -21, messages::kMsgWriteFileError},
    {"DeleteFailsHarmlessly", faults::kDelete, 1, false, 0, nullptr},
};

class PatchFault : public PatchFaults, public testing::WithParamInterface<FaultCase> {};

TEST_P(PatchFault, IsReportedAndLeavesTheBackupInPlace) {
  const FaultCase& t = GetParam();
  Scene scene;
  PatchRun run = PatchWithFault(scene, shipped_.packed.bytes, t.op, t.nth, t.shortTransfer);
  EXPECT_EQ(run.code, t.code);
  EXPECT_EQ(run.printed, t.message ? Format(t.message, scene.shipped) : "");
  if (t.code == 0) {
    EXPECT_EQ(fixtures::ReadFileBytes(scene.shipped), shipped_.expected);
  } else {
    ExpectRestored(scene, shipped_.packed.bytes);
  }
}

INSTANTIATE_TEST_SUITE_P(Calls, PatchFault, testing::ValuesIn(kFaultCases),
                         [](const testing::TestParamInfo<FaultCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(PatchFaults, TheBackupIsReadOnceAndThePackageWrittenOnce) {
  // Three chunks, and still one read of the backup and one write of the
  // package, without a seek. (No chs.txt in the current directory, whose
  // reading would count too.)
  Scene scene;
  ASSERT_TRUE(scene.Install(shipped_.packed.bytes));
  dict_test::InDirectory cwd(scene.dir.path());
  ASSERT_TRUE(cwd.ok());
  faults::Clear();
  PatchRun run = Patch(scene.backup);
  ASSERT_EQ(run.code, 0);
  EXPECT_EQ(faults::CallCount(faults::kRead), 1u);
  EXPECT_EQ(faults::CallCount(faults::kWrite), 1u);
  EXPECT_EQ(faults::CallCount(faults::kSeek), 0u);
  EXPECT_EQ(fixtures::ReadFileBytes(scene.shipped), shipped_.expected);
}

TEST_F(PatchFaults, EveryFailingCallLeavesAWorkingFile) {
  Scene clean;
  ASSERT_TRUE(clean.Install(shipped_.packed.bytes));
  faults::Clear();
  ASSERT_EQ(Patch(clean.backup).code, 0);
  struct Counted {
    faults::Operation op;
    uint64_t calls;
  };
  std::vector<Counted> ops;
  for (faults::Operation op : {faults::kOpenRead, faults::kCreate, faults::kRead, faults::kWrite,
                               faults::kSeek, faults::kSize, faults::kDelete})
    ops.push_back({op, faults::CallCount(op)});

  for (const Counted& counted : ops) {
    for (uint64_t nth = 1; nth <= counted.calls; ++nth) {
      for (bool shortTransfer : {false, true}) {
        Scene scene;
        PatchRun run = PatchWithFault(scene, shipped_.packed.bytes, counted.op, nth, shortTransfer);
        SCOPED_TRACE("operation " + std::to_string(counted.op) + " call " + std::to_string(nth));
        Bytes shipped = fixtures::ReadFileBytes(scene.shipped);
        if (run.code == 0) {
          EXPECT_EQ(shipped, shipped_.expected);
        } else if (counted.op == faults::kOpenRead) {
          EXPECT_FALSE(fixtures::FileExists(scene.shipped)) << "no backup read, nothing created";
        } else {
          EXPECT_EQ(shipped, shipped_.packed.bytes);
        }
      }
    }
  }
}

TEST_F(PatchFaults, FailedRestoreIsReported) {
  Bytes notCompressed = shipped_.packed.bytes;
  PutU32(notCompressed, shipped_.packed.summary.compressionFlags, 0);
  {
    Scene scene;
    // No copy of the backup can be made: the backup itself goes back in
    // place, and the package is as shipped, with nothing to report.
    PatchRun run = PatchWithFault(scene, notCompressed, faults::kCopy, 1);
    EXPECT_EQ(run.code, -1) << "the failure's own code";
    EXPECT_EQ(run.printed, "");
    EXPECT_EQ(fixtures::ReadFileBytes(scene.shipped), notCompressed);
    EXPECT_FALSE(fixtures::FileExists(scene.backup));
  }
  {
    // The copy put back is made without the backup's marks: no attribute
    // call can fail on it.
    Scene scene;
    PatchRun run = PatchWithFault(scene, notCompressed, faults::kSetAttributes, 1);
    EXPECT_EQ(run.code, -1);
    EXPECT_EQ(run.printed, "");
    EXPECT_EQ(fixtures::ReadFileBytes(scene.shipped), notCompressed);
    EXPECT_EQ(platform::GetAttributes(scene.shipped.c_str()), platform::kAttrNormal);
  }
  {
    // No copy can be made and the backup, moved back, keeps its marks.
    Scene scene;
    ASSERT_TRUE(scene.Install(notCompressed));
    faults::Clear();
    faults::FailCall(faults::kCopy, 1);
    faults::FailCall(faults::kSetAttributes, 1);
    PatchRun run = Patch(scene.backup);
    faults::Clear();
    EXPECT_EQ(run.code, -1);
    EXPECT_EQ(fixtures::ReadFileBytes(scene.shipped), notCompressed);
    if (scene.attributes) {
      EXPECT_EQ(run.printed, Format(messages::kMsgRestoreError, scene.shipped));
    } else {
      EXPECT_EQ(run.printed, "") << "nothing to clear where there are no attributes";
    }
  }
}

}  // namespace
