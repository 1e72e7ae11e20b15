// Screen capture speed: a 1920 × 1080 area scaled to 1280 × 720 packed
// 24-bit frames with CGDISurface::GetSurfaceData24, against FFmpeg's own X11
// grabber scaling to the same size on the same display, in the same run.
//
// Needs an X server with a 1920 × 1080 screen; without $DISPLAY the program
// restarts itself under xvfb-run with such a screen.

#include "canvas/gdisurface.h"
#include "canvas/screengrabber.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

const CRect kArea(0, 0, 1920, 1080);
constexpr int kOutW = 1280;
constexpr int kOutH = 720;

double g_ownFps = 0;
double g_ffmpegFps = 0;

void BM_GetSurfaceData24(benchmark::State& state) {
  CGDISurface surface;
  if (!surface.Init()) {
    state.SkipWithError("no X display");
    return;
  }
  BYTE* bits = nullptr;
  int size = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    int w = kOutW, h = kOutH;
    if (!surface.GetSurfaceData24(kArea, w, h, bits, size)) {
      state.SkipWithError("capture failed");
      break;
    }
    benchmark::DoNotOptimize(bits);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::free(bits);
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["shm"] = surface.Grabber() && surface.Grabber()->UsesSharedMemory() ? 1 : 0;
  if (seconds > 0) g_ownFps = static_cast<double>(state.iterations()) / seconds;
}
BENCHMARK(BM_GetSurfaceData24)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// The halftone scaling step alone (no X server involved).
void BM_ScaleFrameHalftone(benchmark::State& state) {
  std::vector<std::uint8_t> src(1920 * 1080 * 4);
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<std::uint8_t>(i * 2654435761u >> 24);
  const CScreenGrabber::Frame frame{src.data(), 1920, 1080, 1920 * 4};
  std::vector<std::uint8_t> out(kOutW * kOutH * 3);
  for (auto _ : state) {
    ScaleFrameHalftone(frame, out.data(), kOutW, kOutH, 0, 0, kOutW, kOutH);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ScaleFrameHalftone)->Unit(benchmark::kMillisecond)->UseRealTime();

// Seconds one ffmpeg run takes to grab and scale `frames` frames.
double RunFfmpeg(int frames) {
  char cmd[512];
  std::snprintf(cmd, sizeof cmd,
                "ffmpeg -hide_banner -nostats -loglevel error -f x11grab -framerate 1000 -video_size 1920x1080 "
                "-i '%s+0,0' -frames:v %d -vf scale=%d:%d -pix_fmt bgr24 -fps_mode passthrough -f rawvideo "
                "-y /dev/null",
                std::getenv("DISPLAY"), frames, kOutW, kOutH);
  const auto start = std::chrono::steady_clock::now();
  const int rc = std::system(cmd);
  const auto end = std::chrono::steady_clock::now();
  if (rc != 0) return -1;
  return std::chrono::duration<double>(end - start).count();
}

// FFmpeg's start-up is taken out by timing a short and a long run.
void BM_FfmpegX11Grab(benchmark::State& state) {
  constexpr int kShort = 10, kLong = 110;
  for (auto _ : state) {
    const double shortRun = RunFfmpeg(kShort);
    const double longRun = RunFfmpeg(kLong);
    if (shortRun < 0 || longRun < 0 || longRun <= shortRun) {
      state.SkipWithError("ffmpeg failed");
      return;
    }
    const double perFrame = (longRun - shortRun) / (kLong - kShort);
    state.SetIterationTime(perFrame);
    g_ffmpegFps = 1.0 / perFrame;
  }
  state.counters["fps"] = g_ffmpegFps;
}
BENCHMARK(BM_FfmpegX11Grab)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("DISPLAY")) {
    std::vector<char*> args{const_cast<char*>("xvfb-run"), const_cast<char*>("-a"), const_cast<char*>("-s"),
                            const_cast<char*>("-screen 0 1920x1080x24 +extension MIT-SHM")};
    for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
    args.push_back(nullptr);
    execvp("xvfb-run", args.data());
    std::perror("xvfb-run");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_ownFps > 0 && g_ffmpegFps > 0)
    std::printf("GetSurfaceData24 %.1f fps, ffmpeg x11grab %.1f fps, ratio %.2f\n", g_ownFps, g_ffmpegFps,
                g_ownFps / g_ffmpegFps);
  return 0;
}
