#include "contracts/camera/demo_camera.h"

#include "contracts/camera/pixel_convert.h"
#include "platform/sync.h"

#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Small reproducible generator (splitmix64).
class CRandom {
 public:
  explicit CRandom(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double Uniform(double lo, double hi) { return lo + (hi - lo) * static_cast<double>(Next() >> 11) / 9007199254740992.0; }
  int Int(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<std::uint64_t>(hi - lo + 1)); }

 private:
  std::uint64_t state_;
};

// A top-down BGR canvas with filled shapes.
struct CCanvas {
  int w, h;
  std::vector<std::uint8_t> px;
  CCanvas(int width, int height) : w(width), h(height), px(static_cast<std::size_t>(width) * height * 3) {}
  void Put(int x, int y, const std::array<int, 3>& c) {
    if (x < 0 || y < 0 || x >= w || y >= h) return;
    std::uint8_t* p = &px[(static_cast<std::size_t>(y) * w + x) * 3];
    p[0] = static_cast<std::uint8_t>(c[0]);
    p[1] = static_cast<std::uint8_t>(c[1]);
    p[2] = static_cast<std::uint8_t>(c[2]);
  }
  void Rect(double x0, double y0, double x1, double y1, const std::array<int, 3>& c) {
    const int ix0 = std::max(0, static_cast<int>(std::lround(x0))), iy0 = std::max(0, static_cast<int>(std::lround(y0)));
    const int ix1 = std::min(w, static_cast<int>(std::lround(x1))), iy1 = std::min(h, static_cast<int>(std::lround(y1)));
    for (int y = iy0; y < iy1; ++y)
      for (int x = ix0; x < ix1; ++x) Put(x, y, c);
  }
};

const std::array<int, 3> kInk{48, 42, 40};

// One letter-like mark of x-height `xh` at (x, baseline); returns its width.
double Glyph(CCanvas& c, CRandom& r, double x, double base, double xh, const std::array<int, 3>& ink) {
  const double t = std::max(1.0, xh * 0.16);
  const double gw = xh * r.Uniform(0.5, 0.75);
  const int kind = r.Int(0, 9);
  const double top = base - xh;
  switch (kind) {
    case 0:  // tall stem (l, t, d)
      c.Rect(x, base - xh * 1.5, x + t, base, ink);
      if (r.Int(0, 1)) c.Rect(x, top, x + gw * 0.7, top + t, ink);
      return gw * 0.7;
    case 1:  // descender (p, g)
      c.Rect(x, top, x + t, base + xh * 0.45, ink);
      c.Rect(x, top, x + gw, top + t, ink);
      c.Rect(x + gw - t, top, x + gw, base, ink);
      c.Rect(x, base - t, x + gw, base, ink);
      return gw;
    case 2:  // i
      c.Rect(x, top, x + t, base, ink);
      c.Rect(x, top - 2.2 * t, x + t, top - 1.0 * t, ink);
      return t * 1.5;
    case 3:  // e, c
    case 4:
      c.Rect(x, top, x + t, base, ink);
      c.Rect(x, top, x + gw, top + t, ink);
      c.Rect(x, base - t, x + gw, base, ink);
      if (kind == 3) c.Rect(x, base - xh * 0.55, x + gw, base - xh * 0.55 + t, ink);
      return gw;
    case 5:  // o
      c.Rect(x, top, x + t, base, ink);
      c.Rect(x + gw - t, top, x + gw, base, ink);
      c.Rect(x, top, x + gw, top + t, ink);
      c.Rect(x, base - t, x + gw, base, ink);
      return gw;
    default:  // n, m, h, u
      c.Rect(x, kind == 6 ? base - xh * 1.5 : top, x + t, base, ink);
      c.Rect(x, top, x + gw, top + t, ink);
      c.Rect(x + gw - t, top, x + gw, base, ink);
      return gw;
  }
}

// A line of words from x0 to at most x1; `fill` is how much of it is used.
void TextLine(CCanvas& c, CRandom& r, double x0, double x1, double base, double xh, double fill,
              const std::array<int, 3>& ink) {
  const double end = x0 + (x1 - x0) * fill;
  double x = x0;
  while (x < end) {
    const int letters = r.Int(2, 9);
    // Widest a letter can be, so that no word runs past the margin.
    if (x + letters * xh * 0.95 > x1) break;
    for (int i = 0; i < letters; ++i) x += Glyph(c, r, x, base, xh, ink) + xh * 0.18;
    x += xh * 0.55;
  }
}

