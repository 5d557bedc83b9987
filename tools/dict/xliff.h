// Dictionaries as XLIFF 1.2 files, for Crowdin, Weblate, OmegaT and
// Translate Toolkit. One trans-unit per entry (id = entry number, from 0):
//
//   <source>       the source
//   <target>       the translation (state "translated"); the source itself
//                  when deliberately identical (state "final"); the
//                  suggestion of a fuzzy entry (state
//                  "needs-review-translation", with an alt-trans holding the
//                  old source); no target when untranslated
//   <note>         the remark (the translator's own lines)
//
// Written and read with pugixml; every text keeps its spaces and line
// breaks (xml:space="preserve", carriage returns as character references).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/dict/dict_build.h"
#include "tools/dict/po.h"

namespace dict_tool {

std::string XliffText(const std::vector<Entry>& entries, const std::string& original);

// The entries of an XLIFF 1.2 file, in file order; each entry's line is
// that of its trans-unit. False with error set for a file that is not
// well-formed XML or not XLIFF, or a unit with markup inside its texts.
bool ReadXliff(std::string_view text, std::vector<Entry>* entries, ReadError* error);

}  // namespace dict_tool
