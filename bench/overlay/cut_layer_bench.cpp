// One paint of the crop rectangle layer over a 1920 x 1080 picture with a
// frame drawn, beside one translucent fill of the same surface (the least
// any veil can cost), on Qt's offscreen platform.
//   build/bench/bin/bench_overlay --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "overlay/cut_layers.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

QApplication& App() {
  static int argc = 1;
  static char name[] = "bench_overlay";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication app(argc, argv);
  return app;
}

// The surface the layer paints into: the host's picture as the window
// system's backing store holds it.
QImage Picture() {
  QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < kHeight; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < kWidth; ++x) row[x] = qRgb(x & 0xFF, y & 0xFF, (x ^ y) & 0xFF);
  }
  return image;
}

void BM_CutRectLayerPaint(benchmark::State& state) {
  App();
  CWnd host;
  host.Create(CWnd::Kind::Popup, "host", CRect(0, 0, kWidth, kHeight));
  host.ShowWindow(SW_SHOW);
  CCutBgLayer bg;
  bg.Create(&host);
  bg.ShowWindow(SW_SHOW);
  CCutRectLayer& layer = bg.GetRectLayer();
  layer.OnLButtonDown(MK_LBUTTON, CPoint(400, 300));
  layer.OnMouseMove(MK_LBUTTON, CPoint(1500, 800));
  layer.OnLButtonUp(0, CPoint(1500, 800));
  QImage surface = Picture();
  for (auto _ : state) {
    QPainter p(&surface);
    layer.DrawLayer(p);
    p.end();
    benchmark::DoNotOptimize(surface.constBits());
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_CutRectLayerPaint)->Unit(benchmark::kMillisecond);

void BM_TranslucentFill(benchmark::State& state) {
  App();
  QImage surface = Picture();
  for (auto _ : state) {
    QPainter p(&surface);
    p.fillRect(surface.rect(), QColor(0, 0, 0, CCutRectLayer::kVeilAlpha));
    p.end();
    benchmark::DoNotOptimize(surface.constBits());
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_TranslucentFill)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
