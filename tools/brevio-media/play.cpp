// `brevio-media play` and `frame`: the front end of the media library's player.
#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QWidget>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "media/mp4decode.h"
#include "platform/messages.h"
#include "platform/records.h"
#include "tools/brevio-media/commands.h"

namespace {

constexpr int kSeekStep = 5;     // percent per Left/Right
constexpr int kVolumeStep = 10;  // percent per Up/Down

bool ParseNumber(const std::string& text, double min, double max, double& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text.c_str(), &end);
  if (errno != 0 || *end != '\0' || !(v >= min && v <= max)) return false;
  out = v;
  return true;
}

// The window: shows each picture the player hands it, scaled to fit with
// its proportions kept, and turns keys into player operations.
class CPlayWindow : public QWidget {
 public:
  CPlayWindow(CMp4Decode& player, int volume) : m_player(player), m_volume(volume) {
    RegisterMessageTarget(this);
    setFocusPolicy(Qt::StrongFocus);
  }

  int position = 0;  // percent of the last seek

 protected:
  bool event(QEvent* e) override {
    if (e->type() != CMessageEvent::Type()) return QWidget::event(e);
    auto* m = static_cast<CMessageEvent*>(e);
    m->Receive();
    if (m->message == WM_CAMERA_FRAME && m->lParam) {
      const auto* f = reinterpret_cast<const _CAMERAFRAME*>(m->lParam);
      if (f->data && f->width > 0 && f->height > 0 && f->bitCount == 24) {
        const int stride = (f->width * 3 + 3) & ~3;
        // Rows arrive bottom-up; the copy is the window's own.
        m_picture = QImage(f->data, f->width, f->height, stride, QImage::Format_BGR888).mirrored();
        update();
      }
    }
    return true;
  }

  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    if (m_picture.isNull()) return;
    const QSize fit = m_picture.size().scaled(size(), Qt::KeepAspectRatio);
    const QRect target((width() - fit.width()) / 2, (height() - fit.height()) / 2, fit.width(), fit.height());
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(target, m_picture);
  }

  void keyPressEvent(QKeyEvent* e) override {
    switch (e->key()) {
      case Qt::Key_Space:
        m_paused = !m_paused;
        m_player.Pause(m_paused ? 1 : 0);
        break;
      case Qt::Key_Left:
      case Qt::Key_Right:
        position = std::clamp(position + (e->key() == Qt::Key_Right ? kSeekStep : -kSeekStep), 0, 100);
        m_player.SetVideoPos(position);
        break;
      case Qt::Key_Up:
      case Qt::Key_Down:
        m_volume = std::clamp(m_volume + (e->key() == Qt::Key_Up ? kVolumeStep : -kVolumeStep), 0, 100);
        m_player.SetVolumePos(m_volume);
        break;
      case Qt::Key_Escape:
      case Qt::Key_Q:
        close();
        break;
      default:
        QWidget::keyPressEvent(e);
    }
  }

 private:
  CMp4Decode& m_player;
  QImage m_picture;
  bool m_paused = false;
  int m_volume;
};

}  // namespace

int RunPlay(const std::vector<std::string>& args) {
  std::string file;
  double volume = 100, start = 0;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--volume") {
      if (i + 1 >= args.size() || !ParseNumber(args[++i], 0, 100, volume))
        return BadArguments("--volume needs a percentage from 0 to 100");
    } else if (a == "--start") {
      if (i + 1 >= args.size() || !ParseNumber(args[++i], 0, 100, start))
        return BadArguments("--start needs a percentage from 0 to 100");
    } else if (!a.empty() && a[0] == '-') {
      return BadArguments("unknown option \"" + a + "\"");
    } else if (file.empty()) {
      file = a;
    } else {
      return BadArguments("more than one file given");
    }
  }
  if (file.empty()) return BadArguments("no file given");

  int argc = 1;
  char name[] = "brevio-media";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  av_log_set_level(AV_LOG_ERROR);
  CMp4Decode player;
  if (!player.Init(file.c_str()) || !player.OpenVideoDecode()) {
    std::fprintf(stderr, "brevio-media: cannot play \"%s\": not a video file this player reads\n", file.c_str());
    return 1;
  }
  if (player.m_audioIndex >= 0 && !player.OpenAudioDecode()) {
    std::fprintf(stderr, "brevio-media: no sound output; playing without sound\n");
  }
  player.SetVolumePos(static_cast<int>(volume));
  CPlayWindow window(player, static_cast<int>(volume));
  // The window shows only the file's name.
  const auto slash = file.find_last_of('/');
  window.setWindowTitle(QString::fromStdString(slash == std::string::npos ? file : file.substr(slash + 1)));
  const int w = player.GetVideoWidth(), h = player.GetVideoHeight();
  window.resize(std::min(w, 1280), std::min(h, 720) * std::min(w, 1280) / std::max(1, w));
  player.SetHwnd(&window);
  window.show();
  player.Play(1);
  if (start > 0) {
    window.position = static_cast<int>(start);
    player.SetVideoPos(window.position);
  }
  const int rc = app.exec();
  player.CloseDecode();
  return rc == 0 ? 0 : 1;
}

int RunFrame(const std::vector<std::string>& args) {
  if (args.size() != 3) return BadArguments("frame needs FILE SECONDS OUT");
  double seconds = 0;
  if (!ParseNumber(args[1], 0, 1e7, seconds) || seconds != static_cast<int>(seconds))
    return BadArguments("SECONDS must be a whole number of seconds from 0");
  av_log_set_level(AV_LOG_ERROR);
  CMp4Decode player;
  if (!player.Init(args[0].c_str()) || !player.OpenVideoDecode()) {
    std::fprintf(stderr, "brevio-media: cannot read \"%s\": not a video file this player reads\n", args[0].c_str());
    return 1;
  }
  const unsigned char* picture = player.ReadVideoFrame(static_cast<int>(seconds));
  if (!picture) {
    std::fprintf(stderr, "brevio-media: \"%s\" has no picture at %d s (it lasts %d s)\n", args[0].c_str(),
                 static_cast<int>(seconds), player.GetVideoAllTime());
    return 1;
  }
  // The player's rows run bottom-up; the picture is saved upright.
  const int w = player.GetVideoWidth(), h = player.GetVideoHeight();
  const std::size_t row = static_cast<std::size_t>(w) * 3;
  std::vector<unsigned char> topDown(row * h);
  for (int y = 0; y < h; ++y) std::copy_n(picture + (h - 1 - y) * row, row, topDown.begin() + y * row);
  if (!CMp4Decode::SaveAsImage(topDown.data(), w, h, args[2].c_str())) {
    std::fprintf(stderr, "brevio-media: cannot write \"%s\"\n", args[2].c_str());
    return 1;
  }
  std::printf("%s: %dx%d picture at %.3f s\n", args[2].c_str(), w, h, player.m_frameTime / 1000.0);
  return 0;
}
