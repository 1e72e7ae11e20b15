#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "contracts/fundara/memory.h"
#include "media/flvrecord.h"
#include "tests/media/flv_parse.h"
#include "tests/media/test_paths.h"
#include "tools/brevio-media/synthetic.h"

namespace {

QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app =
      QCoreApplication::instance() ? QCoreApplication::instance() : new QCoreApplication(argc, argv);
  return *app;
}

constexpr int kW = 160, kH = 120;

struct VideoTag {
  std::uint32_t dts;
  std::int32_t cts;
  bool key;
};

std::vector<VideoTag> VideoUnits(const flvtest::File& f) {
  std::vector<VideoTag> out;
  for (const auto& t : f.tags) {
    if (t.IsVideo() && !t.IsSequenceHeader()) out.push_back({t.time, t.Cts(), t.Key()});
  }
  return out;
}

class FlvRecordTest : public ::testing::Test {
 protected:
  void SetUp() override { App(); }

  // Hands `count` pictures `gapMs` apart and returns their capture times.
  std::vector<std::uint32_t> Pictures(CFlvRecord& rec, int count, int gapMs, int first = 0) {
    std::vector<std::uint32_t> times;
    std::vector<unsigned char> bgr;
    for (int i = 0; i < count; ++i) {
      synthetic::DrawPicture(bgr, kW, kH, first + i, i * 40.0);
      if (rec.WriteBmpData(bgr.data(), static_cast<int>(bgr.size())) == 1) times.push_back(rec.GetVideoTime());
      Sleep(static_cast<std::uint32_t>(gapMs));
    }
    return times;
  }
};

}  // namespace

TEST_F(FlvRecordTest, CloseRightAfterInitFinishesAnEmptyFileAndTellsTheOwner) {
  const std::string path = flvtest::Scratch("empty.flv");
  CMessageRecorder owner;
  CFlvRecord rec;
  rec.SetParentHwnd(&owner);
  ASSERT_EQ(1, rec.Init(kW, kH, path.c_str()));
  rec.Close();
  ASSERT_TRUE(owner.WaitFor(WM_STOP_RECORD));
  const auto msgs = owner.Messages();
  ASSERT_EQ(1u, msgs.size());
  EXPECT_EQ(0u, msgs[0].wParam);
  EXPECT_EQ(1, msgs[0].lParam);
  const auto f = flvtest::Parse(path);
  EXPECT_TRUE(f.sizesOk);
  ASSERT_EQ(1u, f.tags.size()) << "header and metadata only";
  auto meta = flvtest::Metadata(f.tags[0]);
  ASSERT_NE(nullptr, meta);
  EXPECT_EQ(18u, flvtest::Array(*meta)->GetChildren().size());
  EXPECT_EQ(static_cast<double>(f.bytes.size()), flvtest::Array(*meta)->Find("filesize")->ToDouble());
  // Closing again, and destroying, are harmless.
  rec.Close();
  EXPECT_EQ(0, rec.WriteBmpData(nullptr, 0));
}

TEST_F(FlvRecordTest, InitRefusesAFileThatCannotBeCreated) {
  CMessageRecorder owner;
  CFlvRecord rec;
  rec.SetParentHwnd(&owner);
  EXPECT_EQ(0, rec.Init(kW, kH, "/nonexistent-dir/x.flv"));
  EXPECT_EQ(0, rec.Init(kW, kH, nullptr));
  rec.Close();
  QCoreApplication::processEvents();
  EXPECT_EQ(0u, owner.Count(WM_STOP_RECORD));
}

TEST_F(FlvRecordTest, PicturesWithoutSoundCarryDecodingAndCompositionTimes) {
  const std::string path = flvtest::Scratch("nosound.flv");
  CMessageRecorder owner;
  CFlvRecord rec;
  rec.SetParentHwnd(&owner);
  ASSERT_EQ(1, rec.Init(kW, kH, path.c_str()));
  const auto captured = Pictures(rec, 30, 15);
  ASSERT_EQ(30u, captured.size());
  rec.Close();
  ASSERT_TRUE(owner.WaitFor(WM_STOP_RECORD));

  const auto f = flvtest::Parse(path);
  EXPECT_TRUE(f.sizesOk);
  // No sound tags at all, while the metadata still declares the AAC track.
  for (const auto& t : f.tags) EXPECT_NE(8, t.type);
  auto meta = flvtest::Metadata(f.tags[0]);
  ASSERT_NE(nullptr, meta);
  EXPECT_TRUE(flvtest::Array(*meta)->Find("hasAudio")->ToBool());
  EXPECT_EQ(10, flvtest::Array(*meta)->Find("audiocodecid")->ToDouble());
  EXPECT_NEAR(captured.back() / 1000.0, flvtest::Array(*meta)->Find("duration")->ToDouble(), 0.1);

  // The first video tag is the AVC sequence header at time 0.
  ASSERT_GE(f.tags.size(), 2u);
  EXPECT_EQ(9, f.tags[1].type);
  EXPECT_EQ(0x17, f.tags[1].data[0]);
  EXPECT_EQ(0x00, f.tags[1].data[1]);
  EXPECT_EQ(0u, f.tags[1].time);

  const auto units = VideoUnits(f);
  ASSERT_EQ(captured.size(), units.size());
  EXPECT_TRUE(units[0].key);
  // Decoding times run in capture order, a fixed number of pictures behind;
  // each picture is shown at exactly its capture time, never before it is decoded.
  std::multiset<std::uint32_t> shown;
  std::size_t lag = 0;
  while (lag < captured.size() && units[lag].dts == captured[0]) ++lag;
  ASSERT_GE(lag, 2u);
  for (std::size_t i = 0; i < units.size(); ++i) {
    const std::size_t from = i + 1 >= lag ? i + 1 - lag : 0;
    EXPECT_EQ(captured[from], units[i].dts) << i;
    EXPECT_GE(units[i].cts, 0) << i;
    shown.insert(units[i].dts + static_cast<std::uint32_t>(units[i].cts));
  }
  EXPECT_EQ(std::multiset<std::uint32_t>(captured.begin(), captured.end()), shown);
}

