// Quarter turns and mirrors, rotation by whole degrees (nearest neighbour)
// and rotation by any angle (bilinear).

#include "imaging/data_handler.h"
#include "imaging/pixel_common.h"

#include "contracts/fundara/memory.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

using namespace pixalto;

namespace {

template <std::size_t N>
struct Pixel {
  unsigned char b[N];
};

// Quarter turns by tiles, so that both the rows read and the rows written
// stay in the cache. `clockwise`: destination (i, j) takes source row j,
// column W-1-i; otherwise source row H-1-j, column i.
template <std::size_t N>
void QuarterTurn(const unsigned char* src, std::size_t srcStride, long W, long H,
                 unsigned char* dst, std::size_t dstStride, bool clockwise) {
  using P = Pixel<N>;
  constexpr long kTile = 64;
  const unsigned char* srcEnd = src + srcStride * H;
  for (long i0 = 0; i0 < W; i0 += kTile) {
    const long i1 = std::min(W, i0 + kTile);
    for (long j0 = 0; j0 < H; j0 += kTile) {
      const long j1 = std::min(H, j0 + kTile);
      for (long i = i0; i < i1; ++i) {
        P* d = reinterpret_cast<P*>(dst + dstStride * i);
        if constexpr (N == 3) {
          // Four-byte moves: the extra byte lands on the next destination
          // pixel, written later, and is never read beyond the source.
          const unsigned char* column = src + N * (clockwise ? W - 1 - i : i);
          const long last = std::min(j1, H - 1);
          long j = j0;
          for (; j < last; ++j) {
            const unsigned char* p = column + srcStride * (clockwise ? j : H - 1 - j);
            if (p + 4 <= srcEnd)
              std::memcpy(&d[j], p, 4);
            else
              std::memcpy(&d[j], p, 3);
          }
          for (; j < j1; ++j) std::memcpy(&d[j], column + srcStride * (clockwise ? j : H - 1 - j), 3);
          continue;
        }
        if (clockwise) {
          const unsigned char* column = src + N * (W - 1 - i);
          for (long j = j0; j < j1; ++j) std::memcpy(&d[j], column + srcStride * j, N);
        } else {
          const unsigned char* column = src + N * i;
          for (long j = j0; j < j1; ++j)
            std::memcpy(&d[j], column + srcStride * (H - 1 - j), N);
        }
      }
    }
  }
}

template <std::size_t N>
void MirrorRow(const unsigned char* src, unsigned char* dst, long W) {
  for (long j = 0; j < W; ++j) std::memcpy(dst + N * j, src + N * (W - 1 - j), N);
}

void MirrorRowAny(const unsigned char* src, unsigned char* dst, long W, std::size_t n,
                  std::size_t srcBytesFromRow, const std::vector<int>& reversed3) {
  if (n == 3 && !reversed3.empty()) {
    GatherPixels3(src, srcBytesFromRow, reversed3.data(), W, dst);
    return;
  }
  switch (n) {
    case 1: MirrorRow<1>(src, dst, W); break;
    case 2: MirrorRow<2>(src, dst, W); break;
    case 3: MirrorRow<3>(src, dst, W); break;
    case 4: MirrorRow<4>(src, dst, W); break;
    case 6: MirrorRow<6>(src, dst, W); break;
    case 8: MirrorRow<8>(src, dst, W); break;
    default:
      for (long j = 0; j < W; ++j) std::memcpy(dst + n * j, src + n * (W - 1 - j), n);
  }
}

#if defined(__x86_64__) && defined(__GNUC__)
void QuarterTurn3Gather(const unsigned char* src, std::size_t srcStride, long W, long H,
                        unsigned char* dst, std::size_t dstStride, bool clockwise);
#endif

void QuarterTurnAny(const unsigned char* src, std::size_t srcStride, long W, long H,
                    unsigned char* dst, std::size_t dstStride, bool clockwise, std::size_t n) {
  switch (n) {
    case 1: QuarterTurn<1>(src, srcStride, W, H, dst, dstStride, clockwise); break;
    case 2: QuarterTurn<2>(src, srcStride, W, H, dst, dstStride, clockwise); break;
    case 3:
#if defined(__x86_64__) && defined(__GNUC__)
      // Offsets of the gathering path are 32-bit.
      if (WideVectors() && srcStride * static_cast<std::size_t>(H) < (1ull << 31)) {
        QuarterTurn3Gather(src, srcStride, W, H, dst, dstStride, clockwise);
        break;
      }
#endif
      QuarterTurn<3>(src, srcStride, W, H, dst, dstStride, clockwise);
      break;
    case 4: QuarterTurn<4>(src, srcStride, W, H, dst, dstStride, clockwise); break;
    case 5: QuarterTurn<5>(src, srcStride, W, H, dst, dstStride, clockwise); break;
    case 6: QuarterTurn<6>(src, srcStride, W, H, dst, dstStride, clockwise); break;
    case 7: QuarterTurn<7>(src, srcStride, W, H, dst, dstStride, clockwise); break;
    default: QuarterTurn<8>(src, srcStride, W, H, dst, dstStride, clockwise); break;
  }
}

// Width of the destination strips the rotations work through.
constexpr long kStripWidth = 64;

typedef double Doubles __attribute__((vector_size(64)));
typedef long long Longs __attribute__((vector_size(64)));
typedef int Ints8 __attribute__((vector_size(32)));

// One bilinear rotation: source and destination rows may be padded (or, for
// the source, part of a larger picture); coefficients as RotateInterpolation
// computes them, with c*j and s*j per destination column.
struct BilinearJob {
  const unsigned char* src;
  std::size_t srcStride;
  int W, H;
  unsigned char* dst;
  std::size_t dstStride;
  int newW, newH;
  double s, c, A, B;
  const double* cj;
  const double* sj;
};
constexpr int kRotateLanes = 8;

// Eight destination pixels of one row at a time: coordinates, weights and
// the case of each pixel in vectors, the four neighbours fetched per lane,
// then all four sampling formulas evaluated and the one that applies kept.
// Each lane performs exactly the double-precision operations of
// SampleBilinear, so the bytes are the same.
template <int N>
[[gnu::always_inline]] inline void RotateRowsImpl(const BilinearJob& job) {
  const unsigned char* src = job.src;
  const int W = job.W, H = job.H, newW = job.newW, newH = job.newH;
  const double s = job.s, c = job.c, A = job.A, B = job.B;
  const double* cj = job.cj;
  const double* sj = job.sj;
  const std::size_t stride = job.srcStride;
  for (int j0 = 0; j0 < newW; j0 += static_cast<int>(kStripWidth)) {
    const int j1 = std::min(newW, j0 + static_cast<int>(kStripWidth));
    const int blocked = j0 + (j1 - j0) / kRotateLanes * kRotateLanes;
    for (int i = 0; i < newH; ++i) {
      const double si = s * i;
      const double ci = c * i;
      unsigned char* d = job.dst + job.dstStride * i;
      for (int j = j0; j < blocked; j += kRotateLanes) {
        Doubles cjv, sjv;
        std::memcpy(&cjv, cj + j, sizeof cjv);
        std::memcpy(&sjv, sj + j, sizeof sjv);
        const Doubles sx = cjv + si + B;
        const Doubles sy = ci - sjv + A;
        const Longs inside = (sx >= 0.0) & (sx <= static_cast<double>(W)) & (sy >= 0.0) &
                             (sy <= static_cast<double>(H));
        alignas(64) long long flags[kRotateLanes];
        std::memcpy(flags, &inside, sizeof flags);
        bool any = false;
        for (int l = 0; l < kRotateLanes; ++l) any |= flags[l] != 0;
        if (!any) {
          std::memset(d + static_cast<std::size_t>(j) * N, 0, kRotateLanes * N);
          continue;
        }
        const Doubles zero = {};
        Longs x0 = __builtin_convertvector(inside ? sx : zero, Longs);
        Longs y0 = __builtin_convertvector(inside ? sy : zero, Longs);
        x0 = x0 > W - 1 ? W - 1 : x0;
        y0 = y0 > H - 1 ? H - 1 : y0;
        const Longs x1 = x0 + 1 > W - 1 ? W - 1 : x0 + 1;
        const Longs y1 = y0 + 1 > H - 1 ? H - 1 : y0 + 1;
        const Doubles fx = sx - __builtin_convertvector(x0, Doubles);
        const Doubles fy = sy - __builtin_convertvector(y0, Doubles);
        const Doubles gx = 1 - fx;
        const Doubles gy = 1 - fy;
        const Longs lastColumn = sx >= static_cast<double>(W - 1);
        const Longs lastRow = sy >= static_cast<double>(H - 1);
        // Pixels on the last column or row of the source take the shorter
        // formulas; most blocks have none.
        alignas(64) long long edges[kRotateLanes];
        const Longs edgeMask = inside & (lastColumn | lastRow);
        std::memcpy(edges, &edgeMask, sizeof edges);
        bool edge = false;
        for (int l = 0; l < kRotateLanes; ++l) edge |= edges[l] != 0;
        const long long rowStep = static_cast<long long>(stride);
        alignas(64) long long o00[kRotateLanes], o10[kRotateLanes], o01[kRotateLanes],
            o11[kRotateLanes];
        const Longs v00 = y0 * rowStep + x0 * N, v10 = y0 * rowStep + x1 * N;
        const Longs v01 = y1 * rowStep + x0 * N, v11 = y1 * rowStep + x1 * N;
        std::memcpy(o00, &v00, sizeof o00);
        std::memcpy(o10, &v10, sizeof o10);
        std::memcpy(o01, &v01, sizeof o01);
        std::memcpy(o11, &v11, sizeof o11);
        for (int k = 0; k < N; ++k) {
          alignas(32) int a00[kRotateLanes], a10[kRotateLanes], a01[kRotateLanes],
              a11[kRotateLanes];
          for (int l = 0; l < kRotateLanes; ++l) {
            a00[l] = src[o00[l] + k];
            a10[l] = src[o10[l] + k];
            a01[l] = src[o01[l] + k];
            a11[l] = src[o11[l] + k];
          }
          Ints8 i00, i10, i01, i11;
          std::memcpy(&i00, a00, sizeof i00);
          std::memcpy(&i10, a10, sizeof i10);
          std::memcpy(&i01, a01, sizeof i01);
          std::memcpy(&i11, a11, sizeof i11);
          const Doubles p00 = __builtin_convertvector(i00, Doubles);
          const Doubles p10 = __builtin_convertvector(i10, Doubles);
          const Doubles p01 = __builtin_convertvector(i01, Doubles);
          const Doubles p11 = __builtin_convertvector(i11, Doubles);
          Doubles v = fy * (fx * p11 + p01 * gx) + gy * (fx * p10 + p00 * gx);
          if (edge) {
            const Doubles alongY = fy * p01 + p00 * gy;
            const Doubles alongX = fx * p10 + p00 * gx;
            v = lastColumn ? (lastRow ? p00 : alongY) : (lastRow ? alongX : v);
          }
          const Longs t = __builtin_convertvector(inside ? v : zero, Longs);
          alignas(64) long long bytes[kRotateLanes];
          std::memcpy(bytes, &t, sizeof bytes);
          for (int l = 0; l < kRotateLanes; ++l)
            d[static_cast<std::size_t>(j + l) * N + k] = static_cast<unsigned char>(bytes[l]);
        }
      }
      for (int j = blocked; j < j1; ++j) {
        const double sx = cj[j] + si + B;
        const double sy = ci - sj[j] + A;
        if (sx >= 0 && sx <= W && sy >= 0 && sy <= H)
          SampleBilinear<N>(src, stride, W, H, sx, sy, d + static_cast<std::size_t>(j) * N);
        else
          std::memset(d + static_cast<std::size_t>(j) * N, 0, N);
      }
    }
  }
}

PIXALTO_CLONES void RotateRows1(const BilinearJob& job) { RotateRowsImpl<1>(job); }
PIXALTO_CLONES void RotateRows3(const BilinearJob& job) { RotateRowsImpl<3>(job); }
PIXALTO_CLONES void RotateRows4(const BilinearJob& job) { RotateRowsImpl<4>(job); }

void RotateRowsAny(const BilinearJob& job, int n) {
  for (int i = 0; i < job.newH; ++i) {
    unsigned char* d = job.dst + job.dstStride * i;
    for (int j = 0; j < job.newW; ++j) {
      const double sx = job.cj[j] + job.s * i + job.B;
      const double sy = job.c * i - job.sj[j] + job.A;
      unsigned char* out = d + static_cast<std::size_t>(j) * n;
      if (sx >= 0 && sx <= job.W && sy >= 0 && sy <= job.H)
        SampleBilinearAny(job.src, job.srcStride, job.W, job.H, n, sx, sy, out);
      else
        std::memset(out, 0, static_cast<std::size_t>(n));
    }
  }
}

// Source byte offset of each destination pixel of one row of a rotation by
// whole degrees, or -1 where the source lies outside the region.
PIXALTO_CLONES void NearestRowOffsets(const float* xc, const float* xs, long count, float ys,
                                      float yc, long left, long top, long right, long bottom,
                                      std::size_t stride, long* offsets) {
  const unsigned long spanX = static_cast<unsigned long>(right - left);
  const unsigned long spanY = static_cast<unsigned long>(bottom - top);
  const long step = static_cast<long>(stride);
  for (long k = 0; k < count; ++k) {
    const long sx = static_cast<int>(xc[k] + ys);
    const long sy = static_cast<int>(yc - xs[k]);
    const bool inside = right > left && bottom > top &&
                        static_cast<unsigned long>(sx - left) < spanX &&
                        static_cast<unsigned long>(sy - top) < spanY;
    offsets[k] = inside ? sy * step + sx * 3 : -1;
  }
}

// Copies 3-byte pixels from the given offsets; a four-byte move is used
// wherever the extra byte is overwritten afterwards and lies inside both buffers.
void CopyPixels3(const unsigned char* src, std::size_t srcBytes, const long* offsets, long count,
                 unsigned char* dst) {
  for (long k = 0; k < count; ++k) {
    const long off = offsets[k];
    if (off < 0) continue;
    unsigned char* d = dst + 3 * k;
    if (k + 1 < count && offsets[k + 1] >= 0 && static_cast<std::size_t>(off) + 4 <= srcBytes) {
      std::memcpy(d, src + off, 4);
    } else {
      d[0] = src[off];
      d[1] = src[off + 1];
      d[2] = src[off + 2];
    }
  }
}

#if defined(__x86_64__) && defined(__GNUC__)
// GCC 12 reports the undefined pass-through vectors inside its own AVX-512
// intrinsic headers as possibly uninitialised (a known false positive).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#define PIXALTO_AVX512 __attribute__((target("avx512f,avx512dq,avx512vl,avx512bw")))

// Lane-wise minimum (the masked form avoids an undefined pass-through).
PIXALTO_AVX512 inline __m512i MinI64(__m512i a, __m512i b) {
  return _mm512_maskz_min_epi64(static_cast<__mmask8>(0xFF), a, b);
}


// Quarter turns of 3-byte pixels, sixteen destination pixels per gather,
// in tiles so that the source rows read stay in the cache.
PIXALTO_AVX512 void QuarterTurn3Gather(const unsigned char* src, std::size_t srcStride, long W,
                                       long H, unsigned char* dst, std::size_t dstStride,
                                       bool clockwise) {
  constexpr long kTile = 64;
  const long long srcBytes = static_cast<long long>(srcStride) * H;
  const __m512i lanes = _mm512_set_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  const __m512i strideV = _mm512_set1_epi32(static_cast<int>(srcStride));
  const __m512i squeeze = _mm512_set4_epi32(-1, 0x0E0D0C0A, 0x09080605, 0x04020100);
  const __m512i gatherWords = _mm512_set_epi32(15, 15, 15, 15, 14, 13, 12, 10, 9, 8, 6, 5, 4, 2, 1, 0);
  for (long i0 = 0; i0 < W; i0 += kTile) {
    const long i1 = std::min(W, i0 + kTile);
    for (long j0 = 0; j0 < H; j0 += kTile) {
      const long j1 = std::min(H, j0 + kTile);
      for (long i = i0; i < i1; ++i) {
        unsigned char* d = dst + dstStride * i;
        const long column = clockwise ? W - 1 - i : i;
        long j = j0;
        for (; j + 16 <= j1; j += 16) {
          // Source rows j .. j+15 (clockwise) or H-1-j downwards.
          const long firstRow = clockwise ? j : H - 1 - j;
          const long long base = static_cast<long long>(firstRow) * static_cast<long long>(srcStride) + column * 3;
          const long long lastByte = clockwise ? base + 15 * static_cast<long long>(srcStride) + 3 : base + 3;
          if (lastByte + 1 > srcBytes || base - (clockwise ? 0 : 15 * static_cast<long long>(srcStride)) < 0) break;
          const __m512i rows = _mm512_mullo_epi32(lanes, strideV);
          const __m512i offsets = clockwise ? rows : _mm512_sub_epi32(_mm512_setzero_si512(), rows);
          const __m512i words = _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), static_cast<__mmask16>(0xFFFF),
                                                            offsets, src + base, 1);
          const __m512i packed = _mm512_permutexvar_epi32(gatherWords, _mm512_shuffle_epi8(words, squeeze));
          _mm512_mask_storeu_epi8(d + 3 * j, 0x0000FFFFFFFFFFFFull, packed);
        }
        for (; j < j1; ++j)
          std::memcpy(d + 3 * j, src + srcStride * (clockwise ? j : H - 1 - j) + column * 3, 3);
      }
    }
  }
}

