// hanhua-make-fuzz-seeds CORPUSDIR: writes the seed inputs of the fuzz
// targets (tests/fuzz/*_fuzz.cpp) into CORPUSDIR/TARGET/, made with the
// fixture builders so that the fuzzers start from well-formed files that
// reach deep into each format. Every seed is a few KB at most. Files already
// in a target's directory (crash inputs kept as regression tests) are left
// alone; seeds of the same name are replaced.
//
//   build/hanhua-make-fuzz-seeds tests/fuzz/corpus
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "dictionary/brx_string_dict.h"
#include "dictionary/dict_test_util.h"
#include "tests/support/demo_game.h"
#include "tests/support/byte_builders.h"
#include "tests/support/files.h"
#include "tests/support/movie_builder.h"
#include "tests/support/package_builder.h"

namespace {

using fixtures::Bytes;
using fixtures::Cat;
using fixtures::DialogueTag;
using fixtures::Str8;
using fixtures::StrWide;
using fixtures::Text;
using fixtures::Word32;

// --- writing -----------------------------------------------------------------

struct Writer {
  std::string root;
  int written = 0;
  bool ok = true;

  void Put(const std::string& target, const std::string& name, const Bytes& bytes) {
    std::error_code error;
    std::filesystem::create_directories(root + "/" + target, error);
    std::string path = root + "/" + target + "/" + name;
    if (!fixtures::WriteFileBytes(path, bytes)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      ok = false;
      return;
    }
    ++written;
  }
  void Put(const std::string& target, const std::string& name, const std::string& text) {
    Put(target, name, Text(text));
  }
};

// --- dialogue_rewrite_fuzz: one export body, name index 1 is DialogueText ------
// (its dictionary knows "", "Café", "Hello", "Hi", "Quiet" and "Yes").

void DialogueBodySeeds(Writer& w) {
  const std::string target = "dialogue_rewrite_fuzz";
  const Bytes head = Text("head-of-body"), mid = Text("between"), tail = Text("tail");
  w.Put(target, "two_tags_both_forms",
        Cat({head, DialogueTag(1, {Str8("Hello"), StrWide(u"Caf\u00E9"), Str8("Nobody knows")}), mid,
             DialogueTag(1, {StrWide(u"Yes"), Str8("Quiet"), Str8("")}), tail}));
  w.Put(target, "empty_array_then_tag",
        Cat({DialogueTag(1, {}), DialogueTag(1, {StrWide(u""), Str8("Hi")}), Word32(0)}));
  std::vector<Bytes> many(40, Str8("Hi"));  // grows far beyond twice the body
  w.Put(target, "translations_outgrow_the_body", Cat({DialogueTag(1, many), tail}));
  Bytes pastTheEnd = DialogueTag(1, {Str8("Hello"), Str8("Yes")});
  pastTheEnd.resize(pastTheEnd.size() - 3);  // the array runs past the body
  w.Put(target, "array_past_the_end", Cat({DialogueTag(1, {Str8("Hello")}), pastTheEnd}));
  w.Put(target, "near_misses",
        Cat({DialogueTag(2, {Str8("Hello")}), DialogueTag(3, {Str8("Hello")}), DialogueTag(1, {Str8("Hello")}, 1),
             DialogueTag(4, {Str8("Hello")}), DialogueTag(9, {Str8("Hello")}), DialogueTag(1, {Str8("Hello")})}));
}

// --- package_fuzz: whole compressed packages (its dictionary knows "Hello" and
// "Yes") -------------------------------------------------------------------

fixtures::PackageContents DialoguePackageContents(bool utf16Names) {
  fixtures::PackageContents c;
  c.AddName("None");
  const uint32_t dt = utf16Names ? c.AddUtf16Name("DialogueText") : c.AddName("DialogueText");
  const int32_t imported = c.AddClassImport("AkDialogueEvent");
  const int32_t other = c.AddClassImport("SoundCue");
  const int32_t exportedClass = c.AddExport(0, c.Name("AkDialogueEvent"), Bytes(12, 0x33));
  const int32_t group = c.AddExport(c.AddClassImport("Package"), c.Name("Lines"), Bytes(8, 0));
  const int32_t first =
      c.AddExport(imported, c.Name("Greeting"),
                  Cat({Text("head"), DialogueTag(dt, {Str8("Hello"), StrWide(u"Yes"), Str8("Unknown")}),
                       Text("mid"), DialogueTag(dt, {}), DialogueTag(dt, {StrWide(u"Hello")}), Text("tail")}),
                  group);
  c.AddExport(other, c.Name("Cue"), Cat({Text("x"), DialogueTag(dt, {Str8("Hello")})}), group);
  c.AddExport(exportedClass, c.AddUtf16Name("\xE5\xAF\xB9\xE7\x99\xBD"), DialogueTag(dt, {Str8("Yes")}), first,
              2);
  c.AddExport(imported, c.Name("Silent"), DialogueTag(dt, {Str8("Nobody knows")}), group, 1);
  return c;
}

void PackageSeeds(Writer& w) {
  const std::string target = "package_fuzz";
  struct Seed {
    const char* name;
    bool utf16Names;
    uint32_t compression;
    uint32_t chunkSize, blockSize;
  } seeds[] = {
      {"dialogue_zlib_chunks_and_blocks", false, fixtures::kCompressionZlib, 512, 128},
      {"dialogue_lzo_chunks_and_blocks", true, fixtures::kCompressionLzo, 512, 128},
      {"dialogue_zlib_one_block", true, fixtures::kCompressionZlib, 0x80000, 0x20000},
  };
  for (const Seed& s : seeds) {
    fixtures::BuiltPackage plain = fixtures::BuildPackage(DialoguePackageContents(s.utf16Names));
    fixtures::CompressOptions options;
    options.compression = s.compression;
    options.chunkSize = s.chunkSize;
    options.blockSize = s.blockSize;
    fixtures::CompressedPackage packed;
    if (!fixtures::CompressPackage(plain.bytes, options, &packed)) {
      std::fprintf(stderr, "cannot compress the seed package %s\n", s.name);
      w.ok = false;
      continue;
    }
    w.Put(target, s.name, packed.bytes);
  }
  // A package of the demo game, as the patcher meets most of them.
  Bytes demo;
  if (fixtures::DemoPackage(2, &demo) && demo.size() <= 8192) w.Put(target, "demo_package", demo);
}

// --- movie_fuzz: movies (its dictionary knows "", "A" and "Hi") ----------------

void MovieSeeds(Writer& w) {
  const std::string target = "movie_fuzz";
  fixtures::MovieBuilder mixed;
  mixed.AddHeader(0x100)
      .AddSubtitle(0, 0, "A")
      .AddVideoFrame(96)
      .AddSubtitle(1, 0, "A")
      .AddSubtitle(0, 1000, "Hi")
      .AddAudioFrame(64)
      .AddSubtitle(0, 2000, "not in the dictionary")
      .AddRaw({1, 2, 3})  // what follows is off the 16-byte grid
      .AddSubtitle(0, 3000, "Hi")
      .AddRaw({4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16})
      .AddSubtitle(0, 4000, "");
  w.Put(target, "languages_grid_and_unknown_texts", mixed.Build());

  fixtures::MovieBuilder growing;
  growing.AddHeader(0x40);
  for (uint32_t i = 0; i < 48; ++i) growing.AddSubtitle(0, i * 100, "Hi");  // past the headroom
  w.Put(target, "translations_outgrow_the_headroom", growing.Build());
}

// --- dictionary targets ----------------------------------------------------------

std::vector<std::string> DictionaryTexts() {
  using dict_test::FileText;
  std::string missingEnd = FileText({{"Hello", "\xE4\xBD\xA0\xE5\xA5\xBD", ""}, {"Hi", "x", ""}});
  missingEnd.erase(missingEnd.rfind("qzrtn_res_CHI_End"), 17);
  return {
      fixtures::DictionaryText(fixtures::DemoTranslations()),
      FileText({{"", "empty", "an empty source"},
                {"  Hello ", "spaces", "kept in the text"},
                {"A\r\nB", "two lines", ""},
                {"Hello", "\xE4\xBD\xA0\xE5\xA5\xBD", "greeting"},
                {"zzzz", "", "an empty translation"},
                {"\xE4\xBD\xA0", "you", ""}}),
      missingEnd,
  };
}

void DictionarySeeds(Writer& w) {
  const char* const names[] = {"demo_chs_txt", "edge_texts", "missing_chi_end"};
  std::vector<std::string> texts = DictionaryTexts();
  for (size_t i = 0; i < texts.size(); ++i) w.Put("dictionary_text_fuzz", names[i], texts[i]);

  // The binary form, as the dictionary writes it, of the texts that load.
  fixtures::TempDir scratch;
  for (size_t i = 0; i < texts.size(); ++i) {
    BRXStringDict dict;
    if (dict.LoadFromTXTBuffer(texts[i].c_str()) == 0) continue;
    std::string path = scratch.File("dict.bin");
    Bytes binary;
    if (dict.SaveToBINFileA(path.c_str()) <= 0 || !fixtures::ReadFileBytes(path, &binary)) {
      std::fprintf(stderr, "cannot save the binary form of %s\n", names[i]);
      w.ok = false;
      continue;
    }
    w.Put("dictionary_binary_fuzz", names[i], binary);
  }
}

// --- zlib_block_fuzz: 2 bytes of slot size, a mode byte, then a zlib stream
// (mode 0, 2: patterned slot) or raw deflate data (mode 1, 3) ----------------

void ZlibBlockSeeds(Writer& w) {
  std::string text;
  for (int i = 0; text.size() < 3000; ++i)
    text += "Dialogue line " + std::to_string(i * 7 % 13) + ": the package of level " + std::to_string(i) + ". ";
  auto seed = [&](const std::string& name, const std::string& data, int level, uint32_t slot, uint8_t mode) {
    uLongf size = compressBound(uLong(data.size()));
    Bytes stream(size);
    if (compress2(stream.data(), &size, reinterpret_cast<const Bytef*>(data.data()), uLong(data.size()), level) != Z_OK)
      return;
    stream.resize(size);
    if ((mode & 1) != 0) stream = Bytes(stream.begin() + 2, stream.end() - 4);
    Bytes input{uint8_t(slot), uint8_t(slot >> 8), mode};
    input.insert(input.end(), stream.begin(), stream.end());
    w.Put("zlib_block_fuzz", name, input);
  };
  uint32_t length = uint32_t(text.size());
  seed("dynamic_exact_slot", text, 9, length, 0);
  seed("fast_level_larger_slot", text, 1, length + 50, 2);
  seed("stored_blocks", text.substr(0, 500), 0, 500, 0);
  seed("short_slot", text, 6, length / 2, 0);
  seed("fixed_code_raw", "Hello, hello, hello!", 9, 20, 1);
  seed("dynamic_raw", text, 6, length, 3);
  seed("empty", "", 6, 0, 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUSDIR\n", argc > 0 ? argv[0] : "hanhua-make-fuzz-seeds");
    return 2;
  }
  Writer w{argv[1]};
  DialogueBodySeeds(w);
  PackageSeeds(w);
  MovieSeeds(w);
  DictionarySeeds(w);
  ZlibBlockSeeds(w);
  std::printf("%d seed inputs written under %s\n", w.written, argv[1]);
  return w.ok ? 0 : 1;
}
