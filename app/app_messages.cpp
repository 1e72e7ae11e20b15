#include "app/app_messages.h"

#include <QPointer>

#include "platform/window.h"

namespace {
// A guarded pointer: the main window may be destroyed before its users.
QPointer<CWnd>& MainWnd() {
  static QPointer<CWnd> window;
  return window;
}
}  // namespace

CWnd* GetMainWnd() { return MainWnd().data(); }
void SetMainWnd(CWnd* window) { MainWnd() = window; }
