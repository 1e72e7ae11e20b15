// brevio-image process: a picture through the frame model from the command line.

#include "imaging/bitmap_file.h"
#include "imaging/data_handler.h"
#include "imaging/picture_codec.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class ProcessToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(std::getenv("BREVIO_TEST_TMP")) / "process_tool" /
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    // A 10 x 6 picture: red = 20 x, green = 10 y (y from the top).
    std::vector<unsigned char> px(PictureSize(10, 6, 24), 0);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 10; ++x) {
        unsigned char* p = px.data() + PictureStride(10, 24) * (5 - y) + x * 3;
        p[0] = 77;
        p[1] = static_cast<unsigned char>(10 * y);
        p[2] = static_cast<unsigned char>(20 * x);
      }
    ASSERT_TRUE(WriteBitmapFile((dir_ / "in.bmp").string(), px.data(), 10, 6, 24, nullptr));
  }
  // Runs the tool with settings and thumbnails kept in the test folder; the exit status.
  int Run(const std::string& args) {
    const std::string cmd = "HOME='" + dir_.string() + "' XDG_CACHE_HOME='" + (dir_ / "cache").string() +
                            "' XDG_CONFIG_HOME='" + (dir_ / "config").string() + "' '" BREVIO_IMAGE_TOOL
                            "' process " + args + " 2>/dev/null";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // Pixel (x, y from the top) as red, green, blue.
  static std::vector<int> Px(const CBitmapPicture& pic, int x, int y) {
    const unsigned char* p = pic.data + pic.Stride() * (pic.height - 1 - y) + x * 3;
    return {p[2], p[1], p[0]};
  }
  std::string In() const { return "'" + (dir_ / "in.bmp").string() + "'"; }
  std::string Out(const char* name) const { return "'" + (dir_ / name).string() + "'"; }
  fs::path dir_;
};

TEST_F(ProcessToolTest, OptionsActInTheOrderGiven) {
  // Turned first, then cut: the cut is in the turned picture (6 x 10).
  ASSERT_EQ(Run(In() + " " + Out("a.bmp") + " --rotate-cmd 1 --crop 1,2,5,9"), 0);
  CBitmapPicture a;
  ASSERT_TRUE(ReadBitmapFile((dir_ / "a.bmp").string(), a));
  EXPECT_EQ(a.width, 4);
  EXPECT_EQ(a.height, 7);
  // Clockwise: turned (x, y) comes from original (y, 5 - x).
  EXPECT_EQ(Px(a, 0, 0), (std::vector<int>{40, 40, 77}));
  EXPECT_EQ(a.xPelsPerMeter, 11812);

  // Cut first, then turned: a different picture.
  ASSERT_EQ(Run(In() + " " + Out("b.bmp") + " --crop 1,2,5,5 --rotate-cmd 1"), 0);
  CBitmapPicture b;
  ASSERT_TRUE(ReadBitmapFile((dir_ / "b.bmp").string(), b));
  EXPECT_EQ(b.width, 3);
  EXPECT_EQ(b.height, 4);
  EXPECT_EQ(Px(b, 0, 0), (std::vector<int>{20, 40, 77}));
}

TEST_F(ProcessToolTest, AdjustmentsAndModesApplyToTheShownPicture) {
  ASSERT_EQ(Run(In() + " " + Out("g.bmp") + " --luminosity 100 --mode reversed"), 0);
  CBitmapPicture g;
  ASSERT_TRUE(ReadBitmapFile((dir_ / "g.bmp").string(), g));
  EXPECT_EQ(Px(g, 3, 2), (std::vector<int>{255 - 120, 255 - 40, 255 - 154}));
  ASSERT_EQ(Run(In() + " " + Out("p.png") + " --angle 90"), 0);
  CBitmapPicture p;
  ASSERT_TRUE(ReadPictureBuffer((dir_ / "p.png").string(), p));
  EXPECT_EQ(p.width, 6);
  EXPECT_EQ(p.height, 10);
}

