#pragma once
// CRozIdezDlg: the start menu. A full-screen owner-drawn window (caption
// "RozIdez") offering the working modes, screen recording, the system
// settings, minimise and close; each command posts WM_SWITCH_MODE with
// sender 131 to the main frame. Laid out from window 1 of the "menu" set:
// the panel control (1000) is centred in the window, the minimise and close
// buttons sit in the top-right corner.
//
// Its key filter swallows Enter, hands Escape to the main frame (leave full
// screen), and it turns the screen recorder's registered "StartRecord" and
// "StopRecord" messages into WM_RECORD_STARTED / WM_RECORD_STOPPED for the
// main frame.

#include <functional>

#include "app/menu_buttons.h"
#include "overlay/xml_list_mgr.h"
#include "platform/window.h"

class CRozIdezDlg : public CWnd, public IRecordButtons {
 public:
  static constexpr int kLayoutWindow = 1;
  // The control id of the system settings entry (not a mode command).
  static constexpr int kSettingsCtrl = 1008;

  CRozIdezDlg();
  // Creates the menu hidden over `rect` (screen coordinates), owned by
  // `owner`, and makes it findable by its caption.
  bool Create(CWnd* owner, const CRect& rect);

  void SetRecording(int recording) override;
  int GetRecording() const override { return recording_; }
  CMenuButtons& Buttons() { return buttons_; }
  CHdcBtn& SettingsButton() { return settings_; }
  // What the settings entry runs (the main program opens the settings
  // dialog); tests replace it.
  void SetSettingsHandler(std::function<void()> handler) { settingsHandler_ = std::move(handler); }

 protected:
  LRESULT OnCommand(WPARAM wParam, LPARAM lParam);
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  bool PreTranslateKeyDown(UINT vk) override;
  bool OnEraseBkgnd(QPainter& painter) override;
  void OnPaint(QPainter& painter) override;
  void OnSize(int cx, int cy) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  void Layout();

  CXmlListMgr layout_;
  CWnd panel_;
  CWnd corner_;
  CMenuButtons buttons_;
  CHdcBtn settings_;
  int recording_ = 0;
  UINT startRecordMsg_ = 0;
  UINT stopRecordMsg_ = 0;
  std::function<void()> settingsHandler_;
};
