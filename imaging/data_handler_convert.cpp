// Grey and colour conversions and nearest-neighbour scaling.

#include "imaging/data_handler.h"
#include "imaging/pixel_common.h"

#include "contracts/fundara/memory.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace pixalto {

void PaletteGreys(const tagRGBQUAD* palette, std::uint8_t greys[256]) {
  for (int i = 0; i < 256; ++i)
    greys[i] = palette ? ExactGrey(palette[i].rgbBlue, palette[i].rgbGreen, palette[i].rgbRed) : 0;
}

namespace {

// Grey values of N-byte pixels in blocks. The exact sum is k / 100 with
// k = 59 G + 30 R + 11 B, and the double-precision error is far below 0.01,
// so truncation can only differ from the integer quotient k / 100 when k is
// a multiple of 100. The quotient is computed in vectorisable form, then the double-precision formula for the few pixels
// where k is a multiple of 100 (black, k = 0, is always 0; white,
// k = 25500, is always 255).
template <int N>
[[gnu::always_inline]] inline void GreyColourRow(const std::uint8_t* src, std::uint8_t* dst,
                                                 int width) {
  constexpr int kBlock = 64;
  for (int x0 = 0; x0 < width; x0 += kBlock) {
    const int n = std::min(kBlock, width - x0);
    const std::uint8_t* s = src + static_cast<std::size_t>(x0) * N;
    std::uint8_t* d = dst + x0;
    unsigned exact = 0;
    for (int i = 0; i < n; ++i) {
      const std::uint16_t k = static_cast<std::uint16_t>(59u * s[N * i + 1] + 30u * s[N * i + 2] + 11u * s[N * i]);
      const std::uint16_t q = static_cast<std::uint16_t>(k / 100u);
      d[i] = static_cast<std::uint8_t>(q);
      exact |= static_cast<unsigned>(k == q * 100u) & static_cast<unsigned>(k != 0) &
               static_cast<unsigned>(k != 25500);
    }
    if (exact) {
      for (int i = 0; i < n; ++i) {
        const unsigned k = 59u * s[N * i + 1] + 30u * s[N * i + 2] + 11u * s[N * i];
        if (k % 100u == 0 && k != 0 && k != 25500)
          d[i] = ExactGrey(s[N * i], s[N * i + 1], s[N * i + 2]);
      }
    }
  }
}

#if defined(__x86_64__) && defined(__GNUC__)
// GCC 12 reports the undefined pass-through vectors inside its own AVX-512
// intrinsic headers as possibly uninitialised (a known false positive).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
// Sixteen 3-byte pixels at a time: the pixels are spread over 32-bit lanes,
// k = 59 G + 30 R + 11 B and k / 100 = (k * 5243) >> 19 (exact for every k up
// to 25500), and the lanes where k is a multiple of 100 take the double
// formula, as in GreyColourRow.
__attribute__((target("avx512f,avx512bw,avx512vl"))) void GreyRow24Wide(const std::uint8_t* src,
                                                                          std::uint8_t* dst,
                                                                          int width) {
  const __m512i spread = _mm512_set_epi32(11, 11, 10, 9, 8, 8, 7, 6, 5, 5, 4, 3, 2, 2, 1, 0);
  const __m512i expand = _mm512_set4_epi32(static_cast<int>(0xFF0B0A09), static_cast<int>(0xFF080706),
                                           static_cast<int>(0xFF050403), static_cast<int>(0xFF020100));
  const __m512i byteMask = _mm512_set1_epi32(0xFF);
  const __m512i wb = _mm512_set1_epi32(11), wg = _mm512_set1_epi32(59), wr = _mm512_set1_epi32(30);
  const __m512i magic = _mm512_set1_epi32(5243), hundred = _mm512_set1_epi32(100);
  const __m512i zero = _mm512_setzero_si512(), white = _mm512_set1_epi32(25500);
  int x = 0;
  // Each step reads 48 bytes; the last step of a row must not read past it.
  for (; x + 16 <= width; x += 16) {
    const std::uint8_t* s = src + 3 * static_cast<std::size_t>(x);
    const __m512i raw = _mm512_maskz_loadu_epi8(0x0000FFFFFFFFFFFFull, s);
    // Lane i of each 128-bit quarter receives the bytes of pixel 4q + i.
    const __m512i px = _mm512_shuffle_epi8(_mm512_permutexvar_epi32(spread, raw), expand);
    const __m512i b = _mm512_and_si512(px, byteMask);
    const __m512i g = _mm512_and_si512(_mm512_srli_epi32(px, 8), byteMask);
    const __m512i r = _mm512_srli_epi32(px, 16);
    const __m512i k = _mm512_add_epi32(_mm512_add_epi32(_mm512_mullo_epi32(g, wg), _mm512_mullo_epi32(r, wr)),
                                       _mm512_mullo_epi32(b, wb));
    const __m512i q = _mm512_srli_epi32(_mm512_mullo_epi32(k, magic), 19);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), _mm512_cvtepi32_epi8(q));
    const __mmask16 exact = _mm512_cmpeq_epi32_mask(k, _mm512_mullo_epi32(q, hundred)) &
                            _mm512_cmpneq_epi32_mask(k, zero) & _mm512_cmpneq_epi32_mask(k, white);
    for (unsigned m = exact; m; m &= m - 1) {
      const int l = __builtin_ctz(m);
      dst[x + l] = ExactGrey(s[3 * l], s[3 * l + 1], s[3 * l + 2]);
    }
  }
  GreyColourRow<3>(src + 3 * static_cast<std::size_t>(x), dst + x, width - x);
}
#pragma GCC diagnostic pop
#endif

