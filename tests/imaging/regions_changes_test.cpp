// Connected regions, hole filling and the frame-to-frame change detectors.

#include "imaging/data_handler.h"

#include "contracts/fundara/memory.h"
#include "tests/imaging/reference.h"

#include <gtest/gtest.h>

#include <deque>

namespace {

using ref::Bytes;

// ---- Plain renderings ---------------------------------------------------

// Region growth by real recursion (small planes only).
unsigned long RefPot(const Bytes& p, int w, int h, Bytes& visited, int r, int c, Bytes& out) {
  if (r < 0 || r >= h || c < 0 || c >= w || visited[r * w + c] || p[r * w + c] <= 125) return 0;
  visited[r * w + c] = 1;
  out[r * w + c] = p[r * w + c];
  return 1 + RefPot(p, w, h, visited, r - 1, c, out) + RefPot(p, w, h, visited, r, c - 1, out) +
         RefPot(p, w, h, visited, r + 1, c, out) + RefPot(p, w, h, visited, r, c + 1, out);
}

// Every unvisited on pixel in row order seeds a region into a cleared
// scratch plane; the strictly largest is kept.
Bytes RefRegionAnalysis(const Bytes& p, int w, int h) {
  Bytes visited(p.size(), 0), best;
  unsigned long bestCount = 0;
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) {
      if (p[r * w + c] <= 125 || visited[r * w + c]) continue;
      Bytes scratch(p.size(), 0);
      const unsigned long n = RefPot(p, w, h, visited, r, c, scratch);
      if (n > bestCount) {
        bestCount = n;
        best = scratch;
      }
    }
  return bestCount ? best : p;
}

Bytes RefFill(const Bytes& src, int w, int h, Bytes mask, int& copied) {
  copied = 0;
  for (int y = 0; y < h; ++y) {
    int first = -1, last = -1;
    for (int x = 0; x < w; ++x)
      if (mask[y * w + x] > 125) {
        if (first < 0) first = x;
        last = x;
      }
    for (int x = first; first >= 0 && x <= last; ++x, ++copied) mask[y * w + x] = src[y * w + x];
  }
  for (int x = 0; x < w; ++x) {
    int first = -1, last = -1;
    for (int y = 0; y < h; ++y)
      if (mask[y * w + x] > 125) {
        if (first < 0) first = y;
        last = y;
      }
    for (int y = first; first >= 0 && y <= last; ++y, ++copied) mask[y * w + x] = src[y * w + x];
  }
  return mask;
}

// A plane of random blobs: on pixels in clusters of many shapes.
Bytes Blobs(std::mt19937& rng, int w, int h, int density) {
  Bytes p(static_cast<std::size_t>(w) * h);
  for (auto& v : p) v = static_cast<unsigned char>(static_cast<int>(rng() % 100) < density ? 126 + rng() % 130 : rng() % 126);
  return p;
}

// ---- Regions --------------------------------------------------------------

TEST(AnalysisPot, BothFormsTakeTheRecursiveRegion) {
  std::mt19937 rng(21);
  CDataHandler dh;
  for (int trial = 0; trial < 20; ++trial) {
    const int w = 1 + rng() % 30, h = 1 + rng() % 20;
    const Bytes p = Blobs(rng, w, h, 60);
    const int r = rng() % h, c = rng() % w;
    Bytes v0(p.size(), 0), o0(p.size(), 0);
    const unsigned long n = RefPot(p, w, h, v0, r, c, o0);
    for (auto op : {&CDataHandler::AnalysisPot, &CDataHandler::AnalysisPotEx}) {
      Bytes v(p.size(), 0), o(p.size(), 0);
      EXPECT_EQ((dh.*op)(p.data(), w, h, v.data(), r, c, o.data()), n);
      EXPECT_EQ(v, v0);
      EXPECT_EQ(o, o0);
      // A seed taken already, off, or outside the plane takes nothing.
      EXPECT_EQ((dh.*op)(p.data(), w, h, v.data(), r, c, o.data()), 0u);
      EXPECT_EQ((dh.*op)(p.data(), w, h, v.data(), h, 0, o.data()), 0u);
      EXPECT_EQ((dh.*op)(p.data(), w, h, v.data(), 0, -1, o.data()), 0u);
      EXPECT_EQ((dh.*op)(p.data(), w, h, nullptr, 0, 0, o.data()), 0u);
    }
  }
}

