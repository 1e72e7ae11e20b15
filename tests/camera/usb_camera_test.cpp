#include "contracts/camera/camera.h"
#include "contracts/camera/v4l2_recorded.h"

#include "tests/camera/recorded.h"
#include "tests/camera/test_app.h"

#include <QString>
#include <QThread>
#include <gtest/gtest.h>

#include <cerrno>

namespace {

const char* kDoc = "/dev/video0";

struct CRig {
  std::shared_ptr<CRecordedV4L2Io> io;
  std::unique_ptr<CUsbCamera> camera;
  explicit CRig(const char* file = "two_cameras.txt") {
    CameraTestApp();
    io = std::make_shared<CRecordedV4L2Io>(LoadRecorded(file));
    camera = std::make_unique<CUsbCamera>(std::vector<std::shared_ptr<ICameraProvider>>{std::make_shared<CV4L2Provider>(io)});
    camera->SetSignalTimeouts(300, 50);
  }
};

const _CAMERAFRAME* Record(const CMessageRecorder::Entry& e) { return reinterpret_cast<const _CAMERAFRAME*>(e.lParam); }

// Runs the event loop until a frame record matching `pred` has arrived.
template <typename Pred>
bool WaitForRecord(CMessageRecorder& rec, Pred pred, int timeoutMs = 5000) {
  for (int waited = 0; waited < timeoutMs; waited += 10) {
    for (const auto& m : rec.Messages())
      if (m.message == WM_CAMERA_FRAME && pred(Record(m))) return true;
    rec.WaitFor(0xFFFF, 1, 10);
  }
  return false;
}

void Pump(int ms) {
  CMessageRecorder idle;
  idle.WaitFor(0xFFFF, 1, ms);
}

}  // namespace

TEST(UsbCamera, ListsSelectsAndFillsListsOfTheRecordedCameras) {
  CRig rig;
  CUsbCamera& cam = *rig.camera;
  std::vector<std::string> names;
  ASSERT_EQ(cam.GetCameraList(names), 2);
  EXPECT_EQ(names[0], "Visualizer A1: Visualizer A1");
  EXPECT_EQ(names[1], "Integrated Camera: Integrated C");

  unsigned long value = 0;
  std::string text;
  ASSERT_EQ(cam.ReadCameraDPI(0, value, text), 1);
  EXPECT_EQ(value, 3264ul * 2448);
  EXPECT_EQ(text, "3264*2448");
  ASSERT_EQ(cam.ReadCameraDPI(1, value, text), 1);
  EXPECT_EQ(value, 1280ul * 720);
  EXPECT_EQ(cam.ReadCameraDPI(2, value, text), 0);
  EXPECT_EQ(value, 0ul);

  // ":" is the camera's own default format: the first it lists.
  ASSERT_EQ(cam.ReadCameraDPI(0, ":"), 1);
  CStringListSink formats, sizes;
  EXPECT_EQ(cam.GetCameraDPITypeList(formats), 2);
  EXPECT_EQ(formats.rows, (std::vector<std::string>{"MJPG", "YUY2"}));
  EXPECT_EQ(cam.GetCurCameraDPIList(sizes), 8);
  EXPECT_EQ(sizes.rows.back(), "3264*2448");
  EXPECT_EQ(cam.GetSelDPIType(), "MJPG");

  EXPECT_EQ(cam.SetCurDPIType("yuyv"), 1);
  EXPECT_EQ(cam.GetSelDPIType(), "YUY2");
  sizes.rows.clear();
  EXPECT_EQ(cam.GetCurCameraDPIList(sizes), 3);
  EXPECT_EQ(sizes.rows, (std::vector<std::string>{"640*480", "1280*720", "1920*1080"}));
  EXPECT_EQ(cam.SetCurDPIType("H264"), 0);  // offered by the device, but not shown

  // A format the camera lacks (start-up writes "MJPG" for every camera)
  // falls back to its default instead of failing.
  ASSERT_EQ(cam.ReadCameraDPI(1, "NV12"), 1);
  EXPECT_FALSE(cam.GetSelDPIType().empty());
  sizes.rows.clear();
  EXPECT_EQ(cam.GetCurCameraDPIList(sizes), 3);
  EXPECT_EQ(sizes.rows.front(), "320*240");
  EXPECT_EQ(cam.ReadCameraDPI(5, "MJPG"), 0);
  CStringListSink none;
  EXPECT_EQ(cam.GetCurCameraDPIList(none), 0);
  EXPECT_EQ(cam.GetDPI(30), -1);
}

