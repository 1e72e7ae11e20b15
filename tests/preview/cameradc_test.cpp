#include "preview/cameradc.h"

#include "contracts/fundara/memory.h"
#include "contracts/fundara/paths.h"
#include "contracts/fundara/thumbs.h"
#include "imaging/bitmap_file.h"
#include "imaging/picture_codec.h"
#include "platform/profile.h"
#include "tests/preview/test_pictures.h"
#include "tests/support/test_app.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

namespace {

QRgb BufferPixel(const CCameraDC& model, int x, int y) { return DCImage(model.GetBufferDC())->pixel(x, y); }

class CameraDCTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Settings and thumbnails of this suite stay in the build tree.
    const fs::path root = fs::path(std::getenv("BREVIO_TEST_TMP")) / "cameradc";
    fs::create_directories(root);
    setenv("HOME", root.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    TestApp();
  }
  void SetUp() override {
    dir_ = fs::path(std::getenv("BREVIO_TEST_TMP")) / "cameradc" /
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  // A model with a client rectangle, fed with one frame.
  static void Feed(CCameraDC& model, Picture& p) {
    ASSERT_EQ(model.SetImageData(p.bytes.data(), p.width, p.height, 24, nullptr), 1);
  }
  fs::path dir_;
};

TEST_F(CameraDCTest, VideoLockRefusesFramesAndKeepsThePicture) {
  CCameraDC model;
  model.MoveWindow(CRect(0, 0, 100, 100), 0);
  Picture red(8, 8);
  red.Fill(255, 0, 0);
  Feed(model, red);
  model.SetVideoLock(1);
  Picture blue(16, 16);
  blue.Fill(0, 0, 255);
  EXPECT_EQ(model.SetImageData(blue.bytes.data(), 16, 16, 24, nullptr), 0);
  EXPECT_EQ(model.GetBufferRect(), CRect(0, 0, 8, 8));
  EXPECT_EQ(BufferPixel(model, 3, 3), qRgb(255, 0, 0));
  model.SetVideoLock(0);
  EXPECT_EQ(model.SetImageData(blue.bytes.data(), 16, 16, 24, nullptr), 1);
  EXPECT_EQ(BufferPixel(model, 3, 3), qRgb(0, 0, 255));
  // Refused input changes nothing.
  EXPECT_EQ(model.SetImageData(nullptr, 16, 16, 24, nullptr), 0);
  EXPECT_EQ(model.SetImageData(blue.bytes.data(), 0, 16, 24, nullptr), 0);
}

TEST_F(CameraDCTest, HotPixelsAreRemovedOnlyWhenSwitchedOn) {
  CCameraDC model;
  Picture p(5, 5);
  p.Fill(100, 100, 100);
  p.Set(2, 2, 255, 255, 255);
  Feed(model, p);
  EXPECT_EQ(BufferPixel(model, 2, 2), qRgb(255, 255, 255));
  model.RemoveHotpixel(1);
  Feed(model, p);
  const int mean = (8 * 100 + 255) / 9;
  EXPECT_EQ(BufferPixel(model, 2, 2), qRgb(mean, mean, mean));
  EXPECT_EQ(p.Px(2, 2)[0], 255);  // the caller's frame is left alone
}

TEST_F(CameraDCTest, BufferHoldsTheFrameTopDownAndPaletteFramesUseTheirPalette) {
  CCameraDC model;
  Picture p = Gradient(6, 5);  // width not a multiple of 4: padded rows
  Feed(model, p);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(BufferPixel(model, x, y), qRgb(x, y, 77)) << x << "," << y;

  std::vector<BYTE> indices(PictureSize(3, 2, 8), 0);
  indices[0] = 1;  // bottom-left pixel
  tagRGBQUAD palette[256] = {};
  palette[1].rgbRed = 200;
  palette[1].rgbBlue = 10;
  ASSERT_EQ(model.SetImageData(indices.data(), 3, 2, 8, palette), 1);
  EXPECT_EQ(BufferPixel(model, 0, 1), qRgb(200, 0, 10));
  EXPECT_EQ(BufferPixel(model, 0, 0), qRgb(0, 0, 0));
}

TEST_F(CameraDCTest, CutRectangleShowsItsPartAndCutOffShowsTheWholeFrame) {
  CCameraDC model;
  model.MoveWindow(CRect(0, 0, 40, 30), 0);
  Picture p = Gradient(40, 30);
  Feed(model, p);
  ASSERT_EQ(model.GetZoom(), 100);
  ASSERT_EQ(model.GetImageRect(), CRect(0, 0, 40, 30));
  model.SetVideoCutRect(CRect(10, 5, 30, 25));
  EXPECT_EQ(model.GetCutMode(), 2);
  EXPECT_EQ(model.GetCrop(), CRect(10, 5, 30, 25));  // bottom-left origin: 30 - 25 = 5
  EXPECT_EQ(model.GetBufferRect(), CRect(0, 0, 20, 20));
  EXPECT_EQ(BufferPixel(model, 0, 0), qRgb(10, 5, 77));
  // A camera frame arriving keeps the user rectangle.
  Feed(model, p);
  EXPECT_EQ(model.GetCrop(), CRect(10, 5, 30, 25));
  EXPECT_EQ(model.OpenCutBlackSide(0), 1);
  EXPECT_EQ(model.GetCutMode(), 0);
  EXPECT_EQ(model.GetBufferRect(), CRect(0, 0, 40, 30));
  EXPECT_EQ(BufferPixel(model, 0, 0), qRgb(0, 0, 77));
}

TEST_F(CameraDCTest, FourQuarterTurnsRestoreAngleCropAndPixels) {
  CCameraDC model;
  model.MoveWindow(CRect(0, 0, 12, 8), 0);  // zoom 100
  Picture p = Gradient(12, 8);
  Feed(model, p);
  model.SetVideoCutRect(CRect(2, 1, 9, 5));
  const CRect crop = model.GetCrop();
  const std::vector<BYTE> before(model.GetFrame(), model.GetFrame() + p.bytes.size());
  model.RotationCamera(1);
  EXPECT_EQ(model.GetRotationAngle(), -90);
  EXPECT_EQ(model.GetRotationState(), 1);
  EXPECT_EQ(model.GetFrameWidth(), 8);
  // The shown part is the same pixels turned: its top-left was the crop's bottom-left.
  EXPECT_EQ(model.GetBufferRect().Width(), crop.Height());
  EXPECT_EQ(BufferPixel(model, 0, 0), qRgb(crop.left, p.height - crop.top - 1, 77));
  for (int i = 0; i < 3; ++i) model.RotationCamera(1);
  EXPECT_EQ(model.GetRotationAngle(), 0);
  EXPECT_EQ(model.GetRotationState(), 0);
  EXPECT_EQ(model.GetCrop(), crop);
  EXPECT_EQ(std::vector<BYTE>(model.GetFrame(), model.GetFrame() + before.size()), before);

  model.RotationCamera(-1);
  EXPECT_EQ(model.GetRotationAngle(), 90);
  EXPECT_EQ(model.GetRotationState(), 3);
  model.RotationCamera(1);
  EXPECT_EQ(model.GetCrop(), crop);

  model.RotationCamera(2);
  EXPECT_EQ(model.GetRotationState(), 4);
  model.RotationCamera(2);
  EXPECT_EQ(model.GetCrop(), crop);
  EXPECT_EQ(std::vector<BYTE>(model.GetFrame(), model.GetFrame() + before.size()), before);
  model.RotationCamera(3);
  EXPECT_EQ(model.GetCrop(), CRect(12 - crop.right, crop.top, 12 - crop.left, crop.bottom));
  model.RotationCamera(7);  // unknown command
  EXPECT_EQ(model.GetRotationState(), 5);
}

TEST_F(CameraDCTest, AngleOfLaterFramesStaysWithinHalfATurn) {
  CCameraDC model;
  Picture p = Gradient(10, 6);
  Feed(model, p);
  model.RotationCamera(1);
  model.RotationCamera(1);
  model.RotationCamera(1);
  EXPECT_EQ(model.GetRotationAngle(), 90);  // -270 + 360
  Feed(model, p);  // later frames are turned by the angle
  EXPECT_EQ(model.GetBufferRect(), CRect(0, 0, 6, 10));
}

// The frame a model shows, with its size.
std::vector<BYTE> FrameBytes(const CCameraDC& model) {
  const BYTE* f = model.GetFrame();
  return f ? std::vector<BYTE>(f, f + PictureSize(model.GetFrameWidth(), model.GetFrameHeight(), 24))
           : std::vector<BYTE>();
}

// Each free angle turns the picture as it was before any free angle, so a
// series of angles ends where the last angle alone would; quarter turns in
// between count as they do on a fresh picture.
TEST_F(CameraDCTest, FreeAnglesDoNotCompound) {
  Picture p = Gradient(40, 24);
  struct Step {
    int kind;  // 0 free angle, 1 quarter-turn command
    int value;
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;   // on a frozen frame
    std::vector<Step> fresh;   // the same end on a fresh one
  };
  const Case cases[] = {
      {"30 then 40", {{0, 30}, {0, 40}}, {{0, 40}}},
      {"back to 0", {{0, 30}, {0, -75}, {0, 0}}, {}},
      {"across the half turn", {{0, 170}, {0, -170}}, {{0, -170}}},
      {"a quarter turn between", {{0, 30}, {1, 1}, {0, 40}}, {{1, 1}, {0, 40}}},
  };
  auto run = [&](CCameraDC& model, const std::vector<Step>& steps) {
    Feed(model, p);
    model.SetVideoLock(1);
    for (const Step& s : steps) {
      if (s.kind == 0) EXPECT_EQ(model.RotationCameraEx(s.value), 1);
      else model.RotationCamera(s.value);
    }
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CCameraDC turned, fresh;
    run(turned, c.steps);
    run(fresh, c.fresh);
    EXPECT_EQ(turned.GetRotationAngle(), fresh.GetRotationAngle());
    EXPECT_EQ(turned.GetFrameWidth(), fresh.GetFrameWidth());
    EXPECT_EQ(turned.GetFrameHeight(), fresh.GetFrameHeight());
    EXPECT_EQ(turned.GetCrop(), fresh.GetCrop());
    EXPECT_TRUE(FrameBytes(turned) == FrameBytes(fresh));
  }
  // A frame that came in turned (the angle was set first) and was frozen
  // turns from the frame as it came.
  CCameraDC live, fresh;
  EXPECT_EQ(live.RotationCameraEx(30), 0);  // no frame yet: only the angle
  Feed(live, p);
  live.SetVideoLock(1);
  ASSERT_EQ(live.RotationCameraEx(40), 1);
  fresh.RotationCameraEx(40);
  Feed(fresh, p);
  EXPECT_EQ(live.GetFrameWidth(), fresh.GetFrameWidth());
  EXPECT_TRUE(FrameBytes(live) == FrameBytes(fresh));
  // A new frame starts afresh at the current angle.
  live.SetVideoLock(0);
  Feed(live, p);
  EXPECT_TRUE(FrameBytes(live) == FrameBytes(fresh));
}

TEST_F(CameraDCTest, ResolutionTextCountsDownOnePerPaint) {
  QImage surface(400, 300, kCanvasFormat);
  CCameraDC model;
  model.SetDC(&surface);
  model.ShowCameraDC(1);
  model.MoveWindow(CRect(0, 0, 400, 300), 0);
  model.SetShowDPI(1);
  Picture p(2000, 4);
  Feed(model, p);  // the first paint already used one
  EXPECT_EQ(model.GetResolutionCountdown(), 4);
  for (int i = 0; i < 6; ++i) model.DoDraw(nullptr);
  EXPECT_EQ(model.GetResolutionCountdown(), 0);
  // The same size again does not restart it.
  Feed(model, p);
  EXPECT_EQ(model.GetResolutionCountdown(), 0);
}

TEST_F(CameraDCTest, ZoomRulesFitAndClampAndNotify) {
  CMessageRecorder owner;
  CCameraDC model;
  model.SetHwnd(&owner);
  model.SetPage(3);
  model.MoveWindow(CRect(0, 0, 1280, 720), 0);
  Picture p(640, 480);
  Feed(model, p);
  EXPECT_EQ(model.GetZoom(), 150);
  EXPECT_EQ(model.GetImageRect(), CRect(160, 0, 1120, 720));
  ASSERT_TRUE(owner.WaitFor(WM_UPDATE_ZOOM));
  EXPECT_EQ(owner.Messages().back().wParam, 150u);
  EXPECT_EQ(owner.Messages().back().lParam, 3);

  model.SetCameraSize(500, 0);
  EXPECT_EQ(model.GetZoom(), 200);
  EXPECT_EQ(model.GetImageRect(), CRect(0, -120, 1280, 840));  // centred on (640, 360)
  model.SetCameraSize(0, 0);
  EXPECT_EQ(model.GetZoom(), 1);
  model.SuitableWidth(0);
  EXPECT_EQ(model.GetZoom(), 200);
  model.RealitySize(0);
  EXPECT_EQ(model.GetImageRect(), CRect(320, 120, 960, 600));
  EXPECT_EQ(model.SuitableZoom(), 50);

  // A new size keeps the zoom (the rule is ZOOM_KEEP) until it is reset.
  Picture twice(1280, 960);
  Feed(model, twice);
  EXPECT_EQ(model.GetZoom(), 50);
  model.ReSetZoom();
  model.MoveWindow(CRect(0, 0, 100, 100), 0);
  Picture big(4000, 3000);
  Feed(model, big);
  EXPECT_EQ(model.GetZoom(), 2);
  EXPECT_EQ(model.GetImageRect(), CRect(10, 20, 90, 80));
}

TEST_F(CameraDCTest, KeepRulesFollowTheShownSize) {
  CCameraDC model;
  model.MoveWindow(CRect(0, 0, 800, 600), 0);
  model.SetImageZoomType(ZOOM_KEEPWIDTH);
  Picture p(400, 300);
  Feed(model, p);
  EXPECT_EQ(model.GetZoom(), 200);  // first frame: fit
  Picture wide(800, 100);
  Feed(model, wide);  // the shown width (800) is kept
  EXPECT_EQ(model.GetZoom(), 100);
  EXPECT_EQ(model.GetImageRect(), CRect(0, 250, 800, 350));
  model.SetImageZoomType(ZOOM_KEEPHEIGHT);
  Picture tall(100, 50);
  Feed(model, tall);  // the shown height (100) is kept
  EXPECT_EQ(model.GetZoom(), 200);
  EXPECT_EQ(model.GetImageRect(), CRect(300, 250, 500, 350));
}

TEST_F(CameraDCTest, WheelNotchAddsOneOrRemovesTwo) {
  CCameraDC model;
  model.MoveWindow(CRect(0, 0, 200, 200), 0);
  Picture p(100, 100);
  Feed(model, p);
  model.SetCameraSize(100, 0);
  EXPECT_EQ(model.OnMouseWheel(0, 120, CPoint(50, 50)), 1);
  EXPECT_EQ(model.GetZoom(), 101);
  model.SetCameraSize(100, 0);
  EXPECT_EQ(model.OnMouseWheel(0, -120, CPoint(50, 50)), 1);
  EXPECT_EQ(model.GetZoom(), 98);
  EXPECT_EQ(model.OnMouseWheel(0, 120, CPoint(500, 50)), 0);
  EXPECT_EQ(model.GetZoom(), 98);
}

TEST_F(CameraDCTest, DraggingMovesThePictureUntilThePointerLeavesIt) {
  CCameraDC model;
  model.MoveWindow(CRect(0, 0, 200, 200), 0);
  Picture p(100, 100);
  Feed(model, p);
  const CRect start = model.GetImageRect();  // 200 % fills the client
  EXPECT_EQ(model.OnLButtonDown(0, CPoint(50, 50)), 1);
  EXPECT_EQ(model.OnMouseMove(0, CPoint(60, 45)), 1);
  CRect moved = start;
  moved.OffsetRect(10, -5);
  EXPECT_EQ(model.GetImageRect(), moved);
  EXPECT_EQ(model.OnMouseMove(0, CPoint(5, 195)), 0);  // outside the picture now
  EXPECT_EQ(model.OnMouseMove(0, CPoint(100, 100)), 1);
  EXPECT_EQ(model.GetImageRect(), moved);  // the drag has ended
}

TEST_F(CameraDCTest, AdjustmentsOnlyWithoutACamera) {
  CCameraDC model;
  Picture p(4, 4);
  p.Fill(100, 100, 100);
  EXPECT_EQ(model.SetLuminosity(50), 0);  // no frame yet
  Feed(model, p);
  model.SetDriveId(0);
  EXPECT_EQ(model.SetLuminosity(50), 0);
  EXPECT_EQ(model.SetToneRGB(0, 0, 0), 0);
  EXPECT_EQ(model.GetLuminosity(), 255);
  EXPECT_EQ(BufferPixel(model, 1, 1), qRgb(100, 100, 100));
  model.SetDriveId(kNoCameraDrive);
  EXPECT_EQ(model.SetLuminosity(50), 1);
  EXPECT_EQ(model.GetLuminosity(), 50);
  EXPECT_EQ(BufferPixel(model, 1, 1), qRgb(150, 150, 150));
  // The stored frame stays untouched.
  EXPECT_EQ(model.GetFrame()[0], 100);
}

TEST_F(CameraDCTest, ShowModesChangeTheShownPictureOnly) {
  CCameraDC model;
  Picture p(5, 3);
  p.Fill(200, 40, 10);
  Feed(model, p);
  model.SetShowMode(SHOW_GRAY);
  const QRgb grey = BufferPixel(model, 2, 1);
  EXPECT_EQ(qRed(grey), qGreen(grey));
  EXPECT_EQ(qGreen(grey), qBlue(grey));
  EXPECT_EQ(qRed(grey), static_cast<int>(0.59 * 40 + 0.30 * 200 + 0.11 * 10));
  model.SetShowMode(SHOW_REVERSED);
  EXPECT_EQ(BufferPixel(model, 2, 1), qRgb(55, 215, 245));
  model.SetShowMode(SHOW_BLACKWHITE);
  const QRgb bw = BufferPixel(model, 2, 1);
  EXPECT_TRUE(bw == qRgb(0, 0, 0) || bw == qRgb(255, 255, 255));
  model.SetShowMode(SHOW_NONE);  // ignored
  EXPECT_EQ(model.GetShowMode(), SHOW_BLACKWHITE);
  model.SetShowMode(SHOW_NORMAL);
  EXPECT_EQ(BufferPixel(model, 2, 1), qRgb(200, 40, 10));
  EXPECT_EQ(model.GetFrame()[2], 200);
}

TEST_F(CameraDCTest, StillPictureEditsCanBeUndoneAndRedone) {
  const std::string path = (dir_ / "still.bmp").string();
  Picture p = Gradient(8, 6);
  ASSERT_TRUE(WriteBitmapFile(path, p.bytes.data(), 8, 6, 24, nullptr));
  CCameraDC model;
  model.SetDriveId(2);
  ASSERT_EQ(model.LoadImageData(path), 1);
  EXPECT_EQ(model.GetVideoLock(), 1);
  EXPECT_EQ(model.GetDriveId(), kNoCameraDrive);
  EXPECT_EQ(model.GetHistory().GetLen(), 1);
  EXPECT_EQ(model.RecordCanUndo(), 0);
  model.RotationCamera(1);
  EXPECT_EQ(model.SetLuminosity(20), 1);
  EXPECT_EQ(model.GetHistory().GetLen(), 3);
  EXPECT_EQ(model.RecordUndo(), 1);
  EXPECT_EQ(model.GetLuminosity(), 0);
  EXPECT_EQ(model.GetFrameWidth(), 6);
  EXPECT_EQ(model.RecordUndo(), 1);
  EXPECT_EQ(model.GetFrameWidth(), 8);
  EXPECT_EQ(model.RecordUndo(), 0);
  EXPECT_EQ(model.RecordRedo(), 1);
  EXPECT_EQ(model.GetBufferRect(), CRect(0, 0, 6, 8));
  EXPECT_EQ(model.LoadImageData((dir_ / "missing.png").string()), 0);
  EXPECT_EQ(model.IsEmpty(), 1);
}

std::vector<unsigned char> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

LONG Le32(const std::vector<unsigned char>& b, size_t at) {
  return static_cast<LONG>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<unsigned>(b[at + 3]) << 24));
}

