// The program entry: hanhua eng2chs|chs2eng PKGDIR MOVIEDIR.
#include "driver/driver.h"
#include "movie/movie_patcher.h"
#include "package/package_patcher.h"
#include "package/package_pipeline.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  platform::ConsoleInit();
  platform::KeepFreedMemory();
  return driver::Run(argc, argv,
                     driver::Patchers{PatchMovieFile, package::PatchPackageFile, package::PreparePackage,
                                      movie::RebuildMovieFile, package::RebuildPackageFile});
}
