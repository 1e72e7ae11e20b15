#include "contracts/widgetta/gdi_slider.h"

#include <QPainter>

bool CGdiSlider::Build(CWnd* parent, int id, const _MYCONTROL* control,
                       const _MYLANGUAGE* language, const _MYFONT* font) {
  dragging_ = over_ = false;
  const bool ok = CUICtrl::Build(parent, id, control, language, font);
  // Upright sliders take keys and wheel the same way; the thumb pictures
  // are drawn at the thumb's size.
  return ok;
}

void CGdiSlider::SetRange(int minimum, int maximum, bool redraw) {
  if (maximum < minimum) std::swap(minimum, maximum);
  min_ = minimum;
  max_ = maximum;
  pos_ = std::clamp(pos_, min_, max_);
  if (redraw) update();
}

void CGdiSlider::SetPos(int pos) {
  pos = std::clamp(pos, min_, max_);
  if (pos == pos_) return;
  pos_ = pos;
  update();
}

int CGdiSlider::ThumbSide() const {
  if (!imgRect_.IsRectEmpty())
    return IsVertical() ? imgRect_.Height() : imgRect_.Width();
  return std::max(1, std::min(width(), height()));
}

QSize CGdiSlider::ImageSize() const {
  if (!imgRect_.IsRectEmpty()) return QSize(imgRect_.Width(), imgRect_.Height());
  const int side = ThumbSide();
  return QSize(side, side);
}

CRect CGdiSlider::GetThumbRect() const {
  const int side = ThumbSide();
  const int span = (IsVertical() ? height() : width()) - side;
  const int range = max_ - min_;
  const int offset =
      range > 0 ? static_cast<int>(static_cast<long long>(std::max(0, span)) * (pos_ - min_) / range)
                : 0;
  const QSize img = ImageSize();
  if (IsVertical()) {
    const int top = std::max(0, span) - offset;
    const int left = (width() - img.width()) / 2;
    return CRect(left, top, left + img.width(), top + side);
  }
  const int top = (height() - img.height()) / 2;
  return CRect(offset, top, offset + side, top + img.height());
}

int CGdiSlider::PosFromPoint(CPoint p) const {
  const int side = ThumbSide();
  const int span = (IsVertical() ? height() : width()) - side;
  if (span <= 0 || max_ == min_) return min_;
  int along = IsVertical() ? (span - (p.y - side / 2)) : (p.x - side / 2);
  along = std::clamp(along, 0, span);
  // Rounded to the nearest position.
  const long long range = max_ - min_;
  return min_ + static_cast<int>((along * range + span / 2) / span);
}

void CGdiSlider::Report(UINT code) {
  if (QObject* parent = parentWidget())
    PostMessage(parent, IsVertical() ? WM_VSCROLL : WM_HSCROLL,
                MAKEWPARAM(code, static_cast<UINT>(pos_)),
                reinterpret_cast<LPARAM>(static_cast<HWND>(this)));
}

void CGdiSlider::MoveTo(int pos, UINT code, bool alwaysReport) {
  pos = std::clamp(pos, min_, max_);
  const bool changed = pos != pos_;
  pos_ = pos;
  if (changed) update();
  if (changed || alwaysReport) Report(code);
}

bool CGdiSlider::OnLButtonDown(UINT, CPoint p) {
  const CRect thumb = GetThumbRect();
  dragging_ = true;
  if (thumb.PtInRect(p)) {
    // Keep the point where the thumb was taken under the pointer.
    grabOffset_ = IsVertical() ? p.y - thumb.CenterPoint().y : p.x - thumb.CenterPoint().x;
  } else {
    grabOffset_ = 0;
    MoveTo(PosFromPoint(p), TB_THUMBTRACK);
  }
  update();
  return true;
}

