// Recordings that end badly: killed, stopped by a signal, on a full disk;
// and the last step of a normal MP4 ending.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>

#include "media/flvrecord.h"
#include "media/mp4finish.h"
#include "media/mp4muxer.h"
#include "tests/media/survive_check.h"
#include "tests/media/test_paths.h"
#include "tools/brevio-media/synthetic.h"

namespace {

using namespace mediacheck;

void App() {
  static int argc = 1;
  static char name[] = "test";
  static char* argv[] = {name, nullptr};
  if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
}

using PictureIn = std::function<void(const std::vector<unsigned char>&)>;
using SoundIn = std::function<void(const std::vector<unsigned char>&, std::int64_t captureUs)>;

// Textured 320 × 240 pictures at 25 a second and the sound line in blocks
// of 8192 samples stamped at their capture, for up to `pictures` pictures
// (sound up to soundMs only), until `done` says so. Returns the pictures given.
int Feed(int pictures, double soundMs, const PictureIn& picture, const SoundIn& sound,
         const std::function<bool()>& done) {
  std::vector<unsigned char> bgr, pcm;
  const std::int64_t start = MonotonicUs();
  int n = 0;
  for (; n < pictures && !done(); ++n) {
    synthetic::DrawPicture(bgr, 320, 240, n, n * 40.0);
    synthetic::AddTexture(bgr, 320, 240, n, n * 40.0);
    picture(bgr);
    const std::int64_t first = (n / 5) * 8192LL;
    if (n % 5 == 4 && first * 1000.0 / 44100 < soundMs) {  // five pictures (200 ms) per block (186 ms)
      synthetic::FillSound(pcm, first, 8192, 1000);
      sound(pcm, start + first * 1000000 / 44100);
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    Sleep(40);
  }
  return n;
}

// The two recorders behind one surface.
struct Recorder {
  std::function<int(const std::string&, HWND)> init;
  PictureIn picture;
  SoundIn sound;
  std::function<void()> end;
};

Recorder Mp4(CMp4Muxer& m) {
  return {[&m](const std::string& path, HWND owner) {
            m.SetParentHwnd(owner);
            return m.Init(path.c_str(), 320, 240);
          },
          [&m](const std::vector<unsigned char>& bgr) { m.BmptoH264Data(bgr.data(), static_cast<int>(bgr.size())); },
          [&m](const std::vector<unsigned char>& pcm, std::int64_t at) {
            m.SetPCMData(pcm.data(), static_cast<int>(pcm.size()), at, 0);
          },
          [&m] {
            m.AddEndData();
            m.Close();
          }};
}

Recorder Flv(CFlvRecord& r) {
  return {[&r](const std::string& path, HWND owner) {
            r.SetParentHwnd(owner);
            return r.Init(320, 240, path.c_str());
          },
          [&r](const std::vector<unsigned char>& bgr) { r.WriteBmpData(bgr.data(), static_cast<int>(bgr.size())); },
          [&r](const std::vector<unsigned char>& pcm, std::int64_t at) {
            r.WritePCMData(pcm.data(), static_cast<int>(pcm.size()), at, 0);
          },
          [&r] { r.Close(); }};
}

// Every packet of a file with its times, size and a hash of its bytes.
std::string PacketList(const std::string& path) {
  return Shell("ffmpeg -nostdin -v error -i '" + path + "' -map 0 -c copy -f framemd5 - | grep -v '^#'").output;
}

}  // namespace

TEST(Survive, KilledRecordingsPlayUpToTheirLastKeyPicture) {
  std::random_device seed;
  const unsigned s = seed();
  std::mt19937 rng(s);
  std::printf("kill rounds with seed %u\n", s);
  for (int round = 0; round < 2; ++round) KillRound(rng, flvtest::Scratch("kill"), 2500, 4500, 320, 240);
}

TEST(Survive, StopSignalsFinishTheFileAsAtItsEnd) {
  struct Case {
    int signal;
    const char* file;
  } cases[] = {{SIGTERM, "sigterm.mp4"}, {SIGINT, "sigint.flv"}, {SIGHUP, "sighup.mp4"}};
  for (const Case& c : cases) {
    const std::string out = flvtest::Scratch(c.file);
    SCOPED_TRACE(out);
    std::filesystem::remove(out);
    CRecordProcess rec(out, "160x120", 30);
    ASSERT_TRUE(rec.Started());
    while (!std::filesystem::exists(out)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    rec.Signal(c.signal);
    EXPECT_EQ(0, rec.Wait()) << "a clean end";
    const Decoded d = DecodeAll(out, 160, 120);
    EXPECT_EQ(0, d.errors);
    EXPECT_GE(d.pictures, 30);
    EXPECT_NEAR(2.0, Duration(out), 0.6);
    if (out.ends_with(".mp4")) {
      const auto boxes = TopBoxes(out);
      EXPECT_EQ(-1, IndexOf(boxes, "moof")) << "finished as an ordinary MP4";
      EXPECT_LT(IndexOf(boxes, "moov"), IndexOf(boxes, "mdat"));
    } else {
      const ShellRun dump = Shell("'" + Tool() + "' flv-dump '" + out + "'");
      EXPECT_EQ(0, dump.status) << dump.output.substr(0, 500);
      EXPECT_EQ(std::string::npos, dump.output.find("stale")) << "the final metadata is written";
    }
  }
}

TEST(Survive, AMicrophoneThatStopsLeavesThePicturesGoing) {
  App();
  av_log_set_level(AV_LOG_ERROR);
  for (const char* file : {"mic-gone.mp4", "mic-gone.flv"}) {
    const std::string path = flvtest::Scratch(file);
    SCOPED_TRACE(path);
    CMessageRecorder owner;
    CMp4Muxer mp4;
    CFlvRecord flv;
    const Recorder rec = path.ends_with(".mp4") ? Mp4(mp4) : Flv(flv);
    ASSERT_EQ(1, rec.init(path, &owner));
    Feed(75, 1000, rec.picture, rec.sound, [] { return false; });  // sound for the first second only
    rec.end();
    ASSERT_TRUE(owner.WaitFor(WM_STOP_RECORD, 1, 10000));
    EXPECT_EQ(1, owner.Messages().back().lParam);
    const Decoded d = DecodeAll(path, 320, 240);
    EXPECT_EQ(0, d.errors);
    EXPECT_GE(d.pictures, 70);
    EXPECT_GE(d.lastPictureMs, 2800.0) << "the pictures go on to the end";
    EXPECT_NEAR(6 * 8192 / 1024, d.soundFrames, 3);
  }
}

TEST(Survive, AnOrdinaryMp4HoldsTheSamePacketsAsTheFragmentedOne) {
  App();
  av_log_set_level(AV_LOG_ERROR);
  const std::string fragmented = flvtest::Scratch("fragmented.mp4");
  CMessageRecorder owner;
  CMp4Muxer m;
  m.SetParentHwnd(&owner);
  m.SetFinishFaststart(false);
  ASSERT_EQ(1, m.Init(fragmented.c_str(), 160, 120));
  EXPECT_TRUE(m.IsFragmented());
  std::vector<unsigned char> bgr, pcm;
  const std::int64_t start = MonotonicUs();
  for (int n = 0; n < 75; ++n) {
    synthetic::DrawPicture(bgr, 160, 120, n, n * 40.0);
    synthetic::AddTexture(bgr, 160, 120, n, n * 40.0);
    m.BmptoH264Data(bgr.data(), static_cast<int>(bgr.size()));
    if (n % 5 == 4) {  // a block of 8192 samples is 186 ms, five pictures 200 ms
      const std::int64_t first = (n / 5) * 8192LL;
      synthetic::FillSound(pcm, first, 8192, 1000);
      m.SetPCMData(pcm.data(), static_cast<int>(pcm.size()), start + first * 1000000 / 44100, 0);
    }
    Sleep(40);
  }
  m.AddEndData();
  ASSERT_TRUE(owner.WaitFor(WM_STOP_RECORD, 1, 10000));
  EXPECT_EQ(1, owner.Messages().back().lParam);
  m.Close();
  const auto before = TopBoxes(fragmented);
  EXPECT_LT(IndexOf(before, "moov"), IndexOf(before, "moof")) << "an empty index, then fragments";
  EXPECT_GE(std::count(before.begin(), before.end(), "moof"), 2);

  const std::string ordinary = flvtest::Scratch("ordinary.mp4");
  std::filesystem::copy_file(fragmented, ordinary, std::filesystem::copy_options::overwrite_existing);
  std::string error;
  ASSERT_EQ(1, kinora::MakeFaststartMp4(ordinary, &error)) << error;
  const auto after = TopBoxes(ordinary);
  EXPECT_EQ(-1, IndexOf(after, "moof"));
  EXPECT_LT(IndexOf(after, "moov"), IndexOf(after, "mdat"));
  const std::string packets = PacketList(fragmented);
  EXPECT_GT(std::count(packets.begin(), packets.end(), '\n'), 100);
  EXPECT_EQ(packets, PacketList(ordinary));
  EXPECT_EQ(0, DecodeAll(ordinary, 160, 120).errors);

  // A file that is no recording stays as it is, and nothing is left behind.
  const std::string folder = flvtest::Scratch("not-mp4");
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string bad = folder + "/bad.mp4";
  { std::ofstream(bad) << "not a recording"; }
  EXPECT_EQ(0, kinora::MakeFaststartMp4(bad, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()));
  EXPECT_EQ(15u, std::filesystem::file_size(bad));
}

// A folder on a file system of its own with room for `bytes` only; the
// test is skipped where no file system can be mounted (no privilege).
class FullDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    av_log_set_level(AV_LOG_QUIET);
    // One mount point per test: the suites run in parallel processes.
    m_folder = flvtest::Scratch(std::string("full-disk-") +
                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(m_folder);
    umount2(m_folder.c_str(), MNT_DETACH);  // left over from an interrupted run
    if (mount("tmpfs", m_folder.c_str(), "tmpfs", 0, "size=300k") != 0) {
      GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
    }
    m_mounted = true;
  }
  void TearDown() override {
    if (m_mounted) umount2(m_folder.c_str(), MNT_DETACH);
  }
  // Records until the recorder gives up, which it must report as a
  // failure; afterwards it takes no more pictures.
  void RecordUntilFull(const Recorder& rec, const std::string& path) {
    CMessageRecorder owner;
    ASSERT_EQ(1, rec.init(path, &owner));
    const int n = Feed(400, 1e9, rec.picture, rec.sound, [&] { return owner.Count(WM_STOP_RECORD) > 0; });
    ASSERT_TRUE(owner.WaitFor(WM_STOP_RECORD, 1, 10000)) << "the full disk was noticed";
    EXPECT_EQ(0, owner.Messages().back().lParam) << "reported as a failure";
    EXPECT_LT(n, 400);
    rec.end();
    const Decoded d = DecodeAll(path, 320, 240);
    EXPECT_GT(d.pictures, 10);
    EXPECT_GE(d.firstErrorMs, d.lastKeyMs) << "what was written plays";
  }
  std::string m_folder;
  bool m_mounted = false;
};

TEST_F(FullDisk, Mp4ReportsTheFailureAndWhatWasWrittenPlays) {
  const std::string path = m_folder + "/full.mp4";
  CMp4Muxer m;
  RecordUntilFull(Mp4(m), path);
  std::vector<unsigned char> bgr(320 * 240 * 3, 0);
  EXPECT_EQ(0, m.BmptoH264Data(bgr.data(), static_cast<int>(bgr.size()))) << "no input after the failure";
  EXPECT_NE(-1, IndexOf(TopBoxes(path), "moof")) << "the fragmented file stays";
}

TEST_F(FullDisk, FlvReportsTheFailureAndWhatWasWrittenPlays) {
  const std::string path = m_folder + "/full.flv";
  CFlvRecord rec;
  RecordUntilFull(Flv(rec), path);
  std::vector<unsigned char> bgr(320 * 240 * 3, 0);
  EXPECT_EQ(0, rec.WriteBmpData(bgr.data(), static_cast<int>(bgr.size()))) << "no input after the failure";
}