// The bilinear rows with hardware gathers: one 8-byte gather per source row
// brings both neighbours, all channels, of eight pixels at once. The arithmetic is the same
// sequence of double-precision operations as SampleBilinear, lane by lane.
// Blocks whose gathers would read past the source fall back to the scalar
// sampling.
template <int N>
PIXALTO_AVX512 void RotateRowsGather(const BilinearJob& job) {
  const unsigned char* src = job.src;
  const int W = job.W, H = job.H, newW = job.newW, newH = job.newH;
  const double s = job.s, c = job.c, A = job.A, B = job.B;
  const double* cj = job.cj;
  const double* sj = job.sj;
  const std::size_t stride = job.srcStride;
  // Bytes from the first source pixel to the end of the last one.
  const long long srcBytes = static_cast<long long>(stride) * (H - 1) + static_cast<long long>(W) * N;
  const __m512d zero = _mm512_setzero_pd(), one = _mm512_set1_pd(1.0);
  const __m512d wd = _mm512_set1_pd(W), hd = _mm512_set1_pd(H);
  const __m512d w1 = _mm512_set1_pd(W - 1), h1 = _mm512_set1_pd(H - 1);
  const __m512i wLast = _mm512_set1_epi64(W - 1), hLast = _mm512_set1_epi64(H - 1);
  const __m512i oneI = _mm512_set1_epi64(1), rowStep = _mm512_set1_epi64(static_cast<long long>(stride));
  const __m512i nI = _mm512_set1_epi64(N), lastSafe = _mm512_set1_epi64(srcBytes - 8);
  const __m512i byteMask = _mm512_set1_epi64(0xFF);
  const __m256i byteMask32 = _mm256_set1_epi32(0xFF);
  const __m512d bv = _mm512_set1_pd(B), av = _mm512_set1_pd(A);
  for (int j0 = 0; j0 < newW; j0 += static_cast<int>(kStripWidth)) {
    const int j1 = std::min(newW, j0 + static_cast<int>(kStripWidth));
    const int blocked = j0 + (j1 - j0) / 8 * 8;
    for (int i = 0; i < newH; ++i) {
      const double si = s * i;
      const double ci = c * i;
      unsigned char* d = job.dst + job.dstStride * i;
      for (int j = j0; j < blocked; j += 8) {
        const __m512d sx = _mm512_add_pd(_mm512_add_pd(_mm512_loadu_pd(cj + j), _mm512_set1_pd(si)), bv);
        const __m512d sy = _mm512_add_pd(_mm512_sub_pd(_mm512_set1_pd(ci), _mm512_loadu_pd(sj + j)), av);
        const __mmask8 inside = _mm512_cmp_pd_mask(sx, zero, _CMP_GE_OQ) & _mm512_cmp_pd_mask(sx, wd, _CMP_LE_OQ) &
                                _mm512_cmp_pd_mask(sy, zero, _CMP_GE_OQ) & _mm512_cmp_pd_mask(sy, hd, _CMP_LE_OQ);
        if (!inside) {
          std::memset(d + static_cast<std::size_t>(j) * N, 0, 8 * N);
          continue;
        }
        const __m512i x0 = MinI64(_mm512_cvttpd_epi64(_mm512_maskz_mov_pd(inside, sx)), wLast);
        const __m512i y0 = MinI64(_mm512_cvttpd_epi64(_mm512_maskz_mov_pd(inside, sy)), hLast);
        const __m512i dy = _mm512_sub_epi64(MinI64(_mm512_add_epi64(y0, oneI), hLast), y0);
        const __m512i o00 = _mm512_add_epi64(_mm512_mullo_epi64(y0, rowStep), _mm512_mullo_epi64(x0, nI));
        const __m512i o01 = _mm512_add_epi64(o00, _mm512_mullo_epi64(dy, rowStep));
        if (_mm512_cmpgt_epi64_mask(o01, lastSafe)) {
          for (int l = 0; l < 8; ++l) {
            const double px = cj[j + l] + si + B, py = ci - sj[j + l] + A;
            if (px >= 0 && px <= W && py >= 0 && py <= H)
              SampleBilinear<N>(src, stride, W, H, px, py, d + static_cast<std::size_t>(j + l) * N);
            else
              std::memset(d + static_cast<std::size_t>(j + l) * N, 0, N);
          }
          continue;
        }
        const __m512d fx = _mm512_sub_pd(sx, _mm512_cvtepi64_pd(x0));
        const __m512d fy = _mm512_sub_pd(sy, _mm512_cvtepi64_pd(y0));
        const __m512d gx = _mm512_sub_pd(one, fx);
        const __m512d gy = _mm512_sub_pd(one, fy);
        const __mmask8 lastColumn = _mm512_cmp_pd_mask(sx, w1, _CMP_GE_OQ);
        const __mmask8 lastRow = _mm512_cmp_pd_mask(sy, h1, _CMP_GE_OQ);
        // Eight bytes from each of the two rows: the pixel and its right
        // neighbour. On the last column the neighbour bytes belong to
        // something else, but that column takes a formula without them.
        const __m512i upper = _mm512_mask_i64gather_epi64(_mm512_setzero_si512(), 0xFF, o00, src, 1);
        const __m512i lower = _mm512_mask_i64gather_epi64(_mm512_setzero_si512(), 0xFF, o01, src, 1);
        __m256i packed = _mm256_setzero_si256();
        for (int k = 0; k < N; ++k) {
          const __m512d p00 = _mm512_cvtepi64_pd(_mm512_and_si512(_mm512_srli_epi64(upper, 8 * k), byteMask));
          const __m512d p10 = _mm512_cvtepi64_pd(_mm512_and_si512(_mm512_srli_epi64(upper, 8 * (k + N)), byteMask));
          const __m512d p01 = _mm512_cvtepi64_pd(_mm512_and_si512(_mm512_srli_epi64(lower, 8 * k), byteMask));
          const __m512d p11 = _mm512_cvtepi64_pd(_mm512_and_si512(_mm512_srli_epi64(lower, 8 * (k + N)), byteMask));
          const __m512d top = _mm512_add_pd(_mm512_mul_pd(fx, p11), _mm512_mul_pd(p01, gx));
          const __m512d bottom = _mm512_add_pd(_mm512_mul_pd(fx, p10), _mm512_mul_pd(p00, gx));
          __m512d v = _mm512_add_pd(_mm512_mul_pd(fy, top), _mm512_mul_pd(gy, bottom));
          if ((lastColumn | lastRow) & inside) {
            const __m512d alongY = _mm512_add_pd(_mm512_mul_pd(fy, p01), _mm512_mul_pd(p00, gy));
            v = _mm512_mask_mov_pd(v, lastRow & static_cast<__mmask8>(~lastColumn), bottom);
            v = _mm512_mask_mov_pd(v, lastColumn & static_cast<__mmask8>(~lastRow), alongY);
            v = _mm512_mask_mov_pd(v, lastColumn & lastRow, p00);
          }
          const __m256i t = _mm512_maskz_cvttpd_epi32(inside, v);
          packed = _mm256_or_si256(packed, _mm256_slli_epi32(_mm256_and_si256(t, byteMask32), 8 * k));
        }
        unsigned char* out = d + static_cast<std::size_t>(j) * N;
        if constexpr (N == 4) {
          _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), packed);
        } else if constexpr (N == 1) {
          _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm256_cvtepi32_epi8(packed));
        } else {
          alignas(32) std::uint32_t words[8];
          _mm256_store_si256(reinterpret_cast<__m256i*>(words), packed);
          for (int l = 0; l < 7; ++l) std::memcpy(out + N * l, &words[l], 4);
          std::memcpy(out + N * 7, &words[7], N);
        }
      }
      for (int j = blocked; j < j1; ++j) {
        const double px = cj[j] + si + B, py = ci - sj[j] + A;
        if (px >= 0 && px <= W && py >= 0 && py <= H)
          SampleBilinear<N>(src, stride, W, H, px, py, d + static_cast<std::size_t>(j) * N);
        else
          std::memset(d + static_cast<std::size_t>(j) * N, 0, N);
      }
    }
  }
}

