// Annotation in the real program over a pattern window, with and without a
// compositing manager: strokes drawn through XTEST show on the screen, the
// highlighter blends the pattern under it, the rest of the screen stays the
// pattern (never black), in mouse mode a click reaches the pattern window,
// and the exit button brings the start menu back.

#include <gtest/gtest.h>

#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QWidget>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/caption.h"
#include "platform/compositor.h"
#include "tests/fundara/scratch_env.h"
#include "tests/support/test_app.h"
#include "tests/support/x_session.h"

#ifndef BREVIO_PROGRAM
#error "BREVIO_PROGRAM must name the program under test"
#endif

namespace {

using namespace x_session;

// Vertical bands of five colours, 40 pixels each; counts the presses it gets.
class PatternWindow : public QWidget {
 public:
  PatternWindow() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {}
  static QColor At(int x) {
    static const QColor bands[] = {QColor(200, 60, 60), QColor(60, 160, 60), QColor(60, 60, 200),
                                   QColor(220, 220, 220), QColor(90, 90, 90)};
    return bands[(x / 40) % 5];
  }
  int presses = 0;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    for (int x = 0; x < width(); x += 40) p.fillRect(x, 0, 40, height(), At(x));
  }
  void mousePressEvent(QMouseEvent*) override { ++presses; }
};

struct Rgb {
  int r, g, b;
};

Rgb PixelAt(CScreenGrabber& grabber, int x, int y) {
  const std::vector<unsigned char> px = GrabArea(grabber, CRect(x, y, x + 1, y + 1));
  return px.size() == 3 ? Rgb{px[2], px[1], px[0]} : Rgb{-1, -1, -1};
}

bool Near(const Rgb& a, const QColor& b, int tolerance = 8) {
  return std::abs(a.r - b.red()) <= tolerance && std::abs(a.g - b.green()) <= tolerance &&
         std::abs(a.b - b.blue()) <= tolerance;
}

std::string Describe(const Rgb& c) {
  return std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b);
}

// The highlighter's green at alpha 128 over a colour.
QColor Highlighted(const QColor& under) {
  auto mix = [](int below, int pen) { return (below * 127 + pen * 128) / 255; };
  return QColor(mix(under.red(), 0), mix(under.green(), 255), mix(under.blue(), 0));
}

class PaintOnScreen : public fundara_test::ScratchEnv, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    ScratchEnv::SetUp();
    TestApp();
    if (GetParam()) {
      const QString compositor = QStandardPaths::findExecutable(QStringLiteral("xcompmgr"));
      if (compositor.isEmpty()) GTEST_SKIP() << "xcompmgr is not installed";
      xcompmgr.start(compositor, {});
      ASSERT_TRUE(xcompmgr.waitForStarted(5000));
      ASSERT_TRUE(WaitUntil([] { return CompositorRunning(); }, 10000)) << "the compositing manager did not start";
    }
    pattern.setGeometry(0, 0, 1920, 1080);
    pattern.show();
    ASSERT_TRUE(grabber.Open());
    ASSERT_TRUE(WaitUntil([&] { return Near(PixelAt(grabber, 500, 500), PatternWindow::At(500), 2); }, 10000));
  }
  void TearDown() override {
    for (QProcess* p : {&brevio, &xcompmgr})
      if (p->state() != QProcess::NotRunning) {
        p->kill();
        p->waitForFinished(5000);
      }
    ScratchEnv::TearDown();
  }
  void Shot(const char* name) {
    const QString output = QString::fromLocal8Bit(qgetenv("BREVIO_TEST_OUTPUT"));
    if (!output.isEmpty())
      GrabScreen(grabber).save(output + QStringLiteral("/paint_%1_%2.png")
                                            .arg(GetParam() ? QStringLiteral("composited") : QStringLiteral("plain"))
                                            .arg(QString::fromLatin1(name)));
  }
  // The whole band below the strokes still shows the pattern.
  void ExpectPatternAt(int y, const char* when) {
    for (int x = 20; x < 1800; x += 37)
      EXPECT_TRUE(Near(PixelAt(grabber, x, y), PatternWindow::At(x)))
          << when << " at " << x << "," << y << ": " << Describe(PixelAt(grabber, x, y));
  }
  void Pause(int ms) { WaitUntil([] { return false; }, ms); }

  struct AppFirst {
    AppFirst() { TestApp(); }
  } app_;
  QProcess xcompmgr;
  QProcess brevio;
  PatternWindow pattern;
  CScreenGrabber grabber;
};

// The palette's buttons on a 1920-pixel screen: the column at x 1850..1890
// from y 30, the mode buttons 36 pixels apart from y 54.
CPoint PaletteButton(int index) { return CPoint(1870, 30 + 24 + index * 36 + 17); }
constexpr int kMouse = 0, kPen2 = 2, kPen3 = 3, kExit = 13;

