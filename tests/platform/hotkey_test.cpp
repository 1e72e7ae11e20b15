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
