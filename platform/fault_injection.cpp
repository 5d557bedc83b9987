#include "platform/fault_injection.h"

namespace platform::faults {

#if defined(HANHUA_FAULT_INJECTION) && HANHUA_FAULT_INJECTION

namespace {

struct Plan {
  uint64_t calls = 0;
  uint64_t failAt = 0;  // 0: no fault armed
  bool shortTransfer = false;
};
Plan g_plans[kOperationCount];

}  // namespace

bool Hit(Operation op, bool* shortTransfer) {
  Plan& plan = g_plans[op];
  ++plan.calls;
  if (plan.failAt == 0 || plan.calls != plan.failAt) return false;
  if (shortTransfer) *shortTransfer = plan.shortTransfer;
  return true;
}

void FailCall(Operation op, uint64_t nth, bool shortTransfer) {
  Plan& plan = g_plans[op];
  plan.failAt = nth == 0 ? 0 : plan.calls + nth;
  plan.shortTransfer = shortTransfer;
}

void Clear() {
  for (Plan& plan : g_plans) plan = Plan{};
}

uint64_t CallCount(Operation op) { return g_plans[op].calls; }

#else

void FailCall(Operation, uint64_t, bool) {}
void Clear() {}
uint64_t CallCount(Operation) { return 0; }

#endif

}  // namespace platform::faults
