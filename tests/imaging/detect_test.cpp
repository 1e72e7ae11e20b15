// Page detection: the Hough transform and its refusals, bounding lines and
// outline of axis-aligned and cut-off pages, the skew of rotated pages, the
// straightened page, the line utilities, the dark-region flood and the
// projection-based detector.

#include "contracts/fundara/memory.h"
#include "imaging/data_handler.h"

#include "tests/imaging/reference.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using ref::Bytes;

constexpr double kDeg = 3.141592653589793 / 180;

// A 24-bit picture (padded rows) of a white rectangle on a dark desk.
Bytes PagePicture(int w, int h, CRect page, unsigned char desk = 40) {
  const std::size_t stride = ref::Stride(w, 24);
  Bytes pic(stride * h, desk);
  for (int y = std::max(page.top, 0); y < std::min(page.bottom, h); ++y)
    for (int x = std::max(page.left, 0); x < std::min(page.right, w); ++x)
      for (int k = 0; k < 3; ++k) pic[stride * y + 3 * x + k] = 250;
  return pic;
}

// Packed plane with an edge ring along the border of `r` (inclusive edges).
Bytes RingPlane(int w, int h, CRect r) {
  Bytes plane(static_cast<std::size_t>(w) * h, 0);
  for (int y = r.top; y <= r.bottom; ++y)
    for (int x = r.left; x <= r.right; ++x)
      if (y == r.top || y == r.bottom || x == r.left || x == r.right) plane[y * w + x] = 255;
  return plane;
}

// The picture rotated about its centre by `angle` radians (packed 24-bit
// through the bilinear rotation, back into padded rows).
Bytes Rotated(const Bytes& pic, int w, int h, double angle, int& ow, int& oh) {
  CDataHandler d;
  Bytes packed(static_cast<std::size_t>(w) * 3 * h);
  for (int y = 0; y < h; ++y)
    std::copy_n(pic.data() + ref::Stride(w, 24) * y, w * 3, packed.data() + w * 3 * y);
  unsigned char* out = nullptr;
  unsigned int rw = 0, rh = 0;
  d.RotateInterpolation(packed.data(), w, h, 3, out, rw, rh, angle);
  ow = static_cast<int>(rw);
  oh = static_cast<int>(rh);
  Bytes result(ref::Stride(ow, 24) * oh);
  for (int y = 0; y < oh; ++y)
    std::copy_n(out + ow * 3 * y, ow * 3, result.data() + ref::Stride(ow, 24) * y);
  delete[] out;
  return result;
}

TEST(PageDetect, NoEdgePlaneGivesTheEmptyLineAndPresetDistances) {
  CDataHandler d;
  Bytes plane(40 * 30, 100);
  _STRAIGHTLINE line{7, 7, 7};
  ASSERT_EQ(d.HoughTrans(plane.data(), 40, 30, line), 1);
  EXPECT_EQ(line.votes, 0);
  EXPECT_EQ(line.distance, 0);
  EXPECT_EQ(line.angleStep, 0);
  _STRAIGHTLINE lines[4] = {{9, 1, 1}, {9, 1, 1}, {9, 1, 1}, {9, 1, 1}};
  ASSERT_EQ(d.SearchLine(plane.data(), 40, 30, line, lines), 1);
  EXPECT_EQ(lines[0].distance, 0);
  EXPECT_EQ(lines[2].distance, 50);  // D = trunc(sqrt(1600 + 900) + 0.5)
  EXPECT_EQ(lines[1].distance, 0);
  EXPECT_EQ(lines[3].distance, 50);
  EXPECT_EQ(lines[1].angleStep, 45);
  EXPECT_EQ(lines[0].votes, 9);  // votes are not touched

  EXPECT_EQ(d.HoughTrans(nullptr, 40, 30, line), 0);
  EXPECT_EQ(d.HoughTrans(plane.data(), 0, 30, line), 0);
  EXPECT_EQ(d.SearchLine(plane.data(), 40, 0, line, lines), 0);
  Bytes flat = PagePicture(64, 48, CRect(0, 0, 0, 0));
  EXPECT_EQ(d.CheckRotatePictureEx(flat.data(), 64, 48, 24, nullptr), 0.0f);
}

// Plane holding the first `n` pixels (row order) of each of two lines, so
// that their cells get exactly n votes each.
Bytes TwoLines(CDataHandler& d, int w, int h, _STRAIGHTLINE a, _STRAIGHTLINE b, int n) {
  Bytes plane(static_cast<std::size_t>(w) * h, 0);
  for (const _STRAIGHTLINE& l : {a, b}) {
    int left = n;
    for (int y = 0; y < h && left; ++y)
      for (int x = 0; x < w && left; ++x)
        if (d.GetDistance(l, x, y) == l.distance) {
          plane[y * w + x] = 255;
          --left;
        }
  }
  return plane;
}

