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

// How many times SharedDictionary has parsed a file (for tests and
// benchmarks).
uint64_t SharedDictionaryLoads();

}  // namespace dictionary
