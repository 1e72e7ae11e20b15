#include "platform/layer_shape.h"

#include <cstdint>
#include <vector>

namespace {

// The drawn runs [left, right) of one row.
void RowRuns(const QRgb* row, int left, int right, std::optional<QRgb> key, std::vector<int>& runs) {
  runs.clear();
  const QRgb keyRgb = key ? (*key & 0x00FFFFFFu) : 0;
  int x = left;
  while (x < right) {
    auto drawn = [&](QRgb px) { return (px >> 24) != 0 && (!key || (px & 0x00FFFFFFu) != keyRgb); };
    while (x < right && !drawn(row[x])) ++x;
    if (x == right) break;
    const int start = x;
    while (x < right && drawn(row[x])) ++x;
    runs.push_back(start);
    runs.push_back(x);
  }
}

}  // namespace

QRegion DrawnRegion(const QImage& image, const QRect& area, std::optional<QRgb> colourKey) {
  const QRect box = area & image.rect();
  if (box.isEmpty()) return {};
  const QImage* source = &image;
  QImage converted;
  if (image.format() != QImage::Format_ARGB32 && image.format() != QImage::Format_ARGB32_Premultiplied) {
    converted = image.convertToFormat(QImage::Format_ARGB32);
    source = &converted;
  }
  // Rows with the same runs make one band of rectangles; the bands come out
  // in the top-to-bottom, left-to-right order QRegion::setRects expects.
  std::vector<QRect> rects;
  std::vector<int> band;
  std::vector<int> runs;
  int bandTop = box.top();
  auto flush = [&](int bottom) {
    for (std::size_t i = 0; i < band.size(); i += 2)
      rects.emplace_back(QPoint(band[i], bandTop), QPoint(band[i + 1] - 1, bottom - 1));
  };
  for (int y = box.top(); y <= box.bottom(); ++y) {
    RowRuns(reinterpret_cast<const QRgb*>(source->constScanLine(y)), box.left(), box.right() + 1, colourKey,
            runs);
    if (y == box.top()) {
      band = runs;
      continue;
    }
    if (runs != band) {
      flush(y);
      band.swap(runs);
      bandTop = y;
    }
  }
  flush(box.bottom() + 1);
  QRegion region;
  if (!rects.empty()) region.setRects(rects.data(), static_cast<int>(rects.size()));
  return region;
}
