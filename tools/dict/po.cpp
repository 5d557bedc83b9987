#include "tools/dict/po.h"

#include <unordered_set>

#include "tools/dict/dict_text.h"
#include "tools/dict/entry_state.h"

namespace dict_tool {

namespace {

constexpr char kHeader[] =
    "msgid \"\"\n"
    "msgstr \"\"\n"
    "\"Project-Id-Version: chs.txt\\n\"\n"
    "\"PO-Revision-Date: %s\\n\"\n"
    "\"Last-Translator: hanhua-dict\\n\"\n"
    "\"Language-Team: Chinese (simplified)\\n\"\n"
    "\"Language: zh_CN\\n\"\n"
    "\"MIME-Version: 1.0\\n\"\n"
    "\"Content-Type: text/plain; charset=UTF-8\\n\"\n"
    "\"Content-Transfer-Encoding: 8bit\\n\"\n"
    "\"Plural-Forms: nplurals=1; plural=0;\\n\"\n"
    "\"X-Generator: hanhua-dict\\n\"\n";

// --- writing ----------------------------------------------------------------

void AppendEscaped(std::string_view text, std::string* out) {
  static const char kOctal[] = "01234567";
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (const char* escape = ShortEscape(c)) {
      *out += escape;
    } else if (u < 0x20 || u == 0x7F) {
      *out += '\\';
      *out += kOctal[u >> 6];
      *out += kOctal[(u >> 3) & 7];
      *out += kOctal[u & 7];
    } else {
      *out += c;
    }
  }
}

// keyword "text", or, for a text with a line break before its end, the
// gettext form: keyword "" then one quoted line per line of the text.
void AppendKeyword(std::string_view prefix, std::string_view keyword, std::string_view text, std::string* out) {
  const size_t firstBreak = text.find('\n');
  const bool split = firstBreak != std::string_view::npos && firstBreak + 1 < text.size();
  *out += prefix;
  *out += keyword;
  if (!split) {
    *out += " \"";
    AppendEscaped(text, out);
    *out += "\"\n";
    return;
  }
  *out += " \"\"\n";
  size_t begin = 0;
  while (begin < text.size()) {
    const size_t end = text.find('\n', begin);
    const size_t stop = end == std::string_view::npos ? text.size() : end + 1;
    *out += prefix;
    *out += '"';
    AppendEscaped(text.substr(begin, stop - begin), out);
    *out += "\"\n";
    begin = stop;
  }
}

void AppendComment(std::string_view marker, std::string_view text, std::string* out) {
  size_t begin = 0;
  for (;;) {
    const size_t end = text.find('\n', begin);
    const std::string_view line = text.substr(begin, end == std::string_view::npos ? end : end - begin);
    *out += marker;
    if (!line.empty()) {
      *out += ' ';
      *out += line;
    }
    *out += '\n';
    if (end == std::string_view::npos) return;
    begin = end + 1;
  }
}

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

bool HasSpace(std::string_view text) {
  return text.find_first_of(" \t\r\n") != std::string_view::npos;
}

// "NAME.upk:PATH" back to the remark extract writes.
std::string RemarkOfReference(std::string_view reference) {
  const size_t colon = reference.find(':');
  if (colon == std::string_view::npos) return "";
  const std::string_view name = reference.substr(0, colon);
  if (!EndsWith(name, ".upk") && !EndsWith(name, ".usm")) return "";
  return std::string(name) + " " + std::string(reference.substr(colon + 1));
}

struct Message {
  std::string comment;   // #. lines
  std::string reference;  // #:
  bool fuzzy = false;
  std::string previous;  // #| msgid
  bool context = false;
  std::string msgstr;
};

Message MessageOf(const Entry& e) {
  Message m;
  switch (StateOf(e.source, e.target, e.remark)) {
    case EntryState::kTranslated:
      m.comment = e.remark;
      m.msgstr = e.target;
      break;
    case EntryState::kUntranslated:
      m.comment = e.remark;
      break;
    case EntryState::kIdentical:
      m.comment = SplitRemark(e.remark).own;
      m.msgstr = e.source;
      break;
    case EntryState::kFuzzy: {
      RemarkParts parts = SplitRemark(e.remark);
      m.comment = std::move(parts.own);
      m.fuzzy = true;
      m.previous = std::move(parts.suggestionSource);
      m.msgstr = std::move(parts.suggestion);
      break;
    }
  }
  m.reference = ReferenceOf(m.comment);
  // A remark that the reference alone gives back is not repeated.
  if (!m.reference.empty() && RemarkOfReference(m.reference) == m.comment) m.comment.clear();
  return m;
}

// --- reading ----------------------------------------------------------------

class Parser {
 public:
  Parser(std::string_view text, std::vector<Entry>* entries, ReadError* error)
      : text_(text), entries_(entries), error_(error) {}

