// The operating system as hanhua sees it: a small set of plain functions.
//
// Everything above this layer is portable. Each function mirrors one Windows
// call (named in its comment) and behaves the same on every platform:
// platform/*_win32.cpp makes the Windows call itself, platform/*_posix.cpp
// reproduces its behaviour with POSIX calls. The build picks one backend.
//
// Paths are zero-terminated 8-bit strings. On POSIX a backslash in a path is
// taken as a directory separator, so the Windows-style paths that the driver
// builds ("DIR\name") work unchanged on Linux.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// ---------------------------------------------------------------------------
// Files

// An open file; kNoFile when absent. A plain value, closed with Close().
using File = intptr_t;
inline constexpr File kNoFile = -1;

// The value FileSize() gives when the size cannot be had (GetFileSize).
inline constexpr uint32_t kSizeError = 0xFFFFFFFFu;

// Creation dispositions, with the values of the Windows constants.
enum Disposition : int {
  kCreateNew = 1,         // fail if the file exists
  kCreateAlways = 2,      // create, truncating an existing file
  kOpenExisting = 3,      // fail if the file does not exist
  kOpenAlways = 4,        // open, creating the file if needed
  kTruncateExisting = 5,  // open an existing file and truncate it
};

// CreateFileA(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), for regular
// files only: a folder, FIFO, device or socket is refused without being read
// or waited on (POSIX opens without blocking and checks fstat; Windows asks
// GetFileType), so a FIFO planted at a name can never stall a run.
File OpenRead(const char* path);
// True when path names a regular file (through a link, if it is one). A
// missing path, a folder, FIFO, device or socket gives false.
bool IsRegularFile(const char* path);
// CreateFileA(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
// CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL): a new, empty file open for both.
File CreateReadWrite(const char* path);
// CreateFileA(GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW): a new, empty
// file open for both, made only where nothing, not even a link, has the
// name (O_CREAT|O_EXCL|O_NOFOLLOW), so no planted link is ever followed.
File CreateNew(const char* path);
// CreateFileA(GENERIC_WRITE, FILE_SHARE_WRITE, disposition).
File OpenWrite(const char* path, Disposition disposition);
// CloseHandle. Closing kNoFile does nothing.
void Close(File file);

// Holds an open file (or kNoFile) and closes it when it goes out of scope,
// so that every way out of a routine releases it.
class FileHolder {
 public:
  explicit FileHolder(File file) : file_(file) {}
  ~FileHolder() { Close(); }
  FileHolder(const FileHolder&) = delete;
  FileHolder& operator=(const FileHolder&) = delete;

  File get() const { return file_; }
  bool is_open() const { return file_ != kNoFile; }
  // Closes the file now (a file that must be closed before it is renamed,
  // for instance); the holder then holds kNoFile.
  void Close() {
    platform::Close(file_);
    file_ = kNoFile;
  }

 private:
  File file_;
};

// GetFileSize: the low 32 bits of the size, kSizeError on failure.
uint32_t FileSize(File file);
// SetFilePointer from the beginning / to the end. False on failure.
bool SeekBegin(File file, uint64_t offset);
bool SeekEnd(File file);
// ReadFile / WriteFile at the current position, one call each (the POSIX
// backend loops over short transfers the way a single Windows call would).
// Result: bytes transferred, or -1 on failure.
int64_t Read(File file, void* dst, uint32_t count);
// Reads count bytes at offset, so that several threads may read pieces of
// one file at once (the file's position afterwards is not to be relied
// on). Result: bytes read (fewer only at the end of the file), or -1 on
// failure.
int64_t ReadAt(File file, uint64_t offset, void* dst, uint32_t count);
int64_t Write(File file, const void* src, uint32_t count);
// Appends length bytes of from, starting at its byte offset, to to at to's
// current position, inside the system where it can (no pass through the
// caller's memory). from's own position is not used and may move. Counts as
// one Write for the fault switch. False unless every byte arrived (from
// ending early is a failure too).
bool AppendFileRange(File from, uint64_t offset, File to, uint64_t length);

// ---------------------------------------------------------------------------
// Whole files by path