PIXALTO_CLONES void GreyRow24Portable(const std::uint8_t* src, std::uint8_t* dst, int width) {
  GreyColourRow<3>(src, dst, width);
}

void GreyRow24(const std::uint8_t* src, std::uint8_t* dst, int width) {
#if defined(__x86_64__) && defined(__GNUC__)
  if (WideVectors()) {
    GreyRow24Wide(src, dst, width);
    return;
  }
#endif
  GreyRow24Portable(src, dst, width);
}
PIXALTO_CLONES void GreyRow32(const std::uint8_t* src, std::uint8_t* dst, int width) {
  GreyColourRow<4>(src, dst, width);
}

}  // namespace

void GreyRow(const std::uint8_t* src, std::uint8_t* dst, int width, int depth,
             const std::uint8_t paletteGreys[256]) {
  if (depth == 8) {
    for (int x = 0; x < width; ++x) dst[x] = paletteGreys[src[x]];
  } else if (depth == 24) {
    GreyRow24(src, dst, width);
  } else {
    GreyRow32(src, dst, width);
  }
}

}  // namespace pixalto

using namespace pixalto;

int CDataHandler::ColourToGreyScale(const unsigned char* source, int width, int height, int depth,
                                    const tagRGBQUAD* palette, unsigned char* dest, int pad) {
  if (!source || !dest || width < 1 || height < 1 || !PictureDepth(depth)) return 0;
  const std::size_t srcStride = PictureStride(width, depth);
  const std::size_t dstStride = pad ? PictureStride(width, 8) : static_cast<std::size_t>(width);
  if (depth == 8 && !palette) {
    std::memset(dest, 0, dstStride * static_cast<std::size_t>(height));
    return 1;
  }
  std::uint8_t greys[256];
  if (depth == 8) PaletteGreys(palette, greys);
  for (int y = 0; y < height; ++y) {
    unsigned char* d = dest + dstStride * y;
    GreyRow(source + srcStride * y, d, width, depth, greys);
    std::memset(d + width, 0, dstStride - width);
  }
  return 1;
}

int CDataHandler::GreyScaleToColour24(const unsigned char* source, int width, int height, int depth,
                                      const tagRGBQUAD* palette, unsigned char* dest) {
  // An 8-bit picture has no colours without its palette.
  if (!source || !dest || width < 1 || height < 1 || !PictureDepth(depth)) return 0;
  if (depth == 8 && !palette) return 0;
  const std::size_t srcStride = PictureStride(width, depth);
  const std::size_t dstStride = PictureStride(width, 24);
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
  for (int y = 0; y < height; ++y) {
    const unsigned char* s = source + srcStride * y;
    unsigned char* d = dest + dstStride * y;
    if (depth == 24) {
      std::memcpy(d, s, rowBytes);
    } else if (depth == 32) {
      for (int x = 0; x < width; ++x, s += 4, d += 3) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
      }
      d = dest + dstStride * y;
    } else {
      for (int x = 0; x < width; ++x, d += 3) {
        const tagRGBQUAD& e = palette[s[x]];
        d[0] = e.rgbBlue;
        d[1] = e.rgbGreen;
        d[2] = e.rgbRed;
      }
      d = dest + dstStride * y;
    }
    std::memset(d + rowBytes, 0, dstStride - rowBytes);
  }
  return 1;
}

namespace {

#if defined(__x86_64__) && defined(__GNUC__)
// GCC 12 reports the undefined pass-through vectors inside its own AVX-512
// intrinsic headers as possibly uninitialised (a known false positive).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
// Sixteen pixels per step: 48 bytes spread to 64 by one byte permutation,
// the fourth byte of each word then set. The loads are masked, so nothing
// beyond the last pixel is read.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void Opaque32Vbmi(const unsigned char* src,
                                                                          std::uint32_t* dst, long count) {
  alignas(64) unsigned char spread[64];
  for (int i = 0; i < 64; ++i) spread[i] = static_cast<unsigned char>(i % 4 == 3 ? 0 : 3 * (i / 4) + i % 4);
  const __m512i index = _mm512_load_si512(spread);
  const __m512i alpha = _mm512_set1_epi32(static_cast<int>(0xFF000000u));
  long k = 0;
  for (; k + 16 <= count; k += 16) {
    const __m512i v = _mm512_maskz_loadu_epi8(0x0000FFFFFFFFFFFFull, src + 3 * k);
    _mm512_storeu_si512(dst + k, _mm512_or_si512(_mm512_permutexvar_epi8(index, v), alpha));
  }
  if (k < count) {
    const long left = count - k;
    const __m512i v = _mm512_maskz_loadu_epi8(~0ull >> (64 - 3 * left), src + 3 * k);
    _mm512_mask_storeu_epi32(dst + k, static_cast<__mmask16>((1u << left) - 1),
                             _mm512_or_si512(_mm512_permutexvar_epi8(index, v), alpha));
  }
}
#pragma GCC diagnostic pop
#endif

}  // namespace

