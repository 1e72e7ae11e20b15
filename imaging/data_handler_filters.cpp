// Neighbourhood filters: convolution and the edge detectors built on it, box
// smoothing of grey planes and 24-bit pictures, spike removal, erosion of on
// pixels, grey-level mappings and the lifting wavelet.
//
// The filters work in place. A filter that reads a neighbourhood keeps the
// original bytes of the rows it has already overwritten in a small ring of
// row copies (RowRing), so no full copy of the picture is needed.
//
// Convolution sums are kept in single precision, term after term in kernel
// row order, each term formed in double precision and the sum rounded back
// to single precision. When every kernel value is a whole number and the
// sums stay below 2^24 every partial sum is a whole number that single
// precision holds exactly, so whole-number arithmetic gives the same bytes
// (the Sobel and Laplacian kernels); other kernels go through the exact
// floating-point steps.

#include "imaging/data_handler.h"
#include "imaging/pixel_common.h"
#include "imaging/scratch_buffer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace pixalto {
namespace {

constexpr double kRoot2 = 1.4142135623730951;  // the nearest double to the square root of 2

// The original bytes of the last `count` rows overwritten, so that a filter
// writing row y in place can still read the rows above it as they were.
class RowRing {
 public:
  RowRing(std::size_t rowBytes, int count)
      : rowBytes_(rowBytes), count_(count), rows_(rowBytes * static_cast<std::size_t>(count)) {}
  bool ok() const { return static_cast<bool>(rows_); }
  // Keeps the original of row `y` before it is overwritten.
  void Keep(int y, const std::uint8_t* row) { std::memcpy(Slot(y), row, rowBytes_); }
  // Row `y` as it was: the kept copy when it was overwritten (y in
  // [firstWritten, current)), else the picture's own row.
  const std::uint8_t* Row(int y, int firstWritten, int current, const std::uint8_t* picture,
                          std::size_t stride) const {
    if (y >= firstWritten && y < current) return Slot(y);
    return picture + stride * static_cast<std::size_t>(y);
  }

