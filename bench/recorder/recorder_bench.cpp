// The screen recorder against FFmpeg's own screen grabber, side by side on
// one X server with moving full-screen content:
//   Capturo      the real program recording the whole screen for 30 s
//                (MP4 or FLV, at the configured 1280 × 720 or the screen's size);
//   ffmpeg       x11grab at 1000 pictures a second, scaled the same way,
//                H.264 at 3 Mbit/s with a key picture every 10, passing
//                pictures through as they come, with the recorder's
//                B-frames and threads for that container.
// Counters: pictures_per_s (pictures in the file over its duration) and
// cpu_s_per_picture (user + system time of the recording process while it
// recorded, over the pictures of that time), and load_1min, the machine's
// load when the run ended. The recorder has no microphone here, as FFmpeg
// records no sound. Run under
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/bin/bench_recorder
// One run each (Iterations(1)): the numbers are for a side-by-side look on
// a machine of known load, not for statistics.

#include <benchmark/benchmark.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "config/settings.h"
#include "tests/media/decode_check.h"
#include "tests/recorder/recorder_fixture.h"
#include "tests/support/test_app.h"
#include "tests/support/wait.h"
#include "tools/brevio-media/synthetic.h"

extern char** environ;

namespace {

constexpr int kSeconds = 30;

// The whole screen, moving: a textured test picture scrolled a few pixels
// every 16 ms, so every grab differs everywhere.
class CMovingScreen : public QWidget {
 public:
  CMovingScreen() : QWidget(nullptr, Qt::FramelessWindowHint | Qt::BypassWindowManagerHint) {
    const QSize size = screen()->size();
    std::vector<unsigned char> bgr;
    synthetic::DrawPicture(bgr, size.width(), size.height(), 0, 0);
    synthetic::AddTexture(bgr, size.width(), size.height(), 0, 0);
    picture_ = QImage(bgr.data(), size.width(), size.height(), size.width() * 3, QImage::Format_BGR888)
                   .mirrored()
                   .copy();
    setGeometry(QRect(QPoint(0, 0), size));
    connect(&timer_, &QTimer::timeout, this, [this] {
      shift_ = (shift_ + 7) % width();
      repaint();
    });
    timer_.start(16);
    show();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.drawImage(-shift_, 0, picture_);
    p.drawImage(width() - shift_, 0, picture_);
  }

 private:
  QImage picture_;
  QTimer timer_;
  int shift_ = 0;
};

// User and system seconds a running process has used.
double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(in, line);
  const std::size_t close = line.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(line.substr(close + 2));
  std::string skip;
  for (int i = 3; i < 14; ++i) fields >> skip;  // state … cmajflt
  double utime = 0, stime = 0;
  fields >> utime >> stime;
  return (utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

pid_t Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  std::vector<std::string> copy = args;
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  return pid;
}

void WaitFor(pid_t pid) {
  int status = 0;
  while (!WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 60000, 20)) {
  }
}

struct Outcome {
  double picturesPerSecond = 0;
  double cpuPerPicture = 0;
  bool ok = false;
};

// Pictures in the file over its duration, and the CPU used over `seconds` of recording.
Outcome Evaluate(const std::string& path, double cpu, double seconds) {
  Outcome o;
  const std::string probe =
      mediacheck::Probe(path, "stream=nb_read_packets -count_packets -select_streams v:0");
  const std::size_t eq = probe.find("nb_read_packets=");
  const double duration = mediacheck::Duration(path);
  if (eq == std::string::npos || duration <= 0) return o;
  const double pictures = std::stod(probe.substr(eq + 16));
  o.picturesPerSecond = pictures / duration;
  o.cpuPerPicture = cpu / (o.picturesPerSecond * seconds);
  o.ok = true;
  return o;
}

void Report(benchmark::State& state, const Outcome& o) {
  if (!o.ok) {
    state.SkipWithError("the recording could not be read");
    return;
  }
  state.counters["pictures_per_s"] = o.picturesPerSecond;
  state.counters["cpu_s_per_picture"] = o.cpuPerPicture;
  // Other work on the machine shows in both numbers: the load at the end.
  double load[1] = {0};
  if (getloadavg(load, 1) == 1) state.counters["load_1min"] = load[0];
}

