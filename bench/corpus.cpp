#include "bench/corpus.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include "driver/target_files.h"
#include "platform/platform.h"
#include "tests/support/byte_builders.h"
#include "tests/support/movie_builder.h"

namespace bench {

namespace {

using fixtures::Bytes;

// xorshift64*: fast, and the same everywhere, so a scale always gives the
// same install.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull) {
    if (state_ == 0) state_ = 1;
  }
  uint64_t Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545F4914F6CDD1Dull;
  }
  uint32_t Below(uint32_t bound) { return uint32_t((Next() >> 32) % bound); }
  double Unit() { return double(Next() >> 11) / double(1ull << 53); }

 private:
  uint64_t state_;
};

// --- sizes and counts at scale 1 ----------------------------------------------

constexpr double kTotalPackageBytes = 1e9;
constexpr double kDialogueExports = 20000;
constexpr double kDialogueLines = 30000;
constexpr double kUnusedEntries = 1500;  // dictionary entries no file uses
constexpr double kSubtitleLines = 300;   // per movie
constexpr double kMovieMegabytes[4] = {34, 48, 22, 41};
// The few big packages (maps, streamed sound banks), zlib and LZO among
// them; each is 50 to 100 MB at scale 1.
constexpr int kLargePackages[] = {101, 420, 777, 1203, 1590};
constexpr uint32_t kMediumPerMille = 37;  // packages of 1 to 10 MB
constexpr uint32_t kBlockSize = fixtures::kStandardBlockSize;  // 128 KiB
constexpr uint32_t kChunkSize = 8 * kBlockSize;                // 1 MiB

int Scaled(double count, double scale, int minimum) {
  return std::max(minimum, int(std::lround(count * scale)));
}

bool IsLarge(int index) {
  return std::find(std::begin(kLargePackages), std::end(kLargePackages), index) !=
         std::end(kLargePackages);
}

// --- content pool -------------------------------------------------------------
//
// Export bodies are cut from one pool of material of four kinds, in 64 KiB
// segments. Pieces are taken from random places of a pool far larger than
// the compressors' windows, so a body compresses as its material does.

constexpr size_t kPoolSize = size_t(16) << 20;
constexpr size_t kSegmentSize = size_t(64) << 10;

const char* const kWords[] = {
    "the",     "a",       "of",      "to",      "and",     "in",      "we",      "you",
    "it",      "is",      "that",    "for",     "on",      "was",     "with",    "they",
    "be",      "at",      "have",    "from",    "not",     "but",     "what",    "all",
    "were",    "when",    "there",   "can",     "an",      "your",    "which",   "their",
    "said",    "if",      "do",      "will",    "each",    "about",   "how",     "up",
    "out",     "them",    "then",    "she",     "many",    "some",    "so",      "these",
    "would",   "other",   "into",    "has",     "more",    "her",     "two",     "like",
    "him",     "see",     "time",    "could",   "no",      "make",    "than",    "first",
    "been",    "its",     "who",     "now",     "people",  "my",      "made",    "over",
    "did",     "down",    "only",    "way",     "find",    "use",     "may",     "water",
    "long",    "little",  "very",    "after",   "words",   "called",  "just",    "where",
    "most",    "know",    "harbor",  "lantern", "ember",   "warden",  "cairn",   "thorn",
    "gate",    "north",   "tide",    "signal",  "stone",   "road",    "fleet",   "storm",
    "captain", "village", "tower",   "bridge",  "forest",  "river",   "castle",  "sword",
    "shield",  "king",    "queen",   "soldier", "mountain","shadow",  "fire",    "night",
    "morning", "ship",    "island",  "temple",  "ruins",   "beast",   "dragon",  "spirit",
    "promise", "danger",  "friend",  "enemy",   "journey", "silence", "courage", "honor",
};
constexpr uint32_t kWordCount = sizeof kWords / sizeof kWords[0];

