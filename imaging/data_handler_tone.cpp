// Brightness, contrast, saturation, colour gain and the HSL conversions.

#include "imaging/data_handler.h"
#include "imaging/pixel_common.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

using namespace pixalto;

namespace {

#if defined(__x86_64__) && defined(__GNUC__)
// 64 bytes at a time through two 128-entry byte permutations, picked by the
// top bit of each byte.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void MapRunVbmi(
    const unsigned char* src, unsigned char* dst, std::size_t n, const std::uint8_t map[256]) {
  const __m512i t0 = _mm512_loadu_si512(map), t1 = _mm512_loadu_si512(map + 64);
  const __m512i t2 = _mm512_loadu_si512(map + 128), t3 = _mm512_loadu_si512(map + 192);
  std::size_t k = 0;
  for (; k + 64 <= n; k += 64) {
    const __m512i v = _mm512_loadu_si512(src + k);
    const __m512i lo = _mm512_permutex2var_epi8(t0, v, t1);
    const __m512i hi = _mm512_permutex2var_epi8(t2, v, t3);
    _mm512_storeu_si512(dst + k, _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), lo, hi));
  }
  if (k < n) {
    const __mmask64 m = ~0ull >> (64 - (n - k));
    const __m512i v = _mm512_maskz_loadu_epi8(m, src + k);
    const __m512i lo = _mm512_permutex2var_epi8(t0, v, t1);
    const __m512i hi = _mm512_permutex2var_epi8(t2, v, t3);
    _mm512_mask_storeu_epi8(dst + k, m, _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), lo, hi));
  }
}

#endif

// dst[k] = map[src[k]] for k < n; src and dst are the same run or apart.
void MapRun(const unsigned char* src, unsigned char* dst, std::size_t n, const std::uint8_t map[256]) {
#if defined(__x86_64__) && defined(__GNUC__)
  if (ByteLookupVectors()) {
    MapRunVbmi(src, dst, n, map);
    return;
  }
#endif
  std::size_t k = 0;
  for (; k + 8 <= n; k += 8) {
    const std::uint8_t a0 = map[src[k]], a1 = map[src[k + 1]], a2 = map[src[k + 2]], a3 = map[src[k + 3]];
    const std::uint8_t a4 = map[src[k + 4]], a5 = map[src[k + 5]], a6 = map[src[k + 6]], a7 = map[src[k + 7]];
    dst[k] = a0; dst[k + 1] = a1; dst[k + 2] = a2; dst[k + 3] = a3;
    dst[k + 4] = a4; dst[k + 5] = a5; dst[k + 6] = a6; dst[k + 7] = a7;
  }
  for (; k < n; ++k) dst[k] = map[src[k]];
}

// Replaces every byte of every pixel (padding excluded) through a 256-entry
// map, from `src` into `dst` (the same picture, or a copy's buffer, whose
// padding then comes from `src`).
void ApplyByteMap(const unsigned char* src, unsigned char* dst, int width, int height, int depth,
                  const std::uint8_t map[256]) {
  const std::size_t stride = PictureStride(width, depth);
  const std::size_t rowBytes = static_cast<std::size_t>(width) * (depth / 8);
  // Without padding the rows form one run.
  if (stride == rowBytes) {
    MapRun(src, dst, rowBytes * height, map);
    return;
  }
  for (int y = 0; y < height; ++y) {
    MapRun(src + stride * y, dst + stride * y, rowBytes, map);
    if (src != dst) std::memcpy(dst + stride * y + rowBytes, src + stride * y + rowBytes, stride - rowBytes);
  }
}

void ApplyByteMap(unsigned char* data, int width, int height, int depth, const std::uint8_t map[256]) {
  ApplyByteMap(data, data, width, height, depth, map);
}

void LuminosityMap(int level, std::uint8_t map[256]) {
  const long long factor = static_cast<long long>(level) + 100;
  for (int v = 0; v < 256; ++v) map[v] = static_cast<std::uint8_t>(std::clamp<long long>(v * factor / 100, 0, 255));
}

void ContrastMap(int level, std::uint8_t map[256]) {
  int a = level;
  int hi = 255;
  int span;
  if (a >= 128) {
    a = 120;
    hi = 127;
    span = 15;
  } else if (a < -127) {
    a = -120;
    span = 15;
  } else if (a > 0) {
    span = 255 - 2 * a;
    hi = 255 - a;
  } else {
    span = 255 + 2 * a;
  }
  for (int v = 0; v < 256; ++v) {
    int r;
    if (a > 0)
      r = v <= a ? 0 : v > hi ? 255 : (v - a) * 255 / span;
    else
      r = v * span / 255 - a;
    map[v] = static_cast<std::uint8_t>(r);
  }
}

