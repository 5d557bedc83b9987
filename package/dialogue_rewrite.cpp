#include "package/dialogue_rewrite.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "common/bytes.h"
#include "dictionary/brx_string_dict.h"
#include "dictionary/dict_cache.h"
#include "dictionary/load_report.h"

namespace package {

namespace {

using dictionary::FindSharedEntry;
using dictionary::ReportLoadFailureOnce;
using dictionary::SharedDictionary;

constexpr char kDialogueTextName[] = "DialogueText";
// Property tag (16 bytes) and string count (4 bytes).
constexpr uint32_t kTagHeaderSize = 20;
// The value size word of a tag, and where the counted bytes begin.
constexpr uint32_t kValueSizeOffset = 8;
constexpr uint32_t kValueStart = 16;

// Byte count of a length-prefixed string with length word length: the word
// and 2 * -length bytes of UTF-16 text, or length bytes of 8-bit text.
uint64_t StringBytes(int32_t length) {
  return length < 0 ? 4 + 2 * uint64_t(-int64_t(length)) : 4 + uint64_t(uint32_t(length));
}

// The indexes of the slots of names that hold exactly "DialogueText", in
// increasing order. May throw std::bad_alloc.
std::vector<uint32_t> DialogueTextNamesIn(const NameSlots& names) {
  std::vector<uint32_t> found;
  for (uint32_t i = 0; i < names.count; ++i) {
    if (std::strcmp(names.Slot(i), kDialogueTextName) == 0) found.push_back(i);
  }
  return found;
}

// The first position p >= t at which a DialogueText tag may begin: the word
// at p is one of tagNames (the DialogueText name indexes, in increasing
// order) and the word at p + 4, the name number, is 0; and a whole tag
// header fits before the end (p + 20 < size). size when there is none.
//
// Packages name "DialogueText" once, so the usual search is for one 8-byte
// pattern: memchr finds the candidates for one of its bytes (the first that
// is not 0, zeros being common in a body), and the whole pattern is then
// compared. Several such names are searched for byte by byte.
uint64_t NextTagCandidate(const uint8_t* body, uint64_t size, uint64_t t,
                          const std::vector<uint32_t>& tagNames) {
  if (tagNames.empty() || size <= kTagHeaderSize) return size;
  const uint64_t last = size - kTagHeaderSize - 1;  // the last position a tag may begin at
  if (tagNames.size() > 1) {
    for (; t <= last; ++t) {
      if (bytes::LoadU32LE(body + t + 4) == 0 &&
          std::binary_search(tagNames.begin(), tagNames.end(), bytes::LoadU32LE(body + t))) {
        return t;
      }
    }
    return size;
  }
  uint8_t pattern[8];
  bytes::StoreU32LE(pattern, tagNames[0]);
  bytes::StoreU32LE(pattern + 4, 0);
  uint64_t k = 0;  // the byte of the pattern that memchr looks for
  while (k < 3 && pattern[k] == 0) ++k;
  while (t <= last) {
    const void* hit = std::memchr(body + t + k, pattern[k], size_t(last - t + 1));
    if (hit == nullptr) return size;
    const uint64_t p = uint64_t(static_cast<const uint8_t*>(hit) - body) - k;
    if (std::memcmp(body + p, pattern, sizeof pattern) == 0) return p;
    t = p + 1;
  }
  return size;
}

// The end of the string array of count strings that begins at p, or 0 when
// the array reaches past the end of the body (size bytes). Such a tag is
// ordinary data that happens to look like one, and is not rewritten. The
// walk is bounded by the body, since every string takes at least 4 bytes.
uint64_t ArrayEnd(const uint8_t* body, uint64_t size, uint64_t p, uint32_t count) {
  for (uint32_t j = 0; j < count; ++j) {
    if (!bytes::InBounds(p, 4, size)) return 0;
    const uint64_t b = StringBytes(bytes::LoadI32LE(body + p));
    if (!bytes::InBounds(p, b, size)) return 0;
    p += b;
  }
  return p;
}

// Forms the lookup text of the string at s (length word length, inside the
// body): an 8-bit string's bytes up to its first zero byte as stored, a
// UTF-16 string's units before its terminator converted to UTF-8. False when
// the text is longer than kMaxLookupText bytes: that string is not looked up
// and stays as it is.
bool FormLookupText(const uint8_t* s, int32_t length, Scratch* scratch) {
  std::string& key = scratch->key;
  key.clear();
  const uint8_t* text = s + 4;
  if (length >= 0) {
    const void* zero = std::memchr(text, 0, uint32_t(length));
    const size_t n = zero ? size_t(static_cast<const uint8_t*>(zero) - text) : size_t(length);
    if (n > kMaxLookupText) return false;
    key.assign(reinterpret_cast<const char*>(text), n);
    return true;
  }
  const uint64_t count = uint64_t(-int64_t(length)) - 1;  // units before the terminator
  if (count == 0) return true;
  // Every unit gives at least one UTF-8 byte.
  if (count > kMaxLookupText) return false;
  scratch->units.resize(count);
  for (uint64_t i = 0; i < count; ++i) scratch->units[i] = uint16_t(text[2 * i] | text[2 * i + 1] << 8);
  // No unit gives more than three bytes (a pair of two gives four), so the
  // text is converted in one pass into room for the most it can need.
  key.resize(size_t(3 * count));
  const int written = platform::Utf16ToUtf8(scratch->units.data(), int(count), key.data(), int(key.size()));
  if (written <= 0 || uint32_t(written) > kMaxLookupText) return false;
  key.resize(size_t(written));
  return true;
}

// Converts a translation to UTF-16 into scratch->units. False when its
// UTF-16 form is longer than kMaxTranslationUnits: the string is then left
// as it is rather than written cut.
bool ConvertTranslation(const Translation& found, Scratch* scratch) {
  scratch->units.clear();
  if (found.targetLength == 0) return true;
  // No piece of UTF-8 longer than three bytes gives a single unit, so more
  // bytes than three per unit allowed can never fit.
  if (found.targetLength > 3 * kMaxTranslationUnits) return false;
  const int bytes = int(found.targetLength);
  // Every UTF-16 unit takes at least one byte of UTF-8 (and a pair four),
  // so the translation is converted in one pass into room for one unit per
  // byte.
  scratch->units.resize(size_t(bytes));
  const int written = platform::Utf8ToUtf16(found.target, bytes, scratch->units.data(), bytes);
  if (written <= 0 || uint32_t(written) > kMaxTranslationUnits) return false;
  scratch->units.resize(size_t(written));
  return true;
}

void AppendBytes(std::vector<uint8_t>* out, const uint8_t* from, uint64_t count) {
  out->insert(out->end(), from, from + count);
}

// Appends a UTF-16 string: the length word -(n + 1), the n units, a zero unit.
void AppendWideString(std::vector<uint8_t>* out, const std::vector<uint16_t>& units) {
  const size_t at = out->size();
  out->resize(at + 4 + 2 * units.size() + 2);
  uint8_t* p = out->data() + at;
  bytes::StoreU32LE(p, ~uint32_t(units.size()));
  p += 4;
  for (uint16_t u : units) {
    *p++ = uint8_t(u);
    *p++ = uint8_t(u >> 8);
  }
  p[0] = p[1] = 0;
}

// Makes room in out for a new body of about twice size, growing it by at
// least half each time, so that a package's bodies appended one after
// another are moved a bounded number of times.
void ReserveForBody(std::vector<uint8_t>& out, uint32_t size) {
  const size_t wanted = 2 * size_t(size) + 4096;
  if (out.capacity() - out.size() >= wanted) return;
  out.reserve(std::max(out.size() + wanted, out.capacity() + out.capacity() / 2));
}

// The rewrite itself: the new body is appended to out. True when a string
// was translated, else false with out as it was. May throw
// std::bad_alloc, after which out may hold a partial body behind its old end.
bool Rewrite(const uint8_t* body, uint32_t size, const NameSlots& names,
             const TranslationLookup& lookup, Scratch& scratch, std::vector<uint8_t>& out) {
  std::vector<uint32_t> found;
  if (!names.dialogueTextNamesFound) found = DialogueTextNamesIn(names);
  const std::vector<uint32_t>& tagNames = names.dialogueTextNamesFound ? names.dialogueTextNames : found;
  const size_t base = out.size();
  bool reserved = false;
  bool translated = false;
  uint64_t t = 0;  // scan position in the body
  uint64_t c = 0;  // every body byte before c is already dealt with
  // A DialogueText tag: a DialogueText name index, a name number of 0, the
  // value size, and a word of 0 at +12.
  for (t = NextTagCandidate(body, size, t, tagNames); t + kTagHeaderSize < size;
       t = NextTagCandidate(body, size, t, tagNames)) {
    if (bytes::LoadU32LE(body + t + 12) != 0) {
      ++t;
      continue;
    }
    const uint32_t count = bytes::LoadU32LE(body + t + 16);
    uint64_t p = t + kTagHeaderSize;
    if (count != 0 && ArrayEnd(body, size, p, count) == 0) {
      ++t;
      continue;
    }
    // Sized so that a body of ordinary translations is built without
    // growing; bodies without a tag need no new body at all.
    if (!reserved) ReserveForBody(out, size);
    reserved = true;
    AppendBytes(&out, body + c, t - c);
    c = t;
    const uint64_t g = out.size();  // the tag's position in the new body
    // An empty array is left to be copied with the bytes that follow it.
    for (uint32_t j = 0; j < count; ++j) {
      const int32_t length = bytes::LoadI32LE(body + p);
      const uint64_t b = StringBytes(length);
      Translation found;
      if (FormLookupText(body + p, length, &scratch) && lookup(scratch.key.c_str(), &found) &&
          ConvertTranslation(found, &scratch)) {
        AppendBytes(&out, body + c, p - c);
        AppendWideString(&out, scratch.units);
        translated = true;
      } else {
        AppendBytes(&out, body + c, p + b - c);
      }
      c = p = p + b;
    }
    if (count != 0) {
      bytes::StoreU32LE(out.data() + g + kValueSizeOffset, uint32_t(out.size() - g - kValueStart));
    }
    t = p;
  }
  // Without a translated string the new body is not used.
  if (translated) AppendBytes(&out, body + c, size - c);
  // Serial sizes and offsets are 32-bit: a body that could not be described
  // by them is not written.
  if (!translated || out.size() - base > UINT32_MAX) {
    out.resize(base);
    return false;
  }
  return true;
}

// Looks texts up in dictionary, the one SharedDictionary gave.
TranslationLookup LookupIn(const BRXStringDict& dictionary) {
  return [&dictionary](const char* text, Translation* found) {
    const BRXStringEntry* entry = FindSharedEntry(dictionary, text);
    if (entry == nullptr) return false;
    found->target = entry->target;
    found->targetLength = entry->targetLength;
    return true;
  };
}

}  // namespace

void FindDialogueTextNames(NameSlots* names) {
  names->dialogueTextNamesFound = false;
  try {
    names->dialogueTextNames = DialogueTextNamesIn(*names);
    names->dialogueTextNamesFound = true;
  } catch (const std::bad_alloc&) {
    // Left to the rewriter, which looks for them itself.
    names->dialogueTextNames.clear();
  }
}

bool RewriteDialogueBody(const uint8_t* body, uint32_t size, const NameSlots& names,
                         const TranslationLookup& lookup, std::vector<uint8_t>* newBody) {
  // The new body grows as translations need, so a translation is never cut
  // and never written beyond the buffer; when memory runs out the export is
  // left as it is, like an export without translations.
  try {
    Scratch scratch;
    std::vector<uint8_t> out;
    if (!Rewrite(body, size, names, lookup, scratch, out)) return false;
    *newBody = std::move(out);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void ForEachDialogueText(const uint8_t* body, uint32_t size, const NameSlots& names,
                         const std::function<void(const char* text)>& visit) {
  // A lookup that never finds anything sees every text and rewrites none.
  std::vector<uint8_t> unused;
  RewriteDialogueBody(body, size, names,
                      [&visit](const char* text, Translation*) {
                        visit(text);
                        return false;
                      },
                      &unused);
}

bool RewriteDialogueText(const uint8_t* body, uint32_t size, const NameSlots& names,
                         std::vector<uint8_t>* newBody) {
  // The export sees "chs.txt" as a fresh load would give it; the parse is
  // kept while the file stays the same.
  const BRXStringDict& dictionary = SharedDictionary("chs.txt");
  ReportLoadFailureOnce(dictionary);
  if (dictionary.GetCount() == 0) return false;
  return RewriteDialogueBody(body, size, names, LookupIn(dictionary), newBody);
}

bool PackageTranslator::Ready() {
  if (dictionary_ == nullptr) {
    dictionary_ = &SharedDictionary("chs.txt");
    ReportLoadFailureOnce(*dictionary_);
  }
  return dictionary_->GetCount() != 0;
}

Failure PackageTranslator::TranslateAll(const DialogueExports& list) {
  if (list.exports.empty() || !Ready()) return Failure::kNone;
  LookUpAll(list);
  const TranslationLookup lookup = NextLookedUp();
  for (size_t i = 0; i < list.exports.size(); ++i) {
    const DialogueExports::Export& e = list.exports[i];
    if (i < lookedUp_.firstOfExport.size()) lookedUp_.next = lookedUp_.firstOfExport[i];
    const Failure failure = Append(e.serialSizePosition, e.body, e.size, list.names, lookup);
    if (failure != Failure::kNone) return failure;
  }
  return Failure::kNone;
}

void PackageTranslator::LookUpAll(const DialogueExports& list) {
  LookedUp& l = lookedUp_;
  // Rewriting with nothing found builds no body, but needs room to scan
  // into: the bodies' own, whose room then serves the rewrite proper.
  std::vector<uint8_t>& room = relocated_.bodies;
  const size_t base = room.size();
  try {
    l = LookedUp();
    // The rewrite, with a lookup that finds nothing, asks for every text.
    const TranslationLookup collect = [&l](const char* text, Translation*) {
      l.starts.push_back(l.texts.size());
      l.texts.append(text, std::strlen(text) + 1);
      return false;
    };
    for (const DialogueExports::Export& e : list.exports) {
      l.firstOfExport.push_back(l.starts.size());
      Rewrite(e.body, e.size, list.names, collect, scratch_, room);
    }
    std::vector<const char*> keys(l.starts.size());
    for (size_t i = 0; i < keys.size(); ++i) keys[i] = l.texts.data() + l.starts[i];
    l.found.resize(keys.size());
    dictionary::FindSharedEntries(*dictionary_, keys.data(), keys.size(), l.found.data());
  } catch (const std::bad_alloc&) {
    room.resize(base);
    l = LookedUp();  // looked up one by one as the rewrite asks
  }
}

TranslationLookup PackageTranslator::NextLookedUp() {
  return [this](const char* text, Translation* translation) {
    // The rewrite asks for the texts in the order they were listed; one
    // that is not the next listed (as when memory ran short while they were
    // listed) is looked up alone.
    LookedUp& l = lookedUp_;
    const BRXStringEntry* entry;
    if (l.next < l.found.size() && std::strcmp(text, l.texts.data() + l.starts[l.next]) == 0) {
      entry = l.found[l.next++];
    } else {
      entry = FindSharedEntry(*dictionary_, text);
    }
    if (entry == nullptr) return false;
    translation->target = entry->target;
    translation->targetLength = entry->targetLength;
    return true;
  };
}

Failure PackageTranslator::Append(uint32_t serialSizePosition, const uint8_t* body, uint32_t size,
                                  const NameSlots& names, const TranslationLookup& lookup) {
  std::vector<uint8_t>& bodies = relocated_.bodies;
  const size_t base = bodies.size();
  try {
    if (!Rewrite(body, size, names, lookup, scratch_, bodies)) return Failure::kNone;
  } catch (const std::bad_alloc&) {
    // As without memory for a new body: the export is left as it is.
    bodies.resize(base);
    return Failure::kNone;
  }
  try {
    relocated_.records.push_back({serialSizePosition, uint32_t(bodies.size() - base)});
  } catch (const std::bad_alloc&) {
    bodies.resize(base);
    return Failure::kRelocationFailed;
  }
  return Failure::kNone;
}

bool RelocatedBodies::Add(uint32_t serialSizePosition, const std::vector<uint8_t>& newBody) {
  if (newBody.size() > UINT32_MAX) return false;
  try {
    records.push_back({serialSizePosition, uint32_t(newBody.size())});
    bodies.insert(bodies.end(), newBody.begin(), newBody.end());
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

Failure RelocateExports(platform::File output, const uint8_t* image, uint32_t imageSize,
                        const RelocatedBodies& relocated) {
  if (relocated.records.empty()) return Failure::kNone;
  const uint32_t end = platform::FileSize(output);
  if (end == platform::kSizeError) return Failure::kRelocationFailed;
  // Every new body must end where a 32-bit serial offset can still reach.
  if (uint64_t(end) + relocated.bodies.size() > UINT32_MAX) return Failure::kRelocationFailed;
  uint32_t first = UINT32_MAX, last = 0;
  for (const RelocatedBodies::Record& record : relocated.records) {
    if (!bytes::InBounds(record.serialSizePosition, 8, imageSize)) return Failure::kRelocationFailed;
    first = std::min(first, record.serialSizePosition);
    last = std::max(last, record.serialSizePosition + 8);
  }
  std::vector<uint8_t> span;
  try {
    span.assign(image + first, image + last);
  } catch (const std::bad_alloc&) {
    return Failure::kRelocationFailed;
  }
  uint32_t offset = end;
  for (const RelocatedBodies::Record& record : relocated.records) {
    bytes::StoreU32LE(span.data() + (record.serialSizePosition - first), record.size);
    bytes::StoreU32LE(span.data() + (record.serialSizePosition - first) + 4, offset);
    offset += record.size;
  }
  const uint32_t bodiesSize = uint32_t(relocated.bodies.size());
  if (!platform::SeekEnd(output)) return Failure::kRelocationFailed;
  if (platform::Write(output, relocated.bodies.data(), bodiesSize) != int64_t(bodiesSize)) return Failure::kRelocationFailed;
  if (!platform::SeekBegin(output, first)) return Failure::kRelocationFailed;
  if (platform::Write(output, span.data(), uint32_t(span.size())) != int64_t(span.size())) return Failure::kRelocationFailed;
  return Failure::kNone;
}

}  // namespace package
