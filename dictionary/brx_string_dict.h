// BRXStringDict: the translation dictionary.
//
// An in-memory table of entries, each a source text (the shipped English
// text), its target text (the translation) and a remark. The dictionary is
// filled from the marker-delimited text file "chs.txt" (or from a text in
// memory, or from the binary dictionary form), answers exact, case-sensitive
// lookups by source text with spaces at the key's ends disregarded, and can be
// built entry by entry, edited and saved.
//
// Texts are zero-terminated byte strings that the dictionary never decodes
// (UTF-8 in this program); every length is a 32-bit byte count without the
// terminating zero. Entries are kept in ascending source order under
// CompareText (plain unsigned byte order); every lookup is a binary search
// that relies on that order. The loaders take entries in file order and do
// not sort.
//
// All texts live in one contiguous store owned by the dictionary: after a
// text file load it is the file's own bytes, with each text terminated in
// place. An entry returned to a caller, and the texts it points to, stay
// valid until the next load, edit or destruction of the dictionary.
//
// Results follow one convention: a count, an entry or nothing; failures give
// 0, nullptr or 0xFFFFFFFF (kNoIndex). Nothing here prints and no exception
// leaves the class; memory exhaustion is a failure like any other.
//
// The methods are spread over modules by concern, all of this one class:
//   brx_string_dict.cpp  construction, the text store, comparison, lookups
//   dict_text_load.cpp   paths, file reading, the text format loader
//   dict_save_edit.cpp   additions, edits, text saving, segmented translation
//   dict_binary.cpp      the binary dictionary file, reading and writing
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

// One dictionary entry: three pointers into the dictionary's text store and
// the three byte lengths, in this fixed order. The binary dictionary file
// stores the same six fields as 32-bit values, with offsets into its text
// block in place of the pointers (24 bytes a record).
struct BRXStringEntry {
  char* source;           // source text (the "ENG" section), zero-terminated
  char* target;           // target text (the "CHI" section), zero-terminated
  char* remark;           // remark (the "Remark00" section), zero-terminated
  uint32_t sourceLength;  // bytes of source, without the zero
  uint32_t targetLength;  // bytes of target, without the zero
  uint32_t remarkLength;  // bytes of remark, without the zero
};

class BRXStringDict {
 public:
  // Capacity of the stored path, terminator included: the platform's own
  // limit (MAX_PATH on Windows, PATH_MAX on POSIX), so that a dictionary in
  // any current folder the system can name is found.
  static constexpr uint32_t kPathCapacity = platform::kMaxPath;
  // Largest dictionary file (text or binary) or text that a load accepts.
  static constexpr uint32_t kMaxFileSize = 200000000;
  // FindIndex's result for an absent key or a dictionary without entries.
  static constexpr uint32_t kNoIndex = 0xFFFFFFFFu;
  // The offset that makes WriteFileBlock append at the end of the file.
  static constexpr uint64_t kEndOfFile = ~uint64_t(0);
  // CompareText results.
  enum : int { kEqual = 1, kBefore = 2, kAfter = 3 };
  // TranslateSegment results.
  enum : int { kNoTranslation = 0, kPartWritten = 1, kLastPartWritten = 2 };

  BRXStringDict();
  ~BRXStringDict();
  BRXStringDict(const BRXStringDict&) = delete;
  BRXStringDict& operator=(const BRXStringDict&) = delete;

  // --- texts and lookups --------------------------------------------------

  // Cuts spaces (0x20 only) from the end of text in place by overwriting
  // them with zeros. Mode 0 then skips the leading spaces and returns a
  // pointer past them; mode 1 moves the text down over them and returns text.
  // A text that is all spaces becomes empty and is returned as it is. The
  // trimmed length goes to *length when length is given. An absent text or
  // another mode gives nullptr.
  static char* TrimSpaces(char* text, int mode, uint32_t* length);

  // Unsigned byte order of two zero-terminated texts: kEqual, kBefore (a
  // sorts first: smaller byte, or a is a beginning of b) or kAfter.
  static int CompareText(const char* a, const char* b);

  // The entry whose source text equals key with its leading and trailing
  // spaces disregarded, or nullptr. The caller's key is never changed.
  const BRXStringEntry* FindEntry(const char* key) const;
  // The index of that entry, or the index at which an entry with this source
  // would be inserted (0 to count); kNoIndex for an absent key or when there
  // is no entry array.
  uint32_t FindIndex(const char* key) const;
  // The entry whose source begins with the four little-endian bytes of id,
  // for entries ordered by that number. A source shorter than four bytes
  // counts as its bytes zero-filled to four.
  const BRXStringEntry* FindEntryByID(uint32_t id) const;

