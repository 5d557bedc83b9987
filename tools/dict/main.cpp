// hanhua-dict: the translator's toolkit for chs.txt (see tools/dict/cli.h).
#include "platform/platform.h"
#include "tools/dict/cli.h"

int main(int argc, char** argv) {
  platform::ConsoleInit();
  return dict_tool::RunDictTool(argc, argv);
}
