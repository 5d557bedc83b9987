#include "tools/dict/state_counts.h"

#include <cstdio>
#include <map>

#include "tools/dict/tool_io.h"

namespace dict_tool {

std::string FileOfRemark(std::string_view remark) {
  const size_t space = remark.find(' ');
  if (space == std::string_view::npos || space < 5) return "";
  const std::string_view name = remark.substr(0, space);
  const std::string_view extension = name.substr(name.size() - 4);
  return extension == ".upk" || extension == ".usm" ? std::string(name) : "";
}

std::vector<FileCounts> CountByRemark(const DictFile& file, StateCounts* total) {
  std::map<std::string, StateCounts> byFile;
  for (uint32_t i = 0; i < file.count(); ++i) {
    const std::string_view source = file.Text(i, Field::kSource);
    const std::string_view remark = file.Text(i, Field::kRemark);
    byFile[FileOfRemark(remark)].Add(StateOf(source, file.Text(i, Field::kTarget), remark), CountWords(source));
  }
  std::vector<FileCounts> rows;
  *total = StateCounts{};
  for (const auto& [name, counts] : byFile) {
    if (!name.empty()) rows.push_back({name, counts});
    total->Add(counts);
  }
  if (const auto none = byFile.find(""); none != byFile.end()) rows.push_back({"", none->second});
  return rows;
}

StateCounts CountTexts(const std::vector<std::string_view>& texts, const BRXStringDict& dict) {
  StateCounts counts;
  for (std::string_view text : texts) {
    const std::string key(text);
    const BRXStringEntry* entry = dict.FindEntry(key.c_str());
    EntryState state = EntryState::kUntranslated;
    if (entry != nullptr) {
      state = StateOf(std::string_view(entry->source, entry->sourceLength),
                      std::string_view(entry->target, entry->targetLength),
                      std::string_view(entry->remark, entry->remarkLength));
    }
    counts.Add(state, CountWords(text));
  }
  return counts;
}

namespace {

Json CountsJson(const StateCounts& c) {
  return Json{{"translated", c.entries[static_cast<int>(EntryState::kTranslated)]},
              {"fuzzy", c.entries[static_cast<int>(EntryState::kFuzzy)]},
              {"identical", c.entries[static_cast<int>(EntryState::kIdentical)]},
              {"untranslated", c.entries[static_cast<int>(EntryState::kUntranslated)]},
              {"words", c.Words()},
              {"done_words", c.DoneWords()}};
}

}  // namespace

Json StateCountsJson(const std::vector<FileCounts>& rows, const StateCounts& total) {
  Json files = Json::array();
  for (const FileCounts& row : rows) {
    Json counts = CountsJson(row.counts);
    counts["file"] = row.name.empty() ? Json() : Json(row.name);
    files.push_back(std::move(counts));
  }
  return Json{{"files", std::move(files)}, {"total", CountsJson(total)}};
}

namespace {

void AppendRow(const std::string& name, const StateCounts& c, std::string* out) {
  char line[256];
  std::snprintf(line, sizeof line, "%-34s %10llu %7llu %9llu %12llu %11llu %7s %%\n", name.c_str(),
                static_cast<unsigned long long>(c.entries[0]), static_cast<unsigned long long>(c.entries[2]),
                static_cast<unsigned long long>(c.entries[1]), static_cast<unsigned long long>(c.entries[3]),
                static_cast<unsigned long long>(c.Words()), Percent(c.DoneWords(), c.Words()).c_str());
  *out += line;
}

}  // namespace

std::string StateTable(const std::vector<FileCounts>& rows, const StateCounts& total, const char* unit) {
  char head[256];
  std::snprintf(head, sizeof head, "%-34s %10s %7s %9s %12s %11s %9s\n", unit, "translated", "fuzzy", "identical",
                "untranslated", "words", "done");
  std::string out = head;
  for (const FileCounts& row : rows) AppendRow(row.name.empty() ? "(no file named)" : row.name, row.counts, &out);
  AppendRow("total", total, &out);
  return out;
}

}  // namespace dict_tool
