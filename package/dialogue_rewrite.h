// Third stage of the package patcher: the DialogueText strings of a dialogue
// event export are replaced by their translations in a new body, which is
// then appended to the output file and pointed at by the export's record.
//
// A DialogueText tag inside an export body is a 16-byte property tag
// followed by a string array:
//   +0  name index: selects the name "DialogueText"
//   +4  name number: 0
//   +8  value size: bytes from +16 to the end of the last string
//   +12 a word that is 0
//   +16 string count N
//   +20 N length-prefixed strings (length word L: L >= 0 gives L bytes of
//       8-bit text with its zero byte, L < 0 gives -L UTF-16LE units with
//       their zero unit)
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "package/package_tables.h"
#include "platform/platform.h"

class BRXStringDict;
struct BRXStringEntry;

namespace package {

// A translation found for a lookup text: targetLength UTF-8 bytes at target.
struct Translation {
  const char* target = nullptr;
  uint32_t targetLength = 0;
};

// Looks a lookup text (zero-terminated UTF-8, or the 8-bit text as stored)
// up; true with found set when the text has a translation.
using TranslationLookup = std::function<bool(const char* text, Translation* found)>;

// Longest lookup text handed to the dictionary, in bytes. A string whose
// lookup text is longer is left unchanged.
inline constexpr uint32_t kMaxLookupText = 65535;
// Longest translation written, in UTF-16 code units (terminator not
// counted). A string whose translation is longer is left unchanged.
inline constexpr uint32_t kMaxTranslationUnits = 32768;

// Fills names->dialogueTextNames: the indexes of the slots that hold exactly
// "DialogueText", the name indexes a DialogueText tag carries.
void FindDialogueTextNames(NameSlots* names);

// Scans body (size bytes) for DialogueText tags and builds a new body in
// which every string that lookup translates is replaced by its translation
// as a UTF-16 string, with each rewritten tag's value size corrected. Every
// other byte is copied unchanged and in order. True with newBody set when at
// least one string was replaced, otherwise false with newBody untouched.
bool RewriteDialogueBody(const uint8_t* body, uint32_t size, const NameSlots& names,
                         const TranslationLookup& lookup, std::vector<uint8_t>* newBody);

// Calls visit with the lookup text of every DialogueText string of body, in
// order: exactly the texts that RewriteDialogueBody looks up. Changes nothing.
void ForEachDialogueText(const uint8_t* body, uint32_t size, const NameSlots& names,
                         const std::function<void(const char* text)>& visit);

// RewriteDialogueBody with the translations of the dictionary file
// "chs.txt" in the current directory, as the shared dictionary cache holds
// it. False when the dictionary holds no entry.
bool RewriteDialogueText(const uint8_t* body, uint32_t size, const NameSlots& names,
                         std::vector<uint8_t>* newBody);

// The new bodies of one package's relocated exports, gathered so that the
// output file is written twice for all of them rather than twice for each.
struct RelocatedBodies {
  std::vector<uint8_t> bodies;  // back to back, in the order added
  struct Record {
    uint32_t serialSizePosition;  // where the export record's size and offset words are
    uint32_t size;
  };
  std::vector<Record> records;

  // Adds newBody for the export whose record words are at
  // serialSizePosition. False when memory is short.
  bool Add(uint32_t serialSizePosition, const std::vector<uint8_t>& newBody);
};

// Scratch space of a rewrite, kept across strings and exports.
struct Scratch {
  std::string key;              // the lookup text
  std::vector<uint16_t> units;  // UTF-16 text of a string, or of a translation
};

// Translates the dialogue event exports of one package. The whole package
// sees one version of "chs.txt": the file is looked at (and loaded when it
// changed) once, by Ready, and that version serves all its exports. The new
// bodies are built straight into the gathered bodies, one after another.
class PackageTranslator {
 public:
  PackageTranslator() = default;
  // Translates with dictionary rather than with "chs.txt" as the shared
  // cache holds it: for the pipeline's builder, which works ahead of the
  // package's turn and never looks at the file.
  explicit PackageTranslator(const BRXStringDict* dictionary) : dictionary_(dictionary) {}

  // Loads the dictionary at the first call; true when it has entries.
  bool Ready();
  // RewriteDialogueText for every export of list, in order, each new body
  // gathered with the position of its record's words, and all their texts
  // looked up together first (dictionary::FindSharedEntries). kNone whether
  // an export gets a new body or stays as it is (nothing translated, or no
  // memory to build the body); kRelocationFailed when a body was built but
  // memory is too short to note it.
  Failure TranslateAll(const DialogueExports& list);
  const RelocatedBodies& relocated() const { return relocated_; }
  RelocatedBodies TakeRelocated() { return std::move(relocated_); }

 private:
  // The texts of a package's exports, looked up together, in the order in
  // which the rewrite asks for them.
  struct LookedUp {
    std::string texts;                         // each with its zero byte
    std::vector<size_t> starts;                // of each text in texts
    std::vector<const BRXStringEntry*> found;  // for each text; null: none
    std::vector<size_t> firstOfExport;         // index of each export's first text
    size_t next = 0;                           // the text the rewrite asks for next
  };
  void LookUpAll(const DialogueExports& list);
  TranslationLookup NextLookedUp();
  Failure Append(uint32_t serialSizePosition, const uint8_t* body, uint32_t size, const NameSlots& names,
                 const TranslationLookup& lookup);

  const BRXStringDict* dictionary_ = nullptr;
  RelocatedBodies relocated_;
  Scratch scratch_;
  LookedUp lookedUp_;
};

// A package's dialogue event exports translated by the pipeline's builder
// ahead of the package's turn, and the load of the dictionary it used
// (dictionary::SharedDictionaryLoads). TranslateDialogueExports takes the
// bodies in turn when the dictionary the package sees then is that very
// load; otherwise the package is translated in its turn.
struct TranslatedAhead {
  bool done = false;      // every export was named and translated without failure
  bool dialogue = false;  // the package has a dialogue event export
  uint64_t dictionaryLoad = 0;
  RelocatedBodies relocated;
};

// Translates the dialogue event exports of image with the dictionary loaded
// last (dictionary::WithLoadedSharedDictionary), printing nothing. Leaves
// ahead->done false when no dictionary with entries is loaded, a table
// cannot be read, an export cannot be named, or memory is short: all of it
// is then done again in the package's turn, which reports what fails.
void TranslateAhead(const PackageImage& image, TranslatedAhead* ahead);

// Appends the gathered bodies at the end of output and writes each one's
// size and position (the file's size before the append, plus the bodies
// before it) into its export record's two words. image (imageSize bytes) is
// the package as written to output: the span of it that holds the records is
// written again whole, with the words changed. kRelocationFailed when the
// file's size cannot be had, a record lies outside the image, a seek or a
// write fails, memory is short, or the file would outgrow 32-bit positions.
Failure RelocateExports(platform::File output, const uint8_t* image, uint32_t imageSize,
                        const RelocatedBodies& relocated);

}  // namespace package
