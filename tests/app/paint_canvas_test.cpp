// The annotation canvas on pixels, driven through its operations as the
// paint window's handlers drive it: strokes, the highlighter's overlaps,
// the fading pen, the eraser, shapes, the select tool, text, the alpha
// rules of the tool changes, and the taps and drags that used to leave
// ghosts or lose objects.

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

#include "app/paint_canvas.h"
#include "tests/support/test_app.h"

namespace {

constexpr Gdiplus::ARGB kRed = 0xFFFF0000;
constexpr Gdiplus::ARGB kHighlighter = 0x8000FF00;

int Alpha(const QImage* image, int x, int y) { return qAlpha(image->pixel(x, y)); }

// The first pixel in which two pictures differ ((-1, -1) when none; the
// origin when they differ in size or format).
QPoint FirstDifference(const QImage& a, const QImage& b) {
  if (a.size() != b.size() || a.format() != b.format()) return QPoint(0, 0);
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      if (a.pixel(x, y) != b.pixel(x, y)) return QPoint(x, y);
  return QPoint(-1, -1);
}

class PaintCanvasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window.Create(CWnd::Kind::Tool, QStringLiteral("canvas"), CRect(0, 0, 400, 300));
    ASSERT_EQ(canvas.Attach(&window), 1);
  }
  void Pen(int lineType, Gdiplus::ARGB colour, int width, int fade = 0) {
    canvas.ApplySettings(lineType, colour, width, fade);
  }
  void Drag(std::vector<CPoint> points) {
    canvas.Press(points.front());
    for (std::size_t i = 1; i < points.size(); ++i) canvas.Move(points[i]);
    canvas.Release(points.back());
  }
  // A shape object dragged with the shape pen in tool `tool`.
  void Shape(int tool, CPoint a, CPoint b, int width = 5) {
    Pen(LINE_SHAPE, 0xFF00FF00, width);
    canvas.SetTool(tool);
    Drag({a, CPoint((a.x + b.x) / 2, (a.y + b.y) / 2), b});
  }
  const QImage& Committed() { return *canvas.Committed(); }
  QImage Presented() { return window.GetLayeredImage().convertToFormat(QImage::Format_ARGB32); }

  struct AppFirst {
    AppFirst() { TestApp(); }
  } app_;
  CWnd window;
  CPaintCanvas canvas;
};

TEST_F(PaintCanvasTest, StartsWithoutToolAndTransparentLayersThatLetTheMouseThrough) {
  EXPECT_EQ(canvas.GetTool(), PAINT_NONE);
  EXPECT_EQ(canvas.GetLineType(), LINE_NONE);
  EXPECT_EQ(Committed().pixel(10, 10), 0u);
  EXPECT_TRUE(window.IsMousePassThrough());
  // A press without tool draws nothing.
  Drag({CPoint(10, 10), CPoint(100, 100)});
  EXPECT_EQ(Committed().pixel(50, 50), 0u);
}

TEST_F(PaintCanvasTest, LineTypesChooseTheTool) {
  struct Case {
    int before;
    int lineType;
    int tool;
  };
  const Case cases[] = {
      {PAINT_NONE, LINE_FREE, PAINT_FREE},      {PAINT_NONE, LINE_STRAIGHT, PAINT_LINE},
      {PAINT_NONE, LINE_DASH, PAINT_LINE},      {PAINT_NONE, LINE_ARROW, PAINT_LINE},
      {PAINT_NONE, LINE_SHAPE, PAINT_RECT},     {PAINT_ERASER, LINE_SHAPE, PAINT_RECT},
      {PAINT_TEXT, LINE_SHAPE, PAINT_TEXT},     {PAINT_SELECT, LINE_SHAPE, PAINT_SELECT},
      {PAINT_TRIANGLE, LINE_SHAPE, PAINT_TRIANGLE}, {PAINT_FREE, LINE_NONE, PAINT_NONE},
  };
  for (const Case& c : cases) {
    canvas.SetTool(c.before);
    Pen(c.lineType, kRed, 5);
    EXPECT_EQ(canvas.GetTool(), c.tool) << c.before << " " << c.lineType;
    EXPECT_EQ(window.IsMousePassThrough(), c.tool == PAINT_NONE);
  }
}

