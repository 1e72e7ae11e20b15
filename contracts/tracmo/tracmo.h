#pragma once
// The mouse hook: between StartHook and StopHook every mouse press in the
// application (any button, any window) posts the registered message
// "MouseDown" to the window given to InitHook, with the press's screen
// point: wParam = x, lParam = y (both as signed values, so a point left of
// or above the primary screen arrives negative once cast back to int).
// Windows use it to notice a press outside an edit box they are editing in.
// Presses in other programs cannot be seen on this platform.

#include <memory>
#include <string>

#include "platform/messages.h"

class CTracmo {
 public:
  CTracmo();
  ~CTracmo();
  CTracmo(const CTracmo&) = delete;
  CTracmo& operator=(const CTracmo&) = delete;

  // The window to notify. `module` names the hook library the window asked
  // for; there is only one, so it is accepted and not used. 1 for a window
  // that exists, 0 otherwise.
  int InitHook(HWND target, const std::string& module = {});
  // 1 when the hook runs afterwards; 0 without a target or application.
  int StartHook();
  int StopHook();
  bool IsHooked() const;
  // The number of the registered message "MouseDown".
  static UINT MouseDownMessage();

 private:
  class Filter;
  std::unique_ptr<Filter> filter_;
  HWND target_ = nullptr;
};
