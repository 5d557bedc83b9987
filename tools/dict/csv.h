// Dictionaries as CSV files for spreadsheet programs: RFC 4180 (fields
// separated by commas, records ended by CR LF, a field in double quotes
// when it holds a comma, a quote, a CR or an LF, quotes inside it doubled),
// UTF-8 with a byte-order mark so that spreadsheet programs take the text
// for UTF-8. The first record names the columns: source, target, remark.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/dict/dict_build.h"

namespace dict_tool {

inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// The CSV text of entries: byte-order mark, header record, one record per
// entry. Every field is quoted, so that spaces at the ends of a text, line
// breaks and leading zeros reach the spreadsheet as they are.
std::string CsvText(const std::vector<Entry>& entries);

struct CsvError {
  uint32_t line = 0;
  std::string message;
};

// Reads the entries of a CSV text (the byte-order mark is optional; records
// may also end in a bare LF, as some programs write them; a last record
// without a line break is read too; tabs separate the fields when the
// first line holds more tabs than commas). The first record names the
// columns: source and target are needed, the remark is read from a column
// named remark, location or context; the names of the other columns go to
// ignoredColumns (when given). Each entry's line is the line where its
// record begins. Records with only empty fields are passed over; fields
// missing at the end of a record, after its source and target, are empty.
// False with error set for a text that is not RFC 4180, a header without
// source and target, or a record with more fields than the header or
// without its source or target.
bool ReadCsv(std::string_view text, std::vector<Entry>* entries, CsvError* error,
             std::vector<std::string>* ignoredColumns = nullptr);

}  // namespace dict_tool
