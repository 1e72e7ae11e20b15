#include "imaging/page_analysis.h"

#include "contracts/fundara/memory.h"
#include "imaging/pixel_common.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace pixalto {
namespace {

constexpr double kPi = 3.141592653589793;

// An outline encloses at least this many times the pixels it covers, and at
// least 1/kOutlineShare of the plane; a block of text, a line of text or a
// pen encloses about what it covers.
constexpr unsigned long long kOutlineRing = 4;
constexpr unsigned long long kOutlineShare = 50;
// Fewer edge pixels than this carry no text lines worth measuring.
constexpr std::size_t kMinTextPoints = 200;
// At most this many edge pixels are projected per direction: every n-th
// pixel in row order keeps the lines' profile.
constexpr std::size_t kMaxProjected = 8000;

std::vector<EdgePoint> EdgePointsOf(const std::vector<unsigned char>& plane, int width, int height,
                                    std::size_t limit) {
  std::size_t count = 0;
  for (unsigned char v : plane) count += v > 125;
  const std::size_t every = count > limit ? (count + limit - 1) / limit : 1;
  std::vector<EdgePoint> points;
  points.reserve(count / every + 1);
  std::size_t seen = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (plane[static_cast<std::size_t>(y) * width + x] > 125 && seen++ % every == 0)
        points.push_back({static_cast<float>(x), static_cast<float>(y)});
  return points;
}

double Score(const std::vector<EdgePoint>& points, int diagonal, double degrees, std::vector<double>& bins) {
  double total = 0;
  for (int dir = 0; dir < 2; ++dir) {
    const double t = (degrees + 90.0 * dir) * kPi / 180.0, c = std::cos(t), s = std::sin(t);
    bins.assign(static_cast<std::size_t>(2 * diagonal + 2), 0.0);
    for (const EdgePoint& p : points) {
      const double r = c * p.x + s * p.y + diagonal;
      const int i = static_cast<int>(std::floor(r));
      if (i < 0 || i + 1 >= static_cast<int>(bins.size())) continue;
      const double f = r - i;
      bins[i] += 1 - f;
      bins[i + 1] += f;
    }
    for (double b : bins) total += b * b;
  }
  return total;
}

// A straight line x * c + y * s = d with (c, s) of unit length.
struct Line {
  double c, s, d;
};

// The straight line through points by least squares across it (the major
// axis of their spread), its normal turned towards (c, s).
bool FitLine(const std::vector<EdgePoint>& points, double c, double s, Line& out) {
  if (points.size() < 2) return false;
  double mx = 0, my = 0;
  for (const EdgePoint& p : points) {
    mx += p.x;
    my += p.y;
  }
  mx /= points.size();
  my /= points.size();
  double sxx = 0, sxy = 0, syy = 0;
  for (const EdgePoint& p : points) {
    const double dx = p.x - mx, dy = p.y - my;
    sxx += dx * dx;
    sxy += dx * dy;
    syy += dy * dy;
  }
  const double phi = 0.5 * std::atan2(2 * sxy, sxx - syy);  // along the points
  double nc = -std::sin(phi), ns = std::cos(phi);
  if (nc * c + ns * s < 0) {
    nc = -nc;
    ns = -ns;
  }
  out = {nc, ns, nc * mx + ns * my};
  return true;
}

// One side of the outline: the line at normal (c, s) through the outermost
// edge pixels (`greatest`: the side with the greatest distance), refined by
// fitting the ridge of edge pixels along it. The ends of the side, where
// the neighbouring sides bend in, take no part.
Line FitSide(const std::vector<EdgePoint>& points, double c, double s, bool greatest) {
  double lo = 1e30, hi = -1e30, alo = 1e30, ahi = -1e30;
  for (const EdgePoint& p : points) {
    const double r = c * p.x + s * p.y;
    const double a = -s * p.x + c * p.y;
    lo = std::min(lo, r);
    hi = std::max(hi, r);
    alo = std::min(alo, a);
    ahi = std::max(ahi, a);
  }
  const double extreme = greatest ? hi : lo;
  // The ridge of a Sobel edge after the 3 x 3 mean lies about 1.5 pixels
  // inside its outermost pixels.
  Line line{c, s, extreme + (greatest ? -1.5 : 1.5)};
  const double margin = 0.12 * (ahi - alo);
  const double a0 = alo + margin, a1 = ahi - margin;
  constexpr double kBand = 6.0, kNear = 2.0;
  constexpr std::size_t kFew = 10;
  std::vector<EdgePoint> chosen;
  for (const EdgePoint& p : points) {
    const double r = c * p.x + s * p.y, a = -s * p.x + c * p.y;
    const double depth = greatest ? extreme - r : r - extreme;
    if (depth <= kBand && a >= a0 && a <= a1) chosen.push_back(p);
  }
  Line fitted;
  if (chosen.size() < kFew || !FitLine(chosen, c, s, fitted)) return line;
  for (int pass = 0; pass < 2; ++pass) {
    chosen.clear();
    for (const EdgePoint& p : points) {
      const double a = -s * p.x + c * p.y;
      if (a >= a0 && a <= a1 && std::fabs(fitted.c * p.x + fitted.s * p.y - fitted.d) <= kNear)
        chosen.push_back(p);
    }
    Line next;
    if (chosen.size() < kFew || !FitLine(chosen, c, s, next)) break;
    // A fit that swings away from the side's direction has caught
    // something else (a neighbouring side, a stray edge).
    if (next.c * c + next.s * s < std::cos(8 * kPi / 180)) break;
    fitted = next;
  }
  return fitted;
}

bool Intersect(const Line& a, const Line& b, double p[2]) {
  const double det = a.c * b.s - b.c * a.s;
  if (std::fabs(det) < 1e-9) return false;
  p[0] = (a.d * b.s - b.d * a.s) / det;
  p[1] = (a.c * b.d - b.c * a.d) / det;
  return true;
}

// The corners of the outline whose sides 0 and 2 have the normal angle
// `degrees` and sides 1 and 3 the angle `perpendicular`.
void FitCorners(const std::vector<EdgePoint>& points, double degrees, double perpendicular,
                double corners[4][2]) {
  const double t0 = degrees * kPi / 180, t1 = perpendicular * kPi / 180;
  const double c0 = std::cos(t0), s0 = std::sin(t0), c1 = std::cos(t1), s1 = std::sin(t1);
  const Line side[4] = {FitSide(points, c0, s0, true), FitSide(points, c1, s1, true),
                        FitSide(points, c0, s0, false), FitSide(points, c1, s1, false)};
  for (int i = 0; i < 4; ++i)
    if (!Intersect(side[i], side[(i + 1) % 4], corners[i])) corners[i][0] = corners[i][1] = 0;
}

}  // namespace

