// `brevio-media record`: records a synthetic camera and microphone in real time.
#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include <QEventLoop>
#include <QTimer>

#include "media/avifile.h"
#include "media/flvrecord.h"
#include "media/mp4muxer.h"
#include "media/wave.h"
#include "platform/messages.h"
#include "platform/stop_signals.h"
#include "tools/brevio-media/commands.h"
#include "tools/brevio-media/synthetic.h"

namespace {

constexpr int kPictureIntervalMs = 40;  // 25 pictures per second, like a camera

// The command's window: records every message (WM_STOP_RECORD is waited
// for) and hands the capture notices to `onMessage` on the main thread.
class CToolWindow : public CMessageRecorder {
 public:
  std::function<void(UINT, WPARAM, LPARAM)> onMessage;

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (onMessage) onMessage(msg, wParam, lParam);
    return CMessageRecorder::OnMessage(msg, wParam, lParam);
  }
};

// One recorder behind the command, whatever the container: pictures from the
// camera thread (with their time since the start), sound blocks from the
// microphone, then Finish, after which a recorder that PostsStop posts
// WM_STOP_RECORD to the owner once the file is complete.
class CRecordTarget {
 public:
  virtual ~CRecordTarget() = default;
  virtual bool Open(const std::string& path, int width, int height, HWND owner) = 0;
  virtual void Picture(const unsigned char* bgr, int length, double ms) = 0;
  // A block whose first sample was captured at captureUs (MonotonicUs),
  // after `lost` samples the device lost.
  virtual void Sound(const unsigned char* pcm, int length, std::int64_t captureUs, std::uint32_t lost) = 0;
  // Starts the writer's own capture of the input device, where it has one;
  // false when the writer captures nothing itself.
  virtual bool StartOwnCapture(HWND /*owner*/) { return false; }
  virtual void OnMessage(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/) {}
  virtual void Finish() = 0;
  virtual bool PostsStop() const { return true; }
};

class CFlvTarget : public CRecordTarget {
 public:
  bool Open(const std::string& path, int width, int height, HWND owner) override {
    m_record.SetParentHwnd(owner);
    if (m_record.Init(width, height, path.c_str())) return true;
    m_record.Close();
    return false;
  }
  void Picture(const unsigned char* bgr, int length, double) override { m_record.WriteBmpData(bgr, length); }
  void Sound(const unsigned char* pcm, int length, std::int64_t captureUs, std::uint32_t lost) override {
    m_record.WritePCMData(pcm, length, captureUs, lost);
  }
  void Finish() override { m_record.Close(); }

 private:
  CFlvRecord m_record;
};

class CMp4Target : public CRecordTarget {
 public:
  bool Open(const std::string& path, int width, int height, HWND owner) override {
    m_muxer.SetParentHwnd(owner);
    return m_muxer.Init(path.c_str(), width, height) == 1;
  }
  void Picture(const unsigned char* bgr, int length, double) override { m_muxer.BmptoH264Data(bgr, length); }
  void Sound(const unsigned char* pcm, int length, std::int64_t captureUs, std::uint32_t lost) override {
    m_muxer.SetPCMData(pcm, length, captureUs, lost);
  }
  void Finish() override { m_muxer.AddEndData(); }

 private:
  CMp4Muxer m_muxer;
};

// AVI: pictures at the file's own frame rate, each written at the index of
// its time since the start; the sound, when asked for, is captured by the
// writer itself (22050 Hz, one second per buffer).
class CAviTarget : public CRecordTarget {
 public:
  explicit CAviTarget(int fps) : m_fps(fps) {}
  bool Open(const std::string& path, int width, int height, HWND) override {
    m_avi.Init();
    m_width = width;
    m_height = height;
    m_stride = (width * 3 + 3) & ~3;
    BITMAPINFOHEADER header;
    header.biWidth = width;
    header.biHeight = height;
    header.biBitCount = 24;
    header.biSizeImage = static_cast<DWORD>(m_stride * height);
    return m_avi.CreateAvi(path.c_str(), &header, m_fps) == 0;
  }
  void Picture(const unsigned char* bgr, int, double ms) override {
    const int index = static_cast<int>(ms * m_fps / 1000.0);
    if (index <= m_lastIndex) return;  // this frame of the file has its picture already
    m_padded.assign(static_cast<std::size_t>(m_stride) * m_height, 0);
    for (int y = 0; y < m_height; ++y) {
      std::copy_n(bgr + static_cast<std::size_t>(y) * m_width * 3, m_width * 3,
                  m_padded.begin() + static_cast<std::ptrdiff_t>(y) * m_stride);
    }
    if (m_avi.WriteData(index, m_padded.data(), static_cast<int>(m_padded.size())) == 0) m_lastIndex = index;
  }
  void Sound(const unsigned char*, int, std::int64_t, std::uint32_t) override {}
  bool StartOwnCapture(HWND owner) override { return m_avi.CreateAudio(owner) == 0; }
  void OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == MM_WIM_OPEN) m_avi.CreateAudioBuffer(22050);
    if (msg == MM_WIM_DATA) {
      m_avi.WriteAudioBuffer(reinterpret_cast<HWAVEIN>(wParam), reinterpret_cast<WAVEHDR*>(lParam));
    }
  }
  void Finish() override {
    m_avi.CloseAviFile();
    m_avi.DeleteAudioBuffer();
    m_avi.Close();
  }
  bool PostsStop() const override { return false; }

 private:
  CAviFile m_avi;
  int m_fps;
  int m_width = 0, m_height = 0, m_stride = 0;
  int m_lastIndex = -1;
  std::vector<unsigned char> m_padded;
};

