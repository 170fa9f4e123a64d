// Work split into numbered blocks and run on several threads. What a block
// computes must depend on the block alone, not on the thread that runs it or
// on the other blocks running beside it; a caller that reduces block results
// adds them in block order. Results are then the same for any number of
// threads.
#pragma once

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace codonspace {

// Blocks of `size` items covering n items: block b holds [b*size, min(n, (b+1)*size)).
inline size_t block_count(size_t n, size_t size) { return (n + size - 1) / size; }

namespace detail {

// Threads kept for run_blocks: a training or a start model runs blocks some
// hundreds of times, and starting threads for each run costs more than the
// short runs gain. The helpers wait for a run, join it, and wait again; they
// block every signal, which the program's own threads handle as before.
// One run at a time: a run_blocks while another runs (from a block, or from
// another thread) starts threads of its own. A process made by fork() has
// none of its parent's threads and makes a pool of its own.
class BlockPool {
 public:
  // The pool of this process.
  static BlockPool& get() {
    static std::mutex lock;
    static BlockPool* pool = nullptr;
    static pid_t owner = 0;
    const std::lock_guard<std::mutex> guard(lock);
    if (pool == nullptr || owner != getpid()) {
      pool = new BlockPool;  // kept to the end of the process, like its threads
      owner = getpid();
    }
    return *pool;
  }

  // Runs work on the calling thread and on up to `helpers` pool threads,
  // returning when all have returned from it; work must not throw. False,
  // having run nothing, when the pool is in use.
  bool run(size_t helpers, const std::function<void()>& work) {
    std::unique_lock<std::mutex> claim(claim_, std::try_to_lock);
    if (!claim.owns_lock()) return false;
    grow(helpers);
    {
      const std::lock_guard<std::mutex> guard(mutex_);
      job_ = &work;
      pending_ = std::min(helpers, started_);
    }
    wake_.notify_all();
    work();
    std::unique_lock<std::mutex> guard(mutex_);
    pending_ = 0;  // helpers not yet woken have nothing left to do
    done_.wait(guard, [this] { return running_ == 0; });
    job_ = nullptr;
    return true;
  }

 private:
  BlockPool() = default;

  // Starts threads until there are `helpers`, or the system refuses one.
  void grow(size_t helpers) {
    if (started_ >= helpers) return;
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);  // inherited by the new threads
    while (started_ < helpers) {
      try {
        std::thread(&BlockPool::serve, this).detach();
      } catch (const std::system_error&) {
        break;  // fewer threads: the same blocks, the same results
      }
      ++started_;
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
  }

  void serve() {
    std::unique_lock<std::mutex> guard(mutex_);
    for (;;) {
      wake_.wait(guard, [this] { return pending_ > 0; });
      --pending_;
      ++running_;
      const std::function<void()>* job = job_;
      guard.unlock();
      (*job)();
      guard.lock();
      if (--running_ == 0) done_.notify_all();
    }
  }

  std::mutex claim_;  // held by the run in progress
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  const std::function<void()>* job_ = nullptr;
  size_t started_ = 0;  // threads of the pool (changed by the claimant only)
  size_t pending_ = 0;  // helpers the run still wants
  size_t running_ = 0;  // helpers in the run
};

}  // namespace detail

// Runs fn(b) for every block b in [0, blocks) on up to `threads` threads, the
// calling thread among them, and returns when all are done. Blocks are handed
// out in order as threads become free. When fn throws, the blocks not yet
// started are skipped and the exception of the lowest block that threw is
// rethrown: every block below a failed one has started by then, so it is
// the one a single thread would meet, whatever the number of threads. When
// the system refuses a thread, the blocks run on those already started.
template <typename Fn>
void run_blocks(int threads, size_t blocks, Fn&& fn) {
  const size_t workers = std::min(static_cast<size_t>(std::max(threads, 1)), blocks);
  if (workers <= 1) {
    for (size_t b = 0; b < blocks; ++b) fn(b);
    return;
  }
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr error;
  size_t error_block = blocks;
  std::mutex error_mutex;
  const std::function<void()> work = [&] {
    while (!failed.load(std::memory_order_relaxed)) {
      const size_t b = next.fetch_add(1, std::memory_order_relaxed);
      if (b >= blocks) return;
      try {
        fn(b);
      } catch (...) {
        const std::lock_guard<std::mutex> lock(error_mutex);
        if (b < error_block) {
          error = std::current_exception();
          error_block = b;
        }
        failed = true;
      }
    }
  };
  if (!detail::BlockPool::get().run(workers - 1, work)) {
    std::vector<std::thread> pool;
    pool.reserve(workers - 1);
    for (size_t t = 1; t < workers; ++t) {
      try {
        pool.emplace_back(work);
      } catch (const std::system_error&) {
        break;  // fewer threads: the same blocks, the same results
      }
    }
    work();
    for (std::thread& t : pool) t.join();
  }
  if (error) std::rethrow_exception(error);
}

}  // namespace codonspace
