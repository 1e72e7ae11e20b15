#pragma once
// Bitmap (.bmp) files of 8, 24 and 32 bits per pixel, read into and written
// from the picture-buffer convention of CDataHandler: bottom-up rows padded
// to 4 bytes, blue-green-red pixels, a 256-entry palette for 8 bits.
//
// The header fields that some outputs fix (pixels per metre, the pixel
// offset, the image size field, the colours-used count) can be set.

#include "platform/records.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A picture that owns its pixel buffer (allocated with NewMem).
class CBitmapPicture {
 public:
  CBitmapPicture() = default;
  ~CBitmapPicture();
  CBitmapPicture(const CBitmapPicture&) = delete;
  CBitmapPicture& operator=(const CBitmapPicture&) = delete;
  CBitmapPicture(CBitmapPicture&& other) noexcept;
  CBitmapPicture& operator=(CBitmapPicture&& other) noexcept;

  // Takes over a NewMem buffer, releasing the one held before.
  void Adopt(unsigned char* data, long width, long height, int depth);
  // Allocates a zeroed buffer for a picture of this size; false on failure.
  bool Allocate(long width, long height, int depth);
  // Releases the buffer and forgets the size.
  void Clear();

  std::size_t Stride() const;
  std::size_t ByteSize() const;

  // Exposed so that CDataHandler operations can replace them by reference.
  unsigned char* data = nullptr;
  long width = 0;
  long height = 0;
  int depth = 0;
  tagRGBQUAD palette[256] = {};  // meaningful for 8-bit pictures
  bool hasPalette = false;
  LONG xPelsPerMeter = 0;
  LONG yPelsPerMeter = 0;
};

// Fills `palette` with the grey ramp (entry i = i, i, i).
void GreyPalette(tagRGBQUAD palette[256]);

struct BitmapWriteOptions {
  LONG xPelsPerMeter = 11811;  // 300 dots per inch
  LONG yPelsPerMeter = 11811;
  // Offset of the pixel rows from the start of the file. Default: right after
  // the headers and, for 8 bits, the palette (54 or 1078). A larger offset
  // leaves zero bytes in between.
  std::optional<DWORD> offBits;
  // The header's image size field. Default: padded stride × height.
  std::optional<DWORD> sizeImage;
  // The header's colours-used field (0 means all 256 for 8 bits).
  DWORD clrUsed = 0;
  // Whether an 8-bit picture's palette is written after the headers.
  bool writePalette = true;
};

// The bytes of a bitmap file; empty when the arguments cannot make one
// (null data, size below 1, depth other than 8, 24 or 32, an offset that
// would overlap the headers or palette). An 8-bit picture without a palette
// gets the grey ramp.
std::vector<unsigned char> EncodeBitmap(const unsigned char* data, long width, long height,
                                        int depth, const tagRGBQUAD* palette,
                                        const BitmapWriteOptions& options = {});

// Parses bitmap file bytes. Rows stored top-down are turned bottom-up. On
// failure returns false and, when `error` is given, a one-line reason.
bool DecodeBitmap(const unsigned char* bytes, std::size_t size, CBitmapPicture& picture,
                  std::string* error = nullptr);

bool ReadBitmapFile(const std::string& path, CBitmapPicture& picture,
                    std::string* error = nullptr);

// Writes the file directly (callers that must never leave a partial file
// write to a temporary name and rename).
bool WriteBitmapFile(const std::string& path, const unsigned char* data, long width, long height,
                     int depth, const tagRGBQUAD* palette, const BitmapWriteOptions& options = {},
                     std::string* error = nullptr);
