#include "contracts/camera/pixel_convert.h"

#include <turbojpeg.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

std::vector<std::uint8_t> Jpeg(const std::vector<std::uint8_t>& bgr, int w, int h) {
  tjhandle t = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  EXPECT_EQ(tjCompress2(t, bgr.data(), w, w * 3, h, TJPF_BGR, &out, &size, TJSAMP_444, 95, 0), 0);
  std::vector<std::uint8_t> v(out, out + size);
  tjFree(out);
  tjDestroy(t);
  return v;
}

CRawFrame Raw(const std::vector<std::uint8_t>& bytes, std::uint32_t fourcc, int w, int h) {
  CRawFrame f;
  f.data = bytes.data();
  f.size = bytes.size();
  f.fourcc = fourcc;
  f.width = w;
  f.height = h;
  return f;
}

}  // namespace

TEST(PixelConvert, YuyvUsesStudioRangeAndBottomUpPaddedRows) {
  // 3 pixels wide (odd), 2 rows: top row white, red, white; bottom row black.
  const std::vector<std::uint8_t> yuyv = {
      235, 128, 235, 128, 81, 90, 81, 240,  // white white | red red (last pair half used)
      16,  128, 16,  128, 16, 128, 16, 128,
  };
  std::vector<std::uint8_t> out;
  int w = 0, h = 0;
  CFrameConverter conv;
  ASSERT_TRUE(conv.Convert(Raw(yuyv, FOURCC_YUYV, 3, 2), out, w, h));
  EXPECT_EQ(w, 3);
  EXPECT_EQ(h, 2);
  ASSERT_EQ(out.size(), 24u);  // stride 12 = 9 rounded up to 4
  // First row in memory is the picture's bottom row: black, with zero padding.
  for (int i = 0; i < 12; ++i) EXPECT_EQ(out[i], 0) << i;
  const std::uint8_t* top = out.data() + 12;
  EXPECT_EQ(top[0], 255);
  EXPECT_EQ(top[1], 255);
  EXPECT_EQ(top[2], 255);
  EXPECT_EQ(top[6], 0);  // red: blue 0, green 0, red 255
  EXPECT_EQ(top[7], 0);
  EXPECT_EQ(top[8], 255);
  EXPECT_EQ(top[9], 0);  // padding
}

TEST(PixelConvert, UyvyNv12GreyAndRgbAgreeOnOnePicture) {
  CFrameConverter conv;
  std::vector<std::uint8_t> out;
  int w = 0, h = 0;
  // A mid grey 2 x 2 in every layout.
  const std::vector<std::uint8_t> uyvy = {128, 126, 128, 126, 128, 126, 128, 126};
  ASSERT_TRUE(conv.Convert(Raw(uyvy, FOURCC_UYVY, 2, 2), out, w, h));
  const std::uint8_t grey = out[0];
  EXPECT_EQ(grey, (298 * (126 - 16) + 128) >> 8);
  const std::vector<std::uint8_t> nv12 = {126, 126, 126, 126, 128, 128};
  ASSERT_TRUE(conv.Convert(Raw(nv12, FOURCC_NV12, 2, 2), out, w, h));
  EXPECT_EQ(out[0], grey);
  EXPECT_EQ(out[11], grey);
  const std::vector<std::uint8_t> yu12 = {126, 126, 126, 126, 128, 128};
  ASSERT_TRUE(conv.Convert(Raw(yu12, FOURCC_YU12, 2, 2), out, w, h));
  EXPECT_EQ(out[5], grey);
  const std::vector<std::uint8_t> g = {10, 20, 30, 40};
  ASSERT_TRUE(conv.Convert(Raw(g, FOURCC_GREY, 2, 2), out, w, h));
  EXPECT_EQ(out[0], 30);  // bottom-left first
  EXPECT_EQ(out[8 + 5], 20);
  const std::vector<std::uint8_t> rgb = {1, 2, 3, 4, 5, 6};
  ASSERT_TRUE(conv.Convert(Raw(rgb, FOURCC_RGB3, 2, 1), out, w, h));
  EXPECT_EQ((std::vector<std::uint8_t>(out.begin(), out.begin() + 6)), (std::vector<std::uint8_t>{3, 2, 1, 6, 5, 4}));
}

