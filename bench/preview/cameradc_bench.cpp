// One camera frame through the frame model (SetImageData) and one paint into
// a 1920 x 1080 surface, against a plain memcpy of the frame and, for every
// adjustment switched on, OpenCV's equivalents of the same steps.
//   build/bench/bin/bench_preview --benchmark_min_time=0.5s
// The CPU column of the frame model counts every thread of the process
// (painting may hand work to Qt's worker threads).

#include "imaging/data_handler.h"
#include "preview/cameradc.h"

#include "bench/memcpy_baseline.h"

#include <benchmark/benchmark.h>
#ifdef BREVIO_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

std::vector<BYTE> Frame(int w, int h) {
  std::vector<BYTE> f(PictureSize(w, h, 24));
  for (size_t i = 0; i < f.size(); ++i) f[i] = static_cast<BYTE>(i * 2654435761u >> 24);
  return f;
}

// range(0), range(1): frame size; range(2): -1 defaults, 0 every adjustment,
// 1..5 every adjustment and that display mode.
void BM_SetImageDataAndPaint(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  const int setting = static_cast<int>(state.range(2));
  const auto frame = Frame(w, h);
  QImage surface(1920, 1080, kCanvasFormat);
  CCameraDC model;
  model.SetDC(&surface);
  model.ShowCameraDC(1);
  model.MoveWindow(CRect(0, 0, 1920, 1080), 0);
  model.SetImageData(frame.data(), w, h, 24, nullptr);
  if (setting >= 0) {
    model.SetLuminosity(10);
    model.SetContrast(20);
    model.SetSaturation(30);
    model.SetToneRGB(250, 200, 220);
    model.SetShowMode(static_cast<SHOW_MODE>(setting));
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(model.SetImageData(frame.data(), w, h, 24, nullptr));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(frame.size()));
}

#ifdef BREVIO_BENCH_OPENCV
// The adjustments' nearest OpenCV steps on one frame, single-threaded:
// LUT for brightness, for contrast and for the colour tone (one table per
// channel), the HLS round trip for saturation, each into its own output.
void BM_OpenCV_AdjustmentSteps(benchmark::State& state) {
  cv::setNumThreads(1);
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  auto frame = Frame(w, h);
  const cv::Mat src(h, w, CV_8UC3, frame.data(), PictureStride(w, 24));
  cv::Mat bright, contrast, hls, saturated, toned;
  cv::Mat lut1(1, 256, CV_8U), lut2(1, 256, CV_8U), lut3(1, 256, CV_8UC3);
  for (int i = 0; i < 256; ++i) {
    lut1.at<unsigned char>(i) = static_cast<unsigned char>(std::min(255, i * 110 / 100));
    lut2.at<unsigned char>(i) = static_cast<unsigned char>(255 - i);
    lut3.at<cv::Vec3b>(i) = cv::Vec3b(static_cast<unsigned char>(i * 220 / 255),
                                      static_cast<unsigned char>(i * 200 / 255),
                                      static_cast<unsigned char>(i * 250 / 255));
  }
  for (auto _ : state) {
    cv::LUT(src, lut1, bright);
    cv::LUT(bright, lut2, contrast);
    cv::cvtColor(contrast, hls, cv::COLOR_BGR2HLS_FULL);
    cv::cvtColor(hls, saturated, cv::COLOR_HLS2BGR_FULL);
    cv::LUT(saturated, lut3, toned);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(frame.size()));
}
BENCHMARK(BM_OpenCV_AdjustmentSteps)->Args({1920, 1080})->Args({3264, 2448})->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

const int kBaselines = (bench::RegisterMemcpyBaselines(), 0);

void Sizes(benchmark::internal::Benchmark* b) {
  for (const auto& s : {std::pair{1920, 1080}, std::pair{3264, 2448}})
    for (int setting = -1; setting <= 5; ++setting) b->Args({s.first, s.second, setting});
}

BENCHMARK(BM_SetImageDataAndPaint)->Apply(Sizes)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

}  // namespace

int main(int argc, char** argv) {
  // Fonts need a GUI application; the offscreen platform needs no display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
