#include "contracts/widgetta/list_bar.h"

#include <QPainter>

int CListBar::ButtonWidth() const { return std::min(height(), 48); }

int CListBar::CreateButton(CGdiBtnEx& button, UINT id, const QString& imagePath,
                           const QString& arrow) {
  button.Create(QString(), WS_CHILD | WS_VISIBLE, CRect(), this, id);
  Layout();
  const int ok = button.SetImages(imagePath) ? 1 : 0;
  button.SetCaptionText(ok ? QString() : arrow);
  Layout();
  return ok;
}

int CListBar::CreateForwardBtn(const QString& imagePath) {
  return CreateButton(forward_, kForwardId, imagePath, QStringLiteral(">"));
}

int CListBar::CreateBackwardBtn(const QString& imagePath) {
  return CreateButton(backward_, kBackwardId, imagePath, QStringLiteral("<"));
}

int CListBar::AddItem(const QString& text, const QString& imagePath) {
  Item item{text, {}};
  if (!imagePath.isEmpty()) {
    const int side = std::max(1, height() - 24);
    item.image = LoadUIPicture(imagePath, QSize(side, side));
  }
  items_.push_back(std::move(item));
  Layout();
  return GetItemCount() - 1;
}

void CListBar::RemoveAll() {
  items_.clear();
  current_ = -1;
  first_ = 0;
  Layout();
}

QString CListBar::GetItemText(int index) const {
  if (index < 0 || index >= GetItemCount()) return {};
  return items_[static_cast<std::size_t>(index)].text;
}

int CListBar::SetCurSel(int index) {
  if (index < -1 || index >= GetItemCount()) return 0;
  current_ = index;
  // Bring the selected item into view.
  const int shown = GetVisibleCount();
  if (index >= 0 && shown > 0) {
    if (index < first_) first_ = index;
    if (index >= first_ + shown) first_ = index - shown + 1;
  }
  Layout();
  return 1;
}

int CListBar::GetVisibleCount() const {
  const int cell = std::max(1, height());
  const int room = width() - 2 * ButtonWidth();
  return std::max(0, room / cell);
}

int CListBar::Forward() {
  const int shown = std::max(1, GetVisibleCount());
  if (first_ + shown >= GetItemCount()) return 0;
  first_ = std::min(first_ + shown, std::max(0, GetItemCount() - shown));
  Layout();
  return 1;
}

int CListBar::Backward() {
  if (first_ == 0) return 0;
  first_ = std::max(0, first_ - std::max(1, GetVisibleCount()));
  Layout();
  return 1;
}

QRect CListBar::ItemRect(int slot) const {
  const int cell = std::max(1, height());
  const int shown = GetVisibleCount();
  // The items are centred between the buttons.
  const int left = ButtonWidth() + (width() - 2 * ButtonWidth() - shown * cell) / 2;
  return QRect(left + slot * cell, 0, cell, height());
}

int CListBar::HitTest(CPoint p) const {
  const int shown = GetVisibleCount();
  for (int slot = 0; slot < shown && first_ + slot < GetItemCount(); ++slot)
    if (ItemRect(slot).contains(p.x, p.y)) return first_ + slot;
  return -1;
}

void CListBar::Layout() {
  const int bw = ButtonWidth();
  if (backward_.parentWidget() == this) {
    backward_.MoveWindow(CRect(0, 0, bw, height()));
    backward_.EnableWindow(first_ > 0);
  }
  if (forward_.parentWidget() == this) {
    forward_.MoveWindow(CRect(width() - bw, 0, width(), height()));
    forward_.EnableWindow(first_ + GetVisibleCount() < GetItemCount());
  }
  update();
}

void CListBar::OnSize(int, int) { Layout(); }

LRESULT CListBar::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    if (LOWORD(wParam) == kForwardId) return Forward();
    if (LOWORD(wParam) == kBackwardId) return Backward();
  }
  return CUICtrl::WindowProc(msg, wParam, lParam);
}

bool CListBar::OnLButtonDown(UINT, CPoint p) {
  const int hit = HitTest(p);
  if (hit < 0) return false;
  current_ = hit;
  update();
  NotifyParent(LBN_SELCHANGE);
  return true;
}

void CListBar::OnPaint(QPainter& painter) {
  const int shown = GetVisibleCount();
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  for (int slot = 0; slot < shown && first_ + slot < GetItemCount(); ++slot) {
    const int index = first_ + slot;
    const Item& item = items_[static_cast<std::size_t>(index)];
    const QRect cell = ItemRect(slot).adjusted(3, 3, -3, -3);
    if (index == current_) {
      painter.setPen(QPen(ui_style::kSelect, 3));
      painter.setBrush(Qt::NoBrush);
      painter.drawRoundedRect(QRectF(cell).adjusted(1.5, 1.5, -1.5, -1.5), 6, 6);
    }
    const QRect picture(cell.left() + 4, cell.top() + 4, cell.width() - 8, cell.height() - 26);
    DrawImage(painter, item.image, picture);
    painter.setFont(caption_.GetFont());
    painter.setPen(caption_.GetColor());
    CUICaption::DrawText(painter, item.text, QRect(cell.left(), cell.bottom() - 20, cell.width(), 20),
                         DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
  }
  painter.restore();
}
