// Records with `brevio-media record` and checks the files with FFmpeg: the
// command-line tools for stream facts and a clean decode, libavcodec for
// the picture-to-sound sync of the flashing square against the tone bursts.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <sys/wait.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "tests/media/test_paths.h"
#include "tools/brevio-media/synthetic.h"

namespace {

struct ShellRun {
  int status = -1;
  std::string output;  // stdout and stderr together
};

ShellRun Shell(const std::string& command) {
  ShellRun r;
  std::FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  std::size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.output.append(buf.data(), n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

std::string Tool() { return BREVIO_MEDIA_TOOL; }

// A full decode that keeps the file's own millisecond timestamps: pictures
// taken at uneven moments (as a camera under load delivers them) would
// otherwise be squeezed onto a 1/25 s grid by the command-line tool itself.
const std::string kDecode = "ffmpeg -nostdin -v warning -i ";
const std::string kToNull = " -enc_time_base -1 -f null -";

std::string Probe(const std::string& file, const std::string& entries) {
  return Shell("ffprobe -v error -show_entries " + entries + " -of default=noprint_wrappers=1 '" + file + "'")
      .output;
}

// Errors that libav reports while decoding (level error or worse).
std::mutex g_logMutex;
std::vector<std::string> g_logErrors;
void CollectErrors(void*, int level, const char* fmt, va_list args) {
  if (level > AV_LOG_ERROR) return;
  char line[1024];
  std::vsnprintf(line, sizeof line, fmt, args);
  std::lock_guard lock(g_logMutex);
  g_logErrors.emplace_back(line);
}

struct Decoded {
  int pictures = 0;
  int soundFrames = 0;
  int errors = 0;
  std::vector<double> flashes;  // ms at which the square lights up
  std::vector<double> bursts;   // ms at which a tone burst begins
  double soundPeak = 0;
};

Decoded DecodeAll(const std::string& path, int width, int height) {
  Decoded d;
  AVFormatContext* fmt = nullptr;
  if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) {
    d.errors = 1;
    return d;
  }
  avformat_find_stream_info(fmt, nullptr);
  std::vector<AVCodecContext*> decoders(fmt->nb_streams, nullptr);
  for (unsigned i = 0; i < fmt->nb_streams; ++i) {
    const AVCodec* codec = avcodec_find_decoder(fmt->streams[i]->codecpar->codec_id);
    if (!codec) continue;
    decoders[i] = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoders[i], fmt->streams[i]->codecpar);
    decoders[i]->pkt_timebase = fmt->streams[i]->time_base;
    if (avcodec_open2(decoders[i], codec, nullptr) < 0) ++d.errors;
  }
  const synthetic::Box box = synthetic::SquareBox(width, height);
  bool lit = false;
  double lastLoud = -1e9;
  AVPacket* pkt = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  auto drain = [&](unsigned index) {
    AVCodecContext* c = decoders[index];
    const double tb = av_q2d(fmt->streams[index]->time_base) * 1000.0;
    for (;;) {
      const int r = avcodec_receive_frame(c, frame);
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
      if (r < 0) {
        ++d.errors;
        return;
      }
      const double ms = frame->best_effort_timestamp * tb;
      if (c->codec_type == AVMEDIA_TYPE_VIDEO) {
        ++d.pictures;
        double sum = 0;
        for (int y = box.y0 + 2; y < box.y1 - 2; ++y) {
          for (int x = box.x0 + 2; x < box.x1 - 2; ++x) sum += frame->data[0][y * frame->linesize[0] + x];
        }
        const bool on = sum / ((box.y1 - box.y0 - 4) * (box.x1 - box.x0 - 4)) > 150;
        if (on && !lit) d.flashes.push_back(ms);
        lit = on;
      } else if (c->codec_type == AVMEDIA_TYPE_AUDIO) {
        ++d.soundFrames;
        const auto* samples = reinterpret_cast<const float*>(frame->data[0]);  // planar float
        for (int i = 0; i < frame->nb_samples; ++i) {
          const double t = ms + i * 1000.0 / frame->sample_rate;
          const double v = std::fabs(samples[i]);
          d.soundPeak = std::max(d.soundPeak, v);
          if (v > 0.1) {
            if (t - lastLoud > 300) d.bursts.push_back(t);
            lastLoud = t;
          }
        }
      }
      av_frame_unref(frame);
    }
  };
  while (av_read_frame(fmt, pkt) >= 0) {
    const unsigned index = static_cast<unsigned>(pkt->stream_index);
    if (index < decoders.size() && decoders[index]) {
      if (avcodec_send_packet(decoders[index], pkt) < 0) ++d.errors;
      drain(index);
    }
    av_packet_unref(pkt);
  }
  for (unsigned i = 0; i < decoders.size(); ++i) {
    if (!decoders[i]) continue;
    avcodec_send_packet(decoders[i], nullptr);
    drain(i);
    avcodec_free_context(&decoders[i]);
  }
  av_frame_free(&frame);
  av_packet_free(&pkt);
  avformat_close_input(&fmt);
  return d;
}

class RecordTool : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { av_log_set_callback(CollectErrors); }
  static void TearDownTestSuite() { av_log_set_callback(av_log_default_callback); }
  void SetUp() override {
    std::lock_guard lock(g_logMutex);
    g_logErrors.clear();
  }
};

}  // namespace

