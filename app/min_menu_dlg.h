#pragma once
// CMinMenuDlg: the in-mode menu. A small pop-up list of the working modes,
// the record/stop pair and the way back to the start menu; a click posts
// WM_SWITCH_MODE with sender 130 and the entry's command to the main frame
// and closes the menu. Laid out from window 3 of the "menu" set.

#include "app/menu_buttons.h"
#include "overlay/xml_list_mgr.h"
#include "platform/window.h"

class CMinMenuDlg : public CWnd, public IRecordButtons {
 public:
  // Window number of its block in the "menu" description set.
  static constexpr int kLayoutWindow = 3;

  CMinMenuDlg();
  // Creates the menu hidden, owned by `owner`.
  bool Create(CWnd* owner);
  // Shows the menu with its top-left corner at `screenPoint`, kept inside
  // the work area. It closes itself on a click outside or on a command.
  void ShowAt(CPoint screenPoint);

  void SetRecording(int recording) override;
  int GetRecording() const override { return recording_; }
  CMenuButtons& Buttons() { return buttons_; }

 protected:
  LRESULT OnCommand(WPARAM wParam, LPARAM lParam);
  bool OnEraseBkgnd(QPainter& painter) override;

 private:
  CXmlListMgr layout_;
  CMenuButtons buttons_;
  int recording_ = 0;
};
