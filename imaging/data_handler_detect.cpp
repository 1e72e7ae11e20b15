// Page detection: the Hough transform over an edge plane, the page's four
// bounding lines and outline, the black-border rectangle, the skew angle,
// the straightened page, the dark-region flood and the projection-based
// border detector.

#include "contracts/fundara/memory.h"
#include "imaging/data_handler.h"
#include "imaging/page_analysis.h"
#include "imaging/pixel_common.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

using namespace pixalto;

namespace {

constexpr int kSteps = 90;
constexpr double kPi = 3.141592653589793;

// cos and sin of every angle step (2 degrees apart), double precision.
struct AngleTable {
  double cosT[kSteps];
  double sinT[kSteps];
  AngleTable() {
    for (int s = 0; s < kSteps; ++s) {
      const double theta = 2.0 * s * kPi / 180.0;
      cosT[s] = std::cos(theta);
      sinT[s] = std::sin(theta);
    }
  }
};
const AngleTable& Angles() {
  static const AngleTable table;
  return table;
}

// Half away from zero of a single-precision value.
inline int RoundAway(float r) {
  return r > 0 ? static_cast<int>(r + 0.5) : static_cast<int>(r - 0.5);
}

// The pixel distance of (x, y) for angle step s: the two products in double
// precision, their sum in single precision, then rounded half away from zero.
inline int PixelDistance(int s, int x, int y) {
  const AngleTable& t = Angles();
  return RoundAway(static_cast<float>(t.cosT[s] * x + t.sinT[s] * y));
}

inline int Step(int s) { return ((s % kSteps) + kSteps) % kSteps; }

inline bool IsEdge(unsigned char v) { return v > 125; }

// trunc(sqrt(w^2 + h^2) in single precision + 0.5).
inline int DiagonalOf(int width, int height) {
  const float d = std::sqrt(static_cast<float>(static_cast<double>(width) * width +
                                               static_cast<double>(height) * height));
  return static_cast<int>(d + 0.5);
}

// Distance from the diagonals of a step; larger is nearer 0, 90 or 180 degrees.
inline float DiagonalGap(int s) { return std::fabs(std::fabs(s - 45.0f) - 22.5f); }

// Step differences that make two peaks a perpendicular or parallel pair.
inline bool Partners(int a, int b) {
  const float d = std::fabs(static_cast<float>(a - b));
  return std::fabs(d - 45.0f) < 2.0f || d < 2.0f;
}

// The accumulator is stored one angle step after another (rows[s] counts
// by distance index), so that each edge pixel's 90 votes are computed in
// one vectorisable loop. The peak search still visits cells in the order
// distance first, step second.
struct Accumulator {
  std::vector<std::int32_t> cells;
  int rows = 0;  // distance indices: 0..2D-1
  std::int32_t& At(int row, int step) {
    return cells[static_cast<std::size_t>(step) * rows + static_cast<std::size_t>(row)];
  }
};

// Peak search; returns false when no cell exceeds the threshold.
bool FindPeak(Accumulator& acc, int threshold, int& peakRow, int& peakStep) {
  bool found = false;
  std::int32_t best = 0;
  for (int r = 0; r < acc.rows; ++r) {
    for (int s = 0; s < kSteps; ++s) {
      const std::int32_t v = acc.At(r, s);
      if (v <= threshold || (found && v < best)) continue;
      if (!found || v > best || DiagonalGap(peakStep) < DiagonalGap(s)) {
        found = true;
        best = v;
        peakRow = r;
        peakStep = s;
      }
    }
  }
  return found;
}

void ClearPeak(Accumulator& acc, int peakRow, int peakStep) {
  for (int r = std::max(0, peakRow - 9); r <= std::min(acc.rows - 1, peakRow + 9); ++r)
    for (int s = std::max(0, peakStep - 1); s <= std::min(kSteps - 1, peakStep + 1); ++s)
      acc.At(r, s) = 0;
}

// Folds a = 2s - 90 degrees into -45..45 as the skew correction expects.
inline int FoldAngle(int a) {
  if (a >= 45) return 90 - a;
  if (a > -45) return -a;
  return -90 - a;
}

// Which corner a side is missing, which it has, and the line tested.
struct SideRule {
  int first, second;  // corner indices (A=0, B=1, C=2, D=3) at the side's ends
};
// Side i runs from corner kSides[i].first to kSides[i].second.
constexpr SideRule kSides[4] = {{3, 0}, {0, 1}, {1, 2}, {2, 3}};

struct Point {
  int x = -1, y = -1;
  bool Found() const { return x != -1 || y != -1; }
};

// The part of `area` that lies inside a width × height picture.
CRect ClipToPicture(CRect area, int width, int height) {
  area.left = std::max(area.left, 0);
  area.top = std::max(area.top, 0);
  area.right = std::min(area.right, width);
  area.bottom = std::min(area.bottom, height);
  return area;
}

}  // namespace

