#include "tools/dict/dict_check.h"

#include <algorithm>
#include <numeric>

#include "dictionary/brx_string_dict.h"
#include "package/dialogue_rewrite.h"
#include "platform/platform.h"
#include "tools/dict/dict_text.h"
#include "tools/dict/tool_io.h"

namespace dict_tool {

bool IsError(Defect defect) {
  return defect != Defect::kEmptyTarget && defect != Defect::kEmptySource &&
         defect != Defect::kTargetTooLong;
}

const char* DefectName(Defect defect) {
  switch (defect) {
    case Defect::kOutOfOrder: return "entries out of order";
    case Defect::kDuplicate: return "duplicate sources";
    case Defect::kSpacesAtEnds: return "sources with spaces at their ends";
    case Defect::kMarkerInText: return "texts holding a marker";
    case Defect::kUnreadMarker: return "entry markers not read";
    case Defect::kInvalidUtf8: return "texts that are not UTF-8";
    case Defect::kZeroByte: return "texts holding a zero byte";
    case Defect::kEmptyTarget: return "empty targets";
    case Defect::kEmptySource: return "empty sources";
    case Defect::kTargetTooLong: return "targets too long for a dialogue string";
  }
  return "";
}

std::vector<TextFinding> CheckEntryTexts(std::string_view source, std::string_view target,
                                         std::string_view remark) {
  std::vector<TextFinding> found;
  if (source.empty()) {
    found.push_back({Defect::kEmptySource, Field::kSource, 0,
                     "empty source: it matches every empty text of the game"});
  } else if (source.front() == ' ' || source.back() == ' ') {
    found.push_back({Defect::kSpacesAtEnds, Field::kSource, 0,
                     "source " + Quoted(source) +
                         " has spaces at its ends: lookups trim the game's text, never the source, "
                         "so it is never found"});
  }
  const std::string_view texts[3] = {source, target, remark};
  for (Field field : {Field::kSource, Field::kTarget, Field::kRemark}) {
    const std::string_view text = texts[static_cast<int>(field)];
    const std::string name = FieldName(field);
    if (const MarkerHit hit = FindAnyMarker(text); hit.position != kNoPosition) {
      found.push_back({Defect::kMarkerInText, field, hit.position,
                       "the " + name + " holds the marker line \"" + MarkerName(hit.marker) +
                           "\": a marker line before it is missing or broken"});
    }
    if (field == Field::kRemark) continue;  // the patchers never use remarks
    if (const size_t zero = text.find('\0'); zero != kNoPosition) {
      found.push_back({Defect::kZeroByte, field, zero,
                       "the " + name + " holds a zero byte, which ends it for the patcher"});
    }
    if (const size_t bad = FirstInvalidUtf8(text); bad != kNoPosition) {
      found.push_back({Defect::kInvalidUtf8, field, bad,
                       "the " + name + " is not UTF-8 (" + Quoted(text.substr(bad), 8) +
                           "); save the dictionary as UTF-8"});
    }
  }
  if (target.empty()) {
    found.push_back({Defect::kEmptyTarget, Field::kTarget, 0,
                     "empty target: the game shows an empty line for " + Quoted(source)});
  } else if (const uint64_t units = Utf16Units(target); units > package::kMaxTranslationUnits) {
    found.push_back({Defect::kTargetTooLong, Field::kTarget, 0,
                     "the target has " + std::to_string(units) +
                         " UTF-16 units: dialogue strings longer than " +
                         std::to_string(package::kMaxTranslationUnits) + " stay untranslated"});
  }
  return found;
}

namespace {

void CheckTexts(const DictFile& file, std::vector<Finding>* findings) {
  for (uint32_t i = 0; i < file.count(); ++i) {
    for (TextFinding& t : CheckEntryTexts(file.Text(i, Field::kSource), file.Text(i, Field::kTarget),
                                          file.Text(i, Field::kRemark))) {
      findings->push_back({t.defect, file.LineInText(i, t.field, t.offset), i, std::move(t.message)});
    }
  }
}

void CheckOrder(const DictFile& file, std::vector<Finding>* findings) {
  for (uint32_t i = 1; i < file.count(); ++i) {
    const std::string_view before = file.Text(i - 1, Field::kSource);
    const std::string_view source = file.Text(i, Field::kSource);
    if (CompareSources(before, source) != BRXStringDict::kAfter) continue;
    findings->push_back({Defect::kOutOfOrder, file.TextLine(i, Field::kSource), i,
                         "source " + Quoted(source) + " sorts before the source of entry " +
                             std::to_string(i - 1) + " (line " +
                             std::to_string(file.TextLine(i - 1, Field::kSource)) +
                             ") above it: lookups may miss entries of this file"});
  }
}

void CheckDuplicates(const DictFile& file, std::vector<Finding>* findings) {
  std::vector<uint32_t> order(file.count());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(), [&file](uint32_t a, uint32_t b) {
    return CompareSources(file.Text(a, Field::kSource), file.Text(b, Field::kSource)) ==
           BRXStringDict::kBefore;
  });
  for (size_t k = 1, first = 0; k < order.size(); ++k) {
    const uint32_t kept = order[first];
    const uint32_t i = order[k];
    if (CompareSources(file.Text(kept, Field::kSource), file.Text(i, Field::kSource)) !=
        BRXStringDict::kEqual) {
      first = k;
      continue;
    }
    const bool sameTarget = file.Text(kept, Field::kTarget) == file.Text(i, Field::kTarget);
    findings->push_back({Defect::kDuplicate, file.TextLine(i, Field::kSource), i,
                         "source " + Quoted(file.Text(i, Field::kSource)) + " is also the source of entry " +
                             std::to_string(kept) + " (line " +
                             std::to_string(file.TextLine(kept, Field::kSource)) + ")" +
                             (sameTarget ? ", with the same target"
                                         : ", with another target: lookups find only one of them")});
  }
}

// Occurrences of "qzrtn_res_No." that neither begin an entry nor lie inside
// a text: an entry marker needs a line break right before it, and the
// loader takes only the first marker before an entry's sections.
void CheckEntryMarkers(const DictFile& file, std::vector<Finding>* findings) {
  static constexpr std::string_view kNumberLine = "qzrtn_res_No.";
  for (size_t at = file.text.find(kNumberLine); at != std::string::npos;
       at = file.text.find(kNumberLine, at + 1)) {
    // The entry, if any, whose marker or texts lie at or before this one.
    auto next = std::upper_bound(file.places.begin(), file.places.end(), uint64_t(at),
                                 [](uint64_t offset, const EntryPlace& p) { return offset < p.marker; });
    if (next != file.places.begin()) {
      const EntryPlace& place = *(next - 1);
      const uint32_t index = uint32_t(next - 1 - file.places.begin());
      if (place.marker == at) continue;
      bool inText = false;
      for (Field field : {Field::kSource, Field::kTarget, Field::kRemark}) {
        const uint64_t start = place.texts[static_cast<int>(field)];
        inText = inText || (at >= start && at < start + file.Text(index, field).size());
      }
      if (inText) continue;
    }
    const bool lineBreak = at >= 2 && file.text.compare(at - 2, 2, "\r\n") == 0;
    const uint32_t entry = next == file.places.begin() ? 0 : uint32_t(next - 1 - file.places.begin());
    findings->push_back(
        {Defect::kUnreadMarker, file.lines.LineOf(at), entry,
         lineBreak ? "this \"qzrtn_res_No.\" line is not read as an entry: the sections of the entry "
                     "after it are taken for this one"
                   : "this \"qzrtn_res_No.\" line is not read as an entry: it needs a CR LF line break "
                     "right before it"});
  }
}

}  // namespace

