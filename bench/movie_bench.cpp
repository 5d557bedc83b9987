// Speed of the movie patcher: the subtitle search over a large movie, and a
// whole rebuild of a movie with a translated subtitle every few frames.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "movie/movie_patcher.h"
#include "tests/support/files.h"
#include "tests/support/movie_builder.h"

namespace {

// About 64 MiB of media frames with a subtitle every 50 frames.
std::vector<fixtures::Subtitle> Subtitles(int count) {
  std::vector<fixtures::Subtitle> subtitles(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    subtitles[static_cast<size_t>(i)].start = static_cast<uint32_t>(i * 3000);
    subtitles[static_cast<size_t>(i)].text = "Subtitle line number " + std::to_string(i);
  }
  return subtitles;
}

fixtures::Bytes LargeMovie(int subtitles) {
  fixtures::MovieBuilder movie;
  movie.AddHeader();
  for (const fixtures::Subtitle& subtitle : Subtitles(subtitles)) {
    movie.AddMediaFrames(50, subtitle.start).AddSubtitle(subtitle);
  }
  return movie.Build();
}

void BM_FindAllSubtitles(benchmark::State& state) {
  const fixtures::Bytes movie = LargeMovie(600);
  for (auto _ : state) {
    int found = 0;
    const uint8_t* at = movie.data();
    const uint8_t* end = movie.data() + movie.size();
    while (const uint8_t* chunk = movie::FindSubtitleChunk(at, static_cast<uint32_t>(end - at))) {
      ++found;
      at = chunk + 64;
    }
    benchmark::DoNotOptimize(found);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * movie.size()));
}
BENCHMARK(BM_FindAllSubtitles)->Unit(benchmark::kMillisecond);

void BM_PatchMovieFile(benchmark::State& state) {
  fixtures::TempDir dir;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const fixtures::Bytes movie = LargeMovie(600);
  std::string dictionary = "bench\r\n\r\n\r\n";
  std::map<std::string, std::string> sorted;
  for (const fixtures::Subtitle& subtitle : Subtitles(600)) sorted[subtitle.text] = "译文：" + subtitle.text;
  for (const auto& [source, target] : sorted) {
    dictionary += "\r\nqzrtn_res_No.00000000\r\nqzrtn_res_ENG_Start\r\n" + source +
                  "\r\nqzrtn_res_ENG_End\r\nqzrtn_res_CHI_Start\r\n" + target +
                  "\r\nqzrtn_res_CHI_End\r\nqzrtn_res_Remark00_Start\r\n\r\nqzrtn_res_Remark00_End\r\n";
  }
  fixtures::WriteFileText(dir.File("chs.txt"), dictionary);
  fixtures::WriteFileBytes(dir.File("movie.usm.bak"), movie);
  std::string backup = dir.File("movie.usm.bak");
  for (auto _ : state) PatchMovieFile(backup.data());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * movie.size()));
  std::filesystem::current_path(previous);
}
BENCHMARK(BM_PatchMovieFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
