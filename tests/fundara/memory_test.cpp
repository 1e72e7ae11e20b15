#include "contracts/fundara/memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

TEST(Memory, LargeBlocksAreReusedWhenTheSizeFits) {
  constexpr std::size_t kFrame = 1920 * 1080 * 3;
  unsigned char* a = NewMem(kFrame);
  ASSERT_NE(a, nullptr);
  std::memset(a, 7, kFrame);
  DelMem(a);
  EXPECT_GE(NewMemCachedBytes(), kFrame);
  unsigned char* b = NewMem(kFrame);
  EXPECT_EQ(b, a);  // the same frame size gets the kept block back
  // A much smaller request does not take a block it would mostly waste.
  DelMem(b);
  unsigned char* small = NewMem(kFrame / 2);
  EXPECT_NE(small, b);
  std::memset(small, 1, kFrame / 2);
  DelMem(small);
  EXPECT_EQ(NewMem(0), nullptr);
  DelMem(nullptr);
}

TEST(Memory, KeptBlocksStayBounded) {
  std::vector<unsigned char*> blocks;
  for (int i = 0; i < 12; ++i) blocks.push_back(NewMem((std::size_t{8} << 20) + i * 4096));
  for (auto* b : blocks) DelMem(b);
  EXPECT_LE(NewMemCachedBytes(), std::size_t{128} << 20);
  EXPECT_LE(NewMemCachedBytes(), std::size_t{4} * ((std::size_t{8} << 20) + 12 * 4096 + 4096));
}

TEST(Memory, ConcurrentUseHandsEachBlockToOneOwner) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 200; ++i) {
        const std::size_t size = (std::size_t{2} << 20) + static_cast<std::size_t>(t) * 64;
        unsigned char* p = NewMem(size);
        ASSERT_NE(p, nullptr);
        p[0] = static_cast<unsigned char>(t);
        p[size - 1] = static_cast<unsigned char>(t);
        std::this_thread::yield();
        // Another owner of the same block would have overwritten the marks.
        ASSERT_EQ(p[0], t);
        ASSERT_EQ(p[size - 1], t);
        DelMem(p);
      }
    });
  for (auto& th : threads) th.join();
}