// Words and sentence breaks; each segment draws on a vocabulary of its own
// (a script, a config file, a list of names), as game text does.
void TextSegment(Random& random, uint8_t* out, size_t size) {
  const char* vocabulary[32];
  for (const char*& word : vocabulary) word = kWords[random.Below(kWordCount)];
  size_t at = 0;
  while (at < size) {
    const char* word = vocabulary[random.Below(32)];
    for (const char* c = word; *c != '\0' && at < size; ++c) out[at++] = uint8_t(*c);
    if (at < size) out[at++] = random.Below(12) == 0 ? '.' : ' ';
  }
}

void Put32(uint8_t* out, uint32_t value) { std::memcpy(out, &value, 4); }

// Mesh vertices: position on a smooth walk, one of a few normals, slowly
// moving texture coordinates, a colour and bone words that rarely change.
void RecordSegment(Random& random, uint8_t* out, size_t size) {
  float x = float(random.Below(1000)), y = float(random.Below(1000)), z = float(random.Below(100));
  uint32_t u = random.Below(65536), v = random.Below(65536);
  const uint32_t colour = uint32_t(random.Next());
  uint32_t bone = random.Below(64);
  for (size_t at = 0; at + 32 <= size; at += 32) {
    x += float(int(random.Below(64)) - 32) / 16.0f;
    y += float(int(random.Below(64)) - 32) / 16.0f;
    z += float(int(random.Below(16)) - 8) / 16.0f;
    std::memcpy(out + at, &x, 4);
    std::memcpy(out + at + 4, &y, 4);
    std::memcpy(out + at + 8, &z, 4);
    Put32(out + at + 12, 0x7F7F0000u | random.Below(4) * 0x1111u);
    u += random.Below(16);
    v += random.Below(16);
    Put32(out + at + 16, (u & 0xFFFF) | (v & 0xFFFF) << 16);
    Put32(out + at + 20, colour);
    if (random.Below(32) == 0) bone = random.Below(64);
    Put32(out + at + 24, bone);
    Put32(out + at + 28, 0x00FF - random.Below(4));
  }
}

// Block-compressed texture data: two end colours near a slowly moving base
// and two bits per texel, flat areas now and then.
void TextureSegment(Random& random, uint8_t* out, size_t size) {
  uint32_t base = random.Below(65536);
  for (size_t at = 0; at + 8 <= size; at += 8) {
    if (random.Below(16) == 0) base = (base + random.Below(2048)) & 0xFFFF;
    uint32_t c0 = (base + random.Below(8)) & 0xFFFF;
    uint32_t c1 = (base + 0x0841u * random.Below(4)) & 0xFFFF;
    Put32(out + at, c0 | c1 << 16);
    uint32_t texels = random.Below(2) == 0 ? 0x55555555u * random.Below(3) : uint32_t(random.Next());
    Put32(out + at + 4, texels);
  }
}

// Lookup tables and bulk data: mostly zeros with a word now and then.
void SparseSegment(Random& random, uint8_t* out, size_t size) {
  std::memset(out, 0, size);
  for (size_t at = random.Below(64); at + 4 <= size; at += 4 + 4 * random.Below(16)) {
    Put32(out + at, random.Below(4096));
  }
}

const Bytes& Pool() {
  static const Bytes pool = [] {
    Bytes bytes(kPoolSize);
    Random random(0x9001);
    for (size_t at = 0; at < kPoolSize; at += kSegmentSize) {
      uint8_t* segment = bytes.data() + at;
      uint32_t kind = random.Below(20);
      if (kind < 7) {
        TextSegment(random, segment, kSegmentSize);
      } else if (kind < 12) {
        RecordSegment(random, segment, kSegmentSize);
      } else if (kind < 15) {
        TextureSegment(random, segment, kSegmentSize);
      } else {
        SparseSegment(random, segment, kSegmentSize);
      }
    }
    return bytes;
  }();
  return pool;
}

