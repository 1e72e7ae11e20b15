#pragma once
// Shared ground of the overlay layer tests: a top-level window holding a
// host window (a stand-in for the preview) that paints a known pattern and
// records every numbered message it receives; mouse input through the
// window system; screen shots of the top-level window; the same on a real
// X server with screen grabs.

#include <QDir>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "canvas/screengrabber.h"
#include "overlay/overlay_messages.h"
#include "platform/window.h"
#include "tests/fundara/scratch_env.h"
#include "tests/support/test_app.h"

namespace overlay_test {

// The host's picture: 16-pixel squares of four colours, so that every
// point's colour is known.
inline QColor PatternAt(int x, int y) {
  static const QColor colours[4] = {QColor(200, 120, 40), QColor(30, 160, 220), QColor(250, 250, 250),
                                    QColor(90, 60, 140)};
  return colours[((x / 16) + 2 * (y / 16)) % 4];
}

// Saves a shot for people to look at: $BREVIO_TEST_OUTPUT/<folder>/<name>.png.
inline void SaveShot(const QImage& shot, const QString& name, const QString& folder = QStringLiteral("overlay")) {
  const QByteArray base = qgetenv("BREVIO_TEST_OUTPUT");
  const QString dir = (base.isEmpty() ? QDir::tempPath() : QString::fromLocal8Bit(base)) + "/" + folder;
  QDir().mkpath(dir);
  shot.save(dir + "/" + name + ".png");
}

class PatternHost : public CWnd {
 public:
  struct Message {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
  };
  std::vector<Message> messages;
  std::size_t Count(UINT msg) const {
    std::size_t n = 0;
    for (const Message& m : messages) n += m.msg == msg;
    return n;
  }

 protected:
  bool OnEraseBkgnd(QPainter& p) override {
    for (int y = 0; y < height(); y += 16)
      for (int x = 0; x < width(); x += 16) p.fillRect(x, y, 16, 16, PatternAt(x, y));
    return true;
  }
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    messages.push_back({msg, wParam, lParam});
    return CWnd::WindowProc(msg, wParam, lParam);
  }
};

// A top-level window 800 × 600 with the host at (kHostX, kHostY), 640 × 480.
class LayerHostTest : public fundara_test::ScratchEnv {
 protected:
  static constexpr int kHostX = 80;
  static constexpr int kHostY = 60;
  void SetUp() override {
    ScratchEnv::SetUp();
    TestApp();
    top.Create(CWnd::Kind::Popup, "top", CRect(0, 0, 800, 600));
    host.Create(CWnd::Kind::Child, "", CRect(kHostX, kHostY, kHostX + 640, kHostY + 480), &top);
    host.ShowWindow(SW_SHOW);
    top.ShowWindow(SW_SHOW);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&top));
  }
  // A point of the host's client area in the top-level window.
  static QPoint InTop(CPoint p) { return QPoint(p.x + kHostX, p.y + kHostY); }
  void Press(CPoint p) { QTest::mousePress(top.windowHandle(), Qt::LeftButton, {}, InTop(p)); }
  void Move(CPoint p) { QTest::mouseMove(top.windowHandle(), InTop(p)); }
  void Release(CPoint p) { QTest::mouseRelease(top.windowHandle(), Qt::LeftButton, {}, InTop(p)); }
  // A left-button drag in host client coordinates, in a few steps.
  void Drag(CPoint from, CPoint to, int steps = 3) {
    Press(from);
    for (int i = 1; i <= steps; ++i)
      Move(CPoint(from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps));
    Release(to);
  }
  // The top-level window as it shows, layers included.
  QImage Shot() {
    QCoreApplication::processEvents();
    return top.grab().toImage();
  }
  // Runs posted messages.
  static void Settle() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  }
  // Presses and releases `key` on a layer: how many Escape notices reached
  // the host (each with the key and the repeat count 1).
  std::size_t EscapeNotices(QWidget* layer, int key) {
    messages().clear();
    QTest::keyPress(layer, static_cast<Qt::Key>(key));
    QTest::keyRelease(layer, static_cast<Qt::Key>(key));
    Settle();
    std::size_t n = 0;
    for (const PatternHost::Message& m : messages())
      n += m.msg == WM_LAYER_ESCAPE && m.wParam == VK_ESCAPE && m.lParam == 1;
    return n;
  }

  std::vector<PatternHost::Message>& messages() { return host.messages; }

  QApplication& app = TestApp();  // before the windows
  CWnd top;
  PatternHost host;
};

// The same with an empty data folder: no description files, no pictures.
class LayerHostWithoutFiles : public LayerHostTest {
 protected:
  void SetUp() override {
    LayerHostTest::SetUp();
    const std::filesystem::path empty = root / "no-data";
    std::filesystem::create_directories(empty);
    setenv("BREVIO_DATA_DIR", empty.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("BREVIO_DATA_DIR");
    LayerHostTest::TearDown();
  }
};

// On a real X server: a top-level window 800 × 600 at (200, 150) with the
// host at (80, 60) in it, 640 × 480, and a screen grabber.
class XLayerHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    top.Create(CWnd::Kind::Popup, "layer host", CRect(200, 150, 1000, 750));
    host.Create(CWnd::Kind::Child, "", CRect(80, 60, 720, 540), &top);
    host.ShowWindow(SW_SHOW);
    top.ShowWindow(SW_SHOW);
    ASSERT_TRUE(grabber.Open());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&top));
  }
  // The host's area of the screen after a moment, saved under `name`.
  QImage GrabHost(const QString& name, int waitMs = 150) {
    QTest::qWait(waitMs);
    CScreenGrabber::Frame shot;
    if (!grabber.Grab(host.GetWindowRect(), shot, nullptr, false)) return {};
    QImage image = QImage(shot.pixels, shot.width, shot.height, shot.stride, QImage::Format_RGB32).copy();
    SaveShot(image, name);
    return image;
  }
  // A point of the host's client area on the screen.
  CPoint OnScreen(CPoint p) const {
    const CRect h = host.GetWindowRect();
    return CPoint(h.left + p.x, h.top + p.y);
  }

  QApplication& app = TestApp();  // before the windows
  CWnd top;
  PatternHost host;
  CScreenGrabber grabber;
};

}  // namespace overlay_test