// DeleteFileA.
bool DeletePath(const char* path);
// MoveFileA: renames from to to, and fails when to already exists (an
// existing backup is never replaced).
bool MoveNoReplace(const char* from, const char* to);
// CopyFileA(from, to, FALSE): copies from over to, replacing it. The copy
// takes the attributes of from, like the Windows call.
bool CopyReplace(const char* from, const char* to);
// CopyReplace whose copy has normal attributes, none of from's marks: what
// CopyReplace followed by SetAttributes(to, kAttrNormal) gives, without
// setting marks only to take them off again.
bool CopyReplaceUnmarked(const char* from, const char* to);

// A new file that will take the place of target when it is complete. It is
// made in target's folder (so that a rename can put it in place) and
// exclusively: under Linux as an unnamed file (O_TMPFILE) that a killed
// process leaves nowhere; elsewhere under target's name followed by
// ".~hanhua-" and random hex digits, created with O_CREAT|O_EXCL|O_NOFOLLOW
// (CREATE_NEW on Windows). A file or link planted under any name is never
// opened or followed.
struct TemporaryFile {
  File file = kNoFile;  // open for reading and writing
  std::string path;     // its name, empty while it has none
  std::string target;
};
// False on failure (nothing is left behind then). Counts as a create for
// the fault switch.
bool CreateTemporaryBeside(const char* target, TemporaryFile* temporary);
// Closes the complete temporary file and puts it in target's place in one
// step (a rename over it, MoveFileExA with MOVEFILE_REPLACE_EXISTING), so
// target is always either its old self or the whole new file. On failure
// the temporary file is removed and target is untouched. Counts as a move
// for the fault switch.
bool CommitTemporary(TemporaryFile* temporary);
// Closes the temporary file and removes it. Safe to call twice.
void DiscardTemporary(TemporaryFile* temporary);
// FlushFileBuffers / fsync: the file's data reach the disk. False on failure
// (where the data may not have been stored: a full disk on some file
// systems reports itself only here).
bool Flush(File file);

// File attributes, with the values of the Windows constants.
enum Attribute : uint32_t {
  kAttrReadOnly = 0x1,
  kAttrHidden = 0x2,
  kAttrSystem = 0x4,
  kAttrNormal = 0x80,
};
inline constexpr uint32_t kAttrInvalid = 0xFFFFFFFFu;
// SetFileAttributesA. On POSIX the DOS attributes are kept the way Wine and
// Samba keep them, in the extended attribute "user.DOSATTRIB" (text such as
// "0x6"); kAttrNormal removes it. Fails where there are no extended
// attributes. The mark goes on path's own entry, never through a link: a
// symbolic link at path is refused (Windows marks the link itself).
bool SetAttributes(const char* path, uint32_t attributes);
// GetFileAttributesA: kAttrInvalid when the file is missing; kAttrNormal
// when no DOS attribute is set. The archive bit, which Windows sets on every
// file written, is left out, so a file reads the same on every platform.
uint32_t GetAttributes(const char* path);

// What tells one version of a file from another without reading it
// (GetFileInformationByHandle): its size, its last-write and change times,
// and the file's identity on its volume. Any rewrite, replacement or rename
// of a file over it changes at least one field.
struct FileIdentity {
  uint64_t size = 0;
  uint64_t modified = 0;  // last write, in the platform's finest unit
  uint64_t changed = 0;   // last status change (POSIX ctime); 0 on Windows
  uint64_t fileId = 0;    // inode / file index
  uint64_t volume = 0;    // device / volume serial number
  uint32_t links = 0;     // names the file has (hard links)
  bool operator==(const FileIdentity&) const = default;
};
// False when the file cannot be opened or examined.
bool GetFileIdentity(const char* path, FileIdentity* identity);
// The current time in the unit and epoch of FileIdentity::modified, and that
// unit's count per second. A file written within a clock tick of an earlier
// look can keep its modification time, so a caller that trusts the time
// keeps a margin after it.
uint64_t FileTimeNow();
extern const uint64_t kFileTimeUnitsPerSecond;

// ---------------------------------------------------------------------------
// Read-only file mapping (CreateFileMappingA / MapViewOfFile)

struct MappedView {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  intptr_t handle = 0;  // backend's own: the mapping object on Windows
};
// Maps the first size bytes of an open file for reading. Like Windows, an
// empty file cannot be mapped (size 0 fails).
bool MapReadOnly(File file, uint32_t size, MappedView* view);
// UnmapViewOfFile + CloseHandle of the mapping; safe on an empty view.
void Unmap(MappedView* view);