TEST_F(CameraDCTest, SavesFollowTheExtensionAndBitmapsCarryTheOutputDpi) {
  CCameraDC model;
  Picture p = Gradient(7, 5);
  Feed(model, p);
  const fs::path bmp = dir_ / "shown.bmp";
  ASSERT_EQ(model.SaveJpegFile(bmp.string()), 1);
  auto bytes = ReadAll(bmp);
  ASSERT_GE(bytes.size(), 54u);
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  EXPECT_EQ(Le32(bytes, 10), 54);
  EXPECT_EQ(bytes[28], 24);
  EXPECT_EQ(Le32(bytes, 38), 11812);
  EXPECT_EQ(Le32(bytes, 42), 11812);
  EXPECT_TRUE(CThumbs::IsThumbFresh(bmp.string()));
  CBitmapPicture back;
  ASSERT_TRUE(ReadBitmapFile(bmp.string(), back));
  EXPECT_EQ(std::vector<BYTE>(back.data, back.data + back.ByteSize()), p.bytes);

  const fs::path jpg = dir_ / "shown.jpg";
  ASSERT_EQ(model.SaveJpegFile(jpg.string()), 1);
  bytes = ReadAll(jpg);
  ASSERT_GE(bytes.size(), 3u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xD8);
  const fs::path png = dir_ / "shown.png";
  ASSERT_EQ(model.SaveJpegFile(png.string()), 1);
  bytes = ReadAll(png);
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes[1], 'P');

  // The configured dpi.
  ASSERT_TRUE(WritePrivateProfileString("output", "bmpDPIX", "96", GetCameraConfig()));
  ASSERT_EQ(model.SaveJpegFile(bmp.string()), 1);
  bytes = ReadAll(bmp);
  EXPECT_EQ(Le32(bytes, 38), static_cast<LONG>(96 / 0.0254 + 1));
  EXPECT_EQ(Le32(bytes, 42), 11812);
  WritePrivateProfileString("output", "bmpDPIX", nullptr, GetCameraConfig());

  CCameraDC empty;
  EXPECT_EQ(empty.SaveJpegFile((dir_ / "none.jpg").string()), 0);
  EXPECT_FALSE(fs::exists(dir_ / "none.jpg"));
  EXPECT_EQ(model.SaveJpegFile((dir_ / "no-such-folder" / "x.jpg").string()), 0);
}

