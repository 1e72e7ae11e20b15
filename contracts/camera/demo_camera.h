#pragma once
// The demo document camera: a printed page lying slightly skewed on a
// darker desk, with text lines and a picture, turned every few seconds (a
// burst of motion, then rest). Pages are rendered once per size and then
// composed, so a frame at rest costs a copy; it streams MJPG or YUY2
// through the same road as a real camera and applies its picture controls.
// With a seed and an injected clock every frame is reproducible.
//
// Up to kDemoCameraMax demo cameras can be listed at once. The first keeps
// the id, seed and look of a single demo camera, so that stored settings and
// reference pictures stay valid; the others have their own id, seed and desk
// tint. When more than one is listed, each shows its number large on the
// desk beside the page. Like a real device, a demo camera streams to one
// opener at a time: a second Start answers EBUSY while the first streams.

#include "contracts/camera/camera_device.h"

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

constexpr int kDemoCameraMax = 6;

struct CDemoCameraOptions {
  int count = 1;  // how many demo cameras are listed (1..kDemoCameraMax)
  std::uint32_t seed = 1;  // the first camera's; the others derive theirs
  // Milliseconds of the scene's time. Empty: real time, and frames are paced
  // at the selected rate. Set: frames are made at once, at the clock's time.
  std::function<std::uint32_t()> clock;
  int turnPeriodMs = 6000;  // a page turn starts every period...
  int turnMs = 1200;        // ...and lasts this long
  // Sensor noise: each pixel's channels move by up to this much from frame
  // to frame (reproducible from the seed and the frame's time). 0: frames
  // of a resting page are identical.
  int noise = 0;
};

// The number of demo cameras a BREVIO_DEMO_CAMERA value asks for: 0 for
// none (unset, empty or "0"), else 1..kDemoCameraMax. A count outside that
// range is clamped, and text that is no count lists none; both set `notice`
// to a line that says so (empty otherwise).
int DemoCameraCount(const char* value, std::string& notice);
// The demo camera options the environment asks for: count from
// BREVIO_DEMO_CAMERA (0 = none), seed from BREVIO_DEMO_SEED, sensor noise
// from BREVIO_DEMO_NOISE. A notice about the count goes to stderr once for
// each value.
CDemoCameraOptions DemoCameraOptionsFromEnvironment();

// Adds reproducible noise of up to +-amplitude to top-down BGR pixels.
void AddDemoNoise(std::uint8_t* pixels, std::size_t bytes, int amplitude, std::uint32_t seed, std::uint32_t timeMs);

// Renders the scene; top-down BGR rows of width * 3 bytes.
class CDemoScene {
 public:
  // `deskTint` picks the desk's colour (0 = the first camera's wood);
  // `deskNumber` 1..9 is painted large on the desk left of the page, 0 none.
  explicit CDemoScene(std::uint32_t seed, int turnPeriodMs = 6000, int turnMs = 1200, int deskTint = 0,
                      int deskNumber = 0);
  void Render(std::uint32_t timeMs, int width, int height, std::vector<std::uint8_t>& out);
  // Lays a page on the desk at that size ahead of time (the first frame of a
  // page is otherwise the expensive one). Safe to call from another thread
  // while Render runs.
  void Prepare(int page, int width, int height) { Composite(page, width, height); }
  // The page lying at that time (during a turn: the page being revealed).
  int PageAt(std::uint32_t timeMs) const { return static_cast<int>(timeMs / period_); }
  bool TurningAt(std::uint32_t timeMs) const { return timeMs >= period_ && timeMs % period_ < turn_; }
  // The page's corners in a picture of that size (top-left, top-right,
  // bottom-right, bottom-left; x right, y down).
  void PageCorners(int page, int width, int height, double corners[4][2]) const;
  static constexpr int kPages = 8;  // distinct page contents, then they repeat

 private:
  struct CComposite {
    int page, width, height;
    int top, bottom;  // rows the page covers
    std::vector<std::uint8_t> pixels;
  };
  std::shared_ptr<const CComposite> Composite(int page, int width, int height);
  void Compose(CComposite& c) const;
  void PaintDeskNumber(CComposite& c) const;
  struct CGeometry {
    double cx, cy, pw, ph, angle;
  };
  CGeometry Geometry(int page, int width, int height) const;

  std::uint32_t seed_;
  std::uint32_t period_, turn_;
  int deskTint_, deskNumber_;
  std::mutex mutex_;
  std::list<std::shared_ptr<const CComposite>> cache_;  // most recent first
};

// The description of demo camera `camera` (0-based): "MJPG" and "YUY2",
// 640*480 to 3264*2448. Every one has the same name (the camera list numbers
// cameras of one model); the first's id is the one a single demo camera had.
CCameraDescription DemoCameraDescription(int camera = 0);
// The scene seed of demo camera `camera` when the first one's is `seed`.
std::uint32_t DemoCameraSeed(std::uint32_t seed, int camera);

class CDemoCameraProvider : public ICameraProvider {
 public:
  explicit CDemoCameraProvider(CDemoCameraOptions options = {}) : options_(std::move(options)) {}
  std::vector<CCameraDescription> Enumerate() override;
  std::unique_ptr<ICameraDevice> Open(const std::string& id, int& error) override;

 private:
  int Count() const;
  CDemoCameraOptions options_;
};

// Applies the demo camera's picture controls to top-down BGR pixels.
struct CDemoControls {
  int brightness = 0;    // -64..64
  int contrast = 32;     // 0..64
  int saturation = 64;   // 0..128
  int sharpness = 3;     // 0..7
  int exposure = 156;    // 1..5000, in 100 microseconds
  int autoExposure = 1;  // 0/1
  void Apply(std::uint8_t* pixels, int width, int height) const;
};
