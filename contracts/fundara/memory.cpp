#include "contracts/fundara/memory.h"

#include <malloc.h>

#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

constexpr std::size_t kMinCachedBlock = std::size_t{1} << 20;  // smaller blocks are cheap anyway
constexpr std::size_t kMaxCachedBlocks = 4;
constexpr std::size_t kMaxCachedBytes = std::size_t{128} << 20;

struct Block {
  void* data;
  std::size_t capacity;
};

struct Cache {
  std::mutex mutex;
  std::vector<Block> blocks;  // oldest first
  std::size_t bytes = 0;
};

// Never destroyed: blocks may be released while the process shuts down.
Cache& TheCache() {
  static Cache* cache = new Cache;
  return *cache;
}

}  // namespace

unsigned char* NewMem(std::size_t size) {
  if (size == 0) return nullptr;
  if (size >= kMinCachedBlock) {
    Cache& cache = TheCache();
    std::lock_guard lock(cache.mutex);
    // The smallest kept block that holds the request without wasting more
    // than a quarter of it.
    std::size_t best = cache.blocks.size();
    for (std::size_t i = 0; i < cache.blocks.size(); ++i) {
      const std::size_t cap = cache.blocks[i].capacity;
      if (cap >= size && cap - size <= size / 4 &&
          (best == cache.blocks.size() || cap < cache.blocks[best].capacity))
        best = i;
    }
    if (best != cache.blocks.size()) {
      void* data = cache.blocks[best].data;
      cache.bytes -= cache.blocks[best].capacity;
      cache.blocks.erase(cache.blocks.begin() + static_cast<long>(best));
      return static_cast<unsigned char*>(data);
    }
  }
  return static_cast<unsigned char*>(std::malloc(size));
}

void DelMem(void* block) {
  if (!block) return;
  const std::size_t capacity = malloc_usable_size(block);
  if (capacity < kMinCachedBlock || capacity > kMaxCachedBytes) {
    std::free(block);
    return;
  }
  std::vector<void*> evicted;
  {
    Cache& cache = TheCache();
    std::lock_guard lock(cache.mutex);
    cache.blocks.push_back({block, capacity});
    cache.bytes += capacity;
    while (cache.blocks.size() > kMaxCachedBlocks || cache.bytes > kMaxCachedBytes) {
      evicted.push_back(cache.blocks.front().data);
      cache.bytes -= cache.blocks.front().capacity;
      cache.blocks.erase(cache.blocks.begin());
    }
  }
  for (void* p : evicted) std::free(p);
}

std::size_t NewMemCachedBytes() {
  Cache& cache = TheCache();
  std::lock_guard lock(cache.mutex);
  return cache.bytes;
}
