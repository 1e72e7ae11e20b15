// Microphone capture without hardware: SDL's disk audio driver plays the
// part of the input device and reads a generated sample file in real time.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <cstdlib>
#include <functional>
#include <set>
#include <vector>

#include "media/wave.h"
#include "platform/sync.h"
#include "tests/media/test_paths.h"

namespace {

// Samples that never repeat within the file, so that any lost, doubled or
// reordered block shows.
std::vector<unsigned char> RampFile(const std::string& path, int samples) {
  std::vector<unsigned char> bytes(static_cast<std::size_t>(samples) * 2);
  for (int i = 0; i < samples; ++i) {
    const unsigned v = static_cast<unsigned>(i * 7 + i / 65536);
    bytes[2 * i] = static_cast<unsigned char>(v & 0xFF);
    bytes[2 * i + 1] = static_cast<unsigned char>((v >> 8) & 0xFF);
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  return bytes;
}

// The owner window: what the recorder's window does with each notice.
class CWaveWindow : public CMessageTarget {
 public:
  CWave* wave = nullptr;
  bool giveBack = true;
  int opens = 0, closes = 0, data = 0;
  bool offThread = false;
  std::set<WAVEHDR*> headers;
  std::vector<DWORD> sizes;
  std::vector<std::int64_t> captured, arrived;  // MonotonicUs of the first sample, of the notice
  std::vector<DWORD> lost;
  std::vector<unsigned char> sound;

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (QThread::currentThread() != thread()) offThread = true;
    if (msg == MM_WIM_OPEN) ++opens;
    if (msg == MM_WIM_CLOSE) ++closes;
    if (msg == MM_WIM_DATA) {
      auto* h = reinterpret_cast<WAVEHDR*>(lParam);
      ++data;
      headers.insert(h);
      sizes.push_back(h->dwBytesRecorded);
      captured.push_back(h->captureUs);
      arrived.push_back(MonotonicUs());
      lost.push_back(h->lostSamples);
      if (h->lpData) sound.insert(sound.end(), h->lpData, h->lpData + h->dwBytesRecorded);
      if (giveBack) wave->AddBuffer(reinterpret_cast<HWAVEIN>(wParam), h);
    }
    return 0;
  }
};

void App() {
  static int argc = 1;
  static char name[] = "test";
  static char* argv[] = {name, nullptr};
  if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
}

bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
  const std::uint32_t end = GetTickCount() + static_cast<std::uint32_t>(timeoutMs);
  while (!done()) {
    if (static_cast<std::int32_t>(GetTickCount() - end) > 0) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    Sleep(2);
  }
  return true;
}

class WaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    m_file = flvtest::Scratch("wave-in.raw");
    m_bytes = RampFile(m_file, 44100 * 4);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILEIN", m_file.c_str(), 1);
    m_window.wave = &m_wave;
  }
  void TearDown() override { unsetenv("SDL_AUDIODRIVER"); }

  std::string m_file;
  std::vector<unsigned char> m_bytes;
  CWave m_wave;
  CWaveWindow m_window;
};

// Answers with a fixed value and remembers what was written.
class CStandInMixer : public CWaveMixer {
 public:
  explicit CStandInMixer(long value, long* written) : m_value(value), m_written(written) {}
  bool Read(long& value) override {
    value = m_value;
    return true;
  }
  bool Write(long value) override {
    *m_written = value;
    return true;
  }

 private:
  long m_value;
  long* m_written;
};

}  // namespace

TEST_F(WaveTest, FilledBuffersReachTheWindowInOrderOnItsThread) {
  ASSERT_EQ(1, m_wave.OpenWave(&m_window));
  const WAVEFORMATEX& f = m_wave.GetFormat();
  EXPECT_EQ(WAVE_FORMAT_PCM, f.wFormatTag);
  EXPECT_EQ(1, f.nChannels);
  EXPECT_EQ(44100u, f.nSamplesPerSec);
  EXPECT_EQ(88200u, f.nAvgBytesPerSec);
  EXPECT_EQ(2, f.nBlockAlign);
  EXPECT_EQ(16, f.wBitsPerSample);
  ASSERT_EQ(1, m_wave.StartWave());
  ASSERT_TRUE(RunUntil([&] { return m_window.data >= 4; }, 5000));
  m_wave.StopWave();
  m_wave.CloseWave();
  ASSERT_TRUE(RunUntil([&] { return m_window.closes == 1; }, 2000));
  EXPECT_EQ(1, m_window.opens);
  EXPECT_FALSE(m_window.offThread);
  EXPECT_EQ(2u, m_window.headers.size()) << "two buffers in rotation";
  for (int i = 0; i < 4; ++i) EXPECT_EQ(16384u, m_window.sizes[i]);
  // The device's samples arrive whole and in order: the buffers given back
  // in time lose nothing.
  ASSERT_GE(m_window.sound.size(), 4u * 16384);
  EXPECT_TRUE(std::equal(m_window.sound.begin(), m_window.sound.begin() + 4 * 16384, m_bytes.begin()));
  // Each buffer carries the capture time of its first sample: one buffer's
  // length (and what the device lost) after the one before, and at least a
  // buffer's length before it reached the window.
  const std::int64_t bufferUs = 8192 * 1000000LL / 44100;
  for (int i = 0; i < 4; ++i) {
    EXPECT_GE(m_window.arrived[i] - m_window.captured[i], bufferUs - 15000) << i;
    EXPECT_LT(m_window.arrived[i] - m_window.captured[i], bufferUs + 150000) << i;
    if (i > 0) {
      EXPECT_NEAR(bufferUs + m_window.lost[i] * 1000000LL / 44100, m_window.captured[i] - m_window.captured[i - 1], 2000)
          << i;
    }
  }
}