// A landscape picture printed on the page.
void Picture(CCanvas& c, CRandom& r, double x0, double y0, double x1, double y1) {
  const int ix0 = static_cast<int>(x0), iy0 = static_cast<int>(y0), ix1 = static_cast<int>(x1), iy1 = static_cast<int>(y1);
  const double sunX = r.Uniform(0.15, 0.85), sunY = r.Uniform(0.15, 0.35), sunR = r.Uniform(0.06, 0.1);
  const double h1 = r.Uniform(0.45, 0.6), a1 = r.Uniform(0.05, 0.12), f1 = r.Uniform(4, 9), p1 = r.Uniform(0, 6);
  const double h2 = r.Uniform(0.65, 0.78), a2 = r.Uniform(0.04, 0.08), f2 = r.Uniform(6, 13), p2 = r.Uniform(0, 6);
  const int tint = r.Int(0, 2);
  const double w = std::max(1.0, x1 - x0), h = std::max(1.0, y1 - y0);
  for (int y = iy0; y < iy1; ++y)
    for (int x = ix0; x < ix1; ++x) {
      const double u = (x - x0) / w, v = (y - y0) / h;
      std::array<int, 3> col;
      const double du = (u - sunX) * w / h, dv = v - sunY;
      if (v > h2 + a2 * std::sin(u * f2 + p2)) {
        col = {40, static_cast<int>(110 + 40 * v), 60};
      } else if (v > h1 + a1 * std::sin(u * f1 + p1)) {
        col = {70 + 30 * tint, static_cast<int>(140 + 30 * u), 90};
      } else if (du * du + dv * dv < sunR * sunR) {
        col = {60, 210, 250};
      } else {
        col = {static_cast<int>(235 - 60 * v), static_cast<int>(190 - 50 * v), static_cast<int>(120 - 40 * v + 20 * tint)};
      }
      c.Put(x, y, col);
    }
  const double t = std::max(1.0, w * 0.006);
  c.Rect(x0, y0, x1, y0 + t, kInk);
  c.Rect(x0, y1 - t, x1, y1, kInk);
  c.Rect(x0, y0, x0 + t, y1, kInk);
  c.Rect(x1 - t, y0, x1, y1, kInk);
}

// The printed page at pw x ph pixels.
CCanvas RenderPage(std::uint32_t seed, int page, int pw, int ph) {
  CCanvas c(pw, ph);
  CRandom r((static_cast<std::uint64_t>(seed) << 20) ^ (static_cast<std::uint64_t>(page) * 7919 + 17));
  // Paper, a little brighter in the middle.
  for (int y = 0; y < ph; ++y)
    for (int x = 0; x < pw; ++x) {
      const double dx = (x - pw * 0.5) / pw, dy = (y - ph * 0.5) / ph;
      const int shade = static_cast<int>(8 * (dx * dx + dy * dy) * 4);
      c.Put(x, y, {232 - shade, 240 - shade, 246 - shade});
    }
  const double left = pw * 0.11, right = pw * 0.89, top = ph * 0.08, bottom = ph * 0.9;
  const double pitch = ph * 0.026, xh = ph * 0.0095;
  double y = top + ph * 0.03;
  // Title: bold and centred.
  {
    const double tw = (right - left) * r.Uniform(0.45, 0.7);
    TextLine(c, r, (pw - tw) / 2, (pw + tw) / 2, y, xh * 1.9, 1.0, {30, 30, 120});
    y += pitch * 2.2;
  }
  const int pictureAt = r.Int(2, 9);  // the picture comes after this many lines
  int line = 0;
  bool picture = false;
  while (y < bottom - pitch) {
    if (!picture && line == pictureAt) {
      const double ph2 = ph * r.Uniform(0.22, 0.3), pw2 = (right - left) * r.Uniform(0.6, 0.9);
      if (y + ph2 < bottom - pitch) {
        const double px = left + ((right - left) - pw2) * r.Uniform(0, 1);
        Picture(c, r, px, y, px + pw2, y + ph2);
        y += ph2 + pitch * 1.5;
      }
      picture = true;
      continue;
    }
    const bool lastOfParagraph = r.Int(0, 5) == 0;
    TextLine(c, r, left + (line == 0 ? 3 * xh : 0), right, y, xh, lastOfParagraph ? r.Uniform(0.2, 0.7) : 1.0, kInk);
    y += pitch * (lastOfParagraph ? 1.6 : 1.0);
    ++line;
  }
  // Page number.
  CRandom nr(page + 1);
  TextLine(c, nr, pw * 0.48, pw * 0.54, ph * 0.95, xh, 1.0, kInk);
  return c;
}

inline std::uint8_t Clamp8(int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// Desk colours (blue, green, red) of about the same lightness: wood, slate,
// green baize, red-brown, plum, grey.
constexpr double kDeskTints[kDemoCameraMax][3] = {{44, 56, 74}, {82, 58, 44}, {46, 72, 44},
                                                  {40, 44, 96}, {84, 44, 70}, {60, 60, 60}};

// Seven-segment digits: bit 0 top, 1 upper right, 2 lower right, 3 bottom,
// 4 lower left, 5 upper left, 6 middle.
constexpr std::uint8_t kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

}  // namespace

