#pragma once
// CDataHandler: the stateless pixel operations of the image library.
//
// Picture buffers: pixel bytes plus width, height and depth (8, 24 or 32 bits
// per pixel). Rows are stored bottom-up and each row is padded to a 4-byte
// boundary (a 32-bit row never needs padding). 24-bit pixels are blue, green,
// red; 32-bit pixels add a fourth byte; 8-bit pixels are indices into a
// 256-entry palette. Buffers that an operation replaces or returns are
// allocated with NewMem and released with DelMem.
//
// The class is split by operation group over several source files:
//   data_handler_convert.cpp   grey/colour conversions and scaling
//   data_handler_rotate.cpp    quarter turns, mirrors and rotations
//   data_handler_tone.cpp      brightness, contrast, saturation, colour gain, HSL
//   data_handler_modes.cpp     display-mode transforms
//   data_handler_filters.cpp   convolution, edge detectors, smoothing, grey levels, wavelet
//   data_handler_regions.cpp   connected regions of on pixels, hole filling
//   data_handler_changes.cpp   frame-to-frame change detectors
// Later groups (page detection) add files of their own.

#include "platform/geometry.h"
#include "platform/records.h"

#include <cstddef>
#include <cstdint>

// A straight line x*cos(theta) + y*sin(theta) = distance over a grey plane
// (x column, y memory row), theta = 2 * angleStep degrees, angleStep 0..89.
struct _STRAIGHTLINE {
  int votes;     // accumulator count (set by HoughTrans only)
  int distance;  // signed distance in pixels
  int angleStep; // theta = 2 * angleStep degrees
};
static_assert(sizeof(_STRAIGHTLINE) == 12);

// One side of a page outline: two points (column, memory row); -1 marks a
// point that was not found.
struct _SEGMENT {
  int x1;
  int y1;
  int x2;
  int y2;
};
static_assert(sizeof(_SEGMENT) == 16);

// Argument of RotationImageData; the values are fixed.
enum rotation_degree : int {
  ROTATION_CLOCKWISE = 1,      // quarter turn clockwise on screen
  ROTATION_HALF = 2,           // half turn
  ROTATION_ANTICLOCKWISE = 3,  // quarter turn counter-clockwise on screen
  ROTATION_FLIP = 4,           // upside-down flip (rows in reverse order)
  ROTATION_MIRROR = 5,         // left-right mirror
};

// Bytes of one padded row of a picture `width` pixels wide at `depth` bits.
// The padding brings each row to a multiple of 4 bytes.
inline std::size_t PictureStride(long width, int depth) {
  const std::size_t rowBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(depth) / 8;
  return (rowBytes + 3) & ~static_cast<std::size_t>(3);
}

// Bytes of a whole padded picture.
inline std::size_t PictureSize(long width, long height, int depth) {
  return PictureStride(width, depth) * static_cast<std::size_t>(height);
}

class CDataHandler {
 public:
  CDataHandler() {}
  CDataHandler(const CDataHandler&) = default;
  CDataHandler& operator=(const CDataHandler&) { return *this; }

  // ---- Conversions and scaling ------------------------------------------

  // Grey plane of a picture: grey = trunc((0.59 G + 0.30 R) + 0.11 B) in
  // double precision. Rows are `width` bytes, padded to 4 bytes when `pad`
  // is non-zero. An 8-bit picture uses its palette; without one the plane
  // stays zero. Returns 0 for null buffers, sizes below 1 or other depths.
  int ColourToGreyScale(const unsigned char* source, int width, int height, int depth,
                        const tagRGBQUAD* palette, unsigned char* dest, int pad);
  // 24-bit padded picture from an 8-bit (palette required), 24- or 32-bit one.
  int GreyScaleToColour24(const unsigned char* source, int width, int height, int depth,
                          const tagRGBQUAD* palette, unsigned char* dest);
  // `count` 24-bit pixels (blue, green, red) as 32-bit words 0xFFRRGGBB,
  // an opaque canvas pixel each. Reads exactly 3 * count bytes.
  static void Colour24ToOpaque32(const unsigned char* source, std::uint32_t* dest, long count);
  // Nearest-neighbour scaling into a new NewMem buffer.
  int ZoomData(const unsigned char* source, int width, int height, int depth, float scale,
               unsigned char*& out, int& outWidth, int& outHeight);

