#pragma once
// CMgrToolDlg: the tool bar of picture management, along the bottom of the
// library, browse and bound-pictures pages. Each button posts
// WM_LIBRARY_COMMAND with its command code (2 close, 3 bind, 4 unbind,
// 5 delete, 6 export, 7 PDF, 8 mail, 9 print, 10 compare, 12 back) to the
// page shown. Which buttons a page offers: the library has close, the other
// two back; bind and delete are off in the bound pictures and unbind in the
// browse window; compare is off while the program has no object show mode.
// Laid out from window 13 of the "scanmgr" set; the buttons keep their
// sizes and stand in one row in the middle of the bar.

#include "app/menu_buttons.h"
#include "overlay/xml_list_mgr.h"
#include "platform/window.h"

class CMgrToolDlg : public CWnd {
 public:
  static constexpr int kLayoutWindow = 13;
  // Control ids are 1300 plus the command code.
  static constexpr int kCtrlBase = 1300;
  enum class Page { Library, Browse, Bound };

  CMgrToolDlg();
  bool Create(CWnd* parent, const CRect& rect, UINT id);

  // Where the commands go, and which buttons that page offers.
  void SetTarget(CWnd* page, Page kind);
  CWnd* GetTarget() const { return target_; }
  Page GetPage() const { return page_; }
  void SetCompareAvailable(bool available);

  CHdcBtn* Button(int code) const { return buttons_.Button(code); }
  // Shown and enabled.
  bool IsOffered(int code) const;

 protected:
  LRESULT OnCommand(WPARAM wParam, LPARAM lParam);
  void OnSize(int cx, int cy) override;
  bool OnEraseBkgnd(QPainter& painter) override;

 private:
  void Layout();
  void Apply();

  CXmlListMgr layout_;
  CMenuButtons buttons_;
  CWnd* target_ = nullptr;
  Page page_ = Page::Library;
  bool compare_ = false;
};
