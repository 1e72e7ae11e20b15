#include "recorder/record_picture.h"

#include <algorithm>
#include <cstring>

namespace capturo {

void FitPicture(const std::uint8_t* picture, int width, int height, std::vector<std::uint8_t>& out,
                int outWidth, int outHeight) {
  out.assign(static_cast<std::size_t>(std::max(outWidth, 0)) * std::max(outHeight, 0) * 3, 0);
  if (!picture || width <= 0 || height <= 0 || outWidth <= 0 || outHeight <= 0) return;
  // Offsets of the picture in the output (negative: the picture is cut).
  const int dx = (outWidth - width) / 2, dy = (outHeight - height) / 2;
  const int x0 = std::max(dx, 0), x1 = std::min(dx + width, outWidth);
  const int y0 = std::max(dy, 0), y1 = std::min(dy + height, outHeight);
  if (x1 <= x0) return;
  const std::size_t bytes = static_cast<std::size_t>(x1 - x0) * 3;
  for (int y = y0; y < y1; ++y) {
    const std::uint8_t* s = picture + (static_cast<std::size_t>(y - dy) * width + (x0 - dx)) * 3;
    std::memcpy(out.data() + (static_cast<std::size_t>(y) * outWidth + x0) * 3, s, bytes);
  }
}

void PadRows(const std::uint8_t* picture, int width, int height, std::vector<std::uint8_t>& out) {
  const int stride = PaddedRowBytes(width);
  out.assign(static_cast<std::size_t>(stride) * std::max(height, 0), 0);
  if (!picture || width <= 0) return;
  for (int y = 0; y < height; ++y)
    std::memcpy(out.data() + static_cast<std::size_t>(y) * stride,
                picture + static_cast<std::size_t>(y) * width * 3, static_cast<std::size_t>(width) * 3);
}

int AviFramesPerSecond(int grabMs) { return std::max(1, 1000 / std::max(50, grabMs)); }

int CAviPacer::Owed(std::int64_t elapsedMs) {
  const std::int64_t due = std::max<std::int64_t>(elapsedMs, 0) * fps_ / 1000 + 1;
  const std::int64_t owed = std::max<std::int64_t>(due - written_, 0);
  written_ += owed;
  return static_cast<int>(owed);
}

}  // namespace capturo
