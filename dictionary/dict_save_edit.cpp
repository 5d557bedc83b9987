// BRXStringDict: building and editing a dictionary, saving it in the text
// format, and the segmented translation.
//
// Texts added or changed after a load are appended to the text store; when
// they do not fit, the store moves into a new block at least 1 MiB larger
// and the entries' pointers follow it. The entry array grows by 10,000
// records at a time. Both keep a dictionary built by many additions from
// reallocating often.
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "dictionary/brx_string_dict.h"
#include "dictionary/dict_clock.h"
#include "dictionary/dict_format.h"
#include "dictionary/dict_keys.h"

namespace {

constexpr uint32_t kStoreGrowth = 0x100000;  // 1 MiB

// Marker and line-break bytes that the saver adds to one entry's texts, with
// room for an entry number of up to ten digits.
constexpr uint64_t kEntryOverhead = 163;

// Appends bytes to a buffer whose size was computed beforehand.
struct Output {
  char* at;
  void Put(const char* text, size_t length) {
    if (length > 0) memcpy(at, text, length);
    at += length;
  }
  void Put(const dict_format::Marker& marker) { Put(marker.text, marker.length); }
  void Line() { Put("\r\n", 2); }
};

// Bytes of target that correspond to the first n bytes of a source piece:
// n bytes, one more when a GBK double-byte character (lead byte 0x81-0xFE,
// trail byte 0x40-0x7E or 0x80-0xFE) straddles the n-th, fewer when the
// text ends first.
uint32_t Stretch(const char* target, uint32_t n) {
  const auto* t = reinterpret_cast<const unsigned char*>(target);
  uint32_t i = 0;
  while (i < n) {
    unsigned char lead = t[i];
    unsigned char trail = t[i + 1];  // readable: t[i] is not the terminator below
    if (lead >= 0x81 && lead <= 0xFE &&
        ((trail >= 0x40 && trail <= 0x7E) || (trail >= 0x80 && trail <= 0xFE))) {
      i += 2;
    } else if (lead == 0) {
      break;
    } else {
      i += 1;
    }
  }
  return i;
}

bool OnlySpaces(const char* text) {
  while (*text == ' ') ++text;
  return *text == '\0';
}

}  // namespace

int64_t BRXStringDict::WriteFileBlock(const char* path, const void* data, uint64_t offset,
                                      uint32_t count, platform::Disposition disposition) {
  if (path == nullptr || data == nullptr) return -1;
  if (count == 0) {
    size_t length = strlen(static_cast<const char*>(data));
    if (length > 0xFFFFFFFFu) return -1;
    count = static_cast<uint32_t>(length);
  }
  // A hidden, system or read-only file is written like any other.
  platform::SetAttributes(path, platform::kAttrNormal);
  platform::FileHolder file(platform::OpenWrite(path, disposition));
  if (!file.is_open()) return -1;
  bool placed = offset == kEndOfFile ? platform::SeekEnd(file.get()) : platform::SeekBegin(file.get(), offset);
  return placed ? platform::Write(file.get(), data, count) : -1;
}

bool BRXStringDict::ComposeTXT(std::unique_ptr<char[]>* text, uint32_t* textLength, char* header,
                               size_t headerCapacity, size_t* headerLength) const {
  uint64_t size = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const BRXStringEntry& e = entries[i];
    size += kEntryOverhead + e.sourceLength + e.targetLength + e.remarkLength;
  }
  if (size > 0xFFFFFFFFu) return false;  // beyond one write
  text->reset(new (std::nothrow) char[size + 1]);
  if (*text == nullptr) return false;

  Output out{text->get()};
  for (uint32_t i = 0; i < count; ++i) {
    const BRXStringEntry& e = entries[i];
    char number[16];
    int digits = snprintf(number, sizeof number, "%08u", i);
    out.Put(dict_format::kEntryMarker);
    out.Put(number, static_cast<size_t>(digits));
    out.Line();
    out.Put(dict_format::kSourceStart);
    out.Put(e.source, e.source != nullptr ? e.sourceLength : 0);
    out.Line();
    out.Put(dict_format::kSourceEnd);
    out.Put(dict_format::kTargetStart);
    out.Put(e.target, e.target != nullptr ? e.targetLength : 0);
    out.Line();
    out.Put(dict_format::kTargetEnd);
    out.Put(dict_format::kRemarkStart);
    out.Put(e.remark, e.remark != nullptr ? e.remarkLength : 0);
    out.Line();
    out.Put(dict_format::kRemarkEnd);
  }
  *textLength = static_cast<uint32_t>(out.at - text->get());

  platform::SystemTime utc{};
  dict_clock::Now(&utc);
  *headerLength = dict_clock::FormatHeader(dict_clock::ToUtcPlus8(utc), header, headerCapacity);
  return true;
}

