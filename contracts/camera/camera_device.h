#pragma once
// The device interface behind CUsbCamera. A provider lists the cameras it
// can reach and opens one by its persistent id; an open device streams raw
// frames (MJPG, YUYV, ...) and exposes its picture controls in its own
// units. The V4L2 backend and the demo document camera implement it; tests
// inject their own providers.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Four-character pixel format code, as V4L2 spells it.
constexpr std::uint32_t MakeFourcc(char a, char b, char c, char d) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
         (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8) |
         (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16) |
         (static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24);
}
constexpr std::uint32_t FOURCC_MJPG = MakeFourcc('M', 'J', 'P', 'G');
constexpr std::uint32_t FOURCC_JPEG = MakeFourcc('J', 'P', 'E', 'G');
constexpr std::uint32_t FOURCC_YUYV = MakeFourcc('Y', 'U', 'Y', 'V');
constexpr std::uint32_t FOURCC_UYVY = MakeFourcc('U', 'Y', 'V', 'Y');
constexpr std::uint32_t FOURCC_NV12 = MakeFourcc('N', 'V', '1', '2');
constexpr std::uint32_t FOURCC_YU12 = MakeFourcc('Y', 'U', '1', '2');
constexpr std::uint32_t FOURCC_GREY = MakeFourcc('G', 'R', 'E', 'Y');
constexpr std::uint32_t FOURCC_RGB3 = MakeFourcc('R', 'G', 'B', '3');
constexpr std::uint32_t FOURCC_BGR3 = MakeFourcc('B', 'G', 'R', '3');

// The text of a fourcc ("MJPG"); trailing blanks removed.
std::string FourccText(std::uint32_t fourcc);
// A fourcc from its text; 0 when the text is not four characters long.
std::uint32_t FourccFromText(const std::string& text);
// The name callers see for a pixel format: "YUY2" for YUYV, else the fourcc.
std::string PixelFormatName(std::uint32_t fourcc);
// The fourcc a caller's format name stands for ("YUY2" and "YUYV" alike,
// case-insensitive); 0 for an unknown name.
std::uint32_t PixelFormatFromName(const std::string& name);
// True for the pixel formats this library can turn into 24-bit pictures.
bool IsConvertibleFormat(std::uint32_t fourcc);

struct CFrameSize {
  int width = 0;
  int height = 0;
  double maxFps = 0;  // best frame rate the device offers at this size; 0 = unknown
};

struct CPixelFormat {
  std::uint32_t fourcc = 0;
  std::string description;
  std::vector<CFrameSize> sizes;  // ascending by pixel count, then width
};

struct CCameraDescription {
  std::string id;    // persistent: survives reboots and re-plugging
  std::string name;  // what the user sees
  std::string node;  // where the backend reaches it (e.g. /dev/video0)
  std::vector<CPixelFormat> formats;
  std::uint32_t defaultFourcc = 0;  // the format ":" stands for; 0 = the first listed
};

// Sorts sizes ascending by pixel count then width, and drops duplicates.
void NormaliseSizes(std::vector<CFrameSize>& sizes);

enum class ECameraControl { Brightness, Contrast, Saturation, Sharpness, Exposure, AutoExposure };

struct CControlInfo {
  int minimum = 0;
  int maximum = 0;
  int step = 1;
  int defaultValue = 0;
};

// One raw frame as the device delivered it. Valid until the next WaitFrame
// or Stop on the same device.
struct CRawFrame {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::uint32_t fourcc = 0;
  int width = 0;
  int height = 0;
  int bytesPerLine = 0;  // 0 = packed rows
};

enum class EFrameWait {
  Frame,    // `frame` holds a picture
  Timeout,  // nothing within the time given (or a frame the device marked broken)
  Gone,     // the device has disappeared; the stream is over
};

class ICameraDevice {
 public:
  virtual ~ICameraDevice() = default;
  virtual const CCameraDescription& Description() const = 0;
  // Starts streaming at the given format and size. 0 on success, else an
  // errno-style code (2 when there is no better text than "failed").
  virtual int Start(std::uint32_t fourcc, int width, int height, double fps) = 0;
  virtual EFrameWait WaitFrame(int timeoutMs, CRawFrame& frame) = 0;
  virtual void Stop() = 0;
  // Controls in the device's own units; false when the device lacks it.
  // AutoExposure is 1 (on) or 0 (off).
  virtual bool QueryControl(ECameraControl control, CControlInfo& info) = 0;
  virtual bool GetControl(ECameraControl control, int& value) = 0;
  virtual bool SetControl(ECameraControl control, int value) = 0;
};

class ICameraProvider {
 public:
  virtual ~ICameraProvider() = default;
  // The reachable cameras, sorted by persistent id.
  virtual std::vector<CCameraDescription> Enumerate() = 0;
  // Opens the camera with that persistent id. On failure returns nullptr and
  // sets `error` (errno-style; 2 = no better text).
  virtual std::unique_ptr<ICameraDevice> Open(const std::string& id, int& error) = 0;
};

// The providers a default-constructed CUsbCamera uses: V4L2 devices, then
// BREVIO_DEMO_CAMERA=N (1 to 6) demo document cameras (BREVIO_DEMO_SEED and
// BREVIO_DEMO_NOISE choose their seed and sensor noise).
std::vector<std::shared_ptr<ICameraProvider>> DefaultCameraProviders();