 private:
  std::uint8_t* Slot(int y) const {
    return rows_.get() + rowBytes_ * static_cast<std::size_t>(y % count_);
  }
  std::size_t rowBytes_;
  int count_;
  ScratchBuffer<std::uint8_t> rows_;
};

// The final byte of a convolution: |sum x factor| in single precision,
// limited to 255 (a sum that is not a number counts as the limit), rounded
// half up in double precision.
inline std::uint8_t FinishSum(float sum, double factor) {
  float v = static_cast<float>(std::fabs(static_cast<double>(sum) * factor));
  if (!(v <= 255.0f)) v = 255.0f;
  return static_cast<std::uint8_t>(static_cast<int>(static_cast<double>(v) + 0.5));
}

// ---- Row kernels (several CPU levels each, see PIXALTO_CLONES) ------------

// acc[i] = float(double(acc[i]) + k * src[i]): one exact convolution term.
PIXALTO_CLONES void AddTermFloat(float* acc, const std::uint8_t* src, int n, double k) {
  for (int i = 0; i < n; ++i)
    acc[i] = static_cast<float>(static_cast<double>(acc[i]) + k * static_cast<double>(src[i]));
}

PIXALTO_CLONES void AddTerm16(std::int16_t* acc, const std::uint8_t* src, int n, std::int16_t k) {
  for (int i = 0; i < n; ++i) acc[i] = static_cast<std::int16_t>(acc[i] + k * src[i]);
}

PIXALTO_CLONES void AddTerm32(std::int32_t* acc, const std::uint8_t* src, int n, std::int32_t k) {
  for (int i = 0; i < n; ++i) acc[i] += k * src[i];
}

// |sum| limited to 255: the final byte of a whole-number sum with factor 1.
PIXALTO_CLONES void FinishWhole16(const std::int16_t* acc, std::uint8_t* dst, int n) {
  for (int i = 0; i < n; ++i) {
    const int v = std::abs(static_cast<int>(acc[i]));
    dst[i] = static_cast<std::uint8_t>(v > 255 ? 255 : v);
  }
}

PIXALTO_CLONES void FinishWhole32(const std::int32_t* acc, std::uint8_t* dst, int n) {
  for (int i = 0; i < n; ++i) {
    const int v = std::abs(acc[i]);
    dst[i] = static_cast<std::uint8_t>(v > 255 ? 255 : v);
  }
}

// Sobel with weights 1 2 1, whole numbers throughout (|sum| <= 1020): the
// larger of the two responses, limited to 255. a, b, c are the rows above,
// at and below the output row; x runs over 1 .. n.
PIXALTO_CLONES void SobelRow(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c,
                             std::uint8_t* dst, int n) {
  for (int x = 1; x <= n; ++x) {
    const int gx = (a[x + 1] + 2 * b[x + 1] + c[x + 1]) - (a[x - 1] + 2 * b[x - 1] + c[x - 1]);
    const int gy = (c[x - 1] + 2 * c[x] + c[x + 1]) - (a[x - 1] + 2 * a[x] + a[x + 1]);
    const int m = std::max(std::abs(gx), std::abs(gy));
    dst[x] = static_cast<std::uint8_t>(m > 255 ? 255 : m);
  }
}

// Sobel with weights 1 sqrt2 1, exactly as the single-precision convolution
// forms it. Terms with a whole-number weight added to a single-precision sum
// are exact in double precision before the one rounding, so they are plain
// single-precision additions; the sqrt2 terms need the double step.
void SobelExRowPortable(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c,
                        std::uint8_t* dst, int from, int to) {
  for (int x = from; x <= to; ++x) {
    // [-1 0 1; -sqrt2 0 sqrt2; -1 0 1]
    float sx = static_cast<float>(a[x + 1] - a[x - 1]);
    sx = static_cast<float>(static_cast<double>(sx) + -kRoot2 * static_cast<double>(b[x - 1]));
    sx = static_cast<float>(static_cast<double>(sx) + kRoot2 * static_cast<double>(b[x + 1]));
    sx = sx - static_cast<float>(c[x - 1]);
    sx = sx + static_cast<float>(c[x + 1]);
    // [-1 -sqrt2 -1; 0 0 0; 1 sqrt2 1]
    float sy = static_cast<float>(-a[x - 1]);
    sy = static_cast<float>(static_cast<double>(sy) + -kRoot2 * static_cast<double>(a[x]));
    sy = sy - static_cast<float>(a[x + 1]);
    sy = sy + static_cast<float>(c[x - 1]);
    sy = static_cast<float>(static_cast<double>(sy) + kRoot2 * static_cast<double>(c[x]));
    sy = sy + static_cast<float>(c[x + 1]);
    // Rounding is monotonic, so the larger response gives the larger byte.
    float v = std::max(std::fabs(sx), std::fabs(sy));
    v = v > 255.0f ? 255.0f : v;
    dst[x] = static_cast<std::uint8_t>(static_cast<int>(static_cast<double>(v) + 0.5));
  }
}

#if defined(__x86_64__) && defined(__GNUC__)
// The same steps, eight pixels at a time: the double steps in 512-bit
// double lanes, the single-precision steps in 256-bit float lanes. The
// conversions round to nearest like the scalar casts (the default mode).
// GCC 12 reports the undefined pass-through vectors inside its own AVX-512
// intrinsic headers as possibly uninitialised (a known false positive).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#define PIXALTO_WIDE __attribute__((target("avx512f,avx512dq,avx512vl,avx512bw")))
PIXALTO_WIDE inline __m256i WideInts(const std::uint8_t* p) {
  return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}
// float(double(sum) + k * p): a convolution term with a weight that is not whole.
PIXALTO_WIDE inline __m256 WideDoubleStep(__m256 sum, __m512d k, __m256i p) {
  return _mm512_cvtpd_ps(_mm512_add_pd(_mm512_cvtps_pd(sum), _mm512_mul_pd(k, _mm512_cvtepi32_pd(p))));
}
PIXALTO_WIDE void SobelExRowWide(
    const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, std::uint8_t* dst,
    int n) {
  const __m512d r2 = _mm512_set1_pd(kRoot2), mr2 = _mm512_set1_pd(-kRoot2);
  const __m256 limit = _mm256_set1_ps(255.0f);
  const __m512d half = _mm512_set1_pd(0.5);
  const __m256 signBit = _mm256_set1_ps(-0.0f);
  int x = 1;
  for (; x + 8 <= n + 1; x += 8) {
    const __m256i a0 = WideInts(a + x - 1), a1 = WideInts(a + x), a2 = WideInts(a + x + 1);
    const __m256i b0 = WideInts(b + x - 1), b2 = WideInts(b + x + 1);
    const __m256i c0 = WideInts(c + x - 1), c1 = WideInts(c + x), c2 = WideInts(c + x + 1);
    __m256 sx = _mm256_cvtepi32_ps(_mm256_sub_epi32(a2, a0));
    sx = WideDoubleStep(sx, mr2, b0);
    sx = WideDoubleStep(sx, r2, b2);
    sx = _mm256_sub_ps(sx, _mm256_cvtepi32_ps(c0));
    sx = _mm256_add_ps(sx, _mm256_cvtepi32_ps(c2));
    __m256 sy = _mm256_cvtepi32_ps(_mm256_sub_epi32(_mm256_setzero_si256(), a0));
    sy = WideDoubleStep(sy, mr2, a1);
    sy = _mm256_sub_ps(sy, _mm256_cvtepi32_ps(a2));
    sy = _mm256_add_ps(sy, _mm256_cvtepi32_ps(c0));
    sy = WideDoubleStep(sy, r2, c1);
    sy = _mm256_add_ps(sy, _mm256_cvtepi32_ps(c2));
    __m256 v = _mm256_max_ps(_mm256_andnot_ps(signBit, sx), _mm256_andnot_ps(signBit, sy));
    v = _mm256_min_ps(v, limit);
    const __m256i r = _mm512_cvttpd_epi32(_mm512_add_pd(_mm512_cvtps_pd(v), half));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + x), _mm256_cvtepi32_epi8(r));
  }
  SobelExRowPortable(a, b, c, dst, x, n);
}
#undef PIXALTO_WIDE
#pragma GCC diagnostic pop
#endif

