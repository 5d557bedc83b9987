#include "tools/dict/entry_state.h"

#include <cstdint>
#include <vector>

#include "tools/dict/dict_text.h"
#include "tools/dict/fuzzy_match.h"

namespace dict_tool {

namespace {

constexpr std::string_view kIdenticalLine = "[identical]";
constexpr std::string_view kFuzzyPrefix = "[fuzzy";
constexpr std::string_view kFuzzySourcePrefix = "[fuzzy source] ";

struct Line {
  size_t begin;  // offset in the remark
  std::string_view text;  // without its line break
};

// The lines of a remark, each without "\n" and a "\r" before it.
std::vector<Line> LinesOf(std::string_view remark) {
  std::vector<Line> lines;
  size_t begin = 0;
  for (;;) {
    const size_t end = remark.find('\n', begin);
    std::string_view text = remark.substr(begin, end == std::string_view::npos ? end : end - begin);
    if (end != std::string_view::npos && !text.empty() && text.back() == '\r') text.remove_suffix(1);
    lines.push_back({begin, text});
    if (end == std::string_view::npos) return lines;
    begin = end + 1;
  }
}

// "[fuzzy 87%] \"...\"" or "[fuzzy] \"...\"".
bool ReadFuzzyLine(std::string_view line, int* similarity, std::string* suggestion) {
  if (line.substr(0, kFuzzyPrefix.size()) != kFuzzyPrefix) return false;
  line.remove_prefix(kFuzzyPrefix.size());
  int percent = -1;
  if (!line.empty() && line[0] == ' ') {
    line.remove_prefix(1);
    percent = 0;
    size_t digits = 0;
    while (digits < line.size() && digits < 3 && line[digits] >= '0' && line[digits] <= '9')
      percent = percent * 10 + (line[digits++] - '0');
    if (digits == 0 || line.substr(digits, 1) != "%") return false;
    line.remove_prefix(digits + 1);
  }
  if (line.substr(0, 2) != "] ") return false;
  if (!UnescapeLine(line.substr(2), suggestion)) return false;
  *similarity = percent;
  return true;
}

}  // namespace

const char* EntryStateName(EntryState state) {
  switch (state) {
    case EntryState::kTranslated: return "translated";
    case EntryState::kIdentical: return "identical";
    case EntryState::kFuzzy: return "fuzzy";
    case EntryState::kUntranslated: return "untranslated";
  }
  return "";
}

std::string EscapeOnLine(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (const char* escape = ShortEscape(c)) {
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

bool UnescapeLine(std::string_view quoted, std::string* text) {
  if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') return false;
  quoted = quoted.substr(1, quoted.size() - 2);
  text->clear();
  for (size_t i = 0; i < quoted.size(); ++i) {
    const char c = quoted[i];
    if (c == '"') return false;
    if (c != '\\') {
      *text += c;
      continue;
    }
    char plain;
    if (++i >= quoted.size() || !ShortUnescape(quoted[i], &plain)) return false;
    *text += plain;
  }
  return true;
}

RemarkParts SplitRemark(std::string_view remark) {
  RemarkParts parts;
  const std::vector<Line> lines = LinesOf(remark);
  // Annotations are read from the last line upwards: "[identical]" last,
  // or the fuzzy pair last, or both (identical after the pair).
  size_t first = lines.size();
  if (first > 0 && lines[first - 1].text == kIdenticalLine) {
    parts.identical = true;
    --first;
  }
  if (first > 0) {
    std::string_view last = lines[first - 1].text;
    std::string source;
    size_t fuzzyLine = first - 1;
    bool haveSource = false;
    if (last.substr(0, kFuzzySourcePrefix.size()) == kFuzzySourcePrefix &&
        UnescapeLine(last.substr(kFuzzySourcePrefix.size()), &source) && first >= 2) {
      haveSource = true;
      fuzzyLine = first - 2;
    }
    if (ReadFuzzyLine(lines[fuzzyLine].text, &parts.similarity, &parts.suggestion)) {
      parts.fuzzy = true;
      if (haveSource) parts.suggestionSource = std::move(source);
      first = fuzzyLine;
    }
  }
  if (first == lines.size()) {
    parts.own = std::string(remark);
    return parts;
  }
  // The remark up to the line break before the first annotation, and the
  // form of line break the annotations are joined with.
  const size_t breakAt = first == 0 ? 0 : lines[first].begin - 1;
  const bool crlf = remark.find("\r\n", breakAt > 0 ? breakAt - 1 : 0) != std::string_view::npos;
  parts.lineBreak = crlf ? "\r\n" : "\n";
  const size_t cut = first == 0 ? 0 : breakAt - (crlf && breakAt > 0 && remark[breakAt - 1] == '\r' ? 1 : 0);
  parts.own = std::string(remark.substr(0, cut));
  return parts;
}

std::string JoinRemark(const RemarkParts& parts) {
  std::string remark = parts.own;
  bool any = !parts.own.empty();
  auto add = [&](const std::string& line) {
    if (any) remark += parts.lineBreak;
    remark += line;
    any = true;
  };
  if (parts.fuzzy) {
    std::string head = std::string(kFuzzyPrefix);
    if (parts.similarity >= 0) head += " " + std::to_string(parts.similarity) + "%";
    add(head + "] " + EscapeOnLine(parts.suggestion));
    if (!parts.suggestionSource.empty())
      add(std::string(kFuzzySourcePrefix) + EscapeOnLine(parts.suggestionSource));
  }
  if (parts.identical) add(std::string(kIdenticalLine));
  return remark;
}

EntryState StateOf(std::string_view source, std::string_view target, std::string_view remark) {
  if (target != source) return EntryState::kTranslated;
  // Only the end of the remark can hold an annotation; most remarks have
  // none, and this is called for every entry of a game-sized dictionary.
  if (remark.find('[') == std::string_view::npos) return EntryState::kUntranslated;
  const RemarkParts parts = SplitRemark(remark);
  if (parts.fuzzy) return EntryState::kFuzzy;
  if (parts.identical) return EntryState::kIdentical;
  return EntryState::kUntranslated;
}

namespace {

// The code point of the well-formed sequence of length bytes at text[at].
uint32_t CodePoint(std::string_view text, size_t at, size_t length) {
  const auto byte = [&](size_t k) { return uint32_t(static_cast<unsigned char>(text[at + k])); };
  if (length == 1) return byte(0);
  uint32_t value = byte(0) & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) value = value << 6 | (byte(k) & 0x3F);
  return value;
}

// Chinese, Japanese and Korean characters, without their punctuation.
bool IsCjkCharacter(uint32_t c) {
  return (c >= 0x2E80 && c <= 0x9FFF && !(c >= 0x3000 && c <= 0x303F)) || (c >= 0xAC00 && c <= 0xD7AF) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0x20000 && c <= 0x3FFFF);
}

bool IsWordSeparator(uint32_t c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || (c >= 0x3000 && c <= 0x303F) ||
         (c >= 0xFF00 && c <= 0xFF0F);
}

}  // namespace

uint64_t CountWords(std::string_view text) {
  uint64_t words = 0;
  bool inWord = false;
  for (size_t i = 0; i < text.size();) {
    size_t length = Utf8SequenceLength(text, i);
    const uint32_t c = length == 0 ? 0xFFFD : CodePoint(text, i, length);
    if (length == 0) length = 1;
    if (IsCjkCharacter(c)) {
      ++words;
      inWord = false;
    } else if (IsWordSeparator(c)) {
      inWord = false;
    } else if (!inWord) {
      ++words;
      inWord = true;
    }
    i += length;
  }
  return words;
}

void ApplyImportedTranslation(std::string_view source, std::string own, ImportedTranslation translation,
                              std::string* target, std::string* remark) {
  *target = std::string(source);
  if (translation.fuzzy && !translation.text.empty()) {
    RemarkParts parts;
    parts.own = std::move(own);
    parts.fuzzy = true;
    parts.suggestion = std::move(translation.text);
    parts.suggestionSource = std::move(translation.suggestionSource);
    if (!parts.suggestionSource.empty()) parts.similarity = Similarity(parts.suggestionSource, source);
    *remark = JoinRemark(parts);
  } else if (translation.text.empty() || !translation.reviewed || translation.fuzzy) {
    *remark = std::move(own);
  } else if (translation.text == source) {
    RemarkParts parts = SplitRemark(own);
    parts.identical = true;
    *remark = JoinRemark(parts);
  } else {
    *remark = std::move(own);
    *target = std::move(translation.text);
  }
}

}  // namespace dict_tool
