// The dictionary a run installs: where it is looked for, and the check it
// must pass before any file of the game is touched.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace setup {

inline constexpr char kDictionaryName[] = "chs.txt";

// The first folder of folders that holds a chs.txt (a regular file), as its
// path; empty when none does.
std::string LocateDictionary(const std::vector<std::string>& folders);

struct DictionaryVerdict {
  bool usable = false;
  uint32_t entries = 0;
  std::string problem;  // what is wrong, in a player's words (UTF-8)
  std::string advice;   // what to do about it
};

// Loads the dictionary at path as the patchers load it and checks it as
// "hanhua-dict check" does: it is usable when it loads, holds at least one
// entry and has no error (markers, order, duplicates, line breaks, UTF-8).
DictionaryVerdict CheckDictionary(const std::string& path);

// A private copy of the dictionary, named chs.txt in a folder of its own:
// the patchers read "chs.txt" from the current folder, so a run works in
// this folder, and the copy that was checked is the one used throughout,
// whatever happens to the player's file meanwhile. Removed on destruction.
class DictionaryCopy {
 public:
  DictionaryCopy() = default;
  ~DictionaryCopy();
  DictionaryCopy(const DictionaryCopy&) = delete;
  DictionaryCopy& operator=(const DictionaryCopy&) = delete;

  // False when the copy cannot be made.
  bool Make(const std::string& source);
  const std::string& folder() const { return folder_; }
  std::string path() const;

 private:
  void Remove();
  std::string folder_;
};

}  // namespace setup
