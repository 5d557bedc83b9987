// hanhua-dict end to end, on generated games: the translator's loop from
// extract to verify, merge, sort, bin, csv and every report with its line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "dictionary/brx_string_dict.h"
#include "dictionary/dict_test_util.h"
#include "driver/driver.h"
#include "driver/target_files.h"
#include "movie/movie_patcher.h"
#include "package/package_patcher.h"
#include "platform/platform.h"
#include "tools/dict/cli.h"
#include "tools/dict/csv.h"
#include "tools/dict/dict_build.h"
#include "tools/dict/dict_file.h"
#include "tools/dict/interchange_test_sample.h"
#include "tools/dict/json_report.h"
#include "tools/dict/test_game.h"
#include "tools/dict/tool_io.h"
#include "tests/support/capture_stdout.h"
#include "tests/support/demo_game.h"
#include "tests/support/files.h"

namespace dict_tool {
namespace {

using dict_test_game::ListedName;
using dict_test_game::MovieName;

struct Result {
  int code;
  std::string out;  // stdout: the results
  std::string err;  // stderr: the diagnostics
};

// Runs hanhua-dict with args, both its output streams captured.
Result Dict(const std::vector<std::string>& args) {
  std::vector<std::string> all = {"hanhua-dict"};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  Result r{};
  fixtures::CaptureStdout captureErr(2);
  fixtures::CaptureStdout capture;
  r.code = RunDictTool(int(argv.size()), argv.data());
  r.out = capture.Finish();
  r.err = captureErr.Finish();
  return r;
}

bool WriteDict(const std::vector<Entry>& entries, const std::string& path) {
  Diagnostics diagnostics(Diagnostics::Mode::kCollect);
  return WriteDictionary(entries, path, Form::kText, &diagnostics);
}

bool Has(const std::string& out, const std::string& piece) { return out.find(piece) != std::string::npos; }

std::vector<Entry> EntriesIn(const std::string& path) {
  DictFile file;
  LoadError error;
  EXPECT_TRUE(LoadDictFile(path, &file, &error)) << path << ": " << int(error.failure);
  return EntriesOf(file);
}

std::map<std::string, Entry> BySource(const std::vector<Entry>& entries) {
  std::map<std::string, Entry> map;
  for (const Entry& e : entries) map.emplace(e.source, e);
  return map;
}

// The three numbers of the stats row of name (texts, in dictionary,
// translated), or nothing when there is no such row.
std::vector<uint64_t> StatsRow(const std::string& out, const std::string& name) {
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.compare(0, name.size() + 1, name + " ") != 0) continue;
    std::istringstream fields(line.substr(name.size()));
    std::vector<uint64_t> numbers(3);
    fields >> numbers[0] >> numbers[1] >> numbers[2];
    return numbers;
  }
  return {};
}

// The line (from 1) of the first occurrence of needle in the file at path.
uint32_t LineIn(const std::string& path, const std::string& needle) {
  const fixtures::Bytes bytes = fixtures::ReadFileBytes(path);
  const std::string text(bytes.begin(), bytes.end());
  const size_t at = text.find(needle);
  EXPECT_NE(at, std::string::npos) << needle;
  return uint32_t(std::count(text.begin(), text.begin() + at, '\n') + 1);
}

// The line of entry number i as the dictionary writer numbers it.
std::string NumberLine(size_t i) {
  char line[48];
  std::snprintf(line, sizeof line, "qzrtn_res_No.%08zu", i);
  return line;
}

// Runs hanhua COMMAND (eng2chs or chs2eng) in dir, where its chs.txt is,
// as a translator would: the program itself where a POSIX shell can start
// it (the temporary paths hold no quote), the driver in this process on
// Windows.
void Hanhua(const char* command, const std::string& dir, const std::string& packageDir, const std::string& movieDir) {
#if defined(_WIN32)
  dict_test::InDirectory in(dir);
  ASSERT_TRUE(in.ok()) << dir;
  fixtures::CaptureStdout quiet;
  if (std::string(command) == "eng2chs")
    driver::Eng2Chs(packageDir.c_str(), movieDir.c_str(), {PatchMovieFile, package::PatchPackageFile});
  else
    driver::Chs2Eng(packageDir.c_str(), movieDir.c_str());
#else
  const std::string line = "cd '" + dir + "' && '" HANHUA_BINARY "' " + command + " '" + packageDir + "' '" +
                           movieDir + "' > /dev/null";
  ASSERT_EQ(std::system(line.c_str()), 0) << line;
#endif
}

void Eng2Chs(const std::string& dir, const std::string& packageDir, const std::string& movieDir) {
  Hanhua("eng2chs", dir, packageDir, movieDir);
}

class Toolkit : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(pkg);
    std::filesystem::create_directories(movies);
    ASSERT_TRUE(dict_test_game::WriteGame(pkg, movies));
  }
  std::string File(const std::string& name) const { return dir.File(name); }

  fixtures::TempDir dir;
  std::string pkg = dir.File("CookedPC");
  std::string movies = dir.File("Movies");
};

const char kWho[] = "Who goes there?";
const char kTide[] = "The tide is turning.";

