#pragma once
// CQCTitleDlg: the title strip across the top of the quick capture window.
// It shows the window's title, moves the window when dragged, and carries
// two buttons: minimise (the main frame and this window) and back to the
// start menu (a mode switch to the main frame).

#include "contracts/widgetta/gdi_btn.h"
#include "contracts/widgetta/ui_ctrl.h"
#include "overlay/xml_list_mgr.h"
#include "platform/window.h"

#include <QPoint>

// Control ids of the title strip's description-file block (window 1).
constexpr int QC_CTRL_TITLE_TEXT = 3010;
constexpr int QC_CTRL_MINIMIZE = 3001;
constexpr int QC_CTRL_BACK = 3002;
// Language texts of window 1 that give the buttons' tips.
constexpr int QC_TEXT_MINIMIZE_TIP = 2;
constexpr int QC_TEXT_BACK_TIP = 3;

class CQCTitleDlg : public CWnd {
 public:
  // Creates the strip as child `id` of `parent` at `rect` and builds its
  // controls from the "quickcap" description files (window 1).
  bool Create(CWnd* parent, const CRect& rect, UINT id);

  CGdiBtnEx& GetMinimizeButton() { return minimize_; }
  CGdiBtnEx& GetBackButton() { return back_; }
  const CUICaption& GetTitle() const { return title_; }
  CRect GetTitleRect() const { return titleRect_; }

  // What the two buttons do.
  void OnMinimize();
  void OnBackToMenu();

 protected:
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void OnPaint(QPainter& painter) override;
  bool OnLButtonDown(UINT flags, CPoint p) override;
  void OnLButtonUp(UINT flags, CPoint p) override;
  // A right click opens the in-mode menu of the quick capture window there.
  void OnRButtonUp(UINT flags, CPoint p) override;
  void OnMouseMove(UINT flags, CPoint p) override;

 private:
  void SetTip(CGdiBtnEx& button, int textId);

  CXmlListMgr layout_;
  CGdiBtnEx minimize_;
  CGdiBtnEx back_;
  CUICaption title_;
  CRect titleRect_;  // where the title is drawn; empty: the whole strip
  bool moving_ = false;
  QPoint moveOffset_;
};
