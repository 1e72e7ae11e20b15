#include "contracts/tracmo/tracmo.h"

#include <QTest>
#include <gtest/gtest.h>

#include "platform/window.h"
#include "tests/support/test_app.h"

namespace {

// A window with a child that ignores presses, so that a press on the child
// travels on to the window as well.
struct Scene {
  Scene() {
    top.Create(CWnd::Kind::Popup, "top", CRect(200, 100, 500, 400));
    child.setParent(&top);
    child.setGeometry(50, 60, 100, 100);
    top.ShowWindow(SW_SHOW);
  }
  CWnd top;
  QWidget child;
};

}  // namespace

TEST(Tracmo, PostsEveryPressOnceWithTheScreenPoint) {
  TestApp();
  Scene scene;
  CMessageRecorder target;
  CTracmo hook;
  const UINT msg = CTracmo::MouseDownMessage();
  EXPECT_EQ(msg, RegisterWindowMessage("MouseDown"));

  EXPECT_EQ(hook.StartHook(), 0);  // no window yet
  ASSERT_EQ(hook.InitHook(&target, "Tracmo.dll"), 1);
  QTest::mousePress(&scene.child, Qt::LeftButton, {}, QPoint(10, 20));
  QTest::mouseRelease(&scene.child, Qt::LeftButton, {}, QPoint(10, 20));
  QCoreApplication::processEvents();
  EXPECT_EQ(target.Count(msg), 0u);  // not started

  ASSERT_EQ(hook.StartHook(), 1);
  EXPECT_TRUE(hook.IsHooked());
  QTest::mousePress(&scene.child, Qt::LeftButton, {}, QPoint(10, 20));
  QTest::mouseRelease(&scene.child, Qt::LeftButton, {}, QPoint(10, 20));
  QTest::mousePress(&scene.top, Qt::RightButton, {}, QPoint(5, 6));
  QTest::mouseRelease(&scene.top, Qt::RightButton, {}, QPoint(5, 6));
  ASSERT_TRUE(target.WaitFor(msg, 2, 2000));
  QCoreApplication::processEvents();
  const auto got = target.Messages();
  ASSERT_EQ(got.size(), 2u);  // the child's press reached the window too, but counts once
  const QPoint first = scene.child.mapToGlobal(QPoint(10, 20));
  EXPECT_EQ(static_cast<int>(got[0].wParam), first.x());
  EXPECT_EQ(static_cast<int>(got[0].lParam), first.y());
  EXPECT_EQ(static_cast<int>(got[1].wParam), 205);
  EXPECT_EQ(static_cast<int>(got[1].lParam), 106);

  EXPECT_EQ(hook.StopHook(), 1);
  EXPECT_EQ(hook.StopHook(), 0);
  target.Clear();
  QTest::mousePress(&scene.top, Qt::LeftButton, {}, QPoint(7, 7));
  QCoreApplication::processEvents();
  EXPECT_EQ(target.Count(msg), 0u);
}

TEST(Tracmo, AGoneWindowIsHarmless) {
  TestApp();
  Scene scene;
  CTracmo hook;
  EXPECT_EQ(hook.InitHook(nullptr), 0);
  {
    auto target = std::make_unique<CMessageRecorder>();
    ASSERT_EQ(hook.InitHook(target.get()), 1);
    ASSERT_EQ(hook.StartHook(), 1);
  }
  // The window went away while the hook runs: presses are dropped.
  QTest::mousePress(&scene.top, Qt::LeftButton, {}, QPoint(7, 7));
  QCoreApplication::processEvents();
  EXPECT_TRUE(hook.IsHooked());
  {
    // A hook destroyed while running leaves the application clean.
    CMessageRecorder target;
    CTracmo scoped;
    scoped.InitHook(&target);
    scoped.StartHook();
  }
  QTest::mousePress(&scene.top, Qt::LeftButton, {}, QPoint(9, 9));
  QCoreApplication::processEvents();
}
