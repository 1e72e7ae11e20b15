// The crop layers over a host window, headless: hit tests and cursors,
// drawing, moving and resizing the frame by mouse, the button bar and its
// commands, what the layers paint over the host's picture, keys, following
// the host, and missing description files.

#include "overlay/cut_layers.h"

#include <functional>
#include <optional>
#include <string>

#include "tests/overlay/layer_host.h"

namespace {

using overlay_test::LayerHostTest;
using overlay_test::PatternAt;
using overlay_test::SaveShot;

class CutLayersTest : public LayerHostTest {
 protected:
  void SetUp() override {
    LayerHostTest::SetUp();
    ASSERT_TRUE(bg.Create(&host));
    bg.SetParentHwnd(&host);
    bg.ShowBtn(1);
    bg.ShowWindow(SW_SHOW);
    Settle();
  }
  CCutRectLayer& layer() { return bg.GetRectLayer(); }
  CCutBtnLayer& bar() { return layer().GetBtnLayer(); }
  // The bar's place in host client coordinates.
  CRect BarRect() {
    const CRect r = bar().GetWindowRect();
    const CRect h = host.GetWindowRect();
    return CRect(r.left - h.left, r.top - h.top, r.right - h.left, r.bottom - h.top);
  }
  void DrawFrame(const CRect& r) { Drag(CPoint(r.left, r.top), CPoint(r.right, r.bottom)); }
  void ClickButton(int id) {
    CGdiBtnEx* b = bar().GetButton(id);
    ASSERT_NE(b, nullptr);
    QTest::mouseClick(top.windowHandle(), Qt::LeftButton, {}, b->mapTo(&top, QPoint(5, 5)));
    Settle();
  }

