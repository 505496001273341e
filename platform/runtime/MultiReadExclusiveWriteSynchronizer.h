#pragma once

// A reader-writer lock whose read side scales across cores.
//
// Any number of threads may hold the read side together; the write side
// excludes every other thread, readers and writers alike. Both sides are
// re-entrant for the thread that holds them:
//   - a thread that holds the write side gets the read side at once and may
//     take the write side again (counted);
//   - a thread that holds the read side gets a nested read at once, even while
//     a writer waits (otherwise a nested lookup under a read would deadlock);
//   - a thread that holds the read side may ask for the write side; it then
//     waits like any writer, and what it read before may have changed when
//     the write side is granted.
// Every Begin is matched by one End on the same thread. An End without a
// matching Begin does nothing. Waiting writers take precedence over new
// (not nested) readers. Nothing spins: waiting happens on a condition
// variable.
//
//   TMultiReadExclusiveWriteSynchronizer lock;
//   {
//     TReadGuard read(lock);    // shared
//     TReadGuard again(lock);   // nested, granted at once
//   }
//   TWriteGuard write(lock);    // exclusive
//
// A thread can hold at most MaxLocksHeldPerThread different locks at a time;
// beyond that BeginRead and BeginWrite throw std::length_error.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace korvalen {

class TMultiReadExclusiveWriteSynchronizer {
 public:
  static constexpr std::size_t MaxLocksHeldPerThread = 16;

  TMultiReadExclusiveWriteSynchronizer();
  TMultiReadExclusiveWriteSynchronizer(const TMultiReadExclusiveWriteSynchronizer&) = delete;
  TMultiReadExclusiveWriteSynchronizer& operator=(const TMultiReadExclusiveWriteSynchronizer&) =
      delete;

  void BeginRead();
  void EndRead() noexcept;
  void BeginWrite();
  void EndWrite() noexcept;

 private:
  // Readers count themselves in one of several slots, each on its own cache
  // line, chosen per thread: two readers on two cores then never write the
  // same line, which a single shared counter would make them do on every take.
  static constexpr std::size_t SlotCount = 16;
  struct alignas(128) TReaderSlot {
    std::atomic<std::uint32_t> Readers{0};
  };

  bool NoReaders() const noexcept;
  void LeaveSlot(std::atomic<std::uint32_t>& slot) noexcept;

  TReaderSlot FSlots[SlotCount];
  // Writers waiting or active. Readers read it on every take; only writers
  // write it, so it lives on a line of its own.
  alignas(128) std::atomic<std::uint32_t> FWriters{0};
  // Never reused, so a thread's record of a destroyed lock cannot be mistaken
  // for a new lock at the same address.
  const std::uint64_t FId;
  alignas(128) std::mutex FMutex;
  bool FWriterActive = false;            // guarded by FMutex
  std::condition_variable FReadersGone;  // a writer waits for readers to leave
  std::condition_variable FWriterGone;   // readers and writers wait for the writer
};

class TReadGuard {
 public:
  explicit TReadGuard(TMultiReadExclusiveWriteSynchronizer& lock) : FLock(lock) {
    FLock.BeginRead();
  }
  ~TReadGuard() { FLock.EndRead(); }
  TReadGuard(const TReadGuard&) = delete;
  TReadGuard& operator=(const TReadGuard&) = delete;

 private:
  TMultiReadExclusiveWriteSynchronizer& FLock;
};

class TWriteGuard {
 public:
  explicit TWriteGuard(TMultiReadExclusiveWriteSynchronizer& lock) : FLock(lock) {
    FLock.BeginWrite();
  }
  ~TWriteGuard() { FLock.EndWrite(); }
  TWriteGuard(const TWriteGuard&) = delete;
  TWriteGuard& operator=(const TWriteGuard&) = delete;

 private:
  TMultiReadExclusiveWriteSynchronizer& FLock;
};

}  // namespace korvalen
