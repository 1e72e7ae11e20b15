// Bitmap file reading and writing (little-endian fields, written byte by byte).

#include "imaging/bitmap_file.h"

#include "contracts/fundara/memory.h"
#include "imaging/data_handler.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <utility>

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kPaletteBytes = 256 * 4;
// Pictures beyond this many pixels a side are refused as malformed.
constexpr long kMaxSide = 1 << 16;

void Put16(std::vector<unsigned char>& out, std::size_t at, std::uint32_t v) {
  out[at] = static_cast<unsigned char>(v);
  out[at + 1] = static_cast<unsigned char>(v >> 8);
}
void Put32(std::vector<unsigned char>& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<unsigned char>(v >> (8 * i));
}
std::uint32_t Get16(const unsigned char* p) { return p[0] | (static_cast<std::uint32_t>(p[1]) << 8); }
std::uint32_t Get32(const unsigned char* p) {
  return p[0] | (static_cast<std::uint32_t>(p[1]) << 8) | (static_cast<std::uint32_t>(p[2]) << 16) |
         (static_cast<std::uint32_t>(p[3]) << 24);
}

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

}  // namespace

CBitmapPicture::~CBitmapPicture() { DelMem(data); }

CBitmapPicture::CBitmapPicture(CBitmapPicture&& other) noexcept { *this = std::move(other); }

CBitmapPicture& CBitmapPicture::operator=(CBitmapPicture&& other) noexcept {
  if (this != &other) {
    DelMem(data);
    data = std::exchange(other.data, nullptr);
    width = std::exchange(other.width, 0);
    height = std::exchange(other.height, 0);
    depth = std::exchange(other.depth, 0);
    std::memcpy(palette, other.palette, sizeof palette);
    hasPalette = other.hasPalette;
    xPelsPerMeter = other.xPelsPerMeter;
    yPelsPerMeter = other.yPelsPerMeter;
  }
  return *this;
}

void CBitmapPicture::Adopt(unsigned char* newData, long newWidth, long newHeight, int newDepth) {
  if (newData != data) DelMem(data);
  data = newData;
  width = newWidth;
  height = newHeight;
  depth = newDepth;
}

bool CBitmapPicture::Allocate(long newWidth, long newHeight, int newDepth) {
  const std::size_t size = PictureSize(newWidth, newHeight, newDepth);
  unsigned char* block = NewMem(size);
  if (!block) return false;
  std::memset(block, 0, size);
  Adopt(block, newWidth, newHeight, newDepth);
  return true;
}

void CBitmapPicture::Clear() { Adopt(nullptr, 0, 0, 0); }

std::size_t CBitmapPicture::Stride() const { return PictureStride(width, depth); }
std::size_t CBitmapPicture::ByteSize() const { return PictureSize(width, height, depth); }

void GreyPalette(tagRGBQUAD palette[256]) {
  for (int i = 0; i < 256; ++i) {
    palette[i].rgbBlue = palette[i].rgbGreen = palette[i].rgbRed = static_cast<BYTE>(i);
    palette[i].rgbReserved = 0;
  }
}

std::vector<unsigned char> EncodeBitmap(const unsigned char* data, long width, long height,
                                        int depth, const tagRGBQUAD* palette,
                                        const BitmapWriteOptions& options) {
  if (!data || width < 1 || height < 1 || width > kMaxSide || height > kMaxSide ||
      (depth != 8 && depth != 24 && depth != 32))
    return {};
  const bool withPalette = depth == 8 && options.writePalette;
  const std::size_t headers = kFileHeaderSize + kInfoHeaderSize + (withPalette ? kPaletteBytes : 0);
  const std::size_t offBits = options.offBits ? *options.offBits : headers;
  if (offBits < headers) return {};
  const std::size_t pixelBytes = PictureSize(width, height, depth);
  std::vector<unsigned char> out(offBits + pixelBytes, 0);

  out[0] = 'B';
  out[1] = 'M';
  Put32(out, 2, static_cast<std::uint32_t>(out.size()));
  Put32(out, 10, static_cast<std::uint32_t>(offBits));
  Put32(out, 14, kInfoHeaderSize);
  Put32(out, 18, static_cast<std::uint32_t>(width));
  Put32(out, 22, static_cast<std::uint32_t>(height));
  Put16(out, 26, 1);
  Put16(out, 28, static_cast<std::uint32_t>(depth));
  Put32(out, 30, 0);
  Put32(out, 34, options.sizeImage ? *options.sizeImage : static_cast<std::uint32_t>(pixelBytes));
  Put32(out, 38, static_cast<std::uint32_t>(options.xPelsPerMeter));
  Put32(out, 42, static_cast<std::uint32_t>(options.yPelsPerMeter));
  Put32(out, 46, options.clrUsed);
  Put32(out, 50, 0);
  if (withPalette) {
    tagRGBQUAD grey[256];
    if (!palette) {
      GreyPalette(grey);
      palette = grey;
    }
    std::memcpy(out.data() + kFileHeaderSize + kInfoHeaderSize, palette, kPaletteBytes);
  }
  std::memcpy(out.data() + offBits, data, pixelBytes);
  return out;
}

