// Windows backend of the platform layer: each function is the Windows call
// named in platform.h, through its 8-bit ("A") entry point, so paths are in
// the system code page exactly as the caller built them.
#include <windows.h>
#include <bcrypt.h>

#include <cstdio>

#include <cstdint>

#include "platform/fault_injection.h"
#include "platform/platform.h"

namespace platform {

namespace {

// A File holds a HANDLE; kNoFile (-1) is INVALID_HANDLE_VALUE.
HANDLE Handle(File file) { return reinterpret_cast<HANDLE>(file); }
File FromHandle(HANDLE handle) { return reinterpret_cast<File>(handle); }

File Create(const char* path, DWORD access, DWORD share, DWORD disposition) {
  if (path == nullptr) return kNoFile;
  return FromHandle(
      CreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool ValidDisposition(Disposition disposition) {
  return disposition >= kCreateNew && disposition <= kTruncateExisting;
}

}  // namespace

File OpenRead(const char* path) {
  if (faults::Hit(faults::kOpenRead)) return kNoFile;
  File file = Create(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  // Only a file on a disk: a device name or a pipe is never read.
  if (file != kNoFile && GetFileType(Handle(file)) != FILE_TYPE_DISK) {
    CloseHandle(Handle(file));
    return kNoFile;
  }
  return file;
}

bool IsRegularFile(const char* path) {
  if (path == nullptr) return false;
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  // Attributes only, sharing everything, so looking disturbs no one; then
  // the same question as OpenRead asks.
  HANDLE handle = CreateFileA(path, FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool disk = GetFileType(handle) == FILE_TYPE_DISK;
  CloseHandle(handle);
  return disk;
}

File CreateNew(const char* path) {
  if (faults::Hit(faults::kCreate)) return kNoFile;
  // CREATE_NEW fails on any existing name, a link included.
  return Create(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
}

File CreateReadWrite(const char* path) {
  if (faults::Hit(faults::kCreate)) return kNoFile;
  return Create(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                CREATE_ALWAYS);
}

File OpenWrite(const char* path, Disposition disposition) {
  if (faults::Hit(faults::kCreate)) return kNoFile;
  if (!ValidDisposition(disposition)) return kNoFile;
  // The Disposition values are those of CREATE_NEW ... TRUNCATE_EXISTING.
  return Create(path, GENERIC_WRITE, FILE_SHARE_WRITE, static_cast<DWORD>(disposition));
}

void Close(File file) {
  if (file != kNoFile) CloseHandle(Handle(file));
}

uint32_t FileSize(File file) {
  if (faults::Hit(faults::kSize)) return kSizeError;
  if (file == kNoFile) return kSizeError;
  return GetFileSize(Handle(file), nullptr);  // INVALID_FILE_SIZE is kSizeError
}

bool SeekBegin(File file, uint64_t offset) {
  if (faults::Hit(faults::kSeek)) return false;
  if (file == kNoFile || offset > uint64_t(INT64_MAX)) return false;
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(Handle(file), distance, nullptr, FILE_BEGIN) != 0;
}

bool SeekEnd(File file) {
  if (faults::Hit(faults::kSeek)) return false;
  if (file == kNoFile) return false;
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  return SetFilePointerEx(Handle(file), zero, nullptr, FILE_END) != 0;
}

namespace {

// One ReadFile or WriteFile (call) of count bytes, once the fault switch has
// let it through (perhaps shortened): the bytes moved, or -1.
template <typename Call>
int64_t Transfer(faults::Operation op, File file, uint32_t count, Call call) {
  bool shortened = false;
  if (faults::TransferFails(op, &count, &shortened)) return -1;
  if (file == kNoFile) return -1;
  DWORD done = 0;
  if (!call(Handle(file), count, &done)) return -1;
  return done;
}

}  // namespace

int64_t Read(File file, void* dst, uint32_t count) {
  return Transfer(faults::kRead, file, count,
                  [dst](HANDLE h, DWORD n, DWORD* done) { return ReadFile(h, dst, n, done, nullptr) != 0; });
}

int64_t ReadAt(File file, uint64_t offset, void* dst, uint32_t count) {
  return Transfer(faults::kRead, file, count, [dst, offset](HANDLE h, DWORD n, DWORD* done) {
    // A read at an offset: the OVERLAPPED structure carries it.
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    if (ReadFile(h, dst, n, done, &at) != 0) return true;
    if (GetLastError() != ERROR_HANDLE_EOF) return false;
    *done = 0;  // at or past the end of the file: nothing read, as with Read
    return true;
  });
}

int64_t Write(File file, const void* src, uint32_t count) {
  return Transfer(faults::kWrite, file, count,
                  [src](HANDLE h, DWORD n, DWORD* done) { return WriteFile(h, src, n, done, nullptr) != 0; });
}

bool AppendFileRange(File from, uint64_t offset, File to, uint64_t length) {
  bool shortWrite = false;
  if (faults::TransferFails(faults::kWrite, &length, &shortWrite)) return false;
  if (from == kNoFile || to == kNoFile) return false;
  static thread_local uint8_t buffer[1 << 20];
  while (length > 0) {
    // A read at an offset: the OVERLAPPED structure carries it.
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD want = static_cast<DWORD>(length < sizeof buffer ? length : sizeof buffer);
    DWORD got = 0, written = 0;
    if (!ReadFile(Handle(from), buffer, want, &got, &at) || got == 0) return false;
    if (!WriteFile(Handle(to), buffer, got, &written, nullptr) || written != got) return false;
    offset += got;
    length -= got;
  }
  return !shortWrite;
}

bool DeletePath(const char* path) {
  if (faults::Hit(faults::kDelete)) return false;
  return path != nullptr && DeleteFileA(path) != 0;
}

bool MoveNoReplace(const char* from, const char* to) {
  if (faults::Hit(faults::kMove)) return false;
  // MoveFileA never replaces an existing target.
  return from != nullptr && to != nullptr && MoveFileA(from, to) != 0;
}

namespace {

// Copies from over to (CopyReplace), with from's hidden, system and
// read-only marks when withMarks is set.
bool CopyOver(const char* from, const char* to, bool withMarks) {
  if (faults::Hit(faults::kCopy)) return false;
  if (from == nullptr || to == nullptr) return false;
  File in = OpenRead(from);
  if (in == kNoFile) return false;
  // Copied into a new file that then takes the target's place, so the
  // target is either the old file or the whole copy, never a part.
  TemporaryFile copy;
  bool ok = CreateTemporaryBeside(to, &copy);
  static thread_local uint8_t buffer[1 << 20];
  while (ok) {
    DWORD got = 0, written = 0;
    ok = ReadFile(Handle(in), buffer, sizeof buffer, &got, nullptr) != 0;
    if (!ok || got == 0) break;
    ok = WriteFile(Handle(copy.file), buffer, got, &written, nullptr) != 0 && written == got;
  }
  Close(in);
  ok = ok && CommitTemporary(&copy);
  DiscardTemporary(&copy);
  if (!ok || !withMarks) return ok;
  // The copy carries the hidden, system and read-only marks of from, as
  // CopyFileA gives them.
  DWORD source = GetFileAttributesA(from);
  constexpr DWORD kDos = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  if (source != INVALID_FILE_ATTRIBUTES && (source & kDos) != 0) SetFileAttributesA(to, source & kDos);
  return true;
}

}  // namespace

bool CopyReplace(const char* from, const char* to) { return CopyOver(from, to, true); }

bool CopyReplaceUnmarked(const char* from, const char* to) {
  // The copy carries no hidden, system or read-only mark. A new file also
  // holds the archive bit, which SetAttributes(kAttrNormal) clears; a copy
  // whose archive bit stays is still whole, so that call decides nothing.
  if (!CopyOver(from, to, false)) return false;
  SetAttributes(to, kAttrNormal);
  return true;
}

bool CreateTemporaryBeside(const char* target, TemporaryFile* temporary) {
  if (faults::Hit(faults::kCreate)) return false;
  if (target == nullptr || temporary == nullptr) return false;
  *temporary = TemporaryFile{};
  temporary->target = target;
  // A handful of tries: a clash of 64 random bits means someone planted
  // the name, and the next draw gets past it.
  for (int attempt = 0; attempt < 8; ++attempt) {
    unsigned long long random = 0;
    if (BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&random), sizeof random,
                        BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0)
      return false;
    char suffix[32];
    snprintf(suffix, sizeof suffix, ".~hanhua-%016llx", random);
    std::string name = temporary->target + suffix;
    // CREATE_NEW fails on any existing name, a link included, and never
    // opens what is there.
    HANDLE handle = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      temporary->file = FromHandle(handle);
      temporary->path = name;
      return true;
    }
    DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

bool CommitTemporary(TemporaryFile* temporary) {
  if (temporary == nullptr || temporary->file == kNoFile) return false;
  bool ok = !faults::Hit(faults::kMove);
  if (!CloseHandle(Handle(temporary->file))) ok = false;
  temporary->file = kNoFile;
  if (ok)
    ok = MoveFileExA(temporary->path.c_str(), temporary->target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (ok) temporary->path.clear();
  DiscardTemporary(temporary);
  return ok;
}

void DiscardTemporary(TemporaryFile* temporary) {
  if (temporary == nullptr) return;
  Close(temporary->file);
  temporary->file = kNoFile;
  if (!temporary->path.empty()) DeleteFileA(temporary->path.c_str());
  temporary->path.clear();
}

bool Flush(File file) { return file != kNoFile && FlushFileBuffers(Handle(file)) != 0; }

bool SetAttributes(const char* path, uint32_t attributes) {
  if (faults::Hit(faults::kSetAttributes)) return false;
  return path != nullptr && SetFileAttributesA(path, attributes) != 0;
}

uint32_t GetAttributes(const char* path) {
  if (path == nullptr) return kAttrInvalid;
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return kAttrInvalid;
  // Windows sets the archive bit on every file it writes; it tells backup
  // programs what changed and means nothing here. Without it the value is
  // the same one the other platforms report for the same file.
  attributes &= ~DWORD(FILE_ATTRIBUTE_ARCHIVE);
  return attributes == 0 ? uint32_t(kAttrNormal) : attributes;
}

bool GetFileIdentity(const char* path, FileIdentity* identity) {
  if (path == nullptr || identity == nullptr) return false;
  // Attributes only, sharing everything: looking must not disturb a file
  // that another handle has open. Backup semantics lets a directory answer
  // too, as stat() does on POSIX.
  HANDLE handle = CreateFileA(path, FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  bool ok = GetFileInformationByHandle(handle, &info) != 0;
  CloseHandle(handle);
  if (!ok) return false;
  auto join = [](DWORD high, DWORD low) { return uint64_t(high) << 32 | low; };
  identity->size = join(info.nFileSizeHigh, info.nFileSizeLow);
  identity->modified = join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime);
  identity->changed = 0;  // Windows keeps no status-change time here
  identity->fileId = join(info.nFileIndexHigh, info.nFileIndexLow);
  identity->volume = info.dwVolumeSerialNumber;
  identity->links = info.nNumberOfLinks;
  return true;
}

uint64_t FileTimeNow() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return uint64_t(now.dwHighDateTime) << 32 | now.dwLowDateTime;
}

const uint64_t kFileTimeUnitsPerSecond = 10000000u;  // FILETIME counts 100 ns

bool MapReadOnly(File file, uint32_t size, MappedView* view) {
  if (faults::Hit(faults::kMap)) return false;
  // Size 0 would ask Windows for the whole file; an empty file cannot be
  // mapped at all, so refuse it here in every case.
  if (view == nullptr || file == kNoFile || size == 0) return false;
  HANDLE mapping = CreateFileMappingA(Handle(file), nullptr, PAGE_READONLY, 0, size, nullptr);
  if (mapping == nullptr) return false;
  const void* data = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, size);
  if (data == nullptr) {
    CloseHandle(mapping);
    return false;
  }
  view->data = static_cast<const uint8_t*>(data);
  view->size = size;
  view->handle = reinterpret_cast<intptr_t>(mapping);
  return true;
}

void Unmap(MappedView* view) {
  if (view == nullptr) return;
  if (view->data != nullptr) UnmapViewOfFile(view->data);
  if (view->handle != 0) CloseHandle(reinterpret_cast<HANDLE>(view->handle));
  *view = MappedView{};
}

FolderLock LockFolder(const char* folder) {
  if (folder == nullptr) return kNoLock;
  DWORD attributes = GetFileAttributesA(folder);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return kNoLock;
  // Windows has no lock on a folder that leaves nothing behind; a named
  // mutex does, and the system abandons it (the next waiter gets it) when
  // its holder dies. Its name comes from the folder's full path, upper-cased
  // as Windows compares names, hashed (FNV-1a) to fit a name's length.
  char full[MAX_PATH];
  DWORD length = GetFullPathNameA(folder, sizeof full, full, nullptr);
  if (length == 0 || length >= sizeof full) return kNoLock;
  while (length > 3 && (full[length - 1] == '\\' || full[length - 1] == '/')) --length;
  uint64_t hash = 14695981039346656037ull;
  for (DWORD i = 0; i < length; ++i) {
    char c = full[i] == '/' ? '\\' : full[i];
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    hash = (hash ^ uint8_t(c)) * 1099511628211ull;
  }
  HANDLE mutex = nullptr;
  for (const char* scope : {"Global", "Local"}) {
    char name[64];
    snprintf(name, sizeof name, "%s\\hanhua-game-%016llx", scope, static_cast<unsigned long long>(hash));
    mutex = CreateMutexA(nullptr, FALSE, name);
    if (mutex != nullptr) break;
  }
  if (mutex == nullptr) return kNoLock;
  DWORD waited = WaitForSingleObject(mutex, INFINITE);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    CloseHandle(mutex);
    return kNoLock;
  }
  return reinterpret_cast<FolderLock>(mutex);
}

void UnlockFolder(FolderLock lock) {
  if (lock == kNoLock) return;
  HANDLE mutex = reinterpret_cast<HANDLE>(lock);
  ReleaseMutex(mutex);
  CloseHandle(mutex);
}

uint32_t CurrentDirectory(char* buffer, uint32_t capacity) {
  if (buffer == nullptr || capacity == 0) return 0;
  // The result is the length without the terminator when it fits, and the
  // size needed with the terminator when it does not.
  DWORD length = GetCurrentDirectoryA(capacity, buffer);
  return length < capacity ? length : 0;
}

bool IsPathSeparator(char c) { return c == '\\'; }

void GetSystemTimeUtc(SystemTime* time) {
  SYSTEMTIME now;
  GetSystemTime(&now);
  time->year = now.wYear;
  time->month = now.wMonth;
  time->dayOfWeek = now.wDayOfWeek;
  time->day = now.wDay;
  time->hour = now.wHour;
  time->minute = now.wMinute;
  time->second = now.wSecond;
  time->milliseconds = now.wMilliseconds;
}

uint32_t EnvironmentValue(const char* name, char* buffer, uint32_t capacity) {
  if (buffer == nullptr || capacity == 0) return 0;
  buffer[0] = '\0';
  if (name == nullptr) return 0;
  // The result is the length without the terminator when the value fits,
  // the size needed with the terminator when it does not, 0 when unset.
  DWORD length = GetEnvironmentVariableA(name, buffer, capacity);
  if (length >= capacity) {
    buffer[0] = '\0';
    return 0;
  }
  return length;
}

void KeepFreedMemory() {}

unsigned ProcessorCount() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1u;
}

}  // namespace platform
