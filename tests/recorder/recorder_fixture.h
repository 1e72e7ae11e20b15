#pragma once
// Shared by the recorder's suites: the main program's start menu as far as
// the recorder sees it, published under "RozIdez" in the test's process,
// counting the registered messages it hears.

#include <QElapsedTimer>

#include "platform/caption.h"
#include "platform/window.h"
#include "recorder/capturo_dlg.h"

class CStandInMenu : public CWnd {
 public:
  CStandInMenu() {
    start = RegisterWindowMessage(kStartRecordMessage);
    stop = RegisterWindowMessage(kStopRecordMessage);
    clock.start();
    PublishWindowCaption(this, QString::fromLatin1(CCapturoDlg::kMainCaption));
  }
  UINT start = 0, stop = 0;
  int starts = 0, stops = 0;
  qint64 startMs = -1, stopMs = -1;  // when each last arrived, on `clock`
  QElapsedTimer clock;

 protected:
  LRESULT WindowProc(UINT msg, WPARAM w, LPARAM l) override {
    if (msg == start) {
      ++starts;
      startMs = clock.elapsed();
    }
    if (msg == stop) {
      ++stops;
      stopMs = clock.elapsed();
    }
    return CWnd::WindowProc(msg, w, l);
  }
};
