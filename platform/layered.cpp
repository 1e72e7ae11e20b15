// Layered windows: layers over a host window of this program, and top-level
// translucent windows with or without a compositing manager.

#include "platform/compositor.h"
#include "platform/layer_shape.h"
#include "platform/layered_state.h"
#include "platform/window.h"
#include "platform/xconnection.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMoveEvent>
#include <QScreen>

#include <xcb/shape.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// How long a top-level layered window without a compositing manager waits
// after it maps (invisible, with an empty shape) before it grabs the screen
// below: windows shown together with it paint first.
constexpr int kBackdropDelayMs = 80;

void SetXShape(xcb_connection_t* c, xcb_window_t window, xcb_shape_kind_t kind,
               const std::optional<QRegion>& region) {
  if (!region) {
    xcb_shape_mask(c, XCB_SHAPE_SO_SET, kind, window, 0, 0, XCB_NONE);
    return;
  }
  std::vector<xcb_rectangle_t> rects;
  rects.reserve(static_cast<std::size_t>(region->rectCount()));
  for (const QRect& r : *region)
    rects.push_back({static_cast<int16_t>(r.x()), static_cast<int16_t>(r.y()), static_cast<uint16_t>(r.width()),
                     static_cast<uint16_t>(r.height())});
  xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, kind, XCB_CLIP_ORDERING_UNSORTED, window, 0, 0,
                       static_cast<uint32_t>(rects.size()), rects.data());
}

bool IsLayerWidget(const QObject* o) {
  const auto* w = dynamic_cast<const CWnd*>(o);
  return w && w->IsLayer();
}

}  // namespace

// ---- Following the host ---------------------------------------------------------------------

void CWnd::HostTracker::Watch(QWidget* host) {
  for (const QPointer<QWidget>& w : watched_)
    if (w) w->removeEventFilter(this);
  watched_.clear();
  for (QWidget* w = host; w; w = w->isWindow() ? nullptr : w->parentWidget()) {
    w->installEventFilter(this);
    watched_.emplace_back(w);
  }
}

bool CWnd::HostTracker::eventFilter(QObject* watched, QEvent* e) {
  Layered& L = *layer_->layered_;
  QWidget* host = L.host;
  if (!host) return false;
  QWidget* top = host->window();
  switch (e->type()) {
    case QEvent::Move:
    case QEvent::Resize:
      if (watched != top) layer_->FollowHost();
      else if (top == host && L.coversHost) layer_->FollowHost();
      break;
    case QEvent::ParentChange:
      layer_->FollowHost();
      break;
    case QEvent::Hide:
      if (watched == host && host != top && layer_->isVisibleTo(top)) {
        layer_->QWidget::setVisible(false);
        L.hiddenWithHost = true;
      }
      break;
    case QEvent::Show:
      if (watched == host && L.hiddenWithHost && (host == top || host->isVisibleTo(top))) {
        L.hiddenWithHost = false;
        layer_->QWidget::setVisible(true);
        layer_->raise();
      }
      break;
    case QEvent::ZOrderChange:
      if (watched != top && layer_->isVisibleTo(top)) layer_->raise();
      break;
    case QEvent::ChildAdded:
    case QEvent::ChildPolished: {
      // A new window of the top-level window goes on top of its stack; the
      // layer stays above it. Layers themselves stack in the order they show.
      QObject* child = static_cast<QChildEvent*>(e)->child();
      if (watched == top && child != layer_ && child->isWidgetType() && !IsLayerWidget(child)) layer_->raise();
      break;
    }
    default:
      break;
  }
  return false;
}

void CWnd::TrackHost() {
  Layered& L = *layered_;
  if (!L.host) return;
  if (!L.tracker) L.tracker = std::make_unique<HostTracker>(this);
  L.tracker->Watch(L.host);
}

