// hanhua-subtitles: shows the subtitle lines of movie files.
//
//   hanhua-subtitles MOVIE              lists every subtitle: language, start
//                                       time in ms, text
//   hanhua-subtitles ORIGINAL REBUILT   pairs the subtitles of the two files
//                                       in order, lists those whose text
//                                       changed, and ends with the line
//                                       "translated: N of M" (M: the language 0
//                                       subtitles of ORIGINAL)
//
// Exit code 0, or 1 when a file cannot be read or the two files do not hold
// the same number of subtitles.
#include <cstdio>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/movie_builder.h"

namespace {

bool Load(const char* path, std::vector<fixtures::Subtitle>* subtitles) {
  fixtures::Bytes movie;
  if (!fixtures::ReadFileBytes(path, &movie)) {
    std::fprintf(stderr, "cannot read %s\n", path);
    return false;
  }
  *subtitles = fixtures::ReadSubtitles(movie);
  return true;
}

int List(const char* path) {
  std::vector<fixtures::Subtitle> subtitles;
  if (!Load(path, &subtitles)) return 1;
  for (const fixtures::Subtitle& s : subtitles)
    std::printf("%u %8u  %s\n", s.language, s.start, s.text.c_str());
  return 0;
}

int Compare(const char* originalPath, const char* rebuiltPath) {
  std::vector<fixtures::Subtitle> original, rebuilt;
  if (!Load(originalPath, &original) || !Load(rebuiltPath, &rebuilt)) return 1;
  if (original.size() != rebuilt.size()) {
    std::fprintf(stderr, "%s holds %zu subtitles, %s holds %zu\n", originalPath, original.size(),
                 rebuiltPath, rebuilt.size());
    return 1;
  }
  int translatable = 0, translated = 0;
  for (size_t i = 0; i < original.size(); ++i) {
    if (original[i].language == 0) ++translatable;
    if (original[i].text == rebuilt[i].text) continue;
    ++translated;
    std::printf("%8u  %s\n       -> %s\n", original[i].start, original[i].text.c_str(),
                rebuilt[i].text.c_str());
  }
  std::printf("translated: %d of %d\n", translated, translatable);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2) return List(argv[1]);
  if (argc == 3) return Compare(argv[1], argv[2]);
  std::fprintf(stderr, "usage: %s MOVIE | %s ORIGINAL REBUILT\n", argv[0], argv[0]);
  return 2;
}
