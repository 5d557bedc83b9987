// What the first stage of the package patcher (summary and decompression)
// hands to the second (name and export tables): the uncompressed package,
// built in memory and written to the output file whole, the two open files,
// and the six table fields of the package summary.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "platform/platform.h"

namespace package {

// The bytes of an image, allocated zero-filled by calloc, which leaves the
// pages of a large buffer untouched (and so unpaid for) until they are used.
struct FreeImageBytes {
  void operator()(uint8_t* bytes) const { std::free(bytes); }
};
using ImageBytes = std::unique_ptr<uint8_t[], FreeImageBytes>;

// size bytes, all zero; empty when memory is short.
inline ImageBytes AllocateImageBytes(uint64_t size) {
  if (size > SIZE_MAX) return nullptr;
  return ImageBytes(static_cast<uint8_t*>(std::calloc(size_t(size), 1)));
}

// size bytes of undefined content, for a caller that writes every one of
// them (memory kept from an earlier package would otherwise be cleared
// first, only to be overwritten); empty when memory is short.
inline ImageBytes AllocateUnfilledImageBytes(uint64_t size) {
  if (size > SIZE_MAX) return nullptr;
  return ImageBytes(static_cast<uint8_t*>(std::malloc(size_t(size))));
}

struct PackageImage {
  // The uncompressed package, byte for byte the output file as written:
  // size bytes, followed by 4 zero bytes. Every table offset and serial
  // offset is a position in it and in the output file alike.
  ImageBytes data;
  uint32_t size = 0;

  // Summary fields at 20 + L .. 40 + L (L: the folder-name length).
  uint32_t nameCount = 0;
  uint32_t nameOffset = 0;
  uint32_t exportCount = 0;
  uint32_t exportOffset = 0;
  uint32_t importCount = 0;
  uint32_t importOffset = 0;
};

struct PackageFiles {
  platform::File backup = platform::kNoFile;  // open for reading only
  platform::File output = platform::kNoFile;  // open for reading and writing
  const char* outputPath = nullptr;           // the shipped path
};

}  // namespace package
