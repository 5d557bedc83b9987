// The path texts of platform/setup_support.h that read the same on every
// system: only the separators differ, and platform::IsPathSeparator knows
// them.
#include <string>

#include "platform/platform.h"
#include "platform/setup_support.h"

namespace platform {

namespace {

bool IsSeparator(char c) { return c == '/' || IsPathSeparator(c); }

// The length of path's root: "/" on POSIX, "C:\" or "\\" on Windows; 0 for
// a relative path.
size_t RootLength(const std::string& path) {
  if (path.size() >= 3 && path[1] == ':' && IsSeparator(path[2])) return 3;
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) return 2;
  return !path.empty() && IsSeparator(path[0]) ? 1 : 0;
}

size_t WithoutTrailingSeparators(const std::string& path, size_t end) {
  const size_t root = RootLength(path);
  while (end > root && IsSeparator(path[end - 1])) --end;
  return end;
}

}  // namespace

std::string ParentFolder(const std::string& path) {
  const size_t root = RootLength(path);
  size_t end = WithoutTrailingSeparators(path, path.size());
  if (end <= root) return "";
  while (end > root && !IsSeparator(path[end - 1])) --end;
  if (end == 0) return "";
  return path.substr(0, WithoutTrailingSeparators(path, end));
}

std::string LastComponent(const std::string& path) {
  size_t end = WithoutTrailingSeparators(path, path.size());
  size_t start = end;
  while (start > 0 && !IsSeparator(path[start - 1])) --start;
  return path.substr(start, end - start);
}

}  // namespace platform
