// The certificates layer: both sides of a card photographed through the
// preview and joined by the layer's shape.

#include "contracts/fundara/language.h"
#include "imaging/picture_codec.h"
#include "tests/preview/preview_fixture.h"

namespace fs = std::filesystem;

namespace {

constexpr QRgb kFront = qRgb(220, 30, 30);
constexpr QRgb kBack = qRgb(30, 30, 220);

class CertificatesTest : public PreviewFixture {
 protected:
  void SetUp() override {
    PreviewFixture::SetUp();
    preview_->OpenCertificatesPhoto(1);
    ASSERT_EQ(layer().GetShowWindow(), SW_SHOW);
  }
  CCertificatesLayer& layer() { return preview_->GetCertificatesLayer(); }
  // Resizes the layer about its current place.
  void ShapeLayer(int w, int h) {
    const CRect r = layer().GetWindowRect();
    layer().MoveWindow(CRect(r.left, r.top, r.left + w, r.top + h));
    ASSERT_EQ(layer().GetClientRect(), CRect(0, 0, w, h));
  }
  // One side of the card in front of the camera, photographed.
  QString PhotographSide(QRgb colour) {
    Picture card(64, 40);
    card.Fill(qRed(colour), qGreen(colour), qBlue(colour));
    FeedCamera(card);
    return preview_->Photograph(0);
  }
  QImage LayerScreen() {
    QCoreApplication::processEvents();
    return layer().grab().toImage().convertToFormat(QImage::Format_RGB32);
  }
};

TEST_F(CertificatesTest, TwoPhotographsAreJoinedByTheLayersShape) {
  struct Case {
    int w, h;
    bool stacked;
  };
  for (const Case& c : {Case{300, 400, true}, Case{400, 300, false}, Case{400, 400, true}}) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
    ShapeLayer(c.w, c.h);
    layer().ShowWindow(SW_SHOW);  // an empty pair
    EXPECT_TRUE(PhotographSide(kFront).isEmpty());
    const QString joined = PhotographSide(kBack);
    ASSERT_FALSE(joined.isEmpty());
    const QImage picture = ReadPicture(joined.toStdString());
    ASSERT_EQ(picture.size(), c.stacked ? QSize(64, 80) : QSize(128, 40));
    const QPoint front(10, 10), back = c.stacked ? QPoint(10, 70) : QPoint(100, 10);
    auto near = [](QRgb a, QRgb b) { return std::abs(qRed(a) - qRed(b)) + std::abs(qBlue(a) - qBlue(b)) < 24; };
    EXPECT_TRUE(near(picture.pixel(front), kFront));
    EXPECT_TRUE(near(picture.pixel(back), kBack));
    // The layer shows the sides the same way round.
    const QImage shown = LayerScreen();
    const QPoint frontMiddle = c.stacked ? QPoint(c.w / 2, c.h / 4) : QPoint(c.w / 4, c.h / 2);
    const QPoint backMiddle = c.stacked ? QPoint(c.w / 2, 3 * c.h / 4) : QPoint(3 * c.w / 4, c.h / 2);
    EXPECT_TRUE(near(shown.pixel(frontMiddle), kFront));
    EXPECT_TRUE(near(shown.pixel(backMiddle), kBack));
    EXPECT_EQ(shown.pixel(0, c.h / 2), qRgb(108, 113, 119));  // the border
  }
  // Only the joined files were reported; each front stays where it was written.
  EXPECT_EQ(PictureFiles().size(), 6u);
}

TEST_F(CertificatesTest, AThirdPhotographStartsANewPairWithNoPath) {
  ASSERT_TRUE(PhotographSide(kFront).isEmpty());
  ASSERT_FALSE(PhotographSide(kBack).isEmpty());
  EXPECT_TRUE(PhotographSide(kFront).isEmpty());
  EXPECT_EQ(layer().GetFront().IsEmpty(), 0);
  EXPECT_EQ(layer().GetBack().IsEmpty(), 1);
  // Showing the layer again empties both sides: their tips come back.
  layer().ShowWindow(SW_SHOW);
  EXPECT_EQ(layer().GetFront().IsEmpty(), 1);
  const QImage shown = LayerScreen();
  int red = 0;
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x) red += shown.pixel(x, y) == qRgb(255, 0, 0) ? 1 : 0;
  EXPECT_GT(red, 20);  // "证件正面" and "证件背面" in red
}

TEST_F(CertificatesTest, AJoinThatCannotBeWrittenReportsNoPath) {
  Picture card(64, 40);
  card.Fill(200, 200, 0);
  FeedCamera(card);
  const fs::path front = dir_ / "front.png";
  EXPECT_TRUE(preview_->Photograph(0, QString::fromStdString(front.string())).isEmpty());
  ASSERT_EQ(layer().GetFront().IsEmpty(), 0);
  // The second side cannot be read: nothing is joined.
  EXPECT_EQ(layer().LoadImageW(QString::fromStdString((dir_ / "missing.png").string())), 0);
  ASSERT_EQ(script_.Boxes().size(), 1u);
  EXPECT_EQ(script_.Boxes()[0].text, QString::fromStdString(GetLanguageText("baocunshibai", "保存失败！")));
}

TEST_F(CertificatesTest, DoubleClickTurnsTheLayerAboutItsCentre) {
  ShapeLayer(300, 400);
  const CRect before = layer().GetWindowRect();
  SendDoubleClick(&layer(), QPoint(150, 200));
  const CRect after = layer().GetWindowRect();
  EXPECT_EQ(after.Width(), 400);
  EXPECT_EQ(after.Height(), 300);
  EXPECT_EQ(after.CenterPoint(), before.CenterPoint());
  EXPECT_EQ(layer().GetFront().GetClientRect(), CRect(0, 0, 200, 300));
  EXPECT_EQ(layer().GetBack().GetClientRect(), CRect(200, 0, 400, 300));
  SendDoubleClick(&layer(), QPoint(200, 150));
  EXPECT_EQ(layer().GetWindowRect(), before);
  EXPECT_EQ(layer().GetFront().GetClientRect(), CRect(0, 0, 300, 200));
}

TEST_F(CertificatesTest, APressDragsTheLayerAndAnEdgeResizesIt) {
  ShapeLayer(300, 400);
  const CRect start = layer().GetWindowRect();
  struct Case {
    QPoint press, to;
    CRect expected;  // relative to the start
  };
  const Case cases[] = {
      {{150, 200}, {170, 190}, CRect(20, -10, 320, 390)},  // the middle moves it
      {{298, 200}, {338, 200}, CRect(0, 0, 340, 400)},     // the right edge widens it
      {{150, 1}, {150, 31}, CRect(0, 30, 300, 400)},       // the top edge lowers the top
      {{150, 398}, {150, -400}, CRect(0, 0, 300, CCertificatesLayer::kMinSide)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.press.x() << "," << c.press.y());
    layer().MoveWindow(start);
    SendMouse(&layer(), QEvent::MouseButtonPress, c.press);
    SendMouse(&layer(), QEvent::MouseMove, c.to);
    SendMouse(&layer(), QEvent::MouseButtonRelease, c.to);
    CRect expected = c.expected;
    expected.OffsetRect(start.left, start.top);
    EXPECT_EQ(layer().GetWindowRect(), expected);
  }
}

}  // namespace
