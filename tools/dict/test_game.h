// A small game install for the tests of hanhua-dict (header only, tests
// only): a few listed packages holding dialogue event exports with
// DialogueText strings in both string forms, compressed as a game ships
// them, and a listed movie with subtitles in two languages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/target_files.h"
#include "tests/support/files.h"
#include "tests/support/movie_builder.h"
#include "tests/support/package_builder.h"

namespace dict_test_game {

using fixtures::Bytes;

struct DialogueString {
  std::string text;  // UTF-8
  bool utf16 = false;
};

// A dialogue event body: a few bytes of other properties, the DialogueText
// tag with its array, and a closing name index.
inline Bytes DialogueBody(fixtures::PackageContents& contents, const std::vector<DialogueString>& strings) {
  const uint32_t property = contents.Name("DialogueText");
  const uint32_t none = contents.Name("None");
  Bytes array;
  fixtures::PutU32(array, 0, uint32_t(strings.size()));
  for (const DialogueString& s : strings) {
    if (s.utf16) {
      std::vector<uint16_t> units;
      for (size_t i = 0; i < s.text.size();) {  // UTF-8 to UTF-16, enough for the tests' texts
        const unsigned char c = static_cast<unsigned char>(s.text[i]);
        uint32_t v;
        size_t n;
        if (c < 0x80) { v = c; n = 1; }
        else if (c < 0xE0) { v = c & 0x1F; n = 2; }
        else if (c < 0xF0) { v = c & 0x0F; n = 3; }
        else { v = c & 0x07; n = 4; }
        for (size_t k = 1; k < n; ++k) v = v << 6 | (static_cast<unsigned char>(s.text[i + k]) & 0x3F);
        if (v >= 0x10000) {
          units.push_back(uint16_t(0xD800 + ((v - 0x10000) >> 10)));
          units.push_back(uint16_t(0xDC00 + ((v - 0x10000) & 0x3FF)));
        } else {
          units.push_back(uint16_t(v));
        }
        i += n;
      }
      fixtures::PutU32(array, array.size(), ~uint32_t(units.size()));
      for (uint16_t u : units) array.insert(array.end(), {uint8_t(u), uint8_t(u >> 8)});
      array.insert(array.end(), {0, 0});
    } else {
      fixtures::PutU32(array, array.size(), uint32_t(s.text.size() + 1));
      array.insert(array.end(), s.text.begin(), s.text.end());
      array.push_back(0);
    }
  }
  Bytes body = {0xFF, 0xFF, 0xFF, 0xFF, 7, 7, 7, 7};
  for (uint32_t word : {property, 0u, uint32_t(array.size()), 0u}) fixtures::PutU32(body, body.size(), word);
  body.insert(body.end(), array.begin(), array.end());
  fixtures::PutU32(body, body.size(), none);
  fixtures::PutU32(body, body.size(), 0);
  return body;
}

// One package: a group holding dialogue events (imported class) named
// Line0, Line1, ..., each with its strings, and an asset that is not one.
inline Bytes DialoguePackage(const std::string& group, const std::vector<std::vector<DialogueString>>& events,
                             uint32_t compression) {
  fixtures::PackageContents contents;
  const int32_t packageClass = contents.AddClassImport("Package");
  const int32_t dialogueClass = contents.AddClassImport("AkDialogueEvent");
  const int32_t textureClass = contents.AddClassImport("Texture2D");
  const int32_t outer = contents.AddExport(packageClass, contents.Name(group), Bytes(12, 0));
  contents.AddExport(textureClass, contents.Name("Picture"), Bytes(300, 0x41), outer);
  for (size_t i = 0; i < events.size(); ++i) {
    Bytes body = DialogueBody(contents, events[i]);
    contents.AddExport(dialogueClass, contents.Name("Line" + std::to_string(i)), body, outer);
  }
  const fixtures::BuiltPackage plain = fixtures::BuildPackage(contents);
  if (compression == fixtures::kCompressionNone) return plain.bytes;
  fixtures::CompressOptions options;
  options.compression = compression;
  fixtures::CompressedPackage packed;
  if (!fixtures::CompressPackage(plain.bytes, options, &packed)) return {};
  return packed.bytes;
}

inline std::string ListedName(int index) { return driver::kTargetFiles[index]; }
inline std::string MovieName(int k) { return driver::kTargetFiles[driver::kPackageCount + k]; }

// The texts of the game below, for the tests' expectations.
inline const std::vector<std::vector<std::vector<DialogueString>>>& Packages() {
  static const std::vector<std::vector<std::vector<DialogueString>>> kPackages = {
      // package 0: two events
      {{{"Who goes there?"}, {"Stand and be counted.", true}},
       {{"  Who goes there? "}, {"The gate, \"quickly\", now", true}}},
      // package 1: one event, a text in Chinese already and an empty string
      {{{"\xE5\xAE\x88\xE4\xBD\x8F", true}, {""}, {"Line one\r\nLine two"}}},
      // package 3: the same text again
      {{{"Who goes there?", true}}},
  };
  return kPackages;
}
inline const int kPackageIndexes[] = {0, 1, 3};

inline std::vector<fixtures::Subtitle> Subtitles() {
  std::vector<fixtures::Subtitle> subtitles(4);
  subtitles[0].text = "The tide is turning.";
  subtitles[0].start = 61234;
  subtitles[1].text = "The tide is turning.";
  subtitles[1].language = 1;  // another language: not looked up
  subtitles[2].text = "We leave at dusk.";
  subtitles[2].start = 3723004;
  subtitles[3].text = "Who goes there?";
  subtitles[3].start = 90000;
  return subtitles;
}

// Writes the game into packageDir and movieDir (which must exist).
inline bool WriteGame(const std::string& packageDir, const std::string& movieDir) {
  for (size_t p = 0; p < Packages().size(); ++p) {
    const int index = kPackageIndexes[p];
    const Bytes shipped = DialoguePackage("Scene" + std::to_string(p), Packages()[p],
                                          p % 2 == 0 ? fixtures::kCompressionZlib : fixtures::kCompressionLzo);
    if (shipped.empty() || !fixtures::WriteFileBytes(packageDir + "/" + ListedName(index), shipped))
      return false;
  }
  return fixtures::WriteFileBytes(movieDir + "/" + MovieName(1), fixtures::MakeSampleMovie(Subtitles(), 5));
}

}  // namespace dict_test_game
