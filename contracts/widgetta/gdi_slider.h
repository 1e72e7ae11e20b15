#pragma once
// Owner-drawn slider. The track is the "bgImg" picture stretched over the
// control, or a drawn bar whose part below the position is filled; the
// thumb is "normalImg" ("overImg" under the pointer, "selectImg" while
// dragged), or a drawn disc. Type "vertical" stands the slider upright
// (its minimum at the bottom).
//
// Every change made by the user is reported to the parent: WM_HSCROLL
// (WM_VSCROLL when upright) with wParam = MAKEWPARAM(code, position) and
// lParam = the slider's handle; codes TB_THUMBTRACK while dragging,
// TB_THUMBPOSITION and TB_ENDTRACK on release, TB_LINEUP/TB_LINEDOWN for
// the wheel (one step a notch), TB_PAGEUP/TB_PAGEDOWN for the keys.
// Positions outside 0..65535 do not fit the message: read GetPos instead.
// SetPos and SetRange report nothing.

#include "contracts/widgetta/ui_ctrl.h"

class CGdiSlider : public CUICtrl {
 public:
  bool Build(CWnd* parent, int id, const _MYCONTROL* control, const _MYLANGUAGE* language,
             const _MYFONT* font) override;

  void SetRange(int minimum, int maximum, bool redraw = true);
  int GetRangeMin() const { return min_; }
  int GetRangeMax() const { return max_; }
  // Clamped into the range.
  void SetPos(int pos);
  int GetPos() const { return pos_; }
  void SetLineSize(int size) { line_ = std::max(1, size); }
  void SetPageSize(int size) { page_ = std::max(1, size); }
  bool IsVertical() const { return type_ == QLatin1String("vertical"); }
  bool IsDragging() const { return dragging_; }
  bool IsOver() const { return over_; }

  // The thumb's rectangle for the current position (client coordinates).
  CRect GetThumbRect() const;
  // The position a client point stands for.
  int PosFromPoint(CPoint p) const;

 protected:
  QSize ImageSize() const override;
  bool OnLButtonDown(UINT flags, CPoint p) override;
  void OnLButtonUp(UINT flags, CPoint p) override;
  void OnMouseMove(UINT flags, CPoint p) override;
  void OnMouseLeave() override;
  bool OnMouseWheel(UINT flags, short delta, CPoint screenPoint) override;
  void OnKeyDown(UINT vk) override;
  void OnPaint(QPainter& painter) override;

 private:
  int ThumbSide() const;
  void Report(UINT code);
  // Moves to `pos` and reports `code` when the position changed (or always
  // for the codes that end a drag).
  void MoveTo(int pos, UINT code, bool alwaysReport = false);

  int min_ = 0;
  int max_ = 100;
  int pos_ = 0;
  int line_ = 1;
  int page_ = 10;
  bool dragging_ = false;
  bool over_ = false;
  int grabOffset_ = 0;
  int wheelRest_ = 0;
};
