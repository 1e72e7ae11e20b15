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

// Several copies of the hottest loops, each compiled for a newer x86-64
// level and chosen when the library loads; the bytes they produce are the
// same on every path.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define PIXALTO_CLONES __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define PIXALTO_CLONES
#endif

// AVX-512 (F, DQ, VL, BW) is present and not switched off with
// BREVIO_PIXALTO_PORTABLE=1; ByteLookupVectors adds the byte permutations.
bool WideVectors();
bool ByteLookupVectors();

// dst[k] = the 3-byte pixel at src + offsets[k], for k < count. `srcBytes`
// bounds the source so that no read passes its end.
void GatherPixels3(const unsigned char* src, std::size_t srcBytes, const int* offsets, long count,
                   unsigned char* dst);

// Grey value of each palette entry (all zero without a palette).
void PaletteGreys(const tagRGBQUAD* palette, std::uint8_t greys[256]);

// Grey value of every pixel of one row of a 8-, 24- or 32-bit picture.
// `paletteGreys` serves 8-bit rows.
void GreyRow(const std::uint8_t* src, std::uint8_t* dst, int width, int depth,
             const std::uint8_t paletteGreys[256]);

}  // namespace pixalto
