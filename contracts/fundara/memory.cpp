#include "contracts/fundara/memory.h"

#include "contracts/fundara/block_cache.h"

#include <malloc.h>

#include <cstdlib>

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kKeepBlocks = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kKeepBlocks = false;
#else
constexpr bool kKeepBlocks = true;
#endif
#else
constexpr bool kKeepBlocks = true;
#endif

// Never destroyed: blocks may be released while the process shuts down.
fundara_internal::CBlockCache& TheCache() {
  static auto* cache = new fundara_internal::CBlockCache;
  return *cache;
}

}  // namespace

namespace fundara_internal {

CBlockCache::~CBlockCache() {
  for (const Block& b : blocks_) std::free(b.data);
}

void* CBlockCache::Take(std::size_t size) {
  if (size < kMinBlock) return nullptr;
  std::lock_guard lock(mutex_);
  std::size_t best = blocks_.size();
  for (std::size_t i = 0; i < blocks_.size(); ++i) {
    const std::size_t cap = blocks_[i].capacity;
    if (cap >= size && cap - size <= size / 4 &&
        (best == blocks_.size() || cap < blocks_[best].capacity))
      best = i;
  }
  if (best == blocks_.size()) return nullptr;
  void* data = blocks_[best].data;
  bytes_ -= blocks_[best].capacity;
  blocks_.erase(blocks_.begin() + static_cast<long>(best));
  return data;
}

void CBlockCache::Give(void* block, std::size_t capacity) {
  if (capacity < kMinBlock || capacity > kMaxBytes) {
    std::free(block);
    return;
  }
  std::vector<void*> evicted;
  {
    std::lock_guard lock(mutex_);
    blocks_.push_back({block, capacity});
    bytes_ += capacity;
    while (blocks_.size() > kMaxBlocks || bytes_ > kMaxBytes) {
      evicted.push_back(blocks_.front().data);
      bytes_ -= blocks_.front().capacity;
      blocks_.erase(blocks_.begin());
    }
  }
  for (void* p : evicted) std::free(p);
}

std::size_t CBlockCache::Bytes() const {
  std::lock_guard lock(mutex_);
  return bytes_;
}

}  // namespace fundara_internal

unsigned char* NewMem(std::size_t size) {
  if (size == 0) return nullptr;
  if (kKeepBlocks) {
    if (void* kept = TheCache().Take(size)) return static_cast<unsigned char*>(kept);
  }
  return static_cast<unsigned char*>(std::malloc(size));
}

void DelMem(void* block) {
  if (!block) return;
  if (!kKeepBlocks) {
    std::free(block);
    return;
  }
  TheCache().Give(block, malloc_usable_size(block));
}

std::size_t NewMemCachedBytes() { return kKeepBlocks ? TheCache().Bytes() : 0; }

bool NewMemKeepsBlocks() { return kKeepBlocks; }
