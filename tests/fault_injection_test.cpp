// Failures of the operating system, tried one call at a time.
//
// A clean run of the package patcher, of the movie patcher and of both
// driver commands counts the platform calls it makes. Then every one of
// those calls is made to fail in turn (and every read and write also to stop
// half-way, as on a full disk), on fresh files, and what is left on disk is
// checked against what a user must be able to rely on:
//
//   - nothing crashes, and the package patcher's message fits its code;
//   - the backup keeps its bytes and its hidden and system marks;
//   - each game file is either the result of a clean run or byte-identical
//     to the original with normal attributes; the exceptions are the few
//     that a single failing call cannot avoid, each named where it is
//     allowed (the backup cannot be opened: nothing is touched; the
//     original is put back but keeps its backup's marks: a message says so);
//   - no stray file is left behind;
//   - running the command again without the fault gives the clean result.
//
// A full disk is tried too: from each call that needs space on, every such
// call fails with ENOSPC. Then no message may say that a file could not be
// put back: where no copy fits, the backup itself is moved back into place.
//
// The switch is compiled into the sanitizer build only; elsewhere the tests
// skip.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/backup.h"
#include "common/messages.h"
#include "dictionary/dict_test_util.h"
#include "driver/driver.h"
#include "driver/target_files.h"
#include "movie/movie_patcher.h"
#include "package/package_patcher.h"
#include "package/package_tables.h"
#include "platform/fault_injection.h"
#include "platform/platform.h"
#include "tests/support/capture_stdout.h"
#include "tests/support/byte_builders.h"
#include "tests/support/dir_state.h"
#include "tests/support/files.h"
#include "tests/support/movie_builder.h"
#include "tests/support/package_builder.h"
#include "tests/support/package_scene.h"

namespace {

namespace faults = platform::faults;
using fixtures::Bytes;
using fixtures::Cat;
using fixtures::DialogueTag;
using fixtures::Str8;
using fixtures::StrWide;
using fixtures::Text;

constexpr uint32_t kHiddenSystem = platform::kAttrHidden | platform::kAttrSystem;

// ---------------------------------------------------------------------------
// Faults

const char* OperationName(faults::Operation op) {
  static const char* const names[] = {"OpenRead", "Create", "Read",          "Write",
                                      "Seek",     "Size",   "Delete",        "Move",
                                      "Copy",     "SetAttributes", "Map"};
  static_assert(sizeof names / sizeof names[0] == faults::kOperationCount);
  return names[op];
}

using CallCounts = std::array<uint64_t, faults::kOperationCount>;

CallCounts CurrentCounts() {
  CallCounts counts{};
  for (int op = 0; op < faults::kOperationCount; ++op)
    counts[op] = faults::CallCount(faults::Operation(op));
  return counts;
}

struct Fault {
  faults::Operation op;
  uint64_t nth;
  bool shortTransfer;
  bool noSpace = false;  // the disk is full from this call on

