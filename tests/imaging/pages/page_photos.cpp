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

// Page content at page coordinates pu, pv (0..1 across the page, pv down
// the page): blue, green, red into `bgr`.
void PageColour(double pu, double pv, double pw, double ph, double bgr[3]) {
  bgr[0] = 228; bgr[1] = 236; bgr[2] = 240;  // paper
  if (pu < 0.08 || pu > 0.92) return;
  if (pv > 0.06 && pv < 0.09 && pu > 0.25 && pu < 0.75) {  // heading
    if (Hash(static_cast<int>(pu * 60), 7) > 0.25) { bgr[0] = 40; bgr[1] = 40; bgr[2] = 150; }
    return;
  }
  if (pv > 0.12 && pv < 0.46) {  // text lines of words
    const double line = (pv - 0.12) / 0.024;
    const int li = static_cast<int>(line);
    if (line - li < 0.45) {
      const int word = static_cast<int>(pu * 22 + Hash(li, 1) * 3);
      const double along = pu * 22 + Hash(li, 1) * 3 - word;
      if (along < 0.8 && Hash(li, word) > 0.1 && pu < 0.92 - 0.3 * Hash(li, 99) * (li % 5 == 4))
        if (Hash(static_cast<int>(pu * pw / 3), li * 31 + static_cast<int>(pv * ph / 3)) > 0.35) {
          bgr[0] = bgr[1] = bgr[2] = 45;
        }
    }
    return;
  }
  if (pv > 0.5 && pv < 0.7 && pu > 0.15 && pu < 0.85) {  // a photograph: sky over grass
    const double t = (pv - 0.5) / 0.2;
    const double hill = 0.55 + 0.12 * std::sin(pu * 9);
    if (t < hill) { bgr[0] = 220 - 60 * t; bgr[1] = 170 - 20 * t; bgr[2] = 110; }
    else { bgr[0] = 40; bgr[1] = 140 - 40 * (t - hill); bgr[2] = 50; }
    return;
  }
  if (pv > 0.75 && pv < 0.9 && pu > 0.12 && pu < 0.88) {  // a table
    const double cu = (pu - 0.12) / 0.19, cv = (pv - 0.75) / 0.0375;
    const double eu = std::min(cu - std::floor(cu), std::ceil(cu) - cu) * 0.19 * pw;
    const double ev = std::min(cv - std::floor(cv), std::ceil(cv) - cv) * 0.0375 * ph;
    if (eu < 1.2 || ev < 1.2) { bgr[0] = bgr[1] = bgr[2] = 60; }
  }
}

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
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(0, 1);
  PagePhoto p;
  p.width = width;
  p.height = height;
  p.turnDegrees = -30 + 60 * unit(rng);
  p.desk = static_cast<int>(unit(rng) * 3) % 3;
  p.jpegQuality = 55 + static_cast<int>(unit(rng) * 40);
  const double scale = std::max(width, height) / 640.0;
  // An A4 page whose long side is 50..85 % of the picture's short side.
  const double ph = (0.5 + 0.35 * unit(rng)) * std::min(width, height);
  const double pw = ph / std::sqrt(2.0);
  // Shifted by up to a tenth of the picture, one page in four by up to a
  // quarter: those often leave it.
  const double reach = unit(rng) < 0.25 ? 0.25 : 0.1;
  const double cx = width * (0.5 + reach * (2 * unit(rng) - 1));
  const double cy = height * (0.5 + reach * (2 * unit(rng) - 1));
  const double a = p.turnDegrees * kPi / 180, c = std::cos(a), s = std::sin(a);
  const double half[4][2] = {{-pw / 2, -ph / 2}, {pw / 2, -ph / 2}, {pw / 2, ph / 2}, {-pw / 2, ph / 2}};
  for (int i = 0; i < 4; ++i) {
    p.corners[i][0] = cx + c * half[i][0] - s * half[i][1];
    p.corners[i][1] = cy + s * half[i][0] + c * half[i][1];
    if (p.corners[i][0] < 0 || p.corners[i][0] > width || p.corners[i][1] < 0 ||
        p.corners[i][1] > height)
      p.cutByBorder = true;
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
        if (content) {
          PageColour(u / pw + 0.5, v / ph + 0.5, pw, ph, bgr);
        } else {
          bgr[0] = 228; bgr[1] = 236; bgr[2] = 240;
        }
      } else {
        DeskColour(p.desk, x, y, scale, bgr);
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
      << p.jpegQuality << ", \"cut_by_border\": " << (p.cutByBorder ? "true" : "false") << "}";
  return out.str();
}
