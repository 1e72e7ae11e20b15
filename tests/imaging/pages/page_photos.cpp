#include "tests/imaging/pages/page_photos.h"

#include "imaging/bitmap_file.h"
#include "imaging/data_handler.h"
#include "imaging/picture_codec.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <sstream>

namespace {

constexpr double kPi = 3.141592653589793;

// A repeatable hash of two integers to 0..1.
double Hash(int a, int b) {
  std::uint32_t h = static_cast<std::uint32_t>(a) * 374761393u + static_cast<std::uint32_t>(b) * 668265263u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return ((h ^ (h >> 16)) & 0xffffff) / 16777216.0;
}

const double kPaper[3] = {228, 236, 240};

// Text lines of words between u0..u1 across and v0..v1 down the page, one
// line every `pitch` of the page's height; true where ink is.
bool Text(double pu, double pv, double u0, double u1, double v0, double v1, double pitch, double pw, double ph,
          int salt) {
  if (pu < u0 || pu > u1 || pv < v0 || pv > v1) return false;
  const double line = (pv - v0) / pitch;
  const int li = static_cast<int>(line) + 1000 * salt;
  if (line - std::floor(line) >= 0.45) return false;
  const int word = static_cast<int>(pu * 22 + Hash(li, 1) * 3);
  const double along = pu * 22 + Hash(li, 1) * 3 - word;
  // The last line of a paragraph ends early.
  if (along >= 0.8 || Hash(li, word) <= 0.1 || pu >= u1 - 0.3 * Hash(li, 99) * (li % 5 == 4)) return false;
  return Hash(static_cast<int>(pu * pw / 3), li * 31 + static_cast<int>(pv * ph / 3)) > 0.35;
}

// A photograph (sky over a green hill) filling u0..u1, v0..v1.
bool Photo(double pu, double pv, double u0, double u1, double v0, double v1, double bgr[3]) {
  if (pu < u0 || pu > u1 || pv < v0 || pv > v1) return false;
  const double t = (pv - v0) / (v1 - v0);
  const double hill = 0.55 + 0.12 * std::sin((pu - u0) / (u1 - u0) * 6.3);
  if (t < hill) { bgr[0] = 220 - 60 * t; bgr[1] = 170 - 20 * t; bgr[2] = 110; }
  else { bgr[0] = 40; bgr[1] = 140 - 40 * (t - hill); bgr[2] = 50; }
  return true;
}

// A ruled table of `columns` x `rows` cells over u0..u1, v0..v1; true where
// a rule is, `cellText` where a cell holds words.
bool Table(double pu, double pv, double u0, double u1, double v0, double v1, int columns, int rows, double pw,
           double ph, bool cellText) {
  if (pu < u0 || pu > u1 || pv < v0 || pv > v1) return false;
  const double cw = (u1 - u0) / columns, chh = (v1 - v0) / rows;
  const double cu = (pu - u0) / cw, cv = (pv - v0) / chh;
  const double eu = std::min(cu - std::floor(cu), std::ceil(cu) - cu) * cw * pw;
  const double ev = std::min(cv - std::floor(cv), std::ceil(cv) - cv) * chh * ph;
  if (eu < 1.2 || ev < 1.2) return true;
  if (!cellText) return false;
  const double iu = cu - std::floor(cu), iv = cv - std::floor(cv);
  const int cell = static_cast<int>(cu) * 97 + static_cast<int>(cv);
  return iu > 0.12 && iu < 0.12 + 0.7 * Hash(cell, 3) && iv > 0.3 && iv < 0.7 &&
         Hash(static_cast<int>(pu * pw / 3), static_cast<int>(pv * ph / 3)) > 0.4;
}

// Page content at page coordinates pu, pv (0..1 across the page, pv down
// the page): blue, green, red into `bgr`.
void PageColour(PageKind kind, double pu, double pv, double pw, double ph, double bgr[3]) {
  std::copy(kPaper, kPaper + 3, bgr);
  const auto ink = [bgr] { bgr[0] = bgr[1] = bgr[2] = 45; };
  switch (kind) {
    case PageKind::Mixed:
      if (pu < 0.08 || pu > 0.92) return;
      if (pv > 0.06 && pv < 0.09 && pu > 0.25 && pu < 0.75) {  // heading
        if (Hash(static_cast<int>(pu * 60), 7) > 0.25) { bgr[0] = 40; bgr[1] = 40; bgr[2] = 150; }
        return;
      }
      if (Text(pu, pv, 0.08, 0.92, 0.12, 0.46, 0.024, pw, ph, 0)) return ink();
      if (Photo(pu, pv, 0.15, 0.85, 0.5, 0.7, bgr)) return;
      if (Table(pu, pv, 0.12, 0.88, 0.75, 0.9, 4, 4, pw, ph, false)) { bgr[0] = bgr[1] = bgr[2] = 60; }
      return;
    case PageKind::Columns:
    case PageKind::FillsView:
      if (Text(pu, pv, 0.08, 0.47, 0.08, 0.92, 0.024, pw, ph, 1) ||
          Text(pu, pv, 0.53, 0.92, 0.08, 0.92, 0.024, pw, ph, 2))
        ink();
      return;
    case PageKind::Picture:
      if (Photo(pu, pv, 0.1, 0.9, 0.1, 0.62, bgr)) return;
      if (Text(pu, pv, 0.08, 0.92, 0.68, 0.92, 0.024, pw, ph, 3)) ink();
      return;
    case PageKind::Table:
      if (Table(pu, pv, 0.1, 0.9, 0.1, 0.9, 5, 16, pw, ph, true)) ink();
      return;
    case PageKind::Blank:
      return;
  }
}

// A pen (a short straight stroke) or a cable (a long wavy one from the
// picture's edge) on the desk, as a mask of width x height; false when no
// place keeps it clear of the page (`inPage` says whether a point is on
// the page or too near it).
template <class InPage>
bool DrawClutter(std::mt19937& rng, int kind, int width, int height, InPage inPage, std::vector<unsigned char>& mask) {
  std::uniform_real_distribution<double> unit(0, 1);
  const double shortSide = std::min(width, height);
  const double radius = (kind == 1 ? 0.008 : 0.005) * shortSide + 1;
  for (int attempt = 0; attempt < 40; ++attempt) {
    double x0, y0, dir;
    if (kind == 1) {
      x0 = width * unit(rng);
      y0 = height * unit(rng);
      dir = 2 * kPi * unit(rng);
    } else {  // from a random point of the picture's edge, inwards
      const int edge = static_cast<int>(unit(rng) * 4) % 4;
      x0 = edge == 0 ? 0 : edge == 1 ? width - 1 : width * unit(rng);
      y0 = edge == 2 ? 0 : edge == 3 ? height - 1 : height * unit(rng);
      dir = std::atan2(height / 2.0 - y0, width / 2.0 - x0) + (unit(rng) - 0.5) * 1.2;
    }
    const double length = (kind == 1 ? 0.15 + 0.15 * unit(rng) : 0.5 + 0.3 * unit(rng)) * shortSide;
    const double wave = kind == 1 ? 0 : (0.02 + 0.04 * unit(rng)) * shortSide;
    const double period = (0.2 + 0.2 * unit(rng)) * shortSide;
    std::vector<std::pair<double, double>> path;
    bool clear = true;
    for (double t = 0; t <= length && clear; t += 0.5) {
      const double off = wave * std::sin(2 * kPi * t / period);
      const double x = x0 + std::cos(dir) * t - std::sin(dir) * off;
      const double y = y0 + std::sin(dir) * t + std::cos(dir) * off;
      if (x < 0 || y < 0 || x >= width || y >= height) break;  // runs off the picture
      clear = !inPage(x, y);
      path.emplace_back(x, y);
    }
    if (!clear || path.size() < 20) continue;
    const int r = static_cast<int>(std::ceil(radius));
    for (const auto& [x, y] : path)
      for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx) {
          const int px = static_cast<int>(x) + dx, py = static_cast<int>(y) + dy;
          if (px < 0 || py < 0 || px >= width || py >= height || dx * dx + dy * dy > radius * radius) continue;
          mask[static_cast<std::size_t>(py) * width + px] = 1;
        }
    return true;
  }
  return false;
}

}  // namespace

