// One camera frame through the frame model (SetImageData) and one paint into
// a 1920 x 1080 surface, against a plain memcpy of the frame.
//   build/bench/bin/bench_preview --benchmark_min_time=0.5s

#include "imaging/data_handler.h"
#include "preview/cameradc.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>

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

void BM_Memcpy(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  const auto frame = Frame(w, h);
  std::vector<BYTE> copy(frame.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), frame.data(), frame.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(frame.size()));
}

void Sizes(benchmark::internal::Benchmark* b) {
  for (const auto& s : {std::pair{1920, 1080}, std::pair{3264, 2448}})
    for (int setting = -1; setting <= 5; ++setting) b->Args({s.first, s.second, setting});
}

BENCHMARK(BM_SetImageDataAndPaint)->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->Args({1920, 1080})->Args({3264, 2448})->Unit(benchmark::kMillisecond);

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
