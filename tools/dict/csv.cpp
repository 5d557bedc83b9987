#include "tools/dict/csv.h"

#include <algorithm>

namespace dict_tool {

namespace {

void AppendQuoted(std::string_view field, std::string* out) {
  *out += '"';
  for (char c : field) {
    if (c == '"') *out += '"';
    *out += c;
  }
  *out += '"';
}

// Splits a CSV text into records of fields, each record with the line it
// begins on.
class Reader {
 public:
  Reader(std::string_view text, char separator) : text_(text), separator_(separator) {}

  // The next record; false at the end of the text or on an error.
  bool Next(std::vector<std::string>* fields, uint32_t* line, CsvError* error) {
    fields->clear();
    if (at_ >= text_.size()) return false;
    *line = line_;
    for (;;) {
      std::string field;
      if (!Field(&field, error)) return false;
      fields->push_back(std::move(field));
      if (at_ >= text_.size()) return true;
      const char c = text_[at_];
      if (c == separator_) {
        ++at_;
        continue;
      }
      // The field ended at a line break (Field stops nowhere else).
      at_ += c == '\r' ? 2 : 1;
      ++line_;
      return true;
    }
  }

 private:
  bool Fail(CsvError* error, uint32_t line, const std::string& message) {
    error->line = line;
    error->message = message;
    return false;
  }

  // Reads one field up to the comma or line break after it (not consumed).
  bool Field(std::string* field, CsvError* error) {
    if (at_ < text_.size() && text_[at_] == '"') return QuotedField(field, error);
    while (at_ < text_.size()) {
      const char c = text_[at_];
      if (c == separator_ || c == '\n') return true;
      if (c == '\r') {
        if (at_ + 1 < text_.size() && text_[at_ + 1] == '\n') return true;
        return Fail(error, line_, "a CR without an LF after it outside quotes");
      }
      if (c == '"') return Fail(error, line_, "a quote inside a field that does not begin with one");
      *field += c;
      ++at_;
    }
    return true;
  }

  bool QuotedField(std::string* field, CsvError* error) {
    const uint32_t opened = line_;
    ++at_;
    for (;;) {
      if (at_ >= text_.size()) return Fail(error, opened, "a quoted field that is never closed");
      const char c = text_[at_++];
      if (c == '\n') ++line_;
      if (c != '"') {
        *field += c;
        continue;
      }
      if (at_ < text_.size() && text_[at_] == '"') {
        *field += '"';
        ++at_;
        continue;
      }
      // The closing quote: a comma, a line break or the end must follow.
      if (at_ >= text_.size() || text_[at_] == separator_ || text_[at_] == '\n' ||
          (text_[at_] == '\r' && at_ + 1 < text_.size() && text_[at_ + 1] == '\n')) {
        return true;
      }
      return Fail(error, line_, "text after the closing quote of a field");
    }
  }

  std::string_view text_;
  char separator_;
  size_t at_ = 0;
  uint32_t line_ = 1;
};

std::string LowerTrimmed(const std::string& field) {
  std::string lower;
  for (char c : field) lower += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
  const size_t first = lower.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return lower.substr(first, lower.find_last_not_of(" \t") - first + 1);
}

// Where each text is in a record, found by the header's names: this tool's
// own (source, target, remark), Translate Toolkit's (location, source,
// target) and Weblate's (source, target, context, ...). The remark is
// taken from the first of remark, location and context that is there.
struct Columns {
  int source = -1, target = -1, remark = -1;
  size_t count = 0;
};

bool MapColumns(const std::vector<std::string>& header, Columns* columns,
                std::vector<std::string>* ignored) {
  static const char* const kRemarkNames[] = {"remark", "location", "context"};
  std::vector<std::string> names;
  for (const std::string& field : header) names.push_back(LowerTrimmed(field));
  auto find = [&names](const char* name) {
    auto at = std::find(names.begin(), names.end(), name);
    return at == names.end() ? -1 : int(at - names.begin());
  };
  columns->source = find("source");
  columns->target = find("target");
  for (const char* name : kRemarkNames) {
    if (columns->remark < 0) columns->remark = find(name);
  }
  columns->count = header.size();
  if (columns->source < 0 || columns->target < 0) return false;
  for (size_t i = 0; i < header.size(); ++i) {
    if (int(i) != columns->source && int(i) != columns->target && int(i) != columns->remark && ignored)
      ignored->push_back(header[i]);
  }
  return true;
}

// Tab-separated when the first line holds more tabs than commas (the
// "Unicode text" of spreadsheet programs), comma-separated otherwise.
char SeparatorOf(std::string_view text) {
  const std::string_view first = text.substr(0, text.find('\n'));
  return std::count(first.begin(), first.end(), '\t') > std::count(first.begin(), first.end(), ',') ? '\t' : ',';
}

}  // namespace

std::string CsvText(const std::vector<Entry>& entries) {
  std::string out(kUtf8Bom);
  out += "source,target,remark\r\n";
  for (const Entry& e : entries) {
    AppendQuoted(e.source, &out);
    out += ',';
    AppendQuoted(e.target, &out);
    out += ',';
    AppendQuoted(e.remark, &out);
    out += "\r\n";
  }
  return out;
}

bool ReadCsv(std::string_view text, std::vector<Entry>* entries, CsvError* error,
             std::vector<std::string>* ignoredColumns) {
  entries->clear();
  *error = CsvError{};
  if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());
  Reader reader(text, SeparatorOf(text));
  std::vector<std::string> fields;
  uint32_t line = 0;
  Columns columns;
  if (!reader.Next(&fields, &line, error) || !MapColumns(fields, &columns, ignoredColumns)) {
    if (error->message.empty()) {
      error->line = 1;
      error->message = "the first record must name the columns: source, target and, if wanted, remark";
    }
    return false;
  }
  error->message.clear();
  while (reader.Next(&fields, &line, error)) {
    bool blank = true;
    for (const std::string& f : fields) blank = blank && f.empty();
    if (blank) continue;
    // Fields after the source and the target may be missing: they are empty.
    const size_t needed = size_t(std::max(columns.source, columns.target)) + 1;
    if (fields.size() > columns.count || fields.size() < needed) {
      error->line = line;
      error->message = "a record of " + std::to_string(fields.size()) + " fields, where the first record names " +
                       std::to_string(columns.count) + " columns";
      return false;
    }
    fields.resize(columns.count);
    entries->push_back({fields[size_t(columns.source)], fields[size_t(columns.target)],
                        columns.remark < 0 ? std::string() : fields[size_t(columns.remark)], line});
  }
  return error->message.empty();
}

}  // namespace dict_tool
