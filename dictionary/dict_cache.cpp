#include "dictionary/dict_cache.h"

#include <cstring>
#include <memory>
#include <new>

#include "platform/platform.h"

namespace {

struct Cache {
  std::unique_ptr<BRXStringDict> dictionary;
  char path[BRXStringDict::kPathCapacity] = {};
  bool present = false;  // the file existed when it was loaded
  platform::FileIdentity identity;
  // False while the file's modification time lies so close to the load that
  // a later write could leave it unchanged: such a parse is used once only.
  bool settled = false;
  uint64_t loads = 0;
};

// Timestamps of some file systems move in steps of up to two seconds.
constexpr uint64_t kTimestampMarginSeconds = 2;

Cache& TheCache() {
  static Cache cache;
  return cache;
}

}  // namespace

const BRXStringDict& SharedDictionary(const char* name) {
  Cache& cache = TheCache();
  char path[BRXStringDict::kPathCapacity];
  const bool formed = BRXStringDict::FormPath(name, path);
  platform::FileIdentity identity;
  const bool present = formed && platform::GetFileIdentity(path, &identity);

  const bool same = cache.dictionary != nullptr && cache.settled && formed &&
                    strcmp(cache.path, path) == 0 &&
                    present == cache.present && (!present || identity == cache.identity);
  if (same) return *cache.dictionary;

  // The identity is taken before the load: a file changed while it is read
  // differs from it at the next use and is loaded again then.
  // The old dictionary goes first, so that two are never held at once.
  cache.dictionary.reset();
  cache.dictionary.reset(new (std::nothrow) BRXStringDict());
  if (cache.dictionary == nullptr) {
    // No memory even for the object: an empty dictionary, as a load that
    // runs out of memory leaves it; nothing is kept.
    static const BRXStringDict empty;
    return empty;
  }
  cache.dictionary->LoadFromTXTFileA(name);
  ++cache.loads;
  // A name that forms no path is never matched above (formed is false), so
  // it fails afresh every time.
  if (formed) memcpy(cache.path, path, sizeof path);
  cache.present = present;
  cache.identity = identity;
  const uint64_t now = platform::FileTimeNow();
  const uint64_t margin = kTimestampMarginSeconds * platform::kFileTimeUnitsPerSecond;
  cache.settled = !present || (now > identity.modified && now - identity.modified > margin);
  return *cache.dictionary;
}

uint64_t SharedDictionaryLoads() { return TheCache().loads; }
