#pragma once
// The base of the layers that present a picture with per-pixel alpha over
// their host (the gesture layer, the automatic-photographing indicator):
// each draw fills a surface of the client size with ARGB 0, draws pictures
// and what its child controls show into it, and presents it. Pixels left
// at alpha 0 show the host unchanged and let the mouse through to it; the
// drawn pixels take it, so the child controls drawn there stay clickable.

#include "canvas/bufferdc.h"
#include "canvas/gdidc.h"
#include "contracts/widgetta/ui_ctrl.h"
#include "imaging/gdi_image.h"
#include "overlay/overlay_layer.h"
#include "overlay/xml_list_mgr.h"

class CPictureLayer : public COverlayLayer {
 public:
  CPictureLayer();
  ~CPictureLayer() override;

  // The picture presented last (null before the first draw).
  const QImage* GetSurface() const { return DCImage(surface_.GetBufferDC()); }

 protected:
  // Creates the layer over `owner` at `screenRect` (screen coordinates; the
  // owner's whole rectangle when empty), hidden, presenting nothing.
  bool CreatePictureLayer(CWnd* owner, const QString& name, const CRect& screenRect);
  // Makes the surface the client's size and clears it to ARGB 0. True when
  // its size changed (the layer lays out again).
  bool BeginDraw();
  // The picture into its rectangle, turned by `angle` degrees about the
  // rectangle's centre; nothing for a missing picture or an empty rectangle.
  void DrawPicture(const CGdiImage& picture, const CRect& rect, int angle = 0);
  // What a child control shows, at its place.
  void DrawControl(CUICtrl& control);
  // Presents the surface on the layer with constant alpha 255.
  void Present();
  // Between BeginDraw and Present. Drawing a child control can deliver the
  // layer's own pending size event; it must not start a draw inside a draw.
  bool InDraw() const { return inDraw_; }

  CXmlListMgr layout_;
  CGdiDC gdi_;
  CBufferDC surface_;

 private:
  bool inDraw_ = false;
};