TEST_F(FlvRecordTest, PauseLeavesNoGap) {
  const std::string path = flvtest::Scratch("pause.flv");
  CMessageRecorder owner;
  CFlvRecord rec;
  rec.SetParentHwnd(&owner);
  ASSERT_EQ(1, rec.Init(kW, kH, path.c_str()));
  auto before = Pictures(rec, 8, 20);
  rec.PlayVideo(0);
  rec.PlayVideo(0);  // a second pause keeps the first moment
  std::vector<unsigned char> bgr(kW * kH * 3, 0), pcm(16384, 0);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(0, rec.WriteBmpData(bgr.data(), static_cast<int>(bgr.size())));
    EXPECT_EQ(0, rec.WritePCMData(pcm.data(), static_cast<int>(pcm.size())));
    Sleep(60);
  }
  rec.PlayVideo(1);
  auto after = Pictures(rec, 8, 20, 8);
  rec.Close();
  ASSERT_TRUE(owner.WaitFor(WM_STOP_RECORD));
  ASSERT_EQ(8u, before.size());
  ASSERT_EQ(8u, after.size());
  // The first picture after resuming follows the last one before the pause by
  // the time the recording actually ran, not by the 600 ms pause.
  EXPECT_LT(after.front() - before.back(), 150u);
  const auto units = VideoUnits(flvtest::Parse(path));
  ASSERT_EQ(16u, units.size());
  std::vector<std::uint32_t> shown;
  for (const auto& u : units) shown.push_back(u.dts + static_cast<std::uint32_t>(u.cts));
  std::sort(shown.begin(), shown.end());
  for (std::size_t i = 1; i < shown.size(); ++i) EXPECT_LT(shown[i] - shown[i - 1], 150u) << i;
}

TEST_F(FlvRecordTest, SoundIsStampedWithTheCaptureOfItsFirstSample) {
  const std::string path = flvtest::Scratch("soundtime.flv");
  CMessageRecorder owner;
  CFlvRecord rec;
  rec.SetParentHwnd(&owner);
  ASSERT_EQ(1, rec.Init(kW, kH, path.c_str()));
  std::atomic<bool> started{false};
  std::uint32_t t0 = 0, arrival = 0;
  std::thread sound([&] {
    while (!started.load()) Sleep(1);
    Sleep(400);
    std::vector<unsigned char> pcm;
    synthetic::FillSound(pcm, 0, 8192, 440);
    arrival = GetTickCount() - t0;
    EXPECT_EQ(1, rec.WritePCMData(pcm.data(), static_cast<int>(pcm.size())));
  });
  std::vector<unsigned char> bgr;
  synthetic::DrawPicture(bgr, kW, kH, 0, 0);
  t0 = GetTickCount();
  rec.WriteBmpData(bgr.data(), static_cast<int>(bgr.size()));
  started = true;
  Pictures(rec, 20, 40, 1);
  sound.join();
  rec.Close();
  ASSERT_TRUE(owner.WaitFor(WM_STOP_RECORD));
  const auto f = flvtest::Parse(path);
  std::vector<std::uint32_t> audio;
  bool headerFirst = false;
  for (const auto& t : f.tags) {
    if (!t.IsAudio()) continue;
    if (t.IsSequenceHeader()) {
      headerFirst = audio.empty();
      EXPECT_EQ((std::vector<unsigned char>{0xAE, 0x00, 0x12, 0x08}), t.data);
      EXPECT_EQ(0u, t.time);
      continue;
    }
    audio.push_back(t.time);
  }
  EXPECT_TRUE(headerFirst);
  ASSERT_GE(audio.size(), 6u);
  // The block arrived around 400 ms; it holds 186 ms of sound, so its
  // frames start near 214 ms (the encoder's priming frame one frame earlier).
  const double blockStart = arrival - 8192 * 1000.0 / 44100;
  EXPECT_NEAR(blockStart - 23.2, audio[0], 15.0);
  EXPECT_NEAR(blockStart, audio[1], 15.0);
  for (std::size_t i = 1; i < audio.size(); ++i) EXPECT_NEAR(23.2, audio[i] - audio[i - 1], 1.01);
}

