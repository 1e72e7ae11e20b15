// The MP4 muxer: files checked by FFmpeg (streams, sizes, durations, a
// clean decode), the tick factors, the clock started by sound, and the end
// of a recording.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <vector>

#include "media/flvrecord.h"
#include "media/mp4muxer.h"
#include "tests/media/decode_check.h"
#include "tests/media/test_paths.h"
#include "tools/brevio-media/synthetic.h"

namespace {

using namespace mediacheck;

constexpr int kW = 160, kH = 120;

void App() {
  static int argc = 1;
  static char name[] = "test";
  static char* argv[] = {name, nullptr};
  if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
}

struct PacketTimes {
  std::vector<double> video;  // presentation times (s) in file order
  std::vector<double> audio;
};

PacketTimes Packets(const std::string& path) {
  PacketTimes t;
  const std::string out = Probe(path, "packet=codec_type,pts_time");
  std::size_t pos = 0;
  std::string type;
  while (pos < out.size()) {
    const auto end = out.find('\n', pos);
    const std::string line = out.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    pos = end == std::string::npos ? out.size() : end + 1;
    if (line.rfind("codec_type=", 0) == 0) type = line.substr(11);
    if (line.rfind("pts_time=", 0) == 0 && line != "pts_time=N/A") {
      (type == "video" ? t.video : t.audio).push_back(std::stod(line.substr(9)));
    }
  }
  return t;
}

class Mp4MuxerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    av_log_set_level(AV_LOG_ERROR);
  }
  void Picture(CMp4Muxer& m, int n) {
    synthetic::DrawPicture(m_bgr, kW, kH, n, n * 40.0);
    EXPECT_EQ(1, m.BmptoH264Data(m_bgr.data(), static_cast<int>(m_bgr.size())));
  }
  void Sound(CMp4Muxer& m, std::int64_t first) {
    synthetic::FillSound(m_pcm, first, synthetic::kBlockSamples, 1000);
    EXPECT_EQ(1, m.SetPCMData(m_pcm.data(), static_cast<int>(m_pcm.size())));
  }
  // A block of the sound line that begins at captureUs with sample `first`.
  void SoundAt(CMp4Muxer& m, std::int64_t first, std::int64_t captureUs) {
    synthetic::FillSound(m_pcm, first, synthetic::kBlockSamples, 1000);
    EXPECT_EQ(1, m.SetPCMData(m_pcm.data(), static_cast<int>(m_pcm.size()), captureUs, 0));
  }
  std::vector<unsigned char> m_bgr, m_pcm;
};

}  // namespace

TEST_F(Mp4MuxerTest, RecordingHasH264AndAacOfTheRightSizeAndDecodesCleanly) {
  const std::string path = flvtest::Scratch("record.mp4");
  CMessageRecorder owner;
  CMp4Muxer m;
  m.SetParentHwnd(&owner);
  ASSERT_EQ(1, m.Init(path.c_str(), kW, kH));
  EXPECT_TRUE(m.HasVideoStream());
  EXPECT_TRUE(m.HasAudioStream());
  // The container's time bases: 1/44100 for the sound, so 1000 ms is 44100 ticks.
  EXPECT_DOUBLE_EQ(44.1, m.GetAudioTickFactor());
  EXPECT_EQ(44100, CMp4Muxer::Ticks(1000, m.GetAudioTickFactor()));
  EXPECT_GT(m.GetVideoTickFactor(), 0.0);
  // Two seconds: a picture every 40 ms, a sound block every 8192 samples.
  std::int64_t nextSound = 0;
  const std::uint32_t start = GetTickCount();
  for (int n = 0; n < 50; ++n) {
    while (static_cast<std::int32_t>(GetTickCount() - start) < n * 40) Sleep(1);
    Picture(m, n);
    if ((nextSound + synthetic::kBlockSamples) * 1000 / 44100 <= n * 40) {
      Sound(m, nextSound);
      nextSound += synthetic::kBlockSamples;
    }
  }
  ASSERT_EQ(1, m.AddEndData());
  EXPECT_EQ(0, m.BmptoH264Data(m_bgr.data(), static_cast<int>(m_bgr.size()))) << "no input after the end";
  ASSERT_TRUE(owner.WaitFor(WM_STOP_RECORD, 1, 10000));
  const auto msgs = owner.Messages();
  EXPECT_EQ(0u, msgs.back().wParam);
  EXPECT_EQ(1, msgs.back().lParam);
  m.Close();

  const std::string streams = Probe(path, "stream=codec_name,width,height,sample_rate,channels");
  EXPECT_NE(std::string::npos, streams.find("codec_name=h264")) << streams;
  EXPECT_NE(std::string::npos, streams.find("width=160\nheight=120")) << streams;
  EXPECT_NE(std::string::npos, streams.find("codec_name=aac")) << streams;
  EXPECT_NE(std::string::npos, streams.find("sample_rate=44100\nchannels=1")) << streams;
  EXPECT_NEAR(2.0, Duration(path), 0.25);
  const ShellRun decode = Shell(kDecode + "'" + path + "'" + kToNull);
  EXPECT_EQ(0, decode.status);
  EXPECT_EQ("", decode.output);
  const Decoded d = DecodeAll(path, kW, kH);
  EXPECT_EQ(0, d.errors);
  EXPECT_EQ(50, d.pictures);
  EXPECT_GE(d.soundFrames, 40);
  // Pictures leave in decoding order with B-frames; shown in capture order.
  const PacketTimes p = Packets(path);
  std::vector<double> sorted = p.video;
  std::sort(sorted.begin(), sorted.end());
  ASSERT_EQ(50u, sorted.size());
  EXPECT_NE(sorted, p.video) << "the encoder reorders pictures";
  for (std::size_t i = 1; i < sorted.size(); ++i) EXPECT_GT(sorted[i], sorted[i - 1]);
  EXPECT_NEAR(1.96, sorted.back() - sorted.front(), 0.1);
}

