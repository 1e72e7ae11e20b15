#pragma once
// Helpers shared by the CDataHandler source files (not exported).

#include "platform/records.h"

#include <cstddef>
#include <cstdint>

namespace pixalto {

// Depths whose pixels are whole bytes (8 to 64 bits).
inline bool WholeByteDepth(int depth) { return depth >= 8 && depth <= 64 && depth % 8 == 0; }
// The depths of the picture convention.
inline bool PictureDepth(int depth) { return depth == 8 || depth == 24 || depth == 32; }

// Grey value of a colour: trunc((0.59 G + 0.30 R) + 0.11 B), evaluated in
// double precision in exactly that order.
inline std::uint8_t ExactGrey(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
  const double v = (0.59 * green + 0.30 * red) + 0.11 * blue;
  return static_cast<std::uint8_t>(static_cast<int>(v));
}

// The same value, fast. The exact sum is k / 100 with k = 59 G + 30 R + 11 B;
// the double-precision error is far below 0.01, so truncation can only differ
// from k / 100 when k is a multiple of 100, and only those pixels take the
// double-precision path.
inline std::uint8_t FastGrey(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
  const unsigned k = 59u * green + 30u * red + 11u * blue;
  const unsigned q = k / 100u;
  if (k != q * 100u) return static_cast<std::uint8_t>(q);
  if (k == 0) return 0;  // black
  return ExactGrey(blue, green, red);
}

// Grey value of each palette entry (all zero without a palette).
void PaletteGreys(const tagRGBQUAD* palette, std::uint8_t greys[256]);

// Grey value of every pixel of one row of a 8-, 24- or 32-bit picture.
// `paletteGreys` serves 8-bit rows.
void GreyRow(const std::uint8_t* src, std::uint8_t* dst, int width, int depth,
             const std::uint8_t paletteGreys[256]);

}  // namespace pixalto
