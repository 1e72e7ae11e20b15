// Convolution, edge detectors, smoothing, spike removal, erosion, grey levels
// and the wavelet, each checked byte for byte against a plain rendering of
// its arithmetic on random and hand-made pictures.

#include "imaging/data_handler.h"

#include "tests/imaging/reference.h"

#include <gtest/gtest.h>

namespace {

using ref::Bytes;

const double kRoot2 = std::sqrt(2.0);

// ---- Plain renderings ---------------------------------------------------

Bytes RefTemplate(const Bytes& in, int w, int h, const double* k, int kw, int kh, double factor) {
  Bytes out = in;
  for (int y = kh / 2; y <= h - kh + kh / 2; ++y)
    for (int x = kw / 2; x <= w - kw + kw / 2; ++x) {
      float sum = 0;
      for (int r = 0; r < kh; ++r)
        for (int c = 0; c < kw; ++c)
          sum += k[r * kw + c] * in[(y - kh / 2 + r) * w + (x - kw / 2 + c)];
      float v = static_cast<float>(std::fabs(sum * factor));
      if (v > 255) v = 255;
      out[y * w + x] = static_cast<unsigned char>(static_cast<int>(v + 0.5));
    }
  return out;
}

Bytes RefSobel(const Bytes& in, int w, int h, double two) {
  const double kx[9] = {-1, 0, 1, -two, 0, two, -1, 0, 1};
  const double ky[9] = {-1, -two, -1, 0, 0, 0, 1, two, 1};
  const Bytes a = RefTemplate(in, w, h, kx, 3, 3, 1), b = RefTemplate(in, w, h, ky, 3, 3, 1);
  Bytes out(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) out[i] = std::max(a[i], b[i]);
  return out;
}

Bytes RefMean(const Bytes& in, int w, int h) {
  Bytes out(in.size(), 0);
  for (int y = 1; y < h - 1; ++y)
    for (int x = 1; x < w - 1; ++x) {
      int s = 0;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) s += in[(y + dy) * w + x + dx];
      out[y * w + x] = static_cast<unsigned char>(s / 9);
    }
  return out;
}

Bytes RefColourMean(const Bytes& in, int w, int h) {
  const std::size_t st = ref::Stride(w, 24);
  Bytes out = in;
  for (int y = 1; y < h - 1; ++y)
    for (int x = 1; x < w - 1; ++x)
      for (int k = 0; k < 3; ++k) {
        int s = 0;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) s += in[st * (y + dy) + 3 * (x + dx) + k];
        out[st * y + 3 * x + k] = static_cast<unsigned char>(s / 9);
      }
  return out;
}

// In place, in memory order.
void RefSpike(Bytes& p, int w, int h) {
  const std::size_t st = ref::Stride(w, 24);
  for (int y = 1; y < h - 1; ++y)
    for (int x = 1; x < w - 1; ++x) {
      auto at = [&](int yy, int xx, int k) -> unsigned char& { return p[st * yy + 3 * xx + k]; };
      bool below = true, above = true;
      for (int k = 0; k < 3; ++k) {
        const int n[4] = {at(y - 1, x, k), at(y, x - 1, k), at(y + 1, x, k), at(y, x + 1, k)};
        for (int v : n) {
          below = below && at(y, x, k) < v;
          above = above && at(y, x, k) > v;
        }
      }
      if (below || above)
        for (int k = 0; k < 3; ++k)
          at(y, x, k) = static_cast<unsigned char>(
              (at(y - 1, x, k) + at(y, x - 1, k) + at(y + 1, x, k) + at(y, x + 1, k)) >> 2);
    }
}

Bytes RefCorrosion(const Bytes& in, int w, int h) {
  Bytes out = in;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (y == 0 || x == 0 || y == h - 1 || x == w - 1) {
        out[y * w + x] = 0;
        continue;
      }
      if (in[y * w + x] <= 125) continue;
      const int on = (in[(y - 1) * w + x] > 125) + (in[(y + 1) * w + x] > 125) +
                     (in[y * w + x - 1] > 125) + (in[y * w + x + 1] > 125);
      if (on < 3) out[y * w + x] = 0;
    }
  return out;
}

