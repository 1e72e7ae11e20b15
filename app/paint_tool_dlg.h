#pragma once
// CPaintToolDlg: the annotation palette, a narrow column of buttons at the
// right edge of the screen. It keeps five pen slots (slot 0 for shapes and
// text, slots 1-4 behind the four pen buttons), applies the current slot to
// the canvas, opens the pop-ups that change a slot, folds to a short strip
// and unfolds again, saves the annotated screen, and leaves annotation.
// Pressing its background drags it.
//
// While annotation is shown, Escape is its hot key 2024: with a drawing tool
// it acts as the mouse button, without one it goes to the main frame.

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "app/paint_layers.h"
#include "canvas/gdidc.h"
#include "platform/window.h"

class CPaintDlg;

constexpr int PAINT_HOTKEY_ESCAPE = 2024;

// The key rule of the annotation windows: Enter is swallowed, Escape goes to
// the main frame's key filter. True when the key was taken.
bool FilterPaintKey(UINT vk);

// One pen of the palette.
struct CPenSlot {
  int lineType;
  BYTE alpha;
  COLORREF colour;  // red in the low byte
  int width;
  Gdiplus::ARGB Argb() const {
    return (static_cast<Gdiplus::ARGB>(alpha) << 24) | ((colour & 0xFF) << 16) | (colour & 0xFF00) |
           ((colour >> 16) & 0xFF);
  }
};

// A palette button that also shows its pen's colour as a strip along its foot.
class CPenButton : public CGdiBtnEx {
 public:
  void SetSwatch(std::optional<QColor> colour) {
    swatch_ = colour;
    update();
  }
  std::optional<QColor> GetSwatch() const { return swatch_; }

 protected:
  void OnPaint(QPainter& painter) override;

 private:
  std::optional<QColor> swatch_;
};

class CPaintToolDlg : public CWnd {
 public:
  // Controls of the full palette (window 1) and the short one (window 2).
  enum Command {
    CMD_FOLD = 1001,
    CMD_MOUSE = 1002,
    CMD_PEN1 = 1003,
    CMD_PEN2 = 1004,
    CMD_PEN3 = 1005,
    CMD_PEN4 = 1006,
    CMD_ERASER = 1007,
    CMD_CLEAR = 1008,
    CMD_COLOR = 1009,
    CMD_WIDTH = 1010,
    CMD_ALPHA = 1011,
    CMD_LINETYPE = 1012,
    CMD_SHAPE = 1013,
    CMD_SAVE = 1014,
    CMD_EXIT = 1015,
    CMD_UNFOLD = 1101,
  };
  static constexpr int kNoSlot = -1;
  static constexpr int kFullHeight = 582;
  static constexpr int kClippedHeight = 538;
  static constexpr int kShortHeight = 58;
  static constexpr int kWidth = 40;
  static constexpr int kCreateHeight = 578;

  CPaintToolDlg();
  ~CPaintToolDlg() override;
  // Creates the palette hidden at (screen width - 70, 30), 40 × 578.
  bool Create(CPaintDlg* paint);

  // Runs a palette command as its button does.
  void Command(int command);
  // A pop-up's choice (as WM_POPUP_CHOICE brings it).
  void Choice(CWnd* popup, LPARAM value);
  // Applies the current slot to the canvas.
  void ApplySlot();

  int GetSlot() const { return slot_; }
  const CPenSlot& Slot(int i) const { return slots_.at(static_cast<std::size_t>(i)); }
  bool IsFolded() const { return folded_; }
  CGdiBtnEx* Button(int command) const;
  CColorLayer& ColorLayer() { return color_; }
  CAlphaLayer& AlphaLayer() { return alpha_; }
  CLineWidthLayer& WidthLayer() { return width_; }
  CLineTypeLayer& LineTypeLayer() { return lineType_; }
  CToolLayer& ToolLayer() { return tool_; }
  void HidePopups();

  // Hot key on (annotation shown) or off.
  void SetHotKey(bool on);
  // The annotated screen saved as a picture of the configured type; 1 on success.
  int Save();
  // Where saving takes the picture of the work area from: the screen, or
  // what tests give.
  using ScreenSource = std::function<bool(QImage& picture)>;
  void SetScreenSource(ScreenSource source) { screen_ = std::move(source); }

 protected:
  LRESULT OnCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnPopupChoice(WPARAM wParam, LPARAM lParam);
  LRESULT OnHotKey(WPARAM wParam, LPARAM lParam);
  bool OnEraseBkgnd(QPainter& painter) override;
  bool OnLButtonDown(UINT flags, CPoint p) override;
  void OnLButtonUp(UINT flags, CPoint p) override;
  bool OnMouseWheel(UINT flags, short delta, CPoint screenPoint) override;
  bool PreTranslateKeyDown(UINT vk) override;

 private:
  void Fold();
  void Unfold();
  void ShowPopup(CPaintPopup& popup, int command);
  void SelectButton(int command);
  void UpdateButtons();
  // The icon a pen button shows for its slot's line type.
  QString PenIcon(int slot) const;
  // The screen below changed where the palette was (folding, moving).
  void PaletteMoved();

  CPaintDlg* paint_ = nullptr;
  CXmlListMgr full_;
  CXmlListMgr short_;
  std::array<CPenSlot, 5> slots_;
  int slot_ = kNoSlot;
  bool folded_ = false;
  bool hotKey_ = false;
  QPoint pressPos_;
  std::vector<std::unique_ptr<CPenButton>> buttons_;
  CColorLayer color_;
  CAlphaLayer alpha_;
  CLineWidthLayer width_;
  CLineTypeLayer lineType_;
  CToolLayer tool_;
  ScreenSource screen_;
};
