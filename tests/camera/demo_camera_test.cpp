#include "contracts/camera/camera.h"
#include "contracts/camera/demo_camera.h"

#include "tests/camera/test_app.h"

#include <QDir>
#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int W = 320, H = 240;

std::vector<std::uint8_t> Frame(CDemoScene& scene, std::uint32_t t, int w = W, int h = H) {
  std::vector<std::uint8_t> px;
  scene.Render(t, w, h, px);
  return px;
}

double Mean(const std::vector<std::uint8_t>& px) {
  double sum = 0;
  for (auto v : px) sum += v;
  return sum / static_cast<double>(px.size());
}

int Luma(const std::vector<std::uint8_t>& px, int w, int x, int y) {
  const std::uint8_t* p = &px[(static_cast<std::size_t>(y) * w + x) * 3];
  return (p[0] * 29 + p[1] * 150 + p[2] * 77) >> 8;
}

// Mean absolute difference between a bottom-up 640 x 480 frame record and a
// top-down rendering of the scene.
double FrameDistance(const _CAMERAFRAME* f, const std::vector<std::uint8_t>& topDown) {
  double diff = 0;
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640 * 3; ++x)
      diff += std::abs(f->data[static_cast<std::size_t>(479 - y) * 1920 + x] - topDown[static_cast<std::size_t>(y) * 1920 + x]);
  return diff / (640.0 * 480 * 3);
}

void SaveForPeople(const std::vector<std::uint8_t>& topDownBgr, int w, int h, const char* name) {
  const char* dir = std::getenv("BREVIO_TEST_OUTPUT");
  if (!dir) return;
  QDir().mkpath(QString(dir) + "/camera");
  QImage(topDownBgr.data(), w, h, w * 3, QImage::Format_BGR888).save(QString(dir) + "/camera/" + name);
}

}  // namespace

TEST(DemoScene, ReproducibleRestingPagesAndPageTurns) {
  CDemoScene a(7), b(7), c(8);
  const auto rest = Frame(a, 1000);
  EXPECT_EQ(rest, Frame(b, 1000));
  EXPECT_NE(rest, Frame(c, 1000));  // another seed, another desk and page
  EXPECT_EQ(rest, Frame(a, 5900));  // at rest until the turn
  EXPECT_FALSE(a.TurningAt(5999));
  EXPECT_TRUE(a.TurningAt(6000));
  EXPECT_TRUE(a.TurningAt(7199));
  EXPECT_FALSE(a.TurningAt(7200));
  EXPECT_EQ(a.PageAt(6500), 1);

  // The turn is a burst of motion: consecutive frames differ...
  const auto t1 = Frame(a, 6300), t2 = Frame(a, 6333);
  EXPECT_NE(t1, t2);
  EXPECT_NE(t1, rest);
  // ...then the next page rests.
  const auto next = Frame(a, 7300);
  EXPECT_NE(next, rest);
  EXPECT_EQ(next, Frame(a, 11900));
  SaveForPeople(Frame(a, 6500, 640, 480), 640, 480, "demo_turn.png");
  SaveForPeople(Frame(a, 1000, 640, 480), 640, 480, "demo_rest.png");

  // Pages repeat after a while, and each size is its own rendering.
  EXPECT_EQ(Frame(a, 2500 + 6000 * CDemoScene::kPages), rest);
  EXPECT_EQ(Frame(a, 1000, 640, 480).size(), 640u * 480 * 3);
}

