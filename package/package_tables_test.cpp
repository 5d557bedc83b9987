// Tests of the name, import and export tables, Object paths and the class
// test, on package images laid out by hand.
#include "package/package_tables.h"

#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/byte_builders.h"

namespace package {
namespace {

using fixtures::Bytes;

using fixtures::Append;
using fixtures::Cat;
using fixtures::Word32;

// The 8 bytes of flags that follow a name-table entry's text.
const Bytes kNameFlags(8, 0xEE);

// A name-table entry: 8-bit text with its zero byte, then 8 bytes of flags.
Bytes Name8(const std::string& text) { return Cat({fixtures::Str8(text), kNameFlags}); }
// A name-table entry in UTF-16 with its zero unit.
Bytes NameWide(const std::u16string& text) { return Cat({fixtures::StrWide(text), kNameFlags}); }
// A name-table entry with a raw length word and text bytes.
Bytes NameRaw(int32_t length, const Bytes& text) { return Cat({Word32(uint32_t(length)), text, kNameFlags}); }

// The fields of an export-table record that the table readers use; the
// record's other words are zero.
struct TestExport {
  int32_t classIndex = 0;
  int32_t outerIndex = 0;
  uint32_t name = 0;
  int32_t number = 0;
  uint32_t serialSize = 0;
  uint32_t serialOffset = 0;
};

// A package image: a 16-byte stand-in for the summary, then the name table,
// the import table (records naming one name each) and the export table.
struct Layout {
  std::vector<Bytes> names;
  std::vector<uint32_t> imports;  // name index of each import
  std::vector<TestExport> exports;

  PackageImage Build() const {
    Bytes data(16, 0xAB);
    PackageImage fields;
    PackageImage& image = fields;
    image.nameCount = uint32_t(names.size());
    image.nameOffset = uint32_t(data.size());
    for (const Bytes& n : names) Append(data, n);
    image.importCount = uint32_t(imports.size());
    image.importOffset = uint32_t(data.size());
    for (uint32_t name : imports) {
      Bytes record(28, 0x5A);
      fixtures::PutU32(record, 20, name);
      Append(data, record);
    }
    image.exportCount = uint32_t(exports.size());
    image.exportOffset = uint32_t(data.size());
    for (const TestExport& e : exports) {
      Bytes record;
      for (uint32_t w : {uint32_t(e.classIndex), 0u, uint32_t(e.outerIndex), e.name,
                         uint32_t(e.number), 0u, 0u, 0u, 0u, e.serialSize, e.serialOffset, 0u, 0u,
                         0u, 0u, 0u, 0u, 0u}) {
        Append(record, Word32(w));
      }
      Append(data, record);
    }
    SetData(data, &fields);
    return fields;
  }

