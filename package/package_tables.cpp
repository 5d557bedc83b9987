#include "package/package_tables.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "common/bytes.h"
#include "dictionary/dict_cache.h"
#include "package/dialogue_rewrite.h"
#include "platform/platform.h"

namespace package {

namespace {

// A name-table length word from -65,536 to -1 announces UTF-16 text.
constexpr int32_t kMinUtf16Length = -65536;

// The class part that marks a dialogue event export.
constexpr char kDialogueEventClass[] = "AkDialogueEvent";

// Fills slot with the 8-bit name of length word length at text. The name is
// copied as stored, terminator included. A name longer than its slot, or
// one that fills the slot without a zero byte to end it, would run into the
// next slot: the package is refused instead of cutting the name, since a cut
// name could match another one.
bool CopyNarrowName(const uint8_t* text, uint32_t length, char* slot) {
  if (length > kNameSlotSize) return false;
  if (length == kNameSlotSize && std::memchr(text, 0, length) == nullptr) return false;
  std::memcpy(slot, text, length);
  return true;
}

// Fills slot with the UTF-8 form of the units - 1 UTF-16 code units at text
// (the last unit, the terminator, is left out). A name whose UTF-8 form
// needs the whole slot or more is refused, for the same reason as above.
bool ConvertWideName(const uint8_t* text, uint32_t units, char* slot) {
  if (units <= 1) return true;  // only a terminator: the slot stays empty
  // Every code unit gives at least one UTF-8 byte, so more units than the
  // slot holds bytes can never fit.
  const uint32_t count = units - 1;
  if (count >= kNameSlotSize) return false;
  uint16_t wide[kNameSlotSize];
  for (uint32_t i = 0; i < count; ++i) wide[i] = uint16_t(text[2 * i] | text[2 * i + 1] << 8);
  int needed = platform::Utf16ToUtf8(wide, int(count), nullptr, 0);
  if (needed <= 0 || uint32_t(needed) >= kNameSlotSize) return false;
  return platform::Utf16ToUtf8(wide, int(count), slot, int(kNameSlotSize)) == needed;
}

// The text of name index, or null when the index is at or above the name
// count. Export and import records take their name indexes on trust; a
// damaged index would read outside the slots.
const char* NameText(const NameSlots& names, uint32_t index) {
  return index < names.count ? names.Slot(index) : nullptr;
}

// Builds a text piece by piece in the Object path buffer, never writing past
// it; overflowed() tells that the whole text would not have fitted.
class PathWriter {
 public:
  explicit PathWriter(char (&buffer)[kObjectPathSize]) : buffer_(buffer) { buffer_[0] = 0; }

  void Append(const char* text) { Append(text, std::strlen(text)); }
  void Append(const char* text, size_t length) {
    if (length > kObjectPathSize - 1 - length_) {
      overflow_ = true;
      return;
    }
    std::memcpy(buffer_ + length_, text, length);
    length_ += length;
    buffer_[length_] = 0;
  }
  bool overflowed() const { return overflow_; }

