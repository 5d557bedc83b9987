// The content checks as check runs them.
#pragma once

#include <string>
#include <vector>

#include "tools/dict/commands.h"
#include "tools/dict/content_checks.h"

namespace dict_tool {

// Turns the request into options: the checks skipped, the --allow and
// --glossary files read, the game's texts read when it names the game.
// kExitOk, or the status to end with (after printing why).
int PrepareContentChecks(const ContentRequest& request, ContentOptions* options, GameTextSets* game);

// Prints the findings as "PATH:LINE: warning: entry N: [name] ...", at most
// maxPerKind of each check (0: all), then a note per check with more; the
// number of findings.
int PrintContentFindings(const std::string& path, const std::vector<EntryFinding>& findings, int maxPerKind);

}  // namespace dict_tool