TEST(DemoScene, SkewedBrightPageWithTextOnADarkerDesk) {
  CDemoScene scene(3);
  const auto px = Frame(scene, 500, 640, 480);
  double c[4][2];
  scene.PageCorners(0, 640, 480, c);
  const double angle = std::atan2(c[1][1] - c[0][1], c[1][0] - c[0][0]) * 180 / 3.14159265358979;
  EXPECT_GE(std::abs(angle), 0.9);
  EXPECT_LE(std::abs(angle), 4.1);
  for (auto& p : c) {
    EXPECT_GT(p[0], 10);
    EXPECT_LT(p[0], 630);
    EXPECT_GT(p[1], 5);
    EXPECT_LT(p[1], 475);
  }
  // Desk at the frame's corners, paper in the page's margin.
  EXPECT_LT(Luma(px, 640, 3, 3), 90);
  EXPECT_LT(Luma(px, 640, 636, 476), 90);
  const double mx = c[0][0] + (c[2][0] - c[0][0]) * 0.04, my = c[0][1] + (c[2][1] - c[0][1]) * 0.5;
  EXPECT_GT(Luma(px, 640, static_cast<int>(mx), static_cast<int>(my)), 180);
  // Dark ink inside the page: text lines and the picture's frame.
  int ink = 0, paper = 0;
  for (int y = static_cast<int>(c[1][1]) + 20; y < static_cast<int>(c[3][1]) - 20; ++y)
    for (int x = static_cast<int>(c[0][0]) + 20; x < static_cast<int>(c[2][0]) - 20; ++x) {
      const int l = Luma(px, 640, x, y);
      ink += l < 110;
      paper += l > 190;
    }
  EXPECT_GT(ink, paper / 50);
  EXPECT_GT(paper, ink);
}

TEST(DemoScene, PictureControls) {
  CDemoScene scene(1);
  const auto base = Frame(scene, 100);
  auto apply = [&](const CDemoControls& k) {
    auto px = base;
    k.Apply(px.data(), W, H);
    return px;
  };
  EXPECT_EQ(apply(CDemoControls{}), base);  // the defaults change nothing
  CDemoControls bright;
  bright.brightness = 40;
  EXPECT_GT(Mean(apply(bright)), Mean(base) + 40);
  CDemoControls flat;
  flat.contrast = 0;
  const auto f = apply(flat);
  EXPECT_TRUE(std::all_of(f.begin(), f.end(), [](std::uint8_t v) { return v == 128; }));
  CDemoControls grey;
  grey.saturation = 0;
  const auto g = apply(grey);
  for (std::size_t i = 0; i < g.size(); i += 3) {
    ASSERT_EQ(g[i], g[i + 1]);
    ASSERT_EQ(g[i], g[i + 2]);
  }
  CDemoControls longer;
  longer.autoExposure = 0;
  longer.exposure = 312;
  EXPECT_GT(Mean(apply(longer)), Mean(base) * 1.3);
  CDemoControls sharp;
  sharp.sharpness = 7;
  EXPECT_NE(apply(sharp), base);
}

TEST(DemoScene, SensorNoiseIsSmallReproducibleAndChangesEveryFrame) {
  CDemoScene scene(2);
  const auto clean = Frame(scene, 1000);
  auto a = clean, b = clean, c = clean;
  AddDemoNoise(a.data(), a.size(), 3, 2, 1000);
  AddDemoNoise(b.data(), b.size(), 3, 2, 1000);
  AddDemoNoise(c.data(), c.size(), 3, 2, 1033);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  EXPECT_NE(a, clean);
  int changed = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    ASSERT_LE(std::abs(a[i] - clean[i]), 3);
    changed += a[i] != clean[i];
  }
  EXPECT_GT(changed, static_cast<int>(a.size() / 2));
  auto d = clean;
  AddDemoNoise(d.data(), d.size(), 0, 2, 1000);
  EXPECT_EQ(d, clean);
}

