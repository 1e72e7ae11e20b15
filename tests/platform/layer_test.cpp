// Layers over a host window, headless: the drawn region of a picture, where
// a layer sits as its host moves, resizes, hides and ends, what the blend
// looks like, and which window a click lands on.

#include "platform/layer_shape.h"
#include "platform/window.h"

#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/test_app.h"
#include "tests/support/wait.h"

namespace {

QImage Picture(int w, int h, QRgb fill) {
  QImage image(w, h, QImage::Format_ARGB32);
  image.fill(fill);
  return image;
}

TEST(DrawnRegion, PixelsThatAreNeitherTransparentNorTheKey) {
  struct Case {
    const char* name;
    QRgb fill;
    std::vector<std::pair<QRect, QRgb>> patches;
    std::optional<QRgb> key;
    QRect area;
    QRegion expected;
  };
  const QRect all(0, 0, 20, 10);
  const std::vector<Case> cases = {
      {"transparent", 0x00000000u, {}, std::nullopt, all, QRegion()},
      {"alpha 1 still takes the mouse", 0x01000000u, {}, std::nullopt, all, QRegion(all)},
      {"hole", 0xFF102030u, {{QRect(5, 2, 4, 3), 0x00FFFFFFu}}, std::nullopt, all,
       QRegion(all).subtracted(QRegion(5, 2, 4, 3))},
      {"key colour left out", 0xFFFFFFFFu, {{QRect(2, 2, 3, 3), 0xFF000000u}}, 0xFFFFFFFFu, all,
       QRegion(2, 2, 3, 3)},
      {"key matches whatever the alpha", 0x80FFFFFFu, {{QRect(0, 0, 1, 1), 0x80FFFFFEu}}, 0xFFFFFFFFu, all,
       QRegion(0, 0, 1, 1)},
      {"two bands and two runs", 0x00000000u,
       {{QRect(0, 0, 2, 4), 0xFF0000FFu}, {QRect(10, 0, 3, 4), 0xFF0000FFu}, {QRect(0, 4, 20, 1), 0x10000000u}},
       std::nullopt, all,
       QRegion(0, 0, 2, 4).united(QRegion(10, 0, 3, 4)).united(QRegion(0, 4, 20, 1))},
      {"runs reach the right edge", 0x00000000u, {{QRect(15, 9, 5, 1), 0xFFFFFFFFu}}, std::nullopt, all,
       QRegion(15, 9, 5, 1)},
      {"area clipped to the picture", 0xFF000000u, {}, std::nullopt, QRect(15, 5, 30, 30), QRegion(15, 5, 5, 5)},
  };
  for (const Case& c : cases) {
    QImage image = Picture(20, 10, c.fill);
    for (const auto& [r, colour] : c.patches)
      for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) image.setPixel(x, y, colour);
    EXPECT_EQ(DrawnRegion(image, c.area, c.key), c.expected) << c.name;
    // The premultiplied form of the same picture draws the same pixels.
    if (!c.key) {
      EXPECT_EQ(DrawnRegion(image.convertToFormat(QImage::Format_ARGB32_Premultiplied), c.area), c.expected)
          << c.name;
    }
  }
}

// A picture with translucent and transparent pixels in a pattern that
// depends on the seed, so that both the colours and the drawn region of
// two seeds differ.
QImage Patterned(QSize size, int seed) {
  QImage image(size, QImage::Format_ARGB32);
  for (int y = 0; y < size.height(); ++y)
    for (int x = 0; x < size.width(); ++x) {
      const int v = (x * 7 + y * 3 + seed * 11) % 23;
      image.setPixel(x, y, v < 5 ? 0u : qRgba(x * seed % 256, y * 5 % 256, (x + y) % 256, v * 11 % 256 | 1));
    }
  return image;
}

