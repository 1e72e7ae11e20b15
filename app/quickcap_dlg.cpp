#include "app/quickcap_dlg.h"

#include "app/app_messages.h"

#include <QCloseEvent>

CQuickCapDlg::CQuickCapDlg(std::unique_ptr<CUsbCamera> camera) : client_(std::move(camera)) {}

CRect CQuickCapDlg::PlaceIn(const CRect& workArea) {
  const int right = workArea.right - QC_OFFSET_LEFT;
  const int bottom = workArea.bottom - QC_OFFSET_UP;
  return CRect(right - QC_WIDTH, bottom - QC_HEIGHT, right, bottom);
}

bool CQuickCapDlg::Create(CWnd* owner) {
  if (!CWnd::Create(Kind::Popup, QStringLiteral("QucikCap"), PlaceIn(GetWorkArea()), owner, IDD_QUICKCAP))
    return false;
  setObjectName(QStringLiteral("QucikCap"));
  // The picture is dragged into other programs' windows: it stays above them.
  SetTopMost(true);
  if (!title_.Create(this, CRect(0, 0, QC_WIDTH, QC_TITLE_HEIGHT), IDC_QC_TITLE)) return false;
  if (!client_.Create(this, CRect(0, QC_TITLE_HEIGHT, QC_WIDTH, QC_HEIGHT), IDC_QC_CLIENT)) return false;
  minMenu_.Create(this);
  ShowWindow(SW_HIDE);
  return true;
}

void CQuickCapDlg::closeEvent(QCloseEvent* e) {
  if (GetMainWnd()) {
    e->ignore();
    title_.OnBackToMenu();
    return;
  }
  CWnd::closeEvent(e);
}