void SobelExRow(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c,
                std::uint8_t* dst, int n) {
#if defined(__x86_64__) && defined(__GNUC__)
  if (WideVectors()) {
    SobelExRowWide(a, b, c, dst, n);
    return;
  }
#endif
  SobelExRowPortable(a, b, c, dst, 1, n);
}

// Truncated 3 x 3 mean of a grey row, x over 1 .. n.
PIXALTO_CLONES void MeanRow(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c,
                            std::uint16_t* column, std::uint8_t* dst, int n) {
  for (int x = 0; x < n + 2; ++x)
    column[x] = static_cast<std::uint16_t>(a[x] + b[x] + c[x]);
  for (int x = 1; x <= n; ++x)
    dst[x] = static_cast<std::uint8_t>(
        static_cast<std::uint16_t>(column[x - 1] + column[x] + column[x + 1]) / 9u);
}

// Truncated 3 x 3 mean of each channel of a 24-bit row, bytes 3 .. bytes-4.
PIXALTO_CLONES void MeanRow24(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c,
                              std::uint16_t* column, std::uint8_t* dst, int bytes) {
  for (int k = 0; k < bytes; ++k) column[k] = static_cast<std::uint16_t>(a[k] + b[k] + c[k]);
  for (int k = 3; k < bytes - 3; ++k)
    dst[k] = static_cast<std::uint8_t>(
        static_cast<std::uint16_t>(column[k - 3] + column[k] + column[k + 3]) / 9u);
}

