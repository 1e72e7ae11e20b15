// Picture buffers, grey/colour conversions, scaling and rotations.

#include "imaging/data_handler.h"

#include "contracts/fundara/memory.h"
#include "tests/imaging/reference.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

namespace {

using ref::Bytes;

// A NewMem copy of a picture, for the operations that replace buffers.
unsigned char* NewCopy(const Bytes& b) {
  unsigned char* p = NewMem(b.size());
  std::memcpy(p, b.data(), b.size());
  return p;
}

Bytes Take(unsigned char*& p, std::size_t n) {
  Bytes b(p, p + n);
  DelMem(p);
  p = nullptr;
  return b;
}

Bytes Pixels24(std::initializer_list<int> v) { return Bytes(v.begin(), v.end()); }

TEST(PictureBuffer, StrideFollowsDepthAndWidth) {
  EXPECT_EQ(PictureStride(5, 24), 16u);  // 15 row bytes + 1
  EXPECT_EQ(PictureStride(6, 8), 8u);
  EXPECT_EQ(PictureStride(4, 24), 12u);
  for (long w = 1; w < 40; ++w) {
    EXPECT_EQ(PictureStride(w, 32), static_cast<std::size_t>(w) * 4);
    for (int depth : {8, 24, 32}) EXPECT_EQ(PictureStride(w, depth), ref::Stride(w, depth)) << w << " " << depth;
  }
}

TEST(GreyScale, WeightsTruncateTheDoubleSum) {
  CDataHandler dh;
  // Pixels: blue, white, grey 128, grey 1 (4 pixels, stride 12).
  const Bytes src = Pixels24({255, 0, 0, 255, 255, 255, 128, 128, 128, 1, 1, 1});
  unsigned char grey[4] = {9, 9, 9, 9};
  ASSERT_EQ(dh.ColourToGreyScale(src.data(), 4, 1, 24, nullptr, grey, 0), 1);
  EXPECT_EQ(grey[0], 28);   // 28.05
  EXPECT_EQ(grey[1], 255);
  EXPECT_EQ(grey[2], 127);  // the double sum falls just below 128
  EXPECT_EQ(grey[3], 0);    // ... and just below 1
}

TEST(GreyScale, EveryColourMatchesTheDoubleFormula) {
  // All 2^24 colours as one 4096 x 4096 picture.
  const int w = 4096, h = 4096;
  Bytes src(static_cast<std::size_t>(w) * h * 3);
  for (std::size_t i = 0; i < static_cast<std::size_t>(w) * h; ++i) {
    src[3 * i] = static_cast<unsigned char>(i);
    src[3 * i + 1] = static_cast<unsigned char>(i >> 8);
    src[3 * i + 2] = static_cast<unsigned char>(i >> 16);
  }
  Bytes grey(static_cast<std::size_t>(w) * h);
  CDataHandler dh;
  ASSERT_EQ(dh.ColourToGreyScale(src.data(), w, h, 24, nullptr, grey.data(), 0), 1);
  std::size_t wrong = 0;
  for (std::size_t i = 0; i < grey.size(); ++i)
    wrong += grey[i] != ref::Grey(src[3 * i], src[3 * i + 1], src[3 * i + 2]);
  EXPECT_EQ(wrong, 0u);
}

TEST(GreyScale, PaddingPaletteAndDepths) {
  std::mt19937 rng(7);
  CDataHandler dh;
  tagRGBQUAD pal[256];
  for (auto& e : pal) e = {static_cast<BYTE>(rng()), static_cast<BYTE>(rng()), static_cast<BYTE>(rng()), 0};
  for (int round = 0; round < 60; ++round) {
    const int w = 1 + rng() % 13, h = 1 + rng() % 7;
    const int depth = (int[]){8, 24, 32}[round % 3];
    const bool pad = round % 2;
    const Bytes src = ref::RandomPicture(rng, w, h, depth);
    const tagRGBQUAD* p = (depth == 8 && round % 5 == 0) ? nullptr : pal;
    Bytes out = ref::RandomBytes(rng, (pad ? ref::Stride(w, 8) : w) * h);  // garbage must be cleared
    ASSERT_EQ(dh.ColourToGreyScale(src.data(), w, h, depth, p, out.data(), pad), 1);
    EXPECT_EQ(out, ref::GreyPlane(src, w, h, depth, p, pad)) << w << "x" << h << "@" << depth;

    // Back to colour: 8-bit through the palette, 24/32 by copying three bytes.
    if (depth == 8 && !p) {
      EXPECT_EQ(dh.GreyScaleToColour24(src.data(), w, h, 8, nullptr, out.data()), 0);
      continue;
    }
    Bytes colour = ref::RandomBytes(rng, ref::Stride(w, 24) * h);
    ASSERT_EQ(dh.GreyScaleToColour24(src.data(), w, h, depth, p, colour.data()), 1);
    Bytes expect(ref::Stride(w, 24) * h, 0);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        unsigned char* d = &expect[ref::Stride(w, 24) * y + 3 * x];
        const unsigned char* s = &src[ref::Stride(w, depth) * y + x * depth / 8];
        if (depth == 8) {
          d[0] = p[*s].rgbBlue; d[1] = p[*s].rgbGreen; d[2] = p[*s].rgbRed;
        } else {
          std::memcpy(d, s, 3);
        }
      }
    EXPECT_EQ(colour, expect);
  }
  unsigned char out[4];
  EXPECT_EQ(dh.ColourToGreyScale(nullptr, 1, 1, 24, nullptr, out, 0), 0);
  EXPECT_EQ(dh.ColourToGreyScale(out, 1, 1, 16, nullptr, out, 0), 0);
}

