// The AVI writer: pictures through the "MSVC" compressor, sound captured
// from SDL's disk audio driver, the refusals, and a sound write that fails.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "media/avifile.h"
#include "platform/sync.h"
#include "tests/media/decode_check.h"
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

void Pump(int ms) {
  const std::uint32_t end = GetTickCount() + static_cast<std::uint32_t>(ms);
  while (static_cast<std::int32_t>(GetTickCount() - end) < 0) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    Sleep(2);
  }
}

// The screen recorder's part: buffers when the device opens, every filled
// buffer written, the buffers freed when the device has closed.
class CAviWindow : public CMessageTarget {
 public:
  CAviFile* avi = nullptr;
  int written = 0, failed = 0, closes = 0;

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == MM_WIM_OPEN) avi->CreateAudioBuffer(2205);  // 0.1 s per buffer
    if (msg == MM_WIM_DATA) {
      auto* h = reinterpret_cast<WAVEHDR*>(lParam);
      if (h->dwBytesRecorded == 0) return 0;
      const bool open = avi->GetDevice() != nullptr;  // else a buffer handed back by the close
      const int r = avi->WriteAudioBuffer(reinterpret_cast<HWAVEIN>(wParam), h);
      if (open) (r ? written : failed)++;
    }
    if (msg == MM_WIM_CLOSE) {
      ++closes;
      avi->DeleteAudioBuffer();
    }
    return 0;
  }
};

// A bottom-up picture with rows padded to 4 bytes (width 162: 486 → 488 bytes).
constexpr int kW = 162, kH = 122, kStride = 488;

std::vector<unsigned char> PaddedPicture(int n) {
  std::vector<unsigned char> bgr;
  synthetic::DrawPicture(bgr, kW, kH, n, n * 100.0);
  std::vector<unsigned char> out(static_cast<std::size_t>(kStride) * kH, 0);
  for (int y = 0; y < kH; ++y) std::copy_n(&bgr[static_cast<std::size_t>(y) * kW * 3], kW * 3, &out[y * kStride]);
  return out;
}

BITMAPINFOHEADER Header() {
  BITMAPINFOHEADER h;
  h.biWidth = kW;
  h.biHeight = kH;
  h.biBitCount = 24;
  h.biSizeImage = kStride * kH;
  return h;
}

class AviFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    m_tone = flvtest::Scratch("avi-tone.raw");
    WriteToneFile(m_tone, 22050, 4, 1000);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILEIN", m_tone.c_str(), 1);
    m_window.avi = &m_avi;
    m_avi.Init();
  }
  void TearDown() override { unsetenv("SDL_AUDIODRIVER"); }

  std::string m_tone;
  CAviFile m_avi;
  CAviWindow m_window;
};

std::vector<unsigned char> ReadAll(const std::string& path) {
  std::vector<unsigned char> out;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return out;
  int c;
  while ((c = std::fgetc(f)) != EOF) out.push_back(static_cast<unsigned char>(c));
  std::fclose(f);
  return out;
}

}  // namespace

TEST_F(AviFileTest, PicturesAndCapturedSoundPlayFromStartToEnd) {
  const std::string path = flvtest::Scratch("record.avi");
  const BITMAPINFOHEADER header = Header();
  ASSERT_EQ(0, m_avi.CreateAvi(path.c_str(), &header, 10));
  ASSERT_EQ(0, m_avi.CreateAudio(&m_window));
  const WAVEFORMATEX& f = m_avi.GetSoundFormat();
  EXPECT_EQ(22050u, f.nSamplesPerSec);
  EXPECT_EQ(44100u, f.nAvgBytesPerSec);
  for (int i = 0; i < 20; ++i) {
    const auto picture = PaddedPicture(i);
    EXPECT_EQ(0, m_avi.WriteData(i, picture.data(), static_cast<int>(picture.size())));
    Pump(100);
  }
  EXPECT_EQ(1, m_avi.WriteData(20, nullptr, 10));
  const auto tooShort = PaddedPicture(0);
  EXPECT_EQ(1, m_avi.WriteData(20, tooShort.data(), kStride * kH - 1));
  EXPECT_EQ(0, m_avi.CloseAviFile());
  Pump(100);
  EXPECT_EQ(1, m_window.closes);
  EXPECT_GE(m_window.written, 15);
  EXPECT_EQ(0, m_window.failed);

  const std::string streams =
      Probe(path, "stream=codec_name,codec_tag_string,width,height,sample_rate,channels,nb_frames");
  EXPECT_NE(std::string::npos, streams.find("codec_name=msvideo1\ncodec_tag_string=MSVC\nwidth=160\nheight=120"))
      << streams;
  EXPECT_NE(std::string::npos, streams.find("codec_name=pcm_s16le")) << streams;
  EXPECT_NE(std::string::npos, streams.find("sample_rate=22050\nchannels=1")) << streams;
  EXPECT_NE(std::string::npos, streams.find("nb_frames=20")) << streams;
  EXPECT_NEAR(2.0, Duration(path), 0.15);
  // Plays from start to end; the 18-byte sound format names no channel
  // layout, which FFmpeg notes and guesses (mono).
  const ShellRun decode = Shell(kDecode + "'" + path + "'" + kToNull);
  EXPECT_EQ(0, decode.status);
  std::string rest = decode.output;
  const auto guessed = rest.find("Guessed Channel Layout");
  if (guessed != std::string::npos) rest.erase(guessed, rest.find('\n', guessed) + 1 - guessed);
  EXPECT_EQ("", rest) << decode.output;

  // The sound is the device's samples, whole and in order.
  const std::string raw = flvtest::Scratch("avi-sound.raw");
  Shell("ffmpeg -nostdin -v error -y -i '" + path + "' -map 0:a -f s16le '" + raw + "'");
  const auto got = ReadAll(raw), want = ReadAll(m_tone);
  ASSERT_GE(got.size(), 19u * 4410) << "about 2 s of sound, up to the close";
  EXPECT_TRUE(std::equal(got.begin(), got.end(), want.begin()));

  // The first picture comes back the right way up (coded at 15 bits per pixel).
  const std::string frame = flvtest::Scratch("avi-frame.raw");
  Shell("ffmpeg -nostdin -v error -y -i '" + path + "' -frames:v 1 -f rawvideo -pix_fmt bgr24 '" + frame + "'");
  const auto decoded = ReadAll(frame);
  ASSERT_EQ(160u * 120 * 3, decoded.size());
  const auto source = PaddedPicture(0);
  double diff = 0;
  for (int y = 0; y < 120; ++y) {
    for (int x = 0; x < 160 * 3; ++x) {
      diff += std::abs(decoded[(static_cast<std::size_t>(y) * 160 * 3) + x] -
                       source[static_cast<std::size_t>(kH - 1 - y) * kStride + x]);
    }
  }
  EXPECT_LT(diff / decoded.size(), 12.0);
}