int CDataHandler::GetDistance(const _STRAIGHTLINE& line, int x, int y) {
  return PixelDistance(Step(line.angleStep), x, y);
}

int CDataHandler::HoughTrans(const unsigned char* plane, int width, int height,
                             _STRAIGHTLINE& line) {
  if (!plane || width < 1 || height < 1) return 0;
  const int D = DiagonalOf(width, height);
  Accumulator acc;
  acc.rows = 2 * D;
  try {
    acc.cells.assign(static_cast<std::size_t>(acc.rows) * kSteps, 0);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  const AngleTable& t = Angles();
  int minX = width, maxX = -1, minY = height, maxY = -1;
  int index[kSteps];
  for (int y = 0; y < height; ++y) {
    const unsigned char* row = plane + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) {
      if (!IsEdge(row[x])) continue;
      minX = std::min(minX, x);
      maxX = std::max(maxX, x);
      minY = std::min(minY, y);
      maxY = std::max(maxY, y);
          for (int s = 0; s < kSteps; ++s) {
        const float r = static_cast<float>(t.cosT[s] * x + t.sinT[s] * y);
        const int d = r > 0 ? static_cast<int>(r + 0.5) : static_cast<int>(r - 0.5);
        index[s] = d + D;
      }
      // |distance| < D for every pixel of the plane; checked all the same.
      for (int s = 0; s < kSteps; ++s)
        if (static_cast<unsigned>(index[s]) < static_cast<unsigned>(acc.rows)) ++acc.At(index[s], s);
    }
  }
  line = {0, 0, 0};
  if (maxX < 0) return 1;
  const int threshold = std::min(maxY - minY, maxX - minX) / 3;
  if (threshold < 1) return 1;

  _STRAIGHTLINE peaks[4] = {};
  for (int i = 0; i < 4; ++i) {
    int pr = 0, ps = 0;
    if (!FindPeak(acc, threshold, pr, ps)) continue;
    peaks[i] = {acc.At(pr, ps), pr - D, ps};
    if (i < 3) ClearPeak(acc, pr, ps);
  }
  const int s1 = peaks[0].angleStep, s2 = peaks[1].angleStep, s3 = peaks[2].angleStep,
            s4 = peaks[3].angleStep;
  if (Partners(s1, s2) || Partners(s1, s3) || Partners(s1, s4))
    line = peaks[0];
  else if (Partners(s2, s3) || Partners(s2, s4))
    line = peaks[1];
  else if (Partners(s3, s4))
    line = peaks[2];
  else
    line = peaks[0];
  return 1;
}

