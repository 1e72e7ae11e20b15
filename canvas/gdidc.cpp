#include "canvas/gdidc.h"

#include "canvas/layeredwindow.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QTransform>
#include <QWidget>

#include <algorithm>
#include <cmath>

using Gdiplus::ARGB;

// ---------------------------------------------------------------------------
// Image attributes

void Gdiplus::ImageAttributes::SetColorMatrix(const ColorMatrix& matrix) {
  matrix_ = matrix;
  hasMatrix_ = true;
}
void Gdiplus::ImageAttributes::ClearColorMatrix() { hasMatrix_ = false; }
void Gdiplus::ImageAttributes::SetColorKey(ARGB low, ARGB high) {
  keyLow_ = low;
  keyHigh_ = high;
  hasKey_ = true;
}
void Gdiplus::ImageAttributes::ClearColorKey() { hasKey_ = false; }

QImage Gdiplus::ImageAttributes::Apply(const QImage& image) const {
  QImage out = image.convertToFormat(kCanvasFormat);
  if (!hasMatrix_ && !hasKey_) return out;
  const int lr = qRed(keyLow_), lg = qGreen(keyLow_), lb = qBlue(keyLow_);
  const int hr = qRed(keyHigh_), hg = qGreen(keyHigh_), hb = qBlue(keyHigh_);
  for (int y = 0; y < out.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      QRgb px = row[x];
      const int r = qRed(px), g = qGreen(px), b = qBlue(px);
      if (hasKey_ && r >= lr && r <= hr && g >= lg && g <= hg && b >= lb && b <= hb) {
        row[x] = 0;
        continue;
      }
      if (hasMatrix_) {
        const float in[5] = {r / 255.0f, g / 255.0f, b / 255.0f, qAlpha(px) / 255.0f, 1.0f};
        int outc[4];
        for (int c = 0; c < 4; ++c) {
          float v = 0;
          for (int k = 0; k < 5; ++k) v += in[k] * matrix_.m[k][c];
          outc[c] = std::clamp(static_cast<int>(std::lround(v * 255.0f)), 0, 255);
        }
        row[x] = qRgba(outc[0], outc[1], outc[2], outc[3]);
      }
    }
  }
  return out;
}

// ---------------------------------------------------------------------------
// Helpers

