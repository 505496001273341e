#include "platform/runtime/MultiReadExclusiveWriteSynchronizer.h"

#include <stdexcept>

namespace korvalen {

namespace {

// What the current thread holds of one lock. A record exists only while one
// of its depths is non-zero, so the list stays short and is scanned quickly.
struct THeld {
  std::uint64_t LockId;
  std::uint32_t ReadDepth;
  std::uint32_t WriteDepth;
};

constexpr std::size_t MaxHeld = TMultiReadExclusiveWriteSynchronizer::MaxLocksHeldPerThread;
constexpr std::uint32_t NoSlot = ~0u;

// Plain data with constant initialisers: access needs no guard variable.
constinit thread_local THeld tHeld[MaxHeld] = {};
constinit thread_local std::size_t tHeldCount = 0;
constinit thread_local std::uint32_t tSlot = NoSlot;

std::atomic<std::uint64_t> gNextLockId{1};
std::atomic<std::uint32_t> gNextSlot{0};

THeld* FindHeld(std::uint64_t lockId) noexcept {
  for (std::size_t i = 0; i < tHeldCount; ++i) {
    if (tHeld[i].LockId == lockId) {
      return &tHeld[i];
    }
  }
  return nullptr;
}

void EnsureRoomForOneMore() {
  if (tHeldCount == MaxHeld) {
    throw std::length_error("a thread holds too many reader-writer locks at once");
  }
}

void AddHeld(std::uint64_t lockId, std::uint32_t readDepth, std::uint32_t writeDepth) noexcept {
  tHeld[tHeldCount++] = THeld{lockId, readDepth, writeDepth};
}

void DropHeld(THeld* held) noexcept {
  *held = tHeld[--tHeldCount];
}

// Threads are dealt slots in turn, so a handful of threads never share one.
std::uint32_t ThreadSlot(std::size_t slotCount) noexcept {
  if (tSlot == NoSlot) {
    tSlot =
        gNextSlot.fetch_add(1, std::memory_order_relaxed) % static_cast<std::uint32_t>(slotCount);
  }
  return tSlot;
}

}  // namespace

TMultiReadExclusiveWriteSynchronizer::TMultiReadExclusiveWriteSynchronizer()
    : FId(gNextLockId.fetch_add(1, std::memory_order_relaxed)) {}

bool TMultiReadExclusiveWriteSynchronizer::NoReaders() const noexcept {
  for (const TReaderSlot& slot : FSlots) {
    if (slot.Readers.load() != 0) {
      return false;
    }
  }
  return true;
}

void TMultiReadExclusiveWriteSynchronizer::LeaveSlot(std::atomic<std::uint32_t>& slot) noexcept {
  // Sequentially consistent on both sides: either this reader sees the
  // writer's announcement and wakes it, or the writer sees the count drop.
  if (slot.fetch_sub(1) == 1 && FWriters.load() != 0) {
    std::lock_guard<std::mutex> lock(FMutex);
    FReadersGone.notify_all();
  }
}

void TMultiReadExclusiveWriteSynchronizer::BeginRead() {
  if (THeld* held = FindHeld(FId)) {
    ++held->ReadDepth;
    return;
  }
  EnsureRoomForOneMore();
  std::atomic<std::uint32_t>& slot = FSlots[ThreadSlot(SlotCount)].Readers;
  for (;;) {
    slot.fetch_add(1);
    if (FWriters.load() == 0) {
      break;
    }
    // A writer waits or writes: step back so it can proceed, and come again
    // when no writer remains.
    std::unique_lock<std::mutex> lock(FMutex);
    if (slot.fetch_sub(1) == 1) {
      FReadersGone.notify_all();
    }
    FWriterGone.wait(lock, [this] { return FWriters.load() == 0; });
  }
  AddHeld(FId, 1, 0);
}

void TMultiReadExclusiveWriteSynchronizer::EndRead() noexcept {
  THeld* held = FindHeld(FId);
  if (held == nullptr || held->ReadDepth == 0) {
    return;
  }
  if (--held->ReadDepth > 0 || held->WriteDepth > 0) {
    // Still reading, or the reads were taken under this thread's write side
    // and never counted in a slot.
    return;
  }
  DropHeld(held);
  LeaveSlot(FSlots[ThreadSlot(SlotCount)].Readers);
}

void TMultiReadExclusiveWriteSynchronizer::BeginWrite() {
  THeld* held = FindHeld(FId);
  if (held != nullptr && held->WriteDepth > 0) {
    ++held->WriteDepth;
    return;
  }
  if (held == nullptr) {
    EnsureRoomForOneMore();
  }
  std::unique_lock<std::mutex> lock(FMutex);
  FWriters.fetch_add(1);
  if (held != nullptr) {
    // A reader asking to write would otherwise wait for itself to leave.
    if (FSlots[ThreadSlot(SlotCount)].Readers.fetch_sub(1) == 1) {
      FReadersGone.notify_all();
    }
  }
  FWriterGone.wait(lock, [this] { return !FWriterActive; });
  FWriterActive = true;
  FReadersGone.wait(lock, [this] { return NoReaders(); });
  if (held != nullptr) {
    held->WriteDepth = 1;
  } else {
    AddHeld(FId, 0, 1);
  }
}

void TMultiReadExclusiveWriteSynchronizer::EndWrite() noexcept {
  THeld* held = FindHeld(FId);
  if (held == nullptr || held->WriteDepth == 0) {
    return;
  }
  if (--held->WriteDepth > 0) {
    return;
  }
  if (held->ReadDepth > 0) {
    // Reads still open become a plain read, which the next writer waits for.
    FSlots[ThreadSlot(SlotCount)].Readers.fetch_add(1);
  } else {
    DropHeld(held);
  }
  // Notified under the mutex: a waiter may destroy the lock as soon as it
  // wakes.
  std::lock_guard<std::mutex> lock(FMutex);
  FWriterActive = false;
  FWriters.fetch_sub(1);
  FWriterGone.notify_all();
}

}  // namespace korvalen