TEST_F(PaintCanvasTest, FreehandStrokeIsCommittedOnReleaseOverAnAlphaOneBackground) {
  Pen(LINE_FREE, kRed, 10);
  EXPECT_EQ(Committed().pixel(300, 250), 0x01000000u) << "drawing tools take the mouse everywhere";
  Drag({CPoint(20, 50), CPoint(120, 50), CPoint(220, 50)});
  EXPECT_EQ(Committed().pixel(100, 50), kRed);
  EXPECT_EQ(Committed().pixel(100, 80), 0x01000000u);
  EXPECT_EQ(canvas.StrokePoints(), 0u);
  EXPECT_EQ(Presented().pixel(100, 50), kRed);
}

TEST_F(PaintCanvasTest, HighlighterOverlapsDarkenOnlyBetweenTwoStrokes) {
  Pen(LINE_FREE, kHighlighter, 20);
  // One stroke crossing itself at (100, 50).
  Drag({CPoint(40, 50), CPoint(160, 50), CPoint(160, 100), CPoint(100, 100), CPoint(100, 10)});
  const int single = Alpha(&Committed(), 60, 50);
  EXPECT_NEAR(single, 128, 1);
  EXPECT_EQ(Alpha(&Committed(), 100, 50), single) << "a stroke's own overlap is not darker";
  // A second stroke over the first one.
  Drag({CPoint(250, 20), CPoint(250, 150)});
  Drag({CPoint(200, 80), CPoint(300, 80)});
  EXPECT_NEAR(Alpha(&Committed(), 250, 80), 128 + 128 * 127 / 255, 2) << "two strokes darken each other";
  EXPECT_NEAR(Alpha(&Committed(), 250, 40), single, 1);
}

TEST_F(PaintCanvasTest, FadingStrokeLosesFifteenAlphaATickAndIsNeverCommitted) {
  Pen(LINE_FREE, kRed, 9, 1);
  Drag({CPoint(20, 60), CPoint(200, 60)});
  ASSERT_TRUE(canvas.IsFading());
  EXPECT_TRUE(window.HasTimer(PAINT_FADE_TIMER));
  EXPECT_EQ(Alpha(canvas.Working(), 100, 60), 255);
  for (int tick = 1; tick <= 16; ++tick) {
    canvas.Timer(PAINT_FADE_TIMER);
    ASSERT_TRUE(canvas.IsFading()) << tick;
    EXPECT_NEAR(Alpha(canvas.Working(), 100, 60), 255 - 15 * tick, 1) << tick;
    EXPECT_EQ(Committed().pixel(100, 60), 0x01000000u) << tick;
  }
  canvas.Timer(PAINT_FADE_TIMER);
  EXPECT_FALSE(canvas.IsFading());
  EXPECT_FALSE(window.HasTimer(PAINT_FADE_TIMER));
  EXPECT_EQ(canvas.Working()->pixel(100, 60), 0x01000000u);
  EXPECT_EQ(Presented().pixel(100, 60), 0x01000000u);
  EXPECT_EQ(canvas.GetPenColor(), kRed) << "the pen gets its colour back";
}

TEST_F(PaintCanvasTest, PressWhileFadingEndsTheFadeAtOnce) {
  Pen(LINE_FREE, kRed, 9, 1);
  Drag({CPoint(20, 60), CPoint(200, 60)});
  canvas.Timer(PAINT_FADE_TIMER);
  canvas.Press(CPoint(20, 200));
  EXPECT_FALSE(canvas.IsFading());
  EXPECT_FALSE(window.HasTimer(PAINT_FADE_TIMER));
  EXPECT_EQ(canvas.GetPenColor(), kRed);
  EXPECT_EQ(canvas.Working()->pixel(100, 60), 0x01000000u);
  canvas.Release(CPoint(20, 200));
}

