#include "evaluate/task_pool.h"

#include <sched.h>

#include <utility>

TaskPool::TaskPool(int threads) {
  for (int t = 0; t < threads; ++t) threads_.emplace_back([this] { work(); });
}

TaskPool::~TaskPool() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    closing_ = true;
  }
  ready_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

std::future<void> TaskPool::run(std::function<void()> task) {
  std::packaged_task<void()> packaged(std::move(task));
  std::future<void> done = packaged.get_future();
  {
    std::lock_guard<std::mutex> guard(lock_);
    queue_.push_back(std::move(packaged));
  }
  ready_.notify_one();
  return done;
}

void TaskPool::work() {
  for (;;) {
    std::packaged_task<void()> task;
    {
      std::unique_lock<std::mutex> guard(lock_);
      ready_.wait(guard, [this] { return closing_ || !queue_.empty(); });
      if (queue_.empty()) return;  // closing, and nothing left to do
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    task();
  }
}

int availableProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  const int count = CPU_COUNT(&set);
  return count > 0 ? count : 1;
}
