#include "canvas/devicecontext.h"

#include "imaging/data_handler.h"
#include "contracts/fundara/font.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QWidget>

#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

QImage* DCImage(HDC dc) {
  if (!dc || dc->devType() != QInternal::Image) return nullptr;
  return static_cast<QImage*>(dc);
}

QFont DCFont(HDC dc) {
  if (dc && dc->devType() == QInternal::Widget) return static_cast<QWidget*>(dc)->font();
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return QGuiApplication::font();
  return QFont();
}

CSize DCSize(HDC dc) {
  if (!dc) return {};
  if (QImage* image = DCImage(dc)) return {image->width(), image->height()};
  return {dc->width(), dc->height()};
}

QImage* NewCanvasBitmap(int width, int height, QRgb argb) {
  if (width <= 0 || height <= 0) return nullptr;
  auto* image = new QImage(width, height, kCanvasFormat);
  if (image->isNull()) {
    delete image;
    return nullptr;
  }
  image->fill(argb);
  return image;
}

namespace {

// The stretch mode of every memory context alive, by its bitmap.
std::mutex& MemoryDCMutex() {
  static std::mutex m;
  return m;
}
std::unordered_map<const QImage*, int>& MemoryDCModes() {
  static std::unordered_map<const QImage*, int> modes;
  return modes;
}

}  // namespace

void AddMemoryDC(const QImage* bitmap) {
  if (!bitmap) return;
  std::lock_guard lock(MemoryDCMutex());
  MemoryDCModes()[bitmap] = COLORONCOLOR;
}

void RemoveMemoryDC(const QImage* bitmap) {
  std::lock_guard lock(MemoryDCMutex());
  MemoryDCModes().erase(bitmap);
}

int SetStretchBltMode(HDC dc, int mode) {
  const QImage* image = DCImage(dc);
  if (!image || (mode != COLORONCOLOR && mode != HALFTONE)) return 0;
  std::lock_guard lock(MemoryDCMutex());
  const auto it = MemoryDCModes().find(image);
  if (it == MemoryDCModes().end()) return 0;
  const int previous = it->second;
  it->second = mode;
  return previous;
}

int GetStretchBltMode(HDC dc) {
  if (!dc) return 0;
  const QImage* image = DCImage(dc);
  if (!image) return COLORONCOLOR;
  std::lock_guard lock(MemoryDCMutex());
  const auto it = MemoryDCModes().find(image);
  return it == MemoryDCModes().end() ? COLORONCOLOR : it->second;
}

QFont FontFromLogFont(const LOGFONTW& lf) {
  // One mapping for the whole system, with the CJK face substitutes.
  return CSetFont(lf).GetFont();
}

namespace {

// Source index of destination index i when `srcLen` pixels stretch onto
// `dstLen`: the source pixel under the destination pixel's centre.
inline int MapIndex(int i, int srcLen, int dstLen) {
  return static_cast<int>((static_cast<std::int64_t>(i) * 2 + 1) * srcLen / (2 * static_cast<std::int64_t>(dstLen)));
}

template <typename Op>
void TransferRows(QImage& dst, int x0, int x1, int y0, int y1, const std::vector<int>& xs,
                  const std::vector<int>& ys, const QImage& src, Op op) {
  for (int y = y0; y < y1; ++y) {
    const int sy = ys[y - y0];
    if (sy < 0) continue;
    const auto* s = reinterpret_cast<const QRgb*>(src.constScanLine(sy));
    auto* d = reinterpret_cast<QRgb*>(dst.scanLine(y));
    for (int x = x0; x < x1; ++x) {
      const int sx = xs[x - x0];
      if (sx >= 0) d[x] = op(s[sx], d[x]);
    }
  }
}

}  // namespace

void StretchPixels(QImage& dst, const CRect& d, const QImage& src, const CRect& s, DWORD rop) {
  if (d.IsRectEmpty() || s.IsRectEmpty() || dst.depth() != 32 || src.depth() != 32) return;
  const int x0 = std::max(d.left, 0), x1 = std::min(d.right, dst.width());
  const int y0 = std::max(d.top, 0), y1 = std::min(d.bottom, dst.height());
  if (x0 >= x1 || y0 >= y1) return;
  const int dw = d.Width(), dh = d.Height(), sw = s.Width(), sh = s.Height();
  std::vector<int> xs(x1 - x0), ys(y1 - y0);
  for (int x = x0; x < x1; ++x) {
    const int sx = s.left + MapIndex(x - d.left, sw, dw);
    xs[x - x0] = (sx >= 0 && sx < src.width()) ? sx : -1;
  }
  for (int y = y0; y < y1; ++y) {
    const int sy = s.top + MapIndex(y - d.top, sh, dh);
    ys[y - y0] = (sy >= 0 && sy < src.height()) ? sy : -1;
  }
  const DWORD code = rop & ~CAPTUREBLT;
  if (code == SRCCOPY && sw == dw && &src != &dst) {
    // 1:1 copy: whole runs of valid columns at once.
    int first = 0;
    while (first < x1 - x0 && xs[first] < 0) ++first;
    int last = x1 - x0;
    while (last > first && xs[last - 1] < 0) --last;
    if (first >= last) return;
    for (int y = y0; y < y1; ++y) {
      if (ys[y - y0] < 0) continue;
      std::memcpy(reinterpret_cast<QRgb*>(dst.scanLine(y)) + x0 + first,
                  reinterpret_cast<const QRgb*>(src.constScanLine(ys[y - y0])) + xs[first],
                  static_cast<size_t>(last - first) * 4);
    }
    return;
  }
  const QImage copy = (&src == &dst) ? src.copy() : QImage();
  const QImage& from = (&src == &dst) ? copy : src;
  switch (code) {
    case SRCPAINT: TransferRows(dst, x0, x1, y0, y1, xs, ys, from, [](QRgb a, QRgb b) { return a | b; }); break;
    case SRCAND: TransferRows(dst, x0, x1, y0, y1, xs, ys, from, [](QRgb a, QRgb b) { return a & b; }); break;
    case SRCINVERT: TransferRows(dst, x0, x1, y0, y1, xs, ys, from, [](QRgb a, QRgb b) { return a ^ b; }); break;
    case NOTSRCCOPY: TransferRows(dst, x0, x1, y0, y1, xs, ys, from, [](QRgb a, QRgb) { return ~a; }); break;
    case DSTINVERT: TransferRows(dst, x0, x1, y0, y1, xs, ys, from, [](QRgb, QRgb b) { return ~b; }); break;
    case BLACKNESS: TransferRows(dst, x0, x1, y0, y1, xs, ys, from, [](QRgb, QRgb) { return QRgb(0); }); break;
    case WHITENESS: TransferRows(dst, x0, x1, y0, y1, xs, ys, from, [](QRgb, QRgb) { return ~QRgb(0); }); break;
    default: TransferRows(dst, x0, x1, y0, y1, xs, ys, from, [](QRgb a, QRgb) { return a; }); break;
  }
}

