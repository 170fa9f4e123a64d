// Work split into numbered blocks and run on several threads. What a block
// computes must depend on the block alone, not on the thread that runs it or
// on the other blocks running beside it; a caller that reduces block results
// adds them in block order. Results are then the same for any number of
// threads.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace codonspace {

// Blocks of `size` items covering n items: block b holds [b*size, min(n, (b+1)*size)).
inline size_t block_count(size_t n, size_t size) { return (n + size - 1) / size; }

// Runs fn(b) for every block b in [0, blocks) on up to `threads` threads, the
// calling thread among them, and returns when all are done. Blocks are handed
// out in order as threads become free. When fn throws, the blocks not yet
// started are skipped and the first exception is rethrown. When the system
// refuses a thread, the blocks run on those already started.
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
  std::mutex error_mutex;
  auto work = [&] {
    while (!failed.load(std::memory_order_relaxed)) {
      const size_t b = next.fetch_add(1, std::memory_order_relaxed);
      if (b >= blocks) return;
      try {
        fn(b);
      } catch (...) {
        const std::lock_guard<std::mutex> lock(error_mutex);
        if (!error) error = std::current_exception();
        failed = true;
      }
    }
  };
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
  if (error) std::rethrow_exception(error);
}

}  // namespace codonspace