TEST(RegionAnalysis, KeepsTheLargestRegionFirstAmongEquals) {
  CDataHandler dh;
  const int w = 20, h = 12;
  auto square = [&](Bytes& p, int x0, int y0, int sw, int sh, unsigned char v) {
    for (int y = y0; y < y0 + sh; ++y)
      for (int x = x0; x < x0 + sw; ++x) p[y * w + x] = v;
  };
  Bytes p(w * h, 30);
  square(p, 1, 1, 10, 5, 200);   // 50 pixels
  square(p, 12, 2, 8, 5, 150);   // 40 pixels
  Bytes expect(w * h, 0);
  square(expect, 1, 1, 10, 5, 200);
  ASSERT_EQ(dh.RegionAnalysis(p.data(), w, h), 1);
  EXPECT_EQ(p, expect);

  // Two of 50: the one whose first pixel comes first in row order, even
  // though the other reaches further left.
  Bytes q2(w * h, 0);
  square(q2, 12, 0, 5, 10, 180);  // 50, first pixel in row 0
  square(q2, 0, 1, 10, 5, 190);   // 50, first pixel in row 1
  Bytes e2(w * h, 0);
  square(e2, 12, 0, 5, 10, 180);
  ASSERT_EQ(dh.RegionAnalysis(q2.data(), w, h), 1);
  EXPECT_EQ(q2, e2);

  // Diagonal contact does not join regions.
  Bytes d(w * h, 0);
  square(d, 0, 0, 3, 3, 200);
  square(d, 3, 3, 3, 3, 200);
  square(d, 6, 6, 1, 1, 200);
  Bytes ed(w * h, 0);
  square(ed, 0, 0, 3, 3, 200);
  ASSERT_EQ(dh.RegionAnalysis(d.data(), w, h), 1);
  EXPECT_EQ(d, ed);

  // No on pixel: unchanged.
  Bytes none(w * h, 125);
  ASSERT_EQ(dh.RegionAnalysis(none.data(), w, h), 1);
  EXPECT_EQ(none, Bytes(w * h, 125));
  EXPECT_EQ(dh.RegionAnalysis(nullptr, w, h), 0);
}

TEST(RegionAnalysis, MatchesTheRowOrderSearchOnRandomPlanes) {
  std::mt19937 rng(23);
  CDataHandler dh;
  for (int trial = 0; trial < 40; ++trial) {
    const int w = 1 + rng() % 40, h = 1 + rng() % 25;
    Bytes p = Blobs(rng, w, h, 30 + trial % 40);
    const Bytes expect = RefRegionAnalysis(p, w, h);
    ASSERT_EQ(dh.RegionAnalysis(p.data(), w, h), 1);
    ASSERT_EQ(p, expect) << "trial " << trial << " " << w << "x" << h;
  }
}

TEST(RegionAnalysis, FullSizePlaneAndDeepRegionsDoNotExhaustTheStack) {
  const int w = 4000, h = 3000;
  Bytes p(static_cast<std::size_t>(w) * h, 200);
  CDataHandler dh;
  ASSERT_EQ(dh.RegionAnalysis(p.data(), w, h), 1);
  EXPECT_EQ(p, Bytes(p.size(), 200));
  // Recursion depth of the plain form reaches the whole plane here.
  Bytes visited(p.size(), 0), out(p.size(), 0);
  EXPECT_EQ(dh.AnalysisPot(p.data(), w, h, visited.data(), 1500, 2000, out.data()),
            static_cast<unsigned long>(w) * h);
  std::fill(visited.begin(), visited.end(), 0);
  EXPECT_EQ(dh.AnalysisPotEx(p.data(), w, h, visited.data(), 0, 0, out.data()),
            static_cast<unsigned long>(w) * h);
}

// Every unvisited on pixel in row order seeds a region; the one whose row
// spans or column spans add up to the most is kept (strictly more wins).
struct AreaPick {
  Bytes plane;
  unsigned long long enclosed = 0, pixels = 0;
};
AreaPick RefRegionByArea(const Bytes& p, int w, int h) {
  Bytes visited(p.size(), 0);
  AreaPick best{p, 0, 0};
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) {
      if (p[r * w + c] <= 125 || visited[r * w + c]) continue;
      Bytes scratch(p.size(), 0);
      const unsigned long n = RefPot(p, w, h, visited, r, c, scratch);
      unsigned long long rows = 0, columns = 0;
      for (int y = 0; y < h; ++y) {
        int first = -1, last = -1;
        for (int x = 0; x < w; ++x)
          if (scratch[y * w + x]) last = x, first = first < 0 ? x : first;
        if (first >= 0) rows += last - first + 1;
      }
      for (int x = 0; x < w; ++x) {
        int first = -1, last = -1;
        for (int y = 0; y < h; ++y)
          if (scratch[y * w + x]) last = y, first = first < 0 ? y : first;
        if (first >= 0) columns += last - first + 1;
      }
      const unsigned long long area = std::max(rows, columns);
      if (area > best.enclosed) best = {scratch, area, n};
    }
  return best;
}

