// Brightness, contrast, saturation, colour gain and the HSL conversions.

#include "imaging/data_handler.h"
#include "imaging/pixel_common.h"

#include <algorithm>
#include <cstdint>

using namespace pixalto;

namespace {

// Replaces every byte of every pixel (padding excluded) through a 256-entry map.
void ApplyByteMap(unsigned char* data, int width, int height, int depth,
                  const std::uint8_t map[256]) {
  const std::size_t stride = PictureStride(width, depth);
  const std::size_t rowBytes = static_cast<std::size_t>(width) * (depth / 8);
  // Without padding the rows form one run.
  const std::size_t runs = stride == rowBytes ? 1 : static_cast<std::size_t>(height);
  const std::size_t runBytes = stride == rowBytes ? rowBytes * height : rowBytes;
  for (std::size_t r = 0; r < runs; ++r) {
    unsigned char* p = data + stride * r;
    std::size_t k = 0;
    for (; k + 8 <= runBytes; k += 8) {
      const std::uint8_t a0 = map[p[k]], a1 = map[p[k + 1]], a2 = map[p[k + 2]], a3 = map[p[k + 3]];
      const std::uint8_t a4 = map[p[k + 4]], a5 = map[p[k + 5]], a6 = map[p[k + 6]], a7 = map[p[k + 7]];
      p[k] = a0; p[k + 1] = a1; p[k + 2] = a2; p[k + 3] = a3;
      p[k + 4] = a4; p[k + 5] = a5; p[k + 6] = a6; p[k + 7] = a7;
    }
    for (; k < runBytes; ++k) p[k] = map[p[k]];
  }
}

bool ValidPicture(const unsigned char* data, int width, int height, int depth) {
  return data && width > 0 && height > 0 && PictureDepth(depth);
}

}  // namespace

int CDataHandler::AdjustLuminosity(unsigned char* data, int width, int height, int depth,
                                   int level) {
  if (level == 0 || !ValidPicture(data, width, height, depth)) return 0;
  const long long factor = static_cast<long long>(level) + 100;
  std::uint8_t map[256];
  for (int v = 0; v < 256; ++v) map[v] = static_cast<std::uint8_t>(std::clamp<long long>(v * factor / 100, 0, 255));
  ApplyByteMap(data, width, height, depth, map);
  return 1;
}

int CDataHandler::AdjustContrast(unsigned char* data, int width, int height, int depth,
                                 int level) {
  if (level == 0 || !ValidPicture(data, width, height, depth)) return 0;
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
  std::uint8_t map[256];
  for (int v = 0; v < 256; ++v) {
    int r;
    if (a > 0)
      r = v <= a ? 0 : v > hi ? 255 : (v - a) * 255 / span;
    else
      r = v * span / 255 - a;
    map[v] = static_cast<std::uint8_t>(r);
  }
  ApplyByteMap(data, width, height, depth, map);
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
  for (int y = 0; y < height; ++y) {
    unsigned char* p = data + stride * y;
    for (int x = 0; x < width; ++x, p += bpp) {
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
  std::uint8_t red[256], green[256], blue[256];
  const int gr = std::clamp(redGain, 0, 255), gg = std::clamp(greenGain, 0, 255),
            gb = std::clamp(blueGain, 0, 255);
  for (int v = 0; v < 256; ++v) {
    red[v] = static_cast<std::uint8_t>(gr * v / 255);
    green[v] = static_cast<std::uint8_t>(gg * v / 255);
    blue[v] = static_cast<std::uint8_t>(gb * v / 255);
  }
  const std::size_t stride = PictureStride(width, depth);
  const int bpp = depth / 8;
  for (int y = 0; y < height; ++y) {
    unsigned char* p = data + stride * y;
    for (int x = 0; x < width; ++x, p += bpp) {
      const std::uint8_t b = blue[p[0]], g = green[p[1]], r = red[p[2]];
      p[0] = b;
      p[1] = g;
      p[2] = r;
    }
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
