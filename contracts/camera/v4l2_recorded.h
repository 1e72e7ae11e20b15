#pragma once
// Recorded V4L2 device descriptions: what a device answers to the listing
// questions (capabilities, formats, frame sizes and rates, controls) as
// plain text, and an IV4L2Io that replays such a recording, streams test
// frames and can be unplugged and plugged in again. The tool records real
// cameras with it; tests and the tool's --replay option replay them.
//
// Text format, one device per block, '#' starts a comment:
//   device /dev/video0
//   persistent usb-Maker_Model_0001-video-index0   (may be absent)
//   card Visualizer A1
//   bus usb-0000:00:14.0-2
//   caps 0x04200001                                 (device capabilities)
//   current MJPG 1920 1080
//   format MJPG Motion-JPEG
//   size 1920 1080 30 15                            (width height rates...)
//   stepwise 160 120 1920 1080 16 8 30              (min max step, best rate)
//   control brightness -64 64 1 0 0                 (min max step default value)
//   end

#include "contracts/camera/v4l2_device.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

struct CRecordedSize {
  int width = 0, height = 0;
  std::vector<int> fps;
};
struct CRecordedFormat {
  std::uint32_t fourcc = 0;
  std::string description;
  std::vector<CRecordedSize> sizes;
  bool stepwise = false;
  int minW = 0, minH = 0, maxW = 0, maxH = 0, stepW = 1, stepH = 1, stepFps = 0;
};
struct CRecordedControl {
  int minimum = 0, maximum = 0, step = 1, defaultValue = 0, value = 0;
};
struct CRecordedDevice {
  std::string node, persistent, card, bus;
  std::uint32_t caps = 0;
  std::uint32_t currentFourcc = 0;
  int currentW = 0, currentH = 0;
  std::vector<CRecordedFormat> formats;
  std::map<std::string, CRecordedControl> controls;  // by name: brightness, exposure_auto, ...
};

// Parses recorded descriptions; false (with a message naming the line) for
// text that is not one.
bool ParseRecordedDevices(const std::string& text, std::vector<CRecordedDevice>& out, std::string& error);
// Writes what the device at `node` answers, in the same format. Empty when
// it cannot be opened.
std::string RecordV4L2Device(IV4L2Io& io, const std::string& node);

// Replays recorded devices.
class CRecordedV4L2Io : public IV4L2Io {
 public:
  // Makes the bytes of frame `n` for a stream of that format and size; the
  // default paints a moving grey ramp (JPEG-compressed for MJPG).
  using FrameSource = std::function<std::vector<std::uint8_t>(std::uint32_t fourcc, int width, int height, int n)>;

  explicit CRecordedV4L2Io(std::vector<CRecordedDevice> devices);
  void SetFrameSource(FrameSource source);
  // Pause before each frame is ready (ms).
  void SetFrameInterval(int ms);
  // Pulls the device out (open handles fail with ENODEV) or plugs it in.
  void SetPresent(const std::string& node, bool present);
  // The next opens of `node` fail with this errno (0 = succeed again).
  void FailOpen(const std::string& node, int error);
  // Streaming frames delivered so far, and what S_FMT last asked for.
  int FramesDelivered() const;
  std::uint32_t LastFourcc() const;
  int LastWidth() const;
  int LastHeight() const;
  int ControlValue(const std::string& node, const std::string& name) const;

  std::vector<std::string> VideoNodes() override;
  std::string PersistentName(const std::string& node) override;
  int Open(const std::string& node) override;
  void Close(int fd) override;
  int Ioctl(int fd, unsigned long request, void* arg) override;
  void* Map(int fd, std::size_t length, off_t offset) override;
  void Unmap(void* address, std::size_t length) override;
  int Poll(int fd, int timeoutMs) override;

 private:
  struct CBuffer {
    std::vector<std::uint8_t> memory;
    bool queued = false;
    std::uint32_t used = 0;
  };
  struct CState {
    CRecordedDevice device;
    bool present = true;
    int failOpen = 0;
    std::vector<CBuffer> buffers;
    bool streaming = false;
    std::uint32_t fourcc = 0;
    int width = 0, height = 0;
    std::uint32_t sizeImage = 0;
  };
  CState* StateOf(int fd);
  int IoctlLocked(CState& s, unsigned long request, void* arg);

  mutable std::mutex mutex_;
  std::vector<CState> states_;
  std::vector<std::vector<std::uint8_t>> retired_;  // buffers of pulled devices
  std::map<int, std::size_t> fds_;  // open handle -> device
  int nextFd_ = 100;
  FrameSource source_;
  int intervalMs_ = 5;
  int delivered_ = 0;
  std::uint32_t lastFourcc_ = 0;
  int lastWidth_ = 0, lastHeight_ = 0;
};
