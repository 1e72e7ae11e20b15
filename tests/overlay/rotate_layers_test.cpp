// The rotate layers over a host window, headless: the angle arithmetic,
// the drag rules through the mouse, the posted result, the centring of the
// dial, what the dial paints over the host's picture (with a test dial
// whose marker shows the turn), following the background layer, keys, and
// a missing description set.

#include "overlay/rotate_layers.h"

#include <climits>
#include <functional>
#include <string>

#include "tests/overlay/layer_host.h"
#include "tests/overlay/ui_test_set.h"

namespace {

using overlay_test::LayerHostTest;
using overlay_test::PatternAt;
using overlay_test::SaveShot;

// The test dial: 200 × 200 grey with a red marker at the middle of its top edge.
constexpr int kDialSide = 200;
const QColor kDialGrey(128, 128, 128);
const QColor kMarkerRed(255, 0, 0);

// Where the host's picture shows `dial` at alpha 120 over `host`.
QColor Blended(QColor dial, QColor host) {
  const auto mix = [](int d, int h) { return (d * 120 + h * 135) / 255; };
  return QColor(mix(dial.red(), host.red()), mix(dial.green(), host.green()), mix(dial.blue(), host.blue()));
}
bool Near(QColor a, QColor b, int tolerance = 3) {
  return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
         std::abs(a.blue() - b.blue()) <= tolerance;
}
std::string Str(QColor c) {
  return std::to_string(c.red()) + "," + std::to_string(c.green()) + "," + std::to_string(c.blue());
}

class RotateLayersTest : public LayerHostTest {
 protected:
  void SetUp() override {
    LayerHostTest::SetUp();
    overlay_test::WriteUiSet(root / "data",
                             "<Window id=\"9\">\n" +
                                 overlay_test::UiControl(1, QRect(0, 0, kDialSide, kDialSide), "bgImg=\"dial.png\"") +
                                 "</Window>\n",
                             "", {{"dial.png", kDialSide, kDialSide, kDialGrey, QRect(90, 0, 20, 20), kMarkerRed}});
    ASSERT_TRUE(bg.Create(&host));
    bg.SetParentHwnd(&host);
    bg.ShowWindow(SW_SHOW);
    bg.SetRotateAngle(0);
    Settle();
  }
  CRotateBtnLayer& dial() { return bg.GetBtnLayer(); }
  // The angles posted to the host so far.
  std::vector<int> Posted() const {
    std::vector<int> out;
    for (const auto& m : host.messages)
      if (m.msg == WM_ROTATE_ANGLE) out.push_back(static_cast<int>(static_cast<std::intptr_t>(m.wParam)));
    return out;
  }