void CDataHandler::Colour24ToOpaque32(const unsigned char* source, std::uint32_t* dest, long count) {
  if (!source || !dest || count <= 0) return;
#if defined(__x86_64__) && defined(__GNUC__)
  if (ByteLookupVectors()) {
    Opaque32Vbmi(source, dest, count);
    return;
  }
#endif
  // Blue, green, red read as one little-endian word are the wanted word less
  // the fourth byte; the last pixel is read byte by byte, as a word there
  // would reach past the row.
  long x = 0;
  for (; x + 1 < count; ++x) {
    std::uint32_t v;
    std::memcpy(&v, source + 3 * x, 4);
    dest[x] = v | 0xFF000000u;
  }
  const unsigned char* last = source + 3 * x;
  dest[x] = 0xFF000000u | (std::uint32_t{last[2]} << 16) | (std::uint32_t{last[1]} << 8) | last[0];
}

int CDataHandler::ZoomData(const unsigned char* source, int width, int height, int depth,
                           float scale, unsigned char*& out, int& outWidth, int& outHeight) {
  if (!source || width <= 0 || height <= 0 || !(scale > 0) || !WholeByteDepth(depth)) return 0;
  // The products and quotients involve the single-precision scale and are
  // formed in single precision; the rounding half is added in double.
  const double newWidthReal = static_cast<float>(scale * width) + 0.5;
  const double newHeightReal = static_cast<float>(scale * height) + 0.5;
  if (!(newWidthReal < std::numeric_limits<int>::max()) ||
      !(newHeightReal < std::numeric_limits<int>::max()))
    return 0;
  const int newWidth = static_cast<int>(newWidthReal);
  const int newHeight = static_cast<int>(newHeightReal);
  if (newWidth <= 0 || newHeight <= 0) return 0;
  const std::size_t dstStride = PictureStride(newWidth, depth);
  if (dstStride / (static_cast<std::size_t>(depth) / 8) < static_cast<std::size_t>(newWidth)) return 0;
  unsigned char* result = NewMem(dstStride * static_cast<std::size_t>(newHeight));
  if (!result) return 0;

  const std::size_t bpp = static_cast<std::size_t>(depth) / 8;
  const std::size_t srcStride = PictureStride(width, depth);
  // Source byte offset of each destination column; the mapping grows with the
  // column, so the columns with a source pixel form a prefix.
  std::vector<int> columnOffset3;  // 3-byte pixels: the gathering copy takes 32-bit offsets
  std::vector<std::size_t> columnOffset;
  columnOffset.reserve(static_cast<std::size_t>(newWidth));
  for (int j = 0; j < newWidth; ++j) {
    const int sx = static_cast<int>(static_cast<float>(j / scale) + 0.5);
    if (sx >= width) break;
    columnOffset.push_back(static_cast<std::size_t>(sx) * bpp);
  }
  const std::size_t validColumns = columnOffset.size();
  const std::size_t srcBytes = srcStride * static_cast<std::size_t>(height);
  const bool gather3 = bpp == 3 && srcBytes < (1ull << 31);
  if (gather3) columnOffset3.assign(columnOffset.begin(), columnOffset.end());
  const std::size_t validBytes = validColumns * bpp;

  int previousSy = -1;
  for (int i = 0; i < newHeight; ++i) {
    unsigned char* d = result + dstStride * i;
    const int sy = static_cast<int>(static_cast<float>(i / scale) + 0.5);
    if (sy >= height) {
      std::memset(d, 0, dstStride);
      continue;
    }
    if (sy == previousSy) {
      std::memcpy(d, d - dstStride, dstStride);
      continue;
    }
    previousSy = sy;
    const unsigned char* s = source + srcStride * sy;
    switch (bpp) {
      case 1:
        for (std::size_t j = 0; j < validColumns; ++j) d[j] = s[columnOffset[j]];
        break;
      case 3:
        if (gather3) {
          GatherPixels3(s, srcBytes - srcStride * sy, columnOffset3.data(),
                        static_cast<long>(validColumns), d);
          break;
        }
        for (std::size_t j = 0; j < validColumns; ++j) {
          const unsigned char* p = s + columnOffset[j];
          d[3 * j] = p[0];
          d[3 * j + 1] = p[1];
          d[3 * j + 2] = p[2];
        }
        break;
      case 4:
        for (std::size_t j = 0; j < validColumns; ++j)
          std::memcpy(d + 4 * j, s + columnOffset[j], 4);
        break;
      default:
        for (std::size_t j = 0; j < validColumns; ++j)
          std::memcpy(d + bpp * j, s + columnOffset[j], bpp);
        break;
    }
    std::memset(d + validBytes, 0, dstStride - validBytes);
  }
  out = result;
  outWidth = newWidth;
  outHeight = newHeight;
  return 1;
}
