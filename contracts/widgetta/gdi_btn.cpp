#include "contracts/widgetta/gdi_btn.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

bool CGdiBtnEx::Build(CWnd* parent, int id, const _MYCONTROL* control,
                      const _MYLANGUAGE* language, const _MYFONT* font) {
  over_ = pressed_ = checked_ = false;
  return CUICtrl::Build(parent, id, control, language, font);
}

void CGdiBtnEx::SetCheck(int check) {
  if (checked_ == (check != 0)) return;
  checked_ = check != 0;
  update();
}

CGdiBtnEx::State CGdiBtnEx::GetDrawState() const {
  if (!isEnabled()) return State::Disabled;
  if (checked_ || (pressed_ && over_)) return State::Select;
  if (over_ || pressed_) return State::Over;
  return State::Normal;
}

const QImage& CGdiBtnEx::StateImage(State s) const {
  switch (s) {
    case State::Select:
      if (!selectImg_.isNull()) return selectImg_;
      [[fallthrough]];
    case State::Over:
      if (!overImg_.isNull()) return overImg_;
      [[fallthrough]];
    default:
      return normalImg_;
  }
}

bool CGdiBtnEx::OnLButtonDown(UINT, CPoint p) {
  if (!GetClickRect().PtInRect(p)) return false;
  pressed_ = true;
  over_ = true;
  update();
  return true;
}

void CGdiBtnEx::OnLButtonUp(UINT, CPoint p) {
  if (!pressed_) return;
  pressed_ = false;
  const bool inside = GetClickRect().PtInRect(p);
  over_ = rect().contains(p.x, p.y);
  update();
  if (!inside) return;
  if (IsRadioButton())
    checked_ = true;
  else if (IsCheckButton())
    checked_ = !checked_;
  NotifyParent(BN_CLICKED);
}

void CGdiBtnEx::OnMouseMove(UINT, CPoint p) {
  const bool over = rect().contains(p.x, p.y);
  if (over != over_) {
    over_ = over;
    update();
  }
}

void CGdiBtnEx::OnMouseLeave() {
  if (over_) {
    over_ = false;
    update();
  }
}

void CGdiBtnEx::changeEvent(QEvent* e) {
  if (e->type() == QEvent::EnabledChange && !isEnabled()) over_ = pressed_ = false;
  CUICtrl::changeEvent(e);
}

void CGdiBtnEx::OnPaint(QPainter& painter) {
  // A button without any picture is drawn like CHdcBtn, so that it shows
  // its states and stays visible on any background.
  if (normalImg_.isNull() && overImg_.isNull() && selectImg_.isNull() && bgImg_.isNull() &&
      background_.isNull()) {
    DrawTile(painter);
    return;
  }
  DrawImage(painter, StateImage(GetDrawState()), ImageRect());
  caption_.Draw(painter, rect(), isEnabled());
}

void CGdiBtnEx::DrawTile(QPainter& painter) {
  const State s = GetDrawState();
  QColor fill = ui_style::kTile;
  if (s == State::Over) fill = ui_style::kOver;
  if (s == State::Select) fill = ui_style::kSelect;
  if (s == State::Disabled) fill = ui_style::kMuted;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath path;
  const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  const qreal radius = std::min<qreal>(8.0, std::min(box.width(), box.height()) / 4.0);
  path.addRoundedRect(box, radius, radius);
  painter.fillPath(path, fill);
  painter.restore();

  // Icon on the left (or alone when there is no text), caption beside it.
  QRect textBox = rect();
  if (!normalImg_.isNull()) {
    QRect iconBox = ImageRect();
    if (imgRect_.IsRectEmpty() && !caption_.GetText().isEmpty()) {
      const int side = std::max(0, height() - 8);
      iconBox = QRect(6, 4, side, side);
      textBox.setLeft(iconBox.right() + 6);
    }
    DrawImage(painter, normalImg_, iconBox);
  }
  // Black (also the colour of a caption without text record) would vanish
  // on the dark tiles: such captions are drawn white.
  CUICaption shown = caption_;
  if (shown.GetColor() == QColor(Qt::black)) shown.SetColor(ui_style::kGlyph);
  shown.Draw(painter, textBox, true);
}

void CHdcBtn::OnPaint(QPainter& painter) { DrawTile(painter); }
