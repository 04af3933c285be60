// Threads kept between reads for the reader's pieces: under AddressSanitizer
// starting and ending threads for every read costs far more than the read of
// a fuzzed text, so the harness hands the reader this runner instead.
#ifndef CELSHADE_FUZZ_POOL_H
#define CELSHADE_FUZZ_POOL_H

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

class FuzzPool {
 public:
  // A PieceRunner: work(context, i) for every i < count on `threads`
  // threads, the caller's among them.
  static void run(size_t count, size_t threads, void (*work)(void*, size_t), void* context) {
    FuzzPool& pool = instance();
    std::unique_lock<std::mutex> hold(pool.lock_);
    for (unsigned long seen = pool.generation_; pool.workers_.size() + 1 < threads;)
      pool.workers_.emplace_back([&pool, seen] { pool.serve(seen); });
    pool.count_ = count;
    pool.work_ = work;
    pool.context_ = context;
    pool.next_ = 0;
    pool.joining_ = threads - 1;
    pool.generation_++;
    pool.wake_.notify_all();
    hold.unlock();
    pool.take();
    hold.lock();
    pool.done_.wait(hold, [&pool] { return pool.joining_ == 0 && pool.busy_ == 0; });
  }

 private:
  static FuzzPool& instance() {
    // Never destroyed: its threads wait for work until the process ends.
    static FuzzPool* pool = new FuzzPool;
    return *pool;
  }

  void take() {
    for (size_t i; (i = next_.fetch_add(1)) < count_;) work_(context_, i);
  }

  // Serves every run after the one numbered `seen`.
  void serve(unsigned long seen) {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
      wake_.wait(hold, [&] { return generation_ != seen; });
      seen = generation_;
      if (joining_ == 0) continue;  // enough threads took this one
      joining_--;
      busy_++;
      hold.unlock();
      take();
      hold.lock();
      busy_--;
      if (joining_ == 0 && busy_ == 0) done_.notify_all();
    }
  }

  std::mutex lock_;
  std::condition_variable wake_, done_;
  std::vector<std::thread> workers_;
  unsigned long generation_ = 0;
  size_t joining_ = 0;  // threads still to join the current run
  size_t busy_ = 0;     // threads in the current run
  size_t count_ = 0;
  void (*work_)(void*, size_t) = nullptr;
  void* context_ = nullptr;
  std::atomic<size_t> next_{0};
};

#endif  // CELSHADE_FUZZ_POOL_H
