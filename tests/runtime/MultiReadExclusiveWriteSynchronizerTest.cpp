#include "platform/runtime/MultiReadExclusiveWriteSynchronizer.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace korvalen {
namespace {

using namespace std::chrono_literals;
using TLock = TMultiReadExclusiveWriteSynchronizer;

// Runs an action on another thread. Whether it got through is judged by
// waiting on it: a blocked action stays blocked until the test releases what
// blocks it, so a fault shows as a failed expectation, not as a hang.
class TOtherThread {
 public:
  explicit TOtherThread(std::function<void()> action)
      : FDone(std::async(std::launch::async, std::move(action))) {}
  ~TOtherThread() {
    if (FDone.valid()) {
      FDone.wait();
    }
  }
  // A generous limit: passing it means blocked, never merely slow.
  bool Finishes() { return FDone.wait_for(10s) == std::future_status::ready; }
  // Short on purpose: a thread that should block is given a moment to get
  // through wrongly; a slow machine can only hide a fault, never invent one.
  bool StaysBlocked() { return FDone.wait_for(100ms) == std::future_status::timeout; }

 private:
  std::future<void> FDone;
};

TEST(MultiReadExclusiveWriteSynchronizer, ReadersShareTheLock) {
  TLock lock;
  lock.BeginRead();
  TOtherThread reader([&] { TReadGuard read(lock); });
  EXPECT_TRUE(reader.Finishes());
  lock.EndRead();
}

TEST(MultiReadExclusiveWriteSynchronizer, WriterExcludesReadersAndWriters) {
  TLock lock;
  lock.BeginWrite();
  TOtherThread reader([&] { TReadGuard read(lock); });
  TOtherThread writer([&] { TWriteGuard write(lock); });
  EXPECT_TRUE(reader.StaysBlocked());
  EXPECT_TRUE(writer.StaysBlocked());
  lock.EndWrite();
  EXPECT_TRUE(reader.Finishes());
  EXPECT_TRUE(writer.Finishes());
}

TEST(MultiReadExclusiveWriteSynchronizer, ReaderExcludesWriter) {
  TLock lock;
  lock.BeginRead();
  TOtherThread writer([&] { TWriteGuard write(lock); });
  EXPECT_TRUE(writer.StaysBlocked());
  lock.EndRead();
  EXPECT_TRUE(writer.Finishes());
}

TEST(MultiReadExclusiveWriteSynchronizer, WriterTakesReadAndWriteAgainCounted) {
  TLock lock;
  TOtherThread owner([&] {
    TWriteGuard write(lock);
    TReadGuard read(lock);
    TWriteGuard writeAgain(lock);
    TReadGuard readAgain(lock);
  });
  ASSERT_TRUE(owner.Finishes());
  // Every take was released: another thread gets the write side.
  TOtherThread writer([&] { TWriteGuard write(lock); });
  EXPECT_TRUE(writer.Finishes());
}

TEST(MultiReadExclusiveWriteSynchronizer, InnerReleaseKeepsTheOuterHold) {
  TLock lock;
  lock.BeginWrite();
  lock.BeginWrite();
  lock.EndWrite();
  TOtherThread reader([&] { TReadGuard read(lock); });
  EXPECT_TRUE(reader.StaysBlocked());
  lock.EndWrite();
  EXPECT_TRUE(reader.Finishes());

  lock.BeginRead();
  lock.BeginRead();
  lock.EndRead();
  TOtherThread writer([&] { TWriteGuard write(lock); });
  EXPECT_TRUE(writer.StaysBlocked());
  lock.EndRead();
  EXPECT_TRUE(writer.Finishes());
}

// Without counted re-entrancy this test hangs: the nested read would wait for
// the writer, which waits for the outer read.
TEST(MultiReadExclusiveWriteSynchronizer, NestedReadIsGrantedWhileAWriterWaits) {
  TLock lock;
  lock.BeginRead();
  TOtherThread writer([&] { TWriteGuard write(lock); });
  // Gives the writer the moment it needs to announce itself.
  EXPECT_TRUE(writer.StaysBlocked());
  lock.BeginRead();
  lock.EndRead();
  EXPECT_TRUE(writer.StaysBlocked());
  lock.EndRead();
  EXPECT_TRUE(writer.Finishes());
}

TEST(MultiReadExclusiveWriteSynchronizer, NewReaderWaitsBehindAWaitingWriter) {
  TLock lock;
  lock.BeginRead();
  TOtherThread writer([&] { TWriteGuard write(lock); });
  EXPECT_TRUE(writer.StaysBlocked());
  TOtherThread reader([&] { TReadGuard read(lock); });
  EXPECT_TRUE(reader.StaysBlocked());
  lock.EndRead();
  EXPECT_TRUE(writer.Finishes());
  EXPECT_TRUE(reader.Finishes());
}

TEST(MultiReadExclusiveWriteSynchronizer, ReaderMayAskForTheWriteSide) {
  TLock lock;
  TOtherThread upgrader([&] {
    TReadGuard read(lock);
    TWriteGuard write(lock);
  });
  EXPECT_TRUE(upgrader.Finishes());
  TOtherThread writer([&] { TWriteGuard write(lock); });
  EXPECT_TRUE(writer.Finishes());
}

TEST(MultiReadExclusiveWriteSynchronizer, TwoReadersAskingToWriteBothGetThrough) {
  TLock lock;
  std::promise<void> bothRead;
  std::shared_future<void> go = bothRead.get_future().share();
  std::atomic<int> reading{0};
  auto upgrade = [&] {
    TReadGuard read(lock);
    if (++reading == 2) {
      bothRead.set_value();
    }
    go.wait();
    TWriteGuard write(lock);
  };
  TOtherThread first(upgrade);
  TOtherThread second(upgrade);
  EXPECT_TRUE(first.Finishes());
  EXPECT_TRUE(second.Finishes());
}

TEST(MultiReadExclusiveWriteSynchronizer, ReadsOpenAtTheWriteReleaseStayAReadHold) {
  TLock lock;
  lock.BeginWrite();
  lock.BeginRead();
  lock.EndWrite();
  TOtherThread reader([&] { TReadGuard read(lock); });
  EXPECT_TRUE(reader.Finishes());
  TOtherThread writer([&] { TWriteGuard write(lock); });
  EXPECT_TRUE(writer.StaysBlocked());
  lock.EndRead();
  EXPECT_TRUE(writer.Finishes());
}

TEST(MultiReadExclusiveWriteSynchronizer, ReleaseWithoutTakeDoesNothing) {
  TLock lock;
  lock.EndRead();
  lock.EndWrite();
  lock.BeginRead();
  lock.EndRead();
  lock.EndRead();  // one release too many
  TOtherThread writer([&] { TWriteGuard write(lock); });
  EXPECT_TRUE(writer.Finishes());
  lock.BeginWrite();
  TOtherThread reader([&] { TReadGuard read(lock); });
  EXPECT_TRUE(reader.StaysBlocked());
  lock.EndWrite();
  EXPECT_TRUE(reader.Finishes());
}

TEST(MultiReadExclusiveWriteSynchronizer, TooManyLocksHeldThrowsAndTakesNothing) {
  std::vector<std::unique_ptr<TLock>> locks;
  for (std::size_t i = 0; i <= TLock::MaxLocksHeldPerThread; ++i) {
    locks.push_back(std::make_unique<TLock>());
  }
  for (std::size_t i = 0; i < TLock::MaxLocksHeldPerThread; ++i) {
    locks[i]->BeginRead();
  }
  TLock& extra = *locks.back();
  EXPECT_THROW(extra.BeginRead(), std::length_error);
  EXPECT_THROW(extra.BeginWrite(), std::length_error);
  // Nested takes of held locks need no room.
  locks[0]->BeginRead();
  locks[0]->EndRead();
  for (std::size_t i = 0; i < TLock::MaxLocksHeldPerThread; ++i) {
    locks[i]->EndRead();
  }
  TOtherThread writer([&] { TWriteGuard write(extra); });
  EXPECT_TRUE(writer.Finishes());
}

}  // namespace
}  // namespace korvalen
