#include "platform/parallel.h"

#include <atomic>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace platform {

void ParallelFor(size_t count, unsigned threads, const std::function<void(size_t)>& work) {
  if (threads <= 1 || count <= 1) {
    for (size_t i = 0; i < count; ++i) work(i);
    return;
  }
  // Every thread takes the next index until none is left, so a slow call
  // does not hold up the indexes behind it.
  std::atomic<size_t> next{0};
  auto takeIndexes = [&next, count, &work] {
    for (size_t i = next.fetch_add(1); i < count; i = next.fetch_add(1)) work(i);
  };
  const size_t helpers = (threads - 1 < count - 1) ? threads - 1 : count - 1;
  std::vector<std::thread> started;
  try {
    started.reserve(helpers);
    for (size_t k = 0; k < helpers; ++k) started.emplace_back(takeIndexes);
  } catch (const std::system_error&) {
    // Fewer threads than asked for: the ones that started share the work.
  } catch (const std::bad_alloc&) {
  }
  takeIndexes();
  for (std::thread& thread : started) thread.join();
}

}  // namespace platform