TEST_F(Toolkit, TheTranslatorsLoopFromExtractToVerify) {
  // extract: one entry per distinct trimmed text, in lookup order, target =
  // source, remark = where it was found first.
  Result r = Dict({"extract", pkg, movies, "-o", File("template.txt")});
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_TRUE(Has(r.out, "7 entries: 8 dialogue strings in 3 packages, 3 subtitles in 1 movies")) << r.out;
  const std::vector<Entry> templ = EntriesIn(File("template.txt"));
  std::vector<std::string> sources;
  for (const Entry& e : templ) {
    sources.push_back(e.source);
    EXPECT_EQ(e.target, e.source);
  }
  EXPECT_EQ(sources, (std::vector<std::string>{"Line one\r\nLine two", "Stand and be counted.",
                                               "The gate, \"quickly\", now", kTide, "We leave at dusk.",
                                               kWho, "\xE5\xAE\x88\xE4\xBD\x8F"}));
  std::map<std::string, Entry> bySource = BySource(templ);
  EXPECT_EQ(bySource[kWho].remark, ListedName(0) + " AkDialogueEvent'Scene0.Line0' (and 3 more)");
  EXPECT_EQ(bySource["Line one\r\nLine two"].remark, ListedName(1) + " AkDialogueEvent'Scene1.Line0'");
  EXPECT_EQ(bySource[kTide].remark, MovieName(1) + " 0:01:01.234");
  EXPECT_EQ(bySource["We leave at dusk."].remark, MovieName(1) + " 1:02:03.004");

  // check passes (every entry is still untranslated, which the unchanged
  // check would list); stats: nothing translated yet (the empty string is
  // no text).
  r = Dict({"check", File("template.txt"), "--skip", "unchanged"});
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_TRUE(Has(r.out, "7 entries, 0 errors, 0 warnings")) << r.out;
  r = Dict({"stats", File("template.txt"), pkg, movies, "-q"});
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_TRUE(Has(r.out, "covers 0.0 % of the game's texts: 0 of 10 translated")) << r.out;
  EXPECT_EQ(StatsRow(r.out, ListedName(0)), (std::vector<uint64_t>{4, 4, 0}));

  // Translate in a spreadsheet: export, fill in some targets, import.
  r = Dict({"csv", "export", File("template.txt"), "-o", File("work.csv")});
  ASSERT_EQ(r.code, 0) << r.out;
  const fixtures::Bytes csvBytes = fixtures::ReadFileBytes(File("work.csv"));
  std::vector<Entry> rows;
  CsvError csvError;
  ASSERT_TRUE(ReadCsv(std::string(csvBytes.begin(), csvBytes.end()), &rows, &csvError));
  const std::map<std::string, std::string> translations = {
      {kWho, "\xE6\x9D\xA5\xE8\x80\x85\xE4\xBD\x95\xE4\xBA\xBA\xEF\xBC\x9F"},
      {kTide, "\xE6\xBD\xAE\xE6\xB0\xB4\xE6\xAD\xA3\xE5\x9C\xA8\xE8\xBD\xAC\xE5\x90\x91\xE3\x80\x82"},
      {"Line one\r\nLine two", "\xE7\xAC\xAC\xE4\xB8\x80\xE8\xA1\x8C\r\n\xE7\xAC\xAC\xE4\xBA\x8C\xE8\xA1\x8C"},
      {"Stand and be counted.", "\xE7\xAB\x99\xE5\x87\xBA\xE6\x9D\xA5\xE3\x80\x82"},
  };
  for (Entry& row : rows)
    if (translations.count(row.source)) row.target = translations.at(row.source);
  ASSERT_TRUE(fixtures::WriteFileText(File("work.csv"), CsvText(rows)));
  r = Dict({"csv", "import", File("work.csv"), "-o", File("chs.txt")});
  ASSERT_EQ(r.code, 0) << r.out;
  r = Dict({"check", File("chs.txt")});
  EXPECT_EQ(r.code, 0) << r.out;

  // stats: 7 of the 10 texts (4 times the guard's question).
  r = Dict({"stats", File("chs.txt"), pkg, movies, "-q"});
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_TRUE(Has(r.out, "covers 70.0 % of the game's texts: 7 of 10 translated")) << r.out;
  EXPECT_EQ(StatsRow(r.out, ListedName(0)), (std::vector<uint64_t>{4, 4, 3}));
  EXPECT_EQ(StatsRow(r.out, MovieName(1)), (std::vector<uint64_t>{3, 3, 2}));
  EXPECT_EQ(StatsRow(r.out, "subtitles"), (std::vector<uint64_t>{3, 3, 2}));
  EXPECT_EQ(StatsRow(r.out, "dialogue strings"), (std::vector<uint64_t>{7, 7, 5}));

  // hanhua eng2chs, then verify.
  ASSERT_NO_FATAL_FAILURE(Eng2Chs(dir.path(), pkg, movies));
  r = Dict({"verify", pkg, movies, "-q"});
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_TRUE(Has(r.out, "3 packages and 1 movies checked")) << r.out;
  EXPECT_TRUE(Has(r.out, "0 problems; 5 dialogue strings and 2 subtitles translated")) << r.out;

  // After eng2chs, extract reads the backups: the same template again.
  r = Dict({"extract", pkg, movies, "-o", File("again.txt"), "-q"});
  ASSERT_EQ(r.code, 0) << r.out;
  const std::vector<Entry> again = EntriesIn(File("again.txt"));
  ASSERT_EQ(again.size(), templ.size());
  for (size_t i = 0; i < again.size(); ++i) {
    EXPECT_EQ(again[i].source, templ[i].source);
    EXPECT_EQ(again[i].remark, templ[i].remark);
  }
}

