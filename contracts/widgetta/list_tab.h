#pragma once
// A row of tab buttons. The tab itself is built from its control record
// (rectangle, "bgImg" as background); each tab button is added from its own
// records (AddTabBtn) as a radio-type CGdiBtnEx child whose rectangle is
// relative to the tab, or, without one, placed right of the last button
// (caption width plus padding, the tab's height).
//
// Clicking a tab button selects it (checks it and unchecks the others) and
// posts WM_COMMAND to the tab's parent with wParam = MAKEWPARAM(button id,
// BN_CLICKED) and lParam = the button's handle.

#include <memory>
#include <vector>

#include "contracts/widgetta/gdi_btn.h"

class CListTab : public CUICtrl {
 public:
  // Adds (or rebuilds) the tab button `id`. Returns 1.
  int AddTabBtn(int id, const _MYCONTROL* control, const _MYLANGUAGE* language,
                const _MYFONT* font);
  int GetTabCount() const { return static_cast<int>(buttons_.size()); }
  CGdiBtnEx* GetTabBtn(int id) const;
  // Id of the selected tab button; -1 when none is.
  int GetCurSel() const { return current_; }
  // Selects a button without reporting it. 0 when there is no such button.
  int SetCurSel(int id);

 protected:
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  std::vector<std::unique_ptr<CGdiBtnEx>> buttons_;
  int current_ = -1;
};