// Shapes drawn with value 200 on a plane of 30.
struct Shape {
  enum Kind { Ring, Block, OpenRight, Corner } kind;
  int x, y, w, h;
};
Bytes Draw(int pw, int ph, std::initializer_list<Shape> shapes) {
  Bytes p(static_cast<std::size_t>(pw) * ph, 30);
  for (const Shape& s : shapes)
    for (int y = s.y; y < s.y + s.h; ++y)
      for (int x = s.x; x < s.x + s.w; ++x) {
        const bool left = x == s.x, right = x == s.x + s.w - 1, top = y == s.y, bottom = y == s.y + s.h - 1;
        bool on = false;
        switch (s.kind) {
          case Shape::Ring: on = left || right || top || bottom; break;
          case Shape::Block: on = true; break;
          case Shape::OpenRight: on = left || top || bottom; break;
          case Shape::Corner: on = left || bottom; break;
        }
        if (on) p[y * pw + x] = 200;
      }
  return p;
}

TEST(RegionAnalysisByArea, KeepsTheRegionEnclosingTheMostNotTheLargest) {
  constexpr int w = 48, h = 30;
  struct Case {
    const char* what;
    Bytes plane;
    Shape kept;
    unsigned long long enclosed, pixels;
  };
  const Shape ring{Shape::Ring, 2, 2, 20, 14};         // 64 pixels enclosing 280
  const Shape block{Shape::Block, 30, 3, 9, 8};        // 72 pixels enclosing 72
  const Shape open{Shape::OpenRight, 2, 2, 20, 12};    // 50 across rows, 240 down columns
  const Shape corner{Shape::Corner, 26, 14, 20, 14};   // an L: encloses what it covers
  const Shape small{Shape::Ring, 4, 20, 6, 6};         // 20 pixels enclosing 36
  const Case cases[] = {
      {"an outline beats a block of more pixels", Draw(w, h, {ring, block}), ring, 280, 64},
      {"three sides enclose down the columns", Draw(w, h, {open, block}), open, 240, 50},
      {"a corner of two sides encloses only itself", Draw(w, h, {corner, small}), small, 36, 20},
      {"equal outlines: the first in row order", Draw(w, h, {Shape{Shape::Ring, 26, 3, 10, 8}, Shape{Shape::Ring, 2, 4, 10, 8}}),
       Shape{Shape::Ring, 26, 3, 10, 8}, 80, 32},
  };
  CDataHandler dh;
  for (const Case& c : cases) {
    Bytes p = c.plane;
    unsigned long long enclosed = 0, pixels = 0;
    ASSERT_EQ(dh.RegionAnalysisByArea(p.data(), w, h, &enclosed, &pixels), 1) << c.what;
    Bytes expect = Draw(w, h, {c.kept});
    for (auto& v : expect) v = v == 30 ? 0 : v;
    EXPECT_EQ(p, expect) << c.what;
    EXPECT_EQ(enclosed, c.enclosed) << c.what;
    EXPECT_EQ(pixels, c.pixels) << c.what;
  }
  // The pixel count alone would have kept the block.
  Bytes p = Draw(w, h, {ring, block});
  ASSERT_EQ(dh.RegionAnalysis(p.data(), w, h), 1);
  EXPECT_EQ(p[3 * w + 30], 200);
  EXPECT_EQ(p[2 * w + 2], 0);

  // No on pixel: unchanged, nothing enclosed; bad arguments refused.
  Bytes none(w * h, 125);
  unsigned long long enclosed = 7, pixels = 7;
  ASSERT_EQ(dh.RegionAnalysisByArea(none.data(), w, h, &enclosed, &pixels), 1);
  EXPECT_EQ(none, Bytes(w * h, 125));
  EXPECT_EQ(enclosed + pixels, 0u);
  EXPECT_EQ(dh.RegionAnalysisByArea(nullptr, w, h), 0);
  EXPECT_EQ(dh.RegionAnalysisByArea(none.data(), 0, h), 0);
}

