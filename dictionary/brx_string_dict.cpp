// BRXStringDict: construction, the text store, text comparison and the
// lookups by source text.
#include "dictionary/brx_string_dict.h"

#include <cstring>
#include <initializer_list>
#include <new>

#include "common/bytes.h"
#include "dictionary/dict_keys.h"

char BRXStringDict::emptyText[4] = {0, 0, 0, 0};

BRXStringDict::BRXStringDict()
    : path{},
      textStore(nullptr),
      textSize(0),
      entries(nullptr),
      textCapacity(0),
      textUsed(0),
      entryCapacity(0),
      segmentSource(emptyText),
      segmentTarget(emptyText),
      count(0),
      loadFailure{},
      loadFailureEntry(0),
      loadFailureOffset(0) {}

BRXStringDict::~BRXStringDict() { Clear(); }

void BRXStringDict::Clear() {
  EndSegment();  // the cursors may point into the store released here
  delete[] textStore;
  delete[] entries;
  textStore = nullptr;
  entries = nullptr;
  count = 0;
  entryCapacity = 0;
  textCapacity = 0;
  textUsed = 0;
  textSize = 0;
}

void BRXStringDict::EndSegment() {
  segmentSource = emptyText;
  segmentTarget = emptyText;
}

char* BRXStringDict::TrimSpaces(char* text, int mode, uint32_t* length) {
  if (text == nullptr) return nullptr;
  size_t n = strlen(text);
  while (n >= 1 && text[n - 1] == ' ') text[--n] = '\0';
  if (n == 0) {
    if (length != nullptr) *length = 0;
    return text;
  }
  size_t lead = 0;
  while (text[lead] == ' ') ++lead;  // stops at the last byte, not a space
  char* result;
  if (mode == 0) {
    result = text + lead;
  } else if (mode == 1) {
    memmove(text, text + lead, n - lead + 1);
    result = text;
  } else {
    return nullptr;
  }
  if (length != nullptr) *length = static_cast<uint32_t>(n - lead);
  return result;
}

int BRXStringDict::CompareText(const char* a, const char* b) {
  // strcmp orders by unsigned byte values, a text before every longer text
  // it begins.
  const int order = strcmp(a, b);
  return order < 0 ? kBefore : order > 0 ? kAfter : kEqual;
}

bool BRXStringDict::Search(const char* key, uint32_t keyLength, uint32_t* index) const {
  // Unsigned 32-bit bounds: hi wraps to 0xFFFFFFFF below entry 0, which
  // ends the search; lo is then the insertion point.
  uint32_t lo = 0;
  uint32_t hi = count - 1;
  while (lo <= hi) {
    uint32_t mid = static_cast<uint32_t>((uint64_t(lo) + hi) / 2);
    if (mid >= count || hi == 0xFFFFFFFFu) break;
    int order = dict_keys::Compare(key, keyLength, entries[mid].source);
    if (order == kEqual) {
      *index = mid;
      return true;
    }
    if (order == kBefore) {
      hi = mid - 1;
    } else {
      lo = mid + 1;
    }
  }
  *index = lo;
  return false;
}

const BRXStringEntry* BRXStringDict::GetEntry(uint32_t index) const {
  return index < count ? &entries[index] : nullptr;
}

bool BRXStringDict::GetLoadFailurePlace(uint32_t* entry, uint32_t* offset) const {
  if (loadFailure[0] == '\0') return false;
  *entry = loadFailureEntry;
  *offset = loadFailureOffset;
  return true;
}

const BRXStringEntry* BRXStringDict::FindEntry(const char* key) const {
  if (key == nullptr || entries == nullptr) return nullptr;
  uint32_t length;
  const char* trimmed = dict_keys::Trimmed(key, &length);
  uint32_t index;
  return Search(trimmed, length, &index) ? &entries[index] : nullptr;
}

uint32_t BRXStringDict::FindIndex(const char* key) const {
  if (key == nullptr || entries == nullptr) return kNoIndex;
  uint32_t length;
  const char* trimmed = dict_keys::Trimmed(key, &length);
  uint32_t index;
  Search(trimmed, length, &index);
  return index;
}

const BRXStringEntry* BRXStringDict::FindEntryByID(uint32_t id) const {
  if (entries == nullptr) return nullptr;
  uint32_t lo = 0;
  uint32_t hi = count - 1;
  while (lo <= hi) {
    uint32_t mid = static_cast<uint32_t>((uint64_t(lo) + hi) / 2);
    if (mid >= count || hi == 0xFFFFFFFFu) break;
    // The first four bytes of the source as a little-endian number; a
    // shorter source counts as its bytes up to the zero, zero-filled.
    uint8_t head[4] = {0, 0, 0, 0};
    const char* source = entries[mid].source;
    for (int i = 0; i < 4 && source[i] != '\0'; ++i) head[i] = static_cast<uint8_t>(source[i]);
    uint32_t value = bytes::LoadU32LE(head);
    if (id == value) return &entries[mid];
    if (id > value) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
  }
  return nullptr;
}

bool BRXStringDict::ReplaceStore(uint64_t newCapacity, char** oldStore) {
  // The store's sizes are 32-bit; a store that would outgrow them is
  // refused like exhausted memory.
  if (newCapacity > 0xFFFFFFF0u) return false;
  char* fresh = new (std::nothrow) char[newCapacity + 4]();
  if (fresh == nullptr) return false;
  char* old = textStore;
  if (old != nullptr) {
    memcpy(fresh, old, textCapacity);
    // Move every text pointer that lies in the old store by the distance
    // between the stores; pointers at emptyText stay where they are.
    const auto base = reinterpret_cast<uintptr_t>(old);
    for (uint32_t i = 0; i < count; ++i) {
      for (char** field : {&entries[i].source, &entries[i].target, &entries[i].remark}) {
        auto at = reinterpret_cast<uintptr_t>(*field);
        if (*field != nullptr && at >= base && at - base <= textCapacity)
          *field = fresh + (at - base);
      }
    }
  }
  EndSegment();  // the cursors pointed into the old store
  textStore = fresh;
  textCapacity = static_cast<uint32_t>(newCapacity);
  *oldStore = old;
  return true;
}

bool BRXStringDict::ReserveEntries() {
  if (uint64_t(count) + 2 < entryCapacity) return true;
  uint64_t capacity = uint64_t(entryCapacity) + 10000;
  if (capacity > 0xFFFFFFFFu) return false;
  auto* fresh = new (std::nothrow) BRXStringEntry[capacity]();
  if (fresh == nullptr) return false;
  if (count > 0) memcpy(fresh, entries, sizeof(BRXStringEntry) * count);
  delete[] entries;
  entries = fresh;
  entryCapacity = static_cast<uint32_t>(capacity);
  return true;
}
