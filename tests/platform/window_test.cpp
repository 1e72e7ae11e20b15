#include "platform/window.h"

#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "tests/support/test_app.h"

namespace {

// A window that records what its hooks saw.
class ProbeWnd : public CWnd {
 public:
  std::vector<UINT> timerIds;
  std::vector<std::pair<UINT, CPoint>> downs;
  std::vector<CPoint> moves;
  std::vector<short> wheel;
  std::vector<UINT> keys;
  bool handleDown = true;
  LRESULT lastProc = 0;

 protected:
  void OnTimer(UINT id) override { timerIds.push_back(id); }
  bool OnLButtonDown(UINT flags, CPoint p) override {
    downs.emplace_back(flags, p);
    return handleDown;
  }
  void OnMouseMove(UINT, CPoint p) override { moves.push_back(p); }
  bool OnMouseWheel(UINT, short delta, CPoint) override {
    wheel.push_back(delta);
    return true;
  }
  void OnKeyDown(UINT vk) override { keys.push_back(vk); }
  LRESULT WindowProc(UINT msg, WPARAM w, LPARAM) override { return lastProc = msg + w; }
  void OnPaint(QPainter& p) override { p.fillRect(rect(), QColor(10, 200, 30)); }
};

}  // namespace

TEST(Window, ShowStateRectanglesAndChildren) {
  TestApp();
  ProbeWnd top;
  ASSERT_TRUE(top.Create(CWnd::Kind::Popup, "Top", CRect(100, 50, 500, 350)));
  EXPECT_EQ(top.GetShowState(), 0);
  EXPECT_EQ(top.ShowWindow(SW_SHOW), 0);
  EXPECT_EQ(top.GetShowState(), SW_SHOW);
  EXPECT_TRUE(top.IsWindowVisible());
  EXPECT_EQ(top.GetClientRect(), CRect(0, 0, 400, 300));
  EXPECT_EQ(top.GetWindowRect(), CRect(100, 50, 500, 350));

  ProbeWnd child;
  ASSERT_TRUE(child.Create(CWnd::Kind::Child, "", CRect(10, 20, 110, 70), &top, 1001));
  child.ShowWindow(SW_SHOW);
  EXPECT_EQ(child.GetDlgCtrlID(), 1001u);
  EXPECT_EQ(child.GetParentWnd(), &top);
  EXPECT_EQ(child.GetWindowRect(), CRect(110, 70, 210, 120));
  EXPECT_EQ(child.ClientToScreen({1, 2}), CPoint(111, 72));
  EXPECT_EQ(child.ScreenToClient({111, 72}), CPoint(1, 2));
  EXPECT_EQ(top.ShowWindow(SW_HIDE), 1);
  EXPECT_FALSE(top.IsWindowVisible());
}

TEST(Window, MessagesGoThroughTheTableThenWindowProc) {
  TestApp();
  ProbeWnd w;
  int seen = 0;
  w.OnMessage(2249, [&](WPARAM wp, LPARAM lp) -> LRESULT {
    seen = static_cast<int>(wp + lp);
    return 7;
  });
  EXPECT_EQ(SendMessage(&w, 2249, 3, 4), 7);
  EXPECT_EQ(seen, 7);
  EXPECT_EQ(SendMessage(&w, 100, 5, 0), 105);  // not in the table
  ASSERT_TRUE(PostMessage(&w, 2249, 10, 10));
  QTRY_COMPARE_WITH_TIMEOUT(seen, 20, 2000);
}

TEST(Window, TimersByIdAndRestart) {
  TestApp();
  ProbeWnd w;
  w.SetTimer(5, 10);
  w.SetTimer(6, 10);
  w.KillTimer(6);
  EXPECT_TRUE(w.HasTimer(5));
  EXPECT_FALSE(w.HasTimer(6));
  QTRY_VERIFY_WITH_TIMEOUT(w.timerIds.size() >= 2, 2000);
  for (UINT id : w.timerIds) EXPECT_EQ(id, 5u);
  w.KillTimer(5);
  const auto n = w.timerIds.size();
  QTest::qWait(50);
  EXPECT_EQ(w.timerIds.size(), n);
}