void CWnd::FollowHost() {
  Layered& L = *layered_;
  QWidget* host = L.host;
  if (!host) return;
  QWidget* top = host->window();
  if (parentWidget() != top) {
    const bool shown = isVisibleTo(parentWidget() ? parentWidget() : this);
    QWidget::setParent(top, Qt::Widget);
    TrackHost();
    if (shown) setVisible(true);
  }
  if (L.coversHost) L.anchor = host->rect();
  const QPoint origin = host == top ? L.anchor.topLeft() : host->mapTo(top, L.anchor.topLeft());
  setGeometry(QRect(origin, L.anchor.size()));
}

// ---- Layered attributes -------------------------------------------------------------------

CWnd::Layered& CWnd::State() {
  if (!layered_) layered_ = std::make_unique<Layered>();
  return *layered_;
}

bool CWnd::IsLayered() const { return layered_ && layered_->on; }

void CWnd::BecomeLayered() {
  Layered& L = State();
  L.on = true;
  setAttribute(Qt::WA_NoSystemBackground, true);
  setAutoFillBackground(false);
  if (isWindow() && kind_ != Kind::Layer) {
    // Only takes effect before the native window exists.
    setAttribute(Qt::WA_TranslucentBackground, true);
    if (!L.compositorWatched) {
      L.compositorWatched = true;
      connect(&CCompositorWatch::Instance(), &CCompositorWatch::Changed, this, [this](bool running) {
        Layered& S = *layered_;
        if (!isWindow()) return;
        if (running) {
          S.backdropTimer.stop();
          S.awaitingBackdrop = false;
          ReleaseBackdropPointer();
          S.backdrop = QImage();
        } else if (isVisible()) {
          RequestBackdrop();
        }
        ApplyShape();
        update();
      });
    }
  }
}

void CWnd::SetLayeredAttributes(std::optional<int> alpha, std::optional<QColor> colourKey) {
  BecomeLayered();
  Layered& L = *layered_;
  L.alpha = std::clamp(alpha.value_or(255), 0, 255);
  L.key = colourKey ? std::optional<QRgb>(colourKey->rgb()) : std::nullopt;
  L.imageMode = false;
  L.image = QImage();
  update();
}

void CWnd::UpdateLayeredImage(const QImage& argb, int alpha) {
  BecomeLayered();
  Layered& L = *layered_;
  L.alpha = std::clamp(alpha, 0, 255);
  L.key.reset();
  L.imageMode = true;
  L.buffer = QImage();
  L.image = argb.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  L.shape = L.alpha > 0 ? DrawnRegion(L.image, rect()) : QRegion();
  ApplyShape();  // known before the paint: no paint is clipped by an old shape
  update();
}

void CWnd::UpdateLayeredImage(const QImage& argb, const QRect& changed, int alpha) {
  const Layered* shown = layered_.get();
  if (!shown || !shown->on || !shown->imageMode || shown->alpha != std::clamp(alpha, 0, 255) ||
      shown->image.size() != argb.size()) {
    UpdateLayeredImage(argb, alpha);
    return;
  }
  Layered& L = *layered_;
  const QRect part = changed & argb.rect();
  if (part.isEmpty()) return;
  // The part converted as the whole picture would be, row by row into place.
  const QImage premultiplied = argb.copy(part).convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const auto rowBytes = static_cast<std::size_t>(part.width()) * 4;
  for (int y = 0; y < part.height(); ++y)
    std::memcpy(L.image.scanLine(part.top() + y) + static_cast<std::ptrdiff_t>(part.left()) * 4,
                premultiplied.constScanLine(y), rowBytes);
  if (L.alpha > 0) {
    const QRect scanned = part & rect();
    L.shape = L.shape.subtracted(QRegion(scanned)).united(DrawnRegion(L.image, scanned));
  }
  ApplyShape();
  update(part);
}

QImage CWnd::GetLayeredImage() const { return layered_ && layered_->imageMode ? layered_->image : QImage(); }

