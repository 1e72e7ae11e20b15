// The brevio-image command line: outputs, printed results, exit statuses and
// the promise never to leave a partial or unwanted OUT file.

#include "imaging/bitmap_file.h"
#include "imaging/data_handler.h"

#include "contracts/fundara/memory.h"
#include "tests/imaging/reference.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#ifdef BREVIO_IMAGE_TOOL

namespace {

namespace fs = std::filesystem;
using ref::Bytes;

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

class BrevioImageTool : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ref::TestDir("imaging_tool") / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  ToolRun Tool(const std::string& args) const {
    const std::string errFile = Path("stderr.txt");
    const std::string cmd = std::string(BREVIO_IMAGE_TOOL) + " " + args + " 2>" + errFile;
    ToolRun r;
    FILE* pipe = popen(cmd.c_str(), "r");
    if (!pipe) return r;
    char buf[256];
    while (std::fgets(buf, sizeof buf, pipe)) r.out += buf;
    const int raw = pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream e(errFile);
    r.err.assign(std::istreambuf_iterator<char>(e), std::istreambuf_iterator<char>());
    fs::remove(errFile);
    return r;
  }

  // Writes a random picture and returns its pixels.
  Bytes Picture(const std::string& name, long w, long h, int depth, unsigned seed = 1) const {
    std::mt19937 rng(seed);
    const Bytes pixels = ref::RandomPicture(rng, w, h, depth);
    tagRGBQUAD pal[256];
    for (int i = 0; i < 256; ++i) pal[i] = {static_cast<BYTE>(i), static_cast<BYTE>(i / 2), 9, 0};
    EXPECT_TRUE(WriteBitmapFile(Path(name), pixels.data(), w, h, depth, depth == 8 ? pal : nullptr));
    return pixels;
  }

  CBitmapPicture Read(const std::string& name) const {
    CBitmapPicture pic;
    std::string error;
    EXPECT_TRUE(ReadBitmapFile(Path(name), pic, &error)) << error;
    return pic;
  }

  static Bytes PixelsOf(const CBitmapPicture& p) { return Bytes(p.data, p.data + p.ByteSize()); }

  // Only the named files are left in the folder (no temporary leftovers).
  void ExpectOnly(std::set<std::string> names) const {
    std::set<std::string> found;
    for (const auto& e : fs::directory_iterator(dir_)) found.insert(e.path().filename().string());
    EXPECT_EQ(found, names);
  }

  fs::path dir_;
};

