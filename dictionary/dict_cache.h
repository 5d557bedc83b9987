// The translation dictionary as the patchers use it: exactly what a fresh
// load of the file would give, parsed only when the file has changed.
//
// Both patchers look texts up in "chs.txt": the package patcher once per
// package with dialogue event exports, the movie patcher once per movie.
// Parsing a dictionary of several megabytes anew for each of a thousand
// packages would cost minutes, so the parsed dictionary is kept and handed
// out again for as long as the file is the same: same resolved path (the current directory is looked at every time),
// same size, same modification and change times, same file on the same
// volume. Any edit, replacement, removal or return of the file between two
// uses makes the next use load it afresh, with the results (entries, a
// failure, the failure's message) of that fresh load.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "dictionary/brx_string_dict.h"

namespace dictionary {

// The dictionary loaded from name (resolved like LoadFromTXTFileA). Valid
// until the next call; a failed load gives an empty dictionary, whose
// GetLoadFailureMessage() tells why, as a fresh one would.
const BRXStringDict& SharedDictionary(const char* name);

// dictionary.FindEntry(key): the same entry, found faster when dictionary is
// the one SharedDictionary returned last and its sources are in strictly
// ascending order (as a dictionary the tools save is): its entries are then
// looked up by a hash of their source, made at the load, rather than by a
// binary search that reads a dozen sources scattered over the text.
const BRXStringEntry* FindSharedEntry(const BRXStringDict& dictionary, const char* key);

// FindSharedEntry for count keys at once: found[i] is the entry of keys[i]
// (none null). Looked up together, the keys' reads of a dictionary larger
// than the processor's caches overlap, which makes each lookup several
// times faster than alone.
void FindSharedEntries(const BRXStringDict& dictionary, const char* const* keys, size_t count,
                       const BRXStringEntry** found);

// One version of the dictionary for as long as the object lives: the first
// SharedDictionary call in its lifetime checks the file as above, every
// later one hands out that same dictionary without looking at the file. The
// package patcher holds one for each package, so that a dictionary edited
// during a run reaches a package whole, entirely old or entirely new, and
// the file is looked at once per package instead of once per export.
class SharedDictionaryVersion {
 public:
  SharedDictionaryVersion();
  ~SharedDictionaryVersion();
  SharedDictionaryVersion(const SharedDictionaryVersion&) = delete;
  SharedDictionaryVersion& operator=(const SharedDictionaryVersion&) = delete;
};

// How many times SharedDictionary has parsed a file: the number of the load
// that it hands out now. Two calls that give the same number hand out the
// very same dictionary.
uint64_t SharedDictionaryLoads();

// For a helper thread that works ahead of the one that calls
// SharedDictionary: calls use with the dictionary loaded last and the number
// of its load, which no load replaces until use returns (FindSharedEntry
// may be used on it meanwhile). The file is not looked at: whether that
// load is still the file's is for SharedDictionary to tell later. False,
// without calling use, when no dictionary with entries is loaded or a load
// is under way.
bool WithLoadedSharedDictionary(const std::function<void(const BRXStringDict&, uint64_t load)>& use);

}  // namespace dictionary