TEST_F(Toolkit, ProgressLinesGoToATerminalOnly) {
  // As on a terminal: lines that overwrite each other on stderr, wiped at
  // the end, the result on stdout.
  ForceProgressForTests(true);
  Result r = Dict({"extract", pkg, movies, "-o", File("t.txt")});
  ForceProgressForTests(false);
  ASSERT_EQ(r.code, 0);
  EXPECT_TRUE(Has(r.err, "Reading (1 / 1702)...\rReading (2 / 1702)...\r")) << r.err.substr(0, 80);
  EXPECT_TRUE(Has(r.err, "Reading (1702 / 1702)...\r                        \r")) << r.err.substr(r.err.size() - 80);
  EXPECT_TRUE(Has(r.out, File("t.txt") + ": 7 entries: 8 dialogue strings")) << r.out;
  EXPECT_EQ(r.out.find('\r'), std::string::npos);
  // Redirected, as here: no progress; -q silences it on a terminal too.
  for (bool terminal : {false, true}) {
    ForceProgressForTests(terminal);
    r = Dict({"extract", pkg, movies, "-o", File("t.txt"), terminal ? "--quiet" : "--force"});
    ForceProgressForTests(false);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err.find('\r'), std::string::npos) << r.err.substr(0, 80);
    EXPECT_EQ(r.out.find('\r'), std::string::npos);
  }
}

TEST_F(Toolkit, MergeCarriesTranslationsAndListsTheObsoleteOnes) {
  ASSERT_EQ(Dict({"extract", pkg, movies, "-o", File("template.txt"), "-q"}).code, 0);
  // The old dictionary, in no particular order: a translation of a text
  // still in the game, one whose source had spaces at its ends (never
  // found, but meant for the trimmed text), one of a text gone, and an
  // untranslated entry of a text gone.
  const std::vector<Entry> old = {
      {"Gone line", "\xE6\xB6\x88\xE5\xA4\xB1", "old remark 1", 0},
      {kWho, "\xE6\x9D\xA5\xE8\x80\x85", "old remark 2", 0},
      {"Untranslated gone", "Untranslated gone", "", 0},
      {" The tide is turning. ", "\xE6\xBD\xAE", "old remark 3", 0},
  };
  ASSERT_TRUE(WriteDict(old, File("old.txt")));

  Result r = Dict({"merge", File("old.txt"), File("template.txt"), "-o", File("new.txt"), "--obsolete",
                   File("obsolete.txt")});
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_TRUE(Has(r.err, File("old.txt") + ":" + std::to_string(LineIn(File("old.txt"), "Gone line")) +
                             ": note: entry 0: obsolete: \"Gone line\""))
      << r.err;
  EXPECT_FALSE(Has(r.err, "\"Untranslated gone\"")) << r.err;
  EXPECT_TRUE(Has(r.out, "7 entries: 2 exact (2 translations carried over, 0 identical), 0 fuzzy suggestions to "
                         "review, 5 texts to translate; 1 obsolete translations, 1 untranslated entries gone"))
      << r.out;

  const std::vector<Entry> templ = EntriesIn(File("template.txt"));
  const std::vector<Entry> merged = EntriesIn(File("new.txt"));
  ASSERT_EQ(merged.size(), templ.size());
  for (size_t i = 0; i < merged.size(); ++i) {
    EXPECT_EQ(merged[i].source, templ[i].source);
    EXPECT_EQ(merged[i].remark, templ[i].remark) << "remarks come from the template";
    const std::string expected = merged[i].source == kWho    ? old[1].target
                                 : merged[i].source == kTide ? old[3].target
                                                             : templ[i].target;
    EXPECT_EQ(merged[i].target, expected) << merged[i].source;
  }
  const std::vector<Entry> obsolete = EntriesIn(File("obsolete.txt"));
  ASSERT_EQ(obsolete.size(), 1u);
  EXPECT_EQ(obsolete[0].source, "Gone line");
  EXPECT_EQ(obsolete[0].target, old[0].target);

  r = Dict({"merge", File("old.txt"), File("template.txt"), "-o", File("new.txt"), "--keep-remarks"});
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(BySource(EntriesIn(File("new.txt")))[kWho].remark, "old remark 2");
}

TEST_F(Toolkit, CheckShowsTheFirstTwentyOfEachKindUnlessAll) {
  // 22 empty targets (found in the file) and 22 unchanged ones (a content check).
  std::vector<Entry> entries;
  for (const char* kind : {"E", "U"}) {
    for (int i = 10; i < 32; ++i) {
      const std::string source = kind + std::to_string(i);
      entries.push_back({source, kind[0] == 'E' ? "" : source, "", 0});
    }
  }
  ASSERT_TRUE(WriteDict(entries, File("chs.txt")));
  const auto warnings = [](const std::string& err) {
    int count = 0;
    for (size_t at = err.find(": warning: "); at != std::string::npos; at = err.find(": warning: ", at + 1)) ++count;
    return count;
  };
  Result r = Dict({"check", File("chs.txt")});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(warnings(r.err), 40) << r.err;
  EXPECT_TRUE(Has(r.err, ": note: 2 more empty targets (--all shows every one)\n")) << r.err;
  EXPECT_TRUE(Has(r.err, ": note: 2 more [unchanged] findings (--all shows every one, --skip unchanged turns the "
                         "check off)\n"))
      << r.err;
  EXPECT_TRUE(Has(r.out, "44 entries, 0 errors, 44 warnings")) << r.out;
  r = Dict({"check", File("chs.txt"), "--all"});
  EXPECT_EQ(warnings(r.err), 44) << r.err;
  EXPECT_FALSE(Has(r.err, " more ")) << r.err;
}

