// Second stage of the package patcher: the name, import and export tables,
// the Object path of every export, and the walk over the exports that hands
// every dialogue event export (class AkDialogueEvent) to the dialogue text
// rewriter and relocates the exports that come back rewritten.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "package/package_image.h"

namespace package {

// Result codes of this stage (0 is success). A failure prints one message
// line first (a naming failure also "GetExportName err"); the package
// patcher then restores the shipped file. The first stage uses -1 to -22.
inline constexpr int kTablesAllocFailed = -5;        // name slots or export entries
inline constexpr int kExportTableUnreadable = -13;   // export table beyond the package
inline constexpr int kExportNameFailed = -15;        // imported class or outer index out of range
inline constexpr int kNameTableUnreadable = -23;     // name table beyond the package, or a name too long for its slot
inline constexpr int kImportTableUnreadable = -24;   // import table beyond the package
inline constexpr int kNameIndexOutOfRange = -25;     // a name index at or above the name count
inline constexpr int kClassIndexOutOfRange = -26;    // a class index naming no export (and no import)
inline constexpr int kOuterChainLoops = -27;         // an export is its own outer, directly or not
inline constexpr int kObjectPathTooLong = -28;       // an Object path over 511 bytes
inline constexpr int kRelocationFailed = -29;        // writing a relocated export failed
inline constexpr int kExportBodyOutsideImage = -30;  // a dialogue event export's body beyond the package

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
// converted to UTF-8. Returns 0, or a failure code after printing its
// message.
int ReadNameTable(const PackageImage& image, NameSlots* names);

// Reads the image's export table into EXPORTENTRY records. Returns 0, or a
// failure code after printing its message.
int ReadExportTable(const PackageImage& image, ExportTable* exports);

// Checks that the image's import table lies inside the package and points
// imports at it. Returns 0, or a failure code after printing its message.
int ReadImportTable(const PackageImage& image, ImportTable* imports);

// Writes the Object path of export index (below exports.count) into path:
// "Class'name'" for class index 0, otherwise
// "ClassName'Outermost.Outer.Name_3'". Returns 1 when named; 0 after
// printing "dwtypeNameIndex err" or "Export 解析错误" (an imported class or an
// outer beyond its table); or a negative code after printing its message
// when the package must be refused for another reason.
int GetExportName(const NameSlots& names, const ImportTable& imports, const ExportTable& exports,
                  uint32_t index, char (&path)[kObjectPathSize]);

// True when the class part of an Object path (the text before its first
// apostrophe) is exactly "AkDialogueEvent". Cuts the path at that apostrophe.
// A path without two apostrophes prints its message and gives false.
bool IsDialogueEventPath(char* objectPath);

// For a dialogue event export (told by its Object path), rewrites the
// DialogueText strings of its body through the dictionary. Returns 1 with
// newBody filled when at least one string was translated, 0 when the export
// stays as it is, or kExportBodyOutsideImage (nothing printed) when the
// body does not lie inside the image.
int PatchDialogueExport(char* objectPath, const PackageImage& image, const EXPORTENTRY& entry,
                        const NameSlots& names, std::vector<uint8_t>* newBody);

// What ForEachDialogueExport hands over for each dialogue event export: its
// whole Object path, its record, the package's names and its body
// (entry.serialSize bytes, inside the image). A result other than 0 ends the
// walk with that result.
using DialogueExportVisitor = std::function<int(const char* objectPath, const EXPORTENTRY& entry,
                                                const NameSlots& names, const uint8_t* body)>;

// Reads the tables of image and walks its exports in table order, naming
// each one; calls visit for every dialogue event export. Returns 0, a
// failure code after printing its message (a table that cannot be read, an
// export that cannot be named, a dialogue event export whose body lies
// outside the image: "文件[%s]数据损坏" with packagePath), or visit's result.
int ForEachDialogueExport(const PackageImage& image, const char* packagePath,
                          const DialogueExportVisitor& visit);

// Reads the tables of image, rewrites and relocates every dialogue event
// export into files.output. Returns 0 on success or the package patcher's
// failure code (after printing its message). Does not close the files.
int TranslateDialogueExports(const PackageImage& image, const PackageFiles& files);

}  // namespace package
