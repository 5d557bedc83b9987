#include "tools/dict/xliff.h"

#include <pugixml.hpp>

#include <algorithm>
#include <sstream>

#include "tools/dict/entry_state.h"

namespace dict_tool {

namespace {

constexpr char kNamespace[] = "urn:oasis:names:tc:xliff:document:1.2";

void AddText(pugi::xml_node parent, const char* name, std::string_view text) {
  pugi::xml_node node = parent.append_child(name);
  if (!text.empty()) node.append_child(pugi::node_pcdata).set_value(std::string(text).c_str());
}

void AddUnit(pugi::xml_node body, size_t number, const Entry& e) {
  pugi::xml_node unit = body.append_child("trans-unit");
  unit.append_attribute("id") = std::to_string(number).c_str();
  unit.append_attribute("xml:space") = "preserve";
  AddText(unit, "source", e.source);
  std::string note = e.remark;
  switch (StateOf(e.source, e.target, e.remark)) {
    case EntryState::kTranslated:
      AddText(unit, "target", e.target);
      unit.child("target").append_attribute("state") = "translated";
      unit.append_attribute("approved") = "yes";
      break;
    case EntryState::kIdentical:
      note = SplitRemark(e.remark).own;
      AddText(unit, "target", e.source);
      unit.child("target").append_attribute("state") = "final";
      unit.append_attribute("approved") = "yes";
      break;
    case EntryState::kFuzzy: {
      const RemarkParts parts = SplitRemark(e.remark);
      note = parts.own;
      AddText(unit, "target", parts.suggestion);
      unit.child("target").append_attribute("state") = "needs-review-translation";
      unit.append_attribute("approved") = "no";
      if (!parts.suggestionSource.empty()) {
        pugi::xml_node alt = unit.append_child("alt-trans");
        if (parts.similarity >= 0) alt.append_attribute("match-quality") = std::to_string(parts.similarity).c_str();
        AddText(alt, "source", parts.suggestionSource);
        AddText(alt, "target", parts.suggestion);
      }
      break;
    }
    case EntryState::kUntranslated:
      break;
  }
  if (!note.empty()) AddText(unit, "note", note);
}

// pugixml writes a carriage return in text as it is, and every XML reader
// turns a raw one into a line feed; as a character reference it survives.
// Raw carriage returns occur only in text: attributes are written escaped.
std::string KeepCarriageReturns(const std::string& xml) {
  std::string out;
  out.reserve(xml.size());
  for (char c : xml) {
    if (c == '\r') {
      out += "&#13;";
    } else {
      out += c;
    }
  }
  return out;
}

// The text of an element that holds only text; false when it holds markup.
bool TextOf(pugi::xml_node node, std::string* text) {
  text->clear();
  for (pugi::xml_node child : node.children()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
      *text += child.value();
    } else if (child.type() == pugi::node_element) {
      return false;
    }
  }
  return true;
}

// Lines of byte offsets, asked for in ascending order (for another order it
// counts from the start again).
class LineCounter {
 public:
  explicit LineCounter(std::string_view text) : text_(text) {}
  uint32_t LineAt(ptrdiff_t offset) {
    const size_t to = size_t(std::clamp<ptrdiff_t>(offset, 0, ptrdiff_t(text_.size())));
    if (to < at_) {
      at_ = 0;
      line_ = 1;
    }
    line_ += uint32_t(std::count(text_.begin() + at_, text_.begin() + to, '\n'));
    at_ = to;
    return line_;
  }

 private:
  std::string_view text_;
  size_t at_ = 0;
  uint32_t line_ = 1;
};

bool Fail(ReadError* error, uint32_t line, const std::string& message) {
  error->line = line;
  error->message = message;
  return false;
}

}  // namespace

std::string XliffText(const std::vector<Entry>& entries, const std::string& original) {
  pugi::xml_document document;
  pugi::xml_node declaration = document.append_child(pugi::node_declaration);
  declaration.append_attribute("version") = "1.0";
  declaration.append_attribute("encoding") = "UTF-8";
  pugi::xml_node xliff = document.append_child("xliff");
  xliff.append_attribute("version") = "1.2";
  xliff.append_attribute("xmlns") = kNamespace;
  pugi::xml_node file = xliff.append_child("file");
  file.append_attribute("original") = original.c_str();
  file.append_attribute("source-language") = "en";
  file.append_attribute("target-language") = "zh-CN";
  file.append_attribute("datatype") = "plaintext";
  pugi::xml_node body = file.append_child("body");
  for (size_t i = 0; i < entries.size(); ++i) AddUnit(body, i, entries[i]);
  std::ostringstream out;
  document.save(out, "  ", pugi::format_indent, pugi::encoding_utf8);
  return KeepCarriageReturns(out.str());
}

bool ReadXliff(std::string_view text, std::vector<Entry>* entries, ReadError* error) {
  entries->clear();
  *error = ReadError{};
  pugi::xml_document document;
  const pugi::xml_parse_result parsed =
      document.load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_ws_pcdata, pugi::encoding_auto);
  LineCounter lines(text);
  if (!parsed) return Fail(error, lines.LineAt(parsed.offset), std::string("not well-formed XML: ") + parsed.description());
  pugi::xml_node xliff = document.child("xliff");
  if (!xliff) return Fail(error, 1, "not an XLIFF file: its root element is not <xliff>");
  for (pugi::xml_node file : xliff.children("file")) {
    pugi::xml_node body = file.child("body");
    // Units may sit in groups.
    for (pugi::xpath_node found : body.select_nodes(".//trans-unit")) {
      const pugi::xml_node unit = found.node();
      const uint32_t line = lines.LineAt(unit.offset_debug());
      Entry e;
      e.line = line;
      std::string target, note, altSource;
      if (!unit.child("source")) return Fail(error, line, "a trans-unit without <source>");
      if (!TextOf(unit.child("source"), &e.source) || !TextOf(unit.child("target"), &target))
        return Fail(error, line, "markup inside the source or target of a trans-unit; only plain text is read");
      bool firstNote = true;
      for (pugi::xml_node n : unit.children("note")) {
        std::string part;
        TextOf(n, &part);
        note += (firstNote ? "" : "\n") + part;
        firstNote = false;
      }
      const pugi::xml_node targetNode = unit.child("target");
      const std::string state = targetNode.attribute("state").as_string();
      const bool reviewed = !(state == "new" || state == "needs-translation");
      // Translate Toolkit marks a unit to review by approved="no" alone.
      const bool fuzzy = state.rfind("needs-review", 0) == 0 || state == "needs-adaptation" ||
                         state == "needs-l10n" ||
                         (state.empty() && std::string_view(unit.attribute("approved").as_string()) == "no");
      ImportedTranslation translation;
      if (targetNode) translation.text = std::move(target);
      translation.fuzzy = fuzzy;
      translation.reviewed = reviewed;
      if (translation.fuzzy) TextOf(unit.child("alt-trans").child("source"), &translation.suggestionSource);
      ApplyImportedTranslation(e.source, std::move(note), std::move(translation), &e.target, &e.remark);
      entries->push_back(std::move(e));
    }
  }
  return true;
}

}  // namespace dict_tool