CDemoScene::CDemoScene(std::uint32_t seed, int turnPeriodMs, int turnMs, int deskTint, int deskNumber)
    : seed_(seed),
      period_(static_cast<std::uint32_t>(std::max(turnPeriodMs, 100))),
      turn_(static_cast<std::uint32_t>(std::clamp(turnMs, 1, std::max(turnPeriodMs, 100) - 1))),
      deskTint_(((deskTint % kDemoCameraMax) + kDemoCameraMax) % kDemoCameraMax),
      deskNumber_(deskNumber >= 1 && deskNumber <= 9 ? deskNumber : 0) {}

CDemoScene::CGeometry CDemoScene::Geometry(int page, int width, int height) const {
  CRandom base(seed_ * 2654435761u + 1);
  const double sign = base.Int(0, 1) ? 1 : -1;
  const double baseAngle = sign * base.Uniform(1.5, 3.5);
  CRandom r((static_cast<std::uint64_t>(seed_) << 32) ^ static_cast<std::uint64_t>(page % kPages));
  CGeometry g;
  g.ph = height * 0.84;
  g.pw = g.ph / 1.4142;
  if (g.pw > width * 0.9) {
    g.pw = width * 0.9;
    g.ph = g.pw * 1.4142;
  }
  g.cx = width * (0.5 + r.Uniform(-0.03, 0.03));
  g.cy = height * (0.5 + r.Uniform(-0.015, 0.015));
  g.angle = (baseAngle + r.Uniform(-0.6, 0.6)) * kPi / 180;
  return g;
}

void CDemoScene::PageCorners(int page, int width, int height, double corners[4][2]) const {
  const CGeometry g = Geometry(page, width, height);
  const double c = std::cos(g.angle), s = std::sin(g.angle);
  const double pts[4][2] = {{-g.pw / 2, -g.ph / 2}, {g.pw / 2, -g.ph / 2}, {g.pw / 2, g.ph / 2}, {-g.pw / 2, g.ph / 2}};
  for (int i = 0; i < 4; ++i) {
    corners[i][0] = g.cx + c * pts[i][0] - s * pts[i][1];
    corners[i][1] = g.cy + s * pts[i][0] + c * pts[i][1];
  }
}

void CDemoScene::Compose(CComposite& out) const {
  const int w = out.width, h = out.height;
  const CGeometry g = Geometry(out.page, w, h);
  const int pw = std::max(2, static_cast<int>(g.pw)), ph = std::max(2, static_cast<int>(g.ph));
  const CCanvas page = RenderPage(seed_, out.page % kPages, pw, ph);

  // Desk: dark wood, grain along the rows.
  CRandom r(seed_ ^ 0xDE5Cu);
  std::vector<float> rowTone(h), colTone(w);
  double a = 0, b = 0;
  for (int y = 0; y < h; ++y) {
    a = 0.97 * a + 0.03 * r.Uniform(-1, 1);
    rowTone[y] = static_cast<float>(std::sin(y * 0.9 * 480.0 / h + 12 * a) * 0.5 + a * 3);
  }
  for (int x = 0; x < w; ++x) {
    b = 0.995 * b + 0.005 * r.Uniform(-1, 1);
    colTone[x] = static_cast<float>(b * 20);
  }

  out.pixels.assign(static_cast<std::size_t>(w) * h * 3, 0);
  const double cs = std::cos(g.angle), sn = std::sin(g.angle);
  const double blur = h * 0.025, sx = h * 0.008, sy = h * 0.012;  // shadow softness and offset
  double corners[4][2];
  PageCorners(out.page, w, h, corners);
  out.top = h;
  out.bottom = 0;
  for (auto& c : corners) {
    out.top = std::min(out.top, std::max(0, static_cast<int>(std::floor(c[1]))));
    out.bottom = std::max(out.bottom, std::min(h, static_cast<int>(std::ceil(c[1])) + 1));
  }
  const double cx2 = w * 0.5, cy2 = h * 0.5, norm = 1.0 / (cx2 * cx2 + cy2 * cy2);
  const double* desk = kDeskTints[deskTint_];
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = &out.pixels[static_cast<std::size_t>(y) * w * 3];
    const double dy = y + 0.5 - g.cy;
    for (int x = 0; x < w; ++x) {
      const double dx = x + 0.5 - g.cx;
      // Page coordinates of this pixel (inverse rotation).
      const double u = cs * dx + sn * dy + g.pw / 2, v = -sn * dx + cs * dy + g.ph / 2;
      const double inside = std::min(std::min(u, g.pw - u), std::min(v, g.ph - v));
      // Desk with the page's shadow.
      const double su = cs * (dx - sx) + sn * (dy - sy) + g.pw / 2, sv = -sn * (dx - sx) + cs * (dy - sy) + g.ph / 2;
      const double out2 = std::max(std::max(-su, su - g.pw), std::max(-sv, sv - g.ph));
      const double shadow = out2 <= 0 ? 0.45 : 0.45 * std::max(0.0, 1.0 - out2 / blur);
      const double tone = 1.0 + 0.08 * rowTone[y] + 0.05 * colTone[x];
      double bgr[3] = {desk[0] * tone, desk[1] * tone, desk[2] * tone};
      for (double& c : bgr) c *= 1.0 - shadow;
      if (inside > -0.5) {
        const double cover = std::min(1.0, inside + 0.5);
        const double fu = std::clamp(u - 0.5, 0.0, pw - 1.0001), fv = std::clamp(v - 0.5, 0.0, ph - 1.0001);
        const int iu = static_cast<int>(fu), iv = static_cast<int>(fv);
        const double au = fu - iu, av = fv - iv;
        const std::uint8_t* p00 = &page.px[(static_cast<std::size_t>(iv) * pw + iu) * 3];
        const std::uint8_t* p01 = p00 + 3;
        const std::uint8_t* p10 = p00 + static_cast<std::size_t>(pw) * 3;
        const std::uint8_t* p11 = p10 + 3;
        for (int k = 0; k < 3; ++k) {
          const double top = p00[k] + (p01[k] - p00[k]) * au, bot = p10[k] + (p11[k] - p10[k]) * au;
          bgr[k] = bgr[k] * (1 - cover) + (top + (bot - top) * av) * cover;
        }
      }
      // Light falls off towards the corners, a little warm.
      const double ex = x - cx2, ey = y - cy2;
      const double light = 1.0 - 0.2 * (ex * ex + ey * ey) * norm;
      row[x * 3 + 0] = Clamp8(static_cast<int>(bgr[0] * light * 0.97 + 0.5));
      row[x * 3 + 1] = Clamp8(static_cast<int>(bgr[1] * light + 0.5));
      row[x * 3 + 2] = Clamp8(static_cast<int>(bgr[2] * light + 0.5));
    }
  }
  if (deskNumber_) PaintDeskNumber(out);
}

