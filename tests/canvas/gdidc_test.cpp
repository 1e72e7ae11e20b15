#include "canvas/gdidc.h"

#include "canvas/layeredwindow.h"
#include "tests/canvas/canvas_test_util.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>

namespace {

CGdiDC Pen(Gdiplus::ARGB color, int width) {
  CGdiDC gdi;
  gdi.Init();
  gdi.SetPenColor(color);
  gdi.SetPenWidth(width);
  return gdi;
}

}  // namespace

TEST(GdiDCPen, DefaultsAndRefusalsWithoutPen) {
  TestApp();
  CGdiDC gdi;
  QImage img = Surface(20, 20);
  EXPECT_EQ(gdi.GetPenColor(), 0u);
  EXPECT_EQ(gdi.SetPenColor(0xFF00FF00), 0);
  EXPECT_EQ(gdi.SetPenWidth(3), 0);
  EXPECT_EQ(gdi.DrawLine(&img, CPoint(0, 0), CPoint(10, 10)), 0);
  EXPECT_EQ(gdi.DrawRect(&img, CPoint(0, 0), CPoint(10, 10)), 0);
  EXPECT_EQ(gdi.SaveRect(10, 10), nullptr);
  EXPECT_EQ(InkBounds(img), CRect());

  gdi.Init();
  EXPECT_EQ(gdi.GetPenColor(), 0u);
  EXPECT_FLOAT_EQ(gdi.GetPenWidth(), 1.0f);
  EXPECT_EQ(gdi.SetPenColor(0x80FF0000), 1);
  EXPECT_EQ(gdi.GetPenColor(), 0x80FF0000u);
  // Null surfaces are refused.
  EXPECT_EQ(gdi.DrawLine(nullptr, CPoint(0, 0), CPoint(10, 10)), 0);
  EXPECT_EQ(gdi.Clear(nullptr, 0), 0);
}

TEST(GdiDCPen, CopiesShareThePenAndOutliveEachOther) {
  TestApp();
  auto first = std::make_unique<CGdiDC>(Pen(0xFF000000, 2));
  CGdiDC second;
  second = *first;
  second.SetPenColor(0xFF123456);
  EXPECT_EQ(first->GetPenColor(), 0xFF123456u);
  first.reset();
  QImage img = Surface(20, 20);
  EXPECT_EQ(second.DrawLine(&img, CPoint(2, 10), CPoint(18, 10)), 1);
  EXPECT_EQ(img.pixel(10, 10), 0xFF123456u);
}

TEST(GdiDCShapes, RectangleOutlineStaysInsideAndCollapses) {
  TestApp();
  CGdiDC gdi = Pen(0xFF0000FF, 5);
  QImage img = Surface(40, 40);
  ASSERT_EQ(gdi.DrawRect(&img, CPoint(20, 20), CPoint(10, 10)), 1);
  // Outline of (12,12)-(18,18) with a 5-pixel pen: ink from 10 to 20, hole at 15.
  EXPECT_EQ(InkBounds(img), CRect(10, 10, 21, 21));
  EXPECT_FALSE(Inked(img, 15, 15));
  EXPECT_EQ(img.pixel(10, 15), 0xFF0000FFu);  // drawn without smoothing
  EXPECT_EQ(img.pixel(14, 15), 0xFF0000FFu);

  gdi.SetPenWidth(30);
  EXPECT_EQ(gdi.ShapeRect(CPoint(10, 10), CPoint(20, 20)), CRect(15, 15, 15, 15));
  QImage wide = Surface(60, 60);
  gdi.DrawRect(&wide, CPoint(10, 10), CPoint(20, 20));
  const CRect ink = InkBounds(wide);
  if (!ink.IsRectEmpty()) {
    // Whatever a collapsed rectangle leaves is centred on (15, 15).
    EXPECT_NEAR((ink.left + ink.right - 1) / 2.0, 15.0, 1.0);
    EXPECT_NEAR((ink.top + ink.bottom - 1) / 2.0, 15.0, 1.0);
  }
}

