#include "tests/support/child_output_posix.h"

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace fixtures {

namespace {

// A child that has written nothing and not ended for this long has hung
// (waiting for input it will never get, say): it is killed, so the test
// fails instead of blocking the whole test run.
constexpr auto kSilenceLimit = std::chrono::minutes(3);

}  // namespace

int CollectChildOutput(int outputFd, pid_t pid, std::string* out) {
  char buffer[65536];
  bool killed = false;
  for (;;) {
    pollfd ready{outputFd, POLLIN, 0};
    const int polled = poll(&ready, 1, int(std::chrono::milliseconds(kSilenceLimit).count()));
    if (polled == 0) {
      if (killed || pid <= 0) break;  // something else holds the pipe open
      kill(pid, SIGKILL);
      killed = true;
      continue;
    }
    if (polled < 0) {
      if (errno == EINTR) continue;
      break;
    }
    const ssize_t n = read(outputFd, buffer, sizeof buffer);
    if (n <= 0) break;
    out->append(buffer, size_t(n));
  }
  close(outputFd);
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && !killed) return WEXITSTATUS(status);
  return -1;
}

}  // namespace fixtures