// The canvas words of 24-bit pixels for every count up to a few vector
// blocks, the pixels at the very end of their buffer so that a read past
// the last pixel is caught.
TEST(Opaque32, WordsOfEveryCountMatchTheChannels) {
  std::mt19937 rng(47);
  for (long count = 0; count <= 70; ++count) {
    const Bytes src = ref::RandomBytes(rng, static_cast<std::size_t>(3 * count));
    std::vector<std::uint32_t> words(static_cast<std::size_t>(count) + 1, 0x12345678u);
    CDataHandler::Colour24ToOpaque32(src.data(), words.data(), count);
    for (long x = 0; x < count; ++x)
      EXPECT_EQ(words[x], 0xFF000000u | std::uint32_t{src[3 * x + 2]} << 16 | std::uint32_t{src[3 * x + 1]} << 8 |
                              src[3 * x])
          << count << " " << x;
    EXPECT_EQ(words[count], 0x12345678u) << count;  // nothing written beyond
  }
}

TEST(Zoom, HalfOfFiveTakesEveryOtherColumn) {
  CDataHandler dh;
  Bytes src(ref::Stride(5, 8) * 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) src[ref::Stride(5, 8) * y + x] = static_cast<unsigned char>(10 * y + x);
  unsigned char* out = nullptr;
  int w = 0, h = 0;
  ASSERT_EQ(dh.ZoomData(src.data(), 5, 5, 8, 0.5f, out, w, h), 1);
  ASSERT_EQ(w, 3);
  ASSERT_EQ(h, 3);
  const Bytes result = Take(out, ref::Stride(3, 8) * 3);
  EXPECT_EQ(Bytes(result.begin(), result.begin() + 3), Bytes({0, 2, 4}));
  EXPECT_EQ(Bytes(result.begin() + 8, result.begin() + 11), Bytes({40, 42, 44}));
}