const char* PageKindName(PageKind kind) {
  switch (kind) {
    case PageKind::Mixed: return "text, picture and table";
    case PageKind::Columns: return "two text columns";
    case PageKind::Picture: return "large picture";
    case PageKind::Table: return "table";
    case PageKind::Blank: return "blank";
    case PageKind::FillsView: return "fills the view";
  }
  return "?";
}

namespace {

void DeskColour(int desk, double x, double y, double scale, double bgr[3]) {
  switch (desk) {
    case 1: {  // wood: brown with wavy grain
      const double grain = 0.5 + 0.5 * std::sin(y / scale * 0.35 + 3 * std::sin(x / scale * 0.02));
      const double fine = Hash(static_cast<int>(y / scale * 2), 5) * 0.15;
      const double k = 0.75 + 0.25 * grain - fine;
      bgr[0] = 40 * k; bgr[1] = 75 * k; bgr[2] = 115 * k;
      break;
    }
    case 2: {  // cloth: a fine weave in dark blue-grey
      const double weave = std::sin(x / scale * 1.7) * std::sin(y / scale * 1.7);
      const double k = 0.85 + 0.15 * weave;
      bgr[0] = 95 * k; bgr[1] = 70 * k; bgr[2] = 60 * k;
      break;
    }
    default:
      bgr[0] = 70; bgr[1] = 78; bgr[2] = 85;
  }
}

}  // namespace

