#include "app/paint_canvas.h"

#include <QCursor>
#include <QPixmap>

#include <algorithm>
#include <cmath>

#include "contracts/widgetta/ui_image.h"

using Gdiplus::ARGB;

namespace {

constexpr ARGB kClear = 0x00000000;
constexpr ARGB kMouseCatch = 0x01000000;  // alpha 1: shows nothing, takes the mouse
constexpr ARGB kAlphaEven = 0xFEFFFFFF;
constexpr ARGB kAlphaOdd = 0x01000000;
constexpr ARGB kShapeFrame = 0xFF000000;
constexpr int kEraserAngle = -45;
constexpr int kHitMargin = 4;
constexpr int kGripHalf = 4;  // corner squares of 8 × 8 pixels
constexpr float kEraserMin = 1.0f;
constexpr float kEraserMax = 10.0f;
constexpr float kWheelPerScale = 500.0f;
constexpr int kFadeStep = 15;
constexpr ARGB kFadeEnd = 0x10000000;  // alpha below 16 ends the fade

CRect Normalised(CPoint a, CPoint b) {
  CRect r(a.x, a.y, b.x, b.y);
  r.NormalizeRect();
  return r;
}

// The cursor of a tool: picture 153..163 of the image folder with its hot
// spot (the pen's tip, the centre of a shape cursor's cross).
struct CursorArt {
  int id;
  int hotX;
  int hotY;
};
constexpr CursorArt kCursors[] = {
    {153, 3, 28}, {154, 3, 28}, {155, 3, 28}, {156, 3, 28}, {157, 3, 28},
    {159, 8, 8},  {160, 8, 8},  {161, 8, 8},  {162, 8, 8},  {163, 8, 8},
};

bool SetArtCursor(CWnd* window, int id) {
  for (const CursorArt& c : kCursors) {
    if (c.id != id) continue;
    const QImage art = LoadUIPicture(UIImagePath(QStringLiteral("paint_cursor_%1.svg").arg(id)), QSize(32, 32), true);
    if (art.isNull()) return false;
    window->setCursor(QCursor(QPixmap::fromImage(art), c.hotX, c.hotY));
    return true;
  }
  return false;
}

}  // namespace

// ---- Set-up -------------------------------------------------------------------------------------

int CPaintCanvas::Attach(CWnd* window) {
  if (!window) return 0;
  window_ = window;
  const CRect client = window->GetClientRect();
  if (!committed_.CreateBufferDC(nullptr, client) || !working_.CreateBufferDC(nullptr, client)) return 0;
  scratch_.CreateBufferDC(nullptr, client);
  pen_.Init();
  pen_.Clear(committed_.GetBufferDC(), kClear);
  pen_.Clear(working_.GetBufferDC(), kClear);
  window->SetMousePassThrough(tool_ == PAINT_NONE);
  Present(committed_);
  UpdateCursor();
  return 1;
}

void CPaintCanvas::Resize() {
  if (!window_) return;
  const CRect client = window_->GetClientRect();
  if (client.IsRectEmpty() || client == committed_.GetBufferRect()) return;
  CBufferDC old = committed_;
  committed_.CreateBufferDC(nullptr, client);
  working_.CreateBufferDC(nullptr, client);
  scratch_.CreateBufferDC(nullptr, client);
  pen_.Clear(committed_.GetBufferDC(), Background());
  // The old content at the same place (not stretched).
  if (old.GetBufferDC()) old.Paste(committed_.GetBufferDC(), old.GetBufferRect(), SRCCOPY);
  RefreshWorking();
  Redraw();
}

ARGB CPaintCanvas::Background() const { return tool_ == PAINT_NONE ? kClear : kMouseCatch; }

// ---- Settings and tools -----------------------------------------------------------------------

