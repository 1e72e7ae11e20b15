#include "canvas/bufferdc.h"

#include <QPainter>
#include <QWidget>

namespace {

QRgb OpaqueFromColorRef(COLORREF c) { return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

// The pixels of a source context's rectangle: memory contexts directly,
// window surfaces rendered.
QImage SourcePixels(HDC dc, const CRect& r, CRect& srcRect) {
  if (QImage* image = DCImage(dc)) {
    srcRect = r;
    return *image;
  }
  if (dc && dc->devType() == QInternal::Widget) {
    srcRect = CRect(0, 0, r.Width(), r.Height());
    return static_cast<QWidget*>(dc)->grab(ToQRect(r)).toImage().convertToFormat(kCanvasFormat);
  }
  return {};
}

}  // namespace

CBufferDC::CBufferDC(const CBufferDC& other) { *this = other; }

CBufferDC::~CBufferDC() { Release(); }

CBufferDC& CBufferDC::operator=(const CBufferDC& other) {
  if (this == &other) return *this;
  Adopt(other.bitmap_ ? std::make_unique<QImage>(other.bitmap_->copy()) : nullptr, other.rect_);
  return *this;
}

void CBufferDC::Adopt(std::unique_ptr<QImage> bitmap, const CRect& rect) {
  Release();
  if (!bitmap) return;
  bitmap_ = std::move(bitmap);
  rect_ = rect;
  AddMemoryDC(bitmap_.get());
}

int CBufferDC::CreateBufferDC(HDC, const RECT& rect) {
  Release();
  if (rect.IsRectEmpty()) return 0;
  auto image = std::make_unique<QImage>(rect.Width(), rect.Height(), kCanvasFormat);
  if (image->isNull()) return 0;
  image->fill(0);
  Adopt(std::move(image), rect);
  return 1;
}

void CBufferDC::Release() {
  if (bitmap_) RemoveMemoryDC(bitmap_.get());
  bitmap_.reset();
  rect_.SetRectEmpty();
}

int CBufferDC::DIBitsToDC(const void* bits, const BITMAPINFOHEADER* info) {
  if (!bits || !info) return 0;
  QImage image = ImageFromDib(*info, bits);
  if (image.isNull()) return 0;
  const CRect rect(0, 0, image.width(), image.height());
  Adopt(std::make_unique<QImage>(std::move(image)), rect);
  return 1;
}

int CBufferDC::Copy(const CBufferDC& other) {
  if (&other == this || !bitmap_ || !other.bitmap_) return 0;
  StretchPixels(*bitmap_, Area(), *other.bitmap_, other.Area(), SRCCOPY);
  return 1;
}

int CBufferDC::Copy(const CBufferDC& other, const CRect& part) {
  if (&other == this || !bitmap_ || !other.bitmap_) return 0;
  CRect shared;
  if (!shared.IntersectRect(part, Area()) || !shared.IntersectRect(shared, other.Area())) return 1;
  StretchPixels(*bitmap_, shared, *other.bitmap_, shared, SRCCOPY);
  return 1;
}

int CBufferDC::Copy(HDC dc, const RECT& source) {
  if (!bitmap_ || !dc) return 0;
  CRect srcRect;
  const QImage pixels = SourcePixels(dc, source, srcRect);
  if (pixels.isNull()) return 0;
  StretchPixels(*bitmap_, Area(), pixels, srcRect, SRCCOPY);
  return 1;
}

int CBufferDC::Paste(HDC dc, const RECT& dest, DWORD rop) {
  if (!bitmap_ || !dc) return 0;
  return StretchToDC(dc, dest, *bitmap_, Area(), rop) ? 1 : 0;
}

int CBufferDC::StretchPaste(HDC dc, const CRect& dest, const CRect& source) {
  if (!bitmap_ || !dc) return 0;
  return StretchToDC(dc, dest, *bitmap_, source, SRCCOPY, GetStretchBltMode(dc)) ? 1 : 0;
}

int CBufferDC::SetBackColor(const RECT& rect, COLORREF color) {
  if (!bitmap_) return 0;
  QPainter p(bitmap_.get());
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.fillRect(ToQRect(rect), QColor::fromRgba(OpaqueFromColorRef(color)));
  return 1;
}

QImage CBufferDC::Stretched(int width, int height) const {
  QImage out(width, height, kCanvasFormat);
  if (out.isNull()) return out;
  out.fill(0);
  StretchPixels(out, CRect(0, 0, width, height), *bitmap_, Area(), SRCCOPY);
  return out;
}

int CBufferDC::PasteTransparentBlt(HDC dc, const RECT& dest, COLORREF transparent) {
  if (!bitmap_ || !dc) return 0;
  if (dest.IsRectEmpty()) return 1;
  QImage src = Stretched(dest.Width(), dest.Height());
  if (src.isNull()) return 0;
  const QRgb key = OpaqueFromColorRef(transparent) & 0xFFFFFF;
  if (QImage* target = DCImage(dc)) {
    for (int y = std::max(0, -dest.top); y < src.height() && dest.top + y < target->height(); ++y) {
      const auto* s = reinterpret_cast<const QRgb*>(src.constScanLine(y));
      auto* d = reinterpret_cast<QRgb*>(target->scanLine(dest.top + y));
      for (int x = std::max(0, -dest.left); x < src.width() && dest.left + x < target->width(); ++x)
        if ((s[x] & 0xFFFFFF) != key) d[dest.left + x] = s[x];
    }
    return 1;
  }
  // Window surface: key pixels become transparent, all others opaque.
  for (int y = 0; y < src.height(); ++y) {
    auto* s = reinterpret_cast<QRgb*>(src.scanLine(y));
    for (int x = 0; x < src.width(); ++x) s[x] = (s[x] & 0xFFFFFF) == key ? 0 : (s[x] | 0xFF000000);
  }
  QPainter p(dc);
  if (!p.isActive()) return 0;
  p.drawImage(dest.left, dest.top, src);
  return 1;
}

int CBufferDC::PasteAlphaBlend(HDC dc, const RECT& dest, BYTE alpha) {
  if (!bitmap_ || !dc) return 0;
  if (dest.IsRectEmpty()) return 1;
  QImage src = Stretched(dest.Width(), dest.Height());
  if (src.isNull()) return 0;
  if (QImage* target = DCImage(dc)) {
    const unsigned a = alpha, na = 255 - alpha;
    auto blend = [&](QRgb s, QRgb d) {
      QRgb out = 0;
      for (int shift = 0; shift < 32; shift += 8) {
        const unsigned v = (((s >> shift) & 0xFF) * a + ((d >> shift) & 0xFF) * na + 127) / 255;
        out |= v << shift;
      }
      return out;
    };
    for (int y = std::max(0, -dest.top); y < src.height() && dest.top + y < target->height(); ++y) {
      const auto* s = reinterpret_cast<const QRgb*>(src.constScanLine(y));
      auto* d = reinterpret_cast<QRgb*>(target->scanLine(dest.top + y));
      for (int x = std::max(0, -dest.left); x < src.width() && dest.left + x < target->width(); ++x)
        d[dest.left + x] = blend(s[x], d[dest.left + x]);
    }
    return 1;
  }
  QPainter p(dc);
  if (!p.isActive()) return 0;
  p.setOpacity(alpha / 255.0);
  p.drawImage(dest.left, dest.top, src.convertToFormat(QImage::Format_RGB32));
  return 1;
}

HBITMAP CBufferDC::GetHbitmap() const {
  if (!bitmap_) return nullptr;
  return new QImage(bitmap_->copy());
}

int CBufferDC::DrawRect(const CRect& rect, int width, COLORREF color) {
  if (!bitmap_) return 0;
  QPainter p(bitmap_.get());
  p.setCompositionMode(QPainter::CompositionMode_Source);
  PaintRectOutline(p, rect, width, QColor::fromRgba(OpaqueFromColorRef(color)));
  return 1;
}

void PaintRectOutline(QPainter& p, const CRect& rect, int width, const QColor& colour) {
  // Four pen strokes, each covering its start point but not its end point;
  // the first starts one pixel early and the last ends one pixel late, so
  // every corner is closed.
  const int w = std::max(width, 1);
  const int a = w / 2;  // pen pixels above/left of the line
  const CPoint pts[5] = {{rect.left - 1, rect.top},
                         {rect.right, rect.top},
                         {rect.right, rect.bottom},
                         {rect.left, rect.bottom},
                         {rect.left, rect.top - 1}};
  for (int i = 0; i < 4; ++i) {
    const CPoint from = pts[i], to = pts[i + 1];
    if (from.y == to.y) {
      const int x0 = from.x < to.x ? from.x : to.x + 1;
      const int x1 = from.x < to.x ? to.x - 1 : from.x;
      p.fillRect(QRect(x0, from.y - a, x1 - x0 + 1, w), colour);
    } else {
      const int y0 = from.y < to.y ? from.y : to.y + 1;
      const int y1 = from.y < to.y ? to.y - 1 : from.y;
      p.fillRect(QRect(from.x - a, y0, w, y1 - y0 + 1), colour);
    }
  }
}