namespace {

constexpr ARGB kDcTransparent = 0x01000000;

QColor Argb(ARGB c) { return QColor::fromRgba(c); }

// Integer coordinates name pixel centres. Smooth drawing is shifted by half
// a pixel to match; aliased drawing only for odd pen widths, so that the
// pen's edges fall on pixel boundaries.
double PenOffset(bool smooth, float width) {
  return (smooth || static_cast<int>(width) % 2 != 0) ? 0.5 : 0.0;
}

bool Begin(QPainter& p, QPaintDevice* device, bool smooth, const std::optional<CRect>& clip = std::nullopt) {
  if (!device || !p.begin(device)) return false;
  if (clip) p.setClipRect(ToQRect(*clip));
  p.setRenderHint(QPainter::Antialiasing, smooth);
  p.setRenderHint(QPainter::SmoothPixmapTransform, true);
  p.setRenderHint(QPainter::TextAntialiasing, true);
  return true;
}

Qt::PenCapStyle CapStyle(Gdiplus::LineCap cap) {
  switch (cap) {
    case Gdiplus::LineCapFlat:
    case Gdiplus::LineCapNoAnchor:
    case Gdiplus::LineCapArrowAnchor:
      return Qt::FlatCap;
    case Gdiplus::LineCapSquare:
    case Gdiplus::LineCapSquareAnchor:
      return Qt::SquareCap;
    default:
      return Qt::RoundCap;
  }
}

QPointF Rotated(QPointF v, double degrees) {
  const double a = degrees * M_PI / 180.0;
  const double c = std::cos(a), s = std::sin(a);
  return {v.x() * c - v.y() * s, v.x() * s + v.y() * c};
}

// Andrew's monotone chain: the convex hull in order, without collinear points.
QPolygonF ConvexHull(std::vector<QPointF> pts) {
  std::sort(pts.begin(), pts.end(), [](const QPointF& a, const QPointF& b) {
    return a.x() < b.x() || (a.x() == b.x() && a.y() < b.y());
  });
  pts.erase(std::unique(pts.begin(), pts.end()), pts.end());
  if (pts.size() < 3) return QPolygonF(QList<QPointF>(pts.begin(), pts.end()));
  auto cross = [](const QPointF& o, const QPointF& a, const QPointF& b) {
    return (a.x() - o.x()) * (b.y() - o.y()) - (a.y() - o.y()) * (b.x() - o.x());
  };
  std::vector<QPointF> hull(2 * pts.size());
  size_t k = 0;
  for (size_t i = 0; i < pts.size(); ++i) {
    while (k >= 2 && cross(hull[k - 2], hull[k - 1], pts[i]) <= 0) --k;
    hull[k++] = pts[i];
  }
  for (size_t i = pts.size() - 1, t = k + 1; i-- > 0;) {
    while (k >= t && cross(hull[k - 2], hull[k - 1], pts[i]) <= 0) --k;
    hull[k++] = pts[i];
  }
  hull.resize(k - 1);
  return QPolygonF(QList<QPointF>(hull.begin(), hull.end()));
}

// The eraser's footprint around a point: the default slanted rectangle, or
// the 20·scale × 40·scale rectangle turned by the angle.
std::vector<QPointF> Footprint(QPointF c, bool scaled, float scale, int angle) {
  if (!scaled)
    return {c + QPointF(-6, -16), c + QPointF(17, 7), c + QPointF(7, 17), c + QPointF(-16, -6)};
  const double hw = 10.0 * scale, hh = 20.0 * scale;
  return {c + Rotated({-hw, -hh}, angle), c + Rotated({hw, -hh}, angle), c + Rotated({hw, hh}, angle),
          c + Rotated({-hw, hh}, angle)};
}

// Draws a polyline with the pen and adds arrow heads where an end has the
// arrow anchor cap; the line stops at the head's base so no cap shows past its tip.
void Stroke(QPainter& p, const QPen& pen, QPolygonF line, Gdiplus::LineCap startCap, Gdiplus::LineCap endCap,
            bool joined) {
  if (line.size() < 2) return;
  const double w = std::max<double>(pen.widthF(), 1.0);
  const double head = 2.0 * w;
  QPolygonF heads[2];
  auto arrow = [&](int tipIndex, int step) -> bool {
    // Find the nearest point behind the tip that is not on it.
    const QPointF tip = line[tipIndex];
    int i = tipIndex + step;
    while (i >= 0 && i < line.size() && line[i] == tip) i += step;
    if (i < 0 || i >= line.size()) return false;
    QPointF dir = tip - line[i];
    const double len = std::hypot(dir.x(), dir.y());
    dir /= len;
    const QPointF normal(-dir.y(), dir.x());
    const QPointF base = tip - dir * head;
    heads[step > 0 ? 0 : 1] = QPolygonF({tip, base + normal * w, base - normal * w});
    // Shorten the segment to the head's base (or drop it when shorter).
    line[tipIndex] = len > head ? base : line[i];
    return true;
  };
  if (startCap == Gdiplus::LineCapArrowAnchor) arrow(0, 1);
  if (endCap == Gdiplus::LineCapArrowAnchor) arrow(static_cast<int>(line.size()) - 1, -1);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  if (joined) {
    p.drawPolyline(line);
  } else {
    for (int i = 0; i + 1 < line.size(); ++i) p.drawLine(line[i], line[i + 1]);
  }
  for (const auto& h : heads) {
    if (h.isEmpty()) continue;
    p.setPen(Qt::NoPen);
    p.setBrush(pen.color());
    p.drawPolygon(h);
  }
}

// Horizontal alignment from the text-drawing flags: only 0x25 centres.
int TextFlags(unsigned format) {
  const int horizontal = format == 0x25 ? Qt::AlignHCenter : Qt::AlignLeft;
  return horizontal | Qt::AlignVCenter | Qt::TextWordWrap;
}

void DrawTextInto(QPainter& p, const QString& text, const QFont& font, const QRectF& rect, ARGB color,
                  int flags) {
  p.setFont(font);
  p.setPen(Argb(color));
  p.drawText(rect, flags, text);
}

}  // namespace

// ---------------------------------------------------------------------------
// Pen

void CGdiDC::Init() { pen_ = std::make_shared<Pen>(); }

