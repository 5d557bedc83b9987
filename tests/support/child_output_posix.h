// The output of a test's child process (POSIX test builds only).
#pragma once

#include <sys/types.h>

#include <string>

namespace fixtures {

// Appends what the child writes to outputFd up to its end to *out, closes
// outputFd, then waits for child pid. Returns its exit code, or -1 when it
// did not exit normally or was killed for staying silent for minutes.
int CollectChildOutput(int outputFd, pid_t pid, std::string* out);

}  // namespace fixtures
