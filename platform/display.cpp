#include "platform/display.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

bool IsSet(const char* value) { return value && *value; }

}  // namespace

CQtPlatformChoice ChooseQtPlatform(const char* qpaPlatform, const char* waylandDisplay,
                                   const char* sessionType, const char* display) {
  if (IsSet(qpaPlatform)) return {};
  const bool wayland = IsSet(waylandDisplay) || (IsSet(sessionType) && std::string_view(sessionType) == "wayland");
  if (!wayland) return {};
  if (IsSet(display)) return {"xcb", {}};
  return {{},
          "This Wayland session offers no X display (DISPLAY is not set): hot keys, screen capture "
          "and the layers over the picture need X. Start XWayland or log in to an X session."};
}

void SelectQtPlatform() {
  const CQtPlatformChoice choice = ChooseQtPlatform(std::getenv("QT_QPA_PLATFORM"), std::getenv("WAYLAND_DISPLAY"),
                                                    std::getenv("XDG_SESSION_TYPE"), std::getenv("DISPLAY"));
  if (!choice.platform.empty()) setenv("QT_QPA_PLATFORM", choice.platform.c_str(), 1);
  if (!choice.notice.empty()) std::fprintf(stderr, "%s\n", choice.notice.c_str());
}
