#include "app/scanmgr_frm.h"

#include <QCloseEvent>

#include "app/app_messages.h"
#include "app/library_commands.h"
#include "contracts/fundara/language.h"
#include "contracts/fundara/paths.h"

namespace {
constexpr int kPagesWindow = 2;
constexpr int kToolStripCtrl = 2001;
constexpr int kTitleWindow = 1;
constexpr int kButtonMargin = 6;
}  // namespace

// ---- Title strip ------------------------------------------------------------------

bool CScanMgrTitleDlg::Create(CWnd* parent, UINT id) {
  if (!CWnd::Create(Kind::Child, QStringLiteral("ScanMgrTitleDlg"), CRect(), parent, id)) return false;
  setObjectName(QStringLiteral("ScanMgrTitleDlg"));
  setFocusPolicy(Qt::NoFocus);
  layout_.LoadSet(u"scanmgr", kTitleWindow);
  if (const CRect strip = layout_.GetBgRect(kStripCtrl); strip.Height() > 0) height_ = strip.Height();
  const auto caption = layout_.ResolveCaption(kTitleCtrl);
  title_.Set(nullptr, caption.language, caption.font);
  if (caption.control) titleRect_ = caption.control->rect;
  CRect r;
  if (layout_.LoadListTab(tab_, r, this, kTabCtrl)) {
    layout_.AddListTabBtn(tab_, kCollectTab);
    layout_.AddListTabBtn(tab_, kLibraryTab);
    // The tab's clicks arrive at the strip; the frame acts on them.
    tab_.SetCurSel(kLibraryTab);
  }
  layout_.LoadGdiBtn(minimize_, r, this, kMinimizeCtrl);
  layout_.LoadGdiBtn(back_, r, this, kBackCtrl);
  layout_.SetLanguageTip(minimize_, 4);
  layout_.SetLanguageTip(back_, 5);
  ShowWindow(SW_SHOW);
  return true;
}

void CScanMgrTitleDlg::OnSize(int cx, int) {
  // Minimise and back keep their sizes at the right end of the strip.
  int x = cx - kButtonMargin;
  for (CGdiBtnEx* b : {&back_, &minimize_}) {
    x -= b->width();
    b->move(std::max(0, x), std::max(0, (height() - b->height()) / 2));
    x -= kButtonMargin;
  }
}

LRESULT CScanMgrTitleDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  // Buttons and tabs report to the frame.
  if (msg == WM_COMMAND) return SendMessage(GetParentWnd(), msg, wParam, lParam);
  return CWnd::WindowProc(msg, wParam, lParam);
}

void CScanMgrTitleDlg::OnPaint(QPainter& painter) {
  painter.fillRect(rect(), ui_style::kTile);
  const QRect box = titleRect_.IsRectEmpty()
                        ? QRect(12, 0, 220, height())
                        : QRect(titleRect_.left, titleRect_.top, titleRect_.Width(), titleRect_.Height());
  title_.Draw(painter, box);
}

void CScanMgrTitleDlg::OnRButtonUp(UINT, CPoint p) {
  if (auto* frame = dynamic_cast<CScanMgrFrm*>(GetParentWnd())) frame->GetMinMenu().ShowAt(ClientToScreen(p));
}

// ---- Frame ------------------------------------------------------------------------

CScanMgrFrm::CScanMgrFrm() {
  OnMessage(WM_PAGE_SWITCH, &CScanMgrFrm::OnPageSwitch);
  OnMessage(WM_COMMAND, &CScanMgrFrm::OnTitleCommand);
  OnMessage(WM_REFRESH_LIBRARY, &CScanMgrFrm::OnRefreshLibrary);
  for (UINT msg : {WM_REFRESH_LIST, WM_REFRESH_TAB, WM_REFRESH_PAGE})
    OnMessage(msg, [this, msg](WPARAM w, LPARAM l) { return OnPageNotice(msg, w, l); });
}

CScanMgrFrm::~CScanMgrFrm() { bound_.CloseArchive(); }

