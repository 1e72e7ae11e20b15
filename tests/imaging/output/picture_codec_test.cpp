// Picture codecs: the format rule, round trips of every format, the GIF
// palette, damaged files, and writing that never leaves a partial file.

#include "imaging/picture_codec.h"

#include "imaging/bitmap_file.h"
#include "tests/imaging/output/output_support.h"
#include "tests/imaging/reference.h"

#include <sys/stat.h>

#include <QBuffer>

#include <cstring>

namespace {

using namespace output_test;

const PictureFormat kFormats[] = {PictureFormat::Jpeg, PictureFormat::Bmp, PictureFormat::Png,
                                  PictureFormat::Gif, PictureFormat::Tiff};

std::string Name(PictureFormat f) { return PictureFormatName(f); }

TEST(PictureFormatRule, TextAfterTheLastDotInUpperCase) {
  const std::pair<const char*, PictureFormat> cases[] = {
      {"a.bmp", PictureFormat::Bmp},     {"A.BMP", PictureFormat::Bmp},
      {"a.xbmpx", PictureFormat::Bmp},   {"a.png", PictureFormat::Png},
      {"a.Gif", PictureFormat::Gif},     {"a.tif", PictureFormat::Tiff},
      {"a.tiff", PictureFormat::Tiff},   {"a.jpg", PictureFormat::Jpeg},
      {"a.jpeg", PictureFormat::Jpeg},   {"a.txt", PictureFormat::Jpeg},
      {"noext", PictureFormat::Jpeg},    {"a.png.jpg", PictureFormat::Jpeg},
      {"a.jpg.png", PictureFormat::Png}, {"dir.png/file", PictureFormat::Png},
      {"", PictureFormat::Jpeg},         {"trailing.", PictureFormat::Jpeg}};
  for (const auto& [path, format] : cases)
    EXPECT_EQ(Name(PictureFormatFromPath(path)), Name(format)) << path;
  EXPECT_STREQ(PictureFormatMime(PictureFormat::Tiff), "image/tiff");
  EXPECT_STREQ(PictureFormatMime(PictureFormat::Jpeg), "image/jpeg");
}

TEST(PictureCodec, EveryFormatRoundTripsAPicture) {
  const QImage few = FewColours(37, 23, 200);     // fits a GIF palette exactly
  const QImage many = ManyColours(64, 48);
  for (PictureFormat f : kFormats) {
    for (const QImage* source : {&few, &many}) {
      std::string error;
      PictureWriteOptions options;
      options.quality = 95;
      const std::vector<unsigned char> bytes = EncodePicture(*source, f, options, &error);
      ASSERT_FALSE(bytes.empty()) << Name(f) << ": " << error;
      const QImage back = DecodePicture(bytes.data(), bytes.size(), &error);
      ASSERT_FALSE(back.isNull()) << Name(f) << ": " << error;
      EXPECT_EQ(back.format(), QImage::Format_ARGB32);
      ASSERT_EQ(back.size(), source->size()) << Name(f);
      if (f == PictureFormat::Jpeg && source == &many)
        EXPECT_GT(Psnr(*source, back), 30.0) << "JPEG at quality 95";
      else if (f == PictureFormat::Jpeg)
        EXPECT_GT(Psnr(*source, back), 10.0) << "JPEG of pixel noise";
      else if (f == PictureFormat::Gif && source == &many)
        EXPECT_GT(Psnr(*source, back), 32.0) << "GIF palette of a many-colour picture";
      else
        EXPECT_EQ(MaxDifference(*source, back), 0) << Name(f);
    }
  }
}

TEST(PictureCodec, AlphaSurvivesWhereTheFormatHasIt) {
  QImage image = FewColours(16, 16, 5);
  for (int x = 0; x < 16; ++x) image.setPixel(x, 3, qRgba(10, 20, 30, 0));
  image.setPixel(4, 4, qRgba(200, 100, 50, 128));
  // Compared as shown: the colour of a fully transparent pixel does not count.
  const QImage shown = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  for (PictureFormat f : {PictureFormat::Png, PictureFormat::Tiff}) {
    const std::vector<unsigned char> bytes = EncodePicture(image, f);
    const QImage back = DecodePicture(bytes.data(), bytes.size());
    ASSERT_FALSE(back.isNull()) << Name(f);
    EXPECT_LE(MaxDifference(shown, back.convertToFormat(QImage::Format_ARGB32_Premultiplied)), 1)
        << Name(f);
    EXPECT_EQ(qAlpha(back.pixel(4, 4)), 128) << Name(f);
  }
  // Bitmaps and JPEG are opaque.
  for (PictureFormat f : {PictureFormat::Bmp, PictureFormat::Jpeg}) {
    const std::vector<unsigned char> bytes = EncodePicture(image, f);
    const QImage back = DecodePicture(bytes.data(), bytes.size());
    ASSERT_FALSE(back.isNull()) << Name(f);
    EXPECT_EQ(qAlpha(back.pixel(7, 3)), 255) << Name(f);
  }
  // GIF: one transparent entry; the half-transparent pixel is opaque there.
  const std::vector<unsigned char> gif = EncodePicture(image, PictureFormat::Gif);
  const QImage back = DecodePicture(gif.data(), gif.size());
  ASSERT_FALSE(back.isNull());
  EXPECT_EQ(qAlpha(back.pixel(7, 3)), 0);
  EXPECT_EQ(back.pixel(4, 4), qRgb(200, 100, 50));
  EXPECT_EQ(back.pixel(0, 0), image.pixel(0, 0));
}

TEST(PictureCodec, GifPaletteFollowsThePicturesColours) {
  // Two clusters of close colours that a fixed palette would merge: every
  // pixel must stay within a few levels of its original.
  QImage image(128, 64, QImage::Format_ARGB32);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 128; ++x)
      image.setPixel(x, y, x < 64 ? qRgb(200 + x % 40, 30 + y % 20, 40) : qRgb(20, 90 + x % 50, 180 + y % 50));
  const std::vector<unsigned char> gif = EncodePicture(image, PictureFormat::Gif);
  const QImage back = DecodePicture(gif.data(), gif.size());
  ASSERT_FALSE(back.isNull());
  EXPECT_GT(Psnr(image, back), 38.0);
  EXPECT_LE(MaxDifference(image, back), 12);
}

