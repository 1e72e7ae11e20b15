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

// A layer the host places over its picture area that keeps one layer of
// its own (the upper layer) exactly over itself: shows and hides it with
// itself and moves it along. It paints nothing and takes the mouse over
// its whole rectangle, so that the picture below is not dragged meanwhile.
class CBackgroundLayer : public COverlayLayer {
 public:
  explicit CBackgroundLayer(COverlayLayer& upper) : upper_(upper) {}

  // Records the command, shows or hides the upper layer, then itself.
  int ShowWindow(int cmd) override;
  int GetShowWindow() const { return GetShowState(); }

 protected:
  // Creates this layer, named `name`, over `owner` at `screenRect` (screen
  // coordinates; the owner's whole rectangle when empty), hidden. The
  // upper layer is created over it afterwards.
  bool CreateBackground(CWnd* owner, const QString& name, const CRect& screenRect);
  void OnSize(int cx, int cy) override;
  void OnMove(int x, int y) override;

 private:
  void FollowWithUpper();

  COverlayLayer& upper_;
};