// Nearest-neighbour pixels of one row segment of a rotation by whole
// degrees, sixteen at a time, with the same single-precision sums and
// truncation as NearestRowOffsets. Every pixel of the segment is written:
// the source pixel, or white outside the region.
PIXALTO_AVX512 void NearestRowGather(const unsigned char* src, long long srcBytes, const float* xc,
                                     const float* xs, long count, float ys, float yc, long left,
                                     long top, long right, long bottom, std::size_t stride,
                                     unsigned char* dst) {
  const bool any = right > left && bottom > top;
  const __m512 ysv = _mm512_set1_ps(ys), ycv = _mm512_set1_ps(yc);
  const __m512i leftV = _mm512_set1_epi32(static_cast<int>(left)), topV = _mm512_set1_epi32(static_cast<int>(top));
  const __m512i spanX = _mm512_set1_epi32(static_cast<int>(right - left));
  const __m512i spanY = _mm512_set1_epi32(static_cast<int>(bottom - top));
  const __m512i strideV = _mm512_set1_epi32(static_cast<int>(stride)), three = _mm512_set1_epi32(3);
  const __m512i lastSafe = _mm512_set1_epi32(static_cast<int>(srcBytes - 4));
  const __m512i white = _mm512_set1_epi32(-1);
  // Packs the low three bytes of each 32-bit lane into 48 consecutive bytes.
  const __m512i squeeze = _mm512_set4_epi32(-1, 0x0E0D0C0A, 0x09080605, 0x04020100);
  const __m512i gatherWords = _mm512_set_epi32(15, 15, 15, 15, 14, 13, 12, 10, 9, 8, 6, 5, 4, 2, 1, 0);
  long k = 0;
  for (; k + 16 <= count; k += 16) {
    unsigned char* d = dst + 3 * k;
    const __m512i sx = _mm512_cvttps_epi32(_mm512_add_ps(_mm512_loadu_ps(xc + k), ysv));
    const __m512i sy = _mm512_cvttps_epi32(_mm512_sub_ps(ycv, _mm512_loadu_ps(xs + k)));
    const __mmask16 inside = any ? static_cast<__mmask16>(
                                       _mm512_cmplt_epu32_mask(_mm512_sub_epi32(sx, leftV), spanX) &
                                       _mm512_cmplt_epu32_mask(_mm512_sub_epi32(sy, topV), spanY))
                                 : static_cast<__mmask16>(0);
    const __m512i offsets = _mm512_add_epi32(_mm512_mullo_epi32(sy, strideV), _mm512_mullo_epi32(sx, three));
    const __mmask16 wide = inside & static_cast<__mmask16>(~_mm512_cmpgt_epi32_mask(offsets, lastSafe));
    const __m512i words = _mm512_mask_i32gather_epi32(white, wide, offsets, src, 1);
    const __m512i packed = _mm512_permutexvar_epi32(gatherWords, _mm512_shuffle_epi8(words, squeeze));
    _mm512_mask_storeu_epi8(d, 0x0000FFFFFFFFFFFFull, packed);
    // The rare pixels whose four-byte read would pass the source end.
    for (unsigned m = inside & static_cast<__mmask16>(~wide); m; m &= m - 1) {
      const int l = __builtin_ctz(m);
      alignas(64) int offs[16];
      _mm512_store_si512(offs, offsets);
      std::memcpy(d + 3 * l, src + offs[l], 3);
    }
  }
  for (; k < count; ++k) {
    const long sx = static_cast<int>(xc[k] + ys);
    const long sy = static_cast<int>(yc - xs[k]);
    if (any && sx >= left && sx < right && sy >= top && sy < bottom)
      std::memcpy(dst + 3 * k, src + sy * static_cast<long>(stride) + sx * 3, 3);
    else
      std::memset(dst + 3 * k, 255, 3);
  }
}
#pragma GCC diagnostic pop
#endif