TEST_F(CameraDCTest, SaveBmpFileTakesOnlyColourDepths) {
  CCameraDC model;
  Picture p = Gradient(3, 2);
  const fs::path bmp = dir_ / "raw.bmp";
  EXPECT_EQ(model.SaveBmpFile(bmp.string(), 3, 2, p.bytes.data(), 300, 300, 8), 0);
  EXPECT_FALSE(fs::exists(bmp));
  ASSERT_EQ(model.SaveBmpFile(bmp.string(), 3, 2, p.bytes.data(), 300, 72, 24), 1);
  const auto bytes = ReadAll(bmp);
  EXPECT_EQ(Le32(bytes, 38), 11812);
  EXPECT_EQ(Le32(bytes, 42), 2835);
}

TEST_F(CameraDCTest, TwoBitmapsAreJoinedOnWhite) {
  CCameraDC model;
  QImage a(4, 2, QImage::Format_RGB32), b(2, 6, QImage::Format_RGB32);
  a.fill(qRgb(255, 0, 0));
  b.fill(qRgb(0, 0, 255));
  const fs::path side = dir_ / "side.bmp";
  ASSERT_EQ(model.SaveJpegFile(side.string(), &a, &b, 0), 1);
  QImage joined(QString::fromStdString(side.string()));
  ASSERT_EQ(joined.size(), QSize(6, 6));
  EXPECT_EQ(joined.pixel(0, 0), qRgb(255, 255, 255));
  EXPECT_EQ(joined.pixel(0, 2), qRgb(255, 0, 0));  // centred vertically: rows 2-3
  EXPECT_EQ(joined.pixel(5, 0), qRgb(0, 0, 255));
  const fs::path stacked = dir_ / "stacked.bmp";
  ASSERT_EQ(model.SaveJpegFile(stacked.string(), &a, &b, 1), 1);
  joined = QImage(QString::fromStdString(stacked.string()));
  ASSERT_EQ(joined.size(), QSize(4, 8));
  EXPECT_EQ(joined.pixel(0, 1), qRgb(255, 0, 0));
  EXPECT_EQ(joined.pixel(0, 4), qRgb(255, 255, 255));
  EXPECT_EQ(joined.pixel(1, 4), qRgb(0, 0, 255));  // centred horizontally: columns 1-2
}

