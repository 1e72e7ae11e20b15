#include "imaging/page_frame.h"

#include "contracts/fundara/memory.h"
#include "imaging/data_handler.h"
#include "imaging/page_analysis.h"
#include "imaging/pixel_common.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace pixalto;

namespace {

// Line set and sides of the whole picture, for a page that fills the view:
// lines 0/2 past the last and at the first memory row (step 45), lines 1/3
// past the last and at the first column (step 0), so that the straightened
// page is the whole picture.
void WholePicture(int width, int height, PageFrame& g) {
  g.lines[0] = {0, height, 45};
  g.lines[1] = {0, width, 0};
  g.lines[2] = {0, 0, 45};
  g.lines[3] = {0, 0, 0};
  const double corners[4][2] = {
      {width - 1.0, height - 1.0}, {width - 1.0, 0}, {0, 0}, {0, height - 1.0}};
  std::memcpy(g.corners, corners, sizeof corners);
  // Side i runs from corner i - 1 to corner i; rows from the top.
  for (int i = 0; i < 4; ++i) {
    const double* from = corners[(i + 3) % 4];
    const double* to = corners[i];
    g.segments[i] = {static_cast<int>(from[0]), height - 1 - static_cast<int>(from[1]), static_cast<int>(to[0]),
                     height - 1 - static_cast<int>(to[1])};
  }
}

}  // namespace

bool FindPageFrame(const unsigned char* data, int width, int height, PageFrame& frame) {
  if (!data || width < 1 || height < 1) return false;
  CDataHandler h;
  PageAnalysis page;
  if (!AnalysePage(h, data, width, height, 24, nullptr, page)) return false;
  PageFrame g;
  g.main = page.main;
  g.outline = page.outline;
  g.skewDegrees = page.skewDegrees;
  g.skewSource = page.source;
  if (!page.outline) {
    // Text without an outline is a page filling the view; nothing at all
    // is no page: no sides, and a line set with no page inside.
    if (page.source == PageSkewSource::TextLines) {
      WholePicture(width, height, g);
    } else {
      for (int i = 0; i < 4; ++i) {
        g.lines[i] = {0, 0, 0};
        g.segments[i] = {-1, -1, -1, -1};
      }
    }
    frame = g;
    return true;
  }
  const float f = page.k;
  // An end the outline search did not find (-1) stays -1: scaled and
  // flipped it would turn into a real-looking point on the picture's edge.
  const auto scaleX = [f](int v) { return v < 0 ? -1 : static_cast<int>(v * f + 0.5); };
  const auto scaleY = [f, height](int v) { return v < 0 ? -1 : height - static_cast<int>(v * f + 0.5); };
  for (int i = 0; i < 4; ++i) {
    const _SEGMENT& s = page.segments[i];
    g.segments[i] = {scaleX(s.x1), scaleY(s.y1), scaleX(s.x2), scaleY(s.y2)};
    g.lines[i] = page.lines[i];
    const float d = page.lines[i].distance * f;
    g.lines[i].distance = d > 0 ? static_cast<int>(d + 0.5f) : static_cast<int>(d - 0.5f);
    g.corners[i][0] = page.corners[i][0] * f;
    g.corners[i][1] = page.corners[i][1] * f;
  }
  frame = g;
  return true;
}

bool FindPageSkew(const unsigned char* data, int width, int height, int depth, const tagRGBQUAD* palette,
                  double& degrees, PageSkewSource& source) {
  CDataHandler h;
  PageAnalysis page;
  if (!AnalysePage(h, data, width, height, depth, palette, page)) return false;
  degrees = page.skewDegrees;
  source = page.source;
  return true;
}

bool ConvexQuad(const double c[4][2]) {
  // Every turn along the four sides goes the same way, none straight.
  int sign = 0;
  for (int i = 0; i < 4; ++i) {
    const double* a = c[i];
    const double* b = c[(i + 1) % 4];
    const double* d = c[(i + 2) % 4];
    const double cross = (b[0] - a[0]) * (d[1] - b[1]) - (b[1] - a[1]) * (d[0] - b[0]);
    if (!std::isfinite(cross) || std::fabs(cross) < 1e-6) return false;
    const int s = cross > 0 ? 1 : -1;
    if (sign && s != sign) return false;
    sign = s;
  }
  return true;
}

