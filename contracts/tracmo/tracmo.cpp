#include "contracts/tracmo/tracmo.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPointer>

// The hook watches the application's events. One press reaches several
// receivers (the top-level window, then the widget under the pointer, then
// its parents while nobody accepts it); they all carry the same time stamp,
// button and screen point, so a press is reported once.
class CTracmo::Filter : public QObject {
 public:
  explicit Filter(HWND target) : target_(target) {}

  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() == QEvent::MouseButtonPress) {
      auto* m = static_cast<QMouseEvent*>(e);
      const QPoint g = m->globalPosition().toPoint();
      const bool same = haveLast_ && m->timestamp() == lastTime_ && m->button() == lastButton_ &&
                        g == lastPoint_;
      if (!same) {
        haveLast_ = true;
        lastTime_ = m->timestamp();
        lastButton_ = m->button();
        lastPoint_ = g;
        if (target_)
          PostMessage(target_.data(), CTracmo::MouseDownMessage(),
                      static_cast<WPARAM>(static_cast<LPARAM>(g.x())), static_cast<LPARAM>(g.y()));
      }
    }
    return QObject::eventFilter(watched, e);
  }

 private:
  QPointer<QObject> target_;
  bool haveLast_ = false;
  quint64 lastTime_ = 0;
  Qt::MouseButton lastButton_ = Qt::NoButton;
  QPoint lastPoint_;
};

CTracmo::CTracmo() = default;

CTracmo::~CTracmo() { StopHook(); }

UINT CTracmo::MouseDownMessage() {
  static const UINT message = RegisterWindowMessage("MouseDown");
  return message;
}

int CTracmo::InitHook(HWND target, const std::string&) {
  StopHook();
  target_ = IsMessageTarget(target) ? target : nullptr;
  return target_ ? 1 : 0;
}

int CTracmo::StartHook() {
  if (filter_) return 1;
  QCoreApplication* app = QCoreApplication::instance();
  if (!target_ || !app || !IsMessageTarget(target_)) return 0;
  filter_ = std::make_unique<Filter>(target_);
  app->installEventFilter(filter_.get());
  return 1;
}

int CTracmo::StopHook() {
  if (!filter_) return 0;
  if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(filter_.get());
  filter_.reset();
  return 1;
}

bool CTracmo::IsHooked() const { return filter_ != nullptr; }
