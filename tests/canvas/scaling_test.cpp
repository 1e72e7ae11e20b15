#include "canvas/screengrabber.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace {

// A grabbed-picture stand-in: 4 bytes a pixel, blue green red unused.
struct TestFrame {
  std::vector<std::uint8_t> bytes;
  CScreenGrabber::Frame frame;
  TestFrame(int w, int h) : bytes(static_cast<size_t>(w) * h * 4, 0) {
    frame = {bytes.data(), w, h, w * 4};
  }
  void Set(int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    std::uint8_t* p = bytes.data() + (static_cast<size_t>(y) * frame.width + x) * 4;
    p[0] = b;
    p[1] = g;
    p[2] = r;
  }
};

// Red, green, blue of picture pixel (x, y) in a packed bottom-up picture.
std::array<int, 3> At(const std::vector<std::uint8_t>& out, int w, int h, int x, int y) {
  const std::uint8_t* p = out.data() + (static_cast<size_t>(h - 1 - y) * w + x) * 3;
  return {p[2], p[1], p[0]};
}

}  // namespace

TEST(FrameScaling, HalftoneAveragesAreasAndKeepsFlatColoursExact) {
  TestFrame src(6, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) src.Set(x, y, 200, 100, 7);
  std::vector<std::uint8_t> out(4 * 2 * 3, 0);
  ScaleFrameHalftone(src.frame, out.data(), 4, 2, 0, 0, 4, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(At(out, 4, 2, x, y), (std::array<int, 3>{200, 100, 7}));

  // Halving: each output pixel is the mean of a 2 × 2 block.
  TestFrame checker(4, 2);
  checker.Set(0, 0, 255, 0, 0);
  checker.Set(1, 1, 255, 0, 0);
  checker.Set(2, 0, 0, 0, 100);
  checker.Set(3, 0, 0, 0, 100);
  std::vector<std::uint8_t> half(2 * 1 * 3, 0);
  ScaleFrameHalftone(checker.frame, half.data(), 2, 1, 0, 0, 2, 1);
  EXPECT_EQ(At(half, 2, 1, 0, 0), (std::array<int, 3>{128, 0, 0}));
  EXPECT_EQ(At(half, 2, 1, 1, 0), (std::array<int, 3>{0, 0, 50}));
}

TEST(FrameScaling, PlacementIsBottomUpAndClipped) {
  TestFrame src(2, 2);
  src.Set(0, 0, 255, 0, 0);  // top-left red
  src.Set(1, 1, 0, 0, 255);  // bottom-right blue
  // Enlarged 2× at (1, 1) inside a 6 × 6 black picture.
  std::vector<std::uint8_t> out(6 * 6 * 3, 0);
  ScaleFrameNearest(src.frame, out.data(), 6, 6, 1, 1, 4, 4);
  EXPECT_EQ(At(out, 6, 6, 1, 1), (std::array<int, 3>{255, 0, 0}));
  EXPECT_EQ(At(out, 6, 6, 2, 2), (std::array<int, 3>{255, 0, 0}));
  EXPECT_EQ(At(out, 6, 6, 4, 4), (std::array<int, 3>{0, 0, 255}));
  EXPECT_EQ(At(out, 6, 6, 0, 0), (std::array<int, 3>{0, 0, 0}));
  EXPECT_EQ(At(out, 6, 6, 5, 5), (std::array<int, 3>{0, 0, 0}));
  // The first bytes in memory are the bottom line.
  EXPECT_EQ(out[0], 0);
  // A rectangle reaching past the picture writes only what fits.
  std::vector<std::uint8_t> clipped(3 * 3 * 3 + 1, 0xAB);
  ScaleFrameNearest(src.frame, clipped.data(), 3, 3, -2, -2, 4, 4);
  EXPECT_EQ(clipped.back(), 0xAB);
  EXPECT_EQ(At(clipped, 3, 3, 0, 0), (std::array<int, 3>{0, 0, 255}));
  EXPECT_EQ(At(clipped, 3, 3, 1, 1), (std::array<int, 3>{0, 0, 255}));
  EXPECT_EQ(At(clipped, 3, 3, 2, 2), (std::array<int, 3>{0xAB, 0xAB, 0xAB}));
  ScaleFrameHalftone(src.frame, clipped.data(), 3, 3, 2, 2, 3, 3);
  EXPECT_EQ(clipped.back(), 0xAB);
}
