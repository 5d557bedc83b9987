#include "dictionary/dict_cache.h"

#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "dictionary/dict_keys.h"
#include "platform/platform.h"

namespace dictionary {

namespace {

struct Cache {
  std::unique_ptr<BRXStringDict> dictionary;
  // For FindSharedEntry: the entries by their source's hash (open
  // addressing). A slot holds the entry's index + 1 in its low 32 bits (0
  // for an empty slot) and its source's position in the text store in its
  // high 32 bits, so that a lookup reads the source and the entry at the
  // same time rather than one after the other. Empty when the sources are
  // not in strictly ascending order, not all in the text store, or memory
  // was short.
  std::vector<uint64_t> slots;
  char path[BRXStringDict::kPathCapacity] = {};
  bool present = false;  // the file existed when it was loaded
  platform::FileIdentity identity;
  // False while the file's modification time lies so close to the load that
  // a later write could leave it unchanged: such a parse is used once only.
  bool settled = false;
  uint64_t loads = 0;
  // Live SharedDictionaryVersion objects, and whether the file has been
  // checked since the first of them was made.
  int versionHolds = 0;
  bool versionChecked = false;
};

// Timestamps of some file systems move in steps of up to two seconds.
constexpr uint64_t kTimestampMarginSeconds = 2;

Cache& TheCache() {
  static Cache cache;
  return cache;
}

size_t HashOf(const char* text, size_t length) { return std::hash<std::string_view>{}({text, length}); }

// True when every source sorts strictly after the one before it. Only then
// does the binary search of FindEntry find every source and nothing else,
// so that a hash lookup gives the same answers.
bool StrictlyAscending(const BRXStringDict& dictionary) {
  for (uint32_t i = 1; i < dictionary.GetCount(); ++i) {
    if (BRXStringDict::CompareText(dictionary.GetEntry(i - 1)->source, dictionary.GetEntry(i)->source) !=
        BRXStringDict::kBefore)
      return false;
  }
  return true;
}

// The position of text in the dictionary's text store, or false when it
// lies outside it.
bool StorePosition(const BRXStringDict& dictionary, const char* text, uint32_t* position) {
  const uintptr_t store = reinterpret_cast<uintptr_t>(dictionary.GetTextStore());
  const uintptr_t at = reinterpret_cast<uintptr_t>(text);
  if (store == 0 || at < store || at - store >= dictionary.GetTextSize()) return false;
  *position = uint32_t(at - store);
  return true;
}

// Fills slots with the dictionary's entries, or leaves it empty.
void IndexEntries(const BRXStringDict& dictionary, std::vector<uint64_t>* slots) {
  const uint32_t count = dictionary.GetCount();
  if (count == 0 || !StrictlyAscending(dictionary)) return;
  size_t size = 16;
  while (size < size_t(count) * 2) size *= 2;  // at most half full
  try {
    slots->assign(size, 0);
  } catch (const std::bad_alloc&) {
    slots->clear();  // lookups then go without
    return;
  }
  for (uint32_t i = 0; i < count; ++i) {
    const char* source = dictionary.GetEntry(i)->source;
    uint32_t position;
    if (!StorePosition(dictionary, source, &position)) {
      slots->clear();
      return;
    }
    size_t slot = HashOf(source, strlen(source)) & (size - 1);
    while ((*slots)[slot] != 0) slot = (slot + 1) & (size - 1);
    (*slots)[slot] = uint64_t(position) << 32 | (i + 1);
  }
}

}  // namespace

const BRXStringDict& SharedDictionary(const char* name) {
  Cache& cache = TheCache();
  if (cache.versionHolds > 0 && cache.versionChecked && cache.dictionary != nullptr) return *cache.dictionary;
  cache.versionChecked = cache.versionHolds > 0;
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
  cache.slots.clear();
  cache.dictionary.reset(new (std::nothrow) BRXStringDict());
  if (cache.dictionary == nullptr) {
    // No memory even for the object: an empty dictionary, as a load that
    // runs out of memory leaves it; nothing is kept.
    static const BRXStringDict empty;
    return empty;
  }
  cache.dictionary->LoadFromTXTFileA(name);
  ++cache.loads;
  IndexEntries(*cache.dictionary, &cache.slots);
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

const BRXStringEntry* FindSharedEntry(const BRXStringDict& dictionary, const char* key) {
  const Cache& cache = TheCache();
  if (key == nullptr || &dictionary != cache.dictionary.get() || cache.slots.empty())
    return dictionary.FindEntry(key);
  uint32_t length;
  const char* trimmed = dict_keys::Trimmed(key, &length);
  const size_t mask = cache.slots.size() - 1;
  const char* store = dictionary.GetTextStore();
  for (size_t slot = HashOf(trimmed, length) & mask; cache.slots[slot] != 0; slot = (slot + 1) & mask) {
    const uint64_t value = cache.slots[slot];
    const BRXStringEntry* entry = dictionary.GetEntry(uint32_t(value) - 1);
    // The caller reads the entry next: fetched while the source is compared.
    __builtin_prefetch(entry);
    if (dict_keys::Compare(trimmed, length, store + (value >> 32)) == BRXStringDict::kEqual) return entry;
  }
  return nullptr;
}

SharedDictionaryVersion::SharedDictionaryVersion() { ++TheCache().versionHolds; }

SharedDictionaryVersion::~SharedDictionaryVersion() {
  Cache& cache = TheCache();
  if (--cache.versionHolds == 0) cache.versionChecked = false;
}

uint64_t SharedDictionaryLoads() { return TheCache().loads; }

}  // namespace dictionary