  std::string Describe() const {
    return std::string(OperationName(op)) + " call " + std::to_string(nth) +
           (noSpace ? " fills the disk" : shortTransfer ? " stops half-way" : " fails");
  }
  // Reads that can leave a dictionary unloaded: the patchers then go on
  // as they do without a dictionary.
  bool OnTheReadingSide() const {
    return op == faults::kOpenRead || op == faults::kSize || op == faults::kSeek ||
           op == faults::kRead;
  }
};

// Every call of every operation failing, and every read and write also
// stopping half-way.
std::vector<Fault> AllFaults(const CallCounts& counts) {
  std::vector<Fault> all;
  for (int op = 0; op < faults::kOperationCount; ++op) {
    for (uint64_t nth = 1; nth <= counts[op]; ++nth) {
      all.push_back({faults::Operation(op), nth, false});
      if (op == faults::kRead || op == faults::kWrite) all.push_back({faults::Operation(op), nth, true});
      if (op == faults::kCreate || op == faults::kWrite || op == faults::kCopy)
        all.push_back({faults::Operation(op), nth, false, true});
    }
  }
  return all;
}

// Runs run with the fault armed; the call counts of the run come back.
CallCounts RunWithFault(const Fault& fault, const std::function<void()>& run) {
  faults::Clear();
  if (fault.noSpace)
    faults::FillDisk(fault.op, fault.nth);
  else
    faults::FailCall(fault.op, fault.nth, fault.shortTransfer);
  run();
  CallCounts counts = CurrentCounts();
  faults::Clear();
  return counts;
}

CallCounts CountCalls(const std::function<void()>& run) {
  faults::Clear();
  run();
  CallCounts counts = CurrentCounts();
  faults::Clear();
  return counts;
}

// ---------------------------------------------------------------------------
// Files on disk

using fixtures::DirState;
using fixtures::FileState;

DirState ReadDir(const std::string& root) { return fixtures::ReadDirState(root); }

std::string Names(const DirState& state) {
  std::string names;
  for (const auto& [name, file] : state) names += name + " ";
  return names;
}

// The start of "还原文件[%s]失败", before the path.
std::string RestoreErrorStart() {
  const std::string message = messages::kMsgRestoreError;
  return message.substr(0, message.find('['));
}

bool AttributesWork(const std::string& dir) {
  std::string probe = dir + "/attribute-probe";
  fixtures::WriteFileBytes(probe, {1});
  bool works = platform::SetAttributes(probe.c_str(), kHiddenSystem);
  std::filesystem::remove(probe);
  return works;
}

// The translations of every test here, in the byte order that lookups use.
std::string Dictionary() {
  return dict_test::FileText({
      {"Gate", "\xE5\x9F\x8E\xE9\x97\xA8", ""},              // 城门
      {"Hello", "\xE4\xBD\xA0\xE5\xA5\xBD", ""},             // 你好
      {"Line one", "\xE7\xAC\xAC\xE4\xB8\x80\xE8\xA1\x8C", ""},  // 第一行
      {"World", "\xE4\xB8\x96\xE7\x95\x8C", ""},             // 世界
  });
}

// ---------------------------------------------------------------------------
// Test files

// A package with two dialogue event exports that get translated, one with
// nothing the dictionary knows, and a body that spans several blocks.
fixtures::BuiltPackage DialoguePackage() {
  fixtures::PackageContents c;
  c.AddName("None");
  const uint32_t dt = c.AddName("DialogueText");
  const int32_t event = c.AddClassImport("AkDialogueEvent");
  const int32_t texture = c.AddClassImport("Texture2D");
  c.AddExport(texture, c.Name("Picture"), Bytes(700, 0x5A));
  c.AddExport(event, c.Name("First"),
              Cat({Text("head"), DialogueTag(dt, {Str8("Hello"), StrWide(u"World"), Str8("Unknown")}),
                   Text("tail")}));
  c.AddExport(event, c.Name("Nothing"), DialogueTag(dt, {Str8("Nobody knows")}));
  c.AddExport(event, c.Name("Second"), DialogueTag(dt, {StrWide(u"Line one")}));
  return fixtures::BuildPackage(c);
}

// Several chunks of several blocks each, so that the output takes many
// writes.
Bytes Compressed(const Bytes& plain, uint32_t compression) {
  fixtures::CompressOptions options;
  options.compression = compression;
  options.chunkSize = 512;
  options.blockSize = 128;
  fixtures::CompressedPackage packed;
  EXPECT_TRUE(fixtures::CompressPackage(plain, options, &packed));
  return packed.bytes;
}

// A movie with two subtitles that the dictionary knows (or none), one it
// does not know, and one of another language.
Bytes Movie(bool known, uint32_t seed) {
  fixtures::MovieBuilder movie;
  movie.AddHeader(0x100).AddMediaFrames(3, seed);
  movie.AddSubtitle(0, 0, known ? "Gate" : "Not known");
  movie.AddMediaFrames(2, seed + 1).AddSubtitle(1, 0, "Gate").AddSubtitle(0, 1000, "Unknown");
  movie.AddSubtitle(0, 2000, known ? "World" : "Nor this").AddMediaFrames(2, seed + 2);
  return movie.Build();
}

// ---------------------------------------------------------------------------
// One patcher on one file

// A folder with chs.txt (made the current directory), a backup marked
// hidden and system and, for a second run, the shipped file of an earlier
// run.
struct OneFile {
  fixtures::TempDir dir;
  dict_test::InDirectory cwd{dir.path()};
  std::string shipped;
  std::string backup;
  bool attributes = false;
  DirState before;