TEST(Window, MouseWheelAndKeys) {
  TestApp();
  ProbeWnd w;
  w.Create(CWnd::Kind::Popup, "", CRect(0, 0, 200, 200));
  w.ShowWindow(SW_SHOW);
  QTest::mousePress(&w, Qt::LeftButton, Qt::ShiftModifier, QPoint(30, 40));
  ASSERT_EQ(w.downs.size(), 1u);
  EXPECT_EQ(w.downs[0].second, CPoint(30, 40));
  EXPECT_EQ(w.downs[0].first & (MK_LBUTTON | MK_SHIFT), MK_LBUTTON | MK_SHIFT);
  QTest::mouseMove(&w, QPoint(50, 60));
  QTRY_VERIFY_WITH_TIMEOUT(!w.moves.empty(), 1000);
  EXPECT_EQ(w.moves.back(), CPoint(50, 60));
  QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(50, 60));

  QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, -240), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(&w, &wheel);
  ASSERT_EQ(w.wheel.size(), 1u);
  EXPECT_EQ(w.wheel[0], -240);  // two notches towards the user

  // Enter and Escape are swallowed by the key filter; other keys go on.
  QTest::keyClick(&w, Qt::Key_Escape);
  QTest::keyClick(&w, Qt::Key_Return);
  QTest::keyClick(&w, Qt::Key_F9);
  QTest::keyClick(&w, Qt::Key_A);
  EXPECT_EQ(w.keys, (std::vector<UINT>{VK_F9, 'A'}));
}

TEST(Window, BackgroundDragMovesOnlyWhenUnhandled) {
  TestApp();
  ProbeWnd w;
  w.Create(CWnd::Kind::Popup, "", CRect(100, 100, 300, 300));
  w.SetDragByBackground(true);
  w.ShowWindow(SW_SHOW);
  w.handleDown = true;
  QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(10, 10));
  QTest::mouseMove(&w, QPoint(40, 30));
  QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(40, 30));
  EXPECT_EQ(w.GetWindowRect().TopLeft(), CPoint(100, 100));
  w.handleDown = false;
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), QPointF(110, 110), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&w, &press);
  QMouseEvent move(QEvent::MouseMove, QPointF(40, 30), QPointF(140, 130), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&w, &move);
  EXPECT_EQ(w.GetWindowRect().TopLeft(), CPoint(130, 120));
}

TEST(Window, ModalResultAndCapture) {
  TestApp();
  ProbeWnd dlg;
  dlg.Create(CWnd::Kind::Popup, "Dialog", CRect(0, 0, 100, 100));
  QTimer::singleShot(20, [&] {
    EXPECT_TRUE(dlg.InModalLoop());
    dlg.EndDialog(2);
  });
  EXPECT_EQ(dlg.DoModal(), 2);
  EXPECT_FALSE(dlg.IsWindowVisible());
  EXPECT_FALSE(dlg.InModalLoop());

  dlg.SetCapture();
  EXPECT_EQ(CWnd::GetCapture(), &dlg);
  CWnd::ReleaseCapture();
  EXPECT_EQ(CWnd::GetCapture(), nullptr);
  {
    ProbeWnd gone;
    gone.SetCapture();
  }
  EXPECT_EQ(CWnd::GetCapture(), nullptr);  // a destroyed window holds no capture
}

TEST(Window, ColourKeyMakesKeyPixelsTransparent) {
  TestApp();
  ProbeWnd w;
  w.Create(CWnd::Kind::Popup, "", CRect(0, 0, 40, 40));
  w.SetLayeredAttributes(200, QColor(10, 200, 30));  // the probe paints exactly this colour
  QImage shot(40, 40, QImage::Format_ARGB32);
  shot.fill(Qt::white);
  w.render(&shot);
  EXPECT_EQ(qAlpha(shot.pixel(5, 5)), 0);  // the key colour became fully transparent
  EXPECT_EQ(w.GetLayeredAlpha(), 200);
  EXPECT_TRUE(w.GetDrawnRegion().isEmpty());  // nothing drawn: the mouse passes everywhere
  w.SetLayeredAttributes(std::nullopt, QColor(Qt::red));  // another key keeps the paint
  shot.fill(Qt::white);
  w.render(&shot);
  EXPECT_EQ(shot.pixel(5, 5), QColor(10, 200, 30).rgba());
}

TEST(Window, CursorsFromShapesAndFromTheProjectsImages) {
  TestApp();
  ProbeWnd w;
  w.SetCursorShape(CursorShape::Hand);
  EXPECT_EQ(w.cursor().shape(), Qt::PointingHandCursor);
  // The artwork is SVG: cursor pictures are read through the image plugins.
  ASSERT_TRUE(w.SetCursorImage(BREVIO_SOURCE_DATA_DIR "/images/crop_normal.svg", 24, 24));
  EXPECT_EQ(w.cursor().shape(), Qt::BitmapCursor);
  EXPECT_EQ(w.cursor().hotSpot(), QPoint(24, 24));
  EXPECT_FALSE(w.SetCursorImage(BREVIO_SOURCE_DATA_DIR "/images/no_such_cursor.png", 0, 0));
  EXPECT_EQ(w.cursor().shape(), Qt::BitmapCursor);  // a failed load keeps the cursor
}