TEST(UsbCamera, ResolutionSelectors) {
  CRig rig;
  CUsbCamera& cam = *rig.camera;
  ASSERT_EQ(cam.ReadCameraDPI(0, "MJPG"), 1);
  // 640 800 1024 1280 1600 1920 2592 3264 wide.
  EXPECT_EQ(cam.ResolveSelector(0), 0);
  EXPECT_EQ(cam.ResolveSelector(3), 3);
  EXPECT_EQ(cam.ResolveSelector(8), 7);  // beyond the end: the last
  EXPECT_EQ(cam.ResolveSelector(1000), 7);
  EXPECT_EQ(cam.ResolveSelector(-2), 7);
  EXPECT_EQ(cam.ResolveSelector(-4), 7);
  EXPECT_EQ(cam.ResolveSelector(-1), 0);
  EXPECT_EQ(cam.ResolveSelector(-99), 0);
  EXPECT_EQ(cam.GetDPI(30), 0);       // 351 pixels across an A4 page
  EXPECT_EQ(cam.ResolveSelector(-3), cam.GetDPI(30));
  EXPECT_EQ(cam.GetDPI(100), 3);      // 1169: the 1280 wide picture
  EXPECT_EQ(cam.GetDPI(200), 6);      // 2338: 2592 wide
  EXPECT_EQ(cam.GetDPI(1000), 7);     // nothing wide enough: the widest
  EXPECT_EQ(cam.GetDPI(-5), 0);
}

TEST(UsbCamera, OpenResults) {
  CRig rig;
  CUsbCamera& cam = *rig.camera;
  CMessageRecorder rec;
  EXPECT_EQ(cam.OpenCamera(&rec, 2, "MJPG", 0), CAMERA_OPEN_FAILED);
  EXPECT_EQ(cam.OpenCamera(&rec, -1, "MJPG", 0), CAMERA_OPEN_FAILED);
  EXPECT_FALSE(cam.IsOpen());
  EXPECT_EQ(cam.GetDeviceId(), -1);

  // Another program holds the camera: a system error code with a text.
  CUsbCamera other(std::vector<std::shared_ptr<ICameraProvider>>{std::make_shared<CV4L2Provider>(rig.io)});
  ASSERT_EQ(other.OpenCamera(&rec, 0, "MJPG", 0), 0);
  const int busy = cam.OpenCamera(&rec, 0, "MJPG", 0);
  EXPECT_EQ(busy, EBUSY);
  EXPECT_FALSE(CUsbCamera::GetErrorText(busy).empty());
  EXPECT_NE(CUsbCamera::GetErrorText(busy), CUsbCamera::GetErrorText(CAMERA_OPEN_FAILED));
  other.CloseCamera();

  ASSERT_EQ(cam.OpenCamera(&rec, 0, "MJPG", -3), 0);
  EXPECT_TRUE(cam.IsOpen());
  EXPECT_EQ(cam.GetDeviceId(), 0);
  EXPECT_EQ(cam.GetCurDPIType(), "MJPG");
  EXPECT_EQ(cam.GetFrameWidth(), 640);
  EXPECT_EQ(rig.io->LastWidth(), 640);
  // Opening again replaces the running capture.
  ASSERT_EQ(cam.OpenCamera(&rec, 0, "YUY2", -2), 0);
  EXPECT_EQ(rig.io->LastFourcc(), FOURCC_YUYV);
  EXPECT_EQ(rig.io->LastWidth(), 1920);
  ASSERT_EQ(cam.ReadCameraDPI(0, "YUY2"), 1);
  EXPECT_EQ(cam.GetCurSelDPI(), 2);
  ASSERT_EQ(cam.ReadCameraDPI(0, "MJPG"), 1);
  EXPECT_EQ(cam.GetCurSelDPI(), 0);  // another format is selected
  cam.CloseCamera();
  EXPECT_EQ(cam.GetDeviceId(), -1);
}