int CGdiDC::SetPenColor(ARGB color) {
  if (!pen_) return 0;
  pen_->color = color;
  return 1;
}
ARGB CGdiDC::GetPenColor() const { return pen_ ? pen_->color : 0; }
int CGdiDC::SetPenWidth(int width) {
  if (!pen_) return 0;
  pen_->width = static_cast<float>(width);
  return 1;
}
float CGdiDC::GetPenWidth() const { return pen_ ? pen_->width : 0.0f; }
int CGdiDC::SetPenDashStyle(Gdiplus::DashStyle style) {
  if (!pen_) return 0;
  pen_->dash = style;
  return 1;
}
int CGdiDC::SetPenStartCap(Gdiplus::LineCap cap) {
  if (!pen_) return 0;
  pen_->startCap = cap;
  return 1;
}
int CGdiDC::SetPenEndCap(Gdiplus::LineCap cap) {
  if (!pen_) return 0;
  pen_->endCap = cap;
  return 1;
}

namespace {

QPen ToQPen(ARGB color, float width, Gdiplus::DashStyle dash, Gdiplus::LineCap cap) {
  QPen pen(Argb(color));
  pen.setWidthF(width);
  pen.setJoinStyle(Qt::RoundJoin);
  pen.setCapStyle(CapStyle(cap));
  // Dash lengths in pen widths, as the classic dash styles define them.
  switch (dash) {
    case Gdiplus::DashStyleDash: pen.setDashPattern({3, 1}); break;
    case Gdiplus::DashStyleDot: pen.setDashPattern({1, 1}); break;
    case Gdiplus::DashStyleDashDot: pen.setDashPattern({3, 1, 1, 1}); break;
    case Gdiplus::DashStyleDashDotDot: pen.setDashPattern({3, 1, 1, 1, 1, 1}); break;
    default: pen.setStyle(Qt::SolidLine); break;
  }
  return pen;
}

}  // namespace

// ---------------------------------------------------------------------------
// Lines

int CGdiDC::DrawLine(HDC dc, CPoint from, CPoint to) {
  return DrawLine(dc, std::vector<CPoint>{from, to});
}

int CGdiDC::DrawLine(HDC dc, const std::vector<CPoint>& points) {
  if (!pen_) return 0;
  QPainter p;
  if (!Begin(p, dc, true, clip_)) return 0;
  p.translate(0.5, 0.5);
  const QPen pen = ToQPen(pen_->color, pen_->width, pen_->dash, pen_->startCap);
  for (size_t i = 0; i + 1 < points.size(); ++i) {
    QPolygonF seg({QPointF(points[i].x, points[i].y), QPointF(points[i + 1].x, points[i + 1].y)});
    Stroke(p, pen, seg, pen_->startCap, pen_->endCap, false);
  }
  return 1;
}

int CGdiDC::DrawLines(HDC dc, const std::vector<CPoint>& points) {
  if (!pen_) return 0;
  QPainter p;
  if (!Begin(p, dc, true, clip_)) return 0;
  p.translate(0.5, 0.5);
  QPolygonF line;
  for (const CPoint& pt : points) line << QPointF(pt.x, pt.y);
  Stroke(p, ToQPen(pen_->color, pen_->width, pen_->dash, pen_->startCap), line, pen_->startCap, pen_->endCap,
         true);
  return 1;
}

int CGdiDC::DrawLines(HDC dc, const std::list<CPoint>& points) {
  return DrawLines(dc, std::vector<CPoint>(points.begin(), points.end()));
}

// ---------------------------------------------------------------------------
// Shapes

CRect CGdiDC::ShapeRect(CPoint a, CPoint b) const {
  CRect r(std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y));
  // Keep the outline's outer edge inside the dragged rectangle.
  const int inset = static_cast<int>(pen_ ? pen_->width : 1.0f) / 2;
  r.DeflateRect(inset, inset);
  if (r.left >= r.right) r.left = r.right = (r.left + r.right) / 2;
  if (r.top >= r.bottom) r.top = r.bottom = (r.top + r.bottom) / 2;
  return r;
}

namespace {

void DrawShapeIn(QPainter& p, const CRect& r, int shape) {
  switch (shape) {
    case 0:
      p.drawRect(QRectF(r.left, r.top, r.Width(), r.Height()));
      break;
    case 1:
    case 2:
      p.drawEllipse(QRectF(r.left, r.top, r.Width(), r.Height()));
      break;
    default: {
      const QPointF pts[4] = {{double(r.left), double(r.bottom)},
                              {double((r.left + r.right) / 2), double(r.top)},
                              {double(r.right), double(r.bottom)},
                              {double(r.left), double(r.bottom)}};
      p.drawPolygon(pts, 4);
      break;
    }
  }
}

}  // namespace

