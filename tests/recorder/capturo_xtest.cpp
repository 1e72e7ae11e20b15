// The real recorder program on an X server: started with an output path and
// an area, driven by the registered messages a stand-in start menu of this
// process exchanges with it, stopped by messages, signals and kills; its
// files decoded again with FFmpeg. A window of this process shows the
// moving test picture under the recorded area.
#include <gtest/gtest.h>

#include <signal.h>

#include <QProcess>
#include <QTimer>
#include <QWidget>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "app/app_messages.h"
#include "app/main_frame.h"
#include "app/settings.h"
#include "canvas/screengrabber.h"
#include "contracts/fundara/paths.h"
#include "contracts/fundara/names.h"
#include "platform/hotkey.h"
#include "tests/fundara/scratch_env.h"
#include "tests/media/decode_check.h"
#include "tests/recorder/recorder_fixture.h"
#include "tests/support/test_app.h"
#include "tests/support/x_session.h"
#include "tests/support/wait.h"
#include "tools/brevio-media/synthetic.h"

namespace {

namespace fs = std::filesystem;

// The recorded area: 641 × 481 becomes 642 × 482 (the encoders' even size).
constexpr CRect kArea(300, 200, 941, 681);
constexpr int kEvenWidth = 642, kEvenHeight = 482;

// The moving test picture of the media tools, shown over the area.
class CTestPicture : public QWidget {
 public:
  explicit CTestPicture(const QRect& area = QRect(kArea.left, kArea.top, kEvenWidth, kEvenHeight))
      : QWidget(nullptr, Qt::FramelessWindowHint | Qt::BypassWindowManagerHint) {
    setGeometry(area);
    clock_.start();
    connect(&timer_, &QTimer::timeout, this, [this] { repaint(); });
    timer_.start(20);
    show();
  }

 public:
  // The time the picture shows now, as the pictures carry it (ms modulo 2^17).
  double Now() const { return std::fmod(static_cast<double>(clock_.elapsed()), 131072.0); }

 protected:
  void paintEvent(QPaintEvent*) override {
    synthetic::DrawPicture(bgr_, width(), height(), frame_++, static_cast<double>(clock_.elapsed()));
    // Bottom-up BGR rows into a top-down picture.
    QImage image(width(), height(), QImage::Format_RGB888);
    for (int y = 0; y < height(); ++y) {
      const unsigned char* s = bgr_.data() + static_cast<std::size_t>(height() - 1 - y) * width() * 3;
      unsigned char* o = image.scanLine(y);
      for (int x = 0; x < width(); ++x) {
        o[3 * x] = s[3 * x + 2];
        o[3 * x + 1] = s[3 * x + 1];
        o[3 * x + 2] = s[3 * x];
      }
    }
    QPainter(this).drawImage(0, 0, image);
  }

 private:
  std::vector<unsigned char> bgr_;
  int frame_ = 0;
  QElapsedTimer clock_;
  QTimer timer_;
};

// Milliseconds from `from` to `to` on the pictures' clock, which wraps at
// 2^17 ms; negative when `to` is the earlier one.
double SpanMs(double from, double to) { return std::fmod(to - from + 3 * 65536.0, 131072.0) - 65536.0; }

class CRecorderProcess {
 public:
  explicit CRecorderProcess(const std::string& argument) {
    process_.setProcessChannelMode(QProcess::ForwardedChannels);
    process_.start(QStringLiteral(CAPTURO_PROGRAM), {QString::fromStdString(argument)});
    process_.waitForStarted(10000);
  }
  ~CRecorderProcess() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(10000);
    }
  }
  void Signal(int signal) { ::kill(static_cast<pid_t>(process_.processId()), signal); }
  // Runs this thread's events meanwhile; the exit status, or -1 when it still runs.
  int WaitExit(int ms) {
    if (!WaitUntil([&] { return process_.state() == QProcess::NotRunning; }, ms, 5)) return -1;
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : 128;
  }
  bool Running() const { return process_.state() != QProcess::NotRunning; }

 private:
  QProcess process_;
};

// The screen as a picture in the tests' output folder, for people to look at.
void SaveScreen(const std::string& name) {
  CScreenGrabber grabber;
  const char* folder = std::getenv("BREVIO_TEST_OUTPUT");
  if (!folder || !grabber.Open()) return;
  x_session::GrabScreen(grabber).save(QString::fromStdString((fs::path(folder) / name).string()));
}

