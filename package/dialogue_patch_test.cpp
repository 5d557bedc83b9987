// End-to-end tests of dialogue translation: compressed packages built with
// the package builder go through PatchPackageFile with a chs.txt in the
// current directory, and the shipped file is compared byte for byte with one
// put together by hand (the uncompressed package, the new bodies appended in
// export order, each export's size and offset pointing at its new body).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/messages.h"
#include "dictionary/dict_cache.h"
#include "dictionary/dict_test_util.h"
#include "package/package_decompress.h"
#include "package/package_patcher.h"
#include "package/package_pipeline.h"
#include "package/package_tables.h"
#include "platform/fault_injection.h"
#include "platform/platform.h"
#include "tests/support/byte_builders.h"
#include "tests/support/capture_stdout.h"
#include "tests/support/files.h"
#include "tests/support/package_builder.h"

namespace {

using fixtures::Bytes;
using fixtures::Cat;
using fixtures::DialogueTag;
using fixtures::PutU32;
using fixtures::Str8;
using fixtures::StrWide;
using fixtures::Text;
using fixtures::Word32;

// The dictionary of these tests, in the byte order that lookups rely on.
std::string Dictionary() {
  return dict_test::FileText({
      {"Caf\xC3\xA9", "\xE5\x92\x96\xE5\x95\xA1", ""},  // 咖啡
      {"Hello", "\xE4\xBD\xA0\xE5\xA5\xBD", "greeting"},  // 你好
      {"Quiet", "", "an empty translation"},
      {"World", "\xE4\xB8\x96\xE7\x95\x8C", ""},  // 世界
  });
}

// A package with dialogue event exports of an imported and of an exported
// class, an export of another class holding a DialogueText tag, and a
// dialogue event export with nothing to translate.
struct DialoguePackage {
  fixtures::BuiltPackage plain;
  std::vector<Bytes> newBodies;    // in export order, for the rewritten exports
  std::vector<uint32_t> rewritten;  // their export indexes
};

DialoguePackage MakeDialoguePackage() {
  fixtures::PackageContents c;
  c.AddName("None");
  const uint32_t dt = c.AddUtf16Name("DialogueText");  // a UTF-16 name matches too
  const int32_t imported = c.AddClassImport("AkDialogueEvent");
  const int32_t soundCue = c.AddClassImport("SoundCue");
  const int32_t exportedClass = c.AddExport(0, c.Name("AkDialogueEvent"), Bytes(12, 0x33));
  const Bytes head = Text("head-of-body"), mid = Text("between"), tail = Text("tail");

  DialoguePackage p;
  // Export 1: imported class, two tags, strings of both forms.
  const int32_t first = c.AddExport(
      imported, c.Name("Line"),
      Cat({head, DialogueTag(dt, {Str8("Hello"), StrWide(u"World"), Str8("Untranslated")}), mid,
           DialogueTag(dt, {StrWide(u"Caf\u00E9"), Str8("Quiet")}), tail}));
  p.rewritten.push_back(uint32_t(first - 1));
  p.newBodies.push_back(
      Cat({head, DialogueTag(dt, {StrWide(u"\u4F60\u597D"), StrWide(u"\u4E16\u754C"), Str8("Untranslated")}),
           mid, DialogueTag(dt, {StrWide(u"\u5496\u5561"), StrWide(u"")}), tail}));
  // Export 2: another class, same kind of body: left alone.
  c.AddExport(soundCue, c.Name("Cue"), Cat({head, DialogueTag(dt, {Str8("Hello")})}));
  // Export 3: a dialogue event with nothing known: not relocated.
  c.AddExport(imported, c.Name("Line"), Cat({DialogueTag(dt, {Str8("Nobody knows")}), tail}), 0, 2);
  // Export 4: exported class, inside export 1, UTF-16 name.
  const int32_t fourth =
      c.AddExport(exportedClass, c.AddUtf16Name("\xE5\xAF\xB9\xE7\x99\xBD"), DialogueTag(dt, {Str8("World")}), first, 1);
  p.rewritten.push_back(uint32_t(fourth - 1));
  p.newBodies.push_back(DialogueTag(dt, {StrWide(u"\u4E16\u754C")}));
  p.plain = fixtures::BuildPackage(c);
  return p;
}

// The shipped file after a successful patch: the uncompressed package with
// every rewritten body appended, in export order, and pointed at.
Bytes ExpectedFile(const DialoguePackage& p, const Bytes& backup) {
  Bytes out;
  EXPECT_TRUE(fixtures::ExpectedPatchOutput(backup, &out));
  for (size_t k = 0; k < p.rewritten.size(); ++k) {
    const uint32_t record = p.plain.exportRecordOffsets[p.rewritten[k]];
    PutU32(out, record + 36, uint32_t(p.newBodies[k].size()));
    PutU32(out, record + 40, uint32_t(out.size()));
    out.insert(out.end(), p.newBodies[k].begin(), p.newBodies[k].end());
  }
  return out;
}

// A game folder in a temporary directory made the current directory, with a
// chs.txt when one is given; the previous directory comes back at the end.
struct Scene {
  fixtures::TempDir dir;
  dict_test::InDirectory cwd{dir.path()};
  std::string shipped = dir.File("Pkg.upk");
  std::string backup = shipped + ".bak";