// Votes of a cell counted directly.
int Votes(CDataHandler& d, const Bytes& plane, int w, int h, _STRAIGHTLINE l) {
  int votes = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) votes += plane[y * w + x] > 125 && d.GetDistance(l, x, y) == l.distance;
  return votes;
}

TEST(PageDetect, EqualVotesGoToTheStepFartherFromTheDiagonals) {
  CDataHandler d;
  const int w = 200, h = 200, n = 60;
  // Step 44 (88 degrees) and step 20 (40 degrees), each order of distance.
  for (const auto& [d44, d20] : {std::pair{30, 120}, std::pair{150, 100}}) {
    const _STRAIGHTLINE l44{0, d44, 44}, l20{0, d20, 20};
    const Bytes plane = TwoLines(d, w, h, l44, l20, n);
    ASSERT_EQ(Votes(d, plane, w, h, l44), n);
    ASSERT_EQ(Votes(d, plane, w, h, l20), n);
    _STRAIGHTLINE line{};
    ASSERT_EQ(d.HoughTrans(plane.data(), w, h, line), 1);
    EXPECT_EQ(line.angleStep, 44) << d44 << " " << d20;
    EXPECT_EQ(line.distance, d44);
    EXPECT_EQ(line.votes, n);
  }
}

TEST(PageDetect, AxisAlignedRingGivesItsSidesAndCorners) {
  CDataHandler d;
  const int w = 100, h = 80;
  Bytes plane = RingPlane(w, h, CRect(20, 15, 70, 60));
  _STRAIGHTLINE main{};
  ASSERT_EQ(d.HoughTrans(plane.data(), w, h, main), 1);
  EXPECT_TRUE(main.angleStep == 0 || main.angleStep == 45) << main.angleStep;
  EXPECT_EQ(main.votes, main.angleStep == 0 ? 46 : 51);
  _STRAIGHTLINE lines[4];
  ASSERT_EQ(d.SearchLine(plane.data(), w, h, main, lines), 1);
  _SEGMENT seg[4];
  ASSERT_EQ(d.SearchRect(plane.data(), w, h, lines, seg), 1);
  for (const _SEGMENT& s : seg) {
    for (int x : {s.x1, s.x2}) EXPECT_TRUE(std::abs(x - 20) <= 1 || std::abs(x - 70) <= 1) << x;
    for (int y : {s.y1, s.y2}) EXPECT_TRUE(std::abs(y - 15) <= 1 || std::abs(y - 60) <= 1) << y;
  }
  // Consecutive sides share their corner.
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(seg[i].x2, seg[(i + 1) % 4].x1);
    EXPECT_EQ(seg[i].y2, seg[(i + 1) % 4].y1);
  }
}

TEST(PageDetect, StraightPageHasNoSkewAndItsBorderRectangle) {
  CDataHandler d;
  const int w = 640, h = 480;
  const CRect page(120, 90, 500, 400);
  Bytes pic = PagePicture(w, h, page);
  EXPECT_EQ(d.CheckRotatePictureEx(pic.data(), w, h, 24, nullptr), 0.0f);
  const CRect r = d.GetBlackSideRectEx(pic.data(), w, h, 24, nullptr, CRect(0, 0, w, h));
  EXPECT_NEAR(r.left, page.left, 6);
  EXPECT_NEAR(r.top, page.top, 6);
  EXPECT_NEAR(r.right, page.right, 6);
  EXPECT_NEAR(r.bottom, page.bottom, 6);
  // Relative to a smaller area.
  const CRect in = d.GetBlackSideRectEx(pic.data(), w, h, 24, nullptr, CRect(100, 50, 600, 450));
  EXPECT_NEAR(in.left, page.left - 100, 6);
  EXPECT_NEAR(in.top, page.top - 50, 6);

  EXPECT_EQ(d.GetBlackSideRectEx(pic.data(), w, h, 32, nullptr, CRect(0, 0, w, h)), CRect());
  EXPECT_EQ(d.GetBlackSideRectEx(nullptr, w, h, 24, nullptr, CRect(0, 0, w, h)), CRect());
  EXPECT_EQ(d.GetBlackSideRectEx(pic.data(), w, h, 24, nullptr, CRect(w, 0, w + 5, h)), CRect());
}

