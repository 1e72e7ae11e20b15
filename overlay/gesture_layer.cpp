#include "overlay/gesture_layer.h"

#include <QCursor>

namespace {

// The "ui" set's window of the gesture layer.
constexpr int kGestureWindow = 10;

// Control ids of the pictures.
constexpr int kPicSpinner = 1;
constexpr int kPicHand = 2;
constexpr int kPicHoldStill = 4;
constexpr int kPicHandLost = 5;
constexpr int kPicReady = 6;
constexpr int kPicEnding = 8;
constexpr int kPicTaken = 9;
constexpr int kPicRing = 10;
constexpr int kPicComing = 11;

CRect Centred(const CRect& r, const CRect& client) {
  const int left = client.left + (client.Width() - r.Width()) / 2;
  const int top = client.top + (client.Height() - r.Height()) / 2;
  return CRect(left, top, left + r.Width(), top + r.Height());
}

}  // namespace

CGestureRecognitionLayer::CGestureRecognitionLayer() = default;

CGestureRecognitionLayer::~CGestureRecognitionLayer() { StopTimers(); }

bool CGestureRecognitionLayer::Create(CWnd* owner, const CRect& screenRect) {
  if (!CreatePictureLayer(owner, QStringLiteral("gestureRecognitionLayer"), screenRect)) return false;
  InitConfig();
  LoadResources();
  DoDraw();
  return true;
}

void CGestureRecognitionLayer::InitConfig() { layout_.LoadSet(u"ui", kGestureWindow); }

void CGestureRecognitionLayer::LoadResources() {
  for (int id = 1; id <= kControls; ++id) {
    if (id == kCaption || id == kClose) continue;
    layout_.LoadGdiImage(pictures_[id], rects_[id], id);
  }
  // The caption is drawn into the picture, never shown as a window of its own.
  layout_.LoadGdiBtn(caption_, rects_[kCaption], this, kCaption);
  caption_.ShowWindow(SW_HIDE);
  layout_.LoadGdiBtn(close_, rects_[kClose], this, kClose);
  layout_.SetLanguageTip(close_, kClose);
  close_.ShowWindow(SW_HIDE);
  SetRect();
}

CRect CGestureRecognitionLayer::GetControlRect(int id) const {
  return id >= 1 && id <= kControls ? rects_[id] : CRect();
}

void CGestureRecognitionLayer::SetRect() {
  const CRect client = GetClientRect();
  for (const int id : {kPicSpinner, kPicHand, kPicRing, kCaption}) rects_[id] = Centred(rects_[id], client);
  const CRect& hand = rects_[kPicHand];
  for (const int id : {kPicHoldStill, kPicHandLost, kPicTaken, kPicComing}) {
    CRect& r = rects_[id];
    r = CRect(hand.left, hand.bottom, hand.left + r.Width(), hand.bottom + r.Height());
  }
  caption_.MoveWindow(rects_[kCaption]);
  close_.MoveWindow(rects_[kClose]);
}

void CGestureRecognitionLayer::StopTimers() {
  for (const UINT id : {kWarmUpTimer, kPhotographTimer, kActivityTimer}) KillTimer(id);
}

void CGestureRecognitionLayer::ShowClose(bool show) {
  closeShown_ = show;
  close_.ShowWindow(show ? SW_SHOW : SW_HIDE);
}

void CGestureRecognitionLayer::Reset() {
  count_ = 0;
  state_ = kIdle;
  activity_ = 0;
  ShowClose(false);
  StopTimers();
}

void CGestureRecognitionLayer::GestureRecognition(int signal) {
  if (lastSignal_ == 1) {
    lastSignal_ = signal;
    return;
  }
  if (signal == 1) {
    if (state_ == kReady)
      Photograph();
    else
      GestureBegin();
    if (activity_ > 4) activity_ = kActivitySeconds;
  }
  lastSignal_ = signal;
}

void CGestureRecognitionLayer::GestureBegin() {
  if (state_ == kIdle) {
    state_ = kWarmingUp;
    if (!HasTimer(kWarmUpTimer)) {
      count_ = 1;
      SetTimer(kWarmUpTimer, kTimerPeriodMs);
    }
    if (!HasTimer(kActivityTimer)) {
      activity_ = kActivitySeconds;
      SetTimer(kActivityTimer, kTimerPeriodMs);
    }
    DoDraw();
  }
  COverlayLayer::ShowWindow(SW_SHOW);
}