// Erosion decision of one row: an on pixel (above 125) stays with at least
// 3 on cross neighbours, else becomes 0; other pixels stay. x over 1 .. n.
PIXALTO_CLONES void CorrodeRow(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c,
                               std::uint8_t* dst, int n) {
  for (int x = 1; x <= n; ++x) {
    const int on = (a[x] > 125) + (c[x] > 125) + (b[x - 1] > 125) + (b[x + 1] > 125);
    dst[x] = (b[x] > 125 && on < 3) ? 0 : b[x];
  }
}

// Per byte of a 24-bit row: 1 when strictly below all four cross
// neighbours, 2 when strictly above them. Bytes 3 .. bytes-4.
PIXALTO_CLONES void SpikeBytes(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c,
                               std::uint8_t* order, int bytes) {
  for (int k = 3; k < bytes - 3; ++k) {
    const std::uint8_t v = b[k];
    const std::uint8_t lo = std::min(std::min(a[k], c[k]), std::min(b[k - 3], b[k + 3]));
    const std::uint8_t hi = std::max(std::max(a[k], c[k]), std::max(b[k - 3], b[k + 3]));
    order[k] = static_cast<std::uint8_t>((v < lo) | ((v > hi) << 1));
  }
}

// ---- Whole-plane helpers -----------------------------------------------------

// Runs `row(a, b, c, out)` for every inner row y (1 .. height-2) of a
// picture, a/b/c being rows y-1, y, y+1 as they were before the call and
// `out` a scratch row that is then copied over row y (bytes first .. last-1
// only). Returns false when the scratch rows cannot be had.
template <typename RowOp>
bool ForInnerRows(std::uint8_t* data, std::size_t stride, int height, std::size_t first,
                  std::size_t last, RowOp row) {
  RowRing ring(stride, 2);
  ScratchBuffer<std::uint8_t> out(stride);
  if (!ring.ok() || !out) return false;
  for (int y = 1; y + 1 < height; ++y) {
    const std::uint8_t* a = ring.Row(y - 1, 1, y, data, stride);
    std::uint8_t* b = data + stride * static_cast<std::size_t>(y);
    const std::uint8_t* c = data + stride * static_cast<std::size_t>(y + 1);
    row(a, b, c, out.get());
    ring.Keep(y, b);
    std::memcpy(b + first, out.get() + first, last - first);
  }
  return true;
}

// Every byte v of the plane becomes table[v].
void MapBytes(std::uint8_t* plane, std::size_t count, const std::uint8_t table[256]) {
  for (std::size_t i = 0; i < count; ++i) plane[i] = table[plane[i]];
}

void Histogram(const std::uint8_t* plane, std::size_t count, std::uint64_t hist[256]) {
  // Four partial histograms hide the store-to-load delay of equal neighbours.
  std::vector<std::uint64_t> part(4 * 256, 0);
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    ++part[plane[i]];
    ++part[256 + plane[i + 1]];
    ++part[512 + plane[i + 2]];
    ++part[768 + plane[i + 3]];
  }
  for (; i < count; ++i) ++part[plane[i]];
  for (int v = 0; v < 256; ++v) hist[v] = part[v] + part[256 + v] + part[512 + v] + part[768 + v];
}

// One level of the 5/3 lifting step on n samples in place: the even samples
// s go to the first (n+1)/2 places, the odd samples d after them. Where a
// neighbour is missing at the end, the last two of the other kind are used.
void Lift(int* x, int n, int* tmp) {
  const int ns = (n + 1) / 2, nd = n / 2;
  int* s = tmp;
  int* d = tmp + ns;
  for (int i = 0; i < ns; ++i) s[i] = x[2 * i];
  for (int i = 0; i < nd; ++i) d[i] = x[2 * i + 1];
  for (int l = 0; l < nd; ++l) {
    const int right = l + 1 < ns ? s[l + 1] : s[std::max(ns - 2, 0)];
    d[l] -= (s[l] + right) >> 1;
  }
  for (int l = 0; l < ns && nd > 0; ++l) {
    int left, right;
    if (l == 0) {
      left = d[0];
      right = nd > 1 ? d[1] : d[0];
    } else if (l < nd) {
      left = d[l - 1];
      right = d[l];
    } else {
      left = d[nd - 1];
      right = d[std::max(nd - 2, 0)];
    }
    s[l] += (left + right) >> 2;
  }
  for (int i = 0; i < ns; ++i) x[i] = static_cast<int>(s[i] * 1.414);
  for (int i = 0; i < nd; ++i) x[ns + i] = static_cast<int>(d[i] / 1.414);
}

