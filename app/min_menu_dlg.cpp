#include "app/min_menu_dlg.h"

#include <algorithm>

#include "app/app_messages.h"

namespace {
constexpr int kFrameCtrl = 3000;
}  // namespace

CMinMenuDlg::CMinMenuDlg() { OnMessage(WM_COMMAND, &CMinMenuDlg::OnCommand); }

bool CMinMenuDlg::Create(CWnd* owner) {
  layout_.LoadSet(u"menu", kLayoutWindow);
  CRect frame = layout_.GetBgRect(kFrameCtrl);
  if (frame.IsRectEmpty()) frame = CRect(0, 0, 220, 384);
  CWnd::Create(Kind::Popup, QStringLiteral("MinMenu"), frame, owner, IDD_MINMENU);
  // A real pop-up: it takes the input while shown and closes on a click
  // anywhere else, as a menu does.
  setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
  buttons_.Add(layout_, this,
                 {{3001, MODE_OBJECTSHOW}, {3002, MODE_PAINT}, {3003, MODE_QUICKCAP}, {3004, MODE_OCR},
                  {3005, MODE_SCANMGR}, {3006, MODE_RECORD}, {3007, MODE_STOPRECORD}, {3008, MODE_BACK}});
  SetRecording(0);
  return true;
}

void CMinMenuDlg::ShowAt(CPoint screenPoint) {
  const CRect work = GetWorkArea();
  const int x = std::clamp(screenPoint.x, work.left, std::max(work.left, work.right - width()));
  const int y = std::clamp(screenPoint.y, work.top, std::max(work.top, work.bottom - height()));
  move(x, y);
  ShowWindow(SW_SHOW);
}

void CMinMenuDlg::SetRecording(int recording) {
  recording_ = recording ? 1 : 0;
  buttons_.SetRecording(MODE_RECORD, MODE_STOPRECORD, recording_);
}

LRESULT CMinMenuDlg::OnCommand(WPARAM wParam, LPARAM) {
  if (HIWORD(wParam) != BN_CLICKED) return 0;
  const int command = buttons_.CommandOf(static_cast<int>(LOWORD(wParam)));
  if (command < 0) return 0;
  ShowWindow(SW_HIDE);
  if (CWnd* main = GetMainWnd()) PostMessage(main, WM_SWITCH_MODE, SWITCH_FROM_MODE_MENU, command);
  return 1;
}

bool CMinMenuDlg::OnEraseBkgnd(QPainter& painter) {
  painter.fillRect(rect(), ui_style::kInk);
  return true;
}
