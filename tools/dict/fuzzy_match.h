// Similarity of texts for carrying translations over to changed sources:
// the edit distance (insertions, deletions, substitutions of code points)
// normalised by length, 100 % for equal texts. Bounded so that a game-sized
// merge stays fast: the candidates for a new text are the old texts that
// share character trigrams with it, most shared first; lengths that cannot
// reach the threshold are skipped; the distance is computed in a band that
// stops as soon as the threshold is out of reach; the search ends when no
// later candidate shares enough trigrams to do better (each edit destroys
// at most three), or after kMostCandidates distances. A text so changed
// that its match shares fewer trigrams than 200 others may go unmatched.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace dict_tool {

inline constexpr int kFuzzyThreshold = 75;  // percent
inline constexpr int kMostCandidates = 200;  // edit distances computed per text

// The code points of a UTF-8 text (a byte that is not UTF-8 stands for
// itself).
std::u32string CodePoints(std::string_view text);

// The edit distance of a and b when it is at most limit, else limit + 1.
uint32_t BoundedEditDistance(const std::u32string& a, const std::u32string& b, uint32_t limit);

// Similarity in whole percent, rounded down: 100 * (1 - distance / longer
// length). Equal texts (also both empty) are 100.
int Similarity(std::string_view a, std::string_view b);

// The largest distance at which texts of these lengths are still at least
// threshold percent similar.
uint32_t AllowedDistance(size_t longerLength, int threshold);

// The closest of many old texts to a new one.
class FuzzyIndex {
 public:
  explicit FuzzyIndex(const std::vector<std::string>& texts, int threshold = kFuzzyThreshold);

  struct Match {
    int index = -1;      // into the texts; -1 when none reaches the threshold
    int similarity = 0;  // percent
  };
  // The most similar text; of equally similar ones the first.
  Match Best(std::string_view text) const;

 private:
  int threshold_;
  std::vector<std::u32string> texts_;
  std::unordered_map<uint64_t, std::vector<uint32_t>> byTrigram_;  // text indices, ascending
  mutable std::vector<uint32_t> shared_;  // per text: trigrams shared with the query
  mutable std::vector<uint32_t> touched_;
};

}  // namespace dict_tool