  // ---- Rotation ----------------------------------------------------------

  // Quarter turns, half turn, flip and mirror; replaces the buffer.
  int RotationImageData(unsigned char*& data, long& width, long& height, int depth,
                        rotation_degree value);
  // Nearest-neighbour rotation by whole degrees of a 24-bit picture, white
  // background; the region limits the source pixels and is returned in the
  // new picture's coordinates.
  int RotationImage(unsigned char*& data, long& width, long& height, CRect& region, int depth,
                    int degrees);
  // Cuts the region out and rotates it by `angle` radians (bilinear, black
  // background); replaces the picture with the result.
  int RotatePicture(unsigned char*& data, long& width, long& height, int depth, CRect region,
                    double angle);
  // Bilinear rotation of a packed picture about its centre. The result is
  // packed too, allocated with new[] (release with delete[]); null when it
  // cannot be allocated.
  void RotateInterpolation(const unsigned char* source, int width, int height, int bytesPerPixel,
                           unsigned char*& out, unsigned int& outWidth, unsigned int& outHeight,
                           double angle);

  // ---- Tone ------------------------------------------------------------------

  int AdjustLuminosity(unsigned char* data, int width, int height, int depth, int level);
  int AdjustContrast(unsigned char* data, int width, int height, int depth, int level);
  // A copy of `source` into `dest` (a buffer of the same picture size) with
  // brightness, then contrast applied, in one pass: the bytes of copying the
  // picture, then AdjustLuminosity and AdjustContrast on the copy (either
  // level 0 leaves its step out). 0 for a bad picture or null buffers.
  int CopyLuminosityContrast(const unsigned char* source, unsigned char* dest, int width, int height,
                             int depth, int luminosity, int contrast);
  int AdjustSaturation(unsigned char* data, int width, int height, int depth, int level);
  int SaturationAlter(unsigned char* data, int width, int height, int depth, int redGain,
                      int greenGain, int blueGain);
  void RGBtoHSL(unsigned char red, unsigned char green, unsigned char blue, float* hue,
                float* saturation, float* lightness);
  unsigned long HSLtoRGB(float hue, float saturation, float lightness);
  unsigned char HueToRGB(float p, float q, float hue);

  // ---- Display modes ---------------------------------------------------------

  // 8-bit padded plane: 255 where grey > threshold, else 0.
  int ColourToSingle(const unsigned char* source, int width, int height, int depth,
                     const tagRGBQUAD* palette, unsigned char* dest, int threshold);
  // Inverse. An 8-bit picture keeps its indices and has its palette inverted.
  int ColourToReversed(const unsigned char* source, int width, int height, int depth,
                       tagRGBQUAD* palette, unsigned char* dest);
  int ColourToRelief(const unsigned char* source, int width, int height, int depth,
                     unsigned char* dest);
  int ColourToSharpen(const unsigned char* source, int width, int height, int depth,
                      unsigned char* dest);

  // ---- Filters -----------------------------------------------------------
  // Grey planes here are packed (rows exactly `width` bytes) unless stated.
  // An "on" pixel has a grey value above 125. Results: 1 done, 0 refused
  // (null buffer, size below 1, failed allocation) unless stated.

