#include "overlay/auto_photograph.h"

namespace {

// The "ui" set's window of the indicator.
constexpr int kIndicatorWindow = 11;

}  // namespace

CAutoPhotograph::CAutoPhotograph() {
  OnMessage(WM_LAYER_DRAW, [this](WPARAM wParam, LPARAM) -> LRESULT {
    if (wParam == 1) {
      EndHover();
      DoDraw();
    }
    return 0;
  });
}

CAutoPhotograph::~CAutoPhotograph() = default;

bool CAutoPhotograph::Create(CWnd* owner, const CRect& screenRect) {
  if (!CreatePictureLayer(owner, QStringLiteral("autoPhotograph"), screenRect)) return false;
  InitConfig();
  LoadResources();
  DoDraw();
  return true;
}

void CAutoPhotograph::InitConfig() { layout_.LoadSet(u"ui", kIndicatorWindow); }

void CAutoPhotograph::LoadResources() {
  layout_.LoadGdiImage(picture_, pictureRect_, kPicture);
  layout_.LoadGdiBtn(close_, closeRect_, this, kClose);
  layout_.SetLanguageTip(close_, kClose);
  layout_.LoadGdiBtn(caption_, captionRect_, this, kCaption);
  layout_.LoadGdiBtn(centred_, centredRect_, this, kCentredCaption);
  close_.ShowWindow(SW_HIDE);
  ShowCaptions(SW_HIDE);
  SetRect();
}

CGdiBtnEx* CAutoPhotograph::GetButton(int id) {
  switch (id) {
    case kClose: return &close_;
    case kCaption: return &caption_;
    case kCentredCaption: return &centred_;
    default: return nullptr;
  }
}

void CAutoPhotograph::SetRect() {
  const CRect client = GetClientRect();
  const int left = client.left + (client.Width() - centredRect_.Width()) / 2;
  const int top = client.top + (client.Height() - centredRect_.Height()) / 2;
  centredRect_ = CRect(left, top, left + centredRect_.Width(), top + centredRect_.Height());
  close_.MoveWindow(closeRect_);
  caption_.MoveWindow(captionRect_);
  centred_.MoveWindow(centredRect_);
}

void CAutoPhotograph::ShowCaptions(int cmd) {
  caption_.ShowWindow(cmd);
  centred_.ShowWindow(cmd);
}

void CAutoPhotograph::EndHover() {
  hover_ = false;
  close_.ShowWindow(SW_HIDE);
}

void CAutoPhotograph::BeginAutoPhotograph() {
  ShowCaptions(SW_SHOW);
  COverlayLayer::ShowWindow(SW_SHOW);
  DoDraw();
}

void CAutoPhotograph::EndAutoPhotograph() {
  ShowCaptions(SW_HIDE);
  EndHover();
  DoDraw();
  COverlayLayer::ShowWindow(SW_HIDE);
}

int CAutoPhotograph::ShowWindow(int cmd) {
  ShowCaptions(cmd);
  if (cmd == SW_HIDE) EndHover();
  DoDraw();
  return COverlayLayer::ShowWindow(cmd);
}

void CAutoPhotograph::OnMouseMove(UINT, CPoint p) {
  if (pictureRect_.PtInRect(p) && !hover_) {
    hover_ = true;
    close_.ShowWindow(SW_SHOW);
    DoDraw();
  }
}

void CAutoPhotograph::OnSize(int, int) {
  if (!InDraw()) DoDraw();
}

LRESULT CAutoPhotograph::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == static_cast<UINT>(kClose)) {
    // Hides the indicator only; automatic photographing is the host's.
    EndAutoPhotograph();
    return 1;
  }
  return CPictureLayer::WindowProc(msg, wParam, lParam);
}

void CAutoPhotograph::DoDraw() {
  if (BeginDraw()) SetRect();
  if (hover_)
    DrawControl(close_);
  else
    DrawPicture(picture_, pictureRect_);
  // The captions are drawn while they show.
  if (caption_.isVisibleTo(this)) DrawControl(caption_);
  if (centred_.isVisibleTo(this)) DrawControl(centred_);
  Present();
}
