#pragma once
// The crop layers: a green frame with eight handles that the user draws,
// moves and resizes over the picture of a host window, everything outside
// it darkened, and a small bar of buttons under it whose clicks become
// WM_UPDATE_CUTAREA commands to a target window.
//
//   CCutBgLayer    the layer the host creates and shows over its picture;
//                  it owns the other two and passes mouse input on to the
//                  rectangle layer.
//   CCutRectLayer  lies exactly over the background layer: paints the veil
//                  (black at alpha 120) outside the frame, the frame and its
//                  handles, hit-tests and drags.
//   CCutBtnLayer   the 80 × 20 button bar under the frame.
//
// Coordinates of the crop rectangle are client coordinates of the layers
// (the background and rectangle layers coincide).

#include "canvas/bufferdc.h"
#include "contracts/widgetta/gdi_btn.h"
#include "overlay/overlay_layer.h"
#include "overlay/xml_list_mgr.h"

#include <array>

// The commands of the button bar (wParam of WM_UPDATE_CUTAREA).
constexpr int CUT_CMD_CLOSE = 1;
constexpr int CUT_CMD_CUT_VIDEO = 2;
constexpr int CUT_CMD_SAVE = 3;
constexpr int CUT_CMD_COPY = 4;
constexpr int CUT_CMD_OCR_CLOSE = 5;
constexpr int CUT_CMD_OCR = 6;

class CCutBtnLayer : public COverlayLayer {
 public:
  static constexpr int kWidth = 80;
  static constexpr int kHeight = 20;
  static constexpr int kButtons = 6;
  // Place of button `id` (1 to 6) inside the bar.
  static CRect ButtonRect(int id);

  CCutBtnLayer();
  ~CCutBtnLayer() override;

  // Creates the bar over `owner` (80 × 20 at the owner's origin, hidden),
  // loads the "ui" set's window 4 and builds the six buttons.
  bool Create(CWnd* owner);
  void SetParentHwnd(HWND target) { target_ = target; }
  HWND GetParentHwnd() const { return target_; }
  // Recognition mode shows buttons 5 and 6, normal mode 1 to 4.
  void SetOCRMode(int on);
  int GetOCRMode() const { return ocr_ ? 1 : 0; }
  // Places the buttons at their rectangles and shows those of the mode.
  void SetRect();
  void InitConfig();
  void LoadResources();
  // Button `id` (1 to 6); null for any other id.
  CGdiBtnEx* GetButton(int id);

 protected:
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  bool OnEraseBkgnd(QPainter& painter) override;

 private:
  CXmlListMgr layout_;
  std::array<CGdiBtnEx, kButtons> buttons_;
  CBufferDC background_;
  HWND target_ = nullptr;
  bool ocr_ = false;
};

class CCutRectLayer : public COverlayLayer {
 public:
  // Drag modes: none, a new rectangle, then the hit codes of DragFrame.
  static constexpr int kNoDrag = -1;
  static constexpr int kNewRect = 0;
  static constexpr int kMove = 9;
  // Handles are 8 × 8; a rectangle narrower or lower than this has none.
  static constexpr int kHandleSize = 8;
  static constexpr int kVeilAlpha = 120;

  CCutRectLayer();
  ~CCutRectLayer() override;

  // Creates the layer exactly over `owner` (hidden) and its button bar.
  bool Create(CWnd* owner);

  // The crop rectangle: empty when nothing is drawn. While a handle is
  // dragged it is the raw result of the drag (left may pass right); it is
  // normalised when the button is released.
  CRect GetCutRect() const { return rect_; }
  void ShowBtn(int on) { buttonsEnabled_ = on != 0; }
  int GetShowBtn() const { return buttonsEnabled_ ? 1 : 0; }
  void SetParentHwnd(HWND target) { bar_.SetParentHwnd(target); }
  void SetOCRMode(int on);
  int GetOCRMode() const { return ocr_ ? 1 : 0; }
  // Empties the rectangle, ends any drag and hides the bar, then shows or
  // hides the layer.
  int ShowWindow(int cmd) override;
  // Hit code of a point: 1 to 8 the handles (top-left, top, top-right,
  // right, bottom-right, bottom, bottom-left, left), 9 inside, 0 elsewhere
  // or when the rectangle has no handles.
  int DragFrame(CPoint p) const;
  int GetDragMode() const { return mode_; }
  // The cursor of a hit code.
  static CursorShape CursorForHit(int hit);
  // The frame and its handles of the (normalised) crop rectangle.
  void DrawGreenFrame(QPainter& painter) const;
  // Everything the layer paints: the veil outside the rectangle, the frame,
  // and the hint in recognition mode while nothing is drawn.
  void DrawLayer(QPainter& painter) const;
  CCutBtnLayer& GetBtnLayer() { return bar_; }

  // Mouse input, also passed on by the background layer.
  bool OnLButtonDown(UINT flags, CPoint p) override;
  void OnLButtonUp(UINT flags, CPoint p) override;
  void OnMouseMove(UINT flags, CPoint p) override;

 protected:
  void OnPaint(QPainter& painter) override;
  void OnSize(int cx, int cy) override;
  void OnMove(int x, int y) override;

 private:
  // Puts the bar under the rectangle's right end, kept inside the layer.
  void PlaceBar();
  void EndDrag();

  CRect rect_;
  CPoint last_, anchor_;
  int mode_ = kNoDrag;
  bool buttonsEnabled_ = false;
  bool ocr_ = false;
  CCutBtnLayer bar_;
};

class CCutBgLayer : public CBackgroundLayer {
 public:
  CCutBgLayer();
  ~CCutBgLayer() override;

  // Creates the layer "cutBgLayer" over `owner` at `screenRect` (screen
  // coordinates; the owner's whole rectangle when empty), hidden, with the
  // rectangle layer over it.
  bool Create(CWnd* owner, const CRect& screenRect = {});

  CRect GetCutRect() const { return rectLayer_.GetCutRect(); }
  void ShowBtn(int on) { rectLayer_.ShowBtn(on); }
  void SetParentHwnd(HWND target) { rectLayer_.SetParentHwnd(target); }
  void SetOCRMode(int on) { rectLayer_.SetOCRMode(on); }
  CCutRectLayer& GetRectLayer() { return rectLayer_; }

 protected:
  bool OnLButtonDown(UINT flags, CPoint p) override { return rectLayer_.OnLButtonDown(flags, p); }
  void OnLButtonUp(UINT flags, CPoint p) override { rectLayer_.OnLButtonUp(flags, p); }
  void OnMouseMove(UINT flags, CPoint p) override { rectLayer_.OnMouseMove(flags, p); }

 private:
  CCutRectLayer rectLayer_;
};