TEST_F(AviFileTest, ASoundWriteErrorStopsTheSoundButNotThePictures) {
  const std::string path = flvtest::Scratch("full.avi");
  const BITMAPINFOHEADER header = Header();
  ASSERT_EQ(0, m_avi.CreateAvi(path.c_str(), &header, 10));
  ASSERT_EQ(0, m_avi.CreateAudio(&m_window));
  const auto picture = PaddedPicture(0);
  EXPECT_EQ(0, m_avi.WriteData(0, picture.data(), static_cast<int>(picture.size())));
  Pump(350);
  ASSERT_GE(m_window.written, 1);
  // The disk fills up: the file's descriptor now leads to /dev/full.
  int fd = -1;
  for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (std::filesystem::read_symlink(e.path(), ec) == std::filesystem::absolute(path)) {
      fd = std::stoi(e.path().filename().string());
    }
  }
  ASSERT_GE(fd, 0);
  const int full = open("/dev/full", O_WRONLY);
  ASSERT_GE(full, 0);
  ASSERT_GE(dup2(full, fd), 0);
  close(full);
  Pump(350);
  EXPECT_GE(m_window.failed, 1);
  const int written = m_window.written, failed = m_window.failed;
  Pump(400);
  EXPECT_EQ(written, m_window.written) << "no sound is written after the failure";
  EXPECT_EQ(failed, m_window.failed) << "the capture has stopped";
  // Pictures are still taken and handed to the file (which reports the full disk).
  EXPECT_LT(m_avi.WriteData(1, picture.data(), static_cast<int>(picture.size())), 0);
  m_avi.CloseAviFile();
  Pump(50);
  EXPECT_EQ(1, m_window.closes);
}

TEST_F(AviFileTest, RefusalsAndSafeCloses) {
  const BITMAPINFOHEADER header = Header();
  EXPECT_EQ(1, m_avi.CreateAvi(nullptr, &header, 10));
  EXPECT_EQ(1, m_avi.CreateAvi(flvtest::Scratch("x.avi").c_str(), nullptr, 10));
  EXPECT_EQ(1, m_avi.CreateAvi("/nonexistent-dir/x.avi", &header, 10));
  EXPECT_EQ(0, m_avi.CloseAviFile());
  EXPECT_EQ(0, m_avi.CloseAviFile());
  const auto picture = PaddedPicture(0);
  EXPECT_EQ(1, m_avi.WriteData(0, picture.data(), static_cast<int>(picture.size())));
  EXPECT_EQ(0, m_avi.CreateAudioBuffer(2205)) << "no device";
  EXPECT_EQ(0, m_avi.WriteAudioBuffer(nullptr, nullptr));
  EXPECT_EQ(1, m_avi.DeleteAudioBuffer());
  EXPECT_FALSE(std::filesystem::exists(flvtest::Scratch("x.avi")));

  // Without an input device the file has pictures only.
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  const std::string path = flvtest::Scratch("silent.avi");
  ASSERT_EQ(0, m_avi.CreateAvi(path.c_str(), &header, 5));
  EXPECT_EQ(1, m_avi.CreateAudio(&m_window));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(0, m_avi.WriteData(i * 2, picture.data(), static_cast<int>(picture.size())));
  m_avi.CloseAviFile();
  const std::string streams = Probe(path, "stream=codec_type,nb_frames");
  EXPECT_EQ(std::string::npos, streams.find("audio")) << streams;
  EXPECT_NEAR(2.0, Duration(path), 0.25);  // frames 0..8 at 5 per second, with gaps
}
