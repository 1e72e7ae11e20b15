#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "contracts/fundara/memory.h"
#include "media/framequeue.h"

TEST(FrameQueue, PlaceholdersAreFilledOldestFirstAndHoldTheHead) {
  CFrameQueue q;
  EXPECT_EQ(0xFFFFFFFFu, q.GetFirstTimeMs());
  std::uint32_t time = 0, length = 0, pts = 0;
  int key = 0;
  unsigned char* data = nullptr;
  EXPECT_EQ(-1, q.GetFirstFrame(&time, &data, &length, &key));

  EXPECT_EQ(1, q.AddFrame(0, nullptr, 0, 0));
  EXPECT_EQ(2, q.AddFrame(40, nullptr, 0, 0));
  EXPECT_EQ(3, q.AddFrame(80, nullptr, 0, 0));
  EXPECT_EQ(0u, q.GetFirstTimeMs());

  // A placeholder at the head stays in place and yields no data.
  data = NewMem(8);  // whatever the caller held is released
  EXPECT_EQ(0, q.GetFirstFrame(&time, &data, &length, &key));
  EXPECT_EQ(nullptr, data);
  EXPECT_EQ(0u, time);
  EXPECT_EQ(3, q.GetListCount());

  const unsigned char a[2] = {1, 2}, b[3] = {3, 4, 5};
  q.UpdateFrame(a, 2, 1, 0);
  q.UpdateFrame(b, 3, 0, 120);
  EXPECT_EQ(0, q.GetFirstFrame(&time, &data, &length, &key, &pts));
  ASSERT_NE(nullptr, data);
  EXPECT_EQ(0u, time);
  EXPECT_EQ(2u, length);
  EXPECT_EQ(1, key);
  EXPECT_EQ(1, data[0]);
  EXPECT_EQ(0, q.GetFirstFrame(&time, &data, &length, &key, &pts));
  ASSERT_NE(nullptr, data);
  EXPECT_EQ(40u, time);
  EXPECT_EQ(120u, pts);
  EXPECT_EQ(3u, length);
  EXPECT_EQ(5, data[2]);
  EXPECT_EQ(1, q.GetListCount());
  // The last one is still a placeholder.
  EXPECT_EQ(0, q.GetFirstFrame(&time, &data, &length, &key));
  EXPECT_EQ(nullptr, data);
  EXPECT_EQ(80u, time);
  EXPECT_EQ(0, q.DelFirstFrame());
  EXPECT_EQ(-1, q.DelFirstFrame());
  EXPECT_EQ(0, q.GetListCount());
  // Filling with no placeholder left changes nothing.
  q.UpdateFrame(a, 2, 0, 0);
  EXPECT_EQ(0, q.GetListCount());
}

TEST(FrameQueue, UnitsAreCopiedAndRecordsCanBeTaken) {
  CFrameQueue q;
  unsigned char unit[4] = {9, 8, 7, 6};
  EXPECT_EQ(1, q.AddFrame(23, unit, 4, 0));
  unit[0] = 0;  // the queue holds its own copy
  _FRAMEDATA* rec = q.GetFirstFrame();
  ASSERT_NE(nullptr, rec);
  EXPECT_EQ(23u, rec->time);
  EXPECT_EQ(23u, rec->pts);
  EXPECT_EQ(9, rec->data[0]);
  CFrameQueue::FreeFrame(rec);
  EXPECT_EQ(nullptr, q.GetFirstFrame());
  for (int i = 0; i < 5; ++i) q.AddFrame(i, unit, 4, 0);
  q.AddFrame(9, nullptr, 0, 0);
  EXPECT_EQ(6, q.GetListCount());
  q.Release();
  EXPECT_EQ(0, q.GetListCount());
  EXPECT_EQ(0xFFFFFFFFu, q.GetFirstTimeMs());
}

TEST(FrameQueue, ProducerAndConsumerOnTwoThreads) {
  CFrameQueue q;
  constexpr int kUnits = 2000;
  std::thread producer([&] {
    for (int i = 0; i < kUnits; ++i) {
      q.AddFrame(static_cast<std::uint32_t>(i), nullptr, 0, 0);
      const unsigned char byte = static_cast<unsigned char>(i);
      q.UpdateFrame(&byte, 1, 0, static_cast<std::uint32_t>(i));
    }
  });
  int taken = 0;
  unsigned char* data = nullptr;
  while (taken < kUnits) {
    std::uint32_t time = 0, length = 0, pts = 0;
    int key = 0;
    if (q.GetFirstFrame(&time, &data, &length, &key, &pts) == 0 && data) {
      ASSERT_EQ(static_cast<std::uint32_t>(taken), time);
      ASSERT_EQ(time, pts);
      ASSERT_EQ(static_cast<unsigned char>(taken), data[0]);
      ++taken;
    }
  }
  producer.join();
  DelMem(data);
  EXPECT_EQ(0, q.GetListCount());
}