void CPaintCanvas::ApplySettings(int lineType, ARGB colour, int width, int fade) {
  strokeShown_ = false;
  lineType_ = lineType;
  colour_ = colour;
  width_ = width;
  fade_ = fade;
  int tool = PAINT_NONE;
  if (lineType == LINE_FREE)
    tool = PAINT_FREE;
  else if (lineType >= LINE_STRAIGHT && lineType <= LINE_ARROW)
    tool = PAINT_LINE;
  else if (lineType == LINE_SHAPE)
    tool = tool_ >= PAINT_RECT && tool_ <= PAINT_TEXT ? tool_ : PAINT_RECT;
  if (!IsFading()) ApplyPen();
  SetTool(tool);
}

void CPaintCanvas::ApplyPen() {
  pen_.SetPenDashStyle(lineType_ == LINE_DASH ? Gdiplus::DashStyleDash : Gdiplus::DashStyleSolid);
  pen_.SetPenEndCap(lineType_ == LINE_ARROW ? Gdiplus::LineCapArrowAnchor : Gdiplus::LineCapRound);
  pen_.SetPenColor(colour_);
  pen_.SetPenWidth(width_);
}

void CPaintCanvas::Combine(CBufferDC& layer, ARGB value, DWORD rop) {
  strokeShown_ = false;
  CBufferDC mask;
  if (!mask.CreateBufferDC(nullptr, layer.GetBufferRect())) return;
  pen_.Clear(mask.GetBufferDC(), value);
  mask.Paste(layer.GetBufferDC(), mask.GetBufferRect(), rop);
}

void CPaintCanvas::SetTool(int tool) {
  if (tool < PAINT_FREE || tool > PAINT_NONE) tool = PAINT_NONE;
  if (Ready()) {
    if (tool == PAINT_NONE && tool_ != PAINT_NONE) {
      Combine(committed_, kAlphaEven, SRCAND);
      Combine(working_, kAlphaEven, SRCAND);
    } else if (tool != PAINT_NONE && tool_ == PAINT_NONE) {
      Combine(committed_, kAlphaOdd, SRCINVERT);
    }
  }
  const bool wasNone = tool_ == PAINT_NONE;
  tool_ = tool;
  if (window_) {
    window_->SetMousePassThrough(tool == PAINT_NONE);
    // Without a compositing manager the drawing tools draw over a picture of
    // the screen as it is now.
    if (wasNone && tool != PAINT_NONE) window_->RefreshBackdrop();
  }
  UpdateCursor();
  if (!IsFading()) Redraw();
}

void CPaintCanvas::UpdateCursor() {
  if (!window_) return;
  const bool fading = fade_ != 0;
  switch (tool_) {
    case PAINT_FREE: SetArtCursor(window_, fading ? 154 : 153); break;
    case PAINT_LINE:
      SetArtCursor(window_, fading                    ? 154
                            : lineType_ == LINE_DASH  ? 156
                            : lineType_ == LINE_ARROW ? 157
                                                      : 155);
      break;
    case PAINT_ERASER: window_->SetCursorShape(CursorShape::Hand); break;
    case PAINT_RECT: SetArtCursor(window_, 159); break;
    case PAINT_CIRCLE: SetArtCursor(window_, 160); break;
    case PAINT_ELLIPSE: SetArtCursor(window_, 161); break;
    case PAINT_TRIANGLE: SetArtCursor(window_, 162); break;
    case PAINT_TEXT: SetArtCursor(window_, 163); break;
    default: window_->SetCursorShape(CursorShape::Arrow); break;
  }
}

// ---- Drawing helpers ----------------------------------------------------------------------------

void CPaintCanvas::RefreshWorking() {
  strokeShown_ = false;
  working_.Copy(committed_);
}

void CPaintCanvas::DrawObjects(HDC dc) {
  for (const Object& o : objects_) pen_.DrawImage(dc, o.image.get(), o.rect);
}

void CPaintCanvas::DrawAbove(HDC dc) {
  DrawObjects(dc);
  if (tool_ == PAINT_SELECT && !objects_.empty()) {
    const CRect& r = objects_.back().rect;
    pen_.DrawBlackFrame(dc, r.TopLeft(), r.BottomRight(), 1);
  }
}

