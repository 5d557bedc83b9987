// hanhua-copy-reference: the copies that chs2eng makes, made by one plain
// program, as the reference chs2eng is measured against. For every listed
// file that has a backup "X.bak" beside it, in list order, the backup is
// copied over X the safe way: a new file beside X (created exclusively),
// the bytes copied inside the kernel (copy_file_range, one call per GiB),
// then a rename over X. Nothing else: no attributes, no console output.
//
// Usage: hanhua-copy-reference PACKAGEDIR MOVIEDIR
// Prints "files N bytes B"; exits 1 when a copy fails.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>

#include "driver/target_files.h"

namespace {

// Copies length bytes of from to out inside the kernel.
bool CopyInKernel(int from, int out, uint64_t length) {
  while (length > 0) {
    ssize_t n = ::copy_file_range(from, nullptr, out, nullptr,
                                  size_t(std::min<uint64_t>(length, uint64_t(1) << 30)), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    length -= uint64_t(n);
  }
  return true;
}

// Replaces target with a copy of backup. Returns 1 when copied (*bytes
// its size), 0 when there is no backup, -1 when the copy fails.
int CopyOver(const std::string& backup, const std::string& target, uint64_t* bytes) {
  int from = ::open(backup.c_str(), O_RDONLY | O_CLOEXEC);
  if (from < 0) return errno == ENOENT ? 0 : -1;
  struct stat st;
  const std::string temporary = target + ".~reference";
  int out = -1;
  bool ok = ::fstat(from, &st) == 0 &&
            (out = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644)) >= 0 &&
            CopyInKernel(from, out, uint64_t(st.st_size));
  ::close(from);
  if (out >= 0 && ::close(out) != 0) ok = false;
  if (ok) ok = ::rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok && out >= 0) ::unlink(temporary.c_str());
  if (!ok) return -1;
  *bytes += uint64_t(st.st_size);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: hanhua-copy-reference PACKAGEDIR MOVIEDIR\n");
    return 2;
  }
  int files = 0;
  uint64_t bytes = 0;
  // The movies first, then the packages, as chs2eng takes them.
  for (int n = 0; n < driver::kTargetFileCount; ++n) {
    const int i = (n + driver::kPackageCount) % driver::kTargetFileCount;
    if (driver::kTargetFiles[i][0] == '\0') continue;
    const char* dir = argv[i < driver::kPackageCount ? 1 : 2];
    const std::string target = std::string(dir) + "/" + driver::kTargetFiles[i];
    const int copied = CopyOver(target + ".bak", target, &bytes);
    if (copied < 0) {
      std::fprintf(stderr, "hanhua-copy-reference: cannot copy %s.bak over it\n", target.c_str());
      return 1;
    }
    files += copied;
  }
  std::printf("files %d bytes %llu\n", files, static_cast<unsigned long long>(bytes));
  return 0;
}