int CGdiDC::DrawShape(HDC dc, CPoint a, CPoint b, Shape shape) {
  if (!pen_) return 0;
  CRect r = ShapeRect(a, b);
  if (shape == Shape::Circle) {
    // Square it, keeping the top-left corner.
    if (r.Height() < r.Width()) r.right = r.left + r.Height();
    else if (r.Width() < r.Height()) r.bottom = r.top + r.Width();
  }
  QPainter p;
  const bool smooth = shape != Shape::Rect;
  if (!Begin(p, dc, smooth, clip_)) return 0;
  const double offset = PenOffset(smooth, pen_->width);
  p.translate(offset, offset);
  p.setPen(ToQPen(pen_->color, pen_->width, pen_->dash, pen_->startCap));
  p.setBrush(Qt::NoBrush);
  DrawShapeIn(p, r, static_cast<int>(shape));
  return 1;
}

int CGdiDC::DrawRect(HDC dc, CPoint a, CPoint b) { return DrawShape(dc, a, b, Shape::Rect); }
int CGdiDC::DrawCircle(HDC dc, CPoint a, CPoint b) { return DrawShape(dc, a, b, Shape::Circle); }
int CGdiDC::DrawEllipse(HDC dc, CPoint a, CPoint b) { return DrawShape(dc, a, b, Shape::Ellipse); }
int CGdiDC::DrawTriangle(HDC dc, CPoint a, CPoint b) { return DrawShape(dc, a, b, Shape::Triangle); }

QImage* CGdiDC::SaveShape(int width, int height, Shape shape) {
  if (!pen_ || width <= 0 || height <= 0) return nullptr;
  const int least = 2 * static_cast<int>(pen_->width);
  if (width < least || height < least) return nullptr;
  QImage* image = NewCanvasBitmap(width, height, 0);
  if (!image) return nullptr;
  DrawShape(image, CPoint(0, 0), CPoint(width, height), shape);
  return image;
}

QImage* CGdiDC::SaveRect(int width, int height) { return SaveShape(width, height, Shape::Rect); }
QImage* CGdiDC::SaveEllipse(int width, int height) { return SaveShape(width, height, Shape::Ellipse); }
QImage* CGdiDC::SaveTriangle(int width, int height) { return SaveShape(width, height, Shape::Triangle); }

int CGdiDC::DrawFillRect(HDC dc, CPoint a, CPoint b, ARGB color) {
  CRect r(a.x, a.y, b.x, b.y);
  r.NormalizeRect();
  QPainter p;
  if (!Begin(p, dc, false, clip_)) return 0;
  p.fillRect(ToQRect(r), Argb(color));
  return 1;
}

int CGdiDC::DrawOuterFrame(HDC dc, CPoint a, CPoint b, int width, ARGB color) {
  CRect r(a.x, a.y, b.x, b.y);
  r.NormalizeRect();
  r.InflateRect(width / 2, width / 2);
  QPainter p;
  if (!Begin(p, dc, false, clip_)) return 0;
  const double offset = PenOffset(false, static_cast<float>(width));
  p.translate(offset, offset);
  QPen pen = ToQPen(color, static_cast<float>(width), Gdiplus::DashStyleSolid, Gdiplus::LineCapFlat);
  pen.setJoinStyle(Qt::MiterJoin);  // a fresh pen: square corners
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(r.left, r.top, r.Width(), r.Height()));
  return 1;
}

int CGdiDC::DrawBlackFrame(HDC dc, CPoint a, CPoint b, int handles) {
  CRect r(a.x, a.y, b.x, b.y);
  r.NormalizeRect();
  QPainter p;
  if (!Begin(p, dc, false, clip_)) return 0;
  const QColor black = Argb(0xFF000000);
  p.save();
  p.translate(0.5, 0.5);
  QPen pen(black);
  pen.setWidth(1);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(r.left, r.top, r.Width(), r.Height()));
  p.restore();
  if (handles) {
    for (CPoint c : {r.TopLeft(), CPoint(r.right, r.top), r.BottomRight(), CPoint(r.left, r.bottom)})
      p.fillRect(QRect(c.x - 2, c.y - 2, 4, 4), black);
  }
  return 1;
}