  CRotateBgLayer bg;
};

TEST(RotateAngle, TurnsAndWrapsAsStepsOf360Would) {
  struct Case {
    int angle, delta, expected;
  };
  const Case cases[] = {
      {175, 10, -175},   {-175, -10, 175},  {180, 0, 180},      {-180, 0, -180},   {170, 10, 180},
      {-170, -10, -180}, {180, 1, -179},    {-180, -1, 179},    {0, 361, 1},       {0, -361, -1},
      {540, 0, 180},     {-540, 0, -180},   {541, 0, -179},     {900, 1, -179},
      // Far beyond one turn, near the limits of the type: no overflow, no loop.
      {INT_MAX, 0, 127}, {INT_MAX, 1, 128}, {INT_MIN, 0, -128}, {INT_MIN, -1, -129},
      {INT_MAX, INT_MAX, -106}, {INT_MIN, INT_MIN, 104},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CRotateBtnLayer::TurnAngle(c.angle, c.delta), c.expected) << c.angle << " + " << c.delta;
}

TEST(RotateAngle, TextIsTheAngleWithTheDegreeSign) {
  const std::pair<int, const char16_t*> cases[] = {{-45, u"-45°"}, {0, u"0°"}, {180, u"180°"}, {-180, u"-180°"}};
  for (const auto& [angle, text] : cases)
    EXPECT_EQ(CRotateBtnLayer::AngleText(angle), QString::fromStdU16String(text)) << angle;
}

TEST_F(RotateLayersTest, CreatedOverTheHostWithTheDialCentred) {
  EXPECT_EQ(bg.GetWindowText(), QStringLiteral("rotateBgLayer"));
  EXPECT_EQ(dial().GetWindowText(), QStringLiteral("cutRectLayer"));
  EXPECT_EQ(bg.GetWindowRect(), host.GetWindowRect());
  EXPECT_EQ(dial().GetWindowRect(), host.GetWindowRect());
  EXPECT_EQ(bg.GetShowWindow(), SW_SHOW);
  EXPECT_TRUE(dial().IsWindowVisible());
  EXPECT_EQ(dial().GetImageRect(), CRect(220, 140, 420, 340));
  EXPECT_EQ(dial().GetLayeredAlpha(), CRotateBtnLayer::kAlpha);
  const LOGFONTW& f = dial().GetAngleFont();
  EXPECT_EQ(f.lfHeight, 60);
  EXPECT_EQ(f.lfWidth, 0);
  EXPECT_EQ(f.lfWeight, 400);
  EXPECT_EQ(f.lfCharSet, 1);
  EXPECT_EQ(f.lfQuality, 4);
  EXPECT_EQ(f.lfItalic + f.lfUnderline + f.lfEscapement + f.lfPitchAndFamily, 0);
  EXPECT_EQ(std::u16string(f.lfFaceName), u"宋体");
  // The dial takes the mouse where it draws; elsewhere the background layer does.
  EXPECT_EQ(top.childAt(InTop(CPoint(320, 200))), &dial());
  EXPECT_EQ(top.childAt(InTop(CPoint(20, 20))), &bg);
  EXPECT_EQ(top.childAt(InTop(CPoint(219, 240))), &bg);
  // Hidden, both go.
  bg.ShowWindow(SW_HIDE);
  EXPECT_EQ(bg.GetShowWindow(), SW_HIDE);
  EXPECT_FALSE(dial().IsWindowVisible());
  EXPECT_EQ(top.childAt(InTop(CPoint(20, 20))), &host);
  // No owner, no layer.
  CRotateBgLayer orphan;
  EXPECT_FALSE(orphan.Create(nullptr));
}

TEST_F(RotateLayersTest, DragRulesAndThePostedAngle) {
  // The dial's centre is (320, 240).
  struct Case {
    const char* name;
    int start;
    std::vector<CPoint> path;  // pressed at the first point, released at the last
    int expected;
  };
  const std::vector<Case> cases = {
      {"down on the right half from 175 wraps to -175", 175, {{380, 200}, {380, 205}, {380, 210}}, -175},
      {"down on the left half turns back", 0, {{260, 200}, {260, 210}}, -10},
      {"up on the right half turns back", 0, {{380, 260}, {380, 250}}, -10},
      {"right along the top half turns on", 0, {{300, 180}, {310, 180}}, 10},
      {"right along the bottom half turns back", 0, {{300, 300}, {310, 300}}, -10},
      {"left along the top half turns back", 30, {{300, 180}, {290, 180}}, 20},
      {"vertical beats horizontal within one move", 0, {{380, 200}, {385, 207}}, 7},
      {"the centre line itself counts as the left half", 0, {{320, 200}, {320, 210}}, -10},
      {"and as the top half", 0, {{300, 240}, {310, 240}}, 10},
      {"180 reached stays 180", 170, {{380, 200}, {380, 210}}, 180},
      {"a release without moving posts the angle unchanged", 42, {{300, 300}}, 42},
      {"an angle set beyond the range is posted as set", 1000, {{300, 300}}, 1000},
      {"and wrapped by the first move", 1000, {{380, 200}, {380, 201}}, -79},
      {"leaving the image ends the drag: the angle reached stays",
       0,
       {{400, 200}, {410, 210}, {430, 230}, {410, 240}, {410, 250}},
       10},
  };
  for (const Case& c : cases) {
    bg.SetRotateAngle(c.start);
    host.messages.clear();
    Press(c.path.front());
    ASSERT_TRUE(dial().IsDragging()) << c.name;
    for (std::size_t i = 1; i < c.path.size(); ++i) Move(c.path[i]);
    Release(c.path.back());
    Settle();
    EXPECT_FALSE(dial().IsDragging()) << c.name;
    EXPECT_EQ(CWnd::GetCapture(), nullptr) << c.name;
    EXPECT_EQ(dial().GetRotateAngle(), c.expected) << c.name;
    ASSERT_EQ(Posted(), std::vector<int>{c.expected}) << c.name;
    EXPECT_EQ(host.messages.back().lParam, 0);
  }
  // Moves without the button turn nothing.
  Move(CPoint(380, 200));
  Move(CPoint(380, 260));
  EXPECT_EQ(dial().GetRotateAngle(), 10);
  // Without a target nothing is posted.
  bg.SetParentHwnd(nullptr);
  host.messages.clear();
  Drag(CPoint(380, 200), CPoint(380, 230));
  Settle();
  EXPECT_EQ(dial().GetRotateAngle(), 40);
  EXPECT_TRUE(Posted().empty());
}

TEST_F(RotateLayersTest, TheDialTurnedOverTheHostsPicture) {
  bg.SetRotateAngle(90);
  const QImage shot = Shot();
  SaveShot(shot, "rotate_dial_90");
  const CRect dialRect = dial().GetImageRect();
  const auto inDial = [&](int x, int y) { return CPoint(dialRect.left + x, dialRect.top + y); };
  struct Probe {
    const char* name;
    CPoint p;
    std::function<QColor(QColor)> expected;  // of the host's colour there
  };
  const auto clear = [](QColor h) { return h; };
  const auto grey = [](QColor h) { return Blended(kDialGrey, h); };
  const auto red = [](QColor h) { return Blended(kMarkerRed, h); };
  const Probe probes[] = {
      {"the marker turned to the right", inDial(190, 100), red},
      {"its top edge", inDial(184, 93), red},
      {"nothing left at the top", inDial(100, 10), grey},
      {"the dial's left side", inDial(10, 100), grey},
      {"the dial's corner", inDial(5, 195), grey},
      {"black is clear: left of the dial", CPoint(dialRect.left - 2, 240), clear},
      {"above it", CPoint(320, dialRect.top - 2), clear},
      {"far away", CPoint(5, 5), clear},
      {"the far corner", CPoint(639, 479), clear},
  };
  for (const Probe& pr : probes) {
    const QColor got = shot.pixelColor(InTop(pr.p));
    const QColor want = pr.expected(PatternAt(pr.p.x, pr.p.y));
    EXPECT_TRUE(Near(got, want)) << pr.name << ": got " << Str(got) << " want " << Str(want);
  }
  // The angle is written in green in the middle of the dial.
  int green = 0;
  for (int y = dialRect.top + 60; y < dialRect.bottom - 60; ++y)
    for (int x = dialRect.left + 40; x < dialRect.right - 40; ++x) {
      const QColor c = shot.pixelColor(InTop(CPoint(x, y)));
      green += c.green() > c.red() + 60 && c.green() > c.blue() + 60;
    }
  EXPECT_GT(green, 200);
  // Turned back to 0, the marker is at the top again.
  bg.SetRotateAngle(0);
  const QImage upright = Shot();
  const CPoint top = inDial(100, 10), right = inDial(190, 100);
  EXPECT_TRUE(Near(upright.pixelColor(InTop(top)), Blended(kMarkerRed, PatternAt(top.x, top.y))));
  EXPECT_TRUE(Near(upright.pixelColor(InTop(right)), Blended(kDialGrey, PatternAt(right.x, right.y))));
}

TEST_F(RotateLayersTest, CentredWithOddSizesAndFollowingTheBackground) {
  const CRect h = host.GetWindowRect();
  struct Case {
    int width, height;
    CRect image;
  };
  const Case cases[] = {
      {641, 481, CRect(220, 140, 420, 340)},
      {633, 475, CRect(216, 137, 416, 337)},
      {201, 201, CRect(0, 0, 200, 200)},
      {150, 99, CRect(-25, -50, 175, 150)},  // smaller than the dial: centred over it all the same
  };
  for (const Case& c : cases) {
    const CRect place(h.left + 3, h.top + 5, h.left + 3 + c.width, h.top + 5 + c.height);
    bg.MoveWindow(place);
    Settle();
    Shot();  // a paint: the surface follows the size
    EXPECT_EQ(dial().GetWindowRect(), place) << c.width << " x " << c.height;
    EXPECT_EQ(dial().GetImageRect(), c.image) << c.width << " x " << c.height;
    ASSERT_NE(dial().GetSurface(), nullptr);
    EXPECT_EQ(dial().GetSurface()->size(), QSize(c.width, c.height));
  }
  // Moved without a change of size: the dial follows, the drawing stays.
  bg.MoveWindow(CRect(h.left + 40, h.top + 30, h.left + 40 + 633, h.top + 30 + 475));
  Settle();
  EXPECT_EQ(dial().GetWindowRect(), bg.GetWindowRect());
  EXPECT_EQ(dial().GetImageRect(), CRect(216, 137, 416, 337));
  // The host moves and the layers with it.
  bg.MoveWindow(host.GetWindowRect());
  host.MoveWindow(CRect(20, 10, 660, 490));
  Settle();
  EXPECT_EQ(bg.GetWindowRect(), host.GetWindowRect());
  EXPECT_EQ(dial().GetWindowRect(), host.GetWindowRect());
}

TEST_F(RotateLayersTest, KeysOfTheLayers) {
  // Escape reaches the host from either layer; Enter and the rest do not.
  EXPECT_EQ(EscapeNotices(&dial(), Qt::Key_Escape), 1u);
  EXPECT_EQ(EscapeNotices(&bg, Qt::Key_Escape), 1u);
  EXPECT_EQ(EscapeNotices(&dial(), Qt::Key_Return), 0u);
  EXPECT_EQ(EscapeNotices(&dial(), Qt::Key_Left), 0u);
}

class RotateLayersWithoutFiles : public overlay_test::LayerHostWithoutFiles {};

TEST_F(RotateLayersWithoutFiles, NoDialIsDrawnAndNothingIsPosted) {
  CRotateBgLayer bg;
  ASSERT_TRUE(bg.Create(&host));
  bg.SetParentHwnd(&host);
  bg.ShowWindow(SW_SHOW);
  bg.SetRotateAngle(-45);
  const QImage shot = Shot();
  Settle();  // the drawn region of that paint takes effect
  EXPECT_TRUE(bg.GetBtnLayer().GetImageRect().IsRectEmpty());
  // Nothing is drawn: the picture shows unchanged and the background layer
  // takes the mouse; a drag there posts nothing.
  EXPECT_EQ(shot.pixelColor(InTop(CPoint(320, 240))), PatternAt(320, 240));
  Drag(CPoint(330, 230), CPoint(330, 250));
  Settle();
  EXPECT_EQ(host.Count(WM_ROTATE_ANGLE), 0u);
  EXPECT_EQ(bg.GetBtnLayer().GetRotateAngle(), -45);
}

}  // namespace