TEST_F(Toolkit, SortPutsEntriesInLookupOrderAndBinRefusesWhatIsNot) {
  const std::string unsorted = File("chs.txt");
  ASSERT_TRUE(fixtures::WriteFileText(
      unsorted, dict_test::FileText({{"B", "b", "1"}, {"A", "a", "2"}, {"B", "other", "3"}, {"C", "c", ""}})));
  const std::string sourceA = "qzrtn_res_ENG_Start\r\nA\r\n";
  const uint32_t lineA = LineIn(unsorted, sourceA) + 1;
  const uint32_t lineB1 = LineIn(unsorted, "qzrtn_res_ENG_Start\r\nB\r\n") + 1;
  const uint32_t lineB2 = LineIn(unsorted, "qzrtn_res_No.00000002") + 2;  // entry 2's source

  Result r = Dict({"check", unsorted});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, unsorted + ":" + std::to_string(lineA) + ": error: entry 1: source \"A\" sorts before")) << r.err;
  EXPECT_TRUE(Has(r.err, unsorted + ":" + std::to_string(lineB2) + ": error: entry 2: source \"B\" is also the source of entry 0 (line " +
                             std::to_string(lineB1) + "), with another target")) << r.err;
  EXPECT_TRUE(Has(r.out, "4 entries, 2 errors, 0 warnings")) << r.out;

  r = Dict({"bin", unsorted, "-o", File("chs.bin")});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, "not written")) << r.err;
  EXPECT_FALSE(fixtures::FileExists(File("chs.bin")));

  r = Dict({"sort", unsorted, "-o", File("sorted.txt")});
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_TRUE(Has(r.err, unsorted + ":" + std::to_string(lineB2) + ": note: entry 2: left out: source \"B\"")) << r.err;
  EXPECT_TRUE(Has(r.out, "3 entries in lookup order, 1 duplicates left out")) << r.out;
  const std::vector<Entry> sorted = EntriesIn(File("sorted.txt"));
  ASSERT_EQ(sorted.size(), 3u);
  EXPECT_EQ(sorted[0].source + sorted[1].source + sorted[2].source, "ABC");
  EXPECT_EQ(sorted[1].target, "b") << "the first of equal sources is kept";
  EXPECT_EQ(sorted[1].remark, "1");
  EXPECT_EQ(Dict({"check", File("sorted.txt")}).code, 0);

  r = Dict({"bin", File("sorted.txt"), "-o", File("chs.bin")});
  ASSERT_EQ(r.code, 0) << r.out;
  BRXStringDict binary;
  ASSERT_EQ(binary.LoadFromBINFileA(File("chs.bin").c_str()), 3u);
  for (uint32_t i = 0; i < 3; ++i) {
    const BRXStringEntry* e = binary.GetEntry(i);
    EXPECT_EQ(std::string(e->source, e->sourceLength), sorted[i].source);
    EXPECT_EQ(std::string(e->target, e->targetLength), sorted[i].target);
    EXPECT_EQ(std::string(e->remark, e->remarkLength), sorted[i].remark);
  }
  ASSERT_NE(binary.FindEntry("C"), nullptr);

  // --force writes it all the same, and still reports.
  r = Dict({"bin", unsorted, "-o", File("forced.bin"), "--force"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(binary.LoadFromBINFileA(File("forced.bin").c_str()), 4u);
}

TEST_F(Toolkit, ABrokenDictionaryIsReportedWithTheLoadersOwnMessage) {
  const std::string path = File("chs.txt");
  std::string text = dict_test::FileText({{"A", "a", ""}, {"B", "b", ""}, {"C", "c", ""}});
  text.erase(text.rfind("qzrtn_res_CHI_End\r\n"), 19);
  ASSERT_TRUE(fixtures::WriteFileText(path, text));
  const std::string line = std::to_string(LineIn(path, "qzrtn_res_No.00000002"));
  for (const char* command : {"check", "sort", "bin", "stats", "csv"}) {
    std::vector<std::string> args = {command, path};
    if (std::string(command) == "csv") args = {"csv", "export", path};
    if (std::string(command) == "stats") args.insert(args.end(), {pkg, movies});
    else args.insert(args.end(), {"-o", File("out")});
    if (std::string(command) == "check") args.resize(2);
    Result r = Dict(args);
    EXPECT_EQ(r.code, 1) << command;
    EXPECT_TRUE(Has(r.err, path + ":" + line + ": error: entry 2: no qzrtn_res_CHI_End line after it")) << command << r.err;
    // The loader's own words, "没有找到 CHI 段结束关键字，第2个资源", in UTF-8.
    EXPECT_TRUE(Has(r.err, "(it says: \xE6\xB2\xA1\xE6\x9C\x89\xE6\x89\xBE\xE5\x88\xB0 CHI "
                           "\xE6\xAE\xB5\xE7\xBB\x93\xE6\x9D\x9F\xE5\x85\xB3\xE9\x94\xAE\xE5\xAD\x97"
                           "\xEF\xBC\x8C\xE7\xAC\xAC" "2\xE4\xB8\xAA\xE8\xB5\x84\xE6\xBA\x90)\n"))
        << command << r.err;
    EXPECT_FALSE(fixtures::FileExists(File("out"))) << command;
  }
}

TEST_F(Toolkit, CsvImportReportsAtTheLinesOfTheCsvFileAndWritesNothingOnErrors) {
  const std::string csv = File("in.csv");
  const std::string existing = dict_test::FileText({{"Kept", "kept", ""}});
  ASSERT_TRUE(fixtures::WriteFileText(File("chs.txt"), existing));
  ASSERT_TRUE(fixtures::WriteFileText(csv, std::string(kUtf8Bom) +
                                               "source,target,remark,status\r\n"
                                               "B,b,,done\r\n"                     // line 2
                                               "\"Two\r\nlines\",\"x\",\r\n"      // lines 3-4
                                               "\" spaced\",s,\r\n"               // line 5
                                               "B,other,\r\n"                     // line 6: duplicate
                                               "D,,\r\n"));                       // line 7: empty target
  Result r = Dict({"csv", "import", csv, "-o", File("chs.txt")});
  EXPECT_EQ(r.code, 1) << r.err;
  EXPECT_TRUE(Has(r.err, csv + ":1: note: columns not read: \"status\"")) << r.err;
  EXPECT_TRUE(Has(r.err, csv + ":5: error: source \" spaced\" has spaces at its ends")) << r.err;
  EXPECT_TRUE(Has(r.err, csv + ":6: error: source \"B\" is also the source of the record at line 2")) << r.err;
  EXPECT_TRUE(Has(r.err, csv + ":7: warning: empty target")) << r.err;
  EXPECT_TRUE(Has(r.err, "not written: 2 errors in " + csv)) << r.err;
  EXPECT_EQ(fixtures::ReadFileBytes(File("chs.txt")), fixtures::Bytes(existing.begin(), existing.end()));

  // A marker line in any column, as a whole cell or as a line of one: the
  // record's line is named and nothing is written.
  for (int column = 0; column < 3; ++column) {
    for (const char* cell : {"qzrtn_res_ENG_End", "x\r\nqzrtn_res_CHI_End\r\ny", "qzrtn_res_Remark00_Start"}) {
      std::string record[3] = {"A2", "a2", ""};
      record[column] = std::string("\"") + cell + "\"";
      ASSERT_TRUE(fixtures::WriteFileText(
          csv, "source,target,remark\r\nA,a,\r\n" + record[0] + "," + record[1] + "," + record[2] + "\r\n"));
      r = Dict({"csv", "import", csv, "-o", File("chs.txt")});
      EXPECT_EQ(r.code, 1) << cell;
      EXPECT_TRUE(Has(r.err, csv + ":3: error: the " + std::string(column == 0 ? "source" : column == 1 ? "target" : "remark") +
                                 " of ")) << r.err;
      EXPECT_TRUE(Has(r.err, "holds the marker line")) << r.err;
      EXPECT_EQ(fixtures::ReadFileBytes(File("chs.txt")), fixtures::Bytes(existing.begin(), existing.end())) << cell;
    }
  }

  ASSERT_TRUE(fixtures::WriteFileText(csv, "source,target\r\nA,\"open\r\n"));
  r = Dict({"csv", "import", csv, "-o", File("other.txt")});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, csv + ":2: error: a quoted field that is never closed")) << r.err;
  EXPECT_FALSE(fixtures::FileExists(File("other.txt")));
}

