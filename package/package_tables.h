// Second stage of the package patcher: the name, import and export tables,
// the Object path of every export, and the walk over the exports that hands
// every dialogue event export (class AkDialogueEvent) to the dialogue text
// rewriter and relocates the exports that come back rewritten.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "package/package_failure.h"
#include "package/package_image.h"

namespace package {

// A package name is kept in a zero-filled slot of this many bytes, so that
// the text of name index i is at i * kNameSlotSize.
inline constexpr uint32_t kNameSlotSize = 260;
// Object paths are built in buffers of this size: at most 511 bytes of text.
inline constexpr uint32_t kObjectPathSize = 512;
// On-disk record sizes of the export and import tables.
inline constexpr uint32_t kExportRecordSize = 72;
inline constexpr uint32_t kImportRecordSize = 28;
// Offset, in an import record, of the name index of the imported object.
inline constexpr uint32_t kImportNameOffset = 20;

// The package's names, one zero-terminated text per slot.
struct NameSlots {
  std::unique_ptr<char[]> text;  // count * kNameSlotSize bytes
  uint32_t count = 0;
  // The indexes of the slots that hold exactly "DialogueText", in increasing
  // order: the name indexes a DialogueText tag can carry, so that the
  // dialogue rewriter need not compare names while it scans a body. Valid
  // when dialogueTextNamesFound (ReadNameTable and FindDialogueTextNames
  // set it); otherwise the rewriter finds them itself for every body.
  std::vector<uint32_t> dialogueTextNames;
  bool dialogueTextNamesFound = false;

  const char* Slot(uint32_t index) const { return text.get() + uint64_t(index) * kNameSlotSize; }
};

// One export record, as read from the export table, in the order of its
// words in memory. Never changed after it is read: a relocation writes the
// new size and offset into the output file only.
struct EXPORTENTRY {
  int32_t classIndex;           // 0: "Class"; -n: import n-1; +n: export n-1
  uint32_t superIndex;          // kept, not used
  int32_t outerIndex;           // 0: no outer; +n: export n-1
  uint32_t objectName;          // name index of the export's own name
  int32_t objectNumber;         // 0: no suffix; n: suffix "_" and n-1
  uint32_t archetypeIndex;      // kept, not used
  uint32_t word24;              // kept, not used
  uint32_t serialSizePosition;  // file position of the record's serial size
  uint32_t serialSize;          // byte length of the export's body
  uint32_t serialOffset;        // file position of the export's body
  uint32_t word44;              // kept, not used
  uint32_t word48;              // kept, not used
};

struct ExportTable {
  std::unique_ptr<EXPORTENTRY[]> entries;
  uint32_t count = 0;
};

// The import table as the naming needs it: count records of 28 bytes at
// records, already checked to lie inside the package.
struct ImportTable {
  const uint8_t* records = nullptr;
  uint32_t count = 0;
};

// Fills the name slots from the image's name table, and their
// dialogueTextNames. 8-bit names are copied as stored; UTF-16 names are
// converted to UTF-8.
Failure ReadNameTable(const PackageImage& image, NameSlots* names);

// Reads the image's export table into EXPORTENTRY records.
Failure ReadExportTable(const PackageImage& image, ExportTable* exports);

// Checks that the image's import table lies inside the package and points
// imports at it.
Failure ReadImportTable(const PackageImage& image, ImportTable* imports);

// Writes the Object path of export index (below exports.count) into path:
// "Class'name'" for class index 0, otherwise
// "ClassName'Outermost.Outer.Name_3'". kNone when the export is named.
Failure GetExportName(const NameSlots& names, const ImportTable& imports, const ExportTable& exports,
                      uint32_t index, char (&path)[kObjectPathSize]);

// True when the class part of an Object path (the text before its first
// apostrophe) is exactly "AkDialogueEvent" and a second apostrophe follows.
// Every path that GetExportName writes holds both apostrophes.
bool IsDialogueEventPath(const char* objectPath);

// What ForEachDialogueExport hands over for each dialogue event export: its
// whole Object path, its record, the package's names and its body
// (entry.serialSize bytes, inside the image). A failure ends the walk with
// that failure.
using DialogueExportVisitor = std::function<Failure(const char* objectPath, const EXPORTENTRY& entry,
                                                    const NameSlots& names, const uint8_t* body)>;

// Reads the tables of image and walks its exports in table order, naming
// each one; calls visit for every dialogue event export. Ends at the first
// failure: a table that cannot be read, an export that cannot be named, a
// dialogue event export whose body lies outside the image, or visit's.
Failure ForEachDialogueExport(const PackageImage& image, const DialogueExportVisitor& visit);

// The dialogue event exports of a package in table order, with the
// package's names, which the tags in their bodies refer to.
struct DialogueExports {
  struct Export {
    uint32_t serialSizePosition;  // where the record's size and offset words are
    const uint8_t* body;          // inside the image
    uint32_t size;
  };
  NameSlots names;
  std::vector<Export> exports;
};

// Lists the dialogue event exports of image: the walk of
// ForEachDialogueExport, ending at the same failures (and at
// kRelocationFailed when memory for the list is short). On a failure the
// exports found before it stay listed.
Failure ListDialogueExports(const PackageImage& image, DialogueExports* list);

struct TranslatedAhead;

// Reads the tables of image, rewrites and relocates every dialogue event
// export into files.output. Does not close the files. With ahead (the
// package translated ahead of its turn, dialogue_rewrite.h) its bodies are
// relocated instead, when they were translated with the dictionary the
// package sees now: the files and messages are the same either way.
Failure TranslateDialogueExports(const PackageImage& image, const PackageFiles& files,
                                 const TranslatedAhead* ahead = nullptr);

}  // namespace package
