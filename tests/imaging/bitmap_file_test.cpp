// Bitmap files: exact header bytes, settable fields, round trips and the
// refusal of malformed input.

#include "imaging/bitmap_file.h"

#include "imaging/data_handler.h"
#include "tests/imaging/reference.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

using ref::Bytes;

std::uint32_t U32(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
void Set32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

std::string Decode(const Bytes& file, CBitmapPicture& pic) {
  std::string error;
  return DecodeBitmap(file.data(), file.size(), pic, &error) ? std::string() : error;
}

TEST(BitmapFile, TwentyFourBitHeaderBytes) {
  std::mt19937 rng(1);
  const Bytes pixels = ref::RandomPicture(rng, 5, 3, 24);  // stride 16
  BitmapWriteOptions options;
  options.xPelsPerMeter = 11812;
  options.yPelsPerMeter = 3937;
  const Bytes file = EncodeBitmap(pixels.data(), 5, 3, 24, nullptr, options);
  ASSERT_EQ(file.size(), 54u + 48u);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(U32(file, 2), 102u);   // file size
  EXPECT_EQ(U32(file, 6), 0u);     // reserved
  EXPECT_EQ(U32(file, 10), 54u);   // pixel offset
  EXPECT_EQ(U32(file, 14), 40u);   // info header size
  EXPECT_EQ(U32(file, 18), 5u);
  EXPECT_EQ(U32(file, 22), 3u);    // positive: bottom-up
  EXPECT_EQ(file[26] | file[27] << 8, 1);
  EXPECT_EQ(file[28] | file[29] << 8, 24);
  EXPECT_EQ(U32(file, 30), 0u);    // no compression
  EXPECT_EQ(U32(file, 34), 48u);   // image size
  EXPECT_EQ(U32(file, 38), 11812u);
  EXPECT_EQ(U32(file, 42), 3937u);
  EXPECT_EQ(U32(file, 46), 0u);
  EXPECT_EQ(Bytes(file.begin() + 54, file.end()), pixels);

  CBitmapPicture pic;
  ASSERT_EQ(Decode(file, pic), "");
  EXPECT_EQ(pic.width, 5);
  EXPECT_EQ(pic.height, 3);
  EXPECT_EQ(pic.depth, 24);
  EXPECT_EQ(pic.xPelsPerMeter, 11812);
  EXPECT_EQ(Bytes(pic.data, pic.data + pic.ByteSize()), pixels);
}

TEST(BitmapFile, EightBitCarriesPaletteAndFieldsAreSettable) {
  std::mt19937 rng(2);
  const Bytes pixels = ref::RandomPicture(rng, 6, 2, 8);  // stride 8
  tagRGBQUAD palette[256];
  for (int i = 0; i < 256; ++i) palette[i] = {static_cast<BYTE>(i), static_cast<BYTE>(255 - i), 7, 0};
  Bytes file = EncodeBitmap(pixels.data(), 6, 2, 8, palette);
  ASSERT_EQ(file.size(), 1078u + 16u);
  EXPECT_EQ(U32(file, 10), 1078u);
  EXPECT_EQ(file[54 + 4 * 10], 10);
  EXPECT_EQ(file[54 + 4 * 10 + 1], 245);
  CBitmapPicture pic;
  ASSERT_EQ(Decode(file, pic), "");
  EXPECT_TRUE(pic.hasPalette);
  EXPECT_EQ(pic.palette[200].rgbGreen, 55);
  EXPECT_EQ(Bytes(pic.data, pic.data + pic.ByteSize()), pixels);

  // Without a palette the grey ramp is written.
  file = EncodeBitmap(pixels.data(), 6, 2, 8, nullptr);
  EXPECT_EQ(file[54 + 4 * 99], 99);
  EXPECT_EQ(file[54 + 4 * 99 + 2], 99);

  // Fields a fixed output format dictates: offset, image size, colours used.
  BitmapWriteOptions options;
  options.offBits = 1100;
  options.sizeImage = 0;
  options.clrUsed = 256;
  file = EncodeBitmap(pixels.data(), 6, 2, 8, palette, options);
  ASSERT_EQ(file.size(), 1100u + 16u);
  EXPECT_EQ(U32(file, 10), 1100u);
  EXPECT_EQ(U32(file, 34), 0u);
  EXPECT_EQ(U32(file, 46), 256u);
  ASSERT_EQ(Decode(file, pic), "");
  EXPECT_EQ(Bytes(pic.data, pic.data + pic.ByteSize()), pixels);

  options = {};
  options.offBits = 54;  // would overlap the palette
  EXPECT_TRUE(EncodeBitmap(pixels.data(), 6, 2, 8, palette, options).empty());
  options.writePalette = false;
  EXPECT_EQ(EncodeBitmap(pixels.data(), 6, 2, 8, palette, options).size(), 54u + 16u);
  EXPECT_TRUE(EncodeBitmap(pixels.data(), 6, 2, 16, nullptr).empty());
  EXPECT_TRUE(EncodeBitmap(nullptr, 6, 2, 24, nullptr).empty());
}

TEST(BitmapFile, TopDownRowsAreTurnedBottomUp) {
  const Bytes pixels = {1, 2, 3, 4, 5, 6, 7, 8};  // 32-bit, 1 x 2
  Bytes file = EncodeBitmap(pixels.data(), 1, 2, 32, nullptr);
  Set32(file, 22, static_cast<std::uint32_t>(-2));
  CBitmapPicture pic;
  ASSERT_EQ(Decode(file, pic), "");
  EXPECT_EQ(pic.height, 2);
  EXPECT_EQ(Bytes(pic.data, pic.data + 8), Bytes({5, 6, 7, 8, 1, 2, 3, 4}));
}

TEST(BitmapFile, MalformedInputIsRefusedWithAReason) {
  std::mt19937 rng(3);
  const Bytes pixels = ref::RandomPicture(rng, 4, 4, 24);
  const Bytes good = EncodeBitmap(pixels.data(), 4, 4, 24, nullptr);
  CBitmapPicture pic;
  auto with = [&](auto change) {
    Bytes f = good;
    change(f);
    return Decode(f, pic);
  };
  EXPECT_NE(with([](Bytes& f) { f.resize(30); }), "");
  EXPECT_NE(with([](Bytes& f) { f.pop_back(); }).find("truncated"), std::string::npos);
  EXPECT_NE(with([](Bytes& f) { f[0] = 'P'; }).find("not a bitmap"), std::string::npos);
  EXPECT_NE(with([](Bytes& f) { f[28] = 16; }).find("depth 16"), std::string::npos);
  EXPECT_NE(with([](Bytes& f) { Set32(f, 30, 1); }).find("compressed"), std::string::npos);
  EXPECT_NE(with([](Bytes& f) { Set32(f, 18, 0); }), "");
  EXPECT_NE(with([](Bytes& f) { Set32(f, 18, 1u << 20); }), "");
  EXPECT_NE(with([](Bytes& f) { Set32(f, 22, 0x80000000u); }), "");
  EXPECT_NE(with([](Bytes& f) { Set32(f, 10, 0xFFFFFFF0u); }), "");
  EXPECT_NE(with([](Bytes& f) { Set32(f, 14, 0x7FFFFFFFu); }), "");
  EXPECT_EQ(pic.data, nullptr);  // nothing was taken over

  // 32-bit bit fields are read when they are the plain blue-green-red layout.
  const Bytes px32 = ref::RandomPicture(rng, 2, 2, 32);
  Bytes f32 = EncodeBitmap(px32.data(), 2, 2, 32, nullptr);
  Bytes masked(f32.begin(), f32.begin() + 54);
  for (std::uint32_t m : {0xFF0000u, 0xFF00u, 0xFFu}) {
    masked.resize(masked.size() + 4);
    Set32(masked, masked.size() - 4, m);
  }
  masked.insert(masked.end(), f32.begin() + 54, f32.end());
  Set32(masked, 10, 66);
  Set32(masked, 30, 3);
  ASSERT_EQ(Decode(masked, pic), "");
  EXPECT_EQ(Bytes(pic.data, pic.data + 16), px32);
  Set32(masked, 54, 0xFFu);
  EXPECT_NE(Decode(masked, pic).find("masks"), std::string::npos);

  // An 8-bit palette that claims more than 256 entries.
  Bytes f8 = EncodeBitmap(pixels.data(), 4, 4, 8, nullptr);
  Set32(f8, 46, 300);
  EXPECT_NE(Decode(f8, pic), "");
}

TEST(BitmapFile, FilesRoundTripAndMissingFilesFail) {
  const std::filesystem::path dir = ref::TestDir("imaging_bitmap");
  std::mt19937 rng(4);
  const Bytes pixels = ref::RandomPicture(rng, 7, 5, 24);
  const std::string path = (dir / "round.bmp").string();
  ASSERT_TRUE(WriteBitmapFile(path, pixels.data(), 7, 5, 24, nullptr));
  CBitmapPicture pic;
  std::string error;
  ASSERT_TRUE(ReadBitmapFile(path, pic, &error)) << error;
  EXPECT_EQ(Bytes(pic.data, pic.data + pic.ByteSize()), pixels);
  EXPECT_FALSE(ReadBitmapFile((dir / "missing.bmp").string(), pic, &error));
  EXPECT_NE(error.find("cannot open"), std::string::npos);
  EXPECT_FALSE(WriteBitmapFile((dir / "no" / "such" / "x.bmp").string(), pixels.data(), 7, 5, 24, nullptr, {}, &error));
}

}  // namespace
