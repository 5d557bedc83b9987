// Bytes like those of an uncompressed package, for compression tests and
// benchmarks: deterministic for a seed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fixtures {

// size bytes of names and text, little-endian tables of indices and offsets,
// runs of one byte and (with noise) incompressible stretches, as packed
// textures are.
std::vector<uint8_t> PackageLikeData(size_t size, uint32_t seed, bool noise = true);

}  // namespace fixtures