  // Convolution of the plane with a kw x kh kernel (row order), sums kept in
  // single precision; |sum x factor| limited to 255 and rounded. Pixels where
  // the kernel does not fit keep their value. Refuses a kernel larger than
  // the plane and non-finite kernel values or factor.
  int Template(unsigned char* plane, int width, int height, const double* kernel, int kw, int kh,
               double factor);
  // Larger of the two 3 x 3 Sobel responses (weights 1 2 1, or 1 sqrt2 1 for
  // the Ex form); the Laplacian of Gaussian on 5 x 5.
  int EdgeDetectionSobel(unsigned char* plane, int width, int height);
  int EdgeDetectionSobelEx(unsigned char* plane, int width, int height);
  int EdgeDetectionLog(unsigned char* plane, int width, int height);
  // 3 x 3 mean (truncated); the outermost rows and columns become 0.
  int MedianFilter(unsigned char* plane, int width, int height);
  // 24-bit picture with padded rows: every inner pixel's channels become the
  // truncated 3 x 3 mean of the original picture (hot-pixel removal).
  int Colour24MedianFilter(unsigned char* data, int width, int height);
  // 24-bit picture with padded rows: an inner pixel whose three channels are
  // all strictly below (or all strictly above) its four cross neighbours
  // becomes the mean of those neighbours (spike removal). Works in place in
  // memory order, so a replaced pixel is what later neighbours see.
  int Colour24MedianFilterEx(unsigned char* data, int width, int height);
  // Border to 0; an inner on pixel survives with 3 or 4 on cross neighbours.
  int RegionCorrosion(unsigned char* plane, int width, int height);
  // The 4-connected region of on pixels holding the seed (row, column): each
  // pixel is marked 1 in `visited` and copied from `plane` into `output`.
  // Returns its pixel count; 0 when the seed lies outside the plane, is not
  // on or was visited already. The Ex form grows the region from a stack,
  // the plain form in the order a recursion would take; both keep their
  // stacks on the heap, so any region size is safe.
  unsigned long AnalysisPot(const unsigned char* plane, int width, int height,
                            unsigned char* visited, int row, int column, unsigned char* output);
  unsigned long AnalysisPotEx(const unsigned char* plane, int width, int height,
                              unsigned char* visited, int row, int column, unsigned char* output);
  // Keeps only the largest 4-connected region of on pixels (the first in
  // row order among equals); unchanged when there is none.
  int RegionAnalysis(unsigned char* plane, int width, int height);
  // Keeps the 4-connected region of on pixels that encloses the largest
  // area (the first in row order among equals): in each row the span from
  // the region's first to its last pixel, added over the rows, or the same
  // down the columns when that is more (three sides of a page enclose it
  // one way only). A page outline encloses the page, a block of text only
  // itself. The kept
  // region's enclosed area and pixel count go to the optional outputs (0
  // without an on pixel, when the plane stays as it is).
  int RegionAnalysisByArea(unsigned char* plane, int width, int height,
                           unsigned long long* enclosed = nullptr, unsigned long long* pixels = nullptr);
  // Copies `source` into `mask` from the first to the last byte above 125 of
  // every mask row, then of every column of the updated mask. Returns the
  // number of bytes copied (0 also for refused arguments).
  int FillRegion(const unsigned char* source, int width, int height, unsigned char* mask);
  // Contrast stretch between the histogram's ends (each pulled in by 30);
  // refuses (0, plane unchanged) when they lie less than 5 apart.
  int GreyDegreeExtend(unsigned char* plane, int width, int height);
  // 255 above the threshold, 0 elsewhere.
  int GreyDegreeSingle(unsigned char* plane, int width, int height, int threshold);
  // Global threshold by iterated class means, at most kBinarizationRounds
  // rounds; 0 at or below the threshold, 255 above.
  int Binarization(unsigned char* plane, int width, int height);
  static constexpr int kBinarizationRounds = 1000;

  // ---- Change detection ----------------------------------------------------
  // The caller owns the previous frame's grey plane (NewMem) and its size;
  // every accepted call replaces them with the current frame's plane. A
  // first frame, or one of another size, compares as unchanged.

  // More than a quarter of the pixels changed by over 30 grey levels.
  int DynamicDistinguish(const unsigned char* data, int width, int height, int depth,
                         unsigned char*& previous, int& previousWidth, int& previousHeight);
  // Fewer than a tenth of the pixels changed by over 30 grey levels.
  int StaticDistinguish(const unsigned char* data, int width, int height, int depth,
                        unsigned char*& previous, int& previousWidth, int& previousHeight);
  // Pixels changed by over 40 grey levels; -1 for bad arguments.
  int DynamicPointNum(const unsigned char* data, int width, int height, int depth,
                      unsigned char*& previous, int& previousWidth, int& previousHeight);
  // Changed edge pixels (difference over 100) of the picture reduced to
  // about 320 pixels on its long side; -1 for bad arguments.
  int DynamicPointNumEx(const unsigned char* data, int width, int height, int depth,
                        const tagRGBQUAD* palette, unsigned char*& previous, int& previousWidth,
                        int& previousHeight);