PagePhoto MakePagePhoto(std::uint32_t seed, int width, int height, bool content) {
  return MakePagePhoto(seed, width, height, content ? PageKind::Mixed : PageKind::Blank, false);
}

PagePhoto MakePagePhoto(std::uint32_t seed, int width, int height, PageKind kind, bool clutter) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(0, 1);
  PagePhoto p;
  p.width = width;
  p.height = height;
  p.kind = kind;
  p.turnDegrees = -30 + 60 * unit(rng);
  p.desk = static_cast<int>(unit(rng) * 3) % 3;
  p.jpegQuality = 55 + static_cast<int>(unit(rng) * 40);
  const double scale = std::max(width, height) / 640.0;
  double ph, pw, cx, cy;
  if (kind == PageKind::FillsView) {
    // A page seen close up: wider than the picture's diagonal, so that no
    // turn shows its edge.
    pw = (1.15 + 0.3 * unit(rng)) * std::hypot(width, height);
    ph = pw * std::sqrt(2.0);
    cx = width * (0.5 + 0.05 * (2 * unit(rng) - 1));
    cy = height * (0.5 + 0.05 * (2 * unit(rng) - 1));
  } else {
    // An A4 page whose long side is 30..95 % of the picture's short side.
    ph = (0.3 + 0.65 * unit(rng)) * std::min(width, height);
    pw = ph / std::sqrt(2.0);
    // Shifted by up to a tenth of the picture, one page in four by up to a
    // quarter: those often leave it.
    const double reach = unit(rng) < 0.25 ? 0.25 : 0.1;
    cx = width * (0.5 + reach * (2 * unit(rng) - 1));
    cy = height * (0.5 + reach * (2 * unit(rng) - 1));
  }
  const double a = p.turnDegrees * kPi / 180, c = std::cos(a), s = std::sin(a);
  const double half[4][2] = {{-pw / 2, -ph / 2}, {pw / 2, -ph / 2}, {pw / 2, ph / 2}, {-pw / 2, ph / 2}};
  for (int i = 0; i < 4; ++i) {
    p.corners[i][0] = cx + c * half[i][0] - s * half[i][1];
    p.corners[i][1] = cy + s * half[i][0] + c * half[i][1];
    if (p.corners[i][0] < 0 || p.corners[i][0] > width || p.corners[i][1] < 0 ||
        p.corners[i][1] > height)
      p.cutByBorder = true;
  }
  std::vector<unsigned char> mask;
  if (clutter && kind != PageKind::FillsView) {
    mask.assign(static_cast<std::size_t>(width) * height, 0);
    // Clear of the page and its shadow by a twentieth of the short side.
    const double margin = 0.05 * std::min(width, height) + 14 * scale;
    const auto near = [&](double x, double y) {
      const double dx = x - cx, dy = y - cy;
      return std::fabs(c * dx + s * dy) <= pw / 2 + margin && std::fabs(-s * dx + c * dy) <= ph / 2 + margin;
    };
    const int which = 1 + static_cast<int>(unit(rng) * 2) % 2;
    if (DrawClutter(rng, which, width, height, near, mask)) p.clutter = which;
    else mask.clear();
  }
  // Light: brighter towards a random point, darker towards the far corner.
  const double lx = width * unit(rng), ly = height * unit(rng);
  const double diag2 = static_cast<double>(width) * width + static_cast<double>(height) * height;
  const double shadowX = (4 + 8 * unit(rng)) * scale, shadowY = (4 + 8 * unit(rng)) * scale;
  std::normal_distribution<double> noise(0, 2 + 5 * unit(rng));
  const std::size_t stride = PictureStride(width, 24);
  p.data.assign(stride * static_cast<std::size_t>(height), 0);
  for (int y = 0; y < height; ++y) {
    unsigned char* row = p.data.data() + stride * static_cast<std::size_t>(y);
    for (int x = 0; x < width; ++x) {
      const double dx = x - cx, dy = y - cy;
      const double u = c * dx + s * dy, v = -s * dx + c * dy;
      double bgr[3];
      if (std::fabs(u) <= pw / 2 && std::fabs(v) <= ph / 2) {
        PageColour(kind, u / pw + 0.5, v / ph + 0.5, pw, ph, bgr);
      } else {
        DeskColour(p.desk, x, y, scale, bgr);
        if (!mask.empty() && mask[static_cast<std::size_t>(y) * width + x]) {
          bgr[0] = 30; bgr[1] = 22; bgr[2] = 20;  // a dark pen or cable
        }
        // The page's shadow falls on the desk beside it.
        const double sdx = dx - shadowX, sdy = dy - shadowY;
        const double su = c * sdx + s * sdy, sv = -s * sdx + c * sdy;
        if (std::fabs(su) <= pw / 2 && std::fabs(sv) <= ph / 2)
          for (double& ch : bgr) ch *= 0.6;
      }
      const double d2 = ((x - lx) * (x - lx) + (y - ly) * (y - ly)) / diag2;
      const double light = 1.08 - 0.45 * d2;
      const double n = noise(rng);
      for (int k = 0; k < 3; ++k)
        row[3 * x + k] = static_cast<unsigned char>(std::clamp(bgr[k] * light + n, 0.0, 255.0));
    }
  }
  // JPEG artefacts: a round trip through the encoder.
  PictureWriteOptions options;
  options.quality = p.jpegQuality;
  const std::vector<unsigned char> jpeg = EncodePictureBuffer(
      p.data.data(), width, height, 24, nullptr, PictureFormat::Jpeg, options, nullptr);
  CBitmapPicture decoded;
  CDataHandler handler;
  if (jpeg.empty() || !DecodePictureBuffer(jpeg.data(), jpeg.size(), decoded, nullptr) ||
      decoded.width != width || decoded.height != height ||
      !handler.GreyScaleToColour24(decoded.data, width, height, decoded.depth,
                                   decoded.hasPalette ? decoded.palette : nullptr, p.data.data())) {
    p.jpegQuality = 0;
  }
  return p;
}

std::string PagePhotoTruth(const PagePhoto& p) {
  std::ostringstream out;
  out << "{\"width\": " << p.width << ", \"height\": " << p.height << ", \"turn_degrees\": "
      << p.turnDegrees << ", \"corners\": [";
  for (int i = 0; i < 4; ++i)
    out << (i ? ", " : "") << "[" << p.corners[i][0] << ", " << p.corners[i][1] << "]";
  out << "], \"rows\": \"bottom row first\", \"desk\": " << p.desk << ", \"jpeg_quality\": "
      << p.jpegQuality << ", \"cut_by_border\": " << (p.cutByBorder ? "true" : "false") << ", \"kind\": \""
      << PageKindName(p.kind) << "\", \"clutter\": \"" << (p.clutter == 1 ? "pen" : p.clutter == 2 ? "cable" : "none")
      << "\"}";
  return out.str();
}