// Random grey plane; `blocky` makes flat areas and steps (clamping, ties).
Bytes RandomPlane(std::mt19937& rng, int w, int h, bool blocky) {
  Bytes p = ref::RandomBytes(rng, static_cast<std::size_t>(w) * h);
  if (blocky)
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) p[y * w + x] = static_cast<unsigned char>(((x / 3 + y / 4) % 3) * 120 + (rng() % 4));
  return p;
}

// Sizes that exercise narrow planes, odd widths and vector tails.
const int kSizes[][2] = {{3, 3}, {4, 7}, {5, 5}, {9, 3}, {17, 6}, {33, 12}, {70, 9}, {131, 20}};

// ---- Convolution ------------------------------------------------------------

TEST(Template, MatchesSinglePrecisionSumsForEveryKindOfKernel) {
  std::mt19937 rng(11);
  CDataHandler dh;
  for (int trial = 0; trial < 60; ++trial) {
    const int kw = 1 + rng() % 5, kh = 1 + rng() % 5;
    const int w = kw + rng() % 40, h = kh + rng() % 12;
    std::vector<double> k(kw * kh);
    const int kind = trial % 4;
    for (double& v : k) {
      switch (kind) {
        case 0: v = static_cast<int>(rng() % 9) - 4; break;                 // small whole numbers
        case 1: v = static_cast<int>(rng() % 801) - 400; break;             // wide whole numbers
        case 2: v = (static_cast<int>(rng() % 2001) - 1000) / 7.0; break;   // fractions
        default: v = rng() % 3 == 0 ? 0 : std::ldexp(static_cast<double>(rng() % 1000), -(int)(rng() % 12)); break;
      }
    }
    const double factors[] = {1.0, 0.25, -1.0 / 3, 1.7};
    const double factor = factors[rng() % 4];
    Bytes p = RandomPlane(rng, w, h, trial % 3 == 0);
    const Bytes expect = RefTemplate(p, w, h, k.data(), kw, kh, factor);
    ASSERT_EQ(dh.Template(p.data(), w, h, k.data(), kw, kh, factor), 1);
    ASSERT_EQ(p, expect) << "trial " << trial << " kernel " << kw << "x" << kh << " factor " << factor;
  }
}

TEST(Template, ChangesOnlyWhereTheKernelFitsAndRefusesTooSmallPlanes) {
  CDataHandler dh;
  const double ones[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
  Bytes p = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  ASSERT_EQ(dh.Template(p.data(), 3, 3, ones, 3, 3, 1.0 / 9), 1);
  EXPECT_EQ(p, Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9}));  // centre: 45/9 = 5
  ASSERT_EQ(dh.Template(p.data(), 3, 3, ones, 3, 3, 1.0), 1);
  EXPECT_EQ(p[4], 45);
  ASSERT_EQ(dh.Template(p.data(), 3, 3, ones, 3, 3, 10.0), 1);
  EXPECT_EQ(p[4], 255);  // clamped
  const Bytes before = p;
  EXPECT_EQ(dh.Template(p.data(), 2, 4, ones, 3, 3, 1), 0);
  EXPECT_EQ(dh.Template(p.data(), 3, 3, ones, 0, 3, 1), 0);
  EXPECT_EQ(dh.Template(nullptr, 3, 3, ones, 3, 3, 1), 0);
  EXPECT_EQ(dh.Template(p.data(), 3, 3, nullptr, 3, 3, 1), 0);
  const double bad[9] = {1, 1, 1, 1, NAN, 1, 1, 1, 1};
  EXPECT_EQ(dh.Template(p.data(), 3, 3, bad, 3, 3, 1), 0);
  EXPECT_EQ(dh.Template(p.data(), 3, 3, ones, 3, 3, INFINITY), 0);
  EXPECT_EQ(p, before);
}

