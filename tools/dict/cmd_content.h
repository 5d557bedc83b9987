// The content checks as check runs them.
#pragma once

#include <string>
#include <vector>

#include "tools/dict/commands.h"
#include "tools/dict/content_checks.h"
#include "tools/dict/diagnostics.h"

namespace dict_tool {

// Turns the request into options: the checks skipped, the --allow and
// --glossary files read, the game's texts read when it names the game.
// False after reporting why it cannot be done.
bool PrepareContentChecks(const ContentRequest& request, ContentOptions* options, GameTextSets* game,
                          Diagnostics* diagnostics);

// Reports the findings as warnings "PATH:LINE: warning: entry N: [name] ...",
// check name name. When diagnostics print, at most maxPerKind of each check
// are printed (0: all) and one note counts the rest.
void ReportContentFindings(const std::string& path, const std::vector<EntryFinding>& findings, int maxPerKind,
                           Diagnostics* diagnostics);

}  // namespace dict_tool
