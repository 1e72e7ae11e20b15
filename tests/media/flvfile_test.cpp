#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "media/flvfile.h"
#include "tests/media/flv_parse.h"
#include "tests/media/test_paths.h"

using flvtest::Parse;

namespace {

std::vector<std::string> EntryNames(const Flash::AS_Value& array) {
  std::vector<std::string> names;
  for (const auto* c : array.GetChildren()) names.push_back(c->GetName());
  return names;
}

double Number(const Flash::AS_Value& array, const char* name) {
  const Flash::AS_Value* v = array.Find(name);
  EXPECT_NE(nullptr, v) << name;
  return v ? v->ToDouble() : -1;
}

}  // namespace

TEST(FlvFile, HeaderAndFirstMetadataBytes) {
  const std::string path = flvtest::Scratch("header.flv");
  CFlvFileEx flv;
  ASSERT_EQ(1, flv.CreateFlv(path.c_str(), 640, 480, 7, 10));
  EXPECT_EQ(1, flv.m_audioChannels);
  EXPECT_EQ(44100, flv.m_audioSampleRate);
  EXPECT_EQ(0, flv.FlvHeader());
  flv.CloseFlv();
  const auto f = Parse(path);
  const unsigned char start[] = {0x46, 0x4C, 0x56, 0x01, 0x05, 0x00, 0x00, 0x00, 0x09, 0x00, 0x00, 0x00, 0x00, 0x12};
  ASSERT_GE(f.bytes.size(), sizeof start);
  EXPECT_EQ(0, std::memcmp(start, f.bytes.data(), sizeof start));
  ASSERT_EQ(1u, f.tags.size());
  EXPECT_EQ(18, f.tags[0].type);
  EXPECT_EQ(0u, f.tags[0].time);
  EXPECT_EQ(static_cast<int>(f.bytes.size()), flv.m_filePos);
  EXPECT_EQ(static_cast<int>(f.tags[0].data.size()) + 11, flv.m_prevTagSize);

  auto meta = flvtest::Metadata(f.tags[0]);
  ASSERT_NE(nullptr, meta);
  EXPECT_EQ("onMetaData", meta->GetName());
  const auto& array = *flvtest::Array(*meta);
  const std::vector<std::string> names = {"duration", "filesize", "metadatacreator", "hasCuePoints",
                                          "canSeekToEnd", "hasKeyframes", "lasttimestamp", "hasVideo",
                                          "width", "height", "framerate", "videocodecid", "videodatarate",
                                          "hasAudio", "audiocodecid", "audiosamplerate", "audiosamplesize",
                                          "stereo"};
  EXPECT_EQ(names, EntryNames(array));
  EXPECT_EQ(18u, flvtest::Be(&f.tags[0].data[14], 4)) << "the array's count";
  EXPECT_EQ("QUINTARO FLV Mux", array.Find("metadatacreator")->ToString());
  EXPECT_EQ(0, Number(array, "duration"));
  EXPECT_EQ(0, Number(array, "filesize"));
  EXPECT_EQ(0, Number(array, "lasttimestamp"));
  EXPECT_EQ(0, Number(array, "videodatarate"));
  EXPECT_EQ(25, Number(array, "framerate"));
  EXPECT_EQ(640, Number(array, "width"));
  EXPECT_EQ(7, Number(array, "videocodecid"));
  EXPECT_EQ(10, Number(array, "audiocodecid"));
  EXPECT_EQ(16, Number(array, "audiosamplesize"));
  EXPECT_FALSE(array.Find("stereo")->ToBool());
  EXPECT_TRUE(array.Find("hasVideo")->ToBool());
}

TEST(FlvFile, MetadataEntriesDependOnTheCodecs) {
  struct Case {
    int video, audio;
    std::size_t entries;
    unsigned char flags;
  } cases[] = {{7, 10, 18, 0x05}, {-1, 10, 13, 0x04}, {7, -1, 14, 0x01}, {-1, -1, 9, 0x00}};
  for (const auto& c : cases) {
    const std::string path = flvtest::Scratch("entries.flv");
    CFlvFileEx flv;
    ASSERT_EQ(1, flv.CreateFlv(path.c_str(), 320, 240, c.video, c.audio));
    flv.FlvHeader();
    flv.CloseFlv();
    const auto f = Parse(path);
    EXPECT_EQ(c.flags, f.bytes[4]);
    ASSERT_EQ(1u, f.tags.size());
    auto meta = flvtest::Metadata(f.tags[0]);
    ASSERT_NE(nullptr, meta);
    const auto& array = *flvtest::Array(*meta);
    EXPECT_EQ(c.entries, array.GetChildren().size()) << c.video << " " << c.audio;
    EXPECT_EQ(c.video != -1, array.Find("hasVideo")->ToBool());
    EXPECT_EQ(c.audio != -1, array.Find("hasAudio")->ToBool());
    EXPECT_EQ(c.video != -1, array.Find("width") != nullptr);
    EXPECT_EQ(c.audio != -1, array.Find("audiosamplerate") != nullptr);
  }
}

