#include "preview/datapreview.h"

#include "contracts/fundara/language.h"
#include "contracts/fundara/thumbs.h"
#include "contracts/widgetta/gdi_slider.h"
#include "imaging/picture_codec.h"
#include "tests/overlay/layer_host.h"
#include "tests/preview/preview_fixture.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QRegularExpression>

#include <memory>

namespace fs = std::filesystem;

namespace {

using PreviewTest = PreviewFixture;
using overlay_test::SaveShot;

int CountPixels(const QImage& image, const std::function<bool(QRgb)>& match) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) n += match(image.pixel(x, y)) ? 1 : 0;
  return n;
}

bool IsRed(QRgb c) { return qRed(c) > 200 && qGreen(c) < 80 && qBlue(c) < 80; }

// ---- Frames -------------------------------------------------------------------------------

TEST_F(PreviewTest, FramesOfAnotherCameraAreIgnoredAndLockedFramesRefused) {
  Picture red(64, 48), blue(64, 48);
  red.Fill(255, 0, 0);
  blue.Fill(0, 0, 255);
  FeedCamera(red);
  const CPoint centre = preview_->GetCameraDCImageRect().CenterPoint();
  EXPECT_EQ(Screen().pixel(centre.x, centre.y), qRgb(255, 0, 0));
  EXPECT_EQ(preview_->SetImageData(1, blue.bytes.data(), 64, 48, 24, nullptr), 1);
  EXPECT_EQ(Screen().pixel(centre.x, centre.y), qRgb(255, 0, 0));
  preview_->GetCameraDC().SetVideoLock(1);
  Feed(blue);
  EXPECT_EQ(Screen().pixel(centre.x, centre.y), qRgb(255, 0, 0));
  preview_->ReSetCameraDC(0);  // clears the lock
  Feed(blue);
  EXPECT_EQ(Screen().pixel(centre.x, centre.y), qRgb(0, 0, 255));
  // No still picture to go back to: the camera's picture stays.
  EXPECT_TRUE(preview_->ReSetImage().isEmpty());
  EXPECT_EQ(preview_->GetCameraDC().IsEmpty(), 0);
}

TEST_F(PreviewTest, NoDataShowsTheRedNoSignalTipInTheLanguage) {
  struct Case {
    const char* language;
    const char* text;
  };
  for (const Case& c : {Case{"zh_CN", "无视频数据信号"}, Case{"en", "No video signal"}}) {
    SCOPED_TRACE(c.language);
    ASSERT_EQ(SetLanguage(c.language), 1);
    Picture p(64, 48);
    FeedCamera(p);
    EXPECT_EQ(preview_->SetImageData(0, nullptr, 0, 0, 24, nullptr), 0);
    EXPECT_EQ(preview_->GetCameraDC().IsEmpty(), 1);
    const QImage shown = Screen();
    EXPECT_GT(CountPixels(shown, IsRed), 50);
    // The same as the tip set by hand in that language's text.
    CDataPreview reference;
    ASSERT_TRUE(reference.Create(host_.get(), CRect(0, 0, kWidth, kHeight)));
    reference.SetTipString(QString::fromUtf8(c.text));
    reference.ShowWindow(SW_SHOW);
    QCoreApplication::processEvents();
    EXPECT_EQ(reference.grab().toImage().convertToFormat(QImage::Format_RGB32), shown);
  }
  SetLanguage("");
  // Connected without a picture yet: no tip but the waiting dots.
  const QImage tip = Screen();
  preview_->SetImageData(0, nullptr, 1, 0, 24, nullptr);
  const QImage waiting = Screen();
  EXPECT_GT(CountPixels(waiting, IsRed), 0);
  EXPECT_LT(CountPixels(waiting, IsRed), CountPixels(tip, IsRed));
}

TEST_F(PreviewTest, UnreadablePictureLeavesTheModelEmpty) {
  Picture p(32, 32);
  FeedCamera(p);
  const fs::path bad = dir_ / "bad.jpg";
  std::ofstream(bad) << "not a picture";
  EXPECT_EQ(preview_->LoadImageData(QString::fromStdString(bad.string())), 0);
  EXPECT_EQ(preview_->GetCameraDC().IsEmpty(), 1);
  EXPECT_EQ(preview_->GetImagePath().toStdString(), bad.string());
}

