#pragma once
// CBufferDC: an off-screen bitmap with its own memory context. Windows draw
// into it and paste it to the screen in one operation (flicker-free
// painting); the annotation layers are kept in such buffers.
//
// The rectangle gives the buffer's size and its default place in a target.
// An empty buffer has no context and an all-zero rectangle. Transfers onto
// other contexts stretch by whole pixels (colour on colour), except
// StretchPaste, which follows the target's stretch mode (SetStretchBltMode).

#include "canvas/devicecontext.h"

#include <QColor>
#include <QPainter>

#include <memory>

class CBufferDC {
 public:
  CBufferDC() = default;
  ~CBufferDC();
  // Deep copies: a new bitmap of the same size with the same pixels and rectangle.
  CBufferDC(const CBufferDC& other);
  CBufferDC& operator=(const CBufferDC& other);

  // A new bitmap of the rectangle's size (cleared to 0), replacing any old
  // one, and the rectangle stored. 0 for an empty rectangle.
  int CreateBufferDC(HDC dc, const RECT& rect);
  void Release();
  // Recreates the buffer at the bitmap's size with the rectangle (0, 0,
  // width, height) and copies the device-independent bitmap in at 1:1. For
  // 8-bit bitmaps the 256-entry palette follows the header in memory.
  int DIBitsToDC(const void* bits, const BITMAPINFOHEADER* info);

  // Stretches the other buffer's whole area onto this one's whole area.
  int Copy(const CBufferDC& other);
  // Copies a part (buffer coordinates, clipped to both buffers) of the
  // other buffer to the same place in this one, pixel for pixel.
  int Copy(const CBufferDC& other, const CRect& part);
  // Stretches the source rectangle of a context onto this buffer's area.
  int Copy(HDC dc, const RECT& source);
  // Stretches this buffer's area onto the destination with a raster operation.
  int Paste(HDC dc, const RECT& dest, DWORD rop);
  // Stretches the source part of the buffer onto the destination, copying,
  // in the destination's stretch mode.
  int StretchPaste(HDC dc, const CRect& dest, const CRect& source);
  // Fills the rectangle (buffer coordinates) with an opaque colour.
  int SetBackColor(const RECT& rect, COLORREF color);
  // The whole buffer onto the destination, leaving out pixels of the colour.
  int PasteTransparentBlt(HDC dc, const RECT& dest, COLORREF transparent);
  // The whole buffer blended over the destination with a constant alpha
  // (the buffer's own alpha is not used).
  int PasteAlphaBlend(HDC dc, const RECT& dest, BYTE alpha);

  HDC GetBufferDC() const { return bitmap_.get(); }
  CRect GetBufferRect() const { return rect_; }
  // A new bitmap holding a copy of the buffer; the caller deletes it. Null when empty.
  HBITMAP GetHbitmap() const;
  // A solid outline with a pen of the width, from (left - 1, top) round to (left, top - 1).
  int DrawRect(const CRect& rect, int width, COLORREF color);

 private:
  CRect Area() const { return CRect(0, 0, rect_.Width(), rect_.Height()); }
  // Makes `bitmap` (null: none) the buffer's context with the rectangle.
  void Adopt(std::unique_ptr<QImage> bitmap, const CRect& rect);
  // The buffer stretched to the size (nearest neighbour), as a new image.
  QImage Stretched(int width, int height) const;

  std::unique_ptr<QImage> bitmap_;
  CRect rect_;
};

// The outline DrawRect draws, with a painter already open on any surface
// (a layer paints it straight over its host's picture).
void PaintRectOutline(QPainter& painter, const CRect& rect, int width, const QColor& colour);
