#include "app/qc_title_dlg.h"

#include "app/app_messages.h"
#include "app/quickcap_dlg.h"
#include "contracts/widgetta/ui_ctrl_mgr.h"

#include <QCursor>

bool CQCTitleDlg::Create(CWnd* parent, const CRect& rect, UINT id) {
  if (!CWnd::Create(Kind::Child, QStringLiteral("QCTitleDlg"), rect, parent, id)) return false;
  setObjectName(QStringLiteral("QCTitleDlg"));
  // The buttons keep the keyboard away; the strip does not need it either.
  setFocusPolicy(Qt::NoFocus);

  layout_.LoadSet(u"quickcap", 1);

  const auto caption = layout_.ResolveCaption(QC_CTRL_TITLE_TEXT);
  title_.Set(caption.control, caption.language, caption.font);
  if (caption.control) {
    // The title is no window of its own: the strip draws it in the
    // control's rectangle, or in its text's rectangle inside that.
    titleRect_ = caption.control->rect;
    if (!title_.GetRect().IsRectEmpty()) {
      CRect text = title_.GetRect();
      text.OffsetRect(titleRect_.left, titleRect_.top);
      titleRect_ = text;
    }
    title_.Set(nullptr, caption.language, caption.font);
  }

  CRect r;
  layout_.LoadGdiBtn(minimize_, r, this, QC_CTRL_MINIMIZE);
  layout_.LoadGdiBtn(back_, r, this, QC_CTRL_BACK);
  SetTip(minimize_, QC_TEXT_MINIMIZE_TIP);
  SetTip(back_, QC_TEXT_BACK_TIP);
  ShowWindow(SW_SHOW);
  return true;
}

void CQCTitleDlg::SetTip(CGdiBtnEx& button, int textId) {
  if (const _MYLANGUAGE* text = layout_.GetLanguage(textId))
    button.setToolTip(QString::fromStdU16String(text->value));
}

LRESULT CQCTitleDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    switch (LOWORD(wParam)) {
      case QC_CTRL_MINIMIZE: OnMinimize(); return 1;
      case QC_CTRL_BACK: OnBackToMenu(); return 1;
      default: break;
    }
  }
  return CWnd::WindowProc(msg, wParam, lParam);
}

void CQCTitleDlg::OnMinimize() {
  // The main frame minimises the program: the windows of the mode shown.
  // Without one, the quick capture window minimises itself.
  if (CWnd* main = GetMainWnd())
    PostMessage(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  else if (QWidget* top = window(); top && top != this)
    top->showMinimized();
}

void CQCTitleDlg::OnRButtonUp(UINT, CPoint p) {
  if (auto* owner = dynamic_cast<CQuickCapDlg*>(window())) owner->GetMinMenu().ShowAt(ClientToScreen(p));
}

void CQCTitleDlg::OnBackToMenu() {
  if (CWnd* main = GetMainWnd()) PostMessage(main, WM_SWITCH_MODE, SWITCH_FROM_MODE_MENU, 0);
}

void CQCTitleDlg::OnPaint(QPainter& painter) {
  painter.fillRect(rect(), ui_style::kTile);
  title_.Draw(painter, titleRect_.IsRectEmpty() ? rect()
                                               : QRect(titleRect_.left, titleRect_.top, titleRect_.Width(),
                                                       titleRect_.Height()));
}

bool CQCTitleDlg::OnLButtonDown(UINT, CPoint) {
  // The strip is the window's caption: dragging it moves the window.
  QWidget* top = window();
  if (!top || top == this) return false;
  moving_ = true;
  moveOffset_ = QCursor::pos() - top->frameGeometry().topLeft();
  return true;
}

void CQCTitleDlg::OnMouseMove(UINT, CPoint) {
  if (!moving_) return;
  if (QWidget* top = window(); top && top != this) top->move(QCursor::pos() - moveOffset_);
}

void CQCTitleDlg::OnLButtonUp(UINT, CPoint) { moving_ = false; }
