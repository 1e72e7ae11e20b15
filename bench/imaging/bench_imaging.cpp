// Per-frame pixel operations on 24-bit frames, each next to the frame's
// memcpy (the physical floor) and the nearest OpenCV operation.
//
//   make bench && build/bench/bin/bench_imaging --benchmark_repetitions=5
//       --benchmark_min_time=0.2 --benchmark_report_aggregates_only=true
//
// Add --benchmark_filter=REGEX to run a subset. On a shared machine compare
// the CPU column (medians); the wall-clock column includes waiting for the
// processor.
//
// Every benchmark takes the frame size as its first two arguments (width,
// height). Operations that change the picture in place or replace it restore
// the original frame outside the timed part of each iteration. Operations
// that replace the picture allocate their result with NewMem on every call,
// as their contract requires; for frames above glibc's mmap threshold that
// means fresh pages (page faults) on every call, while OpenCV reuses its
// output. Running with MALLOC_MMAP_THRESHOLD_=268435456
// MALLOC_TRIM_THRESHOLD_=536870912 shows the cost without that effect.

#include "imaging/data_handler.h"

#include "bench/memcpy_baseline.h"
#include "contracts/fundara/memory.h"

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

// Every comparison is single-threaded on both sides.
const int kOneThread = (cv::setNumThreads(1), 1);
const int kBaselines = (bench::RegisterMemcpyBaselines(), 0);

// A frame that looks like a camera picture: smooth gradients with noise, so
// that data-dependent branches behave as they do on real frames.
std::vector<unsigned char> MakeFrame(int w, int h) {
  const std::size_t stride = PictureStride(w, 24);
  std::vector<unsigned char> f(stride * h, 0);
  std::mt19937 rng(1);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      unsigned char* p = &f[stride * y + 3 * x];
      const int noise = static_cast<int>(rng() % 9) - 4;
      p[0] = static_cast<unsigned char>(std::clamp(x * 255 / w + noise, 0, 255));
      p[1] = static_cast<unsigned char>(std::clamp(y * 255 / h + noise, 0, 255));
      p[2] = static_cast<unsigned char>(std::clamp((x + y) * 127 / (w + h) + 64 + noise, 0, 255));
    }
  return f;
}

struct Frame {
  int w, h;
  std::size_t stride;
  std::vector<unsigned char> pristine;
  explicit Frame(const benchmark::State& state)
      : w(static_cast<int>(state.range(0))), h(static_cast<int>(state.range(1))),
        stride(PictureStride(w, 24)), pristine(MakeFrame(w, h)) {}
  std::size_t Bytes() const { return stride * h; }
  // A NewMem copy of the frame.
  unsigned char* NewCopy() const {
    unsigned char* p = NewMem(Bytes());
    std::memcpy(p, pristine.data(), Bytes());
    return p;
  }
  cv::Mat Mat() { return cv::Mat(h, w, CV_8UC3, pristine.data(), stride); }
};

void Finish(benchmark::State& state, const Frame& f) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.Bytes()));
}

// ---- In-place tone operations ------------------------------------------

template <typename Op>
void InPlace(benchmark::State& state, Op op) {
  Frame f(state);
  std::vector<unsigned char> work(f.pristine);
  CDataHandler dh;
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(work.data(), f.pristine.data(), f.Bytes());
    state.ResumeTiming();
    op(dh, work.data(), f.w, f.h);
    benchmark::ClobberMemory();
  }
  Finish(state, f);
}