// Presenting a picture that changed only inside a rectangle converts,
// rescans and repaints only that part; the window then holds what
// presenting the whole picture gives, and falls back to that whenever the
// part cannot follow from what it presents.
TEST(LayeredImage, APartialUpdateEndsWhereAWholeOneDoes) {
  TestApp();
  const QSize size(200, 120);
  struct Case {
    const char* name;
    QRect changed;
    int alphaBefore;  // < 0: attributes, no picture, before
    int alpha;
    QSize newSize;
  };
  const Case cases[] = {
      {"inside", QRect(30, 20, 41, 25), 255, 255, size},
      {"over the right and bottom edges", QRect(170, 100, 80, 60), 255, 255, size},
      {"above and left of the picture", QRect(-10, -10, 25, 15), 200, 200, size},
      {"whole picture", QRect(QPoint(0, 0), size), 255, 255, size},
      {"nothing changed", QRect(), 255, 255, size},
      {"another alpha presents all", QRect(30, 20, 10, 10), 255, 128, size},
      {"another size presents all", QRect(30, 20, 10, 10), 255, 255, QSize(210, 120)},
      {"no picture before presents all", QRect(30, 20, 10, 10), -1, 255, size},
      {"alpha 0 draws nothing", QRect(30, 20, 10, 10), 0, 0, size},
  };
  for (const Case& c : cases) {
    CWnd w;
    w.Create(CWnd::Kind::Tool, "", CRect(0, 0, size.width(), size.height()));
    const QImage first = Patterned(size, 1);
    if (c.alphaBefore < 0)
      w.SetLayeredAttributes(255, std::nullopt);
    else
      w.UpdateLayeredImage(first, c.alphaBefore);
    // The new picture: the first one with the changed part from another
    // pattern, or another pattern altogether at another size.
    QImage next = Patterned(c.newSize, 2);
    if (c.newSize == size) {
      const QRect part = c.changed & first.rect();
      QImage mixed = first;
      for (int y = part.top(); y <= part.bottom(); ++y)
        for (int x = part.left(); x <= part.right(); ++x) mixed.setPixel(x, y, next.pixel(x, y));
      next = mixed;
    }
    w.UpdateLayeredImage(next, c.changed, c.alpha);
    const QImage expected = next.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(w.GetLayeredImage(), expected) << c.name;
    EXPECT_EQ(w.GetLayeredAlpha(), c.alpha) << c.name;
    const QRegion drawn = c.alpha > 0 ? DrawnRegion(expected, w.rect()) : QRegion();
    EXPECT_TRUE((w.GetDrawnRegion() ^ drawn).isEmpty()) << c.name;
  }
}

// A window that paints one colour, and, when told, leaves a transparent
// square in its middle; it counts presses.
class FlatWnd : public CWnd {
 public:
  explicit FlatWnd(QColor c) : colour(c) {}
  QColor colour;
  QRect hole;
  int presses = 0;

 protected:
  bool OnEraseBkgnd(QPainter& p) override {
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(rect(), colour);
    if (!hole.isEmpty()) p.fillRect(hole, Qt::transparent);
    return true;
  }
  bool OnLButtonDown(UINT, CPoint) override {
    ++presses;
    return true;
  }
};

// A top-level window with a host child at (100, 50), 200 × 120.
class LayerFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    top.Create(CWnd::Kind::Popup, "top", CRect(40, 30, 640, 430));
    host.Create(CWnd::Kind::Child, "", CRect(100, 50, 300, 170), &top);
    host.ShowWindow(SW_SHOW);
    top.ShowWindow(SW_SHOW);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&top));
  }
  // The top-level window as it shows, layers blended in. A layer's drawn
  // region follows its paint, and a paint that changes it paints again
  // (here: grabs again).
  QImage Shot() {
    top.grab();
    QCoreApplication::processEvents();
    return top.grab().toImage();
  }
  QApplication& app = TestApp();  // before the windows
  FlatWnd top{QColor(0, 0, 0)};
  FlatWnd host{QColor(200, 100, 40)};
};

TEST_F(LayerFixture, FollowsItsHostAndEndsWithIt) {
  QPointer<FlatWnd> layer = new FlatWnd(QColor(0, 0, 255));
  const CRect hostOnScreen = host.GetWindowRect();
  EXPECT_FALSE(layer->Create(CWnd::Kind::Layer, "", CRect(0, 0, 10, 10), nullptr));
  ASSERT_TRUE(layer->Create(CWnd::Kind::Layer, "layer", CRect(hostOnScreen.left + 10, hostOnScreen.top + 20,
                                                                hostOnScreen.left + 60, hostOnScreen.top + 50),
                            &host, 7));
  EXPECT_EQ(layer->parentWidget(), &top);  // a child of the top-level window
  EXPECT_EQ(layer->GetParentWnd(), &host);  // whose messages go to the host
  EXPECT_TRUE(layer->IsLayer());
  layer->ShowWindow(SW_SHOW);
  EXPECT_TRUE(layer->IsWindowVisible());
  EXPECT_EQ(layer->geometry(), QRect(110, 70, 50, 30));

  struct Step {
    const char* name;
    std::function<void()> act;
    QRect expected;  // in the top-level window
    bool visible;
  };
  const std::vector<Step> steps = {
      {"host moves", [&] { host.move(150, 60); }, QRect(160, 80, 50, 30), true},
      {"host grows (the layer keeps its size)", [&] { host.resize(300, 200); }, QRect(160, 80, 50, 30), true},
      {"host hides", [&] { host.ShowWindow(SW_HIDE); }, QRect(160, 80, 50, 30), false},
      {"layer shown while the host is hidden", [&] { layer->ShowWindow(SW_SHOW); }, QRect(160, 80, 50, 30), false},
      {"host shows again", [&] { host.ShowWindow(SW_SHOW); }, QRect(160, 80, 50, 30), true},
      {"top-level moves", [&] { top.move(10, 10); }, QRect(160, 80, 50, 30), true},
      {"placed over the whole host", [&] { layer->MoveWindow(host.GetWindowRect()); }, QRect(150, 60, 300, 200),
       true},
      {"a covering layer keeps covering", [&] { host.setGeometry(0, 0, 600, 400); }, QRect(0, 0, 600, 400), true},
  };
  for (const Step& s : steps) {
    s.act();
    QCoreApplication::processEvents();
    EXPECT_EQ(layer->geometry(), s.expected) << s.name;
    EXPECT_EQ(layer->isVisible(), s.visible) << s.name;
  }
  // A window added to the top-level window later stays below the layer.
  FlatWnd later(QColor(1, 2, 3));
  later.Create(CWnd::Kind::Child, "", CRect(0, 0, 600, 400), &top);
  later.ShowWindow(SW_SHOW);
  Shot();
  EXPECT_EQ(top.childAt(300, 200), layer.data());

  // The host's end ends the layer.
  auto* doomed = new FlatWnd(QColor(9, 9, 9));
  doomed->Create(CWnd::Kind::Child, "", CRect(0, 0, 50, 50), &top);
  layer->Create(CWnd::Kind::Layer, "", doomed->GetWindowRect(), doomed);
  delete doomed;
  EXPECT_FALSE(layer->isVisible());
  ASSERT_TRUE(WaitUntil([&] {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return layer.isNull();
  }));
}

