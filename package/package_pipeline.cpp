#include "package/package_pipeline.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <string>

#include "package/package_decompress.h"
#include "platform/parallel.h"
#include "platform/platform.h"

namespace package {

namespace {

constexpr char kPipelineVariable[] = "HANHUA_PIPELINE";
constexpr char kBackupSuffix[] = ".bak";
constexpr uint64_t kMinBudget = 8u << 20;

// An image built ahead, and what it was built from.
struct Prepared {
  std::string filePath;  // the listed file whose backup it is; empty: none
  platform::FileIdentity identity;
  ImageBytes image;
  uint32_t size = 0;
  bool built = false;
};

struct Pipeline {
  Prepared ready;     // built for the package about to be patched
  Prepared building;  // for the package after it, in the background
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

// The same file as was read: the move aside keeps file, size and
// modification time (only the change time moves with the rename and marks).
bool SameFile(const platform::FileIdentity& a, const platform::FileIdentity& b) {
  return a.fileId == b.fileId && a.volume == b.volume && a.size == b.size && a.modified == b.modified;
}

// Builds prepared's image from the backup of its file, or from the file
// itself while it has none; runs in the background.
void BuildAhead(Prepared& prepared, uint64_t budget) try {
  const std::string backupPath = prepared.filePath + kBackupSuffix;
  const char* source = backupPath.c_str();
  platform::File opened = platform::OpenRead(source);
  if (opened == platform::kNoFile) {
    source = prepared.filePath.c_str();
    opened = platform::OpenRead(source);
  }
  platform::FileHolder file(opened);
  if (!file.is_open()) return;
  if (platform::GetFileIdentity(source, &prepared.identity)) {
    prepared.built = BuildPackageImage(file.get(), &prepared.image, &prepared.size, budget) == Failure::kNone;
  }
} catch (const std::bad_alloc&) {
  // Not built: the package is built in its turn.
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
  pipeline.background.Wait();
  pipeline.ready = std::move(pipeline.building);
  pipeline.building = Prepared{};
  if (filePath == nullptr) return;
  try {
    pipeline.building.filePath = filePath;
  } catch (const std::bad_alloc&) {
    return;
  }
  const uint64_t budget = std::max(g_largestImage.load() / 2, kMinBudget);
  pipeline.background.Start([&pipeline, budget] { BuildAhead(pipeline.building, budget); });
}

bool TakePreparedImage(const char* filePath, ImageBytes* image, uint32_t* size) {
  Pipeline& pipeline = ThePipeline();
  Prepared prepared = std::move(pipeline.ready);
  pipeline.ready = Prepared{};
  if (!prepared.built || prepared.filePath != filePath) return false;
  platform::FileIdentity now;
  try {
    const std::string backupPath = prepared.filePath + kBackupSuffix;
    if (!platform::GetFileIdentity(backupPath.c_str(), &now) || !SameFile(now, prepared.identity)) return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  *image = std::move(prepared.image);
  *size = prepared.size;
  return true;
}

void NoteImageSize(uint32_t size) {
  uint64_t largest = g_largestImage.load();
  while (size > largest && !g_largestImage.compare_exchange_weak(largest, size)) {
  }
}

}  // namespace package
