// The filter subcommands of brevio-image: outputs equal to the library's
// results, printed change counters and exit statuses.

#include "imaging/bitmap_file.h"
#include "imaging/data_handler.h"

#include "tests/imaging/reference.h"
#include "tests/imaging/tool_runner.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#ifdef BREVIO_IMAGE_TOOL

namespace {

namespace fs = std::filesystem;
using ref::Bytes;

class FilterTool : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = ref::FreshCaseDir("imaging_filter_tool"); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  int Tool(const std::string& args, std::string* out = nullptr) const {
    return ref::RunTool(BREVIO_IMAGE_TOOL, args, out);
  }

  void Write(const std::string& name, const Bytes& pixels, long w, long h, int depth) const {
    tagRGBQUAD grey[256];
    GreyPalette(grey);
    ASSERT_TRUE(WriteBitmapFile(Path(name), pixels.data(), w, h, depth, depth == 8 ? grey : nullptr));
  }

  CBitmapPicture Read(const std::string& name) const {
    CBitmapPicture p;
    EXPECT_TRUE(ReadBitmapFile(Path(name), p));
    return p;
  }

  fs::path dir_;
};

// Padded 8-bit rows to a packed plane and back.
Bytes Packed(const Bytes& padded, int w, int h) {
  Bytes p(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y) std::copy_n(padded.begin() + ref::Stride(w, 8) * y, w, p.begin() + w * y);
  return p;
}
Bytes Padded(const Bytes& packed, int w, int h) {
  Bytes p(ref::Stride(w, 8) * h, 0);
  for (int y = 0; y < h; ++y) std::copy_n(packed.begin() + w * y, w, p.begin() + ref::Stride(w, 8) * y);
  return p;
}

TEST_F(FilterTool, GreyCommandsWriteTheLibraryResult) {
  const int w = 13, h = 9;
  std::mt19937 rng(43);
  const Bytes in = ref::RandomPicture(rng, w, h, 8);
  Write("in.bmp", in, w, h, 8);
  CDataHandler dh;
  using Op = std::function<void(Bytes&)>;
  const std::pair<std::string, Op> cases[] = {
      {"sobel", [&](Bytes& p) { dh.EdgeDetectionSobel(p.data(), w, h); }},
      {"sobel-ex", [&](Bytes& p) { dh.EdgeDetectionSobelEx(p.data(), w, h); }},
      {"log", [&](Bytes& p) { dh.EdgeDetectionLog(p.data(), w, h); }},
      {"mean", [&](Bytes& p) { dh.MedianFilter(p.data(), w, h); }},
      {"corrosion", [&](Bytes& p) { dh.RegionCorrosion(p.data(), w, h); }},
      {"largest-region", [&](Bytes& p) { dh.RegionAnalysis(p.data(), w, h); }},
      {"stretch", [&](Bytes& p) { dh.GreyDegreeExtend(p.data(), w, h); }},
      {"threshold 90", [&](Bytes& p) { dh.GreyDegreeSingle(p.data(), w, h, 90); }},
      {"binarize", [&](Bytes& p) { dh.Binarization(p.data(), w, h); }},
  };
  for (const auto& [args, op] : cases) {
    ASSERT_EQ(Tool(args + " " + Path("in.bmp") + " " + Path("out.bmp")), 0) << args;
    Bytes expect = Packed(in, w, h);
    op(expect);
    const CBitmapPicture out = Read("out.bmp");
    EXPECT_EQ(out.depth, 8);
    EXPECT_EQ(Bytes(out.data, out.data + out.ByteSize()), Padded(expect, w, h)) << args;
  }
  // A 24-bit input is filtered as its grey plane.
  const Bytes colour = ref::RandomPicture(rng, w, h, 24);
  Write("c.bmp", colour, w, h, 24);
  ASSERT_EQ(Tool("mean " + Path("c.bmp") + " " + Path("cm.bmp")), 0);
  Bytes expect = ref::GreyPlane(colour, w, h, 24, nullptr, false);
  dh.MedianFilter(expect.data(), w, h);
  const CBitmapPicture cm = Read("cm.bmp");
  EXPECT_EQ(Bytes(cm.data, cm.data + cm.ByteSize()), Padded(expect, w, h));
}