  CCutBgLayer bg;
};

TEST_F(CutLayersTest, CreatedOverTheHostAsItsHostDoes) {
  EXPECT_EQ(bg.GetWindowText(), QStringLiteral("cutBgLayer"));
  EXPECT_EQ(layer().GetWindowText(), QStringLiteral("cutRectLayer"));
  EXPECT_EQ(bar().GetWindowText(), QStringLiteral("cutBtnLayer"));
  EXPECT_EQ(bg.GetWindowRect(), host.GetWindowRect());
  EXPECT_EQ(layer().GetWindowRect(), host.GetWindowRect());
  EXPECT_EQ(bg.GetParentWnd(), &host);
  EXPECT_EQ(bg.GetShowWindow(), SW_SHOW);
  EXPECT_TRUE(layer().IsWindowVisible());
  EXPECT_FALSE(bar().IsWindowVisible());
  EXPECT_TRUE(layer().GetCutRect().IsRectEmpty());
  // The rectangle layer lies on top and takes the mouse itself.
  EXPECT_EQ(top.childAt(InTop(CPoint(300, 200))), &layer());
  // No owner, no layer.
  CCutBgLayer orphan;
  EXPECT_FALSE(orphan.Create(nullptr));
  orphan.ShowWindow(SW_SHOW);
  EXPECT_TRUE(orphan.GetCutRect().IsRectEmpty());
}

TEST_F(CutLayersTest, HitCodesAndCursors) {
  DrawFrame(CRect(100, 100, 200, 200));
  ASSERT_EQ(layer().GetCutRect(), CRect(100, 100, 200, 200));
  struct Case {
    CPoint p;
    int hit;
  };
  // Squares take their left and top edge, not their right and bottom edge.
  const Case cases[] = {
      {{96, 96}, 1},   {{103, 103}, 1}, {{104, 104}, 9}, {{95, 100}, 0},  {{150, 96}, 2},   {{146, 100}, 2},
      {{154, 100}, 9}, {{196, 96}, 3},  {{203, 100}, 3}, {{204, 100}, 0}, {{203, 150}, 4},  {{204, 150}, 0},
      {{203, 203}, 5}, {{204, 204}, 0}, {{150, 203}, 6}, {{150, 204}, 0}, {{96, 203}, 7},   {{96, 150}, 8},
      {{95, 150}, 0},  {{150, 150}, 9}, {{199, 199}, 5}, {{110, 190}, 9}, {{300, 300}, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(layer().DragFrame(c.p), c.hit) << c.p.x << "," << c.p.y;
  const std::pair<int, CursorShape> cursors[] = {
      {0, CursorShape::Cross},    {1, CursorShape::SizeNWSE}, {5, CursorShape::SizeNWSE}, {3, CursorShape::SizeNESW},
      {7, CursorShape::SizeNESW}, {2, CursorShape::SizeNS},   {6, CursorShape::SizeNS},   {4, CursorShape::SizeWE},
      {8, CursorShape::SizeWE},   {9, CursorShape::SizeAll},  {42, CursorShape::Cross}};
  for (const auto& [hit, shape] : cursors) EXPECT_EQ(CCutRectLayer::CursorForHit(hit), shape) << hit;
  // Moving over a handle shows its cursor.
  Move(CPoint(200, 150));
  EXPECT_EQ(layer().cursor().shape(), Qt::SizeHorCursor);
  Move(CPoint(150, 150));
  EXPECT_EQ(layer().cursor().shape(), Qt::SizeAllCursor);
}

TEST_F(CutLayersTest, NoHandlesBelowEightPixels) {
  struct Case {
    CRect drawn;
    CPoint p;
    int hit;
  };
  const Case cases[] = {
      {CRect(100, 100, 107, 200), CPoint(103, 150), 0},  // 7 wide: a press starts a new rectangle
      {CRect(100, 100, 200, 107), CPoint(150, 103), 0},
      {CRect(100, 100, 108, 108), CPoint(103, 103), 1},  // 8 × 8: the handles overlap, the first wins
  };
  for (const Case& c : cases) {
    DrawFrame(c.drawn);
    EXPECT_EQ(layer().DragFrame(c.p), c.hit) << c.drawn.Width() << " x " << c.drawn.Height();
  }
  EXPECT_EQ(layer().DragFrame(CPoint(104, 104)), 4);  // right-middle, (108, 104) ± 4
}

TEST_F(CutLayersTest, DrawingMovingAndResizingTheFrame) {
  // Each step acts on the rectangle left by the step before.
  struct Step {
    const char* name;
    std::function<void()> act;
    CRect expected;
    std::optional<bool> barShown;
  };
  const std::vector<Step> steps = {
      {"a new rectangle from bottom-right to top-left is stored normalised",
       [&] { Drag(CPoint(300, 250), CPoint(200, 150)); }, CRect(200, 150, 300, 250), true},
      {"a press inside away from the handles moves it", [&] { Drag(CPoint(250, 200), CPoint(270, 190)); },
       CRect(220, 140, 320, 240), true},
      {"a press 3 pixels from the top-left corner resizes from that corner",
       [&] { Drag(CPoint(223, 143), CPoint(213, 123)); }, CRect(210, 120, 320, 240), true},
      {"the body dragged left beyond the client stops at its left edge",
       [&] { Drag(CPoint(260, 180), CPoint(-40, 180), 6); }, CRect(0, 120, 110, 240), true},
      {"and up beyond it stops at its top edge", [&] { Drag(CPoint(50, 180), CPoint(50, -50), 6); },
       CRect(0, 0, 110, 120), true},
      {"the bottom-right handle", [&] { Drag(CPoint(110, 120), CPoint(400, 300)); }, CRect(0, 0, 400, 300), true},
      {"a press outside starts a new rectangle and hides the bar", [&] { Press(CPoint(500, 400)); },
       CRect(500, 400, 500, 400), false},
      {"released at once: an empty rectangle shows no bar", [&] { Release(CPoint(500, 400)); },
       CRect(500, 400, 500, 400), false},
  };
  for (const Step& s : steps) {
    s.act();
    Settle();
    EXPECT_EQ(layer().GetCutRect(), s.expected) << s.name;
    if (s.barShown) {
      EXPECT_EQ(bar().IsWindowVisible(), *s.barShown) << s.name;
    }
  }
}

TEST_F(CutLayersTest, AHandleDraggedPastTheOppositeEdge) {
  DrawFrame(CRect(100, 100, 200, 200));
  ASSERT_TRUE(bar().IsWindowVisible());
  // The left-middle handle past the right edge: raw while the button is down...
  Press(CPoint(100, 150));
  Move(CPoint(180, 150));
  Move(CPoint(260, 150));
  EXPECT_EQ(layer().GetCutRect(), CRect(260, 100, 200, 200));
  // ... painted normalised, the bar under the frame as it shows ...
  const QImage shot = Shot();
  EXPECT_EQ(shot.pixelColor(InTop(CPoint(230, 150))), PatternAt(230, 150)) << "inside the painted frame";
  EXPECT_EQ(shot.pixelColor(InTop(CPoint(201, 150))).green(), 255) << "the frame's left edge";
  EXPECT_EQ(BarRect(), CRect(180, 200, 260, 220));
  // ... and normalised on release.
  Release(CPoint(260, 150));
  EXPECT_EQ(layer().GetCutRect(), CRect(200, 100, 260, 200));
  EXPECT_TRUE(bar().IsWindowVisible());
  // Collapsed to nothing: no bar.
  Drag(CPoint(260, 150), CPoint(200, 150));
  EXPECT_TRUE(layer().GetCutRect().IsRectEmpty());
  EXPECT_FALSE(bar().IsWindowVisible());
}

TEST_F(CutLayersTest, MovingARectangleLargerThanTheClient) {
  DrawFrame(CRect(100, 100, 200, 200));
  Drag(CPoint(100, 150), CPoint(-60, 150), 4);  // left handle beyond the left edge
  Drag(CPoint(200, 150), CPoint(700, 150), 4);  // right handle beyond the right edge
  ASSERT_EQ(layer().GetCutRect(), CRect(-60, 100, 700, 200));
  // The limits are inverted (lower 60, upper -60): the lower limit, then
  // the upper one, decide; the rectangle ends flush with the right edge.
  Drag(CPoint(300, 150), CPoint(310, 150), 1);
  EXPECT_EQ(layer().GetCutRect(), CRect(-120, 100, 640, 200));
}

TEST_F(CutLayersTest, TheBarStaysInsideTheLayer) {
  struct Case {
    const char* name;
    CRect drawn;
    CRect bar;
  };
  const Case cases[] = {
      {"under the right end", CRect(100, 100, 300, 200), CRect(220, 200, 300, 220)},
      {"pushed up near the bottom", CRect(100, 400, 300, 475), CRect(220, 460, 300, 480)},
      {"shifted right near the left edge", CRect(2, 100, 50, 200), CRect(0, 200, 80, 220)},
      {"both at the bottom-left corner", CRect(5, 440, 40, 479), CRect(0, 460, 80, 480)},
  };
  for (const Case& c : cases) {
    DrawFrame(c.drawn);
    EXPECT_TRUE(bar().IsWindowVisible()) << c.name;
    EXPECT_EQ(BarRect(), c.bar) << c.name;
  }
  // The bar follows the frame while it is dragged.
  DrawFrame(CRect(100, 100, 300, 200));
  Drag(CPoint(200, 150), CPoint(250, 170));
  EXPECT_EQ(BarRect(), CRect(270, 220, 350, 240));
  // Without the buttons enabled no bar shows.
  bg.ShowBtn(0);
  DrawFrame(CRect(100, 100, 300, 200));
  EXPECT_FALSE(bar().IsWindowVisible());
}

TEST_F(CutLayersTest, FollowsTheHostAndKeepsTheBarInside) {
  DrawFrame(CRect(400, 300, 600, 440));
  ASSERT_EQ(BarRect(), CRect(520, 440, 600, 460));
  host.MoveWindow(CRect(20, 10, 660, 490));
  bg.MoveWindow(host.GetWindowRect());
  Settle();
  EXPECT_EQ(layer().GetWindowRect(), host.GetWindowRect());
  EXPECT_EQ(BarRect(), CRect(520, 440, 600, 460));
  // The host shrinks and its layers with it: the bar is placed again inside.
  host.MoveWindow(CRect(20, 10, 520, 410));
  bg.MoveWindow(host.GetWindowRect());
  Settle();
  EXPECT_EQ(layer().GetWindowRect(), host.GetWindowRect());
  EXPECT_EQ(BarRect(), CRect(420, 380, 500, 400));
}

TEST_F(CutLayersTest, HidingEndsTheDragAndEmptiesTheFrame) {
  DrawFrame(CRect(100, 100, 200, 200));
  Press(CPoint(150, 150));
  Move(CPoint(160, 160));
  ASSERT_EQ(layer().GetDragMode(), 9);
  ASSERT_EQ(CWnd::GetCapture(), &layer());
  bg.ShowWindow(SW_HIDE);
  EXPECT_EQ(bg.GetShowWindow(), SW_HIDE);
  EXPECT_EQ(layer().GetDragMode(), CCutRectLayer::kNoDrag);
  EXPECT_EQ(CWnd::GetCapture(), nullptr);
  EXPECT_FALSE(bar().IsWindowVisible());
  EXPECT_FALSE(layer().IsWindowVisible());
  Release(CPoint(160, 160));
  // Shown again: empty, and plain moves drag nothing.
  bg.ShowWindow(SW_SHOW);
  Settle();
  EXPECT_TRUE(layer().GetCutRect().IsRectEmpty());
  Move(CPoint(300, 300));
  Move(CPoint(320, 320));
  EXPECT_TRUE(layer().GetCutRect().IsRectEmpty());
  EXPECT_EQ(layer().GetDragMode(), CCutRectLayer::kNoDrag);
}

TEST_F(CutLayersTest, ButtonsPostTheirCommands) {
  struct Case {
    int ocr;
    int button;
    bool visible;
  };
  const Case cases[] = {{0, 1, true},  {0, 2, true},  {0, 3, true},  {0, 4, true},  {0, 5, false}, {0, 6, false},
                        {1, 1, false}, {1, 2, false}, {1, 3, false}, {1, 4, false}, {1, 5, true},  {1, 6, true}};
  for (const Case& c : cases) {
    // As the host does after each command: hide, then show again.
    bg.ShowWindow(SW_HIDE);
    bg.SetOCRMode(c.ocr);
    bg.ShowWindow(SW_SHOW);
    DrawFrame(CRect(100, 100, 300, 200));
    ASSERT_TRUE(bar().IsWindowVisible());
    CGdiBtnEx* b = bar().GetButton(c.button);
    EXPECT_EQ(b->IsWindowVisible(), c.visible) << "mode " << c.ocr << " button " << c.button;
    EXPECT_EQ(b->GetWindowRect().left - bar().GetWindowRect().left, CCutBtnLayer::ButtonRect(c.button).left);
    EXPECT_EQ(b->width(), CCutBtnLayer::ButtonRect(c.button).Width());
    if (!c.visible) continue;
    host.messages.clear();
    ClickButton(c.button);
    ASSERT_EQ(host.Count(WM_UPDATE_CUTAREA), 1u) << "button " << c.button;
    EXPECT_EQ(host.messages.back().wParam, static_cast<WPARAM>(c.button));
    EXPECT_EQ(host.messages.back().lParam, 0);
  }
  // Other controls' commands and a bar without a target post nothing.
  host.messages.clear();
  SendMessage(&bar(), WM_COMMAND, MAKEWPARAM(7, BN_CLICKED), 0);
  bg.SetParentHwnd(nullptr);
  ClickButton(6);
  Settle();
  EXPECT_EQ(host.Count(WM_UPDATE_CUTAREA), 0u);
}

TEST_F(CutLayersTest, ThePaintOverTheHostsPicture) {
  const auto veiled = [](QColor c) { return QColor(c.red() * 135 / 255, c.green() * 135 / 255, c.blue() * 135 / 255); };
  const auto near = [](QColor a, QColor b) {
    return std::abs(a.red() - b.red()) <= 2 && std::abs(a.green() - b.green()) <= 2 && std::abs(a.blue() - b.blue()) <= 2;
  };
  const QColor green(0, 255, 0);
  auto greenPixels = [&](const QImage& shot, const CRect& area) {
    int n = 0;
    for (int y = area.top; y < area.bottom; ++y)
      for (int x = area.left; x < area.right; ++x) n += shot.pixelColor(InTop(CPoint(x, y))) == green;
    return n;
  };
  // Nothing drawn: the whole picture veiled; the hint only in recognition mode.
  QImage shot = Shot();
  EXPECT_TRUE(near(shot.pixelColor(InTop(CPoint(5, 5))), veiled(PatternAt(5, 5))));
  EXPECT_EQ(greenPixels(shot, CRect(120, 220, 520, 260)), 0);
  bg.SetOCRMode(1);
  shot = Shot();
  EXPECT_GT(greenPixels(shot, CRect(100, 215, 540, 265)), 200) << "the hint in the middle";
  EXPECT_EQ(greenPixels(shot, CRect(0, 0, 640, 200)) + greenPixels(shot, CRect(0, 280, 640, 480)), 0);

  SaveShot(shot, "crop_recognition_hint");
  DrawFrame(CRect(40, 30, 200, 150));
  shot = Shot();
  SaveShot(shot, "crop_frame");
  EXPECT_EQ(greenPixels(shot, CRect(220, 200, 620, 280)), 0) << "no hint once a frame is drawn";
  struct Probe {
    CPoint p;
    enum { Veiled, Clear, Green } expect;
  };
  // The frame (40, 30, 200, 150): a 2-pixel outline from (left - 1, top)
  // round to (left, top - 1), and 8 × 8 handles on the corners and the
  // middles of the sides.
  const Probe probes[] = {
      {{10, 10}, Probe::Veiled},  {{639, 479}, Probe::Veiled}, {{35, 60}, Probe::Veiled},  {{39, 60}, Probe::Green},
      {{40, 60}, Probe::Green},   {{41, 60}, Probe::Clear},    {{80, 28}, Probe::Veiled},  {{80, 29}, Probe::Green},
      {{80, 30}, Probe::Green},   {{80, 31}, Probe::Clear},    {{120, 90}, Probe::Clear},  {{198, 60}, Probe::Clear},
      {{199, 60}, Probe::Green},  {{200, 60}, Probe::Green},   {{201, 60}, Probe::Veiled}, {{80, 148}, Probe::Clear},
      {{80, 149}, Probe::Green},  {{80, 150}, Probe::Green},   {{80, 151}, Probe::Veiled}, {{36, 26}, Probe::Green},
      {{43, 33}, Probe::Green},   {{44, 34}, Probe::Clear},    {{35, 26}, Probe::Veiled},  {{116, 26}, Probe::Green},
      {{123, 26}, Probe::Green},  {{124, 26}, Probe::Veiled},  {{203, 86}, Probe::Green},  {{204, 90}, Probe::Veiled},
      {{116, 153}, Probe::Green}, {{116, 154}, Probe::Veiled}, {{36, 153}, Probe::Green},  {{203, 153}, Probe::Green},
  };
  for (const Probe& pr : probes) {
    const QColor got = shot.pixelColor(InTop(pr.p));
    const QColor host = PatternAt(pr.p.x, pr.p.y);
    switch (pr.expect) {
      case Probe::Veiled: EXPECT_TRUE(near(got, veiled(host))) << pr.p.x << "," << pr.p.y; break;
      case Probe::Clear: EXPECT_EQ(got, host) << pr.p.x << "," << pr.p.y; break;
      case Probe::Green: EXPECT_EQ(got, green) << pr.p.x << "," << pr.p.y; break;
    }
  }
}

TEST_F(CutLayersTest, KeysOfTheLayers) {
  struct Case {
    QWidget* target;
    int key;
    bool notice;
  };
  const Case cases[] = {
      {&layer(), Qt::Key_Escape, true}, {&bg, Qt::Key_Escape, true}, {&bar(), Qt::Key_Escape, true},
      {&layer(), Qt::Key_Return, false}, {&layer(), Qt::Key_A, false},
  };
  for (const Case& c : cases) {
    host.messages.clear();
    QTest::keyPress(c.target, static_cast<Qt::Key>(c.key));
    QTest::keyRelease(c.target, static_cast<Qt::Key>(c.key));
    Settle();
    ASSERT_EQ(host.Count(WM_LAYER_ESCAPE), c.notice ? 1u : 0u) << c.target->windowTitle().toStdString() << " " << c.key;
    if (c.notice) {
      EXPECT_EQ(host.messages.back().wParam, VK_ESCAPE);
      EXPECT_EQ(host.messages.back().lParam, 1);
    }
  }
}

TEST_F(CutLayersTest, TheBackgroundLayerPassesTheMouseOn) {
  // Input that reaches the background layer draws on the rectangle layer.
  QTest::mousePress(&bg, Qt::LeftButton, {}, QPoint(50, 60));
  QMouseEvent move(QEvent::MouseMove, QPointF(150, 110), bg.mapToGlobal(QPointF(150, 110)), Qt::NoButton,
                   Qt::LeftButton, {});
  QApplication::sendEvent(&bg, &move);
  QTest::mouseRelease(&bg, Qt::LeftButton, {}, QPoint(150, 110));
  EXPECT_EQ(layer().GetCutRect(), CRect(50, 60, 150, 110));
}

class CutLayersWithoutFiles : public overlay_test::LayerHostWithoutFiles {};

TEST_F(CutLayersWithoutFiles, FrameVeilAndDrawnTilesStillWork) {
  CCutBgLayer bg;
  ASSERT_TRUE(bg.Create(&host));
  bg.SetParentHwnd(&host);
  bg.ShowBtn(1);
  bg.ShowWindow(SW_SHOW);
  Drag(CPoint(100, 100), CPoint(300, 200));
  CCutBtnLayer& bar = bg.GetRectLayer().GetBtnLayer();
  ASSERT_TRUE(bar.IsWindowVisible());
  const QImage shot = Shot();
  EXPECT_EQ(shot.pixelColor(InTop(CPoint(200, 150))), PatternAt(200, 150));
  EXPECT_NE(shot.pixelColor(InTop(CPoint(10, 10))), PatternAt(10, 10));
  for (int id = 1; id <= 4; ++id) {
    CGdiBtnEx* b = bar.GetButton(id);
    EXPECT_TRUE(b->IsWindowVisible()) << id;
    EXPECT_EQ(b->geometry(), ToQRect(CCutBtnLayer::ButtonRect(id))) << id;
    // A tile of its own colour, not the bar's white.
    EXPECT_NE(shot.pixelColor(b->mapTo(&top, QPoint(10, 10))), QColor(Qt::white)) << id;
  }
  QTest::mouseClick(top.windowHandle(), Qt::LeftButton, {}, bar.GetButton(3)->mapTo(&top, QPoint(10, 10)));
  Settle();
  EXPECT_EQ(host.Count(WM_UPDATE_CUTAREA), 1u);
}

}  // namespace
