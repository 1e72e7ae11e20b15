// The recording clock and the sound feed: where captured sound lands on the
// recording's sample line, read back from the frames the feed hands out.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "media/muxcore.h"

namespace {

// 100 samples a second, so that one sample is 10 ms; blocks of 20 samples
// (200 ms), frames of 8.
constexpr int kRate = 100, kBlock = 20, kFrame = 8;

struct Block {
  int atMs;  // capture time of the first sample, from the start
  int lost;  // samples the device reports lost before it
};
struct Segment {
  int block;  // -1: silence
  int from;   // first sample of the block
  int count;
};
struct Case {
  const char* name;
  bool pictureStarts;       // else the first block starts the clock
  bool blocksBeforePicture;  // handed in (and drained) before the first picture
  std::vector<Block> blocks;
  int firstMs;  // where the sound line begins
  std::vector<Segment> line;
};

std::int16_t Sample(int block, int i) { return static_cast<std::int16_t>(1000 + block * 100 + i); }

std::vector<std::int16_t> Expected(const Case& c) {
  std::vector<std::int16_t> out;
  for (const Segment& s : c.line) {
    for (int i = 0; i < s.count; ++i) out.push_back(s.block < 0 ? 0 : Sample(s.block, s.from + i));
  }
  return out;
}

}  // namespace

TEST(SoundFeed, CapturedSoundLandsWhereItWasCaptured) {
  const Case cases[] = {
      {"contiguous blocks", false, false, {{0, 0}, {200, 0}, {400, 0}}, 0, {{0, 0, 20}, {1, 0, 20}, {2, 0, 20}}},
      {"jitter of the capture times stays contiguous", false, false, {{0, 0}, {210, 0}, {390, 0}}, 0,
       {{0, 0, 20}, {1, 0, 20}, {2, 0, 20}}},
      {"lost samples become silence", false, false, {{0, 0}, {300, 10}}, 0, {{0, 0, 20}, {-1, 0, 10}, {1, 0, 20}}},
      {"a late capture without a report is a gap too", false, false, {{0, 0}, {330, 0}}, 0,
       {{0, 0, 20}, {-1, 0, 13}, {1, 0, 20}}},
      {"sound over sound already placed is left out", false, false, {{0, 0}, {120, 0}}, 0,
       {{0, 0, 20}, {1, 8, 12}}},
      {"a block wholly over placed sound is dropped", false, false, {{0, 0}, {0, 0}, {200, 0}}, 0,
       {{0, 0, 20}, {2, 0, 20}}},
      // A stall of whoever hands the blocks over changes nothing: only the
      // capture times count (blocks here arrive all at once).
      {"microphone before the first picture", true, false, {{-300, 0}, {-50, 0}, {150, 0}}, 0,
       {{1, 5, 15}, {2, 0, 20}}},
      {"sound waits for the first picture", true, true, {{-300, 0}, {-50, 0}, {150, 0}}, 0,
       {{1, 5, 15}, {2, 0, 20}}},
      {"microphone after the first picture", true, false, {{400, 0}, {600, 0}}, 400, {{0, 0, 20}, {1, 0, 20}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CRecordClock clock;
    clock.Reset(!c.pictureStarts);
    CSoundFeed feed;
    feed.Reset(kFrame, kRate);
    struct Frame {
      std::vector<std::int16_t> samples;
      double ms;
    };
    std::vector<Frame> frames;
    const CSoundFeed::FrameSink sink = [&](const unsigned char* pcm, int samples, double ms) {
      Frame f{std::vector<std::int16_t>(static_cast<std::size_t>(samples)), ms};
      std::memcpy(f.samples.data(), pcm, 2 * static_cast<std::size_t>(samples));
      frames.push_back(std::move(f));
    };
    std::uint32_t picture = 0;
    const std::int64_t base = MonotonicUs();
    if (c.pictureStarts && !c.blocksBeforePicture) {
      ASSERT_TRUE(clock.StampPicture(&picture));
    }
    for (std::size_t b = 0; b < c.blocks.size(); ++b) {
      std::vector<std::int16_t> pcm(kBlock);
      for (int i = 0; i < kBlock; ++i) pcm[i] = Sample(static_cast<int>(b), i);
      ASSERT_TRUE(feed.Push(reinterpret_cast<const unsigned char*>(pcm.data()), 2 * kBlock,
                            base + c.blocks[b].atMs * 1000LL, c.blocks[b].lost));
    }
    if (c.blocksBeforePicture) {
      feed.Drain(clock, sink, false);
      EXPECT_TRUE(frames.empty());
      EXPECT_FALSE(feed.Empty()) << "kept for the start";
      ASSERT_TRUE(clock.StampPicture(&picture));
    }
    feed.Drain(clock, sink, true);
    EXPECT_TRUE(feed.Empty());
    ASSERT_FALSE(frames.empty());
    EXPECT_DOUBLE_EQ(c.firstMs, frames.front().ms);
    std::vector<std::int16_t> line;
    for (std::size_t k = 0; k < frames.size(); ++k) {
      EXPECT_DOUBLE_EQ(c.firstMs + k * kFrame * 1000.0 / kRate, frames[k].ms) << "frames follow without a break";
      line.insert(line.end(), frames[k].samples.begin(), frames[k].samples.end());
    }
    const std::vector<std::int16_t> expected = Expected(c);
    ASSERT_GE(line.size(), expected.size());
    EXPECT_LT(line.size(), expected.size() + kFrame) << "only the last frame is padded";
    EXPECT_EQ(expected, std::vector<std::int16_t>(line.begin(), line.begin() + static_cast<long>(expected.size())));
    for (std::size_t i = expected.size(); i < line.size(); ++i) EXPECT_EQ(0, line[i]);
  }
}

TEST(SoundFeed, PausedSoundIsDroppedAndPicturesNeverShareATime) {
  CRecordClock clock;
  clock.Reset();
  CSoundFeed feed;
  feed.Reset(kFrame, kRate);
  int frames = 0;
  const CSoundFeed::FrameSink sink = [&](const unsigned char*, int, double) { ++frames; };
  std::uint32_t a = 0, b = 0;
  ASSERT_TRUE(clock.StampPicture(&a));
  ASSERT_TRUE(clock.StampPicture(&b));
  EXPECT_EQ(0u, a);
  EXPECT_GT(b, a) << "two pictures within a millisecond";
  clock.PlayVideo(0);
  EXPECT_TRUE(clock.IsPaused());
  EXPECT_FALSE(clock.StampPicture(&a));
  std::vector<std::int16_t> pcm(kBlock, 1);
  feed.Push(reinterpret_cast<const unsigned char*>(pcm.data()), 2 * kBlock, MonotonicUs(), 0);
  feed.Drain(clock, sink, false);
  EXPECT_EQ(0, frames);
  EXPECT_TRUE(feed.Empty());
  EXPECT_FALSE(feed.Push(nullptr, 10, 0, 0));
  EXPECT_FALSE(feed.Push(reinterpret_cast<const unsigned char*>(pcm.data()), 1, 0, 0));
}
