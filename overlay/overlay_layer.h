#pragma once
// The base of the overlay library's layers: windows over a host window of
// this program (the preview, a split-screen pane, a photograph window) that
// paint straight over the host's picture and take the mouse over their
// rectangle.
//
// Keys, the same for every layer: a press of Enter is swallowed; a press of
// Escape is posted to the layer's owner as WM_LAYER_ESCAPE (wParam the key,
// VK_ESCAPE, lParam the repeat count); releases of both are swallowed; all
// other keys get the default handling. A layer that owns layers of its own
// passes their Escape notices on to its owner, so that Escape reaches the
// host whichever of them has the keyboard.

#include "overlay/overlay_messages.h"
#include "platform/window.h"

class COverlayLayer : public CWnd {
 public:
  COverlayLayer();

  // Creates the layer over `owner` at `screenRect` (screen coordinates),
  // named `name`, hidden. False without an owner.
  bool CreateLayer(CWnd* owner, const QString& name, const CRect& screenRect);
  // The owner's rectangle on the screen (empty without an owner).
  static CRect OwnerScreenRect(const CWnd* owner);

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
};
