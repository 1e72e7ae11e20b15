#pragma once
// Pictures the preview suites feed their models and windows with: 24-bit
// bottom-up picture buffers whose pixels are set by top-down coordinates.

#include "imaging/data_handler.h"
#include "platform/geometry.h"

#include <cmath>
#include <vector>

// A 24-bit bottom-up picture; pixel (x, y) counted from the top row.
struct Picture {
  int width, height;
  std::vector<BYTE> bytes;
  Picture(int w, int h) : width(w), height(h), bytes(PictureSize(w, h, 24), 0) {}
  BYTE* Px(int x, int y) { return bytes.data() + PictureStride(width, 24) * (height - 1 - y) + x * 3; }
  void Set(int x, int y, BYTE r, BYTE g, BYTE b) {
    BYTE* p = Px(x, y);
    p[0] = b;
    p[1] = g;
    p[2] = r;
  }
  void Fill(BYTE r, BYTE g, BYTE b) {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) Set(x, y, r, g, b);
  }
};

// A picture whose every pixel tells where it came from (red = x, green = y).
inline Picture Gradient(int w, int h) {
  Picture p(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) p.Set(x, y, static_cast<BYTE>(x), static_cast<BYTE>(y), 77);
  return p;
}


// A bright page on a dark desk: the page rectangle (top-down pixels) turned
// by `degrees` about its centre.
inline Picture Page(int w, int h, const CRect& page, double degrees) {
  Picture p(w, h);
  p.Fill(30, 30, 30);
  const double a = degrees * 3.14159265358979 / 180.0;
  const double cx = (page.left + page.right) / 2.0, cy = (page.top + page.bottom) / 2.0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      // Turn the pixel back and test it against the upright page.
      const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
      const double ux = cx + dx * std::cos(a) + dy * std::sin(a), uy = cy - dx * std::sin(a) + dy * std::cos(a);
      if (ux >= page.left && ux < page.right && uy >= page.top && uy < page.bottom) p.Set(x, y, 250, 250, 250);
    }
  return p;
}