// A new picture buffer (NewMem) of `rows` rows `stride` apart whose row
// padding beyond `rowBytes` is zero; null when it cannot be had.
unsigned char* NewPicture(std::size_t stride, std::size_t rowBytes, long rows) {
  unsigned char* picture = NewMem(stride * static_cast<std::size_t>(rows));
  if (!picture) return nullptr;
  for (long r = 0; r < rows; ++r) std::memset(picture + stride * r + rowBytes, 0, stride - rowBytes);
  return picture;
}

}  // namespace

int CDataHandler::RotationImageData(unsigned char*& data, long& width, long& height, int depth,
                                    rotation_degree value) {
  if (!data || width <= 0 || height <= 0 || !WholeByteDepth(depth)) return 0;
  if (value < ROTATION_CLOCKWISE || value > ROTATION_MIRROR) return 0;
  const long W = width, H = height;
  const bool quarter = value == ROTATION_CLOCKWISE || value == ROTATION_ANTICLOCKWISE;
  const long newW = quarter ? H : W;
  const long newH = quarter ? W : H;
  const std::size_t n = static_cast<std::size_t>(depth) / 8;
  const std::size_t srcStride = PictureStride(W, depth);
  const std::size_t dstStride = PictureStride(newW, depth);
  const std::size_t rowBytes = static_cast<std::size_t>(newW) * n;
  // The result is built directly in its own buffer; the picture is left as
  // it was when that buffer cannot be had.
  unsigned char* result = NewPicture(dstStride, rowBytes, newH);
  if (!result) return 0;

  // Byte offsets of the pixels of a row in reverse order, for the gathering
  // copy of 3-byte mirrors.
  std::vector<int> reversed3;
  if (n == 3 && (value == ROTATION_HALF || value == ROTATION_MIRROR) &&
      srcStride * static_cast<std::size_t>(H) < (1ull << 31)) {
    reversed3.resize(static_cast<std::size_t>(W));
    for (long j = 0; j < W; ++j) reversed3[j] = static_cast<int>(3 * (W - 1 - j));
  }
  switch (value) {
    case ROTATION_CLOCKWISE:
    case ROTATION_ANTICLOCKWISE:
      QuarterTurnAny(data, srcStride, W, H, result, dstStride, value == ROTATION_CLOCKWISE, n);
      break;
    case ROTATION_HALF:
      for (long i = 0; i < H; ++i)
        MirrorRowAny(data + srcStride * (H - 1 - i), result + dstStride * i, W, n,
                     srcStride * static_cast<std::size_t>(i + 1), reversed3);
      break;
    case ROTATION_FLIP:
      for (long i = 0; i < H; ++i)
        std::memcpy(result + dstStride * i, data + srcStride * (H - 1 - i), rowBytes);
      break;
    case ROTATION_MIRROR:
      for (long i = 0; i < H; ++i)
        MirrorRowAny(data + srcStride * i, result + dstStride * i, W, n,
                     srcStride * static_cast<std::size_t>(H - i), reversed3);
      break;
  }
  DelMem(data);
  data = result;
  width = newW;
  height = newH;
  return 1;
}