TEST(GdiDCShapes, CircleKeepsTopLeftTriangleAndEllipseGeometry) {
  TestApp();
  CGdiDC gdi = Pen(0xFF000000, 1);
  QImage img = Surface(120, 60);
  ASSERT_EQ(gdi.DrawCircle(&img, CPoint(0, 0), CPoint(100, 40)), 1);
  const CRect ink = InkBounds(img);
  // Diameter 40 at the left: nothing right of x = 41.
  EXPECT_LE(ink.left, 1);
  EXPECT_LE(ink.top, 1);
  EXPECT_NEAR(ink.Width(), 41, 2);
  EXPECT_NEAR(ink.Height(), 41, 2);
  EXPECT_FALSE(Inked(img, 20, 20));  // an outline, not a disc

  // Taller than wide: the circle keeps the top-left corner too.
  QImage tall = Surface(60, 120);
  gdi.DrawCircle(&tall, CPoint(40, 100), CPoint(0, 0));
  EXPECT_LE(InkBounds(tall).bottom, 43);

  QImage tri = Surface(60, 60);
  gdi.DrawTriangle(&tri, CPoint(10, 10), CPoint(50, 50));
  // Apex at the top middle, base along the bottom.
  EXPECT_TRUE(Inked(tri, 30, 10) || Inked(tri, 30, 11));
  EXPECT_FALSE(Inked(tri, 12, 12));
  EXPECT_TRUE(Inked(tri, 30, 50));
  EXPECT_FALSE(Inked(tri, 30, 30));

  QImage ell = Surface(120, 60);
  gdi.DrawEllipse(&ell, CPoint(0, 0), CPoint(100, 40));
  EXPECT_NEAR(InkBounds(ell).Width(), 101, 2);
}

TEST(GdiDCShapes, SaveFormsRefuseSmallSizesAndDrawIntoTheirBitmap) {
  TestApp();
  CGdiDC gdi = Pen(0xFFFF0000, 4);
  EXPECT_EQ(gdi.SaveRect(7, 20), nullptr);  // 7 < 2 × 4
  EXPECT_EQ(gdi.SaveEllipse(20, 7), nullptr);
  EXPECT_EQ(gdi.SaveTriangle(0, 20), nullptr);
  EXPECT_EQ(gdi.SaveRect(-5, 20), nullptr);
  std::unique_ptr<QImage> rect(gdi.SaveRect(8, 8));
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->size(), QSize(8, 8));
  std::unique_ptr<QImage> shape(gdi.SaveRect(40, 30));
  ASSERT_NE(shape, nullptr);
  EXPECT_EQ(shape->format(), QImage::Format_ARGB32);
  // The outline lies inside the bitmap and the middle stays transparent.
  EXPECT_EQ(shape->pixel(20, 15), 0u);
  EXPECT_EQ(shape->pixel(0, 15), 0xFFFF0000u);
  EXPECT_EQ(shape->pixel(39, 15), 0xFFFF0000u);
  std::unique_ptr<QImage> ellipse(gdi.SaveEllipse(40, 30));
  ASSERT_NE(ellipse, nullptr);
  EXPECT_EQ(ellipse->pixel(0, 0), 0u);
  EXPECT_GT(qAlpha(ellipse->pixel(20, 1)), 128);
}

TEST(GdiDCShapes, FillsFramesAndHandles) {
  TestApp();
  CGdiDC gdi;
  QImage img = Surface(50, 50, 0xFFFFFFFF);
  ASSERT_EQ(gdi.DrawFillRect(&img, CPoint(30, 30), CPoint(10, 10), 0xFF00FF00), 1);
  EXPECT_EQ(img.pixel(10, 10), 0xFF00FF00u);
  EXPECT_EQ(img.pixel(29, 29), 0xFF00FF00u);
  EXPECT_EQ(img.pixel(30, 30), 0xFFFFFFFFu);
  // A translucent fill blends over what is there.
  gdi.DrawFillRect(&img, CPoint(0, 0), CPoint(5, 5), 0x80000000);
  EXPECT_NEAR(qRed(img.pixel(2, 2)), 127, 2);

  QImage frame = Surface(50, 50);
  ASSERT_EQ(gdi.DrawBlackFrame(&frame, CPoint(10, 10), CPoint(40, 30), 1), 1);
  EXPECT_EQ(frame.pixel(25, 10), 0xFF000000u);
  EXPECT_EQ(frame.pixel(25, 11), 0u);
  EXPECT_EQ(frame.pixel(8, 8), 0xFF000000u);  // handle square from (8,8) to (12,12)
  EXPECT_EQ(frame.pixel(41, 31), 0xFF000000u);
  EXPECT_EQ(frame.pixel(7, 7), 0u);
  QImage plain = Surface(50, 50);
  gdi.DrawBlackFrame(&plain, CPoint(10, 10), CPoint(40, 30), 0);
  EXPECT_EQ(plain.pixel(8, 8), 0u);

  QImage outer = Surface(50, 50);
  ASSERT_EQ(gdi.DrawOuterFrame(&outer, CPoint(10, 10), CPoint(40, 40), 6, 0xFF0000FF), 1);
  // Grown by 3 and drawn 6 wide: ink from 4 to 10 on the left.
  EXPECT_EQ(outer.pixel(5, 25), 0xFF0000FFu);
  EXPECT_EQ(outer.pixel(2, 25), 0u);
  EXPECT_EQ(outer.pixel(12, 25), 0u);
  EXPECT_EQ(outer.pixel(4, 4), 0xFF0000FFu);  // square corners
}

