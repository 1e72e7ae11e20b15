#pragma once
// The gesture layer: the on-screen companion of photographing by a hand
// gesture. The host feeds it a gesture signal (1: the gesture is seen);
// from that signal and three one-second timers it runs a small state
// machine, draws the pictures of the "ui" set's window 10 for each state,
// and when a count-down ends posts WM_AUTO_PHOTOGRAPH (wParam 1) to its
// parent window, which takes the photograph.
//
//   0 idle → (gesture or show) 1 warming up → (2 s) 2 ready → (gesture)
//   3 count-down → (3 s) 4 photograph requested → (1 s) 2 ready → …
//
// Every accepted gesture renews a 600-second activity period unless fewer
// than five seconds are left; its last five seconds blink (states 5 and 6)
// and it ends idle. Hiding, ending or the close button return to idle at
// once and stop every timer.

#include "contracts/widgetta/gdi_btn.h"
#include "overlay/picture_layer.h"

#include <array>

class CGestureRecognitionLayer : public CPictureLayer {
 public:
  enum State {
    kIdle = 0,
    kWarmingUp = 1,
    kReady = 2,
    kCountDown = 3,
    kPhotographRequested = 4,
    kEnding = 5,
    kEndingBlink = 6,
  };
  // Timer ids, each with a period of one second.
  static constexpr UINT kWarmUpTimer = 12;
  static constexpr UINT kPhotographTimer = 13;
  static constexpr UINT kActivityTimer = 14;
  static constexpr int kTimerPeriodMs = 1000;
  static constexpr int kActivitySeconds = 600;
  // Control ids of window 10: pictures 1, 2 and 4 to 11, the caption
  // showing the number, the close button.
  static constexpr int kCaption = 3;
  static constexpr int kClose = 12;
  static constexpr int kControls = 12;

  CGestureRecognitionLayer();
  ~CGestureRecognitionLayer() override;

  // Creates the layer "gestureRecognitionLayer" over `owner` at
  // `screenRect` (screen coordinates; the owner's whole rectangle when
  // empty), hidden; loads window 10 and lays it out.
  bool Create(CWnd* owner, const CRect& screenRect = {});

  void SetParentHwnd(HWND parent) { parent_ = parent; }
  HWND GetParentHwnd() const { return parent_; }
  // The host's gesture signal: only a change to 1 acts.
  void GestureRecognition(int signal);
  void GestureBegin();
  // Starts the count-down when ready; always 0.
  int Photograph();
  void GestureEnd();
  int GetGestureState() const { return state_; }
  int GetCount() const { return count_; }
  int GetActivityCount() const { return activity_; }
  bool IsCloseShown() const { return closeShown_; }

  // Hiding (any command but 5) returns to idle and stops every timer;
  // showing while idle starts the warm-up.
  int ShowWindow(int cmd) override;
  void DoDraw();
  void SetRect();
  void InitConfig();
  void LoadResources();

  // The rectangle of control `id` as laid out (empty for an unknown id).
  CRect GetControlRect(int id) const;
  CGdiBtnEx& GetCaptionButton() { return caption_; }
  CGdiBtnEx& GetCloseButton() { return close_; }

 protected:
  void OnTimer(UINT id) override;
  void OnMouseMove(UINT flags, CPoint p) override;
  void OnSize(int cx, int cy) override;
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  // Where the pointer is now, in client coordinates.
  CPoint CursorPoint() const;
  void StopTimers();
  // Back to idle: counters and the close button cleared, timers stopped.
  void Reset();
  void ShowClose(bool show);
  void DrawCaption(int number);

  std::array<CGdiImage, kControls + 1> pictures_;  // by control id
  std::array<CRect, kControls + 1> rects_;         // by control id
  CGdiBtnEx caption_;
  CGdiBtnEx close_;
  int state_ = kIdle;
  int count_ = 0;
  int activity_ = 0;
  int lastSignal_ = 0;
  bool closeShown_ = false;
  HWND parent_ = nullptr;
};
