#pragma once
// Realistic photographs of a printed page on a desk, with their truth: a
// page of one of several kinds (text with a heading, a picture and a table;
// two text columns; a large picture; a table; blank paper; a page filling
// the whole view) on a plain, wood-like or cloth desk, filling 30..95 % of
// the picture's short side, turned by -30..30 degrees, shifted (sometimes
// partly out of the picture), under uneven light with the page's shadow,
// sometimes with a pen or a cable on the desk, with sensor noise and JPEG
// artefacts.

#include <cstdint>
#include <string>
#include <vector>

enum class PageKind { Mixed, Columns, Picture, Table, Blank, FillsView };
constexpr int kPageKinds = 6;
const char* PageKindName(PageKind kind);

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
  PageKind kind = PageKind::Mixed;
  int clutter = 0;  // 0 none, 1 a pen, 2 a cable on the desk
};

// One photograph from `seed`, width x height pixels; without content the
// page is blank paper.
PagePhoto MakePagePhoto(std::uint32_t seed, int width, int height, bool content = true);
// One photograph of a page of that kind; with `clutter` a pen or a cable
// lies on the desk (never touching the page) where there is room.
PagePhoto MakePagePhoto(std::uint32_t seed, int width, int height, PageKind kind, bool clutter);

// The truth as one JSON object.
std::string PagePhotoTruth(const PagePhoto& photo);
