#pragma once
// Straightforward implementations of the picture arithmetic, written pixel by
// pixel exactly as the operations are described, to check the optimised
// library code byte for byte. Also random picture helpers.

#include "platform/geometry.h"
#include "platform/records.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <vector>

namespace ref {

using Bytes = std::vector<unsigned char>;

// Row bytes plus padding to 4 bytes (none at 32 bits or widths divisible by 4).
inline std::size_t Stride(long width, int depth) {
  const long rowBytes = width * depth / 8;
  const long pad = (width % 4 == 0 || depth == 32) ? 0 : 4 - rowBytes % 4;
  return static_cast<std::size_t>(rowBytes + pad);
}

// A scratch folder of this suite's own (created empty-or-existing).
inline std::filesystem::path TestDir(const char* name) {
  const char* root = std::getenv("BREVIO_TEST_TMP");
  const std::filesystem::path dir =
      (root ? std::filesystem::path(root) : std::filesystem::temp_directory_path()) / name;
  std::filesystem::create_directories(dir);
  return dir;
}

inline Bytes RandomBytes(std::mt19937& rng, std::size_t n) {
  Bytes b(n);
  for (auto& v : b) v = static_cast<unsigned char>(rng());
  return b;
}

// A picture with random pixel bytes and zero padding.
inline Bytes RandomPicture(std::mt19937& rng, long w, long h, int depth) {
  Bytes b = RandomBytes(rng, Stride(w, depth) * h);
  const std::size_t rowBytes = static_cast<std::size_t>(w) * depth / 8;
  for (long y = 0; y < h; ++y)
    std::fill(b.begin() + Stride(w, depth) * y + rowBytes, b.begin() + Stride(w, depth) * (y + 1), 0);
  return b;
}

inline int Grey(int b, int g, int r) { return static_cast<int>((0.59 * g + 0.30 * r) + 0.11 * b); }

inline Bytes GreyPlane(const Bytes& src, int w, int h, int depth, const tagRGBQUAD* pal, bool pad) {
  const std::size_t ds = pad ? Stride(w, 8) : static_cast<std::size_t>(w);
  Bytes out(ds * h, 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const unsigned char* p = &src[Stride(w, depth) * y + x * (depth / 8)];
      int v = 0;
      if (depth == 8) {
        if (pal) v = Grey(pal[*p].rgbBlue, pal[*p].rgbGreen, pal[*p].rgbRed);
      } else {
        v = Grey(p[0], p[1], p[2]);
      }
      out[ds * y + x] = static_cast<unsigned char>(v);
    }
  return out;
}

inline Bytes Zoom(const Bytes& src, int w, int h, int depth, float scale, int& ow, int& oh) {
  ow = static_cast<int>(scale * w + 0.5);
  oh = static_cast<int>(scale * h + 0.5);
  const int n = depth / 8;
  Bytes out(Stride(ow, depth) * oh, 0);
  for (int i = 0; i < oh; ++i)
    for (int j = 0; j < ow; ++j) {
      const int sy = static_cast<int>(i / scale + 0.5);
      const int sx = static_cast<int>(j / scale + 0.5);
      if (sx < w && sy < h)
        std::memcpy(&out[Stride(ow, depth) * i + j * n], &src[Stride(w, depth) * sy + sx * n], n);
    }
  return out;
}

inline Bytes Turn(const Bytes& src, long W, long H, int depth, int value, long& ow, long& oh) {
  const bool quarter = value == 1 || value == 3;
  ow = quarter ? H : W;
  oh = quarter ? W : H;
  const int n = depth / 8;
  Bytes out(Stride(ow, depth) * oh, 0);
  for (long i = 0; i < oh; ++i)
    for (long j = 0; j < ow; ++j) {
      long sr = 0, sc = 0;
      switch (value) {
        case 1: sr = j; sc = W - 1 - i; break;
        case 2: sr = H - 1 - i; sc = W - 1 - j; break;
        case 3: sr = H - 1 - j; sc = i; break;
        case 4: sr = H - 1 - i; sc = j; break;
        case 5: sr = i; sc = W - 1 - j; break;
      }
      std::memcpy(&out[Stride(ow, depth) * i + j * n], &src[Stride(W, depth) * sr + sc * n], n);
    }
  return out;
}

// Rotation by whole degrees of a 24-bit picture, in single precision.
inline Bytes RotateDegrees(const Bytes& src, long w, long h, CRect& region, int degrees, long& ow,
                           long& oh) {
  const float t = static_cast<float>(degrees * 6.283185307179586 / 360);
  const float c = static_cast<float>(std::cos(static_cast<double>(t)));
  const float s = static_cast<float>(std::sin(static_cast<double>(t)));
  const float W = static_cast<float>(w), H = static_cast<float>(h);
  const int x1 = static_cast<int>(-H * s), y1 = static_cast<int>(H * c);
  const int x2 = static_cast<int>(W * c), y2 = static_cast<int>(W * s);
  const int x3 = static_cast<int>(W * c - H * s), y3 = static_cast<int>(W * s + H * c);
  const int minX = std::min({0, x1, x2, x3}), maxX = std::max({0, x1, x2, x3});
  const int minY = std::min({0, y1, y2, y3}), maxY = std::max({0, y1, y2, y3});
  ow = maxX - minX;
  oh = maxY - minY;
  int px[4], py[4];
  const int cx[4] = {region.left, region.right, region.right, region.left};
  const int cy[4] = {region.top, region.top, region.bottom, region.bottom};
  for (int k = 0; k < 4; ++k) {
    const float x = static_cast<float>(cx[k]), y = static_cast<float>(cy[k]);
    px[k] = static_cast<int>(x * c - y * s);
    py[k] = static_cast<int>(x * s + y * c);
  }
  const CRect old = region;
  region = CRect(std::min({px[0], px[1], px[2], px[3]}) - minX, std::min({py[0], py[1], py[2], py[3]}) - minY,
                 std::max({px[0], px[1], px[2], px[3]}) - minX, std::max({py[0], py[1], py[2], py[3]}) - minY);
  Bytes out(Stride(ow, 24) * oh, 255);
  for (int y = minY; y < maxY; ++y)
    for (int x = minX; x < maxX; ++x) {
      const float fx = static_cast<float>(x), fy = static_cast<float>(y);
      const int sx = static_cast<int>(fx * c + fy * s);
      const int sy = static_cast<int>(fy * c - fx * s);
      if (old.left <= sx && sx < old.right && old.top <= sy && sy < old.bottom)
        std::memcpy(&out[Stride(ow, 24) * (y - minY) + (x - minX) * 3], &src[Stride(w, 24) * sy + sx * 3], 3);
    }
  return out;
}

// Bilinear rotation of a packed picture, in double precision.
inline Bytes RotateBilinear(const Bytes& src, int W, int H, int n, double angle, unsigned& ow,
                            unsigned& oh) {
  const double s = std::sin(angle), c = std::cos(angle);
  ow = static_cast<unsigned>(std::max(std::fabs(s * (H - 1) - c * (W - 1)), std::fabs(c * (W - 1) + s * (H - 1))) + 1.5);
  oh = static_cast<unsigned>(std::max(std::fabs(c * (H - 1) + s * (W - 1)), std::fabs(c * (H - 1) - s * (W - 1))) + 1.5);
  Bytes out(static_cast<std::size_t>(ow) * oh * n, 0);
  const double A = s * ow / 2 - c * oh / 2 + H / 2.0;
  const double B = W / 2.0 - (s * oh / 2 + c * ow / 2);
  auto P = [&](int x, int y, int k) { return static_cast<double>(src[(static_cast<std::size_t>(y) * W + x) * n + k]); };
  for (unsigned i = 0; i < oh; ++i)
    for (unsigned j = 0; j < ow; ++j) {
      const double sx = c * j + s * i + B;
      const double sy = c * i - s * j + A;
      if (!(0 <= sx && sx <= W && 0 <= sy && sy <= H)) continue;
      const int x0 = std::min(static_cast<int>(sx), W - 1), y0 = std::min(static_cast<int>(sy), H - 1);
      const double fx = sx - x0, fy = sy - y0;
      for (int k = 0; k < n; ++k) {
        double v;
        if (sx >= W - 1 && sy >= H - 1) v = P(x0, y0, k);
        else if (sx >= W - 1) v = fy * P(x0, y0 + 1, k) + P(x0, y0, k) * (1 - fy);
        else if (sy >= H - 1) v = fx * P(x0 + 1, y0, k) + P(x0, y0, k) * (1 - fx);
        else
          v = fy * (fx * P(x0 + 1, y0 + 1, k) + P(x0, y0 + 1, k) * (1 - fx)) +
              (1 - fy) * (fx * P(x0 + 1, y0, k) + P(x0, y0, k) * (1 - fx));
        out[(static_cast<std::size_t>(i) * ow + j) * n + k] = static_cast<unsigned char>(static_cast<int>(v) & 0xFF);
      }
    }
  return out;
}

// Applies f to every byte of every pixel (padding untouched).
template <typename F>
inline void ForEachPixelByte(Bytes& pic, int w, int h, int depth, F f) {
  for (int y = 0; y < h; ++y)
    for (int k = 0; k < w * (depth / 8); ++k) {
      unsigned char& v = pic[Stride(w, depth) * y + k];
      v = static_cast<unsigned char>(f(v));
    }
}

inline int Luminosity(int v, int level) { return std::clamp(v * (level + 100) / 100, 0, 255); }

inline int Contrast(int v, int level) {
  int a = level, hi = 255, c;
  if (255 - a < a) { a = 120; hi = 127; c = 15; }
  else if (a < -127) { a = -120; c = 15; }
  else if (a > 0) { c = 255 - 2 * a; hi = 255 - a; }
  else c = 255 + 2 * a;
  if (a > 0) {
    if (v <= a) return 0;
    if (v > hi) return 255;
    return (v - a) * 255 / c;
  }
  return v * c / 255 - a;
}

}  // namespace ref
