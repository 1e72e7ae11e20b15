#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

#include "media/encoders.h"
#include "tools/brevio-media/synthetic.h"

namespace {

struct VideoSink : IH264DataHandler {
  explicit VideoSink(CBmptoH264& enc) : encoder(enc) {}
  int SetH264Data(const unsigned char* data, int length) override {
    units.emplace_back(data, data + length);
    times.push_back(encoder.GetPacketTimeMs());
    return 1;
  }
  CBmptoH264& encoder;
  std::vector<std::vector<unsigned char>> units;
  std::vector<std::uint32_t> times;
};

struct AudioSink : IAACDataHandler {
  int SetAACData(const unsigned char* data, int length, std::uint32_t timestampMs) override {
    frames.emplace_back(data, data + length);
    times.push_back(timestampMs);
    return 1;
  }
  std::vector<std::vector<unsigned char>> frames;
  std::vector<std::uint32_t> times;
};

bool HasNalType(const std::vector<unsigned char>& unit, int type) {
  for (std::size_t i = 0; i + 3 < unit.size(); ++i) {
    if (unit[i] == 0 && unit[i + 1] == 0 && unit[i + 2] == 1 && (unit[i + 3] & 0x1F) == type) return true;
  }
  return false;
}

}  // namespace

TEST(BmptoH264, EncodesPicturesWithTheirCaptureTimesAndEndsWithTheEndCode) {
  CBmptoH264 enc;
  VideoSink sink(enc);
  enc.SetH264DataHandler(&sink);
  constexpr int w = 160, h = 120;
  ASSERT_EQ(1, enc.Init(w, h, 25));
  std::vector<unsigned char> bgr;
  std::set<std::uint32_t> given;
  for (int i = 0; i < 30; ++i) {
    const std::uint32_t t = 1000 + i * 41;  // uneven, not the nominal 40 ms
    synthetic::DrawPicture(bgr, w, h, i, i * 40.0);
    EXPECT_EQ(1, enc.BmptoH264Data(bgr.data(), static_cast<int>(bgr.size()), t));
    given.insert(t);
  }
  // A picture shorter than width × height × 3 is refused.
  EXPECT_EQ(0, enc.BmptoH264Data(bgr.data(), w * h * 3 - 1, 0));
  EXPECT_EQ(0, enc.BmptoH264Data(bgr.data(), 0, 0));
  EXPECT_EQ(1, enc.AddEndData());
  ASSERT_FALSE(sink.units.empty());
  EXPECT_EQ((std::vector<unsigned char>{0, 0, 1, 0xB7}), sink.units.back());
  ASSERT_EQ(31u, sink.units.size()) << "every picture comes out once, then the end code";
  // The first unit carries the parameter sets and an IDR picture.
  EXPECT_TRUE(HasNalType(sink.units[0], 7));
  EXPECT_TRUE(HasNalType(sink.units[0], 8));
  EXPECT_TRUE(HasNalType(sink.units[0], 5));
  // Every capture time comes back exactly once as a presentation time.
  std::multiset<std::uint32_t> got(sink.times.begin(), sink.times.end() - 1);
  EXPECT_EQ(std::multiset<std::uint32_t>(given.begin(), given.end()), got);
  // Output runs in decoding order: somewhere a later picture precedes an earlier one.
  EXPECT_FALSE(std::is_sorted(sink.times.begin(), sink.times.end() - 1));
  EXPECT_GE(enc.GetReorderDelay(), 1);
  enc.Close();
  enc.Close();  // twice is harmless
  EXPECT_EQ(0, enc.BmptoH264Data(bgr.data(), static_cast<int>(bgr.size()), 0));
  EXPECT_EQ(0, enc.AddEndData());
}

TEST(PCMtoAAC, BlocksBecomeRawFramesStampedFromTheirFirstSample) {
  CPCMtoAAC enc;
  AudioSink sink;
  enc.SetAACDataHandler(&sink);
  ASSERT_EQ(1, enc.Init());
  EXPECT_EQ(2048, enc.GetFrameBytes());
  std::vector<unsigned char> pcm;
  // Four 16384-byte blocks (8 frames each), the first captured from 0 ms.
  const double block = 8192 * 1000.0 / 44100;
  for (int b = 0; b < 4; ++b) {
    synthetic::FillSound(pcm, b * 8192, 8192, 440);
    EXPECT_EQ(1, enc.SetPCMData(pcm.data(), static_cast<int>(pcm.size()), static_cast<std::uint32_t>(b * block)));
  }
  ASSERT_GE(sink.frames.size(), 28u);
  ASSERT_LE(sink.frames.size(), 32u);
  for (const auto& f : sink.frames) {
    ASSERT_FALSE(f.empty());
    // Raw frames: no ADTS sync word in front.
    EXPECT_FALSE(f.size() >= 2 && f[0] == 0xFF && (f[1] & 0xF0) == 0xF0);
  }
  // Frames follow each other 1024 × 1000 / 44100 ms apart, from 0 on, and
  // never fall back at a block boundary.
  for (std::size_t i = 0; i < sink.times.size(); ++i) {
    const double expected = i * 1024 * 1000.0 / 44100;
    EXPECT_NEAR(expected, sink.times[i], 2.01) << i;  // block times are whole ms
    if (i > 0) {
      EXPECT_GT(sink.times[i], sink.times[i - 1]);
    }
  }
  enc.Close();
  EXPECT_EQ(0, enc.SetPCMData(pcm.data(), 2048, 0));
}

TEST(PCMtoAAC, OddBlockSizesArePaddedAndTimed) {
  CPCMtoAAC enc;
  AudioSink sink;
  enc.SetAACDataHandler(&sink);
  ASSERT_EQ(1, enc.Init());
  std::vector<unsigned char> pcm(3000, 0);
  for (int i = 0; i < 10; ++i) enc.SetPCMData(pcm.data(), 3000, 1000 + i * 34);
  // Two chunks per call (2048 + 952 padded), minus the encoder's lag.
  EXPECT_GE(sink.frames.size(), 16u);
  // The encoder's priming frame sits one frame ahead of the first sample.
  EXPECT_EQ(976u, sink.times.front());
  EXPECT_EQ(1000u, sink.times[1]) << "the first frame of a block carries the block's time";
  EXPECT_TRUE(std::is_sorted(sink.times.begin(), sink.times.end()));
  EXPECT_EQ(1, enc.PCMtoAACData(pcm.data(), 2048, 5000));
  EXPECT_EQ(0, CPCMtoAAC::WriteLog(nullptr, pcm.data(), 1));
}
