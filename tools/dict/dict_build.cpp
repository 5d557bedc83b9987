#include "tools/dict/dict_build.h"

#include <algorithm>
#include <string_view>

#include "tools/dict/dict_check.h"
#include "tools/dict/dict_text.h"
#include "tools/dict/tool_io.h"

namespace dict_tool {

std::vector<Entry> EntriesOf(const DictFile& file) {
  std::vector<Entry> entries;
  entries.reserve(file.count());
  for (uint32_t i = 0; i < file.count(); ++i) {
    entries.push_back({std::string(file.Text(i, Field::kSource)), std::string(file.Text(i, Field::kTarget)),
                       std::string(file.Text(i, Field::kRemark)), file.TextLine(i, Field::kSource), i});
  }
  return entries;
}

void SortForLookup(std::vector<Entry>* entries) {
  std::stable_sort(entries->begin(), entries->end(), [](const Entry& a, const Entry& b) {
    return CompareSources(a.source, b.source) == BRXStringDict::kBefore;
  });
}

void KeepFirstOfEqualSources(std::vector<Entry>* entries, std::vector<Dropped>* dropped) {
  std::vector<Entry> kept;
  kept.reserve(entries->size());
  for (Entry& e : *entries) {
    if (!kept.empty() && CompareSources(kept.back().source, e.source) == BRXStringDict::kEqual) {
      if (dropped != nullptr) {
        const bool sameTarget = kept.back().target == e.target;
        dropped->push_back({std::move(e), kept.back().line, sameTarget});
      }
      continue;
    }
    kept.push_back(std::move(e));
  }
  *entries = std::move(kept);
}

bool ReportUnwritable(const std::vector<Entry>& entries, const std::string& path, Diagnostics* diagnostics) {
  bool any = false;
  for (const Entry& e : entries) {
    const std::string* texts[3] = {&e.source, &e.target, &e.remark};
    for (Field field : {Field::kSource, Field::kTarget, Field::kRemark}) {
      const MarkerHit hit = FindMarkerWhenWritten(*texts[static_cast<int>(field)]);
      if (hit.position == kNoPosition) continue;
      any = true;
      diagnostics->Report({Severity::kError, path, e.line, e.entry, "marker-in-text",
                           "the " + std::string(FieldName(field)) + " of " + Quoted(e.source) +
                               " holds the marker line \"" + MarkerName(hit.marker) +
                               "\", which a dictionary file cannot hold",
                           false});
    }
  }
  return any;
}

bool WriteImportedEntries(std::vector<Entry>* entries, const std::string& path, const std::string& output,
                          const char* unit, bool sameTargetMatters, Diagnostics* diagnostics) {
  ReportUnwritable(*entries, path, diagnostics);
  for (const Entry& e : *entries) {
    for (const TextFinding& t : CheckEntryTexts(e.source, e.target, e.remark)) {
      if (t.defect == Defect::kMarkerInText) continue;  // reported above
      diagnostics->Report({IsError(t.defect) ? Severity::kError : Severity::kWarning, path, e.line, kNoEntry,
                           DefectCheckName(t.defect), t.message, false});
    }
  }
  SortForLookup(entries);
  std::vector<Dropped> dropped;
  KeepFirstOfEqualSources(entries, &dropped);
  for (const Dropped& d : dropped) {
    diagnostics->Error(path, d.entry.line, "duplicate",
                       "source " + Quoted(d.entry.source) + " is also the source of the " + unit + " at line " +
                           std::to_string(d.keptLine) +
                           (sameTargetMatters && !d.sameTarget ? ", with another target" : ""));
  }
  if (diagnostics->errors() > 0) {
    diagnostics->Note(output, kNoLine, "output",
                      Format("not written: %d errors in %s; mend them there", diagnostics->errors(), path.c_str()));
    return false;
  }
  return WriteDictionary(*entries, output, Form::kText, diagnostics);
}

namespace {

// A dictionary holding entries in their order, texts byte for byte (up to
// a zero byte, which ends a text in the dictionary). False when memory runs
// out.
bool Build(const std::vector<Entry>& entries, BRXStringDict* dict) {
  for (const Entry& e : entries) {
    const uint32_t index = dict->GetCount();
    if (dict->InsertBlankEntry(index) != index + 1) return false;
    dict->SetSourceText(index, e.source.c_str());
    dict->SetTargetText(index, e.target.c_str());
    dict->SetRemarkText(index, e.remark.c_str());
  }
  return true;
}

bool Holds(const BRXStringEntry& e, const Entry& expected) {
  return std::string_view(e.source, e.sourceLength) == UpToZero(expected.source) &&
         std::string_view(e.target, e.targetLength) == UpToZero(expected.target) &&
         std::string_view(e.remark, e.remarkLength) == UpToZero(expected.remark);
}

bool HoldsAll(const BRXStringDict& dict, const std::vector<Entry>& entries) {
  if (dict.GetCount() != entries.size()) return false;
  for (uint32_t i = 0; i < dict.GetCount(); ++i)
    if (!Holds(*dict.GetEntry(i), entries[i])) return false;
  return true;
}

}  // namespace

bool WriteDictionary(const std::vector<Entry>& entries, const std::string& path, Form form,
                     Diagnostics* diagnostics) {
  BRXStringDict dict;
  std::string image;
  const bool composed = Build(entries, &dict) && HoldsAll(dict, entries) &&
                        (form == Form::kText ? dict.SaveToTXTImage(&image) : dict.SaveToBINImage(&image));
  if (!composed) {
    diagnostics->IoError(path, "not written: not enough memory for " + std::to_string(entries.size()) +
                                   " entries, or too large for a dictionary");
    return false;
  }
  // The file as read back from the disk must load, as the patcher loads
  // it, into exactly these entries before it replaces anything. (The text
  // form of an empty dictionary has no entry marker and does not load.)
  auto loads = [&entries, form](std::string_view bytes) {
    if (entries.empty()) return true;
    BRXStringDict back;
    if (form == Form::kText) {
      const std::string text(bytes);  // the loader reads up to a zero byte
      if (back.LoadFromTXTBuffer(text.c_str()) != entries.size()) return false;
    } else if (back.LoadFromBINImage(bytes.data(), uint32_t(bytes.size())) != entries.size()) {
      return false;
    }
    return HoldsAll(back, entries);
  };
  return WriteOutputOrReport(path, image, diagnostics, loads);
}

}  // namespace dict_tool
