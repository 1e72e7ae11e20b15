#include "imaging/page_frame.h"

#include "contracts/fundara/memory.h"

#include <gtest/gtest.h>

#include "tests/imaging/pages/page_photos.h"

// Scaled back to picture pixels, every outline end lies on the picture, or
// is marked not found (-1) in both coordinates.
TEST(PageFrame, OutlineEndsLieOnThePictureOrAreMarkedUnfound) {
  for (std::uint32_t seed = 1; seed <= 80; ++seed) {
    const PagePhoto photo = MakePagePhoto(seed, 400, 300, seed % 2 == 0);
    PageFrame frame;
    if (!FindPageFrame(photo.data.data(), photo.width, photo.height, frame)) continue;
    for (const _SEGMENT& s : frame.segments) {
      const int ends[2][2] = {{s.x1, s.y1}, {s.x2, s.y2}};
      for (const auto& e : ends) {
        EXPECT_EQ(e[0] == -1, e[1] == -1) << "seed " << seed;
        if (e[0] == -1) continue;
        EXPECT_GE(e[0], 0) << "seed " << seed;
        EXPECT_LE(e[0], photo.width) << "seed " << seed;
        EXPECT_GE(e[1], 0) << "seed " << seed;
        EXPECT_LE(e[1], photo.height) << "seed " << seed;
      }
    }
  }
}

TEST(PageFrame, ConvexQuadTellsPagesFromTangles) {
  struct Case {
    const char* what;
    double corners[4][2];
    bool convex;
  };
  const Case cases[] = {
      {"a rectangle", {{0, 0}, {10, 0}, {10, 5}, {0, 5}}, true},
      {"a rectangle the other way round", {{0, 5}, {10, 5}, {10, 0}, {0, 0}}, true},
      {"a trapezoid", {{0, 0}, {10, 0}, {8, 5}, {2, 5}}, true},
      {"crossed sides", {{0, 0}, {10, 5}, {10, 0}, {0, 5}}, false},
      {"a dent inwards", {{0, 0}, {10, 0}, {3, 3}, {0, 10}}, false},
      {"three corners in a line", {{0, 0}, {5, 0}, {10, 0}, {0, 5}}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(ConvexQuad(c.corners), c.convex) << c.what;
}

// A picture whose pixels tell where they lie: blue = column, green = row.
TEST(PageFrame, WarpPageQuadMapsTheCornersOntoARectangle) {
  const int w = 64, h = 48;
  std::vector<unsigned char> pic(PictureSize(w, h, 24), 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      unsigned char* p = pic.data() + PictureStride(w, 24) * y + 3 * x;
      p[0] = static_cast<unsigned char>(x * 4);
      p[1] = static_cast<unsigned char>(y * 4);
    }
  struct Case {
    const char* what;
    double corners[4][2];
    int width, height;
    int firstX, firstY;  // the source of the result's first pixel, give or take one
  };
  const Case cases[] = {
      {"a rectangle is cut out", {{10, 8}, {50, 8}, {50, 38}, {10, 38}}, 40, 30, 10, 8},
      {"listed clockwise from another corner", {{50, 38}, {50, 8}, {10, 8}, {10, 38}}, 40, 30, 10, 8},
      {"a trapezoid becomes a rectangle", {{10, 8}, {50, 8}, {40, 38}, {20, 38}}, 30, 32, 10, 8},
  };
  for (const Case& c : cases) {
    unsigned char* out = nullptr;
    int ow = 0, oh = 0;
    ASSERT_EQ(WarpPageQuad(pic.data(), w, h, 24, c.corners, out, ow, oh), 1) << c.what;
    EXPECT_NEAR(ow, c.width, 1) << c.what;
    EXPECT_NEAR(oh, c.height, 1) << c.what;
    EXPECT_NEAR(out[0] / 4.0, c.firstX, 1.0) << c.what;
    EXPECT_NEAR(out[1] / 4.0, c.firstY, 1.0) << c.what;
    // The last pixel of the first row comes from the first row's far corner.
    const unsigned char* last = out + 3 * (ow - 1);
    EXPECT_NEAR(last[1] / 4.0, c.firstY, 1.0) << c.what;
    DelMem(out);
  }
  const double crossed[4][2] = {{0, 0}, {10, 5}, {10, 0}, {0, 5}};
  unsigned char* out = nullptr;
  int ow = 0, oh = 0;
  EXPECT_EQ(WarpPageQuad(pic.data(), w, h, 24, crossed, out, ow, oh), 0);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(WarpPageQuad(nullptr, w, h, 24, cases[0].corners, out, ow, oh), 0);
}
