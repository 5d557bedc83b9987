// The uncompressed package built and handed over, and sweeps of truncated
// and corrupted backups through the whole first stage: whatever the damage,
// the patcher either writes what the independent decoder of the package
// builder computes, or refuses and puts the backup back (never crashes, never
// leaves a broken shipped file).
#include "package/package_decompress.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <zlib.h>

#include "common/messages.h"
#include "package/package_patcher.h"
#include "package/package_tables.h"
#include "platform/platform.h"
#include "tests/support/capture_stdout.h"
#include "tests/support/files.h"
#include "tests/support/package_builder.h"
#include "tests/support/package_scene.h"

namespace {

using fixtures::Bytes;
using fixtures::GetU32;
using fixtures::PutU32;

std::string Format(const char* format, const std::string& path) {
  return fixtures::FormatMessage(format, path);
}

// A body of bytes that compresses, but not to nothing.
Bytes PatternedBody(size_t size) {
  Bytes body(size);
  for (size_t i = 0; i < body.size(); ++i) body[i] = uint8_t(i * 7 / 5);
  return body;
}

// The package compressed with small chunks and blocks (1024 and 256 bytes),
// so that even a small package has several of each, and the uncompressed
// package that the patcher must make of it.
void CompressSmall(const Bytes& plain, uint32_t compression, fixtures::CompressedPackage* packed,
                   Bytes* expected) {
  fixtures::CompressOptions options;
  options.compression = compression;
  options.chunkSize = 1024;
  options.blockSize = 256;
  ASSERT_TRUE(fixtures::CompressPackage(plain, options, packed));
  ASSERT_TRUE(fixtures::ExpectedPatchOutput(packed->bytes, expected));
}

// ---------------------------------------------------------------------------
// WriteUncompressedPackage

struct WriteRun {
  int code;
  std::string printed;
};

// Runs WriteUncompressedPackage from the file at backupPath into output and
// reports its failure as the patcher does.
WriteRun WriteUncompressed(const std::string& backupPath, platform::File output,
                           const std::string& outputPath, package::PackageImage* image) {
  platform::ConsoleSetUtf8(false);
  platform::File backup = platform::OpenRead(backupPath.c_str());
  EXPECT_NE(backup, platform::kNoFile);
  fixtures::CaptureStdout capture;
  package::Failure failure = package::WriteUncompressedPackage(backup, output, outputPath.c_str(), image);
  package::Report(failure, outputPath.c_str());
  std::string printed = capture.Finish();
  platform::Close(backup);
  return {package::CodeOf(failure), printed};
}

TEST(WriteUncompressedPackage, HandsOverTheBytesItWrote) {
  fixtures::PackageContents contents;
  contents.folderName = std::string("Some\0Folder", 11);
  contents.packageFlags = 0x0A000001;
  contents.AddName("None");
  contents.AddClassImport("Thing");
  const Bytes body = PatternedBody(5000);
  contents.AddExport(-1, contents.Name("Object"), body);
  fixtures::BuiltPackage plain = fixtures::BuildPackage(contents);
  for (uint32_t compression : {fixtures::kCompressionZlib, fixtures::kCompressionLzo}) {
    SCOPED_TRACE(compression);
    fixtures::CompressedPackage packed;
    Bytes expected;
    ASSERT_NO_FATAL_FAILURE(CompressSmall(plain.bytes, compression, &packed, &expected));
    fixtures::TempDir dir;
    const std::string backupPath = dir.File("Pkg.upk.bak");
    const std::string outputPath = dir.File("Pkg.upk");
    ASSERT_TRUE(fixtures::WriteFileBytes(backupPath, packed.bytes));
    platform::File output = platform::CreateReadWrite(outputPath.c_str());
    package::PackageImage image;
    WriteRun run = WriteUncompressed(backupPath, output, outputPath, &image);
    platform::Close(output);
    ASSERT_EQ(run.code, 0);
    EXPECT_EQ(run.printed, "");
    EXPECT_EQ(fixtures::ReadFileBytes(outputPath), expected);
    ASSERT_EQ(image.size, expected.size());
    EXPECT_EQ(Bytes(image.data.get(), image.data.get() + image.size), expected);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(image.data[image.size + i], 0) << "zero byte " << i;
    EXPECT_EQ(image.nameCount, 5u);
    EXPECT_EQ(image.nameOffset, plain.nameOffset);
    EXPECT_EQ(image.exportCount, 1u);
    EXPECT_EQ(image.exportOffset, plain.exportOffset);
    EXPECT_EQ(image.importCount, 1u);
    EXPECT_EQ(image.importOffset, plain.importOffset);
  }
}

TEST(WriteUncompressedPackage, AFailedWriteHandsNothingOver) {
  fixtures::TempDir dir;
  const std::string backupPath = dir.File("Pkg.upk.bak");
  const std::string outputPath = dir.File("Pkg.upk");
  fixtures::PackageContents contents;
  contents.AddName("None");
  contents.AddExport(0, contents.Name("Object"), Bytes(3000, 0x5A));
  fixtures::CompressedPackage packed;
  ASSERT_TRUE(fixtures::CompressPackage(fixtures::BuildPackage(contents).bytes, {}, &packed));
  ASSERT_TRUE(fixtures::WriteFileBytes(backupPath, packed.bytes));
  ASSERT_TRUE(fixtures::WriteFileBytes(outputPath, {}));
  platform::File readOnly = platform::OpenRead(outputPath.c_str());
  package::PackageImage image;
  WriteRun run = WriteUncompressed(backupPath, readOnly, outputPath, &image);
  platform::Close(readOnly);
  EXPECT_EQ(run.code, -21);
  EXPECT_EQ(run.printed, Format(messages::kMsgWriteFileError, outputPath));
  EXPECT_EQ(image.data, nullptr) << "nothing is handed on after a failure";
}

// ---------------------------------------------------------------------------
// LoadPackageImage

fixtures::CompressedPackage SmallShippedPackage(uint32_t compression);

struct LoadRun {
  int code;
  bool compressed;
  std::string printed;
};

LoadRun Load(const std::string& path, package::PackageImage* image) {
  platform::ConsoleSetUtf8(false);
  LoadRun run{};
  fixtures::CaptureStdout capture;
  package::Failure failure = package::LoadPackageImage(path.c_str(), image, &run.compressed);
  package::Report(failure, path.c_str());
  run.code = package::CodeOf(failure);
  run.printed = capture.Finish();
  return run;
}

TEST(LoadPackageImage, GivesTheUncompressedPackageWhateverTheFileHolds) {
  fixtures::PackageContents contents;
  contents.packageFlags = 0x0A000001;
  contents.AddName("None");
  int32_t cls = contents.AddClassImport("Thing");
  const Bytes body = PatternedBody(3000);
  contents.AddExport(cls, contents.Name("Object"), body);
  fixtures::BuiltPackage plain = fixtures::BuildPackage(contents);
  fixtures::TempDir dir;
  std::string path = dir.File("Pkg.upk");

  for (uint32_t compression : {fixtures::kCompressionZlib, fixtures::kCompressionLzo}) {
    fixtures::CompressedPackage packed;
    Bytes expected;
    ASSERT_NO_FATAL_FAILURE(CompressSmall(plain.bytes, compression, &packed, &expected));
    ASSERT_TRUE(fixtures::WriteFileBytes(path, packed.bytes));
    package::PackageImage image;
    LoadRun run = Load(path, &image);
    ASSERT_EQ(run.code, 0) << compression;
    EXPECT_TRUE(run.compressed);
    EXPECT_EQ(run.printed, "");
    ASSERT_EQ(Bytes(image.data.get(), image.data.get() + image.size), expected) << compression;
    EXPECT_EQ(image.exportOffset, plain.exportOffset);
    EXPECT_EQ(image.nameCount, uint32_t(contents.names.size()));
    EXPECT_EQ(fixtures::ReadFileBytes(path), packed.bytes) << "the file is only read";
  }

  // An uncompressed package is taken as it is, package flags included.
  ASSERT_TRUE(fixtures::WriteFileBytes(path, plain.bytes));
  package::PackageImage image;
  LoadRun run = Load(path, &image);
  ASSERT_EQ(run.code, 0);
  EXPECT_FALSE(run.compressed);
  EXPECT_EQ(Bytes(image.data.get(), image.data.get() + image.size), plain.bytes);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(image.data[image.size + i], 0) << "zero byte " << i;
  EXPECT_EQ(image.importOffset, plain.importOffset);
}

TEST(LoadPackageImage, RefusesWhatIsNoReadablePackage) {
  fixtures::TempDir dir;
  std::string path = dir.File("Pkg.upk");
  package::PackageImage image;
  EXPECT_EQ(Load(path, &image).code, -1) << "missing";
  EXPECT_EQ(Load(dir.path(), &image).code, -1) << "a folder";

  ASSERT_TRUE(fixtures::WriteFileBytes(path, Bytes(100, 0x41)));
  EXPECT_EQ(Load(path, &image).code, -1);

  // A compressed package cut short: the patcher's own message and code.
  fixtures::CompressedPackage packed = SmallShippedPackage(fixtures::kCompressionZlib);
  Bytes cut(packed.bytes.begin(), packed.bytes.end() - 10);
  ASSERT_TRUE(fixtures::WriteFileBytes(path, cut));
  LoadRun run = Load(path, &image);
  EXPECT_EQ(run.code, -20);
  EXPECT_EQ(run.printed, Format(messages::kMsgPackageDamaged, path));

  // A tagged file too short for a summary.
  Bytes tagged(24, 0);
  PutU32(tagged, 0, fixtures::kPackageTag);
  ASSERT_TRUE(fixtures::WriteFileBytes(path, tagged));
  run = Load(path, &image);
  EXPECT_EQ(run.code, -20);
  EXPECT_EQ(run.printed, Format(messages::kMsgPackageDamaged, path));
  EXPECT_EQ(image.data, nullptr) << "nothing is handed on after a failure";
}

// ---------------------------------------------------------------------------
// Sweeps over damaged backups

// A small package of many chunks of many small blocks, so that every field
// kind occurs several times within a few kilobytes.
fixtures::CompressedPackage SmallShippedPackage(uint32_t compression) {
  fixtures::PackageContents c;
  c.packageFlags = 0x0A000001;
  c.AddName("None");
  c.AddUtf16Name("\xE5\x90\x8D");
  int32_t cls = c.AddClassImport("AkDialogueEvent");
  Bytes body(700);
  for (size_t i = 0; i < body.size(); ++i) body[i] = uint8_t(i * 31 / 7);
  c.AddExport(cls, c.Name("Line"), body);
  fixtures::BuiltPackage plain = fixtures::BuildPackage(c);
  fixtures::CompressOptions options;
  options.compression = compression;
  options.chunkSize = 256;
  options.blockSize = 64;
  fixtures::CompressedPackage packed;
  EXPECT_TRUE(fixtures::CompressPackage(plain.bytes, options, &packed));
  return packed;
}

// A directory for thousands of short-lived files: in memory where there is
// such a file system (replacing files on a disk journal is slow).
struct SweepDir {
#if defined(_WIN32)
  fixtures::TempDir temporary;
  std::string path = temporary.path();
#else
  std::string path;
  SweepDir() {
    namespace fs = std::filesystem;
    std::error_code error;
    std::random_device random;
    for (const fs::path& parent : {fs::path("/dev/shm"), fs::temp_directory_path(error)}) {
      for (int attempt = 0; attempt < 10 && path.empty(); ++attempt) {
        fs::path candidate = parent / ("hanhua-sweep-" + std::to_string(random()));
        if (fs::create_directory(candidate, error)) path = candidate.string();
      }
    }
  }
  ~SweepDir() {
    std::error_code error;
    if (!path.empty()) std::filesystem::remove_all(path, error);
  }
#endif
};

// The codes of the table stage: a package that decompresses can still be
// refused there.
bool IsTableStageRefusal(int code) {
  return code == -5 || code == -13 || code == -15 || (code <= -23 && code >= -30);
}

struct Sweep {
  SweepDir dir;
  std::string shipped = dir.path + "/Pkg.upk";
  std::string backup = shipped + ".bak";
  int accepted = 0;
  int refused = 0;