TEST_F(Toolkit, CsvColumnsAreFoundByTheirNames) {
  struct Case {
    const char* text;
    const char* remarkOfB;
    const char* ignored;  // the note's list, or "" for none
  } cases[] = {
      {"location,source,target\r\nscene 2,B,b\r\nscene 1,A,a\r\n", "scene 2", ""},
      {"source,target,context,developer_comments\r\nB,b,ctx,dev\r\nA,a,,\r\n", "ctx", "\"developer_comments\""},
      {"Target,Source,Remark\r\nb,B\r\na,A,r\r\n", "", ""},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(fixtures::WriteFileText(File("in.csv"), c.text));
    Result r = Dict({"csv", "import", File("in.csv"), "-o", File("chs.txt")});
    ASSERT_EQ(r.code, 0) << c.text << r.err;
    EXPECT_EQ(Has(r.err, std::string("columns not read: ") + c.ignored), c.ignored[0] != '\0') << r.err;
    std::map<std::string, Entry> entries = BySource(EntriesIn(File("chs.txt")));
    EXPECT_EQ(entries["B"].target, "b") << c.text;
    EXPECT_EQ(entries["A"].target, "a") << c.text;
    EXPECT_EQ(entries["B"].remark, c.remarkOfB) << c.text;
  }
}

TEST_F(Toolkit, ForeignEncodingsAreNamedAndConvertedWhenAskedFor) {
  const std::string utf8Target = "\xE6\x9D\xA5\xE8\x80\x85\xE4\xBD\x95\xE4\xBA\xBA";  // 来者何人
  // UTF-16 little-endian with its byte-order mark, tab-separated, as
  // spreadsheet programs save "Unicode text".
  std::string utf16 = "\xFF\xFE";
  const std::u16string units = u"source\ttarget\r\nWho\t\u6765\u8005\u4F55\u4EBA\r\n";
  for (char16_t u : units) utf16 += {char(u & 0xFF), char(u >> 8)};
  struct Case {
    std::string bytes;
    const char* says;     // the one error without --encoding
    const char* encoding;  // the option that reads it ("" for none)
  } cases[] = {
      {"source,target\r\nWho,\xC0\xB4\xD5\xDF\xBA\xCE\xC8\xCB\r\n", ":2: error: the file is GBK text", "gbk"},
      {utf16, ":1: error: the file is UTF-16 text", "utf-16"},
      {"source,target\r\nWho,x\r\nWhat,\xC3(\r\n", ":3: error: the file is not UTF-8 text", ""},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(fixtures::WriteFileText(File("in.csv"), c.bytes));
    Result r = Dict({"csv", "import", File("in.csv"), "-o", File("chs.txt")});
    EXPECT_EQ(r.code, 1) << c.says;
    EXPECT_TRUE(Has(r.err, File("in.csv") + c.says)) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << "one error: " << r.err;
    EXPECT_TRUE(Has(r.err, "CSV UTF-8")) << r.err;
    EXPECT_FALSE(fixtures::FileExists(File("chs.txt")));
    if (c.encoding[0] == '\0') continue;
    r = Dict({"csv", "import", File("in.csv"), "-o", File("chs.txt"), "--encoding", c.encoding});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(BySource(EntriesIn(File("chs.txt")))["Who"].target, utf8Target) << c.encoding;
    platform::DeletePath(File("chs.txt").c_str());
  }
  EXPECT_EQ(Dict({"csv", "import", File("in.csv"), "-o", File("chs.txt"), "--encoding", "latin-1"}).code, 2);
}

