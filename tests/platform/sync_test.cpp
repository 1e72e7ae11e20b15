#include "platform/sync.h"

#include <gtest/gtest.h>

#include <thread>

TEST(Event, ManualResetStaysSetUntilReset) {
  CEvent e;
  EXPECT_FALSE(e.Wait(10));
  std::thread t([&] { e.Set(); });
  EXPECT_TRUE(e.Wait(2000));
  t.join();
  EXPECT_TRUE(e.Wait(0));  // still set: manual reset
  EXPECT_TRUE(e.Wait(0));
  e.Reset();
  EXPECT_FALSE(e.Wait(0));
}

TEST(TickCount, Monotonic) {
  const auto a = GetTickCount();
  Sleep(20);
  const auto b = GetTickCount();
  EXPECT_GE(static_cast<std::uint32_t>(b - a), 15u);  // unsigned difference survives the wrap
}