int CDataHandler::SearchLine(const unsigned char* plane, int width, int height,
                             const _STRAIGHTLINE& main, _STRAIGHTLINE lines[4]) {
  if (!plane || !lines || width < 1 || height < 1) return 0;
  const int D = DiagonalOf(width, height);
  std::vector<std::int32_t> histogram;
  try {
    histogram.assign(static_cast<std::size_t>(2 * D), 0);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  const int s = Step(main.angleStep);
  const int p = (s + 45) % kSteps;
  lines[0].distance = 0;
  lines[0].angleStep = s;
  lines[2].distance = D;
  lines[2].angleStep = s;
  lines[1].distance = 0;
  lines[1].angleStep = p;
  lines[3].distance = D;
  lines[3].angleStep = p;
  for (int pass = 0; pass < 2; ++pass) {
    const int step = pass == 0 ? s : p;
    std::fill(histogram.begin(), histogram.end(), 0);
    for (int y = 0; y < height; ++y) {
      const unsigned char* row = plane + static_cast<std::size_t>(y) * width;
      for (int x = 0; x < width; ++x) {
        if (!IsEdge(row[x])) continue;
        const int r = PixelDistance(step, x, y) + D;
        if (r >= 0 && r < 2 * D) ++histogram[r];
      }
    }
    int highest = -1, lowest = -1;
    for (int i = 0; i < 2 * D; ++i) {
      if (!histogram[i]) continue;
      if (lowest < 0) lowest = i;
      highest = i;
    }
    if (highest >= 0) {
      lines[pass].distance = highest - D;
      lines[pass + 2].distance = lowest - D;
    }
  }
  return 1;
}

int CDataHandler::SearchRect(const unsigned char* plane, int width, int height,
                             const _STRAIGHTLINE lines[4], _SEGMENT segments[4]) {
  if (!plane || !lines || !segments || width < 1 || height < 1) return 0;
  const int sa = Step(lines[0].angleStep), sb = Step(lines[1].angleStep);
  const int L[4] = {lines[0].distance, lines[1].distance, lines[2].distance, lines[3].distance};
  Point corner[4];      // A, B, C, D
  Point e1[4], e2[4];   // border crossings of each line
  for (int y = 0; y < height; ++y) {
    const bool borderRow = y == 0 || y == height - 1;
    for (int x = 0; x < width; ++x) {
      const int da = PixelDistance(sa, x, y);
      const int db = PixelDistance(sb, x, y);
      const bool on0 = std::abs(da - L[0]) <= 1, on2 = std::abs(da - L[2]) <= 1;
      const bool on1 = std::abs(db - L[1]) <= 1, on3 = std::abs(db - L[3]) <= 1;
      if (on0 && on1) corner[0] = {x, y};
      else if (on1 && on2) corner[1] = {x, y};
      else if (on2 && on3) corner[2] = {x, y};
      else if (on3 && on0) corner[3] = {x, y};
      if (!(borderRow || x == 0 || x == width - 1)) continue;
      for (int i = 0; i < 4; ++i) {
        const int d = (i % 2 == 0) ? da : db;
        if (d != L[i]) continue;
        if (!e1[i].Found()) {
          e1[i] = {x, y};
        } else if (!e2[i].Found() || (e1[i].x - e2[i].x < 10 && e1[i].y - e2[i].y < 10)) {
          e2[i] = {x, y};
        }
      }
    }
  }
  for (int i = 0; i < 4; ++i) {
    const int first = kSides[i].first, second = kSides[i].second;
    Point p1, p2;
    if (corner[first].Found() && corner[second].Found()) {
      p1 = corner[first];
      p2 = corner[second];
    } else if (!corner[first].Found() && !corner[second].Found()) {
      p1 = e1[i];
      p2 = e2[i];
    } else {
      // The other line through the found corner: corners are A = 0/1,
      // B = 1/2, C = 2/3, D = 3/0, so it is the corner's line that is not i.
      const int found = corner[first].Found() ? first : second;
      const int tested = (found == i) ? (found + 1) % 4 : found;
      const int testedStep = tested % 2 == 0 ? sa : sb;
      bool inside = false;
      if (e1[i].Found()) {
        const int d = PixelDistance(testedStep, e1[i].x, e1[i].y);
        inside = tested < 2 ? d < L[tested] : d > L[tested];
      }
      p1 = inside ? e1[i] : e2[i];
      p2 = corner[found];
    }
    segments[i] = {p1.x, p1.y, p2.x, p2.y};
  }
  return 1;
}

CRect CDataHandler::GetBlackSideRectEx(const unsigned char* data, int width, int height,
                                       int depth, const tagRGBQUAD* palette, CRect area) {
  const CRect empty(0, 0, 0, 0);
  if (!data || width <= 0 || height <= 0 || (depth != 24 && depth != 8)) return empty;
  area = ClipToPicture(area, width, height);
  if (area.IsRectEmpty()) return empty;
  const int aw = area.Width(), ah = area.Height();
  const std::size_t srcStride = PictureStride(width, depth);
  const std::size_t dstStride = PictureStride(aw, depth);
  const std::size_t bytes = static_cast<std::size_t>(depth / 8);
  std::vector<unsigned char> copy;
  try {
    copy.resize(dstStride * static_cast<std::size_t>(ah));
  } catch (const std::bad_alloc&) {
    return empty;
  }
  for (int r = 0; r < ah; ++r)
    std::memcpy(copy.data() + dstStride * r,
                data + srcStride * static_cast<std::size_t>(area.top + r) +
                    static_cast<std::size_t>(area.left) * bytes,
                static_cast<std::size_t>(aw) * bytes);
  PageAnalysis page;
  if (!AnalysePage(*this, copy.data(), aw, ah, depth, palette, page)) return empty;
  // Without a page outline the page fills the area: nothing to cut away.
  if (!page.outline) return CRect(0, 0, aw, ah);
  // The outline's points and the outline's own pixels: the corners that
  // SearchRect keeps may lie a pixel inside the page, and where the page
  // runs off the picture its crossings need not lie on the picture's edge.
  // Points that were not found (-1) take no part.
  int minX = page.box[0], minY = page.box[1], maxX = page.box[2], maxY = page.box[3];
  for (int i = 0; i < 4; ++i) {
    const _SEGMENT& s = page.segments[i];
    const int px[2] = {s.x1, s.x2}, py[2] = {s.y1, s.y2};
    for (int j = 0; j < 2; ++j) {
      if (px[j] == -1 && py[j] == -1) continue;
      minX = std::min(minX, px[j]);
      maxX = std::max(maxX, px[j]);
      minY = std::min(minY, py[j]);
      maxY = std::max(maxY, py[j]);
    }
  }
  // The 3 x 3 filters leave the plane's two outermost rows and columns
  // without edges: an outline reaching them runs on past the picture's edge.
  const int reach = 2;
  const float k = page.k;
  CRect result(minX <= reach ? 0 : static_cast<int>(minX * k + 0.5),
               minY <= reach ? 0 : static_cast<int>(minY * k + 0.5),
               maxX >= page.width - 1 - reach ? aw : static_cast<int>(maxX * k + 0.5),
               maxY >= page.height - 1 - reach ? ah : static_cast<int>(maxY * k + 0.5));
  result.left = std::clamp(result.left, 0, aw);
  result.right = std::clamp(result.right, 0, aw);
  result.top = std::clamp(result.top, 0, ah);
  result.bottom = std::clamp(result.bottom, 0, ah);
  return result;
}

float CDataHandler::CheckRotatePictureEx(const unsigned char* data, int width, int height,
                                         int depth, const tagRGBQUAD* palette) {
  if (!data || width <= 0 || height <= 0) return 0.0f;
  PageAnalysis page;
  if (!AnalysePage(*this, data, width, height, depth, palette, page)) return 0.0f;
  return static_cast<float>(page.skewDegrees * 3.141592653589793 / 180);
}

int CDataHandler::RotateGreenFrame(const unsigned char* data, int width, int height, int depth,
                                   const _STRAIGHTLINE lines[4], unsigned char*& out,
                                   int& outWidth, int& outHeight) {
  if (!data || !lines || width <= 0 || height <= 0 || !PictureDepth(depth)) return 0;
  const AngleTable& t = Angles();
  const int s0 = Step(lines[0].angleStep), s1 = Step(lines[1].angleStep);
  const int a = 2 * s0 - 90;
  const int R = FoldAngle(a);
  const int L0 = lines[0].distance, L1 = lines[1].distance, L2 = lines[2].distance,
            L3 = lines[3].distance;
  const auto rnd = [](double product) {
    const float v = static_cast<float>(product);
    return v > 0 ? v + 0.5f : v - 0.5f;
  };
  const auto near = [](int u, int v, float tt) {
    return static_cast<int>(std::min(std::fabs(u - tt), std::fabs(v - tt)));
  };
  int ow, oh, offX, offY;
  if (a >= 45) {
    ow = L0 - L2;
    oh = L1 - L3;
    offX = near(L0, L2, rnd(t.sinT[s0] * (height - 1)));
    offY = std::min(std::abs(L1), std::abs(L3));
  } else if (a >= 0) {
    ow = L1 - L3;
    oh = L0 - L2;
    offX = std::min(std::abs(L1), std::abs(L3));
    offY = near(L0, L2, rnd(t.cosT[s0] * (width - 1)));
  } else if (a > -45) {
    ow = L1 - L3;
    oh = L0 - L2;
    offX = near(L1, L3, rnd(t.sinT[s1] * (height - 1)));
    offY = std::min(std::abs(L0), std::abs(L2));
  } else {
    ow = L0 - L2;
    oh = L1 - L3;
    offX = std::min(std::abs(L0), std::abs(L2));
    offY = near(L1, L3, rnd(t.cosT[s1] * (width - 1)));
  }
  // A line set whose sides are not in order has no page to cut out.
  if (ow <= 0 || oh <= 0) return 0;

  const float rad = static_cast<float>(R * kPi / 180);
  const float s = static_cast<float>(std::sin(rad));
  const float c = static_cast<float>(std::cos(rad));
  const int W1 = width - 1, H1 = height - 1;
  const int canvasW =
      static_cast<int>(std::max(std::fabs(W1 * c + H1 * s), std::fabs(H1 * s - W1 * c)) + 1.5);
  const int canvasH =
      static_cast<int>(std::max(std::fabs(H1 * c - W1 * s), std::fabs(H1 * c + W1 * s)) + 1.5);

  DelMem(out);
  out = nullptr;
  const std::size_t outStride = PictureStride(ow, depth);
  unsigned char* result = NewMem(outStride * static_cast<std::size_t>(oh));
  if (!result) return 0;
  std::memset(result, 0, outStride * static_cast<std::size_t>(oh));
  outWidth = ow;
  outHeight = oh;

  const int n = depth / 8;
  const std::size_t srcStride = PictureStride(width, depth);
  const double bx = width * 0.5 - (canvasH * 0.5 * s + canvasW * 0.5 * c);
  const double by = (canvasW * 0.5 * s - canvasH * 0.5 * c) + height * 0.5;
  for (int r = 0; r < oh; ++r) {
    const int i = offY + r;
    unsigned char* row = result + outStride * static_cast<std::size_t>(r);
    for (int q = 0; q < ow; ++q) {
      const int j = offX + q;
      const double sx = static_cast<float>(c * j + s * i) + bx;
      const double sy = static_cast<float>(c * i - s * j) + by;
      if (sx < 0 || sx > width || sy < 0 || sy > height) continue;
      SampleBilinearAny(data, srcStride, width, height, n, sx, sy, row + static_cast<std::size_t>(q) * n);
    }
  }
  out = result;
  return 1;
}

int CDataHandler::GetPosition(const _STRAIGHTLINE lines[4], int a, int b, int& x, int& y) {
  if (!lines) return 0;
  const int L0 = lines[0].distance, L1 = lines[1].distance, L2 = lines[2].distance,
            L3 = lines[3].distance;
  if (L0 <= L2 || L1 <= L3 || a < 0 || a > L0 - L2 || b < 0 || b > L1 - L3) return 0;
  const AngleTable& t = Angles();
  const int s0 = Step(lines[0].angleStep), s1 = Step(lines[1].angleStep);
  const double c0 = t.cosT[s0], n0 = t.sinT[s0], c1 = t.cosT[s1], n1 = t.sinT[s1];
  const float det = static_cast<float>(c1 * n0 - c0 * n1);
  if (det == 0 || n0 == 0) return 0;
  const double X = (n0 * (b + L3) - n1 * (a + L2)) / det;
  const double Y = ((a + L2) - c0 * X) / n0;
  x = RoundAway(static_cast<float>(X));
  y = RoundAway(static_cast<float>(Y));
  return 1;
}

int CDataHandler::DrawStraightLine(unsigned char* plane, int width, int height,
                                   const _STRAIGHTLINE lines[4]) {
  if (!plane || !lines || width < 1 || height < 1) return 0;
  for (int y = 0; y < height; ++y) {
    unsigned char* row = plane + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x)
      for (int i = 0; i < 4; ++i)
        if (PixelDistance(Step(lines[i].angleStep), x, y) == lines[i].distance) {
          row[x] = 255;
          break;
        }
  }
  return 1;
}