TEST(Zoom, RandomScalesMatchReference) {
  std::mt19937 rng(11);
  CDataHandler dh;
  const float scales[] = {0.5f, 1.0f, 2.0f, 0.3f, 1.7f, 0.125f, 3.3f, 1.0f / 3.0f, 0.77f};
  for (int round = 0; round < 90; ++round) {
    const int w = 1 + rng() % 20, h = 1 + rng() % 20;
    const int depth = (int[]){8, 24, 32}[round % 3];
    const float scale = scales[round % 9];
    const Bytes src = ref::RandomPicture(rng, w, h, depth);
    int ew = 0, eh = 0;
    const Bytes expect = ref::Zoom(src, w, h, depth, scale, ew, eh);
    unsigned char* out = nullptr;
    int ow = 0, oh = 0;
    if (ew <= 0 || eh <= 0) {
      EXPECT_EQ(dh.ZoomData(src.data(), w, h, depth, scale, out, ow, oh), 0);
      continue;
    }
    ASSERT_EQ(dh.ZoomData(src.data(), w, h, depth, scale, out, ow, oh), 1);
    ASSERT_EQ(ow, ew);
    ASSERT_EQ(oh, eh);
    EXPECT_EQ(Take(out, expect.size()), expect) << w << "x" << h << "@" << depth << " x" << scale;
  }
  unsigned char* out = nullptr;
  int ow = 0, oh = 0;
  unsigned char px[4] = {};
  EXPECT_EQ(dh.ZoomData(nullptr, 1, 1, 24, 1.0f, out, ow, oh), 0);
  EXPECT_EQ(dh.ZoomData(px, 0, 1, 24, 1.0f, out, ow, oh), 0);
  EXPECT_EQ(dh.ZoomData(px, 1, 1, 24, 0.0f, out, ow, oh), 0);
  EXPECT_EQ(dh.ZoomData(px, 1, 1, 24, -1.0f, out, ow, oh), 0);
  EXPECT_EQ(out, nullptr);
}

TEST(QuarterTurns, ThreeByTwoClockwiseThenBack) {
  CDataHandler dh;
  // 3 x 2, 8-bit: row 0 = 1 2 3, row 1 = 4 5 6 (stride 4).
  const Bytes start = {1, 2, 3, 0, 4, 5, 6, 0};
  unsigned char* p = NewCopy(start);
  long w = 3, h = 2;
  ASSERT_EQ(dh.RotationImageData(p, w, h, 8, ROTATION_CLOCKWISE), 1);
  ASSERT_EQ(w, 2);
  ASSERT_EQ(h, 3);
  // Row 0 holds source column 2 read from row 0 to row 1.
  EXPECT_EQ(p[0], 3);
  EXPECT_EQ(p[1], 6);
  ASSERT_EQ(dh.RotationImageData(p, w, h, 8, ROTATION_ANTICLOCKWISE), 1);
  EXPECT_EQ(w, 3);
  EXPECT_EQ(h, 2);
  const Bytes before(p, p + start.size());
  EXPECT_EQ(dh.RotationImageData(p, w, h, 8, static_cast<rotation_degree>(6)), 0);
  EXPECT_EQ(dh.RotationImageData(p, w, h, 8, static_cast<rotation_degree>(0)), 0);
  EXPECT_EQ(Take(p, start.size()), start);
  EXPECT_EQ(before, start);
  unsigned char* none = nullptr;
  EXPECT_EQ(dh.RotationImageData(none, w, h, 8, ROTATION_HALF), 0);
}

TEST(QuarterTurns, AllValuesMatchTableAndTurnsRestore) {
  std::mt19937 rng(3);
  CDataHandler dh;
  for (int round = 0; round < 100; ++round) {
    const long W = 1 + rng() % 70, H = 1 + rng() % 40;  // beyond one tile of the blocked turn
    const int depth = (int[]){8, 24, 32}[round % 3];
    const int value = 1 + round % 5;
    const Bytes src = ref::RandomPicture(rng, W, H, depth);
    long ew = 0, eh = 0;
    const Bytes expect = ref::Turn(src, W, H, depth, value, ew, eh);
    unsigned char* p = NewCopy(src);
    long w = W, h = H;
    ASSERT_EQ(dh.RotationImageData(p, w, h, depth, static_cast<rotation_degree>(value)), 1);
    ASSERT_EQ(w, ew);
    ASSERT_EQ(h, eh);
    ASSERT_EQ(Bytes(p, p + expect.size()), expect) << W << "x" << H << "@" << depth << " v" << value;
    // Undo: 1 after 3 and 3 after 1; 2, 4 and 5 are their own inverses.
    const int undo = value == 1 ? 3 : value == 3 ? 1 : value;
    ASSERT_EQ(dh.RotationImageData(p, w, h, depth, static_cast<rotation_degree>(undo)), 1);
    EXPECT_EQ(Take(p, src.size()), src);
  }
}