// The outermost rows and columns of a plane have no full neighbourhood:
// the 3 × 3 filters set them to 0.
void ClearPlaneBorder(std::uint8_t* plane, std::size_t w, int height) {
  std::memset(plane, 0, w);
  std::memset(plane + w * static_cast<std::size_t>(height - 1), 0, w);
  for (int y = 1; y + 1 < height; ++y) {
    plane[w * static_cast<std::size_t>(y)] = 0;
    plane[w * static_cast<std::size_t>(y) + w - 1] = 0;
  }
}

}  // namespace
}  // namespace pixalto

using namespace pixalto;

// ---- Convolution and edge detectors ------------------------------------------

int CDataHandler::Template(unsigned char* plane, int width, int height, const double* kernel,
                           int kw, int kh, double factor) {
  if (!plane || !kernel || kw < 1 || kh < 1 || width < kw || height < kh) return 0;
  const std::size_t taps = static_cast<std::size_t>(kw) * static_cast<std::size_t>(kh);
  if (!std::isfinite(factor)) return 0;
  // Whole-number kernels whose sums stay exact in single precision take the
  // integer path; 16-bit sums when they cannot pass 32767.
  bool whole = true;
  double weight = 0;
  for (std::size_t i = 0; i < taps; ++i) {
    if (!std::isfinite(kernel[i])) return 0;
    whole = whole && kernel[i] == std::trunc(kernel[i]);
    weight += std::fabs(kernel[i]);
  }
  whole = whole && weight * 255 <= 16777216.0;
  const bool narrow = whole && weight * 255 <= 32767.0;

  const std::size_t w = static_cast<std::size_t>(width);
  const int n = width - kw + 1;  // output columns kw/2 .. width-kw+kw/2
  const int y0 = kh / 2, y1 = height - kh + kh / 2;
  RowRing ring(w, kh / 2 + 1);
  ScratchBuffer<float> accF(whole ? 0 : static_cast<std::size_t>(n));
  ScratchBuffer<std::int32_t> acc32(whole && !narrow ? static_cast<std::size_t>(n) : 0);
  ScratchBuffer<std::int16_t> acc16(narrow ? static_cast<std::size_t>(n) : 0);
  ScratchBuffer<std::uint8_t> out(static_cast<std::size_t>(n));
  if (!ring.ok() || !out || (!whole && !accF) || (whole && !narrow && !acc32) || (narrow && !acc16))
    return 0;

  for (int y = y0; y <= y1; ++y) {
    if (narrow) std::memset(acc16.get(), 0, sizeof(std::int16_t) * n);
    else if (whole) std::memset(acc32.get(), 0, sizeof(std::int32_t) * n);
    else std::fill(accF.get(), accF.get() + n, 0.0f);
    for (int r = 0; r < kh; ++r) {
      const std::uint8_t* src = ring.Row(y - y0 + r, y0, y, plane, w);
      for (int c = 0; c < kw; ++c) {
        // A zero term adds an exact zero to the sum; skipping it changes nothing.
        const double k = kernel[static_cast<std::size_t>(r) * kw + c];
        if (k == 0) continue;
        if (narrow) AddTerm16(acc16.get(), src + c, n, static_cast<std::int16_t>(k));
        else if (whole) AddTerm32(acc32.get(), src + c, n, static_cast<std::int32_t>(k));
        else AddTermFloat(accF.get(), src + c, n, k);
      }
    }
    std::uint8_t* d = out.get();
    if (narrow && factor == 1.0) {
      FinishWhole16(acc16.get(), d, n);
    } else if (whole && factor == 1.0) {
      FinishWhole32(acc32.get(), d, n);
    } else {
      for (int i = 0; i < n; ++i) {
        const float sum = narrow ? static_cast<float>(acc16[i])
                          : whole ? static_cast<float>(acc32[i])
                                  : accF[i];
        d[i] = FinishSum(sum, factor);
      }
    }
    std::uint8_t* row = plane + w * static_cast<std::size_t>(y);
    ring.Keep(y, row);
    std::memcpy(row + kw / 2, d, static_cast<std::size_t>(n));
  }
  return 1;
}

