// Speed of the zlib block decoders on 128 KiB blocks like a package's:
// zlib's uncompress, InflateZlibBlock (patched libdeflate, decoding into a
// buffer of its own and copying), and libdeflate alone. Bytes per second are
// bytes of output.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <vector>

#include "package/zlib_block.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint32_t kBlockSize = 128 * 1024;
constexpr int kBlocks = 8;

// Package-like content: names and text, little-endian tables of indices and
// offsets, runs of one byte, and (unless withoutNoise) incompressible
// stretches (packed textures).
Bytes PackageLikeBlock(uint32_t seed, bool withoutNoise) {
  std::mt19937 random(seed);
  static const char* const kWords[] = {"Texture2D", "StaticMeshComponent", "DialogueText", "the", "Package",
                                       "MaterialInstanceConstant", "SoundCue", "of", "PersistentLevel", "None"};
  Bytes data;
  data.reserve(kBlockSize);
  while (data.size() < kBlockSize) {
    switch (random() % (withoutNoise ? 7 : 8)) {
      case 0:
      case 1:
      case 2:
        for (int i = 0; i < 12; ++i) {
          const char* word = kWords[random() % 10];
          data.insert(data.end(), word, word + std::strlen(word) + 1);
        }
        break;
      case 3:
      case 4:
      case 5:
        for (int i = 0; i < 24; ++i) {
          uint32_t v = (random() % 3 == 0) ? random() : random() % 2048;
          for (int b = 0; b < 4; ++b) data.push_back(uint8_t(v >> (8 * b)));
        }
        break;
      case 6:
        data.insert(data.end(), 16 + random() % 200, uint8_t(random() % 4 == 0 ? 0xFF : 0));
        break;
      default:
        for (int i = 0; i < 64; ++i) data.push_back(uint8_t(random()));
    }
  }
  data.resize(kBlockSize);
  return data;
}

struct Blocks {
  std::vector<Bytes> streams;
  std::vector<Bytes> data;
  explicit Blocks(bool withoutNoise) {
    for (int i = 0; i < kBlocks; ++i) {
      data.push_back(PackageLikeBlock(uint32_t(i), withoutNoise));
      const Bytes& block = data.back();
      uLongf size = compressBound(kBlockSize);
      Bytes stream(size);
      compress2(stream.data(), &size, block.data(), kBlockSize, 9);
      stream.resize(size);
      streams.push_back(stream);
    }
  }
};

// Benchmark argument 0: package-like blocks; 1: the same without the
// incompressible stretches.
const Blocks& TheBlocks(const benchmark::State& state) {
  static const Blocks withNoise(false);
  static const Blocks withoutNoise(true);
  return state.range(0) == 0 ? withNoise : withoutNoise;
}

template <typename Decode>
void Run(benchmark::State& state, Decode decode) {
  const Blocks& blocks = TheBlocks(state);
  Bytes slot(kBlockSize);
  for (auto _ : state) {
    for (const Bytes& stream : blocks.streams) {
      bool ok = decode(stream, slot);
      if (!ok) state.SkipWithError("a block failed");
      benchmark::DoNotOptimize(slot.data());
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kBlocks * kBlockSize);
}

void BM_Uncompress(benchmark::State& state) {
  Run(state, [](const Bytes& stream, Bytes& slot) {
    uLongf produced = kBlockSize;
    return uncompress(slot.data(), &produced, stream.data(), uLong(stream.size())) == Z_OK;
  });
}
BENCHMARK(BM_Uncompress)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_InflateZlibBlock(benchmark::State& state) {
  Run(state, [](const Bytes& stream, Bytes& slot) {
    return package::InflateZlibBlock(stream.data(), uint32_t(stream.size()), slot.data(), kBlockSize);
  });
}
BENCHMARK(BM_InflateZlibBlock)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

#if HANHUA_HAVE_LIBDEFLATE
void BM_LibdeflateAlone(benchmark::State& state) {
  Run(state, [](const Bytes& stream, Bytes& slot) {
    uint32_t produced = 0, consumed = 0;
    return package::detail::InflateWithLibdeflate(stream.data(), uint32_t(stream.size()), slot.data(), kBlockSize,
                                                  &produced, &consumed);
  });
}
BENCHMARK(BM_LibdeflateAlone)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
#endif

}  // namespace

BENCHMARK_MAIN();
