// OrderedWorker with several threads: items prepared at once, in whatever order the threads
// finish them, are committed in push order, each on the thread that prepared it, and a
// commit that stops drops everything behind it.
#include "apps/fetch/ordered_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace quorvel::client {
namespace {

struct Item {
  int number = -1;
  size_t prepared_on = 0;
};

// Later items prepare faster, so without the turns they would overtake the earlier ones.
void prepare_slowly(Item& item, size_t thread) {
  std::this_thread::sleep_for(std::chrono::microseconds(200 * (item.number % 5 == 0 ? 10 : 1)));
  item.prepared_on = thread;
}

struct Committed {
  std::mutex mutex;
  std::vector<int> numbers;
  bool every_commit_on_its_preparer = true;
};

TEST(OrderedWorkerTest, SeveralThreadsCommitInPushOrder) {
  for (const size_t threads : {1, 2, 4}) {
    SCOPED_TRACE(threads);
    Committed committed;
    {
      OrderedWorker<Item> worker(3, threads, prepare_slowly, [&](Item& item, size_t thread) {
        std::lock_guard<std::mutex> lock(committed.mutex);
        committed.numbers.push_back(item.number);
        if (item.prepared_on != thread) committed.every_commit_on_its_preparer = false;
        return true;
      });
      for (int n = 0; n < 60; ++n) {
        Item item = worker.take_spare();
        item.number = n;
        ASSERT_TRUE(worker.push(item));
        EXPECT_LE(worker.backlog(), 3 + threads);
      }
      worker.finish();
      EXPECT_EQ(worker.backlog(), 0u);
    }
    std::vector<int> expected(60);
    for (int n = 0; n < 60; ++n) expected[static_cast<size_t>(n)] = n;
    EXPECT_EQ(committed.numbers, expected);
    EXPECT_TRUE(committed.every_commit_on_its_preparer);
  }
}

TEST(OrderedWorkerTest, CommitThatStopsDropsTheItemsBehindIt) {
  std::atomic<int> last_committed{-1};
  std::atomic<int> commits{0};
  OrderedWorker<Item> worker(2, 3, prepare_slowly, [&](Item& item, size_t) {
    last_committed = item.number;
    ++commits;
    return item.number < 7;
  });
  bool refused = false;
  for (int n = 0; n < 200 && !refused; ++n) {
    Item item;
    item.number = n;
    refused = !worker.push(item);
  }
  worker.finish();
  EXPECT_TRUE(refused);
  EXPECT_TRUE(worker.stopped());
  EXPECT_EQ(last_committed.load(), 7);
  EXPECT_EQ(commits.load(), 8);
}

}  // namespace
}  // namespace quorvel::client