// v * gain / 255 for every byte of a run, the gain repeating with the pixel
// (blue, green, red and, at 32 bits, 255 for the fourth byte, which keeps it).
// n / 255 == (n + 1 + (n >> 8)) >> 8 for every n = v * gain up to 65025.
PIXALTO_CLONES void GainRun(unsigned char* p, std::size_t n, const std::uint16_t pattern[48]) {
  std::size_t k = 0;
  for (; k + 48 <= n; k += 48)
    for (int i = 0; i < 48; ++i) {
      const std::uint16_t v = static_cast<std::uint16_t>(p[k + i] * pattern[i]);
      p[k + i] = static_cast<unsigned char>((v + 1 + (v >> 8)) >> 8);
    }
  for (int i = 0; k < n; ++k, ++i) p[k] = static_cast<unsigned char>(p[k] * pattern[i] / 255);
}

// Saturation through HSL for 16 pixels at a time. Every lane performs the
// same single-precision operations as RGBtoHSL, the saturation product and
// HSLtoRGB do for one pixel (both sides of each choice are computed and one
// is kept), so the bytes are those of the per-pixel path.
typedef float Floats __attribute__((vector_size(64)));
typedef int Ints __attribute__((vector_size(64)));
constexpr int kLanes = 16;

// A hue brought into 0..360 as HueToRGB does. (The helpers here pass
// vectors by reference so that they inline into each instruction-set copy
// of their callers without the generic-vector fallback.)
[[gnu::always_inline]] inline void WrapHue(const Floats& h, Floats& out) {
  const Floats hue = h < 0.0f ? h + 360.0f : h;
  out = hue > 360.0f ? hue - 360.0f : hue;
}

// A byte from a channel value as HueToRGB and HSLtoRGB make it.
[[gnu::always_inline]] inline void ChannelByte(const Floats& v, Ints& out) {
  const Ints t = __builtin_convertvector(v * 255.0f, Ints);
  const Ints low = t < 0 ? 0 : t;
  out = low > 255 ? 255 : low;
}

// How far up its ramp a channel's hue lies: HueToRGB's ramp is
// p + (q - p) * rising / 60 with rising = hue below 60 and 240 - hue from
// 180 below 240. Here rising is formed for every hue; it lies in 0..60
// exactly on the ramps and at hue 240, where the ramp gives p, as HueToRGB
// does there. `on` is set for those hues (|rising - 30| <= 30, as one
// comparison: GCC expands or-ed vector comparisons lane by lane).
[[gnu::always_inline]] inline void Rising(const Floats& hue, Floats& rising, Ints& on) {
  rising = hue < 60.0f ? hue : 240.0f - hue;
  const Floats centred = rising - 30.0f;
  on = centred * centred <= 900.0f;
}