void CDemoScene::PaintDeskNumber(CComposite& out) const {
  // The same place on every page: left of where any page's left edge (centre
  // moved by up to 3 %, turned by up to 4.1 degrees) and its shadow can lie.
  const int w = out.width, h = out.height;
  const CGeometry g = Geometry(0, w, h);
  const double left = w * 0.04, right = w * 0.47 - 0.5 * (g.pw + g.ph * 0.072) - h * 0.03;
  const double dh = std::min(h * 0.34, (right - left) / 0.6), dw = dh * 0.6;
  if (dh < 10) return;  // no room on so small a picture
  const double x0 = left + (right - left - dw) / 2, y0 = (h - dh) / 2, t = dw * 0.2;
  const double mid = y0 + dh / 2;
  const double segment[7][4] = {{x0, y0, x0 + dw, y0 + t},
                                {x0 + dw - t, y0, x0 + dw, mid + t / 2},
                                {x0 + dw - t, mid - t / 2, x0 + dw, y0 + dh},
                                {x0, y0 + dh - t, x0 + dw, y0 + dh},
                                {x0, mid - t / 2, x0 + t, y0 + dh},
                                {x0, y0, x0 + t, mid + t / 2},
                                {x0, mid - t / 2, x0 + dw, mid + t / 2}};
  const std::uint8_t on = kSegments[deskNumber_];
  // Pale paint that lets the grain and the light show through.
  for (int y = static_cast<int>(y0); y < static_cast<int>(std::ceil(y0 + dh)) && y < h; ++y) {
    std::uint8_t* row = &out.pixels[static_cast<std::size_t>(y) * w * 3];
    for (int x = static_cast<int>(x0); x < static_cast<int>(std::ceil(x0 + dw)) && x < w; ++x) {
      const double px = x + 0.5, py = y + 0.5;
      bool inside = false;
      for (int k = 0; k < 7 && !inside; ++k)
        inside = (on >> k & 1) && px >= segment[k][0] && px < segment[k][2] && py >= segment[k][1] && py < segment[k][3];
      if (!inside) continue;
      for (int k = 0; k < 3; ++k) row[x * 3 + k] = static_cast<std::uint8_t>(row[x * 3 + k] + (190 - row[x * 3 + k]) * 55 / 100);
    }
  }
}