TEST(PictureCodec, PictureBuffersKeepTheirLayout) {
  std::mt19937 rng(11);
  CBitmapPicture grey;
  ASSERT_TRUE(grey.Allocate(13, 7, 8));
  for (std::size_t i = 0; i < grey.ByteSize(); ++i) grey.data[i] = static_cast<unsigned char>(rng());
  GreyPalette(grey.palette);
  grey.hasPalette = true;
  CBitmapPicture colour;
  ASSERT_TRUE(colour.Allocate(13, 7, 24));
  for (std::size_t i = 0; i < colour.ByteSize(); ++i) colour.data[i] = static_cast<unsigned char>(rng() % 4 * 60);
  for (long y = 0; y < 7; ++y)  // padding bytes are not picture data
    std::memset(colour.data + y * colour.Stride() + 39, 0, 1);

  for (PictureFormat f : {PictureFormat::Bmp, PictureFormat::Png, PictureFormat::Tiff, PictureFormat::Gif}) {
    for (const CBitmapPicture* source : {&grey, &colour}) {
      std::string error;
      const auto bytes = EncodePictureBuffer(source->data, source->width, source->height, source->depth,
                                             source->hasPalette ? source->palette : nullptr, f, {}, &error);
      ASSERT_FALSE(bytes.empty()) << Name(f) << ": " << error;
      CBitmapPicture back;
      ASSERT_TRUE(DecodePictureBuffer(bytes.data(), bytes.size(), back, &error)) << Name(f) << error;
      ASSERT_EQ(back.width, source->width);
      ASSERT_EQ(back.height, source->height);
      // The same pixels, whatever depth the format reads back as.
      const QImage a = ImageFromBuffer(source->data, source->width, source->height, source->depth,
                                       source->hasPalette ? source->palette : nullptr);
      const QImage b = ImageFromBuffer(back.data, back.width, back.height, back.depth,
                                       back.hasPalette ? back.palette : nullptr);
      EXPECT_EQ(MaxDifference(a, b), 0) << Name(f) << " depth " << source->depth;
      if (f != PictureFormat::Gif) {
        EXPECT_EQ(back.depth, source->depth) << Name(f);
      }
    }
  }
  // Bitmaps are the bitmap writer's bytes exactly.
  const auto viaCodec = EncodePictureBuffer(colour.data, 13, 7, 24, nullptr, PictureFormat::Bmp);
  EXPECT_EQ(viaCodec, EncodeBitmap(colour.data, 13, 7, 24, nullptr));
  // A grey JPEG stays one grey channel.
  const auto jpeg = EncodePictureBuffer(grey.data, 13, 7, 8, grey.palette, PictureFormat::Jpeg);
  CBitmapPicture back;
  ASSERT_TRUE(DecodePictureBuffer(jpeg.data(), jpeg.size(), back));
  EXPECT_EQ(back.depth, 8);
}

