// POSIX backend of the installer's system calls (platform/setup_support.h).
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/setup_support.h"

namespace platform {

namespace {

// The platform layer takes a backslash as a separator on POSIX too.
std::string Native(const std::string& path) {
  std::string native(path);
  for (char& c : native)
    if (c == '\\') c = '/';
  return native;
}

bool StatIs(const std::string& path, mode_t type) {
  struct stat st;
  return ::stat(Native(path).c_str(), &st) == 0 && (st.st_mode & S_IFMT) == type;
}

}  // namespace

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/' || dir.back() == '\\') return dir + name;
  return dir + "/" + name;
}

std::string AbsolutePath(const std::string& path) {
  std::string full = Native(path);
  if (full.empty() || full[0] != '/') {
    std::vector<char> buffer(PATH_MAX);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
      if (errno != ERANGE) return "";
      buffer.resize(buffer.size() * 2);
    }
    full = std::string(buffer.data()) + "/" + full;
  }
  std::vector<std::string> parts;
  size_t at = 0;
  while (at <= full.size()) {
    size_t end = full.find('/', at);
    if (end == std::string::npos) end = full.size();
    std::string part = full.substr(at, end - at);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = end + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  return result.empty() ? "/" : result;
}

std::string FileNameKey(std::string_view name) { return std::string(name); }

std::string ProgramFolder() {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return "";
    if (size_t(n) < buffer.size()) return ParentFolder(std::string(buffer.data(), size_t(n)));
    buffer.resize(buffer.size() * 2);
  }
}

std::string HomeFolder() {
  const char* home = ::getenv("HOME");
  return home != nullptr ? home : "";
}

bool ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) {
  entries->clear();
  const std::string native = Native(folder);
  DIR* dir = ::opendir(native.c_str());
  if (dir == nullptr) return false;
  while (const dirent* d = ::readdir(dir)) {
    const std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    FolderEntry entry;
    entry.name = name;
    struct stat st;
    if (::fstatat(::dirfd(dir), d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      if (S_ISREG(st.st_mode)) {
        entry.kind = EntryKind::kFile;
        entry.size = uint64_t(st.st_size);
      } else if (S_ISDIR(st.st_mode)) {
        entry.kind = EntryKind::kFolder;
      }
    }
    entries->push_back(std::move(entry));
  }
  ::closedir(dir);
  return true;
}

bool ListFolderNames(const std::string& folder, std::vector<std::string>* names) {
  names->clear();
  DIR* dir = ::opendir(Native(folder).c_str());
  if (dir == nullptr) return false;
  while (const dirent* d = ::readdir(dir)) {
    if (::strcmp(d->d_name, ".") != 0 && ::strcmp(d->d_name, "..") != 0) names->push_back(d->d_name);
  }
  ::closedir(dir);
  return true;
}

bool IsFolder(const std::string& path) { return StatIs(path, S_IFDIR); }
bool IsRegularFile(const std::string& path) { return StatIs(path, S_IFREG); }

bool SetCurrentFolder(const std::string& path) { return ::chdir(Native(path).c_str()) == 0; }

bool MakePrivateFolder(std::string* path) {
  const char* tmp = ::getenv("TMPDIR");
  std::string pattern = JoinPath(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp", "hanhua-setup-XXXXXX");
  if (::mkdtemp(pattern.data()) == nullptr) return false;
  *path = pattern;
  return true;
}

bool RemoveEmptyFolder(const std::string& path) { return ::rmdir(Native(path).c_str()) == 0; }

bool ReadLine(std::string* line) {
  line->clear();
  int c;
  while ((c = fgetc(stdin)) != EOF && c != '\n') line->push_back(char(c));
  if (c == EOF && line->empty()) return false;
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

bool HasOwnConsole() { return false; }

}  // namespace platform