void BM_AdjustLuminosity(benchmark::State& state) {
  InPlace(state, [](CDataHandler& dh, unsigned char* p, int w, int h) { dh.AdjustLuminosity(p, w, h, 24, 30); });
}
void BM_AdjustContrast(benchmark::State& state) {
  InPlace(state, [](CDataHandler& dh, unsigned char* p, int w, int h) { dh.AdjustContrast(p, w, h, 24, 40); });
}
// Copy, brightness and contrast in one pass, next to OpenCV's two LUTs.
void BM_CopyLuminosityContrast(benchmark::State& state) {
  Frame f(state);
  std::vector<unsigned char> out(f.Bytes());
  CDataHandler dh;
  for (auto _ : state) {
    dh.CopyLuminosityContrast(f.pristine.data(), out.data(), f.w, f.h, 24, 30, 40);
    benchmark::ClobberMemory();
  }
  Finish(state, f);
}
void BM_SaturationAlter(benchmark::State& state) {
  InPlace(state, [](CDataHandler& dh, unsigned char* p, int w, int h) { dh.SaturationAlter(p, w, h, 24, 250, 200, 180); });
}
void BM_AdjustSaturation(benchmark::State& state) {
  InPlace(state, [](CDataHandler& dh, unsigned char* p, int w, int h) { dh.AdjustSaturation(p, w, h, 24, 40); });
}
void BM_OpenCV_LUT(benchmark::State& state) {
  Frame f(state);
  cv::Mat src = f.Mat(), dst(f.h, f.w, CV_8UC3), lut(1, 256, CV_8U);
  for (int i = 0; i < 256; ++i) lut.at<unsigned char>(i) = static_cast<unsigned char>(255 - i);
  for (auto _ : state) {
    cv::LUT(src, lut, dst);
    benchmark::ClobberMemory();
  }
  Finish(state, f);
}
void BM_OpenCV_HlsRoundTrip(benchmark::State& state) {
  Frame f(state);
  cv::Mat src = f.Mat(), hls, back;
  for (auto _ : state) {
    cv::cvtColor(src, hls, cv::COLOR_BGR2HLS_FULL);
    cv::cvtColor(hls, back, cv::COLOR_HLS2BGR_FULL);
    benchmark::ClobberMemory();
  }
  Finish(state, f);
}

// ---- Conversions and display modes -------------------------------------

void BM_ColourToGreyScale(benchmark::State& state) {
  Frame f(state);
  std::vector<unsigned char> grey(PictureSize(f.w, f.h, 8));
  CDataHandler dh;
  for (auto _ : state) {
    dh.ColourToGreyScale(f.pristine.data(), f.w, f.h, 24, nullptr, grey.data(), 1);
    benchmark::ClobberMemory();
  }
  Finish(state, f);
}
void BM_OpenCV_CvtColorGray(benchmark::State& state) {
  Frame f(state);
  cv::Mat src = f.Mat(), grey;
  for (auto _ : state) {
    cv::cvtColor(src, grey, cv::COLOR_BGR2GRAY);
    benchmark::ClobberMemory();
  }
  Finish(state, f);
}
void BM_ColourToReversed(benchmark::State& state) {
  Frame f(state);
  std::vector<unsigned char> dst(f.Bytes());
  CDataHandler dh;
  for (auto _ : state) {
    dh.ColourToReversed(f.pristine.data(), f.w, f.h, 24, nullptr, dst.data());
    benchmark::ClobberMemory();
  }
  Finish(state, f);
}
void BM_ColourToSingle(benchmark::State& state) {
  Frame f(state);
  std::vector<unsigned char> dst(PictureSize(f.w, f.h, 8));
  CDataHandler dh;
  for (auto _ : state) {
    dh.ColourToSingle(f.pristine.data(), f.w, f.h, 24, nullptr, dst.data(), 100);
    benchmark::ClobberMemory();
  }
  Finish(state, f);
}
void BM_ColourToRelief(benchmark::State& state) {
  Frame f(state);
  std::vector<unsigned char> dst(f.Bytes());
  CDataHandler dh;
  for (auto _ : state) {
    dh.ColourToRelief(f.pristine.data(), f.w, f.h, 24, dst.data());
    benchmark::ClobberMemory();
  }
  Finish(state, f);
}
void BM_ColourToSharpen(benchmark::State& state) {
  Frame f(state);
  std::vector<unsigned char> dst(f.Bytes());
  CDataHandler dh;
  for (auto _ : state) {
    dh.ColourToSharpen(f.pristine.data(), f.w, f.h, 24, dst.data());
    benchmark::ClobberMemory();
  }
  Finish(state, f);
}

