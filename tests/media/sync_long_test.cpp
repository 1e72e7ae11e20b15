// A minute of recording into MP4 and FLV at once: the flashing square and
// the tone bursts stay within 40 ms of each other from start to end.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>

#include "tests/media/decode_check.h"
#include "tests/media/test_paths.h"

using namespace mediacheck;

TEST(MediaSyncLong, SixtySecondsOfMp4AndFlvStayInSync) {
  const std::string files[2] = {flvtest::Scratch("long.mp4"), flvtest::Scratch("long.flv")};
  ShellRun runs[2];
  {
    std::thread recorders[2];
    for (int i = 0; i < 2; ++i) {
      recorders[i] = std::thread([&, i] {
        runs[i] = Shell("'" + Tool() + "' record '" + files[i] + "' --size 96x64 --seconds 60 --tone 1000");
      });
    }
    for (auto& t : recorders) t.join();
  }
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(files[i]);
    ASSERT_EQ(0, runs[i].status) << runs[i].output;
    EXPECT_NEAR(60.0, Duration(files[i]), 0.3);
    const Decoded d = DecodeAll(files[i], 96, 64);
    EXPECT_EQ(0, d.errors);
    const std::vector<double> offsets = FlashOffsets(d);
    EXPECT_GE(offsets.size(), 58u);
    double worst = 0;
    for (double o : offsets) worst = std::max(worst, std::fabs(o));
    std::printf("%s: %zu flashes, worst picture-to-sound offset %.1f ms\n", files[i].c_str(), offsets.size(), worst);
    EXPECT_LE(worst, 40.0);
  }
}