TEST_F(PaintCanvasTest, SettingsWaitWhileAStrokeFades) {
  Pen(LINE_FREE, kRed, 9, 1);
  Drag({CPoint(20, 60), CPoint(200, 60)});
  canvas.Timer(PAINT_FADE_TIMER);
  Pen(LINE_FREE, 0xFF0000FF, 20);
  EXPECT_EQ(canvas.GetPenColor(), 0xF0FF0000u) << "the fade goes on with its own pen";
  canvas.EndFade();
  EXPECT_EQ(canvas.GetPenColor(), 0xFF0000FFu);
  EXPECT_EQ(canvas.GetPenWidth(), 20.0f);
}

TEST_F(PaintCanvasTest, WheelScalesTheEraserWithinOneToTen) {
  canvas.SetTool(PAINT_ERASER);
  for (int i = 0; i < 5; ++i) canvas.Wheel(120);
  EXPECT_NEAR(canvas.GetEraserScale(), 2.2f, 1e-5);
  for (int i = 0; i < 100; ++i) canvas.Wheel(120);
  EXPECT_EQ(canvas.GetEraserScale(), 10.0f);
  for (int i = 0; i < 100; ++i) canvas.Wheel(-120);
  EXPECT_EQ(canvas.GetEraserScale(), 1.0f);
  canvas.Wheel(-120);
  EXPECT_EQ(canvas.GetEraserScale(), 1.0f);
}

TEST_F(PaintCanvasTest, EraserClearsExactlyTheSweptHullOnLayerAndObject) {
  // A wide opaque band on the layer and a rectangle object across it.
  Pen(LINE_FREE, kRed, 120);
  Drag({CPoint(0, 150), CPoint(400, 150)});
  Shape(PAINT_RECT, CPoint(150, 100), CPoint(250, 200), 40);
  ASSERT_EQ(canvas.Objects().size(), 1u);
  QImage layer = Committed().copy();
  QImage object = canvas.Objects()[0].image->copy();
  const CRect place = canvas.Objects()[0].rect;

  canvas.SetTool(PAINT_ERASER);
  Drag({CPoint(100, 150), CPoint(200, 150), CPoint(300, 150)});

  // The same sweeps by the drawing library are the reference.
  CGdiDC dc;
  dc.Init();
  QImage* ref = &object;
  for (auto [from, to] : {std::pair{CPoint(100, 150), CPoint(200, 150)}, {CPoint(200, 150), CPoint(300, 150)}}) {
    dc.EraserRect(&layer, from, to, 1.0f, -45);
    dc.EraserRect(ref, place, from, to, 1.0f, -45);
  }
  EXPECT_EQ(Committed(), layer);
  EXPECT_EQ(*canvas.Objects()[0].image, object);
  // On the sweep the layer is alpha 1 and the object empty; beyond it untouched.
  EXPECT_EQ(Committed().pixel(200, 150), 0x01000000u);
  EXPECT_EQ(canvas.Objects()[0].image->pixel(10, 50), 0u);
  EXPECT_EQ(Committed().pixel(20, 150), kRed);
  EXPECT_EQ(Committed().pixel(380, 150), kRed);
  EXPECT_NE(canvas.Objects()[0].image->pixel(50, 5), 0u);
}

TEST_F(PaintCanvasTest, ShapesBecomeObjectsOfTheDraggedRectangle) {
  struct Case {
    int tool;
    CPoint a, b;
    CRect expected;
  };
  const Case cases[] = {
      {PAINT_RECT, CPoint(10, 10), CPoint(110, 60), CRect(10, 10, 110, 60)},
      {PAINT_ELLIPSE, CPoint(110, 60), CPoint(10, 10), CRect(10, 10, 110, 60)},
      {PAINT_TRIANGLE, CPoint(10, 60), CPoint(110, 10), CRect(10, 10, 110, 60)},
      // A circle keeps the top-left corner and the smaller side.
      {PAINT_CIRCLE, CPoint(10, 10), CPoint(110, 50), CRect(10, 10, 50, 50)},
      {PAINT_CIRCLE, CPoint(110, 50), CPoint(10, 10), CRect(10, 10, 50, 50)},
  };
  for (const Case& c : cases) {
    canvas.ClearAll();
    Shape(c.tool, c.a, c.b);
    ASSERT_EQ(canvas.Objects().size(), 1u) << c.tool;
    EXPECT_EQ(canvas.Objects()[0].rect, c.expected) << c.tool;
    EXPECT_EQ(canvas.Objects()[0].image->size(), QSize(c.expected.Width(), c.expected.Height())) << c.tool;
    EXPECT_EQ(Committed().pixel(c.expected.left + 1, c.expected.top + 1), 0x01000000u)
        << "objects stay off the layer";
  }
  // Too small for the pen: no object.
  canvas.ClearAll();
  Shape(PAINT_RECT, CPoint(10, 10), CPoint(15, 15));
  EXPECT_TRUE(canvas.Objects().empty());
}