// ---------------------------------------------------------------------------
// Text

int CGdiDC::DrawTextW(HDC dc, const QString& text, const LOGFONTW* font, CRect rect, ARGB color,
                      unsigned format) {
  QPainter p;
  if (!Begin(p, dc, true, clip_)) return 0;
  DrawTextInto(p, text, font ? FontFromLogFont(*font) : DCFont(dc),
               QRectF(rect.left, rect.top, rect.Width(), rect.Height()), color, TextFlags(format));
  // Wash the rectangle with alpha 1 so a layered window keeps receiving the mouse there.
  p.fillRect(ToQRect(rect), Argb(kDcTransparent));
  return 1;
}

QImage* CGdiDC::DrawTextW(int width, int height, const QString& text, const LOGFONTW* font, ARGB color,
                          unsigned format) {
  QImage* image = NewCanvasBitmap(width, height, 0);
  if (!image) return nullptr;
  QPainter p;
  if (!Begin(p, image, true)) {
    delete image;
    return nullptr;
  }
  DrawTextInto(p, text, font ? FontFromLogFont(*font) : DCFont(nullptr), QRectF(0, 0, width, height), color,
               TextFlags(format));
  return image;
}

QImage* CGdiDC::SaveText(const QString& text, const LOGFONTW* font, int width, int height, ARGB color) {
  QImage* image = NewCanvasBitmap(width, height, 0);
  if (!image) return nullptr;
  QPainter p;
  if (!Begin(p, image, true)) {
    delete image;
    return nullptr;
  }
  DrawTextInto(p, text, font ? FontFromLogFont(*font) : DCFont(nullptr), QRectF(0, 0, width, height), color,
               Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap);
  return image;
}

// ---------------------------------------------------------------------------
// Images

int CGdiDC::DrawImage(HDC dc, const QImage* image, CRect dest) {
  if (!image || image->isNull() || dest.IsRectEmpty()) return 0;
  QPainter p;
  if (!Begin(p, dc, true, clip_)) return 0;
  p.drawImage(ToQRect(dest), *image);
  return 1;
}

int CGdiDC::DrawImage(HDC dc, const QImage* image, CRect dest, int angle) {
  if (!image || image->isNull()) return 0;
  QPainter p;
  if (!Begin(p, dc, true, clip_)) return 0;
  const QPointF c((dest.left + dest.right) / 2.0, (dest.top + dest.bottom) / 2.0);
  p.translate(c);
  p.rotate(angle);
  p.translate(-c);
  p.drawImage(QRectF(dest.left, dest.top, dest.Width(), dest.Height()), *image);
  return 1;
}

int CGdiDC::DrawImage(HDC dc, const QImage* image, CRect dest, const Gdiplus::ImageAttributes* attributes) {
  if (!image) return 0;
  return DrawImage(dc, image, dest, CRect(0, 0, image->width(), image->height()), attributes);
}

int CGdiDC::DrawImage(HDC dc, const QImage* image, CRect dest, CRect source,
                      const Gdiplus::ImageAttributes* attributes) {
  if (!image || image->isNull() || dest.IsRectEmpty() || source.IsRectEmpty()) return 0;
  QPainter p;
  if (!Begin(p, dc, true, clip_)) return 0;
  if (attributes) {
    p.drawImage(ToQRect(dest), attributes->Apply(image->copy(ToQRect(source))));
  } else {
    p.drawImage(ToQRect(dest), *image, ToQRect(source));
  }
  return 1;
}

int CGdiDC::UpdateImage(QImage*& image, int width, int height) {
  if (!image || image->isNull()) return 0;
  QImage* scaled = NewCanvasBitmap(width, height, 0);
  if (!scaled) return 0;
  {
    QPainter p;
    if (!Begin(p, scaled, true)) {
      delete scaled;
      return 0;
    }
    p.drawImage(QRect(0, 0, width, height), *image);
  }
  delete image;
  image = scaled;
  return 1;
}

// ---------------------------------------------------------------------------
// Eraser

