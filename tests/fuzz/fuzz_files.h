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

// For targets whose code reads "chs.txt" from the current directory: makes
// the scratch directory the current one. libFuzzer reads its arguments only
// after LLVMFuzzerInitialize returns, so the corpus directories and the
// artifact prefix among them are made absolute first, to keep naming the
// caller's directories. Call from LLVMFuzzerInitialize; false on failure.
bool EnterScratchDir(int* argc, char*** argv);

}  // namespace fuzz
