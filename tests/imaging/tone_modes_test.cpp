// Brightness, contrast, saturation, colour gain, HSL and the display modes.

#include "imaging/data_handler.h"

#include "tests/imaging/reference.h"

#include <gtest/gtest.h>

namespace {

using ref::Bytes;

// Runs an in-place level operation on one 24-bit pixel row of the given bytes.
template <typename Op>
Bytes OnBytes(Op op, Bytes bytes, int level, int expectResult = 1) {
  const std::size_t size = bytes.size();
  while (bytes.size() % 3) bytes.push_back(0);
  const int w = static_cast<int>(bytes.size() / 3);
  Bytes pic(ref::Stride(w, 24), 0);
  std::copy(bytes.begin(), bytes.end(), pic.begin());
  CDataHandler dh;
  EXPECT_EQ((dh.*op)(pic.data(), w, 1, 24, level), expectResult);
  return Bytes(pic.begin(), pic.begin() + size);
}

TEST(Luminosity, LevelsScaleEveryByte) {
  EXPECT_EQ(OnBytes(&CDataHandler::AdjustLuminosity, {200, 100, 0}, 50), Bytes({255, 150, 0}));
  EXPECT_EQ(OnBytes(&CDataHandler::AdjustLuminosity, {200, 99, 1}, -50), Bytes({100, 49, 0}));
  EXPECT_EQ(OnBytes(&CDataHandler::AdjustLuminosity, {200, 99, 1}, 0, 0), Bytes({200, 99, 1}));
  EXPECT_EQ(OnBytes(&CDataHandler::AdjustLuminosity, {200, 99, 1}, -300), Bytes({0, 0, 0}));
}

TEST(Contrast, StretchCompressAndLimits) {
  const auto C = &CDataHandler::AdjustContrast;
  EXPECT_EQ(OnBytes(C, {50, 206, 128, 205, 51}, 50), Bytes({0, 255, 128, 255, 1}));  // hi = 205
  EXPECT_EQ(OnBytes(C, {0, 255, 128}, -50), Bytes({50, 205, 127}));
  // Level 200 acts as 120 with an upper limit of 127.
  EXPECT_EQ(OnBytes(C, {127, 128, 120, 121}, 200), Bytes({119, 255, 0, 17}));
  EXPECT_EQ(OnBytes(C, {0, 255}, -200), Bytes({120, 135}));
  EXPECT_EQ(OnBytes(C, {10, 20, 30}, 0, 0), Bytes({10, 20, 30}));
}

TEST(Tone, RandomPicturesMatchPerByteFormulas) {
  std::mt19937 rng(29);
  CDataHandler dh;
  for (int round = 0; round < 120; ++round) {
    const int w = 1 + rng() % 40, h = 1 + rng() % 6;
    const int depth = (int[]){8, 24, 32}[round % 3];
    int level = static_cast<int>(rng() % 601) - 300;
    if (level == 0) level = 1;
    const Bytes src = ref::RandomPicture(rng, w, h, depth);

    Bytes lum = src, expect = src;
    ASSERT_EQ(dh.AdjustLuminosity(lum.data(), w, h, depth, level), 1);
    ref::ForEachPixelByte(expect, w, h, depth, [&](int v) { return ref::Luminosity(v, level); });
    EXPECT_EQ(lum, expect) << "luminosity " << level;

    Bytes con = src;
    expect = src;
    ASSERT_EQ(dh.AdjustContrast(con.data(), w, h, depth, level), 1);
    ref::ForEachPixelByte(expect, w, h, depth, [&](int v) { return ref::Contrast(v, level); });
    EXPECT_EQ(con, expect) << "contrast " << level;
  }
  // Level -100 gives black, whatever the picture.
  Bytes pic = ref::RandomPicture(rng, 33, 9, 24);
  ASSERT_EQ(dh.AdjustLuminosity(pic.data(), 33, 9, 24, -100), 1);
  EXPECT_EQ(pic, Bytes(pic.size(), 0));
}

TEST(Hsl, PrimaryColoursAndGreys) {
  CDataHandler dh;
  float h, s, l;
  dh.RGBtoHSL(255, 0, 0, &h, &s, &l);
  EXPECT_EQ(h, 360.0f);  // only values above 360 are reduced
  EXPECT_EQ(s, 1.0f);
  EXPECT_EQ(l, 0.5f);
  dh.RGBtoHSL(0, 255, 0, &h, &s, &l);
  EXPECT_EQ(h, 120.0f);
  dh.RGBtoHSL(0, 0, 255, &h, &s, &l);
  EXPECT_EQ(h, 240.0f);
  dh.RGBtoHSL(255, 255, 255, &h, &s, &l);
  EXPECT_EQ(h, 0.0f);
  EXPECT_EQ(s, 0.0f);
  EXPECT_EQ(l, 1.0f);
  dh.RGBtoHSL(0, 0, 0, &h, &s, &l);
  EXPECT_EQ(h, 0.0f);
  EXPECT_EQ(s, 0.0f);
  // Red and blue both maximal: the blue test comes last and wins.
  dh.RGBtoHSL(200, 0, 200, &h, &s, &l);
  EXPECT_EQ(h, 300.0f);
  // Red maximal, green below blue: hue below 360 stays.
  dh.RGBtoHSL(255, 0, 51, &h, &s, &l);
  EXPECT_EQ(h, (-51.0f / 255.0f + 6.0f) * 60.0f);

  EXPECT_EQ(dh.HSLtoRGB(0.0f, 0.0f, 0.5f), 127ul | 127ul << 8 | 127ul << 16);
  EXPECT_EQ(dh.HSLtoRGB(0.0f, 1.0f, 0.5f), 255ul);          // red in bits 0-7
  EXPECT_EQ(dh.HSLtoRGB(120.0f, 1.0f, 0.5f), 255ul << 8);   // green
  EXPECT_EQ(dh.HSLtoRGB(240.0f, 1.0f, 0.5f), 255ul << 16);  // blue
  EXPECT_EQ(dh.HSLtoRGB(240.0f, 5.0f, 7.0f), 0xFFFFFFul);   // both limited to 1
  EXPECT_EQ(dh.HueToRGB(0.0f, 1.0f, -300.0f), 255);         // 60 after adding 360
  EXPECT_EQ(dh.HueToRGB(0.0f, 1.0f, 390.0f), 127);          // 30 after subtracting 360
  EXPECT_EQ(dh.HueToRGB(0.2f, 0.8f, 300.0f), 51);
}

TEST(Saturation, MinusHundredGivesGreyAndZeroRefuses) {
  std::mt19937 rng(31);
  CDataHandler dh;
  const int w = 17, h = 5;
  Bytes pic = ref::RandomPicture(rng, w, h, 24);
  const Bytes src = pic;
  EXPECT_EQ(dh.AdjustSaturation(pic.data(), w, h, 24, 0), 0);
  EXPECT_EQ(pic, src);
  ASSERT_EQ(dh.AdjustSaturation(pic.data(), w, h, 24, -100), 1);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const unsigned char* p = &pic[ref::Stride(w, 24) * y + 3 * x];
      const unsigned char* s = &src[ref::Stride(w, 24) * y + 3 * x];
      EXPECT_EQ(p[0], p[1]);
      EXPECT_EQ(p[1], p[2]);
      const int mx = std::max({s[0], s[1], s[2]}), mn = std::min({s[0], s[1], s[2]});
      EXPECT_EQ(p[0], static_cast<int>(static_cast<float>(mx + mn) / 510.0f * 255.0f));
    }
  EXPECT_EQ(Bytes(pic.begin() + 51, pic.begin() + 52), Bytes({0}));  // padding untouched
}

