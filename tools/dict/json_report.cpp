#include "tools/dict/json_report.h"

#include "tools/dict/tool_io.h"

namespace dict_tool {

Json FindingJson(const Diagnostic& d) {
  Json finding = Json::object();
  finding["file"] = d.file.empty() ? Json() : Json(d.file);
  finding["line"] = d.line == kNoLine ? Json() : Json(d.line);
  finding["entry"] = d.entry == kNoEntry ? Json() : Json(d.entry);
  finding["severity"] = SeverityName(d.severity);
  finding["check"] = d.check;
  finding["message"] = d.message;
  return finding;
}

Json JsonDocument(const char* command, const Diagnostics& diagnostics, int exitStatus) {
  Json document = Json::object();
  document["command"] = command;
  document["exit"] = exitStatus;
  document["errors"] = diagnostics.errors();
  document["warnings"] = diagnostics.warnings();
  Json findings = Json::array();
  for (const Diagnostic& d : diagnostics.all()) findings.push_back(FindingJson(d));
  document["findings"] = std::move(findings);
  return document;
}

void PrintJson(const Json& document) {
  PrintResult(document.dump(2, ' ', false, Json::error_handler_t::replace));
}

}  // namespace dict_tool
