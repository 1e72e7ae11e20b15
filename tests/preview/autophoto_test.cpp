// Automatic photographing: one notice per page turn, once the page rests,
// with the picture frozen on the still page until the next turn.

#include "contracts/camera/camera.h"
#include "contracts/camera/demo_camera.h"
#include "tests/preview/preview_fixture.h"
#include "tests/support/wait.h"

#include <atomic>
#include <cstring>

namespace {

constexpr int kPeriodMs = 6000;
constexpr int kTurnMs = 1200;
constexpr int kStepMs = 100;  // one frame every 100 ms of scene time

// The demo scene at a time as a camera frame: bottom-up rows.
Picture SceneFrame(CDemoScene& scene, std::uint32_t t, int noise, int w = 640, int h = 480) {
  std::vector<std::uint8_t> topDown;
  scene.Render(t, w, h, topDown);
  if (noise) AddDemoNoise(topDown.data(), topDown.size(), noise, 11, t);
  Picture p(w, h);
  for (int y = 0; y < h; ++y) std::memcpy(p.Px(0, y), topDown.data() + static_cast<std::size_t>(y) * w * 3, w * 3);
  return p;
}

// The shown picture of the model, for comparing frames.
QImage Shown(CCameraDC& model) { return DCImage(model.GetBufferDC())->copy(); }

class AutoPhotoTest : public PreviewFixture, public ::testing::WithParamInterface<int> {};

TEST_P(AutoPhotoTest, OnePhotographPerPageTurnAfterRestWithThePictureFrozen) {
  const int noise = GetParam();
  CDemoScene scene(5, kPeriodMs, kTurnMs);
  preview_->ReSetCameraDC(0);
  preview_->SetAutoPhotoGraphs(1);
  std::vector<std::uint32_t> photographed;  // scene times of the notices
  QImage frozen;
  for (std::uint32_t t = 0; t < 3 * kPeriodMs + 2000; t += kStepMs) {
    Picture frame = SceneFrame(scene, t, noise);
    Feed(frame);
    QCoreApplication::processEvents();
    const int notices = host_->Count(WM_AUTO_PHOTOGRAPH);
    if (notices > static_cast<int>(photographed.size())) {
      photographed.push_back(t);
      EXPECT_EQ(preview_->GetCameraDC().GetVideoLock(), 1);
      frozen = Shown(preview_->GetCameraDC());
    } else if (!frozen.isNull() && !scene.TurningAt(t)) {
      // Until the next turn, the still page stays as it was photographed.
      EXPECT_EQ(Shown(preview_->GetCameraDC()), frozen) << t;
    } else if (scene.TurningAt(t)) {
      frozen = QImage();
    }
  }
  ASSERT_EQ(photographed.size(), 3u);
  for (std::size_t i = 0; i < photographed.size(); ++i) {
    const std::uint32_t turnEnd = (i + 1) * kPeriodMs + kTurnMs;
    // After the turn has ended and five calmer frames, within a second.
    EXPECT_GE(photographed[i], turnEnd + (CDataPreview::kRestFrames - 1) * kStepMs) << i;
    EXPECT_LT(photographed[i], turnEnd + 1000) << i;
  }
  // Switched off, nothing more is noticed and the picture moves again.
  preview_->SetAutoPhotoGraphs(0);
  EXPECT_EQ(preview_->GetCameraDC().GetVideoLock(), 0);
  for (std::uint32_t t = 4 * kPeriodMs; t < 4 * kPeriodMs + 2500; t += kStepMs) {
    Picture frame = SceneFrame(scene, t, noise);
    Feed(frame);
  }
  QCoreApplication::processEvents();
  EXPECT_EQ(host_->Count(WM_AUTO_PHOTOGRAPH), 3);
}

INSTANTIATE_TEST_SUITE_P(Noise, AutoPhotoTest, ::testing::Values(0, 6));

// The demo camera's frames through WM_CAMERA_FRAME, as a working window gets
// them: the host hands each to the preview and allows the next; on the
// preview's notice it photographs.
class CCameraHost : public CRecordingHost {
 public:
  CUsbCamera* camera = nullptr;
  CDataPreview* preview = nullptr;
  std::atomic<std::uint32_t> now{0};
  int frames = 0;

 protected:
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == WM_CAMERA_FRAME) {
      const auto* f = reinterpret_cast<const _CAMERAFRAME*>(lParam);
      if (f && preview) preview->SetImageData(static_cast<int>(wParam), f->data, f->width, f->height, f->bitCount, f->palette);
      ++frames;
      now += kStepMs;  // the next frame is made 100 ms of scene time later
      camera->SetOneFrame(1);
      return 1;
    }
    if (msg == WM_AUTO_PHOTOGRAPH && preview) {
      const QString path = preview->Photograph(0);
      if (!path.isEmpty()) photographed << path;
    }
    return CRecordingHost::WindowProc(msg, wParam, lParam);
  }
};

TEST_F(PreviewFixture, DemoCameraFramesGiveOnePhotographPerPageTurn) {
  CCameraHost host;
  ASSERT_TRUE(host.Create(CWnd::Kind::TopLevel, "camera host", CRect(0, 0, kWidth, kHeight)));
  CDataPreview preview;
  ASSERT_TRUE(preview.Create(&host, CRect(0, 0, kWidth, kHeight)));
  preview.SetPicDataPath(QString::fromStdString(pictures_.string()));
  CDemoCameraOptions options;
  options.clock = [&host] { return host.now.load(); };
  options.noise = 4;
  CUsbCamera camera({std::make_shared<CDemoCameraProvider>(options)});
  host.camera = &camera;
  host.preview = &preview;
  std::vector<std::string> names;
  ASSERT_EQ(camera.GetCameraList(names), 1);
  ASSERT_EQ(camera.OpenCamera(&host, 0, "YUY2", 0), 0);
  preview.ReSetCameraDC(camera.GetDeviceId());
  preview.SetAutoPhotoGraphs(1);
  // Two page turns: 6.0-7.2 s and 12.0-13.2 s of scene time.
  const QSize size(camera.GetFrameWidth(), camera.GetFrameHeight());
  ASSERT_TRUE(WaitUntil([&] { return host.now.load() >= 2 * kPeriodMs + 3000; }, 120000));
  camera.CloseCamera();
  QCoreApplication::processEvents();
  EXPECT_EQ(host.Count(WM_AUTO_PHOTOGRAPH), 2);
  ASSERT_EQ(host.photographed.size(), 2);
  for (const QString& path : host.photographed) {
    const QImage picture = ReadPicture(path.toStdString());
    EXPECT_EQ(picture.size(), size);
  }
  EXPECT_EQ(PictureFiles().size(), 2u);
  EXPECT_NE(ReadPicture(host.photographed[0].toStdString()), ReadPicture(host.photographed[1].toStdString()));
}

}  // namespace
