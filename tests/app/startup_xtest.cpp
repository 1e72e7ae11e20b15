// The real program on a real X server: it starts once, shows the start menu,
// switches to quick capture on a click and shows the live demo camera
// picture there, swallows Enter, and ends when asked to.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <X11/keysym.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/caption.h"
#include "tests/fundara/scratch_env.h"
#include "tests/support/running_program.h"
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
  }
  RunningProgram first;
  RunningProgram second;
};

TEST_F(BrevioProgram, StartsOnceShowsTheLiveQuickCapturePictureAndCloses) {
  CScreenGrabber grabber;
  ASSERT_TRUE(grabber.Open());
  ASSERT_TRUE(first.Start(QStringLiteral(BREVIO_PROGRAM)));
  ASSERT_TRUE(first.WaitForStartMenu(grabber)) << "the start menu never appeared or was not painted";

  // A second start ends at once and leaves the first one running.
  ASSERT_TRUE(second.Start(QStringLiteral(BREVIO_PROGRAM)));
  ASSERT_TRUE(second.Process().waitForFinished(15000));
  EXPECT_EQ(second.Process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.Process().exitCode(), 0);
  EXPECT_EQ(first.Process().state(), QProcess::Running);
  EXPECT_TRUE(FindWindowByCaption(QStringLiteral("RozIdez")));

  const CSize screen = grabber.ScreenSize();
  SaveScreenshot(grabber, QStringLiteral("start_menu"));
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

  SaveScreenshot(grabber, QStringLiteral("quick_capture"));

  // Enter typed on the live picture is swallowed: the program goes on and
  // the picture stays live.
  ASSERT_TRUE(TapKey(XK_Return));
  EXPECT_TRUE(WaitUntil(
      [&] {
        const std::vector<unsigned char> now = GrabArea(grabber, picture);
        return now != later && LooksLikePicture(now);
      },
      20000))
      << "the picture stopped after Enter";
  EXPECT_EQ(first.Process().state(), QProcess::Running);

  // Asked to end, the program ends by itself.
  EXPECT_TRUE(first.Stop());
}

}  // namespace
