#include "tools/setup/dictionary_gate.h"

#include "platform/platform.h"
#include "platform/setup_support.h"
#include "tools/dict/dict_check.h"
#include "tools/dict/dict_file.h"

namespace setup {

namespace {

constexpr char kSortAdvice[] =
    "用 hanhua-dict sort 重新排序后再试。(Sort it with \"hanhua-dict sort\" and try again.)";
constexpr char kCheckAdvice[] =
    "用 hanhua-dict check 查看全部问题，修正后再试；或换用汉化包里原来的 chs.txt。"
    "(See every problem with \"hanhua-dict check\", or use the chs.txt of the translation package.)";

bool HasLoneLineFeeds(const std::string& text) {
  for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
    if (at == 0 || text[at - 1] != '\r') return true;
  return false;
}

DictionaryVerdict LoadProblem(const dict_tool::DictFile& file, const dict_tool::LoadError& error) {
  DictionaryVerdict v;
  using dict_tool::LoadFailure;
  switch (error.failure) {
    case LoadFailure::kUnreadable:
    case LoadFailure::kChanged:
      v.problem = "词典无法读取。(The dictionary cannot be read.)";
      v.advice = "确认文件没有被其他程序占用。(Make sure no other program holds it open.)";
      break;
    case LoadFailure::kEmpty:
      v.problem = "词典是空文件。(The dictionary is empty.)";
      v.advice = "请重新下载汉化包里的 chs.txt。(Download the translation's chs.txt again.)";
      break;
    case LoadFailure::kTooLarge:
      v.problem = "词典超过 200,000,000 字节。(The dictionary is larger than 200,000,000 bytes.)";
      v.advice = kCheckAdvice;
      break;
    case LoadFailure::kPathTooLong:
    case LoadFailure::kNoEntry:
    case LoadFailure::kMissingMarker:
    case LoadFailure::kNone:
      if (HasLoneLineFeeds(file.text)) {
        v.problem = "词典的换行不是 Windows 格式 (CR LF)，游戏会一条也翻译不了。"
                    "(The dictionary's line breaks are LF, not CR LF: nothing would be translated.)";
        v.advice = "用记事本打开 chs.txt，另存为时选择 UTF-8 编码和 Windows (CR LF) 换行。"
                   "(Save it again as UTF-8 with Windows (CR LF) line breaks.)";
      } else if (error.failure == LoadFailure::kMissingMarker) {
        v.problem = "词典第 " + std::to_string(error.line) + " 行的词条缺少标记行，整个词典无法使用。"
                    "(Entry at line " + std::to_string(error.line) +
                    " lacks a marker line: the whole dictionary would be ignored.)";
        v.advice = kCheckAdvice;
      } else {
        v.problem = "这不是汉化词典：文件里找不到词条。(No dictionary entry in this file.)";
        v.advice = kCheckAdvice;
      }
      break;
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
  dict_tool::DictFile file;
  dict_tool::LoadError error;
  if (!dict_tool::LoadDictFile(path, &file, &error) || file.count() == 0) return LoadProblem(file, error);
  const std::vector<dict_tool::Finding> findings = dict_tool::CheckDictFile(file);
  int errors = 0;
  const dict_tool::Finding* first = nullptr;
  bool order = false;
  for (const dict_tool::Finding& finding : findings) {
    if (!dict_tool::IsError(finding.defect)) continue;
    if (first == nullptr) first = &finding;
    order |= finding.defect == dict_tool::Defect::kOutOfOrder;
    ++errors;
  }
  DictionaryVerdict v;
  v.entries = file.count();
  if (errors == 0) {
    v.usable = true;
    return v;
  }
  v.problem = "词典有 " + std::to_string(errors) + " 处错误，第一处在第 " + std::to_string(first->line) +
              " 行：" + first->message + " (" + std::to_string(errors) + " errors; the first at line " +
              std::to_string(first->line) + ")";
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