TEST(GdiDCLines, PolylineArrowAndSegments) {
  TestApp();
  CGdiDC gdi = Pen(0xFF000000, 6);
  QImage plain = Surface(100, 100);
  gdi.DrawLine(&plain, CPoint(10, 50), CPoint(90, 50));
  EXPECT_TRUE(Inked(plain, 50, 50));
  EXPECT_FALSE(Inked(plain, 80, 56));

  gdi.SetPenEndCap(Gdiplus::LineCapArrowAnchor);
  QImage arrow = Surface(100, 100);
  gdi.DrawLine(&arrow, CPoint(10, 50), CPoint(90, 50));
  EXPECT_TRUE(Inked(arrow, 80, 55));   // the head is wider than the pen
  EXPECT_FALSE(Inked(arrow, 92, 50));  // and ends at the point
  EXPECT_FALSE(Inked(arrow, 30, 55));

  CGdiDC thin = Pen(0xFF000000, 2);
  QImage poly = Surface(100, 100);
  const std::vector<CPoint> pts{{10, 10}, {90, 10}, {90, 90}};
  ASSERT_EQ(thin.DrawLines(&poly, pts), 1);
  EXPECT_TRUE(Inked(poly, 50, 10));
  EXPECT_TRUE(Inked(poly, 90, 50));
  EXPECT_FALSE(Inked(poly, 50, 50));
  QImage fromList = Surface(100, 100);
  thin.DrawLines(&fromList, std::list<CPoint>(pts.begin(), pts.end()));
  EXPECT_EQ(fromList, poly);
  QImage pairs = Surface(100, 100);
  thin.DrawLine(&pairs, pts);
  EXPECT_TRUE(Inked(pairs, 50, 10));
  EXPECT_TRUE(Inked(pairs, 90, 50));
}