TEST(PixelConvert, ShortBrokenAndUnknownFramesAreRefused) {
  CFrameConverter conv;
  std::vector<std::uint8_t> out;
  int w = 0, h = 0;
  const std::vector<std::uint8_t> shortYuyv(2 * 4 * 2 - 1, 16);
  EXPECT_FALSE(conv.Convert(Raw(shortYuyv, FOURCC_YUYV, 4, 2), out, w, h));
  const std::vector<std::uint8_t> garbage(500, 0x55);
  EXPECT_FALSE(conv.Convert(Raw(garbage, FOURCC_MJPG, 10, 10), out, w, h));
  EXPECT_FALSE(conv.Convert(Raw(garbage, MakeFourcc('H', '2', '6', '4'), 10, 10), out, w, h));
  CRawFrame strided = Raw(garbage, FOURCC_YUYV, 100, 2);
  strided.bytesPerLine = 150;  // less than a packed row
  EXPECT_FALSE(conv.Convert(strided, out, w, h));
}

TEST(PixelConvert, MjpgDecodesBottomUpWithItsOwnSize) {
  const int w = 30, h = 16;  // 90 bytes a row, padded to 92
  std::vector<std::uint8_t> bgr(static_cast<std::size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = &bgr[(static_cast<std::size_t>(y) * w + x) * 3];
      p[0] = y < h / 2 ? 0 : 255;  // top red, bottom blue
      p[1] = 0;
      p[2] = y < h / 2 ? 255 : 0;
    }
  const auto jpeg = Jpeg(bgr, w, h);
  std::vector<std::uint8_t> out;
  int ow = 0, oh = 0;
  CFrameConverter conv;
  // The size the driver claimed does not matter: the JPEG's own counts.
  ASSERT_TRUE(conv.Convert(Raw(jpeg, FOURCC_MJPG, 640, 480), out, ow, oh));
  EXPECT_EQ(ow, w);
  EXPECT_EQ(oh, h);
  ASSERT_EQ(out.size(), 92u * h);
  EXPECT_GT(out[0], 200);  // first row in memory = bottom = blue
  EXPECT_LT(out[2], 50);
  const std::uint8_t* last = out.data() + 92 * (h - 1);
  EXPECT_LT(last[0], 50);  // top = red
  EXPECT_GT(last[2], 200);
  EXPECT_EQ(out[90], 0);
  EXPECT_EQ(out[91], 0);
}

TEST(PixelConvert, BgrToYuyvRoundTripsWithinRounding) {
  const int w = 6, h = 2;
  std::vector<std::uint8_t> bgr(static_cast<std::size_t>(w) * h * 3);
  for (std::size_t i = 0; i < bgr.size(); i += 3) bgr[i] = bgr[i + 1] = bgr[i + 2] = static_cast<std::uint8_t>(20 + i * 7);
  std::vector<std::uint8_t> yuyv(static_cast<std::size_t>(w) * 2 * h);
  BgrToYuyv(bgr.data(), w * 3, w, h, yuyv.data());
  std::vector<std::uint8_t> back(static_cast<std::size_t>(BgrStride(w)) * h);
  Yuv422ToBgrBottomUp(yuyv.data(), w * 2, w, h, false, back.data());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w * 3; ++x)
      EXPECT_NEAR(back[static_cast<std::size_t>(h - 1 - y) * BgrStride(w) + x], bgr[static_cast<std::size_t>(y) * w * 3 + x], 2);
}

TEST(PixelConvert, OddWidthNv12RowsCarryTheLastChromaPair) {
  // Width 3: each chroma row has two U,V pairs (4 bytes), so a packed frame
  // is 4 bytes a row; the frame a device sizes at 3 bytes a row is short.
  CFrameConverter conv;
  std::vector<std::uint8_t> out;
  int w = 0, h = 0;
  struct Case {
    int bytesPerLine;
    std::size_t size;
    bool converts;
  } cases[] = {
      {0, 4 * 2 + 4 * 1, true},  // packed rows are the even width
      {3, 3 * 2 + 3 * 1, false}, // a row too short for the last pair
      {6, 6 * 2 + 6 * 1, true},  // padded rows
      {0, 4 * 2 + 4 * 1 - 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytesPerLine);
    // A block of exactly the frame's size: a read past it is caught.
    std::vector<std::uint8_t> bytes(c.size, 128);
    CRawFrame frame = Raw(bytes, FOURCC_NV12, 3, 2);
    frame.bytesPerLine = c.bytesPerLine;
    EXPECT_EQ(conv.Convert(frame, out, w, h), c.converts);
    if (c.converts) {
      EXPECT_EQ(out.size(), static_cast<std::size_t>(BgrStride(3) * 2));
    }
  }
}