void CPaintCanvas::Present(const CBufferDC& buffer) {
  strokeShown_ = false;
  if (window_) pen_.Paste(window_, buffer.GetBufferDC(), 255);
}

void CPaintCanvas::Redraw() { RedrawOver(committed_); }

void CPaintCanvas::RedrawOver(const CBufferDC& base) {
  if (!Ready()) return;
  scratch_.Copy(base);
  DrawAbove(scratch_.GetBufferDC());
  Present(scratch_);
}

void CPaintCanvas::DrawStroke(int kind) {
  RefreshWorking();
  InkStroke(kind);
}

void CPaintCanvas::InkStroke(int kind, std::size_t from) {
  if (kind == PAINT_FREE) {
    // A stroke of one point (a tap) is a dot: a line one pixel long with
    // the pen's round caps (a line of no length draws nothing).
    std::vector<CPoint> line(points_.begin() + static_cast<std::ptrdiff_t>(from), points_.end());
    if (line.size() == 1) line.push_back(CPoint(line.front().x + 1, line.front().y));
    pen_.DrawLines(working_.GetBufferDC(), line);
  } else if (last_ != press_) {
    pen_.DrawLine(working_.GetBufferDC(), press_, last_);
  }
}

bool CPaintCanvas::MoveShownStroke(CPoint p) {
  if (!strokeShown_ || (dragKind_ == PAINT_FREE && lineType_ != LINE_FREE)) return false;
  // Pens of one pixel are drawn segment by segment from where each enters
  // the drawing's limits, so a part of their line can differ from the whole.
  if (pen_.GetPenWidth() <= 1.0f) return false;
  // Objects drawn scaled (during a resize) are drawn whole: only 1:1 images
  // are certain to give the same pixels when drawn in part.
  for (const Object& o : objects_)
    if (o.image->width() != o.rect.Width() || o.image->height() != o.rect.Height()) return false;
  // The pixels that change: around the new segment of a freehand stroke
  // (the old end's cap becomes a join there), or the old and the new line
  // of a straight one. The pen reaches half its width past a line and an
  // arrow head about 2.3 widths past its tip; the margins are generous and
  // take in the smoothed edge.
  const int width = static_cast<int>(std::ceil(pen_.GetPenWidth()));
  const int reach = (lineType_ == LINE_ARROW ? 3 * width : width) + 2;
  auto around = [reach](CPoint a, CPoint b) {
    CRect r = Normalised(a, b);
    r.InflateRect(reach, reach);
    return r;
  };
  CRect changed;
  if (dragKind_ == PAINT_FREE) {
    if (points_.back() == p) return true;  // the same stroke
    changed = around(points_.back(), p);
    points_.push_back(p);
  } else {
    if (last_ == p) return true;
    changed.UnionRect(around(press_, last_), around(press_, p));
  }
  last_ = p;
  // Whole rows: the painter then fills and blends the same runs of pixels
  // as in a whole redraw (a run cut short can round a translucent blend
  // differently).
  const CRect layer = working_.GetBufferRect();
  changed.left = layer.left;
  changed.right = layer.right;
  if (!changed.IntersectRect(changed, layer)) return true;
  // A freehand stroke is drawn from the first segment that comes within the
  // pen's reach of those rows. The point where it is cut lies farther away,
  // so its cap, and the segments before it, leave those rows as the whole
  // stroke leaves them.
  std::size_t from = 0;
  if (dragKind_ == PAINT_FREE) {
    CRect meet;
    while (from + 2 < points_.size() && !meet.IntersectRect(around(points_[from], points_[from + 1]), changed))
      ++from;
  }
  working_.Copy(committed_, changed);
  pen_.SetClipRect(changed);
  InkStroke(dragKind_, from);
  scratch_.Copy(working_, changed);
  DrawAbove(scratch_.GetBufferDC());
  pen_.ResetClipRect();
  pen_.Paste(window_, scratch_.GetBufferDC(), 255, changed);
  return true;
}

