#include "platform/parallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <pthread.h>
#endif

namespace platform {

// Work posted to the pool: count calls of work, taken by index.
struct PoolJob {
  size_t count = 0;
  const std::function<void(size_t)>* work = nullptr;
  std::atomic<size_t> next{0};
  unsigned places = 0;      // helpers that may still join (guarded by the pool's lock)
  unsigned inside = 0;      // helpers working on it (guarded by the pool's lock)
  bool background = false;  // a Background piece: never taken up by a waiting thread
};

namespace {

// More helpers than this gain nothing on two to eight cores.
constexpr size_t kMaxHelpers = 8;

struct Pool {
  std::mutex lock;
  std::condition_variable changed;  // a job posted or finished
  std::vector<PoolJob*> jobs;       // the jobs helpers may still join
  std::vector<std::thread> helpers;
};

Pool* g_pool = nullptr;

#if !defined(_WIN32)
// A fork copies the pool as it is at that moment, with the parent's helpers
// perhaps holding its lock or waiting on its condition; the child, whose
// only thread is the one that forked, would wait for them for ever. So the
// child builds a new, empty pool in the same place (with no allocation)
// and abandons the old contents unfreed: the parent's jobs, which nobody
// finishes here, and its helpers' thread objects, which must never be
// destroyed since those threads do not exist here. The child starts
// helpers of its own when it spreads work.
void RenewPoolInChild() { new (g_pool) Pool; }
#endif

// Started at the first use and never stopped: its helpers wait for work
// until the process ends, so nothing has to be joined at exit.
Pool& ThePool() {
  static Pool* pool = [] {
    g_pool = new Pool;
#if !defined(_WIN32)
    pthread_atfork(nullptr, nullptr, RenewPoolInChild);
#endif
    return g_pool;
  }();
  return *pool;
}

// Every caller takes the next index until none is left, so a slow call does
// not hold up the indexes behind it.
void TakeIndexes(PoolJob& job) {
  for (size_t i = job.next.fetch_add(1); i < job.count; i = job.next.fetch_add(1)) (*job.work)(i);
}

// The first job a helper may join (pieces of ParallelFor only, when
// spreadOnly), or null. Called with the pool's lock held.
PoolJob* OpenJob(Pool& pool, bool spreadOnly) {
  for (PoolJob* job : pool.jobs) {
    if (job->places > 0 && job->next.load() < job->count && !(spreadOnly && job->background)) return job;
  }
  return nullptr;
}

// Works on job as one of its helpers; hold is locked before and after.
void Join(Pool& pool, PoolJob& job, std::unique_lock<std::mutex>& hold) {
  --job.places;
  ++job.inside;
  hold.unlock();
  TakeIndexes(job);
  hold.lock();
  if (--job.inside == 0) pool.changed.notify_all();
}

void HelperLoop(Pool& pool) {
  std::unique_lock<std::mutex> hold(pool.lock);
  for (;;) {
    if (PoolJob* job = OpenJob(pool, false)) {
      Join(pool, *job, hold);
    } else {
      pool.changed.wait(hold);
    }
  }
}

// Starts helpers until there are wanted of them (at most kMaxHelpers).
// Called with the pool's lock held. A helper that cannot be started leaves
// its share to the others.
void Grow(Pool& pool, size_t wanted) {
  wanted = std::min(wanted, kMaxHelpers);
  try {
    while (pool.helpers.size() < wanted) pool.helpers.emplace_back(HelperLoop, std::ref(pool));
  } catch (const std::system_error&) {
  } catch (const std::bad_alloc&) {
  }
}

// Posts job for helpers; false when there is no memory to list it (the
// caller then does all of it).
bool Post(Pool& pool, PoolJob& job, size_t helpersWanted) {
  {
    std::lock_guard<std::mutex> hold(pool.lock);
    Grow(pool, helpersWanted);
    try {
      pool.jobs.push_back(&job);
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  pool.changed.notify_all();
  return true;
}

// Takes job off the list, so that no helper joins it any more. Called with
// the pool's lock held.
void Withdraw(Pool& pool, PoolJob& job) {
  pool.jobs.erase(std::remove(pool.jobs.begin(), pool.jobs.end(), &job), pool.jobs.end());
}

}  // namespace

void ParallelFor(size_t count, unsigned threads, const std::function<void(size_t)>& work) {
  if (threads <= 1 || count <= 1) {
    for (size_t i = 0; i < count; ++i) work(i);
    return;
  }
  Pool& pool = ThePool();
  PoolJob job;
  job.count = count;
  job.work = &work;
  job.places = unsigned(std::min<size_t>(threads - 1, count - 1));
  const bool posted = Post(pool, job, threads - 1);
  TakeIndexes(job);
  if (!posted) return;
  std::unique_lock<std::mutex> hold(pool.lock);
  Withdraw(pool, job);
  pool.changed.wait(hold, [&job] { return job.inside == 0; });
}

void Background::Start(std::function<void()> work) {
  Wait();
  work_ = std::move(work);
  piece_ = [this](size_t) { work_(); };
  job_ = new (std::nothrow) PoolJob;
  if (job_ == nullptr) {  // no memory to hand it over: done here and now
    work_();
    return;
  }
  job_->count = 1;
  job_->work = &piece_;
  job_->places = 1;
  job_->background = true;
  Post(ThePool(), *job_, 1);  // when it cannot be listed, Wait runs it
}

void Background::Wait() {
  if (job_ == nullptr) return;
  Pool& pool = ThePool();
  {
    std::unique_lock<std::mutex> hold(pool.lock);
    Withdraw(pool, *job_);
  }
  // Not taken yet: this thread does it.
  TakeIndexes(*job_);
  std::unique_lock<std::mutex> hold(pool.lock);
  while (job_->inside != 0) {
    if (PoolJob* other = OpenJob(pool, true)) {
      Join(pool, *other, hold);
    } else {
      pool.changed.wait(hold);
    }
  }
  hold.unlock();
  delete job_;
  job_ = nullptr;
  work_ = nullptr;
}

}  // namespace platform