TEST_F(PaintCanvasTest, ShapePreviewHasAFrameExceptForRectangles) {
  Pen(LINE_SHAPE, 0xFF00FF00, 5);
  for (int tool : {PAINT_RECT, PAINT_ELLIPSE}) {
    canvas.SetTool(tool);
    canvas.Press(CPoint(50, 50));
    canvas.Move(CPoint(150, 150));
    // The ellipse's bounding frame runs along the inset rectangle's corner.
    const QRgb corner = canvas.Working()->pixel(52, 52);
    if (tool == PAINT_RECT)
      EXPECT_EQ(corner, 0xFF00FF00u);
    else
      EXPECT_EQ(corner, 0xFF000000u);
    canvas.Release(CPoint(150, 150));
  }
}

TEST_F(PaintCanvasTest, SelectRaisesFromJustOutsideAnEdgeWithoutMoving) {
  Shape(PAINT_RECT, CPoint(100, 100), CPoint(200, 200));
  Shape(PAINT_RECT, CPoint(150, 150), CPoint(250, 250));
  const CRect lower = canvas.Objects()[0].rect;
  const CRect upper = canvas.Objects()[1].rect;
  canvas.SetTool(PAINT_SELECT);
  // Five pixels outside the left edge hits nothing.
  Drag({CPoint(95, 130), CPoint(60, 130)});
  EXPECT_EQ(canvas.Objects().back().rect, upper);
  // Three pixels outside raises it, and the drag does not move it.
  Drag({CPoint(97, 130), CPoint(60, 130), CPoint(20, 140)});
  ASSERT_EQ(canvas.Objects().size(), 2u);
  EXPECT_EQ(canvas.Objects().back().rect, lower) << "raised, not moved";
  EXPECT_EQ(canvas.Objects().front().rect, upper);
}

TEST_F(PaintCanvasTest, SelectFindsCornersAndBodyAndFramesTheTopObject) {
  Shape(PAINT_RECT, CPoint(100, 100), CPoint(200, 180));
  canvas.SetTool(PAINT_SELECT);
  struct Case {
    CPoint at;
    int grip;
  };
  const Case cases[] = {{CPoint(97, 97), GRIP_TOPLEFT},     {CPoint(202, 98), GRIP_TOPRIGHT},
                        {CPoint(203, 183), GRIP_BOTTOMRIGHT}, {CPoint(100, 182), GRIP_BOTTOMLEFT},
                        {CPoint(150, 140), GRIP_BODY},       {CPoint(150, 97), GRIP_NONE}};
  for (const Case& c : cases) {
    canvas.Press(c.at);
    EXPECT_EQ(canvas.GetGrip(), c.grip) << c.at.x << "," << c.at.y;
    canvas.Release(c.at);
    EXPECT_EQ(canvas.GetGrip(), GRIP_NONE);
  }
  EXPECT_EQ(Presented().pixel(100, 100), 0xFF000000u) << "the top object's frame";
  EXPECT_EQ(Presented().pixel(150, 100), 0xFF000000u);
  canvas.SetTool(PAINT_FREE);
  EXPECT_NE(Presented().pixel(150, 100), 0xFF000000u) << "no frame outside the select tool";
}

