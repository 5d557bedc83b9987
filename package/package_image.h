// What the first stage of the package patcher (summary and decompression)
// hands to the second (name and export tables): the uncompressed package as
// written to the output file and read back whole, the two open files, and
// the six table fields of the package summary.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/platform.h"

namespace package {

struct PackageImage {
  // The output file read back: size bytes, followed by 4 zero bytes. Every
  // table offset and serial offset is a position in it and in the output
  // file alike.
  std::unique_ptr<uint8_t[]> data;
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
