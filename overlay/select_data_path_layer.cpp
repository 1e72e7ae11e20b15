#include "overlay/select_data_path_layer.h"

#include "contracts/fundara/paths.h"

namespace {
constexpr int kUiWindow = 5;
constexpr int kBackground = 1;
constexpr int kWidth = 200, kHeight = 240, kTreeHeight = 200;
constexpr int kItemHeight = 32;
}  // namespace

CSelectDataPathLayer::CSelectDataPathLayer() {
  OnMessage(WM_TREE_SELECT, &CSelectDataPathLayer::OnTreeCtrlSelect);
  OnMessage(WM_COMMAND, &CSelectDataPathLayer::OnButton);
}

bool CSelectDataPathLayer::Create(CWnd* parent, CPoint topLeft, UINT id) {
  if (!CWnd::Create(Kind::Child, QString(), CRect(topLeft.x, topLeft.y, topLeft.x + kWidth, topLeft.y + kHeight),
                    parent, id))
    return false;
  dataPath_ = QString::fromStdString(GetDataPathEx());
  const QString libPath = QString::fromStdString(GetDataLibPath());
  if (!tree_.Create(CRect(0, 0, kWidth, kTreeHeight), this, ID_DATAPATH_TREE)) return false;
  tree_.SetItemHeight(kItemHeight);
  tree_.SetPath(libPath, TVI_ROOT);
  if (!picLibPath_.isEmpty()) tree_.SetCurPath(picLibPath_);
  tree_.ShowWindow(SW_SHOW);
  xml_.LoadSet(u"ui", kUiWindow);
  CRect rect;
  xml_.LoadGdiImage(background_, rect, kBackground);
  xml_.LoadHdcBtn(ok_, rect, this, ID_DATAPATH_OK);
  xml_.LoadHdcBtn(cancel_, rect, this, ID_DATAPATH_CANCEL);
  return true;
}

void CSelectDataPathLayer::SetPicLibPath(const QString& path) {
  picLibPath_ = path;
  tree_.SetCurPath(path);
}

LRESULT CSelectDataPathLayer::OnTreeCtrlSelect(WPARAM, LPARAM) {
  // The selected folder's own path: the same as the data folder followed by
  // the item texts, without relying on the library lying right below it.
  const QString selected = tree_.GetSelectPath();
  if (!selected.isEmpty()) picLibPath_ = selected;
  return 0;
}

LRESULT CSelectDataPathLayer::OnButton(WPARAM wParam, LPARAM lParam) {
  const UINT id = LOWORD(wParam);
  if ((id == ID_DATAPATH_OK || id == ID_DATAPATH_CANCEL) && parentWidget())
    PostMessage(parentWidget(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), lParam);
  return 0;
}

bool CSelectDataPathLayer::OnEraseBkgnd(QPainter& painter) {
  const CRect client = GetClientRect();
  if (surface_.GetBufferRect() != client) {
    surface_.CreateBufferDC(nullptr, client);
    surface_.SetBackColor(client, 0);
    if (QImage* image = background_.GetImage()) {
      QPainter p(surface_.GetBufferDC());
      p.drawImage(QRect(0, 0, client.Width(), client.Height()), *image);
    }
    const QImage& pixels = *static_cast<QImage*>(surface_.GetBufferDC());
    for (CGdiBtnEx* button : {static_cast<CGdiBtnEx*>(&ok_), static_cast<CGdiBtnEx*>(&cancel_)}) {
      const QRect g = button->geometry();
      button->SetBackground(pixels, CRect(g.left(), g.top(), g.right() + 1, g.bottom() + 1));
    }
  }
  painter.drawImage(0, 0, *static_cast<QImage*>(surface_.GetBufferDC()));
  return true;
}