TEST_F(FlvRecordTest, EachRecorderWaitsForItsOwnThread) {
  const std::string pathA = flvtest::Scratch("twoA.flv"), pathB = flvtest::Scratch("twoB.flv");
  CMessageRecorder ownerA, ownerB;
  CFlvRecord a, b;
  a.SetParentHwnd(&ownerA);
  b.SetParentHwnd(&ownerB);
  ASSERT_EQ(1, a.Init(kW, kH, pathA.c_str()));
  ASSERT_EQ(1, b.Init(kW, kH, pathB.c_str()));
  Pictures(a, 5, 5);
  Pictures(b, 5, 5);
  a.Close();
  // A's file is complete when its Close returns, and B goes on recording.
  const auto fa = flvtest::Parse(pathA);
  EXPECT_TRUE(fa.sizesOk);
  EXPECT_EQ(5u, VideoUnits(fa).size());
  auto metaA = flvtest::Metadata(fa.tags[0]);
  ASSERT_NE(nullptr, metaA);
  EXPECT_EQ(static_cast<double>(fa.bytes.size()), flvtest::Array(*metaA)->Find("filesize")->ToDouble());
  ASSERT_TRUE(ownerA.WaitFor(WM_STOP_RECORD));
  EXPECT_EQ(0u, ownerB.Count(WM_STOP_RECORD));
  Pictures(b, 5, 5, 5);
  b.Close();
  ASSERT_TRUE(ownerB.WaitFor(WM_STOP_RECORD));
  EXPECT_EQ(10u, VideoUnits(flvtest::Parse(pathB)).size());
  // The same recorder serves a second recording.
  ASSERT_EQ(1, a.Init(kW, kH, pathA.c_str()));
  Pictures(a, 3, 5);
  a.Close();
  ASSERT_TRUE(ownerA.WaitFor(WM_STOP_RECORD, 2));
  EXPECT_EQ(3u, VideoUnits(flvtest::Parse(pathA)).size());
}

TEST(FlvRecordStream, StartCodesAndUnits) {
  const unsigned char s[] = {0, 0, 0, 1, 0x67, 1, 2, 0, 0, 1, 0x68, 3, 0, 0, 0, 1, 0x65, 4, 5};
  EXPECT_EQ(4, CFlvRecord::InitFirstPos(s, sizeof s));
  EXPECT_EQ(-1, CFlvRecord::InitFirstPos(s + 4, 3));
  int pos = 4;
  const unsigned char* nal = nullptr;
  int len = 0;
  EXPECT_EQ(1, CFlvRecord::GetNalFromBuffer(s, sizeof s, pos, nal, len));
  EXPECT_EQ(3, len);
  EXPECT_EQ(0x67, nal[0]);
  EXPECT_EQ(10, pos);
  // The zero in front of 00 00 01 belongs to the 4-byte start code.
  EXPECT_EQ(1, CFlvRecord::GetNalFromBuffer(s, sizeof s, pos, nal, len));
  EXPECT_EQ(2, len);
  EXPECT_EQ(0x68, nal[0]);
  EXPECT_EQ(0, CFlvRecord::GetNalFromBuffer(s, sizeof s, pos, nal, len));
  EXPECT_EQ(3, len);
  EXPECT_EQ(0x65, nal[0]);

  unsigned char* framed = CFlvRecord::DisposeBuffer(s + 4, 3, 4);
  ASSERT_NE(nullptr, framed);
  EXPECT_EQ(0, std::memcmp(framed, "\x00\x00\x00\x03\x67\x01\x02", 7));
  unsigned char* grown = nullptr;
  int grownLength = 0;
  EXPECT_EQ(1, CFlvRecord::AddBuffer(framed, 7, grown, grownLength));
  EXPECT_EQ(1, CFlvRecord::AddBuffer(framed, 7, grown, grownLength));
  EXPECT_EQ(14, grownLength);
  EXPECT_EQ(0x67, grown[11]);
  DelMem(framed);
  DelMem(grown);
  framed = CFlvRecord::DisposeBuffer(s, 2, 2);
  EXPECT_EQ(0, std::memcmp(framed, "\x00\x02\x00\x00", 4));
  DelMem(framed);

  CFlvRecord rec;
  const unsigned char none[] = {1, 2, 3, 4};
  EXPECT_EQ(0, rec.SetH264Data(none, 4));
}