TEST_F(CameraDCTest, ClientRectanglesMapIntoFrameAndBuffer) {
  CCameraDC model;
  model.MoveWindow(CRect(0, 0, 40, 40), 0);
  Picture p = Gradient(80, 40);
  Feed(model, p);  // zoom 50, image (0, 10, 40, 30)
  ASSERT_EQ(model.GetZoom(), 50);
  ASSERT_EQ(model.GetImageRect(), CRect(0, 10, 40, 30));
  BYTE* data = nullptr;
  int w = 0, h = 0, d = 0;
  ASSERT_EQ(model.GetVideoData(CRect(5, 10, 15, 20), data, w, h, d), 1);
  EXPECT_EQ(w, 20);
  EXPECT_EQ(h, 20);
  EXPECT_EQ(d, 24);
  // Top row of the part is frame row 0 seen from the top: red = x, green = y.
  const BYTE* top = data + PictureStride(20, 24) * 19;
  EXPECT_EQ(top[2], 10);
  EXPECT_EQ(top[1], 0);
  EXPECT_EQ(model.GetVideoData(CRect(0, 0, 40, 5), data, w, h, d), 0);  // beside the picture
  DelMem(data);
  data = nullptr;

  QImage* part = model.GetVideoBitmap(CRect(20, 20, 40, 40));
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(part->size(), QSize(40, 20));
  EXPECT_EQ(part->pixel(0, 0), qRgb(40, 20, 77));
  delete part;
  QImage* whole = model.GetVideoBitmap(CRect());
  ASSERT_NE(whole, nullptr);
  EXPECT_EQ(whole->size(), QSize(80, 40));
  delete whole;

  // After a quarter turn the frame is 40 x 80 and the mapping follows it.
  model.RotationCamera(1);
  model.SuitableSize(0);
  ASSERT_EQ(model.GetZoom(), 50);
  ASSERT_EQ(model.GetImageRect(), CRect(10, 0, 30, 40));
  ASSERT_EQ(model.GetVideoData(CRect(10, 0, 11, 1), data, w, h, d), 1);
  EXPECT_EQ(w, 2);
  EXPECT_EQ(h, 2);
  // Turned clockwise: the top-left pixel was the old bottom-left one.
  const BYTE* first = data + PictureStride(2, 24) * 1;
  EXPECT_EQ(first[2], 0);
  EXPECT_EQ(first[1], 39);
  DelMem(data);
}