unsigned long CDataHandler::DelBlackSide(unsigned char* plane, int width, int height, int row,
                                         int column) {
  // A seed outside the plane has no region (and must not be written).
  if (!plane || width < 1 || height <= 0 || row < 0 || row >= height || column < 0 ||
      column >= width)
    return 0;
  const std::size_t w = static_cast<std::size_t>(width);
  std::vector<std::size_t> stack;
  const std::size_t seed = static_cast<std::size_t>(row) * w + static_cast<std::size_t>(column);
  plane[seed] = 255;
  unsigned long set = 1;
  try {
    stack.push_back(seed);
    while (!stack.empty()) {
      const std::size_t at = stack.back();
      stack.pop_back();
      const std::size_t r = at / w, c = at % w;
      const auto visit = [&](std::size_t next) {
        if (plane[next] <= 124) {
          plane[next] = 255;
          ++set;
          stack.push_back(next);
        }
      };
      if (r > 0) visit(at - w);
      if (c > 0) visit(at - 1);
      if (r + 1 < static_cast<std::size_t>(height)) visit(at + w);
      if (c + 1 < w) visit(at + 1);
    }
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return set;
}

// ---- Projection-based detector ---------------------------------------------

int CDataHandler::ExpandRustCompare(const unsigned char* plane, int stride, int, int x, int y,
                                    int mode) {
  if (!plane) return 0;
  const std::size_t st = static_cast<std::size_t>(stride);
  const unsigned char* p = plane + st * static_cast<std::size_t>(y) + static_cast<std::size_t>(x);
  const unsigned char cross[5] = {p[0], p[-1], p[1], *(p - st), *(p + st)};
  for (unsigned char v : cross)
    if (mode == 0 ? v < 128 : v > 128) return 1;
  return 0;
}

int CDataHandler::GreyRust(unsigned char* plane, int width, int height, CRect area) {
  if (!plane || width < 1 || height < 1) return 0;
  const std::size_t stride = PictureStride(width, 8);
  std::vector<unsigned char> copy;
  try {
    copy.assign(plane, plane + stride * static_cast<std::size_t>(height));
  } catch (const std::bad_alloc&) {
    return 0;
  }
  area.left = std::max(area.left, 1);
  area.top = std::max(area.top, 1);
  area.right = std::min(area.right, width - 1);
  area.bottom = std::min(area.bottom, height - 1);
  for (int y = 0; y < height; ++y) {
    unsigned char* row = plane + stride * static_cast<std::size_t>(y);
    const bool rowInside = y >= area.top && y < area.bottom;
    for (int x = 0; x < width; ++x) {
      if (!rowInside || x < area.left || x >= area.right) {
        row[x] = 0;
        continue;
      }
      if (ExpandRustCompare(copy.data(), static_cast<int>(stride), height, x, y, 0)) row[x] = 0;
    }
  }
  return 1;
}

unsigned long CDataHandler::StatisticsWhiteSpots(const unsigned char* plane, int width,
                                                 int height, CRect area) {
  if (!plane || width < 1 || height < 1) return 0;
  const std::size_t stride = PictureStride(width, 8);
  area.left = std::max(area.left, 0);
  area.top = std::max(area.top, 0);
  area.right = std::min(area.right, width);
  area.bottom = std::min(area.bottom, height);
  unsigned long count = 0;
  for (int y = area.top; y < area.bottom; ++y) {
    const unsigned char* row = plane + stride * static_cast<std::size_t>(y);
    for (int x = area.left; x < area.right; ++x) count += row[x] > 128;
  }
  return count;
}

namespace {

// Bands of a projection sampled every 10 entries: one opens at a sample
// above 29 and closes at the next sample below 31, or 10 before the end.
std::vector<std::pair<int, int>> Bands(const std::vector<int>& counts) {
  std::vector<std::pair<int, int>> bands;
  const int n = static_cast<int>(counts.size());
  int open = -1;
  for (int i = 0; i < n; i += 10) {
    if (open < 0) {
      if (counts[i] > 29) open = i;
    } else if (counts[i] < 31) {
      bands.emplace_back(open, i);
      open = -1;
    }
  }
  if (open >= 0 && n - 10 > open) bands.emplace_back(open, n - 10);
  return bands;
}

}  // namespace

CRect CDataHandler::GetBlackSideRect(const unsigned char* data, int width, int height, int depth,
                                     const tagRGBQUAD* palette, CRect area) {
  const CRect empty(0, 0, 0, 0);
  if (!data || width <= 0 || height <= 0 || (depth != 24 && depth != 8)) return empty;
  area = ClipToPicture(area, width, height);
  if (area.IsRectEmpty()) return empty;
  const std::size_t stride = PictureStride(width, 8);
  std::vector<unsigned char> plane;
  std::vector<int> rowCounts, columnCounts;
  try {
    plane.assign(stride * static_cast<std::size_t>(height), 0);
    rowCounts.assign(static_cast<std::size_t>(area.Height()), 0);
    columnCounts.assign(static_cast<std::size_t>(area.Width()), 0);
  } catch (const std::bad_alloc&) {
    return empty;
  }
  if (!ColourToGreyScale(data, width, height, depth, palette, plane.data(), 1) ||
      !GreyRust(plane.data(), width, height, area) || !GreyRust(plane.data(), width, height, area))
    return empty;
  for (int y = area.top; y < area.bottom; ++y) {
    const unsigned char* row = plane.data() + stride * static_cast<std::size_t>(y);
    for (int x = area.left; x < area.right; ++x)
      if (row[x] > 128) {
        ++rowCounts[y - area.top];
        ++columnCounts[x - area.left];
      }
  }
  const auto rowBands = Bands(rowCounts);
  const auto columnBands = Bands(columnCounts);
  CRect best;
  unsigned long bestCount = 0;
  bool found = false;
  for (const auto& rb : rowBands)
    for (const auto& cb : columnBands) {
      const CRect cell(area.left + cb.first, area.top + rb.first, area.left + cb.second,
                       area.top + rb.second);
      const unsigned long count = StatisticsWhiteSpots(plane.data(), width, height, cell);
      if (!found || count > bestCount) {
        found = true;
        bestCount = count;
        best = cell;
      }
    }
  if (!found) return empty;
  best.InflateRect(10, 10);
  CRect result;
  if (!result.IntersectRect(best, area)) return empty;
  result.OffsetRect(-area.left, -area.top);
  return result;
}

float CDataHandler::CheckRotatePicture(const unsigned char* data, int width, int height,
                                       int depth, const tagRGBQUAD* palette) {
  if (!data) return 0.0f;
  CRect rect = GetBlackSideRect(data, width, height, depth, palette, CRect(0, 0, width, height));
  rect.DeflateRect(10, 10);
  if (rect.IsRectEmpty()) return 0.0f;
  const std::size_t stride = PictureStride(width, depth);
  const auto bright = [&](int x, int y) {
    const unsigned char* p = data + stride * static_cast<std::size_t>(y) +
                             static_cast<std::size_t>(x) * static_cast<std::size_t>(depth / 8);
    const int grey = depth == 8 ? p[0] : static_cast<int>(0.59 * p[1] + 0.11 * p[0] + 0.30 * p[2]);
    return grey >= 129;
  };
  int n1 = 0, n2 = 0, n3 = 0, n4 = 0;
  for (int x = rect.left; x < rect.right && !bright(x, rect.top); ++x) ++n1;
  for (int y = rect.top; y < rect.bottom && !bright(rect.left, y); ++y) ++n2;
  for (int x = rect.right - 1; x >= rect.left && !bright(x, rect.top); --x) ++n3;
  for (int y = rect.top; y < rect.bottom && !bright(rect.right - 1, y); ++y) ++n4;
  // Real quotients: whole-number division would make every small angle 0.
  double a1 = 0, a2 = 0;
  if (n1 && n2) a1 = n1 < n2 ? std::atan(static_cast<double>(n1) / n2) : -std::atan(static_cast<double>(n2) / n1);
  if (n3 && n4) a2 = n3 < n4 ? -std::atan(static_cast<double>(n3) / n4) : std::atan(static_cast<double>(n4) / n3);
  return static_cast<float>(-0.5 * (a1 + a2));
}
