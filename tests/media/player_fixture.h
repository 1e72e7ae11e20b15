#pragma once
// Shared pieces of the player suites: test files made once per build tree
// (by FFmpeg's command-line tool or `brevio-media record`), an owner window
// that notes every picture it is handed, and an independent decode of a
// file's sound with libav.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
}

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "media/mp4decode.h"
#include "platform/messages.h"
#include "platform/records.h"
#include "platform/sync.h"
#include "tests/media/decode_check.h"
#include "tests/media/test_paths.h"
#include "tests/support/test_app.h"
#include "tests/support/wait.h"
#include "tools/brevio-media/synthetic.h"

namespace playertest {

namespace fs = std::filesystem;

// The file `name` in the scratch folder, made by `command` (with OUT for
// the path) unless it is there already and newer than the recording tool.
// Suites in parallel processes take turns through a lock file.
inline std::string Made(const std::string& name, const std::string& command) {
  const std::string path = flvtest::Scratch(name);
  const int lock = ::open((path + ".lock").c_str(), O_CREAT | O_RDWR, 0644);
  if (lock >= 0) ::flock(lock, LOCK_EX);
  std::error_code ec;
  const bool fresh = fs::exists(path, ec) && fs::file_size(path, ec) > 0 &&
                     fs::last_write_time(path, ec) > fs::last_write_time(mediacheck::Tool(), ec);
  if (!fresh) {
    const std::string partial = path + ".part" + fs::path(path).extension().string();
    std::string cmd = command;
    cmd.replace(cmd.find("OUT"), 3, "'" + partial + "'");
    const mediacheck::ShellRun run = mediacheck::Shell(cmd);
    if (run.status == 0) fs::rename(partial, path, ec);
    else std::fprintf(stderr, "making %s failed: %s\n", name.c_str(), run.output.c_str());
  }
  if (lock >= 0) ::close(lock);
  return path;
}

// Four seconds at 25 pictures per second, no sound, H.264 with B-frames,
// lossless: picture n is a flat grey of luma 16 + 2n.
inline std::string GreyClip() {
  return Made("player-grey.mp4",
              "ffmpeg -nostdin -v error -y -f lavfi -i \"nullsrc=s=64x48:r=25:d=4,format=yuv420p,geq=lum='16+2*N':cb=128:cr=128\" "
              "-c:v libx264 -qp 0 -bf 2 -g 25 -f mp4 OUT");
}
// Sound only.
inline std::string SineOnly() {
  return Made("player-sine.m4a", "ffmpeg -nostdin -v error -y -f lavfi -i sine=d=2 -c:a aac -f mp4 OUT");
}
// `brevio-media record` files: the flashing square with tone bursts.
inline std::string ToneMp4() {
  return Made("player-tone20.mp4", "'" + mediacheck::Tool() + "' record OUT --size 320x240 --seconds 20 --tone 1000");
}
inline std::string ToneFlv() {
  return Made("player-tone.flv", "'" + mediacheck::Tool() + "' record OUT --size 160x120 --seconds 4 --tone 1000");
}
// The AVI writer's files: picture only, and with 22050 Hz mono sound.
inline std::string PictureAvi() {
  return Made("player-picture.avi", "'" + mediacheck::Tool() + "' record OUT --size 160x120 --seconds 4 --fps 10");
}
inline std::string MicAvi() {
  const std::string tone = flvtest::Scratch("player-avi-tone.raw");
  if (!fs::exists(tone)) mediacheck::WriteToneFile(tone, 22050, 6, 1000);
  return Made("player-mic.avi", "SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILEIN='" + tone + "' '" + mediacheck::Tool() +
                                    "' record OUT --size 160x120 --seconds 4 --fps 10 --mic");
}

// The grey clip's picture number from a pixel value (inverse of the
// limited-range luma to BGR conversion).
inline int GreyIndex(int value) { return static_cast<int>(std::lround((value * 219.0 / 255.0) / 2.0)); }

inline std::size_t HashOf(const unsigned char* data, std::size_t size) {
  return std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char*>(data), size));
}