TEST(PageDetect, PageCutByTheBorderStaysInsideTheArea) {
  CDataHandler d;
  const int w = 640, h = 480;
  Bytes pic = PagePicture(w, h, CRect(200, 100, 700, 380));
  const CRect r = d.GetBlackSideRectEx(pic.data(), w, h, 24, nullptr, CRect(0, 0, w, h));
  EXPECT_FALSE(r.IsRectEmpty());
  EXPECT_GE(r.left, 0);
  EXPECT_GE(r.top, 0);
  EXPECT_LE(r.right, w);
  EXPECT_LE(r.bottom, h);
  EXPECT_NEAR(r.left, 200, 6);
  EXPECT_GE(r.right, w - 6);
}

TEST(PageDetect, SkewOfARotatedPageTurnsItBack) {
  CDataHandler d;
  const int w = 640, h = 480;
  Bytes pic = PagePicture(w, h, CRect(150, 110, 490, 370));
  for (double deg : {-44.0, -12.0, -6.0, 2.0, 8.0, 20.0, 44.0}) {
    int rw = 0, rh = 0;
    Bytes rot = Rotated(pic, w, h, deg * kDeg, rw, rh);
    const float skew = d.CheckRotatePictureEx(rot.data(), rw, rh, 24, nullptr);
    // Steps are 2 degrees apart, so the answer is within one step.
    EXPECT_NEAR(skew / kDeg, -deg, 2.01) << deg;
  }
}

TEST(PageDetect, StraightenedPageIsTheLineSetsInside) {
  CDataHandler d;
  const int w = 200, h = 160;
  Bytes pic = PagePicture(w, h, CRect(40, 30, 160, 130));
  // Step 0: lines 0/2 vertical at x = 159 and 40; step 45: y = 129 and 30.
  const _STRAIGHTLINE lines[4] = {{0, 159, 0}, {0, 129, 45}, {0, 40, 0}, {0, 30, 45}};
  unsigned char* out = NewMem(16);
  int ow = 0, oh = 0;
  ASSERT_EQ(d.RotateGreenFrame(pic.data(), w, h, 24, lines, out, ow, oh), 1);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(ow, 119);
  EXPECT_EQ(oh, 99);
  // The window starts at the lesser distances: the page fills it.
  const std::size_t stride = ref::Stride(ow, 24);
  unsigned long white = 0;
  for (int y = 0; y < oh; ++y)
    for (int x = 0; x < ow; ++x) white += out[stride * y + 3 * x] == 250;
  EXPECT_GT(white, static_cast<unsigned long>(ow * oh * 95 / 100));
  DelMem(out);

  // Sides out of order: refused, output left alone.
  const _STRAIGHTLINE bad[4] = {{0, 40, 0}, {0, 129, 45}, {0, 159, 0}, {0, 30, 45}};
  unsigned char* keep = NewMem(4);
  EXPECT_EQ(d.RotateGreenFrame(pic.data(), w, h, 24, bad, keep, ow, oh), 0);
  EXPECT_NE(keep, nullptr);
  DelMem(keep);
}

TEST(PageDetect, LineUtilities) {
  CDataHandler d;
  const _STRAIGHTLINE vertical{0, 5, 0};
  EXPECT_EQ(d.GetDistance(vertical, 5, 17), 5);
  const _STRAIGHTLINE diag{0, 0, 22};  // 44 degrees
  // cos44*10 + sin44*(-10) = 0.349 -> 0; half away from zero on negatives.
  EXPECT_EQ(d.GetDistance(diag, 10, -10), 0);
  EXPECT_EQ(d.GetDistance(_STRAIGHTLINE{0, 0, 45}, 3, -7), -7);

  Bytes plane(12 * 8, 0);
  const _STRAIGHTLINE four[4] = {vertical, {0, 2, 45}, vertical, {0, 2, 45}};
  ASSERT_EQ(d.DrawStraightLine(plane.data(), 12, 8, four), 1);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 12; ++x) EXPECT_EQ(plane[y * 12 + x], (x == 5 || y == 2) ? 255 : 0);

  // GetPosition: (0, 0) is the corner of lines 2 and 3.
  const _STRAIGHTLINE set[4] = {{0, 120, 10}, {0, 60, 55}, {0, 40, 10}, {0, -30, 55}};
  int x = 0, y = 0;
  ASSERT_EQ(d.GetPosition(set, 0, 0, x, y), 1);
  EXPECT_NEAR(d.GetDistance(set[2], x, y), 40, 1);
  EXPECT_NEAR(d.GetDistance(set[3], x, y), -30, 1);
  ASSERT_EQ(d.GetPosition(set, 80, 90, x, y), 1);
  EXPECT_NEAR(d.GetDistance(set[0], x, y), 120, 1);
  EXPECT_NEAR(d.GetDistance(set[1], x, y), 60, 1);
  EXPECT_EQ(d.GetPosition(set, 81, 0, x, y), 0);
  EXPECT_EQ(d.GetPosition(set, 0, -1, x, y), 0);
  const _STRAIGHTLINE upright[4] = {{0, 120, 0}, {0, 60, 45}, {0, 40, 0}, {0, -30, 45}};
  EXPECT_EQ(d.GetPosition(upright, 0, 0, x, y), 0);  // sin of line 0's angle is 0
}

