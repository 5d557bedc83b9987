// Fuzz target: the dialogue text rewriter on one export body, with a fixed
// name table in which index 1 is "DialogueText". The scratch directory holds
// a chs.txt that knows empty, short, non-ASCII and very long translations, so
// that strings of both forms get replaced and the new body has to grow.
//
// Besides the sanitizers it checks the rewriter's contract: the new body is
// handed over only with result 1, and a lookup that knows nothing never
// gives a new body.
#include <cstring>
#include <string>
#include <vector>

#include "package/dialogue_rewrite.h"
#include "package/package_tables.h"
#include "platform/platform.h"
#include "tests/fuzz/fuzz_files.h"

namespace {

// Index 1 selects the property; the neighbours differ from it by case, by
// one character more and by nothing at all.
const char* const kNames[] = {"None", "DialogueText", "Dialoguetext", "DialogueText2", ""};

std::string Entry(int number, const std::string& source, const std::string& target) {
  char head[40];
  snprintf(head, sizeof head, "\r\nqzrtn_res_No.%08d\r\n", number);
  return head + ("qzrtn_res_ENG_Start\r\n" + source + "\r\nqzrtn_res_ENG_End\r\n") +
         ("qzrtn_res_CHI_Start\r\n" + target + "\r\nqzrtn_res_CHI_End\r\n") +
         "qzrtn_res_Remark00_Start\r\n\r\nqzrtn_res_Remark00_End\r\n";
}

// Entries in the unsigned byte order of their sources, the order lookups
// rely on.
std::string Dictionary() {
  return Entry(0, "", "\xE7\xA9\xBA") +                                    // 空
         Entry(1, "Caf\xC3\xA9", "\xE5\x92\x96\xE5\x95\xA1") +             // 咖啡
         Entry(2, "Hello", "\xE4\xBD\xA0\xE5\xA5\xBD") +                   // 你好
         Entry(3, "Hi", std::string(3000, 'x')) +                          // longer than most bodies
         Entry(4, "Quiet", "") +                                           // an empty translation
         Entry(5, "Yes", "\xE6\x98\xAF \xF0\x9F\x98\x80");                 // 是, and a surrogate pair
}

package::NameSlots MakeNames() {
  package::NameSlots names;
  names.count = sizeof kNames / sizeof kNames[0];
  names.text.reset(new char[names.count * package::kNameSlotSize]());
  for (uint32_t i = 0; i < names.count; ++i)
    std::strcpy(names.text.get() + i * package::kNameSlotSize, kNames[i]);
  return names;
}

const package::NameSlots& Names() {
  static const package::NameSlots names = MakeNames();
  return names;
}

}  // namespace

// The rewriter reads chs.txt from the current directory.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  return fuzz::PrepareDictionaryTarget(Dictionary(), false, argc, argv) ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  // A heap copy of exactly the body, so that the sanitizer sees every byte
  // read beyond it.
  std::vector<uint8_t> body(data, data + size);
  const uint8_t* bytes = body.empty() ? nullptr : body.data();
  const uint32_t length = uint32_t(body.size());

  const std::vector<uint8_t> untouched = {0xAB};
  std::vector<uint8_t> newBody = untouched;
  int result = package::RewriteDialogueText(bytes, length, Names(), &newBody);
  if (result == 1 ? newBody == untouched || newBody.empty() : result != 0 || newBody != untouched)
    __builtin_trap();

  std::vector<uint8_t> none = untouched;
  result = package::RewriteDialogueBody(bytes, length, Names(),
                                        [](const char*, package::Translation*) { return false; }, &none);
  if (result != 0 || none != untouched) __builtin_trap();
  return 0;
}