int CDataHandler::EdgeDetectionSobel(unsigned char* plane, int width, int height) {
  if (!plane || width < 3 || height < 3) return 0;
  const std::size_t w = static_cast<std::size_t>(width);
  return ForInnerRows(plane, w, height, 1, w - 1,
                      [&](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c,
                          std::uint8_t* out) { SobelRow(a, b, c, out, width - 2); })
             ? 1
             : 0;
}

int CDataHandler::EdgeDetectionSobelEx(unsigned char* plane, int width, int height) {
  if (!plane || width < 3 || height < 3) return 0;
  const std::size_t w = static_cast<std::size_t>(width);
  return ForInnerRows(plane, w, height, 1, w - 1,
                      [&](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c,
                          std::uint8_t* out) { SobelExRow(a, b, c, out, width - 2); })
             ? 1
             : 0;
}

int CDataHandler::EdgeDetectionLog(unsigned char* plane, int width, int height) {
  static const double kLaplacianOfGaussian[25] = {
      -2, -4, -4, -4, -2,  //
      -4, 0,  8,  0,  -4,  //
      -4, 8,  24, 8,  -4,  //
      -4, 0,  8,  0,  -4,  //
      -2, -4, -4, -4, -2,
  };
  return Template(plane, width, height, kLaplacianOfGaussian, 5, 5, 1.0);
}

// ---- Smoothing and erosion ----------------------------------------------------------

int CDataHandler::MedianFilter(unsigned char* plane, int width, int height) {
  if (!plane || width < 1 || height < 1) return 0;
  const std::size_t w = static_cast<std::size_t>(width);
  if (width >= 3 && height >= 3) {
    ScratchBuffer<std::uint16_t> column(w);
    if (!column) return 0;
    if (!ForInnerRows(plane, w, height, 1, w - 1,
                      [&](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c,
                          std::uint8_t* out) { MeanRow(a, b, c, column.get(), out, width - 2); }))
      return 0;
  }
  ClearPlaneBorder(plane, w, height);
  return 1;
}

int CDataHandler::Colour24MedianFilter(unsigned char* data, int width, int height) {
  if (!data || width < 1 || height < 1) return 0;
  if (width < 3 || height < 3) return 1;  // every pixel is on the border and keeps its value
  const std::size_t stride = PictureStride(width, 24);
  const int bytes = width * 3;
  ScratchBuffer<std::uint16_t> column(static_cast<std::size_t>(bytes));
  if (!column) return 0;
  return ForInnerRows(data, stride, height, 3, static_cast<std::size_t>(bytes - 3),
                      [&](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c,
                          std::uint8_t* out) { MeanRow24(a, b, c, column.get(), out, bytes); })
             ? 1
             : 0;
}