// ---- Zoom and history notices ---------------------------------------------------------------

TEST_F(PreviewTest, ZoomNoticesReachTheSliderClampedAndHistoryNoticesAreForwarded) {
  CGdiSlider slider;
  ASSERT_TRUE(slider.Create(QString(), 0, CRect(0, 0, 200, 20), host_.get(), 77));
  slider.SetRange(-1000, 1000);
  preview_->SetGdiSlider(&slider);
  struct Case {
    WPARAM zoom;
    int expected;
  };
  for (const Case& c : {Case{50, 50}, Case{250, 200}, Case{static_cast<WPARAM>(-5), 0}, Case{0, 0}, Case{200, 200}}) {
    SendMessage(preview_.get(), WM_UPDATE_ZOOM, c.zoom, 0);
    EXPECT_EQ(slider.GetPos(), c.expected) << static_cast<long long>(c.zoom);
  }
  // The model's own notices: the wheel zooms by one notch.
  Picture p(kWidth, kHeight);
  FeedCamera(p);
  QCoreApplication::processEvents();
  const int before = preview_->GetZoom();
  QWheelEvent wheel(QPointF(320, 240), preview_->mapToGlobal(QPointF(320, 240)), QPoint(), QPoint(0, 120),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(preview_.get(), &wheel);
  QCoreApplication::processEvents();
  EXPECT_EQ(preview_->GetZoom(), before + 1);
  EXPECT_EQ(slider.GetPos(), before + 1);
  preview_->SetIsRollTrackBall(0);
  QApplication::sendEvent(preview_.get(), &wheel);
  EXPECT_EQ(preview_->GetZoom(), before + 1);

  preview_->SetHistoryRecordHwnd(host_.get());
  SendMessage(preview_.get(), WM_HISTORY_RECORD, 3, 7);
  QCoreApplication::processEvents();
  ASSERT_EQ(host_->Count(WM_HISTORY_RECORD), 1);
  EXPECT_EQ(host_->messages.back().wParam, 3u);
  EXPECT_EQ(host_->messages.back().lParam, 7);
}

// ---- Page buttons -------------------------------------------------------------------------------

class PageButtonTest : public PreviewFixture {
 protected:
  void SetUp() override {
    PreviewFixture::SetUp();
    for (const char* name : {"left.png", "right.png"}) {
      QImage art(40, 60, QImage::Format_RGB32);
      art.fill(qRgb(200, 100, 0));
      ASSERT_TRUE(art.save(QString::fromStdString((dir_ / name).string())));
    }
    ASSERT_EQ(preview_->CreatePageTurningBtn(QString::fromStdString((dir_ / "left.png").string()), CRect(0, 0, 40, 60),
                                             QString::fromStdString((dir_ / "right.png").string()),
                                             CRect(0, 0, 40, 60)),
              1);
    preview_->ShowLeftBtn(1);
    preview_->ShowRightBtn(1);
  }
  // The art under the blend of alpha `a` of the light blue.
  static QRgb Blend(int a) {
    auto mix = [a](int over, int under) { return (over * a + under * (255 - a) + 127) / 255; };
    return qRgb(mix(112, 200), mix(192, 100), mix(231, 0));
  }
  static bool Near(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) <= 2 && std::abs(qGreen(a) - qGreen(b)) <= 2 &&
           std::abs(qBlue(a) - qBlue(b)) <= 2;
  }
};

TEST_F(PageButtonTest, ButtonsLieOneWidthInFromTheEdgesVerticallyCentred) {
  EXPECT_EQ(preview_->GetLeftBtnRect(), CRect(40, 210, 80, 270));
  EXPECT_EQ(preview_->GetRightBtnRect(), CRect(560, 210, 600, 270));
  host_->MoveWindow(CRect(100, 100, 900, 700));
  preview_->MoveWindow(CRect(0, 0, 800, 600));
  EXPECT_EQ(preview_->GetLeftBtnRect(), CRect(40, 270, 80, 330));
  EXPECT_EQ(preview_->GetRightBtnRect(), CRect(720, 270, 760, 330));
  EXPECT_TRUE(Near(Screen().pixel(60, 300), qRgb(200, 100, 0)));
  preview_->ShowLeftBtn(0);
  EXPECT_FALSE(Near(Screen().pixel(60, 300), qRgb(200, 100, 0)));
  EXPECT_EQ(preview_->GetLeftBtnState(), PAGE_BTN_HIDDEN);
}