TEST_F(PaintCanvasTest, BodyDragStopsAtTheEdgeAndCornersStopAtTheMinimumSize) {
  Shape(PAINT_RECT, CPoint(100, 100), CPoint(200, 180));
  canvas.SetTool(PAINT_SELECT);
  Drag({CPoint(150, 140), CPoint(0, 140), CPoint(-300, -300)});
  EXPECT_EQ(canvas.Objects().back().rect, CRect(0, 0, 100, 80));
  Drag({CPoint(50, 40), CPoint(900, 900)});
  EXPECT_EQ(canvas.Objects().back().rect, CRect(300, 220, 400, 300));

  // A corner dragged past the opposite one stops two grip squares short.
  Drag({CPoint(300, 220), CPoint(350, 260), CPoint(600, 600)});
  ASSERT_EQ(canvas.Objects().size(), 1u);
  EXPECT_EQ(canvas.Objects().back().rect, CRect(384, 284, 400, 300));
  EXPECT_EQ(canvas.Objects().back().image->size(), QSize(16, 16)) << "rescaled once, on release";
  Drag({CPoint(400, 300), CPoint(0, 0)});
  EXPECT_EQ(canvas.Objects().back().rect, CRect(384, 284, 400, 300));
  // And grows again from there.
  Drag({CPoint(384, 284), CPoint(284, 184)});
  EXPECT_EQ(canvas.Objects().back().rect, CRect(284, 184, 400, 300));
  EXPECT_EQ(canvas.Objects().back().image->size(), QSize(116, 116));
}

TEST_F(PaintCanvasTest, SelectWithoutObjectsDoesNothing) {
  canvas.SetTool(PAINT_SELECT);
  Drag({CPoint(50, 50), CPoint(80, 80)});
  EXPECT_TRUE(canvas.Objects().empty());
  Shape(PAINT_RECT, CPoint(100, 100), CPoint(200, 180));
  canvas.ClearAll();
  canvas.SetTool(PAINT_SELECT);
  Drag({CPoint(150, 140), CPoint(10, 10)});
  EXPECT_TRUE(canvas.Objects().empty());
  EXPECT_EQ(Presented().pixel(100, 100), 0x01000000u);
}

TEST_F(PaintCanvasTest, ATapCommitsOnlyItsOwnDot) {
  // After a shape drag the working layer held the shape's preview; after
  // erasing, the eraser icon. Neither may reach the layer with a tap.
  Shape(PAINT_ELLIPSE, CPoint(100, 100), CPoint(200, 180));
  canvas.SetTool(PAINT_ERASER);
  Drag({CPoint(300, 50), CPoint(320, 60)});
  Pen(LINE_FREE, kRed, 10);
  Drag({CPoint(30, 250)});
  EXPECT_EQ(Committed().pixel(30, 250), kRed) << "the tap's dot";
  EXPECT_EQ(Committed().pixel(150, 100), 0x01000000u) << "no ghost of the object";
  EXPECT_EQ(Committed().pixel(102, 102), 0x01000000u) << "no ghost of the preview frame";
  EXPECT_EQ(Committed().pixel(320, 60), 0x01000000u) << "no ghost of the eraser";
  EXPECT_EQ(canvas.Objects().size(), 1u);
  // A tap with the line tool draws nothing.
  const QImage before = Committed().copy();
  Pen(LINE_STRAIGHT, kRed, 10);
  Drag({CPoint(300, 250)});
  EXPECT_EQ(Committed(), before);
}

TEST_F(PaintCanvasTest, ToolChangesKeepTheAlphaArithmeticExact) {
  Pen(LINE_FREE, kRed, 10);
  Drag({CPoint(20, 50), CPoint(200, 50)});
  Pen(LINE_FREE, kHighlighter, 20);
  Drag({CPoint(20, 150), CPoint(200, 150)});
  const int high = Alpha(&Committed(), 100, 150);
  canvas.SetTool(PAINT_NONE);
  EXPECT_EQ(Committed().pixel(100, 50), 0xFEFF0000u);
  EXPECT_EQ(Committed().pixel(300, 250), 0u);
  EXPECT_EQ(Alpha(&Committed(), 100, 150), high & ~1);
  EXPECT_EQ(Alpha(canvas.Working(), 300, 250), 0);
  EXPECT_TRUE(window.IsMousePassThrough());
  canvas.SetTool(PAINT_FREE);
  EXPECT_EQ(Committed().pixel(100, 50), kRed);
  EXPECT_EQ(Committed().pixel(300, 250), 0x01000000u);
  EXPECT_EQ(Alpha(&Committed(), 100, 150), (high & ~1) ^ 1);
  EXPECT_FALSE(window.IsMousePassThrough());
  // Between drawing tools nothing changes.
  const QImage before = Committed().copy();
  canvas.SetTool(PAINT_ERASER);
  canvas.SetTool(PAINT_RECT);
  EXPECT_EQ(Committed(), before);
}