TEST(GdiDCEraser, FootprintSweepAndRefusals) {
  TestApp();
  CGdiDC gdi;
  const QRgb ink = 0xFF336699;
  QImage img = Surface(200, 120, ink);
  // Equal points sweep nothing.
  EXPECT_EQ(gdi.EraserRect(&img, CPoint(50, 50), CPoint(50, 50)), 0);
  EXPECT_EQ(img, Surface(200, 120, ink));

  ASSERT_EQ(gdi.EraserRect(&img, CPoint(50, 50), CPoint(100, 50)), 1);
  // The hull spans y 34..67 between the footprints, which alone would not cover (75, 36).
  EXPECT_EQ(img.pixel(75, 36), 0x01000000u);
  EXPECT_EQ(img.pixel(75, 65), 0x01000000u);
  EXPECT_EQ(img.pixel(50, 50), 0x01000000u);
  EXPECT_EQ(img.pixel(114, 56), 0x01000000u);
  EXPECT_EQ(img.pixel(75, 32), ink);
  EXPECT_EQ(img.pixel(75, 69), ink);
  EXPECT_EQ(img.pixel(36, 36), ink);  // outside the slanted corner
  EXPECT_EQ(img.pixel(120, 57), ink);

  // The same sweep upwards clears the same hull shape.
  QImage diag = Surface(200, 200, ink);
  gdi.EraserRect(&diag, CPoint(100, 100), CPoint(60, 140));
  EXPECT_EQ(diag.pixel(80, 120), 0x01000000u);
  EXPECT_EQ(diag.pixel(150, 150), ink);

  // Single point: the default footprint only.
  QImage one = Surface(100, 100, ink);
  gdi.EraserRect(&one, CPoint(50, 50));
  EXPECT_EQ(one.pixel(50, 50), 0x01000000u);
  EXPECT_EQ(one.pixel(62, 56), 0x01000000u);
  EXPECT_EQ(one.pixel(62, 40), ink);

  // Scaled footprint turned by the angle; scale below 1 refused.
  QImage scaled = Surface(100, 100, ink);
  EXPECT_EQ(gdi.EraserRect(&scaled, CPoint(50, 50), 0.5f, 0), 0);
  ASSERT_EQ(gdi.EraserRect(&scaled, CPoint(50, 50), 1.0f, 0), 1);
  EXPECT_EQ(scaled.pixel(41, 31), 0x01000000u);
  EXPECT_EQ(scaled.pixel(38, 50), ink);
  EXPECT_EQ(scaled.pixel(50, 72), ink);
  QImage turned = Surface(100, 100, ink);
  gdi.EraserRect(&turned, CPoint(50, 50), 1.0f, 90);
  EXPECT_EQ(turned.pixel(32, 50), 0x01000000u);
  EXPECT_EQ(turned.pixel(50, 32), ink);
  QImage swept = Surface(200, 100, ink);
  EXPECT_EQ(gdi.EraserRect(&swept, CPoint(50, 50), CPoint(150, 50), 2.0f, 0), 1);
  EXPECT_EQ(swept.pixel(100, 12), 0x01000000u);
  EXPECT_EQ(swept.pixel(100, 8), ink);
}

TEST(GdiDCEraser, ImagesClearToZeroRelativeToTheirPlacement) {
  TestApp();
  CGdiDC gdi;
  QImage obj = Surface(100, 100, 0xFF00FF00);
  const CRect placement(200, 300, 300, 400);
  ASSERT_EQ(gdi.EraserRect(&obj, placement, CPoint(250, 350)), 1);
  EXPECT_EQ(obj.pixel(50, 50), 0u);
  EXPECT_EQ(obj.pixel(90, 90), 0xFF00FF00u);
  // A sweep partly off the image clears what lies on it.
  ASSERT_EQ(gdi.EraserRect(&obj, placement, CPoint(190, 390), CPoint(210, 390), 1.0f, 0), 1);
  EXPECT_EQ(obj.pixel(5, 95), 0u);
  EXPECT_EQ(gdi.EraserRect(&obj, placement, CPoint(250, 350), CPoint(250, 350)), 0);
  QImage empty;
  EXPECT_EQ(gdi.EraserRect(&empty, placement, CPoint(250, 350)), 0);
  EXPECT_EQ(gdi.EraserRect(static_cast<QImage*>(nullptr), placement, CPoint(250, 350)), 0);
}

TEST(GdiDCEraser, IconHasWhiteBodyAndBlackBand) {
  TestApp();
  CGdiDC gdi;
  QImage img = Surface(100, 100);
  ASSERT_EQ(gdi.DrawEraser(&img, CPoint(50, 50), 1.0f, 0), 1);
  EXPECT_EQ(img.pixel(50, 50), 0xFF000000u);  // band across the middle
  EXPECT_EQ(img.pixel(50, 38), 0xFFFFFFFFu);  // white body
  EXPECT_EQ(img.pixel(50, 69), 0xFF000000u);  // outline
  EXPECT_EQ(img.pixel(50, 75), 0u);
  QImage turned = Surface(100, 100);
  gdi.DrawEraser(&turned, CPoint(50, 50), 1.0f, 90);
  EXPECT_EQ(turned.pixel(38, 50), 0xFFFFFFFFu);
  EXPECT_EQ(turned.pixel(50, 42), 0xFF000000u);  // the band now runs down
  EXPECT_EQ(turned.pixel(50, 37), 0u);
}