TEST_F(PageButtonTest, HoverAndPressBlendAndReleaseOverTheButtonTurnsThePage) {
  struct Step {
    QEvent::Type type;
    QPoint at;
    int left, right;  // button states after the step
    QRgb leftPixel;   // shown at the left button's middle
    int turns;        // page turns posted so far
  };
  const QRgb art = qRgb(200, 100, 0);
  const Step steps[] = {
      {QEvent::MouseMove, {60, 240}, PAGE_BTN_HOVER, PAGE_BTN_NORMAL, Blend(48), 0},
      {QEvent::MouseMove, {300, 240}, PAGE_BTN_NORMAL, PAGE_BTN_NORMAL, art, 0},
      {QEvent::MouseButtonPress, {60, 240}, PAGE_BTN_PRESSED, PAGE_BTN_NORMAL, Blend(150), 0},
      {QEvent::MouseMove, {300, 240}, PAGE_BTN_PRESSED, PAGE_BTN_NORMAL, Blend(150), 0},  // pressed stays
      {QEvent::MouseButtonRelease, {300, 240}, PAGE_BTN_NORMAL, PAGE_BTN_NORMAL, art, 0},  // off it: nothing
      {QEvent::MouseButtonPress, {60, 240}, PAGE_BTN_PRESSED, PAGE_BTN_NORMAL, Blend(150), 0},
      {QEvent::MouseButtonRelease, {61, 241}, PAGE_BTN_HOVER, PAGE_BTN_NORMAL, Blend(48), 1},
      {QEvent::MouseButtonPress, {580, 240}, PAGE_BTN_HOVER, PAGE_BTN_PRESSED, Blend(48), 1},
      {QEvent::MouseButtonRelease, {580, 240}, PAGE_BTN_HOVER, PAGE_BTN_HOVER, Blend(48), 2},
      {QEvent::MouseMove, {580, 250}, PAGE_BTN_NORMAL, PAGE_BTN_HOVER, art, 2},
  };
  int i = 0;
  for (const Step& s : steps) {
    SCOPED_TRACE(i++);
    SendMouse(preview_.get(), s.type, s.at, s.type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(preview_->GetLeftBtnState(), s.left);
    EXPECT_EQ(preview_->GetRightBtnState(), s.right);
    EXPECT_TRUE(Near(Screen().pixel(60, 240), s.leftPixel)) << std::hex << Screen().pixel(60, 240);
    EXPECT_EQ(host_->Count(WM_PAGE_TURN), s.turns);
  }
  EXPECT_EQ(host_->LParams(WM_PAGE_TURN), (std::vector<LPARAM>{-1, 1}));
}

TEST_F(PageButtonTest, DoubleClickOnAButtonTurnsTwoPagesAndTakesNoPhotograph) {
  Picture p(kWidth, kHeight);
  p.Fill(20, 120, 20);
  FeedCamera(p);
  SendDoubleClick(preview_.get(), QPoint(580, 240));
  QCoreApplication::processEvents();
  EXPECT_EQ(host_->LParams(WM_PAGE_TURN), (std::vector<LPARAM>{1, 1}));
  EXPECT_TRUE(PictureFiles().empty());
  EXPECT_TRUE(host_->photographed.empty());
  // Beside the buttons a double-click photographs.
  SendDoubleClick(preview_.get(), QPoint(300, 240));
  ASSERT_EQ(host_->photographed.size(), 1);
  EXPECT_TRUE(fs::exists(host_->photographed[0].toStdString()));
  EXPECT_TRUE(script_.Boxes().empty());  // no message for a double-click
}

// ---- Photographs --------------------------------------------------------------------------------

TEST_F(PreviewTest, PhotographFormatExtensionAndNameFollowTheSettings) {
  struct Case {
    int imageType;
    int nameType;
    const char* extension;
    std::string magic;
  };
  const Case cases[] = {
      {0, 1, ".bmp", "BM"},
      {1, 1, ".jpg", "\xFF\xD8\xFF"},
      {2, 0, ".png", "\x89PNG"},
      {3, 1, ".gif", "GIF8"},
      {4, 0, ".tif", ""},  // "II*\0" or "MM\0*"
      {9, 1, ".jpg", "\xFF\xD8\xFF"},
  };
  Picture p(96, 64);
  p.Fill(10, 200, 30);
  FeedCamera(p);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.imageType);
    Config("output", "imageType", std::to_string(c.imageType));
    Config("output", "imageNameType", std::to_string(c.nameType));
    const QString path = preview_->Photograph(0);
    ASSERT_FALSE(path.isEmpty());
    const fs::path file = path.toStdString();
    EXPECT_EQ(file.parent_path(), pictures_);
    EXPECT_EQ(file.extension(), c.extension);
    const std::string stem = file.stem().string();
    const QRegularExpression pattern(c.nameType == 0 ? "^\\d{8}_\\d{6}(_\\d+)?$" : "^VELTRA\\d{4}$");
    EXPECT_TRUE(pattern.match(QString::fromStdString(stem)).hasMatch()) << stem;
    const std::string head = FileHead(file);
    if (c.imageType == 4)
      EXPECT_TRUE(head == std::string("II*\0", 4) || head == std::string("MM\0*", 4));
    else
      EXPECT_EQ(head.substr(0, c.magic.size()), c.magic);
    const QImage back = ReadPicture(file.string());
    EXPECT_EQ(back.size(), QSize(96, 64));
    EXPECT_TRUE(CThumbs::IsThumbFresh(file.string()));
  }
  EXPECT_EQ(PictureFiles().size(), std::size(cases));
  EXPECT_TRUE(script_.Boxes().empty());
  // With the message the path is shown under "saved".
  const QString path = preview_->Photograph(1);
  ASSERT_EQ(script_.Boxes().size(), 1u);
  EXPECT_EQ(script_.Boxes()[0].text, path);
  EXPECT_EQ(script_.Boxes()[0].caption, QString::fromStdString(GetLanguageText("baocunchenggong", "保存成功！")));
  // A given path is used as it is.
  const fs::path given = dir_ / "given.png";
  EXPECT_EQ(preview_->Photograph(0, QString::fromStdString(given.string())).toStdString(), given.string());
  EXPECT_EQ(FileHead(given), "\x89PNG");
}