TEST(EdgeDetectors, MatchTheConvolutionsOnRandomPlanes) {
  std::mt19937 rng(3);
  CDataHandler dh;
  static const double log5[25] = {-2, -4, -4, -4, -2, -4, 0, 8, 0, -4, -4, 8, 24, 8, -4,
                                  -4, 0,  8,  0,  -4, -2, -4, -4, -4, -2};
  for (const auto& s : kSizes)
    for (int blocky = 0; blocky < 2; ++blocky) {
      const int w = s[0] + 2, h = s[1] + 2;
      const Bytes src = RandomPlane(rng, w, h, blocky);
      Bytes p = src;
      ASSERT_EQ(dh.EdgeDetectionSobel(p.data(), w, h), 1);
      EXPECT_EQ(p, RefSobel(src, w, h, 2)) << w << "x" << h;
      p = src;
      ASSERT_EQ(dh.EdgeDetectionSobelEx(p.data(), w, h), 1);
      EXPECT_EQ(p, RefSobel(src, w, h, kRoot2)) << w << "x" << h;
      p = src;
      ASSERT_EQ(dh.EdgeDetectionLog(p.data(), w, h), 1);
      EXPECT_EQ(p, RefTemplate(src, w, h, log5, 5, 5, 1)) << w << "x" << h;
    }
  // A larger plane catches faults in the row ring and vector tails.
  const Bytes big = RandomPlane(rng, 333, 61, false);
  Bytes p = big;
  dh.EdgeDetectionSobelEx(p.data(), 333, 61);
  EXPECT_EQ(p, RefSobel(big, 333, 61, kRoot2));
}

TEST(EdgeDetectors, StepClampsAndKeepsTheBorder) {
  CDataHandler dh;
  const int w = 8, h = 5;
  Bytes p(w * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) p[y * w + x] = x < 4 ? 0 : 200;
  const Bytes src = p;
  ASSERT_EQ(dh.EdgeDetectionSobel(p.data(), w, h), 1);
  for (int y = 1; y < h - 1; ++y) {
    EXPECT_EQ(p[y * w + 1], 0);    // flat
    EXPECT_EQ(p[y * w + 3], 255);  // 800 clamped
    EXPECT_EQ(p[y * w + 4], 255);
    EXPECT_EQ(p[y * w + 6], 0);
  }
  for (int x = 0; x < w; ++x) {
    EXPECT_EQ(p[x], src[x]);
    EXPECT_EQ(p[(h - 1) * w + x], src[(h - 1) * w + x]);
  }
  EXPECT_EQ(p[2 * w + 7], 200);  // last column keeps its input
  EXPECT_EQ(dh.EdgeDetectionSobel(p.data(), 2, 20), 0);
  EXPECT_EQ(dh.EdgeDetectionLog(p.data(), 4, 10), 0);
}

// ---- Smoothing ---------------------------------------------------------------

TEST(MedianFilter, IsATruncatedMeanWithAZeroBorder) {
  CDataHandler dh;
  Bytes u(6 * 5, 100);
  ASSERT_EQ(dh.MedianFilter(u.data(), 6, 5), 1);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x)
      EXPECT_EQ(u[y * 6 + x], (y == 0 || x == 0 || y == 4 || x == 5) ? 0 : 100);
  std::mt19937 rng(5);
  for (const auto& s : kSizes) {
    const Bytes src = RandomPlane(rng, s[0], s[1], false);
    Bytes p = src;
    ASSERT_EQ(dh.MedianFilter(p.data(), s[0], s[1]), 1);
    EXPECT_EQ(p, RefMean(src, s[0], s[1]));
  }
  Bytes thin = {9, 9, 9, 9};
  ASSERT_EQ(dh.MedianFilter(thin.data(), 2, 2), 1);
  EXPECT_EQ(thin, Bytes(4, 0));
}

TEST(Colour24MedianFilter, MeansEachChannelFromTheOriginalAndKeepsTheBorder) {
  CDataHandler dh;
  std::mt19937 rng(7);
  for (const auto& s : kSizes) {
    const Bytes src = ref::RandomPicture(rng, s[0], s[1], 24);
    Bytes p = src;
    ASSERT_EQ(dh.Colour24MedianFilter(p.data(), s[0], s[1]), 1);
    EXPECT_EQ(p, RefColourMean(src, s[0], s[1])) << s[0] << "x" << s[1];
  }
  Bytes hot(ref::Stride(5, 24) * 5, 0);
  hot[ref::Stride(5, 24) * 2 + 6 + 1] = 255;  // green of the centre pixel
  ASSERT_EQ(dh.Colour24MedianFilter(hot.data(), 5, 5), 1);
  EXPECT_EQ(hot[ref::Stride(5, 24) * 2 + 6 + 1], 28);  // 255 / 9
  EXPECT_EQ(dh.Colour24MedianFilter(nullptr, 5, 5), 0);
}

