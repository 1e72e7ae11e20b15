// Display-mode transforms: black and white, inverse, relief and sharpen.
// Each writes a caller-owned destination that is cleared first.

#include "imaging/data_handler.h"
#include "imaging/pixel_common.h"

#include <cstdint>
#include <cstring>

using namespace pixalto;

int CDataHandler::ColourToSingle(const unsigned char* source, int width, int height, int depth,
                                 const tagRGBQUAD* palette, unsigned char* dest, int threshold) {
  if (!source || !dest || width < 1 || height < 1 || !PictureDepth(depth)) return 0;
  const std::size_t srcStride = PictureStride(width, depth);
  const std::size_t dstStride = PictureStride(width, 8);
  std::uint8_t greys[256];
  if (depth == 8) PaletteGreys(palette, greys);
  // 255 for every grey value above the threshold.
  const int limit = threshold < -1 ? -1 : threshold > 255 ? 255 : threshold;
  for (int y = 0; y < height; ++y) {
    unsigned char* d = dest + dstStride * y;
    GreyRow(source + srcStride * y, d, width, depth, greys);
    for (int x = 0; x < width; ++x) d[x] = d[x] > limit ? 255 : 0;
    std::memset(d + width, 0, dstStride - width);
  }
  return 1;
}

int CDataHandler::ColourToReversed(const unsigned char* source, int width, int height, int depth,
                                   tagRGBQUAD* palette, unsigned char* dest) {
  if (!source || !dest || width < 1 || height < 1 || !PictureDepth(depth)) return 0;
  const std::size_t stride = PictureStride(width, depth);
  if (depth == 8) {
    for (int y = 0; y < height; ++y) {
      std::memcpy(dest + stride * y, source + stride * y, static_cast<std::size_t>(width));
      std::memset(dest + stride * y + width, 0, stride - width);
    }
    if (palette) {
      for (int i = 0; i < 256; ++i) {
        palette[i].rgbBlue = static_cast<BYTE>(255 - palette[i].rgbBlue);
        palette[i].rgbGreen = static_cast<BYTE>(255 - palette[i].rgbGreen);
        palette[i].rgbRed = static_cast<BYTE>(255 - palette[i].rgbRed);
      }
    }
    return 1;
  }
  const std::size_t rowBytes = static_cast<std::size_t>(width) * (depth / 8);
  for (int y = 0; y < height; ++y) {
    const unsigned char* s = source + stride * y;
    unsigned char* d = dest + stride * y;
    if (depth == 24) {
      for (std::size_t k = 0; k < rowBytes; ++k) d[k] = static_cast<unsigned char>(~s[k]);
    } else {
      // The fourth byte of a 32-bit pixel stays 0.
      for (std::size_t k = 0; k < rowBytes; k += 4) {
        d[k] = static_cast<unsigned char>(~s[k]);
        d[k + 1] = static_cast<unsigned char>(~s[k + 1]);
        d[k + 2] = static_cast<unsigned char>(~s[k + 2]);
        d[k + 3] = 0;
      }
    }
    std::memset(d + rowBytes, 0, stride - rowBytes);
  }
  return 1;
}

int CDataHandler::ColourToRelief(const unsigned char* source, int width, int height, int depth,
                                 unsigned char* dest) {
  if (!source || !dest || width < 1 || height < 1 || !PictureDepth(depth)) return 0;
  const std::size_t stride = PictureStride(width, depth);
  const std::size_t n = static_cast<std::size_t>(depth) / 8;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * n;
  for (int y = 0; y < height; ++y) {
    const unsigned char* s = source + stride * y;
    unsigned char* d = dest + stride * y;
    std::memset(d, 0, n);
    // Each byte: left neighbour's byte - this byte + 128, modulo 256.
    for (std::size_t k = n; k < rowBytes; ++k)
      d[k] = static_cast<unsigned char>(s[k - n] - s[k] + 128);
    std::memset(d + rowBytes, 0, stride - rowBytes);
  }
  return 1;
}

int CDataHandler::ColourToSharpen(const unsigned char* source, int width, int height, int depth,
                                  unsigned char* dest) {
  if (!source || !dest || width < 1 || height < 1 || !PictureDepth(depth)) return 0;
  const std::size_t stride = PictureStride(width, depth);
  const std::size_t n = static_cast<std::size_t>(depth) / 8;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * n;
  for (int y = 0; y < height; ++y) {
    unsigned char* d = dest + stride * y;
    if (y == height - 1) {
      std::memset(d, 0, stride);
      continue;
    }
    const unsigned char* s = source + stride * y;
    // The byte of the pixel one row further in memory and one column left.
    const unsigned char* next = source + stride * (y + 1) - n;
    std::memset(d, 0, n);
    for (std::size_t k = n; k < rowBytes; ++k) {
      const unsigned char v = s[k];
      const unsigned char diff = static_cast<unsigned char>(v - next[k] + 128);
      d[k] = static_cast<unsigned char>(v + (diff >> 2));
    }
    std::memset(d + rowBytes, 0, stride - rowBytes);
  }
  return 1;
}