TEST_F(PreviewTest, PhotographInsideTheGreenFrameIsTheStraightenedPage) {
  Picture p = Page(kWidth, kHeight, CRect(120, 80, 520, 400), 6);
  FeedCamera(p);
  preview_->OpenGreenFrame(1);
  Feed(p);
  const QString path = preview_->Photograph(0);
  ASSERT_FALSE(path.isEmpty());
  const QImage page = ReadPicture(path.toStdString());
  // About the page's 400 × 320, not the whole frame.
  EXPECT_NEAR(page.width(), 400, 24);
  EXPECT_NEAR(page.height(), 320, 24);
  EXPECT_GT(qGray(page.pixel(page.width() / 2, page.height() / 2)), 200);
}

TEST_F(PreviewTest, PhotographOfACropIsItsSizeAndOnlyThatCropIsTakenAway) {
  Picture p = Page(kWidth, kHeight, CRect(100, 60, 540, 420), 0);
  FeedCamera(p);  // 640 × 480 fills the preview at 100 %
  ASSERT_EQ(preview_->GetZoom(), 100);
  preview_->OpenVideoCutLayer(1, 0);
  ASSERT_EQ(preview_->GetCutLayer().GetShowWindow(), SW_SHOW);
  DrawCrop(CRect(50, 40, 250, 190));
  const QString path = preview_->Photograph(0);
  ASSERT_FALSE(path.isEmpty());
  EXPECT_EQ(ReadPicture(path.toStdString()).size(), QSize(200, 150));
  EXPECT_EQ(preview_->GetCameraDC().GetCutMode(), 0);
  EXPECT_EQ(preview_->GetCameraDC().GetBufferRect(), CRect(0, 0, kWidth, kHeight));

  // The teacher's own cut survives a photograph with no rectangle drawn.
  preview_->CutBlackSide(1);
  const CRect page = preview_->GetCameraDC().GetBufferRect();
  ASSERT_LT(page.Width(), kWidth);
  preview_->OpenVideoCutLayer(1, 0);
  preview_->OpenVideoCutLayer(1, 0);  // hidden and shown again: nothing drawn
  ASSERT_EQ(preview_->GetCutLayer().GetShowWindow(), SW_SHOW);
  const QString whole = preview_->Photograph(0);
  ASSERT_FALSE(whole.isEmpty());
  EXPECT_EQ(preview_->GetCameraDC().GetCutMode(), 1);
  EXPECT_EQ(preview_->GetCameraDC().GetBufferRect(), page);
  EXPECT_EQ(ReadPicture(whole.toStdString()).size(), QSize(page.Width(), page.Height()));
}