int CDataHandler::Colour24MedianFilterEx(unsigned char* data, int width, int height) {
  if (!data || width < 1 || height < 1) return 0;
  if (width < 3 || height < 3) return 1;
  const std::size_t stride = PictureStride(width, 24);
  const int bytes = width * 3;
  ScratchBuffer<std::uint8_t> order(static_cast<std::size_t>(bytes));
  ScratchBuffer<std::uint8_t> candidate(static_cast<std::size_t>(width));
  if (!order || !candidate) return 0;
  for (int y = 1; y + 1 < height; ++y) {
    std::uint8_t* b = data + stride * static_cast<std::size_t>(y);
    const std::uint8_t* a = b - stride;  // already final: the filter works in memory order
    const std::uint8_t* c = b + stride;
    // Candidates judged with the row as it is now; only the left neighbour
    // of a pixel can still change before its turn, and that case is judged
    // again below.
    SpikeBytes(a, b, c, order.get(), bytes);
    for (int x = 1; x + 1 < width; ++x) {
      const std::uint8_t* o = order.get() + 3 * x;
      candidate[static_cast<std::size_t>(x)] = (o[0] & o[1] & o[2]) != 0;
    }
    bool replacedLeft = false;
    for (int x = 1; x + 1 < width;) {
      if (!replacedLeft) {
        const void* next = std::memchr(candidate.get() + x, 1, static_cast<std::size_t>(width - 1 - x));
        if (!next) break;
        x = static_cast<int>(static_cast<const std::uint8_t*>(next) - candidate.get());
      }
      std::uint8_t* p = b + 3 * x;
      const std::uint8_t* up = a + 3 * x;
      const std::uint8_t* down = c + 3 * x;
      bool below = true, above = true;
      for (int k = 0; k < 3; ++k) {
        const std::uint8_t v = p[k];
        below = below && v < up[k] && v < down[k] && v < p[k - 3] && v < p[k + 3];
        above = above && v > up[k] && v > down[k] && v > p[k - 3] && v > p[k + 3];
      }
      replacedLeft = below || above;
      if (replacedLeft)
        for (int k = 0; k < 3; ++k)
          p[k] = static_cast<std::uint8_t>((up[k] + down[k] + p[k - 3] + p[k + 3]) >> 2);
      ++x;
    }
  }
  return 1;
}

int CDataHandler::RegionCorrosion(unsigned char* plane, int width, int height) {
  if (!plane || width < 1 || height < 1) return 0;
  const std::size_t w = static_cast<std::size_t>(width);
  if (width >= 3 && height >= 3 &&
      !ForInnerRows(plane, w, height, 1, w - 1,
                    [&](const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c,
                        std::uint8_t* out) { CorrodeRow(a, b, c, out, width - 2); }))
    return 0;
  ClearPlaneBorder(plane, w, height);
  return 1;
}

// ---- Grey levels -------------------------------------------------------------------

int CDataHandler::GreyDegreeExtend(unsigned char* plane, int width, int height) {
  const std::size_t count = PlaneBytes(width, height);
  if (!plane || count == 0) return 0;
  std::uint64_t hist[256];
  Histogram(plane, count, hist);
  // The ends of the histogram ignore values held by a single pixel.
  int lo = 256, hi = -1;
  for (int v = 0; v < 256; ++v)
    if (hist[v] > 1) {
      lo = v;
      break;
    }
  if (lo + 30 < 255) lo += 30;
  for (int v = 255; v >= 0; --v)
    if (hist[v] > 1) {
      hi = v;
      break;
    }
  if (hi - 30 > lo) hi -= 30;
  if (hi - lo < 5) return 0;
  const float f = 255.0f / static_cast<float>(hi - lo + 1);
  std::uint8_t table[256];
  for (int v = 0; v < 256; ++v) {
    const int r = static_cast<int>(static_cast<double>(static_cast<float>(v - lo) * f) + 0.5);
    table[v] = static_cast<std::uint8_t>(std::clamp(r, 0, 255));
  }
  MapBytes(plane, count, table);
  return 1;
}

int CDataHandler::GreyDegreeSingle(unsigned char* plane, int width, int height, int threshold) {
  const std::size_t count = PlaneBytes(width, height);
  if (!plane || count == 0) return 0;
  std::uint8_t table[256];
  for (int v = 0; v < 256; ++v) table[v] = v > threshold ? 255 : 0;
  MapBytes(plane, count, table);
  return 1;
}

