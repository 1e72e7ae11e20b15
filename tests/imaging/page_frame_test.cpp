#include "imaging/page_frame.h"

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