// size bytes of pool material in pieces of 1 to 8 KiB.
Bytes PoolBody(Random& random, size_t size) {
  const Bytes& pool = Pool();
  Bytes body(size);
  for (size_t at = 0; at < size;) {
    size_t piece = std::min<size_t>(size - at, 1024 + random.Below(7 * 1024));
    size_t from = random.Below(uint32_t(kPoolSize - piece));
    std::memcpy(body.data() + at, pool.data() + from, piece);
    at += piece;
  }
  return body;
}

// Plain text for dialogue bodies: no byte below 0x20, so nothing in it can
// look like a property tag.
Bytes TextBody(Random& random, size_t size) {
  Bytes body(size);
  TextSegment(random, body.data(), size);
  return body;
}

// --- dialogue lines -------------------------------------------------------------

const char* const kAccented[] = {"café", "naïve", "señor", "Zoë", "déjà", "über", "façade"};
// Common characters for the made-up translations.
const char* const kHanzi[] = {
    "的", "一", "是", "不", "了", "人", "我", "在", "有", "他", "这", "中", "大", "来", "上",
    "国", "个", "到", "说", "们", "为", "子", "和", "你", "地", "出", "道", "也", "时", "年",
    "得", "就", "那", "要", "下", "以", "生", "会", "自", "着", "去", "之", "过", "家", "学",
    "对", "可", "她", "里", "后", "小", "么", "心", "多", "天", "而", "能", "好", "都", "然",
    "没", "日", "于", "起", "还", "发", "成", "事", "只", "作", "当", "想", "看", "文", "无",
    "港", "灯", "火", "守", "门", "北", "潮", "石", "路", "船", "风", "暴", "城", "剑", "龙"};
constexpr uint32_t kHanziCount = sizeof kHanzi / sizeof kHanzi[0];

// Six to sixteen words, capitalised, with closing punctuation; every 29th
// sentence has an accented word (such lines are stored as UTF-16).
std::string Sentence(uint64_t seed) {
  Random random(seed);
  int words = 6 + int(random.Below(11));
  std::string text;
  for (int w = 0; w < words; ++w) {
    if (w > 0) text += random.Below(9) == 0 ? ", " : " ";
    text += kWords[random.Below(kWordCount)];
  }
  if (seed % 29 == 0) text += std::string(" ") + kAccented[random.Below(7)];
  text[0] = char(std::toupper(uint8_t(text[0])));
  const char* const endings[] = {".", "?", "!", "..."};
  return text + endings[random.Below(4)];
}

std::string ChineseSentence(uint64_t seed) {
  Random random(seed ^ 0xC415E5Eull);
  int length = 6 + int(random.Below(20));
  std::string text;
  for (int i = 0; i < length; ++i) {
    text += kHanzi[random.Below(kHanziCount)];
    if (i + 1 < length && random.Below(8) == 0) text += "，";
  }
  return text + "。";
}

constexpr uint64_t kMovieLineSeeds = 1ull << 40;
constexpr uint64_t kOtherLanguageSeeds = 2ull << 40;
constexpr uint64_t kUnusedLineSeeds = 3ull << 40;

uint64_t MovieLineSeed(int k, int line) { return kMovieLineSeeds + uint64_t(k) * 100000 + uint64_t(line); }
bool IsMovieLineTranslated(int line) { return line % 10 != 9; }

bool IsAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return uint8_t(c) < 0x80; });
}

// A UTF-16 package string: length word -(units + 1), the units, a zero unit.
Bytes WideString(const std::string& utf8) {
  std::vector<uint16_t> units(utf8.size() + 1);
  int n = platform::Utf8ToUtf16(utf8.data(), int(utf8.size()), units.data(), int(units.size()));
  return fixtures::StrWide(std::u16string(units.begin(), units.begin() + std::max(n, 0)));
}