std::shared_ptr<const CDemoScene::CComposite> CDemoScene::Composite(int page, int width, int height) {
  {
    std::lock_guard lock(mutex_);
    for (auto it = cache_.begin(); it != cache_.end(); ++it)
      if ((*it)->page == page && (*it)->width == width && (*it)->height == height) {
        cache_.splice(cache_.begin(), cache_, it);
        return cache_.front();
      }
  }
  // Composed without the lock: a page being prepared in the background does
  // not hold up frames of the page on show.
  auto c = std::make_shared<CComposite>(CComposite{page, width, height, 0, 0, {}});
  Compose(*c);
  std::lock_guard lock(mutex_);
  cache_.push_front(c);
  // The old and the new page of a turn, and the page after them.
  while (cache_.size() > 3) cache_.pop_back();
  return c;
}

void CDemoScene::Render(std::uint32_t timeMs, int width, int height, std::vector<std::uint8_t>& out) {
  const int page = PageAt(timeMs);
  const std::size_t bytes = static_cast<std::size_t>(width) * height * 3;
  out.resize(bytes);
  if (!TurningAt(timeMs)) {
    std::memcpy(out.data(), Composite(page, width, height)->pixels.data(), bytes);
    return;
  }
  // A page turn: the lifted page sweeps from right to left over the old
  // page, its back bright at the fold, casting a shadow on the new page; a
  // hand holds its edge.
  const double s = static_cast<double>(timeMs % period_) / turn_;
  const auto next = Composite(page, width, height);
  const int top = next->top, bottom = next->bottom;
  std::memcpy(out.data(), next->pixels.data(), bytes);
  const auto old = Composite(page - 1, width, height);
  const int bx = static_cast<int>(width * (1.0 - s));
  const int band = static_cast<int>(width * 0.16 * std::sin(kPi * s)) + 1;
  const int shadowW = band / 2 + 1;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = &out[static_cast<std::size_t>(y) * width * 3];
    std::memcpy(row, &old->pixels[static_cast<std::size_t>(y) * width * 3], static_cast<std::size_t>(std::max(0, bx)) * 3);
    if (y < top || y >= bottom) continue;
    for (int x = std::max(0, bx); x < std::min(width, bx + band); ++x) {
      const double t = static_cast<double>(x - bx) / band;  // 0 at the fold
      const int v = static_cast<int>(235 - 70 * t);
      row[x * 3 + 0] = Clamp8(v - 12);
      row[x * 3 + 1] = Clamp8(v - 5);
      row[x * 3 + 2] = Clamp8(v);
    }
    for (int x = std::max(0, bx + band); x < std::min(width, bx + band + shadowW); ++x) {
      const double t = static_cast<double>(x - bx - band) / shadowW;
      for (int k = 0; k < 3; ++k) row[x * 3 + k] = static_cast<std::uint8_t>(row[x * 3 + k] * (0.55 + 0.45 * t));
    }
  }
  // The hand, an ellipse at the lifted edge near the bottom of the page.
  const double hx = bx + band, hy = bottom - (bottom - top) * 0.15, rx = width * 0.06, ry = height * 0.11;
  for (int y = std::max(0, static_cast<int>(hy - ry)); y < std::min(height, static_cast<int>(hy + ry) + 1); ++y) {
    std::uint8_t* row = &out[static_cast<std::size_t>(y) * width * 3];
    for (int x = std::max(0, static_cast<int>(hx - rx)); x < std::min(width, static_cast<int>(hx + rx) + 1); ++x) {
      const double ex = (x - hx) / rx, ey = (y - hy) / ry, d = ex * ex + ey * ey;
      if (d > 1) continue;
      const double shade = 1.0 - 0.35 * d;
      row[x * 3 + 0] = Clamp8(static_cast<int>(130 * shade));
      row[x * 3 + 1] = Clamp8(static_cast<int>(160 * shade));
      row[x * 3 + 2] = Clamp8(static_cast<int>(215 * shade));
    }
  }
}

void CDemoControls::Apply(std::uint8_t* pixels, int width, int height) const {
  // Exposure scales the light, contrast stretches around the middle grey,
  // brightness shifts: one table for all three channels.
  const double gain = autoExposure ? 1.0 : std::clamp(exposure / 156.0, 0.05, 4.0);
  const bool neutral = autoExposure || exposure == 156;
  std::array<std::uint8_t, 256> lut;
  for (int i = 0; i < 256; ++i)
    lut[i] = Clamp8(static_cast<int>(std::lround((i * gain - 128) * contrast / 32.0 + 128 + brightness * 2)));
  const std::size_t n = static_cast<std::size_t>(width) * height;
  if (!(neutral && brightness == 0 && contrast == 32))
    for (std::size_t i = 0; i < n * 3; ++i) pixels[i] = lut[pixels[i]];
  if (saturation != 64) {
    const int s = saturation * 4;  // 256 = unchanged
    for (std::size_t i = 0; i < n; ++i) {
      std::uint8_t* p = pixels + i * 3;
      const int grey = (p[0] * 29 + p[1] * 150 + p[2] * 77) >> 8;
      for (int k = 0; k < 3; ++k) p[k] = Clamp8(grey + (((p[k] - grey) * s) >> 8));
    }
  }
  if (sharpness != 3) {
    // Along each row: above 3 sharpens (unsharp mask), below 3 softens.
    const int k = (sharpness - 3) * 16;  // in 1/64
    std::vector<std::uint8_t> line(static_cast<std::size_t>(width) * 3);
    for (int y = 0; y < height; ++y) {
      std::uint8_t* row = pixels + static_cast<std::size_t>(y) * width * 3;
      std::memcpy(line.data(), row, line.size());
      for (int x = 1; x + 1 < width; ++x)
        for (int c = 0; c < 3; ++c) {
          const int centre = line[x * 3 + c];
          const int lap = 2 * centre - line[(x - 1) * 3 + c] - line[(x + 1) * 3 + c];
          row[x * 3 + c] = Clamp8(centre + (lap * k) / 128);
        }
    }
  }
}

