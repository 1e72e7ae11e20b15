#pragma once
// The page analysis behind the border rectangle, the skew angle and the
// page-frame search (internal to the image library).
//
// One shrink for all of them: the picture scaled (nearest pixel, ZoomData)
// to about 320 pixels on its long side, grey, Sobel edges, 3 x 3 mean. Of
// the edge regions the one enclosing the largest area is kept: a page
// outline encloses the page, while a block of text lines (which the mean
// fuses into one region on a turned page) encloses only itself. The kept
// region is a page outline when it encloses much more than it covers.
//
// With an outline the skew is the Hough direction refined to a tenth of a
// degree by how sharply the outline's sides line up, and each side is
// fitted by a straight line for the four corners. Without one (a page
// filling the view) the skew comes from the text lines: the direction in
// which the edge pixels' projection is sharpest.

#include "imaging/data_handler.h"
#include "imaging/page_frame.h"

#include <vector>

namespace pixalto {

using SkewSource = PageSkewSource;

struct PageAnalysis {
  float k = 1;                        // picture pixels per small-plane pixel
  int width = 0, height = 0;          // the small plane
  std::vector<unsigned char> plane;   // edges of the kept region
  bool outline = false;               // the kept region outlines a page
  _STRAIGHTLINE main{};               // Hough, on the small plane
  _STRAIGHTLINE lines[4]{};           // SearchLine, on the small plane
  _SEGMENT segments[4]{};             // SearchRect, on the small plane
  int box[4] = {};                    // the kept region's least x, y, greatest x, y
  // The turn in degrees (-45..45) that straightens the page, as
  // CheckRotatePictureEx reports it; 0 with SkewSource::None.
  double skewDegrees = 0;
  SkewSource source = SkewSource::None;
  // Corners A, B, C, D (lines 0/1, 1/2, 2/3, 3/0) of the fitted sides on
  // the small plane (column, memory row); valid with an outline.
  double corners[4][2] = {};
};

// False for bad arguments (null data, sizes below 1, depths other than 8,
// 24 and 32), a picture too small to shrink, or want of memory.
bool AnalysePage(CDataHandler& h, const unsigned char* data, int width, int height, int depth,
                 const tagRGBQUAD* palette, PageAnalysis& out);

// Folds a direction a (degrees, -135..135) into the straightening turn
// -45..45, as the skew angle does for a = 2s - 90.
double FoldSkew(double a);

// A turn of `degrees` that lines the sides of the edge pixels up best,
// searched from lo to hi in steps of `step` degrees and refined between
// the neighbouring steps by a parabola. The score of a direction is the
// sum of squared counts of the pixels' distances (1-pixel bins, shared
// linearly between neighbours) for the direction and its perpendicular.
struct EdgePoint {
  float x, y;
};
double SharpestDirection(const std::vector<EdgePoint>& points, int diagonal, double lo, double hi,
                         double step);

}  // namespace pixalto