QString RecorderCaption() { return QString::fromLatin1(CCapturoDlg::kCaption); }

// The recorder's argument: the path and the area to record.
std::string Argument(const std::string& path, const CRect& area = kArea) {
  return path + "|" + std::to_string(area.left) + "," + std::to_string(area.top) + "," +
         std::to_string(area.right) + "," + std::to_string(area.bottom);
}

class CapturoProgramTest : public fundara_test::ScratchEnv {
 protected:
  void SetUp() override {
    ScratchEnv::SetUp();
    TestApp();
    tone = (root / "tone.raw").string();
    mediacheck::WriteToneFile(tone, 44100, 120, 1000);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILEIN", tone.c_str(), 1);
    menu = std::make_unique<CStandInMenu>();
    picture = std::make_unique<CTestPicture>();
    ASSERT_TRUE(WaitUntil([&] { return picture->isVisible(); }));
  }
  void TearDown() override {
    picture.reset();
    menu.reset();
    ScratchEnv::TearDown();
  }
  std::string NewPath(const char* ext) { return NewFileName((root / "video").string(), ext); }
  static bool RecorderThere(int ms = 20000) {
    return WaitUntil([] { return FindWindowByCaption(RecorderCaption()); }, ms, 10);
  }
  // Starts a recording of the running recorder; the stand-in's clock when
  // the pictures begin (the countdown's four seconds after "StartRecord").
  qint64 StartRecording() {
    const int before = menu->starts;
    PostMessageToCaption(RecorderCaption(), RegisterWindowMessage(kStartRecordMessage));
    if (!WaitUntil([&] { return menu->starts > before; }, 10000)) return -1;
    return menu->startMs + 4000;
  }
  void Pause(int ms) { WaitUntil([] { return false; }, ms, 5); }

  std::string tone;
  std::unique_ptr<CStandInMenu> menu;
  std::unique_ptr<CTestPicture> picture;
};

struct ContainerCase {
  const char* ext;
  int stopSignal;  // 0: the registered "StopRecord"
  int width, height;
};

TEST_F(CapturoProgramTest, RecordsTheAreaWithSoundInEachContainer) {
  // Microsoft Video 1 codes whole 4 × 4 blocks: the AVI picture is 640 × 480.
  const ContainerCase cases[] = {
      {"mp4", 0, kEvenWidth, kEvenHeight},
      {"flv", SIGINT, kEvenWidth, kEvenHeight},
      {"avi", SIGHUP, 640, 480},
      {"mp4", SIGTERM, kEvenWidth, kEvenHeight},
  };
  for (const ContainerCase& c : cases) {
    SCOPED_TRACE(std::string(c.ext) + " stopped by " + std::to_string(c.stopSignal));
    const std::string path = NewPath(c.ext);
    CRecorderProcess recorder(Argument(path));
    ASSERT_TRUE(RecorderThere());
    const qint64 begins = StartRecording();
    ASSERT_GE(begins, 0);
    WaitUntil([&] { return menu->clock.elapsed() >= begins + 3000; }, 20000);
    const double stopShown = picture->Now();
    const int stopsBefore = menu->stops;
    if (c.stopSignal) {
      recorder.Signal(c.stopSignal);
      // A signal finishes the file without a message box: the program ends by itself.
      EXPECT_EQ(recorder.WaitExit(30000), 0);
    } else {
      PostMessageToCaption(RecorderCaption(), RegisterWindowMessage(kStopRecordMessage));
      // The path is shown when the file is finished; a signal closes that box.
      ASSERT_TRUE(WaitUntil([&] { return menu->stops > stopsBefore; }, 10000));
      Pause(2500);
      SaveScreen(std::string("capturo-saved-") + c.ext + ".png");
      recorder.Signal(SIGTERM);
      EXPECT_EQ(recorder.WaitExit(30000), 0);
    }
    EXPECT_GT(menu->stops, stopsBefore);
    const mediacheck::Decoded d = mediacheck::DecodeAll(path, c.width, c.height);
    EXPECT_EQ(d.errors, 0);
    EXPECT_GT(d.pictures, 20);
    EXPECT_GT(d.soundFrames, 0);
    // The file lasts from its first picture to the stop, on the test
    // picture's own clock (a start delayed by a loaded machine does not
    // count), and its pictures run up to the stop.
    ASSERT_GE(d.lastTakenMs, 0);
    EXPECT_NEAR(mediacheck::Duration(path), SpanMs(d.firstTakenMs, stopShown) / 1000.0, 0.3)
        << SpanMs(d.firstTakenMs, d.lastTakenMs) << " ms of pictures";
    EXPECT_LE(SpanMs(d.lastTakenMs, stopShown), 500.0) << "pictures missing before the stop";
    EXPECT_GE(SpanMs(d.firstTakenMs, d.lastTakenMs), 2500.0);
    const std::string size = mediacheck::Probe(path, "stream=width,height");
    EXPECT_NE(size.find("width=" + std::to_string(c.width)), std::string::npos) << size;
    EXPECT_NE(size.find("height=" + std::to_string(c.height)), std::string::npos) << size;
    // The flashing square of the test picture is in the recording.
    EXPECT_GE(d.flashes.size(), 1u) << d.pictures << " pictures, " << mediacheck::Probe(path, "stream=r_frame_rate");
  }
}

