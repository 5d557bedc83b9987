#include "tools/dict/cli.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tools/dict/commands.h"
#include "tools/dict/content_checks.h"
#include "tools/dict/tool_io.h"

namespace dict_tool {

namespace {

constexpr char kDescription[] =
    "hanhua-dict: the translator's tools for chs.txt, the dictionary that hanhua installs into the game.\n"
    "The loop: extract a template from the game, translate its targets, check, stats, then\n"
    "\"hanhua eng2chs\" and verify; after a game update, extract again and merge.";

struct Options {
  GameDirs game;
  std::string input, second, output, obsolete;
  ContentRequest content;
  std::vector<std::string> checkGame;
  bool quiet = false, strict = false, all = false, keepRemarks = false, allFiles = false, force = false;
};

// A command: a one-line summary for the list of commands, the details for
// its own --help.
CLI::App* AddCommand(CLI::App& parent, const char* name, const char* summary, const char* details) {
  CLI::App* command = parent.add_subcommand(name, summary);
  command->footer(details);
  return command;
}

void AddGameDirs(CLI::App* command, Options* o) {
  command->add_option("PKGDIR", o->game.packageDir, "folder of the game's packages (.upk)")->required();
  command->add_option("MOVIEDIR", o->game.movieDir, "folder of the game's movies (.usm)")->required();
}

void AddOutput(CLI::App* command, Options* o, const char* what) {
  command->add_option("-o,--output", o->output, what)->required();
}

void AddQuiet(CLI::App* command, Options* o) {
  command->add_flag("-q,--quiet", o->quiet, "no progress lines");
}

// po export/import and xliff export/import.
void AddInterchange(CLI::App& app, Options* o, std::function<int()>* action, Interchange format) {
  const bool po = format == Interchange::kPo;
  CLI::App* group = app.add_subcommand(po ? "po" : "xliff", po ? "Dictionaries to and from gettext PO files"
                                                                : "Dictionaries to and from XLIFF 1.2 files");
  group->require_subcommand(1);
  CLI::App* out = AddCommand(
      *group, "export", po ? "Write a dictionary as a PO file" : "Write a dictionary as an XLIFF 1.2 file",
      po ? "One message per entry: msgid the source, msgstr the translation (empty when untranslated, the "
           "source itself when marked [identical]), #. the remark, #: where extract found the text, #, fuzzy "
           "with the suggestion of a fuzzy merge. UTF-8, zh_CN."
         : "One trans-unit per entry: source, target (state translated; final when marked [identical]; "
           "needs-review-translation for the suggestion of a fuzzy merge; none when untranslated), note the "
           "remark.");
  out->add_option("FILE", o->input, "the dictionary")->required();
  AddOutput(out, o, po ? "the PO file to write" : "the XLIFF file to write");
  out->callback([o, action, format] { *action = [o, format] { return RunInterchangeExport(o->input, o->output, format); }; });
  CLI::App* in = AddCommand(
      *group, "import", po ? "Read a PO file into a dictionary" : "Read an XLIFF file into a dictionary",
      "Reads the messages back: a translation becomes the target, a translation equal to its source marks the "
      "entry [identical], an untranslated message keeps target = source, a fuzzy one (or one needing review) is "
      "kept as a suggestion in the remark and not installed. Writes the dictionary in lookup order; writes "
      "nothing when a text has errors.");
  in->add_option("FILE", o->input, po ? "the PO file" : "the XLIFF file")->required();
  AddOutput(in, o, "the dictionary to write");
  in->callback([o, action, format] { *action = [o, format] { return RunInterchangeImport(o->input, o->output, format); }; });
}

// Defines the commands; each sets action to its run.
void DefineCommands(CLI::App& app, Options* o, std::function<int()>* action) {
  CLI::App* extract = AddCommand(
      app, "extract", "Write a dictionary template of every text of the game",
      "Writes a dictionary template of every text the patcher translates: each DialogueText string of "
      "each dialogue event export of each listed package and each subtitle of each listed movie, read "
      "from the backups where they exist (the game's own files), else from the shipped files. One entry "
      "per distinct text (spaces at its ends left out), in lookup order, the target equal to the source "
      "(so the template changes nothing), the remark naming where the text was found.");
  AddGameDirs(extract, o);
  AddOutput(extract, o, "the template to write");
  AddQuiet(extract, o);
  extract->callback([o, action] { *action = [o] { return RunExtract(o->game, o->output, o->quiet); }; });

  CLI::App* check = AddCommand(
      app, "check", "Report what makes lookups fail, miss or surprise",
      "Reports, with file, line and entry, everything that makes lookups fail, miss or surprise: missing "
      "marker lines, entries out of order, duplicate sources, sources with spaces at their ends, texts "
      "holding a marker line, texts that are not UTF-8 or hold a zero byte (errors); empty targets, an "
      "empty source, targets too long for a dialogue string (warnings). Then the content checks, each a "
      "warning \"[name]\" that --skip NAME turns off: endpunc (end punctuation, the Chinese forms counting as the same), placeholders "
      "(%s, %1$s, {0}), tags (<...>), whitespace (at the ends), newlines (how many), unchanged (target = source, "
      "unless marked [identical] or listed with --allow), length (far wider than the source), width (subtitle "
      "lines), glossary (--glossary), notingame (--game: sources the game does not have). Exit status 1 on "
      "errors.");
  check->add_option("FILE", o->input, "the dictionary (chs.txt)")->required();
  check->add_flag("--strict", o->strict, "warnings also give exit status 1");
  check->add_flag("--all", o->all, "show every finding, not the first 20 of each kind");
  check->add_option("--skip", o->content.skip, "turn a content check off (repeatable): " + ContentCheckNames());
  check->add_option("--allow", o->content.allowFile, "a file of sources (one per line) that may stay unchanged");
  check->add_option("--glossary", o->content.glossaryFile,
                    "a CSV file source,target,remark: the target term required for the source term, or "
                    "forbidden when the remark says so");
  check->add_option("--game", o->checkGame, "the game's PKGDIR and MOVIEDIR: also report sources the game lacks")
      ->expected(2);
  check->add_option("--width", o->content.width, "columns a subtitle line may take (default: the widest English one)");
  check->callback([o, action] {
    if (o->checkGame.size() == 2) o->content.game = {o->checkGame[0], o->checkGame[1]};
    *action = [o] { return RunCheck(o->input, o->strict, o->all, o->content); };
  });

  CLI::App* sort = AddCommand(
      app, "sort", "Rewrite a dictionary in lookup order",
      "Rewrites a dictionary in lookup order (unsigned byte order of the sources), every text byte for "
      "byte; of entries with the same source the first is kept and the others are reported.");
  sort->add_option("FILE", o->input, "the dictionary to sort")->required();
  AddOutput(sort, o, "the sorted dictionary (may be FILE itself)");
  sort->callback([o, action] { *action = [o] { return RunSort(o->input, o->output); }; });

  CLI::App* merge = AddCommand(
      app, "merge", "Carry translations over to a new template",
      "Carries the translations of OLD over to the entries of TEMPLATE (a new extraction): each entry of "
      "TEMPLATE takes the target of the OLD entry with its source. Lists the translations of OLD whose "
      "source the game no longer has.");
  merge->add_option("OLD", o->input, "the dictionary translated so far")->required();
  merge->add_option("TEMPLATE", o->second, "the template of the game as it is now")->required();
  AddOutput(merge, o, "the merged dictionary");
  merge->add_option("--obsolete", o->obsolete, "also write the obsolete translations to this dictionary");
  merge->add_flag("--keep-remarks", o->keepRemarks, "carry OLD's remarks too, instead of TEMPLATE's");
  merge->callback([o, action] {
    *action = [o] { return RunMerge(o->input, o->second, o->output, o->obsolete, o->keepRemarks); };
  });

  CLI::App* stats = AddCommand(
      app, "stats", "How much of the game a dictionary translates",
      "How much of the game the dictionary translates: for each package and movie with texts, the texts "
      "(empty ones not counted), how many have an entry, how many of those have a target other than "
      "their source; and the totals. Then, per file and in total, the texts by the state of their entry "
      "(translated, fuzzy, identical, untranslated) with their words. Without PKGDIR and MOVIEDIR, the "
      "dictionary's entries by state, per package or movie its remarks name.");
  stats->add_option("FILE", o->input, "the dictionary (chs.txt)")->required();
  stats->add_option("PKGDIR", o->game.packageDir, "folder of the game's packages (.upk); without it, the "
                                                  "dictionary's entries are counted by the file their remark names");
  stats->add_option("MOVIEDIR", o->game.movieDir, "folder of the game's movies (.usm)");
  AddQuiet(stats, o);
  stats->add_flag("--all-files", o->allFiles, "list the files without texts too");
  stats->callback([o, action] {
    if (o->game.movieDir.empty() != o->game.packageDir.empty())
      throw CLI::ValidationError("stats", "give both PKGDIR and MOVIEDIR, or neither");
    *action = [o] { return RunStats(o->input, o->game, o->quiet, o->allFiles); };
  });

  CLI::App* csv = app.add_subcommand("csv", "Dictionaries to and from CSV files for spreadsheet programs");
  csv->require_subcommand(1);
  CLI::App* csvExport = AddCommand(
      *csv, "export", "Write a dictionary as a CSV file",
      "Writes the entries as RFC 4180 CSV in UTF-8 with a byte-order mark: a header record "
      "source,target,remark, then one record per entry in file order, every field quoted.");
  csvExport->add_option("FILE", o->input, "the dictionary")->required();
  AddOutput(csvExport, o, "the CSV file to write");
  csvExport->callback([o, action] { *action = [o] { return RunCsvExport(o->input, o->output); }; });
  CLI::App* csvImport = AddCommand(
      *csv, "import", "Read a CSV file into a dictionary",
      "Reads an RFC 4180 CSV file (UTF-8, byte-order mark optional, header source,target[,remark]), "
      "checks each record's texts, and writes the dictionary in lookup order, keeping the first of "
      "records with the same source.");
  csvImport->add_option("CSV", o->input, "the CSV file")->required();
  AddOutput(csvImport, o, "the dictionary to write");
  csvImport->callback([o, action] { *action = [o] { return RunCsvImport(o->input, o->output); }; });

  AddInterchange(app, o, action, Interchange::kPo);
  AddInterchange(app, o, action, Interchange::kXliff);

  CLI::App* bin = AddCommand(
      app, "bin", "Write the binary form of a dictionary",
      "Writes the binary form of the dictionary, which loads without parsing. Refuses a dictionary with "
      "errors (see check) unless --force.");
  bin->add_option("FILE", o->input, "the dictionary")->required();
  AddOutput(bin, o, "the binary dictionary to write");
  bin->add_flag("--force", o->force, "write it even with errors");
  bin->callback([o, action] { *action = [o] { return RunBin(o->input, o->output, o->force); }; });

  CLI::App* verify = AddCommand(
      app, "verify", "Check a game folder after \"hanhua eng2chs\"",
      "After \"hanhua eng2chs\": checks that every listed package is an uncompressed package whose "
      "tables and exports lie inside the file and whose dialogue event exports read, that every movie "
      "is a run of whole chunks, that each file holds as many texts as its backup, and counts the "
      "translated texts. Exit status 1 on any problem.");
  AddGameDirs(verify, o);
  AddQuiet(verify, o);
  verify->callback([o, action] { *action = [o] { return RunVerify(o->game, o->quiet); }; });
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

void PrintStream(const std::ostringstream& stream) {
  const std::string text = stream.str();
  if (!text.empty()) platform::ConsolePrintf("%s", text.c_str());
}

}  // namespace

int RunDictTool(int argc, char** argv) {
  try {
    CLI::App app(kDescription, "hanhua-dict");
    app.require_subcommand(1);
    app.set_help_all_flag("--help-all", "help for every command");
    Options options;
    std::function<int()> action;
    DefineCommands(app, &options, &action);
    if (std::string unknown = UnknownCommand(&app, argc, argv, 1, ""); !unknown.empty()) {
      platform::ConsolePrintf("%s\nRun with --help for more information.\n", unknown.c_str());
      return kExitUsage;
    }
    try {
      app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
      std::ostringstream out, err;
      const int code = app.exit(error, out, err);
      PrintStream(out);
      PrintStream(err);
      return code == 0 ? kExitOk : kExitUsage;
    }
    return action ? action() : kExitUsage;
  } catch (const std::bad_alloc&) {
    platform::ConsolePrintf("error: not enough memory\n");
    return kExitProblems;
  }
}

}  // namespace dict_tool
