#pragma once
// Whether a compositing manager runs on the X display, and a notice when
// that changes. A compositing manager owns the selection
// "_NET_WM_CM_S<screen>" of the screen it composites; the watch follows
// that selection's owner through XFixes selection events on a connection of
// its own. Without an X display nothing composites and nothing changes.

#include <QObject>

#include <memory>

class CCompositorWatch : public QObject {
  Q_OBJECT
 public:
  // The watch of this process, made on first use (on the interface thread).
  static CCompositorWatch& Instance();
  ~CCompositorWatch() override;

  bool Running() const { return running_; }

 signals:
  // A compositing manager started (true) or ended (false).
  void Changed(bool running);

 private:
  CCompositorWatch();
  void ReadEvents();
  void Refresh();

  struct Impl;
  std::unique_ptr<Impl> d_;
  bool running_ = false;
};

// Shorthand for CCompositorWatch::Instance().Running().
inline bool CompositorRunning() { return CCompositorWatch::Instance().Running(); }
