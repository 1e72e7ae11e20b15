// The player on small clips: opening, volume, duration, single pictures,
// pictures in time without sound, pause and seek, late pictures, bad
// input, stopping while playing, saving pictures, and the command line.
#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <fstream>
#include <random>

#include "imaging/picture_codec.h"
#include "tests/media/player_fixture.h"

using namespace playertest;

namespace {

class Player : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    TestApp();
    av_log_set_level(AV_LOG_QUIET);
  }
  void SetUp() override { setenv("SDL_AUDIODRIVER", "disk", 1), setenv("SDL_DISKAUDIOFILE", "/dev/null", 1); }
  COwner owner;
};

std::string WriteBytes(const std::string& name, const std::string& bytes) {
  const std::string path = flvtest::Scratch(name);
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST_F(Player, InitTakesFilesWithPicturesOnly) {
  const std::string grey = ReadBytes(GreyClip());
  const struct {
    const char* what;
    std::string path;
    int expected;
  } cases[] = {
      {"missing file", flvtest::Scratch("no-such-file.mp4"), 0},
      {"empty file", WriteBytes("player-empty.mp4", ""), 0},
      {"text file", WriteBytes("player-text.mp4", "this is not a video\n"), 0},
      {"sound without pictures", SineOnly(), 0},
      {"first 600 bytes of an MP4", WriteBytes("player-head.mp4", grey.substr(0, 600)), 0},
      {"pictures without sound", GreyClip(), 1},
      {"the AVI writer without a microphone", PictureAvi(), 1},
      {"the AVI writer with a microphone", MicAvi(), 1},
      {"FLV recording", ToneFlv(), 1},
  };
  for (const auto& c : cases) {
    CMp4Decode player;
    EXPECT_EQ(c.expected, player.Init(c.path.c_str())) << c.what;
    EXPECT_EQ(c.expected == 1, player.m_videoIndex >= 0) << c.what;
  }
  CMp4Decode player;
  EXPECT_EQ(0, player.Init(nullptr));
  EXPECT_EQ(0, player.Init(""));
}

TEST_F(Player, VolumeInPercentAndMixSteps) {
  const struct {
    int set, volume, reads;
  } cases[] = {{50, 64, 50}, {100, 128, 100}, {0, 0, 0}, {-5, 0, 0}, {250, 128, 100}, {1, 1, 0}, {33, 42, 32}};
  CMp4Decode player;
  EXPECT_EQ(128, player.m_volume.load());
  for (const auto& c : cases) {
    EXPECT_EQ(1, player.SetVolumePos(c.set));
    EXPECT_EQ(c.volume, player.m_volume.load()) << c.set;
    EXPECT_EQ(c.reads, player.GetVolumePos()) << c.set;
  }
}

TEST_F(Player, DurationAndSize) {
  const struct {
    std::string path;
    int seconds, width, height;
  } cases[] = {{GreyClip(), 4, 64, 48}, {ToneFlv(), 4, 160, 120}, {PictureAvi(), 4, 160, 120}};
  for (const auto& c : cases) {
    CMp4Decode player;
    ASSERT_EQ(1, player.Init(c.path.c_str())) << c.path;
    EXPECT_EQ(c.seconds, player.GetVideoAllTime()) << c.path;
    EXPECT_EQ(-1, player.GetVideoWidth()) << "before the decoder is open";
    ASSERT_EQ(1, player.OpenVideoDecode());
    EXPECT_EQ(c.width, player.GetVideoWidth()) << c.path;
    EXPECT_EQ(c.height, player.GetVideoHeight()) << c.path;
  }
  CMp4Decode none;
  EXPECT_EQ(-1, none.GetVideoAllTime());
  EXPECT_EQ(-1, none.GetVideoHeight());
  EXPECT_EQ(0, none.SetVideoPos(50));
  EXPECT_EQ(nullptr, none.ReadFrame(0));
  EXPECT_EQ(0, none.Play(1));
}

TEST_F(Player, ReadFrameAndReadVideoFrame) {
  CMp4Decode player;
  ASSERT_TRUE(Open(player, GreyClip()));
  const int centre = (24 * 64 + 32) * 3;
  // ReadFrame reads on from where the last read ended.
  const struct {
    int n, picture;
  } reads[] = {{5, 5}, {0, 6}, {2, 9}, {0, 10}};
  for (const auto& r : reads) {
    const unsigned char* p = player.ReadFrame(r.n);
    ASSERT_NE(nullptr, p) << r.n;
    EXPECT_EQ(r.picture, GreyIndex(p[centre])) << r.n;
    EXPECT_EQ(static_cast<std::uint32_t>(r.picture * 40), player.m_frameTime);
  }
  // ReadVideoFrame shows the picture at the second, from a key frame on.
  const struct {
    int seconds, picture;
  } at[] = {{2, 50}, {0, 0}, {3, 75}, {1, 25}, {4, 99}};
  for (const auto& a : at) {
    const unsigned char* p = player.ReadVideoFrame(a.seconds);
    ASSERT_NE(nullptr, p) << a.seconds;
    EXPECT_EQ(a.picture, GreyIndex(p[centre])) << a.seconds;
  }
  EXPECT_EQ(nullptr, player.ReadVideoFrame(5));
  EXPECT_EQ(nullptr, player.ReadVideoFrame(-1));
  ASSERT_NE(nullptr, player.ReadVideoFrame(3));
  EXPECT_EQ(nullptr, player.ReadFrame(30)) << "past the end";
  // ReSet hands the picture at the second to the owner with wParam 0.
  player.SetHwnd(&owner);
  EXPECT_EQ(1, player.ReSet(2));
  ASSERT_EQ(1u, owner.shown.size());
  EXPECT_EQ(0u, owner.shown[0].second);
  EXPECT_EQ(50, GreyIndex(owner.shown[0].grey));
}

TEST_F(Player, WithoutSoundPicturesArriveInOrderAtTheirTimes) {
  CMp4Decode player;
  ASSERT_TRUE(Open(player, GreyClip(), &owner));
  EXPECT_EQ(-1, player.m_audioIndex);
  ASSERT_EQ(1, player.Play(1));
  ASSERT_TRUE(WaitUntil([&] { return player.ReaderAtEnd() && player.m_pictureQueue.GetListCount() == 0; }, 8000));
  Pump(100);
  player.CloseDecode();
  ASSERT_GE(owner.shown.size(), 90u) << "of 100";
  int last = -1;
  std::vector<double> lateness;
  for (const Shown& s : owner.shown) {
    const int index = GreyIndex(s.grey);
    EXPECT_GT(index, last) << "presentation order";
    last = index;
    EXPECT_EQ(static_cast<WPARAM>(index * 40 / 1000), s.second);
    // Due at clock start + its time; never early.
    lateness.push_back(static_cast<std::int32_t>(s.tick - (s.clockStart + index * 40u)));
    EXPECT_GE(lateness.back(), -2) << index;
  }
  ExpectOnTime(lateness);
}

TEST_F(Player, PausedSeekShowsTenPicturesThenStops) {
  CMp4Decode player;
  ASSERT_TRUE(Open(player, GreyClip(), &owner));
  ASSERT_EQ(1, player.Play(1));
  ASSERT_TRUE(WaitUntil([&] { return owner.shown.size() >= 3; }));
  EXPECT_EQ(1, player.Pause(1));
  Pump(100);
  owner.shown.clear();
  Pump(300);
  EXPECT_TRUE(owner.shown.empty()) << "paused";
  // 40 % of 4 s is second 1: pictures 25 to 34, then nothing.
  EXPECT_EQ(1, player.SetVideoPos(40));
  ASSERT_TRUE(WaitUntil([&] { return owner.shown.size() >= 10; }));
  Pump(600);
  ASSERT_EQ(10u, owner.shown.size());
  for (std::size_t i = 0; i < owner.shown.size(); ++i) EXPECT_EQ(25 + static_cast<int>(i), GreyIndex(owner.shown[i].grey));
  EXPECT_EQ(0, player.m_pictureGate.load());
  // Running again goes on from there.
  EXPECT_EQ(1, player.Pause(0));
  ASSERT_TRUE(WaitUntil([&] { return owner.shown.size() >= 15; }));
  EXPECT_EQ(35, GreyIndex(owner.shown[10].grey));
  // Out-of-range percentages are clamped.
  EXPECT_EQ(1, player.SetVideoPos(250));
  EXPECT_EQ(1, player.SetVideoPos(-20));
  player.CloseDecode();
}

TEST_F(Player, PicturesWhoseTimeHasPassedAreNeverShown) {
  CMp4Decode player;
  ASSERT_TRUE(Open(player, GreyClip(), &owner));
  owner.stallOn = 5;  // the owner is busy for 300 ms with the sixth picture
  owner.stallMs = 300;
  ASSERT_EQ(1, player.Play(1));
  ASSERT_TRUE(WaitUntil([&] { return owner.shown.size() >= 12; }, 6000));
  player.CloseDecode();
  const int stalled = GreyIndex(owner.shown[5].grey);
  const int next = GreyIndex(owner.shown[6].grey);
  // Seven or eight pictures fell due during the stall: none of them shows.
  EXPECT_GE(next - stalled, 7) << stalled << " then " << next;
  for (std::size_t i = 6; i < owner.shown.size(); ++i) {
    const int index = GreyIndex(owner.shown[i].grey);
    EXPECT_LE(static_cast<std::int32_t>(owner.shown[i].clockStart + index * 40u - owner.shown[i].tick), 2);
  }
}

TEST_F(Player, PictureSizeChangingMidStreamGetsItsOwnConversion) {
  const std::string small = Made("player-64.ts",
                                 "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=s=64x48:r=25:d=1 -c:v libx264 -f mpegts OUT");
  const std::string large = Made("player-96.ts",
                                 "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=s=96x64:r=25:d=1 -c:v libx264 -f mpegts OUT");
  const std::string both = WriteBytes("player-sizes.ts", ReadBytes(small) + ReadBytes(large));
  CMp4Decode player;
  ASSERT_TRUE(Open(player, both));
  std::set<std::pair<int, int>> sizes;
  int pictures = 0;
  while (player.ReadFrame(0)) {
    sizes.insert({player.GetVideoWidth(), player.GetVideoHeight()});
    ++pictures;
  }
  EXPECT_GE(pictures, 45);
  EXPECT_EQ((std::set<std::pair<int, int>>{{64, 48}, {96, 64}}), sizes);
}

TEST_F(Player, DamagedRecordingsPlayWhatIsIntactAndNeverCrash) {
  std::mt19937 random(7);
  const std::string sources[] = {ToneFlv(), MicAvi(), GreyClip()};
  int played = 0;
  for (const std::string& source : sources) {
    const std::string bytes = ReadBytes(source);
    std::vector<std::string> copies;
    for (double part : {0.1, 0.5, 0.9}) copies.push_back(bytes.substr(0, static_cast<std::size_t>(bytes.size() * part)));
    for (int flips : {4, 64}) {
      std::string copy = bytes;
      for (int i = 0; i < flips; ++i) copy[random() % copy.size()] ^= static_cast<char>(1u << (random() % 8));
      copies.push_back(copy);
    }
    for (std::size_t i = 0; i < copies.size(); ++i) {
      const std::string path = WriteBytes("player-damaged" + fs::path(source).extension().string(), copies[i]);
      CMp4Decode player;
      COwner watcher;
      if (!Open(player, path, &watcher)) continue;
      ++played;
      player.Play(1);
      WaitUntil([&] { return player.ReaderAtEnd(); }, 400);
      player.SetVideoPos(50);
      Pump(50);
      player.CloseDecode();
    }
  }
  EXPECT_GE(played, 6);
  // A recording cut off at half its length plays to its last complete part.
  const std::string half = ReadBytes(ToneFlv());
  const std::string path = WriteBytes("player-half.flv", half.substr(0, half.size() / 2));
  CMp4Decode player;
  ASSERT_TRUE(Open(player, path, &owner));
  player.Play(1);
  EXPECT_TRUE(WaitUntil([&] { return player.ReaderAtEnd() && player.m_pictureQueue.GetListCount() == 0; }, 6000));
  Pump(100);
  player.CloseDecode();
  EXPECT_GE(owner.shown.size(), 35u) << "about two of four seconds";
}

TEST_F(Player, StoppingWhilePlayingIsClean) {
  // The owner's own thread stops the player, often while a picture is
  // being handed to it: the hand-over gives way.
  const std::string file = ToneFlv();
  for (int i = 0; i < 100; ++i) {
    CMp4Decode player;
    ASSERT_TRUE(Open(player, file, &owner)) << i;
    ASSERT_EQ(1, player.Play(1));
    if (i % 3 == 0) Pump(i % 20);
    else Sleep(static_cast<std::uint32_t>(i % 25));
    if (i % 10 == 0) player.Pause(1);
    player.CloseDecode();
    if (i % 2 == 0) player.CloseDecode();
    EXPECT_EQ(0, player.Play(1)) << "the picture path is gone";
  }
  Pump(50);  // hand-overs given up on are dropped, not delivered
}

TEST_F(Player, AviWriterSoundAtLowRatePlaysInFull) {
  DiskOutput out("player-avi-sound.raw");
  CMp4Decode player;
  ASSERT_TRUE(Open(player, MicAvi(), &owner));
  ASSERT_NE(0u, player.m_device) << "22050 Hz mono: the sound path opens";
  ASSERT_EQ(1, player.Play(1));
  ASSERT_TRUE(WaitUntil([&] { return player.ReaderAtEnd() && player.m_soundQueue.GetListCount() == 0; }, 9000));
  Pump(200);
  player.CloseDecode();
  EXPECT_GE(owner.shown.size(), 30u);
  const std::vector<std::int16_t> decoded = Audible(DecodedSound(MicAvi()));
  const std::vector<std::int16_t> written = Audible(ReadSamples(out.path));
  ASSERT_GT(decoded.size(), 30000u) << "three tone bursts or more, resampled to 44100 Hz stereo";
  EXPECT_EQ(decoded.size(), written.size());
  EXPECT_TRUE(decoded == written);
}

TEST_F(Player, SaveAsImageFollowsTheExtension) {
  constexpr int w = 7, h = 5;
  std::vector<unsigned char> pixels(w * h * 3);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      unsigned char* p = &pixels[(y * w + x) * 3];
      p[0] = static_cast<unsigned char>(x * 30), p[1] = static_cast<unsigned char>(y * 50), p[2] = 200;
    }
  }
  const struct {
    const char* name;
    const char* magic;
    bool exact;
  } cases[] = {{"a.bmp", "BM", true},         {"b.PNG", "\x89PNG", true}, {"c.gif", "GIF8", false},
               {"d.tiff", "II*", true},        {"e.jpg", "\xFF\xD8\xFF", false}, {"f.jpeg", "\xFF\xD8\xFF", false},
               {"g", "\xFF\xD8\xFF", false},   {"h.xbmpx", "BM", true}};
  for (const auto& c : cases) {
    const std::string path = flvtest::Scratch(std::string("player-save-") + c.name);
    ASSERT_EQ(1, CMp4Decode::SaveAsImage(pixels.data(), w, h, path.c_str())) << c.name;
    EXPECT_EQ(0u, ReadBytes(path).rfind(c.magic, 0)) << c.name;
    const QImage back = ReadPicture(path);
    ASSERT_EQ(QSize(w, h), back.size()) << c.name;
    // Top-down: the first row written is the image's top row.
    const QRgb corner = back.pixel(w - 1, h - 1);
    const int tolerance = c.exact ? 0 : 40;
    EXPECT_NEAR(200, qRed(corner), tolerance) << c.name;
    EXPECT_NEAR(200, qGreen(corner), tolerance) << c.name;
    EXPECT_NEAR(180, qBlue(corner), tolerance) << c.name;
  }
  const std::string path = flvtest::Scratch("player-save-none.png");
  EXPECT_EQ(0, CMp4Decode::SaveAsImage(pixels.data(), 0, h, path.c_str()));
  EXPECT_EQ(0, CMp4Decode::SaveAsImage(nullptr, w, h, path.c_str()));
  EXPECT_EQ(0, CMp4Decode::SaveAsImage(pixels.data(), w, h, "/no-such-folder/x.png"));
}

