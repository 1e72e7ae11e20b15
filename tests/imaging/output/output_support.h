#pragma once
// Helpers of the picture output tests: test pictures, files, outside commands.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QImage>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace output_test {

namespace fs = std::filesystem;

// A picture with many colours: smooth gradients and a little noise.
inline QImage ManyColours(int w, int h, unsigned seed = 7) {
  QImage image(w, h, QImage::Format_ARGB32);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      image.setPixel(x, y, qRgb((x * 255) / std::max(1, w - 1), (y * 255) / std::max(1, h - 1),
                                (128 + static_cast<int>(rng() % 9) - 4 + (x + y) % 64) & 255));
  return image;
}

// A picture with exactly `colours` colours in a random layout.
inline QImage FewColours(int w, int h, int colours, unsigned seed = 3) {
  QImage image(w, h, QImage::Format_ARGB32);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int c = static_cast<int>(rng() % static_cast<unsigned>(colours));
      image.setPixel(x, y, qRgb(c * 37 % 256, c * 91 % 256, c * 13 % 256));
    }
  return image;
}

inline std::vector<unsigned char> ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const fs::path& p, const std::vector<unsigned char>& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Names of the entries of a folder (not recursive).
inline std::set<std::string> Listing(const fs::path& dir) {
  std::set<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) names.insert(e.path().filename().string());
  return names;
}

struct CommandResult {
  int status = -1;
  std::string out;
};

// Runs a shell command; standard error goes to standard output.
inline CommandResult RunCommand(const std::string& command) {
  CommandResult r;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return r;
  char buf[512];
  while (std::fgets(buf, sizeof buf, pipe)) r.out += buf;
  const int raw = pclose(pipe);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return r;
}

// The text with every run of blanks made one space (tool listings align columns).
inline std::string Squeeze(const std::string& text) {
  std::string out;
  for (char c : text) {
    const bool blank = c == ' ' || c == '\t';
    if (blank && !out.empty() && out.back() == ' ') continue;
    out += blank ? ' ' : c;
  }
  return out;
}

inline std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

// Largest difference of any channel between two pictures of the same size.
inline int MaxDifference(const QImage& a, const QImage& b) {
  const QImage x = a.convertToFormat(QImage::Format_ARGB32), y = b.convertToFormat(QImage::Format_ARGB32);
  if (x.size() != y.size()) return 1000;
  int worst = 0;
  for (int r = 0; r < x.height(); ++r)
    for (int c = 0; c < x.width(); ++c) {
      const QRgb p = x.pixel(c, r), q = y.pixel(c, r);
      worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                        std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
    }
  return worst;
}

// Peak signal-to-noise ratio over the colour channels, in dB.
inline double Psnr(const QImage& a, const QImage& b) {
  double sum = 0;
  for (int r = 0; r < a.height(); ++r)
    for (int c = 0; c < a.width(); ++c) {
      const QRgb p = a.pixel(c, r), q = b.pixel(c, r);
      const double dr = qRed(p) - qRed(q), dg = qGreen(p) - qGreen(q), db = qBlue(p) - qBlue(q);
      sum += dr * dr + dg * dg + db * db;
    }
  const double mse = sum / (3.0 * a.width() * a.height());
  return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace output_test
