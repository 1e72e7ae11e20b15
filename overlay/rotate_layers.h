#pragma once
// The rotate layers: a dial over the picture of a host window that the user
// turns by dragging, to any whole degree within -180…180, the angle written
// on it; releasing the button posts WM_ROTATE_ANGLE (wParam the angle,
// signed) to the target window, which turns its picture.
//
//   CRotateBgLayer   the layer the host places over its picture area and
//                    shows; it paints nothing, takes the mouse over its
//                    rectangle (the picture below is not dragged while the
//                    dial shows) and keeps the dial layer over itself.
//   CRotateBtnLayer  lies exactly over the background layer: the dial
//                    picture of the "ui" set's window 9, turned by the
//                    angle, centred, with the angle as text; drawn at
//                    alpha 120 with black as colour key, so the picture
//                    shows around and through it. Black pixels let the
//                    mouse through to the background layer.

#include "canvas/bufferdc.h"
#include "canvas/gdidc.h"
#include "imaging/gdi_image.h"
#include "overlay/overlay_layer.h"
#include "overlay/xml_list_mgr.h"

class CRotateBtnLayer : public COverlayLayer {
 public:
  // The constant alpha of the dial and the colour of its text.
  static constexpr int kAlpha = 120;
  static constexpr Gdiplus::ARGB kTextColor = 0xFF00FF00;
  // The text-layout flags of the angle: centred on one line.
  static constexpr unsigned kTextFormat = 0x25;

  CRotateBtnLayer();
  ~CRotateBtnLayer() override;

  // Creates the dial layer exactly over `owner` (hidden), loads the "ui"
  // set's window 9 and the dial picture.
  bool Create(CWnd* owner);

  void SetParentHwnd(HWND target) { target_ = target; }
  HWND GetParentHwnd() const { return target_; }
  // Stores the angle as given (not brought into range) and redraws.
  void SetRotateAngle(int degrees);
  int GetRotateAngle() const { return angle_; }
  // Centres the dial picture's rectangle in the client area, keeping its size.
  void SetRect();
  void InitConfig();
  void LoadResources();

  CRect GetImageRect() const { return imageRect_; }
  bool IsDragging() const { return dragging_; }
  const LOGFONTW& GetAngleFont() const { return font_; }
  // The finished picture of the layer (null before the first paint).
  const QImage* GetSurface() const { return DCImage(surface_.GetBufferDC()); }

  // The text written on the dial: the angle and the degree sign.
  static QString AngleText(int degrees);
  // `angle` plus `delta`, brought into -180…180 as repeated steps of 360
  // would: above 180 down, below -180 up; 180 and -180 stay. Computed in a
  // wider type, so no angle overflows or loops.
  static int TurnAngle(int angle, int delta);

 protected:
  bool OnEraseBkgnd(QPainter& painter) override;
  void OnPaint(QPainter& painter) override;
  bool OnLButtonDown(UINT flags, CPoint p) override;
  void OnLButtonUp(UINT flags, CPoint p) override;
  void OnMouseMove(UINT flags, CPoint p) override;

 private:
  // Draws the dial into the surface; `invalidate` asks for a paint.
  void DrawDial(bool invalidate);

  CXmlListMgr layout_;
  CGdiImage dial_;
  CRect imageRect_;
  CGdiDC gdi_;
  CBufferDC surface_;
  int angle_ = 0;
  bool dragging_ = false;
  CPoint last_, press_;
  HWND target_ = nullptr;
  LOGFONTW font_;
};

class CRotateBgLayer : public CBackgroundLayer {
 public:
  CRotateBgLayer();
  ~CRotateBgLayer() override;

  // Creates the layer "rotateBgLayer" over `owner` at `screenRect` (screen
  // coordinates; the owner's whole rectangle when empty), hidden, with the
  // dial layer over it.
  bool Create(CWnd* owner, const CRect& screenRect = {});

  void SetParentHwnd(HWND target) { dial_.SetParentHwnd(target); }
  void SetRotateAngle(int degrees) { dial_.SetRotateAngle(degrees); }
  CRotateBtnLayer& GetBtnLayer() { return dial_; }

 private:
  CRotateBtnLayer dial_;
};
