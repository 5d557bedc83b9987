// Test helpers for the dictionary: an independent writer of the dictionary
// text format and a current-directory switch. Used by tests and benchmarks.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dictionary/brx_string_dict.h"

namespace dict_test {

struct Texts {
  std::string source, target, remark;
};

// One entry as the saver writes it, numbered number.
inline std::string EntryText(const Texts& t, unsigned number) {
  char head[64];
  snprintf(head, sizeof head, "\r\nqzrtn_res_No.%08u\r\n", number);
  return head + ("qzrtn_res_ENG_Start\r\n" + t.source + "\r\nqzrtn_res_ENG_End\r\n") +
         ("qzrtn_res_CHI_Start\r\n" + t.target + "\r\nqzrtn_res_CHI_End\r\n") +
         ("qzrtn_res_Remark00_Start\r\n" + t.remark + "\r\nqzrtn_res_Remark00_End\r\n");
}

inline const char kHeader[] = "Test header line\r\n\r\n\r\n";
inline const char kFileEnd[] = "\r\n\r\n\r\nqzrtn_res_All_End\r\n";

// A whole dictionary file holding entries in the given order.
inline std::string FileText(const std::vector<Texts>& entries) {
  std::string text = kHeader;
  for (size_t i = 0; i < entries.size(); ++i) text += EntryText(entries[i], unsigned(i));
  return text + kFileEnd;
}

inline std::string Str(const char* text, uint32_t length) { return std::string(text, length); }

// Checks that the entry's texts and lengths are exactly those given.
inline bool Holds(const BRXStringEntry* e, const Texts& t) {
  return e != nullptr && Str(e->source, e->sourceLength) == t.source &&
         Str(e->target, e->targetLength) == t.target &&
         Str(e->remark, e->remarkLength) == t.remark && e->source[e->sourceLength] == '\0' &&
         e->target[e->targetLength] == '\0' && e->remark[e->remarkLength] == '\0';
}

// Makes dir the current directory for the lifetime of the object.
class InDirectory {
 public:
  explicit InDirectory(const std::string& dir) {
    char buffer[4096];
    if (getcwd(buffer, sizeof buffer) != nullptr) previous_ = buffer;
    ok_ = chdir(dir.c_str()) == 0;
  }
  ~InDirectory() {
    if (!previous_.empty() && chdir(previous_.c_str()) != 0) perror("chdir");
  }
  InDirectory(const InDirectory&) = delete;
  InDirectory& operator=(const InDirectory&) = delete;
  bool ok() const { return ok_; }

 private:
  std::string previous_;
  bool ok_ = false;
};

}  // namespace dict_test
