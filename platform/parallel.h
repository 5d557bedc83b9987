// Work spread over a few threads of this process.
//
// The threads come from one pool, started the first time work is spread
// (never when the program loads, so a process that forks before that has
// no threads to lose) and kept for the rest of the process: a run starts
// its helpers once, not once per piece of work. A caller always takes part
// in its own work and finishes whatever no helper took, so work is done
// even where no helper could be started. A child of a fork starts with no
// helpers and no work of its parent's (a Background piece that a helper of
// the parent had taken is never finished there, so a child must not wait
// for one).
#pragma once

#include <cstddef>
#include <functional>

namespace platform {

// Calls work(i) once for every i from 0 to count - 1, on the calling thread
// and up to threads - 1 helpers of the pool, and returns when every call has
// returned. The calls run in no particular order and at the same time, so
// work must keep each index to data of its own and must not throw. With
// threads <= 1 or count <= 1 the calls run on the calling thread, in index
// order. Several threads may spread work at once; the helpers share out.
void ParallelFor(size_t count, unsigned threads, const std::function<void(size_t)>& work);

struct PoolJob;

// One piece of work run by a helper of the pool while the thread that
// started it goes on with something else. Wait() returns when it has run;
// if no helper has taken it by then, the waiting thread runs it itself,
// and while it waits it helps with the work that others spread
// (ParallelFor), so no thread sits idle while there is work. The work must
// not throw. One piece at a time per object; destroying it waits.
class Background {
 public:
  Background() = default;
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;
  ~Background() { Wait(); }

  // Hands work to the pool. A piece started earlier is waited for first.
  void Start(std::function<void()> work);
  // Returns when the work last started has run (at once when there is none).
  void Wait();

 private:
  std::function<void()> work_;
  std::function<void(size_t)> piece_;  // work_ as the pool calls it
  PoolJob* job_ = nullptr;
};

}  // namespace platform