int CGdiDC::DrawEraser(HDC dc, CPoint point, float scale, int angle) {
  if (scale <= 0) return 0;
  QPainter p;
  if (!Begin(p, dc, false, clip_)) return 0;
  p.translate(point.x, point.y);  // the 2-pixel outline's edges on pixel boundaries
  p.rotate(angle);
  const int hw = static_cast<int>(10 * scale), hh = static_cast<int>(20 * scale);
  const int band = static_cast<int>(5 * scale);
  QPen pen(Argb(0xFF000000));
  pen.setWidth(2);
  p.setPen(pen);
  p.setBrush(Qt::white);
  p.drawRect(QRect(-hw, -hh, 2 * hw, 2 * hh));
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  p.drawRect(QRect(-hw, -band, 2 * hw, 2 * band));
  return 1;
}

int CGdiDC::Erase(QPaintDevice* device, const CRect* placement, CPoint from, CPoint to, bool sweep,
                  bool scaled, float scale, int angle) {
  if (!device) return 0;
  if (scaled && scale < 1.0f) return 0;
  if (sweep && from == to) return 0;
  if (placement) {
    from = from - placement->TopLeft();
    to = to - placement->TopLeft();
  }
  std::vector<QPointF> pts = Footprint(QPointF(from.x, from.y), scaled, scale, angle);
  if (sweep) {
    const auto second = Footprint(QPointF(to.x, to.y), scaled, scale, angle);
    pts.insert(pts.end(), second.begin(), second.end());
  }
  QPainterPath path;
  path.addPolygon(ConvexHull(pts));
  path.closeSubpath();
  QPainter p;
  if (!Begin(p, device, false)) return 0;
  p.translate(0.5, 0.5);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.fillPath(path, Argb(placement ? 0u : kDcTransparent));
  return 1;
}

int CGdiDC::EraserRect(HDC dc, CPoint point) { return Erase(dc, nullptr, point, point, false, false, 1, 0); }
int CGdiDC::EraserRect(HDC dc, CPoint from, CPoint to) { return Erase(dc, nullptr, from, to, true, false, 1, 0); }
int CGdiDC::EraserRect(HDC dc, CPoint point, float scale, int angle) {
  return Erase(dc, nullptr, point, point, false, true, scale, angle);
}
int CGdiDC::EraserRect(HDC dc, CPoint from, CPoint to, float scale, int angle) {
  return Erase(dc, nullptr, from, to, true, true, scale, angle);
}

namespace {
bool UsableImage(const QImage* image) { return image && image->width() > 0 && image->height() > 0; }
}  // namespace

int CGdiDC::EraserRect(QImage* image, CRect placement, CPoint point) {
  if (!UsableImage(image)) return 0;
  return Erase(image, &placement, point, point, false, false, 1, 0);
}
int CGdiDC::EraserRect(QImage* image, CRect placement, CPoint from, CPoint to) {
  if (!UsableImage(image)) return 0;
  return Erase(image, &placement, from, to, true, false, 1, 0);
}
int CGdiDC::EraserRect(QImage* image, CRect placement, CPoint point, float scale, int angle) {
  if (!UsableImage(image)) return 0;
  return Erase(image, &placement, point, point, false, true, scale, angle);
}
int CGdiDC::EraserRect(QImage* image, CRect placement, CPoint from, CPoint to, float scale, int angle) {
  if (!UsableImage(image)) return 0;
  return Erase(image, &placement, from, to, true, true, scale, angle);
}

// ---------------------------------------------------------------------------
// Whole surfaces

int CGdiDC::Clear(HDC dc, ARGB color) {
  if (!dc) return 0;
  if (QImage* image = DCImage(dc)) {
    image->fill(color);
    return 1;
  }
  QPainter p;
  if (!Begin(p, dc, false)) return 0;
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.fillRect(QRect(0, 0, dc->width(), dc->height()), Argb(color));
  return 1;
}

int CGdiDC::Paste(HWND window, HDC dc, int alpha) {
  auto* widget = qobject_cast<QWidget*>(window);
  const QImage* image = DCImage(dc);
  if (!widget || !image || image->isNull()) return 0;
  return PresentOnWindow(widget, *image, alpha) ? 1 : 0;
}

int CGdiDC::Paste(HWND window, HDC dc, int alpha, const CRect& changed) {
  auto* widget = qobject_cast<QWidget*>(window);
  const QImage* image = DCImage(dc);
  if (!widget || !image || image->isNull()) return 0;
  return PresentOnWindow(widget, *image, alpha, ToQRect(changed)) ? 1 : 0;
}