int64_t BRXStringDict::SaveToTXTFileA(const char* file) {
  if (file == nullptr) return 0;
  std::unique_ptr<char[]> text;
  uint32_t textLength = 0;
  char header[1024];
  size_t headerLength = 0;
  if (!ComposeTXT(&text, &textLength, header, sizeof header, &headerLength)) return 0;

  // The first write creates the file anew: saving replaces a dictionary, it
  // never appends to one (two saved runs in one file would break the sorted
  // order that every lookup relies on).
  int64_t result =
      WriteFileBlock(file, header, 0, static_cast<uint32_t>(headerLength), platform::kCreateAlways);
  if (count > 0) result += WriteFileBlock(file, text.get(), kEndOfFile, textLength, platform::kOpenAlways);
  result += WriteFileBlock(file, dict_format::kFileEnd.text, kEndOfFile,
                           static_cast<uint32_t>(dict_format::kFileEnd.length), platform::kOpenAlways);
  return result;
}

bool BRXStringDict::SaveToTXTImage(std::string* image) const {
  std::unique_ptr<char[]> text;
  uint32_t textLength = 0;
  char header[1024];
  size_t headerLength = 0;
  if (!ComposeTXT(&text, &textLength, header, sizeof header, &headerLength)) return false;
  try {
    image->assign(header, headerLength);
    image->append(text.get(), textLength);
    image->append(dict_format::kFileEnd.text, dict_format::kFileEnd.length);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

const BRXStringEntry* BRXStringDict::AddEntry(const char* source, const char* target,
                                              const char* remark) {
  if (source == nullptr) return nullptr;
  // An absent target or remark stands for the source exactly as passed.
  if (target == nullptr) target = source;
  if (remark == nullptr) remark = source;
  uint64_t s = strlen(source), t = strlen(target), r = strlen(remark);

  // The caller's texts may lie in the current store; a replaced store is
  // released only after they have been copied.
  char* old = nullptr;
  if (uint64_t(textUsed) + s + t + r + 12 >= textCapacity &&
      !ReplaceStore(uint64_t(textCapacity) + s + t + r + kStoreGrowth + 12, &old))
    return nullptr;
  std::unique_ptr<char[]> releaseOld(old);
  if (!ReserveEntries()) return nullptr;

  char* copy = textStore + textUsed;
  memmove(copy, source, s);
  copy[s] = '\0';
  uint32_t trimmedLength;
  char* trimmed = TrimSpaces(copy, 0, &trimmedLength);
  uint32_t p;
  if (Search(trimmed, trimmedLength, &p)) return &entries[p];

  char* targetCopy = copy + s + 1;
  memmove(targetCopy, target, t);
  targetCopy[t] = '\0';
  char* remarkCopy = targetCopy + t + 1;
  memmove(remarkCopy, remark, r);
  remarkCopy[r] = '\0';

  memmove(&entries[p + 1], &entries[p], sizeof(BRXStringEntry) * (count - p));
  entries[p] = {trimmed,        targetCopy,          remarkCopy,
                trimmedLength, static_cast<uint32_t>(t), static_cast<uint32_t>(r)};
  textUsed = static_cast<uint32_t>(remarkCopy + r + 1 - textStore);
  textSize = textUsed;
  ++count;
  return &entries[p];
}

uint32_t BRXStringDict::InsertBlankEntry(uint32_t position) {
  if (!ReserveEntries()) return count;
  if (position >= count) {
    position = count;
  } else {
    memmove(&entries[position + 1], &entries[position],
            sizeof(BRXStringEntry) * (count - position));
  }
  entries[position] = {emptyText, emptyText, emptyText, 0, 0, 0};
  return ++count;
}

int BRXStringDict::SetSourceText(uint32_t index, const char* text) { return SetText(index, text, 0); }
int BRXStringDict::SetTargetText(uint32_t index, const char* text) { return SetText(index, text, 1); }
int BRXStringDict::SetRemarkText(uint32_t index, const char* text) { return SetText(index, text, 2); }

int BRXStringDict::SetText(uint32_t index, const char* text, int field) {
  if (count == 0) return 1;  // no entry to change
  if (index >= count) index = count - 1;
  if (text == nullptr) text = "";
  uint64_t n = strlen(text);
  BRXStringEntry& e = entries[index];
  char** pointer = field == 0 ? &e.source : field == 1 ? &e.target : &e.remark;
  uint32_t* length = field == 0 ? &e.sourceLength : field == 1 ? &e.targetLength : &e.remarkLength;

  if (n < *length) {  // fits where the old text was
    memmove(*pointer, text, n);
    (*pointer)[n] = '\0';
    *length = static_cast<uint32_t>(n);
    return 1;
  }
  char* old = nullptr;
  if (uint64_t(textUsed) + n + 4 >= textCapacity &&
      !ReplaceStore(uint64_t(textCapacity) + n + kStoreGrowth + 4, &old))
    return 1;  // memory exhausted: the entry keeps its text
  std::unique_ptr<char[]> releaseOld(old);
  char* at = textStore + textUsed;
  memmove(at, text, n);
  at[n] = '\0';
  *pointer = at;  // the field was moved along with the store, if it moved
  *length = static_cast<uint32_t>(n);
  textUsed += static_cast<uint32_t>(n + 4);
  textSize = textUsed;
  return 1;
}

int BRXStringDict::TranslateSegment(const char* piece, char* output, uint32_t size) {
  if (piece == nullptr || output == nullptr || size == 0) return kNoTranslation;
  uint32_t n;
  const char* trimmed = dict_keys::Trimmed(piece, &n);

  if (segmentSource[0] == '\0') {
    // Idle: the piece must be a proper beginning of some source text. The
    // shortest source that begins with it sorts right at its insertion point.
    uint32_t p;
    if (entries == nullptr || Search(trimmed, n, &p) || p >= count ||
        strncmp(entries[p].source, trimmed, n) != 0) {
      EndSegment();
      return kNoTranslation;
    }
    segmentSource = entries[p].source;
    segmentTarget = entries[p].target;
  } else {
    if (strncmp(segmentSource, trimmed, n) != 0) {
      EndSegment();
      return kNoTranslation;
    }
    if (OnlySpaces(segmentSource + n)) {  // the piece completes the source
      size_t rest = strlen(segmentTarget);
      if (rest >= size) {
        EndSegment();
        return kNoTranslation;
      }
      memcpy(output, segmentTarget, rest + 1);
      EndSegment();
      return kLastPartWritten;
    }
  }

  uint32_t k = Stretch(segmentTarget, n);
  if (k >= size) {
    EndSegment();
    return kNoTranslation;
  }
  memcpy(output, segmentTarget, k);
  output[k] = '\0';
  segmentTarget += k;
  // Past the piece and the spaces after it. The stored source text is only
  // read: spaces at its end count as its end, so nothing is cut from it.
  segmentSource += n;
  while (*segmentSource == ' ') ++segmentSource;
  if (*segmentSource == '\0') EndSegment();  // nothing of the source is left
  return kPartWritten;
}