// ---- Painting, checked on pixels ----

class CameraDCPaintTest : public CameraDCTest {
 protected:
  void SetUp() override {
    CameraDCTest::SetUp();
    surface_ = QImage(300, 200, kCanvasFormat);
    surface_.fill(qRgb(1, 2, 3));
    model_.SetDC(&surface_);
    model_.ShowCameraDC(1);
  }
  int Count(const CRect& r, auto pred) const {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) n += pred(surface_.pixel(x, y)) ? 1 : 0;
    return n;
  }
  QImage surface_;
  CCameraDC model_;
};

TEST_F(CameraDCPaintTest, NothingIsPaintedWhileHidden) {
  model_.ShowCameraDC(0);
  model_.MoveWindow(CRect(0, 0, 300, 200), 1);
  EXPECT_EQ(surface_.pixel(150, 100), qRgb(1, 2, 3));
  EXPECT_TRUE(model_.GetSafeArea().IsRectEmpty());
}

TEST_F(CameraDCPaintTest, BackgroundAndPictureAtTheFittedPlace) {
  model_.MoveWindow(CRect(50, 20, 250, 180), 0);
  Picture p(100, 40);
  p.Fill(10, 200, 30);
  Feed(model_, p);  // zoom 200: 200 x 80 at (50, 60)
  EXPECT_EQ(model_.GetImageRect(), CRect(50, 60, 250, 140));
  EXPECT_EQ(surface_.pixel(10, 10), qRgb(1, 2, 3));     // outside the client rectangle
  EXPECT_EQ(surface_.pixel(150, 40), qRgb(236, 239, 243));  // background
  EXPECT_EQ(surface_.pixel(150, 100), qRgb(10, 200, 30));
  EXPECT_EQ(surface_.pixel(150, 139), qRgb(10, 200, 30));
  EXPECT_EQ(surface_.pixel(150, 141), qRgb(236, 239, 243));
  EXPECT_EQ(model_.GetSafeArea(), CRect(50, 60, 250, 140));

  // Zoomed past the client rectangle the picture is clipped to it.
  model_.SetCameraSize(200, 0);
  model_.MoveImage(CSize(-150, 0));
  model_.DoDraw(nullptr);
  EXPECT_EQ(surface_.pixel(60, 100), qRgb(10, 200, 30));
  EXPECT_EQ(surface_.pixel(120, 100), qRgb(236, 239, 243));
  EXPECT_EQ(surface_.pixel(40, 100), qRgb(1, 2, 3));

  model_.OpenBg(0);
  surface_.fill(qRgb(1, 2, 3));
  model_.DoDraw(nullptr);
  EXPECT_EQ(surface_.pixel(150, 40), qRgb(1, 2, 3));
}

