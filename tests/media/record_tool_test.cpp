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