TEST(FlvFile, FinalMetadataOverwritesTheFirstInPlace) {
  // The file lasts until its last picture has been shown for one picture
  // time: 50 pictures 40 ms apart are 2 s, at 25 per second, whatever order
  // they are decoded in and whether sound ends before or after them.
  struct Case {
    const char* name;
    std::vector<std::pair<std::uint32_t, std::int32_t>> pictures;  // decoding time, composition time
    std::uint32_t lastSound;
    double duration, framerate;
  };
  std::vector<std::pair<std::uint32_t, std::int32_t>> inOrder, reordered;
  for (int i = 0; i < 50; ++i) inOrder.emplace_back(i * 40, 0);
  // Decoded as 0, 2, 1, 4, 3, ... one picture behind, each shown at i × 40.
  for (int k = 0; k < 50; ++k) {
    const int shown = k == 0 || k == 49 ? k : (k % 2 ? k + 1 : k - 1);
    const int dts = std::max(0, k - 1) * 40;
    reordered.emplace_back(dts, shown * 40 - dts);
  }
  const Case cases[] = {
      {"in order, sound ends first", inOrder, 1990, 2.0, 25.0},
      {"in order, sound ends last", inOrder, 2100, 2.1, 25.0},
      {"reordered", reordered, 1900, 2.0, 25.0},
      {"one picture", {{500, 0}}, 0, 0.54, 25.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = flvtest::Scratch("final.flv");
    CFlvFileEx flv;
    ASSERT_EQ(1, flv.CreateFlv(path.c_str(), 320, 240, 7, 10));
    flv.FlvHeader();
    const std::vector<unsigned char> unit(100, 0x42);
    int i = 0;
    for (const auto& [dts, cts] : c.pictures) flv.WritePacket(9, unit.data(), 100, dts, i++ % 10 == 0, cts);
    if (c.lastSound) flv.WritePacket(8, unit.data(), 10, c.lastSound, 0);
    const std::size_t before = Parse(path).tags.size();
    flv.FlvEnd();
    flv.CloseFlv();
    const auto f = Parse(path);
    EXPECT_TRUE(f.sizesOk);
    EXPECT_TRUE(f.error.empty()) << f.error;
    EXPECT_EQ(1 + c.pictures.size() + (c.lastSound ? 1 : 0), f.tags.size());
    EXPECT_GE(f.tags.size(), before);
    auto meta = flvtest::Metadata(f.tags[0]);
    ASSERT_NE(nullptr, meta);
    const auto& array = *flvtest::Array(*meta);
    EXPECT_EQ(18u, array.GetChildren().size());
    EXPECT_NEAR(c.duration, Number(array, "duration"), 1e-9);
    // The timestamp of the last tag written, as before.
    EXPECT_DOUBLE_EQ((c.lastSound ? c.lastSound : c.pictures.back().first) / 1000.0, Number(array, "lasttimestamp"));
    EXPECT_EQ(static_cast<double>(f.bytes.size()), Number(array, "filesize"));
    EXPECT_NEAR(c.framerate, Number(array, "framerate"), 1e-9);
    EXPECT_NEAR(c.pictures.size() * 100 * 8.0 / (c.duration * 1000), Number(array, "videodatarate"), 1e-9);
  }
}

TEST(FlvFile, TagHeadersFlagsAndTimestamps) {
  const std::string path = flvtest::Scratch("tags.flv");
  CFlvFileEx flv;
  ASSERT_EQ(1, flv.CreateFlv(path.c_str(), 320, 240, 7, 10));
  flv.FlvHeader();
  const unsigned char unit[3] = {1, 2, 3};
  flv.WritePacket(9, unit, 3, 1000, 1, 0);
  flv.WritePacket(9, unit, 3, 1040, 0, 80);
  flv.WritePacket(8, unit, 3, 1050, 0);
  flv.WritePacket(9, unit, 3, 16777216 + 5, 0, -7);  // 2^24 ms and more: the top byte goes extended
  flv.WritePacket(9, unit, 3, 0x7F000001u, 0, 0);
  flv.FlvEnd();
  flv.CloseFlv();
  const auto f = Parse(path);
  ASSERT_EQ(6u, f.tags.size());
  const auto& key = f.tags[1];
  EXPECT_EQ(9, key.type);
  EXPECT_EQ(8u, key.data.size());
  EXPECT_EQ((std::vector<unsigned char>{0x17, 0x01, 0, 0, 0, 1, 2, 3}), key.data);
  EXPECT_EQ(1000u, key.time);
  // The composition time is what the caller gives (presentation − decoding).
  EXPECT_EQ((std::vector<unsigned char>{0x27, 0x01, 0, 0, 80}),
            std::vector<unsigned char>(f.tags[2].data.begin(), f.tags[2].data.begin() + 5));
  EXPECT_EQ((std::vector<unsigned char>{0xAE, 0x01, 1, 2, 3}), f.tags[3].data);
  EXPECT_EQ(16777221u, f.tags[4].time);
  EXPECT_EQ(0x01, f.bytes[f.tags[4].offset + 7]);
  EXPECT_EQ(0, f.tags[4].Cts()) << "presentation never before decoding";
  EXPECT_EQ(0x7F000001u, f.tags[5].time);
  EXPECT_EQ(0x7F, f.bytes[f.tags[5].offset + 7]);
  EXPECT_TRUE(f.sizesOk);
}

TEST(FlvFile, SequenceHeaders) {
  const std::string path = flvtest::Scratch("seq.flv");
  CFlvFileEx flv;
  ASSERT_EQ(1, flv.CreateFlv(path.c_str(), 320, 240, 7, 10));
  flv.FlvHeader();
  // u16 9, a 9-byte SPS, u16 4, a 4-byte PPS.
  const unsigned char src[] = {0, 9, 0x67, 0x64, 0x00, 0x1E, 1, 2, 3, 4, 5, 0, 4, 0x68, 0xEE, 0x3C, 0x80};
  const unsigned char config[2] = {0x12, 0x08};
  EXPECT_EQ(0, flv.WriteExtradata(7, src, sizeof src));
  EXPECT_EQ(0, flv.WriteExtradata(10, config, 2));
  EXPECT_EQ(-1, flv.WriteExtradata(4, config, 2));
  flv.FlvEnd();
  flv.CloseFlv();
  const auto f = Parse(path);
  EXPECT_TRUE(f.sizesOk);
  ASSERT_EQ(3u, f.tags.size());
  const std::vector<unsigned char> avc = {0x17, 0x00, 0, 0, 0, 0x01, 0x64, 0x00, 0x1E, 0xFF, 0xE1, 0, 9,
                                          0x67, 0x64, 0x00, 0x1E, 1, 2, 3, 4, 5, 0x01, 0, 4, 0x68, 0xEE, 0x3C, 0x80};
  EXPECT_EQ(avc, f.tags[1].data);
  EXPECT_EQ(0u, f.tags[1].time);
  // The sound header carries the same flags byte as the mono frames that follow.
  EXPECT_EQ((std::vector<unsigned char>{0xAE, 0x00, 0x12, 0x08}), f.tags[2].data);
}

TEST(FlvFile, MakeAvccLengthsAndRefusals) {
  const unsigned char src[] = {0, 9, 0x67, 0x64, 0x00, 0x1E, 1, 2, 3, 4, 5, 0, 4, 0x68, 0xEE, 0x3C, 0x80};
  unsigned char dst[100];
  EXPECT_EQ(24, CFlvFileEx::MakeAVCc(src, sizeof src, dst, sizeof dst));
  EXPECT_EQ(24, CFlvFileEx::MakeAVCc(src, sizeof src, dst, 24));
  EXPECT_EQ(-1, CFlvFileEx::MakeAVCc(src, sizeof src, dst, 23));
  EXPECT_EQ(-1, CFlvFileEx::MakeAVCc(nullptr, 10, dst, sizeof dst));
  EXPECT_EQ(-1, CFlvFileEx::MakeAVCc(src, 0, dst, sizeof dst));
  // Lengths that promise more than the source holds are refused, not read.
  EXPECT_EQ(-1, CFlvFileEx::MakeAVCc(src, 12, dst, sizeof dst));
  EXPECT_EQ(-1, CFlvFileEx::MakeAVCc(src, sizeof src - 1, dst, sizeof dst));
  // An SPS too large for the 100-byte record buffer is not written as a tag.
  std::vector<unsigned char> big = {0, 95, 0x67, 0x64, 0, 0x1E};
  big.resize(2 + 95, 7);
  big.insert(big.end(), {0, 4, 0x68, 1, 2, 3});
  const std::string path = flvtest::Scratch("bigsps.flv");
  CFlvFileEx flv;
  ASSERT_EQ(1, flv.CreateFlv(path.c_str(), 320, 240, 7, 10));
  flv.FlvHeader();
  EXPECT_EQ(-1, flv.WriteExtradata(7, big.data(), static_cast<int>(big.size())));
  flv.FlvEnd();
  flv.CloseFlv();
  const auto f = Parse(path);
  EXPECT_TRUE(f.sizesOk);
  EXPECT_EQ(1u, f.tags.size());
}

TEST(FlvFile, WithoutAFileNothingIsWritten) {
  CFlvFileEx flv;
  EXPECT_EQ(0, flv.CreateFlv(nullptr, 1, 1, 7, 10));
  EXPECT_EQ(0, flv.CreateFlv("/nonexistent-dir/x.flv", 320, 240, 7, 10));
  EXPECT_EQ(320, flv.m_width);  // fields are set either way
  EXPECT_EQ(0, flv.FlvHeader());
  EXPECT_EQ(-1, flv.m_filePos);
  const unsigned char unit[1] = {0};
  EXPECT_EQ(0, flv.WritePacket(9, unit, 1, 40, 1));
  EXPECT_EQ(0, flv.FlvEnd());
  flv.CloseFlv();
}