TEST_F(Toolkit, CsvRoundTripKeepsEveryByteOfEveryText) {
  std::vector<Entry> sorted = {
      {"Comma, inside", "\xE9\x80\x97\xE5\x8F\xB7, \xE5\x86\x85", "a, b", 0},
      {"Quote \"inside\"", "\"\"", "\"", 0},
      {"Two\r\nlines", "A\r\nB\r\n", "CR LF at the end", 0},
      {"\ttab first", " spaces ", "  ", 0},
      {"bare\rCR", "bare\nLF", "", 0},
      {"empty target", "", "", 0},
  };
  SortForLookup(&sorted);
  ASSERT_TRUE(WriteDict(sorted, File("chs.txt")));
  ASSERT_EQ(Dict({"csv", "export", File("chs.txt"), "-o", File("x.csv")}).code, 0);
  Result r = Dict({"csv", "import", File("x.csv"), "-o", File("back.txt")});
  EXPECT_EQ(r.code, 0) << r.out;  // the empty target is only a warning
  ExpectSameTexts(sorted, EntriesIn(File("back.txt")));
}

TEST_F(Toolkit, VerifyWithTheDictionaryAndTheJsonDocuments) {
  ASSERT_EQ(Dict({"extract", pkg, movies, "-o", File("template.txt"), "-q"}).code, 0);
  std::vector<Entry> entries = EntriesIn(File("template.txt"));
  for (Entry& e : entries)
    if (e.source == kWho) e.target = "\xE6\x9D\xA5\xE8\x80\x85";  // 4 strings of the game
  ASSERT_TRUE(WriteDict(entries, File("chs.txt")));

  // The content checks (the untranslated entries, an end punctuation) are
  // left out: the structure alone is looked at here.
  const std::vector<std::string> structureOnly = {"--skip", "unchanged", "--skip", "endpunc"};
  std::vector<std::string> args = {"check", File("chs.txt"), "--json"};
  args.insert(args.end(), structureOnly.begin(), structureOnly.end());
  Result r = Dict(args);
  EXPECT_EQ(r.code, 0);
  Json doc = Json::parse(r.out);
  EXPECT_EQ(doc["command"], "check");
  EXPECT_EQ(doc["exit"], 0);
  EXPECT_EQ(doc["entries"], 7);
  EXPECT_TRUE(doc["findings"].empty()) << r.out;
  EXPECT_EQ(r.err, "");

  r = Dict({"stats", File("chs.txt"), pkg, movies, "--json"});
  doc = Json::parse(r.out);
  EXPECT_EQ(doc["total"], (Json{{"texts", 10}, {"in_dictionary", 10}, {"translated", 4}})) << r.out;
  uint64_t perFile = 0;
  for (const Json& file : doc["files"]) perFile += file["translated"].get<uint64_t>();
  EXPECT_EQ(perFile, 4u);

  r = Dict({"merge", File("chs.txt"), File("template.txt"), "-o", File("merged.txt"), "--json"});
  doc = Json::parse(r.out);
  EXPECT_EQ(doc["exit"], 0);
  EXPECT_EQ(doc["written"], true);
  EXPECT_EQ(doc["carried"], 1);
  EXPECT_EQ(doc["to_translate"], 6);

  // The game patched from a folder without chs.txt: rebuilt, nothing
  // translated, which the dictionary would.
  std::filesystem::create_directories(File("elsewhere"));
  ASSERT_NO_FATAL_FAILURE(Eng2Chs(File("elsewhere"), pkg, movies));
  r = Dict({"verify", pkg, movies, "-q"});
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(Has(r.err, "hanhua-dict: warning: no text of the game is translated")) << r.err;
  r = Dict({"verify", pkg, movies, "-q", "--dict", File("chs.txt")});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, File("chs.txt") + ": error: the game holds none of the 4 translations of this dictionary"))
      << r.err;

  // Patched again with it: the counts agree.
  ASSERT_NO_FATAL_FAILURE(Hanhua("chs2eng", dir.path(), pkg, movies));
  ASSERT_NO_FATAL_FAILURE(Eng2Chs(dir.path(), pkg, movies));
  r = Dict({"verify", pkg, movies, "-q", "--dict", File("chs.txt"), "--json"});
  EXPECT_EQ(r.code, 0) << r.out;
  doc = Json::parse(r.out);
  EXPECT_EQ(doc["expected"], doc["translated"]) << r.out;
  EXPECT_EQ(doc["translated"]["dialogue_strings"].get<int>() + doc["translated"]["subtitles"].get<int>(), 4) << r.out;
  EXPECT_TRUE(doc["findings"].empty()) << r.out;

  // A finding in the document: file, line, entry, severity and check.
  std::swap(entries[0], entries[1]);
  ASSERT_TRUE(WriteDict(entries, File("chs.txt")));
  r = Dict(args);
  EXPECT_EQ(r.code, 1);
  doc = Json::parse(r.out);
  ASSERT_EQ(doc["findings"].size(), 1u) << r.out;
  EXPECT_EQ(doc["findings"][0], (Json{{"file", File("chs.txt")},
                                      {"line", LineIn(File("chs.txt"), NumberLine(1)) + 2},
                                      {"entry", 1},
                                      {"severity", "error"},
                                      {"check", "order"},
                                      {"message", doc["findings"][0]["message"]}}));
  EXPECT_EQ(doc["errors"], 1);
}

