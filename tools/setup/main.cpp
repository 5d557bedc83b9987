// hanhua-setup: the players' installer (see tools/setup/setup_app.h).
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tools/setup/setup_app.h"

int main(int argc, char** argv) {
  platform::ConsoleInit();
  platform::KeepFreedMemory();
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return setup::RunSetup(args, setup::ThisProcessEnvironment());
}