  // Runs the patcher on bytes and checks its result against the decoder.
  void Check(const Bytes& bytes, const std::string& what) {
    ASSERT_FALSE(dir.path.empty()) << "no directory for the sweep";
    ASSERT_TRUE(fixtures::WriteFileBytes(backup, bytes));
    int code = fixtures::RunPackagePatch(backup).code;

    Bytes expected;
    bool decodes = fixtures::ExpectedPatchOutput(bytes, &expected);
    Bytes shipped_bytes = fixtures::ReadFileBytes(shipped);
    if (decodes && !IsTableStageRefusal(code)) {
      ++accepted;
      ASSERT_EQ(code, 0) << what;
      ASSERT_EQ(shipped_bytes, expected) << what;
    } else if (decodes) {
      // Decompressed whole, but the name, import or export tables that the
      // damaged summary or data describe cannot be read.
      ++refused;
      ASSERT_EQ(shipped_bytes, bytes) << what << ": the backup is put back";
    } else {
      ++refused;
      ASSERT_NE(code, 0) << what;
      ASSERT_EQ(shipped_bytes, bytes) << what << ": the backup is put back";
    }
  }
};

class DamageSweep : public testing::TestWithParam<uint32_t> {};

TEST_P(DamageSweep, TruncatedBackupsAreRefusedWhole) {
  fixtures::CompressedPackage packed = SmallShippedPackage(GetParam());
  ASSERT_GE(packed.chunks.size(), 3u);
  Sweep sweep;
  for (size_t length = 0; length < packed.bytes.size(); ++length) {
    Bytes cut(packed.bytes.begin(), packed.bytes.begin() + length);
    ASSERT_NO_FATAL_FAILURE(sweep.Check(cut, "cut to " + std::to_string(length)));
  }
  EXPECT_EQ(sweep.accepted, 0) << "the last block ends the file: every cut loses data";
  sweep.Check(packed.bytes, "whole");
  EXPECT_EQ(sweep.accepted, 1);
}

TEST_P(DamageSweep, CorruptedBytesAreDecodedOrRefused) {
  fixtures::CompressedPackage packed = SmallShippedPackage(GetParam());
  const uint8_t masks[] = {0xFF, 0x01, 0x80, 0x10};
  Sweep sweep;
  for (size_t i = 0; i < packed.bytes.size(); ++i) {
    Bytes damaged = packed.bytes;
    uint8_t mask = masks[i % 4];
    damaged[i] ^= mask;
    ASSERT_NO_FATAL_FAILURE(
        sweep.Check(damaged, "byte " + std::to_string(i) + " xor " + std::to_string(mask)));
  }
  EXPECT_GT(sweep.accepted, 0) << "bytes that are only copied still decode";
  EXPECT_GT(sweep.refused, 0);
}

INSTANTIATE_TEST_SUITE_P(Compression, DamageSweep,
                         testing::Values(fixtures::kCompressionZlib, fixtures::kCompressionLzo),
                         [](const testing::TestParamInfo<uint32_t>& info) {
                           return std::string(info.param == fixtures::kCompressionZlib ? "Zlib" : "Lzo");
                         });


// ---------------------------------------------------------------------------
// The thread count

TEST(DecompressionThreadCount, SettingFromOneToEightElseTheProcessors) {
  struct Case {
    const char* setting;
    unsigned processors;
    unsigned threads;
  };
  const Case cases[] = {
      {nullptr, 1, 1}, {nullptr, 2, 2},  {nullptr, 0, 1},  {nullptr, 64, 8}, {"1", 4, 1},
      {"8", 2, 8},     {"3", 16, 3},     {"9", 2, 2},      {"0", 4, 4},      {"12", 2, 2},
      {"4 ", 2, 2},    {" 4", 2, 2},     {"abc", 3, 3},    {"", 3, 3},       {"-2", 3, 3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(package::ChooseDecompressionThreads(c.setting, c.processors), c.threads)
        << (c.setting ? c.setting : "(not set)") << " with " << c.processors << " processors";
  }
}

// ---------------------------------------------------------------------------
// Several decompression threads against one: the same files, the same
// console bytes, the same codes, for sound and for damaged packages.

// Bytes that compress somewhat: runs of a few values with random bytes
// between them.
Bytes MixedBytes(std::mt19937& random, size_t size) {
  Bytes out(size);
  for (size_t i = 0; i < size; ++i) out[i] = random() % 8 == 0 ? uint8_t(random()) : uint8_t(i / 16 % 5);
  return out;
}

// A package of one export whose body is size mixed bytes made from seed.
fixtures::BuiltPackage OneBodyPackage(uint32_t seed, size_t size) {
  fixtures::PackageContents c;
  c.AddName("None");
  std::mt19937 random(seed);
  c.AddExport(c.AddClassImport("Thing"), c.Name("Body"), MixedBytes(random, size));
  return fixtures::BuildPackage(c);
}

// A package of a random layout: either compression, blocks from 16 bytes to
// 4 KiB, one to 150 blocks per chunk (past the 64 blocks that are laid out
// at a time), a last block and a last chunk that are usually short.
fixtures::CompressedPackage RandomShippedPackage(std::mt19937& random) {
  fixtures::PackageContents c;
  c.AddName("None");
  const int32_t cls = c.AddClassImport("Thing");
  const uint32_t blockSizes[] = {16, 64, 100, 512, 4096};
  const uint32_t blockSize = blockSizes[random() % 5];
  const uint32_t blocksPerChunk = random() % 4 == 0 ? 60 + random() % 90 : 1 + random() % 8;
  const uint32_t chunkSize = blockSize * blocksPerChunk;
  const size_t bodyBytes = chunkSize * (1 + random() % 3) + random() % chunkSize;
  c.AddExport(cls, c.Name("Body"), MixedBytes(random, bodyBytes));
  fixtures::BuiltPackage plain = fixtures::BuildPackage(c);
  fixtures::CompressOptions options;
  options.compression = random() % 2 == 0 ? fixtures::kCompressionZlib : fixtures::kCompressionLzo;
  options.blockSize = blockSize;
  options.chunkSize = chunkSize;
  fixtures::CompressedPackage packed;
  EXPECT_TRUE(fixtures::CompressPackage(plain.bytes, options, &packed));
  return packed;
}

// Every block of a package, chunk by chunk, in table order.
std::vector<fixtures::CompressedBlock> AllBlocks(const fixtures::CompressedPackage& packed) {
  std::vector<fixtures::CompressedBlock> blocks;
  for (const fixtures::CompressedChunk& chunk : packed.chunks)
    blocks.insert(blocks.end(), chunk.blocks.begin(), chunk.blocks.end());
  return blocks;
}

// A block that cannot be decompressed ("size mismatch"): its table entry is
// one byte short, so it decompresses beyond its slot, which both
// decompressors refuse. (A zlib stream of one byte is accepted for a slot of
// none; its header is broken instead.)
void BreakBlock(Bytes& backup, const fixtures::CompressedPackage& packed,
                const fixtures::CompressedBlock& block) {
  const uint32_t compression = GetU32(packed.bytes, packed.summary.compressionFlags);
  if (compression == fixtures::kCompressionZlib && block.uncompressedSize == 1) {
    backup[block.dataOffset] ^= 0xFF;
  } else {
    PutU32(backup, block.pairOffset + 4, block.uncompressedSize - 1);
  }
}

// A block that lies outside its chunk or outside the file ("damaged").
void MisplaceBlock(Bytes& backup, const fixtures::CompressedBlock& block, bool beyondTheFile) {
  if (beyondTheFile) {
    PutU32(backup, block.pairOffset, 0xFFFFFFF0u);
  } else {
    PutU32(backup, block.pairOffset + 4, 0xFFFFFF00u);
  }
}

struct Outcome {
  int code = 0;
  std::string printed;
  Bytes shipped;
  int loadCode = 0;
  std::string loadPrinted;
  Bytes loaded;
  bool operator==(const Outcome&) const = default;
};

class DecompressionThreads : public testing::Test {
 protected:
  void TearDown() override { package::SetDecompressionThreads(0); }

  // The patcher and LoadPackageImage on backup, with threads threads.
  Outcome Run(const Bytes& backup, unsigned threads) {
    package::SetDecompressionThreads(threads);
    EXPECT_EQ(package::DecompressionThreads(), threads);
    Outcome outcome;
    EXPECT_TRUE(fixtures::WriteFileBytes(backup_, backup));
    fixtures::PatchResult patch = fixtures::RunPackagePatch(backup_);
    outcome.code = patch.code;
    outcome.printed = patch.printed;
    outcome.shipped = fixtures::ReadFileBytes(shipped_);
    package::PackageImage image;
    LoadRun load = Load(backup_, &image);
    outcome.loadCode = load.code;
    outcome.loadPrinted = load.printed;
    if (image.data) outcome.loaded.assign(image.data.get(), image.data.get() + image.size);
    return outcome;
  }

  // Runs backup with one thread and with several; both must agree, and
  // with a message given, print exactly that message (with the path each
  // one names).
  Outcome Compare(const Bytes& backup, const std::string& what, const char* message = nullptr) {
    SCOPED_TRACE(what);
    Outcome single = Run(backup, 1);
    for (unsigned threads : {2u, 3u, 8u}) {
      Outcome several = Run(backup, threads);
      EXPECT_EQ(several.code, single.code) << threads << " threads";
      EXPECT_EQ(several.printed, single.printed) << threads << " threads";
      EXPECT_TRUE(several.shipped == single.shipped) << threads << " threads";
      EXPECT_TRUE(several == single) << threads << " threads: LoadPackageImage differs";
    }
    if (message != nullptr) {
      EXPECT_EQ(single.printed, Format(message, shipped_));
      EXPECT_EQ(single.loadPrinted, Format(message, backup_));
    }
    Bytes expected;
    if (fixtures::ExpectedPatchOutput(backup, &expected)) {
      EXPECT_EQ(single.code, 0);
      EXPECT_TRUE(single.shipped == expected) << "the single thread writes what the decoder computes";
    } else {
      EXPECT_NE(single.code, 0);
      EXPECT_TRUE(single.shipped == backup) << "a refused package is put back";
    }
    return single;
  }

  SweepDir dir_;
  std::string shipped_ = dir_.path + "/Pkg.upk";
  std::string backup_ = shipped_ + ".bak";
};

TEST_F(DecompressionThreads, GiveTheFilesAndMessagesOfOneThread) {
  ASSERT_FALSE(dir_.path.empty());
  std::mt19937 random(20261208);
  const char* mismatch = messages::kMsgSizeMismatch;
  const char* damaged = messages::kMsgPackageDamaged;
  int packages = 0;
  for (int round = 0; round < 40; ++round) {
    const fixtures::CompressedPackage packed = RandomShippedPackage(random);
    const std::vector<fixtures::CompressedBlock> blocks = AllBlocks(packed);
    ASSERT_GE(blocks.size(), 2u);
    const std::string layout = "round " + std::to_string(round) + ", " +
                               std::to_string(packed.chunks.size()) + " chunks, " +
                               std::to_string(blocks.size()) + " blocks";
    SCOPED_TRACE(layout);
    Compare(packed.bytes, "sound");

    // Two distinct blocks a < b anywhere in the package.
    const size_t a = random() % (blocks.size() - 1);
    const size_t b = a + 1 + random() % (blocks.size() - a - 1);
    Bytes one = packed.bytes;
    BreakBlock(one, packed, blocks[b]);
    Compare(one, "block " + std::to_string(b) + " broken", mismatch);

    Bytes two = packed.bytes;
    BreakBlock(two, packed, blocks[a]);
    BreakBlock(two, packed, blocks[b]);
    Compare(two, "blocks " + std::to_string(a) + " and " + std::to_string(b) + " broken", mismatch);

    Bytes brokenFirst = packed.bytes;
    BreakBlock(brokenFirst, packed, blocks[a]);
    MisplaceBlock(brokenFirst, blocks[b], random() % 2 == 0);
    Compare(brokenFirst, "broken block, then a misplaced one", mismatch);

    Bytes misplacedFirst = packed.bytes;
    MisplaceBlock(misplacedFirst, blocks[a], random() % 2 == 0);
    BreakBlock(misplacedFirst, packed, blocks[b]);
    Compare(misplacedFirst, "misplaced block, then a broken one", damaged);

    Bytes unknown = packed.bytes;
    PutU32(unknown, packed.summary.compressionFlags, 3 + random() % 100);
    Compare(unknown, "unknown compression", messages::kMsgUnknownCompression);
    ++packages;
    if (HasFailure()) break;
  }
  EXPECT_EQ(packages, 40);
}

TEST_F(DecompressionThreads, FailuresAtTheEdgesOfALayoutBatch) {
  // 150 blocks in one chunk: laid out 64 at a time, so a failure can sit at
  // the first or last block of a batch, with another in the next batch.
  fixtures::BuiltPackage plain = OneBodyPackage(7, 150 * 32);
  for (uint32_t compression : {fixtures::kCompressionZlib, fixtures::kCompressionLzo}) {
    fixtures::CompressOptions options;
    options.compression = compression;
    options.blockSize = 32;
    options.chunkSize = 150 * 32;
    fixtures::CompressedPackage packed;
    ASSERT_TRUE(fixtures::CompressPackage(plain.bytes, options, &packed));
    ASSERT_GE(packed.chunks[0].blocks.size(), 140u);
    const auto& blocks = packed.chunks[0].blocks;
    for (size_t first : {size_t(0), size_t(63), size_t(64), size_t(65), size_t(127), size_t(128)}) {
      SCOPED_TRACE("first failing block " + std::to_string(first));
      Bytes broken = packed.bytes;
      BreakBlock(broken, packed, blocks[first]);
      MisplaceBlock(broken, blocks[first + 5], false);
      Compare(broken, "broken, then misplaced", messages::kMsgSizeMismatch);
      Bytes misplaced = packed.bytes;
      MisplaceBlock(misplaced, blocks[first], true);
      BreakBlock(misplaced, packed, blocks[first + 1]);
      Compare(misplaced, "misplaced, then broken", messages::kMsgPackageDamaged);
    }
  }
}

TEST_F(DecompressionThreads, ABackupReadInPiecesGivesTheSameFiles) {
  // A backup of several megabytes is read in pieces on several threads; a
  // broken block in the last piece is still reported as one thread does.
  fixtures::BuiltPackage plain = OneBodyPackage(13, 5u << 20);
  fixtures::CompressedPackage packed;
  ASSERT_TRUE(fixtures::CompressPackage(plain.bytes, fixtures::CompressOptions{}, &packed));
  ASSERT_GT(packed.bytes.size(), 3u << 19);  // two pieces of 1 MiB
  Compare(packed.bytes, "whole");
  const std::vector<fixtures::CompressedBlock> blocks = AllBlocks(packed);
  Bytes broken = packed.bytes;
  BreakBlock(broken, packed, blocks.back());
  Compare(broken, "last block broken", messages::kMsgSizeMismatch);
}

TEST_F(DecompressionThreads, OverlappingSlotsKeepTheLaterBlock) {
  // A zlib block whose entry and data are longer than the block size runs
  // into the next block's slot; the next block then overwrites the overlap,
  // as when the blocks are decompressed one after another.
  fixtures::BuiltPackage plain = OneBodyPackage(11, 8 * 1024);
  const Bytes longText(1536, 'L');
  Bytes longStream(4096);
  uLongf length = longStream.size();
  ASSERT_EQ(compress2(longStream.data(), &length, longText.data(), longText.size(), 9), Z_OK);
  longStream.resize(length);
  fixtures::CompressOptions options;
  options.blockSize = 1024;
  options.chunkSize = 4096;
  options.editBlock = [&](uint32_t chunk, uint32_t block, Bytes& data) {
    if (chunk == 0 && block == 1) data = longStream;
  };
  fixtures::CompressedPackage packed;
  ASSERT_TRUE(fixtures::CompressPackage(plain.bytes, options, &packed));
  PutU32(packed.bytes, packed.chunks[0].blocks[1].pairOffset + 4, uint32_t(longText.size()));
  Outcome outcome = Compare(packed.bytes, "block 1 reaching into block 2");
  ASSERT_EQ(outcome.code, 0);
  // Block 1's slot holds its first 1024 bytes; block 2's own bytes follow.
  const uint32_t start = GetU32(packed.bytes, packed.chunks[0].recordOffset);
  ASSERT_GE(outcome.shipped.size(), start + 3072u);
  EXPECT_EQ(Bytes(outcome.shipped.begin() + start + 1024, outcome.shipped.begin() + start + 2048),
            Bytes(1024, 'L'));
  EXPECT_EQ(Bytes(outcome.shipped.begin() + start + 2048, outcome.shipped.begin() + start + 3072),
            Bytes(plain.bytes.begin() + start + 2048, plain.bytes.begin() + start + 3072));
}

}  // namespace
