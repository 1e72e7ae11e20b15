#pragma once
// Owner-drawn buttons.
//
// CGdiBtnEx draws one picture per state: "normalImg", "overImg" while the
// pointer is over it, "selectImg" while pressed or checked (missing
// pictures fall back to the over, then the normal one), grey and faded when
// disabled, then its caption. The "type" decides the behaviour:
//   "" or "button"  push button;
//   "check"         check button: a click toggles the check state;
//   "radio"         a click checks it (the owner unchecks the others).
// A click (press and release inside the click area) posts WM_COMMAND to
// the parent with wParam = MAKEWPARAM(child id, BN_CLICKED) and lParam =
// the button's handle; check buttons have their new state by then.
//
// CHdcBtn is the same button for places without artwork: it draws its
// states itself (flat tile, blue under the pointer, orange when pressed or
// checked) with the "normalImg" picture as icon beside or above the caption.

#include "contracts/widgetta/ui_ctrl.h"

class CGdiBtnEx : public CUICtrl {
 public:
  enum class State { Normal, Over, Select, Disabled };

  bool Build(CWnd* parent, int id, const _MYCONTROL* control, const _MYLANGUAGE* language,
             const _MYFONT* font) override;

  bool IsCheckButton() const { return type_ == QLatin1String("check") || IsRadioButton(); }
  bool IsRadioButton() const { return type_ == QLatin1String("radio"); }
  // Overrides the behaviour the type gave.
  void SetButtonType(const QString& type) { type_ = type.toLower(); update(); }

  void SetCheck(int check);
  int GetCheck() const { return checked_ ? 1 : 0; }
  // The state the button is drawn in now.
  State GetDrawState() const;

 protected:
  bool OnLButtonDown(UINT flags, CPoint p) override;
  void OnLButtonUp(UINT flags, CPoint p) override;
  void OnMouseMove(UINT flags, CPoint p) override;
  void OnMouseLeave() override;
  void OnPaint(QPainter& painter) override;
  void changeEvent(QEvent* e) override;

  // The drawn tile of CHdcBtn (and of a button without pictures).
  void DrawTile(QPainter& painter);
  // The picture of a state, with the fall-backs.
  const QImage& StateImage(State s) const;

  bool over_ = false;
  bool pressed_ = false;
  bool checked_ = false;
};

class CHdcBtn : public CGdiBtnEx {
 protected:
  void OnPaint(QPainter& painter) override;
};