TEST_F(FilterTool, ColourCommandsAndWavelet) {
  const int w = 7, h = 5;
  std::mt19937 rng(47);
  const Bytes in = ref::RandomPicture(rng, w, h, 24);
  Write("in.bmp", in, w, h, 24);
  CDataHandler dh;
  ASSERT_EQ(Tool("hotpixel " + Path("in.bmp") + " " + Path("hp.bmp")), 0);
  Bytes expect = in;
  dh.Colour24MedianFilter(expect.data(), w, h);
  CBitmapPicture out = Read("hp.bmp");
  EXPECT_EQ(Bytes(out.data, out.data + out.ByteSize()), expect);
  ASSERT_EQ(Tool("spike " + Path("in.bmp") + " " + Path("sp.bmp")), 0);
  expect = in;
  dh.Colour24MedianFilterEx(expect.data(), w, h);
  out = Read("sp.bmp");
  EXPECT_EQ(Bytes(out.data, out.data + out.ByteSize()), expect);
  ASSERT_EQ(Tool("dwt " + Path("in.bmp") + " " + Path("dwt.bmp")), 0);
  Bytes coef(in.size(), 0);
  dh.DWT_Once(in.data(), 24, coef.data(), w, h, 1);
  out = Read("dwt.bmp");
  EXPECT_EQ(Bytes(out.data, out.data + out.ByteSize()), coef);
}

TEST_F(FilterTool, ChangesPrintsTheFourCounters) {
  const int w = 40, h = 30;
  Bytes a(ref::Stride(w, 24) * h, 40), b = a;
  for (int y = 5; y < 25; ++y)
    for (int x = 10; x < 30; ++x)
      for (int k = 0; k < 3; ++k) b[ref::Stride(w, 24) * y + 3 * x + k] = 220;
  Write("a.bmp", a, w, h, 24);
  Write("b.bmp", b, w, h, 24);
  std::string out;
  ASSERT_EQ(Tool("changes " + Path("a.bmp") + " " + Path("b.bmp"), &out), 0);
  // 400 of 1200 pixels changed by 180 grey levels.
  EXPECT_EQ(out.substr(0, out.find("DynamicPointNumEx")),
            "DynamicDistinguish 1\nStaticDistinguish 0\nDynamicPointNum 400\n");
  const std::size_t at = out.find("DynamicPointNumEx ");
  ASSERT_NE(at, std::string::npos);
  EXPECT_GT(std::stoi(out.substr(at + 18)), 0);  // the square's edges appeared
  ASSERT_EQ(Tool("changes " + Path("a.bmp") + " " + Path("a.bmp"), &out), 0);
  EXPECT_EQ(out, "DynamicDistinguish 0\nStaticDistinguish 1\nDynamicPointNum 0\nDynamicPointNumEx 0\n");
}

TEST_F(FilterTool, RefusalsAndBadInput) {
  Write("tiny.bmp", Bytes(ref::Stride(2, 8) * 2, 9), 2, 2, 8);
  Bytes narrow(ref::Stride(8, 8) * 8);
  for (std::size_t i = 0; i < narrow.size(); ++i) narrow[i] = static_cast<unsigned char>(100 + i % 20);
  Write("narrow.bmp", narrow, 8, 8, 8);
  Write("colour.bmp", Bytes(ref::Stride(4, 32) * 4, 1), 4, 4, 32);
  const std::string out = " " + Path("out.bmp");
  EXPECT_EQ(Tool("stretch " + Path("narrow.bmp") + out), 3);
  EXPECT_EQ(Tool("sobel " + Path("tiny.bmp") + out), 3);
  EXPECT_EQ(Tool("log " + Path("narrow.bmp") + out), 0);
  fs::remove(Path("out.bmp"));
  EXPECT_EQ(Tool("hotpixel " + Path("tiny.bmp") + out), 3);
  EXPECT_EQ(Tool("spike " + Path("colour.bmp") + out), 3);
  EXPECT_FALSE(fs::exists(Path("out.bmp")));
  EXPECT_EQ(Tool("threshold x " + Path("narrow.bmp") + out), 1);
  EXPECT_EQ(Tool("changes " + Path("narrow.bmp")), 1);
  EXPECT_EQ(Tool("changes " + Path("narrow.bmp") + " " + Path("missing.bmp")), 2);
  EXPECT_EQ(Tool("mean " + Path("narrow.bmp") + " " + Path("no/dir/out.bmp")), 4);
}

}  // namespace

#endif