// The etched edge as the painter draws it: the background, then the
// groove's lines, both end points included.
QImage PaintedEdge(QImage surface, const CRect& c, QRgb background) {
  QPainter p(&surface);
  p.fillRect(ToQRect(c), QColor::fromRgb(background));
  const int l = c.left, t = c.top, r = c.right - 1, b = c.bottom - 1;
  p.setPen(QColor(160, 160, 160));
  p.drawLine(l, t, r - 1, t);
  p.drawLine(l, t, l, b - 1);
  p.drawLine(r - 1, t + 1, r - 1, b - 1);
  p.drawLine(l + 1, b - 1, r - 1, b - 1);
  p.setPen(QColor(255, 255, 255));
  p.drawLine(l + 1, t + 1, r - 2, t + 1);
  p.drawLine(l + 1, t + 1, l + 1, b - 2);
  p.drawLine(r, t, r, b);
  p.drawLine(l, b, r, b);
  return surface;
}

// Client rectangles inside the surface take the direct pixel path, those
// too small or reaching past the surface the painter: the same pixels.
TEST_F(CameraDCPaintTest, EtchedEdgeIsThePaintersGroove) {
  const CRect clients[] = {CRect(0, 0, 300, 200), CRect(5, 7, 100, 60), CRect(0, 0, 4, 4),   CRect(20, 30, 24, 131),
                           CRect(3, 3, 6, 6),     CRect(0, 0, 1, 1),    CRect(280, 150, 340, 260), CRect(-5, -5, 40, 40)};
  for (const CRect& c : clients) {
    surface_.fill(qRgb(1, 2, 3));
    const QImage expect = PaintedEdge(surface_, c, qRgb(236, 239, 243));
    model_.MoveWindow(c, 0);
    model_.DrawBg(&surface_);
    EXPECT_EQ(surface_, expect) << c.left << "," << c.top << " " << c.Width() << "x" << c.Height();
  }
  // Over a picture filling the client the groove is drawn once, after it.
  Picture p(100, 40);
  p.Fill(10, 200, 30);
  model_.MoveWindow(CRect(0, 0, 200, 80), 0);
  surface_.fill(qRgb(1, 2, 3));
  Feed(model_, p);
  QImage expect(surface_.size(), surface_.format());
  expect.fill(qRgb(1, 2, 3));
  expect = PaintedEdge(expect, CRect(0, 0, 200, 80), qRgb(10, 200, 30));
  EXPECT_EQ(surface_, expect);
}

TEST_F(CameraDCPaintTest, TipTextPageNumberAndWaitingDots) {
  model_.MoveWindow(CRect(0, 0, 300, 200), 0);
  model_.SetTipString(QString::fromUtf8("没有信号"));
  model_.SetPage(7);
  model_.DoDraw(nullptr);
  auto red = [](QRgb c) { return qRed(c) > 200 && qGreen(c) < 80 && qBlue(c) < 80; };
  auto dark = [](QRgb c) { return qRed(c) < 100 && qGreen(c) < 100 && qBlue(c) < 100; };
  EXPECT_GT(Count(CRect(0, 70, 300, 130), red), 20);
  EXPECT_GT(Count(CRect(281, 181, 299, 199), dark), 3);

  model_.SetTipString(QString());
  model_.SetPage(0);
  surface_.fill(qRgb(1, 2, 3));
  model_.DoDraw(nullptr);
  const int one = Count(CRect(0, 0, 300, 200), red);
  model_.DoDraw(nullptr);
  model_.DoDraw(nullptr);
  const int three = Count(CRect(0, 0, 300, 200), red);
  EXPECT_GT(one, 0);
  EXPECT_GT(three, one);  // more dots
  EXPECT_EQ(Count(CRect(0, 0, 40, 200), red), 0);  // dots start 100 left of the centre
  EXPECT_EQ(Count(CRect(281, 181, 299, 199), dark), 0);

  // A picture clears the tip text.
  model_.SetTipString(QString::fromUtf8("x"));
  Picture p(10, 10);
  Feed(model_, p);
  model_.ClearData();
  surface_.fill(qRgb(1, 2, 3));
  model_.DoDraw(nullptr);
  EXPECT_GT(Count(CRect(45, 0, 70, 200), red), 0);  // the dots again, not the centred tip
}

