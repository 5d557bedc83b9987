#include "dictionary/dict_cache.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string_view>
#include <vector>

#include "dictionary/dict_keys.h"
#include "platform/platform.h"

namespace dictionary {

namespace {

struct Cache {
  // Held while a load replaces dictionary, slots and loads, and while a
  // helper thread looks texts up in them (WithLoadedSharedDictionary). The
  // thread that loads is the only one that changes them, so it reads them
  // without the lock.
  std::mutex replacing;
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
  // The sources are hashed first, in order, so that every slot can be
  // fetched a few entries before it is filled: the slots are spread over
  // more memory than the processor's caches hold.
  std::vector<size_t> first;
  try {
    first.resize(count);
  } catch (const std::bad_alloc&) {
    slots->clear();
    return;
  }
  for (uint32_t i = 0; i < count; ++i) {
    const char* source = dictionary.GetEntry(i)->source;
    first[i] = HashOf(source, strlen(source)) & (size - 1);
  }
  constexpr uint32_t kAhead = 16;
  for (uint32_t i = 0; i < count; ++i) {
    if (i + kAhead < count) __builtin_prefetch(&(*slots)[first[i + kAhead]], 1);
    uint32_t position;
    if (!StorePosition(dictionary, dictionary.GetEntry(i)->source, &position)) {
      slots->clear();
      return;
    }
    size_t slot = first[i];
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
  std::lock_guard<std::mutex> hold(cache.replacing);
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

namespace {

// The index's answer for a key trimmed to length bytes, its probe starting
// at slot.
const BRXStringEntry* Probe(const Cache& cache, const BRXStringDict& dictionary, const char* trimmed,
                            uint32_t length, size_t slot) {
  const size_t mask = cache.slots.size() - 1;
  const char* store = dictionary.GetTextStore();
  const uint64_t storeSize = dictionary.GetTextSize();
  for (; cache.slots[slot] != 0; slot = (slot + 1) & mask) {
    const uint64_t value = cache.slots[slot];
    const BRXStringEntry* entry = dictionary.GetEntry(uint32_t(value) - 1);
    // The caller reads the entry next: fetched while the source is compared.
    __builtin_prefetch(entry);
    const uint64_t position = value >> 32;
    const char* source = store + position;
    // Where the key's bytes and the byte after them lie inside the store,
    // they are compared whole; otherwise byte by byte, up to the source's
    // end.
    const bool equal = position + length < storeSize
                           ? std::memcmp(trimmed, source, length) == 0 && source[length] == 0
                           : dict_keys::Compare(trimmed, length, source) == BRXStringDict::kEqual;
    if (equal) return entry;
  }
  return nullptr;
}

bool Indexed(const Cache& cache, const BRXStringDict& dictionary) {
  return &dictionary == cache.dictionary.get() && !cache.slots.empty();
}

}  // namespace

const BRXStringEntry* FindSharedEntry(const BRXStringDict& dictionary, const char* key) {
  const Cache& cache = TheCache();
  if (key == nullptr || !Indexed(cache, dictionary)) return dictionary.FindEntry(key);
  uint32_t length;
  const char* trimmed = dict_keys::Trimmed(key, &length);
  return Probe(cache, dictionary, trimmed, length, HashOf(trimmed, length) & (cache.slots.size() - 1));
}

void FindSharedEntries(const BRXStringDict& dictionary, const char* const* keys, size_t count,
                       const BRXStringEntry** found) {
  const Cache& cache = TheCache();
  if (!Indexed(cache, dictionary)) {
    for (size_t i = 0; i < count; ++i) found[i] = dictionary.FindEntry(keys[i]);
    return;
  }
  // The keys go in groups, each step done for the whole group before the
  // next: the memory that a step reads for one key was asked for while the
  // step before it ran for the others, so the reads of a group overlap
  // instead of following one another.
  constexpr size_t kGroup = 16;
  const size_t mask = cache.slots.size() - 1;
  const char* store = dictionary.GetTextStore();
  struct Key {
    const char* trimmed;
    uint32_t length;
    size_t slot;
  } group[kGroup];
  for (size_t first = 0; first < count; first += kGroup) {
    const size_t n = std::min(kGroup, count - first);
    for (size_t i = 0; i < n; ++i) {
      Key& key = group[i];
      key.trimmed = dict_keys::Trimmed(keys[first + i], &key.length);
      key.slot = HashOf(key.trimmed, key.length) & mask;
      __builtin_prefetch(&cache.slots[key.slot]);
    }
    for (size_t i = 0; i < n; ++i) {
      if (const uint64_t value = cache.slots[group[i].slot]; value != 0) {
        // A source of a sentence or two spans two cache lines.
        __builtin_prefetch(store + (value >> 32));
        __builtin_prefetch(store + (value >> 32) + 64);
        __builtin_prefetch(dictionary.GetEntry(uint32_t(value) - 1));
      }
    }
    for (size_t i = 0; i < n; ++i) {
      found[first + i] = Probe(cache, dictionary, group[i].trimmed, group[i].length, group[i].slot);
      // The caller reads the translation next.
      if (found[first + i] != nullptr) __builtin_prefetch(found[first + i]->target);
    }
  }
}

bool WithLoadedSharedDictionary(const std::function<void(const BRXStringDict&, uint64_t load)>& use) {
  Cache& cache = TheCache();
  std::unique_lock<std::mutex> hold(cache.replacing, std::try_to_lock);
  if (!hold.owns_lock() || cache.dictionary == nullptr || cache.dictionary->GetCount() == 0) return false;
  use(*cache.dictionary, cache.loads);
  return true;
}

SharedDictionaryVersion::SharedDictionaryVersion() { ++TheCache().versionHolds; }

SharedDictionaryVersion::~SharedDictionaryVersion() {
  Cache& cache = TheCache();
  if (--cache.versionHolds == 0) cache.versionChecked = false;
}

uint64_t SharedDictionaryLoads() { return TheCache().loads; }

}  // namespace dictionary
