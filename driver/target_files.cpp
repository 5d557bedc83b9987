#include "driver/target_files.h"

namespace driver {

const char* const kTargetFiles[kTargetFileCount] = {
#include "target_files.inc"
};

}  // namespace driver