  static void SetData(const Bytes& data, PackageImage* image) {
    image->data = AllocateImageBytes(data.size() + 4);
    std::memcpy(image->data.get(), data.data(), data.size());
    image->size = uint32_t(data.size());
  }
  static PackageImage FromBytes(const Bytes& data) {
    PackageImage image;
    SetData(data, &image);
    return image;
  }
};

// Runs f with the console captured (raw GBK bytes) and returns what it printed.
template <class F>
std::string Printed(F f) {
  platform::ConsoleSetUtf8(false);
  testing::internal::CaptureStdout();
  f();
  return testing::internal::GetCapturedStdout();
}

// --- name table -------------------------------------------------------------

TEST(NameTable, SlotsHoldEveryFormOfName) {
  Layout layout;
  layout.names = {Name8("Hello"), NameWide(u"\u5BF9\u8BDD"), NameRaw(0, {}), NameWide(u""),
                  NameWide(u"Wide"), Name8("Last"), NameWide(u"\U0001F600")};
  PackageImage image = layout.Build();
  NameSlots names;
  ASSERT_EQ(ReadNameTable(image, &names), Failure::kNone);
  ASSERT_EQ(names.count, 7u);
  EXPECT_STREQ(names.Slot(0), "Hello");
  EXPECT_STREQ(names.Slot(1), "\xE5\xAF\xB9\xE8\xAF\x9D") << "UTF-16 names become UTF-8";
  EXPECT_STREQ(names.Slot(2), "") << "length word 0 takes 12 bytes and leaves the slot empty";
  EXPECT_STREQ(names.Slot(3), "") << "a lone terminator leaves the slot empty";
  EXPECT_STREQ(names.Slot(4), "Wide");
  EXPECT_STREQ(names.Slot(5), "Last");
  EXPECT_STREQ(names.Slot(6), "\xF0\x9F\x98\x80") << "a surrogate pair is one code point";
}

TEST(NameTable, EightBitNamesAreCopiedAsStored) {
  // The whole stored text reaches the slot, bytes after an inner zero too.
  Layout layout;
  layout.names = {NameRaw(6, {'a', 'b', 0, 'c', 'd', 0}), Name8("\xB6\xD4")};
  PackageImage image = layout.Build();
  NameSlots names;
  ASSERT_EQ(ReadNameTable(image, &names), Failure::kNone);
  EXPECT_EQ(std::memcmp(names.Slot(0), "ab\0cd\0\0", 7), 0);
  EXPECT_STREQ(names.Slot(1), "\xB6\xD4") << "8-bit text is not converted";
}

TEST(NameTable, NamesThatDoNotFitTheirSlotRefuseThePackage) {
  const std::string longest(259, 'n');
  const std::u16string wideLongest(259, u'w');
  const std::u16string cjk86(86, u'\u4E2D');  // 258 UTF-8 bytes
  struct Case {
    const char* what;
    Bytes name;
    Failure failure;
  } cases[] = {
      {"8-bit, 259 characters and the zero", Name8(longest), Failure::kNone},
      {"8-bit, 260 characters and the zero", Name8(longest + "n"), Failure::kNameTableUnreadable},
      {"8-bit, 260 bytes without a zero", NameRaw(260, Bytes(260, 'x')), Failure::kNameTableUnreadable},
      {"8-bit, 260 bytes ending in a zero", NameRaw(260, [] {
         Bytes b(260, 'x');
         b[259] = 0;
         return b;
       }()),
       Failure::kNone},
      {"UTF-16, 259 units", NameWide(wideLongest), Failure::kNone},
      {"UTF-16, 260 units", NameWide(wideLongest + u"w"), Failure::kNameTableUnreadable},
      {"UTF-16, 258 bytes as UTF-8", NameWide(cjk86), Failure::kNone},
      {"UTF-16, 261 bytes as UTF-8", NameWide(cjk86 + u"\u4E2D"), Failure::kNameTableUnreadable},
      {"length word below -65,536", NameRaw(-65537, Bytes(2 * 65537, 'x')), Failure::kNameTableUnreadable},
  };
  for (const Case& c : cases) {
    Layout layout;
    layout.names = {Name8("First"), c.name, Name8("After")};
    PackageImage image = layout.Build();
    NameSlots names;
    EXPECT_EQ(ReadNameTable(image, &names), c.failure) << c.what;
    if (c.failure == Failure::kNone) {
      EXPECT_STREQ(names.Slot(2), "After") << c.what;
      EXPECT_LT(std::strlen(names.Slot(1)), kNameSlotSize) << c.what;
    }
  }
}

TEST(NameTable, TablesReachingBeyondThePackageAreRefused) {
  Layout layout;
  layout.names = {Name8("One"), Name8("Two")};
  PackageImage whole = layout.Build();
  struct Case {
    const char* what;
    uint32_t cut;  // bytes taken off the end of the image
    uint32_t count;
    uint32_t offsetShift;
  } cases[] = {
      {"last name's trailing 8 bytes missing", 1, 2, 0},
      {"last name's text cut", 12, 2, 0},
      {"one name more than the table holds", 0, 3, 0},
      {"a count that would need terabytes of slots", 0, 0xFFFFFFFFu, 0},
      {"offset beyond the package", 0, 1, 1000},
  };
  for (const Case& c : cases) {
    PackageImage image = Layout::FromBytes(Bytes(whole.data.get(), whole.data.get() + whole.size - c.cut));
    image.nameCount = c.count;
    image.nameOffset = whole.nameOffset + c.offsetShift;
    NameSlots names;
    EXPECT_EQ(ReadNameTable(image, &names), Failure::kNameTableUnreadable) << c.what;
  }
}

TEST(NameTable, NoNamesReadsNothingWhateverTheOffset) {
  PackageImage image = Layout::FromBytes(Bytes(8, 0));
  image.nameOffset = 0xFFFFFFF0u;
  NameSlots names;
  EXPECT_EQ(ReadNameTable(image, &names), Failure::kNone);
  EXPECT_EQ(names.count, 0u);
}

// The address-space cap (RLIMIT_AS) is POSIX only, and AddressSanitizer
// needs far more address space than the cap leaves.
#if !defined(__SANITIZE_ADDRESS__) && !defined(_WIN32)
// Lays out 2 million empty names (24 MB of package, 520 MB of slots), caps
// the address space 300 MB above what the process maps then, reads the name
// table and exits with the negated code of its failure (99 for another
// failure than the slots'). Runs in the death test's child only, so the test
// process never holds the big buffers.
void ReadNamesWithCappedMemory() {
  Bytes data;
  for (int i = 0; i < 2000000; ++i) Append(data, NameRaw(0, {}));
  PackageImage image = Layout::FromBytes(data);
  image.nameCount = 2000000;
  unsigned long pages = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%lu", &pages) != 1) pages = 0;
    std::fclose(statm);
  }
  const rlim_t cap = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (300u << 20);
  const rlimit limit{cap, cap};
  setrlimit(RLIMIT_AS, &limit);
  NameSlots names;
  const Failure failure = ReadNameTable(image, &names);
  std::_Exit(failure == Failure::kNameSlotsAllocFailed ? -CodeOf(failure) : 99);
}

TEST(NameTableDeathTest, SlotsThatCannotBeAllocatedEndThePackageWithMinus5) {
  platform::ConsoleSetUtf8(false);
  EXPECT_EXIT(ReadNamesWithCappedMemory(), testing::ExitedWithCode(5), "");
}
#endif

// --- export and import tables -----------------------------------------------

TEST(ExportTable, EntriesTakeTheTwelveWordsInOrder) {
  Bytes data(40, 0);
  Bytes record;
  for (uint32_t w = 0; w < 18; ++w) Append(record, Word32(0x10000000u * (w % 8) + w + 1));
  Append(data, Bytes(72, 0));
  Append(data, record);
  PackageImage image = Layout::FromBytes(data);
  image.exportCount = 2;
  image.exportOffset = 40;
  ExportTable exports;
  ASSERT_EQ(ReadExportTable(image, &exports), Failure::kNone);
  ASSERT_EQ(exports.count, 2u);
  const EXPORTENTRY& e = exports.entries[1];
  auto word = [&](int w) { return 0x10000000u * (w % 8) + w + 1; };
  EXPECT_EQ(uint32_t(e.classIndex), word(0));
  EXPECT_EQ(e.superIndex, word(1));
  EXPECT_EQ(uint32_t(e.outerIndex), word(2));
  EXPECT_EQ(e.objectName, word(3));
  EXPECT_EQ(uint32_t(e.objectNumber), word(4));
  EXPECT_EQ(e.archetypeIndex, word(5));
  EXPECT_EQ(e.word24, word(6));
  EXPECT_EQ(e.serialSizePosition, 40u + 72u + 36u);
  EXPECT_EQ(e.serialSize, word(9));
  EXPECT_EQ(e.serialOffset, word(10));
  EXPECT_EQ(e.word44, word(11));
  EXPECT_EQ(e.word48, word(12));
  EXPECT_EQ(exports.entries[0].serialSizePosition, 40u + 36u);
}

TEST(ExportTable, TablesReachingBeyondThePackageAreRefused) {
  PackageImage image = Layout::FromBytes(Bytes(16 + 72 * 2, 0));
  image.exportOffset = 16;
  image.importOffset = 16;
  struct Case {
    uint32_t exportCount, importCount;
    Failure exportFailure, importFailure;
  } cases[] = {
      {2, 5, Failure::kNone, Failure::kNone},
      {3, 5, Failure::kExportTableUnreadable, Failure::kNone},
      {0xFFFFFFFFu, 6, Failure::kExportTableUnreadable, Failure::kImportTableUnreadable},
  };
  for (const Case& c : cases) {
    image.exportCount = c.exportCount;
    image.importCount = c.importCount;
    ExportTable exports;
    ImportTable imports;
    EXPECT_EQ(ReadExportTable(image, &exports), c.exportFailure) << c.exportCount;
    EXPECT_EQ(ReadImportTable(image, &imports), c.importFailure) << c.importCount;
  }
}

// --- Object paths -----------------------------------------------------------

// Names used by the path cases, by index.
enum : uint32_t { kAk, kHello, kWorld, kPkg, kSub, kAkLower, kEmpty, kNameCount };

std::vector<Bytes> PathNames() {
  return {Name8("AkDialogueEvent"), Name8("Hello"), NameWide(u"World"), Name8("Pkg"),
          Name8("Sub"),             Name8("akdialogueevent"), NameRaw(0, {})};
}

struct NameResult {
  Failure failure;
  std::string path;
};

NameResult NameExport(const Layout& layout, uint32_t index) {
  PackageImage image = layout.Build();
  NameSlots names;
  ExportTable exports;
  ImportTable imports;
  EXPECT_EQ(ReadNameTable(image, &names), Failure::kNone);
  EXPECT_EQ(ReadExportTable(image, &exports), Failure::kNone);
  EXPECT_EQ(ReadImportTable(image, &imports), Failure::kNone);
  char path[kObjectPathSize];
  std::memset(path, 0x7F, sizeof path);
  NameResult r{};
  r.failure = GetExportName(names, imports, exports, index, path);
  if (r.failure == Failure::kNone) r.path = path;
  return r;
}

TEST(ObjectPath, ClassesSuffixesAndOuters) {
  const int32_t intMin = INT32_MIN;
  struct Case {
    const char* what;
    std::vector<uint32_t> imports;
    std::vector<TestExport> exports;
    uint32_t index;
    const char* path;
  } cases[] = {
      {"class 0: own name only, no suffix", {}, {{0, 0, kHello, 5}}, 0, "Class'Hello'"},
      {"class 0 named AkDialogueEvent", {}, {{0, 0, kAk, 0}}, 0, "Class'AkDialogueEvent'"},
      {"class 0 ignores its outer", {}, {{0, 7, kHello, 0}}, 0, "Class'Hello'"},
      {"imported class", {kPkg, kAk}, {{-2, 0, kHello, 0}}, 0, "AkDialogueEvent'Hello'"},
      {"exported class, never with a suffix", {}, {{0, 0, kAk, 4}, {1, 0, kHello, 2}}, 1,
       "AkDialogueEvent'Hello_1'"},
      {"class index equal to the export count", {}, {{2, 0, kHello, 0}, {0, 0, kWorld, 0}}, 0,
       "World'Hello'"},
      {"number 1 gives _0", {kAk}, {{-1, 0, kHello, 1}}, 0, "AkDialogueEvent'Hello_0'"},
      {"number 3 gives _2", {kAk}, {{-1, 0, kHello, 3}}, 0, "AkDialogueEvent'Hello_2'"},
      {"negative number", {kAk}, {{-1, 0, kHello, -1}}, 0, "AkDialogueEvent'Hello_-2'"},
      {"lowest number wraps", {kAk}, {{-1, 0, kHello, intMin}}, 0,
       "AkDialogueEvent'Hello_2147483647'"},
      {"outers outermost first, with suffixes",
       {kSub},
       {{-1, 0, kPkg, 0}, {-1, 1, kSub, 1}, {-1, 2, kWorld, 3}},
       2,
       "Sub'Pkg.Sub_0.World_2'"},
      {"outer equal to the export count names the last export",
       {kAk},
       {{-1, 2, kHello, 0}, {-1, 0, kPkg, 0}},
       0,
       "AkDialogueEvent'Pkg.Hello'"},
      {"empty names still take their dots", {kAk}, {{-1, 0, kEmpty, 0}, {-1, 1, kEmpty, 0}}, 1,
       "AkDialogueEvent'.'"},
  };
  for (const Case& c : cases) {
    Layout layout;
    layout.names = PathNames();
    layout.imports = c.imports;
    layout.exports = c.exports;
    NameResult r = NameExport(layout, c.index);
    EXPECT_EQ(r.failure, Failure::kNone) << c.what;
    EXPECT_EQ(r.path, c.path) << c.what;
  }
}

TEST(ObjectPath, IndexesOutsideTheirTablesAreRefused) {
  const Failure importIndex = Failure::kImportIndexOutOfRange;
  const Failure outerIndex = Failure::kOuterIndexOutOfRange;
  const Failure nameIndex = Failure::kNameIndexOutOfRange;
  const Failure classIndex = Failure::kClassIndexOutOfRange;
  const Failure loop = Failure::kOuterChainLoops;
  struct Case {
    const char* what;
    std::vector<uint32_t> imports;
    std::vector<TestExport> exports;
    uint32_t index;
    Failure failure;
  } cases[] = {
      {"imported class whose complement equals the import count", {kAk}, {{-2, 0, kHello, 0}}, 0,
       importIndex},
      {"imported class with no imports at all", {}, {{-1, 0, kHello, 0}}, 0,
       importIndex},
      {"outer one above the export count", {kAk}, {{-1, 3, kHello, 0}, {-1, 0, kPkg, 0}}, 0,
       outerIndex},
      {"negative outer", {kAk}, {{-1, -1, kHello, 0}}, 0, outerIndex},
      {"bad outer of an outer", {kAk}, {{-1, 2, kHello, 0}, {-1, 9, kPkg, 0}}, 0, outerIndex},
      {"class index above the export count", {}, {{2, 0, kHello, 0}}, 0, classIndex},
      {"class index below -16,777,216", {kAk}, {{-16777217, 0, kHello, 0}}, 0,
       classIndex},
      {"class index -16,777,216 is import 16,777,215", {kAk}, {{-16777216, 0, kHello, 0}}, 0,
       importIndex},
      {"own name index out of range", {kAk}, {{-1, 0, kNameCount, 0}}, 0, nameIndex},
      {"class 0 with its name out of range", {}, {{0, 0, 1000, 0}}, 0, nameIndex},
      {"import's name out of range", {kNameCount}, {{-1, 0, kHello, 0}}, 0, nameIndex},
      {"class export's name out of range", {}, {{0, 0, 0xFFFFFFFFu, 0}, {1, 0, kHello, 0}}, 1,
       nameIndex},
      {"outer's name out of range", {kAk}, {{-1, 2, kHello, 0}, {-1, 0, kNameCount, 0}}, 0,
       nameIndex},
      {"export is its own outer", {kAk}, {{-1, 1, kHello, 0}}, 0, loop},
      {"two exports each other's outer", {kAk}, {{-1, 2, kHello, 0}, {-1, 1, kPkg, 0}}, 0,
       loop},
      {"a loop further up the chain",
       {kAk},
       {{-1, 2, kHello, 0}, {-1, 3, kPkg, 0}, {-1, 2, kSub, 0}},
       0,
       loop},
  };
  for (const Case& c : cases) {
    Layout layout;
    layout.names = PathNames();
    layout.imports = c.imports;
    layout.exports = c.exports;
    NameResult r = NameExport(layout, c.index);
    EXPECT_EQ(r.failure, c.failure) << c.what;
  }
}

TEST(ObjectPath, PathsAreLimitedTo511Bytes) {
  // "AkDialogueEvent'" (16) + 250-byte outer + "." + own name + "'" (1).
  const std::string outer(250, 'o');
  struct Case {
    size_t ownLength;
    int32_t number;
    Failure failure;
  } cases[] = {{243, 0, Failure::kNone},
               {244, 0, Failure::kObjectPathTooLong},
               {240, 11, Failure::kNone},
               {240, 101, Failure::kObjectPathTooLong}};
  for (const Case& c : cases) {
    Layout layout;
    layout.names = {Name8("AkDialogueEvent"), Name8(outer), Name8(std::string(c.ownLength, 'n'))};
    layout.imports = {0};
    layout.exports = {{-1, 2, 2, c.number}, {-1, 0, 1, 0}};
    NameResult r = NameExport(layout, 0);
    EXPECT_EQ(r.failure, c.failure) << c.ownLength << " " << c.number;
    if (c.failure == Failure::kNone) {
      EXPECT_EQ(r.path.size(), 511u);
    }
  }
}

TEST(ObjectPath, ADeepChainWithoutALoopIsTooLongNotALoop) {
  Layout layout;
  layout.names = {Name8("AkDialogueEvent"), NameRaw(0, {})};
  layout.imports = {0};
  const int32_t count = 2000;
  for (int32_t i = 0; i < count; ++i) layout.exports.push_back({-1, i + 2 < count + 1 ? i + 2 : 0, 1, 0});
  NameResult r = NameExport(layout, 0);
  EXPECT_EQ(r.failure, Failure::kObjectPathTooLong);
  // The chain of the export 300 below the top fits: 300 dots and 17 bytes.
  r = NameExport(layout, count - 301);
  EXPECT_EQ(r.failure, Failure::kNone);
  EXPECT_EQ(r.path, "AkDialogueEvent'" + std::string(300, '.') + "'");
}

// --- the class test -----------------------------------------------------------

TEST(ClassTest, OnlyTheExactClassPartAkDialogueEventCounts) {
  struct Case {
    const char* path;
    bool dialogue;
  } cases[] = {
      {"AkDialogueEvent'Hello'", true},
      {"AkDialogueEvent'Pkg.Hello_0'", true},
      {"AkDialogueEvent''", true},
      {"akdialogueevent'Hello'", false},
      {"AkDialogueEventX'Hello'", false},
      {"AkDialogueEven'Hello'", false},
      {"Class'AkDialogueEvent'", false},
      {"AkDialogueEvent", false},
      {"AkDialogueEvent'Hello", false},
      {"Ak'Dialogue'Event'", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsDialogueEventPath(c.path), c.dialogue) << c.path;
}

TEST(ClassTest, ImportedAndExportedClassesAreBothDialogueEvents) {
  Layout layout;
  layout.names = PathNames();
  layout.imports = {kAk, kAkLower};
  layout.exports = {{-1, 0, kHello, 0}, {0, 0, kAk, 0}, {2, 0, kWorld, 0}, {-2, 0, kPkg, 0}};
  const bool expected[] = {true, false, true, false};
  for (uint32_t i = 0; i < 4; ++i) {
    NameResult r = NameExport(layout, i);
    ASSERT_EQ(r.failure, Failure::kNone);
    EXPECT_EQ(IsDialogueEventPath(r.path.c_str()), expected[i]) << r.path;
  }
}

// --- the export walk ------------------------------------------------------------

// Runs the walk on image with an output file holding the image's bytes, and
// returns its failure's code and lines as the patcher reports them, and
// whether the file was left alone.
struct WalkResult {
  int code;
  std::string printed;
  bool fileUnchanged;
};

WalkResult Walk(const PackageImage& image) {
  fixtures::TempDir dir;
  const std::string path = dir.File("out.upk");
  const Bytes bytes(image.data.get(), image.data.get() + image.size);
  EXPECT_TRUE(fixtures::WriteFileBytes(path, bytes));
  PackageFiles files;
  files.output = platform::OpenWrite(path.c_str(), platform::kOpenExisting);
  files.outputPath = "out.upk";
  WalkResult r{};
  r.printed = Printed([&] {
    const Failure failure = TranslateDialogueExports(image, files);
    Report(failure, files.outputPath);
    r.code = CodeOf(failure);
  });
  platform::Close(files.output);
  r.fileUnchanged = fixtures::ReadFileBytes(path) == bytes;
  return r;
}

TEST(ExportWalk, APackageWithNoNamesAndNoExportsIsLeftAlone) {
  PackageImage image = Layout::FromBytes(Bytes(64, 0x11));
  image.nameOffset = image.exportOffset = image.importOffset = 0xFFFFFF00u;
  WalkResult r = Walk(image);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.printed, "");
  EXPECT_TRUE(r.fileUnchanged);
}

TEST(ExportWalk, EveryRefusalHasItsCodeAndMessages) {
  const std::string getName = "GetExportName err\n";
  struct Case {
    const char* what;
    Layout layout;
    int code;
    std::string printed;
  } cases[] = {
      {"name too long", {{Name8(std::string(300, 'x'))}, {}, {}}, -23,
       "NameTable \xBD\xE2\xCE\xF6\xB4\xED\xCE\xF3\n"},
      {"imported class beyond the imports", {PathNames(), {kAk}, {{-1, 0, kHello}, {-2, 0, kHello}}},
       -15, "dwtypeNameIndex err\n" + getName},
      {"outer beyond the exports", {PathNames(), {kAk}, {{-1, 0, kHello}, {-1, 4, kHello}}},
       -15, "Export \xBD\xE2\xCE\xF6\xB4\xED\xCE\xF3\n" + getName},
      {"name index", {PathNames(), {kAk}, {{-1, 0, 99}}}, -25,
       "Name \xCB\xF7\xD2\xFD\xD4\xBD\xBD\xE7\n" + getName},
      {"class index", {PathNames(), {}, {{5, 0, kHello}}}, -26,
       "Class \xCB\xF7\xD2\xFD\xD4\xBD\xBD\xE7\n" + getName},
      {"outer loop", {PathNames(), {kAk}, {{-1, 1, kHello}}}, -27,
       "Outer \xD1\xAD\xBB\xB7\xD2\xFD\xD3\xC3\n" + getName},
      {"path too long", {{Name8(std::string(259, 'c')), Name8(std::string(259, 'n'))}, {0}, {{-1, 0, 1}}},
       -28, "Object \xC2\xB7\xBE\xB6\xB9\xFD\xB3\xA4\n" + getName},
      {"dialogue export body beyond the package", {PathNames(), {kAk}, {{-1, 0, kHello, 0, 30, 0xFFFFFFF0u}}},
       -30, "\xCE\xC4\xBC\xFE[out.upk]\xCA\xFD\xBE\xDD\xCB\xF0\xBB\xB5\n"},
      {"other export's body beyond the package is never read",
       {PathNames(), {kPkg}, {{-1, 0, kHello, 0, 30, 0xFFFFFFF0u}}}, 0, ""},
      {"class objects are not dialogue events", {PathNames(), {}, {{0, 0, kAk, 0, 30, 0xFFFFFFF0u}}}, 0, ""},
  };
  for (const Case& c : cases) {
    WalkResult r = Walk(c.layout.Build());
    EXPECT_EQ(r.code, c.code) << c.what;
    EXPECT_EQ(r.printed, c.printed) << c.what;
    EXPECT_TRUE(r.fileUnchanged) << c.what;
  }
}

TEST(ExportWalk, UnreadableExportAndImportTablesAreRefused) {
  Layout layout{PathNames(), {kAk}, {{-1, 0, kHello}}};
  PackageImage image = layout.Build();
  image.exportCount = 2;
  WalkResult r = Walk(image);
  EXPECT_EQ(r.code, -13);
  EXPECT_EQ(r.printed, "ExprotTable \xBD\xE2\xCE\xF6\xB4\xED\xCE\xF3\n");
  image.exportCount = 1;
  image.importOffset = image.size - 27;
  r = Walk(image);
  EXPECT_EQ(r.code, -24);
  EXPECT_EQ(r.printed, "ImportTable \xBD\xE2\xCE\xF6\xB4\xED\xCE\xF3\n");
}

TEST(ExportWalk, TheVisitorSeesEachDialogueEventExportWithItsWholePathAndBody) {
  // Bodies: three bytes each, placed inside the 16-byte head of the image.
  Layout layout{PathNames(), {kAk, kPkg},
                {{-2, 0, kSub, 0, 3, 2},     // Pkg'Sub': not a dialogue event
                 {-1, 1, kHello, 2, 3, 5},   // AkDialogueEvent'Sub.Hello_1'
                 {0, 0, kAk, 0, 3, 8},       // a class object named AkDialogueEvent
                 {-1, 0, kWorld, 0, 3, 11}}};  // AkDialogueEvent'World'
  PackageImage image = layout.Build();
  for (uint32_t i = 0; i < 16; ++i) image.data[i] = uint8_t(i);
  struct Seen {
    std::string path;
    uint32_t serialOffset;
    Bytes body;
  };
  std::vector<Seen> seen;
  Failure failure = ForEachDialogueExport(
      image, [&](const char* path, const EXPORTENTRY& e, const NameSlots& names, const uint8_t* body) {
        EXPECT_EQ(names.count, kNameCount);
        seen.push_back({path, e.serialOffset, Bytes(body, body + e.serialSize)});
        return Failure::kNone;
      });
  EXPECT_EQ(failure, Failure::kNone);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].path, "AkDialogueEvent'Sub.Hello_1'");
  EXPECT_EQ(seen[0].body, Bytes({5, 6, 7}));
  EXPECT_EQ(seen[1].path, "AkDialogueEvent'World'");
  EXPECT_EQ(seen[1].body, Bytes({11, 12, 13}));

  // A failure ends the walk with it.
  int visits = 0;
  failure = ForEachDialogueExport(image, [&](const char*, const EXPORTENTRY&, const NameSlots&, const uint8_t*) {
    ++visits;
    return Failure::kRelocationFailed;
  });
  EXPECT_EQ(failure, Failure::kRelocationFailed);
  EXPECT_EQ(visits, 1);
}

}  // namespace
}  // namespace package