// The saturation change of 16 pixels given as channel values 0..255.
//
// HueToRGB takes one of three values for a channel: q (hue from 60 below
// 180), p (from 240) or a ramp between them (below 60, or from 180 below
// 240). The channels' hues lie 120 apart, and a hue is either a multiple
// of 60 or at least 60/255 away from one (it is a multiple of 60 plus
// 60 * n / d with |n| < d <= 255), so at most one channel of a pixel is on
// a ramp: the ramp, with its division, is evaluated once per pixel, for
// that channel, with the operations HueToRGB performs for it.
[[gnu::always_inline]] inline void SaturateLanes(Ints& R, Ints& G, Ints& B, float factor) {
  // RGBtoHSL
  Ints mx = R > G ? R : G;
  mx = mx > B ? mx : B;
  Ints mn = R < G ? R : G;
  mn = mn < B ? mn : B;
  const Ints sum = mx + mn;
  const Ints grey = mx == mn;
  const Floats l = __builtin_convertvector(sum, Floats) / 510.0f;
  const Floats d = __builtin_convertvector(grey ? 1 : mx - mn, Floats);
  const Ints den = l <= 0.5f ? sum : 510 - sum;
  Floats s = d / __builtin_convertvector(den == 0 ? 1 : den, Floats);
  // The last matching channel decides the hue, as the tests run in turn.
  Ints num = R == mx ? G - B : 0;
  Floats offset = R == mx ? Floats{} + 6.0f : Floats{};
  num = G == mx ? B - R : num;
  offset = G == mx ? Floats{} + 2.0f : offset;
  num = B == mx ? R - G : num;
  offset = B == mx ? Floats{} + 4.0f : offset;
  Floats h = (__builtin_convertvector(num, Floats) / d + offset) * 60.0f;
  h = h > 360.0f ? h - 360.0f : h;
  h = grey ? Floats{} : h;
  s = grey ? Floats{} : s;
  // HSLtoRGB (lightness never exceeds 1 here)
  Floats s2 = s * factor;
  s2 = s2 > 1.0f ? Floats{} + 1.0f : s2;
  const Floats q = l <= 0.5f ? l * (1.0f + s2) : l + s2 - l * s2;
  const Floats p = 2.0f * l - q;
  const Ints flat = s2 == 0.0f;
  Ints grey0, ramp, high, low;
  ChannelByte(l, grey0);
  Floats hr, hg, hb;
  WrapHue(h + 120.0f, hr);
  WrapHue(h, hg);
  WrapHue(h - 120.0f, hb);
  Floats risingR, risingG, risingB;
  Ints rampR, rampG, rampB;
  Rising(hr, risingR, rampR);
  Rising(hg, risingG, rampG);
  Rising(hb, risingB, rampB);
  // Where two channels qualify (hues 0 and 240) both give p.
  const Floats rising = rampR ? risingR : rampB ? risingB : risingG;
  ChannelByte(p + (q - p) * rising / 60.0f, ramp);
  ChannelByte(q, high);
  ChannelByte(p, low);
  const Ints r1 = rampR ? ramp : hr < 180.0f ? high : low;
  const Ints g1 = rampG ? ramp : hg < 180.0f ? high : low;
  const Ints b1 = rampB ? ramp : hb < 180.0f ? high : low;
  R = flat ? grey0 : r1;
  G = flat ? grey0 : g1;
  B = flat ? grey0 : b1;
}

PIXALTO_CLONES void SaturateRun(unsigned char* row, int count, int bpp, float factor) {
  for (int x = 0; x + kLanes <= count; x += kLanes) {
    unsigned char* px = row + static_cast<std::size_t>(x) * bpp;
    alignas(64) int rb[kLanes], gb[kLanes], bb[kLanes];
    for (int i = 0; i < kLanes; ++i) {
      bb[i] = px[i * bpp];
      gb[i] = px[i * bpp + 1];
      rb[i] = px[i * bpp + 2];
    }
    Ints R, G, B;
    std::memcpy(&R, rb, sizeof R);
    std::memcpy(&G, gb, sizeof G);
    std::memcpy(&B, bb, sizeof B);
    SaturateLanes(R, G, B, factor);
    std::memcpy(rb, &R, sizeof rb);
    std::memcpy(gb, &G, sizeof gb);
    std::memcpy(bb, &B, sizeof bb);
    for (int i = 0; i < kLanes; ++i) {
      px[i * bpp] = static_cast<unsigned char>(bb[i]);
      px[i * bpp + 1] = static_cast<unsigned char>(gb[i]);
      px[i * bpp + 2] = static_cast<unsigned char>(rb[i]);
    }
  }
}

