#pragma once
// A single-producer, single-consumer queue of fixed capacity. Storage is allocated once
// at construction; Push and Pop take no lock and allocate nothing, so the audio thread
// may be either side.

#include <atomic>
#include <cstddef>
#include <vector>

namespace iplug {

template <class T>
class IPlugQueue {
 public:
  // Holds up to `capacity` elements; a push onto a full queue is refused.
  explicit IPlugQueue(std::size_t capacity) : mSlots(capacity + 1) {}
  IPlugQueue(const IPlugQueue&) = delete;
  IPlugQueue& operator=(const IPlugQueue&) = delete;

  // Producer side. Returns false, dropping the element, when the queue is full.
  [[nodiscard]] bool Push(const T& item) {
    const std::size_t w = mWrite.load(std::memory_order_relaxed);
    const std::size_t next = Next(w);
    if (next == mRead.load(std::memory_order_acquire)) return false;
    mSlots[w] = item;
    mWrite.store(next, std::memory_order_release);
    return true;
  }

  // Consumer side. Returns false when the queue is empty.
  bool Pop(T& item) {
    const std::size_t r = mRead.load(std::memory_order_relaxed);
    if (r == mWrite.load(std::memory_order_acquire)) return false;
    item = mSlots[r];
    mRead.store(Next(r), std::memory_order_release);
    return true;
  }

  std::size_t ElementsAvailable() const {
    const std::size_t w = mWrite.load(std::memory_order_acquire);
    const std::size_t r = mRead.load(std::memory_order_acquire);
    return (w + mSlots.size() - r) % mSlots.size();
  }

 private:
  std::size_t Next(std::size_t i) const { return i + 1 == mSlots.size() ? 0 : i + 1; }

  std::vector<T> mSlots;
  std::atomic<std::size_t> mWrite{0};
  std::atomic<std::size_t> mRead{0};
};

}  // namespace iplug
