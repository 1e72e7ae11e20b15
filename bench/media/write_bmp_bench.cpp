// Cost of one recorded picture at 640 × 480: CFlvRecord::WriteBmpData, that
// is the BGR → YUV conversion and the H.264 encode on the caller's thread.
// The share of one core a 25-per-second recording uses is reported as the
// counter "core_share_at_25fps".
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "media/encoders.h"
#include "media/flvrecord.h"
#include "tools/brevio-media/synthetic.h"

namespace {

constexpr int kW = 640, kH = 480, kPictures = 50;

enum class Content { TestPicture, Noisy };

std::vector<std::vector<unsigned char>> MakePictures(Content content) {
  std::vector<std::vector<unsigned char>> pictures(kPictures);
  for (int i = 0; i < kPictures; ++i) {
    synthetic::DrawPicture(pictures[i], kW, kH, i, i * 40.0);
    // Camera-like: a textured page with sensor noise that changes every picture.
    if (content == Content::Noisy) synthetic::AddTexture(pictures[i], kW, kH, i, i * 40.0);
  }
  return pictures;
}

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

// Per picture on the calling thread's processor time, which is what a
// recording costs one core whatever else the machine is doing.
void Report(benchmark::State& state, double cpuSeconds) {
  const double n = static_cast<double>(state.iterations());
  state.counters["cpu_ms_per_picture"] = cpuSeconds * 1000.0 / n;
  state.counters["pictures_per_cpu_s"] = n / cpuSeconds;
  state.counters["core_share_at_25fps"] = cpuSeconds * 25.0 / n;
}

void BM_WriteBmpData(benchmark::State& state, Content content) {
  const auto pictures = MakePictures(content);
  const std::string path = (std::filesystem::temp_directory_path() / "bench_media.flv").string();
  CFlvRecord rec;
  if (!rec.Init(kW, kH, path.c_str())) {
    state.SkipWithError("cannot create the output file");
    return;
  }
  std::size_t i = 0;
  const double cpu0 = ThreadCpuSeconds();
  for (auto _ : state) {
    const auto& p = pictures[i++ % pictures.size()];
    benchmark::DoNotOptimize(rec.WriteBmpData(p.data(), static_cast<int>(p.size())));
  }
  const double cpu = ThreadCpuSeconds() - cpu0;
  rec.Close();  // after the timed loop: draining is not part of a picture's cost
  std::filesystem::remove(path);
  Report(state, cpu);
}

// The encoder alone, without queue and file: what the recorder adds is the difference.
void BM_BmptoH264(benchmark::State& state, Content content) {
  const auto pictures = MakePictures(content);
  struct Sink : IH264DataHandler {
    int SetH264Data(const unsigned char*, int length) override {
      bytes += length;
      return 1;
    }
    std::int64_t bytes = 0;
  } sink;
  CBmptoH264 enc;
  enc.SetH264DataHandler(&sink);
  if (!enc.Init(kW, kH, 25)) {
    state.SkipWithError("no H.264 encoder");
    return;
  }
  std::size_t i = 0;
  const double cpu0 = ThreadCpuSeconds();
  for (auto _ : state) {
    const auto& p = pictures[i++ % pictures.size()];
    benchmark::DoNotOptimize(enc.BmptoH264Data(p.data(), static_cast<int>(p.size())));
  }
  Report(state, ThreadCpuSeconds() - cpu0);
}

}  // namespace

BENCHMARK_CAPTURE(BM_WriteBmpData, test_picture, Content::TestPicture)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK_CAPTURE(BM_WriteBmpData, noisy_camera, Content::Noisy)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK_CAPTURE(BM_BmptoH264, noisy_camera, Content::Noisy)->Unit(benchmark::kMillisecond)->MinTime(2);
int main(int argc, char** argv) {
  av_log_set_level(AV_LOG_ERROR);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
