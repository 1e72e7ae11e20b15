// The page subcommands of brevio-image on a white page skewed on a dark
// desk: the printed detection, the straightened and cut pictures, the
// green-frame crop, the flood count and the refusals.

#include "imaging/bitmap_file.h"
#include "imaging/data_handler.h"

#include "tests/imaging/reference.h"
#include "tests/imaging/tool_runner.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#ifdef BREVIO_IMAGE_TOOL

namespace {

namespace fs = std::filesystem;
using ref::Bytes;

class PageTool : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = ref::FreshCaseDir("imaging_page_tool"); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  int Tool(const std::string& args, std::string* out = nullptr) const {
    return ref::RunTool(BREVIO_IMAGE_TOOL, args, out);
  }

  // A 640 x 480 24-bit picture: a 360 x 260 white page turned by `degrees`
  // about the centre on a dark desk.
  void WritePage(const std::string& name, double degrees) const {
    const int w = 640, h = 480;
    const std::size_t stride = ref::Stride(w, 24);
    Bytes pic(stride * h, 35);
    const double a = degrees * 3.141592653589793 / 180, c = std::cos(a), s = std::sin(a);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const double dx = x - 320.0, dy = y - 240.0;
        const double u = c * dx + s * dy, v = -s * dx + c * dy;
        if (std::fabs(u) < 180 && std::fabs(v) < 130)
          for (int k = 0; k < 3; ++k) pic[stride * y + 3 * x + k] = 245;
      }
    ASSERT_TRUE(WriteBitmapFile(Path(name), pic.data(), w, h, 24, nullptr));
  }

  CBitmapPicture Read(const std::string& name) const {
    CBitmapPicture p;
    EXPECT_TRUE(ReadBitmapFile(Path(name), p));
    return p;
  }

  fs::path dir_;
};

TEST_F(PageTool, DetectPrintsTheLibraryResults) {
  WritePage("page.bmp", 10);
  std::string out;
  ASSERT_EQ(Tool("detect " + Path("page.bmp"), &out), 0);
  for (const char* key : {"\"main_line\"", "\"lines\"", "\"segments\"", "\"black_side\"", "\"skew\""})
    EXPECT_NE(out.find(key), std::string::npos) << key << " in " << out;
  // The same numbers as the library gives on the same picture.
  const CBitmapPicture pic = Read("page.bmp");
  CDataHandler d;
  const CRect r = d.GetBlackSideRectEx(pic.data, 640, 480, 24, nullptr, CRect(0, 0, 640, 480));
  const std::string black = "\"black_side\": [" + std::to_string(r.left) + ", " +
                            std::to_string(r.top) + ", " + std::to_string(r.right) + ", " +
                            std::to_string(r.bottom) + "]";
  EXPECT_NE(out.find(black), std::string::npos) << out;
  const float skew = d.CheckRotatePictureEx(pic.data, 640, 480, 24, nullptr);
  const std::size_t at = out.find("\"skew\": ");
  ASSERT_NE(at, std::string::npos);
  EXPECT_FLOAT_EQ(std::stof(out.substr(at + 8)), skew);
  EXPECT_NEAR(skew * 180 / 3.141592653589793, -10, 2.01);
}

TEST_F(PageTool, StraightenCutAndGreenFrame) {
  WritePage("page.bmp", -8);
  ASSERT_EQ(Tool("straighten " + Path("page.bmp") + " " + Path("straight.bmp")), 0);
  const CBitmapPicture st = Read("straight.bmp");
  EXPECT_GT(st.width, 640);  // the turned picture's canvas is larger
  std::string rect;
  ASSERT_EQ(Tool("cut-border " + Path("page.bmp") + " " + Path("cut.bmp"), &rect), 0);
  const CBitmapPicture cut = Read("cut.bmp");
  // The page's bounding box, turned by 8 degrees: about 392 x 307.
  EXPECT_NEAR(cut.width, 392, 12);
  EXPECT_NEAR(cut.height, 307, 12);
  ASSERT_EQ(Tool("green-frame " + Path("page.bmp") + " " + Path("frame.bmp")), 0);
  const CBitmapPicture frame = Read("frame.bmp");
  EXPECT_NEAR(frame.width, 360, 12);
  EXPECT_NEAR(frame.height, 260, 12);
  // The straightened page is white apart from a thin rim.
  unsigned long white = 0;
  for (long y = 0; y < frame.height; ++y)
    for (long x = 0; x < frame.width; ++x) white += frame.data[frame.Stride() * y + 3 * x] > 200;
  EXPECT_GT(white, static_cast<unsigned long>(frame.width * frame.height * 9 / 10));
}

TEST_F(PageTool, FloodAndRefusals) {
  const int w = 6, h = 4;
  Bytes grey(ref::Stride(w, 8) * h, 200);
  grey[0] = grey[1] = grey[ref::Stride(w, 8)] = 20;
  tagRGBQUAD palette[256];
  GreyPalette(palette);
  ASSERT_TRUE(WriteBitmapFile(Path("grey.bmp"), grey.data(), w, h, 8, palette));
  std::string out;
  ASSERT_EQ(Tool("flood 0 0 " + Path("grey.bmp") + " " + Path("flooded.bmp"), &out), 0);
  EXPECT_EQ(out, "3\n");
  EXPECT_EQ(Read("flooded.bmp").data[1], 255);
  EXPECT_EQ(Tool("flood 4 0 " + Path("grey.bmp") + " " + Path("x.bmp")), 1);
  EXPECT_FALSE(fs::exists(Path("x.bmp")));

  // A picture without edges: the border rectangle is the whole picture,
  // and there is no page to straighten.
  Bytes dark(ref::Stride(64, 24) * 48, 10);
  ASSERT_TRUE(WriteBitmapFile(Path("dark.bmp"), dark.data(), 64, 48, 24, nullptr));
  ASSERT_EQ(Tool("cut-border " + Path("dark.bmp") + " " + Path("whole.bmp"), &out), 0);
  EXPECT_EQ(out, "0,0,64,48\n");
  EXPECT_EQ(Tool("green-frame " + Path("dark.bmp") + " " + Path("y.bmp")), 3);
  EXPECT_FALSE(fs::exists(Path("y.bmp")));
  ASSERT_EQ(Tool("detect " + Path("dark.bmp"), &out), 0);
  EXPECT_NE(out.find("\"outline\": false"), std::string::npos) << out;
  EXPECT_NE(out.find("\"skew_method\": \"none\""), std::string::npos) << out;
  EXPECT_EQ(Tool("detect " + Path("missing.bmp")), 2);
}

}  // namespace

#endif
