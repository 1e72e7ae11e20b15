// Annotation canvas speed on a 1920 × 1080 window (offscreen): one freehand
// move with its paste for strokes of 100, 1000 and 5000 points, an eraser
// sweep step, a tool switch (the alpha AND/XOR of both layers) and a redraw
// with 20 objects, beside a memcpy of one layer in the same run. A move of
// a stroke in progress draws again and presents only the part of the window
// around its newest segment.

#include <benchmark/benchmark.h>

#include <QApplication>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/paint_canvas.h"

namespace {

constexpr int kW = 1920;
constexpr int kH = 1080;

struct Canvas {
  Canvas() {
    window.Create(CWnd::Kind::Tool, QStringLiteral("bench"), CRect(0, 0, kW, kH));
    canvas.Attach(&window);
  }
  CWnd window;
  CPaintCanvas canvas;
};

// The i-th point of a wavy stroke across the screen.
CPoint StrokePoint(int i) { return CPoint(100 + (i * 7) % 1700, 200 + ((i / 240) * 60) % 700 + (i % 13)); }

void BM_LayerMemcpy(benchmark::State& state) {
  std::vector<unsigned char> a(static_cast<std::size_t>(kW) * kH * 4, 1), b(a.size());
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size());
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(a.size()));
}
BENCHMARK(BM_LayerMemcpy)->Unit(benchmark::kMillisecond);

void BM_FreehandMove(benchmark::State& state) {
  Canvas c;
  c.canvas.ApplySettings(LINE_FREE, 0xFFFF0000, 10, 0);
  const int points = static_cast<int>(state.range(0));
  c.canvas.Press(StrokePoint(0));
  for (int i = 1; i < points; ++i) c.canvas.Move(StrokePoint(i));
  int i = points;
  for (auto _ : state) c.canvas.Move(StrokePoint(i++));
  c.canvas.Release(StrokePoint(i));
}
// Few iterations: every move adds a point, so the stroke stays near its size.
BENCHMARK(BM_FreehandMove)->Arg(100)->Arg(1000)->Arg(5000)->Iterations(40)->Unit(benchmark::kMillisecond);

void BM_EraserSweep(benchmark::State& state) {
  Canvas c;
  c.canvas.ApplySettings(LINE_FREE, 0xFFFF0000, 200, 0);
  for (int y = 100; y < kH; y += 150) {
    c.canvas.Press(CPoint(0, y));
    c.canvas.Move(CPoint(kW, y));
    c.canvas.Release(CPoint(kW, y));
  }
  c.canvas.SetTool(PAINT_ERASER);
  c.canvas.Press(CPoint(100, 500));
  int x = 100;
  for (auto _ : state) {
    x = x >= 1800 ? 100 : x + 12;
    c.canvas.Move(CPoint(x, 500));
  }
  c.canvas.Release(CPoint(x, 500));
}
BENCHMARK(BM_EraserSweep)->Unit(benchmark::kMillisecond);

void BM_ToolSwitch(benchmark::State& state) {
  Canvas c;
  c.canvas.ApplySettings(LINE_FREE, 0xFFFF0000, 10, 0);
  bool none = false;
  for (auto _ : state) {
    c.canvas.SetTool(none ? PAINT_FREE : PAINT_NONE);
    none = !none;
  }
}
BENCHMARK(BM_ToolSwitch)->Unit(benchmark::kMillisecond);

void BM_RedrawTwentyObjects(benchmark::State& state) {
  Canvas c;
  c.canvas.ApplySettings(LINE_SHAPE, 0xFF00FF00, 7, 0);
  for (int k = 0; k < 20; ++k) {
    c.canvas.SetTool(PAINT_RECT + k % 4);
    const CPoint a(50 + (k % 5) * 360, 50 + (k / 5) * 250);
    c.canvas.Press(a);
    c.canvas.Move(CPoint(a.x + 300, a.y + 200));
    c.canvas.Release(CPoint(a.x + 300, a.y + 200));
  }
  c.canvas.SetTool(PAINT_SELECT);
  for (auto _ : state) c.canvas.Redraw();
  state.counters["objects"] = static_cast<double>(c.canvas.Objects().size());
}
BENCHMARK(BM_RedrawTwentyObjects)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