TEST(DemoCamera, DeliversTheSceneThroughTheCameraRoad) {
  CameraTestApp();
  std::atomic<std::uint32_t> now{1000};
  CDemoCameraOptions options;
  options.seed = 5;
  options.clock = [&] { return now.load(); };
  CUsbCamera cam(std::vector<std::shared_ptr<ICameraProvider>>{std::make_shared<CDemoCameraProvider>(options)});
  std::vector<std::string> names;
  ASSERT_EQ(cam.GetCameraList(names), 1);
  EXPECT_EQ(names[0], "Demo document camera");
  unsigned long value = 0;
  std::string text;
  cam.ReadCameraDPI(0, value, text);
  EXPECT_EQ(text, "3264*2448");
  ASSERT_EQ(cam.ReadCameraDPI(0, ":"), 1);
  CStringListSink formats, sizes;
  cam.GetCameraDPITypeList(formats);
  EXPECT_EQ(formats.rows, (std::vector<std::string>{"MJPG", "YUY2"}));
  EXPECT_EQ(cam.GetCurCameraDPIList(sizes), 10);
  EXPECT_EQ(sizes.rows.front(), "640*480");

  CDemoScene reference(5);
  const auto expected = Frame(reference, 1000, 640, 480);
  for (const char* format : {"MJPG", "YUY2"}) {
    CMessageRecorder rec;
    ASSERT_EQ(cam.OpenCamera(&rec, 0, format, 0), 0) << format;
    ASSERT_TRUE(rec.WaitFor(WM_CAMERA_FRAME, 1)) << format;
    const auto* f = reinterpret_cast<const _CAMERAFRAME*>(rec.Messages().front().lParam);
    ASSERT_TRUE(f && f->data);
    ASSERT_EQ(f->width, 640);
    ASSERT_EQ(f->height, 480);
    // Bottom-up rows of the scene, within what the compression loses.
    EXPECT_LT(FrameDistance(f, expected), 6.0) << format;
    EXPECT_EQ(cam.GetVideoExposure(), -1);
    cam.CloseCamera();
  }
}

TEST(DemoCamera, PageTurnsAndControlsReachTheReceiver) {
  CameraTestApp();
  std::atomic<std::uint32_t> now{2000};
  CDemoCameraOptions options;
  options.clock = [&] { return now.load(); };
  CUsbCamera cam(std::vector<std::shared_ptr<ICameraProvider>>{std::make_shared<CDemoCameraProvider>(options)});
  CMessageRecorder rec;
  ASSERT_EQ(cam.OpenCamera(&rec, 0, "MJPG", 0), 0);
  auto take = [&](std::size_t n) {
    EXPECT_TRUE(rec.WaitFor(WM_CAMERA_FRAME, n));
    const auto* f = reinterpret_cast<const _CAMERAFRAME*>(rec.Messages().back().lParam);
    std::vector<std::uint8_t> copy(f->data, f->data + 1920 * 480);
    return copy;
  };
  const auto rest = take(1);
  // The clock moves first; the camera is then allowed a frame of the new time.
  now = 6500;  // in the middle of a turn
  rec.WaitFor(0xFFFF, 1, 50);
  cam.SetOneFrame(1);
  const auto turning = take(2);
  now = 8000;
  rec.WaitFor(0xFFFF, 1, 50);
  cam.SetOneFrame(1);
  const auto next = take(3);
  EXPECT_NE(rest, turning);
  EXPECT_NE(rest, next);
  EXPECT_NE(turning, next);

  ASSERT_EQ(cam.SetVideoBrightness(90), 1);
  EXPECT_EQ(cam.GetVideoBrightness(), 90);
  rec.WaitFor(0xFFFF, 1, 50);
  cam.SetOneFrame(1);
  const auto brighter = take(4);
  EXPECT_GT(Mean(brighter), Mean(next) + 20);
  cam.CloseCamera();
}