bool CScanMgrFrm::Create(CWnd* owner, const CRect& rect) {
  if (!CWnd::Create(Kind::Popup, QStringLiteral("ScanMgr"), rect, owner, IDD_SCANMGR)) return false;
  setObjectName(QStringLiteral("ScanMgr"));
  setWindowTitle(QString::fromStdString(GetLanguageText("tupianguanli", "图片管理")));
  pagesLayout_.LoadSet(u"scanmgr", kPagesWindow);
  if (const CRect strip = pagesLayout_.GetBgRect(kToolStripCtrl); strip.Height() > 0)
    toolBarHeight_ = strip.Height();
  title_.Create(this, kTitleId);
  toolBar_.Create(this, CRect(), kToolBarId);
  library_.Create(this, CRect(), kLibraryId, this);
  browse_.Create(this, CRect(), kBrowseId);
  bound_.Create(this, CRect(), kBoundId);
  minMenu_.Create(this);
  pages_[PAGE_LIBRARY] = &library_;
  for (CWnd* w : {static_cast<CWnd*>(&library_), static_cast<CWnd*>(&browse_), static_cast<CWnd*>(&bound_)})
    w->ShowWindow(SW_HIDE);
  Show(&library_);
  ShowWindow(SW_HIDE);
  return true;
}

void CScanMgrFrm::SetPage(WPARAM number, CWnd* page) {
  if (number == PAGE_LIBRARY) return;  // the library is the frame's own
  if (page) {
    pages_[number] = page;
    page->ShowWindow(SW_HIDE);
  } else {
    if (shown_ == GetPage(number)) Show(&library_);
    pages_.erase(number);
  }
  if (CGdiBtnEx* tab = title_.GetTab().GetTabBtn(CScanMgrTitleDlg::kCollectTab))
    tab->EnableWindow(GetPage(PAGE_COLLECT) != nullptr);
}

CWnd* CScanMgrFrm::GetPage(WPARAM number) const {
  const auto it = pages_.find(number);
  return it == pages_.end() ? nullptr : it->second;
}

int CScanMgrFrm::ShowPage(WPARAM number) {
  CWnd* page = GetPage(number);
  if (!page) return 0;
  Show(page);
  if (page == &library_) library_.Refresh();
  return 1;
}

void CScanMgrFrm::Show(CWnd* window) {
  if (shown_ == &bound_ && window != &bound_) bound_.CloseArchive();
  for (CWnd* w : {static_cast<CWnd*>(&library_), static_cast<CWnd*>(&browse_), static_cast<CWnd*>(&bound_)})
    if (w != window) w->ShowWindow(SW_HIDE);
  for (const auto& [number, page] : pages_)
    if (page != window) page->ShowWindow(SW_HIDE);
  shown_ = window;
  if (window == &library_)
    toolBar_.SetTarget(&library_, CMgrToolDlg::Page::Library);
  else if (window == &browse_)
    toolBar_.SetTarget(&browse_, CMgrToolDlg::Page::Browse);
  else if (window == &bound_)
    toolBar_.SetTarget(&bound_, CMgrToolDlg::Page::Bound);
  else
    toolBar_.SetTarget(nullptr, CMgrToolDlg::Page::Library);
  Layout();
  if (window) window->ShowWindow(SW_SHOW);
  SelectTab();
}

void CScanMgrFrm::SelectTab() {
  const bool collect = shown_ && shown_ == GetPage(PAGE_COLLECT);
  title_.GetTab().SetCurSel(collect ? CScanMgrTitleDlg::kCollectTab : CScanMgrTitleDlg::kLibraryTab);
}

void CScanMgrFrm::Layout() {
  const CRect c = GetClientRect();
  const int titleBottom = titleShown_ ? std::min(c.bottom, title_.GetStripHeight()) : 0;
  title_.MoveWindow(CRect(0, 0, c.right, titleBottom));
  title_.setVisible(titleBottom > 0);
  const bool tools = toolBar_.GetTarget() != nullptr;
  const int toolTop = tools ? std::max(titleBottom, c.bottom - toolBarHeight_) : c.bottom;
  toolBar_.MoveWindow(CRect(0, toolTop, c.right, c.bottom));
  toolBar_.setVisible(tools);
  if (shown_) shown_->MoveWindow(CRect(0, titleBottom, c.right, toolTop));
}

void CScanMgrFrm::OnSize(int, int) { Layout(); }