// ---- Buffer-replacing operations ---------------------------------------

template <typename Op>
void Replacing(benchmark::State& state, Op op) {
  Frame f(state);
  CDataHandler dh;
  for (auto _ : state) {
    state.PauseTiming();
    unsigned char* p = f.NewCopy();
    long w = f.w, h = f.h;
    state.ResumeTiming();
    op(dh, p, w, h);
    benchmark::ClobberMemory();
    state.PauseTiming();
    DelMem(p);
    state.ResumeTiming();
  }
  Finish(state, f);
}

void BM_RotationImage(benchmark::State& state) {
  const int degrees = static_cast<int>(state.range(2));
  Replacing(state, [degrees](CDataHandler& dh, unsigned char*& p, long& w, long& h) {
    CRect region(0, 0, static_cast<int>(w), static_cast<int>(h));
    dh.RotationImage(p, w, h, region, 24, degrees);
  });
}
void BM_RotationImageData(benchmark::State& state) {
  const auto value = static_cast<rotation_degree>(state.range(2));
  Replacing(state, [value](CDataHandler& dh, unsigned char*& p, long& w, long& h) {
    dh.RotationImageData(p, w, h, 24, value);
  });
}
void BM_RotatePicture(benchmark::State& state) {
  const double angle = static_cast<double>(state.range(2)) * 3.141592653589793 / 180;
  Replacing(state, [angle](CDataHandler& dh, unsigned char*& p, long& w, long& h) {
    dh.RotatePicture(p, w, h, 24, CRect(0, 0, static_cast<int>(w), static_cast<int>(h)), angle);
  });
}
void BM_ZoomData(benchmark::State& state) {
  Frame f(state);
  const float scale = static_cast<float>(state.range(2)) / 100.0f;
  CDataHandler dh;
  for (auto _ : state) {
    unsigned char* out = nullptr;
    int ow = 0, oh = 0;
    dh.ZoomData(f.pristine.data(), f.w, f.h, 24, scale, out, ow, oh);
    benchmark::ClobberMemory();
    state.PauseTiming();
    DelMem(out);
    state.ResumeTiming();
  }
  Finish(state, f);
}

void BM_OpenCV_Rotate(benchmark::State& state) {
  Frame f(state);
  const int code = static_cast<int>(state.range(2));
  cv::Mat src = f.Mat(), dst;
  for (auto _ : state) {
    cv::rotate(src, dst, code);
    benchmark::ClobberMemory();
  }
  Finish(state, f);
}
void BM_OpenCV_Flip(benchmark::State& state) {
  Frame f(state);
  const int code = static_cast<int>(state.range(2));
  cv::Mat src = f.Mat(), dst;
  for (auto _ : state) {
    cv::flip(src, dst, code);
    benchmark::ClobberMemory();
  }
  Finish(state, f);
}
void BM_OpenCV_ResizeNearest(benchmark::State& state) {
  Frame f(state);
  const double scale = static_cast<double>(state.range(2)) / 100.0;
  cv::Mat src = f.Mat(), dst;
  for (auto _ : state) {
    cv::resize(src, dst, cv::Size(), scale, scale, cv::INTER_NEAREST);
    benchmark::ClobberMemory();
  }
  Finish(state, f);
}
// Rotation about the centre into the bounding size, as the library's
// rotations produce it; interpolation 0 = nearest, 1 = bilinear.
void BM_OpenCV_WarpAffine(benchmark::State& state) {
  Frame f(state);
  const double degrees = static_cast<double>(state.range(2));
  const int interpolation = static_cast<int>(state.range(3));
  cv::Mat src = f.Mat(), dst;
  const double a = degrees * 3.141592653589793 / 180;
  const int ow = static_cast<int>(std::fabs(f.w * std::cos(a)) + std::fabs(f.h * std::sin(a)) + 1);
  const int oh = static_cast<int>(std::fabs(f.w * std::sin(a)) + std::fabs(f.h * std::cos(a)) + 1);
  cv::Mat m = cv::getRotationMatrix2D(cv::Point2f(f.w / 2.0f, f.h / 2.0f), degrees, 1.0);
  m.at<double>(0, 2) += (ow - f.w) / 2.0;
  m.at<double>(1, 2) += (oh - f.h) / 2.0;
  for (auto _ : state) {
    cv::warpAffine(src, dst, m, cv::Size(ow, oh), interpolation, cv::BORDER_CONSTANT, cv::Scalar(255, 255, 255));
    benchmark::ClobberMemory();
  }
  Finish(state, f);
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->Args({1920, 1080})->Args({3264, 2448})->Unit(benchmark::kMillisecond)->UseRealTime();
}
// Third argument: degrees, rotation value, scale percent or OpenCV code.
void SizesWith(benchmark::internal::Benchmark* b, std::initializer_list<int64_t> extra) {
  for (int64_t e : extra) b->Args({1920, 1080, e})->Args({3264, 2448, e});
  b->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_AdjustLuminosity)->Apply(Sizes);
