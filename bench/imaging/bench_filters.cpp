// Filters next to their nearest OpenCV counterparts on the same pictures,
// and the edge change counter next to the frame's memcpy.
//
//   make bench && build/bench/bin/bench_filters --benchmark_repetitions=5
//       --benchmark_report_aggregates_only=true
//
// Arguments: width, height. Grey planes are the grey values of a synthetic
// page under the camera (a bright page with lines of text-like strokes on a
// darker desk, with sensor noise). The OpenCV counterparts produce the same
// kind of result: for the Sobel pair both derivative planes, their absolute
// values limited to 255 and their maximum.
//
// Filters whose cost does not depend on the pixel values run again and again
// on their own result; RegionAnalysis gets its input back outside the timed
// part of every iteration.

#include "imaging/data_handler.h"

#include "contracts/fundara/memory.h"

#include "bench/memcpy_baseline.h"

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

// Every comparison is single-threaded on both sides.
const int kOneThread = (cv::setNumThreads(1), 1);
const int kBaselines = (bench::RegisterMemcpyBaselines(), 0);

// 24-bit page picture with padded rows.
std::vector<unsigned char> PageFrame(int w, int h, unsigned seed = 1) {
  const std::size_t stride = PictureStride(w, 24);
  std::vector<unsigned char> f(stride * h, 0);
  std::mt19937 rng(seed);
  const int left = w / 6, right = w - w / 7, top = h / 8, bottom = h - h / 9;
  const int line = std::max(4, h / 40);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int v = 60 + (x + y) * 30 / (w + h);
      if (x >= left && x < right && y >= top && y < bottom) {
        v = 215;
        const int ly = (y - top) % (2 * line), lx = (x - left) % 11;
        if (ly < line && lx < 6 && (((x - left) / 11 + (y - top) / (2 * line)) % 5) != 0) v = 40;
      }
      v = std::clamp(v + static_cast<int>(rng() % 9) - 4, 0, 255);
      unsigned char* p = &f[stride * y + 3 * x];
      p[0] = static_cast<unsigned char>(v);
      p[1] = static_cast<unsigned char>(std::clamp(v + 5, 0, 255));
      p[2] = static_cast<unsigned char>(std::clamp(v - 5, 0, 255));
    }
  return f;
}

std::vector<unsigned char> GreyOf(const std::vector<unsigned char>& frame, int w, int h) {
  std::vector<unsigned char> g(static_cast<std::size_t>(w) * h);
  CDataHandler().ColourToGreyScale(frame.data(), w, h, 24, nullptr, g.data(), 0);
  return g;
}

// The page detector's plane: edges of the page, smoothed.
std::vector<unsigned char> EdgePlane(int w, int h) {
  std::vector<unsigned char> g = GreyOf(PageFrame(w, h), w, h);
  CDataHandler dh;
  dh.EdgeDetectionSobelEx(g.data(), w, h);
  dh.MedianFilter(g.data(), w, h);
  return g;
}

struct Size {
  int w, h;
  explicit Size(const benchmark::State& s)
      : w(static_cast<int>(s.range(0))), h(static_cast<int>(s.range(1))) {}
};

void Pixels(benchmark::State& state, const Size& s) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * s.w * s.h);
}

// ---- Edge detectors ---------------------------------------------------------

template <int (CDataHandler::*Op)(unsigned char*, int, int)>
void GreyInPlace(benchmark::State& state) {
  const Size s(state);
  std::vector<unsigned char> g = GreyOf(PageFrame(s.w, s.h), s.w, s.h);
  CDataHandler dh;
  for (auto _ : state) {
    (dh.*Op)(g.data(), s.w, s.h);
    benchmark::ClobberMemory();
  }
  Pixels(state, s);
}

void BM_EdgeDetectionSobel(benchmark::State& st) { GreyInPlace<&CDataHandler::EdgeDetectionSobel>(st); }
void BM_EdgeDetectionSobelEx(benchmark::State& st) { GreyInPlace<&CDataHandler::EdgeDetectionSobelEx>(st); }
void BM_EdgeDetectionLog(benchmark::State& st) { GreyInPlace<&CDataHandler::EdgeDetectionLog>(st); }
void BM_MedianFilter(benchmark::State& st) { GreyInPlace<&CDataHandler::MedianFilter>(st); }