TEST(UsbCamera, OneFrameInFlightUntilSetOneFrame) {
  CRig rig;
  CUsbCamera& cam = *rig.camera;
  CMessageRecorder rec;
  ASSERT_EQ(cam.OpenCamera(&rec, 1, "YUY2", 1), 0);  // 640 x 480
  ASSERT_TRUE(WaitForRecord(rec, [](const _CAMERAFRAME* f) { return f && f->data; }));
  const int delivered = rig.io->FramesDelivered();
  Pump(200);  // the camera keeps streaming, the receiver has not answered
  EXPECT_GT(rig.io->FramesDelivered(), delivered);
  ASSERT_EQ(rec.Count(WM_CAMERA_FRAME), 1u);
  const auto m = rec.Messages().front();
  EXPECT_EQ(m.wParam, 1u);
  const _CAMERAFRAME* f = Record(m);
  EXPECT_EQ(f->width, 640);
  EXPECT_EQ(f->height, 480);
  EXPECT_EQ(f->bitCount, 24);
  EXPECT_EQ(f->palette, nullptr);
  // The test picture is a grey ramp rising to the right.
  EXPECT_EQ(f->data[0], f->data[1]);
  EXPECT_EQ(f->data[0], f->data[2]);
  EXPECT_LT(f->data[0], f->data[3]);

  cam.SetOneFrame(1);
  ASSERT_TRUE(rec.WaitFor(WM_CAMERA_FRAME, 2));
  Pump(100);
  EXPECT_EQ(rec.Count(WM_CAMERA_FRAME), 2u);

  cam.SetOneFrame(-1);  // unlimited
  ASSERT_TRUE(rec.WaitFor(WM_CAMERA_FRAME, 6));
  cam.CloseCamera();
  Pump(20);
  const std::size_t after = rec.Count(WM_CAMERA_FRAME);
  Pump(100);
  EXPECT_EQ(rec.Count(WM_CAMERA_FRAME), after);  // nothing after CloseCamera
}

TEST(UsbCamera, UnpluggedCameraReportsNoSignalAndComesBack) {
  CRig rig;
  CUsbCamera& cam = *rig.camera;
  CMessageRecorder rec;
  // Like the application's windows: each record is read while it is
  // handled, and every frame handled allows the next.
  int frames = 0, noSignal = 0, connected = 0;
  rec.answer = [&](UINT msg, WPARAM, LPARAM l) -> LRESULT {
    const auto* f = reinterpret_cast<const _CAMERAFRAME*>(l);
    if (msg != WM_CAMERA_FRAME || !f) return 0;
    if (f->data) {
      ++frames;
      cam.SetOneFrame(1);
    } else {
      ++(f->width == 1 ? connected : noSignal);
    }
    return 0;
  };
  auto until = [&](const int& counter, int value) {
    for (int waited = 0; counter < value && waited < 5000; waited += 10) rec.WaitFor(0xFFFF, 1, 10);
    return counter >= value;
  };
  ASSERT_EQ(cam.OpenCamera(&rec, 0, "MJPG", 0), 0);
  ASSERT_TRUE(until(frames, 1));
  ASSERT_EQ(cam.SetVideoBrightness(75), 1);
  EXPECT_EQ(rig.io->ControlValue(kDoc, "brightness"), 32);

  rig.io->SetPresent(kDoc, false);
  ASSERT_TRUE(until(noSignal, 1));
  EXPECT_TRUE(cam.IsOpen());  // still the open camera: it may come back
  EXPECT_EQ(cam.GetVideoBrightness(), -1);
  EXPECT_EQ(connected, 0);

  rig.io->SetPresent(kDoc, true);
  ASSERT_TRUE(until(connected, 1));
  const int before = frames;
  ASSERT_TRUE(until(frames, before + 3));
  EXPECT_EQ(noSignal, 1);
  EXPECT_EQ(rig.io->ControlValue(kDoc, "brightness"), 32);  // the user's setting is back
  EXPECT_EQ(rig.io->LastFourcc(), FOURCC_MJPG);
  EXPECT_EQ(rig.io->LastWidth(), 640);
  cam.CloseCamera();
}