std::vector<Finding> CheckDictFile(const DictFile& file) {
  std::vector<Finding> findings;
  CheckTexts(file, &findings);
  CheckOrder(file, &findings);
  CheckDuplicates(file, &findings);
  CheckEntryMarkers(file, &findings);
  std::stable_sort(findings.begin(), findings.end(),
                   [](const Finding& a, const Finding& b) { return a.line < b.line; });
  return findings;
}

const char* DefectCheckName(Defect defect) {
  switch (defect) {
    case Defect::kOutOfOrder: return "order";
    case Defect::kDuplicate: return "duplicate";
    case Defect::kSpacesAtEnds: return "spaces-at-ends";
    case Defect::kMarkerInText: return "marker-in-text";
    case Defect::kUnreadMarker: return "unread-marker";
    case Defect::kInvalidUtf8: return "utf-8";
    case Defect::kZeroByte: return "zero-byte";
    case Defect::kEmptyTarget: return "empty-target";
    case Defect::kEmptySource: return "empty-source";
    case Defect::kTargetTooLong: return "target-too-long";
  }
  return "";
}

namespace {

Severity SeverityOf(Defect defect) { return IsError(defect) ? Severity::kError : Severity::kWarning; }

Diagnostic FindingDiagnostic(const std::string& path, const Finding& f) {
  return {SeverityOf(f.defect), path, f.line, f.entry, DefectCheckName(f.defect), f.message, false};
}

}  // namespace

void ReportFindings(const std::string& path, const std::vector<Finding>& findings, int maxPerKind,
                    Diagnostics* diagnostics) {
  PerKindLimit limit(kDefectKinds, maxPerKind, diagnostics);
  for (const Finding& f : findings) {
    if (limit.Show(static_cast<int>(f.defect), SeverityOf(f.defect))) diagnostics->Report(FindingDiagnostic(path, f));
  }
  for (int kind = 0; kind < kDefectKinds; ++kind) {
    const int left = limit.left(kind);
    if (left == 0) continue;
    diagnostics->Note(path, kNoLine, DefectCheckName(static_cast<Defect>(kind)),
                      std::to_string(left) + " more " + DefectName(static_cast<Defect>(kind)) +
                          " (--all shows every one)");
  }
}

CheckResult CheckDictionary(const std::string& path) {
  Diagnostics diagnostics(Diagnostics::Mode::kCollect);
  CheckResult result;
  DictFile file;
  result.loaded = LoadDictFileOrReport(path, &file, &diagnostics);
  if (result.loaded) {
    result.entries = file.count();
    ReportFindings(path, CheckDictFile(file), 0, &diagnostics);
  }
  result.errors = diagnostics.errors();
  result.warnings = diagnostics.warnings();
  result.findings = diagnostics.all();
  return result;
}

}  // namespace dict_tool
