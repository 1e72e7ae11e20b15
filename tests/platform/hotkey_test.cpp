#include "platform/hotkey.h"

#include <gtest/gtest.h>

#include "tests/support/test_app.h"

TEST(HotKey, WithoutAnXDisplayNothingIsRegistered) {
  TestApp();  // offscreen platform
  CWnd window;
  EXPECT_FALSE(RegisterHotKey(&window, 2024, 0, VK_F9));
  EXPECT_FALSE(UnregisterHotKey(&window, 2024));
  EXPECT_FALSE(RegisterHotKey(nullptr, 1, 0, VK_F9));
}

TEST(HotKey, ParametersPackLikeTheMessageExpects) {
  EXPECT_EQ(MAKELPARAM(MOD_CONTROL | MOD_SHIFT, VK_F12), 0x007B0006);
  EXPECT_EQ(MAKELPARAM(0x1FFFF, 0x12345), 0x2345FFFF);
}
