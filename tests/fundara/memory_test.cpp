#include "contracts/fundara/memory.h"

#include "contracts/fundara/block_cache.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

using fundara_internal::CBlockCache;

namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;
constexpr std::size_t kFrame = 1920 * 1080 * 3;

// Gives the cache a fresh malloc block of `size` bytes and returns it.
void* GiveNew(CBlockCache& cache, std::size_t size) {
  void* block = std::malloc(size);
  cache.Give(block, malloc_usable_size(block));
  return block;
}

}  // namespace

TEST(BlockCache, HandsBackOnlyBlocksThatFitWithoutMuchWaste) {
  struct Case {
    std::size_t kept, asked;
    bool reused;
  } cases[] = {
      {kFrame, kFrame, true},              // the same frame size again
      {kFrame, kFrame - 4096, true},       // a little smaller
      {kFrame, kFrame / 2, false},         // would waste half the block
      {kFrame, kFrame + 8192, false},      // does not hold the request
      {kFrame, 1000, false},               // small requests never take kept blocks
      {512 * 1024, 512 * 1024, false},     // small blocks are not kept at all
      {200 * kMiB, 200 * kMiB, false},     // neither are huge ones
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "kept " << c.kept << ", asked " << c.asked);
    CBlockCache cache;
    void* block = GiveNew(cache, c.kept);
    void* got = cache.Take(c.asked);
    EXPECT_EQ(got == block, c.reused);
    if (got) std::free(got);
    const bool kept = c.kept >= CBlockCache::kMinBlock && c.kept <= CBlockCache::kMaxBytes;
    EXPECT_EQ(cache.Bytes() != 0, kept && !c.reused);
  }
}

TEST(BlockCache, PrefersTheSmallestFittingBlockAndDropsTheOldest) {
  CBlockCache cache;
  void* big = GiveNew(cache, 3 * kMiB + kMiB / 2);
  void* exact = GiveNew(cache, 3 * kMiB + 4096);
  EXPECT_EQ(cache.Take(3 * kMiB + 4096), exact);
  std::free(exact);
  EXPECT_EQ(cache.Take(3 * kMiB + 4096), big);  // within a quarter
  std::free(big);

  for (std::size_t i = 1; i <= 12; ++i) GiveNew(cache, 2 * i * kMiB);
  EXPECT_LE(cache.Bytes(), CBlockCache::kMaxBytes);
  EXPECT_LE(cache.Bytes(), CBlockCache::kMaxBlocks * (24 * kMiB + 4096));
  // The oldest were dropped: the first sizes are gone, the last kept.
  EXPECT_EQ(cache.Take(2 * kMiB), nullptr);
  void* last = cache.Take(24 * kMiB);
  EXPECT_NE(last, nullptr);
  std::free(last);
}

TEST(BlockCache, ConcurrentUseHandsEachBlockToOneOwner) {
  CBlockCache cache;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t, &cache] {
      const std::size_t size = 2 * kMiB + static_cast<std::size_t>(t) * 64;
      for (int i = 0; i < 200; ++i) {
        auto* p = static_cast<unsigned char*>(cache.Take(size));
        if (!p) p = static_cast<unsigned char*>(std::malloc(size));
        ASSERT_NE(p, nullptr);
        p[0] = static_cast<unsigned char>(t);
        p[size - 1] = static_cast<unsigned char>(t);
        std::this_thread::yield();
        // Another owner of the same block would have overwritten the marks.
        ASSERT_EQ(p[0], t);
        ASSERT_EQ(p[size - 1], t);
        cache.Give(p, malloc_usable_size(p));
      }
    });
  for (auto& th : threads) th.join();
}

TEST(Memory, SanitizerBuildsKeepNoBlocks) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  EXPECT_FALSE(NewMemKeepsBlocks());
#endif
  unsigned char* a = NewMem(kFrame);
  ASSERT_NE(a, nullptr);
  std::memset(a, 7, kFrame);
  DelMem(a);
  if (NewMemKeepsBlocks()) {
    EXPECT_GE(NewMemCachedBytes(), kFrame);
    unsigned char* b = NewMem(kFrame);
    EXPECT_EQ(b, a);
    DelMem(b);
  } else {
    EXPECT_EQ(NewMemCachedBytes(), 0u);
  }
  EXPECT_EQ(NewMem(0), nullptr);
  DelMem(nullptr);
}
