#pragma once
// A fixed set of worker threads that run tasks in the order they are given. ombra-evaluate
// runs its independent pieces of work side by side with it (the two learned baselines, the
// shuffles of the importance); each piece is single-threaded and deterministic, so the
// figures do not depend on the number of threads, only the time does.

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

class TaskPool {
 public:
  explicit TaskPool(int threads);
  // Waits for the tasks given so far, then ends the threads.
  ~TaskPool();
  TaskPool(const TaskPool&) = delete;
  TaskPool& operator=(const TaskPool&) = delete;

  // Queues task; the future gives its end, or rethrows what it threw.
  std::future<void> run(std::function<void()> task);

 private:
  void work();

  std::mutex lock_;
  std::condition_variable ready_;
  std::deque<std::packaged_task<void()>> queue_;
  bool closing_ = false;
  std::vector<std::thread> threads_;
};

// The processors this process may run on (its affinity mask), at least 1.
int availableProcessors();