TEST(PictureCodec, DamagedFilesOfEveryFormatAreRefused) {
  const QImage image = ManyColours(80, 60);
  std::mt19937 rng(5);
  for (PictureFormat f : kFormats) {
    const std::vector<unsigned char> good = EncodePicture(image, f);
    ASSERT_GT(good.size(), 200u) << Name(f);
    std::vector<std::pair<std::string, std::vector<unsigned char>>> damaged;
    damaged.emplace_back("first quarter", std::vector<unsigned char>(good.begin(), good.begin() + good.size() / 4));
    damaged.emplace_back("first half", std::vector<unsigned char>(good.begin(), good.begin() + good.size() / 2));
    damaged.emplace_back("signature only", std::vector<unsigned char>(good.begin(), good.begin() + 8));
    std::vector<unsigned char> noise(good.begin(), good.begin() + 8);
    for (int i = 0; i < 400; ++i) noise.push_back(static_cast<unsigned char>(rng()));
    noise.back() = 0x11;
    damaged.emplace_back("signature and noise", noise);
    for (const auto& [what, bytes] : damaged) {
      std::string error;
      EXPECT_TRUE(DecodePicture(bytes.data(), bytes.size(), &error).isNull()) << Name(f) << ": " << what;
      EXPECT_FALSE(error.empty()) << Name(f) << ": " << what;
      CBitmapPicture picture;
      EXPECT_FALSE(DecodePictureBuffer(bytes.data(), bytes.size(), picture)) << Name(f) << ": " << what;
      EXPECT_EQ(picture.data, nullptr);
    }
  }
  std::string error;
  EXPECT_TRUE(DecodePicture(nullptr, 0, &error).isNull());
  const std::string text = "just some text, not a picture";
  EXPECT_TRUE(DecodePicture(reinterpret_cast<const unsigned char*>(text.data()), text.size(), &error).isNull());
  EXPECT_NE(error.find("not a picture"), std::string::npos);
}

TEST(PictureCodec, SvgIsDrawnAtItsSize) {
  const std::string svg =
      "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"40\" height=\"20\">"
      "<rect width=\"20\" height=\"20\" fill=\"#00ff00\"/></svg>";
  const QImage image = DecodePicture(reinterpret_cast<const unsigned char*>(svg.data()), svg.size());
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), QSize(40, 20));
  EXPECT_EQ(image.pixel(5, 5), qRgb(0, 255, 0));
  EXPECT_EQ(qAlpha(image.pixel(35, 5)), 0);  // nothing drawn there
  QByteArray data(svg.data(), static_cast<qsizetype>(svg.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  EXPECT_EQ(ReadPicture(buffer).size(), QSize(40, 20));
}

TEST(PictureFiles, WritingReplacesWholeOrNotAtAll) {
  const fs::path dir = ref::TestDir("imaging_output_files") / "atomic";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path target = dir / "p.png";
  WriteBytes(target, {1, 2, 3});
  ASSERT_TRUE(WritePicture(target.string(), FewColours(9, 9, 3)));
  EXPECT_FALSE(ReadPicture(target.string()).isNull());
  EXPECT_EQ(Listing(dir), std::set<std::string>{"p.png"});  // no scratch file left
  struct stat st;
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);

  // A picture that cannot be stored leaves the old file alone.
  const auto before = ReadBytes(target);
  std::string error;
  EXPECT_FALSE(WritePicture(target.string(), QImage(), {}, &error));
  EXPECT_EQ(ReadBytes(target), before);
  EXPECT_FALSE(WritePicture((dir / "missing" / "x.jpg").string(), FewColours(4, 4, 2), {}, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(Listing(dir), std::set<std::string>{"p.png"});

  // Picture buffers are written by the name's format too.
  CBitmapPicture picture;
  ASSERT_TRUE(picture.Allocate(5, 4, 24));
  ASSERT_TRUE(WritePictureBuffer((dir / "b.TIF").string(), picture));
  const auto tif = ReadBytes(dir / "b.TIF");
  ASSERT_GE(tif.size(), 4u);
  EXPECT_TRUE(tif[0] == 'I' || tif[0] == 'M');
}

}  // namespace