  bool Run() {
    size_t at = 0;
    while (at < text_.size()) {
      size_t end = text_.find('\n', at);
      if (end == std::string_view::npos) end = text_.size();
      std::string_view line = text_.substr(at, end - at);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      ++lineNumber_;
      if (!Line(line)) return false;
      at = end + 1;
    }
    return Finish();
  }

 private:
  struct Pending {
    uint32_t line = 0;
    std::string extracted, translator;
    bool extractedSeen = false;
    std::vector<std::string> references;
    bool fuzzy = false;
    std::string previous;
    bool haveId = false, haveStr = false, context = false;
    std::string id, str;
  };

  bool Fail(const std::string& message) {
    error_->line = lineNumber_;
    error_->message = message;
    return false;
  }

  static std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
  }

  // A quoted PO string with C escapes.
  bool Unquote(std::string_view quoted, std::string* out) {
    quoted = TrimLeft(quoted);
    while (!quoted.empty() && (quoted.back() == ' ' || quoted.back() == '\t')) quoted.remove_suffix(1);
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"')
      return Fail("a text must be between double quotes");
    quoted = quoted.substr(1, quoted.size() - 2);
    for (size_t i = 0; i < quoted.size(); ++i) {
      const char c = quoted[i];
      if (c == '"') return Fail("a double quote inside a text must be written \\\"");
      if (c != '\\') {
        *out += c;
        continue;
      }
      if (++i >= quoted.size()) return Fail("a backslash at the end of a text");
      const char e = quoted[i];
      if (char plain; ShortUnescape(e, &plain)) {
        *out += plain;
        continue;
      }
      // The other escapes of C that other tools may write.
      switch (e) {
        case 'a': *out += '\a'; break;
        case 'b': *out += '\b'; break;
        case 'f': *out += '\f'; break;
        case 'v': *out += '\v'; break;
        case '\'': *out += '\''; break;
        case '?': *out += '?'; break;
        case 'x': {
          int value = 0, digits = 0;
          while (i + 1 < quoted.size() && digits < 2 && isxdigit(static_cast<unsigned char>(quoted[i + 1]))) {
            const char h = quoted[++i];
            value = value * 16 + (h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
            ++digits;
          }
          if (digits == 0) return Fail("\\x without hexadecimal digits");
          *out += char(value);
          break;
        }
        default:
          if (e >= '0' && e <= '7') {
            int value = e - '0', digits = 1;
            while (i + 1 < quoted.size() && digits < 3 && quoted[i + 1] >= '0' && quoted[i + 1] <= '7') {
              value = value * 8 + (quoted[++i] - '0');
              ++digits;
            }
            if (value > 0xFF) return Fail("an octal escape above \\377");
            *out += char(value);
            break;
          }
          return Fail(std::string("an unknown escape \\") + e);
      }
    }
    return true;
  }

  // A keyword line: the keyword and its string.
  bool Keyword(std::string_view line, std::string_view* keyword, std::string_view* rest) {
    size_t end = 0;
    while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '"') ++end;
    *keyword = line.substr(0, end);
    *rest = line.substr(end);
    return true;
  }