bool StretchToDC(HDC dc, const CRect& dstRect, const QImage& src, const CRect& srcRect, DWORD rop,
                 int stretchMode) {
  if (!dc) return false;
  if (QImage* image = DCImage(dc)) {
    const bool resized = dstRect.Width() != srcRect.Width() || dstRect.Height() != srcRect.Height();
    if (stretchMode == HALFTONE && resized && !dstRect.IsRectEmpty() && !srcRect.IsRectEmpty()) {
      // Qt's smooth scaling averages the source pixels under each target
      // pixel when it shrinks and interpolates when it enlarges; the scaled
      // part then goes in one to one. Parts of the source rectangle beyond
      // the picture count as transparent black here (the whole-pixel
      // transfer leaves the target pixels under them alone).
      const QImage part = src.copy(ToQRect(srcRect))
                              .scaled(dstRect.Width(), dstRect.Height(), Qt::IgnoreAspectRatio,
                                      Qt::SmoothTransformation)
                              .convertToFormat(kCanvasFormat);
      StretchPixels(*image, dstRect, part, CRect(0, 0, part.width(), part.height()), rop);
      return true;
    }
    if (src.depth() == 32) {
      StretchPixels(*image, dstRect, src, srcRect, rop);
    } else {
      StretchPixels(*image, dstRect, src.convertToFormat(kCanvasFormat), srcRect, rop);
    }
    return true;
  }
  if (dstRect.IsRectEmpty() || srcRect.IsRectEmpty()) return true;
  QPainter::CompositionMode mode;
  switch (rop & ~CAPTUREBLT) {
    case SRCCOPY: mode = QPainter::CompositionMode_Source; break;
    case SRCPAINT: mode = QPainter::RasterOp_SourceOrDestination; break;
    case SRCAND: mode = QPainter::RasterOp_SourceAndDestination; break;
    case SRCINVERT: mode = QPainter::RasterOp_SourceXorDestination; break;
    case NOTSRCCOPY: mode = QPainter::RasterOp_NotSource; break;
    default: return false;
  }
  QPainter painter(dc);
  if (!painter.isActive()) return false;
  painter.setCompositionMode(mode);
  painter.drawImage(ToQRect(dstRect), src, ToQRect(srcRect));
  return true;
}

QImage ImageFromDib(const BITMAPINFOHEADER& header, const void* bits) {
  const int width = header.biWidth;
  const int height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
  const int depth = header.biBitCount;
  if (!bits || width <= 0 || height <= 0 || header.biCompression != 0) return {};
  if (depth != 8 && depth != 24 && depth != 32) return {};
  const std::int64_t rowBytes = static_cast<std::int64_t>(width) * depth / 8;
  if (rowBytes > (1 << 28) || static_cast<std::int64_t>(height) * rowBytes > (std::int64_t{1} << 31)) return {};
  const std::int64_t stride = depth == 32 ? rowBytes : (rowBytes + 3) & ~std::int64_t{3};
  QImage image(width, height, kCanvasFormat);
  if (image.isNull()) return {};
  const auto* base = static_cast<const std::uint8_t*>(bits);
  QRgb palette[256];
  if (depth == 8) {
    const auto* entries = reinterpret_cast<const tagRGBQUAD*>(
        reinterpret_cast<const std::uint8_t*>(&header) + (header.biSize ? header.biSize : 40));
    const unsigned count = header.biClrUsed == 0 || header.biClrUsed > 256 ? 256 : header.biClrUsed;
    for (unsigned i = 0; i < 256; ++i)
      palette[i] = i < count ? qRgb(entries[i].rgbRed, entries[i].rgbGreen, entries[i].rgbBlue) : qRgb(0, 0, 0);
  }
  const bool bottomUp = header.biHeight > 0;
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = base + (bottomUp ? height - 1 - y : y) * stride;
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    if (depth == 8) {
      for (int x = 0; x < width; ++x) out[x] = palette[row[x]];
    } else if (depth == 24) {
      CDataHandler::Colour24ToOpaque32(row, out, width);
    } else {
      for (int x = 0; x < width; ++x) out[x] = qRgb(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
    }
  }
  return image;
}
