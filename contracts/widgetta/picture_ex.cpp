#include "contracts/widgetta/picture_ex.h"

#include <QImageReader>
#include <QPainter>

namespace {
// Frames asking for no delay (or for less than a display can show) are
// held this long, as browsers do; a limit keeps huge files in check.
constexpr int kShortestDelay = 20;
constexpr int kDefaultDelay = 100;
constexpr int kMaxFrames = 2000;
}  // namespace

int CPictureEx::Load(const QString& path) {
  UnLoad();
  QImageReader reader(path);
  if (!reader.canRead()) {
    // Still pictures of every kind, the SVG artwork included.
    QImage still = LoadUIPicture(path);
    if (still.isNull()) return 0;
    frames_.push_back({still, 0});
    size_ = still.size();
    update();
    if (isVisible()) Draw();
    return 1;
  }
  while (static_cast<int>(frames_.size()) < kMaxFrames) {
    QImage image = reader.read();
    if (image.isNull()) break;
    int delay = reader.nextImageDelay();
    if (delay <= 0) delay = kDefaultDelay;
    frames_.push_back({image.convertToFormat(QImage::Format_ARGB32_Premultiplied),
                       std::max(delay, kShortestDelay)});
    if (!reader.supportsAnimation() || !reader.canRead()) break;
  }
  if (frames_.empty()) return 0;
  size_ = frames_.front().image.size();
  update();
  if (isVisible()) Draw();
  return 1;
}

int CPictureEx::Draw() {
  if (frames_.empty()) return 0;
  playing_ = true;
  ScheduleNext();
  update();
  return 1;
}

void CPictureEx::Stop() {
  playing_ = false;
  KillTimer(kFrameTimer);
}

void CPictureEx::UnLoad() {
  Stop();
  frames_.clear();
  size_ = QSize();
  current_ = 0;
  update();
}

int CPictureEx::GetFrameDelay(int index) const {
  if (index < 0 || index >= GetFrameCount()) return 0;
  return frames_[static_cast<std::size_t>(index)].delay;
}

const QImage& CPictureEx::GetFrame(int index) const {
  static const QImage none;
  if (index < 0 || index >= GetFrameCount()) return none;
  return frames_[static_cast<std::size_t>(index)].image;
}

void CPictureEx::ScheduleNext() {
  if (playing_ && frames_.size() > 1)
    SetTimer(kFrameTimer, frames_[static_cast<std::size_t>(current_)].delay);
  else
    KillTimer(kFrameTimer);
}

void CPictureEx::OnTimer(UINT id) {
  if (id != kFrameTimer || frames_.size() < 2) return;
  current_ = (current_ + 1) % GetFrameCount();
  ScheduleNext();
  update();
}

void CPictureEx::OnShowWindow(bool show) {
  if (show && IsLoaded() && !playing_)
    Draw();
  else if (!show)
    Stop();
}

void CPictureEx::OnPaint(QPainter& painter) {
  if (frames_.empty()) return;
  DrawImage(painter, frames_[static_cast<std::size_t>(current_)].image, rect());
}
