// CGdiImage: every source of a picture, sizes, encoders and saving.

#include "imaging/gdi_image.h"

#include "contracts/fundara/thumbs.h"
#include "imaging/picture_codec.h"
#include "tests/fundara/scratch_env.h"
#include "tests/imaging/output/output_support.h"
#include "tests/support/test_app.h"

#include <unistd.h>

#include <QBuffer>
#include <QPixmap>
#include <QWidget>

#include <cstring>

namespace {

using namespace output_test;

class GdiImage : public fundara_test::ScratchEnv {
 protected:
  void SetUp() override {
    ScratchEnv::SetUp();
    dir = root / "pictures";
    fs::create_directories(dir);
  }
  std::string Save(const std::string& name, const QImage& image) {
    const std::string path = (dir / name).string();
    EXPECT_TRUE(WritePicture(path, image)) << path;
    return path;
  }
  // How many of our open file descriptors refer to `path`.
  static int OpenCount(const std::string& path) {
    int count = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/proc/self/fd", ec)) {
      std::error_code ec2;
      if (fs::read_symlink(e.path(), ec2) == fs::path(path)) ++count;
    }
    return count;
  }
  fs::path dir;
};

TEST_F(GdiImage, LoadsFilesAsArgbWithoutHoldingThemAndEmptiesOnFailure) {
  const QImage source = FewColours(30, 20, 50);
  for (const char* name : {"a.jpg", "a.bmp", "a.png", "a.gif", "a.tif"}) {
    const std::string path = Save(name, source);
    CGdiImage image(path);
    ASSERT_NE(image.GetImage(), nullptr) << name;
    EXPECT_EQ(image.GetImage()->format(), QImage::Format_ARGB32) << name;
    unsigned int w = 0, h = 0;
    image.GetImageSize(w, h);
    EXPECT_EQ(w, 30u);
    EXPECT_EQ(h, 20u);
    EXPECT_EQ(OpenCount(path), 0) << name << " is still open";
    // The file can go away: the holder has its own copy.
    ASSERT_TRUE(fs::remove(path));
    EXPECT_EQ(image.GetImageWidth(), 30u);
    if (std::string(name) != "a.jpg") {
      EXPECT_EQ(MaxDifference(*image.GetImage(), source), 0) << name;
    }
  }
  // A missing file leaves the holder empty, also after a picture was held.
  CGdiImage image(Save("b.png", source));
  ASSERT_NE(image.GetImage(), nullptr);
  EXPECT_EQ(image.NewImageFormFile((dir / "missing.png").string()), 0);
  EXPECT_EQ(image.GetImage(), nullptr);
  EXPECT_EQ(image.GetImageWidth(), 0u);
  EXPECT_EQ(image.GetImageHeight(), 0u);
  EXPECT_EQ(CGdiImage((dir / "missing.png").string()).GetImage(), nullptr);
  // So does a damaged one, and an empty path.
  WriteBytes(dir / "bad.png", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0});
  ASSERT_EQ(image.NewImageFormFile((dir / "b.png").string()), 1);
  EXPECT_EQ(image.NewImageFormFile((dir / "bad.png").string()), 0);
  EXPECT_EQ(image.GetImage(), nullptr);
  EXPECT_EQ(image.NewImageFormFile(""), 0);
}