TEST(DemoCamera, ListedAfterRealCamerasOnlyWhenSwitchedOn) {
  CameraTestApp();
  const char* before = std::getenv("BREVIO_DEMO_CAMERA");
  const std::string saved = before ? before : "";
  auto names = [] {
    CUsbCamera cam;
    std::vector<std::string> list;
    cam.GetCameraList(list);
    return list;
  };
  ::setenv("BREVIO_DEMO_CAMERA", "1", 1);
  const auto on = names();
  ASSERT_FALSE(on.empty());
  EXPECT_EQ(on.back(), "Demo document camera");  // real cameras keep their indices
  ::setenv("BREVIO_DEMO_CAMERA", "0", 1);
  const auto off = names();
  EXPECT_EQ(off.size() + 1, on.size());
  EXPECT_EQ(std::count(off.begin(), off.end(), "Demo document camera"), 0);

  // Several, after the real cameras; a count beyond six is clamped and said
  // once, however many camera objects ask.
  ::setenv("BREVIO_DEMO_CAMERA", "9", 1);
  testing::internal::CaptureStderr();
  const auto six = names();
  EXPECT_EQ(names().size(), six.size());
  const std::string told = testing::internal::GetCapturedStderr();
  ASSERT_EQ(six.size(), off.size() + 6);
  EXPECT_EQ(six[off.size()], "Demo document camera");
  EXPECT_EQ(six[off.size() + 1], "Demo document camera (2)");
  EXPECT_EQ(six.back(), "Demo document camera (6)");
  const auto at = told.find("BREVIO_DEMO_CAMERA=9 is outside 1 to 6");
  EXPECT_NE(at, std::string::npos) << told;
  EXPECT_EQ(told.find("BREVIO_DEMO_CAMERA=9", at + 1), std::string::npos) << "said more than once: " << told;
  ::setenv("BREVIO_DEMO_CAMERA", "-1", 1);  // clamped up, and said again: another value
  testing::internal::CaptureStderr();
  EXPECT_EQ(names().size(), off.size() + 1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("BREVIO_DEMO_CAMERA=-1 is outside"), std::string::npos);
  if (before) ::setenv("BREVIO_DEMO_CAMERA", saved.c_str(), 1);
  else ::unsetenv("BREVIO_DEMO_CAMERA");
}

namespace {

// Demo cameras on a frozen clock, and openers that take one frame each.
struct CDemoRig {
  std::atomic<std::uint32_t> now{1000};
  std::shared_ptr<CDemoCameraProvider> provider;
  explicit CDemoRig(int count) {
    CameraTestApp();
    CDemoCameraOptions options;
    options.count = count;
    options.seed = 5;
    options.clock = [this] { return now.load(); };
    provider = std::make_shared<CDemoCameraProvider>(options);
  }
  std::unique_ptr<CUsbCamera> Camera() {
    return std::make_unique<CUsbCamera>(std::vector<std::shared_ptr<ICameraProvider>>{provider});
  }
};

const _CAMERAFRAME* LastFrame(CMessageRecorder& rec, std::size_t n) {
  if (!rec.WaitFor(WM_CAMERA_FRAME, n)) return nullptr;
  return reinterpret_cast<const _CAMERAFRAME*>(rec.Messages().back().lParam);
}

}  // namespace

TEST(DemoCameras, CountFromTheEnvironmentValue) {
  const struct {
    const char* value;
    int count;
    bool notice;
  } cases[] = {
      {nullptr, 0, false}, {"", 0, false},   {"0", 0, false},  {"1", 1, false},
      {"6", 6, false},     {"3 ", 3, false}, {"7", 6, true},   {"99999999999999999999", 6, true},
      {"-2", 1, true},     {"two", 0, true}, {"2x", 0, true},
  };
  for (const auto& c : cases) {
    std::string notice = "stale";
    EXPECT_EQ(DemoCameraCount(c.value, notice), c.count) << (c.value ? c.value : "(unset)");
    EXPECT_EQ(notice.empty(), !c.notice) << (c.value ? c.value : "(unset)") << ": " << notice;
  }
}

TEST(DemoCameras, TheFirstKeepsItsIdAndTheOthersAreNumbered) {
  EXPECT_EQ(DemoCameraDescription(0).id, "demo-document-camera");
  EXPECT_EQ(DemoCameraDescription(1).id, "demo-document-camera-2");
  EXPECT_EQ(DemoCameraDescription(5).id, "demo-document-camera-6");
}