TEST(RegionAnalysisByArea, MatchesTheRowOrderSearchOnRandomPlanes) {
  std::mt19937 rng(31);
  CDataHandler dh;
  for (int trial = 0; trial < 40; ++trial) {
    const int w = 1 + rng() % 40, h = 1 + rng() % 25;
    Bytes p = Blobs(rng, w, h, 25 + trial % 45);
    const AreaPick expect = RefRegionByArea(p, w, h);
    unsigned long long enclosed = 0, pixels = 0;
    ASSERT_EQ(dh.RegionAnalysisByArea(p.data(), w, h, &enclosed, &pixels), 1);
    ASSERT_EQ(p, expect.plane) << "trial " << trial << " " << w << "x" << h;
    EXPECT_EQ(enclosed, expect.enclosed) << "trial " << trial;
    EXPECT_EQ(pixels, expect.pixels) << "trial " << trial;
  }
}

TEST(FillRegion, FillsRowsThenColumnsOfTheUpdatedMask) {
  CDataHandler dh;
  std::mt19937 rng(29);
  for (int trial = 0; trial < 30; ++trial) {
    const int w = 1 + rng() % 25, h = 1 + rng() % 25;
    const Bytes src = ref::RandomBytes(rng, static_cast<std::size_t>(w) * h);
    Bytes mask(src.size(), 0);
    for (auto& v : mask) v = rng() % 10 == 0 ? 200 : 0;
    int copied = 0;
    const Bytes expect = RefFill(src, w, h, mask, copied);
    EXPECT_EQ(dh.FillRegion(src.data(), w, h, mask.data()), copied);
    EXPECT_EQ(mask, expect);
  }
  // A ring outline is filled from the source in both passes: 3 rows of 3,
  // then columns 0 and 2 where the copied values are still above 125.
  Bytes src(9, 255), ring = {200, 200, 200, 200, 0, 200, 200, 200, 200};
  EXPECT_EQ(dh.FillRegion(src.data(), 3, 3, ring.data()), 18);
  EXPECT_EQ(ring, Bytes(9, 255));
  EXPECT_EQ(dh.FillRegion(nullptr, 3, 3, ring.data()), 0);
}

// ---- Change detectors -------------------------------------------------------

struct Previous {
  unsigned char* plane = nullptr;
  int width = 0, height = 0;
  ~Previous() { DelMem(plane); }
};

TEST(ChangeDetectors, FirstFrameCountsNoChangeAndTheStateFollowsTheFrame) {
  CDataHandler dh;
  std::mt19937 rng(31);
  const Bytes frame = ref::RandomPicture(rng, 5, 4, 24);
  Previous s, d, n, x;
  EXPECT_EQ(dh.StaticDistinguish(frame.data(), 5, 4, 24, s.plane, s.width, s.height), 1);
  EXPECT_EQ(dh.DynamicDistinguish(frame.data(), 5, 4, 24, d.plane, d.width, d.height), 0);
  EXPECT_EQ(dh.DynamicPointNum(frame.data(), 5, 4, 24, n.plane, n.width, n.height), 0);
  EXPECT_EQ(dh.DynamicPointNumEx(frame.data(), 5, 4, 24, nullptr, x.plane, x.width, x.height), 0);
  ASSERT_NE(n.plane, nullptr);
  EXPECT_EQ(n.width, 5);
  EXPECT_EQ(n.height, 4);
  EXPECT_EQ(Bytes(n.plane, n.plane + ref::Stride(5, 8) * 4), ref::GreyPlane(frame, 5, 4, 24, nullptr, true));
  EXPECT_EQ(x.width, 320);  // 5 x 4 enlarged to 320 x 256
  EXPECT_EQ(x.height, 256);

  // Refused calls leave the state alone.
  unsigned char* kept = n.plane;
  EXPECT_EQ(dh.DynamicPointNum(nullptr, 5, 4, 24, n.plane, n.width, n.height), -1);
  EXPECT_EQ(dh.DynamicPointNum(frame.data(), 5, 4, 16, n.plane, n.width, n.height), -1);
  EXPECT_EQ(dh.DynamicPointNumEx(frame.data(), 0, 4, 24, nullptr, x.plane, x.width, x.height), -1);
  EXPECT_EQ(n.plane, kept);

  // Another size compares as a first frame, then comparisons start again.
  const Bytes other = ref::RandomPicture(rng, 6, 4, 24);
  EXPECT_EQ(dh.DynamicPointNum(other.data(), 6, 4, 24, n.plane, n.width, n.height), 0);
  EXPECT_EQ(n.width, 6);
  EXPECT_EQ(dh.DynamicPointNum(other.data(), 6, 4, 24, n.plane, n.width, n.height), 0);
  EXPECT_EQ(dh.DynamicPointNumEx(other.data(), 6, 4, 24, nullptr, x.plane, x.width, x.height), 0);
  EXPECT_EQ(x.width, 320);
  EXPECT_EQ(x.height, 213);
}

