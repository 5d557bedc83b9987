#include "tools/dict/cli.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <functional>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "platform/terminal.h"
#include "tools/dict/commands.h"
#include "tools/dict/content_checks.h"
#include "tools/dict/tool_io.h"

namespace dict_tool {

namespace {

constexpr char kVersion[] = "hanhua-dict 1.1";

constexpr char kDescription[] =
    "hanhua-dict: the translator's tools for chs.txt, the dictionary that hanhua installs into the game. "
    "The loop: extract a template from the game, translate its targets, check, stats, then "
    "\"hanhua eng2chs\" and verify; after a game update, extract again and merge.";

constexpr char kConventions[] =
    "Results go to standard output; errors, warnings and notes to standard error as "
    "\"FILE:LINE: error: ...\"; progress lines only when standard error is a terminal. "
    "An output file is replaced only when it is complete and reads back as written; on any failure "
    "the file that was there stays as it was.\n"
    "Exit status: 0 all is well; 1 problems found (errors in a dictionary or a game; a translated dictionary "
    "that an output would replace); 2 a command line not understood or not allowed (an output over its "
    "own input), or a file that cannot be read or written.";

struct Options {
  GameDirs game;
  std::string input, second, output, obsolete, dictionary, encodingName = "utf-8";
  ContentRequest content;
  std::vector<std::string> checkGame;
  bool quiet = false, strict = false, all = false, keepRemarks = false, allFiles = false, force = false,
       json = false;
};

// Text wrapped at spaces into lines of at most width columns (a character
// taking one column; the texts here are ASCII), keeping its line breaks.
std::string Wrap(const std::string& text, size_t width, const std::string& indent = "") {
  std::string out;
  std::istringstream paragraphs(text);
  std::string paragraph;
  bool firstParagraph = true;
  while (std::getline(paragraphs, paragraph)) {
    if (!firstParagraph) out += '\n';
    firstParagraph = false;
    // Example lines keep their own layout.
    if (paragraph.compare(0, 2, "  ") == 0) {
      out += paragraph;
      continue;
    }
    std::istringstream words(paragraph);
    std::string word, line = indent;
    while (words >> word) {
      if (line.size() > indent.size() && line.size() + 1 + word.size() > width) {
        out += line + '\n';
        line = indent;
      }
      line += (line.size() > indent.size() ? " " : "") + word;
    }
    out += line;
  }
  return out;
}

size_t HelpWidth() {
  const int columns = platform::TerminalColumns(platform::Stream::kOut);
  if (columns <= 0) return 80;
  return size_t(std::clamp(columns - 1, 40, 120));
}

// A command: a one-line summary for the list of commands; its details and
// examples, wrapped to the terminal, for its own --help.
CLI::App* AddCommand(CLI::App& parent, const char* name, const char* summary, const std::string& details,
                     const std::string& examples) {
  CLI::App* command = parent.add_subcommand(name, summary);
  command->footer(Wrap(details, HelpWidth()) + "\n\nExample:\n" + examples);
  return command;
}

void AddGameDirs(CLI::App* command, Options* o) {
  command->add_option("PKGDIR", o->game.packageDir, "folder of the game's packages (.upk)")->required();
  command->add_option("MOVIEDIR", o->game.movieDir, "folder of the game's movies (.usm)")->required();
}

void AddOutput(CLI::App* command, Options* o, const char* what) {
  command->add_option("-o,--output", o->output, what)->required();
}

// A command that reads the one file its argument name gives and writes the
// one -o gives; once the line is parsed, run becomes the action.
void AddFileToOutput(CLI::App* command, Options* o, std::function<int()>* action, const char* name,
                     const char* what, const char* outputWhat, std::function<int(const Options&)> run) {
  command->add_option(name, o->input, what)->required();
  AddOutput(command, o, outputWhat);
  command->callback([o, action, run] { *action = [o, run] { return run(*o); }; });
}

void AddQuiet(CLI::App* command, Options* o) {
  command->add_flag("-q,--quiet", o->quiet, "no progress lines");
}

void AddJson(CLI::App* command, Options* o) {
  command->add_flag("--json", o->json, "print one JSON document on stdout instead (see the README)");
}

// po export/import and xliff export/import.
void AddInterchange(CLI::App& app, Options* o, std::function<int()>* action, Interchange format) {
  const bool po = format == Interchange::kPo;
  const std::string name = po ? "po" : "xliff", extension = po ? "po" : "xlf";
  CLI::App* group = app.add_subcommand(name, po ? "Dictionaries to and from gettext PO files"
                                                : "Dictionaries to and from XLIFF 1.2 files");
  group->require_subcommand(1);
  CLI::App* out = AddCommand(
      *group, "export", po ? "Write a dictionary as a PO file" : "Write a dictionary as an XLIFF 1.2 file",
      po ? "One message per entry: msgid the source, msgstr the translation (empty when untranslated, the "
           "source itself when marked [identical]), #. the remark, #: where extract found the text, #, fuzzy "
           "with the suggestion of a fuzzy merge. UTF-8, zh_CN."
         : "One trans-unit per entry: source, target (state translated; final when marked [identical]; "
           "needs-review-translation for the suggestion of a fuzzy merge; none when untranslated), note the "
           "remark.",
      "  hanhua-dict " + name + " export chs.txt -o chs." + extension);
  AddFileToOutput(out, o, action, "FILE", "the dictionary", po ? "the PO file to write" : "the XLIFF file to write",
                  [format](const Options& options) {
                    return RunInterchangeExport(options.input, options.output, format);
                  });
  CLI::App* in = AddCommand(
      *group, "import", po ? "Read a PO file into a dictionary" : "Read an XLIFF file into a dictionary",
      "Reads the messages back: a translation becomes the target, a translation equal to its source marks the "
      "entry [identical], an untranslated message keeps target = source, a fuzzy one (or one needing review) is "
      "kept as a suggestion in the remark and not installed. Writes the dictionary in lookup order; writes "
      "nothing when a text has errors.",
      "  hanhua-dict " + name + " import chs." + extension + " -o chs.txt");
  AddFileToOutput(in, o, action, "FILE", po ? "the PO file" : "the XLIFF file", "the dictionary to write",
                  [format](const Options& options) {
                    return RunInterchangeImport(options.input, options.output, format);
                  });
}

// Defines the commands; each sets action to its run.
void DefineCommands(CLI::App& app, Options* o, std::function<int()>* action) {
  CLI::App* extract = AddCommand(
      app, "extract", "Write a dictionary template of every text of the game",
      "Writes a dictionary template of every text the patcher translates: each DialogueText string of "
      "each dialogue event export of each listed package and each subtitle of each listed movie, read "
      "from the backups where they exist (the game's own files), else from the shipped files. One entry "
      "per distinct text (spaces at its ends left out), in lookup order, the target equal to the source "
      "(so the template changes nothing), the remark naming where the text was found. An existing file "
      "is replaced only when it is an untranslated template (or with --force).",
      "  hanhua-dict extract CookedPC Movies -o template.txt");
  AddGameDirs(extract, o);
  AddOutput(extract, o, "the template to write");
  AddQuiet(extract, o);
  extract->add_flag("--force", o->force, "replace the output even when it holds translations");
  extract->callback([o, action] { *action = [o] { return RunExtract(o->game, o->output, o->quiet, o->force); }; });

  CLI::App* check = AddCommand(
      app, "check", "Report what makes lookups fail, miss or surprise",
      "Reports, with file, line and entry, everything that makes lookups fail, miss or surprise: missing "
      "marker lines, entries out of order, duplicate sources, sources with spaces at their ends, texts "
      "holding a marker line, texts that are not UTF-8 or hold a zero byte (errors); empty targets, an "
      "empty source, targets too long for a dialogue string (warnings). Then the content checks, each a "
      "warning \"[name]\" that --skip NAME turns off: endpunc (end punctuation, the Chinese forms counting as "
      "the same), placeholders (%s, %1$s, {0}), tags (<...>), whitespace (at the ends), newlines (how many), "
      "unchanged (target = source, unless marked [identical] or listed with --allow), length (far wider than "
      "the source), width (subtitle lines), glossary (--glossary), notingame (--game: sources the game does "
      "not have). Exit status 1 on errors.",
      "  hanhua-dict check chs.txt\n  hanhua-dict check chs.txt --json > findings.json\n"
      "  hanhua-dict check chs.txt --skip unchanged --glossary terms.csv --game CookedPC Movies");
  check->add_option("FILE", o->input, "the dictionary (chs.txt)")->required();
  check->add_flag("--strict", o->strict, "warnings also give exit status 1");
  check->add_flag("--all", o->all, "show every finding, not the first 20 of each kind");
  check->add_option("--skip", o->content.skip, "turn a content check off (repeatable; the names above)")
      ->check(CLI::Validator(
          [](std::string& name) {
            ContentCheck named;
            return ContentCheckNamed(name, &named) ? std::string() : "no check " + name + "; the checks are " +
                                                                          ContentCheckNames();
          },
          "NAME"));
  check->add_option("--allow", o->content.allowFile, "a file of sources (one per line) that may stay unchanged");
  check->add_option("--glossary", o->content.glossaryFile,
                    "CSV of terms: source,target[,remark \"forbidden\"]");
  check->add_option("--game", o->checkGame, "the game's PKGDIR and MOVIEDIR: also report sources the game lacks")
      ->expected(2);
  check->add_option("--width", o->content.width, "columns a subtitle line may take (default: the widest English one)");
  AddJson(check, o);
  check->callback([o, action] {
    if (o->checkGame.size() == 2) o->content.game = {o->checkGame[0], o->checkGame[1]};
    *action = [o] { return RunCheck(o->input, o->strict, o->all, o->json, o->content); };
  });

  CLI::App* sort = AddCommand(
      app, "sort", "Rewrite a dictionary in lookup order",
      "Rewrites a dictionary in lookup order (unsigned byte order of the sources), every text byte for "
      "byte; of entries with the same source the first is kept and the others are reported.",
      "  hanhua-dict sort chs.txt -o chs.txt");
  AddFileToOutput(sort, o, action, "FILE", "the dictionary to sort", "the sorted dictionary (may be FILE itself)",
                  [](const Options& options) { return RunSort(options.input, options.output); });

  CLI::App* merge = AddCommand(
      app, "merge", "Carry translations over to a new template",
      "Carries the translations of OLD over to the entries of TEMPLATE (a new extraction): each entry of "
      "TEMPLATE takes the target of the OLD entry with its source. Lists the translations of OLD whose "
      "source the game no longer has. The output may be OLD itself.",
      "  hanhua-dict merge chs.txt template.txt -o chs.txt --obsolete obsolete.txt");
  merge->add_option("OLD", o->input, "the dictionary translated so far")->required();
  merge->add_option("TEMPLATE", o->second, "the template of the game as it is now")->required();
  AddOutput(merge, o, "the merged dictionary");
  merge->add_option("--obsolete", o->obsolete, "also write the obsolete translations to this dictionary");
  merge->add_flag("--keep-remarks", o->keepRemarks, "carry OLD's remarks too, instead of TEMPLATE's");
  AddJson(merge, o);
  merge->callback([o, action] {
    *action = [o] { return RunMerge(o->input, o->second, o->output, o->obsolete, o->keepRemarks, o->json); };
  });

  CLI::App* stats = AddCommand(
      app, "stats", "How much of the game a dictionary translates",
      "How much of the game the dictionary translates: for each package and movie with texts, the texts "
      "(empty ones not counted), how many have an entry, how many of those have a target other than "
      "their source; and the totals. Then, per file and in total, the texts by the state of their entry "
      "(translated, fuzzy, identical, untranslated) with their words. Without PKGDIR and MOVIEDIR, the "
      "dictionary's entries by state, per package or movie its remarks name.",
      "  hanhua-dict stats chs.txt CookedPC Movies\n  hanhua-dict stats chs.txt");
  stats->add_option("FILE", o->input, "the dictionary (chs.txt)")->required();
  stats->add_option("PKGDIR", o->game.packageDir, "the game's packages (.upk); without both, count by remarks");
  stats->add_option("MOVIEDIR", o->game.movieDir, "folder of the game's movies (.usm)");
  AddQuiet(stats, o);
  stats->add_flag("--all-files", o->allFiles, "list the files without texts too");
  AddJson(stats, o);
  stats->callback([o, action] {
    if (o->game.movieDir.empty() != o->game.packageDir.empty())
      throw CLI::ValidationError("stats", "give both PKGDIR and MOVIEDIR, or neither");
    *action = [o] { return RunStats(o->input, o->game, o->quiet, o->allFiles, o->json); };
  });

  CLI::App* csv = app.add_subcommand("csv", "Dictionaries to and from CSV files for spreadsheet programs");
  csv->require_subcommand(1);
  CLI::App* csvExport = AddCommand(
      *csv, "export", "Write a dictionary as a CSV file",
      "Writes the entries as RFC 4180 CSV in UTF-8 with a byte-order mark: a header record "
      "source,target,remark, then one record per entry in file order, every field quoted.",
      "  hanhua-dict csv export chs.txt -o chs.csv");
  AddFileToOutput(csvExport, o, action, "FILE", "the dictionary", "the CSV file to write (not FILE itself)",
                  [](const Options& options) { return RunCsvExport(options.input, options.output); });
  CLI::App* csvImport = AddCommand(
      *csv, "import", "Read a CSV file into a dictionary",
      "Reads an RFC 4180 CSV file in UTF-8 (byte-order mark optional; tab-separated text too). The "
      "columns are found by the names in the first record: source and target, and the remark from "
      "remark, location or context (as Translate Toolkit and Weblate name them); other columns are "
      "ignored. Checks each record's texts and writes the dictionary in lookup order; with any error "
      "nothing is written. A file saved as GBK (\"ANSI\") or UTF-16 (\"Unicode text\") is refused "
      "unless --encoding names it.",
      "  hanhua-dict csv import chs.csv -o chs.txt\n  hanhua-dict csv import ansi.csv -o chs.txt --encoding gbk");
  AddFileToOutput(csvImport, o, action, "CSV", "the CSV file", "the dictionary to write", [](const Options& options) {
    Encoding encoding = Encoding::kUtf8;
    ParseEncoding(options.encodingName, &encoding);
    return RunCsvImport(options.input, options.output, encoding);
  });
  csvImport->add_option("--encoding", o->encodingName, "the CSV file's encoding: utf-8 (the default), gbk or utf-16")
      ->check([](const std::string& name) {
        Encoding encoding;
        return ParseEncoding(name, &encoding) ? std::string() : "utf-8, gbk or utf-16, not " + name;
      });

  AddInterchange(app, o, action, Interchange::kPo);
  AddInterchange(app, o, action, Interchange::kXliff);

  CLI::App* bin = AddCommand(
      app, "bin", "Write the binary form of a dictionary",
      "Writes the binary form of the dictionary, which loads without parsing. Refuses a dictionary with "
      "errors (see check) unless --force.",
      "  hanhua-dict bin chs.txt -o chs.bin");
  AddFileToOutput(bin, o, action, "FILE", "the dictionary", "the binary dictionary to write (not FILE itself)",
                  [](const Options& options) { return RunBin(options.input, options.output, options.force); });
  bin->add_flag("--force", o->force, "write it even with errors");

  CLI::App* verify = AddCommand(
      app, "verify", "Check a game folder after \"hanhua eng2chs\"",
      "After \"hanhua eng2chs\": checks that every listed package is an uncompressed package whose "
      "tables and exports lie inside the file and whose dialogue event exports read, that every movie "
      "is a run of whole chunks, that each file holds as many texts as its backup, and counts the "
      "translated texts. With --dict, also counts the texts of the game that the dictionary translates "
      "and requires the patched files to hold as many. Exit status 1 on any problem.",
      "  hanhua-dict verify CookedPC Movies --dict chs.txt");
  AddGameDirs(verify, o);
  AddQuiet(verify, o);
  verify->add_option("--dict", o->dictionary, "the dictionary the game was patched with (chs.txt)");
  AddJson(verify, o);
  verify->callback([o, action] { *action = [o] { return RunVerify(o->game, o->dictionary, o->quiet, o->json); }; });
}

// The first word of args that is not an option, when app has commands and
// it names none of them (CLI11 would only say that a command is required).
// The command it names is checked the same way. Empty when all is well.
std::string UnknownCommand(CLI::App* app, int argc, char** argv, int from, const std::string& prefix) {
  const std::vector<CLI::App*> commands = app->get_subcommands([](CLI::App*) { return true; });
  if (commands.empty() || from >= argc || argv[from][0] == '-') return "";
  for (CLI::App* command : commands) {
    if (command->get_name() == argv[from])
      return UnknownCommand(command, argc, argv, from + 1, prefix + argv[from] + " ");
  }
  std::string message = "unknown command \"" + prefix + argv[from] + "\"; the commands are:";
  for (CLI::App* command : commands) message += " " + command->get_name();
  return message;
}

void PrintStream(const std::ostringstream& stream, platform::Stream to) {
  const std::string text = stream.str();
  if (!text.empty()) platform::WriteUtf8(to, text);
}

}  // namespace

int RunDictTool(int argc, char** argv) {
  try {
    CLI::App app(Wrap(kDescription, HelpWidth()), "hanhua-dict");
    app.footer(Wrap(kConventions, HelpWidth()));
    app.require_subcommand(1);
    // Paths may begin with a slash on every system: "/x" is never an option.
    app.allow_windows_style_options(false);
    app.set_help_all_flag("--help-all", "help for every command");
    app.set_version_flag("--version", kVersion, "the program's version");
    Options options;
    std::function<int()> action;
    DefineCommands(app, &options, &action);
    if (std::string unknown = UnknownCommand(&app, argc, argv, 1, ""); !unknown.empty()) {
      PrintDiagnostic("hanhua-dict: error: " + unknown + "\nRun with --help for more information.");
      return kExitUsage;
    }
    try {
      app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
      std::ostringstream out, err;
      const int code = app.exit(error, out, err);
      PrintStream(out, platform::Stream::kOut);
      PrintStream(err, platform::Stream::kErr);
      return code == 0 ? kExitOk : kExitUsage;
    }
    return action ? action() : kExitUsage;
  } catch (const std::bad_alloc&) {
    PrintDiagnostic("hanhua-dict: error: not enough memory");
    return kExitUsage;
  }
}

}  // namespace dict_tool
