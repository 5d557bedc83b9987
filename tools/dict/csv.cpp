#include "tools/dict/csv.h"

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
  explicit Reader(std::string_view text) : text_(text) {}

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
      if (c == ',') {
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
      if (c == ',' || c == '\n') return true;
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
      if (at_ >= text_.size() || text_[at_] == ',' || text_[at_] == '\n' ||
          (text_[at_] == '\r' && at_ + 1 < text_.size() && text_[at_ + 1] == '\n')) {
        return true;
      }
      return Fail(error, line_, "text after the closing quote of a field");
    }
  }

  std::string_view text_;
  size_t at_ = 0;
  uint32_t line_ = 1;
};

bool IsHeader(const std::vector<std::string>& fields) {
  static const char* const kNames[] = {"source", "target", "remark"};
  if (fields.size() < 2 || fields.size() > 3) return false;
  for (size_t i = 0; i < fields.size(); ++i) {
    std::string lower;
    for (char c : fields[i]) lower += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    if (lower != kNames[i]) return false;
  }
  return true;
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

bool ReadCsv(std::string_view text, std::vector<Entry>* entries, CsvError* error) {
  entries->clear();
  *error = CsvError{};
  if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());
  Reader reader(text);
  std::vector<std::string> fields;
  uint32_t line = 0;
  if (!reader.Next(&fields, &line, error) || !IsHeader(fields)) {
    if (error->message.empty()) {
      error->line = 1;
      error->message = "the first record must name the columns: source,target,remark";
    }
    return false;
  }
  error->message.clear();
  while (reader.Next(&fields, &line, error)) {
    bool blank = true;
    for (const std::string& f : fields) blank = blank && f.empty();
    if (blank) continue;
    if (fields.size() < 2 || fields.size() > 3) {
      error->line = line;
      error->message = "a record of " + std::to_string(fields.size()) +
                       " fields; each must hold source, target and, if any, remark";
      return false;
    }
    entries->push_back({fields[0], fields[1], fields.size() == 3 ? fields[2] : std::string(), line});
  }
  return error->message.empty();
}

}  // namespace dict_tool