TEST_F(Toolkit, VerifyFindsEveryKindOfProblem) {
  ASSERT_EQ(Dict({"extract", pkg, movies, "-o", File("chs.txt"), "-q"}).code, 0);
  ASSERT_NO_FATAL_FAILURE(Eng2Chs(dir.path(), pkg, movies));
  ASSERT_EQ(Dict({"verify", pkg, movies, "-q"}).code, 0);
  const std::string p0 = pkg + "/" + ListedName(0), p1 = pkg + "/" + ListedName(1), p3 = pkg + "/" + ListedName(3);
  const std::string movie = movies + "/" + MovieName(1);
  // Reports name files by the paths that the driver builds.
  auto shown = [](const std::string& dirPath, const std::string& name) {
    return driver::FilePath(dirPath.c_str(), name.c_str());
  };

  // Package 3 as shipped (compressed), package 0 with a string less.
  ASSERT_TRUE(fixtures::WriteFileBytes(p3, fixtures::ReadFileBytes(p3 + ".bak")));
  std::vector<std::vector<dict_test_game::DialogueString>> fewer = dict_test_game::Packages()[0];
  fewer[1].pop_back();
  ASSERT_TRUE(fixtures::WriteFileBytes(p0, dict_test_game::DialoguePackage("Scene0", fewer, fixtures::kCompressionNone)));
  // Package 1: an export whose body lies beyond the end of the file.
  fixtures::Bytes bytes = fixtures::ReadFileBytes(p1);
  fixtures::SummaryFieldOffsets fields;
  ASSERT_TRUE(fixtures::LocateSummaryFields(bytes, &fields));
  const uint32_t exports = fixtures::GetU32(bytes, fields.exportOffset);
  fixtures::PutU32(bytes, exports + 72 * 1 + 40, uint32_t(bytes.size()));  // export 1, "Picture"
  ASSERT_TRUE(fixtures::WriteFileBytes(p1, bytes));
  // The movie with bytes after its last chunk.
  bytes = fixtures::ReadFileBytes(movie);
  bytes.insert(bytes.end(), {1, 2, 3});
  ASSERT_TRUE(fixtures::WriteFileBytes(movie, bytes));

  Result r = Dict({"verify", pkg, movies, "-q"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, shown(pkg, ListedName(3)) + ": error: still compressed")) << r.err;
  EXPECT_TRUE(Has(r.err, shown(pkg, ListedName(0)) + ": error: holds 3 dialogue strings where its backup holds 4"))
      << r.err;
  EXPECT_TRUE(Has(r.err, shown(pkg, ListedName(1)) + ": error: 1 exports point outside the file")) << r.err;
  EXPECT_TRUE(Has(r.err, shown(movies, MovieName(1)) + ": error: 3 bytes after the last chunk")) << r.err;
  EXPECT_TRUE(Has(r.out, "4 problems")) << r.out;

  // A missing file whose backup is there.
  platform::DeletePath(movie.c_str());
  r = Dict({"verify", pkg, movies, "-q"});
  EXPECT_TRUE(Has(r.err, shown(movies, MovieName(1)) + ".bak: error: the backup is there, but not the file itself"))
      << r.err;
  // A folder without any listed file.
  r = Dict({"verify", File("nowhere"), File("nowhere"), "-q"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, "none of the listed files is in")) << r.err;
}