  bool Line(std::string_view line) {
    const std::string_view trimmed = TrimLeft(line);
    if (trimmed.empty()) return true;
    if (trimmed.substr(0, 2) == "#~") {
      // An obsolete message: it and the comments above it are passed over.
      if (!pending_.haveId) pending_ = Pending{};
      return true;
    }
    if (trimmed[0] == '#') return Comment(trimmed);
    if (trimmed[0] == '"') {
      if (field_ == nullptr) return Fail("a text continues no keyword");
      return Unquote(trimmed, field_);
    }
    std::string_view keyword, rest;
    Keyword(trimmed, &keyword, &rest);
    if (keyword == "msgctxt" || keyword == "msgid") {
      if (pending_.haveStr && !Flush()) return false;
      if (keyword == "msgctxt") {
        if (pending_.context || pending_.haveId) return Fail("msgctxt after the msgid of its message");
        pending_.context = true;
        field_ = &context_;
        context_.clear();
        return Unquote(rest, field_);
      }
      if (pending_.haveId) return Fail("a msgid without msgstr before it");
      pending_.haveId = true;
      pending_.line = lineNumber_;
      field_ = &pending_.id;
      return Unquote(rest, field_);
    }
    if (keyword == "msgid_plural") {
      if (!pending_.haveId) return Fail("msgid_plural without msgid");
      scratch_.clear();
      field_ = &scratch_;
      return Unquote(rest, field_);
    }
    if (keyword == "msgstr" || keyword.substr(0, 7) == "msgstr[") {
      if (!pending_.haveId) return Fail("msgstr without msgid");
      // Of plural forms the first is the translation (Chinese has one form).
      const bool first = keyword == "msgstr" || keyword == "msgstr[0]";
      if (first && pending_.haveStr) return Fail("a second msgstr for one msgid");
      if (first) pending_.haveStr = true;
      scratch_.clear();
      field_ = first ? &pending_.str : &scratch_;
      return Unquote(rest, field_);
    }
    return Fail("not a line of a PO file");
  }

  bool Comment(std::string_view line) {
    if (pending_.haveStr && !Flush()) return false;
    field_ = nullptr;
    const char kind = line.size() > 1 ? line[1] : ' ';
    std::string_view body = line.substr(line.size() > 1 && kind != ' ' ? 2 : 1);
    if (!body.empty() && body[0] == ' ') body.remove_prefix(1);
    switch (kind) {
      case '.':
        if (pending_.extractedSeen) pending_.extracted += '\n';
        pending_.extracted += body;
        pending_.extractedSeen = true;
        return true;
      case ':': {
        size_t at = 0;
        while (at < body.size()) {
          while (at < body.size() && (body[at] == ' ' || body[at] == '\t')) ++at;
          size_t end = at;
          while (end < body.size() && body[end] != ' ' && body[end] != '\t') ++end;
          if (end > at) pending_.references.emplace_back(body.substr(at, end - at));
          at = end;
        }
        return true;
      }
      case ',':
        for (size_t at = 0; at < body.size();) {
          size_t end = body.find(',', at);
          if (end == std::string_view::npos) end = body.size();
          std::string_view flag = body.substr(at, end - at);
          while (!flag.empty() && flag.front() == ' ') flag.remove_prefix(1);
          while (!flag.empty() && flag.back() == ' ') flag.remove_suffix(1);
          if (flag == "fuzzy") pending_.fuzzy = true;
          at = end + 1;
        }
        return true;
      case '|': {
        std::string_view keyword, rest;
        Keyword(TrimLeft(body), &keyword, &rest);
        if (keyword == "msgid") {
          pending_.previous.clear();
          previousOpen_ = true;
          std::string text;
          if (!Unquote(rest, &text)) return false;
          pending_.previous = std::move(text);
        } else if (!body.empty() && TrimLeft(body)[0] == '"') {
          if (previousOpen_) return Unquote(TrimLeft(body), &pending_.previous);
        } else {
          previousOpen_ = false;
        }
        return true;
      }
      default:
        // A translator's own comment, kept with the remark.
        if (kind == ' ' || kind == '\0' || line.size() == 1) {
          if (!pending_.translator.empty() || translatorSeen_) pending_.translator += '\n';
          pending_.translator += body;
          translatorSeen_ = true;
        }
        return true;
    }
  }

  bool Flush() {
    Pending m = std::move(pending_);
    pending_ = Pending{};
    const bool context = m.context;
    field_ = nullptr;
    previousOpen_ = false;
    translatorSeen_ = false;
    context_.clear();
    if (!m.haveStr) {
      error_->line = m.line;
      error_->message = "a msgid without msgstr";
      return false;
    }
    if (m.id.empty() && !context) return Header(m);
    Entry e;
    e.source = std::move(m.id);
    e.line = m.line;
    std::string own = m.extracted;
    if (!m.extractedSeen && m.references.size() == 1) own = RemarkOfReference(m.references[0]);
    if (!m.translator.empty()) own += (own.empty() ? "" : "\n") + m.translator;
    ImportedTranslation translation;
    translation.text = std::move(m.str);
    translation.fuzzy = m.fuzzy;
    translation.suggestionSource = std::move(m.previous);
    ApplyImportedTranslation(e.source, std::move(own), std::move(translation), &e.target, &e.remark);
    entries_->push_back(std::move(e));
    return true;
  }