TEST_F(BrevioImageTool, InfoGreyAndColour) {
  const Bytes px = Picture("in.bmp", 5, 3, 24);
  ToolRun r = Tool("info " + Path("in.bmp"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "5 3 24\n");

  r = Tool("grey " + Path("in.bmp") + " " + Path("grey.bmp"));
  ASSERT_EQ(r.status, 0) << r.err;
  const CBitmapPicture grey = Read("grey.bmp");
  EXPECT_EQ(grey.depth, 8);
  EXPECT_EQ(grey.palette[77].rgbRed, 77);
  EXPECT_EQ(PixelsOf(grey), ref::GreyPlane(px, 5, 3, 24, nullptr, true));

  ASSERT_EQ(Tool("colour24 " + Path("grey.bmp") + " " + Path("c.bmp")).status, 0);
  const CBitmapPicture colour = Read("c.bmp");
  EXPECT_EQ(colour.depth, 24);
  EXPECT_EQ(colour.data[3], colour.data[4]);  // grey palette: equal channels
  ExpectOnly({"in.bmp", "grey.bmp", "c.bmp"});
}

TEST_F(BrevioImageTool, TurnsRoundTripAndRotatePrintsTheRegion) {
  const Bytes px = Picture("in.bmp", 7, 4, 24);
  ASSERT_EQ(Tool("turn 1 " + Path("in.bmp") + " " + Path("t1.bmp")).status, 0);
  EXPECT_EQ(Tool("info " + Path("t1.bmp")).out, "4 7 24\n");
  ASSERT_EQ(Tool("turn 3 " + Path("t1.bmp") + " " + Path("t3.bmp")).status, 0);
  EXPECT_EQ(PixelsOf(Read("t3.bmp")), px);

  ToolRun r = Tool("rotate 0 " + Path("in.bmp") + " " + Path("r0.bmp") + " --region 1,1,5,3");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1,1,5,3\n");
  r = Tool("rotate 90 " + Path("in.bmp") + " " + Path("r90.bmp"));
  ASSERT_EQ(r.status, 0) << r.err;
  CRect region(0, 0, 7, 4);
  long w = 0, h = 0;
  ref::RotateDegrees(px, 7, 4, region, 90, w, h);
  EXPECT_EQ(r.out, std::to_string(region.left) + "," + std::to_string(region.top) + "," +
                       std::to_string(region.right) + "," + std::to_string(region.bottom) + "\n");
  EXPECT_EQ(Read("r90.bmp").width, w);

  ASSERT_EQ(Tool("rotate-rad 0 " + Path("in.bmp") + " " + Path("rr.bmp") + " --region=2,1,6,4").status, 0);
  EXPECT_EQ(Tool("info " + Path("rr.bmp")).out, "4 3 24\n");
}

TEST_F(BrevioImageTool, ToneAndModesWriteWhatTheLibraryComputes) {
  const Bytes px = Picture("in.bmp", 6, 3, 24, 5);
  CDataHandler dh;
  struct Case {
    std::string args;
    std::function<void(Bytes&)> apply;
  };
  const Case cases[] = {
      {"luminosity -100", [&](Bytes& b) { dh.AdjustLuminosity(b.data(), 6, 3, 24, -100); }},
      {"contrast 40", [&](Bytes& b) { dh.AdjustContrast(b.data(), 6, 3, 24, 40); }},
      {"saturation 60", [&](Bytes& b) { dh.AdjustSaturation(b.data(), 6, 3, 24, 60); }},
      {"gain 255 128 0", [&](Bytes& b) { dh.SaturationAlter(b.data(), 6, 3, 24, 255, 128, 0); }},
      {"relief", [&](Bytes& b) { const Bytes s = b; dh.ColourToRelief(s.data(), 6, 3, 24, b.data()); }},
      {"sharpen", [&](Bytes& b) { const Bytes s = b; dh.ColourToSharpen(s.data(), 6, 3, 24, b.data()); }},
      {"reversed", [&](Bytes& b) { const Bytes s = b; dh.ColourToReversed(s.data(), 6, 3, 24, nullptr, b.data()); }},
  };
  for (const Case& c : cases) {
    ToolRun r = Tool(c.args + " " + Path("in.bmp") + " " + Path("out.bmp"));
    ASSERT_EQ(r.status, 0) << c.args << ": " << r.err;
    Bytes expect = px;
    c.apply(expect);
    EXPECT_EQ(PixelsOf(Read("out.bmp")), expect) << c.args;
  }
  ASSERT_EQ(Tool("single 100 " + Path("in.bmp") + " " + Path("bw.bmp")).status, 0);
  const CBitmapPicture bw = Read("bw.bmp");
  EXPECT_EQ(bw.depth, 8);
  for (long x = 0; x < 6; ++x) EXPECT_TRUE(bw.data[x] == 0 || bw.data[x] == 255);
  ASSERT_EQ(Tool("zoom 0.5 " + Path("in.bmp") + " " + Path("z.bmp")).status, 0);
  EXPECT_EQ(Tool("info " + Path("z.bmp")).out, "3 2 24\n");
}

TEST_F(BrevioImageTool, ReversedEightBitInvertsThePalette) {
  const Bytes px = Picture("in.bmp", 5, 2, 8);
  ASSERT_EQ(Tool("reversed " + Path("in.bmp") + " " + Path("out.bmp")).status, 0);
  const CBitmapPicture out = Read("out.bmp");
  EXPECT_EQ(PixelsOf(out), px);
  EXPECT_EQ(out.palette[10].rgbBlue, 245);
  EXPECT_EQ(out.palette[10].rgbGreen, 250);
  EXPECT_EQ(out.palette[10].rgbRed, 246);
}

TEST_F(BrevioImageTool, RefusalsExitThreeAndWriteNothing) {
  Picture("in.bmp", 4, 4, 24);
  Picture("grey.bmp", 4, 4, 8);
  const std::string out = " " + Path("out.bmp");
  for (const std::string& args :
       {"luminosity 0 " + Path("in.bmp"), "contrast 0 " + Path("in.bmp"),
        "saturation 0 " + Path("in.bmp"), "gain 255 255 255 " + Path("in.bmp"),
        "gain 1 2 3 " + Path("grey.bmp"), "rotate 90 " + Path("grey.bmp"),
        "turn 6 " + Path("in.bmp"), "rotate-rad 1 " + Path("in.bmp") + " --region 2,0,2,4"}) {
    const ToolRun r = Tool(args + out);
    EXPECT_EQ(r.status, 3) << args;
    EXPECT_FALSE(r.err.empty()) << args;
    EXPECT_FALSE(fs::exists(Path("out.bmp"))) << args;
  }
  ExpectOnly({"in.bmp", "grey.bmp"});
}

TEST_F(BrevioImageTool, BadInputExitsTwoAndBadUsageOne) {
  Picture("in.bmp", 4, 4, 24);
  {
    std::ofstream junk(Path("junk.bmp"), std::ios::binary);
    junk << "BM this is not a bitmap at all, only some text that is long enough";
  }
  ToolRun r = Tool("grey " + Path("junk.bmp") + " " + Path("out.bmp"));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find(Path("junk.bmp")), std::string::npos);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
  r = Tool("relief " + Path("missing.bmp") + " " + Path("out.bmp"));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("missing.bmp"), std::string::npos);
  EXPECT_FALSE(fs::exists(Path("out.bmp")));

  EXPECT_EQ(Tool("").status, 1);
  EXPECT_EQ(Tool("frobnicate " + Path("in.bmp")).status, 1);
  EXPECT_EQ(Tool("zoom " + Path("in.bmp") + " " + Path("out.bmp")).status, 1);
  EXPECT_EQ(Tool("zoom half " + Path("in.bmp") + " " + Path("out.bmp")).status, 1);
  EXPECT_EQ(Tool("luminosity 5x " + Path("in.bmp") + " " + Path("out.bmp")).status, 1);
  EXPECT_EQ(Tool("rotate 10 " + Path("in.bmp") + " " + Path("out.bmp") + " --region 0,0,9,9").status, 1);
  EXPECT_EQ(Tool("rotate 10 " + Path("in.bmp") + " " + Path("out.bmp") + " --region 1,2").status, 1);
  EXPECT_EQ(Tool("grey " + Path("in.bmp") + " " + Path("out.bmp") + " --region 0,0,1,1").status, 1);
  EXPECT_EQ(Tool("grey " + Path("in.bmp") + " " + Path("no/such/dir/out.bmp")).status, 4);
  ExpectOnly({"in.bmp", "junk.bmp"});
}

}  // namespace

#endif