TEST_F(GdiImage, LoadsFromAStreamAtItsPositionAndFromShippedResources) {
  const std::vector<unsigned char> png = EncodePicture(FewColours(12, 8, 4), PictureFormat::Png);
  QByteArray data("prefix");
  data.append(reinterpret_cast<const char*>(png.data()), static_cast<qsizetype>(png.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  buffer.seek(6);
  CGdiImage fromStream(&buffer);
  EXPECT_EQ(fromStream.GetImageWidth(), 12u);
  EXPECT_EQ(fromStream.NewImageFormStream(nullptr), 0);
  EXPECT_EQ(fromStream.GetImage(), nullptr);

  CGdiImage logo;
  ASSERT_EQ(logo.NewImageFormRES("brevio-test", 7, "SVG"), 1);
  EXPECT_EQ(logo.GetImageWidth(), 96u);
  EXPECT_EQ(logo.GetImageHeight(), 32u);
  EXPECT_EQ(logo.GetImage()->pixel(10, 10), qRgb(255, 0, 0));
  EXPECT_EQ(logo.GetImage()->pixel(80, 10), qRgb(0, 0, 255));
  EXPECT_EQ(logo.NewImageFormRES("brevio-test", 8, "SVG"), 0);
  EXPECT_EQ(logo.GetImage(), nullptr);
  EXPECT_EQ(logo.NewImageFormRES("brevio-test", 7, "PNG"), 0);
  EXPECT_EQ(logo.NewImageFormRES("brevio-test", 7, nullptr), 0);
}

TEST_F(GdiImage, ScalesAnotherImageIncludingItsOwn) {
  QImage quad(2, 2, QImage::Format_ARGB32);
  quad.setPixel(0, 0, qRgb(255, 0, 0));
  quad.setPixel(1, 0, qRgb(0, 255, 0));
  quad.setPixel(0, 1, qRgb(0, 0, 255));
  quad.setPixel(1, 1, qRgba(255, 255, 255, 0));
  CGdiImage image;
  ASSERT_EQ(image.NewImageFormImage(&quad, 40, 20), 1);
  EXPECT_EQ(image.GetImage()->format(), QImage::Format_ARGB32);
  EXPECT_EQ(image.GetImage()->size(), QSize(40, 20));
  EXPECT_EQ(image.GetImage()->pixel(0, 0), qRgb(255, 0, 0));
  EXPECT_EQ(image.GetImage()->pixel(39, 0), qRgb(0, 255, 0));
  EXPECT_EQ(image.GetImage()->pixel(0, 19), qRgb(0, 0, 255));
  EXPECT_EQ(qAlpha(image.GetImage()->pixel(39, 19)), 0);
  // From its own picture: drawn from a copy before the old one goes.
  ASSERT_EQ(image.NewImageFormImage(image.GetImage(), 4, 2), 1);
  EXPECT_EQ(image.GetImage()->size(), QSize(4, 2));
  EXPECT_GT(qRed(image.GetImage()->pixel(0, 0)), 230);  // smooth scaling blends a little
  EXPECT_LT(qBlue(image.GetImage()->pixel(0, 0)), 25);
  EXPECT_EQ(image.NewImageFormImage(&quad, 0, 5), 0);
  EXPECT_EQ(image.GetImage(), nullptr);
  EXPECT_EQ(image.NewImageFormImage(nullptr, 5, 5), 0);
}

TEST_F(GdiImage, CopiesDrawingSurfacesFromTheirOrigin) {
  TestApp();
  QImage surface(10, 8, QImage::Format_ARGB32);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 10; ++x) surface.setPixel(x, y, qRgb(x * 20, y * 30, 7));
  CGdiImage image;
  // The rectangle gives the size only; the copy starts at the surface's origin.
  ASSERT_EQ(image.NewImageFormDC(&surface, CRect(5, 5, 25, 15)), 1);
  const QImage& got = *image.GetImage();
  EXPECT_EQ(got.size(), QSize(20, 10));
  EXPECT_EQ(got.pixel(0, 0), surface.pixel(0, 0));
  EXPECT_EQ(got.pixel(9, 7), surface.pixel(9, 7));
  EXPECT_EQ(qAlpha(got.pixel(10, 0)), 0);  // beyond the surface
  EXPECT_EQ(qAlpha(got.pixel(0, 8)), 0);

  QPixmap pixmap = QPixmap::fromImage(surface);
  ASSERT_EQ(image.NewImageFormDC(&pixmap, CRect(0, 0, 3, 3)), 1);
  EXPECT_EQ(image.GetImage()->pixel(2, 2), surface.pixel(2, 2));

  QWidget widget;
  widget.resize(16, 12);
  widget.setAutoFillBackground(true);
  QPalette palette;
  palette.setColor(QPalette::Window, QColor(10, 200, 30));
  widget.setPalette(palette);
  ASSERT_EQ(image.NewImageFormDC(&widget, CRect(0, 0, 16, 12)), 1);
  EXPECT_EQ(image.GetImage()->pixel(8, 6), qRgb(10, 200, 30));

  EXPECT_EQ(image.NewImageFormDC(&surface, CRect(0, 0, 0, 5)), 0);
  EXPECT_EQ(image.GetImage(), nullptr);
  EXPECT_EQ(image.NewImageFormDC(nullptr, CRect(0, 0, 5, 5)), 0);
}

TEST_F(GdiImage, MakesPicturesFromDeviceIndependentBitmaps) {
  // 8 bits: the header followed by the palette, rows bottom-up.
  struct {
    BITMAPINFOHEADER header;
    tagRGBQUAD palette[256];
  } info8;
  info8.header.biWidth = 3;
  info8.header.biHeight = 2;
  info8.header.biBitCount = 8;
  info8.palette[1] = tagRGBQUAD{30, 20, 10, 0};
  info8.palette[2] = tagRGBQUAD{0, 0, 250, 0};
  const unsigned char bits8[8] = {1, 2, 1, 0, 2, 2, 2, 0};  // bottom row first, padded to 4
  CGdiImage image;
  ASSERT_EQ(image.NewImageFormData(&info8.header, bits8), 1);
  EXPECT_EQ(image.GetImage()->size(), QSize(3, 2));
  EXPECT_EQ(image.GetImage()->pixel(0, 1), qRgb(10, 20, 30));  // bottom-left
  EXPECT_EQ(image.GetImage()->pixel(1, 1), qRgb(250, 0, 0));
  EXPECT_EQ(image.GetImage()->pixel(0, 0), qRgb(250, 0, 0));

  // 24 bits top-down (negative height).
  BITMAPINFOHEADER info24;
  info24.biWidth = 2;
  info24.biHeight = -2;
  info24.biBitCount = 24;
  const unsigned char bits24[16] = {255, 0, 0, 0, 255, 0, 0, 0,   // top: blue, green
                                    0, 0, 255, 9, 9, 9, 0, 0};    // bottom: red, grey
  ASSERT_EQ(image.NewImageFormData(&info24, bits24), 1);
  EXPECT_EQ(image.GetImage()->pixel(0, 0), qRgb(0, 0, 255));
  EXPECT_EQ(image.GetImage()->pixel(1, 0), qRgb(0, 255, 0));
  EXPECT_EQ(image.GetImage()->pixel(0, 1), qRgb(255, 0, 0));

  BITMAPINFOHEADER info32;
  info32.biWidth = 1;
  info32.biHeight = 1;
  info32.biBitCount = 32;
  const unsigned char bits32[4] = {1, 2, 3, 0};
  ASSERT_EQ(image.NewImageFormData(&info32, bits32), 1);
  EXPECT_EQ(image.GetImage()->pixel(0, 0), qRgb(3, 2, 1));  // opaque: the fourth byte is no alpha

  BITMAPINFOHEADER info16 = info32;
  info16.biBitCount = 16;
  EXPECT_EQ(image.NewImageFormData(&info16, bits32), 0);
  EXPECT_EQ(image.GetImage(), nullptr);
  EXPECT_EQ(image.NewImageFormData(&info32, nullptr), 0);
}

TEST_F(GdiImage, EncodersAreFoundByMimeType) {
  PictureFormat format = PictureFormat::Png;
  EXPECT_EQ(CGdiImage::GetEncoderClsid("image/bmp", format), 0);
  EXPECT_EQ(format, PictureFormat::Bmp);
  EXPECT_EQ(CGdiImage::GetEncoderClsid("image/jpeg", format), 1);
  EXPECT_EQ(format, PictureFormat::Jpeg);
  EXPECT_EQ(CGdiImage::GetEncoderClsid("image/gif", format), 2);
  EXPECT_EQ(CGdiImage::GetEncoderClsid("image/tiff", format), 3);
  EXPECT_EQ(CGdiImage::GetEncoderClsid("image/png", format), 4);
  EXPECT_EQ(format, PictureFormat::Png);
  EXPECT_EQ(CGdiImage::GetEncoderClsid("image/x-icon", format), -1);
  EXPECT_EQ(CGdiImage::GetEncoderClsid("", format), -1);
}

TEST_F(GdiImage, SavesJpegWithTheQualityAndItsThumbnail) {
  CGdiImage image;
  EXPECT_EQ(image.SaveJpg((dir / "empty.jpg").string(), 80), 0);  // nothing held
  EXPECT_FALSE(fs::exists(dir / "empty.jpg"));

  const QImage picture = ManyColours(200, 150);
  ASSERT_EQ(image.NewImageFormImage(&picture, 200, 150), 1);
  const std::string low = (dir / "low.jpg").string(), high = (dir / "high.jpg").string();
  ASSERT_EQ(image.SaveJpg(low, 10), 1);
  ASSERT_EQ(image.SaveJpg(high, 95), 1);
  EXPECT_LT(fs::file_size(low), fs::file_size(high));
  const QImage back = ReadPicture(high);
  ASSERT_EQ(back.size(), QSize(200, 150));
  EXPECT_GT(Psnr(back, *image.GetImage()), 30.0);
  EXPECT_TRUE(CThumbs::IsThumbFresh(high));
  EXPECT_TRUE(CThumbs::IsThumbFresh(low));

  // JPEG whatever the name says.
  const std::string named = (dir / "named.png").string();
  ASSERT_EQ(image.SaveJpg(named, 50), 1);
  const auto bytes = ReadBytes(named);
  ASSERT_GE(bytes.size(), 3u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xD8);

  EXPECT_EQ(image.SaveJpg("", 50), 0);
  EXPECT_EQ(image.SaveJpg((dir / "no" / "such" / "folder.jpg").string(), 50), 0);
}

}  // namespace
