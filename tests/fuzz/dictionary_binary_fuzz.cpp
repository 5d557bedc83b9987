// Fuzz target: loading the binary dictionary form from a file, then looking
// texts up in it (which reads the loaded texts).
#include <cstring>

#include "dictionary/brx_string_dict.h"
#include "tests/fuzz/fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = fuzz::WriteScratchFile("dict.bin", data, size);
  BRXStringDict dict;
  uint32_t count = dict.LoadFromBINFileA(path.c_str());
  if (count != dict.GetCount()) __builtin_trap();
  for (const char* key : {"", "Hello", "Hi", "\xFF"}) {
    const BRXStringEntry* found = dict.FindEntry(key);
    if (found != nullptr && strlen(found->target) != found->targetLength) __builtin_trap();
  }
  dict.FindEntryByID(0x6C6C6548);
  return 0;
}