TEST_F(WaveTest, BuffersNotGivenBackStopTheDelivery) {
  m_window.giveBack = false;
  ASSERT_EQ(1, m_wave.OpenWave(&m_window));
  ASSERT_EQ(1, m_wave.StartWave());
  ASSERT_TRUE(RunUntil([&] { return m_window.data >= 2; }, 3000));
  RunUntil([] { return false; }, 500);
  EXPECT_EQ(2, m_window.data);
  // Giving one back lets the next one come, and a buffer cannot be queued twice.
  WAVEHDR* h = *m_window.headers.begin();
  EXPECT_EQ(1, m_wave.AddBuffer(m_wave.GetDevice(), h));
  EXPECT_EQ(0, m_wave.AddBuffer(m_wave.GetDevice(), h));
  ASSERT_TRUE(RunUntil([&] { return m_window.data >= 3; }, 3000));
  EXPECT_EQ(0, m_wave.AddBuffer(nullptr, h));
  // The sound that came while no buffer was queued (about half a second) is
  // counted as lost before the third buffer, whose first sample is that
  // much later than the second buffer's end.
  EXPECT_EQ(0u, m_window.lost[1]);
  EXPECT_GT(m_window.lost[2], 44100u / 3);
  EXPECT_NEAR((8192 + m_window.lost[2]) * 1000000LL / 44100, m_window.captured[2] - m_window.captured[1], 2000);
}

TEST_F(WaveTest, SecondStartAfterStopCapturesAgainAndCloseRefusesStaleBuffers) {
  ASSERT_EQ(1, m_wave.OpenWave(&m_window));
  ASSERT_EQ(1, m_wave.StartWave());
  ASSERT_TRUE(RunUntil([&] { return m_window.data >= 1; }, 3000));
  m_wave.StopWave();
  QCoreApplication::processEvents();
  const int before = m_window.data;
  ASSERT_EQ(1, m_wave.StartWave());
  ASSERT_TRUE(RunUntil([&] { return m_window.data >= before + 2; }, 3000));
  const HWAVEIN device = m_wave.GetDevice();
  m_window.giveBack = false;
  m_wave.CloseWave();
  EXPECT_EQ(nullptr, m_wave.GetDevice());
  ASSERT_TRUE(RunUntil([&] { return m_window.closes == 1; }, 2000));
  // Buffers handed back by the close cannot be given to the closed device.
  for (WAVEHDR* h : m_window.headers) EXPECT_EQ(0, m_wave.AddBuffer(device, h));
  EXPECT_EQ(1, m_wave.CloseWave());  // twice is harmless
}

TEST_F(WaveTest, WithoutAnInputDeviceNothingOpens) {
  CWave idle;
  EXPECT_EQ(0, idle.StartWave()) << "start before open";
  EXPECT_EQ(1, idle.StopWave());
  EXPECT_EQ(1, idle.CloseWave());
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  EXPECT_EQ(0, m_wave.OpenWave(&m_window));
  EXPECT_EQ(0, m_wave.StartWave());
  EXPECT_EQ(-1, m_wave.GetMixerVolume());
  EXPECT_EQ(0, m_wave.SetMixerVolume(50));
  QCoreApplication::processEvents();
  EXPECT_EQ(0, m_window.opens);
}

TEST(WaveMixer, PercentArithmetic) {
  CWave wave;
  long written = -1;
  wave.AttachMixer(std::make_unique<CStandInMixer>(32767, &written), 0, 65535);
  EXPECT_EQ(50, wave.GetMixerVolume());  // step 655
  EXPECT_EQ(1, wave.SetMixerVolume(150));
  EXPECT_EQ(65535, written);
  EXPECT_EQ(1, wave.SetMixerVolume(-5));
  EXPECT_EQ(0, written);
  EXPECT_EQ(1, wave.SetMixerVolume(50));
  EXPECT_EQ(32767, written);  // 655.35 × 50, truncated

  // A range with a lower bound: percent of the span above it.
  wave.AttachMixer(std::make_unique<CStandInMixer>(-2000, &written), -6000, 4000);
  EXPECT_EQ(40, wave.GetMixerVolume());
  EXPECT_EQ(1, wave.SetMixerVolume(25));
  EXPECT_EQ(-3500, written);

  // A range narrower than 100 steps cannot be read as a percentage (whole
  // steps), but is still set in fractional steps.
  wave.AttachMixer(std::make_unique<CStandInMixer>(5, &written), 0, 99);
  EXPECT_EQ(-1, wave.GetMixerVolume());
  EXPECT_EQ(1, wave.SetMixerVolume(10));
  EXPECT_EQ(9, written);
  wave.AttachMixer(std::make_unique<CStandInMixer>(5, &written), 7, 7);
  EXPECT_EQ(0, wave.SetMixerVolume(10));
}