// A bright page (upright 400 x 300 at 120, 90) turned by `degrees` on a
// dark 640 x 480 desk, written as a bitmap.
void WritePage(const std::string& path, double degrees) {
  const int w = 640, h = 480;
  std::vector<unsigned char> px(PictureSize(w, h, 24), 30);
  const double a = degrees * 3.14159265358979 / 180.0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double dx = x + 0.5 - 320, dy = y + 0.5 - 240;
      const double ux = dx * std::cos(a) + dy * std::sin(a), uy = -dx * std::sin(a) + dy * std::cos(a);
      if (std::fabs(ux) < 200 && std::fabs(uy) < 150) {
        unsigned char* p = px.data() + PictureStride(w, 24) * (h - 1 - y) + x * 3;
        p[0] = p[1] = p[2] = 250;
      }
    }
  ASSERT_TRUE(WriteBitmapFile(path, px.data(), w, h, 24, nullptr));
}

TEST_F(ProcessToolTest, PageOptionsCutStraightenAndSaveThePage) {
  const std::string upright = "'" + (dir_ / "upright.bmp").string() + "'";
  const std::string skewed = "'" + (dir_ / "skewed.bmp").string() + "'";
  WritePage((dir_ / "upright.bmp").string(), 0);
  WritePage((dir_ / "skewed.bmp").string(), 7);

  ASSERT_EQ(Run(upright + " " + Out("cut.bmp") + " --cut"), 0);
  CBitmapPicture cut;
  ASSERT_TRUE(ReadBitmapFile((dir_ / "cut.bmp").string(), cut));
  // The page and the width of its edge around it.
  EXPECT_NEAR(cut.width, 403, 3);
  EXPECT_NEAR(cut.height, 303, 3);
  EXPECT_EQ(Px(cut, 200, 150), (std::vector<int>{250, 250, 250}));

  CDataHandler h;
  ASSERT_EQ(Run(skewed + " " + Out("straight.bmp") + " --correct"), 0);
  CBitmapPicture straight;
  ASSERT_TRUE(ReadBitmapFile((dir_ / "straight.bmp").string(), straight));
  CBitmapPicture before;
  ASSERT_TRUE(ReadBitmapFile((dir_ / "skewed.bmp").string(), before));
  const float skew = std::fabs(h.CheckRotatePictureEx(before.data, before.width, before.height, 24, nullptr));
  ASSERT_GT(skew, 0.1f);
  // Within the detector's 2-degree grain of upright.
  EXPECT_LT(std::fabs(h.CheckRotatePictureEx(straight.data, straight.width, straight.height, 24, nullptr)),
            skew / 3);

  ASSERT_EQ(Run(skewed + " " + Out("page.png") + " --green-frame"), 0);
  CBitmapPicture page;
  ASSERT_TRUE(ReadPictureBuffer((dir_ / "page.png").string(), page));
  // The page upright, give or take the detector's grain on the shrunk picture.
  EXPECT_NEAR(page.width, 400, 16);
  EXPECT_NEAR(page.height, 300, 16);
  EXPECT_EQ(Px(page, page.width / 2, page.height / 2), (std::vector<int>{250, 250, 250}));
  // No page in a colour ramp: an error, nothing written.
  EXPECT_NE(Run(In() + " " + Out("none.png") + " --green-frame"), 0);
  EXPECT_FALSE(fs::exists(dir_ / "none.png"));
}

TEST_F(ProcessToolTest, BadCommandLinesWriteNothing) {
  EXPECT_EQ(Run(In() + " " + Out("x.jpg") + " --straighten"), 1);
  EXPECT_EQ(Run(In() + " " + Out("x.jpg") + " --rotate-cmd 4"), 1);
  EXPECT_EQ(Run(In() + " " + Out("x.jpg") + " --crop 0,0,11,6"), 1);
  EXPECT_EQ(Run(In() + " " + Out("x.jpg") + " --tone 1,2"), 1);
  EXPECT_EQ(Run(In()), 1);
  EXPECT_EQ(Run(Out("missing.bmp") + " " + Out("x.jpg")), 2);
  EXPECT_FALSE(fs::exists(dir_ / "x.jpg"));
  EXPECT_EQ(Run(In() + " " + Out("no/such/folder.jpg")), 4);
}

}  // namespace
