// Work spread over a few threads of this process.
#pragma once

#include <cstddef>
#include <functional>

namespace platform {

// Calls work(i) once for every i from 0 to count - 1, on the calling thread
// and up to threads - 1 more, and returns when every call has returned. The
// calls run in no particular order and at the same time, so work must keep
// each index to data of its own and must not throw. With threads <= 1 or
// count <= 1 the calls run on the calling thread, in index order. A thread
// that cannot be started leaves its share to the others.
void ParallelFor(size_t count, unsigned threads, const std::function<void(size_t)>& work);

}  // namespace platform