int CGestureRecognitionLayer::Photograph() {
  if (state_ != kReady) return 0;
  count_ = 2;
  state_ = kCountDown;
  SetTimer(kPhotographTimer, kTimerPeriodMs);
  DoDraw();
  return 0;
}

void CGestureRecognitionLayer::GestureEnd() {
  Reset();
  DoDraw();
  COverlayLayer::ShowWindow(SW_HIDE);
}

int CGestureRecognitionLayer::ShowWindow(int cmd) {
  if (cmd != SW_SHOW) {
    Reset();
    DoDraw();
  } else if (state_ == kIdle) {
    GestureBegin();
  }
  return COverlayLayer::ShowWindow(cmd);
}

void CGestureRecognitionLayer::OnTimer(UINT id) {
  switch (id) {
    case kWarmUpTimer:
      if (count_ < 1) {
        state_ = kReady;
        KillTimer(kWarmUpTimer);
      }
      DoDraw();
      --count_;
      break;
    case kPhotographTimer:
      if (count_ == 0) {
        if (parent_) PostMessage(parent_, WM_AUTO_PHOTOGRAPH, 1, 0);
        state_ = kPhotographRequested;
      } else if (count_ < 0) {
        KillTimer(kPhotographTimer);
        state_ = kReady;
      }
      DoDraw();
      --count_;
      break;
    case kActivityTimer:
      if (closeShown_ && !rects_[kPicReady].PtInRect(CursorPoint())) ShowClose(false);
      if (activity_ == 0 || activity_ == 2 || activity_ == 4) {
        state_ = kEnding;
      } else if (activity_ == 1 || activity_ == 3) {
        state_ = kEndingBlink;
      } else if (activity_ < 0) {
        // Idle means nothing runs: a warm-up or count-down still going
        // would wake the layer up again.
        state_ = kIdle;
        StopTimers();
      }
      DoDraw();
      --activity_;
      break;
    default:
      break;
  }
}

CPoint CGestureRecognitionLayer::CursorPoint() const {
  const QPoint p = mapFromGlobal(QCursor::pos());
  return CPoint(p.x(), p.y());
}

void CGestureRecognitionLayer::OnMouseMove(UINT, CPoint p) {
  if (rects_[kPicReady].PtInRect(p) && !closeShown_) {
    ShowClose(true);
    DoDraw();
  }
}

void CGestureRecognitionLayer::OnSize(int, int) {
  if (!InDraw()) DoDraw();
}

LRESULT CGestureRecognitionLayer::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COMMAND && LOWORD(wParam) == static_cast<UINT>(kClose) && HIWORD(wParam) == BN_CLICKED) {
    GestureEnd();
    return 1;
  }
  return CPictureLayer::WindowProc(msg, wParam, lParam);
}

void CGestureRecognitionLayer::DrawCaption(int number) {
  caption_.SetCaptionText(QString::asprintf("%d", number));
  DrawControl(caption_);
}

void CGestureRecognitionLayer::DoDraw() {
  if (BeginDraw()) SetRect();
  switch (state_) {
    case kWarmingUp:
      // The remainder keeps the sign of the count.
      DrawPicture(pictures_[kPicSpinner], rects_[kPicSpinner], (count_ % 8) * 45);
      DrawPicture(pictures_[kPicHand], rects_[kPicHand]);
      DrawCaption(count_);
      DrawPicture(pictures_[kPicHoldStill], rects_[kPicHoldStill]);
      break;
    case kReady:
      DrawPicture(pictures_[kPicReady], rects_[kPicReady]);
      break;
    case kCountDown:
      DrawPicture(pictures_[kPicRing], rects_[kPicRing]);
      DrawCaption(count_);
      DrawPicture(pictures_[kPicComing], rects_[kPicComing]);
      break;
    case kPhotographRequested:
      DrawPicture(pictures_[kPicTaken], rects_[kPicTaken]);
      break;
    case kEnding:
      DrawPicture(pictures_[kPicEnding], rects_[kPicEnding]);
      break;
    default:  // idle and the blink draw nothing
      break;
  }
  if (closeShown_) DrawControl(close_);
  Present();
}