// The main program's frame, which starts the recorder under test as a child
// the test can kill, over the given area.
class CRecordingFrame : public CMainFrame {
 public:
  explicit CRecordingFrame(const CRect& area) : area_(area) {}
  std::unique_ptr<CRecorderProcess> recorder;
  std::string path;  // the file the frame reserved for the last recording

  int RecordingPairs() {
    int on = 0;
    for (IRecordButtons* pair : RecordButtonPairs()) on += pair->GetRecording();
    return on;
  }

 protected:
  bool StartDetached(const std::string& program, const std::string& argument) override {
    if (program != GetVideoRecordPath()) return false;
    path = argument;
    recorder = std::make_unique<CRecorderProcess>(Argument(argument, area_));
    return recorder->Running();
  }

 private:
  CRect area_;
};

TEST_F(CapturoProgramTest, KilledRecordingsPlayUpToTheKillAndTheMainFrameNotices) {
  // MP4 is fragmented while recording, FLV streams, AVI gets no index: each
  // decodes cleanly up to about a second before the kill. The loss is
  // measured on the test picture's own clock, which every picture carries.
  // A 640 × 480 area: every container records it at that size.
  const CRect area(300, 200, 940, 680);
  picture = std::make_unique<CTestPicture>(QRect(area.left, area.top, area.Width(), area.Height()));
  ASSERT_TRUE(WaitUntil([&] { return picture->isVisible(); }));
  // The real main program's frame and start menu take the stand-in's place;
  // the start menu is hidden, as in a working mode, so the picture shows.
  menu.reset();
  CRecordingFrame frame(area);
  ASSERT_TRUE(frame.Create({}));
  frame.GetStartMenu().ShowWindow(SW_HIDE);
  const int pairs = static_cast<int>(frame.RecordButtonPairs().size());
  QElapsedTimer clock;
  clock.start();
  for (const char* ext : {"mp4", "flv", "avi"}) {
    SCOPED_TRACE(ext);
    camcfg::WriteString(camcfg::kVideo, camcfg::kVideoType, ext);
    // The record button starts the recorder; F9 then starts its recording.
    SendMessage(&frame, WM_SWITCH_MODE, SWITCH_FROM_START_MENU, START_RECORD);
    ASSERT_TRUE(frame.recorder && RecorderThere());
    EXPECT_EQ(fs::path(frame.path).extension(), std::string(".") + ext);
    SendMessage(&frame, WM_HOTKEY, HOTKEY_START_RECORD, 0);
    ASSERT_TRUE(WaitUntil([&] { return frame.RecordingPairs() == pairs; }, 10000));
    // The pictures begin after the countdown's four seconds.
    const qint64 begins = clock.elapsed() + 4000;
    WaitUntil([&] { return clock.elapsed() >= begins + 10000; }, 30000);
    const double killedAt = picture->Now();
    frame.recorder->Signal(SIGKILL);
    const qint64 killed = clock.elapsed();
    EXPECT_TRUE(WaitUntil([&] { return frame.RecordingPairs() == 0; }, 3000, 20));
    const qint64 noticedMs = clock.elapsed() - killed;
    EXPECT_LE(noticedMs, 3000);
    EXPECT_EQ(frame.recorder->WaitExit(10000), 128);
    const mediacheck::Decoded d = mediacheck::DecodeAll(frame.path, area.Width(), area.Height());
    ASSERT_GE(d.lastTakenMs, 0);
    // Ten seconds after the pictures should have begun: a loaded machine
    // starts the first grab some hundred milliseconds late, so 8.5 s.
    EXPECT_GE(SpanMs(d.firstTakenMs, d.lastTakenMs), 8500.0);
    // Lost at the kill: the MP4 fragment being written (up to 1 s) and the
    // pictures still inside the encoder's look-ahead, which a loaded
    // machine holds longer.
    EXPECT_LE(SpanMs(d.lastTakenMs, killedAt), 1500.0) << "lost at the kill";
    EXPECT_GE(d.firstErrorMs, d.lastPictureMs) << d.errors << " errors";
    EXPECT_GT(d.soundFrames, 0);
    std::printf("%s killed: %.0f ms of pictures, %.0f ms lost, buttons reset after %lld ms\n", ext,
                SpanMs(d.firstTakenMs, d.lastTakenMs), SpanMs(d.lastTakenMs, killedAt),
                static_cast<long long>(noticedMs));
  }
}