int WarpPageQuad(const unsigned char* data, int width, int height, int depth, const double corners[4][2],
                 unsigned char*& out, int& outWidth, int& outHeight) {
  if (!data || width < 1 || height < 1 || !PictureDepth(depth) || !corners || !ConvexQuad(corners)) return 0;
  // Corners counter-clockwise (x right, memory rows up), starting at the
  // one lying furthest towards the first row and column from the middle.
  double q[4][2];
  const bool clockwise = [&] {
    const double cross = (corners[1][0] - corners[0][0]) * (corners[2][1] - corners[1][1]) -
                         (corners[1][1] - corners[0][1]) * (corners[2][0] - corners[1][0]);
    return cross < 0;
  }();
  for (int i = 0; i < 4; ++i) {
    const int from = clockwise ? (4 - i) % 4 : i;
    q[i][0] = corners[from][0];
    q[i][1] = corners[from][1];
  }
  const double mx = (q[0][0] + q[1][0] + q[2][0] + q[3][0]) / 4, my = (q[0][1] + q[1][1] + q[2][1] + q[3][1]) / 4;
  int start = 0;
  double best = -1e300;
  for (int i = 0; i < 4; ++i) {
    const double toward = -(q[i][0] - mx) - (q[i][1] - my);
    if (toward > best) {
      best = toward;
      start = i;
    }
  }
  const double* p0 = q[start];
  const double* p1 = q[(start + 1) % 4];
  const double* p2 = q[(start + 2) % 4];
  const double* p3 = q[(start + 3) % 4];
  const auto length = [](const double* a, const double* b) { return std::hypot(b[0] - a[0], b[1] - a[1]); };
  const double w = 0.5 * (length(p0, p1) + length(p3, p2));
  const double hgt = 0.5 * (length(p0, p3) + length(p1, p2));
  if (!(w >= 1 && hgt >= 1) || w > 1e5 || hgt > 1e5) return 0;
  const int ow = static_cast<int>(w + 0.5), oh = static_cast<int>(hgt + 0.5);

  // The projective map of the unit square onto p0 (0,0), p1 (1,0), p2 (1,1),
  // p3 (0,1): x = (a u + b v + c) / (g u + h v + 1), y likewise with d e f.
  const double sx = p0[0] - p1[0] + p2[0] - p3[0], sy = p0[1] - p1[1] + p2[1] - p3[1];
  double a, b, c = p0[0], d, e, f = p0[1], g = 0, hh = 0;
  if (std::fabs(sx) < 1e-12 && std::fabs(sy) < 1e-12) {
    a = p1[0] - p0[0];
    b = p2[0] - p1[0];
    d = p1[1] - p0[1];
    e = p2[1] - p1[1];
  } else {
    const double dx1 = p1[0] - p2[0], dx2 = p3[0] - p2[0], dy1 = p1[1] - p2[1], dy2 = p3[1] - p2[1];
    const double den = dx1 * dy2 - dx2 * dy1;
    if (std::fabs(den) < 1e-12) return 0;
    g = (sx * dy2 - dx2 * sy) / den;
    hh = (dx1 * sy - sx * dy1) / den;
    a = p1[0] - p0[0] + g * p1[0];
    b = p3[0] - p0[0] + hh * p3[0];
    d = p1[1] - p0[1] + g * p1[1];
    e = p3[1] - p0[1] + hh * p3[1];
  }

  DelMem(out);
  out = nullptr;
  const std::size_t outStride = PictureStride(ow, depth);
  unsigned char* result = NewMem(outStride * static_cast<std::size_t>(oh));
  if (!result) return 0;
  std::memset(result, 0, outStride * static_cast<std::size_t>(oh));
  const int n = depth / 8;
  const std::size_t srcStride = PictureStride(width, depth);
  for (int r = 0; r < oh; ++r) {
    const double v = (r + 0.5) / oh;
    unsigned char* row = result + outStride * static_cast<std::size_t>(r);
    for (int col = 0; col < ow; ++col) {
      const double u = (col + 0.5) / ow;
      const double den = g * u + hh * v + 1;
      const double x = (a * u + b * v + c) / den, y = (d * u + e * v + f) / den;
      if (!(x >= 0 && x <= width - 1 && y >= 0 && y <= height - 1)) continue;
      SampleBilinearAny(data, srcStride, width, height, n, x, y, row + static_cast<std::size_t>(col) * n);
    }
  }
  out = result;
  outWidth = ow;
  outHeight = oh;
  return 1;
}
