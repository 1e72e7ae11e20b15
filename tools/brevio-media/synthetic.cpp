#include "tools/brevio-media/synthetic.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace synthetic {

namespace {

// 3 × 5 digit shapes, one row per 3 bits, top row first.
constexpr unsigned short kDigits[10] = {
    0x7B6F, 0x2C97, 0x73E7, 0x73CF, 0x5BC9, 0x79CF, 0x79EF, 0x7249, 0x7BEF, 0x7BCF};

void Fill(std::vector<unsigned char>& bgr, int width, int height, int x0, int y0, int x1, int y1,
          unsigned char b, unsigned char g, unsigned char r) {
  x0 = std::max(0, x0);
  y0 = std::max(0, y0);
  x1 = std::min(width, x1);
  y1 = std::min(height, y1);
  for (int y = y0; y < y1; ++y) {
    unsigned char* row = bgr.data() + static_cast<std::size_t>(height - 1 - y) * width * 3;
    for (int x = x0; x < x1; ++x) {
      row[3 * x] = b;
      row[3 * x + 1] = g;
      row[3 * x + 2] = r;
    }
  }
}

}  // namespace

Box SquareBox(int width, int height) {
  return Box{width * 6 / 10, height * 55 / 100, width * 9 / 10, height * 85 / 100};
}

Box TimeCell(int width, int height, int bit) {
  const int cell = std::max(4, width / 40);
  const int x0 = width / 50 + bit * cell;
  const int y0 = height * 90 / 100;
  return Box{x0, y0, x0 + cell, std::min(height, y0 + cell)};
}

void DrawPicture(std::vector<unsigned char>& bgr, int width, int height, int frame, double ms) {
  bgr.assign(static_cast<std::size_t>(width) * height * 3, 0);
  // Dark blue-grey background.
  Fill(bgr, width, height, 0, 0, width, height, 70, 50, 40);
  // A bar that sweeps across the upper part once every two seconds.
  const int barWidth = std::max(2, width / 16);
  const int travel = width - barWidth;
  const int x = static_cast<int>(std::fmod(ms / 2000.0, 1.0) * travel);
  Fill(bgr, width, height, x, height / 20, x + barWidth, height * 4 / 10, 40, 200, 230);
  // The frame counter, top left, in white digits.
  const std::string text = std::to_string(frame);
  const int cell = std::max(1, height / 60);
  int cx = width / 40;
  const int cy = height / 2 - 6 * cell;
  for (char c : text) {
    const unsigned short shape = kDigits[c - '0'];
    for (int row = 0; row < 5; ++row) {
      for (int col = 0; col < 3; ++col) {
        if (shape & (1u << (14 - (row * 3 + col)))) {
          Fill(bgr, width, height, cx + col * cell, cy + row * cell, cx + (col + 1) * cell, cy + (row + 1) * cell,
               255, 255, 255);
        }
      }
    }
    cx += 4 * cell;
  }
  // The picture's time.
  const auto code = static_cast<unsigned>(std::max(0.0, ms) / 2) & ((1u << kTimeBits) - 1);
  for (int bit = 0; bit < kTimeBits; ++bit) {
    const Box c = TimeCell(width, height, bit);
    const unsigned char v = (code >> (kTimeBits - 1 - bit)) & 1 ? 255 : 0;
    Fill(bgr, width, height, c.x0, c.y0, c.x1, c.y1, v, v, v);
  }
  // The flashing square.
  if (FlashOn(ms)) {
    const Box box = SquareBox(width, height);
    Fill(bgr, width, height, box.x0, box.y0, box.x1, box.y1, 255, 255, 255);
  }
}

void AddTexture(std::vector<unsigned char>& bgr, int width, int height, int frame, double ms) {
  const int shift = static_cast<int>(ms / 40.0) * 2;  // 50 pixels a second
  for (int y = 0; y < height; ++y) {
    unsigned char* row = bgr.data() + static_cast<std::size_t>(y) * width * 3;
    for (int x = 0; x < width; ++x) {
      const int texture = ((x + shift) * 7 + y * 3) % 40;
      std::uint32_t h = static_cast<std::uint32_t>(x) * 73856093u ^ static_cast<std::uint32_t>(y) * 19349663u ^
                        static_cast<std::uint32_t>(frame) * 83492791u;
      h ^= h >> 13;
      h *= 0x5bd1e995u;
      h ^= h >> 15;
      const int noise = static_cast<int>(h % 13) - 6;
      for (int c = 0; c < 3; ++c) {
        const int v = row[3 * x + c] + texture + noise;
        row[3 * x + c] = static_cast<unsigned char>(std::clamp(v, 0, 255));
      }
    }
  }
}

void FillSound(std::vector<unsigned char>& pcm, std::int64_t first, int count, int toneHz) {
  pcm.assign(static_cast<std::size_t>(count) * 2, 0);
  if (toneHz <= 0) return;
  constexpr double kTwoPi = 6.283185307179586;
  for (int i = 0; i < count; ++i) {
    const std::int64_t s = first + i;
    const double ms = static_cast<double>(s) * 1000.0 / kSampleRate;
    if (!FlashOn(ms)) continue;
    const double v = 0.5 * std::sin(kTwoPi * toneHz * static_cast<double>(s) / kSampleRate);
    const auto sample = static_cast<std::int16_t>(std::lround(v * 32767.0));
    std::memcpy(&pcm[2 * static_cast<std::size_t>(i)], &sample, 2);
  }
}

}  // namespace synthetic