TEST_F(PaintCanvasTest, ClearAllFollowsTheTool) {
  Pen(LINE_FREE, kRed, 10);
  Drag({CPoint(20, 50), CPoint(200, 50)});
  Shape(PAINT_RECT, CPoint(100, 100), CPoint(200, 180));
  canvas.ClearAll();
  EXPECT_TRUE(canvas.Objects().empty());
  EXPECT_EQ(Committed().pixel(100, 50), 0x01000000u);
  EXPECT_EQ(Presented().pixel(100, 100), 0x01000000u);
  canvas.SetTool(PAINT_NONE);
  canvas.ClearAll();
  EXPECT_EQ(Committed().pixel(100, 50), 0u);
}

TEST_F(PaintCanvasTest, TextBoxDragReportsItsCornersAndTextBecomesAnObject) {
  std::vector<CPoint> reported;
  window.OnMessage(WM_PAINT_TEXTBOX, [&](WPARAM w, LPARAM) -> LRESULT {
    const auto* ends = reinterpret_cast<const CPoint*>(w);
    reported = {ends[0], ends[1]};
    return 1;
  });
  Pen(LINE_SHAPE, 0xFF0000FF, 5);
  canvas.SetTool(PAINT_TEXT);
  canvas.Press(CPoint(200, 150));
  canvas.Move(CPoint(100, 100));
  EXPECT_EQ(canvas.Working()->pixel(150, 100), 0xFF000000u) << "the box's frame while dragging";
  canvas.Release(CPoint(100, 100));
  ASSERT_EQ(reported.size(), 2u);
  EXPECT_EQ(reported[0], CPoint(200, 150));
  EXPECT_EQ(reported[1], CPoint(100, 100));

  EXPECT_EQ(canvas.AddText(QString(), nullptr, CRect(100, 100, 200, 150)), 0);
  EXPECT_EQ(canvas.AddText(QStringLiteral("  \n "), nullptr, CRect(100, 100, 200, 150)), 0);
  EXPECT_TRUE(canvas.Objects().empty());
  LOGFONTW font{};
  font.lfHeight = -24;
  font.lfWeight = 700;
  EXPECT_EQ(canvas.AddText(QStringLiteral("批注 Note"), &font, CRect(100, 100, 200, 150)), 1);
  ASSERT_EQ(canvas.Objects().size(), 1u);
  EXPECT_EQ(canvas.Objects()[0].rect, CRect(102, 101, 198, 149));
  const QImage& text = *canvas.Objects()[0].image;
  int inked = 0;
  for (int y = 0; y < text.height(); ++y)
    for (int x = 0; x < text.width(); ++x)
      if (qAlpha(text.pixel(x, y)) == 255) {
        ++inked;
        EXPECT_EQ(text.pixel(x, y), 0xFF0000FFu);
      }
  EXPECT_GT(inked, 20);
}

TEST_F(PaintCanvasTest, ResizeKeepsTheDrawingInPlace) {
  Pen(LINE_FREE, kRed, 10);
  Drag({CPoint(20, 50), CPoint(200, 50)});
  window.resize(500, 200);
  canvas.Resize();
  ASSERT_EQ(Committed().size(), QSize(500, 200));
  EXPECT_EQ(Committed().pixel(100, 50), kRed);
  EXPECT_EQ(Committed().pixel(450, 150), 0x01000000u);
}

}  // namespace

