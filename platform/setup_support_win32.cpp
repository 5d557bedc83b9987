// Windows backend of the installer's system calls (platform/setup_support.h).
// Paths go through the 8-bit ("A") calls like the rest of the platform
// layer: hanhua-setup's manifest makes the process code page UTF-8, so they
// express every character. Answers are read from a console in wide
// characters, so a dragged folder's name arrives whole.
#include <windows.h>
#include <bcrypt.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/setup_support.h"

namespace platform {

namespace {

std::string Narrow(std::wstring_view wide, UINT codePage) {
  if (wide.empty()) return {};
  int bytes = WideCharToMultiByte(codePage, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string text(size_t(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0)
    WideCharToMultiByte(codePage, 0, wide.data(), int(wide.size()), text.data(), bytes, nullptr, nullptr);
  return text;
}

DWORD AttributesOf(const std::string& path) { return GetFileAttributesA(path.c_str()); }

// A console handle of ours: GetConsoleMode works only on one.
bool IsConsole(HANDLE handle) {
  DWORD mode;
  return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode) != 0;
}

}  // namespace

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '\\' || dir.back() == '/') return dir + name;
  return dir + "\\" + name;
}

std::string AbsolutePath(const std::string& path) {
  DWORD size = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return "";
  std::string full(size, '\0');
  DWORD length = GetFullPathNameA(path.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return "";
  full.resize(length);
  // GetFullPathName keeps a trailing separator; a folder's path has none.
  while (full.size() > 3 && full.back() == '\\') full.pop_back();
  return full;
}

std::string FileNameKey(std::string_view name) {
  std::string key(name);
  for (char& c : key)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return key;
}

std::string ProgramFolder() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
    if (n == 0) return "";
    if (n < buffer.size()) return ParentFolder(Narrow(std::wstring_view(buffer.data(), n), CP_ACP));
    buffer.resize(buffer.size() * 2);
  }
}

std::string HomeFolder() {
  DWORD size = GetEnvironmentVariableA("HOME", nullptr, 0);
  if (size == 0) return "";
  std::string home(size, '\0');
  DWORD length = GetEnvironmentVariableA("HOME", home.data(), size);
  home.resize(length < size ? length : 0);
  return home;
}

bool ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) {
  entries->clear();
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(JoinPath(folder, "*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    FolderEntry entry;
    entry.name = name;
    const DWORD attributes = data.dwFileAttributes;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      entry.kind = EntryKind::kOther;
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      entry.kind = EntryKind::kFolder;
    } else {
      entry.kind = EntryKind::kFile;
      entry.size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
    entries->push_back(std::move(entry));
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return true;
}

bool ListFolderNames(const std::string& folder, std::vector<std::string>* names) {
  // FindFirstFileA gives each entry's kind with its name, so the full
  // listing costs no more than the names alone.
  names->clear();
  std::vector<FolderEntry> entries;
  if (!ListFolder(folder, &entries)) return false;
  for (FolderEntry& entry : entries) names->push_back(std::move(entry.name));
  return true;
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsRegularFile(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_DEVICE);
}

bool SetCurrentFolder(const std::string& path) { return SetCurrentDirectoryA(path.c_str()) != 0; }

bool MakePrivateFolder(std::string* path) {
  char temp[MAX_PATH + 1];
  DWORD length = GetTempPathA(sizeof temp, temp);
  if (length == 0 || length > MAX_PATH) return false;
  for (int attempt = 0; attempt < 16; ++attempt) {
    uint8_t random[8];
    if (BCryptGenRandom(nullptr, random, sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) return false;
    char name[32];
    std::snprintf(name, sizeof name, "hanhua-setup-%02x%02x%02x%02x%02x%02x", random[0], random[1],
                  random[2], random[3], random[4], random[5]);
    const std::string candidate = JoinPath(temp, name);
    if (CreateDirectoryA(candidate.c_str(), nullptr)) {
      *path = candidate;
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

bool RemoveEmptyFolder(const std::string& path) { return RemoveDirectoryA(path.c_str()) != 0; }

bool ReadLine(std::string* line) {
  line->clear();
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  if (IsConsole(in)) {
    std::wstring wide;
    wchar_t buffer[256];
    for (;;) {
      DWORD read = 0;
      if (!ReadConsoleW(in, buffer, DWORD(std::size(buffer)), &read, nullptr) || read == 0) {
        if (wide.empty()) return false;
        break;
      }
      wide.append(buffer, read);
      if (wide.back() == L'\n') break;
    }
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r')) wide.pop_back();
    *line = Narrow(wide, CP_ACP);
    return true;
  }
  int c;
  while ((c = fgetc(stdin)) != EOF && c != '\n') line->push_back(char(c));
  if (c == EOF && line->empty()) return false;
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

bool HasOwnConsole() {
  DWORD processes[2];
  return GetConsoleProcessList(processes, 2) == 1;
}

}  // namespace platform
