#pragma once
// CPaintDlg: the annotation window, a frameless translucent window over the
// whole screen that holds the drawing (CPaintCanvas) and hands it the mouse,
// with its palette (CPaintToolDlg) and text window (CEditLayer) above it.
// The main frame creates it hidden and shows it when annotation starts.
//
// Keys: Enter is swallowed; Escape goes to the main frame's key filter.
// The wheel changes the eraser's size, over the palette too.

#include "app/paint_canvas.h"
#include "app/paint_layers.h"
#include "app/paint_tool_dlg.h"
#include "platform/window.h"

class CPaintDlg : public CWnd {
 public:
  static constexpr const char* kCaption = "VIvivira";

  CPaintDlg();
  ~CPaintDlg() override;
  // Creates the window over the screen, attaches the canvas, creates the
  // palette and the text window, and hides them all.
  bool Create(CWnd* owner);

  // Annotation on: the windows shown topmost with the palette's hot key.
  void ShowAnnotation();
  // Annotation off: tool 9, everything cleared, the windows hidden.
  void HideAnnotation();

  CPaintCanvas& Canvas() { return canvas_; }
  CPaintToolDlg& Palette() { return palette_; }
  CEditLayer& EditLayer() { return edit_; }

 protected:
  LRESULT OnTextBox(WPARAM wParam, LPARAM lParam);
  LRESULT OnText(WPARAM wParam, LPARAM lParam);
  bool OnLButtonDown(UINT flags, CPoint p) override;
  void OnLButtonUp(UINT flags, CPoint p) override;
  void OnMouseMove(UINT flags, CPoint p) override;
  bool OnMouseWheel(UINT flags, short delta, CPoint screenPoint) override;
  void OnTimer(UINT id) override;
  void OnSize(int cx, int cy) override;
  bool PreTranslateKeyDown(UINT vk) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  CPaintCanvas canvas_;
  CPaintToolDlg palette_;
  CEditLayer edit_;
  bool pressed_ = false;
};
