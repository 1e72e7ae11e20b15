#pragma once
// The real program started on the test's X server, for end-to-end tests:
// with N demo cameras, on Qt's X platform, with the test's own environment
// (a ScratchEnv fixture has pointed HOME and the XDG folders at a scratch
// folder, so settings, pictures and data land there). The program is ended
// when the object goes.

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <functional>

#include "platform/caption.h"
#include "tests/support/wait.h"
#include "tests/support/x_session.h"

namespace x_session {

class RunningProgram {
 public:
  RunningProgram() = default;
  ~RunningProgram() { Stop(); }
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  // Starts `program` with `cameras` demo cameras (0: none). `change` may
  // adjust the environment further. False when it could not be started.
  bool Start(const QString& program, int cameras = 1, const QStringList& args = {},
             const std::function<void(QProcessEnvironment&)>& change = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (cameras > 0)
      env.insert(QStringLiteral("BREVIO_DEMO_CAMERA"), QString::number(cameras));
    else
      env.remove(QStringLiteral("BREVIO_DEMO_CAMERA"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    if (change) change(env);
    process_.setProcessEnvironment(env);
    process_.setProcessChannelMode(QProcess::ForwardedChannels);
    process_.start(program, args);
    return process_.waitForStarted(10000);
  }

  // The start menu's window exists and has painted its background.
  bool WaitForStartMenu(CScreenGrabber& grabber, int ms = 30000) {
    return WaitUntil([] { return FindWindowByCaption(QStringLiteral("RozIdez")); }, ms) &&
           WaitUntil([&] { return StartMenuPainted(grabber); }, ms);
  }

  // Asks the program to end, kills it when it has not after `ms`; true when
  // it ended by itself.
  bool Stop(int ms = 15000) {
    if (process_.state() == QProcess::NotRunning) return true;
    process_.terminate();
    if (process_.waitForFinished(ms)) return true;
    process_.kill();
    process_.waitForFinished(5000);
    return false;
  }

  QProcess& Process() { return process_; }

 private:
  QProcess process_;
};

}  // namespace x_session
