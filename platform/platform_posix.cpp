// POSIX backend of the platform layer: each function reproduces the Windows
// call named in platform.h with POSIX calls.
#include <errno.h>
#include <fcntl.h>
#include <langinfo.h>
#include <limits.h>
#include <locale.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <sched.h>
#include <stdlib.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "platform/fault_injection.h"
#include "platform/platform.h"

namespace platform {

namespace {

// Windows paths use backslashes; here they are directory separators.
std::string NativePath(const char* path) {
  std::string native(path);
  for (char& c : native)
    if (c == '\\') c = '/';
  return native;
}

int Fd(File file) { return static_cast<int>(file); }

// write() until all of size bytes are written, over short writes and
// interruptions. False on an error or a write that moves nothing.
bool WriteFully(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Copies length bytes of from, from offset on, to out at its position:
// inside the kernel where it can (copy_file_range), else through a buffer.
// False on an error or when from ends before the range does.
bool CopyRange(int from, uint64_t offset, int out, uint64_t length) {
  off_t at = static_cast<off_t>(offset);
  bool inKernel = true;
  while (length > 0) {
    ssize_t n;
    if (inKernel) {
      n = ::copy_file_range(from, &at, out, nullptr, static_cast<size_t>(std::min<uint64_t>(length, 1u << 30)), 0);
      // Not possible between these files: through a buffer from here on.
      if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
        inKernel = false;
        continue;
      }
    } else {
      static thread_local uint8_t buffer[1 << 20];
      n = ::pread(from, buffer, static_cast<size_t>(std::min<uint64_t>(length, sizeof buffer)), at);
      if (n > 0) {
        if (!WriteFully(out, buffer, static_cast<size_t>(n))) return false;
        at += n;
      }
    }
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    length -= static_cast<uint64_t>(n);
  }
  return true;
}

File OpenFlags(const char* path, int flags) {
  if (path == nullptr) return kNoFile;
  int fd = ::open(NativePath(path).c_str(), flags | O_CLOEXEC, 0644);
  return fd < 0 ? kNoFile : File(fd);
}

constexpr char kDosAttributeName[] = "user.DOSATTRIB";

}  // namespace

File OpenRead(const char* path) {
  if (faults::Hit(faults::kOpenRead)) return kNoFile;
  // Without O_NONBLOCK, opening a FIFO waits for a writer, for ever if none
  // comes. Non-blocking, the open returns at once, and only a regular file
  // is kept (Windows cannot open a folder as a file either).
  File file = OpenFlags(path, O_RDONLY | O_NONBLOCK);
  struct stat st;
  if (file != kNoFile && (::fstat(Fd(file), &st) != 0 || !S_ISREG(st.st_mode))) {
    ::close(Fd(file));
    return kNoFile;
  }
  return file;
}

bool IsRegularFile(const char* path) {
  struct stat st;
  return path != nullptr && ::stat(NativePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

File CreateReadWrite(const char* path) {
  if (faults::Hit(faults::kCreate)) return kNoFile;
  return OpenFlags(path, O_RDWR | O_CREAT | O_TRUNC);
}

File CreateNew(const char* path) {
  if (faults::Hit(faults::kCreate)) return kNoFile;
  return OpenFlags(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW);
}

File OpenWrite(const char* path, Disposition disposition) {
  if (faults::Hit(faults::kCreate)) return kNoFile;
  int flags = O_WRONLY;
  switch (disposition) {
    case kCreateNew: flags |= O_CREAT | O_EXCL; break;
    case kCreateAlways: flags |= O_CREAT | O_TRUNC; break;
    case kOpenExisting: break;
    case kOpenAlways: flags |= O_CREAT; break;
    case kTruncateExisting: flags |= O_TRUNC; break;
    default: return kNoFile;
  }
  return OpenFlags(path, flags);
}

void Close(File file) {
  if (file != kNoFile) ::close(Fd(file));
}

uint32_t FileSize(File file) {
  if (faults::Hit(faults::kSize)) return kSizeError;
  struct stat st;
  if (file == kNoFile || ::fstat(Fd(file), &st) != 0) return kSizeError;
  return static_cast<uint32_t>(static_cast<uint64_t>(st.st_size));
}

bool SeekBegin(File file, uint64_t offset) {
  if (faults::Hit(faults::kSeek)) return false;
  return file != kNoFile && ::lseek(Fd(file), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

bool SeekEnd(File file) {
  if (faults::Hit(faults::kSeek)) return false;
  return file != kNoFile && ::lseek(Fd(file), 0, SEEK_END) >= 0;
}

namespace {

// Reads up to count bytes into dst, one call of readSome(out, wanted,
// done) after another, until all are in or the file ends (a short read, as
// on Windows). Result: bytes read, or -1 on failure.
template <typename ReadSome>
int64_t ReadUntilEnd(File file, void* dst, uint32_t count, ReadSome readSome) {
  bool shortRead = false;
  if (faults::TransferFails(faults::kRead, &count, &shortRead)) return -1;
  if (file == kNoFile) return -1;
  auto* out = static_cast<uint8_t*>(dst);
  uint64_t done = 0;
  while (done < count) {
    ssize_t n = readSome(out + done, size_t(count - done), done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<uint64_t>(n);
  }
  return static_cast<int64_t>(done);
}

}  // namespace

int64_t Read(File file, void* dst, uint32_t count) {
  return ReadUntilEnd(file, dst, count,
                      [file](uint8_t* out, size_t wanted, uint64_t) { return ::read(Fd(file), out, wanted); });
}

int64_t ReadAt(File file, uint64_t offset, void* dst, uint32_t count) {
  return ReadUntilEnd(file, dst, count, [file, offset](uint8_t* out, size_t wanted, uint64_t done) {
    return ::pread(Fd(file), out, wanted, static_cast<off_t>(offset + done));
  });
}

int64_t Write(File file, const void* src, uint32_t count) {
  bool shortWrite = false;
  if (faults::TransferFails(faults::kWrite, &count, &shortWrite)) return -1;
  if (file == kNoFile) return -1;
  // A disk that is full fails the whole call.
  if (!WriteFully(Fd(file), static_cast<const uint8_t*>(src), count)) return -1;
  return static_cast<int64_t>(count);
}

bool AppendFileRange(File from, uint64_t offset, File to, uint64_t length) {
  bool shortWrite = false;
  if (faults::TransferFails(faults::kWrite, &length, &shortWrite)) return false;
  if (from == kNoFile || to == kNoFile) return false;
  return CopyRange(Fd(from), offset, Fd(to), length) && !shortWrite;
}

bool DeletePath(const char* path) {
  if (faults::Hit(faults::kDelete)) return false;
  return path != nullptr && ::unlink(NativePath(path).c_str()) == 0;
}

bool MoveNoReplace(const char* from, const char* to) {
  if (faults::Hit(faults::kMove)) return false;
  if (from == nullptr || to == nullptr) return false;
  std::string source = NativePath(from), target = NativePath(to);
  // rename() would replace an existing target; a backup must never be
  // replaced, so ask the kernel not to.
  if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
    return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // Filesystems without RENAME_NOREPLACE: link() fails when the target
  // exists, which gives the same guarantee.
  if (::link(source.c_str(), target.c_str()) != 0) return false;
  ::unlink(source.c_str());
  return true;
}

namespace {

// Copies from over to (CopyReplace), with from's DOS attributes when
// withMarks is set.
bool CopyOver(const char* from, const char* to, bool withMarks) {
  if (faults::Hit(faults::kCopy)) return false;
  if (from == nullptr || to == nullptr) return false;
  File in = OpenRead(from);
  if (in == kNoFile) return false;
  // Copied into a new file that then takes the target's place, so the
  // target is either the old file or the whole copy, never a part.
  TemporaryFile copy;
  struct stat st;
  bool ok = CreateTemporaryBeside(to, &copy) && ::fstat(Fd(in), &st) == 0 &&
            CopyRange(Fd(in), 0, Fd(copy.file), uint64_t(st.st_size));
  Close(in);
  if (ok) {
    // The copy carries the source's DOS attributes, as CopyFileA does; a
    // new file has none.
    char value[64];
    ssize_t len = withMarks ? ::getxattr(NativePath(from).c_str(), kDosAttributeName, value, sizeof value) : 0;
    if (len > 0) ::fsetxattr(Fd(copy.file), kDosAttributeName, value, static_cast<size_t>(len), 0);
    ok = CommitTemporary(&copy);
  }
  DiscardTemporary(&copy);
  return ok;
}

}  // namespace

bool CopyReplace(const char* from, const char* to) { return CopyOver(from, to, true); }

bool CopyReplaceUnmarked(const char* from, const char* to) { return CopyOver(from, to, false); }

namespace {

// The folder part of a native path ("." for a bare name).
std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// 64 unpredictable bits, different at every call: a counter mixed with a
// seed drawn from the kernel once per process (a run makes a file for
// every listed file; one system call each is not needed for names).
bool RandomBits(uint64_t* bits) {
  static std::atomic<uint64_t> counter{0};
  static const struct Seed {
    uint64_t value = 0;
    bool drawn = ::getrandom(&value, sizeof value, 0) == ssize_t(sizeof value);
  } seed;
  if (!seed.drawn) return false;
  // splitmix64: every counter value gives another output.
  uint64_t z = seed.value + 0x9E3779B97F4A7C15ull * ++counter;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  *bits = z ^ (z >> 31);
  return true;
}

// target + ".~hanhua-" + 16 random hex digits.
bool RandomSibling(const std::string& target, std::string* name) {
  uint64_t random = 0;
  if (!RandomBits(&random)) return false;
  char suffix[32];
  snprintf(suffix, sizeof suffix, ".~hanhua-%016llx", static_cast<unsigned long long>(random));
  *name = target + suffix;
  return true;
}

// Links the open file fd at name: straight from the descriptor where the
// process may (AT_EMPTY_PATH needs a privilege most users lack), else
// through its /proc entry.
bool LinkDescriptor(int fd, const std::string& name) {
  static std::atomic<bool> fromDescriptor{true};
  if (fromDescriptor.load(std::memory_order_relaxed)) {
    if (::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) return true;
    if (errno != ENOENT && errno != EPERM && errno != EINVAL && errno != EACCES) return false;
    fromDescriptor.store(false, std::memory_order_relaxed);
  }
  char self[64];
  snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  return ::linkat(AT_FDCWD, self, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

// Gives an unnamed (O_TMPFILE) file a fresh random name beside target.
bool NameUnnamedFile(int fd, const std::string& target, std::string* name) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    if (!RandomSibling(target, name)) return false;
    if (LinkDescriptor(fd, *name)) return true;
    if (errno != EEXIST) break;
  }
  name->clear();
  return false;
}

}  // namespace

bool CreateTemporaryBeside(const char* target, TemporaryFile* temporary) {
  if (faults::Hit(faults::kCreate)) return false;
  if (target == nullptr || temporary == nullptr) return false;
  *temporary = TemporaryFile{};
  temporary->target = NativePath(target);
  // Unnamed first, where the file system and /proc (to name it later) allow.
  static const bool canNameUnnamed = ::access("/proc/self/fd", X_OK) == 0;
  if (canNameUnnamed) {
    int fd = ::open(FolderOf(temporary->target).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0644);
    if (fd >= 0) {
      temporary->file = File(fd);
      return true;
    }
  }
  // A handful of tries: a clash of 64 random bits means someone planted
  // the name, and the next draw gets past it.
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::string name;
    if (!RandomSibling(temporary->target, &name)) return false;
    int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0) {
      temporary->file = File(fd);
      temporary->path = name;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

bool CommitTemporary(TemporaryFile* temporary) {
  if (temporary == nullptr || temporary->file == kNoFile) return false;
  bool ok = !faults::Hit(faults::kMove);
  if (ok && temporary->path.empty())
    ok = NameUnnamedFile(Fd(temporary->file), temporary->target, &temporary->path);
  if (::close(Fd(temporary->file)) != 0) ok = false;
  temporary->file = kNoFile;
  if (ok) ok = ::rename(temporary->path.c_str(), temporary->target.c_str()) == 0;
  if (ok) temporary->path.clear();
  DiscardTemporary(temporary);
  return ok;
}

void DiscardTemporary(TemporaryFile* temporary) {
  if (temporary == nullptr) return;
  Close(temporary->file);
  temporary->file = kNoFile;
  if (!temporary->path.empty()) ::unlink(temporary->path.c_str());
  temporary->path.clear();
}

bool Flush(File file) { return file != kNoFile && ::fsync(Fd(file)) == 0; }

bool SetAttributes(const char* path, uint32_t attributes) {
  if (faults::Hit(faults::kSetAttributes)) return false;
  if (path == nullptr) return false;
  std::string native = NativePath(path);
  // The l- calls act on the entry itself; a link is not marked (Linux keeps
  // no user attributes on links), and what it points to is never touched.
  struct stat st;
  if (::lstat(native.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return false;
  uint32_t dos = attributes & ~uint32_t(kAttrNormal);
  if (dos == 0) {
    if (::lremovexattr(native.c_str(), kDosAttributeName) == 0) return true;
    return errno == ENODATA;
  }
  char value[16];
  int len = snprintf(value, sizeof value, "0x%x", dos);
  return ::lsetxattr(native.c_str(), kDosAttributeName, value, static_cast<size_t>(len), 0) == 0;
}

uint32_t GetAttributes(const char* path) {
  if (path == nullptr) return kAttrInvalid;
  std::string native = NativePath(path);
  struct stat st;
  if (::stat(native.c_str(), &st) != 0) return kAttrInvalid;
  char value[64] = {};
  ssize_t len = ::getxattr(native.c_str(), kDosAttributeName, value, sizeof value - 1);
  if (len <= 0) return kAttrNormal;
  uint32_t dos = static_cast<uint32_t>(strtoul(value, nullptr, 0));
  return dos == 0 ? kAttrNormal : dos;
}

bool GetFileIdentity(const char* path, FileIdentity* identity) {
  if (path == nullptr || identity == nullptr) return false;
  struct stat st;
  if (::stat(NativePath(path).c_str(), &st) != 0) return false;
  auto nanoseconds = [](const struct timespec& t) {
    return uint64_t(t.tv_sec) * 1000000000u + uint64_t(t.tv_nsec);
  };
  identity->size = uint64_t(st.st_size);
  identity->modified = nanoseconds(st.st_mtim);
  identity->changed = nanoseconds(st.st_ctim);
  identity->fileId = uint64_t(st.st_ino);
  identity->volume = uint64_t(st.st_dev);
  identity->links = static_cast<uint32_t>(st.st_nlink);
  return true;
}

uint64_t FileTimeNow() {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return uint64_t(now.tv_sec) * 1000000000u + uint64_t(now.tv_nsec);
}

const uint64_t kFileTimeUnitsPerSecond = 1000000000u;

bool MapReadOnly(File file, uint32_t size, MappedView* view) {
  if (faults::Hit(faults::kMap)) return false;
  if (view == nullptr || file == kNoFile || size == 0) return false;
  void* data = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, Fd(file), 0);
  if (data == MAP_FAILED) return false;
  view->data = static_cast<const uint8_t*>(data);
  view->size = size;
  view->handle = 0;
  return true;
}

void Unmap(MappedView* view) {
  if (view == nullptr || view->data == nullptr) return;
  ::munmap(const_cast<uint8_t*>(view->data), view->size);
  *view = MappedView{};
}

FolderLock LockFolder(const char* folder) {
  if (folder == nullptr) return kNoLock;
  int fd = ::open(NativePath(folder).c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return kNoLock;
  // flock belongs to the open folder: another run's lock on the same folder,
  // by whatever path it was reached, makes this one wait.
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      ::close(fd);
      return kNoLock;
    }
  }
  return FolderLock(fd);
}

void UnlockFolder(FolderLock lock) {
  if (lock != kNoLock) ::close(static_cast<int>(lock));  // closing releases the lock
}

uint32_t CurrentDirectory(char* buffer, uint32_t capacity) {
  if (buffer == nullptr || capacity == 0 || ::getcwd(buffer, capacity) == nullptr) return 0;
  return static_cast<uint32_t>(strlen(buffer));
}

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

void GetSystemTimeUtc(SystemTime* time) {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  struct tm utc;
  gmtime_r(&now.tv_sec, &utc);
  time->year = static_cast<uint16_t>(utc.tm_year + 1900);
  time->month = static_cast<uint16_t>(utc.tm_mon + 1);
  time->dayOfWeek = static_cast<uint16_t>(utc.tm_wday);
  time->day = static_cast<uint16_t>(utc.tm_mday);
  time->hour = static_cast<uint16_t>(utc.tm_hour);
  time->minute = static_cast<uint16_t>(utc.tm_min);
  time->second = static_cast<uint16_t>(utc.tm_sec);
  time->milliseconds = static_cast<uint16_t>(now.tv_nsec / 1000000);
}

uint32_t EnvironmentValue(const char* name, char* buffer, uint32_t capacity) {
  if (buffer == nullptr || capacity == 0) return 0;
  buffer[0] = '\0';
  const char* value = name != nullptr ? ::getenv(name) : nullptr;
  if (value == nullptr) return 0;
  size_t length = ::strlen(value);
  if (length >= capacity) return 0;
  ::memcpy(buffer, value, length + 1);
  return static_cast<uint32_t>(length);
}

void KeepFreedMemory() {
#ifdef __GLIBC__
  // Large blocks come from the heap rather than from a mapping of their
  // own (which is returned to the system when freed), and the heap's top is
  // not trimmed back, so the next package reuses the pages already touched.
  ::mallopt(M_MMAP_MAX, 0);
  ::mallopt(M_TRIM_THRESHOLD, INT_MAX);
#endif
}

unsigned ProcessorCount() {
  // The processors of this process's affinity mask, as Windows reports.
  cpu_set_t set;
  if (::sched_getaffinity(0, sizeof set, &set) == 0) {
    int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<unsigned>(count);
  }
  long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<unsigned>(online) : 1u;
}

}  // namespace platform
