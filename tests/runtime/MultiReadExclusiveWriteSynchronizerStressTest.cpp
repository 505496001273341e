#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/runtime/MultiReadExclusiveWriteSynchronizer.h"

namespace korvalen {
namespace {

using TLock = TMultiReadExclusiveWriteSynchronizer;

// Readers check that two plain counters never differ while writers bump them
// one after the other; every fourth reader nests a read, every writer reads
// under its write. Under ThreadSanitizer any access the lock fails to order
// is a reported race. Eight threads on two cores keep both sides contended
// and put several threads into one reader slot each way round.
TEST(MultiReadExclusiveWriteSynchronizerStress, CountersStayConsistent) {
  TLock lock;
  long first = 0;
  long second = 0;
  std::atomic<long> torn{0};
  constexpr int Threads = 8;
  constexpr int Rounds = 20000;
  std::vector<std::thread> threads;
  for (int t = 0; t < Threads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < Rounds; ++round) {
        if ((round + t) % 5 == 0) {
          TWriteGuard write(lock);
          ++first;
          TReadGuard read(lock);
          ++second;
        } else {
          TReadGuard read(lock);
          if (first != second) {
            ++torn;
          }
          if (round % 4 == 0) {
            TReadGuard nested(lock);
            if (first != second) {
              ++torn;
            }
          }
        }
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(first, Threads * Rounds / 5);
  EXPECT_EQ(second, first);
}

}  // namespace
}  // namespace korvalen