// While a stroke is drawn, each move draws again and presents only the part
// around its newest segment. A second canvas gets the same input with a
// redraw before every move, which makes it draw and present the whole
// stroke; after every move both windows must show the same pixels with the
// same drawn region, and both layers must agree.
TEST_F(PaintCanvasTest, StrokesInProgressShowWhatAWholeRedrawShows) {
  struct Case {
    const char* name;
    int lineType;
    Gdiplus::ARGB colour;
    int width;
    int recolourAt;  // the move at which the pen changes (0: never)
  };
  const Case cases[] = {
      {"pen 1", LINE_FREE, kRed, 1, 0},
      {"pen 5", LINE_FREE, kRed, 5, 0},
      {"pen 7", LINE_FREE, 0xFF2040C0, 7, 0},
      {"pen 10", LINE_FREE, kRed, 10, 0},
      {"pen 20", LINE_FREE, kRed, 20, 0},
      {"pen 30", LINE_FREE, 0xFF000000, 30, 0},
      {"highlighter 10", LINE_FREE, kHighlighter, 10, 0},
      {"highlighter 30", LINE_FREE, 0x40FFFF00, 30, 0},
      {"pen changes colour mid-stroke", LINE_FREE, kRed, 10, 25},
      {"straight 7", LINE_STRAIGHT, kRed, 7, 0},
      {"dashed 10", LINE_DASH, kHighlighter, 10, 0},
      {"arrow 5", LINE_ARROW, kRed, 5, 0},
      {"arrow 30", LINE_ARROW, kHighlighter, 30, 0},
  };
  CWnd wholeWindow;
  wholeWindow.Create(CWnd::Kind::Tool, QStringLiteral("whole"), CRect(0, 0, 400, 300));
  CPaintCanvas whole;
  ASSERT_EQ(whole.Attach(&wholeWindow), 1);
  // A path that doubles back over itself, crosses the objects, repeats a
  // point, takes long and short steps and leaves the window on both sides.
  std::vector<CPoint> path;
  for (int i = 0; i < 40; ++i) path.emplace_back(-20 + i * 11, 150 + static_cast<int>(60 * std::sin(i * 0.4)));
  path.push_back(path.back());
  for (int i = 0; i < 30; ++i) path.emplace_back(420 - i * 14, 120 + (i % 5) * 9);
  path.emplace_back(200, 5);
  path.emplace_back(201, 295);
  for (const Case& c : cases) {
    for (CPaintCanvas* k : {&canvas, &whole}) {
      // Committed ink and two objects under the stroke.
      k->ClearAll();
      k->ApplySettings(LINE_FREE, 0xFF0000FF, 9, 0);
      k->Press(CPoint(10, 40));
      k->Move(CPoint(390, 260));
      k->Release(CPoint(390, 260));
      k->ApplySettings(LINE_SHAPE, 0xFF00FF00, 5, 0);
      for (const auto& [tool, a, b] : {std::tuple{PAINT_RECT, CPoint(60, 90), CPoint(180, 200)},
                                       std::tuple{PAINT_ELLIPSE, CPoint(220, 60), CPoint(360, 230)}}) {
        k->SetTool(tool);
        k->Press(a);
        k->Move(b);
        k->Release(b);
      }
      k->ApplySettings(c.lineType, c.colour, c.width, 0);
    }
    const QImage before = *canvas.Committed();
    for (CPaintCanvas* k : {&canvas, &whole}) k->Press(path.front());
    for (std::size_t i = 1; i < path.size(); ++i) {
      if (static_cast<int>(i) == c.recolourAt)
        for (CPaintCanvas* k : {&canvas, &whole}) k->ApplySettings(c.lineType, 0xFF00C0C0, c.width, 0);
      whole.Redraw();
      whole.Move(path[i]);
      canvas.Move(path[i]);
      ASSERT_EQ(FirstDifference(window.GetLayeredImage(), wholeWindow.GetLayeredImage()), QPoint(-1, -1))
          << c.name << ", move " << i;
      ASSERT_TRUE((window.GetDrawnRegion() ^ wholeWindow.GetDrawnRegion()).isEmpty()) << c.name << ", move " << i;
      ASSERT_EQ(FirstDifference(*canvas.Working(), *whole.Working()), QPoint(-1, -1)) << c.name << ", move " << i;
    }
    canvas.Release(path.back());
    whole.Release(path.back());
    EXPECT_EQ(*canvas.Committed(), *whole.Committed()) << c.name;
    EXPECT_NE(*canvas.Committed(), before) << c.name << ": the stroke is kept";
  }
}