// Whether the synthetic square is lit in a bottom-up BGR picture with
// rows of `stride` bytes.
inline bool SquareLit(const unsigned char* data, int width, int height, int stride) {
  const synthetic::Box box = synthetic::SquareBox(width, height);
  double sum = 0;
  int n = 0;
  for (int y = box.y0 + 2; y < box.y1 - 2; ++y) {
    const unsigned char* row = data + static_cast<std::size_t>(height - 1 - y) * stride;
    for (int x = box.x0 + 2; x < box.x1 - 2; ++x, ++n) sum += row[3 * x + 1];
  }
  return n > 0 && sum / n > 150;
}

struct Shown {
  std::uint32_t tick;  // when the owner got it
  WPARAM second;
  int width, height;
  int grey;            // centre pixel's blue value
  std::size_t hash;    // of the unpadded rows
  bool lit;
  std::uint32_t clockStart;
};

// The owner window: notes each picture; may stall on one of them.
class COwner : public CMessageRecorder {
 public:
  CMp4Decode* player = nullptr;
  int stallOn = -1;  // index into `shown`
  int stallMs = 0;
  std::vector<Shown> shown;

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == WM_CAMERA_FRAME && lParam) {
      const auto* f = reinterpret_cast<const _CAMERAFRAME*>(lParam);
      const int stride = (f->width * 3 + 3) & ~3;
      std::vector<unsigned char> rows(static_cast<std::size_t>(f->width) * 3 * f->height);
      for (int y = 0; y < f->height; ++y) {
        std::memcpy(rows.data() + static_cast<std::size_t>(y) * f->width * 3, f->data + y * stride, f->width * 3);
      }
      const unsigned char* centre = f->data + (f->height / 2) * stride + (f->width / 2) * 3;
      shown.push_back({GetTickCount(), wParam, f->width, f->height, centre[0], HashOf(rows.data(), rows.size()),
                       SquareLit(f->data, f->width, f->height, stride), player ? player->m_clockStart.load() : 0});
      if (static_cast<int>(shown.size()) - 1 == stallOn) Sleep(stallMs);
    }
    return CMessageRecorder::OnMessage(msg, wParam, lParam);
  }
};

// Runs the owner's events for `ms`.
inline void Pump(int ms) {
  WaitUntil([] { return false; }, ms, 1);
}

// A player on `path` with both decoders (sound when the file and SDL have it).
inline bool Open(CMp4Decode& player, const std::string& path, COwner* owner = nullptr) {
  if (!player.Init(path.c_str()) || !player.OpenVideoDecode()) return false;
  if (player.m_audioIndex >= 0) player.OpenAudioDecode();
  if (owner) {
    owner->player = &player;
    player.SetHwnd(owner);
  }
  return true;
}

// Every picture of a file from the start: its hash and time.
struct Reference {
  std::vector<std::size_t> hashes;
  std::vector<std::uint32_t> times;
  int IndexOf(std::size_t hash) const {
    for (std::size_t i = 0; i < hashes.size(); ++i) {
      if (hashes[i] == hash) return static_cast<int>(i);
    }
    return -1;
  }
};
inline Reference ReferenceOf(const std::string& path) {
  Reference r;
  CMp4Decode player;
  if (!Open(player, path)) return r;
  while (const unsigned char* p = player.ReadFrame(0)) {
    r.hashes.push_back(HashOf(p, static_cast<std::size_t>(player.GetVideoWidth()) * player.GetVideoHeight() * 3));
    r.times.push_back(player.m_frameTime);
  }
  return r;
}