TEST(Colour24MedianFilterEx, RemovesSpikesInMemoryOrder) {
  CDataHandler dh;
  const int w = 6, h = 5;
  const std::size_t st = ref::Stride(w, 24);
  Bytes p(st * h, 0);
  for (int k = 0; k < 3; ++k) p[st * 2 + 3 * 2 + k] = 255;  // one white pixel
  ASSERT_EQ(dh.Colour24MedianFilterEx(p.data(), w, h), 1);
  EXPECT_EQ(p, Bytes(st * h, 0));
  // A 2 x 2 white block: each pixel has white neighbours, nothing changes.
  for (int y = 1; y <= 2; ++y)
    for (int x = 2; x <= 3; ++x)
      for (int k = 0; k < 3; ++k) p[st * y + 3 * x + k] = 255;
  const Bytes block = p;
  dh.Colour24MedianFilterEx(p.data(), w, h);
  EXPECT_EQ(p, block);
  // Only two channels above the neighbours: not a spike.
  Bytes q(st * h, 50);
  q[st * 2 + 6] = 200;
  q[st * 2 + 7] = 200;
  const Bytes q0 = q;
  dh.Colour24MedianFilterEx(q.data(), w, h);
  EXPECT_EQ(q, q0);

  // Random pictures with many spikes next to each other, where a replaced
  // pixel changes the decision for its right and lower neighbours.
  std::mt19937 rng(9);
  for (int trial = 0; trial < 12; ++trial) {
    const int pw = 3 + rng() % 60, ph = 3 + rng() % 10;
    Bytes r = ref::RandomPicture(rng, pw, ph, 24);
    for (auto& v : r) v = static_cast<unsigned char>(v % 4 == 0 ? 250 : v % 5);
    Bytes expect = r;
    RefSpike(expect, pw, ph);
    ASSERT_EQ(dh.Colour24MedianFilterEx(r.data(), pw, ph), 1);
    EXPECT_EQ(r, expect) << pw << "x" << ph;
  }
}

TEST(RegionCorrosion, RemovesThinLinesKeepsFilledInsides) {
  CDataHandler dh;
  const int w = 9, h = 9;
  Bytes p(w * h, 0);
  for (int x = 1; x < 8; ++x) p[1 * w + x] = 200;  // one-pixel line
  for (int y = 4; y < 8; ++y)
    for (int x = 3; x < 7; ++x) p[y * w + x] = 180;  // 4 x 4 square
  p[2 * w + 7] = 90;                                  // off pixel: unchanged
  ASSERT_EQ(dh.RegionCorrosion(p.data(), w, h), 1);
  for (int x = 0; x < w; ++x) EXPECT_EQ(p[1 * w + x], 0);
  EXPECT_EQ(p[5 * w + 4], 180);  // inside of the square
  EXPECT_EQ(p[4 * w + 3], 0);    // its corner had 2 on neighbours
  EXPECT_EQ(p[4 * w + 4], 180);  // its edge had 3
  EXPECT_EQ(p[2 * w + 7], 90);
  std::mt19937 rng(13);
  for (const auto& s : kSizes) {
    Bytes src = RandomPlane(rng, s[0], s[1], false);
    for (auto& v : src) v = static_cast<unsigned char>(v % 3 ? 126 + v % 100 : v % 126);
    Bytes q = src;
    ASSERT_EQ(dh.RegionCorrosion(q.data(), s[0], s[1]), 1);
    EXPECT_EQ(q, RefCorrosion(src, s[0], s[1]));
  }
}

// ---- Grey levels -------------------------------------------------------------

