#pragma once
// Termination requests (SIGTERM, SIGINT, SIGHUP) as a call on the thread
// that runs the event loop, so that a program can end the way its own stop
// would (finish a file, tell its peers) instead of dying at once. The signal
// handler only writes the signal's number to a pipe the event loop watches.

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

class CStopSignals : public QObject {
 public:
  // Catches the three signals from now on and calls `onSignal` with each
  // one's number as the event loop reaches it. One object per process.
  explicit CStopSignals(std::function<void(int)> onSignal, QObject* parent = nullptr);
  ~CStopSignals() override;
  CStopSignals(const CStopSignals&) = delete;
  CStopSignals& operator=(const CStopSignals&) = delete;

  // False when the signals could not be caught (no pipe).
  bool IsWatching() const { return notifier_ != nullptr; }

 private:
  std::function<void(int)> onSignal_;
  std::unique_ptr<QSocketNotifier> notifier_;
};
