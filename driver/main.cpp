// The program entry: hanhua eng2chs|chs2eng PKGDIR MOVIEDIR.
#include "driver/driver.h"
#include "package/package_patcher.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  platform::ConsoleInit();
  // The movie patcher is not in yet: movies are backed up but not rebuilt.
  return driver::Run(argc, argv, driver::Patchers{nullptr, package::PatchPackageFile});
}