TEST_F(PreviewTest, FailedPhotographsLeaveNoFileAndSayTheSaveFailed) {
  const QString failed = QString::fromStdString(GetLanguageText("baocunshibai", "保存失败！"));
  // Nothing to photograph: the reserved name is given back.
  EXPECT_TRUE(preview_->Photograph(1).isEmpty());
  EXPECT_TRUE(PictureFiles().empty());
  ASSERT_EQ(script_.Boxes().size(), 1u);
  EXPECT_EQ(script_.Boxes()[0].text, failed);
  EXPECT_TRUE(host_->photographed.empty());
  // A folder that cannot be made: no name, no file.
  Picture p(32, 32);
  FeedCamera(p);
  const fs::path blocker = dir_ / "blocker";
  std::ofstream(blocker) << "a file where the folder should be";
  preview_->SetPicDataPath(QString::fromStdString((blocker / "pictures").string()));
  EXPECT_TRUE(preview_->Photograph(0).isEmpty());
  ASSERT_EQ(script_.Boxes().size(), 2u);
  EXPECT_EQ(script_.Boxes()[1].caption, failed);
  // SaveImage of nothing names no file.
  CDataPreview empty;
  EXPECT_TRUE(empty.SaveImage(QString::fromStdString((dir_ / "x.jpg").string())).isEmpty());
  EXPECT_FALSE(fs::exists(dir_ / "x.jpg"));
  EXPECT_TRUE(empty.SaveImage().isEmpty());
}

TEST_F(PreviewTest, SaveImageWritesTheRemembeRedPictureOrTheGivenPath) {
  Picture p = Gradient(60, 40);
  const fs::path still = dir_ / "still.bmp";
  CCameraDC writer;
  writer.SetImageData(p.bytes.data(), 60, 40, 24, nullptr);
  ASSERT_EQ(writer.SaveJpegFile(still.string()), 1);
  ASSERT_EQ(preview_->LoadImageData(QString::fromStdString(still.string())), 1);
  preview_->RotationCamera(1);
  EXPECT_EQ(preview_->SaveImage().toStdString(), still.string());
  EXPECT_EQ(ReadPicture(still.string()).size(), QSize(40, 60));
  EXPECT_EQ(preview_->ReSetImage().toStdString(), still.string());
  EXPECT_EQ(preview_->GetCameraDC().GetBufferRect(), CRect(0, 0, 40, 60));
  const fs::path other = dir_ / "other.png";
  EXPECT_EQ(preview_->SaveImage(QString::fromStdString(other.string())).toStdString(), other.string());
  EXPECT_EQ(FileHead(other), "\x89PNG");
}

// ---- Crop commands -------------------------------------------------------------------------------

