#include "tools/setup/dictionary_gate.h"

#include "platform/platform.h"
#include "platform/setup_support.h"
#include "tools/dict/dict_check.h"

namespace setup {

namespace {

constexpr char kSortAdvice[] =
    "用 hanhua-dict sort 重新排序后再试。(Sort it with \"hanhua-dict sort\" and try again.)";
constexpr char kCheckAdvice[] =
    "用 hanhua-dict check 查看全部问题，修正后再试；或换用汉化包里原来的 chs.txt。"
    "(See every problem with \"hanhua-dict check\", or use the chs.txt of the translation package.)";

// Whether the first lines of the file end in LF alone: the loader finds no
// entry then (an entry marker must follow a CR LF).
bool HasLoneLineFeeds(const std::string& path) {
  platform::File file = platform::OpenRead(path.c_str());
  if (file == platform::kNoFile) return false;
  std::string head(65536, '\0');
  const int64_t n = platform::Read(file, head.data(), uint32_t(head.size()));
  platform::Close(file);
  head.resize(n > 0 ? size_t(n) : 0);
  for (size_t at = head.find('\n'); at != std::string::npos; at = head.find('\n', at + 1))
    if (at == 0 || head[at - 1] != '\r') return true;
  return false;
}

uint64_t FileSizeOf(const std::string& path) {
  platform::FileIdentity identity;
  return platform::GetFileIdentity(path.c_str(), &identity) ? identity.size : 0;
}

DictionaryVerdict LoadProblem(const std::string& path, const dict_tool::CheckResult& result) {
  DictionaryVerdict v;
  const uint32_t line = result.findings.empty() ? 0 : result.findings.front().line;
  if (FileSizeOf(path) == 0) {
    v.problem = "词典是空文件。(The dictionary is empty.)";
    v.advice = "请重新下载汉化包里的 chs.txt。(Download the translation's chs.txt again.)";
  } else if (HasLoneLineFeeds(path)) {
    v.problem = "词典的换行不是 Windows 格式 (CR LF)，游戏会一条也翻译不了。"
                "(The dictionary's line breaks are LF, not CR LF: nothing would be translated.)";
    v.advice = "用记事本打开 chs.txt，另存为时选择 UTF-8 编码和 Windows (CR LF) 换行。"
               "(Save it again as UTF-8 with Windows (CR LF) line breaks.)";
  } else if (line > 1) {
    v.problem = "词典第 " + std::to_string(line) + " 行的词条缺少标记行，整个词典无法使用。(Entry at line " +
                std::to_string(line) + " lacks a marker line: the whole dictionary would be ignored.)";
    v.advice = kCheckAdvice;
  } else {
    v.problem = "这不是可用的汉化词典 (not a usable dictionary): " +
                (result.findings.empty() ? std::string() : result.findings.front().message);
    v.advice = kCheckAdvice;
  }
  return v;
}

}  // namespace

std::string LocateDictionary(const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;
    const std::string path = platform::JoinPath(folder, kDictionaryName);
    if (platform::IsRegularFile(path)) return path;
  }
  return "";
}

DictionaryVerdict CheckDictionary(const std::string& path) {
  if (!platform::IsRegularFile(path)) {
    DictionaryVerdict v;
    v.problem = "找不到词典 " + path + "。(The dictionary " + path + " is missing.)";
    v.advice = kCheckAdvice;
    return v;
  }
  const dict_tool::CheckResult result = dict_tool::CheckDictionary(path);
  if (!result.loaded || result.entries == 0) return LoadProblem(path, result);
  DictionaryVerdict v;
  v.entries = result.entries;
  if (result.errors == 0) {
    v.usable = true;
    return v;
  }
  const dict_tool::Diagnostic* first = nullptr;
  bool order = false;
  for (const dict_tool::Diagnostic& d : result.findings) {
    if (d.severity != dict_tool::Severity::kError) continue;
    if (first == nullptr) first = &d;
    order |= d.check == dict_tool::DefectCheckName(dict_tool::Defect::kOutOfOrder);
  }
  const std::string errors = std::to_string(result.errors);
  const std::string line = first != nullptr ? std::to_string(first->line) : "?";
  v.problem = "词典有 " + errors + " 处错误，第一处在第 " + line + " 行：" +
              (first != nullptr ? first->message : std::string()) + " (" + errors + " errors; the first at line " +
              line + ")";
  v.advice = order ? kSortAdvice : kCheckAdvice;
  return v;
}

DictionaryCopy::~DictionaryCopy() { Remove(); }

std::string DictionaryCopy::path() const { return platform::JoinPath(folder_, kDictionaryName); }

bool DictionaryCopy::Make(const std::string& source) {
  Remove();
  if (!platform::MakePrivateFolder(&folder_)) {
    folder_.clear();
    return false;
  }
  if (platform::CopyReplace(source.c_str(), path().c_str())) return true;
  Remove();
  return false;
}

void DictionaryCopy::Remove() {
  if (folder_.empty()) return;
  const std::string copy = path();
  platform::SetAttributes(copy.c_str(), platform::kAttrNormal);
  platform::DeletePath(copy.c_str());
  platform::RemoveEmptyFolder(folder_);
  folder_.clear();
}

}  // namespace setup
