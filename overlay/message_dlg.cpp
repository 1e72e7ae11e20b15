#include "overlay/message_dlg.h"

#include "canvas/gdidc.h"
#include "contracts/fundara/language.h"
#include "platform/dialogs.h"

#include <QPainter>

namespace {

// The "ui" set's window of the box.
constexpr int kBoxWindow = 7;
constexpr int kBorderWidth = 2;

int Slot(int id) { return id - MSGDLG_CANCEL; }

}  // namespace

CMessageDlg::CMessageDlg(const QString& first, const QString& second, CWnd* owner)
    : first_(first), second_(second), owner_(owner) {}

CMessageDlg::~CMessageDlg() = default;

CGdiBtnEx* CMessageDlg::GetButton(int id) {
  const int i = Slot(id);
  return i >= 0 && i < static_cast<int>(buttons_.size()) ? &buttons_[i] : nullptr;
}

void CMessageDlg::DefaultLayout() {
  backgroundRect_ = CRect(0, 0, kDefaultWidth, kDefaultHeight);
  stripRect_ = CRect(0, 0, kDefaultWidth, 36);
  buttonRects_[Slot(MSGDLG_CANCEL)] = CRect(kDefaultWidth - 112, kDefaultHeight - 48, kDefaultWidth - 16, kDefaultHeight - 16);
  buttonRects_[Slot(MSGDLG_OK)] = CRect(kDefaultWidth - 220, kDefaultHeight - 48, kDefaultWidth - 124, kDefaultHeight - 16);
  buttonRects_[Slot(MSGDLG_MESSAGE)] = CRect(20, 48, kDefaultWidth - 20, kDefaultHeight - 60);
  buttonRects_[Slot(MSGDLG_TITLE)] = CRect(12, 2, kDefaultWidth - 12, 34);
}

bool CMessageDlg::OnInitDialog() {
  if (initialised_) return true;
  initialised_ = true;
  QWidget* ownerWindow = owner_ ? owner_->window() : nullptr;
  Create(Kind::Popup, first_, CRect(0, 0, kDefaultWidth, kDefaultHeight), ownerWindow);
  layout_.LoadSet(u"ui", kBoxWindow);
  const bool described = layout_.GetCtrl(MSGDLG_BACKGROUND) && !layout_.GetBgRect(MSGDLG_BACKGROUND).IsRectEmpty();
  if (!described) DefaultLayout();  // a box of 0 × 0 could never be answered
  CRect rect;
  if (layout_.LoadGdiImage(background_, rect, MSGDLG_BACKGROUND) || described) backgroundRect_ = rect;
  if (layout_.LoadGdiImage(strip_, rect, MSGDLG_TITLE_STRIP) || layout_.GetCtrl(MSGDLG_TITLE_STRIP)) stripRect_ = rect;
  for (int id = MSGDLG_CANCEL; id <= MSGDLG_TITLE; ++id) {
    CGdiBtnEx& button = buttons_[Slot(id)];
    layout_.LoadGdiBtn(button, rect, this, id);
    if (layout_.GetCtrl(id)) buttonRects_[Slot(id)] = rect;
    button.MoveWindow(buttonRects_[Slot(id)]);
    button.ShowWindow(SW_SHOW);
  }
  if (!layout_.GetCtrl(MSGDLG_CANCEL))
    buttons_[Slot(MSGDLG_CANCEL)].SetCaptionText(QString::fromStdString(GetLanguageText("quxiao", "取消")));
  if (!layout_.GetCtrl(MSGDLG_OK))
    buttons_[Slot(MSGDLG_OK)].SetCaptionText(QString::fromStdString(GetLanguageText("queding", "确定")));
  buttons_[Slot(MSGDLG_MESSAGE)].SetCaptionText(second_);
  buttons_[Slot(MSGDLG_TITLE)].SetCaptionText(first_);
  // The texts are labels: they take no clicks.
  buttons_[Slot(MSGDLG_MESSAGE)].setAttribute(Qt::WA_TransparentForMouseEvents);
  buttons_[Slot(MSGDLG_TITLE)].setAttribute(Qt::WA_TransparentForMouseEvents);

  // Centred in the work area (whose origin need not be the screen's).
  const CRect work = GetWorkArea();
  const int w = backgroundRect_.Width(), h = backgroundRect_.Height();
  const int x = work.left + (work.Width() - w) / 2, y = work.top + (work.Height() - h) / 2;
  MoveWindow(CRect(x, y, x + w, y + h));
  return true;
}

int CMessageDlg::DoModal() {
  OnInitDialog();
  return CWnd::DoModal();
}

bool CMessageDlg::PreTranslateKeyDown(UINT vk) {
  // The dialog's own keys: Enter is OK, Escape is Cancel.
  if (vk == VK_RETURN) {
    EndDialog(IDOK);
    return true;
  }
  if (vk == VK_ESCAPE) {
    EndDialog(IDCANCEL);
    return true;
  }
  return false;
}

LRESULT CMessageDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    switch (LOWORD(wParam)) {
      case MSGDLG_CANCEL: EndDialog(IDCANCEL); return 1;
      case MSGDLG_OK: EndDialog(IDOK); return 1;
      default: return 1;
    }
  }
  return CWnd::WindowProc(msg, wParam, lParam);
}

bool CMessageDlg::OnLButtonDown(UINT, CPoint p) {
  if (stripRect_.PtInRect(p)) DragTopLevelWindow();
  return true;
}

bool CMessageDlg::OnEraseBkgnd(QPainter& painter) {
  const CRect client = GetClientRect();
  if (surface_.GetBufferRect().Size() != client.Size() && surface_.CreateBufferDC(nullptr, client)) {
    surface_.SetBackColor(client, kFill);
    CGdiDC dc;
    dc.Init();
    if (background_.GetImage()) dc.DrawImage(surface_.GetBufferDC(), background_.GetImage(), client);
    if (strip_.GetImage()) dc.DrawImage(surface_.GetBufferDC(), strip_.GetImage(), stripRect_);
    const QImage* surface = DCImage(surface_.GetBufferDC());
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
      // Buttons with artwork, and the two texts, lie on the box's picture;
      // a button without artwork draws its own tile.
      CGdiBtnEx& button = buttons_[i];
      const bool label = static_cast<int>(i) >= Slot(MSGDLG_MESSAGE);
      if (label || !button.GetNormalImage().isNull()) button.SetBackground(*surface, buttonRects_[i]);
    }
  }
  if (const QImage* surface = DCImage(surface_.GetBufferDC())) painter.drawImage(0, 0, *surface);
  return true;
}

void CMessageDlg::OnPaint(QPainter& painter) {
  const QRect client = rect();
  const QColor border = QColor::fromRgb(kBorder & 0xFF, (kBorder >> 8) & 0xFF, (kBorder >> 16) & 0xFF);
  const int b = kBorderWidth;
  painter.fillRect(QRect(0, 0, client.width(), b), border);
  painter.fillRect(QRect(0, client.height() - b, client.width(), b), border);
  painter.fillRect(QRect(0, 0, b, client.height()), border);
  painter.fillRect(QRect(client.width() - b, 0, b, client.height()), border);
}

int MsgBox(const QString& first, const QString& second, CWnd* owner) {
  if (ScriptedBoxAnswer({first, second, MB_OKCANCEL, owner})) return 0;
  CMessageDlg dialog(first, second, owner);
  dialog.DoModal();
  return 0;
}

void OCRBox(const BYTE*, int, int, int) {}