  bool Header(const Pending& m) {
    const size_t at = m.str.find("charset=");
    if (at == std::string::npos) return true;
    std::string charset;
    for (size_t i = at + 8; i < m.str.size() && m.str[i] != '\n' && m.str[i] != ' ' && m.str[i] != ';'; ++i)
      charset += char(tolower(static_cast<unsigned char>(m.str[i])));
    if (charset == "utf-8" || charset == "utf8" || charset == "charset" || charset == "ascii" || charset.empty())
      return true;
    error_->line = m.line;
    error_->message = "the PO file is in " + charset + "; save it as UTF-8";
    return false;
  }

  bool Finish() {
    if (pending_.haveId) return Flush();
    return true;
  }

  std::string_view text_;
  std::vector<Entry>* entries_;
  ReadError* error_;
  uint32_t lineNumber_ = 0;
  Pending pending_;
  std::string* field_ = nullptr;
  std::string context_, scratch_;
  bool previousOpen_ = false;
  bool translatorSeen_ = false;
};

}  // namespace

std::vector<ExportProblem> FindUnexportable(const std::vector<Entry>& entries, bool xml) {
  std::vector<ExportProblem> problems;
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    for (std::string_view text : {std::string_view(e.source), std::string_view(e.target), std::string_view(e.remark)}) {
      std::string why;
      if (text.find('\0') != std::string_view::npos) {
        why = "holds a zero byte";
      } else if (FirstInvalidUtf8(text) != kNoPosition) {
        why = "is not UTF-8";
      } else if (xml) {
        for (char c : text) {
          const unsigned char u = static_cast<unsigned char>(c);
          if (u < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            why = "holds a control character that XML cannot carry";
            break;
          }
        }
      }
      if (why.empty()) continue;
      const char* name = text.data() == e.source.data() ? "source" : text.data() == e.target.data() ? "target" : "remark";
      problems.push_back({uint32_t(i), e.line, std::string("the ") + name + " " + why});
      break;
    }
  }
  return problems;
}

std::string ReferenceOf(std::string_view remark) {
  // "NAME.upk PATH" or "NAME.usm TIME", then perhaps " (and N more)".
  const size_t space = remark.find(' ');
  if (space == std::string_view::npos) return "";
  const std::string_view name = remark.substr(0, space);
  if (!EndsWith(name, ".upk") && !EndsWith(name, ".usm")) return "";
  std::string_view place = remark.substr(space + 1);
  if (const size_t more = place.find(" (and "); more != std::string_view::npos && EndsWith(place, " more)"))
    place = place.substr(0, more);
  if (place.empty() || HasSpace(place) || name.find(':') != std::string_view::npos) return "";
  return std::string(name) + ":" + std::string(place);
}

std::string PoText(const std::vector<Entry>& entries, const std::string& revisionDate) {
  std::string out = kHeader;
  out.replace(out.find("%s"), 2, revisionDate);
  std::unordered_set<std::string_view> sources;
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    const Message m = MessageOf(e);
    out += '\n';
    if (!m.comment.empty()) AppendComment("#.", m.comment, &out);
    if (!m.reference.empty()) out += "#: " + m.reference + "\n";
    if (m.fuzzy) {
      out += "#, fuzzy\n";
      if (!m.previous.empty()) AppendKeyword("#| ", "msgid", m.previous, &out);
    }
    // The empty source would be the header's msgid; a repeated source would
    // be the same message twice.
    if (e.source.empty() || !sources.insert(e.source).second)
      AppendKeyword("", "msgctxt", "entry " + std::to_string(i), &out);
    AppendKeyword("", "msgid", e.source, &out);
    AppendKeyword("", "msgstr", m.msgstr, &out);
  }
  return out;
}

bool ReadPo(std::string_view text, std::vector<Entry>* entries, ReadError* error) {
  entries->clear();
  *error = ReadError{};
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  return Parser(text, entries, error).Run();
}

}  // namespace dict_tool
