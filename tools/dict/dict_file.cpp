#include "tools/dict/dict_file.h"

#include <algorithm>
#include <cstdio>

#include "common/messages.h"
#include "dictionary/dict_format.h"
#include "platform/platform.h"
#include "platform/terminal.h"
#include "tools/dict/tool_io.h"

namespace dict_tool {

LineIndex::LineIndex(std::string_view text) {
  starts_.push_back(0);
  for (size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', at + 1))
    starts_.push_back(at + 1);
}

uint32_t LineIndex::LineOf(uint64_t offset) const {
  // The number of line starts at or before offset.
  return static_cast<uint32_t>(std::upper_bound(starts_.begin(), starts_.end(), offset) - starts_.begin());
}

const char* FieldName(Field field) {
  switch (field) {
    case Field::kSource: return "source";
    case Field::kTarget: return "target";
    case Field::kRemark: return "remark";
  }
  return "";
}

std::string_view DictFile::Text(uint32_t index, Field field) const {
  const BRXStringEntry& e = entry(index);
  switch (field) {
    case Field::kSource: return {e.source, e.sourceLength};
    case Field::kTarget: return {e.target, e.targetLength};
    case Field::kRemark: return {e.remark, e.remarkLength};
  }
  return {};
}

namespace {

// The places of the loaded entries. Each text's offset in the file is its
// distance from the start of the text store, which after a text load is the
// file itself. The loader finds an entry's marker by searching from where
// the entry before it ended, so that search is repeated here.
void FindPlaces(DictFile* file) {
  const std::string_view entryMarker(dict_format::kEntryMarker.text, dict_format::kEntryMarker.length);
  const char* store = file->dict.GetTextStore();
  file->places.resize(file->count());
  uint64_t searchFrom = 0;
  for (uint32_t i = 0; i < file->count(); ++i) {
    const BRXStringEntry& e = file->entry(i);
    EntryPlace& place = file->places[i];
    place.texts[0] = uint64_t(e.source - store);
    place.texts[1] = uint64_t(e.target - store);
    place.texts[2] = uint64_t(e.remark - store);
    const size_t marker = file->text.find(entryMarker, searchFrom);
    // "\r\n" comes before "qzrtn_res_No." on the line of the entry number.
    place.marker = marker == std::string::npos ? place.texts[0] : marker + 2;
    searchFrom = place.texts[2] + e.remarkLength;
  }
}

}  // namespace

bool LoadDictFile(const std::string& path, DictFile* file, LoadError* error) {
  *error = LoadError{};
  file->path = path;
  file->places.clear();
  auto fail = [error](LoadFailure failure) {
    error->failure = failure;
    return false;
  };
  if (!ReadWholeFile(path, &file->text)) return fail(LoadFailure::kUnreadable);
  if (file->text.empty()) return fail(LoadFailure::kEmpty);
  if (file->text.size() > BRXStringDict::kMaxFileSize) return fail(LoadFailure::kTooLarge);
  file->lines = LineIndex(file->text);

  const uint32_t loaded = file->dict.LoadFromTXTFileA(path.c_str());
  if (loaded == 0) {
    uint32_t offset = 0;
    if (file->dict.GetLoadFailurePlace(&error->entry, &offset)) {
      error->line = file->lines.LineOf(offset + 2);
      error->loaderMessage = file->dict.GetLoadFailureMessage();
      return fail(LoadFailure::kMissingMarker);
    }
    // The path is stored as soon as the loader could form it.
    if (file->dict.GetPath()[0] == '\0') return fail(LoadFailure::kPathTooLong);
    const std::string_view entryMarker(dict_format::kEntryMarker.text, dict_format::kEntryMarker.length);
    if (file->text.find(entryMarker) == std::string::npos) return fail(LoadFailure::kNoEntry);
    return fail(LoadFailure::kUnreadable);  // memory, or a read that came up short
  }
  if (file->dict.GetTextSize() != file->text.size()) return fail(LoadFailure::kChanged);
  FindPlaces(file);
  return true;
}

namespace {

// The English words for the loader's message about a missing marker.
std::string MissingMarkerWords(const LoadError& error) {
  struct Known {
    const char* format;
    const char* marker;
  };
  static const Known kKnown[] = {
      {messages::kMsgDictNoEngStart, "qzrtn_res_ENG_Start"},
      {messages::kMsgDictNoEngEnd, "qzrtn_res_ENG_End"},
      {messages::kMsgDictNoChiStart, "qzrtn_res_CHI_Start"},
      {messages::kMsgDictNoChiEnd, "qzrtn_res_CHI_End"},
      {messages::kMsgDictNoRemarkStart, "qzrtn_res_Remark00_Start"},
      {messages::kMsgDictNoRemarkEnd, "qzrtn_res_Remark00_End"},
  };
  for (const Known& known : kKnown) {
    char composed[160];
    std::snprintf(composed, sizeof composed, known.format, static_cast<int>(error.entry));
    if (error.loaderMessage == composed) return std::string("no ") + known.marker + " line after it";
  }
  return "a section marker is missing";
}

}  // namespace

void ReportLoadError(const std::string& path, const LoadError& error, Diagnostics* diagnostics) {
  auto report = [&](uint32_t line, const std::string& message) {
    diagnostics->Report({Severity::kError, path, line, kNoEntry, "load", message, false});
  };
  switch (error.failure) {
    case LoadFailure::kNone:
      return;
    case LoadFailure::kUnreadable:
      diagnostics->IoError(path, "cannot be read");
      return;
    case LoadFailure::kEmpty:
      report(kNoLine, "the file is empty");
      return;
    case LoadFailure::kTooLarge:
      report(kNoLine, "larger than 200,000,000 bytes, which the patcher refuses");
      return;
    case LoadFailure::kPathTooLong:
      diagnostics->IoError(path, "the path is too long for the dictionary loader (" +
                                     std::to_string(BRXStringDict::kPathCapacity - 1) + " bytes at most)");
      return;
    case LoadFailure::kNoEntry:
      report(1, "no entry: no line starts with \"qzrtn_res_No.\" after a line break "
                "(a dictionary is UTF-8 text with CR LF line breaks)");
      return;
    case LoadFailure::kMissingMarker: {
      // The loader's own words, which the patcher prints, come in GBK.
      std::string loaderWords;
      if (!platform::GbkToUtf8(error.loaderMessage, &loaderWords)) loaderWords = Quoted(error.loaderMessage);
      diagnostics->Report({Severity::kError, path, error.line, error.entry, "load",
                           MissingMarkerWords(error) +
                               "; the patcher loads nothing of this file and translates nothing (it says: " +
                               loaderWords + ")",
                           false});
      return;
    }
    case LoadFailure::kChanged:
      diagnostics->IoError(path, "the file changed while it was read");
      return;
  }
}

bool LoadDictFileOrReport(const std::string& path, DictFile* file, Diagnostics* diagnostics) {
  LoadError error;
  if (LoadDictFile(path, file, &error)) return true;
  ReportLoadError(path, error, diagnostics);
  return false;
}

}  // namespace dict_tool
