#include "app/paint_dlg.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

#include "app/app_messages.h"
#include "platform/caption.h"

CPaintDlg::CPaintDlg() {
  OnMessage(WM_PAINT_TEXTBOX, &CPaintDlg::OnTextBox);
  OnMessage(WM_PAINT_TEXT, &CPaintDlg::OnText);
}

CPaintDlg::~CPaintDlg() { canvas_.EndFade(); }

bool CPaintDlg::Create(CWnd*) {
  // The owner (the main frame) is never mapped: the window stands alone,
  // without a task-bar entry.
  const QScreen* s = QGuiApplication::primaryScreen();
  const QRect g = s ? s->geometry() : QRect(0, 0, 1920, 1080);
  CWnd::Create(Kind::Tool, QString::fromLatin1(kCaption), CRect(g.left(), g.top(), g.left() + g.width(), g.top() + g.height()),
               nullptr, IDD_PAINT);
  canvas_.Attach(this);
  palette_.Create(this);
  edit_.Create(this);
  canvas_.SetTool(PAINT_NONE);
  // The hot key is taken once to see that it can be had, and given back
  // until annotation shows.
  palette_.SetHotKey(true);
  palette_.SetHotKey(false);
  PublishWindowCaption(this, QString::fromLatin1(kCaption));
  ShowWindow(SW_HIDE);
  palette_.ShowWindow(SW_HIDE);
  edit_.ShowWindow(SW_HIDE);
  return true;
}

void CPaintDlg::ShowAnnotation() {
  SetTopMost(true);
  palette_.SetTopMost(true);
  canvas_.Redraw();
  ShowWindow(SW_SHOW);
  palette_.ShowWindow(SW_SHOW);
  palette_.raise();
  palette_.SetHotKey(true);
}

void CPaintDlg::HideAnnotation() {
  edit_.ShowWindow(SW_HIDE);
  palette_.Command(CPaintToolDlg::CMD_MOUSE);
  canvas_.ClearAll();
  palette_.SetHotKey(false);
  palette_.HidePopups();
  palette_.ShowWindow(SW_HIDE);
  ShowWindow(SW_HIDE);
}

// ---- Text boxes ---------------------------------------------------------------------------------

LRESULT CPaintDlg::OnTextBox(WPARAM wParam, LPARAM) {
  const auto* ends = reinterpret_cast<const CPoint*>(wParam);
  if (!ends) return 0;
  const CRect box = edit_.BoxFor(ends[0], ends[1]);
  const CPoint topLeft = ClientToScreen(box.TopLeft());
  canvas_.Redraw();  // the dragged frame goes; the text window takes its place
  edit_.Open(CRect(topLeft.x, topLeft.y, topLeft.x + box.Width(), topLeft.y + box.Height()),
             QColor::fromRgb(canvas_.GetPenColor() | 0xFF000000u));
  return 1;
}

LRESULT CPaintDlg::OnText(WPARAM wParam, LPARAM lParam) {
  const auto* text = reinterpret_cast<const QString*>(wParam);
  const auto* font = reinterpret_cast<const LOGFONTW*>(lParam);
  if (!text) return 0;
  const CRect screen = edit_.GetWindowRect();
  const CPoint a = ScreenToClient(screen.TopLeft());
  return canvas_.AddText(*text, font, CRect(a.x, a.y, a.x + screen.Width(), a.y + screen.Height()));
}

// ---- Mouse and keys -----------------------------------------------------------------------------

bool CPaintDlg::OnLButtonDown(UINT, CPoint p) {
  palette_.HidePopups();
  if (edit_.isVisible()) {
    // A press outside the text window confirms its text.
    edit_.Confirm();
    return true;
  }
  pressed_ = true;
  SetCapture();
  canvas_.Press(p);
  return true;
}

void CPaintDlg::OnMouseMove(UINT, CPoint p) { canvas_.Move(p); }

void CPaintDlg::OnLButtonUp(UINT, CPoint p) {
  if (!pressed_) return;
  pressed_ = false;
  ReleaseCapture();
  canvas_.Release(p);
}

bool CPaintDlg::OnMouseWheel(UINT, short delta, CPoint) {
  canvas_.Wheel(delta);
  return true;
}

void CPaintDlg::OnTimer(UINT id) { canvas_.Timer(id); }

void CPaintDlg::OnSize(int, int) { canvas_.Resize(); }

bool CPaintDlg::PreTranslateKeyDown(UINT vk) { return FilterPaintKey(vk); }

void CPaintDlg::closeEvent(QCloseEvent* e) {
  // Closed from outside (the window manager): leave annotation as the exit button does.
  e->ignore();
  palette_.Command(CPaintToolDlg::CMD_EXIT);
}
