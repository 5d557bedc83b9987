// hanhua-dict: the translator's toolkit for chs.txt (see tools/dict/cli.h).
#include "platform/platform.h"
#include "platform/terminal.h"
#include "tools/dict/cli.h"

int main(int argc, char** argv) {
  platform::ConsoleInit();
  // Standard output holds the results alone (a JSON document, say): the
  // messages that the patcher's own modules print while the toolkit reads
  // a damaged package go to standard error with the toolkit's diagnostics.
  platform::SeparateResults();
  return dict_tool::RunDictTool(argc, argv);
}