TEST(Saturation, RandomPicturesMatchPerPixelHsl) {
  std::mt19937 rng(37);
  CDataHandler dh;
  for (int round = 0; round < 30; ++round) {
    const int w = 1 + rng() % 50, h = 1 + rng() % 5;
    const int depth = (int[]){8, 24, 32}[round % 3];
    int level = static_cast<int>(rng() % 301) - 150;
    if (level == 0) level = 100;
    const float factor = static_cast<float>(std::clamp(level + 100, 0, 200)) / 100.0f;
    const Bytes src = ref::RandomPicture(rng, w, h, depth);
    Bytes pic = src, expect = src;
    ASSERT_EQ(dh.AdjustSaturation(pic.data(), w, h, depth, level), 1);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        unsigned char* p = &expect[ref::Stride(w, depth) * y + x * depth / 8];
        float hh, ss, ll;
        if (depth == 8) {
          dh.RGBtoHSL(p[0], p[0], p[0], &hh, &ss, &ll);
          const unsigned long c = dh.HSLtoRGB(hh, ss * factor, ll);
          p[0] = static_cast<unsigned char>(((c & 255) + (c >> 8 & 255) + (c >> 16 & 255)) / 3);
        } else {
          dh.RGBtoHSL(p[2], p[1], p[0], &hh, &ss, &ll);
          const unsigned long c = dh.HSLtoRGB(hh, ss * factor, ll);
          p[2] = c & 255;
          p[1] = c >> 8 & 255;
          p[0] = c >> 16 & 255;
        }
      }
    EXPECT_EQ(pic, expect) << "level " << level << " depth " << depth;
  }
}

