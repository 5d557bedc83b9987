#include "tests/support/child_output_posix.h"

#include <sys/wait.h>
#include <unistd.h>

namespace fixtures {

int CollectChildOutput(int outputFd, pid_t pid, std::string* out) {
  char buffer[65536];
  ssize_t n;
  while ((n = read(outputFd, buffer, sizeof buffer)) > 0) out->append(buffer, size_t(n));
  close(outputFd);
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) return WEXITSTATUS(status);
  return -1;
}

}  // namespace fixtures
