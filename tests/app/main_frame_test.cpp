// The main frame: camera order at start, the upgrade start-up rules, mode
// switching between the start menu and quick capture, screen recording and
// its button pairs, full screen.

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/app_messages.h"
#include "app/main_frame.h"
#include "app/settings.h"
#include "contracts/camera/camera.h"
#include "contracts/fundara/config_strings.h"
#include "contracts/fundara/names.h"
#include "contracts/fundara/paths.h"
#include "tests/fundara/scratch_env.h"
#include "platform/caption.h"
#include "tests/support/test_app.h"
#include "tests/support/wait.h"

namespace {

namespace fs = std::filesystem;
using fundara_test::ScratchEnv;

// A provider listing cameras whose largest picture has the given widths
// (heights 3/4 of them); none can be opened.
class ListedCameras : public ICameraProvider {
 public:
  explicit ListedCameras(std::vector<int> widths) : widths_(std::move(widths)) {}
  std::vector<CCameraDescription> Enumerate() override {
    std::vector<CCameraDescription> out;
    for (std::size_t i = 0; i < widths_.size(); ++i) {
      CCameraDescription d;
      d.id = "cam" + std::to_string(i);
      d.name = "Camera " + std::to_string(i);
      d.node = "/dev/null";
      CPixelFormat f;
      f.fourcc = FOURCC_MJPG;
      f.sizes = {{640, 480, 30}, {widths_[i], widths_[i] * 3 / 4, 15}};
      d.formats = {f};
      out.push_back(d);
    }
    return out;
  }
  std::unique_ptr<ICameraDevice> Open(const std::string&, int& error) override {
    error = 2;
    return nullptr;
  }

 private:
  std::vector<int> widths_;
};

CUsbCamera CamerasOf(std::vector<int> widths) {
  return CUsbCamera({std::make_shared<ListedCameras>(std::move(widths))});
}

struct Triple {
  int serialId;
  int dpi;
  std::string dpiType;
  bool operator==(const Triple&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Triple& t) {
  return os << t.serialId << "/" << t.dpi << "/" << t.dpiType;
}
Triple Read(std::string_view section) {
  return {camcfg::ReadInt(section, camcfg::kSerialId, -99), camcfg::ReadInt(section, camcfg::kDpi, -99),
          camcfg::ReadString(section, camcfg::kDpiType, "?")};
}
void Store(std::string_view section, int serialId, int dpi) {
  camcfg::WriteInt(section, camcfg::kSerialId, serialId);
  camcfg::WriteInt(section, camcfg::kDpi, dpi);
  camcfg::WriteString(section, camcfg::kDpiType, "YUY2");
}

using MainFrameCameraOrder = ScratchEnv;

TEST_F(MainFrameCameraOrder, NoCameraWritesTheDefaultPair) {
  CUsbCamera none = CamerasOf({});
  CMainFrame::ArrangeCameraOrder(none);
  EXPECT_EQ(Read(camcfg::kFirstCamera), (Triple{0, -4, "MJPG"}));
  EXPECT_EQ(Read(camcfg::kNextCamera), (Triple{1, -3, "MJPG"}));
}

TEST_F(MainFrameCameraOrder, OneCameraKeepsAFirstCameraZeroAndItsChoices) {
  Store(camcfg::kFirstCamera, 0, 5);
  Store(camcfg::kNextCamera, 7, 2);
  CUsbCamera one = CamerasOf({1920});
  CMainFrame::ArrangeCameraOrder(one);
  EXPECT_EQ(Read(camcfg::kFirstCamera), (Triple{0, 5, "YUY2"}));
  EXPECT_EQ(Read(camcfg::kNextCamera), (Triple{1, -3, "MJPG"}));

  // Any other stored first camera is replaced by the default pair.
  Store(camcfg::kFirstCamera, 2, 5);
  CMainFrame::ArrangeCameraOrder(one);
  EXPECT_EQ(Read(camcfg::kFirstCamera), (Triple{0, -4, "MJPG"}));
  EXPECT_EQ(Read(camcfg::kNextCamera), (Triple{1, -3, "MJPG"}));
}

TEST_F(MainFrameCameraOrder, TwoCamerasKeepAValidDistinctStoredPair) {
  Store(camcfg::kFirstCamera, 1, 3);
  Store(camcfg::kNextCamera, 0, 2);
  CUsbCamera two = CamerasOf({640, 3264});
  CMainFrame::ArrangeCameraOrder(two);
  EXPECT_EQ(Read(camcfg::kFirstCamera), (Triple{1, 3, "YUY2"}));
  EXPECT_EQ(Read(camcfg::kNextCamera), (Triple{0, 2, "YUY2"}));
}

TEST_F(MainFrameCameraOrder, OtherwiseTheBetterOfCamerasZeroAndOneBecomesFirst) {
  struct Case {
    std::vector<int> widths;
    int first;  // stored first; -1 = absent
    int next;
    int expectedFirst;
  };
  const Case cases[] = {
      {{1280, 3264}, -1, -1, 1},       // nothing stored: camera 1 is better
      {{3264, 1280}, 5, 0, 0},         // stored first out of range: camera 0 is better
      {{1920, 1920}, 4, 1, 0},         // a tie keeps camera 0 first
      {{1280, 1920, 4000}, 1, 1, 1},   // first equal to next; camera 2 is never compared
      {{1280, 1920}, 0, -1, 1},        // next absent
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "first " << c.first << " next " << c.next << " cameras "
                                    << c.widths.size());
    std::error_code ec;
    fs::remove(GetCameraConfig(), ec);
    if (c.first != -1) Store(camcfg::kFirstCamera, c.first, 1);
    if (c.next != -1) Store(camcfg::kNextCamera, c.next, 1);
    CUsbCamera cameras = CamerasOf(c.widths);
    CMainFrame::ArrangeCameraOrder(cameras);
    EXPECT_EQ(Read(camcfg::kFirstCamera), (Triple{c.expectedFirst, -4, "MJPG"}));
    EXPECT_EQ(Read(camcfg::kNextCamera), (Triple{1 - c.expectedFirst, -3, "MJPG"}));
  }
}

// A main frame whose programs are never really started.
class TestFrame : public CMainFrame {
 public:
  struct Started {
    std::string program;
    std::string argument;
  };
  std::vector<Started> started;
  bool startSucceeds = true;
  int settingsOpened = 0;

