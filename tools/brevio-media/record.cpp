// `brevio-media record`: records a synthetic camera and microphone in real time.
#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "media/flvrecord.h"
#include "platform/messages.h"
#include "tools/brevio-media/commands.h"
#include "tools/brevio-media/synthetic.h"

namespace {

constexpr int kPictureIntervalMs = 40;  // 25 pictures per second, like a camera

// One recorder behind the command, whatever the container: pictures from the
// camera thread, sound blocks from the microphone thread, then Finish, after
// which the recorder posts WM_STOP_RECORD to the owner once the file is complete.
class CRecordTarget {
 public:
  virtual ~CRecordTarget() = default;
  virtual bool Open(const std::string& path, int width, int height, HWND owner) = 0;
  virtual void Picture(const unsigned char* bgr, int length) = 0;
  virtual void Sound(const unsigned char* pcm, int length) = 0;
  virtual void Finish() = 0;
};

class CFlvTarget : public CRecordTarget {
 public:
  bool Open(const std::string& path, int width, int height, HWND owner) override {
    m_record.SetParentHwnd(owner);
    if (m_record.Init(width, height, path.c_str())) return true;
    m_record.Close();
    return false;
  }
  void Picture(const unsigned char* bgr, int length) override { m_record.WriteBmpData(bgr, length); }
  void Sound(const unsigned char* pcm, int length) override { m_record.WritePCMData(pcm, length); }
  void Finish() override { m_record.Close(); }

 private:
  CFlvRecord m_record;
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
std::unique_ptr<CRecordTarget> TargetFor(const std::string& extension) {
  if (extension == "flv") return std::make_unique<CFlvTarget>();
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
  long seconds = -1, tone = 0;
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
  std::unique_ptr<CRecordTarget> target = TargetFor(LowerExtension(out));
  if (!target) return BadArguments("cannot record \"" + out + "\": the file name must end in .flv");

  int argc = 1;
  char name[] = "brevio-media";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  av_log_set_level(AV_LOG_ERROR);
  CMessageRecorder owner;
  if (!target->Open(out, width, height, &owner)) {
    std::fprintf(stderr, "brevio-media: cannot create \"%s\"\n", out.c_str());
    return 1;
  }

  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
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
      if (due >= end) break;
      std::this_thread::sleep_until(due);
      const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      synthetic::DrawPicture(bgr, width, height, pictures.load(), ms);
      target->Picture(bgr.data(), length);
      ++pictures;
      const double after = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      slot = std::max(slot + 1, static_cast<long>(after / kPictureIntervalMs) + 1);
    }
  });
  // The microphone: each block is handed over once its last sample is in.
  std::thread microphone([&] {
    std::vector<unsigned char> pcm;
    const long total = seconds * synthetic::kSampleRate;
    for (std::int64_t first = 0; first + synthetic::kBlockSamples <= total; first += synthetic::kBlockSamples) {
      const auto filled = start + std::chrono::microseconds((first + synthetic::kBlockSamples) * 1000000 /
                                                            synthetic::kSampleRate);
      std::this_thread::sleep_until(filled);
      synthetic::FillSound(pcm, first, synthetic::kBlockSamples, static_cast<int>(tone));
      target->Sound(pcm.data(), static_cast<int>(pcm.size()));
    }
  });
  camera.join();
  microphone.join();
  target->Finish();
  if (!owner.WaitFor(WM_STOP_RECORD, 1, 60000)) {
    std::fprintf(stderr, "brevio-media: the recorder did not finish \"%s\"\n", out.c_str());
    return 1;
  }
  std::printf("%s: %d pictures, %ld s\n", out.c_str(), pictures.load(), seconds);
  return 0;
}