TEST(UsbCamera, SilentCameraReportsNoSignalOnce) {
  CRig rig;
  rig.io->SetFrameSource([](std::uint32_t, int, int, int) { return std::vector<std::uint8_t>(10, 0); });
  CMessageRecorder rec;
  ASSERT_EQ(rig.camera->OpenCamera(&rec, 0, "MJPG", 0), 0);  // every frame is broken
  ASSERT_TRUE(WaitForRecord(rec, [](const _CAMERAFRAME* f) { return f && !f->data; }));
  Pump(700);
  EXPECT_EQ(rec.Count(WM_CAMERA_FRAME), 1u);
  rig.camera->CloseCamera();
}

TEST(UsbCamera, PictureControlsOnAHundredPointScale) {
  CRig rig;
  CUsbCamera& cam = *rig.camera;
  CMessageRecorder rec;
  EXPECT_EQ(cam.GetVideoBrightness(), -1);  // nothing open
  EXPECT_EQ(cam.SetVideoBrightness(10), 0);
  ASSERT_EQ(cam.OpenCamera(&rec, 0, "MJPG", 0), 0);

  EXPECT_EQ(cam.GetVideoBrightness(), 50);  // 0 in -64..64
  EXPECT_EQ(cam.SetVideoBrightness(0), 1);
  EXPECT_EQ(rig.io->ControlValue(kDoc, "brightness"), -64);
  EXPECT_EQ(cam.SetVideoBrightness(250), 1);  // clamped
  EXPECT_EQ(rig.io->ControlValue(kDoc, "brightness"), 64);
  EXPECT_EQ(cam.GetVideoBrightness(), 100);
  EXPECT_EQ(cam.SetVideoContrast(40), 1);
  EXPECT_EQ(rig.io->ControlValue(kDoc, "contrast"), 38);
  EXPECT_EQ(cam.GetVideoContrast(), 40);
  EXPECT_EQ(cam.SetVideoSaturation(64), 1);
  EXPECT_EQ(cam.GetVideoSaturation(), 64);

  // Exposure: -1 is automatic; manual values are spread logarithmically.
  EXPECT_EQ(cam.GetVideoExposure(), -1);
  EXPECT_EQ(cam.SetVideoExposure(50), 1);
  EXPECT_EQ(rig.io->ControlValue(kDoc, "exposure_auto"), 1);
  EXPECT_EQ(rig.io->ControlValue(kDoc, "exposure_absolute"), 78);  // sqrt(3 * 2047)
  EXPECT_EQ(cam.GetVideoExposure(), 50);
  EXPECT_EQ(cam.SetVideoExposure(-1), 1);
  EXPECT_EQ(rig.io->ControlValue(kDoc, "exposure_auto"), 3);
  EXPECT_EQ(cam.GetVideoExposure(), -1);

  // Sharpness takes the quality level.
  EXPECT_EQ(cam.SetVideoSharpness(0), 1);
  EXPECT_EQ(rig.io->ControlValue(kDoc, "sharpness"), 1);
  EXPECT_EQ(cam.SetVideoSharpness(1), 1);
  EXPECT_EQ(rig.io->ControlValue(kDoc, "sharpness"), 2);
  EXPECT_EQ(cam.SetVideoSharpness(2), 1);
  EXPECT_EQ(rig.io->ControlValue(kDoc, "sharpness"), 7);

  // The built-in camera has neither exposure nor sharpness.
  ASSERT_EQ(cam.OpenCamera(&rec, 1, "YUY2", 0), 0);
  EXPECT_EQ(cam.GetVideoExposure(), -1);
  EXPECT_EQ(cam.SetVideoExposure(30), 0);
  EXPECT_EQ(cam.SetVideoSharpness(1), 0);
  EXPECT_EQ(cam.GetVideoBrightness(), 50);
  cam.CloseCamera();
}

