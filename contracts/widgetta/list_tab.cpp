#include "contracts/widgetta/list_tab.h"

#include <QFontMetrics>

int CListTab::AddTabBtn(int id, const _MYCONTROL* control, const _MYLANGUAGE* language,
                        const _MYFONT* font) {
  CGdiBtnEx* button = GetTabBtn(id);
  if (!button) {
    buttons_.push_back(std::make_unique<CGdiBtnEx>());
    button = buttons_.back().get();
  }
  button->Build(this, id, control, language, font);
  button->SetButtonType(QStringLiteral("radio"));
  if (!control || control->rect.IsRectEmpty()) {
    // No place of its own: next to the last placed button.
    int left = 0;
    for (const auto& b : buttons_)
      if (b.get() != button && b->isVisible()) left = std::max(left, b->geometry().right() + 1);
    const QFontMetrics metrics(button->Caption().GetFont());
    const int w = metrics.horizontalAdvance(button->Caption().GetText()) + 32;
    button->MoveWindow(CRect(left, 0, left + std::max(w, 48), height()));
    button->ShowWindow(SW_SHOW);
  }
  button->SetCheck(id == current_);
  return 1;
}

CGdiBtnEx* CListTab::GetTabBtn(int id) const {
  for (const auto& b : buttons_)
    if (static_cast<int>(b->GetDlgCtrlID()) == id) return b.get();
  return nullptr;
}

int CListTab::SetCurSel(int id) {
  if (!GetTabBtn(id)) return 0;
  current_ = id;
  for (const auto& b : buttons_) b->SetCheck(static_cast<int>(b->GetDlgCtrlID()) == id);
  return 1;
}

LRESULT CListTab::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    const int id = static_cast<int>(LOWORD(wParam));
    if (GetTabBtn(id)) {
      SetCurSel(id);
      if (QObject* parent = parentWidget()) PostMessage(parent, WM_COMMAND, wParam, lParam);
      return 0;
    }
  }
  return CUICtrl::WindowProc(msg, wParam, lParam);
}