void CPaintCanvas::ShowEraser(CPoint p, int angle) {
  scratch_.Copy(committed_);
  DrawObjects(scratch_.GetBufferDC());
  pen_.DrawEraser(scratch_.GetBufferDC(), p, eraserScale_, angle);
  Present(scratch_);
}

// ---- Mouse --------------------------------------------------------------------------------------

void CPaintCanvas::Press(CPoint p) {
  if (!Ready() || tool_ == PAINT_NONE) return;
  if (IsFading()) EndFade();
  press_ = p;
  last_ = p;
  switch (tool_) {
    case PAINT_FREE:
    case PAINT_LINE:
      // The working layer may still hold a shape's preview or the eraser
      // icon: the stroke starts from what is committed.
      dragKind_ = tool_;
      points_.clear();
      if (tool_ == PAINT_FREE) points_.push_back(p);
      DrawStroke(dragKind_);
      RedrawOver(working_);
      strokeShown_ = true;
      break;
    case PAINT_ERASER:
      dragKind_ = PAINT_ERASER;
      RefreshWorking();
      ShowEraser(p, kEraserAngle);
      break;
    case PAINT_SELECT: PressSelect(p); break;
    default: dragKind_ = tool_; break;
  }
}

void CPaintCanvas::PressSelect(CPoint p) {
  grip_ = GRIP_NONE;
  dragKind_ = PAINT_SELECT;
  for (std::size_t i = objects_.size(); i-- > 0;) {
    CRect grown = objects_[i].rect;
    grown.InflateRect(kHitMargin, kHitMargin);
    if (!grown.PtInRect(p)) continue;
    // Brought to the top of the list.
    Object hit = std::move(objects_[i]);
    objects_.erase(objects_.begin() + static_cast<std::ptrdiff_t>(i));
    objects_.push_back(std::move(hit));
    const CRect& r = objects_.back().rect;
    const struct {
      CPoint corner;
      int grip;
    } corners[] = {{r.TopLeft(), GRIP_TOPLEFT},
                   {CPoint(r.right, r.top), GRIP_TOPRIGHT},
                   {r.BottomRight(), GRIP_BOTTOMRIGHT},
                   {CPoint(r.left, r.bottom), GRIP_BOTTOMLEFT}};
    for (const auto& c : corners) {
      const CRect square(c.corner.x - kGripHalf, c.corner.y - kGripHalf, c.corner.x + kGripHalf,
                         c.corner.y + kGripHalf);
      if (square.PtInRect(p)) {
        grip_ = c.grip;
        break;
      }
    }
    if (grip_ == GRIP_NONE && r.PtInRect(p)) grip_ = GRIP_BODY;
    switch (grip_) {
      case GRIP_TOPLEFT:
      case GRIP_BOTTOMRIGHT: window_->SetCursorShape(CursorShape::SizeNWSE); break;
      case GRIP_TOPRIGHT:
      case GRIP_BOTTOMLEFT: window_->SetCursorShape(CursorShape::SizeNESW); break;
      case GRIP_BODY: window_->SetCursorShape(CursorShape::SizeAll); break;
      default: break;
    }
    break;
  }
  Redraw();
}

