// The player on a 20-second recording of the flashing square and its tone
// bursts, with SDL's disk output: sync, order and times of the pictures, the
// sound as decoded, seeking, and a long pause.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <thread>

#include "tests/media/player_fixture.h"

using namespace playertest;

namespace {

class PlayerSync : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    TestApp();
    av_log_set_level(AV_LOG_QUIET);
    s_file = ToneMp4();
    s_reference = ReferenceOf(s_file);
  }
  static std::string s_file;
  static Reference s_reference;
  COwner owner;
};
std::string PlayerSync::s_file;
Reference PlayerSync::s_reference;

// How the output file grew: (tick, bytes) pairs sampled every millisecond.
class GrowthLog {
 public:
  explicit GrowthLog(const std::string& path) : m_path(path), m_thread([this] { Run(); }) {}
  ~GrowthLog() { Stop(); }
  void Stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
  }
  // When the byte at `offset` was in the file.
  std::uint32_t TickOf(std::uintmax_t offset) const {
    for (const auto& s : m_samples) {
      if (s.second > offset) return s.first;
    }
    return 0;
  }

 private:
  void Run() {
    while (!m_stop) {
      std::error_code ec;
      const std::uintmax_t size = fs::file_size(m_path, ec);
      if (!ec && (m_samples.empty() || m_samples.back().second != size)) m_samples.push_back({GetTickCount(), size});
      Sleep(1);
    }
  }
  std::string m_path;
  std::atomic<bool> m_stop{false};
  std::vector<std::pair<std::uint32_t, std::uintmax_t>> m_samples;
  std::thread m_thread;
};

// Start offsets (in bytes) of the tone bursts in written stereo samples.
std::vector<std::uintmax_t> BurstOffsets(const std::vector<std::int16_t>& s) {
  std::vector<std::uintmax_t> out;
  std::size_t lastLoud = 0;
  bool any = false;
  for (std::size_t i = 0; i < s.size(); i += 2) {
    if (std::abs(s[i]) < 3000) continue;
    if (!any || i - lastLoud > 2 * 44100 * 3 / 10) out.push_back(i * 2);
    lastLoud = i;
    any = true;
  }
  return out;
}

}  // namespace

TEST_F(PlayerSync, TwentySecondsInSyncInOrderWithTheDecodedSound) {
  ASSERT_GE(s_reference.hashes.size(), 450u);
  DiskOutput out("player-sync.raw");
  CMp4Decode player;
  ASSERT_TRUE(Open(player, s_file, &owner));
  ASSERT_NE(0u, player.m_device);
  GrowthLog growth(out.path);
  ASSERT_EQ(1, player.Play(1));
  ASSERT_TRUE(WaitUntil([&] { return player.ReaderAtEnd() && player.m_soundQueue.GetListCount() == 0 &&
                                     player.m_pictureQueue.GetListCount() == 0; },
                        30000));
  Pump(300);
  player.CloseDecode();
  growth.Stop();

  // Pictures: each one of the file's, in presentation order, at its time.
  int last = -1, unknown = 0;
  std::vector<double> lateness;
  std::vector<std::uint32_t> flashes;
  bool lit = false;
  for (const Shown& s : owner.shown) {
    const int index = s_reference.IndexOf(s.hash);
    if (index < 0) {
      ++unknown;
      continue;
    }
    EXPECT_GT(index, last);
    last = index;
    lateness.push_back(static_cast<std::int32_t>(s.tick - (s.clockStart + s_reference.times[index])));
    if (s.lit && !lit && s_reference.times[index] > 500) flashes.push_back(s.tick);
    lit = s.lit;
  }
  EXPECT_EQ(0, unknown) << "pictures unlike the file's own";
  EXPECT_GE(owner.shown.size(), s_reference.hashes.size() * 9 / 10);
  ExpectOnTime(lateness);

  // Sound: what was written is the decoded sound, silence between units aside.
  const std::vector<std::int16_t> written = ReadSamples(out.path);
  EXPECT_TRUE(Audible(DecodedSound(s_file)) == Audible(written));

  // Each flash reaches the owner within 60 ms of its burst being written.
  const std::vector<std::uintmax_t> bursts = BurstOffsets(written);
  EXPECT_GE(flashes.size(), 18u);
  double worstSync = 0;
  std::string offsets;
  for (std::uint32_t flash : flashes) {
    double best = 1e9;
    for (std::uintmax_t b : bursts) {
      const double d = static_cast<std::int32_t>(growth.TickOf(b) - flash);
      if (std::fabs(d) < std::fabs(best)) best = d;
    }
    worstSync = std::max(worstSync, std::fabs(best));
    offsets += " " + std::to_string(static_cast<int>(best));
  }
  std::printf("%zu flashes, worst flash-to-burst %.0f ms\n", flashes.size(), worstSync);
  EXPECT_LE(worstSync, 60) << "burst minus flash, ms:" << offsets;
}

TEST_F(PlayerSync, SeekLandsOnTheTargetWithTheFilesOwnPictures) {
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
  CMp4Decode player;
  ASSERT_TRUE(Open(player, s_file, &owner));
  ASSERT_EQ(20, player.GetVideoAllTime());
  ASSERT_EQ(1, player.Play(1));
  ASSERT_TRUE(WaitUntil([&] { return owner.shown.size() >= 10; }));
  for (int percent : {50, 15, 80}) {
    SCOPED_TRACE(percent);
    const std::uint32_t target = 20 * percent / 100 * 1000;
    owner.shown.clear();
    ASSERT_EQ(1, player.SetVideoPos(percent));
    ASSERT_TRUE(WaitUntil([&] { return owner.shown.size() >= 12; }));
    // At most the one picture already on its way comes from before.
    std::size_t first = 0;
    if (s_reference.IndexOf(owner.shown[0].hash) >= 0 &&
        s_reference.times[s_reference.IndexOf(owner.shown[0].hash)] + 100 < target) {
      first = 1;
    }
    int last = -1;
    for (std::size_t i = first; i < owner.shown.size(); ++i) {
      const int index = s_reference.IndexOf(owner.shown[i].hash);
      ASSERT_GE(index, 0) << "a picture unlike the decode from the start";
      if (i == first) {
        EXPECT_GE(s_reference.times[index], target);
        EXPECT_LE(s_reference.times[index], target + 41) << "more than one picture past the target";
      }
      EXPECT_GT(index, last);
      last = index;
    }
  }
  player.CloseDecode();
}

TEST_F(PlayerSync, MemoryStaysFlatWhilePaused) {
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
  const auto resident = [] {
    long pages = 0, rss = 0;
    std::ifstream("/proc/self/statm") >> pages >> rss;
    return rss * sysconf(_SC_PAGESIZE);
  };
  CMp4Decode player;
  ASSERT_TRUE(Open(player, s_file, &owner));
  ASSERT_EQ(1, player.Play(1));
  ASSERT_TRUE(WaitUntil([&] { return owner.shown.size() >= 10; }));
  player.Pause(1);
  Pump(1000);
  const long before = resident();
  const int pictures = player.m_pictureQueue.GetListCount();
  const int sounds = player.m_soundQueue.GetListCount();
  const std::size_t shown = owner.shown.size();
  Pump(10000);
  EXPECT_EQ(shown, owner.shown.size()) << "nothing shown while paused";
  EXPECT_EQ(pictures, player.m_pictureQueue.GetListCount());
  EXPECT_EQ(sounds, player.m_soundQueue.GetListCount());
  EXPECT_LE(pictures, 30) << "about a second of pictures ahead";
  EXPECT_LT(resident() - before, 8L << 20);
  player.CloseDecode();
}