// Sobel (weights 1 2 1): both derivatives in 16 bits, |.| limited to 255, maximum.
void BM_OpenCV_SobelMax(benchmark::State& state) {
  const Size s(state);
  std::vector<unsigned char> g = GreyOf(PageFrame(s.w, s.h), s.w, s.h);
  cv::Mat src(s.h, s.w, CV_8U, g.data()), dx, dy, ax, ay, out;
  for (auto _ : state) {
    cv::Sobel(src, dx, CV_16S, 1, 0, 3);
    cv::Sobel(src, dy, CV_16S, 0, 1, 3);
    cv::convertScaleAbs(dx, ax);
    cv::convertScaleAbs(dy, ay);
    cv::max(ax, ay, out);
    benchmark::ClobberMemory();
  }
  Pixels(state, s);
}

// Sobel with weights 1 sqrt2 1: two single-precision convolutions, |.|, maximum, 8 bits.
void BM_OpenCV_Filter2DSqrt2Max(benchmark::State& state) {
  const Size s(state);
  std::vector<unsigned char> g = GreyOf(PageFrame(s.w, s.h), s.w, s.h);
  const float r = std::sqrt(2.0f);
  const cv::Mat kx = (cv::Mat_<float>(3, 3) << -1, 0, 1, -r, 0, r, -1, 0, 1);
  const cv::Mat ky = (cv::Mat_<float>(3, 3) << -1, -r, -1, 0, 0, 0, 1, r, 1);
  cv::Mat src(s.h, s.w, CV_8U, g.data()), fx, fy, ax, ay, m, out;
  for (auto _ : state) {
    cv::filter2D(src, fx, CV_32F, kx);
    cv::filter2D(src, fy, CV_32F, ky);
    ax = cv::abs(fx);
    ay = cv::abs(fy);
    cv::max(ax, ay, m);
    m.convertTo(out, CV_8U);
    benchmark::ClobberMemory();
  }
  Pixels(state, s);
}

// Laplacian of Gaussian 5 x 5 in 16 bits, |.| limited to 255.
void BM_OpenCV_Filter2DLog(benchmark::State& state) {
  const Size s(state);
  std::vector<unsigned char> g = GreyOf(PageFrame(s.w, s.h), s.w, s.h);
  const cv::Mat k = (cv::Mat_<float>(5, 5) << -2, -4, -4, -4, -2, -4, 0, 8, 0, -4, -4, 8, 24, 8, -4,
                     -4, 0, 8, 0, -4, -2, -4, -4, -4, -2);
  cv::Mat src(s.h, s.w, CV_8U, g.data()), d, out;
  for (auto _ : state) {
    cv::filter2D(src, d, CV_16S, k);
    cv::convertScaleAbs(d, out);
    benchmark::ClobberMemory();
  }
  Pixels(state, s);
}

// ---- Box smoothing ------------------------------------------------------------------

void BM_OpenCV_BlurGrey(benchmark::State& state) {
  const Size s(state);
  std::vector<unsigned char> g = GreyOf(PageFrame(s.w, s.h), s.w, s.h);
  cv::Mat src(s.h, s.w, CV_8U, g.data()), out;
  for (auto _ : state) {
    cv::blur(src, out, cv::Size(3, 3));
    benchmark::ClobberMemory();
  }
  Pixels(state, s);
}

void BM_Colour24MedianFilter(benchmark::State& state) {
  const Size s(state);
  std::vector<unsigned char> f = PageFrame(s.w, s.h);
  CDataHandler dh;
  for (auto _ : state) {
    dh.Colour24MedianFilter(f.data(), s.w, s.h);
    benchmark::ClobberMemory();
  }
  Pixels(state, s);
}

void BM_Colour24MedianFilterEx(benchmark::State& state) {
  const Size s(state);
  std::vector<unsigned char> f = PageFrame(s.w, s.h);
  CDataHandler dh;
  for (auto _ : state) {
    dh.Colour24MedianFilterEx(f.data(), s.w, s.h);
    benchmark::ClobberMemory();
  }
  Pixels(state, s);
}

void BM_OpenCV_BlurBGR(benchmark::State& state) {
  const Size s(state);
  std::vector<unsigned char> f = PageFrame(s.w, s.h);
  cv::Mat src(s.h, s.w, CV_8UC3, f.data(), PictureStride(s.w, 24)), out;
  for (auto _ : state) {
    cv::blur(src, out, cv::Size(3, 3));
    benchmark::ClobberMemory();
  }
  Pixels(state, s);
}

// ---- Regions ---------------------------------------------------------------------

// Plane 0: the page detector's edge plane; plane 1: smoothed noise, about
// half on, in many regions (a hard case for both).
std::vector<unsigned char> RegionPlane(int w, int h, int kind) {
  if (kind == 0) return EdgePlane(w, h);
  std::vector<unsigned char> g(static_cast<std::size_t>(w) * h);
  std::mt19937 rng(5);
  for (auto& v : g) v = static_cast<unsigned char>(rng());
  CDataHandler().MedianFilter(g.data(), w, h);
  return g;
}

