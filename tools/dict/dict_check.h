// The checks of a dictionary: everything that makes the patcher's lookups
// fail, miss or surprise, each found defect with its entry and line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/dict/diagnostics.h"
#include "tools/dict/dict_file.h"

namespace dict_tool {

enum class Defect {
  kOutOfOrder,        // a source sorts before the one above it
  kDuplicate,         // the same source as an earlier entry
  kSpacesAtEnds,      // a source with spaces at its ends: lookups trim the key, never the source
  kMarkerInText,      // a text holding a marker: a marker line is missing or broken
  kUnreadMarker,      // an entry marker the loader does not take as one
  kInvalidUtf8,       // a text that is not UTF-8
  kZeroByte,          // a zero byte inside a text, which ends it for lookups
  kEmptyTarget,       // the game shows an empty line
  kEmptySource,       // matches every empty text of the game
  kTargetTooLong,     // more UTF-16 units than a dialogue string is written with
};
inline constexpr int kDefectKinds = 10;

// Errors make lookups fail or miss; warnings are what a translator may mean
// but should know about.
bool IsError(Defect defect);
const char* DefectName(Defect defect);

struct Finding {
  Defect defect;
  uint32_t line = 0;
  uint32_t entry = 0;
  std::string message;  // without file, line and entry
};

// The defects of one entry's texts by themselves (everything but order and
// duplicates). lineOf gives the line of a byte offset within a field.
struct TextFinding {
  Defect defect;
  Field field;
  uint64_t offset;  // of the defect within the field's text
  std::string message;
};
std::vector<TextFinding> CheckEntryTexts(std::string_view source, std::string_view target,
                                         std::string_view remark);

// Every defect of a loaded dictionary file, ordered by line.
std::vector<Finding> CheckDictFile(const DictFile& file);

// The short name of a defect's check, as findings carry it ("order",
// "duplicate", "utf-8", ...).
const char* DefectCheckName(Defect defect);

// Reports the findings of path to diagnostics. When diagnostics print, at
// most maxPerKind of each kind are printed (0: all) and one note counts the
// rest; all are counted either way.
void ReportFindings(const std::string& path, const std::vector<Finding>& findings, int maxPerKind,
                    Diagnostics* diagnostics);

// The whole check of the dictionary file at path, as a library call: loads
// it and checks it, printing nothing.
struct CheckResult {
  bool loaded = false;     // false: it does not load (the patcher translates nothing with it)
  uint32_t entries = 0;
  int errors = 0;
  int warnings = 0;
  std::vector<Diagnostic> findings;  // the load error, or every defect, by line
};
CheckResult CheckDictionary(const std::string& path);

}  // namespace dict_tool