int CDataHandler::RotationImage(unsigned char*& data, long& width, long& height, CRect& region,
                                int depth, int degrees) {
  if (depth != 24 || !data || width <= 0 || height <= 0) return 0;
  const float theta = static_cast<float>(degrees * 6.283185307179586 / 360);
  const float c = static_cast<float>(std::cos(static_cast<double>(theta)));
  const float s = static_cast<float>(std::sin(static_cast<double>(theta)));
  const float W = static_cast<float>(width);
  const float H = static_cast<float>(height);
  auto mapX = [c, s](float x, float y) { return static_cast<int>(x * c - y * s); };
  auto mapY = [c, s](float x, float y) { return static_cast<int>(x * s + y * c); };

  const int xs[3] = {mapX(0, H), mapX(W, 0), mapX(W, H)};
  const int ys[3] = {mapY(0, H), mapY(W, 0), mapY(W, H)};
  const int minX = std::min({0, xs[0], xs[1], xs[2]});
  const int maxX = std::max({0, xs[0], xs[1], xs[2]});
  const int minY = std::min({0, ys[0], ys[1], ys[2]});
  const int maxY = std::max({0, ys[0], ys[1], ys[2]});
  const long newW = static_cast<long>(maxX) - minX;
  const long newH = static_cast<long>(maxY) - minY;
  // A picture too small to keep any pixel at this angle.
  if (newW <= 0 || newH <= 0) return 0;

  const float rl = static_cast<float>(region.left), rt = static_cast<float>(region.top);
  const float rr = static_cast<float>(region.right), rb = static_cast<float>(region.bottom);
  const int rx[4] = {mapX(rl, rt), mapX(rr, rt), mapX(rr, rb), mapX(rl, rb)};
  const int ry[4] = {mapY(rl, rt), mapY(rr, rt), mapY(rr, rb), mapY(rl, rb)};
  const CRect newRegion(std::min({rx[0], rx[1], rx[2], rx[3]}) - minX,
                        std::min({ry[0], ry[1], ry[2], ry[3]}) - minY,
                        std::max({rx[0], rx[1], rx[2], rx[3]}) - minX,
                        std::max({ry[0], ry[1], ry[2], ry[3]}) - minY);

  // Source pixels are taken from the region as passed, never from outside
  // the picture.
  const long left = std::max<long>(region.left, 0), top = std::max<long>(region.top, 0);
  const long right = std::min<long>(region.right, width), bottom = std::min<long>(region.bottom, height);
  const std::size_t srcStride = PictureStride(width, 24);

  if (c == 1.0f && s == 0.0f) {
    // No turn: every pixel maps onto itself, so the picture is kept in place
    // and only what lies outside the region (padding included) turns white.
    for (long y = 0; y < height; ++y) {
      unsigned char* row = data + srcStride * y;
      if (y < top || y >= bottom || left >= right) {
        std::memset(row, 255, srcStride);
        continue;
      }
      std::memset(row, 255, static_cast<std::size_t>(left) * 3);
      std::memset(row + right * 3, 255, srcStride - static_cast<std::size_t>(right) * 3);
    }
    region = newRegion;
    return 1;
  }

  const std::size_t dstStride = PictureStride(newW, 24);
  unsigned char* result = NewMem(dstStride * static_cast<std::size_t>(newH));
  if (!result) return 0;
  const std::size_t srcBytes = srcStride * static_cast<std::size_t>(height);
#if defined(__x86_64__) && defined(__GNUC__)
  // The gathering path writes every pixel itself (offsets are 32-bit).
  const bool gather = WideVectors() && srcBytes < (1ull << 31);
#else
  const bool gather = false;
#endif
  if (gather) {
    const std::size_t rowBytes = static_cast<std::size_t>(newW) * 3;
    for (long row = 0; row < newH; ++row)
      std::memset(result + dstStride * row + rowBytes, 255, dstStride - rowBytes);
  } else {
    std::memset(result, 255, dstStride * static_cast<std::size_t>(newH));
  }

  // x*c and x*s per destination column; the per-pixel sums are then the same
  // single-precision operations as x*c + y*s and y*c - x*s.
  std::vector<float> xc(static_cast<std::size_t>(newW)), xsn(static_cast<std::size_t>(newW));
  for (long k = 0; k < newW; ++k) {
    const float x = static_cast<float>(minX + k);
    xc[k] = x * c;
    xsn[k] = x * s;
  }
  // Strips of destination columns, each walked row by row, keep the source
  // pixels read close together whatever the angle.
  long offsets[kStripWidth];
  for (long k0 = 0; k0 < newW; k0 += kStripWidth) {
    const long count = std::min(kStripWidth, newW - k0);
    for (long row = 0; row < newH; ++row) {
      const float y = static_cast<float>(minY + row);
#if defined(__x86_64__) && defined(__GNUC__)
      if (gather) {
        NearestRowGather(data, static_cast<long long>(srcBytes), xc.data() + k0, xsn.data() + k0,
                         count, y * s, y * c, left, top, right, bottom, srcStride,
                         result + dstStride * row + 3 * k0);
        continue;
      }
#endif
      NearestRowOffsets(xc.data() + k0, xsn.data() + k0, count, y * s, y * c, left, top, right,
                        bottom, srcStride, offsets);
      CopyPixels3(data, srcBytes, offsets, count, result + dstStride * row + 3 * k0);
    }
  }
  region = newRegion;
  DelMem(data);
  data = result;
  width = newW;
  height = newH;
  return 1;
}