void AddDemoNoise(std::uint8_t* pixels, std::size_t bytes, int amplitude, std::uint32_t seed, std::uint32_t timeMs) {
  if (amplitude <= 0) return;
  // One table of offsets per seed and amplitude, read from a place that
  // changes with every frame: cheap, and different from frame to frame.
  static thread_local std::vector<std::int8_t> table;
  static thread_local std::uint64_t tableKey = ~0ull;
  const std::uint64_t tableKey2 = (static_cast<std::uint64_t>(seed) << 8) | static_cast<std::uint64_t>(std::min(amplitude, 127));
  if (tableKey != tableKey2) {
    CRandom r(tableKey2 ^ 0x5EED);
    table.resize(65521);  // prime, so that rows do not line up
    for (auto& v : table) v = static_cast<std::int8_t>(r.Int(-std::min(amplitude, 127), std::min(amplitude, 127)));
    tableKey = tableKey2;
  }
  CRandom start(static_cast<std::uint64_t>(seed) * 1000003u + timeMs);
  std::size_t k = static_cast<std::size_t>(start.Next() % table.size());
  for (std::size_t i = 0; i < bytes; ++i) {
    pixels[i] = Clamp8(pixels[i] + table[k]);
    if (++k == table.size()) k = 0;
  }
}

CCameraDescription DemoCameraDescription(int camera) {
  CCameraDescription d;
  d.id = camera <= 0 ? std::string("demo-document-camera") : "demo-document-camera-" + std::to_string(camera + 1);
  d.name = "Demo document camera";
  d.node = "demo";
  const int sizes[][2] = {{640, 480},   {800, 600},   {1024, 768},  {1280, 720},  {1280, 960},
                          {1600, 1200}, {1920, 1080}, {2048, 1536}, {2592, 1944}, {3264, 2448}};
  CPixelFormat mjpg{FOURCC_MJPG, "Motion-JPEG", {}};
  CPixelFormat yuyv{FOURCC_YUYV, "YUYV 4:2:2", {}};
  for (const auto& s : sizes) {
    const long long px = 1LL * s[0] * s[1];
    mjpg.sizes.push_back({s[0], s[1], px <= 1920 * 1080 ? 30.0 : 15.0});
    yuyv.sizes.push_back({s[0], s[1], px <= 640 * 480 ? 30.0 : px <= 1280 * 720 ? 10.0 : 5.0});
  }
  NormaliseSizes(mjpg.sizes);
  NormaliseSizes(yuyv.sizes);
  d.formats = {mjpg, yuyv};
  d.defaultFourcc = FOURCC_MJPG;
  return d;
}

std::uint32_t DemoCameraSeed(std::uint32_t seed, int camera) {
  return camera <= 0 ? seed : seed + 7919u * static_cast<std::uint32_t>(camera);
}

int DemoCameraCount(const char* value, std::string& notice) {
  notice.clear();
  if (!value || !*value) return 0;
  errno = 0;
  char* end = nullptr;
  const long n = std::strtol(value, &end, 10);
  while (end && std::isspace(static_cast<unsigned char>(*end))) ++end;
  const std::string quoted = std::string("BREVIO_DEMO_CAMERA=") + value;
  if (end == value || *end) {
    notice = quoted + " is not a number of demo cameras (1 to " + std::to_string(kDemoCameraMax) +
             "); no demo camera is listed";
    return 0;
  }
  if (n == 0) return 0;
  if (n >= 1 && n <= kDemoCameraMax && errno == 0) return static_cast<int>(n);
  const int clamped = n < 1 ? 1 : kDemoCameraMax;
  notice = quoted + " is outside 1 to " + std::to_string(kDemoCameraMax) + "; " + std::to_string(clamped) +
           (clamped == 1 ? " demo camera is" : " demo cameras are") + " listed";
  return clamped;
}