void CPaintCanvas::Move(CPoint p) {
  if (!Ready()) return;
  switch (dragKind_) {
    case PAINT_FREE:
    case PAINT_LINE:
      if (MoveShownStroke(p)) return;
      if (dragKind_ == PAINT_FREE && (points_.empty() || points_.back() != p)) points_.push_back(p);
      // The objects lie above the stroke in progress, as they will once it is committed.
      last_ = p;
      DrawStroke(dragKind_);
      RedrawOver(working_);
      strokeShown_ = true;
      break;
    case PAINT_ERASER:
      for (Object& o : objects_)
        pen_.EraserRect(o.image.get(), o.rect, last_, p, eraserScale_, kEraserAngle);
      pen_.EraserRect(committed_.GetBufferDC(), last_, p, eraserScale_, kEraserAngle);
      ShowEraser(p, kEraserAngle);
      break;
    case PAINT_RECT:
    case PAINT_CIRCLE:
    case PAINT_ELLIPSE:
    case PAINT_TRIANGLE: {
      RefreshWorking();
      HDC dc = working_.GetBufferDC();
      DrawObjects(dc);
      switch (dragKind_) {
        case PAINT_RECT: pen_.DrawRect(dc, press_, p); break;
        case PAINT_CIRCLE: pen_.DrawCircle(dc, press_, p); break;
        case PAINT_ELLIPSE: pen_.DrawEllipse(dc, press_, p); break;
        default: pen_.DrawTriangle(dc, press_, p); break;
      }
      if (dragKind_ != PAINT_RECT) {
        CRect frame = pen_.ShapeRect(press_, p);
        if (dragKind_ == PAINT_CIRCLE) {
          const int side = std::min(frame.Width(), frame.Height());
          frame.right = frame.left + side;
          frame.bottom = frame.top + side;
        }
        pen_.DrawOuterFrame(dc, frame.TopLeft(), frame.BottomRight(), 1, kShapeFrame);
      }
      Present(working_);
      break;
    }
    case PAINT_SELECT: MoveSelect(p); break;
    case PAINT_TEXT:
      RefreshWorking();
      DrawObjects(working_.GetBufferDC());
      pen_.DrawBlackFrame(working_.GetBufferDC(), press_, p, 0);
      Present(working_);
      break;
    default:
      if (tool_ == PAINT_ERASER) ShowEraser(p, 0);
      return;  // no drag: the last point stays (a fading line keeps its end)
  }
  last_ = p;
}

void CPaintCanvas::MoveSelect(CPoint p) {
  if (objects_.empty() || grip_ == GRIP_NONE) return;
  Object& o = objects_.back();
  CRect r = o.rect;
  const int dx = p.x - last_.x, dy = p.y - last_.y;
  const int least = kMinObjectSide;
  if (grip_ == GRIP_BODY) {
    const CRect client = window_->GetClientRect();
    const int mx = std::clamp(dx, client.left - r.left, client.right - r.right);
    const int my = std::clamp(dy, client.top - r.top, client.bottom - r.bottom);
    r.OffsetRect(mx, my);
  } else {
    // The corner moves the two edges that meet there; each stops short of
    // the opposite edge.
    if (grip_ == GRIP_TOPLEFT || grip_ == GRIP_BOTTOMLEFT) r.left = std::min(r.left + dx, r.right - least);
    if (grip_ == GRIP_TOPRIGHT || grip_ == GRIP_BOTTOMRIGHT) r.right = std::max(r.right + dx, r.left + least);
    if (grip_ == GRIP_TOPLEFT || grip_ == GRIP_TOPRIGHT) r.top = std::min(r.top + dy, r.bottom - least);
    if (grip_ == GRIP_BOTTOMLEFT || grip_ == GRIP_BOTTOMRIGHT) r.bottom = std::max(r.bottom + dy, r.top + least);
  }
  if (r == o.rect) return;
  o.rect = r;
  Redraw();
}

