// Text files that translators bring from other programs (CSV, PO, XLIFF),
// decoded to UTF-8. Spreadsheet programs on a Chinese Windows save CSV in
// GBK (their "ANSI" code page) unless told otherwise, and "Unicode text" in
// UTF-16: such a file is recognised and refused with one error that names
// its encoding and says how to save it as UTF-8, unless the command was
// told its encoding (--encoding), in which case it is converted.
#pragma once

#include <string>
#include <string_view>

#include "tools/dict/diagnostics.h"

namespace dict_tool {

enum class Encoding { kUtf8, kGbk, kUtf16 };

// The encoding named on the command line: "utf-8", "gbk" (also "cp936") or
// "utf-16" (case ignored). False for any other name.
bool ParseEncoding(const std::string& name, Encoding* encoding);

// The file's text as UTF-8 without a byte-order mark, decoded from
// encoding (UTF-16: little-endian unless a byte-order mark says otherwise).
// False, after one error of path, when the bytes are not in that encoding.
bool DecodeText(const std::string& path, std::string_view bytes, Encoding encoding, std::string* utf8,
                Diagnostics* diagnostics);

// ReadWholeFile and DecodeText; an I/O error when the file cannot be read.
bool ReadTextFile(const std::string& path, Encoding encoding, std::string* utf8, Diagnostics* diagnostics);

}  // namespace dict_tool