TEST(ChangeDetectors, CountGreyDifferencesAboveTheirLimits) {
  CDataHandler dh;
  std::mt19937 rng(37);
  const int w = 10, h = 10;
  for (int trial = 0; trial < 8; ++trial) {
    const Bytes a = ref::RandomPicture(rng, w, h, 24);
    Bytes b = a;
    // Change a random share of the pixels by random amounts.
    for (std::size_t i = 0; i < b.size(); ++i)
      if (rng() % 100 < static_cast<unsigned>(trial * 12)) b[i] = static_cast<unsigned char>(rng());
    const Bytes ga = ref::GreyPlane(a, w, h, 24, nullptr, true), gb = ref::GreyPlane(b, w, h, 24, nullptr, true);
    int over30 = 0, over40 = 0;
    for (std::size_t i = 0; i < ga.size(); ++i) {
      over30 += std::abs(ga[i] - gb[i]) > 30;
      over40 += std::abs(ga[i] - gb[i]) > 40;
    }
    Previous s, d, n;
    dh.StaticDistinguish(a.data(), w, h, 24, s.plane, s.width, s.height);
    dh.DynamicDistinguish(a.data(), w, h, 24, d.plane, d.width, d.height);
    dh.DynamicPointNum(a.data(), w, h, 24, n.plane, n.width, n.height);
    EXPECT_EQ(dh.StaticDistinguish(b.data(), w, h, 24, s.plane, s.width, s.height), over30 < 10 ? 1 : 0);
    EXPECT_EQ(dh.DynamicDistinguish(b.data(), w, h, 24, d.plane, d.width, d.height), over30 > 25 ? 1 : 0);
    EXPECT_EQ(dh.DynamicPointNum(b.data(), w, h, 24, n.plane, n.width, n.height), over40);
  }
}

TEST(ChangeDetectors, EdgeCountFollowsTheReducedEdgeChain) {
  CDataHandler dh;
  std::mt19937 rng(41);
  // 8-bit frames with a palette: 640 x 200 reduces by k = 2 to 320 x 100.
  const int w = 640, h = 200;
  tagRGBQUAD pal[256];
  for (int i = 0; i < 256; ++i) pal[i] = {static_cast<BYTE>(i), static_cast<BYTE>(255 - i), static_cast<BYTE>(i / 2), 0};
  auto page = [&](int shift) {
    Bytes f(ref::Stride(w, 8) * h, 20);
    for (int y = 20; y < 180; ++y)
      for (int x = 100 + shift; x < 500 + shift; ++x) f[ref::Stride(w, 8) * y + x] = (x / 7 + y / 5) % 4 ? 230 : 10;
    return f;
  };
  const Bytes f1 = page(0), f2 = page(37);
  auto chain = [&](const Bytes& f) {
    int sw = 0, sh = 0;
    const Bytes small = ref::Zoom(f, w, h, 8, 0.5f, sw, sh);
    Bytes g = ref::GreyPlane(small, sw, sh, 8, pal, false);
    dh.EdgeDetectionSobelEx(g.data(), sw, sh);  // checked against its own rendering elsewhere
    dh.MedianFilter(g.data(), sw, sh);
    return g;
  };
  const Bytes g1 = chain(f1), g2 = chain(f2);
  int expect = 0;
  for (std::size_t i = 0; i < g1.size(); ++i) expect += std::abs(g1[i] - g2[i]) > 100;
  ASSERT_GT(expect, 0);
  Previous x;
  EXPECT_EQ(dh.DynamicPointNumEx(f1.data(), w, h, 8, pal, x.plane, x.width, x.height), 0);
  EXPECT_EQ(x.width, 320);
  EXPECT_EQ(x.height, 100);
  EXPECT_EQ(dh.DynamicPointNumEx(f2.data(), w, h, 8, pal, x.plane, x.width, x.height), expect);
  EXPECT_EQ(Bytes(x.plane, x.plane + g2.size()), g2);
  EXPECT_EQ(dh.DynamicPointNumEx(f2.data(), w, h, 8, pal, x.plane, x.width, x.height), 0);
}

}  // namespace