  OneFile(const std::string& name, const Bytes& original, const std::optional<Bytes>& earlier)
      : shipped(dir.File(name)), backup(shipped + ".bak") {
    EXPECT_TRUE(fixtures::WriteFileText(dir.File("chs.txt"), Dictionary()));
    EXPECT_TRUE(fixtures::WriteFileBytes(backup, original));
    attributes = platform::SetAttributes(backup.c_str(), kHiddenSystem);
    if (earlier) {
      EXPECT_TRUE(fixtures::WriteFileBytes(shipped, *earlier));
    }
    before = ReadDir(dir.path());
  }
  std::optional<FileState> Shipped() const {
    if (!fixtures::FileExists(shipped)) return std::nullopt;
    return FileState{fixtures::ReadFileBytes(shipped), platform::GetAttributes(shipped.c_str())};
  }
};

struct Outcome {
  int code = 0;
  std::string printed;
};

Outcome PatchPackage(const OneFile& scene) {
  fixtures::PatchResult r = fixtures::RunPackagePatch(scene.backup);
  return {r.code, r.printed};
}

Outcome PatchMovie(const OneFile& scene) {
  std::vector<char> path(scene.backup.begin(), scene.backup.end());
  path.push_back('\0');
  platform::ConsoleSetUtf8(false);
  fixtures::CaptureStdout capture;
  PatchMovieFile(path.data());
  return {0, capture.Finish()};
}

using Patcher = Outcome (*)(const OneFile&);

// What one kind of file must come to.
struct Expected {
  const char* name;            // the file's name in the folder
  Bytes original;              // the backup
  std::optional<Bytes> earlier;  // the shipped file of an earlier run, if any
  Bytes clean;                 // the shipped file after a clean run
  // Package only: the result when the package's dictionary could not be
  // read (a package sees one version of it, here none): nothing translated.
  std::vector<Bytes> partlyTranslated;
  // Package only: the code and message of the clean run, when it fails.
  int cleanCode = 0;
  const char* cleanMessage = "";
};

// The package patcher's line for a failure code, or nullptr for a code that
// a failing call must not cause. Codes -1 and -2 stand for failures that
// print nothing.
const char* PackageMessage(int code, const Expected& e) {
  if (code == e.cleanCode) return e.cleanMessage;
  switch (code) {
    case -1:  // the backup or the output cannot be opened
    case -2:  // the size is unknown
      return "";
    case -4:
      return messages::kMsgReadFileError;
    case -21:
    case -29:  // the relocated exports
      return messages::kMsgWriteFileError;
    default:
      return nullptr;
  }
}

// Checks the folder after a run with fault.
void CheckOneFile(const OneFile& scene, const Expected& e, const Fault& fault, const Outcome& outcome,
                  bool isPackage) {
  SCOPED_TRACE(fault.Describe());
  const bool backupNotOpened = fault.op == faults::kOpenRead && fault.nth == 1;

  // The backup: never written, never unmarked; when no copy of it could be
  // put in place it is moved back itself (checked below).
  const bool movedBack = !fixtures::FileExists(scene.backup);
  if (!movedBack) {
    EXPECT_EQ(fixtures::ReadFileBytes(scene.backup), e.original);
    if (scene.attributes) {
      EXPECT_EQ(platform::GetAttributes(scene.backup.c_str()), kHiddenSystem);
    }
  }

  // No stray file: only chs.txt, the backup and the shipped file.
  DirState after = ReadDir(scene.dir.path());
  for (const auto& [name, file] : after)
    EXPECT_TRUE(name == "chs.txt" || name == e.name || name == std::string(e.name) + ".bak")
        << "left behind: " << name;

  const std::string restoreError = fixtures::FormatMessage(messages::kMsgRestoreError, scene.shipped);
  bool restoreFailed = false;
  if (isPackage) {
    const char* message = PackageMessage(outcome.code, e);
    ASSERT_NE(message, nullptr) << "unexpected code " << outcome.code;
    const std::string expected = fixtures::FormatMessage(message, scene.shipped);
    restoreFailed = outcome.printed == expected + restoreError;
    if (!restoreFailed) {
      EXPECT_EQ(outcome.printed, expected) << "code " << outcome.code;
    }
  } else {
    restoreFailed = outcome.printed == restoreError;
    if (!restoreFailed) {
      EXPECT_EQ(outcome.printed, "") << "the movie patcher prints nothing when its movie is put back";
    }
  }

  std::optional<FileState> shipped = scene.Shipped();
  if (backupNotOpened) {
    // Without a readable backup nothing is deleted or made.
    EXPECT_EQ(outcome.code, isPackage ? -1 : 0);
    EXPECT_EQ(fixtures::DescribeDifferences(scene.before, after), "");
    return;
  }
  if (restoreFailed) {
    // Putting the original back failed, and says so. Only a failing
    // clearing of the copy's marks can do this: a failing copy leaves the
    // move of the backup itself.
    EXPECT_TRUE(fault.op == faults::kSetAttributes) << "code " << outcome.code;
    return;
  }
  if (movedBack) {
    ASSERT_TRUE(shipped.has_value()) << "neither the file nor its backup is left";
    EXPECT_EQ(shipped->bytes, e.original) << "the backup moved back is the original";
  }
  ASSERT_TRUE(shipped.has_value()) << "the shipped file is missing";
  if (shipped->bytes == e.original) {
    // Put back as shipped, with normal attributes (not hidden like its backup).
    if (isPackage && e.clean != e.original) {
      EXPECT_NE(outcome.code, 0) << "a failure reported as success";
    }
    // Clearing the copy's hidden mark is itself an attribute call: when
    // that is the call that fails, the copy keeps the backup's mark.
    if (scene.attributes && fault.op != faults::kSetAttributes) {
      EXPECT_EQ(shipped->attributes, platform::kAttrNormal);
    }
    return;
  }
  if (shipped->bytes == e.clean) {
    EXPECT_EQ(outcome.code, 0);
    if (scene.attributes) {
      EXPECT_EQ(shipped->attributes, platform::kAttrNormal);
    }
    return;
  }
  bool partly = false;
  for (const Bytes& variant : e.partlyTranslated) partly = partly || shipped->bytes == variant;
  EXPECT_TRUE(partly && fault.OnTheReadingSide() && outcome.code == 0)
      << "the shipped file is neither the clean result nor the original (" << shipped->bytes.size()
      << " bytes, code " << outcome.code << ")";
}

// Sweeps every call of a clean run of patcher over e; returns the number of
// fault cases tried.
int SweepOneFile(const Expected& e, Patcher patcher, bool isPackage) {
  CallCounts counts;
  {
    OneFile scene(e.name, e.original, e.earlier);
    Outcome clean;
    counts = CountCalls([&] { clean = patcher(scene); });
    EXPECT_EQ(clean.code, e.cleanCode);
    EXPECT_EQ(scene.Shipped().value_or(FileState{}).bytes, e.clean) << "the clean run";
  }
  int cases = 0;
  for (const Fault& fault : AllFaults(counts)) {
    OneFile scene(e.name, e.original, e.earlier);
    Outcome outcome;
    RunWithFault(fault, [&] { outcome = patcher(scene); });
    CheckOneFile(scene, e, fault, outcome, isPackage);
    ++cases;

    // Running again without the fault gives the clean result (a backup
    // moved back is made again first, as the driver would).
    backup::MoveAside(scene.shipped.c_str(), scene.backup.c_str());
    Outcome again = patcher(scene);
    EXPECT_EQ(again.code, e.cleanCode) << fault.Describe() << ", then again";
    EXPECT_EQ(fixtures::ReadFileBytes(scene.shipped), e.clean) << fault.Describe() << ", then again";
    if (testing::Test::HasFatalFailure()) break;
  }
  return cases;
}

class FaultSweep : public testing::Test {
 protected:
  void SetUp() override {
    if (!faults::Available()) GTEST_SKIP() << "built without the platform fault switch";
  }
  void TearDown() override { faults::Clear(); }
};

TEST_F(FaultSweep, PackagePatcher) {
  const fixtures::BuiltPackage plain = DialoguePackage();
  int cases = 0;
  for (uint32_t compression : {fixtures::kCompressionZlib, fixtures::kCompressionLzo}) {
    Expected e{"Pkg.upk", Compressed(plain.bytes, compression), std::nullopt, {}, {}};
    Bytes uncompressed;
    ASSERT_TRUE(fixtures::ExpectedPatchOutput(e.original, &uncompressed));
    {
      OneFile scene(e.name, e.original, std::nullopt);
      ASSERT_EQ(PatchPackage(scene).code, 0);
      e.clean = fixtures::ReadFileBytes(scene.shipped);
    }
    e.partlyTranslated = {uncompressed};

    SCOPED_TRACE(compression == fixtures::kCompressionZlib ? "zlib" : "LZO");
    {
      SCOPED_TRACE("first run");
      cases += SweepOneFile(e, PatchPackage, true);
    }
    {
      SCOPED_TRACE("second run, over the file of the first");
      e.earlier = e.clean;
      cases += SweepOneFile(e, PatchPackage, true);
      e.earlier.reset();
    }
    {
      // A damaged block: every clean run fails and copies the backup back,
      // so the copy and the clearing of its marks are tried too.
      SCOPED_TRACE("damaged package");
      Expected damaged = e;
      fixtures::CompressedPackage packed;
      fixtures::CompressOptions options;
      options.compression = compression;
      options.chunkSize = 512;
      options.blockSize = 128;
      options.editBlock = [](uint32_t chunk, uint32_t block, Bytes& data) {
        if (chunk == 1 && block == 1) data.assign(data.size(), 0xEE);
      };
      ASSERT_TRUE(fixtures::CompressPackage(plain.bytes, options, &packed));
      damaged.original = packed.bytes;
      damaged.clean = packed.bytes;
      damaged.partlyTranslated.clear();
      damaged.cleanCode = -9;
      damaged.cleanMessage = messages::kMsgSizeMismatch;
      cases += SweepOneFile(damaged, PatchPackage, true);
    }
  }
  std::printf("package patcher: %d fault cases\n", cases);
  RecordProperty("fault_cases", cases);
}

TEST_F(FaultSweep, MoviePatcher) {
  int cases = 0;
  for (bool known : {true, false}) {
    Expected e{"Intro.usm", Movie(known, 7), std::nullopt, {}, {}};
    {
      OneFile scene(e.name, e.original, std::nullopt);
      PatchMovie(scene);
      e.clean = fixtures::ReadFileBytes(scene.shipped);
    }
    if (known) {
      ASSERT_NE(e.clean, e.original) << "the subtitles are translated";
    } else {
      ASSERT_EQ(e.clean, e.original) << "nothing to translate: a copy of the backup";
    }
    SCOPED_TRACE(known ? "translated movie" : "movie without known subtitles");
    {
      SCOPED_TRACE("first run");
      cases += SweepOneFile(e, PatchMovie, false);
    }
    {
      SCOPED_TRACE("second run, over the file of the first");
      e.earlier = e.clean;
      cases += SweepOneFile(e, PatchMovie, false);
    }
  }
  std::printf("movie patcher: %d fault cases\n", cases);
  RecordProperty("fault_cases", cases);
}

// ---------------------------------------------------------------------------
// The driver with both patchers, over a game folder

using driver::kMovieCount;
using driver::kPackageCount;
using driver::kTargetFileCount;
using driver::kTargetFiles;

constexpr int kPresentPackages = 2;
// The files of the game folder are the first the driver visits: the four
// movies, then packages 0 and 1. Every other listed file is missing.
constexpr int kPresentFiles = kMovieCount + kPresentPackages;

std::string PackageName(int i) { return std::string("CookedPC/") + kTargetFiles[i]; }
std::string MovieName(int k) { return std::string("Movies/") + kTargetFiles[kPackageCount + k]; }

struct Game {
  fixtures::TempDir root;
  dict_test::InDirectory cwd{root.path()};
  std::string packages = root.File("CookedPC");
  std::string movies = root.File("Movies");

