#pragma once
// Helpers shared by the CDataHandler source files (not exported).

#include "platform/records.h"

#include <cstddef>
#include <cstdint>

namespace pixalto {

// Depths whose pixels are whole bytes (8 to 64 bits).
inline bool WholeByteDepth(int depth) { return depth >= 8 && depth <= 64 && depth % 8 == 0; }
// The depths of the picture convention.
inline bool PictureDepth(int depth) { return depth == 8 || depth == 24 || depth == 32; }

// Grey value of a colour: trunc((0.59 G + 0.30 R) + 0.11 B), evaluated in
// double precision in exactly that order.
inline std::uint8_t ExactGrey(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
  const double v = (0.59 * green + 0.30 * red) + 0.11 * blue;
  return static_cast<std::uint8_t>(static_cast<int>(v));
}

// Several copies of the hottest loops, each compiled for a newer x86-64
// level and chosen when the library loads; the bytes they produce are the
// same on every path. ThreadSanitizer builds use the default loops: the
// clones' resolvers run before ThreadSanitizer has started and crash it.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define PIXALTO_CLONES __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define PIXALTO_CLONES
#endif

// AVX-512 (F, DQ, VL, BW) is present and not switched off with
// BREVIO_PIXALTO_PORTABLE=1; ByteLookupVectors adds the byte permutations.
bool WideVectors();
bool ByteLookupVectors();

// dst[k] = the 3-byte pixel at src + offsets[k], for k < count. `srcBytes`
// bounds the source so that no read passes its end.
void GatherPixels3(const unsigned char* src, std::size_t srcBytes, const int* offsets, long count,
                   unsigned char* dst);

// Grey value of each palette entry (all zero without a palette).
void PaletteGreys(const tagRGBQUAD* palette, std::uint8_t greys[256]);

// Grey value of every pixel of one row of a 8-, 24- or 32-bit picture.
// `paletteGreys` serves 8-bit rows.
void GreyRow(const std::uint8_t* src, std::uint8_t* dst, int width, int depth,
             const std::uint8_t paletteGreys[256]);

// Bilinear sample of the n bytes of the pixel at (sx, sy) of a picture
// W x H with rows `stride` apart, as the bilinear rotation defines it:
// x0 = trunc(sx), y0 = trunc(sy) limited to the last column and row, the
// last column and row sampled along one axis only, each term in double
// precision in the stated order, each byte truncated. N > 0 fixes n at
// compile time for the common pixel sizes; N = 0 takes it from `n`.
template <int N>
inline void SampleBilinearPixel(const unsigned char* src, std::size_t stride, int W, int H, int n,
                                double sx, double sy, unsigned char* out) {
  const int count = N > 0 ? N : n;
  int x0 = static_cast<int>(sx);
  int y0 = static_cast<int>(sy);
  if (x0 > W - 1) x0 = W - 1;
  if (y0 > H - 1) y0 = H - 1;
  const double fx = sx - x0;
  const double fy = sy - y0;
  const std::size_t step = static_cast<std::size_t>(count);
  const unsigned char* p00 = src + stride * y0 + static_cast<std::size_t>(x0) * step;
  const bool lastColumn = sx >= W - 1;
  const bool lastRow = sy >= H - 1;
  if (lastColumn && lastRow) {
    for (int k = 0; k < count; ++k) out[k] = p00[k];
  } else if (lastColumn) {
    const unsigned char* p01 = p00 + stride;
    const double gy = 1 - fy;
    for (int k = 0; k < count; ++k)
      out[k] = static_cast<unsigned char>(static_cast<int>(fy * p01[k] + p00[k] * gy));
  } else if (lastRow) {
    const unsigned char* p10 = p00 + step;
    const double gx = 1 - fx;
    for (int k = 0; k < count; ++k)
      out[k] = static_cast<unsigned char>(static_cast<int>(fx * p10[k] + p00[k] * gx));
  } else {
    const unsigned char* p10 = p00 + step;
    const unsigned char* p01 = p00 + stride;
    const unsigned char* p11 = p01 + step;
    const double gx = 1 - fx;
    const double gy = 1 - fy;
    for (int k = 0; k < count; ++k)
      out[k] = static_cast<unsigned char>(static_cast<int>(
          fy * (fx * p11[k] + p01[k] * gx) + gy * (fx * p10[k] + p00[k] * gx)));
  }
}

template <int N>
inline void SampleBilinear(const unsigned char* src, std::size_t stride, int W, int H, double sx, double sy,
                           unsigned char* out) {
  SampleBilinearPixel<N>(src, stride, W, H, N, sx, sy, out);
}

inline void SampleBilinearAny(const unsigned char* src, std::size_t stride, int W, int H, int n, double sx,
                              double sy, unsigned char* out) {
  SampleBilinearPixel<0>(src, stride, W, H, n, sx, sy, out);
}

}  // namespace pixalto