namespace {

// Size and offsets of a bilinear rotation of a W x H picture by `angle`.
struct BilinearPlan {
  double s = 0, c = 0, A = 0, B = 0;
  double newWReal = 0, newHReal = 0;
};

BilinearPlan PlanBilinear(int W, int H, double angle) {
  BilinearPlan p;
  p.s = std::sin(angle);
  p.c = std::cos(angle);
  const double s = p.s, c = p.c;
  p.newWReal = std::max(std::fabs(s * (H - 1) - c * (W - 1)), std::fabs(c * (W - 1) + s * (H - 1))) + 1.5;
  p.newHReal = std::max(std::fabs(c * (H - 1) + s * (W - 1)), std::fabs(c * (H - 1) - s * (W - 1))) + 1.5;
  return p;
}

// Writes every byte of the rotated picture into `dst` (rows dstStride apart),
// black where no source pixel maps.
void RunBilinear(const unsigned char* src, std::size_t srcStride, int W, int H, int n,
                 unsigned char* dst, std::size_t dstStride, int newW, int newH,
                 const BilinearPlan& plan) {
  const double s = plan.s, c = plan.c;
  BilinearJob job{src, srcStride, W, H, dst, dstStride, newW, newH, s, c, 0, 0, nullptr, nullptr};
  job.A = s * newW / 2 - c * newH / 2 + H / 2.0;
  job.B = W / 2.0 - (s * newH / 2 + c * newW / 2);
  // c*j and s*j per destination column, so each pixel costs two additions
  // per coordinate, exactly as c*j + s*i + B and c*i - s*j + A.
  std::vector<double> cj(static_cast<std::size_t>(newW)), sj(static_cast<std::size_t>(newW));
  for (int j = 0; j < newW; ++j) {
    cj[j] = c * j;
    sj[j] = s * j;
  }
  job.cj = cj.data();
  job.sj = sj.data();
#if defined(__x86_64__) && defined(__GNUC__)
  if (WideVectors() && (n == 1 || n == 3 || n == 4)) {
    if (n == 1) RotateRowsGather<1>(job);
    else if (n == 3) RotateRowsGather<3>(job);
    else RotateRowsGather<4>(job);
    return;
  }
#endif
  switch (n) {
    case 1: RotateRows1(job); break;
    case 3: RotateRows3(job); break;
    case 4: RotateRows4(job); break;
    default: RotateRowsAny(job, n); break;
  }
}

}  // namespace

