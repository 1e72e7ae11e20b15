#pragma once
// The released blocks that NewMem may hand out again (see memory.h).

#include <cstddef>
#include <mutex>
#include <vector>

namespace fundara_internal {

// The released blocks NewMem may hand out again (thread-safe). Blocks are
// malloc blocks; the cache frees the ones it drops.
class CBlockCache {
 public:
  static constexpr std::size_t kMinBlock = std::size_t{1} << 20;  // smaller blocks are cheap anyway
  static constexpr std::size_t kMaxBlocks = 4;
  static constexpr std::size_t kMaxBytes = std::size_t{128} << 20;

  CBlockCache() = default;
  ~CBlockCache();
  CBlockCache(const CBlockCache&) = delete;
  CBlockCache& operator=(const CBlockCache&) = delete;

  // The smallest kept block that holds `size` bytes without wasting more
  // than a quarter of it, taken out of the cache; nullptr when none fits.
  void* Take(std::size_t size);
  // Keeps a released block of `capacity` usable bytes, dropping the oldest
  // ones beyond the limits; a block too small or too large is freed at once.
  void Give(void* block, std::size_t capacity);
  std::size_t Bytes() const;

 private:
  struct Block {
    void* data;
    std::size_t capacity;
  };
  mutable std::mutex mutex_;
  std::vector<Block> blocks_;  // oldest first
  std::size_t bytes_ = 0;
};

}  // namespace fundara_internal
