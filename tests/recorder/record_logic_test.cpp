// The recorder's arithmetic: the command line, the container, the frame's
// handles, sizes and moves, the tool strip's place, the even picture size,
// the AVI rows and the AVI pace.
#include <gtest/gtest.h>

#include <numeric>

#include "recorder/record_args.h"
#include "recorder/record_frame.h"
#include "recorder/record_picture.h"

using namespace capturo;

namespace {

constexpr CSize kScreen(1920, 1080);

struct ArgumentCase {
  const char* argument;
  const char* path;
  CRect area;
};

TEST(RecordArgument, PathAndAreaAreSplitAtTheLastBarBeforeFourNumbers) {
  const ArgumentCase cases[] = {
      {"/v/a.mp4", "/v/a.mp4", {}},
      {"/v/a.flv|10,20,650,500", "/v/a.flv", {10, 20, 650, 500}},
      {"\"/v/a b.avi|1,2,3,4\"", "/v/a b.avi", {1, 2, 3, 4}},
      {"   \"/v/a.mp4\"", "/v/a.mp4", {}},
      {"  /v/a.mp4|-5, 7 ,+9,12", "/v/a.mp4", {-5, 7, 9, 12}},
      // An empty rectangle is still an area; the frame then takes its default.
      {"/v/x.flv|0,0,0,0", "/v/x.flv", {0, 0, 0, 0}},
      // Bars that do not lead to exactly four numbers belong to the path.
      {"/v/a|b/c.mp4", "/v/a|b/c.mp4", {}},
      {"/v/a|1,2,3.mp4", "/v/a|1,2,3.mp4", {}},
      {"/v/a.mp4|1,2,3", "/v/a.mp4|1,2,3", {}},
      {"/v/a.mp4|1,2,3,4,5", "/v/a.mp4|1,2,3,4,5", {}},
      {"/v/a.mp4|1,2,x,4", "/v/a.mp4|1,2,x,4", {}},
      {"/v/a|1,2,3,4/b.mp4|5,6,7,8", "/v/a|1,2,3,4/b.mp4", {5, 6, 7, 8}},
      {"/v/a.mp4|99999999999,0,1,1", "/v/a.mp4|99999999999,0,1,1", {}},
      {"", "", {}},
      {"   ", "", {}},
      {"\"\"", "", {}},
      {"\"/v/unclosed.mp4", "/v/unclosed.mp4", {}},
  };
  for (const ArgumentCase& c : cases) {
    SCOPED_TRACE(c.argument);
    const CRecordArgument a = ParseRecordArgument(c.argument);
    EXPECT_EQ(a.path, c.path);
    EXPECT_EQ(a.area, c.area);
  }
}

TEST(RecordArgument, TheLastThreeCharactersChooseTheContainer) {
  const struct {
    const char* path;
    int type;
    const char* after;
  } cases[] = {
      {"/v/a.mp4", kRecordMp4, "/v/a.mp4"}, {"/v/a.FLV", kRecordFlv, "/v/a.FLV"},
      {"/v/a.Avi", kRecordAvi, "/v/a.Avi"}, {"/v/a.wmv", kRecordMp4, "/v/a.wmv.mp4"},
      {"/v/aflv", kRecordFlv, "/v/aflv"},   {"av", kRecordMp4, "av.mp4"},
  };
  for (const auto& c : cases) {
    std::string path = c.path;
    EXPECT_EQ(RecordFileTypeOf(path), c.type) << c.path;
    EXPECT_EQ(path, c.after);
  }
}

TEST(RecordFrame, StartFramesAndPresetsStayOnTheScreen) {
  const struct {
    CRect requested;
    CRect expected;
  } starts[] = {
      {{100, 100, 500, 400}, {100, 100, 500, 400}},
      {{1800, 1000, 2100, 1300}, {1800, 1000, 1920, 1080}},  // partly off: clipped
      {{2000, 0, 2100, 100}, {640, 300, 1280, 780}},         // wholly off: the default
      {{0, 0, 0, 0}, {640, 300, 1280, 780}},
      {{500, 500, 400, 600}, {640, 300, 1280, 780}},  // reversed: empty
  };
  for (const auto& s : starts) EXPECT_EQ(StartFrame(s.requested, kScreen), s.expected);
  EXPECT_EQ(PresetFrame(0, kScreen), CRect(0, 0, 1920, 1080));
  EXPECT_EQ(PresetFrame(1, kScreen), CRect(448, 156, 1472, 924));
  EXPECT_EQ(PresetFrame(2, kScreen), CRect(560, 240, 1360, 840));
  EXPECT_EQ(PresetFrame(3, kScreen), CRect(640, 300, 1280, 780));
  EXPECT_TRUE(PresetFrame(4, kScreen).IsRectEmpty());
  // A screen smaller than the preset gets the whole screen.
  EXPECT_EQ(PresetFrame(1, CSize(800, 600)), CRect(0, 0, 800, 600));
  EXPECT_EQ(DefaultFrame(CSize(600, 400)), CRect(0, 0, 600, 400));
}

TEST(RecordFrame, HandlesReactWithinFourPixelsOfTheirPoints) {
  const CRect f(100, 200, 300, 400);
  const struct {
    CPoint p;
    int handle;
  } cases[] = {
      {{100, 200}, 1}, {{96, 196}, 1}, {{95, 200}, 0}, {{200, 204}, 2}, {{300, 200}, 3}, {{304, 300}, 4},
      {{300, 400}, 5}, {{200, 396}, 6}, {{100, 404}, 7}, {{96, 300}, 8}, {{200, 300}, 0}, {{150, 200}, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(HitHandle(f, c.p), c.handle) << c.p.x << "," << c.p.y;
}

TEST(RecordFrame, ResizingKeepsTenPixelsAndTheScreen) {
  const CRect f(100, 200, 300, 400);
  const struct {
    int handle;
    CPoint to;
    CRect expected;
  } cases[] = {
      {1, {50, 150}, {50, 150, 300, 400}},
      {1, {400, 500}, {290, 390, 300, 400}},  // past the other corner: 10 × 10
      {2, {0, 395}, {100, 390, 300, 400}},
      {4, {50, 0}, {100, 200, 110, 400}},
      {5, {2500, 1500}, {100, 200, 1920, 1080}},
      {6, {0, 1300}, {100, 200, 300, 1080}},
      {7, {-30, 210}, {0, 200, 300, 210}},
      {8, {-30, 0}, {0, 200, 300, 400}},
  };
  for (const auto& c : cases) EXPECT_EQ(ResizeFrame(f, c.handle, c.to, kScreen), c.expected) << c.handle;
  // At the screen's edge the ten pixels grow inwards.
  EXPECT_EQ(ResizeFrame(CRect(1900, 0, 1920, 100), 8, CPoint(1930, 50), kScreen), CRect(1910, 0, 1920, 100));
}

TEST(RecordFrame, MovingStopsAtTheScreensEdges) {
  const CRect f(100, 200, 740, 680);
  EXPECT_EQ(MoveFrame(f, 10, -20, kScreen), CRect(110, 180, 750, 660));
  EXPECT_EQ(MoveFrame(f, -500, -500, kScreen), CRect(0, 0, 640, 480));
  EXPECT_EQ(MoveFrame(f, 5000, 5000, kScreen), CRect(1280, 600, 1920, 1080));
  EXPECT_EQ(MoveFrame(CRect(0, 0, 1920, 1080), 30, 30, kScreen), CRect(0, 0, 1920, 1080));
}

TEST(RecordFrame, OddSidesBecomeEvenWithoutLeavingTheScreen) {
  const struct {
    CRect frame;
    CRect expected;
  } cases[] = {
      {{100, 100, 901, 701}, {100, 100, 902, 702}},     // 801 × 601 → 802 × 602
      {{1119, 479, 1920, 1080}, {1119, 479, 1919, 1079}},  // odd at the edges: inwards
      {{0, 0, 1920, 1080}, {0, 0, 1920, 1080}},
      {{10, 10, 21, 20}, {10, 10, 22, 20}},
  };
  for (const auto& c : cases) {
    const CRect even = EvenFrame(c.frame, kScreen);
    EXPECT_EQ(even, c.expected);
    EXPECT_EQ(even.Width() % 2, 0);
    EXPECT_EQ(even.Height() % 2, 0);
  }
  EXPECT_EQ(EvenSide(1281), 1280);
  EXPECT_EQ(EvenSide(720), 720);
  EXPECT_EQ(EvenSide(0), 0);
  EXPECT_EQ(EvenSide(-7), 0);
}

TEST(RecordFrame, ToolStripFollowsTheFrameAndTheButtonsStayOnTheScreen) {
  const std::array<CSize, 6> buttons = {CSize(84, 30), CSize(84, 30), CSize(84, 30),
                                        CSize(84, 30), CSize(84, 30), CSize(84, 30)};  // 504 wide
  const CSize stop(84, 30);
  const struct {
    CRect frame;
    CRect strip;
    int firstLeft;
    CRect stop;
  } cases[] = {
      // In the middle: centred under the frame.
      {{640, 300, 1280, 780}, {640, 780, 1280, 820}, 708, {1280, 780, 1364, 810}},
      // Narrow at the left edge: pushed right onto the screen.
      {{0, 100, 100, 200}, {0, 200, 100, 240}, 0, {100, 200, 184, 230}},
      // Narrow at the right edge: pushed left; the stop button moves in.
      {{1880, 100, 1920, 200}, {1880, 200, 1920, 240}, 1416, {1836, 200, 1920, 230}},
      // No room under the frame: the strip goes inside its bottom.
      {{0, 0, 1920, 1080}, {0, 1040, 1920, 1080}, 708, {1836, 1050, 1920, 1080}},
  };
  for (const auto& c : cases) {
    const CToolbarLayout l = LayoutToolbar(c.frame, 40, buttons, stop, kScreen);
    EXPECT_EQ(l.strip, c.strip);
    EXPECT_EQ(l.buttons[0].left, c.firstLeft);
    for (int i = 1; i < 6; ++i) EXPECT_EQ(l.buttons[i].left, l.buttons[i - 1].right);  // no gaps
    EXPECT_EQ(l.buttons[0].top, l.strip.top + 5);  // centred in the strip
    EXPECT_LE(l.buttons[5].right, kScreen.cx);
    EXPECT_EQ(l.stop, c.stop);
  }
}

TEST(RecordPicture, RowsArePaddedToFourBytes) {
  // 802 × 602 (the even size of an 801 × 601 frame): 2406 bytes a row in, 2408 out.
  const int w = 802, h = 602;
  std::vector<std::uint8_t> packed(static_cast<std::size_t>(w) * h * 3);
  std::iota(packed.begin(), packed.end(), 0);
  std::vector<std::uint8_t> padded;
  PadRows(packed.data(), w, h, padded);
  EXPECT_EQ(PaddedRowBytes(w), 2408);
  ASSERT_EQ(padded.size(), 2408u * h);
  for (int y : {0, 1, h - 1}) {
    EXPECT_TRUE(std::equal(packed.begin() + y * 2406, packed.begin() + (y + 1) * 2406, padded.begin() + y * 2408));
    EXPECT_EQ(padded[y * 2408 + 2406], 0);
    EXPECT_EQ(padded[y * 2408 + 2407], 0);
  }
}

TEST(RecordPicture, SmallerGrabsAreCentredOnBlackAndLargerOnesCut) {
  // A 2 × 2 grab of distinct pixels into 4 × 4, and a 4 × 2 one into 2 × 2.
  const std::uint8_t small[12] = {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4};
  std::vector<std::uint8_t> out;
  FitPicture(small, 2, 2, out, 4, 4);
  ASSERT_EQ(out.size(), 48u);
  auto at = [&](int x, int y) { return out[(y * 4 + x) * 3]; };
  EXPECT_EQ(at(1, 1), 1);
  EXPECT_EQ(at(2, 1), 2);
  EXPECT_EQ(at(1, 2), 3);
  EXPECT_EQ(at(2, 2), 4);
  int black = 0;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) black += at(x, y) == 0;
  EXPECT_EQ(black, 12);
  std::uint8_t wide[24];
  for (int i = 0; i < 24; ++i) wide[i] = static_cast<std::uint8_t>(i / 3 + 1);  // pixels 1..8
  FitPicture(wide, 4, 2, out, 2, 2);
  ASSERT_EQ(out.size(), 12u);
  EXPECT_EQ(out[0], 2);
  EXPECT_EQ(out[3], 3);
  EXPECT_EQ(out[6], 6);
  EXPECT_EQ(out[9], 7);
}

TEST(AviPace, RateFollowsTheGrabTimeWithAFiftyMillisecondFloor) {
  const struct {
    int grabMs;
    int fps;
  } cases[] = {{0, 20}, {20, 20}, {50, 20}, {66, 15}, {100, 10}, {999, 1}, {5000, 1}};
  for (const auto& c : cases) EXPECT_EQ(AviFramesPerSecond(c.grabMs), c.fps) << c.grabMs;
}

TEST(AviPace, PicturesOwedAreCountedFromTheExactTimeSinceTheFirst) {
  // 20 fps: the first picture is written once; one 120 ms later twice, the
  // 20 ms left over counting towards the next.
  CAviPacer pace(20);
  EXPECT_EQ(pace.Owed(0), 1);
  EXPECT_EQ(pace.Owed(120), 2);
  EXPECT_EQ(pace.Owed(149), 0);
  EXPECT_EQ(pace.Owed(150), 1);
  EXPECT_EQ(pace.Written(), 4);
  // 15 fps (66.67 ms, where a truncated 66 ms interval would drift) for ten
  // minutes of grabs every 20 ms, and of grabs at uneven times.
  for (int step : {20, 37, 101}) {
    CAviPacer p(15);
    std::int64_t written = 0;
    for (std::int64_t t = 0; t < 600000; t += step) written += p.Owed(t);
    EXPECT_EQ(written, 9000) << step;
  }
}

}  // namespace