TEST(DemoCameras, TheNumberLiesLighterOnTheDeskBesideEveryPage) {
  CDemoScene plain(9, 6000, 1200, 3, 0), numbered(9, 6000, 1200, 3, 4);
  for (int page : {0, 1, 5}) {
    const std::uint32_t t = 1000 + 6000 * page;
    const auto a = Frame(plain, t, 640, 480), b = Frame(numbered, t, 640, 480);
    double c[4][2];
    plain.PageCorners(page, 640, 480, c);
    const double pageLeft = std::min(std::min(c[0][0], c[1][0]), std::min(c[2][0], c[3][0]));
    int changed = 0;
    for (int y = 0; y < 480; ++y)
      for (int x = 0; x < 640; ++x) {
        if (Luma(a, 640, x, y) == Luma(b, 640, x, y)) continue;
        ++changed;
        ASSERT_LT(x, pageLeft - 5) << "page " << page;
        ASSERT_GT(Luma(b, 640, x, y), Luma(a, 640, x, y) + 25);
      }
    EXPECT_GT(changed, 2000) << "page " << page;
  }
  CDemoScene three(9, 6000, 1200, 0, 3), five(9, 6000, 1200, 0, 5);
  EXPECT_NE(Frame(three, 1000), Frame(five, 1000));
}

TEST(DemoCameras, EachStreamsItsOwnPictureToOneOpenerAtATime) {
  CDemoRig rig(2);
  auto first = rig.Camera(), second = rig.Camera(), third = rig.Camera();
  CMessageRecorder a, b, c;
  ASSERT_EQ(first->OpenCamera(&a, 0, "MJPG", 0), 0);
  ASSERT_EQ(second->OpenCamera(&b, 1, "MJPG", 0), 0);  // another camera: not busy
  const _CAMERAFRAME* fa = LastFrame(a, 1);
  const _CAMERAFRAME* fb = LastFrame(b, 1);
  ASSERT_TRUE(fa && fa->data && fb && fb->data);
  // Each is its own scene: seed, tint and number of that camera.
  CDemoScene one(5, 6000, 1200, 0, 1), two(DemoCameraSeed(5, 1), 6000, 1200, 1, 2);
  const auto expectOne = Frame(one, 1000, 640, 480), expectTwo = Frame(two, 1000, 640, 480);
  EXPECT_LT(FrameDistance(fa, expectOne), 6.0);
  EXPECT_LT(FrameDistance(fb, expectTwo), 6.0);
  EXPECT_GT(FrameDistance(fa, expectTwo), 15.0);
  SaveForPeople(expectTwo, 640, 480, "demo_camera_2.png");
  second->CloseCamera();

  // A second opener of camera 0, through any provider, is refused as busy.
  EXPECT_EQ(third->OpenCamera(&c, 0, "YUY2", 0), EBUSY);
  EXPECT_FALSE(third->IsOpen());
  CDemoRig otherRig(1);
  EXPECT_EQ(otherRig.Camera()->OpenCamera(&c, 0, "MJPG", 0), EBUSY);
  // The first stream is untouched: it takes further frames.
  for (std::size_t n = 2; n <= 3; ++n) {
    rig.now += 40;
    first->SetOneFrame(1);
    const _CAMERAFRAME* f = LastFrame(a, n);
    ASSERT_TRUE(f && f->data) << n;
  }
  EXPECT_EQ(c.Count(WM_CAMERA_FRAME), 0u);
  // Closed, the camera is free again.
  first->CloseCamera();
  ASSERT_EQ(third->OpenCamera(&c, 0, "YUY2", 0), 0);
  const _CAMERAFRAME* f = LastFrame(c, 1);
  EXPECT_TRUE(f && f->data);
}
