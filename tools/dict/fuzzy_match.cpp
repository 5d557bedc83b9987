#include "tools/dict/fuzzy_match.h"

#include <algorithm>

#include "tools/dict/dict_text.h"

namespace dict_tool {

namespace {

uint64_t Trigram(const std::u32string& text, size_t at) {
  return uint64_t(text[at]) << 42 | uint64_t(text[at + 1]) << 21 | uint64_t(text[at + 2]);
}

// The distinct trigrams of a text.
std::vector<uint64_t> TrigramsOf(const std::u32string& text) {
  std::vector<uint64_t> grams;
  for (size_t i = 0; i + 3 <= text.size(); ++i) grams.push_back(Trigram(text, i));
  std::sort(grams.begin(), grams.end());
  grams.erase(std::unique(grams.begin(), grams.end()), grams.end());
  return grams;
}

int SimilarityOf(size_t longer, uint32_t distance) {
  if (longer == 0) return 100;
  return int(100 * (longer - distance) / longer);
}

}  // namespace

std::u32string CodePoints(std::string_view text) {
  std::u32string points;
  points.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const size_t length = Utf8SequenceLength(text, i);
    if (length == 0) {
      points.push_back(0xDC00 + static_cast<unsigned char>(text[i++]));  // a byte of its own
      continue;
    }
    uint32_t value = static_cast<unsigned char>(text[i]) & (0x7F >> (length == 1 ? 0 : length));
    for (size_t k = 1; k < length; ++k) value = value << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    points.push_back(value);
    i += length;
  }
  return points;
}

uint32_t BoundedEditDistance(const std::u32string& a, const std::u32string& b, uint32_t limit) {
  const size_t n = a.size(), m = b.size();
  const size_t gap = n > m ? n - m : m - n;
  if (gap > limit) return limit + 1;
  // Rows over b; only the cells within limit of the diagonal can stay
  // within limit, so the others are held at limit + 1.
  const uint32_t over = limit + 1;
  std::vector<uint32_t> previous(m + 1, over), current(m + 1, over);
  for (size_t j = 0; j <= std::min<size_t>(m, limit); ++j) previous[j] = uint32_t(j);
  for (size_t i = 1; i <= n; ++i) {
    const size_t from = i > limit ? i - limit : 1;
    const size_t to = std::min<size_t>(m, i + limit);
    std::fill(current.begin(), current.end(), over);
    current[0] = i <= limit ? uint32_t(i) : over;
    uint32_t rowBest = current[0];
    for (size_t j = from; j <= to; ++j) {
      uint32_t cell = previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
      cell = std::min({cell, previous[j] + 1, current[j - 1] + 1, over});
      current[j] = cell;
      rowBest = std::min(rowBest, cell);
    }
    if (rowBest > limit) return over;  // every path already costs more
    std::swap(previous, current);
  }
  return std::min(previous[m], over);
}

uint32_t AllowedDistance(size_t longerLength, int threshold) {
  return uint32_t(longerLength * uint64_t(100 - threshold) / 100);
}

int Similarity(std::string_view a, std::string_view b) {
  const std::u32string x = CodePoints(a), y = CodePoints(b);
  const size_t longer = std::max(x.size(), y.size());
  return SimilarityOf(longer, BoundedEditDistance(x, y, uint32_t(longer)));
}

FuzzyIndex::FuzzyIndex(const std::vector<std::string>& texts, int threshold) : threshold_(threshold) {
  texts_.reserve(texts.size());
  for (uint32_t i = 0; i < texts.size(); ++i) {
    texts_.push_back(CodePoints(texts[i]));
    for (uint64_t gram : TrigramsOf(texts_.back())) byTrigram_[gram].push_back(i);
  }
  shared_.assign(texts_.size(), 0);
}

FuzzyIndex::Match FuzzyIndex::Best(std::string_view text) const {
  const std::u32string query = CodePoints(text);
  const std::vector<uint64_t> grams = TrigramsOf(query);
  const int64_t gramCount = int64_t(grams.size());
  // Each edit removes at most three of the query's distinct trigrams, so a
  // text within d edits shares at least gramCount - 3d of them.
  auto mustShare = [&](int similarity) {
    const size_t longest = query.size() * 100 / size_t(std::max(1, similarity));
    return gramCount - 3 * int64_t(AllowedDistance(longest, similarity));
  };

  // The texts sharing trigrams with the query, most shared first.
  for (uint64_t gram : grams) {
    const auto found = byTrigram_.find(gram);
    if (found == byTrigram_.end()) continue;
    for (uint32_t index : found->second) {
      if (shared_[index]++ == 0) touched_.push_back(index);
    }
  }
  std::vector<uint32_t> start(size_t(gramCount) + 2, 0);
  for (uint32_t index : touched_) ++start[size_t(gramCount - shared_[index])];
  for (size_t k = 1; k < start.size(); ++k) start[k] += start[k - 1];
  std::vector<uint32_t> ranked(touched_.size());
  for (uint32_t index : touched_) ranked[--start[size_t(gramCount - shared_[index])]] = index;

  Match best;
  int looked = 0;
  for (uint32_t index : ranked) {
    const int needed = best.index < 0 ? threshold_ : best.similarity;  // ties may still win by order
    if (int64_t(shared_[index]) < mustShare(needed) || looked >= kMostCandidates) break;
    const std::u32string& old = texts_[index];
    const size_t longer = std::max(old.size(), query.size());
    const uint32_t limit = AllowedDistance(longer, needed);
    const size_t gap = old.size() > query.size() ? old.size() - query.size() : query.size() - old.size();
    if (gap > limit) continue;
    ++looked;
    const uint32_t distance = BoundedEditDistance(old, query, limit);
    if (distance > limit) continue;
    const int similarity = SimilarityOf(longer, distance);
    if (best.index < 0 || similarity > best.similarity || (similarity == best.similarity && int(index) < best.index)) {
      best.index = int(index);
      best.similarity = similarity;
    }
  }
  for (uint32_t index : touched_) shared_[index] = 0;
  touched_.clear();
  return best;
}

}  // namespace dict_tool
