#include "platform/fault_injection.h"

#include <errno.h>

#include <atomic>

namespace platform::faults {

#if defined(HANHUA_FAULT_INJECTION) && HANHUA_FAULT_INJECTION

namespace {

// The calls are counted from every thread (a file may be read in pieces
// on several at once); the plans are armed while no other thread works.
struct Plan {
  std::atomic<uint64_t> calls{0};
  uint64_t failAt = 0;  // 0: no fault armed
  bool shortTransfer = false;
};
Plan g_plans[kOperationCount];
// FillDisk: the call of fillOp that fills the disk (0: none armed), and
// whether it is full now.
Operation g_fillOp = kOperationCount;
uint64_t g_fillAt = 0;
std::atomic<bool> g_diskFull{false};

bool NeedsSpace(Operation op) { return op == kCreate || op == kWrite || op == kCopy; }

}  // namespace

bool Hit(Operation op, bool* shortTransfer) {
  Plan& plan = g_plans[op];
  const uint64_t call = ++plan.calls;
  if (op == g_fillOp && call == g_fillAt) g_diskFull = true;
  if (g_diskFull && NeedsSpace(op)) {
    errno = ENOSPC;
    return true;
  }
  if (plan.failAt == 0 || call != plan.failAt) return false;
  if (shortTransfer) *shortTransfer = plan.shortTransfer;
  return true;
}

void FailCall(Operation op, uint64_t nth, bool shortTransfer) {
  Plan& plan = g_plans[op];
  plan.failAt = nth == 0 ? 0 : plan.calls + nth;
  plan.shortTransfer = shortTransfer;
}

void FillDisk(Operation op, uint64_t nth) {
  g_fillOp = op;
  g_fillAt = nth == 0 ? 0 : g_plans[op].calls + nth;
}

void Clear() {
  for (Plan& plan : g_plans) {
    plan.calls = 0;
    plan.failAt = 0;
    plan.shortTransfer = false;
  }
  g_fillOp = kOperationCount;
  g_fillAt = 0;
  g_diskFull = false;
}

uint64_t CallCount(Operation op) { return g_plans[op].calls; }

#else

void FailCall(Operation, uint64_t, bool) {}
void FillDisk(Operation, uint64_t) {}
void Clear() {}
uint64_t CallCount(Operation) { return 0; }

#endif

}  // namespace platform::faults