CDemoCameraOptions DemoCameraOptionsFromEnvironment() {
  CDemoCameraOptions options;
  std::string notice;
  options.count = DemoCameraCount(std::getenv("BREVIO_DEMO_CAMERA"), notice);
  if (!notice.empty()) {
    // Every camera object asks again; the user is told once per value.
    static std::mutex mutex;
    static std::string told;
    std::lock_guard lock(mutex);
    if (told != notice) {
      std::fprintf(stderr, "brevio: %s\n", notice.c_str());
      told = notice;
    }
  }
  if (const char* seed = std::getenv("BREVIO_DEMO_SEED")) options.seed = static_cast<std::uint32_t>(std::strtoul(seed, nullptr, 10));
  if (const char* noise = std::getenv("BREVIO_DEMO_NOISE")) options.noise = std::atoi(noise);
  return options;
}

namespace {

// The demo cameras streaming in this process, by id: a camera streams to one
// device object at a time, as a V4L2 node does.
class CStreamingCameras {
 public:
  bool Claim(const std::string& id) {
    std::lock_guard lock(mutex_);
    return ids_.insert(id).second;
  }
  void Release(const std::string& id) {
    std::lock_guard lock(mutex_);
    ids_.erase(id);
  }

 private:
  std::mutex mutex_;
  std::set<std::string> ids_;
};

CStreamingCameras& StreamingCameras() {
  static CStreamingCameras cameras;
  return cameras;
}

class CDemoDevice : public ICameraDevice {
 public:
  CDemoDevice(const CDemoCameraOptions& o, int camera)
      : options_(o),
        description_(DemoCameraDescription(camera)),
        scene_(DemoCameraSeed(o.seed, camera), o.turnPeriodMs, o.turnMs, camera, o.count > 1 ? camera + 1 : 0),
        seed_(DemoCameraSeed(o.seed, camera)) {}
  ~CDemoDevice() override {
    Stop();
    if (jpeg_) tjDestroy(jpeg_);
  }
  const CCameraDescription& Description() const override { return description_; }

  int Start(std::uint32_t fourcc, int width, int height, double fps) override {
    const CPixelFormat* f = nullptr;
    for (const auto& pf : description_.formats)
      if (pf.fourcc == fourcc) f = &pf;
    if (!f) return 22;  // EINVAL
    const auto s = std::find_if(f->sizes.begin(), f->sizes.end(),
                                [&](const CFrameSize& fs) { return fs.width == width && fs.height == height; });
    if (s == f->sizes.end()) return 22;
    Stop();
    if (!StreamingCameras().Claim(description_.id)) return EBUSY;
    JoinPreparation();
    prepared_ = -1;
    fourcc_ = fourcc;
    width_ = width;
    height_ = height;
    const double rate = fps > 0 ? std::min(fps, s->maxFps) : s->maxFps;
    intervalMs_ = static_cast<std::uint32_t>(1000.0 / rate + 0.5);
    start_ = GetTickCount();
    due_ = 0;
    streaming_ = true;
    cacheKey_ = {};
    return 0;
  }

  EFrameWait WaitFrame(int timeoutMs, CRawFrame& frame) override {
    if (!streaming_) return EFrameWait::Gone;
    std::uint32_t t;
    if (options_.clock) {
      Sleep(2);  // made on demand, but never in a tight loop
      t = options_.clock();
    } else {
      const std::uint32_t now = GetTickCount() - start_;
      if (static_cast<std::int32_t>(now - due_) > static_cast<std::int32_t>(intervalMs_)) due_ = now;  // fell behind
      const std::int32_t wait = static_cast<std::int32_t>(due_ - now);
      if (wait > timeoutMs) {
        Sleep(static_cast<std::uint32_t>(std::max(timeoutMs, 0)));
        return EFrameWait::Timeout;
      }
      if (wait > 0) Sleep(static_cast<std::uint32_t>(wait));
      t = due_;
      due_ += intervalMs_;
    }

    CDemoControls controls;
    int generation;
    {
      std::lock_guard lock(mutex_);
      controls = controls_;
      generation = generation_;
    }
    // A page at rest with unchanged controls is the frame sent last time.
    const bool turning = scene_.TurningAt(t);
    const CKey key{scene_.PageAt(t), generation, true};
    if (turning || options_.noise > 0 || !(key == cacheKey_)) {
      scene_.Render(t, width_, height_, bgr_);
      controls.Apply(bgr_.data(), width_, height_);
      if (options_.noise > 0) AddDemoNoise(bgr_.data(), bgr_.size(), options_.noise, seed_, t);
      if (!Encode()) return EFrameWait::Timeout;
      cacheKey_ = turning ? CKey{} : key;
    }
    if (!turning && prepared_ != key.page + 1) {
      // While the page rests, the next one is laid out on another thread.
      JoinPreparation();
      prepared_ = key.page + 1;
      preparation_ = std::thread([this, page = prepared_, w = width_, h = height_] { scene_.Prepare(page, w, h); });
    }
    frame.data = encoded_.data();
    frame.size = encodedSize_;
    frame.fourcc = fourcc_;
    frame.width = width_;
    frame.height = height_;
    frame.bytesPerLine = fourcc_ == FOURCC_YUYV ? ((width_ + 1) & ~1) * 2 : 0;
    return EFrameWait::Frame;
  }

