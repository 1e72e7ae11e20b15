#pragma once
// What a layered window keeps between paints (inside the platform library).

#include "platform/window.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QRegion>
#include <QTimer>

#include <optional>
#include <vector>

// Watches a layer's host and the host's parents below its top-level window:
// moves, resizes, visibility, stacking and reparenting of any of them move
// the layer along; the host's end ends the layer.
class CWnd::HostTracker : public QObject {
 public:
  explicit HostTracker(CWnd* layer) : layer_(layer) {}
  void Watch(QWidget* host);

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  CWnd* layer_;
  std::vector<QPointer<QWidget>> watched_;
};

struct CWnd::Layered {
  bool on = false;           // SetLayeredAttributes or UpdateLayeredImage was called
  int alpha = 255;           // constant alpha
  std::optional<QRgb> key;   // colour key (attribute mode)
  bool imageMode = false;    // UpdateLayeredImage presents `image`
  QImage image;              // premultiplied picture of the image mode
  QImage buffer;             // what the paint hooks drew (attribute mode)
  QRegion shape;             // drawn pixels of the last paint
  bool shapeDirty = true;    // image mode: `shape` must be computed again
  bool shapePending = false; // ApplyShape is queued

  // Layers.
  QPointer<QWidget> host;
  QRect anchor;              // the layer's rectangle in the host's client coordinates
  bool coversHost = false;   // placed over the whole host: keeps covering it
  bool hiddenWithHost = false;
  std::unique_ptr<HostTracker> tracker;

  // Top-level layered windows without a compositing manager.
  bool compositorWatched = false;
  QImage backdrop;           // the screen below, grabbed as the window showed
  bool awaitingBackdrop = false;
  bool holdingPointer = false;  // the pointer is grabbed while the window is unshaped for the grab
  QTimer backdropTimer;
  // The X shapes last set (top-level windows), to skip unchanged ones.
  std::optional<QRegion> sentBounding;  // nullopt: no bounding shape
  std::optional<QRegion> sentInput;
  bool shapesSent = false;
};