// A property tag (name index, name number 0, value size, a zero word) and
// its value.
Bytes Property(uint32_t name, const Bytes& value) {
  return fixtures::Cat({fixtures::Word32(name), fixtures::Word32(0),
                        fixtures::Word32(uint32_t(value.size())), fixtures::Word32(0), value});
}

struct DialogueNames {
  uint32_t dialogueText;
  uint32_t speaker;
  uint32_t none;
};

// One dialogue event export's body: a speaker, one DialogueText array of
// one to three lines, a few properties' worth of text, the closing "None".
Bytes DialogueBody(Random& random, const DialogueNames& names, uint32_t lineCount,
                   DialogueStats* stats) {
  std::vector<Bytes> strings;
  const uint32_t count = 1 + random.Below(3);
  for (uint32_t s = 0; s < count; ++s) {
    uint32_t id = random.Below(lineCount);
    std::string line = DialogueLine(id);
    bool wide = !IsAscii(line) || random.Below(4) == 0;
    strings.push_back(wide ? WideString(line) : fixtures::Str8(line));
    ++stats->strings;
    if (IsTranslated(id)) ++stats->translatable;
  }
  ++stats->exports;
  return fixtures::Cat({Property(names.speaker, fixtures::Str8(kWords[random.Below(kWordCount)])),
                        fixtures::DialogueTag(names.dialogueText, strings),
                        TextBody(random, 16 + random.Below(240)), fixtures::Word32(names.none),
                        fixtures::Word32(0)});
}

// Sizes of the ordinary exports of a package: 256 bytes to 256 KiB, and in
// packages above 16 MB a body of 1 to 4 MB now and then.
std::vector<size_t> BulkSizes(Random& random, uint64_t total) {
  std::vector<size_t> sizes;
  uint64_t sum = 0;
  while (sum < total) {
    size_t size;
    if (total > (16u << 20) && random.Below(40) == 0) {
      size = (1u << 20) + random.Below(3u << 20);
    } else {
      uint32_t exponent = 8 + random.Below(10);
      size = (size_t(1) << exponent) + random.Below(1u << exponent);
    }
    size = size_t(std::min<uint64_t>(size, std::max<uint64_t>(total - sum, 64)));
    sizes.push_back(size);
    sum += size;
  }
  return sizes;
}

// Rough size of the tables and the dialogue of a package, left out of the
// material so that the package comes out near its planned size.
constexpr uint64_t kDialogueExportBytes = 420;

}  // namespace

std::vector<PackagePlan> PlanPackages(double scale, double density) {
  std::vector<PackagePlan> plans(driver::kPackageCount);
  Random random(0x51AE5EED);
  std::vector<bool> medium(plans.size(), false);
  double largeBytes = 0, otherBytes = 0;
  for (int i = 0; i < driver::kPackageCount; ++i) {
    double u = random.Unit();
    bool isMedium = random.Below(1000) < kMediumPerMille;
    if (driver::kTargetFiles[i][0] == '\0') continue;
    double bytes;
    if (IsLarge(i)) {
      bytes = 50e6 + u * 50e6;
      largeBytes += bytes;
    } else {
      medium[i] = isMedium;
      bytes = isMedium ? 1e6 * std::pow(10.0, u) : 8e3 * std::pow(125.0, u * u);
      otherBytes += bytes;
    }
    plans[i].bytes = uint64_t(bytes);
  }
  // The small and medium packages make up the rest of the total.
  const double fit = (kTotalPackageBytes - largeBytes) / otherBytes;
  for (int i = 0; i < driver::kPackageCount; ++i) {
    double bytes = double(plans[i].bytes) * (IsLarge(i) ? 1.0 : fit);
    plans[i].bytes = plans[i].bytes == 0 ? 0 : std::max<uint64_t>(1024, uint64_t(bytes * scale));
  }

  // Dialogue exports: none in every fifth package, more in big ones. The
  // running total is rounded so that the counts add up exactly.
  std::vector<double> weights(plans.size(), 0);
  double weightSum = 0;
  for (int i = 0; i < driver::kPackageCount; ++i) {
    uint32_t draw = 1 + random.Below(16);
    if (plans[i].bytes == 0 || i % 5 == 4) continue;
    weights[i] = IsLarge(i) ? 150 : medium[i] ? 40 : draw;
    weightSum += weights[i];
  }
  const double exports = Scaled(kDialogueExports * density, scale, 1);
  double running = 0;
  long given = 0;
  for (int i = 0; i < driver::kPackageCount; ++i) {
    running += weights[i];
    long upTo = std::lround(exports * running / weightSum);
    plans[i].dialogueExports = int(upTo - given);
    given = upTo;
  }
  return plans;
}

