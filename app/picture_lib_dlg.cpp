#include "app/picture_lib_dlg.h"

#include <QDir>
#include <QFileInfo>

#include "app/app_messages.h"
#include "contracts/fundara/paths.h"

namespace {
constexpr int kMargin = 4;
}  // namespace

CPictureLibDlg::CPictureLibDlg() : commands_(std::make_unique<CPictureCommands>()) {
  OnMessage(WM_TREE_SELECT, &CPictureLibDlg::OnTreeSelect);
  OnMessage(WM_COMMAND, &CPictureLibDlg::OnCommand);
  OnMessage(WM_LIBRARY_COMMAND, &CPictureLibDlg::OnLibraryCommand);
  OnMessage(WM_REFRESH_LIBRARY, &CPictureLibDlg::OnRefreshLibrary);
}

bool CPictureLibDlg::Create(CWnd* parent, const CRect& rect, UINT id, IPictureViewer* viewer) {
  if (!CWnd::Create(Kind::Child, QStringLiteral("PictureLibDlg"), rect, parent, id)) return false;
  setObjectName(QStringLiteral("PictureLibDlg"));
  viewer_ = viewer;
  commands_->SetOwner(this);
  layout_.LoadSet(u"scanmgr", kLayoutWindow);
  if (const CRect r = layout_.GetBgRect(kTreeId); r.Width() > 0) treeWidth_ = r.Width();
  if (const CRect r = layout_.GetBgRect(kPathBarId); r.Height() > 0) barHeight_ = r.Height();

  tree_.Create(CRect(), this, kTreeId);
  tree_.OpenRButtonMenu(1);
  pathBar_.Create(QStringLiteral("pathBar"), WS_CHILD | WS_VISIBLE, CRect(), this, kPathBarId);
  list_.Create(QStringLiteral("fileListView"), WS_CHILD | WS_VISIBLE, CRect(), this, kListId);
  SetRootPath(QString::fromStdString(GetDataLibPath()));
  Layout();
  return true;
}

void CPictureLibDlg::SetCommands(std::unique_ptr<CPictureCommands> commands) {
  commands_ = std::move(commands);
  commands_->SetOwner(this);
}

void CPictureLibDlg::SetRootPath(const QString& root) {
  const QString selected = tree_.GetSelectPath();
  tree_.SetRootPath(root);
  pathBar_.SetRootPath(tree_.GetRootPath());
  FillAndSelect(selected);
}

void CPictureLibDlg::RefreshTree() { FillAndSelect(tree_.GetSelectPath()); }

void CPictureLibDlg::FillAndSelect(QString want) {
  tree_.SetPath(tree_.GetRootPath(), TVI_ROOT);
  // The remembered folder may be gone (deleted, or outside a new data
  // root): the nearest folder above it that the tree has is shown instead.
  const QString rootSlash = tree_.GetRootPath() + QLatin1Char('/');
  while (!want.isEmpty() && !tree_.SetCurPath(want)) {
    const QString up = QFileInfo(want).path();
    want = up != want && (up + QLatin1Char('/')).startsWith(rootSlash) ? up : QString();
  }
  if (want.isEmpty()) tree_.SetCurPath(tree_.GetRootPath());
  ShowFolder(tree_.GetSelectPath());
}

void CPictureLibDlg::Refresh() {
  // New photographs may have made new folders as well as files.
  RefreshTree();
}

void CPictureLibDlg::ShowFolder(const QString& folder) {
  if (folder.isEmpty()) return;
  if (folder == list_.GetPath())
    list_.Refresh();
  else
    list_.SetPath(folder);
  pathBar_.SetPath(folder);
}

LRESULT CPictureLibDlg::OnTreeSelect(WPARAM, LPARAM) {
  ShowFolder(tree_.GetSelectPath());
  return 0;
}

LRESULT CPictureLibDlg::OnCommand(WPARAM wParam, LPARAM) {
  const UINT id = LOWORD(wParam), code = HIWORD(wParam);
  if (id == kListId && code == LVN_DBLCLK) {
    OpenItem(list_.GetCurItem());
    return 1;
  }
  if (id == kPathBarId && code == PBN_SELCHANGE) {
    if (!tree_.SetCurPath(pathBar_.GetPath())) pathBar_.SetPath(tree_.GetSelectPath());
    return 1;
  }
  return 0;
}

void CPictureLibDlg::OpenItem(int index) {
  const QString path = list_.GetItemPath(index);
  if (path.isEmpty() || !viewer_) return;
  if (IsArchive(path)) {
    viewer_->OpenArchive(path);
    return;
  }
  if (!IsPicture(path)) return;
  // Previous and next walk the folder's pictures in list order.
  QStringList pictures;
  for (int i = 0; i < list_.GetItemCount(); ++i)
    if (IsPicture(list_.GetItemPath(i))) pictures.append(list_.GetItemPath(i));
  viewer_->OpenPicture(pictures, static_cast<int>(pictures.indexOf(path)));
}

LRESULT CPictureLibDlg::OnLibraryCommand(WPARAM code, LPARAM) {
  // A command waiting in its message box lets messages through: another
  // press meanwhile is not queued behind it.
  if (commands_->IsBusy()) return 0;
  RunCommand(code);
  return 1;
}

void CPictureLibDlg::RunCommand(WPARAM code) {
  const QStringList selected = list_.GetSelectFile();
  switch (code) {
    case LIBCMD_CLOSE: PostMessage(GetParentWnd(), WM_PAGE_SWITCH, PAGE_COLLECT, 1); return;
    case LIBCMD_BACK: PostMessage(GetParentWnd(), WM_PAGE_SWITCH, PAGE_LIBRARY, 1); return;
    case LIBCMD_BIND: commands_->Bind(selected); break;
    case LIBCMD_UNBIND: commands_->Unbind(selected); break;
    case LIBCMD_DELETE:
      if (selected.isEmpty()) return;
      commands_->Delete(selected);
      RefreshTree();
      return;
    case LIBCMD_EXPORT: commands_->Export(selected); break;
    case LIBCMD_PDF: commands_->Pdf(selected); break;
    case LIBCMD_MAIL: commands_->Mail(selected); break;
    case LIBCMD_PRINT: commands_->Print(selected); break;
    case LIBCMD_COMPARE: commands_->Compare(selected); break;
    default: return;
  }
  list_.Refresh();
}

LRESULT CPictureLibDlg::OnRefreshLibrary(WPARAM, LPARAM) {
  RefreshTree();
  return 1;
}

void CPictureLibDlg::Layout() {
  const CRect c = GetClientRect();
  const int treeRight = std::min(c.right, treeWidth_);
  tree_.MoveWindow(CRect(kMargin, kMargin, std::max(kMargin, treeRight - kMargin), std::max(kMargin, c.bottom - kMargin)));
  const int left = std::min(c.right, treeRight + kMargin);
  const int right = std::max(left, c.right - kMargin);
  const int barBottom = std::min(c.bottom, kMargin + barHeight_);
  pathBar_.MoveWindow(CRect(left, kMargin, right, barBottom));
  list_.MoveWindow(CRect(left, std::min(c.bottom, barBottom + kMargin), right, std::max(barBottom, c.bottom - kMargin)));
}

void CPictureLibDlg::OnSize(int, int) { Layout(); }

bool CPictureLibDlg::OnEraseBkgnd(QPainter& painter) {
  painter.fillRect(rect(), ui_style::kPaper);
  return true;
}