  void Stop() override {
    JoinPreparation();
    if (streaming_) StreamingCameras().Release(description_.id);
    streaming_ = false;
  }

  bool QueryControl(ECameraControl c, CControlInfo& info) override {
    switch (c) {
      case ECameraControl::Brightness: info = {-64, 64, 1, 0}; break;
      case ECameraControl::Contrast: info = {0, 64, 1, 32}; break;
      case ECameraControl::Saturation: info = {0, 128, 1, 64}; break;
      case ECameraControl::Sharpness: info = {0, 7, 1, 3}; break;
      case ECameraControl::Exposure: info = {1, 5000, 1, 156}; break;
      case ECameraControl::AutoExposure: info = {0, 1, 1, 1}; break;
    }
    return true;
  }
  bool GetControl(ECameraControl c, int& value) override {
    std::lock_guard lock(mutex_);
    value = *Field(c);
    return true;
  }
  bool SetControl(ECameraControl c, int value) override {
    CControlInfo info;
    QueryControl(c, info);
    std::lock_guard lock(mutex_);
    *Field(c) = std::clamp(value, info.minimum, info.maximum);
    ++generation_;
    return true;
  }

 private:
  struct CKey {
    int page = -1, generation = -1;
    bool valid = false;
    bool operator==(const CKey& o) const { return page == o.page && generation == o.generation && valid == o.valid; }
  };
  int* Field(ECameraControl c) {
    switch (c) {
      case ECameraControl::Brightness: return &controls_.brightness;
      case ECameraControl::Contrast: return &controls_.contrast;
      case ECameraControl::Saturation: return &controls_.saturation;
      case ECameraControl::Sharpness: return &controls_.sharpness;
      case ECameraControl::Exposure: return &controls_.exposure;
      case ECameraControl::AutoExposure: break;
    }
    return &controls_.autoExposure;
  }
  void JoinPreparation() {
    if (preparation_.joinable()) preparation_.join();
  }
  bool Encode() {
    if (fourcc_ == FOURCC_YUYV) {
      encodedSize_ = static_cast<std::size_t>((width_ + 1) & ~1) * 2 * height_;
      encoded_.resize(encodedSize_);
      BgrToYuyv(bgr_.data(), width_ * 3, width_, height_, encoded_.data());
      return true;
    }
    if (!jpeg_) jpeg_ = tjInitCompress();
    if (!jpeg_) return false;
    encoded_.resize(tjBufSize(width_, height_, TJSAMP_422));
    unsigned char* dst = encoded_.data();
    unsigned long size = static_cast<unsigned long>(encoded_.size());
    if (tjCompress2(jpeg_, bgr_.data(), width_, width_ * 3, height_, TJPF_BGR, &dst, &size, TJSAMP_422, 85,
                    TJFLAG_NOREALLOC) != 0)
      return false;
    encodedSize_ = size;
    return true;
  }

  CDemoCameraOptions options_;
  CCameraDescription description_;
  CDemoScene scene_;
  std::uint32_t seed_;
  std::mutex mutex_;
  CDemoControls controls_;
  int generation_ = 0;
  tjhandle jpeg_ = nullptr;
  bool streaming_ = false;
  std::uint32_t fourcc_ = 0;
  int width_ = 0, height_ = 0;
  std::uint32_t intervalMs_ = 33, start_ = 0, due_ = 0;
  std::vector<std::uint8_t> bgr_, encoded_;
  std::size_t encodedSize_ = 0;
  CKey cacheKey_;
  std::thread preparation_;
  int prepared_ = -1;
};

}  // namespace

int CDemoCameraProvider::Count() const { return std::clamp(options_.count, 1, kDemoCameraMax); }

std::vector<CCameraDescription> CDemoCameraProvider::Enumerate() {
  std::vector<CCameraDescription> cameras;
  for (int i = 0; i < Count(); ++i) cameras.push_back(DemoCameraDescription(i));
  std::sort(cameras.begin(), cameras.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
  return cameras;
}

std::unique_ptr<ICameraDevice> CDemoCameraProvider::Open(const std::string& id, int& error) {
  for (int i = 0; i < Count(); ++i)
    if (id == DemoCameraDescription(i).id) {
      error = 0;
      CDemoCameraOptions options = options_;
      options.count = Count();
      return std::make_unique<CDemoDevice>(options, i);
    }
  error = 2;
  return nullptr;
}