BENCHMARK(BM_AdjustContrast)->Apply(Sizes);
BENCHMARK(BM_CopyLuminosityContrast)->Apply(Sizes);
BENCHMARK(BM_SaturationAlter)->Apply(Sizes);
BENCHMARK(BM_OpenCV_LUT)->Apply(Sizes);
BENCHMARK(BM_AdjustSaturation)->Apply(Sizes);
BENCHMARK(BM_OpenCV_HlsRoundTrip)->Apply(Sizes);
BENCHMARK(BM_ColourToGreyScale)->Apply(Sizes);
BENCHMARK(BM_OpenCV_CvtColorGray)->Apply(Sizes);
BENCHMARK(BM_ColourToReversed)->Apply(Sizes);
BENCHMARK(BM_ColourToSingle)->Apply(Sizes);
BENCHMARK(BM_ColourToRelief)->Apply(Sizes);
BENCHMARK(BM_ColourToSharpen)->Apply(Sizes);
BENCHMARK(BM_RotationImage)->Apply([](benchmark::internal::Benchmark* b) { SizesWith(b, {0, 90, 7}); });
BENCHMARK(BM_OpenCV_WarpAffine)->Apply([](benchmark::internal::Benchmark* b) {
  for (int64_t deg : {90, 7})
    for (int64_t interp : {0, 1}) b->Args({1920, 1080, deg, interp})->Args({3264, 2448, deg, interp});
  b->Unit(benchmark::kMillisecond)->UseRealTime();
});
BENCHMARK(BM_RotatePicture)->Apply([](benchmark::internal::Benchmark* b) { SizesWith(b, {7}); });
BENCHMARK(BM_RotationImageData)->Apply([](benchmark::internal::Benchmark* b) { SizesWith(b, {1, 2, 3, 4, 5}); });
BENCHMARK(BM_OpenCV_Rotate)->Apply([](benchmark::internal::Benchmark* b) {
  SizesWith(b, {cv::ROTATE_90_CLOCKWISE, cv::ROTATE_180, cv::ROTATE_90_COUNTERCLOCKWISE});
});
BENCHMARK(BM_OpenCV_Flip)->Apply([](benchmark::internal::Benchmark* b) { SizesWith(b, {0, 1}); });
BENCHMARK(BM_ZoomData)->Apply([](benchmark::internal::Benchmark* b) { SizesWith(b, {50, 150}); });
BENCHMARK(BM_OpenCV_ResizeNearest)->Apply([](benchmark::internal::Benchmark* b) { SizesWith(b, {50, 150}); });

}  // namespace

BENCHMARK_MAIN();
