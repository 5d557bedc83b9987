#include "tests/support/package_like_data.h"

#include <cstring>
#include <random>

namespace fixtures {

std::vector<uint8_t> PackageLikeData(size_t size, uint32_t seed, bool noise) {
  std::mt19937 random(seed);
  static const char* const kWords[] = {"Texture2D", "StaticMeshComponent", "DialogueText", "the", "Package",
                                       "MaterialInstanceConstant", "SoundCue", "of", "PersistentLevel", "None"};
  std::vector<uint8_t> data;
  data.reserve(size);
  while (data.size() < size) {
    switch (random() % (noise ? 8 : 7)) {
      case 0:
      case 1:
      case 2:
        for (int i = 0; i < 12; ++i) {
          const char* word = kWords[random() % 10];
          data.insert(data.end(), word, word + std::strlen(word) + 1);
        }
        break;
      case 3:
      case 4:
      case 5:
        for (int i = 0; i < 24; ++i) {
          uint32_t v = (random() % 3 == 0) ? random() : random() % 2048;
          for (int b = 0; b < 4; ++b) data.push_back(uint8_t(v >> (8 * b)));
        }
        break;
      case 6:
        data.insert(data.end(), 16 + random() % 200, uint8_t(random() % 4 == 0 ? 0xFF : 0));
        break;
      default:
        for (int i = 0; i < 64; ++i) data.push_back(uint8_t(random()));
    }
  }
  data.resize(size);
  return data;
}

}  // namespace fixtures