double FoldSkew(double a) {
  if (a >= 45) return 90 - a;
  if (a > -45) return -a;
  return -90 - a;
}

double SharpestDirection(const std::vector<EdgePoint>& points, int diagonal, double lo, double hi,
                         double step) {
  std::vector<double> bins, scores;
  const int n = std::max(1, static_cast<int>(std::floor((hi - lo) / step + 1e-9)) + 1);
  scores.reserve(n);
  int best = 0;
  for (int i = 0; i < n; ++i) {
    scores.push_back(Score(points, diagonal, lo + i * step, bins));
    if (scores[i] > scores[best]) best = i;
  }
  double offset = 0;
  if (best > 0 && best + 1 < n) {
    const double a = scores[best - 1], b = scores[best], c = scores[best + 1];
    const double curve = a - 2 * b + c;
    if (curve < 0) offset = std::clamp(0.5 * (a - c) / curve, -0.5, 0.5);
  }
  // To a hundredth of a degree: a level page comes out exactly level.
  return std::round((lo + (best + offset) * step) * 100) / 100;
}

bool AnalysePage(CDataHandler& h, const unsigned char* data, int width, int height, int depth,
                 const tagRGBQUAD* palette, PageAnalysis& out) {
  if (!data || width < 1 || height < 1 || !PictureDepth(depth)) return false;
  // Pictures under 320 pixels are not enlarged: that adds nothing, and the
  // nearest-pixel scaling leaves its last half pixel black, a false edge.
  float k = static_cast<float>(std::max(width, height)) / 320.0f;
  if (k < 1) k = 1;
  out.k = k;
  unsigned char* small = nullptr;
  int sw = 0, sh = 0;
  if (!h.ZoomData(data, width, height, depth, 1.0f / k, small, sw, sh)) return false;
  bool ok = sw > 0 && sh > 0;
  std::vector<unsigned char> all;
  try {
    if (ok) out.plane.assign(static_cast<std::size_t>(sw) * static_cast<std::size_t>(sh), 0);
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  if (ok) ok = h.ColourToGreyScale(small, sw, sh, depth, palette, out.plane.data(), 0) != 0;
  DelMem(small);
  if (!ok) return false;
  out.width = sw;
  out.height = sh;
  unsigned long long enclosed = 0, pixels = 0;
  try {
    if (!h.EdgeDetectionSobelEx(out.plane.data(), sw, sh) || !h.MedianFilter(out.plane.data(), sw, sh))
      return false;
    all = out.plane;
    if (!h.RegionAnalysisByArea(out.plane.data(), sw, sh, &enclosed, &pixels)) return false;
    if (!h.HoughTrans(out.plane.data(), sw, sh, out.main) ||
        !h.SearchLine(out.plane.data(), sw, sh, out.main, out.lines) ||
        !h.SearchRect(out.plane.data(), sw, sh, out.lines, out.segments))
      return false;
    const int diagonal = static_cast<int>(std::sqrt(static_cast<double>(sw) * sw + static_cast<double>(sh) * sh)) + 1;
    const unsigned long long area = static_cast<unsigned long long>(sw) * static_cast<unsigned long long>(sh);
    out.box[0] = sw;
    out.box[1] = sh;
    out.box[2] = out.box[3] = -1;
    for (int y = 0; y < sh; ++y)
      for (int x = 0; x < sw; ++x)
        if (out.plane[static_cast<std::size_t>(y) * sw + x] > 125) {
          out.box[0] = std::min(out.box[0], x);
          out.box[1] = std::min(out.box[1], y);
          out.box[2] = std::max(out.box[2], x);
          out.box[3] = std::max(out.box[3], y);
        }
    out.outline = pixels > 0 && enclosed >= kOutlineRing * pixels && enclosed * kOutlineShare >= area;
    out.source = SkewSource::None;
    out.skewDegrees = 0;
    if (out.outline) {
      // The Hough step is good to its 2-degree spacing; the sides line up
      // sharpest within a step either way of it.
      const std::vector<EdgePoint> points = EdgePointsOf(out.plane, sw, sh, static_cast<std::size_t>(-1));
      const double coarse = 2.0 * out.main.angleStep;
      const double fine = SharpestDirection(points, diagonal, coarse - 2, coarse + 2, 0.1);
      out.skewDegrees = FoldSkew(fine - 90);
      out.source = SkewSource::Outline;
      // Lines 1 and 3 lie at step (s + 45) mod 90: 90 degrees on, or 90
      // back when that passes 180.
      const double perpendicular = out.main.angleStep < 45 ? fine + 90 : fine - 90;
      FitCorners(points, fine, perpendicular, out.corners);
    } else {
      const std::vector<EdgePoint> points = EdgePointsOf(all, sw, sh, kMaxProjected);
      if (points.size() >= kMinTextPoints) {
        const double coarse = SharpestDirection(points, diagonal, 0, 89.5, 0.5);
        const double fine = SharpestDirection(points, diagonal, coarse - 1, coarse + 1, 0.1);
        out.skewDegrees = FoldSkew(fine - 90);
        out.source = SkewSource::TextLines;
      }
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace pixalto
