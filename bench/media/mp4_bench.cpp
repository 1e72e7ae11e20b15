// CMp4Muxer: the processor time one recorded second costs (all threads of
// the process: the caller's encode of the pictures, the mux thread's sound
// encode and writing), the time the caller's thread spends handing over one
// sound block, and the final copy of a 45-minute recording into an
// ordinary MP4 with its index in front.
#include <benchmark/benchmark.h>

#include <time.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include "media/flvrecord.h"
#include "media/mp4muxer.h"
#include "tools/brevio-media/synthetic.h"

// The final copy exists from the fragmented recordings on; the first two
// measurements also build against the muxer as it was before them.
#if __has_include("media/mp4finish.h")
#include "media/mp4finish.h"
#define BREVIO_BENCH_FINISH 1
#endif

namespace {

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

std::string Scratch(const std::string& name) { return (std::filesystem::temp_directory_path() / name).string(); }

std::vector<std::vector<unsigned char>> Pictures(int width, int height, int count) {
  std::vector<std::vector<unsigned char>> out(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    synthetic::DrawPicture(out[i], width, height, i, i * 40.0);
    synthetic::AddTexture(out[i], width, height, i, i * 40.0);
  }
  return out;
}

// One iteration is one recorded second: 25 pictures and 44100 samples of
// sound in blocks of 8192, handed in as fast as they are taken.
void BM_Mp4RecordedSecond(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
  const auto pictures = Pictures(width, height, 25);
  std::vector<unsigned char> pcm;
  const std::string path = Scratch("bench_mp4_second.mp4");
  CMp4Muxer m;
  if (!m.Init(path.c_str(), width, height)) {
    state.SkipWithError("cannot create the output file");
    return;
  }
  std::int64_t samples = 0;
  const double cpu0 = ProcessCpuSeconds();
  for (auto _ : state) {
    for (int i = 0; i < 25; ++i) {
      m.BmptoH264Data(pictures[i].data(), static_cast<int>(pictures[i].size()));
      while (samples + 8192 <= (static_cast<std::int64_t>(state.iterations()) * 25 + i + 1) * 44100 / 25) {
        synthetic::FillSound(pcm, samples, 8192, 1000);
        m.SetPCMData(pcm.data(), static_cast<int>(pcm.size()));
        samples += 8192;
      }
    }
  }
  m.AddEndData();
  m.Close();
  const double cpu = ProcessCpuSeconds() - cpu0;
  std::filesystem::remove(path);
  state.counters["cpu_s_per_recorded_s"] = cpu / static_cast<double>(state.iterations());
}

// The caller's time for one block of 8192 samples (16384 bytes, what a
// wave-in buffer holds) while the recording runs.
void BM_Mp4SoundBlockHandOver(benchmark::State& state) {
  const auto pictures = Pictures(640, 480, 1);
  std::vector<unsigned char> pcm;
  synthetic::FillSound(pcm, 0, 8192, 1000);
  const std::string path = Scratch("bench_mp4_sound.mp4");
  CMp4Muxer m;
  if (!m.Init(path.c_str(), 640, 480)) {
    state.SkipWithError("cannot create the output file");
    return;
  }
  m.BmptoH264Data(pictures[0].data(), static_cast<int>(pictures[0].size()));  // the clock runs
  for (auto _ : state) {
    benchmark::DoNotOptimize(m.SetPCMData(pcm.data(), static_cast<int>(pcm.size())));
    // One block every 186 ms at most, as a microphone delivers them.
    state.PauseTiming();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    state.ResumeTiming();
  }
  m.AddEndData();
  m.Close();
  std::filesystem::remove(path);
}

#ifdef BREVIO_BENCH_FINISH

// A fragmented recording of `minutes` made from a 10 s recording repeated
// (stream copies with shifted times), as the muxer writes it while recording.
bool LongFragmentedFile(const std::string& segment, const std::string& out, int minutes) {
  AVFormatContext* in = nullptr;
  if (avformat_open_input(&in, segment.c_str(), nullptr, nullptr) < 0) return false;
  avformat_find_stream_info(in, nullptr);
  AVFormatContext* o = nullptr;
  avformat_alloc_output_context2(&o, nullptr, "mp4", out.c_str());
  bool ok = o != nullptr;
  for (unsigned i = 0; ok && i < in->nb_streams; ++i) {
    AVStream* s = avformat_new_stream(o, nullptr);
    ok = s && avcodec_parameters_copy(s->codecpar, in->streams[i]->codecpar) >= 0;
    if (ok) s->codecpar->codec_tag = 0;
    if (ok) s->time_base = in->streams[i]->time_base;
  }
  AVDictionary* opt = nullptr;
  av_dict_set(&opt, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
  av_dict_set(&opt, "min_frag_duration", "1000000", 0);
  ok = ok && avio_open(&o->pb, out.c_str(), AVIO_FLAG_WRITE) >= 0 && avformat_write_header(o, &opt) >= 0;
  av_dict_free(&opt);
  const int64_t segmentUs = 10 * AV_TIME_BASE;
  AVPacket* p = av_packet_alloc();
  for (int rep = 0; ok && rep < minutes * 6; ++rep) {
    av_seek_frame(in, -1, 0, AVSEEK_FLAG_BACKWARD);
    while (av_read_frame(in, p) >= 0) {
      const AVRational tb = in->streams[p->stream_index]->time_base;
      const int64_t shift = av_rescale_q(rep * segmentUs, AV_TIME_BASE_Q, tb);
      const bool inside = av_compare_ts(p->dts, tb, segmentUs, AV_TIME_BASE_Q) < 0;
      p->pts += shift;
      p->dts += shift;
      av_packet_rescale_ts(p, tb, o->streams[p->stream_index]->time_base);
      if (inside && av_interleaved_write_frame(o, p) < 0) ok = false;
      av_packet_unref(p);
    }
  }
  av_packet_free(&p);
  if (o) {
    if (ok) av_write_trailer(o);
    avio_closep(&o->pb);
    avformat_free_context(o);
  }
  avformat_close_input(&in);
  return ok;
}

// The last step of a 45-minute 640 × 480 recording; the counter gives the
// file's size.
void BM_FinishFortyFiveMinutes(benchmark::State& state) {
  const std::string segment = Scratch("bench_mp4_segment.mp4");
  const std::string source = Scratch("bench_mp4_45min_fragmented.mp4");
  const std::string work = Scratch("bench_mp4_45min.mp4");
  {
    // 10 s recorded in real time, the fragmented file kept as written.
    const auto pictures = Pictures(640, 480, 50);
    CMp4Muxer m;
    m.SetFinishFaststart(false);
    if (!m.Init(segment.c_str(), 640, 480)) {
      state.SkipWithError("cannot create the output file");
      return;
    }
    std::vector<unsigned char> pcm;
    const auto start = std::chrono::steady_clock::now();
    std::int64_t samples = 0;
    for (int n = 0; n < 260; ++n) {
      std::this_thread::sleep_until(start + std::chrono::milliseconds(40 * n));
      m.BmptoH264Data(pictures[n % 50].data(), static_cast<int>(pictures[n % 50].size()));
      if ((samples + 8192) * 25 <= (n + 1) * 44100LL) {
        synthetic::FillSound(pcm, samples, 8192, 1000);
        m.SetPCMData(pcm.data(), static_cast<int>(pcm.size()));
        samples += 8192;
      }
    }
    m.AddEndData();
    m.Close();
  }
  if (!LongFragmentedFile(segment, source, 45)) {
    state.SkipWithError("cannot build the 45-minute file");
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::copy_file(source, work, std::filesystem::copy_options::overwrite_existing);
    state.ResumeTiming();
    std::string error;
    if (!kinora::MakeFaststartMp4(work, &error)) state.SkipWithError(error.c_str());
  }
  state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(work)) / 1e6;
  for (const auto& f : {segment, source, work}) std::filesystem::remove(f);
}

#endif

}  // namespace

BENCHMARK(BM_Mp4RecordedSecond)->Args({640, 480})->Args({1280, 720})->Unit(benchmark::kMillisecond)->MinTime(5)->UseRealTime();
BENCHMARK(BM_Mp4SoundBlockHandOver)->Unit(benchmark::kMicrosecond)->Iterations(100);
#ifdef BREVIO_BENCH_FINISH
BENCHMARK(BM_FinishFortyFiveMinutes)->Unit(benchmark::kSecond)->Iterations(1);
#endif
