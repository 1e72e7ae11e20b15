// Page detection on generated desk photographs: the page-frame search and
// the border rectangle on camera-sized frames, and the Hough transform next
// to OpenCV's HoughLines (1-pixel distance, 2-degree angle steps, the same
// vote threshold) on the same 320-pixel edge plane.
//
//   make bench && build/bench/bin/bench_detect --benchmark_repetitions=5
//       --benchmark_report_aggregates_only=true

#include "imaging/data_handler.h"
#include "imaging/page_frame.h"

#include "contracts/fundara/memory.h"
#include "tests/imaging/pages/page_photos.h"

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

const int kOneThread = (cv::setNumThreads(1), 1);

const PagePhoto& Photo(int w, int h) {
  static std::vector<PagePhoto> cache;
  for (const PagePhoto& p : cache)
    if (p.width == w && p.height == h) return p;
  cache.push_back(MakePagePhoto(7, w, h));
  return cache.back();
}

void BM_GreenFrameChain(benchmark::State& state) {
  const PagePhoto& p = Photo(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    PageFrame frame;
    benchmark::DoNotOptimize(FindPageFrame(p.data.data(), p.width, p.height, frame));
    benchmark::DoNotOptimize(frame);
  }
}
BENCHMARK(BM_GreenFrameChain)->Args({1920, 1080})->Args({3264, 2448})->Unit(benchmark::kMillisecond);

void BM_GetBlackSideRectEx(benchmark::State& state) {
  const PagePhoto& p = Photo(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  CDataHandler h;
  for (auto _ : state)
    benchmark::DoNotOptimize(
        h.GetBlackSideRectEx(p.data.data(), p.width, p.height, 24, nullptr, CRect(0, 0, p.width, p.height)));
}
BENCHMARK(BM_GetBlackSideRectEx)->Args({1920, 1080})->Args({3264, 2448})->Unit(benchmark::kMillisecond);

// The 320-pixel edge plane of the 1920 x 1080 photograph, as the chain makes it.
struct EdgePlane {
  std::vector<unsigned char> plane;
  int w = 0, h = 0, threshold = 0;
};

const EdgePlane& Edges() {
  static EdgePlane e = [] {
    const PagePhoto& p = Photo(1920, 1080);
    CDataHandler h;
    unsigned char* small = nullptr;
    EdgePlane r;
    h.ZoomData(p.data.data(), p.width, p.height, 24, 1.0f / 6.0f, small, r.w, r.h);
    r.plane.resize(static_cast<std::size_t>(r.w) * r.h);
    h.ColourToGreyScale(small, r.w, r.h, 24, nullptr, r.plane.data(), 0);
    DelMem(small);
    h.EdgeDetectionSobelEx(r.plane.data(), r.w, r.h);
    h.MedianFilter(r.plane.data(), r.w, r.h);
    h.RegionAnalysis(r.plane.data(), r.w, r.h);
    int minX = r.w, maxX = -1, minY = r.h, maxY = -1;
    for (int y = 0; y < r.h; ++y)
      for (int x = 0; x < r.w; ++x)
        if (r.plane[y * r.w + x] > 125) {
          minX = std::min(minX, x); maxX = std::max(maxX, x);
          minY = std::min(minY, y); maxY = std::max(maxY, y);
        }
    r.threshold = std::max(1, std::min(maxX - minX, maxY - minY) / 3);
    return r;
  }();
  return e;
}

void BM_HoughTrans(benchmark::State& state) {
  const EdgePlane& e = Edges();
  CDataHandler h;
  for (auto _ : state) {
    _STRAIGHTLINE line{};
    benchmark::DoNotOptimize(h.HoughTrans(e.plane.data(), e.w, e.h, line));
    benchmark::DoNotOptimize(line);
  }
}
BENCHMARK(BM_HoughTrans)->Unit(benchmark::kMicrosecond);

void BM_OpenCV_HoughLines(benchmark::State& state) {
  const EdgePlane& e = Edges();
  // OpenCV counts non-zero pixels: the same edge pixels (above 125) as 255.
  std::vector<unsigned char> binary(e.plane.size());
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = e.plane[i] > 125 ? 255 : 0;
  cv::Mat src(e.h, e.w, CV_8U, binary.data());
  for (auto _ : state) {
    std::vector<cv::Vec3f> lines;
    cv::HoughLines(src, lines, 1, 2 * CV_PI / 180, e.threshold);
    benchmark::DoNotOptimize(lines.data());
  }
}
BENCHMARK(BM_OpenCV_HoughLines)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
