#pragma once
// Waiting in tests for something that happens through the event loop.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>

// Runs this thread's events until `done` answers true or `ms` have passed;
// true when it did.
inline bool WaitUntil(const std::function<bool()>& done, int ms = 5000, int pollMs = 2) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(pollMs);
  }
  return true;
}
