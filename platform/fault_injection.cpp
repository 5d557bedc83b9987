#include "platform/fault_injection.h"

#include <errno.h>

namespace platform::faults {

#if defined(HANHUA_FAULT_INJECTION) && HANHUA_FAULT_INJECTION

namespace {

struct Plan {
  uint64_t calls = 0;
  uint64_t failAt = 0;  // 0: no fault armed
  bool shortTransfer = false;
};
Plan g_plans[kOperationCount];
// FillDisk: the call of fillOp that fills the disk (0: none armed), and
// whether it is full now.
Operation g_fillOp = kOperationCount;
uint64_t g_fillAt = 0;
bool g_diskFull = false;

bool NeedsSpace(Operation op) { return op == kCreate || op == kWrite || op == kCopy; }

}  // namespace

bool Hit(Operation op, bool* shortTransfer) {
  Plan& plan = g_plans[op];
  ++plan.calls;
  if (op == g_fillOp && plan.calls == g_fillAt) g_diskFull = true;
  if (g_diskFull && NeedsSpace(op)) {
    errno = ENOSPC;
    return true;
  }
  if (plan.failAt == 0 || plan.calls != plan.failAt) return false;
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
  for (Plan& plan : g_plans) plan = Plan{};
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
