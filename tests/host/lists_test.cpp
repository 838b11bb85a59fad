#include "runtime/host/lists.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <thread>
#include <vector>

namespace {

struct ListDeleter {
  void operator()(list* l) const { list_destroy(l); }
};
using ListPtr = std::unique_ptr<list, ListDeleter>;

TEST(HandleList, IndicesStartAtOneAndReuseTheMostRecentlyRemovedFirst) {
  ListPtr l(list_new(16));
  EXPECT_EQ(list_add(l.get()), 1);
  EXPECT_EQ(list_add(l.get()), 2);
  EXPECT_EQ(list_add(l.get()), 3);
  EXPECT_EQ(list_add(l.get()), 4);
  EXPECT_EQ(list_remove(l.get(), 2), -1);
  EXPECT_EQ(list_remove(l.get(), 4), -1);
  EXPECT_EQ(list_add(l.get()), 4);
  EXPECT_EQ(list_add(l.get()), 2);
  EXPECT_EQ(list_add(l.get()), 5);
}

TEST(HandleList, GetRejectsIndicesThatNameNoLiveRecord) {
  ListPtr l(list_new(8));
  int64_t a = list_add(l.get());
  int64_t b = list_add(l.get());
  EXPECT_EQ(list_get(l.get(), 0), nullptr);
  EXPECT_EQ(list_get(l.get(), -1), nullptr);
  EXPECT_EQ(list_get(l.get(), b + 1), nullptr);
  EXPECT_NE(list_get(l.get(), a), nullptr);
  list_remove(l.get(), a);
  EXPECT_EQ(list_get(l.get(), a), nullptr);
  EXPECT_NE(list_get(l.get(), b), nullptr);
  // Removing twice, removing what never existed and index 0 remove nothing.
  EXPECT_EQ(list_remove(l.get(), a), 0);
  EXPECT_EQ(list_remove(l.get(), b + 5), 0);
  EXPECT_EQ(list_remove(l.get(), 0), 0);
  EXPECT_EQ(list_get(l.get(), 1234), nullptr);
  EXPECT_EQ(list_add(nullptr), 0);
  EXPECT_EQ(list_get(nullptr, 1), nullptr);
}

TEST(HandleList, RecordsCarryTheirIndexAndComeBackZeroFilled) {
  ListPtr l(list_new(24));
  int64_t index = 0;
  for (int i = 0; i < 10; ++i) index = list_add(l.get());
  auto* record = static_cast<uint8_t*>(list_get(l.get(), 7));
  EXPECT_EQ(list_get_index(l.get(), record), 7);
  std::memset(record, 0xAB, 24);
  list_remove(l.get(), 7);
  EXPECT_EQ(list_get_index(l.get(), record), 0);
  // The reused index brings back the same record, cleared.
  EXPECT_EQ(list_add(l.get()), 7);
  EXPECT_EQ(list_get(l.get(), 7), record);
  for (int i = 0; i < 24; ++i) EXPECT_EQ(record[i], 0) << "byte " << i;
  // Writing the whole record leaves its neighbours and its index alone.
  std::memset(record, 0xFF, 24);
  EXPECT_EQ(list_get_index(l.get(), record), 7);
  EXPECT_EQ(list_get_index(l.get(), list_get(l.get(), 8)), 8);
  EXPECT_EQ(index, 10);
}

TEST(HandleList, RecordsNeverMoveWhileTheListGrows) {
  // An odd record size, so the stride and alignment of records are exercised too.
  ListPtr l(list_new(13));
  std::vector<void*> addresses;
  for (int i = 1; i <= 3000; ++i) {
    ASSERT_EQ(list_add(l.get()), i);
    void* record = list_get(l.get(), i);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(record) % 8, 0u);
    std::memcpy(record, &i, sizeof i);
    addresses.push_back(record);
  }
  std::set<void*> distinct(addresses.begin(), addresses.end());
  EXPECT_EQ(distinct.size(), addresses.size());
  for (int i = 1; i <= 3000; ++i) {
    void* record = list_get(l.get(), i);
    ASSERT_EQ(record, addresses[i - 1]) << "index " << i;
    int stored = 0;
    std::memcpy(&stored, record, sizeof stored);
    EXPECT_EQ(stored, i);
  }
}

TEST(HandleList, StartUpMakesTheHardwareImageListAnew) {
  handle_lists_init();
  ASSERT_NE(hardware_img_handles, nullptr);
  EXPECT_EQ(list_add(hardware_img_handles), 1);
  // A second start-up replaces the list rather than adding to it.
  handle_lists_init();
  EXPECT_EQ(list_add(hardware_img_handles), 1);
}

// Several threads add and remove while others read without a lock. Each adder owns the indices it
// was given until it removes them, so an index handed out twice at once is caught.
TEST(HandleListThreaded, ConcurrentAddsRemovesAndLockFreeGets) {
  ListPtr l(list_new_threadsafe(32));
  constexpr int adders = 3, adds_per_thread = 4000, max_index = adders * adds_per_thread + 1;
  std::vector<std::atomic<int>> owned(max_index + 1);
  std::atomic<bool> failed{false}, done{false};
  std::atomic<int> removed{0};

  auto adder = [&](int seed) {
    std::vector<int64_t> mine;
    for (int i = 0; i < adds_per_thread; ++i) {
      int64_t index = list_add(l.get());
      if (index < 1 || index > max_index || owned[index].exchange(1) != 0) failed = true;
      if (index >= 1 && index <= max_index) mine.push_back(index);
      // Give back every third record straight away so that indices get reused under load.
      if ((i + seed) % 3 == 0 && !mine.empty()) {
        int64_t back = mine.back();
        mine.pop_back();
        owned[back].store(0);
        if (list_remove(l.get(), back) != -1) failed = true;
        ++removed;
      }
    }
  };
  auto reader = [&] {
    while (!done.load()) {
      for (int64_t i = 1; i <= max_index; ++i) {
        void* record = list_get(l.get(), i);
        if (record && list_get_index(l.get(), record) != i && list_get_index(l.get(), record) != 0)
          failed = true;
      }
    }
  };

  std::thread r1(reader), r2(reader);
  std::vector<std::thread> writers;
  for (int t = 0; t < adders; ++t) writers.emplace_back(adder, t);
  for (auto& w : writers) w.join();
  done = true;
  r1.join();
  r2.join();
  EXPECT_FALSE(failed.load());

  int live = 0;
  std::set<void*> addresses;
  for (int64_t i = 1; i <= max_index; ++i) {
    void* record = list_get(l.get(), i);
    EXPECT_EQ(record != nullptr, owned[i].load() == 1) << "index " << i;
    if (record) {
      ++live;
      addresses.insert(record);
    }
  }
  EXPECT_EQ(live, static_cast<int>(addresses.size()));
  EXPECT_EQ(live, adders * adds_per_thread - removed.load());
}

}  // namespace
