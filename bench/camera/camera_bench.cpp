// Per-frame cost of the camera road. "share_of_30fps" is the time of one
// frame as a share of the 33.3 ms a 30 frames-per-second stream allows.

#include "contracts/camera/demo_camera.h"
#include "contracts/camera/pixel_convert.h"
#include "contracts/camera/sample_grabber.h"

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <vector>

namespace {

// A document-camera picture (the demo scene) as the camera would send it:
// JPEG, 4:2:2, quality 85.
std::vector<std::uint8_t> SceneJpeg(int w, int h) {
  CDemoScene scene(1);
  std::vector<std::uint8_t> bgr;
  scene.Render(1000, w, h, bgr);
  tjhandle t = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  tjCompress2(t, bgr.data(), w, w * 3, h, TJPF_BGR, &out, &size, TJSAMP_422, 85, 0);
  std::vector<std::uint8_t> jpeg(out, out + size);
  tjFree(out);
  tjDestroy(t);
  return jpeg;
}

void ShareOf30Fps(benchmark::State& state) {
  state.counters["share_of_30fps"] =
      benchmark::Counter(1.0 / 30, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_MjpgDecodeBottomUpBgr(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  const auto jpeg = SceneJpeg(w, h);
  CMjpgDecoder decoder;
  std::vector<std::uint8_t> out;
  int ow = 0, oh = 0;
  for (auto _ : state) {
    if (!decoder.Decode(jpeg.data(), jpeg.size(), out, ow, oh)) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.data());
  }
  ShareOf30Fps(state);
  state.counters["jpeg_bytes"] = static_cast<double>(jpeg.size());
}
BENCHMARK(BM_MjpgDecodeBottomUpBgr)->Args({1920, 1080})->Args({3264, 2448})->Unit(benchmark::kMillisecond);

void BM_YuyvToBottomUpBgr(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  std::vector<std::uint8_t> yuyv(static_cast<std::size_t>(w) * 2 * h);
  for (std::size_t i = 0; i < yuyv.size(); ++i) yuyv[i] = static_cast<std::uint8_t>(i * 7);
  std::vector<std::uint8_t> out(static_cast<std::size_t>(BgrStride(w)) * h);
  for (auto _ : state) {
    Yuv422ToBgrBottomUp(yuyv.data(), w * 2, w, h, false, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  ShareOf30Fps(state);
}
BENCHMARK(BM_YuyvToBottomUpBgr)->Args({1920, 1080})->Args({3264, 2448})->Unit(benchmark::kMillisecond);

// Copying a decoded frame into the frame buffer (with the clearing rule).
void BM_FrameBufferHandOver(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  std::vector<BYTE> frame(static_cast<std::size_t>(BgrStride(w)) * h, 9);
  CSampleGrabberCB cb;
  cb.SetOneFrame(-1);
  for (auto _ : state) cb.BufferCB(0, frame.data(), static_cast<long>(frame.size()));
  ShareOf30Fps(state);
}
BENCHMARK(BM_FrameBufferHandOver)->Args({1920, 1080})->Args({3264, 2448})->Unit(benchmark::kMillisecond);

// The demo camera's frame during a page turn (compose, then JPEG-encode).
void BM_DemoTurnFrame(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  CDemoScene scene(1);
  std::vector<std::uint8_t> bgr;
  scene.Render(6500, w, h, bgr);  // pages rendered once, outside the timing
  std::uint32_t t = 6100;
  for (auto _ : state) {
    scene.Render(t, w, h, bgr);
    t = t >= 7100 ? 6100 : t + 33;
    benchmark::DoNotOptimize(bgr.data());
  }
  ShareOf30Fps(state);
}
BENCHMARK(BM_DemoTurnFrame)->Args({1920, 1080})->Args({3264, 2448})->Unit(benchmark::kMillisecond);

// A page the demo camera has not shown yet at this size: rendered and laid
// on the desk once, then kept.
void BM_DemoNewPage(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  std::vector<std::uint8_t> bgr;
  std::uint32_t seed = 1;
  for (auto _ : state) {
    CDemoScene scene(seed++);
    scene.Render(1000, w, h, bgr);
    benchmark::DoNotOptimize(bgr.data());
  }
}
BENCHMARK(BM_DemoNewPage)->Args({1920, 1080})->Args({3264, 2448})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
