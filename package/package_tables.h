// Second stage of the package patcher: the name and export tables, Object
// paths, and the walk over the exports that hands every dialogue event
// export to the dialogue text rewriter.
#pragma once

#include "package/package_image.h"

namespace package {

// Reads the tables of image, rewrites and relocates every dialogue event
// export into files.output. Returns 0 on success or the package patcher's
// failure code (after printing its message). Does not close the files.
int TranslateDialogueExports(const PackageImage& image, const PackageFiles& files);

}  // namespace package
