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

// The set-up of a target whose code reads "chs.txt": console texts in GBK,
// dictionaryText written to chs.txt in the scratch directory, which becomes
// the current one (EnterScratchDir), and with quiet, standard output
// discarded (the patchers print their failures; what counts is the fuzzer's
// own output on stderr). Call from LLVMFuzzerInitialize; false on failure.
bool PrepareDictionaryTarget(const std::string& dictionaryText, bool quiet, int* argc, char*** argv);

// The chs.txt of the package targets: "Hello", and "Yes" with a translation
// longer than itself.
extern const char kPackageDictionary[];

}  // namespace fuzz