#if defined(__x86_64__) && defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
// SaturateRun with the channels taken apart and put back by byte
// permutations instead of byte by byte; the fourth byte of 32-bit pixels
// is never written.
__attribute__((target("avx512f,avx512bw,avx512dq,avx512vl,avx512vbmi"))) void SaturateRunVbmi(
    unsigned char* row, int count, int bpp, float factor) {
  alignas(64) unsigned char apart[64], together[64];
  for (int i = 0; i < 64; ++i) {
    apart[i] = static_cast<unsigned char>(i < 48 ? bpp * (i % 16) + i / 16 : 0);
    together[i] = static_cast<unsigned char>(i % bpp < 3 && i / bpp < 16 ? 16 * (i % bpp) + i / bpp : 0);
  }
  const __m512i toPlanes = _mm512_load_si512(apart), toPixels = _mm512_load_si512(together);
  const __mmask64 bytes = bpp == 3 ? 0x0000FFFFFFFFFFFFull : 0x7777777777777777ull;
  for (int x = 0; x + kLanes <= count; x += kLanes) {
    unsigned char* px = row + static_cast<std::size_t>(x) * bpp;
    const __m512i planes = _mm512_permutexvar_epi8(toPlanes, _mm512_maskz_loadu_epi8(bytes, px));
    Ints R, G, B;
    const __m512i b = _mm512_cvtepu8_epi32(_mm512_castsi512_si128(planes));
    const __m512i g = _mm512_cvtepu8_epi32(_mm512_extracti32x4_epi32(planes, 1));
    const __m512i r = _mm512_cvtepu8_epi32(_mm512_extracti32x4_epi32(planes, 2));
    std::memcpy(&B, &b, sizeof B);
    std::memcpy(&G, &g, sizeof G);
    std::memcpy(&R, &r, sizeof R);
    SaturateLanes(R, G, B, factor);
    __m512i bo, go, ro;
    std::memcpy(&bo, &B, sizeof bo);
    std::memcpy(&go, &G, sizeof go);
    std::memcpy(&ro, &R, sizeof ro);
    __m512i out = _mm512_castsi128_si512(_mm512_cvtepi32_epi8(bo));
    out = _mm512_inserti32x4(out, _mm512_cvtepi32_epi8(go), 1);
    out = _mm512_inserti32x4(out, _mm512_cvtepi32_epi8(ro), 2);
    _mm512_mask_storeu_epi8(px, bytes, _mm512_permutexvar_epi8(toPixels, out));
  }
}
#pragma GCC diagnostic pop
#endif

bool ValidPicture(const unsigned char* data, int width, int height, int depth) {
  return data && width > 0 && height > 0 && PictureDepth(depth);
}

}  // namespace

int CDataHandler::AdjustLuminosity(unsigned char* data, int width, int height, int depth,
                                   int level) {
  if (level == 0 || !ValidPicture(data, width, height, depth)) return 0;
  std::uint8_t map[256];
  LuminosityMap(level, map);
  ApplyByteMap(data, width, height, depth, map);
  return 1;
}

int CDataHandler::AdjustContrast(unsigned char* data, int width, int height, int depth,
                                 int level) {
  if (level == 0 || !ValidPicture(data, width, height, depth)) return 0;
  std::uint8_t map[256];
  ContrastMap(level, map);
  ApplyByteMap(data, width, height, depth, map);
  return 1;
}

int CDataHandler::CopyLuminosityContrast(const unsigned char* source, unsigned char* dest, int width,
                                         int height, int depth, int luminosity, int contrast) {
  if (!dest || !ValidPicture(source, width, height, depth)) return 0;
  if (luminosity == 0 && contrast == 0) {
    std::memcpy(dest, source, PictureSize(width, height, depth));
    return 1;
  }
  // The two maps composed: each byte goes through brightness, then contrast.
  std::uint8_t map[256];
  for (int v = 0; v < 256; ++v) map[v] = static_cast<std::uint8_t>(v);
  if (luminosity != 0) LuminosityMap(luminosity, map);
  if (contrast != 0) {
    std::uint8_t second[256];
    ContrastMap(contrast, second);
    for (int v = 0; v < 256; ++v) map[v] = second[map[v]];
  }
  ApplyByteMap(source, dest, width, height, depth, map);
  return 1;
}

int CDataHandler::AdjustSaturation(unsigned char* data, int width, int height, int depth,
                                   int level) {
  if (level == 0 || !ValidPicture(data, width, height, depth)) return 0;
  const int g = std::clamp(level + 100, 0, 200);
  const float factor = static_cast<float>(g) / 100.0f;
  const std::size_t stride = PictureStride(width, depth);
  if (depth == 8) {
    // An index v is the grey (v, v, v); the mean of the channels replaces it.
    std::uint8_t map[256];
    for (int v = 0; v < 256; ++v) {
      float h, s, l;
      RGBtoHSL(static_cast<unsigned char>(v), static_cast<unsigned char>(v),
               static_cast<unsigned char>(v), &h, &s, &l);
      const unsigned long rgb = HSLtoRGB(h, s * factor, l);
      map[v] = static_cast<std::uint8_t>(((rgb & 0xFF) + ((rgb >> 8) & 0xFF) + ((rgb >> 16) & 0xFF)) / 3);
    }
    ApplyByteMap(data, width, height, depth, map);
    return 1;
  }
  const int bpp = depth / 8;
  const int blocked = width / kLanes * kLanes;
  for (int y = 0; y < height; ++y) {
#if defined(__x86_64__) && defined(__GNUC__)
    if (ByteLookupVectors())
      SaturateRunVbmi(data + stride * y, blocked, bpp, factor);
    else
#endif
      SaturateRun(data + stride * y, blocked, bpp, factor);
    unsigned char* p = data + stride * y + static_cast<std::size_t>(blocked) * bpp;
    for (int x = blocked; x < width; ++x, p += bpp) {
      float h, s, l;
      RGBtoHSL(p[2], p[1], p[0], &h, &s, &l);
      const unsigned long rgb = HSLtoRGB(h, s * factor, l);
      p[0] = static_cast<unsigned char>(rgb >> 16);
      p[1] = static_cast<unsigned char>(rgb >> 8);
      p[2] = static_cast<unsigned char>(rgb);
    }
  }
  return 1;
}