TEST(ToolkitDemo, ExtractCheckAndStatsOnTheDemoGame) {
  fixtures::TempDir dir;
  fixtures::DemoGameSummary summary;
  ASSERT_TRUE(fixtures::WriteDemoGame(dir.path(), &summary));
  const std::string pkg = dir.File(fixtures::kDemoPackageDir), movies = dir.File(fixtures::kDemoMovieDir);
  const std::string demoDictionary = dir.File(fixtures::kDemoDictionary);

  // What the demo's generator says it holds and translates.
  std::map<std::string, std::string> translation;
  for (const fixtures::DemoTranslation& t : fixtures::DemoTranslations()) translation[t.source] = t.target;
  uint64_t subtitles = 0, subtitlesTranslated = 0;
  for (int k = 0; k < driver::kMovieCount; ++k) {
    for (const fixtures::DemoSubtitleLine& line : fixtures::DemoSubtitleLines(k)) {
      ++subtitles;
      if (translation.count(line.english) && translation[line.english] != line.english) ++subtitlesTranslated;
    }
  }
  ASSERT_GT(summary.dialogue.translatable, 0);
  ASSERT_GT(subtitlesTranslated, 0u);

  Result r = Dict({"extract", pkg, movies, "-o", dir.File("template.txt"), "-q"});
  ASSERT_EQ(r.code, 0) << r.out;
  r = Dict({"check", dir.File("template.txt"), "--skip", "unchanged"});
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_TRUE(Has(r.out, " 0 errors, 0 warnings")) << r.out;
  r = Dict({"stats", dir.File("template.txt"), pkg, movies, "-q"});
  EXPECT_EQ(r.code, 0) << r.out;
  const uint64_t strings = uint64_t(summary.dialogue.strings);
  EXPECT_EQ(StatsRow(r.out, "dialogue strings"), (std::vector<uint64_t>{strings, strings, 0}));
  EXPECT_EQ(StatsRow(r.out, "subtitles"), (std::vector<uint64_t>{subtitles, subtitles, 0}));
  EXPECT_TRUE(Has(r.out, "covers 0.0 % of the game's texts")) << r.out;

  // The demo's own dictionary: it translates what the generator says.
  r = Dict({"stats", demoDictionary, pkg, movies, "-q"});
  EXPECT_EQ(r.code, 0) << r.out;
  const uint64_t translatable = uint64_t(summary.dialogue.translatable);
  EXPECT_EQ(StatsRow(r.out, "dialogue strings"), (std::vector<uint64_t>{strings, translatable, translatable}));
  EXPECT_EQ(StatsRow(r.out, "subtitles")[2], subtitlesTranslated);
  EXPECT_TRUE(Has(r.out, "covers " + Percent(translatable + subtitlesTranslated, strings + subtitles) + " %"))
      << r.out;
  r = Dict({"check", demoDictionary});
  EXPECT_EQ(r.code, 0) << r.out;

  // The demo's dictionary put out of order, and with a marker line gone.
  std::vector<dict_test::Texts> reversed;
  for (const fixtures::DemoTranslation& t : fixtures::DemoTranslations()) reversed.push_back({t.source, t.target, t.remark});
  std::sort(reversed.begin(), reversed.end(),
            [](const dict_test::Texts& a, const dict_test::Texts& b) { return a.source > b.source; });
  const std::string unsorted = dict_test::FileText(reversed);
  ASSERT_TRUE(fixtures::WriteFileText(demoDictionary, unsorted));
  r = Dict({"check", demoDictionary, "--all"});
  EXPECT_EQ(r.code, 1);
  for (size_t i = 1; i < reversed.size(); ++i) {
    const uint32_t line = LineIn(demoDictionary, NumberLine(i)) + 2;
    EXPECT_TRUE(Has(r.err, demoDictionary + ":" + std::to_string(line) + ": error: entry " + std::to_string(i) +
                               ": source "))
        << i << r.err;
  }
  // A source end marker gone in the middle: the entry's source runs on to
  // the next entry's, through the marker lines in between.
  std::string broken = unsorted;
  broken.erase(broken.find("qzrtn_res_ENG_End\r\n", broken.find(NumberLine(3))), 19);
  ASSERT_TRUE(fixtures::WriteFileText(demoDictionary, broken));
  r = Dict({"check", demoDictionary});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, demoDictionary + ":" + std::to_string(LineIn(demoDictionary, NumberLine(3)) + 3) +
                             ": error: entry 3: the source holds the marker line \"qzrtn_res_CHI_Start\""))
      << r.err;
  // A target end marker gone in the last entry: nothing loads.
  broken = unsorted;
  broken.erase(broken.rfind("qzrtn_res_CHI_End\r\n"), 19);
  ASSERT_TRUE(fixtures::WriteFileText(demoDictionary, broken));
  r = Dict({"check", demoDictionary});
  EXPECT_EQ(r.code, 1);
  const std::string last = std::to_string(reversed.size() - 1);
  EXPECT_TRUE(Has(r.err, demoDictionary + ":" +
                             std::to_string(LineIn(demoDictionary, NumberLine(reversed.size() - 1))) + ": error: entry " +
                             last + ": no qzrtn_res_CHI_End line after it"))
      << r.err;
}

TEST(ToolkitCommandLine, HelpForEveryCommandAndUsageErrors) {
  Result r = Dict({"--help"});
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(Has(r.out, "Usage: hanhua-dict [OPTIONS] SUBCOMMAND")) << r.out;
  EXPECT_TRUE(Has(r.out, "Exit status: 0 all is well; 1 problems found")) << r.out;
  r = Dict({"--version"});
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(Has(r.out, "hanhua-dict ")) << r.out;
  for (const char* command : {"extract", "check", "sort", "merge", "stats", "csv", "bin", "verify"}) {
    r = Dict({command, "--help"});
    EXPECT_EQ(r.code, 0) << command;
    EXPECT_TRUE(Has(r.out, std::string("Usage: hanhua-dict ") + command)) << r.out;
    EXPECT_EQ(Has(r.out, std::string("Example:\n  hanhua-dict ") + command), std::string(command) != "csv") << r.out;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 100u) << line;
  }
  for (const char* command : {"export", "import"}) {
    r = Dict({"csv", command, "--help"});
    EXPECT_EQ(r.code, 0) << command;
    EXPECT_TRUE(Has(r.out, std::string("Usage: hanhua-dict csv ") + command)) << r.out;
  }
  struct Case {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{}, "A subcommand is required"},
      {{"translate"}, "unknown command \"translate\""},
      {{"sort", "in.txt"}, "--output is required"},
      {{"csv", "x.txt"}, "unknown command \"csv x.txt\""},
      {{"stats", "chs.txt", "only-one-dir"}, "give both PKGDIR and MOVIEDIR, or neither"},
  };
  for (const Case& c : cases) {
    r = Dict(c.args);
    EXPECT_EQ(r.code, 2) << c.says;
    EXPECT_TRUE(Has(r.err, c.says)) << r.err;
  }
  r = Dict({"extract", "/nonexistent-pkg", "/nonexistent-movies", "-o", "/nonexistent/t.txt", "-q"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, "none of the 1701 listed files is in")) << r.err;
}

}  // namespace
}  // namespace dict_tool
