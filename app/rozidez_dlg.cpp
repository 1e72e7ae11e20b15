#include "app/rozidez_dlg.h"

#include <QCloseEvent>
#include <QLinearGradient>

#include "app/app_messages.h"
#include "app/main_frame.h"
#include "platform/caption.h"

namespace {
constexpr int kPanelCtrl = 1000;
constexpr int kMinimizeCtrl = 1009;
constexpr int kCloseCtrl = 1010;
constexpr int kCornerMargin = 16;
const QColor kShadeTop(0xF4, 0xF6, 0xF8);
const QColor kShadeBottom(0xD5, 0xDC, 0xE3);
}  // namespace

CRozIdezDlg::CRozIdezDlg() {
  OnMessage(WM_COMMAND, &CRozIdezDlg::OnCommand);
  startRecordMsg_ = RegisterWindowMessage(kStartRecordMessage);
  stopRecordMsg_ = RegisterWindowMessage(kStopRecordMessage);
}

bool CRozIdezDlg::Create(CWnd* owner, const CRect& rect) {
  layout_.LoadSet(u"menu", kLayoutWindow);
  CWnd::Create(Kind::Popup, QString(), rect, owner, IDD_ROZIDEZ);
  setFocusPolicy(Qt::StrongFocus);

  CRect panel = layout_.GetBgRect(kPanelCtrl);
  if (panel.IsRectEmpty()) panel = CRect(0, 0, 960, 600);
  panel_.Create(Kind::Child, QString(), panel, this);
  corner_.Create(Kind::Child, QString(), CRect(), this);
  // The holders only place the buttons: the menu's shade shows through
  // them, and the clicks they get from their buttons go on to the menu.
  for (CWnd* holder : {&panel_, &corner_}) {
    holder->setAttribute(Qt::WA_TranslucentBackground);
    holder->OnMessage(WM_COMMAND, [this](WPARAM w, LPARAM l) { return OnCommand(w, l); });
  }

  buttons_.Add(layout_, &panel_,
               {{1001, START_OBJECTSHOW}, {1002, START_PAINT}, {1003, START_QUICKCAP}, {1004, START_OCR},
                {1005, START_SCANMGR}, {1006, START_RECORD}, {1007, START_STOPRECORD}});
  buttons_.Add(layout_, &corner_, {{kMinimizeCtrl, START_MINIMIZE}, {kCloseCtrl, START_CLOSE}});
  CRect unused;
  layout_.LoadHdcBtn(settings_, unused, &panel_, kSettingsCtrl);
  const CRect minRect = layout_.GetBgRect(kMinimizeCtrl);
  const CRect closeRect = layout_.GetBgRect(kCloseCtrl);
  corner_.resize(std::max(minRect.right, closeRect.right), std::max(minRect.bottom, closeRect.bottom));
  SetRecording(0);
  // The screen recorder finds the start menu by this caption.
  PublishWindowCaption(this, QStringLiteral("RozIdez"));
  Layout();
  return true;
}

void CRozIdezDlg::SetRecording(int recording) {
  recording_ = recording ? 1 : 0;
  buttons_.SetRecording(START_RECORD, START_STOPRECORD, recording_);
}

void CRozIdezDlg::Layout() {
  const CRect client = GetClientRect();
  panel_.move(std::max(0, (client.Width() - panel_.width()) / 2),
              std::max(0, (client.Height() - panel_.height()) / 2));
  corner_.move(std::max(0, client.Width() - corner_.width() - kCornerMargin), kCornerMargin);
}

void CRozIdezDlg::OnSize(int, int) { Layout(); }

LRESULT CRozIdezDlg::OnCommand(WPARAM wParam, LPARAM) {
  if (HIWORD(wParam) != BN_CLICKED) return 0;
  const int ctrl = static_cast<int>(LOWORD(wParam));
  if (ctrl == kSettingsCtrl) {
    if (settingsHandler_) settingsHandler_();
    return 1;
  }
  const int command = buttons_.CommandOf(ctrl);
  if (command < 0) return 0;
  if (CWnd* main = GetMainWnd()) PostMessage(main, WM_SWITCH_MODE, SWITCH_FROM_START_MENU, command);
  return 1;
}

LRESULT CRozIdezDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  // The screen recorder announces itself here; the main frame updates every
  // record/stop pair.
  if (msg == startRecordMsg_ || msg == stopRecordMsg_) {
    if (CWnd* main = GetMainWnd())
      PostMessage(main, msg == startRecordMsg_ ? WM_RECORD_STARTED : WM_RECORD_STOPPED, 0, 0);
    return 1;
  }
  return CWnd::WindowProc(msg, wParam, lParam);
}

bool CRozIdezDlg::PreTranslateKeyDown(UINT vk) {
  if (vk == VK_ESCAPE) {
    if (auto* frame = dynamic_cast<CMainFrame*>(GetMainWnd())) frame->FilterKeyDown(vk);
    return true;
  }
  return vk == VK_RETURN;
}

bool CRozIdezDlg::OnEraseBkgnd(QPainter& painter) {
  // A light shade: the dark tiles of the modes on offer stand out from it,
  // the greyed ones recede.
  QLinearGradient shade(0, 0, 0, height());
  shade.setColorAt(0, kShadeTop);
  shade.setColorAt(1, kShadeBottom);
  painter.fillRect(rect(), shade);
  return true;
}

void CRozIdezDlg::OnPaint(QPainter& painter) {
  // The panel's texts: the title and the line below it.
  const _MYCONTROL* panel = layout_.GetCtrl(kPanelCtrl);
  if (!panel || !panel->textTable) return;
  const QPoint origin = panel_.pos();
  for (const _MYCTRLTEXT& entry : *panel->textTable) {
    if (entry.languageId == -1) break;
    const _MYLANGUAGE* text = layout_.GetLanguage(entry.languageId);
    if (!text) continue;
    const _MYFONT* font = layout_.GetMyFont(text->logfontId);
    CUICaption caption;
    caption.Set(nullptr, text, font);
    const QRect box(origin.x() + entry.rect.left, origin.y() + entry.rect.top, entry.rect.Width(),
                    entry.rect.Height());
    caption.Draw(painter, box);
  }
}

void CRozIdezDlg::closeEvent(QCloseEvent* e) {
  // Closing the start menu (window manager, Alt+F4) ends the application
  // through the main frame, never leaves it running without a window.
  e->ignore();
  if (CWnd* main = GetMainWnd()) PostMessage(main, WM_SWITCH_MODE, SWITCH_FROM_START_MENU, START_CLOSE);
}