void CPaintCanvas::Release(CPoint p) {
  if (!Ready()) return;
  switch (dragKind_) {
    case PAINT_FREE:
    case PAINT_LINE:
      if (fade_) {
        fadeKind_ = dragKind_;
        fadeTimer_ = PAINT_FADE_TIMER;
        window_->SetTimer(PAINT_FADE_TIMER, PAINT_FADE_MS);
      } else {
        committed_.Copy(working_);
        points_.clear();
      }
      break;
    case PAINT_ERASER: ShowEraser(p, 0); break;
    case PAINT_RECT:
    case PAINT_CIRCLE:
    case PAINT_ELLIPSE:
    case PAINT_TRIANGLE: ReleaseShape(p); break;
    case PAINT_SELECT:
      // The image is scaled to its new size once, when the drag ends (each
      // move only draws it scaled): repeated resampling would blur it.
      if (!objects_.empty()) {
        Object& o = objects_.back();
        if (o.image && (o.image->width() != o.rect.Width() || o.image->height() != o.rect.Height())) {
          QImage* image = o.image.release();
          pen_.UpdateImage(image, o.rect.Width(), o.rect.Height());
          o.image.reset(image);
        }
      }
      grip_ = GRIP_NONE;
      UpdateCursor();
      break;
    case PAINT_TEXT: {
      CPoint ends[2] = {press_, p};
      SendMessage(window_, WM_PAINT_TEXTBOX, reinterpret_cast<WPARAM>(ends), 0);
      break;
    }
    default: break;
  }
  dragKind_ = PAINT_NONE;
  strokeShown_ = false;
}

void CPaintCanvas::ReleaseShape(CPoint p) {
  CRect r = Normalised(press_, p);
  QImage* image = nullptr;
  switch (dragKind_) {
    case PAINT_RECT: image = pen_.SaveRect(r.Width(), r.Height()); break;
    case PAINT_CIRCLE: {
      const int side = std::min(r.Width(), r.Height());
      r.right = r.left + side;
      r.bottom = r.top + side;
      image = pen_.SaveEllipse(side, side);
      break;
    }
    case PAINT_ELLIPSE: image = pen_.SaveEllipse(r.Width(), r.Height()); break;
    default: image = pen_.SaveTriangle(r.Width(), r.Height()); break;
  }
  if (image) objects_.push_back(Object{std::unique_ptr<QImage>(image), r});
  RefreshWorking();
  Redraw();
}

// ---- Wheel, fade, clear, text ---------------------------------------------------------------------

void CPaintCanvas::Wheel(short delta) {
  eraserScale_ = std::clamp(eraserScale_ + static_cast<float>(delta) / kWheelPerScale, kEraserMin, kEraserMax);
  if (tool_ == PAINT_ERASER && window_) {
    const CPoint at = window_->ScreenToClient(CPoint(QCursor::pos().x(), QCursor::pos().y()));
    ShowEraser(at, dragKind_ == PAINT_ERASER ? kEraserAngle : 0);
  }
}

void CPaintCanvas::Timer(UINT id) {
  if (id != PAINT_FADE_TIMER || !IsFading() || !Ready()) return;
  const ARGB colour = pen_.GetPenColor();
  if (colour < kFadeEnd) {
    EndFade();
    return;
  }
  const ARGB alpha = (colour >> 24) - kFadeStep;
  pen_.SetPenColor((alpha << 24) | (colour & 0x00FFFFFF));
  DrawStroke(fadeKind_);
  RedrawOver(working_);
}

void CPaintCanvas::EndFade() {
  if (!IsFading()) return;
  if (window_) window_->KillTimer(fadeTimer_);
  fadeTimer_ = 0;
  points_.clear();
  ApplyPen();
  RefreshWorking();
  Redraw();
}

void CPaintCanvas::ClearAll() {
  EndFade();
  objects_.clear();
  if (!Ready()) return;
  pen_.Clear(committed_.GetBufferDC(), Background());
  RefreshWorking();
  Present(committed_);
}

int CPaintCanvas::AddText(const QString& text, const LOGFONTW* font, const CRect& editRect) {
  if (!Ready() || text.trimmed().isEmpty()) return 0;
  CRect r = editRect;
  r.DeflateRect(2, 1);
  QImage* image = pen_.SaveText(text, font, r.Width(), r.Height(), pen_.GetPenColor());
  if (!image) return 0;
  objects_.push_back(Object{std::unique_ptr<QImage>(image), r});
  Redraw();
  return 1;
}