uint32_t DialogueLineCount(double scale, double density) {
  return uint32_t(Scaled(kDialogueLines * density, scale, 50));
}
std::string DialogueLine(uint32_t id) { return Sentence(id); }
bool IsTranslated(uint32_t id) { return id % 10 != 9; }
std::string Translation(uint32_t id) { return ChineseSentence(id); }

fixtures::PackageContents PackageContents(int index, const PackagePlan& plan, double scale,
                                          DialogueStats* dialogue, double density) {
  Random random(0xC0FFEE00ull + uint64_t(index));
  fixtures::PackageContents contents;
  const int32_t packageClass = contents.AddClassImport("Package");
  const char* const classNames[] = {"Texture2D", "StaticMesh", "SoundNodeWave", "Material",
                                    "AnimSequence", "SkeletalMesh"};
  int32_t classes[6];
  for (int c = 0; c < 6; ++c) classes[c] = contents.AddClassImport(classNames[c]);

  const std::string base = "Pkg" + std::to_string(index);
  const int32_t group = contents.AddExport(packageClass, contents.AddName(base), Bytes(12, 0));

  DialogueNames names{};
  int32_t eventClass = 0;
  if (plan.dialogueExports > 0) {
    names.dialogueText =
        index % 7 == 0 ? contents.AddUtf16Name("DialogueText") : contents.Name("DialogueText");
    names.speaker = contents.Name("Speaker");
    names.none = contents.Name("None");
    // Some packages define the event class themselves.
    eventClass = index % 3 == 1 ? contents.AddExport(0, contents.Name("AkDialogueEvent"), Bytes(16, 0))
                                : contents.AddClassImport("AkDialogueEvent");
  }

  const uint64_t dialogueBytes = kDialogueExportBytes * uint64_t(plan.dialogueExports);
  const uint64_t material = plan.bytes > dialogueBytes ? plan.bytes - dialogueBytes : 256;
  const std::vector<size_t> sizes = BulkSizes(random, material);
  const uint32_t lineCount = DialogueLineCount(scale, density);
  DialogueStats stats;
  int dialogueDone = 0;
  for (size_t b = 0; b < sizes.size(); ++b) {
    fixtures::PackageExport asset;
    uint32_t kind = random.Below(6);
    asset.classIndex = classes[kind];
    asset.objectName = contents.AddName(base + "_" + classNames[kind] + std::to_string(b));
    asset.outerIndex = random.Below(4) == 0 ? 0 : group;
    asset.objectNumber = int32_t(random.Below(8) == 0 ? 1 + random.Below(3) : 0);
    asset.body = PoolBody(random, sizes[b]);
    contents.AddExport(asset);
    // The dialogue events are spread among the other exports.
    int dialogueDue = int(uint64_t(plan.dialogueExports) * (b + 1) / sizes.size());
    for (; dialogueDone < dialogueDue; ++dialogueDone) {
      fixtures::PackageExport event;
      event.classIndex = eventClass;
      event.objectName = contents.AddName("VO_" + base + "_" + std::to_string(dialogueDone));
      event.outerIndex = random.Below(2) == 0 ? group : 0;
      event.body = DialogueBody(random, names, lineCount, &stats);
      contents.AddExport(event);
    }
  }
  contents.AddUtf16Name("Paquet_é_" + std::to_string(index));
  if (dialogue != nullptr) *dialogue = stats;
  return contents;
}

