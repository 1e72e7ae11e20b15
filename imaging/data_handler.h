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
// Later groups (filters, page detection) add files of their own.

#include "platform/geometry.h"
#include "platform/records.h"

#include <cstddef>

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
};
