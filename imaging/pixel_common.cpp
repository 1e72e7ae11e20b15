// CPU feature choice and the shared gathering copy of 3-byte pixels.

#include "imaging/pixel_common.h"

#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace pixalto {

namespace {
// BREVIO_PIXALTO_PORTABLE=1 keeps to the portable loops (the tests run both).
bool Portable() {
  const char* v = std::getenv("BREVIO_PIXALTO_PORTABLE");
  return v && *v && std::strcmp(v, "0") != 0;
}
}  // namespace

bool WideVectors() {
#if defined(__x86_64__) && defined(__GNUC__)
  static const bool has = !Portable() && __builtin_cpu_supports("avx512f") &&
                          __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl") &&
                          __builtin_cpu_supports("avx512bw");
  return has;
#else
  return false;
#endif
}

bool ByteLookupVectors() {
#if defined(__x86_64__) && defined(__GNUC__)
  static const bool has = WideVectors() && __builtin_cpu_supports("avx512vbmi");
  return has;
#else
  return false;
#endif
}

#if defined(__x86_64__) && defined(__GNUC__)
// GCC 12 reports the undefined pass-through vectors inside its own AVX-512
// intrinsic headers as possibly uninitialised (a known false positive).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
__attribute__((target("avx512f,avx512dq,avx512vl,avx512bw"))) static void GatherPixels3Wide(
    const unsigned char* src, std::size_t srcBytes, const int* offsets, long count,
    unsigned char* dst) {
  // Packs the low three bytes of each 32-bit lane into 48 consecutive bytes.
  const __m512i squeeze = _mm512_set4_epi32(-1, 0x0E0D0C0A, 0x09080605, 0x04020100);
  const __m512i words = _mm512_set_epi32(15, 15, 15, 15, 14, 13, 12, 10, 9, 8, 6, 5, 4, 2, 1, 0);
  const __m512i lastSafe = _mm512_set1_epi32(static_cast<int>(srcBytes) - 4);
  long k = 0;
  for (; k + 16 <= count; k += 16) {
    const __m512i offs = _mm512_loadu_si512(offsets + k);
    if (_mm512_cmpgt_epi32_mask(offs, lastSafe)) break;  // the last pixels of the source
    const __m512i px = _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), static_cast<__mmask16>(0xFFFF),
                                                   offs, src, 1);
    _mm512_mask_storeu_epi8(dst + 3 * k, 0x0000FFFFFFFFFFFFull,
                            _mm512_permutexvar_epi32(words, _mm512_shuffle_epi8(px, squeeze)));
  }
  for (; k < count; ++k) std::memcpy(dst + 3 * k, src + offsets[k], 3);
}
#pragma GCC diagnostic pop
#endif

void GatherPixels3(const unsigned char* src, std::size_t srcBytes, const int* offsets, long count,
                   unsigned char* dst) {
#if defined(__x86_64__) && defined(__GNUC__)
  if (WideVectors() && srcBytes < (1ull << 31)) {
    GatherPixels3Wide(src, srcBytes, offsets, count, dst);
    return;
  }
#endif
  for (long k = 0; k < count; ++k) {
    const unsigned char* p = src + offsets[k];
    dst[3 * k] = p[0];
    dst[3 * k + 1] = p[1];
    dst[3 * k + 2] = p[2];
  }
}

}  // namespace pixalto