TEST(PageDetect, FloodStopsAtDiagonalContact) {
  CDataHandler d;
  // A dark border along the left column (rows 0..3) and a dark blob that
  // touches it only at a corner: (4, 1) is diagonal to (3, 0).
  const int w = 8, h = 8;
  Bytes plane(w * h, 200);
  for (int r = 0; r < 4; ++r) plane[r * w] = 10;
  plane[4 * w + 1] = 50;
  plane[5 * w + 1] = 124;
  plane[5 * w + 2] = 0;
  EXPECT_EQ(d.DelBlackSide(plane.data(), w, h, 0, 0), 4u);
  for (int r = 0; r < 4; ++r) EXPECT_EQ(plane[r * w], 255);
  EXPECT_EQ(plane[4 * w + 1], 50);
  EXPECT_EQ(plane[5 * w + 1], 124);
  EXPECT_EQ(plane[5 * w + 2], 0);
  EXPECT_EQ(d.DelBlackSide(plane.data(), w, h, 4, 1), 3u);  // 124 joins, 125 would not
  EXPECT_EQ(plane[5 * w + 2], 255);
  plane[0] = 125;
  EXPECT_EQ(d.DelBlackSide(plane.data(), w, h, 0, 0), 1u);  // the seed is set whatever it was
  EXPECT_EQ(plane[0], 255);
  EXPECT_EQ(d.DelBlackSide(plane.data(), w, h, 8, 0), 0u);
  EXPECT_EQ(d.DelBlackSide(nullptr, w, h, 0, 0), 0u);
  // A large region needs no deep recursion.
  Bytes big(1000 * 1000, 0);
  EXPECT_EQ(d.DelBlackSide(big.data(), 1000, 1000, 500, 500), 1000000u);
}

TEST(PageDetect, ProjectionDetector) {
  CDataHandler d;
  // Erosion: a bright 5 x 5 block shrinks to 3 x 3; the plane's edge is 0.
  const int w = 10, h = 9;
  const std::size_t stride = ref::Stride(w, 8);
  Bytes plane(stride * h, 0);
  for (int y = 2; y < 7; ++y)
    for (int x = 2; x < 7; ++x) plane[stride * y + x] = 200;
  EXPECT_EQ(d.StatisticsWhiteSpots(plane.data(), w, h, CRect(-5, -5, 50, 50)), 25u);
  EXPECT_EQ(d.ExpandRustCompare(plane.data(), static_cast<int>(stride), 0, 2, 2, 0), 1);
  EXPECT_EQ(d.ExpandRustCompare(plane.data(), static_cast<int>(stride), 0, 4, 4, 0), 0);
  EXPECT_EQ(d.ExpandRustCompare(plane.data(), static_cast<int>(stride), 0, 1, 4, 1), 1);
  ASSERT_EQ(d.GreyRust(plane.data(), w, h, CRect(0, 0, w, h)), 1);
  EXPECT_EQ(d.StatisticsWhiteSpots(plane.data(), w, h, CRect(0, 0, w, h)), 9u);
  EXPECT_EQ(plane[stride * 4 + 4], 200);
  EXPECT_EQ(d.StatisticsWhiteSpots(plane.data(), w, h, CRect(4, 4, 5, 5)), 1u);

  // A straight page: its rectangle grown by 10, no skew.
  const int pw = 320, ph = 240;
  Bytes pic = PagePicture(pw, ph, CRect(60, 40, 260, 200));
  const CRect r = d.GetBlackSideRect(pic.data(), pw, ph, 24, nullptr, CRect(0, 0, pw, ph));
  EXPECT_FALSE(r.IsRectEmpty());
  EXPECT_LE(r.left, 60);
  EXPECT_LE(r.top, 40);
  EXPECT_GE(r.right, 250);
  EXPECT_GE(r.bottom, 190);
  EXPECT_EQ(d.CheckRotatePicture(pic.data(), pw, ph, 24, nullptr), 0.0f);
  Bytes dark = PagePicture(pw, ph, CRect());
  EXPECT_EQ(d.GetBlackSideRect(dark.data(), pw, ph, 24, nullptr, CRect(0, 0, pw, ph)), CRect());
  EXPECT_EQ(d.CheckRotatePicture(nullptr, pw, ph, 24, nullptr), 0.0f);
}

}  // namespace