TEST_F(RecordTool, RecordingDecodesCleanlyAndStaysInSync) {
  const std::string out = flvtest::Scratch("tool-tone.flv");
  const ShellRun rec = Shell("'" + Tool() + "' record '" + out + "' --size 320x240 --seconds 3 --tone 1000");
  ASSERT_EQ(0, rec.status) << rec.output;

  const std::string streams = Probe(out, "stream=codec_name,codec_type");
  EXPECT_NE(std::string::npos, streams.find("codec_name=h264")) << streams;
  EXPECT_NE(std::string::npos, streams.find("codec_name=aac")) << streams;
  const std::string format = Probe(out, "format=duration");
  const auto eq = format.find("duration=");
  ASSERT_NE(std::string::npos, eq) << format;
  const double duration = std::stod(format.substr(eq + 9));
  EXPECT_NEAR(3.0, duration, 0.15);

  // A full decode by FFmpeg itself reports nothing at all.
  const ShellRun decode = Shell(kDecode + "'" + out + "'" + kToNull);
  EXPECT_EQ(0, decode.status);
  EXPECT_EQ("", decode.output);

  const Decoded d = DecodeAll(out, 320, 240);
  EXPECT_EQ(0, d.errors);
  {
    std::lock_guard lock(g_logMutex);
    EXPECT_TRUE(g_logErrors.empty()) << g_logErrors.front();
  }
  EXPECT_GE(d.pictures, 60);  // 75 taken; a slow machine may drop a few
  EXPECT_GE(d.soundFrames, 120);
  // Flashes at 1 s and 2 s (the one at 0 s is the file's first picture).
  std::vector<double> flashes;
  for (double f : d.flashes) {
    if (f > 500) flashes.push_back(f);
  }
  ASSERT_EQ(2u, flashes.size());
  for (double f : flashes) {
    double best = 1e9;
    for (double b : d.bursts) best = std::fabs(b - f) < std::fabs(best) ? b - f : best;
    std::printf("flash at %.1f ms, nearest tone burst at %.1f ms\n", f, f + best);
    EXPECT_LE(std::fabs(best), 40.0) << "flash at " << f << " ms, nearest burst " << f + best << " ms";
  }
}

TEST_F(RecordTool, SilentRecordingAndDump) {
  const std::string out = flvtest::Scratch("tool-silent.flv");
  const ShellRun rec = Shell("'" + Tool() + "' record '" + out + "' --size 160x120 --seconds 2");
  ASSERT_EQ(0, rec.status) << rec.output;
  const ShellRun decode = Shell(kDecode + "'" + out + "'" + kToNull);
  EXPECT_EQ(0, decode.status);
  EXPECT_EQ("", decode.output);
  const Decoded d = DecodeAll(out, 160, 120);
  EXPECT_EQ(0, d.errors);
  EXPECT_GT(d.soundFrames, 0);
  EXPECT_LT(d.soundPeak, 0.01);

  const ShellRun dump = Shell("'" + Tool() + "' flv-dump '" + out + "'");
  EXPECT_EQ(0, dump.status);
  for (const char* text : {"onMetaData", "duration = ", "metadatacreator = \"QUINTARO FLV Mux\"", "hasAudio = true",
                           "videocodecid = 7", "sequence-header", "key 1", "audio  size", "cts "}) {
    EXPECT_NE(std::string::npos, dump.output.find(text)) << text << "\n" << dump.output.substr(0, 2000);
  }
}

TEST_F(RecordTool, BadArgumentsAreExplained) {
  const std::string out = flvtest::Scratch("bad.flv");
  struct Case {
    std::string args;
    std::string message;
  } cases[] = {
      {"", "no command"},
      {"play x", "unknown command"},
      {"record", "no output file"},
      {"record '" + out + "' --seconds 1", "--size is required"},
      {"record '" + out + "' --size 320 --seconds 1", "--size needs"},
      {"record '" + out + "' --size 321x240 --seconds 1", "--size needs"},
      {"record '" + out + "' --size 320x240", "--seconds is required"},
      {"record '" + out + "' --size 320x240 --seconds 0", "--seconds needs"},
      {"record '" + out + "' --size 320x240 --seconds 1 --tone abc", "--tone needs"},
      {"record '" + out + "' --size 320x240 --seconds 1 --fast", "unknown option"},
      {"record x.mkv --size 320x240 --seconds 1", "must end in"},
      {"flv-dump", "exactly one FILE"},
  };
  for (const auto& c : cases) {
    const ShellRun r = Shell("'" + Tool() + "' " + c.args);
    EXPECT_EQ(2, r.status) << c.args;
    EXPECT_NE(std::string::npos, r.output.find(c.message)) << c.args << ": " << r.output;
  }
  // Files that cannot be written or read are failures, not argument errors.
  EXPECT_EQ(1, Shell("'" + Tool() + "' record /nonexistent-dir/x.flv --size 160x120 --seconds 1").status);
  const ShellRun notFlv = Shell("'" + Tool() + "' flv-dump '" + Tool() + "'");
  EXPECT_EQ(1, notFlv.status);
  EXPECT_NE(std::string::npos, notFlv.output.find("not an FLV file"));
}