class CropCommandTest : public PreviewFixture {
 protected:
  void SetUp() override {
    PreviewFixture::SetUp();
    picture_ = Gradient(kWidth, kHeight);
    FeedCamera(picture_);
    ASSERT_EQ(preview_->GetZoom(), 100);
    preview_->OpenVideoCutLayer(1, 0);
  }
  // A rectangle from (100, 80) to (260, 200) whose left edge has been
  // dragged past its right edge to x = 300, the button still held: the
  // layer reports (300, 80, 260, 200), the frame (260, 80)-(300, 200).
  void DrawInvertedCrop() {
    DrawCrop(CRect(100, 80, 260, 200));
    CCutRectLayer& layer = preview_->GetCutLayer().GetRectLayer();
    layer.OnLButtonDown(MK_LBUTTON, CPoint(100, 140));  // the left-middle handle
    layer.OnMouseMove(MK_LBUTTON, CPoint(300, 140));
    ASSERT_GT(layer.GetCutRect().left, layer.GetCutRect().right);
  }
  void ShowCropLayer(int ocr = 0) {
    if (preview_->GetCutLayer().GetShowWindow() != SW_SHOW) preview_->OpenVideoCutLayer(1, ocr);
  }
  void Command(int command) { SendMessage(preview_.get(), WM_UPDATE_CUTAREA, static_cast<WPARAM>(command), 0); }
  Picture picture_{kWidth, kHeight};
};

TEST_F(CropCommandTest, CutCommandOnAnInvertedRectangleCutsTheFrame) {
  DrawInvertedCrop();
  Command(CUT_CMD_CUT_VIDEO);
  EXPECT_EQ(preview_->GetCameraDC().GetCutMode(), 2);
  EXPECT_EQ(preview_->GetCameraDC().GetBufferRect(), CRect(0, 0, 40, 120));
  // The buffer starts at the frame's pixel (260, 80): red = x, green = y.
  EXPECT_EQ(DCImage(preview_->GetCameraDC().GetBufferDC())->pixel(0, 0), qRgb(260 % 256, 80, 77));
  EXPECT_NE(preview_->GetCutLayer().GetShowWindow(), SW_SHOW);
}

TEST_F(CropCommandTest, SaveCommandAppendsTheFilterExtensionRegardlessOfCase) {
  struct Case {
    const char* chosen;
    int filter;
    const char* written;
    std::string magic;
  };
  const Case cases[] = {
      {"page", 3, "page.png", "\x89PNG"},
      {"page.PNG", 3, "page.PNG", "\x89PNG"},
      {"scan.Jpg", 1, "scan.Jpg", "\xFF\xD8\xFF"},
      {"scan.png", 2, "scan.png.bmp", "BM"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chosen);
    ShowCropLayer();
    DrawInvertedCrop();
    script_.AnswerChooser(QString::fromStdString((dir_ / c.chosen).string()), c.filter);
    Command(CUT_CMD_SAVE);
    const fs::path file = dir_ / c.written;
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(FileHead(file).substr(0, c.magic.size()), c.magic);
    EXPECT_EQ(ReadPicture(file.string()).size(), QSize(40, 120));
    EXPECT_NE(preview_->GetCutLayer().GetShowWindow(), SW_SHOW);
    fs::remove(file);
  }
  ASSERT_EQ(script_.Choosers().size(), std::size(cases));
  EXPECT_EQ(script_.Choosers()[0].filter, CDataPreview::kSaveFilter);
  EXPECT_EQ(script_.Choosers()[0].kind, ChooserKind::SaveFile);
  EXPECT_EQ(script_.Choosers()[0].start.toStdString(), pictures_.string());
  // The cut mode was not touched by saving.
  EXPECT_EQ(preview_->GetCameraDC().GetCutMode(), 0);
}

TEST_F(CropCommandTest, CopyCommandPutsTheRectangleOnTheClipboard) {
  QGuiApplication::clipboard()->clear();
  DrawInvertedCrop();
  Command(CUT_CMD_COPY);
  const QImage copied = QGuiApplication::clipboard()->image();
  EXPECT_EQ(copied.size(), QSize(40, 120));
  EXPECT_EQ(copied.pixel(0, 0), qRgb(260 % 256, 80, 77));
  EXPECT_NE(preview_->GetCutLayer().GetShowWindow(), SW_SHOW);
}

