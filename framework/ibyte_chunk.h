#pragma once
// A growable byte buffer for saved state. Values are stored in the machine's own byte
// order; every read names its start position and returns the position after it, or -1
// when the buffer is too short (nothing is read then).

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

namespace iplug {

class IByteChunk {
 public:
  int PutBytes(const void* data, int size) {
    if (size <= 0) return Size();
    const std::size_t at = mBytes.size();
    mBytes.resize(at + static_cast<std::size_t>(size));
    std::memcpy(mBytes.data() + at, data, static_cast<std::size_t>(size));
    return Size();
  }

  int GetBytes(void* dst, int size, int startPos) const {
    if (startPos < 0 || size < 0 || static_cast<std::size_t>(startPos) + static_cast<std::size_t>(size) > mBytes.size())
      return -1;
    if (size > 0) std::memcpy(dst, mBytes.data() + startPos, static_cast<std::size_t>(size));
    return startPos + size;
  }

  template <class T>
  int Put(const T* value) {
    static_assert(std::is_trivially_copyable_v<T>);
    return PutBytes(value, static_cast<int>(sizeof(T)));
  }

  template <class T>
  int Get(T* dst, int startPos) const {
    static_assert(std::is_trivially_copyable_v<T>);
    return GetBytes(dst, static_cast<int>(sizeof(T)), startPos);
  }

  int Size() const { return static_cast<int>(mBytes.size()); }
  const std::uint8_t* GetData() const { return mBytes.data(); }
  std::uint8_t* GetData() { return mBytes.data(); }

 private:
  std::vector<std::uint8_t> mBytes;
};

}  // namespace iplug
