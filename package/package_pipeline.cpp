#include "package/package_pipeline.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <new>
#include <string>

#include "package/dialogue_rewrite.h"
#include "package/package_decompress.h"
#include "platform/parallel.h"
#include "platform/platform.h"

namespace package {

namespace {

constexpr char kPipelineVariable[] = "HANHUA_PIPELINE";
constexpr char kBackupSuffix[] = ".bak";
constexpr uint64_t kMinBudget = 8u << 20;
// The builder translates a package it has built only when the patcher has
// at least this many images waiting besides it: translating is work that
// either thread can do, building is the builder's alone, so a builder
// that the patcher is about to catch up with leaves the translation to the
// patcher and builds on.
constexpr size_t kTranslateWhenWaiting = 2;

// An image built ahead, what it was built from, and its dialogue event
// exports translated.
struct Prepared {
  std::string filePath;  // the listed file whose backup it is
  platform::FileIdentity identity;
  PackageImage image;
  TranslatedAhead translated;
  bool built = false;

  // The bytes it holds, for the memory rule.
  uint64_t Held() const { return built ? image.size + translated.relocated.bodies.size() : 0; }
};

// The packages announced and the images built for them. The builder (one
// piece of background work at a time) takes the announced packages up in
// order, one after another, for as long as there are any and the images it
// holds stay within the budget; the patcher takes the images in turn.
struct Pipeline {
  std::mutex lock;  // guards everything below but background
  std::deque<std::string> announced;  // not taken up yet
  std::string building;               // the package being built; empty: none
  std::deque<Prepared> built;         // in the order announced
  uint64_t held = 0;                  // bytes of the images in built
  bool running = false;               // the builder is at work
  bool stop = false;                  // the builder takes nothing more up
  bool waitingForRoom = false;        // the first announced did not fit beside built
  // Declared last, so destroyed first: nothing is being built while the
  // images go.
  platform::Background background;
};

Pipeline& ThePipeline() {
  static Pipeline pipeline;
  return pipeline;
}

std::atomic<int> g_forcedPipeline{-1};
std::atomic<uint64_t> g_largestImage{0};

// Bytes that built images and a build may hold together: half the largest
// image of the run so far, or kMinBudget where that is more.
uint64_t Budget() { return std::max(g_largestImage.load() / 2, kMinBudget); }

// The same file as was read: the move aside keeps file, size and
// modification time (only the change time moves with the rename and marks).
bool SameFile(const platform::FileIdentity& a, const platform::FileIdentity& b) {
  return a.fileId == b.fileId && a.volume == b.volume && a.size == b.size && a.modified == b.modified;
}

// Builds prepared's image from the backup of its file, within budget
// bytes. kOutOfMemory: it does not fit. The file itself is never read: it is
// about to be moved aside, and Windows does not move a file open for
// reading.
Failure BuildAhead(Prepared& prepared, uint64_t budget) try {
  const std::string backupPath = prepared.filePath + kBackupSuffix;
  const char* source = backupPath.c_str();
  platform::File opened = platform::OpenRead(source);
  platform::FileHolder file(opened);
  if (!file.is_open()) return Failure::kBackupUnopened;
  Failure failure = Failure::kNoSize;
  ImageBytes bytes;
  uint32_t size = 0;
  if (platform::GetFileIdentity(source, &prepared.identity)) {
    failure = BuildPackageImage(file.get(), &bytes, &size, budget);
  }
  // An image without table fields is built again in its turn, which fails.
  if (failure == Failure::kNone && !TakeImage(std::move(bytes), size, &prepared.image)) failure = Failure::kDamaged;
  file.Close();
  prepared.built = failure == Failure::kNone;
  return failure;
} catch (const std::bad_alloc&) {
  return Failure::kOutOfMemory;  // not built: the package is built in its turn
}

// Takes the package at the front of the announced ones up, builds it and
// files the result under built. False when the builder is to stop: the
// package did not fit (where images are held, it goes back to the front to
// wait for room; else it is built in its turn, with the helper that this
// work would keep busy). Called with hold locked; returns with it locked.
bool BuildNext(Pipeline& pipeline, std::unique_lock<std::mutex>& hold) {
  Prepared prepared;
  try {
    prepared.filePath = pipeline.announced.front();
    pipeline.building = prepared.filePath;
  } catch (const std::bad_alloc&) {
    return false;
  }
  pipeline.announced.pop_front();
  const uint64_t limit = Budget();
  const uint64_t budget = limit - std::min(limit, pipeline.held);
  hold.unlock();
  const Failure failure = BuildAhead(prepared, budget);
  hold.lock();
  // The package is translated here while the patcher has images enough to
  // go on with; otherwise (and when it already waits for this very
  // package) it is the patcher's to translate, while this thread goes on to
  // the next package.
  if (prepared.built && !pipeline.stop && pipeline.built.size() >= kTranslateWhenWaiting) {
    hold.unlock();
    TranslateAhead(prepared.image, &prepared.translated);
    hold.lock();
  }
  pipeline.building.clear();
  try {
    if (failure == Failure::kOutOfMemory && pipeline.held > 0) {
      pipeline.announced.push_front(std::move(prepared.filePath));
      pipeline.waitingForRoom = true;
      return false;
    }
    pipeline.built.push_back(std::move(prepared));
  } catch (const std::bad_alloc&) {
    return false;  // not filed: built in its turn
  }
  pipeline.held += pipeline.built.back().Held();
  return failure != Failure::kOutOfMemory;
}

// The builder: builds the announced packages in order until none is left,
// it is told to stop, or one does not fit.
void BuildAnnounced(Pipeline& pipeline) {
  std::unique_lock<std::mutex> hold(pipeline.lock);
  while (!pipeline.stop && !pipeline.announced.empty() && BuildNext(pipeline, hold)) {
  }
  pipeline.running = false;
}

// Starts the builder when it is idle and there is work for it (a package
// waiting for room only once no image is held). Called with hold locked;
// returns with it locked.
void StartBuilder(Pipeline& pipeline, std::unique_lock<std::mutex>& hold) {
  if (pipeline.running || pipeline.announced.empty() || (pipeline.waitingForRoom && pipeline.held > 0)) return;
  pipeline.waitingForRoom = false;
  pipeline.running = true;
  pipeline.stop = false;
  hold.unlock();
  pipeline.background.Start([&pipeline] { BuildAnnounced(pipeline); });
  hold.lock();
}

// Waits until the builder has stopped (helping with its decompression
// meanwhile). Called with hold locked; returns with it locked.
void StopBuilder(Pipeline& pipeline, std::unique_lock<std::mutex>& hold) {
  pipeline.stop = true;
  hold.unlock();
  pipeline.background.Wait();
  hold.lock();
  pipeline.stop = false;
}

// Takes the image built for filePath out of built (dropping those before
// it, whose packages went by). False when there is none.
bool TakeBuilt(Pipeline& pipeline, const char* filePath, Prepared* prepared) {
  auto found = std::find_if(pipeline.built.begin(), pipeline.built.end(),
                            [filePath](const Prepared& p) { return p.filePath == filePath; });
  if (found == pipeline.built.end()) return false;
  *prepared = std::move(*found);
  for (auto at = pipeline.built.begin(); at != found; ++at) pipeline.held -= at->Held();
  pipeline.held -= prepared->Held();
  pipeline.built.erase(pipeline.built.begin(), found + 1);
  return true;
}

}  // namespace

bool PipelineEnabled() {
  if (int forced = g_forcedPipeline.load(); forced >= 0) return forced == 1 && DecompressionThreads() > 1;
  static const bool enabled = [] {
    char value[8];
    const uint32_t length = platform::EnvironmentValue(kPipelineVariable, value, sizeof value);
    return !(length == 1 && value[0] == '0');
  }();
  return enabled && DecompressionThreads() > 1;
}

void SetPipeline(int on) { g_forcedPipeline.store(on < 0 ? -1 : on != 0 ? 1 : 0); }

void PreparePackage(const char* filePath) {
  if (!PipelineEnabled()) return;
  Pipeline& pipeline = ThePipeline();
  std::unique_lock<std::mutex> hold(pipeline.lock);
  if (filePath == nullptr) {
    // Every package announced is built, or found not to fit, before this
    // returns.
    hold.unlock();
    pipeline.background.Wait();
    return;
  }
  try {
    pipeline.announced.emplace_back(filePath);
  } catch (const std::bad_alloc&) {
    return;
  }
  StartBuilder(pipeline, hold);
}

bool TakePreparedImage(const char* filePath, PackageImage* image, TranslatedAhead* translated) {
  Pipeline& pipeline = ThePipeline();
  Prepared prepared;
  {
    std::unique_lock<std::mutex> hold(pipeline.lock);
    if (pipeline.building == filePath) StopBuilder(pipeline, hold);
    // Not taken up yet, or waiting for room: built in its turn, and the
    // builder moves on past it.
    auto waiting = std::find(pipeline.announced.begin(), pipeline.announced.end(), filePath);
    if (waiting != pipeline.announced.end()) {
      pipeline.announced.erase(pipeline.announced.begin(), waiting + 1);
      pipeline.waitingForRoom = false;
    }
    if (!TakeBuilt(pipeline, filePath, &prepared) || !prepared.built) {
      // Built in its turn, with the helper that the builder would keep busy.
      if (pipeline.running) StopBuilder(pipeline, hold);
      return false;
    }
  }
  platform::FileIdentity now;
  try {
    const std::string backupPath = prepared.filePath + kBackupSuffix;
    if (!platform::GetFileIdentity(backupPath.c_str(), &now) || !SameFile(now, prepared.identity)) return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  *image = std::move(prepared.image);
  if (translated != nullptr) *translated = std::move(prepared.translated);
  return true;
}

void ResumePreparing() {
  if (!PipelineEnabled()) return;
  Pipeline& pipeline = ThePipeline();
  std::unique_lock<std::mutex> hold(pipeline.lock);
  StartBuilder(pipeline, hold);
}

void NoteImageSize(uint32_t size) {
  uint64_t largest = g_largestImage.load();
  while (size > largest && !g_largestImage.compare_exchange_weak(largest, size)) {
  }
}

}  // namespace package
