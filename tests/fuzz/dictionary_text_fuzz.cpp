// Fuzz target: loading a dictionary text from memory, then looking up a few
// keys; every entry found must hold exactly the trimmed key.
#include <cstring>
#include <string>

#include "dictionary/brx_string_dict.h"

namespace {

std::string TrimmedSpaces(std::string key) {
  while (!key.empty() && key.back() == ' ') key.pop_back();
  size_t first = key.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : key.substr(first);
}

void CheckLookup(const BRXStringDict& dict, const char* key) {
  const BRXStringEntry* found = dict.FindEntry(key);
  if (found == nullptr) return;
  std::string trimmed = TrimmedSpaces(key);
  if (BRXStringDict::CompareText(found->source, trimmed.c_str()) != BRXStringDict::kEqual ||
      strlen(found->source) != found->sourceLength || strlen(found->target) != found->targetLength)
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);  // zero-terminated copy
  BRXStringDict dict;
  uint32_t count = dict.LoadFromTXTBuffer(text.c_str());
  if (count != dict.GetCount()) __builtin_trap();
  for (const char* key : {"", " ", "Hello", "  Hello ", "\xE4\xBD\xA0", "zzzz", "A\r\nB"}) {
    CheckLookup(dict, key);
    if (dict.FindIndex(key) > count && count != 0) __builtin_trap();
  }
  dict.FindEntryByID(0x6C6C6548);
  return 0;
}
