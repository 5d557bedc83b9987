// Speed of the zlib block decoders on 128 KiB blocks like a package's:
// zlib's uncompress, InflateZlibBlock (patched libdeflate, decoding into a
// buffer of its own and copying), and libdeflate alone. Bytes per second are
// bytes of output.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <vector>

#include "package/zlib_block.h"
#include "tests/support/package_like_data.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint32_t kBlockSize = 128 * 1024;
constexpr int kBlocks = 8;

struct Blocks {
  std::vector<Bytes> streams;
  std::vector<Bytes> data;
  explicit Blocks(bool withoutNoise) {
    for (int i = 0; i < kBlocks; ++i) {
      data.push_back(fixtures::PackageLikeData(kBlockSize, uint32_t(i), !withoutNoise));
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