std::string LowerExtension(const std::string& path) {
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
  std::string ext = path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

// The recorder for the file name's extension, or null when none records it.
std::unique_ptr<CRecordTarget> TargetFor(const std::string& extension, int fps) {
  if (extension == "flv") return std::make_unique<CFlvTarget>();
  if (extension == "mp4") return std::make_unique<CMp4Target>();
  if (extension == "avi") return std::make_unique<CAviTarget>(fps);
  return nullptr;
}

bool ParseInt(const std::string& text, long min, long max, long& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < min || v > max) return false;
  out = v;
  return true;
}

bool ParseSize(const std::string& text, int& width, int& height) {
  const auto x = text.find_first_of("xX");
  if (x == std::string::npos) return false;
  long w = 0, h = 0;
  if (!ParseInt(text.substr(0, x), 16, 4096, w) || !ParseInt(text.substr(x + 1), 16, 4096, h)) return false;
  if (w % 2 != 0 || h % 2 != 0) return false;
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
}

}  // namespace

int RunRecord(const std::vector<std::string>& args) {
  std::string out;
  int width = 0, height = 0;
  long seconds = -1, tone = 0, fps = 10, micLead = 0, soundStall = 0;
  bool mic = false, texture = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& v) {
      if (i + 1 >= args.size()) return false;
      v = args[++i];
      return true;
    };
    std::string v;
    if (a == "--size") {
      if (!value(v) || !ParseSize(v, width, height))
        return BadArguments("--size needs WIDTHxHEIGHT, even numbers from 16 to 4096 (e.g. 640x480)");
    } else if (a == "--seconds") {
      if (!value(v) || !ParseInt(v, 1, 3600, seconds)) return BadArguments("--seconds needs a whole number from 1 to 3600");
    } else if (a == "--tone") {
      if (!value(v) || !ParseInt(v, 20, 20000, tone)) return BadArguments("--tone needs a frequency in Hz from 20 to 20000");
    } else if (a == "--fps") {
      if (!value(v) || !ParseInt(v, 1, 60, fps)) return BadArguments("--fps needs a whole number from 1 to 60");
    } else if (a == "--mic-lead") {
      if (!value(v) || !ParseInt(v, 0, 5000, micLead)) return BadArguments("--mic-lead needs milliseconds from 0 to 5000");
    } else if (a == "--sound-stall") {
      if (!value(v) || !ParseInt(v, 0, 5000, soundStall))
        return BadArguments("--sound-stall needs milliseconds from 0 to 5000");
    } else if (a == "--texture") {
      texture = true;
    } else if (a == "--mic") {
      mic = true;
    } else if (!a.empty() && a[0] == '-') {
      return BadArguments("unknown option \"" + a + "\"");
    } else if (out.empty()) {
      out = a;
    } else {
      return BadArguments("more than one output file given");
    }
  }
  if (out.empty()) return BadArguments("no output file given");
  if (width == 0) return BadArguments("--size is required");
  if (seconds < 0) return BadArguments("--seconds is required");
  const std::string extension = LowerExtension(out);
  std::unique_ptr<CRecordTarget> target = TargetFor(extension, static_cast<int>(fps));
  if (!target) {
    return BadArguments("cannot record \"" + out + "\": the file name must end in .flv, .mp4 or .avi");
  }
  if (tone != 0 && (mic || extension == "avi")) {
    return BadArguments("--tone is the synthetic sound of .flv and .mp4 files without --mic");
  }
  if ((micLead != 0 || soundStall != 0) && (mic || extension == "avi")) {
    return BadArguments("--mic-lead and --sound-stall shape the synthetic sound of .flv and .mp4 files without --mic");
  }

  int argc = 1;
  char name[] = "brevio-media";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  av_log_set_level(AV_LOG_ERROR);
  CToolWindow owner;
  // SIGTERM, SIGINT and SIGHUP end the recording as its time running out would.
  int stopSignal = 0;
  std::atomic<bool> stopping{false};
  QEventLoop loop;
  CStopSignals signalWatch([&](int number) {
    if (stopSignal == 0) stopSignal = number;
    stopping.store(true);
    loop.quit();
  });
  if (!signalWatch.IsWatching()) {
    std::fprintf(stderr, "brevio-media: cannot watch for stop signals\n");
    return 1;
  }
  if (!target->Open(out, width, height, &owner)) {
    std::fprintf(stderr, "brevio-media: cannot create \"%s\"\n", out.c_str());
    target->Finish();
    return 1;
  }
  // The input device: captured by the writer itself (AVI) or through CWave,
  // whose filled buffers go to the recorder on this thread and back to the device.
  CWave wave;
  bool capturing = false;
  if (mic) {
    owner.onMessage = [&](UINT msg, WPARAM wParam, LPARAM lParam) {
      target->OnMessage(msg, wParam, lParam);
      if (msg == MM_WIM_DATA && wave.GetDevice() && reinterpret_cast<HWAVEIN>(wParam) == wave.GetDevice()) {
        auto* header = reinterpret_cast<WAVEHDR*>(lParam);
        if (header->lpData && header->dwBytesRecorded > 0) {
          target->Sound(reinterpret_cast<const unsigned char*>(header->lpData),
                        static_cast<int>(header->dwBytesRecorded), header->captureUs, header->lostSamples);
        }
        wave.AddBuffer(reinterpret_cast<HWAVEIN>(wParam), header);
      }
    };
    if (extension == "avi") {
      capturing = target->StartOwnCapture(&owner);
    } else {
      capturing = wave.OpenWave(&owner) == 1 && wave.StartWave() == 1;
    }
    if (!capturing) std::fprintf(stderr, "brevio-media: no input device; recording without sound\n");
  }

  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const std::int64_t startUs = MonotonicUs();
  const auto end = start + std::chrono::seconds(seconds);
  const int length = width * height * 3;
  std::atomic<int> pictures{0};

  // The camera: a picture every 40 ms; a picture that cannot be taken in
  // time is skipped, as a camera drops frames nobody collects.
  std::thread camera([&] {
    std::vector<unsigned char> bgr;
    long slot = 0;
    for (;;) {
      const auto due = start + std::chrono::milliseconds(slot * kPictureIntervalMs);
      if (due >= end || stopping.load()) break;
      std::this_thread::sleep_until(due);
      const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      synthetic::DrawPicture(bgr, width, height, pictures.load(), ms);
      if (texture) synthetic::AddTexture(bgr, width, height, pictures.load(), ms);
      target->Picture(bgr.data(), length, ms);
      ++pictures;
      const double after = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      slot = std::max(slot + 1, static_cast<long>(after / kPictureIntervalMs) + 1);
    }
  });
  // The synthetic microphone starts micLead ms before the camera; each block
  // is handed over once its last sample is in, stamped with the capture
  // time of its first sample. Once, in the middle, the thread that hands the
  // blocks over stalls for soundStall ms.
  std::thread microphone([&] {
    if (mic || extension == "avi") return;
    std::vector<unsigned char> pcm;
    const std::int64_t lead = micLead * synthetic::kSampleRate / 1000;
    const std::int64_t total = seconds * synthetic::kSampleRate + lead;
    bool stalled = soundStall == 0;
    for (std::int64_t first = 0; first + synthetic::kBlockSamples <= total; first += synthetic::kBlockSamples) {
      const std::int64_t at = first - lead;  // sample number from the camera's start
      const auto filled = start + std::chrono::microseconds((at + synthetic::kBlockSamples) * 1000000 /
                                                            synthetic::kSampleRate);
      std::this_thread::sleep_until(filled);
      if (stopping.load()) break;
      if (!stalled && at >= seconds * synthetic::kSampleRate / 2) {
        std::this_thread::sleep_for(std::chrono::milliseconds(soundStall));
        stalled = true;
      }
      synthetic::FillSound(pcm, at, synthetic::kBlockSamples, static_cast<int>(tone));
      target->Sound(pcm.data(), static_cast<int>(pcm.size()), startUs + at * 1000000 / synthetic::kSampleRate, 0);
    }
  });
  // This thread runs the window: the capture notices arrive here, and a
  // stop signal ends the recording early.
  QTimer::singleShot(std::chrono::milliseconds(seconds * 1000), &loop, &QEventLoop::quit);
  loop.exec();
  camera.join();
  microphone.join();
  if (capturing) {
    wave.StopWave();
    wave.CloseWave();
    QCoreApplication::processEvents();  // the last, partly filled buffer
  }
  const double recorded = std::chrono::duration<double>(Clock::now() - start).count();
  target->Finish();
  if (target->PostsStop()) {
    if (!owner.WaitFor(WM_STOP_RECORD, 1, 60000)) {
      std::fprintf(stderr, "brevio-media: the recorder did not finish \"%s\"\n", out.c_str());
      return 1;
    }
    for (const auto& m : owner.Messages()) {
      if (m.message == WM_STOP_RECORD && m.lParam == 0) {
        std::fprintf(stderr, "brevio-media: \"%s\" could not be written to the end (disk full?)\n", out.c_str());
        return 1;
      }
    }
  }
  if (stopSignal != 0) std::fprintf(stderr, "brevio-media: stopped by signal %d\n", stopSignal);
  std::printf("%s: %d pictures, %.1f s\n", out.c_str(), pictures.load(), recorded);
  return 0;
}