TEST(GdiDCText, OnlyExactFlagsCentreAndTheRectangleIsWashed) {
  TestApp();
  CGdiDC gdi;
  LOGFONTW lf;
  lf.lfHeight = -20;
  const char16_t face[] = u"DejaVu Sans";
  std::copy(std::begin(face), std::end(face), lf.lfFaceName);
  auto inkIn = [](const QImage& img) { return InkBounds(img, 100); };

  QImage centred = Surface(300, 60);
  ASSERT_EQ(gdi.DrawTextW(&centred, QStringLiteral("MMM"), &lf, CRect(0, 0, 300, 60), 0xFF000000, 0x25), 1);
  const CRect c = inkIn(centred);
  ASSERT_FALSE(c.IsRectEmpty());
  EXPECT_NEAR((c.left + c.right) / 2.0, 150.0, 3.0);
  EXPECT_NEAR((c.top + c.bottom) / 2.0, 30.0, 4.0);
  // Everywhere else in the rectangle alpha 1, so the layered window keeps the mouse.
  EXPECT_EQ(qAlpha(centred.pixel(5, 5)), 1);
  QImage outside = Surface(300, 80);
  gdi.DrawTextW(&outside, QStringLiteral("MMM"), &lf, CRect(0, 0, 300, 60), 0xFF000000, 0x25);
  EXPECT_EQ(outside.pixel(5, 70), 0u);

  for (unsigned flags : {0x24u, 0x01u, 0x05u}) {
    QImage left = Surface(300, 60);
    gdi.DrawTextW(&left, QStringLiteral("MMM"), &lf, CRect(0, 0, 300, 60), 0xFF000000, flags);
    const CRect l = inkIn(left);
    ASSERT_FALSE(l.IsRectEmpty());
    EXPECT_LT(l.left, 10) << "flags " << flags;
    EXPECT_NEAR((l.top + l.bottom) / 2.0, 30.0, 4.0);
  }

  std::unique_ptr<QImage> bitmap(gdi.DrawTextW(300, 60, QStringLiteral("MMM"), &lf, 0xFFFF0000, 0x25));
  ASSERT_NE(bitmap, nullptr);
  EXPECT_NEAR((inkIn(*bitmap).left + inkIn(*bitmap).right) / 2.0, 150.0, 3.0);
  EXPECT_EQ(bitmap->pixel(2, 2), 0u);  // the image forms are not washed
  std::unique_ptr<QImage> saved(gdi.SaveText(QStringLiteral("MMM"), &lf, 300, 60, 0xFFFF0000));
  ASSERT_NE(saved, nullptr);
  EXPECT_LT(inkIn(*saved).top, 15);  // from the top-left corner
  EXPECT_LT(inkIn(*saved).left, 10);
  EXPECT_EQ(gdi.SaveText(QStringLiteral("x"), &lf, 0, 10, 0xFF000000), nullptr);
}

