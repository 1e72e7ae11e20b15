#include "overlay/overlay_layer.h"

#include <QKeyEvent>

#include <algorithm>

COverlayLayer::COverlayLayer() {
  OnMessage(WM_LAYER_ESCAPE, [this](WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (CWnd* owner = GetParentWnd()) PostMessage(owner, WM_LAYER_ESCAPE, wParam, lParam);
    return 0;
  });
}

bool COverlayLayer::CreateLayer(CWnd* owner, const QString& name, const CRect& screenRect) {
  if (!owner || !CWnd::Create(Kind::Layer, name, screenRect, owner)) return false;
  SetPaintOverHost();
  QWidget::setVisible(false);
  return true;
}

CRect COverlayLayer::OwnerScreenRect(const CWnd* owner) { return owner ? owner->GetWindowRect() : CRect(); }

void COverlayLayer::keyPressEvent(QKeyEvent* e) {
  const UINT vk = VirtualKeyFromQt(e->key());
  if (vk == VK_ESCAPE) {
    if (CWnd* owner = GetParentWnd())
      PostMessage(owner, WM_LAYER_ESCAPE, VK_ESCAPE, static_cast<LPARAM>(std::max(1, e->count())));
    e->accept();
    return;
  }
  CWnd::keyPressEvent(e);
}

void COverlayLayer::keyReleaseEvent(QKeyEvent* e) {
  const UINT vk = VirtualKeyFromQt(e->key());
  if (vk == VK_ESCAPE || vk == VK_RETURN) {
    e->accept();
    return;
  }
  CWnd::keyReleaseEvent(e);
}

bool CBackgroundLayer::CreateBackground(CWnd* owner, const QString& name, const CRect& screenRect) {
  return CreateLayer(owner, name, screenRect.IsRectEmpty() ? OwnerScreenRect(owner) : screenRect);
}

int CBackgroundLayer::ShowWindow(int cmd) {
  upper_.ShowWindow(cmd);
  return COverlayLayer::ShowWindow(cmd);
}

void CBackgroundLayer::FollowWithUpper() {
  if (upper_.IsLayer()) upper_.MoveWindow(GetWindowRect());
}

void CBackgroundLayer::OnSize(int, int) { FollowWithUpper(); }
void CBackgroundLayer::OnMove(int, int) { FollowWithUpper(); }
