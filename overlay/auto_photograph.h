#pragma once
// The indicator of automatic photographing: a layer over the preview that
// shows a picture while automatic photographing runs, with two captions
// saying what runs. With the mouse on the picture a close button takes its
// place; its click hides the indicator only (automatic photographing goes
// on: that is the host's business). The close button goes again when the
// host sends WM_LAYER_DRAW with wParam 1 (the mouse has left), when the
// indicator hides or ends. The "ui" set's window 11 lays it out.

#include "contracts/widgetta/gdi_btn.h"
#include "overlay/picture_layer.h"

class CAutoPhotograph : public CPictureLayer {
 public:
  // Control ids of window 11.
  static constexpr int kPicture = 1;
  static constexpr int kClose = 2;
  static constexpr int kCaption = 3;
  static constexpr int kCentredCaption = 4;

  CAutoPhotograph();
  ~CAutoPhotograph() override;

  // Creates the layer "autoPhotograph" over `owner` at `screenRect` (screen
  // coordinates; the owner's whole rectangle when empty), hidden; loads
  // window 11 and lays it out.
  bool Create(CWnd* owner, const CRect& screenRect = {});

  void SetParentHwnd(HWND parent) { parent_ = parent; }
  HWND GetParentHwnd() const { return parent_; }
  // Shows the captions and the indicator, and draws.
  void BeginAutoPhotograph();
  // Hides the captions, the close button and the indicator.
  void EndAutoPhotograph();
  // Shows or hides the captions with the command; hiding also clears the
  // hover state. Then shows or hides the indicator.
  int ShowWindow(int cmd) override;
  bool IsHover() const { return hover_; }
  void DoDraw();
  void SetRect();
  void InitConfig();
  void LoadResources();

  CRect GetPictureRect() const { return pictureRect_; }
  // Buttons 2 to 4; null for any other id.
  CGdiBtnEx* GetButton(int id);

 protected:
  void OnMouseMove(UINT flags, CPoint p) override;
  void OnSize(int cx, int cy) override;
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void ShowCaptions(int cmd);
  // Clears the hover flag and hides the close button.
  void EndHover();

  CGdiImage picture_;
  CRect pictureRect_;
  CGdiBtnEx close_, caption_, centred_;
  CRect closeRect_, captionRect_, centredRect_;
  bool hover_ = false;
  HWND parent_ = nullptr;
};
