// Speed of the DialogueText tag scan: how fast the rewriter walks the body of
// a dialogue event export looking for DialogueText tags, over one large body
// and over the small bodies that most such exports have. The lookup finds
// nothing, so only the scan (and the look-ups of the strings it finds) is
// measured; the names come from a package's name table, as in the patcher.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "package/dialogue_rewrite.h"
#include "package/package_image.h"
#include "package/package_tables.h"
#include "tests/support/byte_builders.h"
#include "tests/support/package_builder.h"

namespace {

using fixtures::Bytes;

// A name table of about 3000 names, as a large package has, with
// "DialogueText" among them; the result's dialogue holds its index.
struct Names {
  package::NameSlots slots;
  uint32_t dialogue = 0;
};

Names ReadNames() {
  fixtures::PackageContents contents;
  for (int i = 0; i < 1500; ++i) contents.AddName("Name_" + std::to_string(i));
  const uint32_t dialogue = contents.AddName("DialogueText");
  for (int i = 0; i < 1500; ++i) contents.AddName("Other_" + std::to_string(i));
  fixtures::BuiltPackage built = fixtures::BuildPackage(contents);
  package::PackageImage image;
  image.data = package::AllocateImageBytes(built.bytes.size() + 4);
  std::copy(built.bytes.begin(), built.bytes.end(), image.data.get());
  image.size = uint32_t(built.bytes.size());
  image.nameCount = uint32_t(contents.names.size());
  image.nameOffset = built.nameOffset;
  Names names;
  names.dialogue = dialogue;
  if (package::ReadNameTable(image, &names.slots) != package::Failure::kNone) std::abort();
  return names;
}

const Names& TheNames() {
  static const Names names = ReadNames();
  return names;
}

// Serialized properties as an export body holds them: property tags (name
// index, number 0, size, 0) of small name indexes with integer, name and
// string values, zero runs, and DialogueText tags with a few strings: the
// first at firstDialogue, then one every dialogueEvery bytes.
Bytes PropertyBody(size_t size, size_t firstDialogue, size_t dialogueEvery, uint32_t seed) {
  std::mt19937 random(seed);
  const uint32_t dialogue = TheNames().dialogue;
  Bytes body;
  size_t nextDialogue = firstDialogue;
  auto word = [&body](uint32_t v) { fixtures::Append(body, fixtures::Word32(v)); };
  while (body.size() < size) {
    if (body.size() >= nextDialogue) {
      Bytes tag = fixtures::DialogueTag(dialogue, {fixtures::Str8("Stay close, the fog is thick tonight."),
                                                    fixtures::StrWide(u"Did you hear that?")});
      fixtures::Append(body, tag);
      nextDialogue += dialogueEvery;
      continue;
    }
    switch (random() % 4) {
      case 0:  // an integer property
        word(random() % 3000), word(0), word(4), word(0), word(random() % 100);
        break;
      case 1:  // a name property
        word(random() % 3000), word(0), word(8), word(0), word(random() % 3000), word(0);
        break;
      case 2: {  // a string property
        Bytes text = fixtures::Str8("Texture_" + std::to_string(random() % 100000));
        word(random() % 3000), word(0), word(uint32_t(text.size())), word(0);
        fixtures::Append(body, text);
        break;
      }
      case 3:  // raw data with zero runs
        for (int n = 0; n < 64; ++n) body.push_back(n % 8 < 5 ? 0 : uint8_t(random()));
        break;
    }
  }
  body.resize(size);
  return body;
}

void ScanBodies(benchmark::State& state, const std::vector<Bytes>& bodies) {
  const package::NameSlots& names = TheNames().slots;
  int64_t bytes = 0;
  for (const Bytes& body : bodies) bytes += int64_t(body.size());
  int texts = 0;  // two per tag
  for (auto _ : state) {
    texts = 0;
    for (const Bytes& body : bodies) {
      package::ForEachDialogueText(body.data(), uint32_t(body.size()), names, [&texts](const char*) { ++texts; });
    }
    benchmark::DoNotOptimize(texts);
  }
  state.SetBytesProcessed(state.iterations() * bytes);
  state.counters["texts"] = texts;
}

void BM_ScanLargeBody(benchmark::State& state) {
  ScanBodies(state, {PropertyBody(2u << 20, 32u << 10, 64u << 10, 1)});
}
BENCHMARK(BM_ScanLargeBody)->Unit(benchmark::kMillisecond);

// A thousand bodies of state.range(0) bytes, each with one DialogueText tag
// of two strings (about 100 bytes) among its other properties.
void BM_ScanSmallBodies(benchmark::State& state) {
  std::vector<Bytes> bodies;
  const size_t size = size_t(state.range(0));
  for (uint32_t i = 0; i < 1000; ++i) bodies.push_back(PropertyBody(size, size / 4, size, i));
  ScanBodies(state, bodies);
}
BENCHMARK(BM_ScanSmallBodies)->Arg(160)->Arg(400)->Arg(4096)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
