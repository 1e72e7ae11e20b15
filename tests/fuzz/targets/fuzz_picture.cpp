// Picture files of the five formats through the codec layer, as pictures
// and as picture buffers: both readings agree, a refusal says why, and a
// decoded buffer is a sound picture.
#include <QGuiApplication>
#include <QImage>

#include <string>

#include "imaging/picture_codec.h"
#include "tests/fuzz/targets/fuzz_common.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  // Qt loads its image plugins and fonts once, on first use; doing it here
  // keeps those lasting allocations out of the leak checks of the inputs.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QGuiApplication* app = new QGuiApplication(*argc, *argv);
  (void)app;
  QImage warm(8, 8, QImage::Format_RGB32);
  warm.fill(Qt::gray);
  for (PictureFormat format : {PictureFormat::Jpeg, PictureFormat::Bmp, PictureFormat::Png,
                               PictureFormat::Gif, PictureFormat::Tiff}) {
    const std::vector<unsigned char> bytes = EncodePicture(warm, format);
    CBitmapPicture picture;
    if (!bytes.empty()) DecodePictureBuffer(bytes.data(), bytes.size(), picture);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string imageError, bufferError;
  const QImage image = DecodePicture(data, size, &imageError);
  CBitmapPicture picture;
  const bool buffered = DecodePictureBuffer(data, size, picture, &bufferError);
  FUZZ_CHECK(image.isNull() == !buffered);
  if (!buffered) {
    FUZZ_CHECK(!imageError.empty() && !bufferError.empty());
    return 0;
  }
  FUZZ_CHECK(image.format() == QImage::Format_ARGB32);
  FUZZ_CHECK(picture.width == image.width() && picture.height == image.height());
  FUZZ_CHECK(picture.depth == 8 || picture.depth == 24 || picture.depth == 32);
  FUZZ_CHECK(picture.data && picture.ByteSize() > 0);
  unsigned sum = 0;
  for (std::size_t i = 0; i < picture.ByteSize(); ++i) sum += picture.data[i];
  (void)sum;
  return 0;
}
