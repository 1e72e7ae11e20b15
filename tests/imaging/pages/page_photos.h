#pragma once
// Realistic photographs of a printed page on a desk, with their truth: a
// page with text lines, a picture and a table on a plain, wood-like or
// cloth desk, turned by -30..30 degrees, shifted (sometimes partly out of
// the picture), under uneven light with the page's shadow, sensor noise
// and JPEG artefacts.

#include <cstdint>
#include <string>
#include <vector>

struct PagePhoto {
  std::vector<unsigned char> data;  // 24-bit, padded rows, bottom row first
  int width = 0;
  int height = 0;
  // Page corners (column, memory row), in order around the page.
  double corners[4][2] = {};
  // The page's turn in degrees, positive counter-clockwise in memory rows
  // (the sense of the library's rotations); straightening turns by -turn.
  double turnDegrees = 0;
  int desk = 0;         // 0 plain, 1 wood, 2 cloth
  int jpegQuality = 0;  // 0: no JPEG round trip
  bool cutByBorder = false;
};

// One photograph from `seed`, width x height pixels; without content the
// page is blank paper.
PagePhoto MakePagePhoto(std::uint32_t seed, int width, int height, bool content = true);

// The truth as one JSON object.
std::string PagePhotoTruth(const PagePhoto& photo);