// Clicks a mode button and waits until the palette shows it selected and
// the one before not (their faces orange and not: hovering lights a button
// too, the previous selection goes only when the program has changed mode),
// so a loaded machine cannot start a stroke before the mode has changed.
bool ChooseMode(CScreenGrabber& grabber, int index, int previous) {
  const CPoint button = PaletteButton(index), before = PaletteButton(previous);
  auto selected = [&](CPoint b) { return Near(PixelAt(grabber, b.x - 14, b.y), QColor(194, 65, 12), 12); };
  if (!ClickAt(button.x, button.y)) return false;
  return WaitUntil([&] { return selected(button) && !selected(before); }, 10000);
}

TEST_P(PaintOnScreen, StrokesShowOverTheDesktopAndTheMouseModeLetsClicksThrough) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("BREVIO_DEMO_CAMERA"), QStringLiteral("1"));
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  brevio.setProcessEnvironment(env);
  brevio.setProcessChannelMode(QProcess::ForwardedChannels);
  brevio.start(QStringLiteral(BREVIO_PROGRAM), {});
  ASSERT_TRUE(brevio.waitForStarted(10000));
  ASSERT_TRUE(WaitUntil([&] { return StartMenuPainted(grabber); }, 30000)) << "no start menu";

  // The annotation tile of the start menu.
  const CSize screen = grabber.ScreenSize();
  ASSERT_TRUE(ClickAt((screen.cx - 960) / 2 + 210 + 84, (screen.cy - 600) / 2 + 160 + 84));
  ASSERT_TRUE(WaitUntil([&] { return Near(PixelAt(grabber, 1870, 30 + 550), QColor(0x14, 0x20, 0x2B), 3); }, 20000))
      << "the palette did not show";
  ASSERT_TRUE(WaitUntil([&] { return Near(PixelAt(grabber, 500, 500), PatternWindow::At(500), 2); }, 10000))
      << "the desktop does not show through";
  Shot("shown");

  ASSERT_TRUE(ChooseMode(grabber, kPen2, kMouse)) << "the pen was not selected";
  ExpectPatternAt(800, "pen chosen");
  // Drawn at once: without a compositing manager the program is still
  // grabbing the screen below, and the stroke must not fall through to it.
  const int pressesBelow = pattern.presses;
  ASSERT_TRUE(DragThrough({CPoint(200, 300), CPoint(800, 300), CPoint(800, 400)}));
  Pause(300);  // the program ends its pointer grab
  ASSERT_TRUE(ChooseMode(grabber, kPen3, kPen2)) << "the highlighter was not selected";
  ASSERT_TRUE(DragThrough({CPoint(200, 600), CPoint(1000, 600)}));
  EXPECT_TRUE(WaitUntil([&] { return Near(PixelAt(grabber, 500, 300), QColor(255, 0, 0)); }, 5000))
      << Describe(PixelAt(grabber, 500, 300));
  EXPECT_TRUE(WaitUntil([&] { return Near(PixelAt(grabber, 570, 600), Highlighted(PatternWindow::At(570))); }, 5000))
      << Describe(PixelAt(grabber, 570, 600));
  Shot("drawn");
  EXPECT_EQ(pattern.presses, pressesBelow) << "a stroke reached the window below";
  EXPECT_TRUE(Near(PixelAt(grabber, 800, 350), QColor(255, 0, 0))) << Describe(PixelAt(grabber, 800, 350));
  for (int x : {410, 450, 490, 530, 570})
    EXPECT_TRUE(Near(PixelAt(grabber, x, 600), Highlighted(PatternWindow::At(x))))
        << x << ": " << Describe(PixelAt(grabber, x, 600));
  ExpectPatternAt(800, "after drawing");
  ExpectPatternAt(450, "between the strokes");

  // Mouse mode: the drawing stays, clicks reach the window below.
  ASSERT_TRUE(ChooseMode(grabber, kMouse, kPen3)) << "the mouse mode was not selected";
  EXPECT_TRUE(WaitUntil([&] { return InputWindowAt(1000, 900) == pattern.winId(); }, 5000))
      << "the canvas still takes the input";
  const int before = pattern.presses;
  ASSERT_TRUE(ClickAt(1000, 900));
  EXPECT_TRUE(WaitUntil([&] { return pattern.presses > before; }, 5000)) << "the click did not pass through";
  Pause(300);
  Shot("mouse");
  EXPECT_TRUE(Near(PixelAt(grabber, 500, 300), QColor(255, 0, 0), 10)) << Describe(PixelAt(grabber, 500, 300));
  ExpectPatternAt(800, "mouse mode");

  // Exit: the start menu comes back.
  ASSERT_TRUE(ClickAt(PaletteButton(kExit).x, PaletteButton(kExit).y));
  EXPECT_TRUE(WaitUntil([&] { return StartMenuPainted(grabber); }, 20000)) << "the start menu did not come back";
  Shot("exit");
  brevio.terminate();
  EXPECT_TRUE(brevio.waitForFinished(15000));
}

INSTANTIATE_TEST_SUITE_P(Compositor, PaintOnScreen, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? std::string("Composited") : std::string("Plain");
                         });

}  // namespace
