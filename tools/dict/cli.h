// The command line of hanhua-dict: the translator's toolkit.
//
//   hanhua-dict extract PKGDIR MOVIEDIR -o template.txt
//   hanhua-dict check chs.txt
//   hanhua-dict sort IN -o OUT
//   hanhua-dict merge OLD.txt TEMPLATE.txt -o NEW.txt
//   hanhua-dict stats chs.txt PKGDIR MOVIEDIR
//   hanhua-dict csv export chs.txt -o file.csv
//   hanhua-dict csv import file.csv -o chs.txt
//   hanhua-dict bin chs.txt -o chs.bin
//   hanhua-dict verify PKGDIR MOVIEDIR [--dict chs.txt]
//   hanhua-dict --version
#pragma once

namespace dict_tool {

// Parses the command line, runs the command and returns the exit status:
// 0 all well, 1 problems found, 2 a command line that could not be
// understood or a file that could not be read or written. Results go to
// stdout, diagnostics to stderr (tools/dict/tool_io.h).
int RunDictTool(int argc, char** argv);

}  // namespace dict_tool
