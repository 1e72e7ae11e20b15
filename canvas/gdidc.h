#pragma once
// CGdiDC: one pen plus stateless drawing operations on a device context or
// an image. Every operation opens its own painter, draws and closes it again,
// so nothing but the pen and the images handed to the caller outlives a call.
//
// Colours are 32-bit ARGB values (alpha in the top byte). Bitmaps made here
// are 32-bit ARGB cleared to fully transparent before drawing; the caller
// owns (and deletes) every image returned.
//
// Two transparent values are used: erasing on a device context clears to
// ARGB 0x01000000 (alpha 1: the layered window still receives the mouse
// there), erasing on an image clears to 0.

#include "canvas/devicecontext.h"
#include "platform/messages.h"

#include <QImage>
#include <QString>

#include <list>
#include <memory>
#include <optional>
#include <vector>

namespace Gdiplus {

using ARGB = DWORD;

enum DashStyle {
  DashStyleSolid = 0,
  DashStyleDash = 1,
  DashStyleDot = 2,
  DashStyleDashDot = 3,
  DashStyleDashDotDot = 4,
  DashStyleCustom = 5,
};

enum LineCap {
  LineCapFlat = 0,
  LineCapSquare = 1,
  LineCapRound = 2,
  LineCapTriangle = 3,
  LineCapNoAnchor = 0x10,
  LineCapSquareAnchor = 0x11,
  LineCapRoundAnchor = 0x12,
  LineCapDiamondAnchor = 0x13,
  LineCapArrowAnchor = 0x14,
};

// A colour transform for row vectors (red, green, blue, alpha, 1) in 0..1.
struct ColorMatrix {
  float m[5][5];
};

// How an image is recoloured while it is drawn: an optional colour matrix
// and an optional colour-key range whose pixels become transparent.
class ImageAttributes {
 public:
  void SetColorMatrix(const ColorMatrix& matrix);
  void ClearColorMatrix();
  // Pixels whose red, green and blue all lie between those of `low` and
  // `high` (inclusive) are not drawn.
  void SetColorKey(ARGB low, ARGB high);
  void ClearColorKey();
  // The image as these attributes make it appear (32-bit ARGB).
  QImage Apply(const QImage& image) const;

 private:
  bool hasMatrix_ = false;
  ColorMatrix matrix_{};
  bool hasKey_ = false;
  ARGB keyLow_ = 0;
  ARGB keyHigh_ = 0;
};

}  // namespace Gdiplus

class CGdiDC {
 public:
  CGdiDC() = default;
  ~CGdiDC() = default;
  // Copies share the pen: a change through one is seen by the other.
  CGdiDC(const CGdiDC&) = default;
  CGdiDC& operator=(const CGdiDC&) = default;

  // Creates the pen: colour 0, width 1, round start cap, round joins.
  void Init();

  int SetPenColor(Gdiplus::ARGB color);
  // 0 before Init.
  Gdiplus::ARGB GetPenColor() const;
  int SetPenWidth(int width);
  int SetPenDashStyle(Gdiplus::DashStyle style);
  int SetPenStartCap(Gdiplus::LineCap cap);
  int SetPenEndCap(Gdiplus::LineCap cap);
  // The pen's width as stored (0 before Init).
  float GetPenWidth() const;

  // Lines with the pen.
  int DrawLine(HDC dc, CPoint from, CPoint to);
  // Each pair of neighbouring points as a line of its own (no joins).
  int DrawLine(HDC dc, const std::vector<CPoint>& points);
  // One polyline through all points (joins applied).
  int DrawLines(HDC dc, const std::vector<CPoint>& points);
  int DrawLines(HDC dc, const std::list<CPoint>& points);

  // Shape outlines with the pen inside the rectangle of two corner points.
  int DrawRect(HDC dc, CPoint a, CPoint b);
  int DrawCircle(HDC dc, CPoint a, CPoint b);
  int DrawEllipse(HDC dc, CPoint a, CPoint b);
  int DrawTriangle(HDC dc, CPoint a, CPoint b);

  int DrawFillRect(HDC dc, CPoint a, CPoint b, Gdiplus::ARGB color);
  // The rectangle grown by width / 2, drawn with its own pen.
  int DrawOuterFrame(HDC dc, CPoint a, CPoint b, int width, Gdiplus::ARGB color);
  // A 1-pixel black frame, with 4 × 4 corner handles when `handles` is set.
  int DrawBlackFrame(HDC dc, CPoint a, CPoint b, int handles);