TEST(GdiDCImages, DrawScaledRotatedWithAttributesAndUpdate) {
  TestApp();
  CGdiDC gdi;
  QImage src = Surface(20, 20, 0xFF0000FF);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 10; ++x) src.setPixel(x, y, 0xFFFF0000);  // left half red
  QImage dst = Surface(100, 100);
  EXPECT_EQ(gdi.DrawImage(&dst, &src, CRect(10, 10, 10, 50)), 0);
  ASSERT_EQ(gdi.DrawImage(&dst, &src, CRect(0, 0, 80, 40)), 1);
  EXPECT_EQ(dst.pixel(10, 20), 0xFFFF0000u);
  EXPECT_EQ(dst.pixel(70, 20), 0xFF0000FFu);
  EXPECT_EQ(dst.pixel(90, 20), 0u);

  QImage rotated = Surface(100, 100);
  ASSERT_EQ(gdi.DrawImage(&rotated, &src, CRect(20, 20, 80, 80), 90), 1);
  // Turned clockwise: the red left half is now on top.
  EXPECT_EQ(rotated.pixel(50, 30), 0xFFFF0000u);
  EXPECT_EQ(rotated.pixel(50, 70), 0xFF0000FFu);

  Gdiplus::ImageAttributes attr;
  attr.SetColorKey(0xFFFF0000, 0xFFFF0000);
  QImage keyed = Surface(100, 100);
  ASSERT_EQ(gdi.DrawImage(&keyed, &src, CRect(0, 0, 20, 20), &attr), 1);
  EXPECT_EQ(keyed.pixel(5, 5), 0u);
  EXPECT_EQ(keyed.pixel(15, 5), 0xFF0000FFu);
  Gdiplus::ColorMatrix half{};
  for (int i = 0; i < 5; ++i) half.m[i][i] = 1.0f;
  half.m[3][3] = 0.5f;
  attr.ClearColorKey();
  attr.SetColorMatrix(half);
  QImage faded = Surface(40, 40);
  gdi.DrawImage(&faded, &src, CRect(0, 0, 10, 10), CRect(10, 0, 20, 10), &attr);
  EXPECT_NEAR(qAlpha(faded.pixel(5, 5)), 128, 1);
  EXPECT_EQ(gdi.DrawImage(&faded, &src, CRect(0, 0, 10, 10), CRect(0, 0, 0, 10), nullptr), 0);

  QImage* object = new QImage(src);
  ASSERT_EQ(gdi.UpdateImage(object, 40, 10), 1);
  EXPECT_EQ(object->size(), QSize(40, 10));
  EXPECT_EQ(object->pixel(5, 5), 0xFFFF0000u);
  EXPECT_EQ(gdi.UpdateImage(object, 0, 10), 0);
  EXPECT_EQ(object->size(), QSize(40, 10));  // refused: kept as it was
  delete object;
  QImage* none = nullptr;
  EXPECT_EQ(gdi.UpdateImage(none, 10, 10), 0);
}

TEST(GdiDCSurface, ClearAndPasteOnALayeredWindow) {
  TestApp();
  CGdiDC gdi;
  QImage layer = Surface(200, 100, 0xFFFFFFFF);
  ASSERT_EQ(gdi.Clear(&layer, 0x01000000), 1);
  EXPECT_EQ(layer.pixel(0, 0), 0x01000000u);
  EXPECT_EQ(layer.pixel(199, 99), 0x01000000u);
  gdi.DrawFillRect(&layer, CPoint(0, 0), CPoint(10, 10), 0xFFFF0000);

  CLayeredWindow window;
  window.resize(120, 80);
  EXPECT_EQ(gdi.Paste(nullptr, &layer, 255), 0);
  EXPECT_EQ(gdi.Paste(&window, nullptr, 255), 0);
  ASSERT_EQ(gdi.Paste(&window, &layer, 200), 1);
  const QImage shown = PresentedImage(&window);
  EXPECT_EQ(shown.size(), QSize(120, 80));  // the window's size, from the origin
  EXPECT_EQ(shown.pixel(5, 5), 0xFFFF0000u);
  EXPECT_EQ(PresentedAlpha(&window), 200);
  // Painting the window shows the picture at the constant alpha.
  QImage onScreen(120, 80, QImage::Format_ARGB32_Premultiplied);
  onScreen.fill(Qt::transparent);
  window.render(&onScreen, QPoint(), QRegion(), QWidget::DrawChildren);
  EXPECT_NEAR(qAlpha(onScreen.pixel(5, 5)), 200, 2);
  EXPECT_LE(qAlpha(onScreen.pixel(50, 50)), 1);
}

TEST(GdiDCText, LogFontsMapToFonts) {
  TestApp();
  LOGFONTW lf;
  lf.lfHeight = -30;
  lf.lfWeight = 700;
  lf.lfItalic = 1;
  const char16_t face[] = u"DejaVu Sans";
  std::copy(std::begin(face), std::end(face), lf.lfFaceName);
  QFont font = FontFromLogFont(lf);
  EXPECT_EQ(font.pixelSize(), 30);
  EXPECT_EQ(font.weight(), QFont::Bold);
  EXPECT_TRUE(font.italic());
  EXPECT_EQ(font.families().value(0), QStringLiteral("DejaVu Sans"));
  // A positive height is the cell: the characters come out smaller.
  lf.lfHeight = 30;
  EXPECT_LE(FontFromLogFont(lf).pixelSize(), 30);
  // Absurd heights from a description file stay usable.
  lf.lfHeight = std::numeric_limits<LONG>::min();
  EXPECT_EQ(FontFromLogFont(lf).pixelSize(), 4096);
}
