// page-eval: scores the page detectors on generated desk photographs.
//
//   page-eval [--count N] [--blank N] [--fill N] [--seed S] [--sizes small|all]
//             [--check] [--write DIR]
//
// N printed pages (text with a picture and a table, two text columns, a
// large picture, a table, in turn; every third with a pen or a cable on the
// desk), then the blank pages and the pages filling the view. For each
// photograph: the skew error of CheckRotatePictureEx (degrees, against the
// page's known turn, modulo quarter turns); whether each page corner inside
// the picture has an end of a green-frame side within 2 % of the picture
// diagonal (and, apart, a fitted corner); and whether GetBlackSideRectEx
// holds the page's visible bounding box with at most 10 % extra area.
// Prints the shares and the skew error's median and 95th percentile for
// every kind of page and for all together. With --check the exit status is
// 1 when all together fall below: corners 95 %, border 95 % (or the shares
// given with --need-corners and --need-border), skew median 0.5 degrees and
// 95th percentile 1.5 degrees. With --write, the
// photographs (JPEG) and their truth (JSON) go into DIR.

#include "tests/imaging/pages/page_photos.h"

#include "imaging/data_handler.h"
#include "imaging/page_frame.h"
#include "imaging/picture_codec.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.141592653589793;

double Percentile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t i = static_cast<std::size_t>(std::ceil(q * v.size())) - (q > 0 ? 1 : 0);
  return v[std::min(i, v.size() - 1)];
}

struct Tally {
  std::vector<double> skew;
  int pictures = 0, corners = 0, fitted = 0, border = 0, textLines = 0;
  void Add(const Tally& o) {
    skew.insert(skew.end(), o.skew.begin(), o.skew.end());
    pictures += o.pictures;
    corners += o.corners;
    fitted += o.fitted;
    border += o.border;
    textLines += o.textLines;
  }
  double Share(int n) const { return pictures ? 100.0 * n / pictures : 0; }
  void Print(const char* name) const {
    std::printf("| %-24s | %4d | %6.2f | %6.2f | %6.1f | %6.1f | %6.1f | %4d |\n", name, pictures,
                Percentile(skew, 0.5), Percentile(skew, 0.95), Share(corners), Share(fitted), Share(border),
                textLines);
  }
};

