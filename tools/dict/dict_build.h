// Making dictionary files: entries held as plain strings, put in lookup
// order, and written with the dictionary's own writers (text or binary
// form), each file read back to make sure it holds what was meant.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dictionary/brx_string_dict.h"
#include "tools/dict/diagnostics.h"
#include "tools/dict/dict_file.h"

namespace dict_tool {

struct Entry {
  std::string source;
  std::string target;
  std::string remark;
  uint32_t line = 0;  // where it came from, for reports (0: nowhere)
  int64_t entry = kNoEntry;  // the entry of the dictionary it came from, if any
};

// The entries of a loaded dictionary file, in file order, with the line of
// each source.
std::vector<Entry> EntriesOf(const DictFile& file);

// The entries in lookup order (ascending source under CompareText), entries
// with equal sources in their given order.
void SortForLookup(std::vector<Entry>* entries);

// An entry removed because an earlier one has its source.
struct Dropped {
  Entry entry;
  uint32_t keptLine = 0;  // line of the entry kept
  bool sameTarget = false;
};
// Removes, from entries in lookup order, every entry whose source equals the
// one before it, keeping the first. The removed ones go to dropped (when
// given) in their order.
void KeepFirstOfEqualSources(std::vector<Entry>* entries, std::vector<Dropped>* dropped);

// Texts that the text form cannot hold: a text holding one of its markers
// where the file would have it on a line of its own would end or start a
// section there. Reports an error of path (where the entries came from) at
// each such entry's line and says whether there was one.
bool ReportUnwritable(const std::vector<Entry>& entries, const std::string& path, Diagnostics* diagnostics);

// What every import does with the entries it read from path: reports texts
// the dictionary cannot hold and the checks of each entry's texts at the
// entries' lines, sorts them into lookup order and keeps the first of equal
// sources, reporting the others as duplicates of the unit ("record",
// "message") at the kept one's line (with "another target" when
// sameTargetMatters and the targets differ). With no error reported, writes
// the entries to output in the text form (WriteDictionary); otherwise notes
// that output is not written. True when it is written.
bool WriteImportedEntries(std::vector<Entry>* entries, const std::string& path, const std::string& output,
                          const char* unit, bool sameTargetMatters, Diagnostics* diagnostics);

enum class Form { kText, kBinary };

// Writes entries, in their order and byte for byte, to path in the text
// form or the binary form through WriteOutputSafely: the file read back
// from the disk must load into exactly these entries before it replaces
// path. False (after reporting why) when it is not written; path is then
// left as it was.
bool WriteDictionary(const std::vector<Entry>& entries, const std::string& path, Form form,
                     Diagnostics* diagnostics);

}  // namespace dict_tool