  Game() {
    std::filesystem::create_directories(packages);
    std::filesystem::create_directories(movies);
    EXPECT_TRUE(fixtures::WriteFileText(root.File("chs.txt"), Dictionary()));
  }
  void Install(const std::map<std::string, Bytes>& originals) {
    for (const auto& [name, bytes] : originals) EXPECT_TRUE(fixtures::WriteFileBytes(root.File(name), bytes));
  }
  std::string Eng2Chs() {
    platform::ConsoleSetUtf8(false);
    fixtures::CaptureStdout capture;
    driver::Eng2Chs(packages.c_str(), movies.c_str(),
                    driver::Patchers{PatchMovieFile, package::PatchPackageFile});
    return capture.Finish();
  }
  std::string Chs2Eng() {
    platform::ConsoleSetUtf8(false);
    fixtures::CaptureStdout capture;
    driver::Chs2Eng(packages.c_str(), movies.c_str());
    return capture.Finish();
  }
};

class DriverFaults : public FaultSweep {
 protected:
  void SetUp() override {
    FaultSweep::SetUp();
    if (IsSkipped()) return;
    const fixtures::BuiltPackage plain = DialoguePackage();
    for (int k = 0; k < kMovieCount; ++k) originals_[MovieName(k)] = Movie(true, 11 + uint32_t(k));
    const uint32_t kinds[kPresentPackages] = {fixtures::kCompressionZlib, fixtures::kCompressionLzo};
    for (int i = 0; i < kPresentPackages; ++i) {
      originals_[PackageName(i)] = Compressed(plain.bytes, kinds[i]);
      ASSERT_TRUE(fixtures::ExpectedPatchOutput(originals_[PackageName(i)], &uncompressed_[PackageName(i)]));
    }

    Game game;
    game.Install(originals_);
    attributes_ = AttributesWork(game.root.path());
    patchCounts_ = CountCalls([&] { game.Eng2Chs(); });
    patched_ = ReadDir(game.root.path());
    restoreCounts_ = CountCalls([&] { game.Chs2Eng(); });

    Game empty;
    CallCounts emptyPatch = CountCalls([&] { empty.Eng2Chs(); });
    CallCounts emptyRestore = CountCalls([&] { empty.Chs2Eng(); });
    patchCounts_ = PresentFileCalls(patchCounts_, emptyPatch);
    restoreCounts_ = PresentFileCalls(restoreCounts_, emptyRestore);
  }