TEST_F(CropCommandTest, CommandsDoNothingWhileHiddenOrEmpty) {
  for (int command : {CUT_CMD_CUT_VIDEO, CUT_CMD_SAVE, CUT_CMD_COPY, CUT_CMD_OCR}) {
    SCOPED_TRACE(command);
    QGuiApplication::clipboard()->clear();
    // Shown with nothing drawn: hidden afterwards, nothing done.
    ShowCropLayer();
    ASSERT_EQ(preview_->GetCutLayer().GetShowWindow(), SW_SHOW);
    Command(command);
    EXPECT_NE(preview_->GetCutLayer().GetShowWindow(), SW_SHOW);
    // Hidden with a stale rectangle in the layer: ignored.
    Command(command);
    EXPECT_EQ(preview_->GetCameraDC().GetCutMode(), 0);
    EXPECT_TRUE(QGuiApplication::clipboard()->image().isNull());
  }
  EXPECT_TRUE(script_.Choosers().empty());
  // Recognition takes the pixels and gives nothing back.
  ShowCropLayer(1);
  DrawCrop(CRect(10, 10, 50, 50));
  Command(CUT_CMD_OCR);
  EXPECT_NE(preview_->GetCutLayer().GetShowWindow(), SW_SHOW);
  EXPECT_EQ(preview_->GetCameraDC().GetCutMode(), 0);
}

TEST_F(CropCommandTest, TheGreenFrameAndHidingThePreviewHideTheLayers) {
  ASSERT_EQ(preview_->GetCutLayer().GetShowWindow(), SW_SHOW);
  preview_->OpenGreenFrame(1);
  EXPECT_NE(preview_->GetCutLayer().GetShowWindow(), SW_SHOW);
  preview_->OpenGreenFrame(0);
  preview_->OpenVideoCutLayer(0, 0);
  preview_->OpenCertificatesPhoto(1);
  EXPECT_EQ(preview_->GetCertificatesLayer().GetShowWindow(), SW_SHOW);
  preview_->ShowWindow(SW_HIDE);
  EXPECT_NE(preview_->GetCutLayer().GetShowWindow(), SW_SHOW);
  EXPECT_NE(preview_->GetCertificatesLayer().GetShowWindow(), SW_SHOW);
}

// ---- What the teacher sees ---------------------------------------------------------------------

TEST_F(PreviewTest, ThePictureWithButtonsCropAndCardLayerAsShown) {
  Picture page = Page(kWidth, kHeight, CRect(140, 60, 500, 420), 4);
  FeedCamera(page);
  const QString art = QString::fromStdString(GetImagePath());
  ASSERT_EQ(preview_->CreatePageTurningBtn(art + "/arrow_left_normal.svg", CRect(0, 0, 40, 80),
                                           art + "/arrow_right_normal.svg", CRect(0, 0, 40, 80)),
            1);
  preview_->ShowLeftBtn(1);
  preview_->ShowRightBtn(1);
  SendMouse(preview_.get(), QEvent::MouseMove, QPoint(580, 240), Qt::NoButton);
  const QImage plain = host_->grab().toImage().convertToFormat(QImage::Format_RGB32);
  SaveShot(plain, "buttons", "preview");
  EXPECT_EQ(preview_->GetRightBtnState(), PAGE_BTN_HOVER);

  preview_->OpenVideoCutLayer(1, 0);
  DrawCrop(CRect(200, 120, 440, 300));
  QCoreApplication::processEvents();
  const QImage cropping = host_->grab().toImage().convertToFormat(QImage::Format_RGB32);
  SaveShot(cropping, "crop", "preview");
  // Outside the frame the picture is veiled, inside it is as it was.
  EXPECT_LT(qGray(cropping.pixel(300, 80)), qGray(plain.pixel(300, 80)) * 3 / 4);
  EXPECT_EQ(cropping.pixel(320, 200), plain.pixel(320, 200));
  preview_->OpenVideoCutLayer(1, 0);

  preview_->OpenCertificatesPhoto(1);
  ASSERT_TRUE(preview_->Photograph(0).isEmpty());
  QCoreApplication::processEvents();
  const QImage card = host_->grab().toImage().convertToFormat(QImage::Format_RGB32);
  SaveShot(card, "certificates", "preview");
  const CRect layer = preview_->GetCertificatesLayer().GetWindowRect();
  const QPoint at = host_->mapFromGlobal(QPoint(layer.left, layer.top));
  EXPECT_EQ(card.pixel(at.x(), at.y() + layer.Height() / 2), qRgb(108, 113, 119));
}

}  // namespace
