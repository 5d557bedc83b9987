// BRXStringDict: path formation, whole-file reading and the loader of the
// dictionary text format.
//
// The text format frames every entry with ASCII marker lines:
//
//   \r\nqzrtn_res_No.00000000\r\n        entry marker (the digits are not read)
//   qzrtn_res_ENG_Start\r\n <source> \r\n qzrtn_res_ENG_End\r\n
//   qzrtn_res_CHI_Start\r\n <target> \r\n qzrtn_res_CHI_End\r\n
//   qzrtn_res_Remark00_Start\r\n <remark> \r\n qzrtn_res_Remark00_End\r\n
//
// A section's text is everything between its start marker and its end
// marker less the two bytes before the end marker (the writer's line break);
// fewer than two bytes there make an empty text. The load keeps the whole
// file as the text store and terminates each text in place with a zero: one
// pass counts the entry markers, one allocation sizes the entry array, a
// second pass reads the entries.
#include <cstdio>
#include <cstring>
#include <new>

#include "common/messages.h"
#include "dictionary/brx_string_dict.h"
#include "dictionary/dict_format.h"

namespace {

using dict_format::Marker;

// Position of the first occurrence of marker in [from, end), or nullptr.
// Every marker holds the letter 'z' of "qzrtn" at marker.anchor; a fast
// memchr for that rare byte finds the candidates, memcmp confirms them.
const char* FindMarker(const char* from, const char* end, const Marker& marker) {
  if (from >= end || static_cast<size_t>(end - from) < marker.length) return nullptr;
  const char* lastStart = end - marker.length;
  const char* probe = from + marker.anchor;
  const char* probeEnd = lastStart + marker.anchor + 1;
  while (probe < probeEnd) {
    const void* hit = memchr(probe, 'z', static_cast<size_t>(probeEnd - probe));
    if (hit == nullptr) return nullptr;
    const char* start = static_cast<const char*>(hit) - marker.anchor;
    if (memcmp(start, marker.text, marker.length) == 0) return start;
    probe = static_cast<const char*>(hit) + 1;
  }
  return nullptr;
}

// One section of an entry, with the markers that frame it and the message
// composed when one of them is missing.
struct Section {
  const Marker& start;
  const Marker& end;
  const char* noStartMessage;
  const char* noEndMessage;
};

const Section kSections[3] = {
    {dict_format::kSourceStart, dict_format::kSourceEnd, messages::kMsgDictNoEngStart,
     messages::kMsgDictNoEngEnd},
    {dict_format::kTargetStart, dict_format::kTargetEnd, messages::kMsgDictNoChiStart,
     messages::kMsgDictNoChiEnd},
    {dict_format::kRemarkStart, dict_format::kRemarkEnd, messages::kMsgDictNoRemarkStart,
     messages::kMsgDictNoRemarkEnd},
};

}  // namespace

bool BRXStringDict::FormPath(const char* name, char* out) {
  if (name == nullptr || name[0] == '\0') return false;
  size_t nameLength = strlen(name);
  bool hasSeparator = false;
  for (size_t i = 0; i < nameLength && !hasSeparator; ++i)
    hasSeparator = name[i] == '\\' || platform::IsPathSeparator(name[i]);
  if (hasSeparator) {
    if (nameLength >= kPathCapacity) return false;
    memcpy(out, name, nameLength + 1);
    return true;
  }
  // A bare name lives in the current directory. The two are joined with a
  // backslash, which the platform layer takes as a separator everywhere, so
  // the stored path also reads as a path on a reload.
  char directory[kPathCapacity];
  uint32_t length = platform::CurrentDirectory(directory, sizeof directory);
  if (length == 0 || length >= sizeof directory) return false;
  if (platform::IsPathSeparator(directory[length - 1])) --length;
  if (uint64_t(length) + 1 + nameLength >= kPathCapacity) return false;
  memcpy(out, directory, length);
  out[length] = '\\';
  memcpy(out + length + 1, name, nameLength + 1);
  return true;
}

int64_t BRXStringDict::ReadFileBlock(const char* path, void* destination, uint64_t offset,
                                     uint32_t count) {
  if (path == nullptr) return -1;
  platform::FileHolder file(platform::OpenRead(path));
  if (!file.is_open()) return -1;
  uint32_t size = platform::FileSize(file.get());
  if (size == platform::kSizeError) return -1;
  if (destination == nullptr) return size;
  if (!platform::SeekBegin(file.get(), offset)) return -1;
  return platform::Read(file.get(), destination, count);
}

