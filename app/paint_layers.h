#pragma once
// The annotation palette's pop-ups and the text window.
//
// Each chooser is a small frameless window shown next to the palette. A
// choice is posted to its owner (the palette) as WM_POPUP_CHOICE with
// wParam the pop-up's window handle and lParam the value; WM_LAYER_DRAW
// asks a pop-up to redraw itself. Their layout comes from the "paint"
// description set, one window block each.
//
// CEditLayer is the text window of the text tool: a real text field (input
// methods work in it) that the paint window places over the dragged box;
// its text is confirmed by a press outside it and then sent to the paint
// window as WM_PAINT_TEXT.

#include <QPlainTextEdit>

#include <memory>
#include <vector>

#include "canvas/devicecontext.h"
#include "contracts/widgetta/gdi_btn.h"
#include "contracts/widgetta/gdi_slider.h"
#include "overlay/xml_list_mgr.h"
#include "platform/window.h"

// Window blocks of the "paint" set.
constexpr int PAINT_SET_PALETTE = 1;
constexpr int PAINT_SET_SHORT = 2;
constexpr int PAINT_SET_COLOR = 3;
constexpr int PAINT_SET_ALPHA = 4;
constexpr int PAINT_SET_WIDTH = 5;
constexpr int PAINT_SET_LINETYPE = 6;
constexpr int PAINT_SET_TOOL = 7;
constexpr int PAINT_SET_EDIT = 8;

// Sets the tool tip of every control of `layout` that has a text of its own id.
void SetPaintTips(const CXmlListMgr& layout, const std::vector<CWnd*>& controls);

// What the pop-ups share: the window, its layout and the owner to tell.
class CPaintPopup : public CWnd {
 public:
  // Creates the pop-up hidden, sized by its background control (id 1).
  bool Create(CWnd* owner, int setWindow);
  // Shows it with its top-right corner at the screen point (moved inside the work area).
  void ShowAt(CPoint topRight);
  CWnd* GetOwner() const { return owner_; }

 protected:
  CPaintPopup();
  // Posts the choice to the owner.
  void Choose(LPARAM value);
  LRESULT OnLayerDraw(WPARAM, LPARAM);
  bool OnEraseBkgnd(QPainter& painter) override;
  virtual void Build() {}

  CXmlListMgr layout_;
  CWnd* owner_ = nullptr;
};

// A pop-up of buttons, each standing for one value.
class CChoiceLayer : public CPaintPopup {
 public:
  struct Entry {
    int ctrlId;
    int value;
  };
  const std::vector<Entry>& Entries() const { return entries_; }
  CGdiBtnEx* Button(int value) const;

 protected:
  explicit CChoiceLayer(std::vector<Entry> entries);
  void Build() override;
  LRESULT OnCommand(WPARAM wParam, LPARAM lParam);

 private:
  std::vector<Entry> entries_;
  std::vector<std::unique_ptr<CGdiBtnEx>> buttons_;
};

class CLineTypeLayer : public CChoiceLayer {
 public:
  CLineTypeLayer();
};

class CToolLayer : public CChoiceLayer {
 public:
  CToolLayer();
};

// Widths 5, 7, 10, 20, 30, drawn as sample lines in rows.
class CLineWidthLayer : public CPaintPopup {
 public:
  static constexpr int kWidths[] = {5, 7, 10, 20, 30};
  // The row under a client point; -1 outside the rows.
  int RowAt(CPoint p) const;
  CRect RowRect(int row) const;

 protected:
  void OnPaint(QPainter& painter) override;
  bool OnLButtonDown(UINT flags, CPoint p) override;
  void OnLButtonUp(UINT flags, CPoint p) override;
  void OnMouseMove(UINT flags, CPoint p) override;
  void OnMouseLeave() override;

 private:
  int hover_ = -1;
  int pressed_ = -1;
};

// The 216-colour chart.
class CColorLayer : public CPaintPopup {
 public:
  static constexpr int kCell = 10;
  static constexpr int kColumns = 18;
  static constexpr int kRows = 12;
  // The colour reference (red in the low byte) of a cell of the chart.
  static COLORREF CellColour(int column, int row);
  // "0X" and the colour as six hexadecimal digits, red first.
  static QString ColourText(COLORREF colour);

  // The chart's area in client coordinates.
  CRect ChartRect() const;
  // The cell under a client point (false outside the chart).
  bool CellAt(CPoint p, int& column, int& row) const;
  // The chart as drawn (grid, hover frame), in client coordinates of the chart.
  QImage RenderChart() const;
  // The colour read from the centre pixel of the cell under the point; -1 outside.
  long long PickAt(CPoint p) const;
  int HoverColumn() const { return hoverColumn_; }
  int HoverRow() const { return hoverRow_; }

 protected:
  void OnPaint(QPainter& painter) override;
  bool OnLButtonDown(UINT flags, CPoint p) override;
  void OnLButtonUp(UINT flags, CPoint p) override;
  void OnMouseMove(UINT flags, CPoint p) override;
  void OnMouseLeave() override;

 private:
  int hoverColumn_ = -1;
  int hoverRow_ = -1;
  long long pressed_ = -1;
};

// The alpha slider: 0..100 %, alpha = percent × 255 / 100.
class CAlphaLayer : public CPaintPopup {
 public:
  CAlphaLayer();
  static int AlphaOfPercent(int percent) { return percent * 255 / 100; }
  // Shows the slot's colour and alpha.
  void SetSlot(COLORREF colour, int alpha);
  CGdiSlider& Slider() { return slider_; }
  QString PercentText() const { return QStringLiteral("%1%").arg(slider_.GetPos()); }

 protected:
  void Build() override;
  void OnPaint(QPainter& painter) override;
  LRESULT OnScroll(WPARAM wParam, LPARAM lParam);

 private:
  CGdiSlider slider_;
  COLORREF colour_ = 0;
};

// The text window.
class CEditLayer : public CWnd {
 public:
  CEditLayer();
  // Creates it hidden; confirmed texts go to `target`.
  bool Create(CWnd* target);
  // Empties it and shows it over the screen rectangle with the text colour.
  void Open(const CRect& screenRect, QColor colour);
  // Sends the text to the target (when there is one) and hides the window.
  void Confirm();
  QPlainTextEdit& Edit() { return *edit_; }
  const LOGFONTW& GetLogFont() const { return font_; }
  // The one-line box a click without drag opens: at least 120 pixels wide
  // and one line of the font high.
  CRect BoxFor(CPoint press, CPoint release) const;

 protected:
  void OnSize(int cx, int cy) override;

 private:
  CXmlListMgr layout_;
  CWnd* target_ = nullptr;
  QPlainTextEdit* edit_ = nullptr;
  LOGFONTW font_{};
};