TEST_F(CapturoProgramTest, MainProgramGoneWhileRecordingFinishesTheFile) {
  const std::string path = NewPath("flv");
  CRecorderProcess recorder(Argument(path));
  ASSERT_TRUE(RecorderThere());
  const qint64 begins = StartRecording();
  ASSERT_GE(begins, 0);
  WaitUntil([&] { return menu->clock.elapsed() >= begins + 2000; }, 20000);
  menu.reset();
  // Within its next check (3 s) the recorder stops; the file is finished
  // and its path shown. A signal then closes the box.
  Pause(5000);
  EXPECT_TRUE(recorder.Running());
  SaveScreen("capturo-main-gone.png");
  recorder.Signal(SIGTERM);
  EXPECT_EQ(recorder.WaitExit(30000), 0);
  const std::string dump = mediacheck::Shell("'" + mediacheck::Tool() + "' flv-dump '" + path + "'").output;
  EXPECT_EQ(dump.find("not finished"), std::string::npos) << dump;
  const mediacheck::Decoded d = mediacheck::DecodeAll(path, kEvenWidth, kEvenHeight);
  EXPECT_EQ(d.errors, 0);
  EXPECT_GE(d.lastPictureMs, 2000.0);
}

TEST_F(CapturoProgramTest, MainProgramGoneWhileSelectingEndsWithoutAFile) {
  const std::string path = NewPath("mp4");
  CRecorderProcess recorder(Argument(path));
  ASSERT_TRUE(RecorderThere());
  Pause(500);
  SaveScreen("capturo-selecting.png");
  menu.reset();
  EXPECT_EQ(recorder.WaitExit(10000), 0);
  EXPECT_FALSE(fs::exists(path));
}

TEST_F(CapturoProgramTest, ASecondRecorderEndsAtOnce) {
  const std::string first = NewPath("mp4"), second = NewPath("mp4");
  CRecorderProcess recorder(Argument(first));
  ASSERT_TRUE(RecorderThere());
  CRecorderProcess again(Argument(second));
  EXPECT_EQ(again.WaitExit(10000), 0);
  EXPECT_TRUE(recorder.Running());
  recorder.Signal(SIGTERM);
  EXPECT_EQ(recorder.WaitExit(10000), 0);
  EXPECT_FALSE(fs::exists(first));
  EXPECT_EQ(menu->starts, 0);
  EXPECT_EQ(menu->stops, 0);
}

TEST_F(CapturoProgramTest, AFileThatCannotBeMadeIsReportedAndTheRecorderEnds) {
  // A folder that does not exist: the writer cannot open its file.
  const std::string path = (root / "missing" / "x.mp4").string();
  CRecorderProcess recorder(Argument(path));
  ASSERT_TRUE(RecorderThere());
  ASSERT_GE(StartRecording(), 0);
  // The countdown, then the failure: the main program hears "StopRecord"
  // and the message stays until it is answered (here by a signal).
  EXPECT_TRUE(WaitUntil([&] { return menu->stops == 1; }, 15000));
  Pause(1000);
  SaveScreen("capturo-failed.png");
  EXPECT_TRUE(recorder.Running());
  recorder.Signal(SIGTERM);
  EXPECT_EQ(recorder.WaitExit(10000), 0);
  EXPECT_FALSE(fs::exists(path));
}

}  // namespace
