// Shared by the fuzz targets: a private scratch directory for the files that
// the patchers read and write, made once per process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// The scratch directory, created on first use and never shared with another
// process.
const std::string& ScratchDir();
// Writes data to ScratchDir()/name, replacing it; returns the full path.
std::string WriteScratchFile(const std::string& name, const uint8_t* data, size_t size);

}  // namespace fuzz