TEST(RotationImage, ZeroDegreesKeepsRegionAndWhitensTheRest) {
  std::mt19937 rng(5);
  CDataHandler dh;
  const long W = 7, H = 5;
  const Bytes src = ref::RandomPicture(rng, W, H, 24);
  unsigned char* p = NewCopy(src);
  long w = W, h = H;
  CRect whole(0, 0, W, H);
  ASSERT_EQ(dh.RotationImage(p, w, h, whole, 24, 0), 1);
  EXPECT_EQ(whole, CRect(0, 0, W, H));
  // Pixels unchanged; padding becomes white like every uncovered byte.
  Bytes expectWhole = src;
  for (long y = 0; y < H; ++y) std::fill_n(&expectWhole[ref::Stride(W, 24) * y + W * 3], ref::Stride(W, 24) - W * 3, 255);
  EXPECT_EQ(Bytes(p, p + src.size()), expectWhole);

  CRect region(2, 1, 5, 3);
  ASSERT_EQ(dh.RotationImage(p, w, h, region, 24, 0), 1);
  EXPECT_EQ(region, CRect(2, 1, 5, 3));
  for (long y = 0; y < H; ++y)
    for (long x = 0; x < W; ++x)
      for (int k = 0; k < 3; ++k) {
        const bool inside = x >= 2 && x < 5 && y >= 1 && y < 3;
        EXPECT_EQ(p[ref::Stride(W, 24) * y + x * 3 + k], inside ? src[ref::Stride(W, 24) * y + x * 3 + k] : 255);
      }
  DelMem(p);
}

TEST(RotationImage, AnglesMatchSinglePrecisionReference) {
  std::mt19937 rng(9);
  CDataHandler dh;
  const int angles[] = {90, -90, 180, 270, 360, 45, -30, 1, 359, 7, -135, 720, 13};
  for (int round = 0; round < 60; ++round) {
    const long W = 1 + rng() % 25, H = 1 + rng() % 25;
    const int degrees = angles[round % 13];
    const Bytes src = ref::RandomPicture(rng, W, H, 24);
    CRect region = round % 2 ? CRect(0, 0, W, H)
                             : CRect(rng() % (W / 2 + 1), rng() % (H / 2 + 1), W - rng() % (W / 2 + 1), H - rng() % (H / 2 + 1));
    CRect expectRegion = region;
    long ew = 0, eh = 0;
    const Bytes expect = ref::RotateDegrees(src, W, H, expectRegion, degrees, ew, eh);
    unsigned char* p = NewCopy(src);
    long w = W, h = H;
    if (ew <= 0 || eh <= 0) {
      // Nothing of a tiny picture survives this angle: refused, unchanged.
      EXPECT_EQ(dh.RotationImage(p, w, h, region, 24, degrees), 0);
      EXPECT_EQ(w, W);
      EXPECT_EQ(Take(p, src.size()), src);
      continue;
    }
    ASSERT_EQ(dh.RotationImage(p, w, h, region, 24, degrees), 1);
    ASSERT_EQ(w, ew);
    ASSERT_EQ(h, eh);
    EXPECT_EQ(region, expectRegion);
    EXPECT_EQ(Take(p, expect.size()), expect) << W << "x" << H << " " << degrees;
  }
}