void CDataHandler::RotateInterpolation(const unsigned char* source, int width, int height,
                                       int bytesPerPixel, unsigned char*& out,
                                       unsigned int& outWidth, unsigned int& outHeight,
                                       double angle) {
  out = nullptr;
  if (!source || width <= 0 || height <= 0 || bytesPerPixel <= 0) {
    outWidth = outHeight = 0;
    return;
  }
  const BilinearPlan plan = PlanBilinear(width, height, angle);
  const unsigned int newW = static_cast<unsigned int>(plan.newWReal);
  const unsigned int newH = static_cast<unsigned int>(plan.newHReal);
  outWidth = newW;
  outHeight = newH;
  if (newW > static_cast<unsigned int>(std::numeric_limits<int>::max()) ||
      newH > static_cast<unsigned int>(std::numeric_limits<int>::max()))
    return;
  const std::size_t rowBytes = static_cast<std::size_t>(newW) * static_cast<std::size_t>(bytesPerPixel);
  // Every byte is written below, the black background included.
  unsigned char* result = new (std::nothrow) unsigned char[rowBytes * newH];
  if (!result) return;
  RunBilinear(source, static_cast<std::size_t>(width) * bytesPerPixel, width, height,
              bytesPerPixel, result, rowBytes, static_cast<int>(newW), static_cast<int>(newH), plan);
  out = result;
}