TEST_F(CameraDCPaintTest, ResolutionTextIsGreenOverThePicture) {
  model_.MoveWindow(CRect(0, 0, 300, 200), 0);
  model_.SetShowDPI(1);
  Picture p(300, 200);
  Feed(model_, p);  // black picture filling the client
  auto green = [](QRgb c) { return qGreen(c) > 200 && qRed(c) < 80; };
  EXPECT_GT(Count(CRect(0, 60, 300, 140), green), 20);
  model_.SetVideoLock(1);
  model_.DoDraw(nullptr);
  EXPECT_EQ(Count(CRect(0, 60, 300, 140), green), 0);
}

}  // namespace

namespace {

TEST_F(CameraDCTest, PaintShrinksThePictureInTheTargetsStretchMode) {
  // One-pixel black and white squares shown at half size: whole pixels keep
  // the two colours, the halftone target shows them averaged to grey.
  Picture checker(200, 200);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 200; ++x) {
      const BYTE v = (x + y) % 2 ? 255 : 0;
      checker.Set(x, y, v, v, v);
    }
  const struct {
    int mode;
    bool grey;
  } cases[] = {{COLORONCOLOR, false}, {HALFTONE, true}};
  for (const auto& c : cases) {
    CBufferDC window;
    window.CreateBufferDC(nullptr, CRect(0, 0, 100, 100));
    SetStretchBltMode(window.GetBufferDC(), c.mode);
    CCameraDC model;
    model.SetDC(window.GetBufferDC());
    model.ShowCameraDC(1);
    model.MoveWindow(CRect(0, 0, 100, 100), 0);
    Feed(model, checker);  // fitted: zoom 50
    ASSERT_EQ(model.GetImageRect(), CRect(0, 0, 100, 100));
    model.DoDraw(nullptr);
    int grey = 0, pure = 0;
    const QImage& shown = *DCImage(window.GetBufferDC());
    for (int y = 10; y < 90; ++y)
      for (int x = 10; x < 90; ++x) {
        const int g = qGreen(shown.pixel(x, y));
        grey += g >= 126 && g <= 129;
        pure += g == 0 || g == 255;
      }
    EXPECT_EQ(grey, c.grey ? 80 * 80 : 0) << c.mode;
    EXPECT_EQ(pure, c.grey ? 0 : 80 * 80) << c.mode;
  }
}

// Near: within `tol` pixels.
bool Near(long a, long b, long tol) { return a >= b - tol && a <= b + tol; }

TEST_F(CameraDCTest, CutModeOneOnABlackBorderFindsThePage) {
  CCameraDC model;
  model.MoveWindow(CRect(0, 0, 320, 240), 0);
  Picture p = Page(320, 240, CRect(60, 40, 260, 200), 0);
  Feed(model, p);
  ASSERT_EQ(model.OpenCutBlackSide(1), 1);
  EXPECT_EQ(model.GetCutMode(), 1);
  // Bottom-left origin: the page's rows 40..200 from the top are 40..200 from the bottom.
  const CRect crop = model.GetCrop();
  EXPECT_TRUE(Near(crop.left, 60, 3) && Near(crop.right, 260, 3) && Near(crop.top, 40, 3) && Near(crop.bottom, 200, 3));
  EXPECT_EQ(model.GetBufferRect(), CRect(0, 0, crop.Width(), crop.Height()));
  EXPECT_EQ(BufferPixel(model, crop.Width() / 2, crop.Height() / 2), qRgb(250, 250, 250));
  // Later frames are cut the same way as they arrive.
  Feed(model, p);
  EXPECT_EQ(model.GetCrop(), crop);
  // A frame without a page is still shown (nearly) whole.
  Picture dark(320, 240);
  Feed(model, dark);
  EXPECT_GT(model.GetBufferRect().Width(), 300);
  EXPECT_GT(model.GetBufferRect().Height(), 220);

  // Searched inside a user rectangle, the page comes back in frame pixels.
  CCameraDC cut;
  cut.MoveWindow(CRect(0, 0, 320, 240), 0);
  Feed(cut, p);
  cut.SetVideoCutRect(CRect(20, 10, 300, 230));
  ASSERT_EQ(cut.GetCrop(), CRect(20, 10, 300, 230));
  ASSERT_EQ(cut.OpenCutBlackSide(1), 1);
  EXPECT_EQ(cut.GetCrop(), crop);
  EXPECT_EQ(cut.OpenCutBlackSide(0), 1);
  EXPECT_EQ(cut.GetCrop(), CRect(0, 0, 320, 240));
}

TEST_F(CameraDCTest, PageCorrectionStraightensTheFrameAndLaterFrames) {
  CDataHandler h;
  CCameraDC model;
  model.MoveWindow(CRect(0, 0, 320, 240), 0);
  Picture p = Page(320, 240, CRect(70, 50, 250, 190), 8);
  const float skew = h.CheckRotatePictureEx(p.bytes.data(), 320, 240, 24, nullptr);
  ASSERT_GT(std::fabs(skew), 0.05f);
  Feed(model, p);
  EXPECT_EQ(model.OpenCorrect(0), 1);  // only the flag
  EXPECT_EQ(std::memcmp(model.GetFrame(), p.bytes.data(), p.bytes.size()), 0);
  ASSERT_EQ(model.OpenCorrect(1), 1);
  EXPECT_EQ(model.GetCorrect(), 1);
  auto residual = [&] {
    return std::fabs(h.CheckRotatePictureEx(model.GetFrame(), model.GetFrameWidth(), model.GetFrameHeight(), 24,
                                            nullptr));
  };
  EXPECT_LT(residual(), std::fabs(skew) / 4);
  EXPECT_EQ(model.GetCrop(), CRect(0, 0, model.GetFrameWidth(), model.GetFrameHeight()));
  // Frames arriving while it is on are straightened too.
  Feed(model, p);
  EXPECT_LT(residual(), std::fabs(skew) / 4);
  EXPECT_EQ(model.GetCrop(), CRect(0, 0, model.GetFrameWidth(), model.GetFrameHeight()));
  CCameraDC empty;
  EXPECT_EQ(empty.OpenCorrect(1), 0);
  EXPECT_EQ(empty.OpenCutBlackSide(1), 0);
}

