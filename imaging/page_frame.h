#pragma once
// The page-frame search the preview runs on each shown frame: the picture
// shrunk (nearest pixel) to about 320 pixels on its long side, grey, Sobel
// edges, 3 x 3 mean, the edge region enclosing the largest area, then the
// dominant line, the four page lines and the page outline, scaled back to
// the picture. The same shrink and region serve the border rectangle and
// the skew angle (GetBlackSideRectEx, CheckRotatePictureEx).

#include "imaging/data_handler.h"

// Where a skew angle came from: the page's outline, the text lines of a
// page without a visible outline, or nothing at all (angle 0).
enum class PageSkewSource { None, Outline, TextLines };

struct PageFrame {
  _STRAIGHTLINE main{};      // dominant line on the shrunk picture
  _STRAIGHTLINE lines[4]{};  // the page lines, distances in picture pixels
  _SEGMENT segments[4]{};    // the page sides in picture pixels, rows from the top
  // A page outline was found. Without one, text lines make a page filling
  // the view: the frame is the whole picture, lines and segments along its
  // border. Without text either there is no page: the sides are not found
  // (-1) and the line set holds no page.
  bool outline = false;
  // Corners A, B, C, D (lines 0/1, 1/2, 2/3, 3/0) of the page's fitted
  // sides in picture pixels, memory rows (bottom row first), to a fraction
  // of a pixel; they may lie outside the picture when the page does.
  double corners[4][2] = {};
  // The turn in degrees (-45..45) that straightens the page, finer than the
  // lines' 2-degree steps, and where it came from.
  double skewDegrees = 0;
  PageSkewSource skewSource = PageSkewSource::None;
};

// 24-bit picture with padded rows (bottom row first). False when the
// picture is too small for the edge filters or memory runs out.
bool FindPageFrame(const unsigned char* data, int width, int height, PageFrame& frame);

// The skew of a picture (8, 24 or 32 bits) in degrees, as PageFrame
// reports it; false for bad arguments or want of memory.
bool FindPageSkew(const unsigned char* data, int width, int height, int depth, const tagRGBQUAD* palette,
                  double& degrees, PageSkewSource& source);

// Whether four corners (in order around the page) form a convex
// quadrilateral with a non-zero area.
bool ConvexQuad(const double corners[4][2]);

// The page inside four corners (memory rows, in order around the page)
// warped onto a rectangle: the corner nearest the picture's first memory
// row and column goes to the result's, and the sides keep their lengths
// on average. A new NewMem picture of the same depth (8, 24 or 32 bits,
// padded rows); the previous output is released. 0 when the corners do not
// form a convex quadrilateral, the result would be empty, or memory runs out.
int WarpPageQuad(const unsigned char* data, int width, int height, int depth, const double corners[4][2],
                 unsigned char*& out, int& outWidth, int& outHeight);