// Every colour through the fast saturation path against the per-pixel HSL
// formulas, at levels that raise, clamp and remove the saturation, at 24
// bits and at 32 bits (whose fourth byte stays).
TEST(Saturation, EveryColourMatchesPerPixelHsl) {
  CDataHandler dh;
  const int w = 4096, h = 4096;
  for (const auto& [depth, level] : {std::pair{24, 40}, std::pair{24, 100}, std::pair{32, -55}}) {
    const int bpp = depth / 8;
    const float factor = static_cast<float>(std::clamp(level + 100, 0, 200)) / 100.0f;
    Bytes pic(static_cast<std::size_t>(w) * h * bpp);
    for (std::size_t i = 0; i < static_cast<std::size_t>(w) * h; ++i) {
      pic[i * bpp] = static_cast<unsigned char>(i);
      pic[i * bpp + 1] = static_cast<unsigned char>(i >> 8);
      pic[i * bpp + 2] = static_cast<unsigned char>(i >> 16);
      if (bpp == 4) pic[i * bpp + 3] = static_cast<unsigned char>(i * 7);
    }
    const Bytes src = pic;
    ASSERT_EQ(dh.AdjustSaturation(pic.data(), w, h, depth, level), 1);
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(w) * h; ++i) {
      const unsigned char* s = &src[i * bpp];
      float hh, ss, ll;
      dh.RGBtoHSL(s[2], s[1], s[0], &hh, &ss, &ll);
      const unsigned long c = dh.HSLtoRGB(hh, ss * factor, ll);
      const unsigned char* p = &pic[i * bpp];
      const bool same = p[2] == (c & 255) && p[1] == (c >> 8 & 255) && p[0] == (c >> 16 & 255) &&
                        (bpp == 3 || p[3] == s[3]);
      if (!same && wrong++ < 5)
        ADD_FAILURE() << "depth " << depth << " level " << level << " colour " << std::hex << (i & 0xFFFFFF);
    }
    EXPECT_EQ(wrong, 0u) << "depth " << depth << " level " << level;
  }
}

