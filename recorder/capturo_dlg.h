#pragma once
// The screen recorder's window: a translucent window over the whole screen
// in which the teacher places a green capture frame (dragging its handles or
// the frame itself, or choosing a preset size) and presses start; after a
// 3-2-1 countdown the area is grabbed as fast as the screen allows and fed,
// with the microphone's sound, to the MP4, FLV or AVI writer the output path
// names. Stop (the button, or the main program's "StopRecord") finishes the
// file, whose path is then shown before the recorder ends.
//
// States: 0 selecting, 1 countdown, 2 recording, 4 stopped. While selecting
// the window darkens the screen around the frame and takes the mouse
// everywhere; from the countdown on it draws only the frame's corner
// brackets, the count and the stop button, outside the frame, so that the
// area is neither covered nor recorded and the mouse reaches what lies
// below.
//
// The main program's start menu (caption "RozIdez") hears "StartRecord"
// when a start is accepted and "StopRecord" when the recorder stops or gives
// up after having started; without it a start does nothing, and once it is
// gone the recorder finishes its recording and ends.

#include <atomic>
#include <array>
#include <string>
#include <thread>

#include "canvas/gdisurface.h"
#include "contracts/widgetta/gdi_btn.h"
#include "imaging/gdi_image.h"
#include "media/avifile.h"
#include "media/flvrecord.h"
#include "media/mp4muxer.h"
#include "media/wave.h"
#include "overlay/xml_list_mgr.h"
#include "platform/window.h"
#include "recorder/record_frame.h"

// Messages of the recorder's window besides the registered pair.
constexpr UINT WM_CAPTURO_START = 2246;   // start, as the start button
constexpr UINT WM_CAPTURO_PRESET = 3024;  // wParam 0 whole screen, 1 1024 × 768, 2 800 × 600, 3 640 × 480
constexpr UINT kLivenessTimer = 76;       // every 3000 ms: is the main program still there?
constexpr UINT kCountdownTimer = 77;      // every 1000 ms during the countdown

// Controls of "record_control.xml", window 1, and texts of "record_language.xml".
enum CapturoControl {
  CAPTURO_TOOLBAR = 1,
  CAPTURO_FULLSCREEN = 3,
  CAPTURO_1024 = 4,
  CAPTURO_800 = 5,
  CAPTURO_640 = 6,
  CAPTURO_START = 7,
  CAPTURO_CLOSE = 8,
  CAPTURO_STOP = 9,
};
constexpr int CAPTURO_TEXT_STOP_HINT = 8;  // "按【F10】退出" under the count

class CCapturoDlg : public CWnd {
 public:
  enum State { kSelecting = 0, kCountdown = 1, kRecording = 2, kStopped = 4 };
  static constexpr const char* kCaption = "Capturo";
  static constexpr const char* kMainCaption = "RozIdez";

  CCapturoDlg();
  ~CCapturoDlg() override;

  // The output path (the container follows from it; a path of another kind
  // gets ".mp4") and the requested area, both before Create.
  void SetOutputPath(const std::string& path);
  const std::string& GetOutputPath() const { return path_; }
  int GetFileType() const { return fileType_; }
  void SetCaptureFrame(const CRect& area) { requested_ = area; }

  // The window over the whole primary screen, laid out, published under
  // "Capturo" and not yet shown.
  bool Create();
  // Shows the window and runs it until the recorder ends; its result.
  int Run() { return DoModal(); }
  // The recorder has ended (a file finished, given up or closed).
  bool IsEnded() const { return ended_; }
  // 1 when it ended with a saved recording.
  int GetResult() const { return result_; }

  int GetState() const { return state_; }
  int GetCount() const { return count_; }
  CRect GetCaptureFrame() const { return frame_; }
  CSize GetScreen() const { return screen_; }
  // The size of the pictures handed to the writer (0 × 0 before recording).
  CSize GetPictureSize() const { return CSize(width_, height_); }
  const capturo::CToolbarLayout& GetLayout() const { return layout_; }
  // The buttons in order: full screen, 1024 × 768, 800 × 600, 640 × 480,
  // start, close, stop.
  CGdiBtnEx& GetButton(int index) { return buttons_[static_cast<std::size_t>(index)]; }

  void Start();
  void Stop();
  void SetPreset(int preset);
  // A termination signal: a recording is finished and announced, an
  // unstarted recorder just ends; no message box either way.
  void EndBySignal();

  // What the window shows in the current state (premultiplied ARGB at the
  // screen's size).
  QImage ComposeOverlay();

 protected:
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void OnTimer(UINT id) override;
  bool OnLButtonDown(UINT flags, CPoint p) override;
  void OnLButtonUp(UINT flags, CPoint p) override;
  void OnMouseMove(UINT flags, CPoint p) override;

 private:
  void Relayout();
  void Redraw();
  void DrawBrackets(QPainter& painter) const;
  void DrawCount(QPainter& painter) const;
  void DrawButtons(QPainter& painter, int first, int last);

  bool BeginRecording();
  bool OpenWriter();
  void CaptureLoop();
  void StopSound();
  void CloseWriters();
  void GiveUp();
  void CloseUnrecorded();
  LRESULT OnStopRecord(WPARAM wParam, LPARAM lParam);
  LRESULT OnSound(UINT msg, WPARAM wParam, LPARAM lParam);
  void PostToMain(UINT msg);
  void EndRecorder(int result);
  bool MainProgramThere() const;

  // Drawing: the backdrop of the selection state, the tool strip's picture.
  QImage backdrop_;
  CRect frame_;
  CRect requested_;
  CSize screen_;
  CPoint lastPoint_;
  bool moving_ = false;
  int grabbed_ = 0;  // handle being dragged, 0 none
  CGdiImage toolbar_;
  CRect toolbarRect_;
  std::array<CGdiBtnEx, 7> buttons_;
  std::array<CRect, 7> buttonRects_;
  capturo::CToolbarLayout layout_;
  CXmlListMgr layoutMgr_;
  CGDISurface surface_;
  std::string path_;
  int state_ = kSelecting;
  int count_ = -1;
  bool redrawPending_ = false;
  CWave wave_;
  bool soundOn_ = false;
  CMp4Muxer mp4_;
  CFlvRecord flv_;
  CAviFile avi_;
  bool writerOpen_ = false;
  int framesPerSecond_ = 1;
  std::thread capture_;
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> writeFailed_{false};
  int fileType_ = 0;
  CGdiImage logo_;

  CRect grabRect_;          // the even-sized frame being recorded
  int outWidth_ = 0;        // the configured output size (0: the frame's)
  int outHeight_ = 0;
  int width_ = 0;           // the writer's picture size
  int height_ = 0;
  UINT startMsg_ = 0;
  UINT stopMsg_ = 0;
  bool startPosted_ = false;  // "StartRecord" went to the main program
  bool stopPosted_ = false;
  bool quiet_ = false;        // ending by a signal: no message box
  bool finished_ = false;
  bool ended_ = false;
  int result_ = 0;
};
