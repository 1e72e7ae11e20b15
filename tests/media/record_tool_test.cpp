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

#include "tests/media/decode_check.h"
#include "tests/media/test_paths.h"
#include "tools/brevio-media/synthetic.h"

namespace {

using namespace mediacheck;

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

namespace {

// Three seconds of the synthetic camera and tone: H.264 and AAC of the
// right length, a decode without a word from FFmpeg, and the flashes at
// 1 s and 2 s within 40 ms of their tone bursts.
void CheckToneRecording(const std::string& out) {
  const ShellRun rec = Shell("'" + Tool() + "' record '" + out + "' --size 320x240 --seconds 3 --tone 1000");
  ASSERT_EQ(0, rec.status) << rec.output;

  const std::string streams = Probe(out, "stream=codec_name,codec_type");
  EXPECT_NE(std::string::npos, streams.find("codec_name=h264")) << streams;
  EXPECT_NE(std::string::npos, streams.find("codec_name=aac")) << streams;
  // The last picture is shown for one picture time; a loaded machine hands it in late.
  EXPECT_NEAR(3.05, Duration(out), 0.2);

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
  const std::vector<double> offsets = FlashOffsets(d);
  ASSERT_EQ(2u, offsets.size());
  for (double o : offsets) {
    std::printf("%s: tone burst %+.1f ms from its flash\n", out.c_str(), o);
    EXPECT_LE(std::fabs(o), 40.0);
  }
}

}  // namespace

TEST_F(RecordTool, RecordingDecodesCleanlyAndStaysInSync) { CheckToneRecording(flvtest::Scratch("tool-tone.flv")); }

TEST_F(RecordTool, Mp4RecordingDecodesCleanlyAndStaysInSync) { CheckToneRecording(flvtest::Scratch("tool-tone.mp4")); }

TEST_F(RecordTool, AviRecordsPicturesAndTheInputDevice) {
  const std::string tone = flvtest::Scratch("tool-avi-tone.raw");
  WriteToneFile(tone, 22050, 4, 1000);
  const std::string out = flvtest::Scratch("tool.avi");
  const ShellRun rec = Shell("SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILEIN='" + tone + "' '" + Tool() + "' record '" + out +
                             "' --size 160x120 --seconds 3 --fps 8 --mic");
  ASSERT_EQ(0, rec.status) << rec.output;
  const std::string streams = Probe(out, "stream=codec_name,codec_tag_string,sample_rate,nb_frames");
  EXPECT_NE(std::string::npos, streams.find("codec_name=msvideo1\ncodec_tag_string=MSVC")) << streams;
  EXPECT_NE(std::string::npos, streams.find("codec_name=pcm_s16le")) << streams;
  EXPECT_NE(std::string::npos, streams.find("sample_rate=22050")) << streams;
  EXPECT_NE(std::string::npos, streams.find("nb_frames=24")) << streams;  // 3 s at 8 per second
  const ShellRun decode = Shell(kDecode + "'" + out + "'" + kToNull);
  EXPECT_EQ(0, decode.status) << decode.output;
  // The sound runs to the end: the buffer still filling at the close (one
  // second each) is written too.
  const std::string audio = Probe(out, "stream=codec_type,nb_frames");
  const auto at = audio.find("codec_type=audio\nnb_frames=");
  ASSERT_NE(std::string::npos, at) << audio;
  EXPECT_GT(std::atol(audio.c_str() + at + 27), 25 * 22050 / 10) << audio;  // over 2.5 s, not 2 whole buffers
  // The device's samples, tone bursts included.
  const std::string volume =
      Shell("ffmpeg -nostdin -i '" + out + "' -map 0:a -af volumedetect -f null - 2>&1 | grep max_volume").output;
  EXPECT_NE(std::string::npos, volume.find("max_volume: -6")) << volume;
}

TEST_F(RecordTool, Mp4WithMicRecordsTheInputDevice) {
  const std::string tone = flvtest::Scratch("tool-mp4-tone.raw");
  WriteToneFile(tone, 44100, 4, 1000);
  const std::string out = flvtest::Scratch("tool-mic.mp4");
  const ShellRun rec = Shell("SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILEIN='" + tone + "' '" + Tool() + "' record '" + out +
                             "' --size 160x120 --seconds 3 --mic");
  ASSERT_EQ(0, rec.status) << rec.output;
  EXPECT_EQ(std::string::npos, rec.output.find("no input device")) << rec.output;
  const Decoded d = DecodeAll(out, 160, 120);
  EXPECT_EQ(0, d.errors);
  EXPECT_GT(d.soundPeak, 0.3);
  EXPECT_GE(d.bursts.size(), 2u);  // the bursts at 0 s, 1 s and 2 s
  // Without a device the recording goes on silently.
  const std::string silent = flvtest::Scratch("tool-nomic.flv");
  const ShellRun none =
      Shell("SDL_AUDIODRIVER=no-such-driver '" + Tool() + "' record '" + silent + "' --size 160x120 --seconds 1 --mic");
  ASSERT_EQ(0, none.status) << none.output;
  EXPECT_NE(std::string::npos, none.output.find("no input device; recording without sound")) << none.output;
  EXPECT_EQ(0, Shell(kDecode + "'" + silent + "'" + kToNull).status);
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
      {"rewind x", "unknown command"},
      {"record", "no output file"},
      {"record '" + out + "' --seconds 1", "--size is required"},
      {"record '" + out + "' --size 320 --seconds 1", "--size needs"},
      {"record '" + out + "' --size 321x240 --seconds 1", "--size needs"},
      {"record '" + out + "' --size 320x240", "--seconds is required"},
      {"record '" + out + "' --size 320x240 --seconds 0", "--seconds needs"},
      {"record '" + out + "' --size 320x240 --seconds 1 --tone abc", "--tone needs"},
      {"record '" + out + "' --size 320x240 --seconds 1 --fast", "unknown option"},
      {"record x.mkv --size 320x240 --seconds 1", "must end in .flv, .mp4 or .avi"},
      {"record x.avi --size 320x240 --seconds 1 --fps 0", "--fps needs"},
      {"record x.avi --size 320x240 --seconds 1 --tone 440", "--tone is the synthetic sound"},
      {"record x.mp4 --size 320x240 --seconds 1 --mic --tone 440", "--tone is the synthetic sound"},
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
