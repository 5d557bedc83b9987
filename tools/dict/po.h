// Dictionaries as GNU gettext PO files, for Poedit, Weblate, Translate
// Toolkit and the other tools translators use. One message per entry:
//
//   #. the remark (the translator's own lines)
//   #: where the text is found, for a remark written by extract
//   #, fuzzy                      a suggestion to review (msgstr holds it)
//   #| msgid "the old source"     the source the suggestion translated
//   msgctxt "entry N"             only for a source that another entry or
//                                 the header already has
//   msgid "the source"
//   msgstr "the target"           empty when untranslated; the source itself
//                                 when deliberately identical
//
// The file is UTF-8 with a header naming it so; texts are written with C
// escapes, every byte but zero representable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/dict/dict_build.h"

namespace dict_tool {

// A text that the interchange files cannot carry, found before anything is
// written.
struct ExportProblem {
  uint32_t entry = 0;  // from 0
  uint32_t line = 0;
  std::string message;
};

// Texts a UTF-8 interchange file cannot hold: zero bytes and bytes that are
// not UTF-8 (and, when xml, the control characters XML 1.0 has no place
// for).
std::vector<ExportProblem> FindUnexportable(const std::vector<Entry>& entries, bool xml);

// The PO file of entries; revisionDate ("YYYY-MM-DD HH:MM+0000") goes into
// the header.
std::string PoText(const std::vector<Entry>& entries, const std::string& revisionDate);

struct ReadError {
  uint32_t line = 0;
  std::string message;
};

// The entries of a PO file, each with the line of its msgid, in file order.
// Obsolete messages (#~) and the header are passed over. False with error
// set for text that is not PO or not UTF-8.
bool ReadPo(std::string_view text, std::vector<Entry>* entries, ReadError* error);

// Where an extract remark says a text is found ("NAME.upk PATH" or
// "NAME.usm TIME"), as a PO reference "NAME.upk:PATH"; empty when the remark
// is not one.
std::string ReferenceOf(std::string_view remark);

}  // namespace dict_tool