TEST(Rotations, WidePicturesCrossSeveralColumnStrips) {
  std::mt19937 rng(47);
  CDataHandler dh;
  const long W = 300, H = 37;
  const Bytes src = ref::RandomPicture(rng, W, H, 24);
  for (int degrees : {90, 33, -150}) {
    CRect region(3, 2, 290, 35), expectRegion = region;
    long ew = 0, eh = 0;
    const Bytes expect = ref::RotateDegrees(src, W, H, expectRegion, degrees, ew, eh);
    unsigned char* p = NewCopy(src);
    long w = W, h = H;
    ASSERT_EQ(dh.RotationImage(p, w, h, region, 24, degrees), 1);
    EXPECT_EQ(region, expectRegion);
    EXPECT_EQ(Take(p, expect.size()), expect) << degrees;
  }
  for (double angle : {0.3, -1.2}) {
    unsigned ew = 0, eh = 0;
    const Bytes packed = ref::RandomBytes(rng, static_cast<std::size_t>(W) * H * 3);
    const Bytes expect = ref::RotateBilinear(packed, W, H, 3, angle, ew, eh);
    unsigned char* out = nullptr;
    unsigned ow = 0, oh = 0;
    dh.RotateInterpolation(packed.data(), W, H, 3, out, ow, oh, angle);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(Bytes(out, out + expect.size()), expect) << angle;
    delete[] out;
  }
}

TEST(RotationImage, QuarterTurnSwapsSizeAndRefusesOtherDepths) {
  std::mt19937 rng(2);
  CDataHandler dh;
  const Bytes src = ref::RandomPicture(rng, 40, 30, 24);
  unsigned char* p = NewCopy(src);
  long w = 40, h = 30;
  CRect region(0, 0, 40, 30);
  ASSERT_EQ(dh.RotationImage(p, w, h, region, 24, 90), 1);
  EXPECT_EQ(w, 30);
  EXPECT_EQ(h, 40);
  DelMem(p);

  Bytes grey(ref::Stride(4, 8) * 4, 7);
  unsigned char* g = NewCopy(grey);
  long gw = 4, gh = 4;
  CRect gr(0, 0, 4, 4);
  EXPECT_EQ(dh.RotationImage(g, gw, gh, gr, 8, 90), 0);
  EXPECT_EQ(dh.RotationImage(g, gw, gh, gr, 32, 90), 0);
  EXPECT_EQ(gw, 4);
  EXPECT_EQ(gr, CRect(0, 0, 4, 4));
  EXPECT_EQ(Take(g, grey.size()), grey);
}

TEST(RotationImage, RegionOutsidePictureReadsNothingOutside) {
  // The region is the caller's to keep inside; a bad one must not read
  // outside the buffer (checked by AddressSanitizer).
  std::mt19937 rng(4);
  CDataHandler dh;
  const Bytes src = ref::RandomPicture(rng, 6, 6, 24);
  unsigned char* p = NewCopy(src);
  long w = 6, h = 6;
  CRect region(-5, -5, 20, 20);
  EXPECT_EQ(dh.RotationImage(p, w, h, region, 24, 30), 1);
  DelMem(p);
}

TEST(RotateInterpolation, AngleZeroReproducesSource) {
  std::mt19937 rng(13);
  CDataHandler dh;
  for (int round = 0; round < 30; ++round) {
    const int W = 1 + rng() % 30, H = 1 + rng() % 30, n = (int[]){1, 3, 4}[round % 3];
    const Bytes src = ref::RandomBytes(rng, static_cast<std::size_t>(W) * H * n);
    unsigned char* out = nullptr;
    unsigned ow = 0, oh = 0;
    dh.RotateInterpolation(src.data(), W, H, n, out, ow, oh, 0.0);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(ow, static_cast<unsigned>(W));
    ASSERT_EQ(oh, static_cast<unsigned>(H));
    EXPECT_EQ(Bytes(out, out + src.size()), src);
    delete[] out;
  }
}