fixtures::CompressOptions PackageCompression(int index) {
  fixtures::CompressOptions options;
  options.compression = index % 2 == 0 ? fixtures::kCompressionZlib : fixtures::kCompressionLzo;
  options.blockSize = kBlockSize;
  options.chunkSize = kChunkSize;
  options.zlibLevel = 6;
  return options;
}

bool ShippedPackage(int index, const PackagePlan& plan, double scale, Bytes* shipped,
                    uint64_t* uncompressedSize, DialogueStats* dialogue, double density) {
  fixtures::BuiltPackage plain =
      fixtures::BuildPackage(PackageContents(index, plan, scale, dialogue, density));
  *uncompressedSize = plain.bytes.size();
  fixtures::CompressedPackage compressed;
  if (!fixtures::CompressPackage(plain.bytes, PackageCompression(index), &compressed)) return false;
  *shipped = std::move(compressed.bytes);
  return true;
}

Bytes Movie(int k, double scale, MovieStats* stats) {
  Random random(0x30E1E00ull + uint64_t(k));
  const uint64_t bytes = uint64_t(kMovieMegabytes[k % 4] * 1e6 * scale);
  const int lines = Scaled(kSubtitleLines, scale, 4);
  fixtures::MovieBuilder movie;
  movie.AddHeader(0x800);
  auto fillTo = [&](uint64_t size) {
    while (movie.size() < size) {
      movie.AddVideoFrame(16 * (1024 + random.Below(3 * 1024)));  // 16 to 64 KiB
      movie.AddAudioFrame(16 * (128 + random.Below(128)));        // 2 to 4 KiB
    }
  };
  uint32_t start = 1000;
  for (int line = 0; line < lines; ++line) {
    fillTo(bytes * uint64_t(line + 1) / uint64_t(lines + 1));
    // The English line (language 0, translated) and the same line in a
    // second language (language 1, kept), at one time.
    movie.AddSubtitle(0, start, Sentence(MovieLineSeed(k, line)));
    movie.AddSubtitle(1, start, Sentence(kOtherLanguageSeeds + MovieLineSeed(k, line)));
    start += 2000 + random.Below(4000);
    ++stats->lines;
    if (IsMovieLineTranslated(line)) ++stats->translatable;
  }
  fillTo(bytes);
  Bytes built = movie.Build();
  stats->bytes += built.size();
  return built;
}

std::vector<fixtures::DemoTranslation> DictionaryEntries(double scale, double density) {
  std::vector<fixtures::DemoTranslation> entries;
  const uint32_t lineCount = DialogueLineCount(scale, density);
  for (uint32_t id = 0; id < lineCount; ++id) {
    if (IsTranslated(id)) entries.push_back({DialogueLine(id), Translation(id), "dialogue"});
  }
  const int subtitleLines = Scaled(kSubtitleLines, scale, 4);
  for (int k = 0; k < driver::kMovieCount; ++k) {
    for (int line = 0; line < subtitleLines; ++line) {
      if (!IsMovieLineTranslated(line)) continue;
      uint64_t seed = MovieLineSeed(k, line);
      entries.push_back({Sentence(seed), ChineseSentence(seed), "movie"});
    }
  }
  const int unused = Scaled(kUnusedEntries, scale, 1);
  for (int i = 0; i < unused; ++i) {
    uint64_t seed = kUnusedLineSeeds + uint64_t(i);
    entries.push_back({Sentence(seed), ChineseSentence(seed), "unused"});
  }
  return entries;
}