void BM_RegionAnalysis(benchmark::State& state) {
  const Size s(state);
  const std::vector<unsigned char> plane = RegionPlane(s.w, s.h, static_cast<int>(state.range(2)));
  std::vector<unsigned char> work(plane);
  CDataHandler dh;
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(work.data(), plane.data(), plane.size());
    state.ResumeTiming();
    dh.RegionAnalysis(work.data(), s.w, s.h);
    benchmark::ClobberMemory();
  }
  Pixels(state, s);
}

// Labels and statistics only, on the plane already thresholded at 125.
void BM_OpenCV_ConnectedComponentsWithStats(benchmark::State& state) {
  const Size s(state);
  std::vector<unsigned char> plane = RegionPlane(s.w, s.h, static_cast<int>(state.range(2)));
  cv::Mat src(s.h, s.w, CV_8U, plane.data()), binary, labels, stats, centroids;
  cv::threshold(src, binary, 125, 255, cv::THRESH_BINARY);
  for (auto _ : state) {
    cv::connectedComponentsWithStats(binary, labels, stats, centroids, 4, CV_32S);
    benchmark::ClobberMemory();
  }
  Pixels(state, s);
}

// ---- Change detection --------------------------------------------------------------

// Two frames in turn (the page moved a little), as during automatic photographing.
void BM_DynamicPointNumEx(benchmark::State& state) {
  const Size s(state);
  const std::vector<unsigned char> a = PageFrame(s.w, s.h, 1), b = PageFrame(s.w, s.h, 2);
  unsigned char* previous = nullptr;
  int pw = 0, ph = 0;
  CDataHandler dh;
  bool odd = false;
  for (auto _ : state) {
    benchmark::DoNotOptimize(dh.DynamicPointNumEx((odd ? b : a).data(), s.w, s.h, 24, nullptr,
                                                  previous, pw, ph));
    odd = !odd;
  }
  DelMem(previous);
  Pixels(state, s);
}

void BM_DynamicPointNum(benchmark::State& state) {
  const Size s(state);
  const std::vector<unsigned char> a = PageFrame(s.w, s.h, 1), b = PageFrame(s.w, s.h, 2);
  unsigned char* previous = nullptr;
  int pw = 0, ph = 0;
  CDataHandler dh;
  bool odd = false;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        dh.DynamicPointNum((odd ? b : a).data(), s.w, s.h, 24, previous, pw, ph));
    odd = !odd;
  }
  DelMem(previous);
  Pixels(state, s);
}

void Frames(benchmark::internal::Benchmark* b) {
  b->Args({1920, 1080})->Args({3264, 2448})->Unit(benchmark::kMicrosecond)->UseRealTime();
}
// Frames and the reduced planes the detectors work on (320 on the long side).
void FramesAndPlanes(benchmark::internal::Benchmark* b) {
  Frames(b);
  b->Args({320, 180})->Args({320, 240});
}
void RegionSizes(benchmark::internal::Benchmark* b) {
  for (int kind : {0, 1})
    b->Args({1920, 1080, kind})->Args({3264, 2448, kind})->Args({320, 180, kind})->Args({320, 240, kind});
  b->Unit(benchmark::kMicrosecond)->UseRealTime();
}

}  // namespace

BENCHMARK(BM_EdgeDetectionSobel)->Apply(FramesAndPlanes);
BENCHMARK(BM_OpenCV_SobelMax)->Apply(FramesAndPlanes);
BENCHMARK(BM_EdgeDetectionSobelEx)->Apply(FramesAndPlanes);
BENCHMARK(BM_OpenCV_Filter2DSqrt2Max)->Apply(FramesAndPlanes);
BENCHMARK(BM_EdgeDetectionLog)->Apply(FramesAndPlanes);
BENCHMARK(BM_OpenCV_Filter2DLog)->Apply(FramesAndPlanes);
BENCHMARK(BM_MedianFilter)->Apply(FramesAndPlanes);
BENCHMARK(BM_OpenCV_BlurGrey)->Apply(FramesAndPlanes);
BENCHMARK(BM_Colour24MedianFilter)->Apply(Frames);
BENCHMARK(BM_OpenCV_BlurBGR)->Apply(Frames);
BENCHMARK(BM_Colour24MedianFilterEx)->Apply(Frames);
BENCHMARK(BM_RegionAnalysis)->Apply(RegionSizes);
BENCHMARK(BM_OpenCV_ConnectedComponentsWithStats)->Apply(RegionSizes);
BENCHMARK(BM_DynamicPointNumEx)->Apply(Frames);
BENCHMARK(BM_DynamicPointNum)->Apply(Frames);

BENCHMARK_MAIN();
