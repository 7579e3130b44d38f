#include "engine/worker_pool.hpp"

#include <unistd.h>

#include <utility>

namespace tessora::engine {

WorkerPool::Batch::~Batch() {
  std::unique_lock lock(mutex_);
  done_.wait(lock, [&] { return running_ == 0; });
}

bool WorkerPool::Batch::wait_for(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return done_.wait_for(lock, timeout, [&] { return running_ == 0; });
}

void WorkerPool::Batch::wait() {
  std::unique_lock lock(mutex_);
  done_.wait(lock, [&] { return running_ == 0; });
  if (failure_) std::rethrow_exception(failure_);
}

void WorkerPool::Batch::finished(std::exception_ptr error) {
  std::lock_guard lock(mutex_);
  if (error && !failure_) failure_ = error;
  --running_;
  done_.notify_all();
}

WorkerPool& WorkerPool::shared() {
  static std::mutex guard;
  static WorkerPool* pool = nullptr;
  static pid_t owner = 0;
  std::lock_guard lock(guard);
  // A forked child has none of its parent's threads: it gets a pool of its
  // own (the parent's object is left as it is).
  if (pool == nullptr || owner != ::getpid()) {
    pool = new WorkerPool(std::max(1u, std::thread::hardware_concurrency()));
    owner = ::getpid();
  }
  return *pool;
}

WorkerPool::WorkerPool(unsigned threads) {
  threads_.reserve(threads);
  for (unsigned t = 0; t < threads; ++t) threads_.emplace_back([this] { serve(); });
  for (std::thread& t : threads_) t.detach();  // the pool is never torn down
}

std::unique_ptr<WorkerPool::Batch> WorkerPool::start(unsigned count,
                                                      std::function<void(unsigned index)> body) {
  std::unique_ptr<Batch> batch(new Batch());
  auto shared_body = std::make_shared<std::function<void(unsigned)>>(std::move(body));
  batch->running_ = count;
  {
    std::lock_guard lock(mutex_);
    for (unsigned i = 0; i < count; ++i) tasks_.push_back({batch.get(), shared_body, i});
  }
  work_.notify_all();
  return batch;
}

void WorkerPool::serve() {
  for (;;) {
    Task task;
    {
      std::unique_lock lock(mutex_);
      work_.wait(lock, [&] { return !tasks_.empty(); });
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    std::exception_ptr error;
    try {
      (*task.body)(task.index);
    } catch (...) {
      error = std::current_exception();
    }
    task.body.reset();
    task.batch->finished(error);
  }
}

}  // namespace tessora::engine
