#include "imaging/page_frame.h"

#include "imaging/data_handler.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

bool FindPageFrame(const unsigned char* data, int width, int height, PageFrame& frame) {
  if (!data || width < 1 || height < 1) return false;
  float f = static_cast<float>(std::max(width, height)) / 320.0f;
  if (f <= 0) f = 1;
  const int ww = std::max(1, static_cast<int>(width / f));
  const int wh = std::max(1, static_cast<int>(height / f));
  std::vector<unsigned char> work, plane;
  try {
    work.resize(PictureSize(ww, wh, 24));
    plane.resize(static_cast<std::size_t>(ww) * static_cast<std::size_t>(wh));
  } catch (const std::bad_alloc&) {
    return false;
  }
  // Nearest-pixel shrink: each work pixel takes the source pixel at its
  // top-left corner, as a colour-on-colour stretch does.
  const std::size_t srcStride = PictureStride(width, 24), workStride = PictureStride(ww, 24);
  std::vector<int> columns(static_cast<std::size_t>(ww));
  for (int j = 0; j < ww; ++j) columns[j] = static_cast<int>(static_cast<double>(j) * width / ww);
  for (int i = 0; i < wh; ++i) {
    const unsigned char* src =
        data + srcStride * static_cast<std::size_t>(static_cast<double>(i) * height / wh);
    unsigned char* dst = work.data() + workStride * static_cast<std::size_t>(i);
    for (int j = 0; j < ww; ++j) std::memcpy(dst + 3 * j, src + 3 * columns[j], 3);
  }
  CDataHandler h;
  PageFrame g;
  if (!h.ColourToGreyScale(work.data(), ww, wh, 24, nullptr, plane.data(), 0) ||
      !h.EdgeDetectionSobelEx(plane.data(), ww, wh) || !h.MedianFilter(plane.data(), ww, wh) ||
      !h.RegionAnalysis(plane.data(), ww, wh) || !h.HoughTrans(plane.data(), ww, wh, g.main) ||
      !h.SearchLine(plane.data(), ww, wh, g.main, g.lines) ||
      !h.SearchRect(plane.data(), ww, wh, g.lines, g.segments))
    return false;
  // An end the outline search did not find (-1) stays -1: scaled and
  // flipped it would turn into a real-looking point on the picture's edge.
  const auto scaleX = [f](int v) { return v < 0 ? -1 : static_cast<int>(v * f + 0.5); };
  const auto scaleY = [f, height](int v) { return v < 0 ? -1 : height - static_cast<int>(v * f + 0.5); };
  for (_SEGMENT& s : g.segments) {
    s.x1 = scaleX(s.x1);
    s.x2 = scaleX(s.x2);
    s.y1 = scaleY(s.y1);
    s.y2 = scaleY(s.y2);
  }
  for (_STRAIGHTLINE& l : g.lines) {
    const float d = l.distance * f;
    l.distance = d > 0 ? static_cast<int>(d + 0.5f) : static_cast<int>(d - 0.5f);
  }
  frame = g;
  return true;
}