uint32_t BRXStringDict::LoadFromTXTFileA(const char* name) {
  loadFailure[0] = '\0';
  char formed[kPathCapacity];
  if (!FormPath(name, formed)) return 0;
  memcpy(path, formed, sizeof path);

  int64_t size = ReadFileBlock(path, nullptr, 0, 0);
  if (size <= 0 || size > kMaxFileSize) return 0;

  Clear();
  uint32_t length = static_cast<uint32_t>(size);
  char* text = new (std::nothrow) char[uint64_t(length) + 4];
  if (text == nullptr) return 0;
  // A short read (the file shrank, or a read error) is a failed load: a
  // half-read dictionary would silently lose its later entries.
  if (ReadFileBlock(path, text, 0, length) != size) {
    delete[] text;
    return 0;
  }
  return ParseText(text, length);
}

uint32_t BRXStringDict::LoadFromTXTBuffer(const char* source) {
  if (source == nullptr) return 0;
  path[0] = '\0';
  loadFailure[0] = '\0';
  size_t length = strnlen(source, size_t(kMaxFileSize) + 1);
  if (length == 0 || length > kMaxFileSize) return 0;

  // Copied before the old content goes: the text may be one of its own.
  char* text = new (std::nothrow) char[length + 4];
  if (text != nullptr) memcpy(text, source, length);
  Clear();
  if (text == nullptr) return 0;
  return ParseText(text, static_cast<uint32_t>(length));
}

uint32_t BRXStringDict::ReloadTXTFileA() {
  Clear();
  char copy[kPathCapacity];
  memcpy(copy, path, sizeof copy);
  path[0] = '\0';
  return LoadFromTXTFileA(copy);
}

uint32_t BRXStringDict::ParseText(char* text, uint32_t size) {
  // The added line break completes a last end marker that lacks its own.
  text[size] = '\r';
  text[size + 1] = '\n';
  text[size + 2] = '\0';
  text[size + 3] = '\0';
  textStore = text;
  textSize = textCapacity = textUsed = size;

  const char* const end = text + size + 2;
  const Marker& entryMarker = dict_format::kEntryMarker;

  uint32_t markers = 0;
  for (const char* at = FindMarker(text, end, entryMarker); at != nullptr;
       at = FindMarker(at + entryMarker.length, end, entryMarker))
    ++markers;
  if (markers == 0) {
    Clear();
    return 0;
  }
  entries = new (std::nothrow) BRXStringEntry[markers]();
  if (entries == nullptr) {
    Clear();
    return 0;
  }
  entryCapacity = markers;

  // A section marker missing in entry number (which begins at entryAt) fails
  // the whole load: the message names the entry, and the dictionary is left
  // empty.
  auto refuse = [this, text](const char* message, uint32_t number, const char* entryAt) {
    snprintf(loadFailure, sizeof loadFailure, message, static_cast<int>(number));
    loadFailureEntry = number;
    loadFailureOffset = static_cast<uint32_t>(entryAt - text);
    Clear();
    return 0u;
  };

  const char* cursor = text;
  uint32_t i = 0;
  for (;;) {
    const char* from = FindMarker(cursor, end, entryMarker);
    if (from == nullptr || i >= markers) break;
    const char* const entryAt = from;
    BRXStringEntry& entry = entries[i];
    char** fields[3] = {&entry.source, &entry.target, &entry.remark};
    uint32_t* lengths[3] = {&entry.sourceLength, &entry.targetLength, &entry.remarkLength};
    for (int s = 0; s < 3; ++s) {
      const Section& section = kSections[s];
      const char* start = FindMarker(from, end, section.start);
      if (start == nullptr) return refuse(section.noStartMessage, i, entryAt);
      char* begin = text + (start - text) + section.start.length;
      const char* stop = FindMarker(begin, end, section.end);
      if (stop == nullptr) return refuse(section.noEndMessage, i, entryAt);
      size_t gap = static_cast<size_t>(stop - begin);
      uint32_t length = gap < 2 ? 0 : static_cast<uint32_t>(gap - 2);
      begin[length] = '\0';  // at most the end marker's first byte, never searched again
      *fields[s] = begin;
      *lengths[s] = length;
      from = stop + 1;
    }
    cursor = from;
    ++i;
  }
  count = i;
  return i;
}
