#include "canvas/layeredwindow.h"

#include "platform/window.h"

#include <QEvent>
#include <QPainter>
#include <QPointer>

#include <algorithm>

namespace {

// Paints the presented picture in place of the window's own painting.
class CLayerPresenter : public QObject {
  Q_OBJECT
 public:
  explicit CLayerPresenter(QWidget* window) : QObject(window), window_(window) {
    setObjectName(QStringLiteral("brevio-layer-presenter"));
    window->installEventFilter(this);
  }
  QImage image;
  int alpha = 255;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != window_ || event->type() != QEvent::Paint) return false;
    QPainter p(window_);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(window_->rect(), Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setOpacity(alpha / 255.0);
    p.drawImage(QPoint(0, 0), image);
    return true;
  }

 private:
  QWidget* window_;
};

CLayerPresenter* FindPresenter(const QWidget* window) {
  return window->findChild<CLayerPresenter*>(QStringLiteral("brevio-layer-presenter"),
                                             Qt::FindDirectChildrenOnly);
}

}  // namespace

CLayeredWindow::CLayeredWindow(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
  setAttribute(Qt::WA_TranslucentBackground);
  setAttribute(Qt::WA_NoSystemBackground);
}

bool PresentOnWindow(QWidget* window, const QImage& image, int alpha) {
  if (!window || image.isNull()) return false;
  const QSize size = window->size();
  const QRect shown(0, 0, std::min(size.width(), image.width()), std::min(size.height(), image.height()));
  // The window classes present layered pictures themselves (their input
  // region follows the picture).
  if (auto* wnd = dynamic_cast<CWnd*>(window)) {
    wnd->UpdateLayeredImage(shown == image.rect() ? image : image.copy(shown), alpha);
    return true;
  }
  CLayerPresenter* presenter = FindPresenter(window);
  if (!presenter) presenter = new CLayerPresenter(window);
  presenter->image = image.copy(shown);
  presenter->alpha = std::clamp(alpha, 0, 255);
  window->update();
  return true;
}

bool PresentOnWindow(QWidget* window, const QImage& image, int alpha, const QRect& changed) {
  auto* wnd = dynamic_cast<CWnd*>(window);
  if (!wnd || image.isNull() || image.size() != window->size()) return PresentOnWindow(window, image, alpha);
  wnd->UpdateLayeredImage(image, changed, alpha);
  return true;
}

QImage PresentedImage(const QWidget* window) {
  if (const auto* wnd = dynamic_cast<const CWnd*>(window)) return wnd->GetLayeredImage();
  const CLayerPresenter* presenter = window ? FindPresenter(window) : nullptr;
  return presenter ? presenter->image : QImage();
}

int PresentedAlpha(const QWidget* window) {
  if (const auto* wnd = dynamic_cast<const CWnd*>(window)) return wnd->IsLayered() ? wnd->GetLayeredAlpha() : 0;
  const CLayerPresenter* presenter = window ? FindPresenter(window) : nullptr;
  return presenter ? presenter->alpha : 0;
}

#include "layeredwindow.moc"