void CGdiSlider::OnMouseMove(UINT, CPoint p) {
  const bool over = GetThumbRect().PtInRect(p);
  if (over != over_) {
    over_ = over;
    update();
  }
  if (!dragging_) return;
  CPoint q = p;
  if (IsVertical())
    q.y -= grabOffset_;
  else
    q.x -= grabOffset_;
  MoveTo(PosFromPoint(q), TB_THUMBTRACK);
}

void CGdiSlider::OnLButtonUp(UINT, CPoint) {
  if (!dragging_) return;
  dragging_ = false;
  update();
  Report(TB_THUMBPOSITION);
  Report(TB_ENDTRACK);
}

void CGdiSlider::OnMouseLeave() {
  if (over_) {
    over_ = false;
    update();
  }
}

bool CGdiSlider::OnMouseWheel(UINT, short delta, CPoint) {
  wheelRest_ += delta;
  const int notches = wheelRest_ / 120;
  wheelRest_ -= notches * 120;
  if (notches == 0) return true;
  // A notch away from the user moves towards the maximum.
  MoveTo(pos_ + notches * line_, notches > 0 ? TB_LINEDOWN : TB_LINEUP);
  return true;
}

void CGdiSlider::OnKeyDown(UINT vk) {
  switch (vk) {
    case VK_RIGHT: case VK_UP: MoveTo(pos_ + line_, TB_LINEDOWN); break;
    case VK_LEFT: case VK_DOWN: MoveTo(pos_ - line_, TB_LINEUP); break;
    case VK_NEXT: MoveTo(pos_ + page_, TB_PAGEDOWN); break;
    case VK_PRIOR: MoveTo(pos_ - page_, TB_PAGEUP); break;
    case VK_HOME: MoveTo(min_, TB_PAGEUP); break;
    case VK_END: MoveTo(max_, TB_PAGEDOWN); break;
    default: break;
  }
}

void CGdiSlider::OnPaint(QPainter& painter) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  const CRect thumb = GetThumbRect();
  const QPoint c(thumb.CenterPoint().x, thumb.CenterPoint().y);
  if (bgImg_.isNull()) {
    // Drawn track: 6 pixels thick, filled from the minimum to the thumb.
    const int thick = 6;
    QRectF track, filled;
    if (IsVertical()) {
      const qreal x = (width() - thick) / 2.0;
      track = QRectF(x, ThumbSide() / 2.0, thick, height() - ThumbSide());
      filled = QRectF(x, c.y(), thick, track.bottom() - c.y());
    } else {
      const qreal y = (height() - thick) / 2.0;
      track = QRectF(ThumbSide() / 2.0, y, width() - ThumbSide(), thick);
      filled = QRectF(track.left(), y, c.x() - track.left(), thick);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(isEnabled() ? ui_style::kTrack : ui_style::kMuted);
    painter.drawRoundedRect(track, thick / 2.0, thick / 2.0);
    if (isEnabled()) {
      painter.setBrush(ui_style::kOver);
      painter.drawRoundedRect(filled, thick / 2.0, thick / 2.0);
    }
  }
  const QRect thumbBox(thumb.left, thumb.top, thumb.Width(), thumb.Height());
  const QImage& picture =
      dragging_ && !selectImg_.isNull() ? selectImg_ : (over_ && !overImg_.isNull() ? overImg_ : normalImg_);
  if (!picture.isNull()) {
    DrawImage(painter, picture, thumbBox);
  } else {
    // Drawn disc: white ring around the state colour.
    const qreal r = std::min(thumbBox.width(), thumbBox.height()) / 2.0 - 1.5;
    QColor fill = dragging_ ? ui_style::kSelect : (over_ ? ui_style::kOver : ui_style::kTile);
    if (!isEnabled()) fill = ui_style::kMuted;
    painter.setPen(QPen(ui_style::kGlyph, 3));
    painter.setBrush(fill);
    painter.drawEllipse(QPointF(c), r, r);
  }
  painter.restore();
  caption_.Draw(painter, rect(), isEnabled());
}
