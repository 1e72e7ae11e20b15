#include "contracts/fundara/thumbs.h"

#include <sys/stat.h>

#include <QCryptographicHash>
#include <QImage>
#include <QUrl>

#include "contracts/fundara/paths.h"
#include "platform/profile.h"
#include "tests/fundara/scratch_env.h"

using namespace fundara_test;

namespace {

void MakePicture(const fs::path& path, int w, int h, const char* format) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(QColor(30, 120, 200));
  fs::create_directories(path.parent_path());
  ASSERT_TRUE(image.save(QString::fromStdString(path.string()), format));
}

// Where a file manager looks for the thumbnail: md5 of the file's URI.
fs::path ExpectedThumb(const fs::path& picture) {
  const QByteArray uri = QUrl::fromLocalFile(QString::fromStdString(picture.string())).toEncoded();
  return fs::path(GetThumbsPath()) / "normal" /
         (QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex().toStdString() + ".png");
}

}  // namespace

using Thumbs = ScratchEnv;

TEST_F(Thumbs, WriteThumbFollowsTheSharedThumbnailLayout) {
  const fs::path picture = fs::path(GetDataPicPath()) / "a b.jpg";  // folder names are Chinese
  MakePicture(picture, 400, 300, "JPEG");
  CThumbs thumbs;
  ASSERT_EQ(thumbs.WriteThumb(picture.string()), 1);
  const fs::path thumb = ExpectedThumb(picture);
  EXPECT_EQ(CThumbs::GetThumbPath(picture.string()), thumb.string());
  ASSERT_TRUE(fs::exists(thumb));

  const QImage image(QString::fromStdString(thumb.string()), "png");
  EXPECT_EQ(image.text("Thumb::URI").toStdString(),
            QUrl::fromLocalFile(QString::fromStdString(picture.string())).toEncoded().toStdString());
  struct stat st {};
  ASSERT_EQ(::stat(picture.c_str(), &st), 0);
  EXPECT_EQ(image.text("Thumb::MTime").toLongLong(), static_cast<long long>(st.st_mtime));
  EXPECT_EQ(image.text("Thumb::Mime").toStdString(), "image/jpeg");
  EXPECT_EQ(image.size(), QSize(128, 96));

  struct stat ts {};
  ASSERT_EQ(::stat(thumb.c_str(), &ts), 0);
  EXPECT_EQ(ts.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(thumb.parent_path().c_str(), &ts), 0);
  EXPECT_EQ(ts.st_mode & 0777, 0700u);
  EXPECT_TRUE(CThumbs::IsThumbFresh(picture.string()));

  // A small picture is not enlarged; what is not a picture gets no thumbnail.
  MakePicture(root / "small.png", 40, 20, "PNG");
  ASSERT_EQ(thumbs.WriteThumb((root / "small.png").string()), 1);
  EXPECT_EQ(QImage(QString::fromStdString(ExpectedThumb(root / "small.png").string())).size(),
            QSize(40, 20));
  WriteFile(root / "fake.jpg", "not a picture");
  EXPECT_EQ(thumbs.WriteThumb((root / "fake.jpg").string()), 0);
  EXPECT_EQ(thumbs.WriteThumb((root / "missing.jpg").string()), 0);
  EXPECT_EQ(thumbs.WriteThumb(thumb.string()), 0);  // never a thumbnail of a thumbnail
}

TEST_F(Thumbs, ThumbFromThePixelsInMemoryMatchesTheFilesOwn) {
  struct Case {
    int w, h;
    QSize thumb;
  };
  CThumbs thumbs;
  for (const Case& c : {Case{3264, 2448, QSize(128, 96)}, Case{600, 2000, QSize(38, 128)}, Case{50, 30, QSize(50, 30)}}) {
    SCOPED_TRACE(c.w);
    const fs::path picture = root / "mem.png";
    MakePicture(picture, c.w, c.h, "PNG");
    // Pixels of another colour than the file: the thumbnail shows them, so
    // the file was not read again.
    QImage pixels(c.w, c.h, QImage::Format_RGB32);
    pixels.fill(QColor(250, 10, 10));
    ASSERT_EQ(thumbs.WriteThumb(picture.string(), pixels), 1);
    const QImage image(QString::fromStdString(ExpectedThumb(picture).string()), "png");
    EXPECT_EQ(image.size(), c.thumb);
    EXPECT_EQ(image.pixel(image.width() / 2, image.height() / 2), qRgb(250, 10, 10));
    EXPECT_EQ(image.text("Thumb::Image::Width").toInt(), c.w);
    EXPECT_EQ(image.text("Thumb::Mime").toStdString(), "image/png");
    EXPECT_TRUE(CThumbs::IsThumbFresh(picture.string()));
    // Without pixels the file's own picture is read.
    ASSERT_EQ(thumbs.WriteThumb(picture.string(), QImage()), 1);
    EXPECT_EQ(QImage(QString::fromStdString(ExpectedThumb(picture).string())).pixel(0, 0), qRgb(30, 120, 200));
  }
}

TEST_F(Thumbs, RebuildTouchesOnlyThePicturesBelowTheDataRoot) {
  ASSERT_TRUE(WritePrivateProfileString("output", "dataPath", (root / "data").c_str(), GetCameraConfig()));
  MakePicture(root / "data/one.jpg", 300, 300, "JPEG");
  MakePicture(root / "data/deep/two.bmp", 200, 100, "BMP");
  MakePicture(root / "data/deep/three.tif", 64, 64, "TIFF");
  WriteFile(root / "data/notes.txt", "text");
  MakePicture(root / "elsewhere/foreign.png", 64, 64, "PNG");

  CThumbs thumbs;
  ASSERT_EQ(thumbs.WriteThumb((root / "elsewhere/foreign.png").string()), 1);
  EXPECT_EQ(thumbs.NewAllThumbs(), 3);
  EXPECT_EQ(thumbs.NewAllThumbs(), 0);  // all fresh
  EXPECT_TRUE(CThumbs::IsThumbFresh((root / "data/deep/three.tif").string()));

  // A changed picture gets a new thumbnail.
  fs::last_write_time(root / "data/one.jpg",
                      fs::last_write_time(root / "data/one.jpg") + std::chrono::seconds(5));
  EXPECT_FALSE(CThumbs::IsThumbFresh((root / "data/one.jpg").string()));
  EXPECT_EQ(thumbs.NewAllThumbs(), 1);

  EXPECT_EQ(thumbs.DelAllThumb(), 3);
  EXPECT_FALSE(fs::exists(ExpectedThumb(root / "data/one.jpg")));
  EXPECT_TRUE(fs::exists(ExpectedThumb(root / "elsewhere/foreign.png")));
  EXPECT_EQ(thumbs.DelAllThumb(), 0);
}
