// First stage of the package patcher: the package summary and the
// decompression of the package's chunks.
//
// A shipped package is a summary followed by chunks. The summary (all words
// little-endian; L the folder-name length at 12, G the generation count at
// 80 + L, P = 84 + L + 12G):
//   0 tag 0x9E2A83C1 | 4 version word | 8 (copied) | 12 L | 16 folder name
//   16+L package flags | 20+L .. 40+L name, export and import counts and
//   offsets | 44+L 36 bytes (copied) | 80+L G | 84+L generations, 12 bytes
//   each | P two words (copied) | P+8 compression flags (1 zlib, 2 LZO)
//   | P+12 chunk count N | P+16 chunk table, 16 bytes per chunk
//   | P+16+16N the rest of the summary, up to the first chunk.
// A chunk record holds the uncompressed offset (unused), the uncompressed
// size U, the chunk's position C in the file and its compressed size
// (unused). At C: a 16-byte chunk header (tag, block size B, compressed
// size, uncompressed size T), a table of n = ceil(T / B) pairs (compressed
// size c, uncompressed size u), then the blocks' data back to back.
//
// The uncompressed package, as written to the output file: the summary up to
// the chunk count with bits 24 to 27 of the package flags cleared and the
// compression flags and chunk count set to 0; the summary bytes between the
// chunk table and the first chunk; every chunk's U bytes in table order.
// Block j of a chunk fills the chunk from byte j * B; bytes no block fills
// stay zero. (Packages as shipped always use B = 128 KiB; a package written
// with another block size cut its blocks at multiples of that size, so they
// are put back there too.)
#pragma once

#include <cstdint>

#include "package/package_failure.h"
#include "package/package_image.h"
#include "platform/platform.h"

namespace package {

struct TranslatedAhead;

// How many threads decompress the blocks of a chunk: the value of the
// environment variable HANHUA_THREADS when it is a number from 1 to 8 (1:
// the calling thread alone, block after block), otherwise the processor
// count, at most 8. The environment is read once per process. Whatever the
// count, the files written, the messages printed and the codes returned are
// those of one thread working through the blocks in table order.
unsigned DecompressionThreads();
// What DecompressionThreads gives for the variable's value (null when it is
// not set) and the processor count. Any value but "1" to "8" is ignored.
unsigned ChooseDecompressionThreads(const char* setting, unsigned processors);
// Makes DecompressionThreads give threads (at most 8) from now on; 0 goes
// back to the environment and the processor count. For tests.
void SetDecompressionThreads(unsigned threads);

// A limit on the bytes that a backup and its image take together, for a
// package built ahead of its turn (package_pipeline.h); kNoBudget for none.
inline constexpr uint64_t kNoBudget = UINT64_MAX;

// Reads the whole backup, checks its summary and builds the uncompressed
// package in memory: image (size bytes followed by 4 zero bytes). A package
// whose backup and image would take more than budget bytes together is not
// built (kOutOfMemory, found before the image is allocated). The backup's
// buffer is released before it returns.
Failure BuildPackageImage(platform::File backup, ImageBytes* image, uint32_t* size,
                          uint64_t budget = kNoBudget);

// Makes data (size bytes followed by 4 zero bytes) into image, with the six
// table fields of its summary. False, with data released, when the summary
// does not hold them.
bool TakeImage(ImageBytes data, uint32_t size, PackageImage* image);

// Writes the image that BuildPackageImage gives (or the one built ahead for
// this package, when there is one: package_pipeline.h) to output (a new,
// empty file) with one write, and hands that same memory over as image
// (size + 4 zero bytes, with the six table fields of its summary). The
// backup's buffer is released before the write. outputPath, the shipped
// path, tells which package's image was built ahead; with translated, the
// translation made ahead with that image is handed over too (left not done
// when there is none).
Failure WriteUncompressedPackage(platform::File backup, platform::File output, const char* outputPath,
                                 PackageImage* image, TranslatedAhead* translated = nullptr);

// Reads the package file at path into image without writing anything: a
// compressed package is uncompressed in memory into the bytes that
// WriteUncompressedPackage writes for it, an uncompressed one (compression
// flags 0) is taken as it is; *compressed tells which. kBackupUnopened for a
// file that cannot be opened, kWrongTag for a file that is no package,
// kDamaged for a summary without its table fields.
Failure LoadPackageImage(const char* path, PackageImage* image, bool* compressed);

}  // namespace package