int CWnd::GetLayeredAlpha() const { return layered_ && layered_->on ? layered_->alpha : 255; }

QRegion CWnd::GetDrawnRegion() const { return IsLayered() ? layered_->shape : QRegion(rect()); }

void CWnd::SetMousePassThrough(bool on) {
  passThrough_ = on;
  if (on && layered_) ReleaseBackdropPointer();
  ApplyShape();
}

// ---- Painting and shapes --------------------------------------------------------------------

bool CWnd::Translucent() const { return CompositorRunning(); }

void CWnd::PaintLayered() {
  Layered& L = *layered_;
  const QImage* picture = &L.image;
  if (!L.imageMode) {
    if (L.buffer.size() != size()) L.buffer = QImage(size(), QImage::Format_ARGB32_Premultiplied);
    L.buffer.fill(Qt::transparent);
    {
      QPainter p(&L.buffer);
      if (!OnEraseBkgnd(p)) p.fillRect(rect(), palette().window());
      OnPaint(p);
    }
    L.shape = L.alpha > 0 ? DrawnRegion(L.buffer, L.key) : QRegion();
    picture = &L.buffer;
  }
  QPainter p(this);
  if (isWindow()) {
    // A translucent window starts from transparency; without a compositing
    // manager it starts from the screen that lay below when it showed.
    p.setCompositionMode(QPainter::CompositionMode_Source);
    if (!L.backdrop.isNull() && !Translucent())
      p.drawImage(0, 0, L.backdrop);
    else
      p.fillRect(rect(), Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  }
  if (L.key) p.setClipRegion(L.shape);
  p.setOpacity(L.alpha / 255.0);
  p.drawImage(0, 0, *picture);
  p.end();
  // The shape follows after the paint: changing a mask inside a paint would
  // disturb the paint in progress.
  if (!L.shapePending) {
    L.shapePending = true;
    QMetaObject::invokeMethod(this, [this] { ApplyShape(); }, Qt::QueuedConnection);
  }
}

void CWnd::ApplyShape() {
  if (layered_) layered_->shapePending = false;
  const bool layered = IsLayered();
  const QRegion drawn = GetDrawnRegion();
  if (!isWindow()) {
    setAttribute(Qt::WA_TransparentForMouseEvents, passThrough_ || (layered && drawn.isEmpty()));
    if (!layered) return;
    // A child's mask limits where it paints and where Qt finds it under the
    // mouse; an empty mask would mean none at all.
    const QRegion mask = drawn.isEmpty() || drawn == QRegion(rect()) ? QRegion() : drawn;
    if (mask != this->mask()) {
      if (mask.isEmpty())
        clearMask();
      else
        setMask(mask);
    }
    return;
  }
  setAttribute(Qt::WA_TransparentForMouseEvents, passThrough_);
  xcb_connection_t* c = QtXConnection();
  if (!c || !testAttribute(Qt::WA_WState_Created)) return;
  std::optional<QRegion> input;
  if (passThrough_)
    input = QRegion();
  else if (layered)
    input = drawn;
  std::optional<QRegion> bounding;
  if (layered && !Translucent()) bounding = layered_->awaitingBackdrop ? QRegion() : drawn;
  Layered& L = State();
  const auto window = static_cast<xcb_window_t>(winId());
  if (!L.shapesSent || L.sentBounding != bounding) SetXShape(c, window, XCB_SHAPE_SK_BOUNDING, bounding);
  if (!L.shapesSent || L.sentInput != input) SetXShape(c, window, XCB_SHAPE_SK_INPUT, input);
  L.sentBounding = bounding;
  L.sentInput = input;
  L.shapesSent = true;
  xcb_flush(c);
}

void CWnd::RequestBackdrop() {
  Layered& L = *layered_;
  L.backdrop = QImage();
  L.awaitingBackdrop = true;
  if (!L.backdropTimer.isSingleShot()) {
    L.backdropTimer.setSingleShot(true);
    connect(&L.backdropTimer, &QTimer::timeout, this, [this] {
      Layered& S = *layered_;
      S.awaitingBackdrop = false;
      if (isVisible() && !Translucent()) {
        QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
        const QRect g = geometry();
        if (s) {
          const QRect sg = s->geometry();
          S.backdrop = s->grabWindow(0, g.x() - sg.x(), g.y() - sg.y(), g.width(), g.height()).toImage();
        }
      }
      ApplyShape();
      ReleaseBackdropPointer();  // the window takes input again
      update();
    });
  }
  L.backdropTimer.start(kBackdropDelayMs);
  // While its bounding shape is empty the window takes no input, and a press
  // would reach whatever lies below: hold the pointer until the shape is back.
  xcb_connection_t* c = QtXConnection();
  if (c && isVisible() && !passThrough_ && !QWidget::mouseGrabber()) {
    // A core grab reporting events to our own windows as usual: a press over
    // another program's window comes to this one. (Qt's grabMouse did not
    // hold the pointer for a window without a bounding shape.)
    xcb_grab_pointer_reply_t* r = xcb_grab_pointer_reply(
        c,
        xcb_grab_pointer(c, 1, static_cast<xcb_window_t>(winId()),
                         XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION,
                         XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE, XCB_CURRENT_TIME),
        nullptr);
    L.holdingPointer = r && r->status == XCB_GRAB_STATUS_SUCCESS;
    std::free(r);
  }
  ApplyShape();
}

void CWnd::ReleaseBackdropPointer() {
  Layered& L = *layered_;
  if (!L.holdingPointer) return;
  L.holdingPointer = false;
  xcb_connection_t* c = QtXConnection();
  if (!c) return;
  // A press that came meanwhile took the capture, whose grab may have
  // replaced ours: end both, and give the capture its grab again.
  const bool captured = GetCapture() == this;
  if (QWidget::mouseGrabber() == this) releaseMouse();
  xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
  xcb_flush(c);
  if (captured) grabMouse();
}

void CWnd::RefreshBackdrop() {
  if (isWindow() && kind_ != Kind::Layer && isVisible() && IsLayered() && QtXConnection() && !Translucent())
    RequestBackdrop();
}

// ---- Showing ------------------------------------------------------------------------------------

void CWnd::setVisible(bool visible) {
  if (kind_ == Kind::Layer && layered_) {
    Layered& L = *layered_;
    QWidget* host = L.host;
    if (visible && host && host != host->window() && !host->isVisibleTo(host->window())) {
      // Shows when its host shows.
      L.hiddenWithHost = true;
      return;
    }
    L.hiddenWithHost = false;
    QWidget::setVisible(visible);
    if (visible) raise();
    return;
  }
  if (visible && !isVisible() && isWindow() && IsLayered() && QtXConnection()) {
    // The native window exists, and has its shapes, before it maps: without
    // a compositing manager it maps invisible and grabs what lies below.
    (void)winId();
    if (!Translucent()) RequestBackdrop();
    ApplyShape();
  }
  QWidget::setVisible(visible);
}

void CWnd::SetPaintOverHost() {
  Layered& L = State();
  L.on = false;
  L.imageMode = false;
  L.image = QImage();
  L.buffer = QImage();
  setAttribute(Qt::WA_NoSystemBackground, true);
  setAttribute(Qt::WA_TranslucentBackground, true);
  setAutoFillBackground(false);
  clearMask();
  setAttribute(Qt::WA_TransparentForMouseEvents, passThrough_);
  update();
}

void CWnd::moveEvent(QMoveEvent* e) {
  QWidget::moveEvent(e);
  const QPoint origin = mapToGlobal(QPoint(0, 0));
  OnMove(origin.x(), origin.y());
  if (isWindow() && isVisible() && IsLayered() && QtXConnection() && !Translucent() && e->pos() != e->oldPos())
    RequestBackdrop();
}
