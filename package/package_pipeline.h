// The package patcher's pipeline: while one package is written, the
// packages after it are read, decompressed and their dialogue translated by
// a helper thread, so that both cores work through the whole run.
//
// The driver announces the packages a few places ahead of the one it
// patches (PreparePackage; the first ones before the movies, which are
// rebuilt meanwhile). A builder on a helper thread takes them up in order
// and builds their images from their backups, which the patcher will read
// (a package without a backup yet, in the first run, is built in its turn:
// the file itself is about to be moved aside, which Windows does not do to
// a file open for reading). It goes
// on from one package to the next without waiting for the patcher, so that
// a package that takes long to write does not leave the helper idle. When
// the patcher reaches a package, WriteUncompressedPackage takes its image
// instead of building it (waiting for the builder, and helping it, when the
// image is still being built), after checking that the backup is still the
// very file that was read (same file, size and modification time). Its
// translation is used when the dictionary that the package sees in its
// turn is the very load that the builder translated it with.
//
// Nothing observable changes: a build ahead prints nothing, and whatever
// goes wrong with it (a damaged package, a failed read, no memory, a file
// changed since) only means the package is built again in its turn, which
// prints its messages in order. Files, console bytes and codes are those of
// a run without the pipeline.
//
// The pipeline runs when there is more than one decompression thread and
// the environment variable HANHUA_PIPELINE is not "0" (read once per
// process; HANHUA_PIPELINE=0 is for comparing runs). Memory: the images
// built ahead and their translated bodies, with the backup and image of the
// one being built, take at
// most half the largest image of the run so far, or 8 MiB where that is
// more; a package that does not fit beside the images held waits until
// they are taken, and one that does not fit alone is built in its turn. So
// the run holds at most that much besides the image being written.
#pragma once

#include <cstdint>

#include "package/package_image.h"

namespace package {

struct TranslatedAhead;

// Whether the pipeline runs in this process (see above).
bool PipelineEnabled();
// Makes PipelineEnabled give on (1) or off (0) from now on; -1 goes back to
// the environment. For tests.
void SetPipeline(int on);

// Announces the listed package whose shipped file is filePath: its image is
// built ahead when the builder comes to it. The driver announces the
// packages in the order it patches them. With null, returns once the
// builder is idle: every package announced so far built, found not to fit,
// or waiting for room. Does nothing when the pipeline is off.
void PreparePackage(const char* filePath);

// Hands over the image built ahead for the package whose shipped file is
// filePath, when there is one and its backup ("<filePath>.bak") is still the
// file it was built from, with its translation made ahead (when translated
// is not null). False otherwise (then nothing is held for it, and the
// builder is stopped until ResumePreparing, so that the package built in
// its turn gets the help of the thread it would keep busy).
bool TakePreparedImage(const char* filePath, PackageImage* image, TranslatedAhead* translated);

// Lets the builder go on with the packages announced, once the patcher
// holds the image of the package in its turn (taken or built).
void ResumePreparing();

// Notes the size of an image the patcher holds, for the memory rule above.
void NoteImageSize(uint32_t size);

}  // namespace package