  // The calls that the present files cause. A listed file that is missing
  // costs the same calls as any other missing file, and the present files
  // come first, so their calls are the first ones of each operation: the
  // calls of a run over the empty folder, spread evenly over the list, are
  // taken off for every missing file.
  static CallCounts PresentFileCalls(const CallCounts& full, const CallCounts& empty) {
    CallCounts present{};
    for (int op = 0; op < faults::kOperationCount; ++op) {
      EXPECT_EQ(empty[op] % kTargetFileCount, 0u) << OperationName(faults::Operation(op));
      present[op] = full[op] - empty[op] / kTargetFileCount * (kTargetFileCount - kPresentFiles);
    }
    return present;
  }

  // The backups hold the originals, marked hidden and system; a failing
  // attribute call may leave a backup unmarked until the next run.
  void ExpectBackupsIntact(const DirState& state, const Fault& fault) {
    for (const auto& [name, original] : originals_) {
      auto backup = state.find(name + ".bak");
      if (backup == state.end()) continue;
      EXPECT_EQ(backup->second.bytes, original) << name;
      if (attributes_ && fault.op != faults::kSetAttributes) {
        EXPECT_EQ(backup->second.attributes, kHiddenSystem) << name;
      }
    }
  }

  // Only listed files, their backups and chs.txt.
  void ExpectNoStrayFiles(const DirState& state) {
    for (const auto& [name, file] : state) {
      const bool backup = name.size() > 4 && name.compare(name.size() - 4, 4, ".bak") == 0;
      const bool known = name == "chs.txt" || originals_.count(name) ||
                         (backup && originals_.count(name.substr(0, name.size() - 4)));
      EXPECT_TRUE(known) << "left behind: " << name;
    }
  }