// The file's sound decoded and converted to 16-bit stereo at 44100 Hz with
// libav directly (not through the player).
inline std::vector<std::int16_t> DecodedSound(const std::string& path) {
  std::vector<std::int16_t> out;
  AVFormatContext* fmt = nullptr;
  if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return out;
  avformat_find_stream_info(fmt, nullptr);
  const int index = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (index < 0) {
    avformat_close_input(&fmt);
    return out;
  }
  const AVCodec* codec = avcodec_find_decoder(fmt->streams[index]->codecpar->codec_id);
  AVCodecContext* c = avcodec_alloc_context3(codec);
  avcodec_parameters_to_context(c, fmt->streams[index]->codecpar);
  avcodec_open2(c, codec, nullptr);
  SwrContext* swr = nullptr;
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  AVChannelLayout in{};
  if (c->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) av_channel_layout_default(&in, c->ch_layout.nb_channels);
  else av_channel_layout_copy(&in, &c->ch_layout);
  swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_S16, 44100, &in, c->sample_fmt, c->sample_rate, 0, nullptr);
  av_channel_layout_uninit(&in);
  swr_init(swr);
  AVPacket* pkt = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  auto drain = [&] {
    while (avcodec_receive_frame(c, frame) == 0) {
      const int room = swr_get_out_samples(swr, frame->nb_samples);
      std::vector<std::int16_t> block(static_cast<std::size_t>(room) * 2);
      uint8_t* dst[1] = {reinterpret_cast<uint8_t*>(block.data())};
      const int got =
          swr_convert(swr, dst, room, const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
      if (got > 0) out.insert(out.end(), block.begin(), block.begin() + got * 2);
    }
  };
  while (av_read_frame(fmt, pkt) >= 0) {
    if (pkt->stream_index == index && avcodec_send_packet(c, pkt) == 0) drain();
    av_packet_unref(pkt);
  }
  avcodec_send_packet(c, nullptr);
  drain();
  // The resampler's last samples.
  std::vector<std::int16_t> tail(8192 * 2);
  uint8_t* dst[1] = {reinterpret_cast<uint8_t*>(tail.data())};
  const int got = swr_convert(swr, dst, 8192, nullptr, 0);
  if (got > 0) out.insert(out.end(), tail.begin(), tail.begin() + got * 2);
  av_frame_free(&frame);
  av_packet_free(&pkt);
  swr_free(&swr);
  avcodec_free_context(&c);
  avformat_close_input(&fmt);
  return out;
}

inline std::vector<std::int16_t> ReadSamples(const std::string& path) {
  std::vector<std::int16_t> s;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return s;
  std::int16_t buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 2, 4096, f)) > 0) s.insert(s.end(), buf, buf + n);
  std::fclose(f);
  return s;
}

// Stereo samples without the silent ones: what the device played, gaps
// between units aside.
inline std::vector<std::int16_t> Audible(const std::vector<std::int16_t>& s) {
  std::vector<std::int16_t> out;
  for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
    if (s[i] != 0 || s[i + 1] != 0) {
      out.push_back(s[i]);
      out.push_back(s[i + 1]);
    }
  }
  return out;
}

// Pictures shown "at their times" on a machine shared with other work:
// nineteen in twenty within 40 ms of it, none off by more than a quarter second.
inline void ExpectOnTime(std::vector<double> lateness) {
  ASSERT_FALSE(lateness.empty());
  for (double& l : lateness) l = std::fabs(l);
  std::sort(lateness.begin(), lateness.end());
  const double p95 = lateness[lateness.size() * 95 / 100];
  std::printf("pictures off their times: 95 %% within %.0f ms, worst %.0f ms\n", p95, lateness.back());
  EXPECT_LE(p95, 40);
  EXPECT_LE(lateness.back(), 250);
}

// SDL's disk driver writes the player's sound to a file of our choosing.
class DiskOutput {
 public:
  explicit DiskOutput(const std::string& name) : path(flvtest::Scratch(name)) {
    std::remove(path.c_str());
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
  }
  ~DiskOutput() { unsetenv("SDL_DISKAUDIOFILE"); }
  std::string path;
};

}  // namespace playertest
