#pragma once
// Scratch memory of the filter operations: NewMem blocks released on every
// way out of the operation. A failed allocation leaves a null block, which
// the operation reports as a refusal instead of throwing.

#include "contracts/fundara/memory.h"

#include <cstddef>
#include <cstring>
#include <limits>

namespace pixalto {

template <typename T>
class ScratchBuffer {
 public:
  // `count` elements, zeroed when `zero` is set; null when count is 0, too
  // large or not available.
  explicit ScratchBuffer(std::size_t count, bool zero = false) {
    if (count == 0 || count > std::numeric_limits<std::size_t>::max() / sizeof(T)) return;
    data_ = reinterpret_cast<T*>(NewMem(count * sizeof(T)));
    if (data_ && zero) std::memset(static_cast<void*>(data_), 0, count * sizeof(T));
  }
  ~ScratchBuffer() { DelMem(data_); }
  ScratchBuffer(const ScratchBuffer&) = delete;
  ScratchBuffer& operator=(const ScratchBuffer&) = delete;

  T* get() const { return data_; }
  explicit operator bool() const { return data_ != nullptr; }
  T& operator[](std::size_t i) const { return data_[i]; }
  // Hands the block over to the caller (who releases it with DelMem).
  T* release() {
    T* p = data_;
    data_ = nullptr;
    return p;
  }

 private:
  T* data_ = nullptr;
};

// Bytes of a packed plane, or 0 when a size is below 1 or the product
// does not fit.
inline std::size_t PlaneBytes(int width, int height) {
  if (width < 1 || height < 1) return 0;
  return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

}  // namespace pixalto
