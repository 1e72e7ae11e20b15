// page-eval: scores the page detectors on generated desk photographs.
//
//   page-eval [--count N] [--seed S] [--sizes small|all] [--blank] [--write DIR]
//
// For each photograph: the skew error of CheckRotatePictureEx (degrees,
// against the page's known turn, modulo quarter turns), whether each page
// corner inside the picture has a point of the page-frame outline within
// 2 % of the picture diagonal, and whether GetBlackSideRectEx holds the
// page's visible bounding box with less than 5 % extra area. Prints the
// median and 95th percentile of the skew error and the two shares. With
// --blank, the pages carry no print. With --write, the photographs (JPEG)
// and their truth (JSON) go into DIR.

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

}  // namespace

int main(int argc, char** argv) {
  int count = 12;
  std::uint32_t seed = 1;
  bool allSizes = false, blank = false;
  std::string dir;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--count" && hasValue) count = std::atoi(argv[++i]);
    else if (a == "--seed" && hasValue) seed = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    else if (a == "--sizes" && hasValue) allSizes = std::string(argv[++i]) == "all";
    else if (a == "--write" && hasValue) dir = argv[++i];
    else if (a == "--blank") blank = true;
    else {
      std::fprintf(stderr, "usage: page-eval [--count N] [--seed S] [--sizes small|all] [--blank] [--write DIR]\n");
      return 1;
    }
  }
  if (count < 1) {
    std::fprintf(stderr, "page-eval: --count must be at least 1\n");
    return 1;
  }
  const int small[][2] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 720}};
  const int all[][2] = {{640, 480}, {1024, 768}, {1280, 720}, {1600, 1200},
                        {1920, 1080}, {2592, 1944}, {3264, 2448}};
  CDataHandler handler;
  std::vector<double> skewErrors;
  int cornersOk = 0, blackOk = 0, cut = 0;
  for (int n = 0; n < count; ++n) {
    const int* size = allSizes ? all[n % 7] : small[n % 4];
    const PagePhoto photo = MakePagePhoto(seed + static_cast<std::uint32_t>(n), size[0], size[1], !blank);
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
    // Skew: straightening turns by -turn; compare modulo 90 degrees.
    const float skew = handler.CheckRotatePictureEx(photo.data.data(), W, H, 24, nullptr);
    double err = std::fmod(std::fabs(skew * 180 / kPi + photo.turnDegrees), 90.0);
    err = std::min(err, 90 - err);
    skewErrors.push_back(err);
    // Corners: every visible truth corner near a point of the outline.
    PageFrame frame;
    const double tol = 0.02 * std::sqrt(double(W) * W + double(H) * H);
    bool corners = FindPageFrame(photo.data.data(), W, H, frame);
    for (int i = 0; corners && i < 4; ++i) {
      const double tx = photo.corners[i][0], ty = photo.corners[i][1];
      if (tx < 0 || tx > W || ty < 0 || ty > H) continue;
      double best = 1e30;
      for (const _SEGMENT& s : frame.segments) {
        // Outline rows count from the top; the truth from the bottom.
        best = std::min(best, std::hypot(s.x1 - tx, (H - s.y1) - ty));
        best = std::min(best, std::hypot(s.x2 - tx, (H - s.y2) - ty));
      }
      corners = best <= tol;
    }
    cornersOk += corners;
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
    blackOk += holds && extra < 0.05;
  }
  std::printf("pictures %d (cut by the border %d)\n", count, cut);
  std::printf("skew error median %.2f deg, 95th percentile %.2f deg\n", Percentile(skewErrors, 0.5),
              Percentile(skewErrors, 0.95));
  std::printf("corners within 2%% of the diagonal: %.1f %%\n", 100.0 * cornersOk / count);
  std::printf("border rectangle holds the page with < 5%% extra: %.1f %%\n", 100.0 * blackOk / count);
  return 0;
}