  uint32_t GetCount() const { return count; }
  uint32_t GetTextSize() const { return textSize; }
  // The path of the file last loaded by name; empty after a load from
  // memory, a reload, or before the first load.
  const char* GetPath() const { return path; }
  // The message (GBK bytes, no line break) composed by the last load that
  // failed on a missing section marker; empty when the last load did not
  // fail that way.
  const char* GetLoadFailureMessage() const { return loadFailure; }
  // Where that load failed: the index of the entry it was reading and the
  // position, in the loaded text, of that entry's entry marker. False when
  // the last load did not fail on a missing section marker.
  bool GetLoadFailurePlace(uint32_t* entry, uint32_t* offset) const;

  // The entry at index, or nullptr when index is not below GetCount(): for
  // walking the entries in their order.
  const BRXStringEntry* GetEntry(uint32_t index) const;
  // The start of the text store. After a text load the store is the loaded
  // text itself, so the distance of an entry's text from here is the text's
  // position in the file (until an edit moves the store).
  const char* GetTextStore() const { return textStore; }

  // --- the text file format ----------------------------------------------

  // Loads the dictionary text file. A name holding a path separator
  // (a backslash; on POSIX a slash too) is the whole path; any other name is
  // joined to the current directory with a backslash. Result: the number of
  // entries, 0 on failure. An absent or empty name, a path that does not fit
  // kPathCapacity, a missing file and a size of 0 or above kMaxFileSize
  // leave the dictionary as it was; every later failure (memory, a short read, no entry, a missing
  // section marker) leaves it empty.
  uint32_t LoadFromTXTFileA(const char* name);
  // The path that a load by name reads, formed by the rule above into out
  // (kPathCapacity bytes); false when it does not fit.
  static bool FormPath(const char* name, char* out);
  // The same from a whole dictionary text in memory (not modified); clears
  // the stored path.
  uint32_t LoadFromTXTBuffer(const char* text);
  // Empties the dictionary and loads again the file last loaded by name.
  uint32_t ReloadTXTFileA();
  // Opens path for shared reading. With no destination: the file's size.
  // Otherwise reads count bytes from offset into destination in one read
  // and gives the bytes read. -1 when the path is absent, the file cannot be
  // opened, positioned or read.
  static int64_t ReadFileBlock(const char* path, void* destination, uint64_t offset,
                               uint32_t count);

  // --- building, editing, saving -------------------------------------------

  // Writes the dictionary to path in the text format, replacing what the
  // file held: header line with the UTC+8 time of saving, the entries in
  // array order, the file end marker. Result: the sum of the three writes'
  // byte counts (a failed write counts -1); 0 for an absent path or when
  // memory for the text cannot be had (nothing is written then).
  int64_t SaveToTXTFileA(const char* path);
  // The bytes SaveToTXTFileA writes, as one image in memory, for a caller
  // that writes them itself. False when memory runs out.
  bool SaveToTXTImage(std::string* image) const;
  // Resets the file's attributes to normal, opens it for writing with the
  // given disposition, positions at offset (kEndOfFile: the end), writes
  // count bytes of data (0: its zero-terminated length) in one write.
  // Result: bytes written; -1 for an absent path or data, or a failed
  // open, seek or write.
  static int64_t WriteFileBlock(const char* path, const void* data, uint64_t offset,
                                uint32_t count, platform::Disposition disposition);

  // Adds an entry in source order. The source is trimmed of spaces at both
  // ends; an absent target or remark stands for the source exactly as
  // passed. When an entry with the trimmed source exists it is returned
  // unchanged. nullptr for an absent source or when memory runs out.
  const BRXStringEntry* AddEntry(const char* source, const char* target, const char* remark);
  // Inserts an entry of three empty texts at position (appends when position
  // is at or beyond the count). Result: the new count (unchanged when memory
  // runs out). The source order is not enforced.
  uint32_t InsertBlankEntry(uint32_t position);
  // Replace one text of the entry at index (an index beyond the last entry
  // means the last entry; an absent text means the empty text). A shorter
  // text overwrites the old one in place; another is stored anew. Result 1.
  // Entries are not re-sorted. On an empty dictionary nothing changes.
  int SetSourceText(uint32_t index, const char* text);
  int SetTargetText(uint32_t index, const char* text);
  int SetRemarkText(uint32_t index, const char* text);