// Capturo recording the whole screen; `native`: no configured size.
void BM_Capturo(benchmark::State& state, const char* ext, bool native) {
  TestApp();
  QTemporaryDir root;
  setenv("XDG_CONFIG_HOME", (root.path() + "/config").toUtf8().constData(), 1);
  setenv("XDG_RUNTIME_DIR", root.path().toUtf8().constData(), 1);
  camcfg::WriteInt(camcfg::kVideo, camcfg::kWidth, native ? 0 : 1280);
  camcfg::WriteInt(camcfg::kVideo, camcfg::kHeight, native ? 0 : 720);
  CStandInMenu menu;
  CMovingScreen moving;
  const CSize screen = CWnd::GetScreenSize();
  const std::string path = (root.path() + "/capturo.").toStdString() + ext;
  for (auto _ : state) {
    const pid_t pid = Spawn({CAPTURO_PROGRAM, path + "|0,0," + std::to_string(screen.cx) + "," +
                                                  std::to_string(screen.cy)});
    if (pid <= 0 || !WaitUntil([] { return FindWindowByCaption(QStringLiteral("Capturo")); }, 20000)) {
      state.SkipWithError("Capturo did not start");
      return;
    }
    PostMessageToCaption(QStringLiteral("Capturo"), RegisterWindowMessage(kStartRecordMessage));
    WaitUntil([&] { return menu.starts > 0; }, 10000);
    // The countdown, then a second of settling.
    WaitUntil([] { return false; }, 5000, 20);
    const double before = CpuSeconds(pid);
    WaitUntil([] { return false; }, kSeconds * 1000, 20);
    const double cpu = CpuSeconds(pid) - before;
    kill(pid, SIGTERM);
    WaitFor(pid);
    Report(state, Evaluate(path, cpu, kSeconds));
  }
}

// FFmpeg's grabber with the same output.
void BM_FFmpeg(benchmark::State& state, const char* ext, bool native) {
  TestApp();
  QTemporaryDir root;
  CMovingScreen moving;
  const CSize screen = CWnd::GetScreenSize();
  const std::string path = (root.path() + "/ffmpeg.").toStdString() + ext;
  const char* display = std::getenv("DISPLAY");
  // The recorder's encoders: MP4 with x264's own B-frames and threads, FLV
  // with one B-frame on one thread.
  const bool flv = std::string(ext) == "flv";
  std::vector<std::string> args = {"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "x11grab", "-framerate",
                                   "1000", "-video_size",
                                   std::to_string(screen.cx) + "x" + std::to_string(screen.cy), "-i",
                                   display ? display : ":0"};
  if (!native) args.insert(args.end(), {"-vf", "scale=1280:720"});
  args.insert(args.end(), {"-c:v", "libx264", "-b:v", "3M", "-g", "10", "-fps_mode", "passthrough"});
  if (flv) args.insert(args.end(), {"-bf", "1", "-threads", "1"});
  args.insert(args.end(), {"-t", std::to_string(kSeconds + 3), path});
  for (auto _ : state) {
    const pid_t pid = Spawn(args);
    if (pid <= 0) {
      state.SkipWithError("ffmpeg did not start");
      return;
    }
    WaitUntil([] { return false; }, 2000, 20);
    const double before = CpuSeconds(pid);
    WaitUntil([] { return false; }, kSeconds * 1000, 20);
    const double cpu = CpuSeconds(pid) - before;
    WaitFor(pid);
    Report(state, Evaluate(path, cpu, kSeconds));
  }
}

BENCHMARK_CAPTURE(BM_Capturo, mp4_1280x720, "mp4", false)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_FFmpeg, mp4_1280x720, "mp4", false)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_Capturo, flv_1280x720, "flv", false)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_FFmpeg, flv_1280x720, "flv", false)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_Capturo, mp4_native, "mp4", true)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_FFmpeg, mp4_native, "mp4", true)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