  // Every file is its original with normal attributes, its backup beside
  // it (unless a full disk had the backup moved back into place).
  void ExpectAllOriginal(const DirState& state, bool backupsMovedBack = false) {
    ExpectNoStrayFiles(state);
    for (const auto& [name, original] : originals_) {
      ASSERT_TRUE(state.count(name)) << name;
      EXPECT_EQ(state.at(name).bytes, original) << name;
      if (attributes_) {
        EXPECT_EQ(state.at(name).attributes, platform::kAttrNormal) << name;
      }
      if (backupsMovedBack && !state.count(name + ".bak")) continue;
      ASSERT_TRUE(state.count(name + ".bak")) << name;
      EXPECT_EQ(state.at(name + ".bak").bytes, original) << name;
    }
  }

  std::map<std::string, Bytes> originals_;
  std::map<std::string, Bytes> uncompressed_;
  bool attributes_ = false;
  DirState patched_;  // the folder after a clean eng2chs
  CallCounts patchCounts_{};
  CallCounts restoreCounts_{};
};

TEST_F(DriverFaults, Eng2Chs) {
  ASSERT_EQ(patched_.size(), 1 + 2 * originals_.size()) << Names(patched_);
  int cases = 0;
  for (const Fault& fault : AllFaults(patchCounts_)) {
    SCOPED_TRACE(fault.Describe());
    Game game;
    game.Install(originals_);
    std::string printed;
    RunWithFault(fault, [&] { printed = game.Eng2Chs(); });
    ++cases;
    const std::string done = messages::kMsgPatchDone;
    EXPECT_TRUE(printed.size() >= done.size() && printed.compare(printed.size() - done.size(), done.size(), done) == 0)
        << "the run goes on to its end";
    if (fault.noSpace) {
      EXPECT_EQ(printed.find(RestoreErrorStart()), std::string::npos) << "a full disk never stops a restore";
    }

    DirState state = ReadDir(game.root.path());
    ExpectBackupsIntact(state, fault);
    ExpectNoStrayFiles(state);
    for (const auto& [name, original] : originals_) {
      SCOPED_TRACE(name);
      ASSERT_TRUE(state.count(name)) << "missing";
      const FileState& file = state.at(name);
      const bool restoredButMarked =
          attributes_ && file.attributes != platform::kAttrNormal && fault.op == faults::kSetAttributes;
      EXPECT_TRUE(file.attributes == platform::kAttrNormal || !attributes_ || restoredButMarked);
      if (file.bytes == original || file.bytes == patched_.at(name).bytes) continue;
      bool partly = false;
      // A package whose dictionary could not be read is rebuilt untranslated.
      if (uncompressed_.count(name)) partly = file.bytes == uncompressed_.at(name);
      EXPECT_TRUE(partly && fault.OnTheReadingSide()) << "neither patched nor original";
    }

    // Running eng2chs again mends everything; chs2eng then restores.
    game.Eng2Chs();
    EXPECT_EQ(fixtures::DescribeDifferences(patched_, ReadDir(game.root.path())), "") << "eng2chs again";
    game.Chs2Eng();
    ExpectAllOriginal(ReadDir(game.root.path()));
    if (HasFatalFailure()) break;
  }
  std::printf("driver eng2chs with both patchers: %d fault cases\n", cases);
  RecordProperty("fault_cases", cases);
}

TEST_F(DriverFaults, Chs2Eng) {
  int cases = 0;
  for (const Fault& fault : AllFaults(restoreCounts_)) {
    SCOPED_TRACE(fault.Describe());
    Game game;
    game.Install(originals_);
    game.Eng2Chs();
    ASSERT_EQ(fixtures::DescribeDifferences(patched_, ReadDir(game.root.path())), "");
    std::string printed;
    RunWithFault(fault, [&] { printed = game.Chs2Eng(); });
    ++cases;
    if (fault.noSpace) {
      EXPECT_EQ(printed.find(RestoreErrorStart()), std::string::npos) << "a full disk never stops a restore";
    }

    DirState state = ReadDir(game.root.path());
    ExpectBackupsIntact(state, fault);
    ExpectNoStrayFiles(state);
    for (const auto& [name, original] : originals_) {
      SCOPED_TRACE(name);
      ASSERT_TRUE(state.count(name)) << "missing";
      const FileState& file = state.at(name);
      if (file == patched_.at(name)) continue;  // the copy failed: left as it was
      EXPECT_EQ(file.bytes, original);
      if (attributes_ && fault.op != faults::kSetAttributes) {
        EXPECT_EQ(file.attributes, platform::kAttrNormal) << "a restored file is not hidden";
      }
    }

    game.Chs2Eng();
    ExpectAllOriginal(ReadDir(game.root.path()), fault.noSpace);
    if (HasFatalFailure()) break;
  }
  std::printf("driver chs2eng: %d fault cases\n", cases);
  RecordProperty("fault_cases", cases);
}

}  // namespace
