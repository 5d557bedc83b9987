#include "tools/dict/content_checks.h"

#include <algorithm>

#include "tools/dict/entry_state.h"
#include "tools/dict/fuzzy_match.h"
#include "tools/dict/tool_io.h"

namespace dict_tool {

namespace {

constexpr const char* kNames[kContentChecks] = {"endpunc",   "placeholders", "tags",   "whitespace", "newlines",
                                                "unchanged", "length",       "width",  "glossary",   "notingame"};

// --- end punctuation ----------------------------------------------------------

enum class EndMark { kNone, kFullStop, kExclamation, kQuestion, kEllipsis, kColon, kComma, kSemicolon };

bool IsClosing(char32_t c) {
  return c == '"' || c == '\'' || c == ')' || c == ']' || c == U'\u201D' || c == U'\u2019' || c == U'\u300D' ||
         c == U'\u300F' || c == U'\uFF09' || c == U'\u300B' || c == U'\u3011';
}

bool IsSpace(char32_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The punctuation a text ends with, behind closing quotes and brackets, and
// how many code points it takes.
EndMark EndOf(const std::u32string& text, size_t* marks) {
  size_t end = text.size();
  while (end > 0 && IsSpace(text[end - 1])) --end;
  while (end > 0 && IsClosing(text[end - 1])) --end;
  *marks = 0;
  if (end == 0) return EndMark::kNone;
  const char32_t c = text[end - 1];
  *marks = 1;
  switch (c) {
    case '.':
      if (end >= 3 && text[end - 2] == '.' && text[end - 3] == '.') {
        *marks = 3;
        return EndMark::kEllipsis;
      }
      return EndMark::kFullStop;
    case U'\u3002': case U'\uFF0E': return EndMark::kFullStop;
    case U'\u2026':
      if (end >= 2 && text[end - 2] == U'\u2026') *marks = 2;
      return EndMark::kEllipsis;
    case '!': case U'\uFF01': return EndMark::kExclamation;
    case '?': case U'\uFF1F': return EndMark::kQuestion;
    case ':': case U'\uFF1A': return EndMark::kColon;
    case ',': case U'\uFF0C': case U'\u3001': return EndMark::kComma;
    case ';': case U'\uFF1B': return EndMark::kSemicolon;
    default: *marks = 0; return EndMark::kNone;
  }
}

std::string Utf8Of(const std::u32string& points) {
  std::string out;
  for (char32_t c : points) {
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string EndShown(const std::u32string& text, EndMark mark, size_t marks) {
  if (mark == EndMark::kNone) return "no punctuation";
  size_t end = text.size();
  while (end > 0 && IsSpace(text[end - 1])) --end;
  while (end > 0 && IsClosing(text[end - 1])) --end;
  return "\"" + Utf8Of(text.substr(end - marks, marks)) + "\"";
}

void CheckEndPunctuation(std::string_view source, std::string_view target, std::vector<ContentFinding>* out) {
  const std::u32string s = CodePoints(source), t = CodePoints(target);
  size_t sMarks = 0, tMarks = 0;
  const EndMark a = EndOf(s, &sMarks), b = EndOf(t, &tMarks);
  if (a == b) return;
  out->push_back({ContentCheck::kEndPunctuation, "the source ends with " + EndShown(s, a, sMarks) +
                                                     ", the translation with " + EndShown(t, b, tMarks)});
}

// --- placeholders and tags ----------------------------------------------------

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsIdentifier(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '.' || c == ':' ||
         c == ',' || c == '#';
}

// A printf conversion at text[at] ('%'): its length, or 0.
size_t PrintfLength(std::string_view text, size_t at) {
  size_t i = at + 1;
  size_t digits = i;
  while (digits < text.size() && IsDigit(text[digits])) ++digits;
  if (digits > i && digits < text.size() && text[digits] == '$') i = digits + 1;  // %1$s
  while (i < text.size() && (text[i] == '-' || text[i] == '+' || text[i] == '#' || text[i] == '0')) ++i;
  while (i < text.size() && (IsDigit(text[i]) || text[i] == '*')) ++i;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && (IsDigit(text[i]) || text[i] == '*')) ++i;
  }
  while (i < text.size() && std::string_view("hlLqjzt").find(text[i]) != std::string_view::npos) ++i;
  if (i < text.size() && std::string_view("diouxXeEfFgGaAcspn@").find(text[i]) != std::string_view::npos)
    return i + 1 - at;
  return 0;
}

std::vector<std::string> PlaceholdersOf(std::string_view text) {
  std::vector<std::string> found;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%') {
      if (i + 1 < text.size() && text[i + 1] == '%') {
        ++i;
        continue;
      }
      if (const size_t length = PrintfLength(text, i); length > 0) {
        found.emplace_back(text.substr(i, length));
        i += length - 1;
      }
    } else if (text[i] == '{') {
      size_t end = i + 1;
      while (end < text.size() && IsIdentifier(text[end])) ++end;
      if (end > i + 1 && end < text.size() && text[end] == '}') {
        found.emplace_back(text.substr(i, end + 1 - i));
        i = end;
      }
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

std::vector<std::string> TagsOf(std::string_view text) {
  std::vector<std::string> found;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '<' || i + 1 >= text.size()) continue;
    const char next = text[i + 1];
    if (!(next == '/' || next == '!' || (next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z'))) continue;
    const size_t end = text.find_first_of("<>", i + 1);
    if (end == std::string_view::npos || text[end] != '>' || end - i > 200) continue;
    found.emplace_back(text.substr(i, end + 1 - i));
    i = end;
  }
  std::sort(found.begin(), found.end());
  return found;
}

std::string Listed(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) out += (out.empty() ? "" : " ") + item;
  return out;
}

void CompareTokens(ContentCheck check, const char* what, const std::vector<std::string>& source,
                   const std::vector<std::string>& target, std::vector<ContentFinding>* out) {
  std::vector<std::string> missing, added;
  std::set_difference(source.begin(), source.end(), target.begin(), target.end(), std::back_inserter(missing));
  std::set_difference(target.begin(), target.end(), source.begin(), source.end(), std::back_inserter(added));
  std::string message;
  if (!missing.empty()) message = what + std::string(" of the source missing: ") + Listed(missing);
  if (!added.empty()) message += (message.empty() ? "" : "; ") + std::string(what) + " not in the source: " + Listed(added);
  if (!message.empty()) out->push_back({check, message});
}

// --- whitespace and line breaks -------------------------------------------------

std::string_view Leading(std::string_view text) {
  size_t n = 0;
  while (n < text.size() && IsSpace(static_cast<unsigned char>(text[n]))) ++n;
  return text.substr(0, n);
}

std::string_view Trailing(std::string_view text) {
  size_t n = 0;
  while (n < text.size() && IsSpace(static_cast<unsigned char>(text[text.size() - 1 - n]))) ++n;
  return text.substr(text.size() - n);
}

void CheckWhitespace(std::string_view source, std::string_view target, std::vector<ContentFinding>* out) {
  const std::string_view ends[2][2] = {{Leading(source), Leading(target)}, {Trailing(source), Trailing(target)}};
  const char* const where[2] = {"begins", "ends"};
  for (int k = 0; k < 2; ++k) {
    if (ends[k][0] == ends[k][1]) continue;
    out->push_back({ContentCheck::kWhitespace, std::string("the source ") + where[k] + " with " +
                                                   (ends[k][0].empty() ? "no whitespace" : Quoted(ends[k][0])) +
                                                   ", the translation with " +
                                                   (ends[k][1].empty() ? "no whitespace" : Quoted(ends[k][1]))});
  }
}

// Line feeds, and carriage returns without a line feed after them.
size_t LineBreaks(std::string_view text) {
  size_t breaks = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) ++breaks;
  }
  return breaks;
}

// --- unchanged, length, width ------------------------------------------------------

bool HasLetter(std::string_view text) {
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if ((u | 0x20) >= 'a' && (u | 0x20) <= 'z') return true;
    if (u >= 0xC0) return true;  // the lead byte of a character beyond ASCII
  }
  return false;
}

bool IsWide(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
         (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

// A translation wider than twice its source and this many columns more is
// far longer than a Chinese text of the same meaning gets.
constexpr uint32_t kLengthSlack = 10;

// --- glossary ----------------------------------------------------------------------

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool IsWordByte(char c) {
  return IsDigit(c) || (Lower(c) >= 'a' && Lower(c) <= 'z') || static_cast<unsigned char>(c) >= 0x80;
}

// term in text as a whole word, ASCII letters in any case.
bool HoldsTerm(std::string_view text, std::string_view term) {
  if (term.empty() || term.size() > text.size()) return false;
  for (size_t at = 0; at + term.size() <= text.size(); ++at) {
    bool same = true;
    for (size_t k = 0; k < term.size() && same; ++k) same = Lower(text[at + k]) == Lower(term[k]);
    if (!same) continue;
    const bool startsWord = at == 0 || !IsWordByte(text[at - 1]) || !IsWordByte(term.front());
    const size_t end = at + term.size();
    const bool endsWord = end == text.size() || !IsWordByte(text[end]) || !IsWordByte(term.back());
    if (startsWord && endsWord) return true;
  }
  return false;
}

void CheckGlossary(std::string_view source, std::string_view target, const std::vector<GlossaryTerm>& glossary,
                   std::vector<ContentFinding>* out) {
  for (const GlossaryTerm& term : glossary) {
    if (!HoldsTerm(source, term.source)) continue;
    if (!term.required.empty() &&
        std::none_of(term.required.begin(), term.required.end(),
                     [&](const std::string& r) { return target.find(r) != std::string_view::npos; })) {
      out->push_back({ContentCheck::kGlossary, "\"" + term.source + "\" is to be translated as \"" +
                                                   Listed(term.required) + "\""});
    }
    for (const std::string& f : term.forbidden) {
      if (target.find(f) != std::string_view::npos)
        out->push_back({ContentCheck::kGlossary, "\"" + term.source + "\" is not to be translated as \"" + f + "\""});
    }
  }
}

}  // namespace

const char* ContentCheckName(ContentCheck check) { return kNames[static_cast<int>(check)]; }

bool ContentCheckNamed(std::string_view name, ContentCheck* check) {
  for (int k = 0; k < kContentChecks; ++k) {
    if (name == kNames[k]) {
      *check = static_cast<ContentCheck>(k);
      return true;
    }
  }
  return false;
}

std::string ContentCheckNames() {
  std::string names;
  for (const char* name : kNames) names += (names.empty() ? "" : ", ") + std::string(name);
  return names;
}

std::vector<GlossaryTerm> GlossaryOf(const std::vector<Entry>& records) {
  std::vector<GlossaryTerm> glossary;
  for (const Entry& r : records) {
    if (r.source.empty() || r.target.empty()) continue;
    auto term = std::find_if(glossary.begin(), glossary.end(), [&](const GlossaryTerm& t) { return t.source == r.source; });
    if (term == glossary.end()) {
      glossary.push_back({r.source, {}, {}});
      term = glossary.end() - 1;
    }
    std::string remark;
    for (char c : r.remark) remark += Lower(c);
    (remark.find("forbidden") != std::string::npos ? term->forbidden : term->required).push_back(r.target);
  }
  return glossary;
}

uint32_t DisplayWidth(std::string_view line) {
  uint32_t width = 0;
  for (char32_t c : CodePoints(line)) width += IsWide(c) ? 2 : 1;
  return width;
}

uint32_t WidestLine(std::string_view text) {
  uint32_t widest = 0;
  size_t begin = 0;
  for (;;) {
    const size_t end = text.find_first_of("\r\n", begin);
    widest = std::max(widest, DisplayWidth(text.substr(begin, end == std::string_view::npos ? end : end - begin)));
    if (end == std::string_view::npos) return widest;
    begin = end + 1;
  }
}

bool IsSubtitleRemark(std::string_view remark) {
  const size_t space = remark.find(' ');
  return space != std::string_view::npos && space >= 4 && remark.substr(space - 4, 4) == ".usm";
}

void CheckContent(std::string_view source, std::string_view target, std::string_view remark, bool subtitle,
                  const ContentOptions& options, std::vector<ContentFinding>* findings) {
  if (target == source) {
    if (!options.on(ContentCheck::kUnchanged) || !HasLetter(source)) return;
    const EntryState state = StateOf(source, target, remark);
    if (state == EntryState::kIdentical) return;
    if (options.allowed.count(std::string(source)) > 0) return;
    findings->push_back({ContentCheck::kUnchanged,
                         state == EntryState::kFuzzy
                             ? "untranslated: a suggestion waits for review in the remark"
                             : "untranslated: the target is the source (mark it [identical] when that is meant)"});
    return;
  }
  if (options.on(ContentCheck::kEndPunctuation)) CheckEndPunctuation(source, target, findings);
  if (options.on(ContentCheck::kPlaceholders))
    CompareTokens(ContentCheck::kPlaceholders, "placeholders", PlaceholdersOf(source), PlaceholdersOf(target), findings);
  if (options.on(ContentCheck::kTags)) CompareTokens(ContentCheck::kTags, "tags", TagsOf(source), TagsOf(target), findings);
  if (options.on(ContentCheck::kWhitespace)) CheckWhitespace(source, target, findings);
  if (options.on(ContentCheck::kNewlines)) {
    const size_t a = LineBreaks(source), b = LineBreaks(target);
    if (a != b) {
      findings->push_back({ContentCheck::kNewlines, "the source has " + std::to_string(a) +
                                                       " line breaks, the translation " + std::to_string(b)});
    }
  }
  if (options.on(ContentCheck::kLength)) {
    const uint32_t s = DisplayWidth(source), t = DisplayWidth(target);
    if (t > 2 * s + kLengthSlack) {
      findings->push_back({ContentCheck::kLength, "the translation is " + std::to_string(t) +
                                                     " columns wide, its source " + std::to_string(s) +
                                                     ": far longer than a translation gets"});
    }
  }
  if (options.on(ContentCheck::kWidth) && subtitle && options.widthLimit > 0) {
    const uint32_t widest = WidestLine(target);
    if (widest > options.widthLimit) {
      findings->push_back({ContentCheck::kWidth, "a subtitle line " + std::to_string(widest) +
                                                    " columns wide; the limit is " + std::to_string(options.widthLimit)});
    }
  }
  if (options.on(ContentCheck::kGlossary)) CheckGlossary(source, target, options.glossary, findings);
}

}  // namespace dict_tool

namespace dict_tool {

std::vector<EntryFinding> CheckFileContent(const DictFile& file, ContentOptions options, const GameTextSets* game) {
  const uint32_t count = file.count();
  std::vector<bool> subtitle(count, false);
  uint32_t widestSubtitle = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const std::string_view source = file.Text(i, Field::kSource);
    subtitle[i] = game != nullptr ? game->subtitles.count(std::string(source)) > 0
                                  : IsSubtitleRemark(file.Text(i, Field::kRemark));
    if (subtitle[i]) widestSubtitle = std::max(widestSubtitle, WidestLine(source));
  }
  if (options.widthLimit == 0) options.widthLimit = widestSubtitle;

  std::vector<EntryFinding> found;
  std::vector<ContentFinding> findings;
  for (uint32_t i = 0; i < count; ++i) {
    const std::string_view source = file.Text(i, Field::kSource);
    findings.clear();
    CheckContent(source, file.Text(i, Field::kTarget), file.Text(i, Field::kRemark), subtitle[i], options, &findings);
    if (game != nullptr && options.on(ContentCheck::kNotInGame) && game->all.count(std::string(source)) == 0) {
      findings.push_back({ContentCheck::kNotInGame, "the game has no text " + Quoted(source) +
                                                        ": this entry translates nothing"});
    }
    for (ContentFinding& f : findings)
      found.push_back({i, file.TextLine(i, Field::kTarget), f.check, std::move(f.message)});
  }
  return found;
}

}  // namespace dict_tool
