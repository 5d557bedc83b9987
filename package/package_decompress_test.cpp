// The read-back of the uncompressed package, and sweeps of truncated and
// corrupted backups through the whole first stage: whatever the damage,
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

#include "common/messages.h"
#include "package/package_patcher.h"
#include "package/package_tables.h"
#include "platform/platform.h"
#include "tools/fixtures/capture_stdout.h"
#include "tools/fixtures/files.h"
#include "tools/fixtures/package_builder.h"
#include "tools/fixtures/package_scene.h"

namespace {

using fixtures::Bytes;
using fixtures::PutU32;

std::string Format(const char* format, const std::string& path) {
  return fixtures::FormatMessage(format, path);
}

// ---------------------------------------------------------------------------
// ReadPackageImage

struct ImageRun {
  int code;
  std::string printed;
};

ImageRun ReadImage(platform::File file, const std::string& path, package::PackageImage* image) {
  platform::ConsoleSetUtf8(false);
  fixtures::CaptureStdout capture;
  int code = package::ReadPackageImage(file, path.c_str(), image);
  std::string printed = capture.Finish();
  return {code, printed};
}

TEST(ReadPackageImage, ReadsTheWholeFileAndTheTableFields) {
  fixtures::PackageContents contents;
  contents.folderName = std::string("Some\0Folder", 11);
  contents.AddName("None");
  contents.AddClassImport("Thing");
  contents.AddExport(-1, contents.Name("Object"), Bytes(33, 0x5A));
  fixtures::BuiltPackage plain = fixtures::BuildPackage(contents);
  fixtures::TempDir dir;
  std::string path = dir.File("Pkg.upk");
  ASSERT_TRUE(fixtures::WriteFileBytes(path, plain.bytes));
  platform::File file = platform::OpenRead(path.c_str());
  ASSERT_TRUE(platform::SeekEnd(file)) << "the read-back starts from the beginning";
  package::PackageImage image;
  ImageRun run = ReadImage(file, path, &image);
  platform::Close(file);
  ASSERT_EQ(run.code, 0);
  EXPECT_EQ(run.printed, "");
  ASSERT_EQ(image.size, plain.bytes.size());
  EXPECT_EQ(Bytes(image.data.get(), image.data.get() + image.size), plain.bytes);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(image.data[image.size + i], 0) << "zero byte " << i;
  EXPECT_EQ(image.nameCount, 5u);
  EXPECT_EQ(image.nameOffset, plain.nameOffset);
  EXPECT_EQ(image.exportCount, 1u);
  EXPECT_EQ(image.exportOffset, plain.exportOffset);
  EXPECT_EQ(image.importCount, 1u);
  EXPECT_EQ(image.importOffset, plain.importOffset);
}

TEST(ReadPackageImage, RefusesWhatCannotBeReadBack) {
  fixtures::TempDir dir;
  std::string path = dir.File("Pkg.upk");
  const std::string message = Format(messages::kMsgReadFileError, path);
  package::PackageImage image;

  ImageRun run = ReadImage(platform::kNoFile, path, &image);
  EXPECT_EQ(run.code, -22) << "size query fails";
  EXPECT_EQ(run.printed, message);

  ASSERT_TRUE(fixtures::WriteFileBytes(path, Bytes(200, 0)));
  platform::File writeOnly = platform::OpenWrite(path.c_str(), platform::kOpenExisting);
  run = ReadImage(writeOnly, path, &image);
  platform::Close(writeOnly);
  EXPECT_EQ(run.code, -22) << "read fails";
  EXPECT_EQ(run.printed, message);

  for (const Bytes& content : {Bytes(10, 0), Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0xF0, 0, 0, 0, 0}}) {
    ASSERT_TRUE(fixtures::WriteFileBytes(path, content));
    platform::File file = platform::OpenRead(path.c_str());
    run = ReadImage(file, path, &image);
    platform::Close(file);
    EXPECT_EQ(run.code, -22) << "no table fields in " << content.size() << " bytes";
    EXPECT_EQ(run.printed, message);
  }
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
  run.code = package::LoadPackageImage(path.c_str(), image, &run.compressed);
  run.printed = capture.Finish();
  return run;
}

TEST(LoadPackageImage, GivesTheUncompressedPackageWhateverTheFileHolds) {
  fixtures::PackageContents contents;
  contents.packageFlags = 0x0A000001;
  contents.AddName("None");
  int32_t cls = contents.AddClassImport("Thing");
  Bytes body(3000);
  for (size_t i = 0; i < body.size(); ++i) body[i] = uint8_t(i * 7 / 5);
  contents.AddExport(cls, contents.Name("Object"), body);
  fixtures::BuiltPackage plain = fixtures::BuildPackage(contents);
  fixtures::TempDir dir;
  std::string path = dir.File("Pkg.upk");

  for (uint32_t compression : {fixtures::kCompressionZlib, fixtures::kCompressionLzo}) {
    fixtures::CompressOptions options;
    options.compression = compression;
    options.chunkSize = 1024;
    options.blockSize = 256;
    fixtures::CompressedPackage packed;
    ASSERT_TRUE(fixtures::CompressPackage(plain.bytes, options, &packed));
    Bytes expected;
    ASSERT_TRUE(fixtures::ExpectedPatchOutput(packed.bytes, &expected));
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
  EXPECT_EQ(Load(path, &image).code, package::kPatchNotOpened) << "missing";
  EXPECT_EQ(Load(dir.path(), &image).code, package::kPatchNotOpened) << "a folder";

  ASSERT_TRUE(fixtures::WriteFileBytes(path, Bytes(100, 0x41)));
  EXPECT_EQ(Load(path, &image).code, package::kPatchWrongTag);

  // A compressed package cut short: the patcher's own message and code.
  fixtures::CompressedPackage packed = SmallShippedPackage(fixtures::kCompressionZlib);
  Bytes cut(packed.bytes.begin(), packed.bytes.end() - 10);
  ASSERT_TRUE(fixtures::WriteFileBytes(path, cut));
  LoadRun run = Load(path, &image);
  EXPECT_EQ(run.code, package::kPatchDamaged);
  EXPECT_EQ(run.printed, Format(messages::kMsgPackageDamaged, path));

  // A tagged file too short for a summary.
  Bytes tagged(24, 0);
  PutU32(tagged, 0, fixtures::kPackageTag);
  ASSERT_TRUE(fixtures::WriteFileBytes(path, tagged));
  run = Load(path, &image);
  EXPECT_EQ(run.code, package::kPatchDamaged);
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
  return code == package::kTablesAllocFailed || code == package::kExportTableUnreadable ||
         code == package::kExportNameFailed ||
         (code <= package::kNameTableUnreadable && code >= package::kExportBodyOutsideImage);
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

}  // namespace
