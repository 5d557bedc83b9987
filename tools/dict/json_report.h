// The JSON documents of hanhua-dict's --json option (nlohmann::json). Every
// document is one object printed on stdout:
//
//   {
//     "command": "check",          the command that ran
//     "exit": 1,                   its exit status
//     "errors": 2, "warnings": 0,  counts of the findings by severity
//     "findings": [                every finding, none left out
//       {"file": "chs.txt", "line": 12, "entry": 3, "severity": "error",
//        "check": "order", "message": "source \"A\" sorts before ..."}
//     ],
//     ...                          the command's own figures
//   }
//
// "file" is null for a finding that concerns no one file, "line" null for
// one about a whole file, "entry" null when no dictionary entry is meant.
// Texts that are not UTF-8 (a path, say) have their bad bytes replaced by
// U+FFFD.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

#include "tools/dict/diagnostics.h"

namespace dict_tool {

using Json = nlohmann::json;

// The document's common part: command, exit status, counts and findings.
Json JsonDocument(const char* command, const Diagnostics& diagnostics, int exitStatus);
Json FindingJson(const Diagnostic& diagnostic);
// Prints the document on stdout, indented by two spaces.
void PrintJson(const Json& document);

}  // namespace dict_tool
