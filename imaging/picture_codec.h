#pragma once
// The system's picture codecs in one place: JPEG, BMP, PNG, GIF and TIFF read
// and written, plus SVG read.
//
// Which format a path is written in follows the text after its last "." in
// upper case: containing "BMP" gives a bitmap, "PNG", "GIF" or "TIF" those
// formats, anything else (no extension included) JPEG. Reading looks at the
// bytes, not at the name.
//
// Bitmaps go through the bitmap reader/writer of this library so that every
// bitmap the system writes has the same bytes; GIF is written through giflib
// with a median-cut palette refined on the picture's colours; the others go
// through Qt's image readers and writers (TIFF needs the image-formats plugins).
//
// Two picture representations meet here: QImage (what CGdiImage holds, and
// what printing draws) and the picture buffer of CDataHandler (CBitmapPicture).

#include "imaging/bitmap_file.h"

#include <QImage>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class QIODevice;

enum class PictureFormat { Jpeg, Bmp, Png, Gif, Tiff };

// The format a path is written in (the rule above).
PictureFormat PictureFormatFromPath(std::string_view path);
// The extension (without the dot) of a photograph format as the camera
// configuration numbers them ("output" "imageType"): 0 "bmp", 1 "jpg",
// 2 "png", 3 "gif", 4 "tif", any other value "jpg".
std::string_view PictureTypeExtension(int imageType);
// "image/jpeg", "image/bmp", "image/png", "image/gif", "image/tiff".
const char* PictureFormatMime(PictureFormat format);
// "JPEG", "BMP", "PNG", "GIF", "TIFF" (for messages).
const char* PictureFormatName(PictureFormat format);

struct PictureWriteOptions {
  // JPEG quality 0..100; below 0 takes the encoder's default (75).
  int quality = -1;
  // Header fields of written bitmaps (pixels per metre and so on).
  BitmapWriteOptions bitmap;
};

// ---- QImage -------------------------------------------------------------------

// Decodes picture bytes of any of the five formats or SVG. The result is a
// 32-bit ARGB image (QImage::Format_ARGB32). On failure returns a null image
// and, when `error` is given, a one-line reason.
QImage DecodePicture(const unsigned char* bytes, std::size_t size, std::string* error = nullptr);
// Reads the whole file first, so it is closed before decoding starts.
QImage ReadPicture(const std::string& path, std::string* error = nullptr);
// Reads a stream from its current position to its end.
QImage ReadPicture(QIODevice& stream, std::string* error = nullptr);

// Encodes an image. Alpha is kept by PNG and TIFF, GIF keeps transparency as
// one transparent palette entry, JPEG and BMP (24 bits, or 8 for grey and
// palette pictures) drop it. Empty on failure.
std::vector<unsigned char> EncodePicture(const QImage& image, PictureFormat format,
                                         const PictureWriteOptions& options = {},
                                         std::string* error = nullptr);

// ---- Picture buffers ------------------------------------------------------------

// A picture buffer from picture bytes: bitmaps keep their depth, palette and
// pixels per metre; other formats give 8 bits (grey palette) for grey
// pictures, 8 bits with their palette for palette pictures, 32 bits when the
// picture has alpha, 24 bits otherwise.
bool DecodePictureBuffer(const unsigned char* bytes, std::size_t size, CBitmapPicture& picture,
                         std::string* error = nullptr);
bool ReadPictureBuffer(const std::string& path, CBitmapPicture& picture,
                       std::string* error = nullptr);

// Encodes a picture buffer (depth 8 with palette, 24 or 32; the fourth byte
// of a 32-bit pixel is not alpha and is dropped outside bitmaps).
std::vector<unsigned char> EncodePictureBuffer(const unsigned char* data, long width, long height,
                                               int depth, const tagRGBQUAD* palette,
                                               PictureFormat format,
                                               const PictureWriteOptions& options = {},
                                               std::string* error = nullptr);

// Conversions between the two representations. ImageFromBuffer gives a
// 32-bit ARGB image (opaque); a null image for a bad buffer.
QImage ImageFromBuffer(const unsigned char* data, long width, long height, int depth,
                       const tagRGBQUAD* palette);
// 24-bit buffer of an image (alpha dropped); false when it cannot be allocated.
bool BufferFromImage(const QImage& image, CBitmapPicture& picture);

// ---- Files ----------------------------------------------------------------------

// Writes bytes to `path` through a temporary file in the same folder that is
// renamed over the path, so a failure never leaves a partial file. The file
// gets the usual mode (0666 less the umask).
bool WriteFileAtomically(const std::string& path, const std::vector<unsigned char>& bytes,
                         std::string* error = nullptr);
// Encodes by the path's extension and writes atomically.
bool WritePicture(const std::string& path, const QImage& image,
                  const PictureWriteOptions& options = {}, std::string* error = nullptr);
bool WritePictureBuffer(const std::string& path, const CBitmapPicture& picture,
                        const PictureWriteOptions& options = {}, std::string* error = nullptr);
