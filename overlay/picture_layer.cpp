#include "overlay/picture_layer.h"

CPictureLayer::CPictureLayer() = default;
CPictureLayer::~CPictureLayer() = default;

bool CPictureLayer::CreatePictureLayer(CWnd* owner, const QString& name, const CRect& screenRect) {
  const CRect place = screenRect.IsRectEmpty() ? OwnerScreenRect(owner) : screenRect;
  if (!CreateLayer(owner, name, place)) return false;
  gdi_.Init();
  // Until the first draw the layer presents an empty picture: it covers
  // nothing and takes no mouse.
  if (BeginDraw()) Present();
  return true;
}

bool CPictureLayer::BeginDraw() {
  inDraw_ = true;
  const CRect client = GetClientRect();
  bool resized = false;
  if (surface_.GetBufferRect().Size() != client.Size()) {
    resized = true;
    if (!surface_.CreateBufferDC(nullptr, client)) surface_.Release();
  }
  if (HDC dc = surface_.GetBufferDC()) gdi_.Clear(dc, 0);
  return resized;
}

void CPictureLayer::DrawPicture(const CGdiImage& picture, const CRect& rect, int angle) {
  HDC dc = surface_.GetBufferDC();
  if (!dc || !picture.GetImage() || rect.IsRectEmpty()) return;
  if (angle == 0)
    gdi_.DrawImage(dc, picture.GetImage(), rect);
  else
    gdi_.DrawImage(dc, picture.GetImage(), rect, angle);
}

void CPictureLayer::DrawControl(CUICtrl& control) {
  QImage* surface = DCImage(surface_.GetBufferDC());
  if (!surface) return;
  control.render(surface, control.geometry().topLeft(), QRegion(), QWidget::DrawChildren);
}

void CPictureLayer::Present() {
  inDraw_ = false;
  // A layer of no size has no surface and shows nothing anyway.
  if (HDC dc = surface_.GetBufferDC()) gdi_.Paste(this, dc, 255);
}