TEST_F(Player, CommandLine) {
  const std::string tool = "'" + mediacheck::Tool() + "' ";
  const std::string grey = GreyClip();
  const struct {
    std::string args;
    int status;
    const char* says;
  } cases[] = {
      {"play", 2, "no file given"},
      {"play '" + grey + "' --volume 150", 2, "--volume"},
      {"play '" + grey + "' --start", 2, "--start"},
      {"play '" + grey + "' --speed 2", 2, "unknown option"},
      {"play a.mp4 b.mp4", 2, "more than one file"},
      {"play '" + SineOnly() + "'", 1, "cannot play"},
      {"frame '" + grey + "' 1", 2, "FILE SECONDS OUT"},
      {"frame '" + grey + "' one x.png", 2, "SECONDS"},
      {"frame '" + grey + "' 1.5 x.png", 2, "SECONDS"},
      {"frame '" + grey + "' 9 x.png", 1, "no picture at 9 s"},
      {"frame /no/such.mp4 1 x.png", 1, "cannot read"},
  };
  for (const auto& c : cases) {
    const mediacheck::ShellRun run = mediacheck::Shell("QT_QPA_PLATFORM=offscreen " + tool + c.args);
    EXPECT_EQ(c.status, run.status) << c.args << ": " << run.output;
    EXPECT_NE(std::string::npos, run.output.find(c.says)) << c.args << ": " << run.output;
  }
  // `frame` saves the picture at the second upright.
  const std::string out = flvtest::Scratch("player-frame.png");
  const mediacheck::ShellRun run = mediacheck::Shell(tool + "frame '" + ToneFlv() + "' 2 '" + out + "'");
  ASSERT_EQ(0, run.status) << run.output;
  const QImage picture = ReadPicture(out);
  ASSERT_EQ(QSize(160, 120), picture.size());
  // At 2 s the square (lower right, seen top-down) is lit; the top left is not.
  EXPECT_GT(qGreen(picture.pixel(120, 70)), 200);
  EXPECT_LT(qGreen(picture.pixel(120, 10)), 100);
}