  // ---- Page detection ------------------------------------------------------
  // Grey planes here are packed unless stated; an edge pixel is above 125.
  // A pixel's distance to a line is cos(theta)*x + sin(theta)*y summed in
  // single precision and rounded half away from zero.

  // Dominant line of the edge plane (90 angle steps of 2 degrees). 1 with
  // the record filled (all zero when no line qualifies); 0 for bad
  // arguments or a failed allocation.
  int HoughTrans(const unsigned char* plane, int width, int height, _STRAIGHTLINE& line);
  // The four lines bounding the edge pixels at the main line's angle and
  // its perpendicular: 0 greatest and 2 least distance at the main angle,
  // 1 greatest and 3 least at the perpendicular. Votes are left alone.
  int SearchLine(const unsigned char* plane, int width, int height, const _STRAIGHTLINE& main,
                 _STRAIGHTLINE lines[4]);
  // Corners and sides of the quadrilateral of a line set; a missing corner
  // is replaced by the point where its line leaves the plane.
  int SearchRect(const unsigned char* plane, int width, int height, const _STRAIGHTLINE lines[4],
                 _SEGMENT segments[4]);
  // The page's bounding rectangle within `area`, relative to the area's
  // left and top; empty for bad arguments or when nothing is found.
  CRect GetBlackSideRectEx(const unsigned char* data, int width, int height, int depth,
                           const tagRGBQUAD* palette, CRect area);
  // Skew of the page in radians, for RotatePicture; 0 when none is found.
  float CheckRotatePictureEx(const unsigned char* data, int width, int height, int depth,
                             const tagRGBQUAD* palette);
  // The page inside a line set, straightened, into a new NewMem picture of
  // the same depth (padded rows). The previous output buffer is released.
  int RotateGreenFrame(const unsigned char* data, int width, int height, int depth,
                       const _STRAIGHTLINE lines[4], unsigned char*& out, int& outWidth,
                       int& outHeight);
  int GetDistance(const _STRAIGHTLINE& line, int x, int y);
  // Picture point of page coordinates (a along lines 1/3 from line 2, b
  // along lines 0/2 from line 3); 0 when outside the page or undefined.
  int GetPosition(const _STRAIGHTLINE lines[4], int a, int b, int& x, int& y);
  // Sets every pixel lying on one of the four lines to 255.
  int DrawStraightLine(unsigned char* plane, int width, int height, const _STRAIGHTLINE lines[4]);
  // Floods the 4-connected region of values up to 124 around the seed
  // white (explicit stack); returns the pixels set, the seed included.
  unsigned long DelBlackSide(unsigned char* plane, int width, int height, int row, int column);

  // Projection-based detector; grey planes with padded rows, bright > 128.
  CRect GetBlackSideRect(const unsigned char* data, int width, int height, int depth,
                         const tagRGBQUAD* palette, CRect area);
  float CheckRotatePicture(const unsigned char* data, int width, int height, int depth,
                           const tagRGBQUAD* palette);
  // Erosion with the 3 x 3 cross inside the area; 0 outside it.
  int GreyRust(unsigned char* plane, int width, int height, CRect area);
  // 1 when a pixel of the cross at (x, y) is below 128 (mode 0) or above
  // 128 (other modes). The caller keeps the cross inside the plane.
  int ExpandRustCompare(const unsigned char* plane, int stride, int unused, int x, int y,
                        int mode);
  unsigned long StatisticsWhiteSpots(const unsigned char* plane, int width, int height,
                                     CRect area);

  // ---- Wavelet ---------------------------------------------------------------

  // Integer 5/3 lifting wavelet per channel of an 8-, 24- or 32-bit picture
  // (padded rows), `level` times on the low band; each channel's
  // coefficients are stretched to 0..255 into `output` (same layout).
  void DWT_Once(const unsigned char* data, int depth, unsigned char* output, int width,
                int height, int level);
};
