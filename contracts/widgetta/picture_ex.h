#pragma once
// A picture control that plays animated pictures (GIF, animated PNG/WebP)
// and shows still ones. Load reads every frame with its delay; playing
// starts when a loaded picture is shown (or with Draw) and loops. Frames
// are drawn fitted into the control, centred.

#include <QImage>
#include <QString>

#include <vector>

#include "contracts/widgetta/ui_ctrl.h"

class CPictureEx : public CUICtrl {
 public:
  // Reads the picture. 1 on success; 0 leaves the control empty.
  int Load(const QString& path);
  // Starts playing (from the current frame). 0 when nothing is loaded.
  int Draw();
  void Stop();
  void UnLoad();

  bool IsLoaded() const { return !frames_.empty(); }
  bool IsPlaying() const { return playing_; }
  int GetFrameCount() const { return static_cast<int>(frames_.size()); }
  int GetCurrentFrame() const { return current_; }
  // Delay of a frame in milliseconds.
  int GetFrameDelay(int index) const;
  QSize GetSize() const { return size_; }
  const QImage& GetFrame(int index) const;

 protected:
  void OnTimer(UINT id) override;
  void OnShowWindow(bool show) override;
  void OnPaint(QPainter& painter) override;

 private:
  static constexpr UINT kFrameTimer = 1;
  struct Frame {
    QImage image;
    int delay;
  };
  void ScheduleNext();

  std::vector<Frame> frames_;
  QSize size_;
  int current_ = 0;
  bool playing_ = false;
};