// The one-pass copy with brightness and contrast against a copy adjusted
// step by step: depths, padded widths, either level left out, extremes.
TEST(Tone, CopyWithBrightnessAndContrastMatchesTheSteps) {
  std::mt19937 rng(43);
  CDataHandler dh;
  const int levels[][2] = {{30, 40}, {0, 40}, {30, 0}, {0, 0}, {-100, 200}, {250, -300}, {-37, 127}, {5, -128}};
  for (int round = 0; round < 48; ++round) {
    const int w = 1 + static_cast<int>(rng() % 150), h = 1 + static_cast<int>(rng() % 4);
    const int depth = (int[]){8, 24, 32}[round % 3];
    const int lum = levels[round % 8][0], con = levels[round % 8][1];
    Bytes src = ref::RandomPicture(rng, w, h, depth);
    // Padding bytes travel with the copy.
    for (std::size_t i = static_cast<std::size_t>(w) * depth / 8; i < ref::Stride(w, depth); ++i) src[i] = 0xA5;
    Bytes expect = src;
    dh.AdjustLuminosity(expect.data(), w, h, depth, lum);
    dh.AdjustContrast(expect.data(), w, h, depth, con);
    Bytes out(src.size(), 0x5A);
    ASSERT_EQ(dh.CopyLuminosityContrast(src.data(), out.data(), w, h, depth, lum, con), 1);
    EXPECT_EQ(out, expect) << w << "x" << h << " depth " << depth << " levels " << lum << " " << con;
  }
  Bytes one(4, 1), out(4, 0);
  EXPECT_EQ(dh.CopyLuminosityContrast(one.data(), out.data(), 1, 1, 16, 10, 10), 0);
  EXPECT_EQ(dh.CopyLuminosityContrast(one.data(), nullptr, 1, 1, 24, 10, 10), 0);
  EXPECT_EQ(dh.CopyLuminosityContrast(nullptr, out.data(), 1, 1, 24, 10, 10), 0);
  EXPECT_EQ(dh.CopyLuminosityContrast(one.data(), out.data(), 0, 1, 24, 10, 10), 0);
  EXPECT_EQ(out, Bytes(4, 0));
}

TEST(ColourGain, ScalesChannelsAndRefuses) {
  std::mt19937 rng(41);
  CDataHandler dh;
  for (int round = 0; round < 40; ++round) {
    const int depth = round % 2 ? 24 : 32;
    const int w = 1 + rng() % 60, h = 1 + rng() % 4;
    const int gains[3] = {static_cast<int>(rng() % 320) - 30, static_cast<int>(rng() % 256),
                          static_cast<int>(rng() % 320) - 30};
    const Bytes src = ref::RandomPicture(rng, w, h, depth);
    Bytes pic = src, expect = src;
    ASSERT_EQ(dh.SaturationAlter(pic.data(), w, h, depth, gains[0], gains[1], gains[2]), 1);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        unsigned char* p = &expect[ref::Stride(w, depth) * y + x * depth / 8];
        for (int c = 0; c < 3; ++c) p[2 - c] = static_cast<unsigned char>(std::clamp(gains[c], 0, 255) * p[2 - c] / 255);
      }
    EXPECT_EQ(pic, expect) << w << "x" << h << "@" << depth;
    Bytes same = src;
    EXPECT_EQ(dh.SaturationAlter(same.data(), w, h, depth, 255, 255, 255), 0);
    EXPECT_EQ(same, src);
  }
  Bytes grey(8, 100);
  EXPECT_EQ(dh.SaturationAlter(grey.data(), 8, 1, 8, 0, 0, 0), 0);
  EXPECT_EQ(grey, Bytes(8, 100));
}

TEST(DisplayModes, SingleThresholdsTheGreyValue) {
  CDataHandler dh;
  // Greys 28, 255, 127, 0 then a fifth pixel of grey 100 (stride 16, plane stride 8).
  Bytes src = {255, 0, 0, 255, 255, 255, 128, 128, 128, 1, 1, 1, 100, 100, 100, 0};
  Bytes out(8, 77);
  ASSERT_EQ(dh.ColourToSingle(src.data(), 5, 1, 24, nullptr, out.data(), 100), 1);
  EXPECT_EQ(out, Bytes({0, 255, 255, 0, 0, 0, 0, 0}));
  tagRGBQUAD pal[256] = {};
  pal[3] = {200, 200, 200, 0};
  Bytes idx = {3, 0, 3, 0};
  Bytes plane(4, 9);
  ASSERT_EQ(dh.ColourToSingle(idx.data(), 3, 1, 8, pal, plane.data(), 150), 1);
  EXPECT_EQ(plane, Bytes({255, 0, 255, 0}));
  ASSERT_EQ(dh.ColourToSingle(idx.data(), 3, 1, 8, nullptr, plane.data(), -1), 1);
  EXPECT_EQ(plane, Bytes({255, 255, 255, 0}));  // no palette: grey 0, above -1
}

