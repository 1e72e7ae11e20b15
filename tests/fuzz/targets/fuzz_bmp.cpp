// Bitmap files: a picture that decodes is a sound picture buffer, and
// writing it and reading that again gives the same pixels and palette.
#include <cstring>
#include <string>

#include "imaging/bitmap_file.h"
#include "tests/fuzz/targets/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CBitmapPicture picture;
  std::string error;
  if (!DecodeBitmap(data, size, picture, &error)) {
    FUZZ_CHECK(!error.empty());
    FUZZ_CHECK(picture.data == nullptr);
    return 0;
  }
  FUZZ_CHECK(picture.data && picture.width > 0 && picture.height > 0);
  FUZZ_CHECK(picture.depth == 8 || picture.depth == 24 || picture.depth == 32);
  unsigned sum = 0;  // every byte of the buffer is there to read
  for (std::size_t i = 0; i < picture.ByteSize(); ++i) sum += picture.data[i];
  (void)sum;

  BitmapWriteOptions options;
  options.xPelsPerMeter = picture.xPelsPerMeter;
  options.yPelsPerMeter = picture.yPelsPerMeter;
  const std::vector<unsigned char> bytes =
      EncodeBitmap(picture.data, picture.width, picture.height, picture.depth,
                   picture.hasPalette ? picture.palette : nullptr, options);
  FUZZ_CHECK(!bytes.empty());
  CBitmapPicture again;
  FUZZ_CHECK(DecodeBitmap(bytes.data(), bytes.size(), again, &error));
  FUZZ_CHECK(again.width == picture.width && again.height == picture.height &&
             again.depth == picture.depth);
  FUZZ_CHECK(std::memcmp(again.data, picture.data, picture.ByteSize()) == 0);
  if (picture.depth == 8 && picture.hasPalette)
    FUZZ_CHECK(std::memcmp(again.palette, picture.palette, sizeof picture.palette) == 0);
  return 0;
}
