// Key handling shared by the lookups and the segmented translation: a key is
// compared as the bytes left after cutting the spaces at its ends, without
// copying or changing the caller's text.
#pragma once

#include <cstdint>
#include <cstring>

#include "dictionary/brx_string_dict.h"

namespace dict_keys {

// The key with the spaces (0x20 only) at both of its ends left out, as the
// start and the length of the bytes that remain.
inline const char* Trimmed(const char* key, uint32_t* length) {
  size_t n = strlen(key);
  while (n > 0 && key[n - 1] == ' ') --n;
  size_t lead = 0;
  while (lead < n && key[lead] == ' ') ++lead;
  *length = static_cast<uint32_t>(n - lead);
  return key + lead;
}

// BRXStringDict::CompareText of a key given as keyLength bytes (no zero among
// them) against a zero-terminated text.
inline int Compare(const char* key, uint32_t keyLength, const char* text) {
  const auto* k = reinterpret_cast<const unsigned char*>(key);
  const auto* t = reinterpret_cast<const unsigned char*>(text);
  for (uint32_t i = 0; i < keyLength; ++i) {
    if (k[i] < t[i]) return BRXStringDict::kBefore;
    if (k[i] > t[i]) return BRXStringDict::kAfter;
  }
  return t[keyLength] == 0 ? BRXStringDict::kEqual : BRXStringDict::kBefore;
}

}  // namespace dict_keys
