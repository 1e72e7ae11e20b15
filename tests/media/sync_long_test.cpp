// Long runs, ctest label `long` (`make test-long`): a minute of recording
// into MP4 and FLV at once at a real size, and a hundred kills.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <thread>

#include "tests/media/decode_check.h"
#include "tests/media/survive_check.h"
#include "tests/media/test_paths.h"

using namespace mediacheck;

// 640 × 480 with a textured moving picture; the microphone starts 300 ms
// before the first picture and the thread that hands the sound over stalls
// for 150 ms in the middle. The flashing square and the tone bursts stay
// within 40 ms of each other from start to end, decoded from the files.
TEST(MediaSyncLong, SixtySecondsOfMp4AndFlvStayInSync) {
  const std::string files[2] = {flvtest::Scratch("long.mp4"), flvtest::Scratch("long.flv")};
  ShellRun runs[2];
  {
    std::thread recorders[2];
    for (int i = 0; i < 2; ++i) {
      recorders[i] = std::thread([&, i] {
        runs[i] = Shell("'" + Tool() + "' record '" + files[i] +
                        "' --size 640x480 --seconds 60 --tone 1000 --texture --mic-lead 300 --sound-stall 150");
      });
    }
    for (auto& t : recorders) t.join();
  }
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(files[i]);
    ASSERT_EQ(0, runs[i].status) << runs[i].output;
    EXPECT_NEAR(60.0, Duration(files[i]), 0.5);
    const Decoded d = DecodeAll(files[i], 640, 480);
    EXPECT_EQ(0, d.errors);
    const std::vector<double> offsets = FlashOffsets(d);
    EXPECT_GE(offsets.size(), 58u);
    double worst = 0;
    for (double o : offsets) worst = std::max(worst, std::fabs(o));
    std::printf("%s: %d pictures, %zu flashes, worst picture-to-sound offset %.1f ms\n", files[i].c_str(), d.pictures,
                offsets.size(), worst);
    EXPECT_LE(worst, 40.0);
  }
}

// A hundred rounds of an MP4 and an FLV recording killed with SIGKILL at a
// random moment 10 to 12 s in, while the other one records beside it.
TEST(MediaKillLong, AHundredKilledRecordingsPlayUpToTheirLastKeyPicture) {
  std::random_device seed;
  const unsigned s = seed();
  std::mt19937 rng(s);
  std::printf("kill rounds with seed %u\n", s);
  for (int round = 0; round < 100; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    KillRound(rng, flvtest::Scratch("kill-long"), 10000, 12000, 320, 240);
    if (HasFatalFailure()) break;
  }
}