  fixtures::CompressedPackage Install(const Bytes& plain, uint32_t compression) {
    fixtures::CompressedPackage packed;
    EXPECT_TRUE(fixtures::CompressPackage(plain, fixtures::SmallChunks(compression), &packed));
    EXPECT_TRUE(fixtures::WriteFileBytes(backup, packed.bytes));
    return packed;
  }
  void WriteDictionary(const std::string& text) { EXPECT_TRUE(fixtures::WriteFileText(dir.File("chs.txt"), text)); }

  int Patch(std::string* printed) {
    std::vector<char> path(backup.begin(), backup.end());
    path.push_back('\0');
    platform::ConsoleSetUtf8(false);
    fixtures::CaptureStdout capture;
    int code = package::PatchPackageFile(path.data());
    *printed = capture.Finish();
    return code;
  }
};

class DialoguePatch : public testing::TestWithParam<uint32_t> {
 protected:
  void TearDown() override { platform::faults::Clear(); }
};

TEST_P(DialoguePatch, DialogueTextsAreTranslatedAndRelocated) {
  Scene scene;
  ASSERT_TRUE(scene.cwd.ok());
  DialoguePackage p = MakeDialoguePackage();
  fixtures::CompressedPackage packed = scene.Install(p.plain.bytes, GetParam());
  scene.WriteDictionary(Dictionary());
  std::string printed;
  EXPECT_EQ(scene.Patch(&printed), 0);
  EXPECT_EQ(printed, "");
  EXPECT_EQ(fixtures::ReadFileBytes(scene.shipped), ExpectedFile(p, packed.bytes));
  EXPECT_EQ(fixtures::ReadFileBytes(scene.backup), packed.bytes);
}

// A package built and translated ahead of its turn (the pipeline) keeps
// that translation only while chs.txt is the very load it was translated
// with: a dictionary edited before the package's turn gives the package the
// new translations.
TEST_P(DialoguePatch, TranslatedAheadOnlyWithTheDictionaryOfItsTurn) {
  package::SetDecompressionThreads(2);
  package::SetPipeline(1);
  DialoguePackage p = MakeDialoguePackage();
  const std::string before = dict_test::FileText({{"Hello", "\xE6\x82\xA8\xE5\xA5\xBD", ""}});  // 您好
  for (bool edited : {false, true}) {
    SCOPED_TRACE(edited ? "edited" : "unchanged");
    Scene scene;
    fixtures::CompressedPackage packed = scene.Install(p.plain.bytes, GetParam());
    // Written a while ago, so that the load is kept rather than made anew
    // at every use.
    const auto settle = [&scene] {
      std::filesystem::last_write_time(scene.dir.File("chs.txt"),
                                       std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
    };
    scene.WriteDictionary(edited ? before : Dictionary());
    settle();
    dictionary::SharedDictionary("chs.txt");  // loaded, as the movies load it before the packages
    // The builder translates a package while two built ones wait before it:
    // two others go first, and are passed over.
    for (const char* other : {"First.upk", "Second.upk"}) {
      ASSERT_TRUE(fixtures::WriteFileBytes(scene.dir.File(std::string(other) + ".bak"), packed.bytes));
      package::PreparePackage(scene.dir.File(other).c_str());
    }
    package::PreparePackage(scene.shipped.c_str());
    package::PreparePackage(nullptr);  // built and translated
    if (edited) {
      scene.WriteDictionary(Dictionary());
      settle();
    }
    const uint64_t loads = dictionary::SharedDictionaryLoads();
    std::string printed;
    EXPECT_EQ(scene.Patch(&printed), 0);
    EXPECT_EQ(printed, "");
    EXPECT_EQ(dictionary::SharedDictionaryLoads() - loads, edited ? 1u : 0u);
    EXPECT_EQ(fixtures::ReadFileBytes(scene.shipped), ExpectedFile(p, packed.bytes));
  }
  package::SetPipeline(-1);
  package::SetDecompressionThreads(0);
}

TEST_P(DialoguePatch, WithoutADictionaryThePackageIsOnlyUncompressed) {
  for (const char* dictionary : {"", "no entry marker at all"}) {
    Scene scene;
    DialoguePackage p = MakeDialoguePackage();
    fixtures::CompressedPackage packed = scene.Install(p.plain.bytes, GetParam());
    if (*dictionary != 0) scene.WriteDictionary(dictionary);
    std::string printed;
    EXPECT_EQ(scene.Patch(&printed), 0);
    Bytes uncompressed;
    ASSERT_TRUE(fixtures::ExpectedPatchOutput(packed.bytes, &uncompressed));
    EXPECT_EQ(fixtures::ReadFileBytes(scene.shipped), uncompressed) << dictionary;
  }
}

TEST_P(DialoguePatch, APackageWithNoNamesAndNoExportsIsOnlyUncompressed) {
  Scene scene;
  fixtures::PackageContents empty;
  fixtures::BuiltPackage plain = fixtures::BuildPackage(empty);
  fixtures::CompressedPackage packed = scene.Install(plain.bytes, GetParam());
  scene.WriteDictionary(Dictionary());
  std::string printed;
  EXPECT_EQ(scene.Patch(&printed), 0);
  EXPECT_EQ(printed, "");
  Bytes uncompressed;
  ASSERT_TRUE(fixtures::ExpectedPatchOutput(packed.bytes, &uncompressed));
  EXPECT_EQ(fixtures::ReadFileBytes(scene.shipped), uncompressed);
}

TEST_P(DialoguePatch, ALaterNamingFailureRestoresTheWholePackage) {
  // The dialogue exports before the failing one are relocated first; the
  // failure then puts the shipped file back as the backup.
  DialoguePackage p = MakeDialoguePackage();
  struct Case {
    const char* what;
    uint32_t field;  // offset in the export record of the last export
    uint32_t value;
    int code;
    std::string printed;
  } cases[] = {
      {"outer beyond the exports", 8, 99, -15,
       "Export \xBD\xE2\xCE\xF6\xB4\xED\xCE\xF3\nGetExportName err\n"},
      {"imported class beyond the imports", 0, uint32_t(-9), -15,
       "dwtypeNameIndex err\nGetExportName err\n"},
      {"outer loop", 8, 5, -27,
       "Outer \xD1\xAD\xBB\xB7\xD2\xFD\xD3\xC3\nGetExportName err\n"},
      {"body beyond the package", 40, 0xFFFFFF00u, -30, ""},
  };
  for (const Case& c : cases) {
    Scene scene;
    Bytes plain = p.plain.bytes;
    PutU32(plain, p.plain.exportRecordOffsets.back() + c.field, c.value);
    fixtures::CompressedPackage packed = scene.Install(plain, GetParam());
    scene.WriteDictionary(Dictionary());
    std::string printed;
    EXPECT_EQ(scene.Patch(&printed), c.code) << c.what;
    if (c.code == -30) {
      EXPECT_EQ(printed, "\xCE\xC4\xBC\xFE[" + scene.shipped + "]\xCA\xFD\xBE\xDD\xCB\xF0\xBB\xB5\n");
    } else {
      EXPECT_EQ(printed, c.printed) << c.what;
    }
    EXPECT_EQ(fixtures::ReadFileBytes(scene.shipped), packed.bytes) << c.what;
  }
}

TEST_P(DialoguePatch, AFailedRelocationRestoresTheWholePackage) {
  if (!platform::faults::Available()) GTEST_SKIP() << "no fault switch in this build";
  DialoguePackage p = MakeDialoguePackage();
  // Count the writes of a good run: the last two are the relocations' (the
  // new bodies, then the export records), behind every write of the first
  // stage. Each of them fails in turn, outright or half done.
  uint64_t writes = 0;
  {
    Scene scene;
    scene.Install(p.plain.bytes, GetParam());
    scene.WriteDictionary(Dictionary());
    platform::faults::Clear();
    std::string printed;
    ASSERT_EQ(scene.Patch(&printed), 0);
    writes = platform::faults::CallCount(platform::faults::kWrite);
    ASSERT_GE(writes, 3u);  // the package, then the two of the relocation
  }
  struct Case {
    uint64_t nth;
    bool shortTransfer;
  } cases[] = {{writes, true}, {writes, false}, {writes - 1, true}, {writes - 1, false}};
  for (const Case& c : cases) {
    Scene scene;
    fixtures::CompressedPackage packed = scene.Install(p.plain.bytes, GetParam());
    scene.WriteDictionary(Dictionary());
    platform::faults::Clear();
    platform::faults::FailCall(platform::faults::kWrite, c.nth, c.shortTransfer);
    std::string printed;
    EXPECT_EQ(scene.Patch(&printed), -29) << c.nth;
    EXPECT_EQ(printed, "\xD0\xB4\xC8\xEB\xCE\xC4\xBC\xFE[" + scene.shipped + "]\xB4\xED\xCE\xF3\n");
    EXPECT_EQ(fixtures::ReadFileBytes(scene.shipped), packed.bytes);
  }
}

// Patches the dialogue package with a chs.txt whose last entry lacks its
// target end marker, and exits with 0 when the loader's complaint was shown
// exactly once although the dictionary was loaded for three exports.
void PatchWithBrokenDictionary() {
  bool reportedOnce = false;
  {
    Scene scene;  // its folder is removed before the process ends
    scene.Install(MakeDialoguePackage().plain.bytes, fixtures::kCompressionZlib);
    std::string text = Dictionary();
    text.erase(text.rfind("qzrtn_res_CHI_End\r\n"), 19);
    scene.WriteDictionary(text);
    std::string printed;
    const int code = scene.Patch(&printed);
    char expected[256];
    std::snprintf(expected, sizeof expected, messages::kMsgDictNoChiEnd, 3);
    reportedOnce = code == 0 && printed == std::string(expected) + "\n";
  }
  std::_Exit(reportedOnce ? 0 : 1);
}

TEST(DialoguePatchDeathTest, ABrokenDictionaryIsReportedOnce) {
  // A fresh process, so that no earlier test has used up the one report.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(PatchWithBrokenDictionary(), testing::ExitedWithCode(0), "");
}

INSTANTIATE_TEST_SUITE_P(Compression, DialoguePatch,
                         testing::Values(fixtures::kCompressionZlib, fixtures::kCompressionLzo),
                         [](const testing::TestParamInfo<uint32_t>& info) {
                           return info.param == fixtures::kCompressionZlib ? "Zlib" : "Lzo";
                         });

}  // namespace
