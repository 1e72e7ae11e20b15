#pragma once
// Which of Qt's platform plugins the programs run on. Hot keys, screen
// capture, windows found across processes and the layers need X, so on a
// Wayland session the programs ask for Qt's xcb plugin (XWayland serves it)
// unless the user chose a plugin with QT_QPA_PLATFORM.

#include <string>

struct CQtPlatformChoice {
  std::string platform;  // the plugin to ask for; empty: leave it to Qt
  std::string notice;    // what to tell the user on stderr; empty: nothing
};

// The choice for an environment (null or empty values count as unset).
CQtPlatformChoice ChooseQtPlatform(const char* qpaPlatform, const char* waylandDisplay,
                                   const char* sessionType, const char* display);

// Applies the choice for this process's environment: sets QT_QPA_PLATFORM
// and prints the notice. Call before the application object exists.
void SelectQtPlatform();