TEST_F(CameraDCTest, GreenFrameFindsThePageAndSavesItStraightened) {
  CCameraDC model;
  _SEGMENT none[4];
  EXPECT_EQ(model.GetDestArea(none), 0);  // no buffer
  EXPECT_EQ(model.SaveGreenFrame((dir_ / "none.bmp").string()), 0);
  model.MoveWindow(CRect(0, 0, 640, 480), 0);
  Picture p = Page(640, 480, CRect(120, 80, 520, 400), 6);
  Feed(model, p);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(model.GetGreenSegments()[i].x1, -1);  // off: nothing searched
  ASSERT_EQ(model.OpenGreenFrame(1), 1);
  const _SEGMENT* s = model.GetGreenSegments();
  // The page's corners (top-down pixels): its upright corners turned by 6 degrees.
  const double a = 6 * 3.14159265358979 / 180.0;
  auto isCorner = [&](int x, int y) {
    for (const auto& [ux, uy] : {std::pair{-200, -160}, {200, -160}, {200, 160}, {-200, 160}}) {
      const double cx = 320 + ux * std::cos(a) - uy * std::sin(a), cy = 240 + ux * std::sin(a) + uy * std::cos(a);
      if (std::fabs(x - cx) <= 8 && std::fabs(y - cy) <= 8) return true;
    }
    return false;
  };
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(isCorner(s[i].x1, s[i].y1)) << i << ": " << s[i].x1 << ", " << s[i].y1;
    EXPECT_TRUE(isCorner(s[i].x2, s[i].y2)) << i << ": " << s[i].x2 << ", " << s[i].y2;
  }
  EXPECT_NE(s[0].x1 * 10000 + s[0].y1, s[0].x2 * 10000 + s[0].y2);  // a side, not a point
  const std::string straight = (dir_ / "page.bmp").string();
  ASSERT_EQ(model.SaveJpegFileEx(straight), 1);
  CBitmapPicture saved;
  ASSERT_TRUE(ReadPictureBuffer(straight, saved));
  // The page, upright: 400 x 320 give or take its edge.
  EXPECT_TRUE(Near(saved.width, 400, 8) && Near(saved.height, 320, 8)) << saved.width << " x " << saved.height;
  const BYTE* mid = saved.data + PictureStride(saved.width, 24) * (saved.height / 2) + saved.width / 2 * 3;
  EXPECT_GT(mid[1], 200);
  EXPECT_TRUE(fs::exists(CThumbs().GetThumbPath(straight)));

  // Off again: the sides are forgotten and the shown picture is saved.
  ASSERT_EQ(model.OpenGreenFrame(0), 1);
  EXPECT_EQ(model.GetGreenSegments()[0].x1, -1);
  EXPECT_EQ(model.GetGreenLines()[0].distance, -1);
  EXPECT_EQ(model.GetMainLine().angleStep, -1);
  const std::string shown = (dir_ / "shown.bmp").string();
  ASSERT_EQ(model.SaveJpegFileEx(shown), 1);
  CBitmapPicture whole;
  ASSERT_TRUE(ReadPictureBuffer(shown, whole));
  EXPECT_EQ(whole.width, 640);
  EXPECT_EQ(whole.height, 480);

  // Clearing the model forgets what the search found.
  model.OpenGreenFrame(1);
  ASSERT_GE(model.GetGreenSegments()[0].x1, 0);
  model.ClearData();
  EXPECT_EQ(model.GetGreenSegments()[0].x1, -1);
  EXPECT_EQ(model.GetGreenLines()[3].angleStep, -1);
}

TEST_F(CameraDCPaintTest, GreenSegmentsAreDrawnOverThePicture) {
  model_.MoveWindow(CRect(0, 0, 300, 200), 0);
  Picture p = Page(600, 400, CRect(100, 60, 500, 340), 0);
  Feed(model_, p);  // zoom 50: 300 x 200 at the client origin
  ASSERT_EQ(model_.GetImageRect(), CRect(0, 0, 300, 200));
  auto green = [](QRgb c) { return qGreen(c) > 200 && qRed(c) < 80 && qBlue(c) < 80; };
  EXPECT_EQ(Count(CRect(0, 0, 300, 200), green), 0);
  model_.OpenGreenFrame(1);
  model_.DoDraw(nullptr);
  // The page's outline at half size: x 50..250, y 30..170.
  EXPECT_GT(Count(CRect(45, 25, 255, 35), green), 100);    // top side
  EXPECT_GT(Count(CRect(45, 165, 255, 175), green), 100);  // bottom side
  EXPECT_GT(Count(CRect(45, 25, 55, 175), green), 60);     // left side
  EXPECT_EQ(Count(CRect(80, 60, 220, 140), green), 0);     // not across the page
  model_.OpenGreenFrame(0);
  model_.DoDraw(nullptr);
  EXPECT_EQ(Count(CRect(0, 0, 300, 200), green), 0);
}

}  // namespace
