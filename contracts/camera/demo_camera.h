#pragma once
// The demo document camera: a printed page lying slightly skewed on a
// darker desk, with text lines and a picture, turned every few seconds (a
// burst of motion, then rest). Pages are rendered once per size and then
// composed, so a frame at rest costs a copy; it streams MJPG or YUY2
// through the same road as a real camera and applies its picture controls.
// With a seed and an injected clock every frame is reproducible.

#include "contracts/camera/camera_device.h"

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <vector>

struct CDemoCameraOptions {
  std::uint32_t seed = 1;
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

// Adds reproducible noise of up to +-amplitude to top-down BGR pixels.
void AddDemoNoise(std::uint8_t* pixels, std::size_t bytes, int amplitude, std::uint32_t seed, std::uint32_t timeMs);

// Renders the scene; top-down BGR rows of width * 3 bytes.
class CDemoScene {
 public:
  explicit CDemoScene(std::uint32_t seed, int turnPeriodMs = 6000, int turnMs = 1200);
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
  struct CGeometry {
    double cx, cy, pw, ph, angle;
  };
  CGeometry Geometry(int page, int width, int height) const;

  std::uint32_t seed_;
  std::uint32_t period_, turn_;
  std::mutex mutex_;
  std::list<std::shared_ptr<const CComposite>> cache_;  // most recent first
};

// The camera's description: "MJPG" and "YUY2", 640*480 to 3264*2448.
CCameraDescription DemoCameraDescription();

class CDemoCameraProvider : public ICameraProvider {
 public:
  explicit CDemoCameraProvider(CDemoCameraOptions options = {}) : options_(std::move(options)) {}
  std::vector<CCameraDescription> Enumerate() override;
  std::unique_ptr<ICameraDevice> Open(const std::string& id, int& error) override;

 private:
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