TEST_F(LayerFixture, BlendsByItsAttributesAndTakesTheMouseWhereItDraws) {
  FlatWnd layer(QColor(0, 0, 255));
  layer.Create(CWnd::Kind::Layer, "", host.GetWindowRect(), &host);
  layer.ShowWindow(SW_SHOW);
  const QPoint inside(150, 100);  // top-level coordinates, over host and layer
  struct Case {
    const char* name;
    std::function<void()> set;
    QColor expected;  // at `inside`
    bool layerTakesTheMouse;
  };
  const auto mix = [](int host, int layer, int alpha) { return (host * (255 - alpha) + layer * alpha) / 255; };
  const std::vector<Case> cases = {
      {"opaque", [&] { layer.SetLayeredAttributes(std::nullopt, std::nullopt); }, QColor(0, 0, 255), true},
      {"constant alpha 120", [&] { layer.SetLayeredAttributes(120, std::nullopt); },
       QColor(mix(200, 0, 120), mix(100, 0, 120), mix(40, 255, 120)), true},
      {"alpha 1 catches the mouse", [&] { layer.SetLayeredAttributes(1, std::nullopt); },
       QColor(mix(200, 0, 1), mix(100, 0, 1), mix(40, 255, 1)), true},
      {"alpha 0 lets it through", [&] { layer.SetLayeredAttributes(0, std::nullopt); }, QColor(200, 100, 40),
       false},
      {"colour key", [&] { layer.SetLayeredAttributes(120, QColor(0, 0, 255)); }, QColor(200, 100, 40), false},
      {"another key", [&] { layer.SetLayeredAttributes(120, QColor(255, 255, 255)); },
       QColor(mix(200, 0, 120), mix(100, 0, 120), mix(40, 255, 120)), true},
      {"transparent pixels", [&] {
         layer.hole = QRect(20, 20, 100, 60);
         layer.SetLayeredAttributes(std::nullopt, std::nullopt);
       }, QColor(200, 100, 40), false},
      {"per-pixel picture", [&] { layer.UpdateLayeredImage(Picture(200, 120, 0x8000FF00u), 255); },
       QColor(mix(200, 0, 128), mix(100, 255, 128), mix(40, 0, 128)), true},
      {"per-pixel picture times constant alpha 0", [&] { layer.UpdateLayeredImage(Picture(200, 120, 0xFF00FF00u), 0); },
       QColor(200, 100, 40), false},
  };
  for (const Case& c : cases) {
    c.set();
    const QColor got = Shot().pixelColor(inside);
    EXPECT_NEAR(got.red(), c.expected.red(), 2) << c.name;
    EXPECT_NEAR(got.green(), c.expected.green(), 2) << c.name;
    EXPECT_NEAR(got.blue(), c.expected.blue(), 2) << c.name;
    // A real press through the window system lands on the window Qt finds there.
    const int layerBefore = layer.presses, hostBefore = host.presses;
    QTest::mouseClick(top.windowHandle(), Qt::LeftButton, {}, inside);
    EXPECT_EQ(layer.presses - layerBefore, c.layerTakesTheMouse ? 1 : 0) << c.name;
    EXPECT_EQ(host.presses - hostBefore, c.layerTakesTheMouse ? 0 : 1) << c.name;
  }
  // Passing the mouse through wins over what is drawn.
  layer.hole = QRect();
  layer.SetLayeredAttributes(255, std::nullopt);
  Shot();
  layer.SetMousePassThrough(true);
  EXPECT_NE(top.childAt(inside), &layer);
  layer.SetMousePassThrough(false);
  EXPECT_EQ(top.childAt(inside), &layer);
}

}  // namespace
