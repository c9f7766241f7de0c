// OrderedWorker: hands items, in the order they are pushed, to handlers running on threads
// of their own, with at most `capacity` items waiting, so the thread that receives replies
// never waits for decoding and writing, and memory stays bounded. Each item goes through two
// stages on one thread: prepare (decoding), which several threads may run at once on
// different items, then commit (writing), which runs for one item at a time in push order.
// commit returns false to stop: the items still waiting or prepared are dropped and push()
// says so. Spent items come back through take_spare(), so their buffers are reused rather
// than allocated per frame. backlog() lets the pushing side hold back before the workers
// fall too far behind.
#ifndef QUORVEL_APPS_FETCH_ORDERED_WORKER_H_
#define QUORVEL_APPS_FETCH_ORDERED_WORKER_H_

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace quorvel::client {

template <typename Item>
class OrderedWorker {
 public:
  // Both get the index of the thread they run on (0 to threads - 1), so each thread can keep
  // state of its own: an item's commit runs on the thread that prepared it.
  using Prepare = std::function<void(Item&, size_t thread)>;
  using Commit = std::function<bool(Item&, size_t thread)>;

  // REQUIRES: capacity >= 1, threads >= 1.
  OrderedWorker(size_t capacity, size_t threads, Prepare prepare, Commit commit)
      : capacity_(capacity), prepare_(std::move(prepare)), commit_(std::move(commit)) {
    for (size_t n = 0; n < threads; ++n) threads_.emplace_back([this, n] { run(n); });
  }
  // One thread that only commits.
  OrderedWorker(size_t capacity, Commit commit)
      : OrderedWorker(capacity, 1, nullptr, std::move(commit)) {}
  ~OrderedWorker() { finish(); }
  OrderedWorker(const OrderedWorker&) = delete;
  OrderedWorker& operator=(const OrderedWorker&) = delete;

  // Waits while capacity items are waiting. False once a commit has stopped (the item is
  // dropped).
  bool push(Item item) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return stopped_ || waiting_.size() < capacity_; });
    if (stopped_) return false;
    waiting_.push_back(std::move(item));
    changed_.notify_all();
    return true;
  }

  // An item the handlers are done with, or a new one.
  Item take_spare() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (spares_.empty()) return Item();
    Item item = std::move(spares_.back());
    spares_.pop_back();
    return item;
  }

  bool stopped() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopped_;
  }

  // Items pushed and not yet committed: those waiting and those in hand.
  size_t backlog() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return waiting_.size() + static_cast<size_t>(taken_ - committed_);
  }

  // Waits up to timeout for a commit to finish (or to stop).
  void wait_for_progress(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    const uint64_t committed = committed_;
    changed_.wait_for(lock, timeout, [&] { return stopped_ || committed_ != committed; });
  }

  // Lets the handlers take every waiting item (unless a commit stops), then ends the threads.
  void finish() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closing_ = true;
      changed_.notify_all();
    }
    for (std::thread& thread : threads_) {
      if (thread.joinable()) thread.join();
    }
  }

 private:
  void run(size_t thread) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return stopped_ || closing_ || !waiting_.empty(); });
      if (stopped_ || waiting_.empty()) return;  // stopped, or closing with nothing left
      Item item = std::move(waiting_.front());
      waiting_.pop_front();
      const uint64_t turn = taken_++;
      changed_.notify_all();  // room for the next push
      lock.unlock();
      if (prepare_) prepare_(item, thread);
      lock.lock();
      changed_.wait(lock, [&] { return stopped_ || committed_ == turn; });
      if (stopped_) {
        spares_.push_back(std::move(item));
        return;
      }
      lock.unlock();
      const bool go_on = commit_(item, thread);
      lock.lock();
      ++committed_;
      spares_.push_back(std::move(item));
      if (!go_on) {
        stopped_ = true;
        waiting_.clear();
      }
      changed_.notify_all();
    }
  }

  const size_t capacity_;
  const Prepare prepare_;  // may be null
  const Commit commit_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Item> waiting_;
  std::vector<Item> spares_;  // bounded by capacity + threads: only pushed items come back
  bool closing_ = false;
  bool stopped_ = false;
  uint64_t taken_ = 0;                // items the threads have taken from waiting_
  uint64_t committed_ = 0;            // items committed, in push order: the next turn to commit
  std::vector<std::thread> threads_;  // last: they start once everything above is ready
};

}  // namespace quorvel::client

#endif  // QUORVEL_APPS_FETCH_ORDERED_WORKER_H_
