#include "app/mgr_tool_dlg.h"

#include "app/app_messages.h"
#include "app/library_commands.h"

namespace {
constexpr WPARAM kCodes[] = {LIBCMD_CLOSE, LIBCMD_BIND, LIBCMD_UNBIND, LIBCMD_DELETE, LIBCMD_EXPORT,
                             LIBCMD_PDF,   LIBCMD_MAIL, LIBCMD_PRINT,  LIBCMD_COMPARE, LIBCMD_BACK};
constexpr int kGap = 8;
}  // namespace

CMgrToolDlg::CMgrToolDlg() { OnMessage(WM_COMMAND, &CMgrToolDlg::OnCommand); }

bool CMgrToolDlg::Create(CWnd* parent, const CRect& rect, UINT id) {
  if (!CWnd::Create(Kind::Child, QStringLiteral("MgrToolDlg"), rect, parent, id)) return false;
  setObjectName(QStringLiteral("MgrToolDlg"));
  layout_.LoadSet(u"scanmgr", kLayoutWindow);
  std::vector<CMenuButtons::Entry> entries;
  for (WPARAM code : kCodes) entries.push_back({kCtrlBase + static_cast<int>(code), static_cast<int>(code)});
  buttons_.Add(layout_, this, entries);
  Apply();
  ShowWindow(SW_SHOW);
  return true;
}

void CMgrToolDlg::SetTarget(CWnd* page, Page kind) {
  target_ = page;
  page_ = kind;
  Apply();
}

void CMgrToolDlg::SetCompareAvailable(bool available) {
  compare_ = available;
  Apply();
}

bool CMgrToolDlg::IsOffered(int code) const {
  const CHdcBtn* b = Button(code);
  return b && !b->isHidden() && b->isEnabled();
}

void CMgrToolDlg::Apply() {
  const bool library = page_ == Page::Library;
  auto show = [this](WPARAM code, bool on) {
    if (CHdcBtn* b = Button(static_cast<int>(code))) b->setVisible(on);
  };
  show(LIBCMD_CLOSE, library);
  show(LIBCMD_BACK, !library);
  buttons_.SetAvailable(LIBCMD_BIND, page_ != Page::Bound);
  buttons_.SetAvailable(LIBCMD_DELETE, page_ != Page::Bound);
  buttons_.SetAvailable(LIBCMD_UNBIND, page_ != Page::Browse);
  buttons_.SetAvailable(LIBCMD_COMPARE, compare_);
  Layout();
}

void CMgrToolDlg::Layout() {
  std::vector<CHdcBtn*> shown;
  int total = 0;
  for (WPARAM code : kCodes) {
    CHdcBtn* b = Button(static_cast<int>(code));
    if (!b || b->isHidden()) continue;
    shown.push_back(b);
    total += b->width();
  }
  if (shown.empty()) return;
  total += kGap * static_cast<int>(shown.size() - 1);
  int x = std::max(0, (width() - total) / 2);
  for (CHdcBtn* b : shown) {
    b->move(x, std::max(0, (height() - b->height()) / 2));
    x += b->width() + kGap;
  }
}

void CMgrToolDlg::OnSize(int, int) { Layout(); }

LRESULT CMgrToolDlg::OnCommand(WPARAM wParam, LPARAM) {
  if (HIWORD(wParam) != BN_CLICKED) return 0;
  const int code = buttons_.CommandOf(static_cast<int>(LOWORD(wParam)));
  if (code < 0 || !IsOffered(code) || !target_) return 0;
  PostMessage(target_, WM_LIBRARY_COMMAND, static_cast<WPARAM>(code), 0);
  return 1;
}

bool CMgrToolDlg::OnEraseBkgnd(QPainter& painter) {
  painter.fillRect(rect(), ui_style::kInk);
  return true;
}