void CScanMgrFrm::ModeOn() {
  ShowWindow(SW_SHOW);
  if (!ShowPage(PAGE_COLLECT)) ShowPage(PAGE_LIBRARY);
  activateWindow();
}

void CScanMgrFrm::ModeOff() {
  Show(&library_);
  minMenu_.ShowWindow(SW_HIDE);
  ShowWindow(SW_HIDE);
}

void CScanMgrFrm::SetFullScreen(int on) {
  KillTimer(kFullScreenTimer);
  SetTimer(kFullScreenTimer, kFullScreenMs);
  fullScreen_ = on ? 1 : 0;
  if (!fullScreen_ && !titleShown_) {
    titleShown_ = true;
    Layout();
  }
}

void CScanMgrFrm::OnTimer(UINT id) {
  if (id != kFullScreenTimer) return;
  KillTimer(kFullScreenTimer);
  const bool shown = !fullScreen_;
  if (shown == titleShown_) return;
  titleShown_ = shown;
  Layout();
}

void CScanMgrFrm::OpenPicture(const QStringList& pictures, int index) {
  if (!browse_.SetPictures(pictures, index) && browse_.GetCurrentPath().isEmpty()) return;
  Show(&browse_);
}

void CScanMgrFrm::OpenArchive(const QString& archive) {
  if (bound_.OpenArchive(archive)) Show(&bound_);
}

LRESULT CScanMgrFrm::OnPageSwitch(WPARAM page, LPARAM fromLibrary) {
  if (page == PAGE_COLLECT && fromLibrary) {
    // Leaving the library: to the collection page, or, while the program
    // has none, out of the mode.
    if (ShowPage(PAGE_COLLECT)) return 1;
    if (CWnd* main = GetMainWnd()) PostMessage(main, WM_SWITCH_MODE, SWITCH_FROM_MODE_MENU, MODE_BACK);
    return 1;
  }
  if (page == PAGE_COLLECT || page == PAGE_LIBRARY) return ShowPage(PAGE_LIBRARY);
  return 0;
}

LRESULT CScanMgrFrm::OnTitleCommand(WPARAM wParam, LPARAM) {
  if (HIWORD(wParam) != BN_CLICKED) return 0;
  switch (LOWORD(wParam)) {
    case CScanMgrTitleDlg::kMinimizeCtrl:
      if (CWnd* main = GetMainWnd())
        PostMessage(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
      else
        ShowWindow(SW_MINIMIZE);
      return 1;
    case CScanMgrTitleDlg::kBackCtrl:
      if (CWnd* main = GetMainWnd()) PostMessage(main, WM_SWITCH_MODE, SWITCH_FROM_MODE_MENU, MODE_BACK);
      return 1;
    case CScanMgrTitleDlg::kCollectTab:
      if (!ShowPage(PAGE_COLLECT)) SelectTab();
      return 1;
    case CScanMgrTitleDlg::kLibraryTab:
      ShowPage(PAGE_LIBRARY);
      return 1;
    default: return 0;
  }
}

LRESULT CScanMgrFrm::OnRefreshLibrary(WPARAM wParam, LPARAM lParam) {
  // The data root may have moved: the tree takes the library path again.
  library_.SetRootPath(QString::fromStdString(GetDataLibPath()));
  for (const auto& [number, page] : pages_)
    if (page != &library_) SendMessage(page, WM_REFRESH_LIBRARY, wParam, lParam);
  return 1;
}

LRESULT CScanMgrFrm::OnPageNotice(UINT msg, WPARAM wParam, LPARAM lParam) {
  if ((msg == WM_REFRESH_LIST || msg == WM_REFRESH_TAB) && wParam == 0) return 1;
  if (shown_ == &library_) library_.Refresh();
  LRESULT result = 0;
  for (const auto& [number, page] : pages_)
    if (page != &library_) result = SendMessage(page, msg, wParam, lParam);
  return result;
}

void CScanMgrFrm::closeEvent(QCloseEvent* e) {
  if (CWnd* main = GetMainWnd()) {
    e->ignore();
    PostMessage(main, WM_SWITCH_MODE, SWITCH_FROM_MODE_MENU, MODE_BACK);
    return;
  }
  CWnd::closeEvent(e);
}
