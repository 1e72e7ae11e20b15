#pragma once
// CCertificatesLayer: composes one picture of an identity card from two
// photographs. A small layer over the preview that shows the front and the
// back side; the preview hands it every photograph taken while it is shown.
// The first becomes the front, the second the back, and the two are then
// joined into one picture written over the second photograph's file
// (stacked when the layer stands upright, side by side when it lies).
//
// The layer is frameless: a press drags it, a press on its edge resizes it,
// a double-click turns it between upright and lying about its centre.

#include "canvas/bufferdc.h"
#include "platform/window.h"
#include "preview/cameradc.h"

#include <QString>

class CCertificatesLayer : public CWnd {
 public:
  static constexpr int kWidth = 300;
  static constexpr int kHeight = 400;
  static constexpr int kBorder = 2;
  static constexpr COLORREF kBorderColour = RGB(108, 113, 119);
  // A press this close to an edge resizes the layer.
  static constexpr int kEdgeGrip = 6;
  static constexpr int kMinSide = 60;

  CCertificatesLayer();
  ~CCertificatesLayer() override;

  // Creates the layer over `owner`, hidden, 300 × 400 centred in the work area.
  bool Create(CWnd* owner);

  // Records the command; showing empties both sides.
  int ShowWindow(int cmd) override;
  int GetShowWindow() const { return GetShowState(); }
  // One photograph: the front, or the back followed by the join into the
  // same file. 1 once the joined picture is written, 0 otherwise (a failed
  // join is shown as "saving failed").
  int LoadImageW(const QString& path);
  // The client rectangles of both sides for a layer of that size.
  static void Layout(int width, int height, CRect& front, CRect& back);
  // The sides are joined one above the other for a layer of that size.
  static bool Stacked(int width, int height) { return height >= width; }

  CCameraDC& GetFront() { return front_; }
  CCameraDC& GetBack() { return back_; }

 protected:
  bool OnEraseBkgnd(QPainter& painter) override;
  void OnPaint(QPainter& painter) override;
  void OnSize(int cx, int cy) override;
  bool OnLButtonDown(UINT flags, CPoint p) override;
  void OnLButtonUp(UINT flags, CPoint p) override;
  void OnLButtonDblClk(UINT flags, CPoint p) override;
  void OnMouseMove(UINT flags, CPoint p) override;

 private:
  // Edges under a point: bit 1 left, 2 top, 4 right, 8 bottom.
  int EdgesAt(CPoint p) const;
  void ResetSides();
  void LayOutSides();
  void LoadSide(CCameraDC& side, const QString& path);
  // Moves the layer within its host (screen coordinates).
  void PlaceOnScreen(const CRect& screen);

  CCameraDC front_;
  CCameraDC back_;
  CBufferDC buffer_;
  // A press drags (edges 0) or resizes by these edges; -1 when none.
  int grab_ = -1;
  CPoint grabScreen_;
  CRect grabRect_;
};