TEST_F(Mp4MuxerTest, SoundCapturedBeforeTheFirstPictureIsLeftOutNotMoved) {
  const std::string path = flvtest::Scratch("sound-first.mp4");
  CMessageRecorder owner;
  CMp4Muxer m;
  m.SetParentHwnd(&owner);
  ASSERT_EQ(1, m.Init(path.c_str(), kW, kH));
  // The microphone started 300 ms before the first picture: its first block
  // lies wholly before the start, the second reaches 86 ms into it.
  const std::int64_t base = MonotonicUs();
  const std::int64_t block = synthetic::kBlockSamples * 1000000LL / 44100;
  SoundAt(m, 0, base - 300000);
  SoundAt(m, synthetic::kBlockSamples, base - 300000 + block);
  for (int n = 0; n < 12; ++n) {
    Picture(m, n);
    Sleep(40);
  }
  for (int b = 2; b < 4; ++b) SoundAt(m, b * synthetic::kBlockSamples, base - 300000 + b * block);
  m.AddEndData();
  ASSERT_TRUE(owner.WaitFor(WM_STOP_RECORD, 1, 10000));
  m.Close();
  const PacketTimes p = Packets(path);
  ASSERT_GE(p.audio.size(), 15u);
  ASSERT_FALSE(p.video.empty());
  EXPECT_NEAR(0.0, *std::min_element(p.video.begin(), p.video.end()), 0.001);
  EXPECT_NEAR(0.0, p.audio.front(), 0.001) << "the sound at the start, not the sound of 300 ms before";
  // What is left of the sound runs on without a break: 4 blocks less the
  // 300 ms before the start (and the time the first picture took to come).
  for (std::size_t i = 1; i < p.audio.size(); ++i) EXPECT_NEAR(1024 / 44100.0, p.audio[i] - p.audio[i - 1], 1e-6) << i;
  EXPECT_NEAR(4 * 8192 / 44100.0 - 0.3, p.audio.back() + 1024 / 44100.0, 0.03);
}

TEST_F(Mp4MuxerTest, AddEndDataWithoutAVideoStreamMakesNoStopRequest) {
  // A sound-only container: the stop is made by Close, and all the sound
  // handed in before it is in the file.
  const std::string path = flvtest::Scratch("sound-only.wav");
  CMessageRecorder owner;
  CMp4Muxer m;
  m.SetParentHwnd(&owner);
  ASSERT_EQ(1, m.Init(path.c_str(), kW, kH));
  EXPECT_FALSE(m.HasVideoStream());
  EXPECT_EQ(0, m.BmptoH264Data(m_bgr.data(), 100));
  const std::int64_t base = MonotonicUs();
  SoundAt(m, 0, base);
  EXPECT_EQ(0, m.AddEndData());
  EXPECT_FALSE(owner.WaitFor(WM_STOP_RECORD, 1, 300)) << "the thread still runs";
  SoundAt(m, synthetic::kBlockSamples, base + synthetic::kBlockSamples * 1000000LL / 44100);  // still taken
  m.Close();
  ASSERT_TRUE(owner.WaitFor(WM_STOP_RECORD, 1, 2000));
  const std::string streams = Probe(path, "stream=codec_name,sample_rate");
  EXPECT_NE(std::string::npos, streams.find("codec_name=pcm_s16le")) << streams;
  EXPECT_NEAR(2 * 8192 / 44100.0, Duration(path), 0.03);
}

TEST_F(Mp4MuxerTest, RefusalsAndAnEmptyRecording) {
  CMessageRecorder owner;
  CMp4Muxer m;
  m.SetParentHwnd(&owner);
  EXPECT_EQ(0, m.Init("/nonexistent-dir/x.mp4", kW, kH));
  EXPECT_EQ(0, m.AddEndData());
  EXPECT_EQ(0, m.SetPCMData(m_pcm.data(), 0));
  EXPECT_FALSE(owner.WaitFor(WM_STOP_RECORD, 1, 100));

  // Ended at once: header and trailer, no packets, and the owner is told.
  const std::string path = flvtest::Scratch("empty.mp4");
  ASSERT_EQ(1, m.Init(path.c_str(), kW, kH));
  std::vector<unsigned char> shortPicture(kW * kH * 3 - 1, 0);
  EXPECT_EQ(0, m.BmptoH264Data(shortPicture.data(), static_cast<int>(shortPicture.size())));
  m.PlayVideo(0);
  synthetic::DrawPicture(m_bgr, kW, kH, 0, 0);
  EXPECT_EQ(0, m.BmptoH264Data(m_bgr.data(), static_cast<int>(m_bgr.size()))) << "paused";
  m.PlayVideo(1);
  EXPECT_EQ(1, m.AddEndData());
  ASSERT_TRUE(owner.WaitFor(WM_STOP_RECORD, 1, 5000));
  m.Close();
  m.Close();
  EXPECT_TRUE(Packets(path).video.empty());
}
