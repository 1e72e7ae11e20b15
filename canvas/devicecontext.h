#pragma once
// Device contexts of the canvas library.
//
// A device context (`HDC`) is a paint device with no painter active on it:
// a QImage in 32-bit ARGB (a memory context holding its bitmap) or a widget
// during its paint event (a window's paint surface). Every drawing call opens
// its own QPainter on it, draws and ends the painter before returning.
// Bitmaps (`HBITMAP`) are heap QImages owned by whoever received them.

#include "platform/geometry.h"
#include "platform/records.h"

#include <QFont>
#include <QImage>
#include <QPaintDevice>
#include <QRect>

using HDC = QPaintDevice*;
using HBITMAP = QImage*;
using COLORREF = DWORD;  // a colour value with red in the low byte: 0x00BBGGRR
using RECT = CRect;

constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
  return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}

// Raster operations of the bitmap transfers (the Windows values).
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD SRCPAINT = 0x00EE0086;    // source OR destination
constexpr DWORD SRCAND = 0x008800C6;      // source AND destination
constexpr DWORD SRCINVERT = 0x00660046;   // source XOR destination
constexpr DWORD NOTSRCCOPY = 0x00330008;  // NOT source
constexpr DWORD DSTINVERT = 0x00550009;   // NOT destination
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;
constexpr DWORD CAPTUREBLT = 0x40000000;  // also capture layered windows (screen sources only)

// Stretch modes: colour on colour keeps whole source pixels (nearest
// neighbour), halftone averages the source area under each target pixel
// (smooth scaling).
constexpr int COLORONCOLOR = 3;
constexpr int HALFTONE = 4;

// The pixel format every canvas bitmap uses: 32-bit, alpha not premultiplied.
constexpr QImage::Format kCanvasFormat = QImage::Format_ARGB32;

// The image behind a memory context; nullptr for window surfaces and null contexts.
QImage* DCImage(HDC dc);
// The context's current font: the widget's font, or the application default.
QFont DCFont(HDC dc);
// Width and height of the context's surface (0 × 0 for a null context).
CSize DCSize(HDC dc);
// A new empty ARGB bitmap of the given size cleared to `argb`; null for a bad size.
QImage* NewCanvasBitmap(int width, int height, QRgb argb = 0);

inline QRect ToQRect(const CRect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }

// The font a LOGFONTW describes: a negative height is the character height in
// pixels, a positive one the cell height; weight, italic, underline and
// strike-out carry over; the face name goes to the font database, which
// substitutes an installed face when it is missing.
QFont FontFromLogFont(const LOGFONTW& lf);

// Copies `src` (part of a 32-bit image) into `dst` (part of another) with a
// raster operation, stretching by whole pixels (colour on colour). Both
// images must be 32 bits per pixel; the rectangles may reach outside either
// image and are clipped; empty rectangles transfer nothing.
void StretchPixels(QImage& dst, const CRect& dstRect, const QImage& src, const CRect& srcRect,
                   DWORD rop = SRCCOPY);

// The stretch mode of a memory context (the context of a CBufferDC), which
// the stretching pastes into it follow (CBufferDC::StretchPaste). A new
// memory context, and every copy of one, starts with COLORONCOLOR. Set
// returns the previous mode; 0 (and nothing changes) for a context that is
// no memory context or a mode other than COLORONCOLOR and HALFTONE. Get
// answers 0 for a null context and COLORONCOLOR for every other surface.
int SetStretchBltMode(HDC dc, int mode);
int GetStretchBltMode(HDC dc);
// The owner of a memory context announces its bitmap when it makes one and
// withdraws it before the bitmap goes.
void AddMemoryDC(const QImage* bitmap);
void RemoveMemoryDC(const QImage* bitmap);

// Stretches a part of `src` onto a context: exact pixel transfer into memory
// contexts, a QPainter draw (nearest neighbour) into window surfaces. With
// HALFTONE a memory context receives the part smoothly scaled (the source
// area under each pixel averaged) before the raster operation. Returns
// false for a null context or a raster operation a window surface cannot do.
bool StretchToDC(HDC dc, const CRect& dstRect, const QImage& src, const CRect& srcRect, DWORD rop,
                 int mode = COLORONCOLOR);

// The pixels of a device-independent bitmap as a 32-bit image (alpha 255):
// depth 8 (the 256-entry palette follows the header), 24 or 32, rows
// bottom-up for a positive height and top-down for a negative one, padded to
// 4 bytes except at depth 32. A null image for anything else.
QImage ImageFromDib(const BITMAPINFOHEADER& header, const void* bits);
