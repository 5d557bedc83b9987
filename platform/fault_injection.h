// Fault injection for tests: makes chosen platform calls fail, so tests can
// prove that every failure of the operating system (a full disk, a file that
// cannot be created, a copy that fails) leaves the user's files intact.
//
// The switch exists only in test builds (CMake option HANHUA_FAULT_INJECTION,
// on in the sanitizer build). In every other build Hit() is a constant false
// that the compiler removes, and Available() is false so the fault tests skip.
#pragma once

#include <cstdint>

namespace platform::faults {

enum Operation : int {
  kOpenRead,       // OpenRead
  kCreate,         // CreateReadWrite, OpenWrite
  kRead,           // Read
  kWrite,          // Write
  kSeek,           // SeekBegin, SeekEnd
  kSize,           // FileSize
  kDelete,         // DeletePath
  kMove,           // MoveNoReplace
  kCopy,           // CopyReplace
  kSetAttributes,  // SetAttributes
  kMap,            // MapReadOnly
  kOperationCount
};

#if defined(HANHUA_FAULT_INJECTION) && HANHUA_FAULT_INJECTION
inline constexpr bool kCompiledIn = true;
// Called by the backends at the start of each operation: true when this call
// is to fail. For kRead and kWrite, *shortTransfer tells whether the call is
// to move only part of its bytes (a full disk) instead of failing outright.
bool Hit(Operation op, bool* shortTransfer = nullptr);
#else
inline constexpr bool kCompiledIn = false;
inline bool Hit(Operation, bool* = nullptr) { return false; }
#endif

// The switch's verdict on a read or write (op) of *count bytes: true when the
// call is to fail outright; for a short transfer (a full disk), *count is
// halved and *shortened set, and the call moves that much and then fails.
template <typename Count>
inline bool TransferFails(Operation op, Count* count, bool* shortened) {
  *shortened = false;
  if (!Hit(op, shortened)) return false;
  if (!*shortened) return true;
  *count /= 2;
  return false;
}

// True when this build carries the switch.
inline bool Available() { return kCompiledIn; }
// Arms one fault: the nth call of op from now on (1 = the next call) fails;
// with shortTransfer a read or write moves half its bytes and reports that.
void FailCall(Operation op, uint64_t nth, bool shortTransfer = false);
// A disk that fills up: from the nth call of op from now on, every call that
// needs space (kCreate, kWrite, kCopy) fails with errno ENOSPC, until
// Clear(). Removing files frees nothing here, which is the worst a full disk
// can do: only renames and deletions still work.
void FillDisk(Operation op, uint64_t nth);
// Disarms every fault and resets the call counts.
void Clear();
// Calls of op since the last Clear(), so a test can try every call in turn.
uint64_t CallCount(Operation op);

}  // namespace platform::faults
