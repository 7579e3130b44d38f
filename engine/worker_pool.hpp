// One pool of worker threads for the whole process: the pair kernel and the
// matrix writer hand it their bodies instead of starting threads of their
// own. It has one thread per hardware thread, read once, started on first
// use, and started again in a child process after a fork.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tessora::engine {

class WorkerPool {
 public:
  // A set of bodies handed to the pool at once. Its owner waits for it (the
  // destructor does, so no body outlives what it uses).
  class Batch {
   public:
    ~Batch();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    // True when every body has returned, waiting at most `timeout`.
    bool wait_for(std::chrono::milliseconds timeout);
    // Waits for every body, then throws the first exception a body threw.
    void wait();

   private:
    friend class WorkerPool;
    Batch() = default;
    void finished(std::exception_ptr error);

    std::mutex mutex_;
    std::condition_variable done_;
    std::size_t running_ = 0;
    std::exception_ptr failure_;
  };

  // The process's pool.
  static WorkerPool& shared();

  // Threads in the pool: the hardware threads, at least 1.
  unsigned size() const { return static_cast<unsigned>(threads_.size()); }

  // Runs body(0) .. body(count - 1) on the pool's threads, as many at once
  // as it has free. Throws what starting a thread throws (std::system_error).
  std::unique_ptr<Batch> start(unsigned count, std::function<void(unsigned index)> body);

 private:
  explicit WorkerPool(unsigned threads);
  ~WorkerPool() = delete;  // lives as long as the process
  void serve();

  struct Task {
    Batch* batch;
    std::shared_ptr<std::function<void(unsigned)>> body;
    unsigned index;
  };
  std::mutex mutex_;
  std::condition_variable work_;
  std::deque<Task> tasks_;
  std::vector<std::thread> threads_;
};

}  // namespace tessora::engine