int CDataHandler::RotatePicture(unsigned char*& data, long& width, long& height, int depth,
                                CRect region, double angle) {
  if (!WholeByteDepth(depth)) return 0;
  region.right = static_cast<int>(std::min<long>(region.right, width));
  region.bottom = static_cast<int>(std::min<long>(region.bottom, height));
  region.left = std::max(region.left, 0);
  region.top = std::max(region.top, 0);
  if (!data || width <= 0 || height <= 0 || region.left >= region.right ||
      region.top >= region.bottom)
    return 0;

  // The region is rotated straight out of the picture into the padded
  // result: the same bytes as rotating a packed copy and padding the
  // rotated rows afterwards, without the two intermediate pictures.
  const int n = depth / 8;
  const int cutW = region.Width(), cutH = region.Height();
  const BilinearPlan plan = PlanBilinear(cutW, cutH, angle);
  if (!(plan.newWReal < std::numeric_limits<int>::max()) ||
      !(plan.newHReal < std::numeric_limits<int>::max()))
    return 0;
  const int newW = static_cast<int>(plan.newWReal), newH = static_cast<int>(plan.newHReal);
  if (newW <= 0 || newH <= 0) return 0;
  const std::size_t srcStride = PictureStride(width, depth);
  const std::size_t dstStride = PictureStride(newW, depth);
  const std::size_t rowBytes = static_cast<std::size_t>(newW) * n;
  unsigned char* result = NewPicture(dstStride, rowBytes, newH);
  if (!result) return 0;
  const unsigned char* cut = data + srcStride * region.top + static_cast<std::size_t>(region.left) * n;
  RunBilinear(cut, srcStride, cutW, cutH, n, result, dstStride, newW, newH, plan);
  DelMem(data);
  data = result;
  width = newW;
  height = newH;
  return 1;
}