 private:
  char (&buffer_)[kObjectPathSize];
  size_t length_ = 0;
  bool overflow_ = false;
};

// Appends the display name of entry: its name, and when its number n is not
// 0, "_" and n - 1 (computed in 32 bits, so that the lowest number wraps to
// the highest as a 32-bit machine word would). False when the name index is
// out of range.
bool AppendDisplayName(const NameSlots& names, const EXPORTENTRY& entry, PathWriter* path) {
  const char* name = NameText(names, entry.objectName);
  if (name == nullptr) return false;
  path->Append(name);
  if (entry.objectNumber != 0) {
    char suffix[16];
    int length = std::snprintf(suffix, sizeof suffix, "_%d", int32_t(uint32_t(entry.objectNumber) - 1));
    path->Append(suffix, size_t(length));
  }
  return true;
}

// Sets nameIndex to the name index of the class that classIndex names: an
// import's name for -16,777,216 to -1, an export's for a positive index.
Failure ClassNameIndex(const ImportTable& imports, const ExportTable& exports, int32_t classIndex,
                       uint32_t* nameIndex) {
  uint32_t c = uint32_t(classIndex);
  if (c >= 0xFF000000u) {  // -16,777,216 to -1: import ~c
    uint32_t k = ~c;
    if (k >= imports.count) return Failure::kImportIndexOutOfRange;
    *nameIndex = bytes::LoadU32LE(imports.records + uint64_t(k) * kImportRecordSize + kImportNameOffset);
    return Failure::kNone;
  }
  // A positive index above the export count, or a negative one below
  // -16,777,216, would name an entry outside the table: refused.
  if (c > exports.count) return Failure::kClassIndexOutOfRange;
  *nameIndex = exports.entries[c - 1].objectName;
  return Failure::kNone;
}

// Collects the outers of export index, innermost first, into chain (depth
// entries). A chain that comes back to an export already on it would go
// round for ever; a chain of kObjectPathSize outers or more cannot fit a
// path, since every outer adds at least a dot: both are refused.
Failure CollectOuters(const ExportTable& exports, uint32_t index, uint32_t (&chain)[kObjectPathSize],
                      uint32_t* depth) {
  *depth = 0;
  int32_t outer = exports.entries[index].outerIndex;
  while (outer != 0) {
    if (uint32_t(outer) > exports.count) return Failure::kOuterIndexOutOfRange;
    uint32_t o = uint32_t(outer) - 1;
    bool seen = o == index;
    for (uint32_t k = 0; k < *depth && !seen; ++k) seen = chain[k] == o;
    if (seen) return Failure::kOuterChainLoops;
    if (*depth == kObjectPathSize) return Failure::kObjectPathTooLong;
    chain[(*depth)++] = o;
    outer = exports.entries[o].outerIndex;
  }
  return Failure::kNone;
}

Failure Named(const PathWriter& writer) {
  return writer.overflowed() ? Failure::kObjectPathTooLong : Failure::kNone;
}

}  // namespace

Failure ReadNameTable(const PackageImage& image, NameSlots* names) {
  const uint32_t count = image.nameCount;
  names->count = 0;
  names->text.reset();
  names->dialogueTextNames.clear();
  names->dialogueTextNamesFound = false;
  // Every name takes at least 12 bytes (length word and 8 trailing bytes),
  // so a table that could not hold count names is refused before the slots
  // are allocated: a damaged count would otherwise ask for terabytes.
  if (count != 0 && !bytes::InBounds(image.nameOffset, uint64_t(count) * 12, image.size)) {
    return Failure::kNameTableUnreadable;
  }
  names->text.reset(new (std::nothrow) char[uint64_t(count) * kNameSlotSize]());
  if (names->text == nullptr) return Failure::kNameSlotsAllocFailed;
  names->count = count;

  uint64_t p = image.nameOffset;
  const uint8_t* data = image.data.get();
  for (uint32_t i = 0; i < count; ++i) {
    if (!bytes::InBounds(p, 4, image.size)) return Failure::kNameTableUnreadable;
    const int32_t length = bytes::LoadI32LE(data + p);
    char* slot = names->text.get() + uint64_t(i) * kNameSlotSize;
    const bool wide = length < 0;
    // A length word below -65,536 is neither 8-bit text (its unsigned value
    // is far beyond any package) nor a UTF-16 name that could fit a slot.
    if (wide && length < kMinUtf16Length) return Failure::kNameTableUnreadable;
    const uint64_t textBytes = wide ? 2 * uint64_t(-int64_t(length)) : uint64_t(length);
    // The whole entry, with its 8 trailing bytes, must lie in the package.
    if (!bytes::InBounds(p + 4, textBytes + 8, image.size)) return Failure::kNameTableUnreadable;
    const bool fits = wide ? ConvertWideName(data + p + 4, uint32_t(-int64_t(length)), slot)
                           : CopyNarrowName(data + p + 4, uint32_t(length), slot);
    if (!fits) return Failure::kNameTableUnreadable;
    p += 4 + textBytes + 8;
  }
  FindDialogueTextNames(names);
  return Failure::kNone;
}

Failure ReadExportTable(const PackageImage& image, ExportTable* exports) {
  const uint32_t count = image.exportCount;
  exports->count = 0;
  exports->entries.reset();
  if (count != 0 &&
      !bytes::InBounds(image.exportOffset, uint64_t(count) * kExportRecordSize, image.size)) {
    return Failure::kExportTableUnreadable;
  }
  exports->entries.reset(new (std::nothrow) EXPORTENTRY[count]());
  if (exports->entries == nullptr) return Failure::kExportEntriesAllocFailed;
  exports->count = count;
  for (uint32_t i = 0; i < count; ++i) {
    // Inside the image, which is below 4 GiB, so r + 36 fits 32 bits.
    const uint32_t r = image.exportOffset + i * kExportRecordSize;
    const uint8_t* record = image.data.get() + r;
    EXPORTENTRY& e = exports->entries[i];
    e.classIndex = bytes::LoadI32LE(record + 0);
    e.superIndex = bytes::LoadU32LE(record + 4);
    e.outerIndex = bytes::LoadI32LE(record + 8);
    e.objectName = bytes::LoadU32LE(record + 12);
    e.objectNumber = bytes::LoadI32LE(record + 16);
    e.archetypeIndex = bytes::LoadU32LE(record + 20);
    e.word24 = bytes::LoadU32LE(record + 24);
    e.serialSizePosition = r + 36;
    e.serialSize = bytes::LoadU32LE(record + 36);
    e.serialOffset = bytes::LoadU32LE(record + 40);
    e.word44 = bytes::LoadU32LE(record + 44);
    e.word48 = bytes::LoadU32LE(record + 48);
  }
  return Failure::kNone;
}

Failure ReadImportTable(const PackageImage& image, ImportTable* imports) {
  imports->records = nullptr;
  imports->count = 0;
  if (image.importCount == 0) return Failure::kNone;
  if (!bytes::InBounds(image.importOffset, uint64_t(image.importCount) * kImportRecordSize,
                       image.size)) {
    return Failure::kImportTableUnreadable;
  }
  imports->records = image.data.get() + image.importOffset;
  imports->count = image.importCount;
  return Failure::kNone;
}

Failure GetExportName(const NameSlots& names, const ImportTable& imports, const ExportTable& exports,
                      uint32_t index, char (&path)[kObjectPathSize]) {
  const EXPORTENTRY& entry = exports.entries[index];
  PathWriter writer(path);

  // A class object: its own name (no number suffix, no outers).
  if (entry.classIndex == 0) {
    const char* name = NameText(names, entry.objectName);
    if (name == nullptr) return Failure::kNameIndexOutOfRange;
    writer.Append("Class'");
    writer.Append(name);
    writer.Append("'");
    return Named(writer);
  }

  uint32_t classNameIndex = 0;
  Failure failure = ClassNameIndex(imports, exports, entry.classIndex, &classNameIndex);
  if (failure != Failure::kNone) return failure;
  const char* className = NameText(names, classNameIndex);
  if (className == nullptr) return Failure::kNameIndexOutOfRange;

  uint32_t chain[kObjectPathSize];
  uint32_t depth = 0;
  failure = CollectOuters(exports, index, chain, &depth);
  if (failure != Failure::kNone) return failure;

  // The class name never carries a number suffix; the outers and the
  // export's own name do.
  writer.Append(className);
  writer.Append("'");
  for (uint32_t k = depth; k-- > 0;) {
    if (!AppendDisplayName(names, exports.entries[chain[k]], &writer)) return Failure::kNameIndexOutOfRange;
    writer.Append(".");
  }
  if (!AppendDisplayName(names, entry, &writer)) return Failure::kNameIndexOutOfRange;
  writer.Append("'");
  return Named(writer);
}

bool IsDialogueEventPath(const char* objectPath) {
  const char* first = std::strchr(objectPath, '\'');
  if (first == nullptr || std::strchr(first + 1, '\'') == nullptr) return false;
  const size_t classLength = size_t(first - objectPath);
  return classLength == sizeof kDialogueEventClass - 1 &&
         std::memcmp(objectPath, kDialogueEventClass, classLength) == 0;
}

namespace {

// ForEachDialogueExport with the names read into names.
Failure WalkDialogueExports(const PackageImage& image, NameSlots* names, const DialogueExportVisitor& visit) {
  Failure failure = ReadNameTable(image, names);
  if (failure != Failure::kNone) return failure;
  ExportTable exports;
  failure = ReadExportTable(image, &exports);
  if (failure != Failure::kNone) return failure;
  ImportTable imports;
  failure = ReadImportTable(image, &imports);
  if (failure != Failure::kNone) return failure;

  char path[kObjectPathSize] = {};
  for (uint32_t i = 0; i < exports.count; ++i) {
    failure = GetExportName(*names, imports, exports, i, path);
    if (failure != Failure::kNone) return failure;
    if (!IsDialogueEventPath(path)) continue;
    const EXPORTENTRY& entry = exports.entries[i];
    // The body is read only for dialogue event exports, so only theirs must
    // lie inside the package; the other exports' extents are never used.
    if (!bytes::InBounds(entry.serialOffset, entry.serialSize, image.size)) {
      return Failure::kExportBodyOutsideImage;
    }
    failure = visit(path, entry, *names, image.data.get() + entry.serialOffset);
    if (failure != Failure::kNone) return failure;
  }
  return Failure::kNone;
}

}  // namespace

Failure ForEachDialogueExport(const PackageImage& image, const DialogueExportVisitor& visit) {
  NameSlots names;
  return WalkDialogueExports(image, &names, visit);
}

Failure ListDialogueExports(const PackageImage& image, DialogueExports* list) {
  list->exports.clear();
  return WalkDialogueExports(image, &list->names,
                             [list](const char*, const EXPORTENTRY& entry, const NameSlots&, const uint8_t* body) {
                               try {
                                 list->exports.push_back({entry.serialSizePosition, body, entry.serialSize});
                               } catch (const std::bad_alloc&) {
                                 return Failure::kRelocationFailed;
                               }
                               return Failure::kNone;
                             });
}

Failure TranslateDialogueExports(const PackageImage& image, const PackageFiles& files,
                                 const TranslatedAhead* ahead) {
  PackageTranslator translator;
  if (ahead != nullptr && ahead->done) {
    // What translating would do: nothing for a package without dialogue
    // event exports; the dictionary looked at once, and nothing more when it
    // has no entries.
    if (!ahead->dialogue || !translator.Ready()) return Failure::kNone;
    if (dictionary::SharedDictionaryLoads() == ahead->dictionaryLoad) {
      return RelocateExports(files.output, image.data.get(), image.size, ahead->relocated);
    }
  }
  DialogueExports list;
  Failure failure = ListDialogueExports(image, &list);
  if (failure != Failure::kNone) {
    // The dictionary is looked at when the package has a dialogue event
    // export, even when a later export cannot be listed: as it is when the
    // exports are translated one by one as the walk finds them.
    if (!list.exports.empty()) translator.Ready();
    return failure;
  }
  failure = translator.TranslateAll(list);
  // A relocation that cannot be written would leave records pointing at
  // bodies that are not there: the package fails and is restored.
  if (failure != Failure::kNone) return failure;
  return RelocateExports(files.output, image.data.get(), image.size, translator.relocated());
}

void TranslateAhead(const PackageImage& image, TranslatedAhead* ahead) {
  *ahead = TranslatedAhead();
  try {
    dictionary::WithLoadedSharedDictionary([&image, ahead](const BRXStringDict& dictionary, uint64_t load) {
      DialogueExports list;
      if (ListDialogueExports(image, &list) != Failure::kNone) return;
      PackageTranslator translator(&dictionary);
      if (translator.TranslateAll(list) != Failure::kNone) return;
      ahead->relocated = translator.TakeRelocated();
      ahead->dialogue = !list.exports.empty();
      ahead->dictionaryLoad = load;
      ahead->done = true;
    });
  } catch (const std::bad_alloc&) {
    *ahead = TranslatedAhead();  // translated in its turn
  }
}

}  // namespace package
