// The program entry: hanhua eng2chs|chs2eng PKGDIR MOVIEDIR.
#include "driver/driver.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  platform::ConsoleInit();
  // Until the two patchers land, eng2chs makes the backups and calls none.
  return driver::Run(argc, argv, driver::Patchers{nullptr, nullptr});
}
