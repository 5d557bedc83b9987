// hanhua-dict-bench: the translator's toolkit on a game-sized dictionary.
// Times, each command run in this process as the command line runs it:
//
//   po export + po import     the dictionary out to PO and back
//   xliff export + import     the same through XLIFF
//   check                     every structural and content check (20 shown
//                             per kind, as by default); with CORPUSDIR also
//                             notingame, which reads the whole game first
//   merge                     onto a template in which 5 % of the texts
//                             changed slightly (a letter or the end
//                             punctuation), so that each of them is matched
//                             fuzzily against the old translations; and
//                             onto one with 5 % new texts, which match
//                             nothing (the search's worst case)
//
// Usage: hanhua-dict-bench [CORPUSDIR]
// The dictionary is CORPUSDIR/chs.txt (bench/make-corpus), or, without
// CORPUSDIR, the same dictionary (scale 1) written to a scratch folder.
// Prints one line per step: "name seconds S" and what the command reported.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/corpus.h"
#include "platform/platform.h"
#include "tools/dict/cli.h"
#include "tools/dict/dict_build.h"
#include "tools/dict/dict_file.h"
#include "tests/support/capture_stdout.h"
#include "tests/support/demo_game.h"
#include "tests/support/files.h"

namespace {

struct Step {
  std::string name;
  double seconds = 0;
  int status = 0;
  std::string said;  // the command's last line on stdout
};

std::string LastLine(const std::string& text) {
  size_t end = text.size();
  while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r')) --end;
  const size_t begin = text.rfind('\n', end == 0 ? 0 : end - 1);
  return text.substr(begin == std::string::npos ? 0 : begin + 1, end - (begin == std::string::npos ? 0 : begin + 1));
}

Step Run(const std::string& name, std::vector<std::string> args) {
  args.insert(args.begin(), "hanhua-dict");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  Step step{name, 0, 0, ""};
  fixtures::CaptureStdout capture;
  const auto start = std::chrono::steady_clock::now();
  step.status = dict_tool::RunDictTool(int(argv.size()), argv.data());
  step.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  step.said = LastLine(capture.Finish());
  return step;
}

// A slight change of a text: its end punctuation, or one letter; or, for
// fresh, a new text (the old one backwards), which nothing matches.
std::string Changed(const std::string& text, size_t n, bool fresh) {
  std::string t = text;
  if (fresh) return std::string(t.rbegin(), t.rend());
  if (n % 2 == 0 && !t.empty() && (t.back() == '.' || t.back() == '?')) {
    t.back() = '!';
  } else {
    const size_t at = t.size() / 2;
    t[at] = t[at] == 'e' ? 'a' : 'e';
  }
  return t;
}

// The template of a game update: the dictionary's sources, every 20th
// changed slightly; targets equal to the sources.
bool WriteTemplate(const std::string& dictionary, const std::string& path, bool fresh, size_t* changed) {
  dict_tool::DictFile file;
  dict_tool::LoadError error;
  if (!dict_tool::LoadDictFile(dictionary, &file, &error)) return false;
  std::vector<dict_tool::Entry> entries = dict_tool::EntriesOf(file);
  *changed = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    dict_tool::Entry& e = entries[i];
    if (i % 20 == 7) {
      e.source = Changed(e.source, i / 20, fresh);
      ++*changed;
    }
    e.target = e.source;
  }
  dict_tool::SortForLookup(&entries);
  dict_tool::KeepFirstOfEqualSources(&entries, nullptr);
  dict_tool::Diagnostics diagnostics(dict_tool::Diagnostics::Mode::kCollect);
  return dict_tool::WriteDictionary(entries, path, dict_tool::Form::kText, &diagnostics);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
    std::fprintf(stderr, "usage: hanhua-dict-bench [CORPUSDIR]\n");
    return 2;
  }
  fixtures::TempDir scratch;
  std::string dictionary = scratch.File("chs.txt");
  if (argc == 2) {
    dictionary = std::string(argv[1]) + "/chs.txt";
  } else if (!fixtures::WriteFileText(dictionary, fixtures::DictionaryText(bench::DictionaryEntries(1.0)))) {
    std::fprintf(stderr, "cannot write %s\n", dictionary.c_str());
    return 1;
  }
  const std::string po = scratch.File("chs.po"), xliff = scratch.File("chs.xlf"),
                    back = scratch.File("back.txt"), templ = scratch.File("template.txt"),
                    merged = scratch.File("merged.txt"), freshTempl = scratch.File("fresh.txt");
  size_t changed = 0, fresh = 0;
  if (!WriteTemplate(dictionary, templ, false, &changed) || !WriteTemplate(dictionary, freshTempl, true, &fresh)) {
    std::fprintf(stderr, "cannot read %s or write the template\n", dictionary.c_str());
    return 1;
  }
  std::vector<Step> steps;
  steps.push_back(Run("po export", {"po", "export", dictionary, "-o", po}));
  steps.push_back(Run("po import", {"po", "import", po, "-o", back}));
  steps.push_back(Run("xliff export", {"xliff", "export", dictionary, "-o", xliff}));
  steps.push_back(Run("xliff import", {"xliff", "import", xliff, "-o", back}));
  if (argc == 2) {
    const std::string corpus = argv[1];
    steps.push_back(Run("check (every check, --game)",
                        {"check", dictionary, "--game", corpus + "/CookedPC", corpus + "/Movies"}));
  } else {
    steps.push_back(Run("check (every check but notingame)", {"check", dictionary}));
  }
  steps.push_back(Run("merge (" + std::to_string(changed) + " texts changed)", {"merge", dictionary, templ, "-o", merged}));
  steps.push_back(Run("merge (" + std::to_string(fresh) + " texts new)", {"merge", dictionary, freshTempl, "-o", merged}));
  std::printf("dictionary %s\n", dictionary.c_str());
  for (const Step& s : steps)
    std::printf("%-36s seconds %6.3f  status %d  %s\n", s.name.c_str(), s.seconds, s.status, s.said.c_str());
  std::printf("%-36s seconds %6.3f\n", "po export + import", steps[0].seconds + steps[1].seconds);
  return 0;
}