 protected:
  void OpenSettings() override { ++settingsOpened; }
  bool StartDetached(const std::string& program, const std::string& argument) override {
    started.push_back({program, argument});
    return startSucceeds;
  }
};

class MainFrameUpgrade : public ScratchEnv {
 protected:
  std::string LastTime() { return GetCameraConfigString(camcfg::kUpgrade, camcfg::kLastTime, ""); }
  void SetLastTime(const std::string& value) { SetCameraConfigString(camcfg::kUpgrade, camcfg::kLastTime, value); }
};

TEST_F(MainFrameUpgrade, RestartAfterAnUpgradeMarksTodayAndClearsThePackage) {
  TestApp();
  SetLastTime("2001-01-01");
  SetCameraConfigString(camcfg::kUpgrade, camcfg::kZipBag, (root / "missing.zip").string());
  TestFrame frame;
  frame.ApplyUpgradeRules({QStringLiteral("-U")});
  EXPECT_EQ(LastTime(), GetDay());
  EXPECT_EQ(GetCameraConfigString(camcfg::kUpgrade, camcfg::kZipBag, "x"), "");
  EXPECT_TRUE(frame.started.empty());

  // One pair of quotes around the argument is removed.
  SetLastTime("2001-01-01");
  frame.ApplyUpgradeRules({QStringLiteral("\"-U\"")});
  EXPECT_EQ(LastTime(), GetDay());
}

TEST_F(MainFrameUpgrade, ADownloadedPackageStartsTheUpgraderOnce) {
  TestApp();
  const fs::path package = root / "upgrade.zip";
  fundara_test::WriteFile(package, "PK");
  SetCameraConfigString(camcfg::kUpgrade, camcfg::kZipBag, package.string());
  TestFrame frame;
  frame.ApplyUpgradeRules({});
  ASSERT_EQ(frame.started.size(), 1u);
  EXPECT_EQ(frame.started[0].program, GetUpgradeAppPath());
  EXPECT_EQ(frame.started[0].argument, package.string());
  // The package is forgotten at once: the next start does not run it again.
  frame.ApplyUpgradeRules({});
  EXPECT_EQ(frame.started.size(), 1u);
}

TEST_F(MainFrameUpgrade, TheCheckDateIsSetOnceAndLeftForAnotherMonth) {
  TestApp();
  TestFrame frame;
  frame.ApplyUpgradeRules({});
  EXPECT_EQ(LastTime(), GetDay());
  // A date of another month waits for the online check; it is not touched.
  const std::string today = GetDay();
  const std::string otherMonth = today.substr(0, 5) + (today.substr(5, 2) == "01" ? "02" : "01") + "-15";
  SetLastTime(otherMonth);
  frame.ApplyUpgradeRules({});
  EXPECT_EQ(LastTime(), otherMonth);
  EXPECT_TRUE(frame.started.empty());
}

class MainFrameModes : public ScratchEnv {
 protected:
  void SetUp() override {
    ScratchEnv::SetUp();
    TestApp();
    unsetenv("BREVIO_DEMO_CAMERA");
    frame = std::make_unique<TestFrame>();
    ASSERT_TRUE(frame->Create({}));
  }
  void TearDown() override {
    frame.reset();
    ScratchEnv::TearDown();
  }
  void Switch(WPARAM sender, LPARAM command) { SendMessage(frame.get(), WM_SWITCH_MODE, sender, command); }
  std::unique_ptr<TestFrame> frame;
};

TEST_F(MainFrameModes, CreationMakesTheFoldersAndShowsOnlyTheStartMenu) {
  for (const std::string& folder : {GetAppData(), GetDataPathEx(), GetBindPath(), GetDataLibPath(),
                                    GetDataPicPath(), GetDataVideoPath(), GetDataAbstractPath(), GetThumbsPath()})
    EXPECT_TRUE(fs::is_directory(folder)) << folder;
  EXPECT_EQ(GetMainWnd(), frame.get());
  EXPECT_TRUE(frame->GetStartMenu().isVisible());
  EXPECT_FALSE(frame->GetQuickCap().isVisible());
  EXPECT_FALSE(frame->isVisible());
  EXPECT_EQ(frame->GetStartMenu().GetWindowText(), QStringLiteral("RozIdez"));
  EXPECT_EQ(frame->GetStartMenu().GetWindowRect(), CWnd::GetWorkArea());
  EXPECT_FALSE(frame->GetPaint().isVisible());
  EXPECT_FALSE(frame->GetPaint().Palette().isVisible());
  // Only quick capture and annotation have windows in this program.
  CMenuButtons& menu = frame->GetStartMenu().Buttons();
  EXPECT_TRUE(menu.IsAvailable(START_QUICKCAP));
  EXPECT_TRUE(menu.IsAvailable(START_PAINT));
  for (LPARAM absent : {START_OBJECTSHOW, START_OCR, START_SCANMGR})
    EXPECT_FALSE(menu.IsAvailable(static_cast<int>(absent))) << absent;
  // Nothing records yet: every pair shows its record button.
  for (IRecordButtons* pair : frame->RecordButtonPairs()) EXPECT_EQ(pair->GetRecording(), 0);
  EXPECT_TRUE(menu.Button(START_RECORD)->isVisibleTo(&frame->GetStartMenu()));
  EXPECT_FALSE(menu.Button(START_STOPRECORD)->isVisibleTo(&frame->GetStartMenu()));
}

TEST_F(MainFrameModes, QuickCaptureComesAndGoesWithTheMenus) {
  Switch(SWITCH_FROM_START_MENU, START_QUICKCAP);
  EXPECT_EQ(frame->GetMode(), CMainFrame::Mode::QuickCapture);
  EXPECT_FALSE(frame->GetStartMenu().isVisible());
  EXPECT_TRUE(frame->GetQuickCap().isVisible());

  // A title bar's command 0 goes back to the start menu.
  Switch(SWITCH_FROM_MODE_MENU, MODE_BACK);
  EXPECT_EQ(frame->GetMode(), CMainFrame::Mode::StartMenu);
  EXPECT_TRUE(frame->GetStartMenu().isVisible());
  EXPECT_FALSE(frame->GetQuickCap().isVisible());

  // The in-mode menu switches straight into a mode.
  Switch(SWITCH_FROM_MODE_MENU, MODE_QUICKCAP);
  EXPECT_TRUE(frame->GetQuickCap().isVisible());
  EXPECT_EQ(frame->GetMode(), CMainFrame::Mode::QuickCapture);
}

TEST_F(MainFrameModes, StartMenuButtonsPostTheirCommands) {
  CRozIdezDlg& menu = frame->GetStartMenu();
  auto click = [](CWnd& button) {
    SendMessage(button.parentWidget(), WM_COMMAND, MAKEWPARAM(button.GetDlgCtrlID(), BN_CLICKED),
                reinterpret_cast<LPARAM>(static_cast<QObject*>(&button)));
    QApplication::processEvents();
  };
  click(menu.SettingsButton());
  EXPECT_EQ(frame->settingsOpened, 1);
  EXPECT_TRUE(menu.isVisible());
  click(*menu.Buttons().Button(START_QUICKCAP));
  EXPECT_EQ(frame->GetMode(), CMainFrame::Mode::QuickCapture);
  EXPECT_FALSE(menu.isVisible());
  // A right click on the title strip opens the in-mode menu, which leads back.
  CMinMenuDlg& inMode = frame->GetQuickCap().GetMinMenu();
  CQCTitleDlg& title = frame->GetQuickCap().GetTitle();
  const QPointF at(40, 8);
  QMouseEvent press(QEvent::MouseButtonPress, at, title.mapToGlobal(at), Qt::RightButton, Qt::RightButton,
                    Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, at, title.mapToGlobal(at), Qt::RightButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(&title, &press);
  QApplication::sendEvent(&title, &release);
  EXPECT_TRUE(inMode.isVisible());
  EXPECT_FALSE(inMode.Buttons().IsAvailable(static_cast<int>(MODE_OBJECTSHOW)));
  EXPECT_TRUE(inMode.Buttons().IsAvailable(static_cast<int>(MODE_QUICKCAP)));
  click(*inMode.Buttons().Button(static_cast<int>(MODE_BACK)));
  EXPECT_EQ(frame->GetMode(), CMainFrame::Mode::StartMenu);
  EXPECT_TRUE(menu.isVisible());
  // The close button in the corner ends the program.
  QTimer::singleShot(2000, qApp, [] { QCoreApplication::exit(1); });
  QTimer::singleShot(0, qApp, [&] { click(*menu.Buttons().Button(START_CLOSE)); });
  EXPECT_EQ(QApplication::exec(), 0);
}

TEST_F(MainFrameModes, AnnotationComesAndGoesClearedWithTheMenusAndItsExitButton) {
  CPaintDlg& paint = frame->GetPaint();
  Switch(SWITCH_FROM_START_MENU, START_PAINT);
  EXPECT_EQ(frame->GetMode(), CMainFrame::Mode::Annotation);
  EXPECT_FALSE(frame->GetStartMenu().isVisible());
  EXPECT_TRUE(paint.isVisible());
  EXPECT_TRUE(paint.Palette().isVisible());
  EXPECT_EQ(paint.Canvas().GetTool(), PAINT_NONE);
  paint.Palette().Command(CPaintToolDlg::CMD_PEN2);
  paint.Canvas().Press(CPoint(10, 10));
  paint.Canvas().Move(CPoint(90, 10));
  paint.Canvas().Release(CPoint(90, 10));
  EXPECT_EQ(paint.Canvas().Committed()->pixel(50, 10), 0xFFFF0000u);

  // The exit button goes back to the start menu through the frame.
  paint.Palette().Command(CPaintToolDlg::CMD_EXIT);
  QApplication::processEvents();
  EXPECT_EQ(frame->GetMode(), CMainFrame::Mode::StartMenu);
  EXPECT_TRUE(frame->GetStartMenu().isVisible());
  EXPECT_FALSE(paint.isVisible());
  EXPECT_FALSE(paint.Palette().isVisible());
  EXPECT_EQ(paint.Canvas().Committed()->pixel(50, 10), 0u) << "cleared on leaving";

  // The in-mode menu turns quick capture off and annotation on, and back.
  Switch(SWITCH_FROM_START_MENU, START_QUICKCAP);
  Switch(SWITCH_FROM_MODE_MENU, MODE_PAINT);
  EXPECT_FALSE(frame->GetQuickCap().isVisible());
  EXPECT_TRUE(paint.isVisible());
  Switch(SWITCH_FROM_MODE_MENU, MODE_QUICKCAP);
  EXPECT_FALSE(paint.isVisible());
  EXPECT_TRUE(frame->GetQuickCap().isVisible());
}

TEST_F(MainFrameModes, AModeWithoutAWindowLeavesTheStartMenuShown) {
  for (LPARAM command : {START_OBJECTSHOW, START_OCR, START_SCANMGR}) {
    Switch(SWITCH_FROM_START_MENU, command);
    EXPECT_TRUE(frame->GetStartMenu().isVisible()) << command;
    EXPECT_EQ(frame->GetMode(), CMainFrame::Mode::StartMenu);
  }
  // A picture from the picture browser needs the object show window.
  Switch(SWITCH_FROM_PICTURE_BROWSER, 0);
  EXPECT_TRUE(frame->GetStartMenu().isVisible());
}

TEST_F(MainFrameModes, ScreenRecordingStartsTheRecorderWithANewFileOfTheChosenContainer) {
  Switch(SWITCH_FROM_START_MENU, START_RECORD);
  ASSERT_EQ(frame->started.size(), 1u);
  EXPECT_EQ(frame->started[0].program, GetVideoRecordPath());
  const fs::path first = frame->started[0].argument;
  EXPECT_EQ(first.parent_path(), fs::path(GetDataVideoPath()) / GetDay());
  EXPECT_EQ(first.extension(), ".mp4");
  EXPECT_TRUE(fs::exists(first)) << "the name is reserved for the recorder";

  camcfg::WriteString(camcfg::kVideo, camcfg::kVideoType, "flv");
  Switch(SWITCH_FROM_MODE_MENU, MODE_RECORD);
  ASSERT_EQ(frame->started.size(), 2u);
  EXPECT_EQ(fs::path(frame->started[1].argument).extension(), ".flv");
  EXPECT_NE(frame->started[1].argument, first.string());

  // A recorder that cannot be started leaves no empty file behind.
  camcfg::WriteString(camcfg::kVideo, camcfg::kVideoType, "Avi");
  frame->startSucceeds = false;
  Switch(SWITCH_FROM_START_MENU, START_RECORD);
  ASSERT_EQ(frame->started.size(), 3u);
  const fs::path failed = frame->started[2].argument;
  EXPECT_EQ(failed.extension(), ".avi");
  EXPECT_FALSE(fs::exists(failed));
}

TEST_F(MainFrameModes, RecordAreaIsAppendedOnlyWhenItHasASize) {
  EXPECT_EQ(CMainFrame::ScreenRecordArgument("/v/a.mp4", CRect(10, 20, 330, 260)), "/v/a.mp4|10,20,330,260");
  EXPECT_EQ(CMainFrame::ScreenRecordArgument("/v/a.mp4", CRect(10, 20, 10, 260)), "/v/a.mp4");
  EXPECT_EQ(CMainFrame::ScreenRecordArgument("/v/a.mp4", CRect()), "/v/a.mp4");
}

TEST_F(MainFrameModes, RecordButtonPairsFollowTheRecorder) {
  SendMessage(frame.get(), WM_RECORD_STARTED, 0, 0);
  for (IRecordButtons* pair : frame->RecordButtonPairs()) EXPECT_EQ(pair->GetRecording(), 1);
  CMenuButtons& menu = frame->GetStartMenu().Buttons();
  EXPECT_FALSE(menu.Button(START_RECORD)->isVisibleTo(&frame->GetStartMenu()));
  EXPECT_TRUE(menu.Button(START_STOPRECORD)->isVisibleTo(&frame->GetStartMenu()));
  // Stopping without a running recorder resets the pairs directly.
  SendMessage(frame.get(), WM_SWITCH_MODE, SWITCH_FROM_START_MENU, START_STOPRECORD);
  for (IRecordButtons* pair : frame->RecordButtonPairs()) EXPECT_EQ(pair->GetRecording(), 0);
  SendMessage(frame.get(), WM_RECORD_STARTED, 0, 0);
  SendMessage(frame.get(), WM_RECORD_STOPPED, 0, 0);
  for (IRecordButtons* pair : frame->RecordButtonPairs()) EXPECT_EQ(pair->GetRecording(), 0);
}

// The record pairs follow a recorder that vanishes without "StopRecord"
// (killed, crashed): the frame looks for its window every second.
TEST_F(MainFrameModes, ARecorderThatVanishesResetsTheRecordButtons) {
  auto recording = [&] {
    int on = 0;
    for (IRecordButtons* pair : frame->RecordButtonPairs()) on += pair->GetRecording();
    return on;
  };
  const int pairs = static_cast<int>(frame->RecordButtonPairs().size());
  struct Case {
    const char* what;
    bool recorderThere;  // a window captioned "Capturo" exists when the recording starts
  };
  for (const Case& c : {Case{"recorder killed while recording", true}, Case{"no recorder at all", false}}) {
    SCOPED_TRACE(c.what);
    auto recorder = std::make_unique<CWnd>();
    if (c.recorderThere)
      PublishWindowCaption(recorder.get(), QStringLiteral("Capturo"));
    else
      recorder.reset();
    SendMessage(frame.get(), WM_RECORD_STARTED, 0, 0);
    ASSERT_EQ(recording(), pairs);
    if (recorder) {
      // Several checks pass while the recorder is there.
      WaitUntil([] { return false; }, 2500, 20);
      EXPECT_EQ(recording(), pairs);
      recorder.reset();
    }
    QElapsedTimer gone;
    gone.start();
    EXPECT_TRUE(WaitUntil([&] { return recording() == 0; }, 3000, 20));
    EXPECT_LE(gone.elapsed(), 3000);
    CMenuButtons& menu = frame->GetStartMenu().Buttons();
    EXPECT_TRUE(menu.Button(START_RECORD)->isVisibleTo(&frame->GetStartMenu()));
  }
}

TEST_F(MainFrameModes, TheRecordersNoticesToTheStartMenuReachTheFrame) {
  SendMessage(&frame->GetStartMenu(), RegisterWindowMessage("StartRecord"), 0, 0);
  QApplication::processEvents();
  EXPECT_EQ(frame->GetStartMenu().GetRecording(), 1);
  SendMessage(&frame->GetStartMenu(), RegisterWindowMessage("StopRecord"), 0, 0);
  QApplication::processEvents();
  EXPECT_EQ(frame->GetStartMenu().GetRecording(), 0);
}

// Records the full-screen notices the frame sends.
class Listener : public CWnd {
 public:
  Listener() {
    OnMessage(WM_FULL_SCREEN, [this](WPARAM w, LPARAM l) {
      notices.push_back({w, l});
      return 0;
    });
  }
  std::vector<std::pair<WPARAM, LPARAM>> notices;
};

TEST_F(MainFrameModes, FullScreenCoversTheScreenAndEscapeLeavesIt) {
  Listener listener;
  const LPARAM handle = reinterpret_cast<LPARAM>(static_cast<QObject*>(&listener));
  // -1 only registers the window and answers the state.
  EXPECT_EQ(SendMessage(frame.get(), WM_FULL_SCREEN, static_cast<WPARAM>(-1), handle), 0);
  QApplication::processEvents();
  EXPECT_TRUE(listener.notices.empty());

  EXPECT_EQ(SendMessage(frame.get(), WM_FULL_SCREEN, 1, handle), 1);
  QApplication::processEvents();
  const CSize screen = CWnd::GetScreenSize();
  EXPECT_EQ(frame->GetFrameRect().Width(), screen.cx);
  EXPECT_EQ(frame->GetFrameRect().Height(), screen.cy);
  EXPECT_EQ(frame->GetStartMenu().GetWindowRect(), frame->GetFrameRect());
  ASSERT_EQ(listener.notices.size(), 1u);
  EXPECT_EQ(listener.notices[0].first, 1u);
  EXPECT_EQ(listener.notices[0].second, reinterpret_cast<LPARAM>(static_cast<QObject*>(frame.get())));

  // Escape in the start menu goes to the frame, which leaves full screen.
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&frame->GetStartMenu(), &escape);
  QApplication::processEvents();
  EXPECT_EQ(frame->IsFullScreen(), 0);
  EXPECT_EQ(frame->GetStartMenu().GetWindowRect(), CWnd::GetWorkArea());
  ASSERT_EQ(listener.notices.size(), 2u);
  EXPECT_EQ(listener.notices[1].first, 0u);
}

TEST_F(MainFrameModes, ClosingTheStartMenuEndsTheApplication) {
  frame->GetStartMenu().close();
  EXPECT_TRUE(frame->GetStartMenu().isVisible()) << "the window stays until the frame closes it";
  // The close command posts; QApplication::quit() only takes effect inside exec().
  QTimer::singleShot(2000, qApp, [] { QCoreApplication::exit(1); });
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_FALSE(frame->GetStartMenu().isVisible());
}

}  // namespace