TEST(GreyDegreeExtend, StretchesBetweenThePulledInEndsOrRefuses) {
  CDataHandler dh;
  Bytes narrow;
  for (int v = 100; v <= 120; ++v) narrow.insert(narrow.end(), {static_cast<unsigned char>(v), static_cast<unsigned char>(v)});
  Bytes copy = narrow;
  EXPECT_EQ(dh.GreyDegreeExtend(copy.data(), 6, 7), 0);  // lo 130 > hi 120
  EXPECT_EQ(copy, narrow);

  // Values 0..255 twice each: lo = 30, hi = 225, f = 255 / 196.
  Bytes all(512);
  for (int i = 0; i < 512; ++i) all[i] = static_cast<unsigned char>(i / 2);
  ASSERT_EQ(dh.GreyDegreeExtend(all.data(), 32, 16), 1);
  const float f = 255.0f / 196.0f;
  for (int i = 0; i < 512; ++i) {
    const int v = i / 2;
    const int e = std::clamp(static_cast<int>(static_cast<float>(v - 30) * f + 0.5), 0, 255);
    ASSERT_EQ(all[i], e) << v;
  }
  EXPECT_EQ(all[2 * 30], 0);
  EXPECT_EQ(all[2 * 255], 255);

  // Values held by one pixel only do not count as the ends: with 0 and 255
  // counted, 160 would become 169 instead of 255.
  Bytes single(100, 60);
  single[0] = 0;
  single[1] = 255;
  for (int i = 2; i < 50; ++i) single[i] = 160;
  ASSERT_EQ(dh.GreyDegreeExtend(single.data(), 10, 10), 1);
  EXPECT_EQ(single[2], 255);
  EXPECT_EQ(single[60], 0);
  EXPECT_EQ(dh.GreyDegreeExtend(nullptr, 10, 10), 0);
}

TEST(GreyDegreeSingleAndBinarization, SplitAndTerminate) {
  CDataHandler dh;
  Bytes p = {0, 100, 101, 255};
  ASSERT_EQ(dh.GreyDegreeSingle(p.data(), 2, 2, 100), 1);
  EXPECT_EQ(p, Bytes({0, 0, 255, 255}));

  // Two clusters: the threshold lands between them.
  Bytes two(400);
  for (int i = 0; i < 400; ++i) two[i] = static_cast<unsigned char>(i < 250 ? 40 + i % 5 : 200 + i % 7);
  ASSERT_EQ(dh.Binarization(two.data(), 20, 20), 1);
  for (int i = 0; i < 400; ++i) ASSERT_EQ(two[i], i < 250 ? 0 : 255);
  // Flat, single-pixel and random planes all finish with black and white.
  std::mt19937 rng(17);
  for (int trial = 0; trial < 20; ++trial) {
    const int w = 1 + rng() % 30, h = 1 + rng() % 30;
    Bytes r = RandomPlane(rng, w, h, trial % 2);
    if (trial == 0) std::fill(r.begin(), r.end(), 77);
    ASSERT_EQ(dh.Binarization(r.data(), w, h), 1);
    for (unsigned char v : r) ASSERT_TRUE(v == 0 || v == 255);
  }
  EXPECT_EQ(dh.Binarization(nullptr, 2, 2), 0);
}

// ---- Wavelet -----------------------------------------------------------------

TEST(DWT_Once, ConstantPictureGivesItsLowBandOnly) {
  CDataHandler dh;
  const int w = 8, h = 6;
  const Bytes flat(ref::Stride(w, 24) * h, 200);
  Bytes out(flat.size(), 7);
  dh.DWT_Once(flat.data(), 24, out.data(), w, h, 1);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int k = 0; k < 3; ++k)
        ASSERT_EQ(out[ref::Stride(w, 24) * y + 3 * x + k], (x < w / 2 && y < h / 2) ? 255 : 0);
  // 128 everywhere: every coefficient is 0, the output stays as it was.
  const Bytes mid(ref::Stride(w, 8) * h, 128);
  Bytes keep(mid.size(), 9);
  dh.DWT_Once(mid.data(), 8, keep.data(), w, h, 1);
  EXPECT_EQ(keep, Bytes(mid.size(), 9));
  // Random odd sizes and more levels stay inside the buffers and fill the
  // whole range.
  std::mt19937 rng(19);
  for (int trial = 0; trial < 6; ++trial) {
    const int pw = 1 + rng() % 21, ph = 2 + rng() % 9;
    const Bytes in = ref::RandomPicture(rng, pw, ph, 32);
    Bytes o(in.size(), 0);
    dh.DWT_Once(in.data(), 32, o.data(), pw, ph, 1 + trial % 3);
    EXPECT_EQ(*std::max_element(o.begin(), o.end()), 255);
  }
}

}  // namespace