// Every truth corner inside the picture lies within `tol` of one of the
// points.
bool CornersFound(const PagePhoto& photo, const std::vector<std::pair<double, double>>& points, double tol) {
  for (const auto& c : photo.corners) {
    if (c[0] < 0 || c[0] > photo.width || c[1] < 0 || c[1] > photo.height) continue;
    double best = 1e30;
    for (const auto& [x, y] : points) best = std::min(best, std::hypot(x - c[0], y - c[1]));
    if (best > tol) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 12, blanks = 0, fills = 0;
  std::uint32_t seed = 1;
  bool allSizes = false, check = false;
  double needCorners = 95, needBorder = 95;
  std::string dir;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--count" && hasValue) count = std::atoi(argv[++i]);
    else if (a == "--blank" && hasValue) blanks = std::atoi(argv[++i]);
    else if (a == "--fill" && hasValue) fills = std::atoi(argv[++i]);
    else if (a == "--seed" && hasValue) seed = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    else if (a == "--sizes" && hasValue) allSizes = std::string(argv[++i]) == "all";
    else if (a == "--write" && hasValue) dir = argv[++i];
    else if (a == "--check") check = true;
    else if (a == "--need-corners" && hasValue) needCorners = std::atof(argv[++i]);
    else if (a == "--need-border" && hasValue) needBorder = std::atof(argv[++i]);
    else {
      std::fprintf(stderr,
                   "usage: page-eval [--count N] [--blank N] [--fill N] [--seed S] [--sizes small|all] [--check] "
                   "[--need-corners P] [--need-border P] [--write DIR]\n");
      return 1;
    }
  }
  if (count < 0 || blanks < 0 || fills < 0 || count + blanks + fills < 1) {
    std::fprintf(stderr, "page-eval: the counts must not be negative, and one at least 1\n");
    return 1;
  }
  const int small[][2] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 720}};
  const int all[][2] = {{640, 480}, {1024, 768}, {1280, 720}, {1600, 1200},
                        {1920, 1080}, {2592, 1944}, {3264, 2448}};
  const PageKind printed[] = {PageKind::Mixed, PageKind::Columns, PageKind::Picture, PageKind::Table};
  CDataHandler handler;
  Tally kinds[kPageKinds], clutter;
  int cut = 0;
  const int total = count + blanks + fills;
  for (int n = 0; n < total; ++n) {
    const int* size = allSizes ? all[n % 7] : small[n % 4];
    const PageKind kind = n < count ? printed[n % 4] : n < count + blanks ? PageKind::Blank : PageKind::FillsView;
    const PagePhoto photo =
        MakePagePhoto(seed + static_cast<std::uint32_t>(n), size[0], size[1], kind, n < count && n % 3 == 2);
    const int W = photo.width, H = photo.height;
    cut += photo.cutByBorder;
    if (!dir.empty()) {
      const std::string base = dir + "/page" + std::to_string(n);
      std::string error;
      CBitmapPicture pic;
      if (!pic.Allocate(W, H, 24)) return 1;
      std::memcpy(pic.data, photo.data.data(), photo.data.size());
      if (!WritePictureBuffer(base + ".jpg", pic, {}, &error))
        std::fprintf(stderr, "page-eval: %s.jpg: %s\n", base.c_str(), error.c_str());
      std::ofstream(base + ".json") << PagePhotoTruth(photo) << '\n';
    }
    Tally one;
    one.pictures = 1;
    // Skew: straightening turns by -turn; compare modulo 90 degrees.
    const float skew = handler.CheckRotatePictureEx(photo.data.data(), W, H, 24, nullptr);
    double err = std::fmod(std::fabs(skew * 180 / kPi + photo.turnDegrees), 90.0);
    one.skew.push_back(std::min(err, 90 - err));
    // Corners: every visible truth corner near an end of a green-frame
    // side, and apart from that near a fitted corner.
    PageFrame frame;
    const double tol = 0.02 * std::sqrt(double(W) * W + double(H) * H);
    if (FindPageFrame(photo.data.data(), W, H, frame)) {
      std::vector<std::pair<double, double>> ends, fitted;
      for (const _SEGMENT& s : frame.segments) {
        // Side rows count from the top; the truth from the bottom.
        if (s.x1 >= 0) ends.emplace_back(s.x1, H - s.y1);
        if (s.x2 >= 0) ends.emplace_back(s.x2, H - s.y2);
      }
      for (const auto& c : frame.corners) fitted.emplace_back(c[0], c[1]);
      one.corners = CornersFound(photo, ends, tol);
      one.fitted = CornersFound(photo, fitted, tol);
      one.textLines = frame.skewSource == PageSkewSource::TextLines;
    }
    // Border rectangle against the page's bounding box clipped to the picture.
    double l = W, t = H, r = 0, b = 0;
    for (const auto& c : photo.corners) {
      l = std::min(l, c[0]); r = std::max(r, c[0]);
      t = std::min(t, c[1]); b = std::max(b, c[1]);
    }
    l = std::max(l, 0.0); t = std::max(t, 0.0); r = std::min(r, double(W)); b = std::min(b, double(H));
    const CRect rect = handler.GetBlackSideRectEx(photo.data.data(), W, H, 24, nullptr, CRect(0, 0, W, H));
    const bool holds = rect.left <= l + 1 && rect.top <= t + 1 && rect.right >= r - 1 && rect.bottom >= b - 1;
    const double extra = double(rect.Width()) * rect.Height() / ((r - l) * (b - t)) - 1;
    one.border = holds && extra <= 0.10;
    kinds[static_cast<int>(kind)].Add(one);
    if (photo.clutter) clutter.Add(one);
  }
  std::printf("pictures %d (cut by the border %d), sizes %s\n", total, cut, allSizes ? "all" : "small");
  std::printf("| %-24s | %4s | %6s | %6s | %6s | %6s | %6s | %4s |\n", "page", "n", "skew50", "skew95", "corner",
              "fitted", "border", "text");
  std::printf("|%s|------|--------|--------|--------|--------|--------|------|\n", std::string(26, '-').c_str());
  Tally together;
  for (int k = 0; k < kPageKinds; ++k) {
    if (!kinds[k].pictures) continue;
    kinds[k].Print(PageKindName(static_cast<PageKind>(k)));
    together.Add(kinds[k]);
  }
  if (clutter.pictures) clutter.Print("(with a pen or cable)");
  together.Print("all");
  std::printf("skew in degrees (median, 95th percentile); corners, fitted corners and border in %% of the\n"
              "pictures; text: skew taken from the text lines\n");
  if (!check) return 0;
  bool ok = true;
  const auto require = [&ok](bool pass, const char* what) {
    if (!pass) {
      std::printf("FAILED: %s\n", what);
      ok = false;
    }
  };
  require(together.Share(together.corners) >= needCorners, "corners within tolerance in enough pictures");
  require(together.Share(together.border) >= needBorder, "border rectangle holds the page in enough pictures");
  require(Percentile(together.skew, 0.5) <= 0.5, "skew error median at most 0.5 degrees");
  require(Percentile(together.skew, 0.95) <= 1.5, "skew error 95th percentile at most 1.5 degrees");
  return ok ? 0 : 1;
}