int CDataHandler::SaturationAlter(unsigned char* data, int width, int height, int depth,
                                  int redGain, int greenGain, int blueGain) {
  if (redGain == 255 && greenGain == 255 && blueGain == 255) return 0;
  if ((depth != 24 && depth != 32) || !data || width <= 0 || height <= 0) return 0;
  const int gr = std::clamp(redGain, 0, 255), gg = std::clamp(greenGain, 0, 255),
            gb = std::clamp(blueGain, 0, 255);
  const int bpp = depth / 8;
  const std::uint16_t gains[4] = {static_cast<std::uint16_t>(gb), static_cast<std::uint16_t>(gg),
                                  static_cast<std::uint16_t>(gr), 255};
  std::uint16_t pattern[48];
  for (int i = 0; i < 48; ++i) pattern[i] = gains[i % bpp];
  const std::size_t stride = PictureStride(width, depth);
  const std::size_t rowBytes = static_cast<std::size_t>(width) * bpp;
  if (stride == rowBytes) {
    GainRun(data, rowBytes * height, pattern);
  } else {
    for (int y = 0; y < height; ++y) GainRun(data + stride * y, rowBytes, pattern);
  }
  return 1;
}

void CDataHandler::RGBtoHSL(unsigned char red, unsigned char green, unsigned char blue,
                            float* hue, float* saturation, float* lightness) {
  const int mx = std::max({red, green, blue});
  const int mn = std::min({red, green, blue});
  const float l = static_cast<float>(mx + mn) / 510.0f;
  float h = 0.0f, s = 0.0f;
  if (mx != mn) {
    const float d = static_cast<float>(mx - mn);
    s = l <= 0.5f ? d / static_cast<float>(mx + mn) : d / static_cast<float>(510 - mx - mn);
    if (red == mx) h = (static_cast<float>(green - blue) / d + 6.0f) * 60.0f;
    if (green == mx) h = (static_cast<float>(blue - red) / d + 2.0f) * 60.0f;
    if (blue == mx) h = (static_cast<float>(red - green) / d + 4.0f) * 60.0f;
    if (h > 360.0f) h -= 360.0f;
  }
  if (hue) *hue = h;
  if (saturation) *saturation = s;
  if (lightness) *lightness = l;
}

unsigned long CDataHandler::HSLtoRGB(float hue, float saturation, float lightness) {
  if (lightness > 1.0f) lightness = 1.0f;
  if (saturation > 1.0f) saturation = 1.0f;
  if (saturation == 0.0f) {
    const unsigned long grey =
        static_cast<unsigned long>(std::clamp(static_cast<int>(lightness * 255.0f), 0, 255));
    return grey | (grey << 8) | (grey << 16);
  }
  const float q = lightness <= 0.5f ? lightness * (1.0f + saturation)
                                    : lightness + saturation - lightness * saturation;
  const float p = 2.0f * lightness - q;
  const unsigned long r = HueToRGB(p, q, hue + 120.0f);
  const unsigned long g = HueToRGB(p, q, hue);
  const unsigned long b = HueToRGB(p, q, hue - 120.0f);
  return r | (g << 8) | (b << 16);
}

unsigned char CDataHandler::HueToRGB(float p, float q, float hue) {
  if (hue < 0.0f) hue += 360.0f;
  if (hue > 360.0f) hue -= 360.0f;
  float v;
  if (hue < 60.0f)
    v = p + (q - p) * hue / 60.0f;
  else if (hue < 180.0f)
    v = q;
  else if (hue < 240.0f)
    v = p + (q - p) * (240.0f - hue) / 60.0f;
  else
    v = p;
  const int t = static_cast<int>(v * 255.0f);
  return static_cast<unsigned char>(std::clamp(t, 0, 255));
}