namespace {

// One file to write: listed entry index (packages, then movies) and the
// size it is planned at, so that the biggest files are started first.
struct WorkItem {
  int index;
  uint64_t bytes;
};

std::vector<WorkItem> WorkList(const std::vector<PackagePlan>& plans, double scale) {
  std::vector<WorkItem> items;
  for (int i = 0; i < driver::kPackageCount; ++i) {
    if (plans[i].bytes != 0) items.push_back({i, plans[i].bytes});
  }
  for (int k = 0; k < driver::kMovieCount; ++k) {
    items.push_back({driver::kPackageCount + k, uint64_t(kMovieMegabytes[k] * 1e6 * scale)});
  }
  std::stable_sort(items.begin(), items.end(),
                   [](const WorkItem& a, const WorkItem& b) { return a.bytes > b.bytes; });
  return items;
}

bool WriteOne(const std::string& root, int index, const std::vector<PackagePlan>& plans,
              double scale, double density, std::mutex& lock, CorpusStats* stats) {
  const char* name = driver::kTargetFiles[index];
  if (index >= driver::kPackageCount) {
    MovieStats movie;
    Bytes bytes = Movie(index - driver::kPackageCount, scale, &movie);
    if (!fixtures::WriteFileBytes(root + "/" + fixtures::kDemoMovieDir + "/" + name, bytes)) return false;
    std::lock_guard<std::mutex> guard(lock);
    ++stats->movies;
    stats->subtitles.bytes += movie.bytes;
    stats->subtitles.lines += movie.lines;
    stats->subtitles.translatable += movie.translatable;
    return true;
  }
  Bytes shipped;
  uint64_t uncompressed = 0;
  DialogueStats dialogue;
  if (!ShippedPackage(index, plans[index], scale, &shipped, &uncompressed, &dialogue, density) ||
      !fixtures::WriteFileBytes(root + "/" + fixtures::kDemoPackageDir + "/" + name, shipped)) {
    return false;
  }
  std::lock_guard<std::mutex> guard(lock);
  ++stats->packages;
  if (PackageCompression(index).compression == fixtures::kCompressionZlib) ++stats->zlibPackages;
  stats->uncompressedBytes += uncompressed;
  stats->compressedBytes += shipped.size();
  stats->largestPackage = std::max(stats->largestPackage, uncompressed);
  if (uncompressed < 1000000) ++stats->packagesBelow1MB;
  stats->dialogue.exports += dialogue.exports;
  stats->dialogue.strings += dialogue.strings;
  stats->dialogue.translatable += dialogue.translatable;
  return true;
}

}  // namespace

bool WriteCorpus(const std::string& root, double scale, int threads, CorpusStats* stats,
                 double density) {
  *stats = CorpusStats{};
  std::error_code error;
  std::filesystem::create_directories(root + "/" + fixtures::kDemoPackageDir, error);
  std::filesystem::create_directories(root + "/" + fixtures::kDemoMovieDir, error);

  const std::vector<PackagePlan> plans = PlanPackages(scale, density);
  const std::vector<WorkItem> items = WorkList(plans, scale);
  Pool();  // built once, before the workers share it
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  std::mutex lock;
  auto work = [&] {
    for (size_t i = next++; i < items.size() && !failed; i = next++) {
      if (!WriteOne(root, items[i].index, plans, scale, density, lock, stats)) failed = true;
    }
  };
  std::vector<std::thread> workers;
  for (int t = 1; t < std::max(threads, 1); ++t) workers.emplace_back(work);
  work();
  for (std::thread& worker : workers) worker.join();
  if (failed) return false;

  const std::vector<fixtures::DemoTranslation> entries = DictionaryEntries(scale, density);
  const std::string text = fixtures::DictionaryText(entries);
  stats->dictionaryEntries = int(entries.size());
  stats->dictionaryBytes = text.size();
  return fixtures::WriteFileText(root + "/" + fixtures::kDemoDictionary, text);
}

}  // namespace bench
