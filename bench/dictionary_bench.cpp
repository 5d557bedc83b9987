// Dictionary throughput: loading a 100,000-entry "chs.txt" and looking texts
// up in it, by FindEntry's binary search (argument 0) or by FindSharedEntry
// (argument 1), as the patchers do.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "dictionary/brx_string_dict.h"
#include "dictionary/dict_cache.h"
#include "dictionary/dict_test_util.h"
#include "tests/support/files.h"

namespace {

constexpr int kEntries = 100000;

// Dialogue-like texts: English sources of a few words, UTF-8 Chinese targets.
struct Corpus {
  std::vector<dict_test::Texts> entries;  // sorted by source
  std::string fileText;
};

const Corpus& TheCorpus() {
  static const Corpus corpus = [] {
    static const char* words[] = {"the", "you", "Commander", "we", "need", "to", "move",
                                  "ship", "now", "what", "is", "that", "enemy", "contact",
                                  "sector", "clear", "hold", "position", "fire", "report"};
    static const char* hanzi[] = {"\xE6\x88\x91", "\xE4\xBB\xAC", "\xE9\x9C\x80", "\xE8\xA6\x81",
                                  "\xE7\xA7\xBB", "\xE5\x8A\xA8", "\xE6\x95\x8C", "\xE4\xBA\xBA"};
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 16; };
    Corpus c;
    c.entries.reserve(kEntries);
    for (int i = 0; i < kEntries; ++i) {
      std::string source, target;
      int n = 4 + int(next() % 10);
      for (int w = 0; w < n; ++w) source += std::string(w ? " " : "") + words[next() % 20];
      source += " #" + std::to_string(i);  // unique
      for (int w = 0; w < n + 2; ++w) target += hanzi[next() % 8];
      c.entries.push_back({source, target, i % 10 == 0 ? "note" : ""});
    }
    std::sort(c.entries.begin(), c.entries.end(),
              [](const dict_test::Texts& a, const dict_test::Texts& b) { return a.source < b.source; });
    c.fileText = dict_test::FileText(c.entries);
    return c;
  }();
  return corpus;
}

void BM_LoadFromTXTFile(benchmark::State& state) {
  const Corpus& corpus = TheCorpus();
  fixtures::TempDir dir;
  std::string path = dir.File("chs.txt");
  fixtures::WriteFileText(path, corpus.fileText);
  for (auto _ : state) {
    BRXStringDict dict;
    uint32_t loaded = dict.LoadFromTXTFileA(path.c_str());
    if (loaded != kEntries) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(loaded);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(corpus.fileText.size()));
  state.counters["file_MB"] = double(corpus.fileText.size()) / 1e6;
}
BENCHMARK(BM_LoadFromTXTFile)->Unit(benchmark::kMillisecond);

void BM_LoadFromTXTBuffer(benchmark::State& state) {
  const Corpus& corpus = TheCorpus();
  for (auto _ : state) {
    BRXStringDict dict;
    uint32_t loaded = dict.LoadFromTXTBuffer(corpus.fileText.c_str());
    if (loaded != kEntries) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(loaded);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(corpus.fileText.size()));
}
BENCHMARK(BM_LoadFromTXTBuffer)->Unit(benchmark::kMillisecond);

// The corpus as the shared dictionary, loaded from a file in dir.
const BRXStringDict& LoadShared(const Corpus& corpus, const fixtures::TempDir& dir) {
  std::string path = dir.File("chs.txt");
  fixtures::WriteFileText(path, corpus.fileText);
  return dictionary::SharedDictionary(path.c_str());
}

const BRXStringEntry* Find(const BRXStringDict& dict, const char* key, bool shared) {
  return shared ? dictionary::FindSharedEntry(dict, key) : dict.FindEntry(key);
}

// Loads the corpus as the shared dictionary, then looks the keys up one
// after another, round and round, for as long as the benchmark runs.
// Returns the number of hits, or -1 with the benchmark skipped when the
// dictionary does not load whole.
int64_t LookUpInTurn(benchmark::State& state, const std::vector<std::string>& keys) {
  fixtures::TempDir dir;
  const BRXStringDict& dict = LoadShared(TheCorpus(), dir);
  if (dict.GetCount() != kEntries) {
    state.SkipWithError("load failed");
    return -1;
  }
  size_t i = 0;
  int64_t found = 0;
  for (auto _ : state) {
    found += Find(dict, keys[i].c_str(), state.range(0) != 0) != nullptr;
    if (++i == keys.size()) i = 0;
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
  return found;
}

void BM_FindEntry(benchmark::State& state) {
  const Corpus& corpus = TheCorpus();
  // Keys in a scattered order, half of them with spaces around, as a
  // patcher's texts come.
  std::vector<std::string> keys;
  for (int i = 0; i < kEntries; ++i) {
    const std::string& s = corpus.entries[size_t(i) * 7919 % kEntries].source;
    keys.push_back(i % 2 ? " " + s + "  " : s);
  }
  const int64_t found = LookUpInTurn(state, keys);
  if (found < 0) return;
  if (found != int64_t(state.iterations())) state.SkipWithError("a present key was missed");
  state.counters["hit_rate"] = double(found) / double(state.iterations());
}
BENCHMARK(BM_FindEntry)->Arg(0)->Arg(1);

// FindSharedEntries on groups of as many keys as a package of dialogue
// holds, as the package patcher looks them up.
void BM_FindEntriesTogether(benchmark::State& state) {
  const Corpus& corpus = TheCorpus();
  fixtures::TempDir dir;
  const BRXStringDict& dict = LoadShared(corpus, dir);
  const size_t group = size_t(state.range(0));
  // Back to back, as the patcher gathers a package's texts.
  std::string texts;
  std::vector<size_t> starts;
  for (int i = 0; i < kEntries; ++i) {
    starts.push_back(texts.size());
    texts += corpus.entries[size_t(i) * 7919 % kEntries].source;
    texts += '\0';
  }
  std::vector<const char*> keys;
  for (size_t start : starts) keys.push_back(texts.data() + start);
  std::vector<const BRXStringEntry*> found(group);
  size_t at = 0;
  int64_t hits = 0;
  for (auto _ : state) {
    if (at + group > keys.size()) at = 0;
    dictionary::FindSharedEntries(dict, keys.data() + at, group, found.data());
    for (const BRXStringEntry* entry : found) hits += entry != nullptr;
    at += group;
  }
  if (hits != int64_t(state.iterations()) * int64_t(group)) state.SkipWithError("a present key was missed");
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(group));
}
BENCHMARK(BM_FindEntriesTogether)->Arg(1)->Arg(16)->Arg(88);

void BM_FindEntryMiss(benchmark::State& state) {
  const Corpus& corpus = TheCorpus();
  std::vector<std::string> keys;
  for (int i = 0; i < 4096; ++i) keys.push_back(corpus.entries[size_t(i) * 24 % kEntries].source + "?");
  if (LookUpInTurn(state, keys) > 0) state.SkipWithError("unexpected hit");
}
BENCHMARK(BM_FindEntryMiss)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