bool DecodeBitmap(const unsigned char* bytes, std::size_t size, CBitmapPicture& picture,
                  std::string* error) {
  if (!bytes || size < kFileHeaderSize + kInfoHeaderSize)
    return Fail(error, "too short for a bitmap file");
  if (bytes[0] != 'B' || bytes[1] != 'M') return Fail(error, "not a bitmap file (no \"BM\" signature)");
  const std::size_t offBits = Get32(bytes + 10);
  const std::size_t infoSize = Get32(bytes + 14);
  if (infoSize < kInfoHeaderSize || infoSize > size - kFileHeaderSize)
    return Fail(error, "unsupported bitmap header size " + std::to_string(infoSize));
  const unsigned char* info = bytes + kFileHeaderSize;
  const std::int32_t width = static_cast<std::int32_t>(Get32(info + 4));
  const std::int32_t rawHeight = static_cast<std::int32_t>(Get32(info + 8));
  const std::uint32_t planes = Get16(info + 12);
  const int depth = static_cast<int>(Get16(info + 14));
  const std::uint32_t compression = Get32(info + 16);
  const std::uint32_t clrUsed = Get32(info + 32);
  if (planes != 1) return Fail(error, "bitmap with " + std::to_string(planes) + " planes");
  if (depth != 8 && depth != 24 && depth != 32)
    return Fail(error, "unsupported bitmap depth " + std::to_string(depth) + " (8, 24 or 32 bits)");
  // Bit-field masks are accepted only when they describe plain blue-green-red.
  std::size_t masksAfterHeader = 0;
  if (compression == 3 && depth == 32) {
    std::size_t at = kFileHeaderSize + kInfoHeaderSize;
    if (infoSize == kInfoHeaderSize) masksAfterHeader = 12;
    if (at + 12 > size) return Fail(error, "truncated bitmap colour masks");
    if (Get32(bytes + at) != 0xFF0000u || Get32(bytes + at + 4) != 0xFF00u ||
        Get32(bytes + at + 8) != 0xFFu)
      return Fail(error, "unsupported bitmap colour masks");
  } else if (compression != 0) {
    return Fail(error, "compressed bitmaps are not supported");
  }
  if (width < 1 || rawHeight == 0 || rawHeight == INT32_MIN || width > kMaxSide ||
      (rawHeight < 0 ? -rawHeight : rawHeight) > kMaxSide)
    return Fail(error, "bad bitmap size " + std::to_string(width) + " x " + std::to_string(rawHeight));
  const long height = rawHeight < 0 ? -static_cast<long>(rawHeight) : rawHeight;
  const bool topDown = rawHeight < 0;

  CBitmapPicture result;
  result.xPelsPerMeter = static_cast<LONG>(Get32(info + 24));
  result.yPelsPerMeter = static_cast<LONG>(Get32(info + 28));
  if (depth == 8) {
    const std::size_t entries = clrUsed == 0 ? 256 : clrUsed;
    if (entries > 256) return Fail(error, "bitmap palette of " + std::to_string(entries) + " entries");
    const std::size_t at = kFileHeaderSize + infoSize;
    if (at + entries * 4 > size) return Fail(error, "truncated bitmap palette");
    std::memcpy(result.palette, bytes + at, entries * 4);
    result.hasPalette = true;
  }
  const std::size_t headersEnd = kFileHeaderSize + infoSize + masksAfterHeader;
  const std::size_t stride = PictureStride(width, depth);
  const std::size_t pixelBytes = stride * static_cast<std::size_t>(height);
  if (offBits < headersEnd || offBits > size || size - offBits < pixelBytes)
    return Fail(error, "truncated bitmap pixel data");
  if (!result.Allocate(width, height, depth)) return Fail(error, "out of memory");
  const unsigned char* pixels = bytes + offBits;
  if (topDown) {
    for (long r = 0; r < height; ++r)
      std::memcpy(result.data + stride * r, pixels + stride * (height - 1 - r), stride);
  } else {
    std::memcpy(result.data, pixels, pixelBytes);
  }
  picture = std::move(result);
  return true;
}

bool ReadBitmapFile(const std::string& path, CBitmapPicture& picture, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Fail(error, std::string("cannot open: ") + std::strerror(errno));
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return Fail(error, "read error");
  return DecodeBitmap(bytes.data(), bytes.size(), picture, error);
}

bool WriteBitmapFile(const std::string& path, const unsigned char* data, long width, long height,
                     int depth, const tagRGBQUAD* palette, const BitmapWriteOptions& options,
                     std::string* error) {
  const std::vector<unsigned char> bytes = EncodeBitmap(data, width, height, depth, palette, options);
  if (bytes.empty()) return Fail(error, "cannot encode this picture as a bitmap");
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return Fail(error, std::string("cannot create: ") + std::strerror(errno));
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) return Fail(error, "write error");
  return true;
}