// ---------------------------------------------------------------------------
// One run per game

// An exclusive lock held for a whole run; kNoLock when none is held.
using FolderLock = intptr_t;
inline constexpr FolderLock kNoLock = -1;
// Waits until this process holds the exclusive lock of folder, and holds it
// until UnlockFolder or the process's end (the system releases it when a
// process dies, so a killed run never blocks the next). Nothing is created
// on disk: POSIX locks the folder itself (flock); Windows takes a named
// mutex derived from the folder's full path. kNoLock when the folder cannot
// be opened (then there is nothing in it to protect). On Windows the mutex
// belongs to the thread that took it: unlock from that thread.
FolderLock LockFolder(const char* folder);
void UnlockFolder(FolderLock lock);

// ---------------------------------------------------------------------------
// Process

// The longest path, terminator included, that the platform's calls take:
// MAX_PATH on Windows, PATH_MAX on POSIX.
#if defined(_WIN32)
inline constexpr uint32_t kMaxPath = 260;
#else
inline constexpr uint32_t kMaxPath = 4096;
#endif

// GetCurrentDirectoryA into buffer of capacity bytes. Result: the length
// without the terminator, or 0 when it fails or does not fit. A buffer of
// kMaxPath bytes holds any current folder.
uint32_t CurrentDirectory(char* buffer, uint32_t capacity);
// True for a character that separates directories in a path on this
// platform ('\\' everywhere, '/' too on POSIX).
bool IsPathSeparator(char c);

// GetEnvironmentVariableA into buffer of capacity bytes. Result: the length
// without the terminator, or 0 when the variable is unset or empty or its
// value does not fit (buffer then holds an empty text when capacity > 0).
uint32_t EnvironmentValue(const char* name, char* buffer, uint32_t capacity);
// Asks the memory allocator to keep freed memory for later allocations
// instead of handing it back to the system at once. A run rebuilds packages
// one after another with buffers of similar sizes; memory fresh from the
// system costs a page fault per page on first touch, a large share of a
// run's time. Called once at program start; does nothing where the
// allocator offers no such setting (Windows).
void KeepFreedMemory();
// GetSystemInfo's dwNumberOfProcessors: how many processors this process
// may run on, at least 1.
unsigned ProcessorCount();

struct SystemTime {
  uint16_t year, month, dayOfWeek, day, hour, minute, second, milliseconds;
};
// GetSystemTime: the current UTC time.
void GetSystemTimeUtc(SystemTime* time);

// ---------------------------------------------------------------------------
// Text conversion, as WideCharToMultiByte / MultiByteToWideChar with code
// page 65001 (UTF-8) and flags 0: invalid input (a lone surrogate, a broken
// UTF-8 sequence) becomes U+FFFD. With capacity 0 the result is the size the
// output needs; otherwise the number of units written, or 0 when the output
// does not fit (nothing useful is left in dst then) or the input is empty.

int Utf16ToUtf8(const uint16_t* src, int units, char* dst, int capacity);
int Utf8ToUtf16(const char* src, int bytes, uint16_t* dst, int capacity);

// ---------------------------------------------------------------------------
// Console

// Sets up the console once at program start (the C locale from the
// environment on POSIX; a locale that is named but not installed still
// counts as UTF-8 when its name says so).
void ConsoleInit();
// printf to standard output. The format is GBK bytes, the code page of the
// program's messages; its text arguments (paths, command-line arguments) are
// in the system's own code page, as they came in. A Windows console shows
// both as they are; on POSIX, when the locale's character set is UTF-8, the
// format is converted to UTF-8 so a Linux terminal shows it (the arguments,
// UTF-8 already, are left alone), otherwise everything is written unchanged.
void ConsolePrintf(const char* format, ...)
#if defined(__MINGW32__)
    // The Windows backend formats with MinGW's C99 printf (%zu, %lld), not
    // the older one of the system's C runtime.
    __attribute__((format(gnu_printf, 1, 2)))
#elif defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
void ConsoleVPrintf(const char* format, va_list args);
// Writes message, GBK text that is not a format (a composed message, a
// message without arguments), through the same conversion as a format.
void ConsoleWrite(const char* message);
// Forces the conversion on or off regardless of the locale (for tests).
void ConsoleSetUtf8(bool utf8);

}  // namespace platform