TEST(RotateInterpolation, AnglesMatchDoublePrecisionReference) {
  std::mt19937 rng(17);
  CDataHandler dh;
  const double angles[] = {0.1, -0.25, std::numbers::pi / 2, std::numbers::pi, 1.0, -2.5, 0.01, 3.9};
  for (int round = 0; round < 48; ++round) {
    const int W = 1 + rng() % 24, H = 1 + rng() % 24, n = (int[]){1, 3, 4, 2}[round % 4];
    const double angle = angles[round % 8];
    const Bytes src = ref::RandomBytes(rng, static_cast<std::size_t>(W) * H * n);
    unsigned ew = 0, eh = 0;
    const Bytes expect = ref::RotateBilinear(src, W, H, n, angle, ew, eh);
    unsigned char* out = nullptr;
    unsigned ow = 0, oh = 0;
    dh.RotateInterpolation(src.data(), W, H, n, out, ow, oh, angle);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(ow, ew);
    ASSERT_EQ(oh, eh);
    EXPECT_EQ(Bytes(out, out + expect.size()), expect) << W << "x" << H << " n" << n << " " << angle;
    delete[] out;
  }
}

TEST(RotatePicture, CutsRegionRotatesAndPads) {
  std::mt19937 rng(19);
  CDataHandler dh;
  for (int round = 0; round < 30; ++round) {
    const long W = 2 + rng() % 20, H = 2 + rng() % 20;
    const int depth = (int[]){8, 24, 32}[round % 3];
    const int n = depth / 8;
    const Bytes src = ref::RandomPicture(rng, W, H, depth);
    const int l = rng() % (W - 1), t = rng() % (H - 1);
    // A region reaching beyond the picture is clipped first.
    const CRect region(l, t, l + 1 + rng() % (W + 5), t + 1 + rng() % (H + 5));
    const int r = std::min<long>(region.right, W), b = std::min<long>(region.bottom, H);
    Bytes packed;
    for (int y = t; y < b; ++y)
      packed.insert(packed.end(), &src[ref::Stride(W, depth) * y + l * n], &src[ref::Stride(W, depth) * y + r * n]);
    const double angle = (round % 7) * 0.3 - 0.9;
    unsigned ew = 0, eh = 0;
    const Bytes rotated = ref::RotateBilinear(packed, r - l, b - t, n, angle, ew, eh);
    Bytes expect(ref::Stride(ew, depth) * eh, 0);
    for (unsigned y = 0; y < eh; ++y)
      std::memcpy(&expect[ref::Stride(ew, depth) * y], &rotated[static_cast<std::size_t>(y) * ew * n], static_cast<std::size_t>(ew) * n);

    unsigned char* p = NewCopy(src);
    long w = W, h = H;
    ASSERT_EQ(dh.RotatePicture(p, w, h, depth, region, angle), 1);
    ASSERT_EQ(w, static_cast<long>(ew));
    ASSERT_EQ(h, static_cast<long>(eh));
    EXPECT_EQ(Take(p, expect.size()), expect);
  }
}

TEST(RotatePicture, EmptyRegionsAreRefused) {
  std::mt19937 rng(23);
  CDataHandler dh;
  const Bytes src = ref::RandomPicture(rng, 8, 8, 24);
  unsigned char* p = NewCopy(src);
  long w = 8, h = 8;
  EXPECT_EQ(dh.RotatePicture(p, w, h, 24, CRect(3, 0, 3, 8), 0.5), 0);  // left = right
  EXPECT_EQ(dh.RotatePicture(p, w, h, 24, CRect(0, 4, 8, 4), 0.5), 0);  // top = bottom
  EXPECT_EQ(dh.RotatePicture(p, w, h, 24, CRect(9, 0, 12, 8), 0.5), 0); // right of the picture
  EXPECT_EQ(w, 8);
  EXPECT_EQ(h, 8);
  EXPECT_EQ(Take(p, src.size()), src);
  unsigned char* none = nullptr;
  EXPECT_EQ(dh.RotatePicture(none, w, h, 24, CRect(0, 0, 8, 8), 0.5), 0);
}

}  // namespace
