#include "package/package_tables.h"

namespace package {

// Placeholder until the name and export tables are read: nothing to translate.
int TranslateDialogueExports(const PackageImage&, const PackageFiles&) { return 0; }

}  // namespace package