TEST(UsbCamera, TellsWhichPictureControlsTheOpenCameraHas) {
  CRig rig;
  CUsbCamera& cam = *rig.camera;
  CMessageRecorder rec;
  using C = ECameraControl;
  const C all[] = {C::Brightness, C::Contrast, C::Saturation, C::Sharpness, C::Exposure, C::AutoExposure};
  for (C c : all) EXPECT_EQ(cam.HasPictureControl(c), 0) << "nothing open";
  // Per camera: the controls it has, in the order of `all`.
  const struct {
    int index;
    const char* format;
    int has[6];
  } cases[] = {
      {0, "MJPG", {1, 1, 1, 1, 1, 1}},
      {1, "YUY2", {1, 1, 1, 0, 0, 0}},  // its exposure -1 means "none", not "automatic"
  };
  for (const auto& t : cases) {
    ASSERT_EQ(cam.OpenCamera(&rec, t.index, t.format, 0), 0);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(cam.HasPictureControl(all[k]), t.has[k]) << "camera " << t.index << " control " << k;
  }
  cam.CloseCamera();
  EXPECT_EQ(cam.HasPictureControl(C::Brightness), 0);
}

TEST(UsbCamera, FillsAnyWindowThatTakesAddStringMessages) {
  CRig rig;
  CUsbCamera& cam = *rig.camera;
  CMessageRecorder popup;
  std::vector<QString> rows;
  popup.answer = [&](UINT msg, WPARAM, LPARAM l) -> LRESULT {
    if (msg != CB_ADDSTRING) return -1;
    rows.push_back(QString::fromUtf16(reinterpret_cast<const char16_t*>(l)));
    return static_cast<LRESULT>(rows.size()) - 1;
  };
  EXPECT_EQ(cam.GetAllCamera(&popup), 2);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1], QString("Integrated Camera: Integrated C"));
  rows.clear();
  ASSERT_EQ(cam.ReadCameraDPI(0, "MJPG"), 1);
  EXPECT_EQ(cam.GetCurCameraDPIList(&popup), 8);
  EXPECT_EQ(rows.front(), QString("640*480"));
  rows.clear();
  EXPECT_EQ(cam.GetCameraDPITypeList(&popup), 2);
  EXPECT_EQ(rows, (std::vector<QString>{"MJPG", "YUY2"}));

  // Text beyond ASCII arrives intact as UTF-16.
  CAddStringSink sink(&popup);
  EXPECT_EQ(sink.AddString("文档摄像头"), 2);
  EXPECT_EQ(rows.back(), QString::fromUtf8("文档摄像头"));

  // A window that refuses rows, or one that is gone, counts nothing.
  CMessageRecorder refusing;
  refusing.answer = [](UINT, WPARAM, LPARAM) -> LRESULT { return -1; };
  EXPECT_EQ(cam.GetAllCamera(&refusing), 0);
  HWND dead;
  {
    CMessageRecorder gone;
    dead = &gone;
  }
  EXPECT_EQ(cam.GetAllCamera(dead), 0);
}

TEST(UsbCamera, TwoCamerasOfTheSameModelAreToldApart) {
  auto devices = LoadRecorded("two_cameras.txt");
  devices.push_back(devices[0]);
  devices.back().node = "/dev/video8";
  devices.back().persistent = "usb-Acme_Visualizer_A1_SN0043-video-index0";
  CameraTestApp();
  CUsbCamera cam(std::vector<std::shared_ptr<ICameraProvider>>{
      std::make_shared<CV4L2Provider>(std::make_shared<CRecordedV4L2Io>(devices))});
  std::vector<std::string> names;
  ASSERT_EQ(cam.GetCameraList(names), 3);
  EXPECT_EQ(names[0], "Visualizer A1: Visualizer A1");
  EXPECT_EQ(names[1], "Visualizer A1: Visualizer A1 (2)");
}

TEST(UsbCamera, SizesBeyondTheFrameBufferAreNotOffered) {
  CRig rig("capture_card.txt");
  unsigned long value = 0;
  std::string text;
  ASSERT_EQ(rig.camera->ReadCameraDPI(1, value, text), 1);
  EXPECT_EQ(text, "3264*2448");  // 4208*3120 would only ever show black
  ASSERT_EQ(rig.camera->ReadCameraDPI(0, ":"), 1);
  CStringListSink formats;
  EXPECT_EQ(rig.camera->GetCameraDPITypeList(formats), 2);
  EXPECT_EQ(formats.rows.front(), "NV12");
}
