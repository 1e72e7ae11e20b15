#pragma once
// The page-frame search the preview runs on each shown frame: the picture
// shrunk (nearest pixel) to 320 pixels on its long side, grey, Sobel edges,
// 3 x 3 mean, largest edge region, then the dominant line, the four page
// lines and the page outline, scaled back to the picture.

#include "imaging/data_handler.h"

struct PageFrame {
  _STRAIGHTLINE main{};      // dominant line on the shrunk picture
  _STRAIGHTLINE lines[4]{};  // the page lines, distances in picture pixels
  _SEGMENT segments[4]{};    // the page sides in picture pixels, rows from the top
};

// 24-bit picture with padded rows (bottom row first). False when the
// picture is too small for the edge filters or memory runs out.
bool FindPageFrame(const unsigned char* data, int width, int height, PageFrame& frame);
