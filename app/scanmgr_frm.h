#pragma once
// CScanMgrFrm: the picture management mode. A working window on the main
// frame's rectangle with a title strip (the mode's title, the tabs
// "collect" and "library", minimise and back to the start menu; a right
// click opens the in-mode menu) over one page at a time, and the tool bar
// along the bottom while a library page is shown.
//
// Pages by number: 162 the collection page (added by its owner through
// SetPage), 179 the library. The library opens pictures in the browse window
// and archives in the bound-pictures window, which take the page's place
// until they go back. WM_PAGE_SWITCH: (162, 1) leaves the library for the
// collection page, or for the start menu while there is none; (162, 0)
// comes from the collection page to the library; (179, 1) goes back from
// the browse or bound-pictures window to the library.
//
// In full screen timer 4 (3000 ms, restarted on every change) hides the
// title strip, so that the page fills the screen.

#include <map>

#include "app/mgr_tool_dlg.h"
#include "app/min_menu_dlg.h"
#include "app/picture_bind_dlg.h"
#include "app/picture_browse_dlg.h"
#include "app/picture_lib_dlg.h"
#include "contracts/widgetta/list_tab.h"
#include "overlay/xml_list_mgr.h"
#include "platform/window.h"

// The title strip (window 1 of the "scanmgr" set).
class CScanMgrTitleDlg : public CWnd {
 public:
  static constexpr int kStripCtrl = 1000;
  static constexpr int kTitleCtrl = 1001;
  static constexpr int kTabCtrl = 1002;
  static constexpr int kCollectTab = 1003;
  static constexpr int kLibraryTab = 1004;
  static constexpr int kMinimizeCtrl = 1005;
  static constexpr int kBackCtrl = 1006;

  bool Create(CWnd* parent, UINT id);
  // The strip's height from its description.
  int GetStripHeight() const { return height_; }
  CListTab& GetTab() { return tab_; }
  CGdiBtnEx& GetMinimizeButton() { return minimize_; }
  CGdiBtnEx& GetBackButton() { return back_; }
  const QString& GetTitleText() const { return title_.GetText(); }

 protected:
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void OnPaint(QPainter& painter) override;
  void OnRButtonUp(UINT flags, CPoint p) override;
  void OnSize(int cx, int cy) override;

 private:
  CXmlListMgr layout_;
  CListTab tab_;
  CGdiBtnEx minimize_, back_;
  CUICaption title_;
  CRect titleRect_;
  int height_ = 48;
};

class CScanMgrFrm : public CWnd, public IPictureViewer {
 public:
  static constexpr UINT kFullScreenTimer = 4;
  static constexpr int kFullScreenMs = 3000;
  static constexpr UINT kTitleId = 1;
  static constexpr UINT kToolBarId = 2;
  static constexpr UINT kLibraryId = 3;
  static constexpr UINT kBrowseId = 4;
  static constexpr UINT kBoundId = 5;

  CScanMgrFrm();
  ~CScanMgrFrm() override;
  // Creates the window hidden at `rect` (screen coordinates), owned by `owner`.
  bool Create(CWnd* owner, const CRect& rect);

  // A page under its number (the collection page is 162); null removes it.
  void SetPage(WPARAM number, CWnd* page);
  CWnd* GetPage(WPARAM number) const;
  // Shows page 162 or 179 (0 when there is no such page).
  int ShowPage(WPARAM number);
  // The window shown below the title strip.
  CWnd* GetShownWindow() const { return shown_; }

  // The mode is switched on (the collection page, or the library while
  // there is none, read from disk again) or off.
  void ModeOn();
  void ModeOff();
  // The main frame's full-screen state.
  void SetFullScreen(int on);
  int GetFullScreen() const { return fullScreen_; }
  bool IsTitleShown() const { return titleShown_; }

  void OpenPicture(const QStringList& pictures, int index) override;
  void OpenArchive(const QString& archive) override;

  CScanMgrTitleDlg& GetTitle() { return title_; }
  CMgrToolDlg& GetToolBar() { return toolBar_; }
  CPictureLibDlg& GetLibrary() { return library_; }
  CPictureBrowseDlg& GetBrowse() { return browse_; }
  CPictureBindDlg& GetBound() { return bound_; }
  CMinMenuDlg& GetMinMenu() { return minMenu_; }

 protected:
  LRESULT OnPageSwitch(WPARAM wParam, LPARAM lParam);
  LRESULT OnTitleCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnRefreshLibrary(WPARAM wParam, LPARAM lParam);
  LRESULT OnPageNotice(UINT msg, WPARAM wParam, LPARAM lParam);
  void OnTimer(UINT id) override;
  void OnSize(int cx, int cy) override;
  // Closing the window (from the window manager) leaves the mode.
  void closeEvent(QCloseEvent* e) override;

 private:
  // Shows `window` alone below the strip, with the tool bar for `kind`
  // (none for a page of its own).
  void Show(CWnd* window);
  void Layout();
  void SelectTab();

  CScanMgrTitleDlg title_;
  CMgrToolDlg toolBar_;
  CPictureLibDlg library_;
  CPictureBrowseDlg browse_;
  CPictureBindDlg bound_;
  CMinMenuDlg minMenu_;
  CXmlListMgr pagesLayout_;
  std::map<WPARAM, CWnd*> pages_;
  CWnd* shown_ = nullptr;
  int toolBarHeight_ = 72;
  int fullScreen_ = 0;
  bool titleShown_ = true;
};
