// A dictionary text file as hanhua-dict reads it: loaded by the dictionary's
// own loader, exactly as the patchers load chs.txt, with the line of every
// entry and of each of its texts, so that every report can name the file,
// the entry and the line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dictionary/brx_string_dict.h"
#include "tools/dict/diagnostics.h"

namespace dict_tool {

// The line numbers (from 1) of a text: where each byte offset lies. Built
// with one scan of the text for its line feeds.
class LineIndex {
 public:
  LineIndex() = default;
  explicit LineIndex(std::string_view text);
  uint32_t LineOf(uint64_t offset) const;

 private:
  std::vector<uint64_t> starts_;  // offset of the first byte of each line
};

// Which text of an entry.
enum class Field { kSource, kTarget, kRemark };
const char* FieldName(Field field);

// Where an entry lies in its file: the offset of its "qzrtn_res_No." line
// and of its three texts.
struct EntryPlace {
  uint64_t marker = 0;
  uint64_t texts[3] = {0, 0, 0};
};

// Why a dictionary file could not be loaded.
enum class LoadFailure {
  kNone,
  kUnreadable,     // missing, or cannot be read
  kEmpty,          // size 0
  kTooLarge,       // above 200,000,000 bytes
  kPathTooLong,    // longer than the loader stores (BRXStringDict::kPathCapacity)
  kNoEntry,        // no entry marker at all
  kMissingMarker,  // a section marker of an entry is missing
  kChanged,        // the file changed while it was read
};

struct DictFile {
  std::string path;
  std::string text;  // the file's bytes
  BRXStringDict dict;
  LineIndex lines;
  std::vector<EntryPlace> places;  // one per entry, in file order

  uint32_t count() const { return dict.GetCount(); }
  const BRXStringEntry& entry(uint32_t index) const { return *dict.GetEntry(index); }
  std::string_view Text(uint32_t index, Field field) const;
  uint32_t EntryLine(uint32_t index) const { return lines.LineOf(places[index].marker); }
  uint32_t TextLine(uint32_t index, Field field) const {
    return lines.LineOf(places[index].texts[static_cast<int>(field)]);
  }
  // The line of the byte at offset within a text of an entry.
  uint32_t LineInText(uint32_t index, Field field, uint64_t offset) const {
    return lines.LineOf(places[index].texts[static_cast<int>(field)] + offset);
  }
};

struct LoadError {
  LoadFailure failure = LoadFailure::kNone;
  uint32_t entry = 0;  // kMissingMarker: the entry being read
  uint32_t line = 0;   // kMissingMarker: the line of its entry marker
  std::string loaderMessage;  // kMissingMarker: the loader's own message (GBK)
};

// Loads the dictionary file at path into file. False with error set when it
// cannot be loaded (the dictionary is then empty).
bool LoadDictFile(const std::string& path, DictFile* file, LoadError* error);

// Reports a failed load as an error of path, with the loader's own message
// where it has one.
void ReportLoadError(const std::string& path, const LoadError& error, Diagnostics* diagnostics);

// LoadDictFile, reporting the error when it fails.
bool LoadDictFileOrReport(const std::string& path, DictFile* file, Diagnostics* diagnostics);

}  // namespace dict_tool