TEST(DisplayModes, ReversedInvertsColoursOrThePalette) {
  CDataHandler dh;
  Bytes src32 = {1, 2, 3, 4, 250, 251, 252, 253};
  Bytes out32(8, 9);
  ASSERT_EQ(dh.ColourToReversed(src32.data(), 2, 1, 32, nullptr, out32.data()), 1);
  EXPECT_EQ(out32, Bytes({254, 253, 252, 0, 5, 4, 3, 0}));
  Bytes src24 = {1, 2, 3, 0};
  Bytes out24(4, 9);
  ASSERT_EQ(dh.ColourToReversed(src24.data(), 1, 1, 24, nullptr, out24.data()), 1);
  EXPECT_EQ(out24, Bytes({254, 253, 252, 0}));

  tagRGBQUAD pal[256];
  for (int i = 0; i < 256; ++i) pal[i] = {static_cast<BYTE>(i), 10, 20, 99};
  Bytes idx = {5, 6, 7, 0};
  Bytes out8(4, 9);
  ASSERT_EQ(dh.ColourToReversed(idx.data(), 3, 1, 8, pal, out8.data()), 1);
  EXPECT_EQ(out8, Bytes({5, 6, 7, 0}));
  EXPECT_EQ(pal[5].rgbBlue, 250);
  EXPECT_EQ(pal[5].rgbGreen, 245);
  EXPECT_EQ(pal[5].rgbRed, 235);
  EXPECT_EQ(pal[5].rgbReserved, 99);
}

TEST(DisplayModes, ReliefAndSharpenMatchTheirFormulas) {
  std::mt19937 rng(43);
  CDataHandler dh;
  for (int round = 0; round < 30; ++round) {
    const int w = 1 + rng() % 20, h = 1 + rng() % 6;
    const int depth = (int[]){8, 24, 32}[round % 3];
    const int n = depth / 8;
    const std::size_t stride = ref::Stride(w, depth);
    const Bytes src = ref::RandomPicture(rng, w, h, depth);
    Bytes relief = ref::RandomBytes(rng, src.size()), sharpen = ref::RandomBytes(rng, src.size());
    ASSERT_EQ(dh.ColourToRelief(src.data(), w, h, depth, relief.data()), 1);
    ASSERT_EQ(dh.ColourToSharpen(src.data(), w, h, depth, sharpen.data()), 1);
    Bytes er(src.size(), 0), es(src.size(), 0);
    for (int y = 0; y < h; ++y)
      for (int x = 1; x < w; ++x)
        for (int k = 0; k < n; ++k) {
          const std::size_t at = stride * y + x * n + k;
          er[at] = static_cast<unsigned char>(((src[at - n] - src[at] + 128) % 256 + 256) % 256);
          if (y < h - 1) {
            const int v = src[at], nb = src[stride * (y + 1) + (x - 1) * n + k];
            es[at] = static_cast<unsigned char>((v + ((v - nb + 128) % 256 + 256) % 256 / 4) % 256);
          }
        }
    EXPECT_EQ(relief, er);
    EXPECT_EQ(sharpen, es);
  }
  Bytes x(4);
  EXPECT_EQ(dh.ColourToRelief(x.data(), 1, 1, 16, x.data()), 0);
  EXPECT_EQ(dh.ColourToSharpen(nullptr, 1, 1, 24, x.data()), 0);
}

}  // namespace
