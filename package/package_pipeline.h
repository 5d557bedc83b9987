// The package patcher's pipeline: while one package is written and its
// dialogue translated, the next one is read and decompressed by a helper
// thread, so that both cores work through the whole run.
//
// The driver announces the package it will patch after the current one
// (PreparePackage, before it patches the current one; the first package
// before the movies, which are rebuilt meanwhile); its image is built in
// the background from the file the patcher will read: its backup where one
// exists already, else the file itself, which the driver is about to move
// aside to that backup (the move keeps the file as it is). When the patcher
// reaches that package, WriteUncompressedPackage takes the image instead of
// building it, after checking that the backup is still the very file that
// was read (same file, size and modification time).
//
// Nothing observable changes: a build ahead prints nothing, and whatever
// goes wrong with it (a damaged package, a failed read, no memory, a file
// changed since) only means the package is built again in its turn, which
// prints its messages in order. Files, console bytes and codes are those of
// a run without the pipeline.
//
// The pipeline runs when there is more than one decompression thread and
// the environment variable HANHUA_PIPELINE is not "0" (read once per
// process; HANHUA_PIPELINE=0 is for comparing runs). Memory: a package is
// built ahead only when its backup and image take at most half the largest
// image of the run so far, or 8 MiB where that is more, so the run holds
// at most that much besides the image being written.
#pragma once

#include <cstdint>

#include "package/package_image.h"

namespace package {

// Whether the pipeline runs in this process (see above).
bool PipelineEnabled();
// Makes PipelineEnabled give on (1) or off (0) from now on; -1 goes back to
// the environment. For tests.
void SetPipeline(int on);

// Called by the driver before the movies with the path of the first listed
// package, and before it patches a package with the path of the listed file
// it patches next (null after the last). Waits for the build
// ahead of the package about to be patched, keeps it for that package and
// starts building filePath's. Does nothing when the pipeline is off.
void PreparePackage(const char* filePath);

// Hands over the image built ahead for the package whose shipped file is
// filePath, when there is one and its backup ("<filePath>.bak") is still the
// file it was built from. False otherwise (then nothing is held for it).
bool TakePreparedImage(const char* filePath, ImageBytes* image, uint32_t* size);

// Notes the size of an image the patcher holds, for the memory rule above.
void NoteImageSize(uint32_t size);

}  // namespace package