  // Text in a rectangle; `font` null uses the context's font. Format 0x25
  // centres horizontally, everything else is left-aligned; always centred
  // vertically. The rectangle is then washed with ARGB 0x01000000.
  int DrawTextW(HDC dc, const QString& text, const LOGFONTW* font, CRect rect, Gdiplus::ARGB color,
                unsigned format);
  // The same text rendered into a new width × height bitmap.
  QImage* DrawTextW(int width, int height, const QString& text, const LOGFONTW* font,
                    Gdiplus::ARGB color, unsigned format);
  // Text from the top-left corner of a new bitmap, wrapped at word ends.
  QImage* SaveText(const QString& text, const LOGFONTW* font, int width, int height, Gdiplus::ARGB color);

  // The shape drawn with the pen into a new bitmap over (0, 0, width, height);
  // null when a side is not positive or smaller than twice the pen width.
  QImage* SaveRect(int width, int height);
  QImage* SaveEllipse(int width, int height);
  QImage* SaveTriangle(int width, int height);

  // The whole image scaled into the destination.
  int DrawImage(HDC dc, const QImage* image, CRect dest);
  // Turned by `angle` degrees (clockwise on screen) about the destination's centre.
  int DrawImage(HDC dc, const QImage* image, CRect dest, int angle);
  int DrawImage(HDC dc, const QImage* image, CRect dest, const Gdiplus::ImageAttributes* attributes);
  int DrawImage(HDC dc, const QImage* image, CRect dest, CRect source,
                const Gdiplus::ImageAttributes* attributes);

  // Replaces `image` by a copy scaled to width × height.
  int UpdateImage(QImage*& image, int width, int height);

  // The eraser's icon at the point, turned by `angle` degrees.
  int DrawEraser(HDC dc, CPoint point, float scale, int angle);
  // Clears the eraser's footprint at a point, or the area it sweeps between
  // two points (0 when the points are equal or the scale is below 1).
  int EraserRect(HDC dc, CPoint point);
  int EraserRect(HDC dc, CPoint from, CPoint to);
  int EraserRect(HDC dc, CPoint point, float scale, int angle);
  int EraserRect(HDC dc, CPoint from, CPoint to, float scale, int angle);
  // The same on an image placed at `placement` (points are in the
  // placement's coordinate space); clears to fully transparent.
  int EraserRect(QImage* image, CRect placement, CPoint point);
  int EraserRect(QImage* image, CRect placement, CPoint from, CPoint to);
  int EraserRect(QImage* image, CRect placement, CPoint point, float scale, int angle);
  int EraserRect(QImage* image, CRect placement, CPoint from, CPoint to, float scale, int angle);

  // Fills the whole surface with exactly this value.
  int Clear(HDC dc, Gdiplus::ARGB color);

  // Presents the memory context on a top-level window (its current size,
  // from the context's origin), blended with per-pixel alpha times `alpha`.
  int Paste(HWND window, HDC dc, int alpha);
  // The same when the context differs from what the window shows only
  // inside `changed`: windows of this program's window class take only
  // that part.
  int Paste(HWND window, HDC dc, int alpha, const CRect& changed);

  // Until ResetClipRect, the drawing on device contexts (lines, shapes,
  // frames, text, images, the eraser's icon) changes only pixels inside the
  // rectangle, each exactly as an unlimited drawing would. Erasing, Clear
  // and the bitmaps made here are not limited.
  void SetClipRect(const CRect& rect) { clip_ = rect; }
  void ResetClipRect() { clip_.reset(); }

  // The rectangle the shape operations draw in (pen width inset, collapse).
  CRect ShapeRect(CPoint a, CPoint b) const;

 private:
  struct Pen {
    Gdiplus::ARGB color = 0;
    float width = 1.0f;
    Gdiplus::DashStyle dash = Gdiplus::DashStyleSolid;
    Gdiplus::LineCap startCap = Gdiplus::LineCapRound;
    Gdiplus::LineCap endCap = Gdiplus::LineCapFlat;
  };
  enum class Shape { Rect, Circle, Ellipse, Triangle };

  int DrawShape(HDC dc, CPoint a, CPoint b, Shape shape);
  QImage* SaveShape(int width, int height, Shape shape);
  int Erase(QPaintDevice* device, const CRect* placement, CPoint from, CPoint to, bool sweep,
            bool scaled, float scale, int angle);

  std::shared_ptr<Pen> pen_;
  std::optional<CRect> clip_;
};
