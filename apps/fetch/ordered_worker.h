// OrderedWorker: hands items, in the order they are pushed, to one handler running on a
// thread of its own, with at most `capacity` items waiting, so the thread that receives
// replies never waits for decoding and writing, and memory stays bounded. The handler
// returns false to stop: the items still waiting are dropped and push() says so. Spent
// items come back through take_spare(), so their buffers are reused rather than allocated
// per frame. backlog() lets the pushing side hold back before the worker falls too far
// behind.
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
  using Handler = std::function<bool(Item&)>;

  // REQUIRES: capacity >= 1.
  OrderedWorker(size_t capacity, Handler handler)
      : capacity_(capacity), handler_(std::move(handler)), thread_([this] { run(); }) {}
  ~OrderedWorker() { finish(); }
  OrderedWorker(const OrderedWorker&) = delete;
  OrderedWorker& operator=(const OrderedWorker&) = delete;

  // Waits while capacity items are waiting. False once the handler has stopped (the item
  // is dropped).
  bool push(Item item) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return stopped_ || waiting_.size() < capacity_; });
    if (stopped_) return false;
    waiting_.push_back(std::move(item));
    changed_.notify_all();
    return true;
  }

  // An item the handler is done with, or a new one.
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

  // Items pushed and not yet handled to the end: those waiting and the one in hand.
  size_t backlog() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return waiting_.size() + (busy_ ? 1 : 0);
  }

  // Waits up to timeout for the handler to finish an item (or to stop).
  void wait_for_progress(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    const uint64_t handled = handled_;
    changed_.wait_for(lock, timeout, [&] { return stopped_ || handled_ != handled; });
  }

  // Lets the handler take every waiting item (unless it stops), then ends the thread.
  void finish() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closing_ = true;
      changed_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
  }

 private:
  void run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return closing_ || !waiting_.empty(); });
      if (waiting_.empty()) return;  // closing, and nothing left
      Item item = std::move(waiting_.front());
      waiting_.pop_front();
      busy_ = true;
      changed_.notify_all();  // room for the next push
      lock.unlock();
      const bool go_on = handler_(item);
      lock.lock();
      busy_ = false;
      ++handled_;
      changed_.notify_all();
      spares_.push_back(std::move(item));
      if (!go_on) {
        stopped_ = true;
        waiting_.clear();
        changed_.notify_all();
        return;
      }
    }
  }

  const size_t capacity_;
  const Handler handler_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Item> waiting_;
  std::vector<Item> spares_;  // bounded by capacity + 1: only pushed items come back
  bool closing_ = false;
  bool stopped_ = false;
  bool busy_ = false;     // the handler has an item
  uint64_t handled_ = 0;  // items the handler has finished
  std::thread thread_;    // last: it starts once everything above is ready
};

}  // namespace quorvel::client

#endif  // QUORVEL_APPS_FETCH_ORDERED_WORKER_H_