int CDataHandler::Binarization(unsigned char* plane, int width, int height) {
  const std::size_t count = PlaneBytes(width, height);
  if (!plane || count == 0) return 0;
  std::uint64_t hist[256];
  Histogram(plane, count, hist);
  double total = 0;
  for (int v = 0; v < 256; ++v) total += static_cast<double>(hist[v]) * v;
  float t = static_cast<float>(total / static_cast<double>(count));
  float k = 0.6f;
  // The iteration may swing between two thresholds for ever; it stops after
  // a fixed number of rounds and keeps the last threshold.
  for (int round = 0; round < kBinarizationRounds; ++round) {
    const int split = static_cast<int>(t + 1.5);
    double lowCount = 0, lowSum = 0, highCount = 0, highSum = 0;
    for (int v = 0; v < 256; ++v) {
      if (v < split) {
        lowCount += static_cast<double>(hist[v]);
        lowSum += static_cast<double>(hist[v]) * v;
      } else {
        highCount += static_cast<double>(hist[v]);
        highSum += static_cast<double>(hist[v]) * v;
      }
    }
    // Without pixels on both sides there are no two classes to balance.
    if (lowCount == 0 || highCount == 0) break;
    const float mean1 = static_cast<float>(lowSum / lowCount);
    const float mean2 = static_cast<float>(highSum / highCount);
    const float next = k * (mean1 + mean2);
    if (static_cast<int>(next + 0.5) == static_cast<int>(t + 0.5)) break;
    const double ratio = lowCount / highCount;
    if (ratio > 2.5) k = static_cast<float>(k - 0.001);
    if (ratio < 1.8) k = static_cast<float>(k + 0.001);
    t = next;
  }
  std::uint8_t table[256];
  for (int v = 0; v < 256; ++v) table[v] = static_cast<float>(v) <= t ? 0 : 255;
  MapBytes(plane, count, table);
  return 1;
}

// ---- Wavelet -------------------------------------------------------------------------

void CDataHandler::DWT_Once(const unsigned char* data, int depth, unsigned char* output, int width,
                            int height, int level) {
  const std::size_t count = PlaneBytes(width, height);
  if (!data || !output || count == 0 || !PictureDepth(depth) || level < 1) return;
  const std::size_t stride = PictureStride(width, depth);
  const int channels = depth / 8;
  ScratchBuffer<int> coef(count);
  ScratchBuffer<int> line(static_cast<std::size_t>(std::max(width, height)));
  ScratchBuffer<int> tmp(static_cast<std::size_t>(std::max(width, height)));
  if (!coef || !line || !tmp) return;
  const std::size_t w = static_cast<std::size_t>(width);
  for (int ch = 0; ch < channels; ++ch) {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        coef[w * y + x] = data[stride * y + static_cast<std::size_t>(x) * channels + ch] - 128;
    // Each further level transforms the low band (the top left corner).
    int bw = width, bh = height;
    for (int l = 0; l < level && (bw > 1 || bh > 1); ++l) {
      for (int y = 0; y < bh; ++y) Lift(coef.get() + w * y, bw, tmp.get());
      for (int x = 0; x < bw; ++x) {
        for (int y = 0; y < bh; ++y) line[y] = coef[w * y + x];
        Lift(line.get(), bh, tmp.get());
        for (int y = 0; y < bh; ++y) coef[w * y + x] = line[y];
      }
      bw = (bw + 1) / 2;
      bh = (bh + 1) / 2;
    }
    const auto [lo, hi] = std::minmax_element(coef.get(), coef.get() + count);
    const long long smallest = *lo, range = static_cast<long long>(*hi) - smallest;
    if (range == 0) continue;  // a flat channel is left as the output had it
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        output[stride * y + static_cast<std::size_t>(x) * channels + ch] =
            static_cast<unsigned char>((coef[w * y + x] - smallest) * 255 / range);
  }
}