  // Hands out a translation piece by piece for a source text that arrives in
  // consecutive pieces: for a piece that begins some entry's source text
  // (but is not all of it), about as many bytes of that entry's target as
  // the piece has, never splitting a GBK double-byte character; the whole
  // rest of the target with the piece that completes the source. Writes a
  // zero-terminated text into output (size bytes). Result: kNoTranslation,
  // kPartWritten or kLastPartWritten; a 0 after the argument checks ends a
  // segmented translation under way.
  int TranslateSegment(const char* piece, char* output, uint32_t size);

  // --- the binary dictionary file ------------------------------------------

  // Loads the binary form: format number 1, entry count N, N records of six
  // 32-bit fields (offsets into the text block, then lengths), the text
  // block. Result: N; 0 on any failure, which leaves the dictionary empty
  // (except for a path that does not fit, which changes nothing). Refuses a
  // file whose N does not fit it or whose records point or reach outside its
  // text block, or whose texts are not terminated exactly where their
  // lengths say (a zero inside a text, or none right after it).
  uint32_t LoadFromBINFileA(const char* name);
  // Writes the binary form that LoadFromBINFileA reads (entries in array
  // order, each text zero-terminated in the text block), replacing the file.
  // Result: bytes written; -1 for an absent path, a file that would exceed
  // kMaxFileSize, memory exhausted or a failed write.
  int64_t SaveToBINFileA(const char* path) const;
  // The bytes SaveToBINFileA writes, as one image in memory. False when the
  // file would exceed kMaxFileSize or memory runs out.
  bool SaveToBINImage(std::string* image) const;
  // LoadFromBINFileA from an image in memory (copied; size bytes at data);
  // clears the stored path.
  uint32_t LoadFromBINImage(const char* data, uint32_t size);

 private:
  // Makes room for at least `needed` more text bytes after textUsed by
  // moving the store into a new zero-filled block of capacity newCapacity.
  // The old block is handed back to the caller, who releases it after
  // copying any caller text that may lie in it. False when memory runs out.
  bool ReplaceStore(uint64_t newCapacity, char** oldStore);
  // Grows the entry array by 10,000 records when count + 2 reaches its
  // capacity. False when memory runs out (nothing changes then).
  bool ReserveEntries();
  // Releases the text store and the entries: an empty dictionary.
  void Clear();
  // The entries in the text format (into *text, textLength bytes) and the
  // header line of a save now (into header). False when memory runs out or
  // the text would exceed one write.
  bool ComposeTXT(std::unique_ptr<char[]>* text, uint32_t* textLength, char* header,
                  size_t headerCapacity, size_t* headerLength) const;
  // Takes store (size bytes of a binary dictionary file and 4 zero bytes) as
  // the text store when its records are sound. Result: the entry count, 0
  // when it is refused (the dictionary stays empty then).
  uint32_t AdoptBinaryStore(std::unique_ptr<char[]> store, uint32_t size);
  // Ends a segmented translation (both cursors back to the empty string).
  void EndSegment();
  // Binary search shared by the lookups on a key of keyLength bytes.
  // Result: true and *index of the match, or false and *index the insertion
  // point.
  bool Search(const char* key, uint32_t keyLength, uint32_t* index) const;
  // Takes over a block of size + 4 bytes holding a dictionary text and parses
  // it into the (already released) dictionary. Result: the entry count.
  uint32_t ParseText(char* text, uint32_t size);
  int SetText(uint32_t index, const char* text, int field);

  // Zero bytes that the empty texts of blank entries and the idle cursors
  // point at; nothing is ever written into it.
  static char emptyText[4];

  char path[kPathCapacity];      // file last loaded by name, zero-terminated
  char* textStore;               // all texts (owned), nullptr when none
  uint32_t textSize;             // bytes loaded, or the fill mark after edits
  BRXStringEntry* entries;       // the entries (owned), nullptr when none
  uint32_t textCapacity;         // bytes of textStore available for texts
  uint32_t textUsed;             // where the next added text goes
  uint32_t entryCapacity;        // records that entries has room for
  char* segmentSource;           // rest of the source being translated
  char* segmentTarget;           // rest of its target not handed out yet
  uint32_t count;                // entries in use
  char loadFailure[128];         // message of the last failed load, or empty
  uint32_t loadFailureEntry;     // entry index of that failure
  uint32_t loadFailureOffset;    // position of that entry's marker in the text
};
