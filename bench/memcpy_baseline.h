#pragma once
// The floor every per-frame operation is measured against: a memcpy of the
// 24-bit frame (arguments: width, height), in two forms.
//   BM_MemcpyWarm  the same two buffers every time: after the first copy
//                  both sit in the cache (when the frame fits there).
//   BM_MemcpyCold  a ring of buffer pairs together twice the size of the
//                  last-level cache, each copy taking the next pair: every
//                  copy reads and writes main memory.

#include "imaging/data_handler.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace bench {

inline std::size_t FrameBytes(const benchmark::State& state) {
  return PictureSize(static_cast<long>(state.range(0)), static_cast<long>(state.range(1)), 24);
}

inline void BM_MemcpyWarm(benchmark::State& state) {
  const std::size_t bytes = FrameBytes(state);
  std::vector<unsigned char> src(bytes, 7), dst(bytes);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), bytes);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetLabel("cache-warm");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

inline void BM_MemcpyCold(benchmark::State& state) {
  const std::size_t bytes = FrameBytes(state);
  const long cache = sysconf(_SC_LEVEL3_CACHE_SIZE);
  const std::size_t llc = cache > 0 ? static_cast<std::size_t>(cache) : std::size_t{64} << 20;
  const std::size_t pairs = std::max<std::size_t>(2, (2 * llc + 2 * bytes - 1) / (2 * bytes));
  std::vector<std::vector<unsigned char>> src(pairs), dst(pairs);
  for (std::size_t i = 0; i < pairs; ++i) {
    src[i].assign(bytes, static_cast<unsigned char>(i));
    dst[i].assign(bytes, 0);
  }
  std::size_t next = 0;
  for (auto _ : state) {
    std::memcpy(dst[next].data(), src[next].data(), bytes);
    benchmark::DoNotOptimize(dst[next].data());
    benchmark::ClobberMemory();
    next = (next + 1) % pairs;
  }
  state.SetLabel("cold: " + std::to_string(pairs) + " buffer pairs, " +
                 std::to_string(2 * pairs * bytes >> 20) + " MiB >= 2 x LLC " + std::to_string(llc >> 20) + " MiB");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

// Both baselines at the two camera sizes.
inline void RegisterMemcpyBaselines() {
  for (auto* b : {benchmark::RegisterBenchmark("BM_MemcpyWarm", BM_MemcpyWarm),
                  benchmark::RegisterBenchmark("BM_MemcpyCold", BM_MemcpyCold)})
    b->Args({1920, 1080})->Args({3264, 2448})->Unit(benchmark::kMillisecond)->UseRealTime();
}

}  // namespace bench
