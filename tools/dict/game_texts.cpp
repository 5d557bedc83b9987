#include "tools/dict/game_texts.h"

#include <cstdio>

#include "common/bytes.h"
#include "driver/driver.h"
#include "driver/target_files.h"
#include "movie/movie_patcher.h"
#include "package/dialogue_rewrite.h"
#include "package/package_decompress.h"
#include "package/package_tables.h"
#include "platform/platform.h"
#include "tools/dict/tool_io.h"

namespace dict_tool {

namespace {

// Subtitle chunk byte that holds the start time (little-endian, in units of
// the time base, which the patcher requires to be 1000: milliseconds).
constexpr uint32_t kSubtitleStartOffset = 40;

// Reads the dialogue texts of a package. A package that cannot be read is
// reported on the console as the package patcher reports it.
package::Failure ReadPackageTexts(FileTexts* file) {
  package::PackageImage image;
  package::Failure failure = package::LoadPackageImage(file->path.c_str(), &image, &file->compressed);
  if (failure != package::Failure::kNone) return failure;
  package::ExportTable exports;
  failure = package::ReadExportTable(image, &exports);
  if (failure != package::Failure::kNone) return failure;
  for (uint32_t i = 0; i < exports.count; ++i) {
    const package::EXPORTENTRY& e = exports.entries[i];
    if (!bytes::InBounds(e.serialOffset, e.serialSize, image.size)) ++file->exportsOutside;
  }
  std::vector<GameText>& texts = file->texts;
  const std::string& name = file->name;
  return package::ForEachDialogueExport(
      image, [&texts, &name](const char* objectPath, const package::EXPORTENTRY& entry,
                             const package::NameSlots& names, const uint8_t* body) {
        const std::string where = name + " " + objectPath;
        package::ForEachDialogueText(body, entry.serialSize, names,
                                     [&](const char* text) { texts.push_back({text, where}); });
        return package::Failure::kNone;
      });
}

void ReadPackage(FileTexts* file) {
  const package::Failure failure = ReadPackageTexts(file);
  package::Report(failure, file->path.c_str());
  file->code = package::CodeOf(failure);
  file->readable = failure == package::Failure::kNone;
}

void ReadMovie(FileTexts* file) {
  std::string movie;
  if (!ReadWholeFile(file->path, &movie)) return;
  const auto* data = reinterpret_cast<const uint8_t*>(movie.data());
  movie::ForEachSubtitle(data, static_cast<uint32_t>(movie.size()),
                  [file](const uint8_t* chunk, uint64_t, const std::string& text) {
                    // The pattern that makes a chunk a subtitle chunk puts its
                    // timing fields inside the movie.
                    const uint32_t start = bytes::LoadU32LE(chunk + kSubtitleStartOffset);
                    file->texts.push_back({text, file->name + " " + FormatTime(start)});
                  });
  file->readable = true;
}

}  // namespace

int ListedFileCount() { return driver::kTargetFileCount; }

bool IsListedFile(int index) {
  return index >= 0 && index < driver::kTargetFileCount && driver::kTargetFiles[index][0] != '\0';
}

FileTexts ReadListedFile(const std::string& packageDir, const std::string& movieDir, int index,
                         Copy copy) {
  FileTexts file;
  file.index = index;
  if (!IsListedFile(index)) return file;
  file.name = driver::kTargetFiles[index];
  file.movie = index >= driver::kPackageCount;
  const std::string shipped = driver::FilePath((file.movie ? movieDir : packageDir).c_str(), file.name.c_str());
  const std::string backup = driver::BackupPath(shipped);
  const bool useBackup = copy == Copy::kBackup || (copy == Copy::kOriginal && FileExists(backup));
  const std::string& path = useBackup ? backup : shipped;
  if (!FileExists(path)) return file;
  file.path = path;
  file.fromBackup = useBackup;
  if (file.movie)
    ReadMovie(&file);
  else
    ReadPackage(&file);
  return file;
}

void ForEachListedFile(const std::string& packageDir, const std::string& movieDir, Copy copy,
                       const char* label, bool quiet,
                       const std::function<void(const FileTexts&)>& visit) {
  Progress progress(label, ListedFileCount(), quiet);
  for (int i = 0; i < ListedFileCount(); ++i) {
    progress.Show(i + 1);
    if (!IsListedFile(i)) continue;
    FileTexts file = ReadListedFile(packageDir, movieDir, i, copy);
    visit(file);
  }
  progress.Done();
}

std::string FormatTime(uint32_t milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%u:%02u:%02u.%03u", milliseconds / 3600000, milliseconds / 60000 % 60,
                milliseconds / 1000 % 60, milliseconds % 1000);
  return text;
}

}  // namespace dict_tool
