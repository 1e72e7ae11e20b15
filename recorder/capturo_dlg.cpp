#include "recorder/capturo_dlg.h"

#include <QApplication>
#include <QFont>
#include <QPainter>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "config/settings.h"
#include "contracts/fundara/language.h"
#include "contracts/fundara/names.h"
#include "overlay/overlay_messages.h"
#include "platform/caption.h"
#include "platform/dialogs.h"
#include "platform/sync.h"
#include "recorder/record_args.h"
#include "recorder/record_picture.h"

// The recorder's artwork (the logo stamped on the first pictures).
static void InitCapturoResources() { Q_INIT_RESOURCE(capturo); }

namespace {

using capturo::CToolbarLayout;

const QColor kBackdrop(0, 0, 0, 150);      // 0x96000000 around the frame
const QColor kFrameFill(255, 255, 255, 150);  // 0x96FFFFFF inside it
const QColor kGreen(0, 255, 0);            // the frame's border, handles and count
const QColor kBracket(0, 255, 0, 150);     // the pen 0x9600FF00
constexpr int kBracketLength = 50;
constexpr int kBracketWidth = 5;
constexpr int kBracketOffset = 3;  // the brackets run 3 pixels outside the frame
constexpr int kLivenessMs = 3000;
constexpr int kCountdownMs = 1000;
constexpr int kCountStart = 3;

QString Text(const char* key, const char* defaultText) {
  return QString::fromStdString(GetLanguageText(key, defaultText));
}

QRect ToQ(const CRect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }

std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

CCapturoDlg::CCapturoDlg() {
  startMsg_ = RegisterWindowMessage(kStartRecordMessage);
  stopMsg_ = RegisterWindowMessage(kStopRecordMessage);
  OnMessage(WM_STOP_RECORD, &CCapturoDlg::OnStopRecord);
}

CCapturoDlg::~CCapturoDlg() {
  stopRequested_ = true;
  if (capture_.joinable()) capture_.join();
  StopSound();
  CloseWriters();
  mp4_.Close();
  avi_.Close();
  surface_.Close();
  layoutMgr_.Release();
}

void CCapturoDlg::SetOutputPath(const std::string& path) {
  path_ = path;
  fileType_ = RecordFileTypeOf(path_);
}

bool CCapturoDlg::Create() {
  InitCapturoResources();
  screen_ = GetScreenSize();
  if (screen_.cx <= 0 || screen_.cy <= 0) return false;
  if (!CWnd::Create(Kind::Tool, QString::fromLatin1(kCaption), CRect(0, 0, screen_.cx, screen_.cy))) return false;
  SetTopMost(true);
  frame_ = capturo::StartFrame(requested_, screen_);
  backdrop_ = QImage(screen_.cx, screen_.cy, QImage::Format_ARGB32_Premultiplied);
  backdrop_.fill(kBackdrop);

  layoutMgr_.LoadSet(u"record", 1);
  layoutMgr_.LoadGdiImage(toolbar_, toolbarRect_, CAPTURO_TOOLBAR);
  for (int i = 0; i < 7; ++i) {
    CRect r;
    layoutMgr_.LoadGdiBtn(buttons_[i], r, this, CAPTURO_FULLSCREEN + i);
    buttonRects_[i] = r;
  }
  buttons_[6].ShowWindow(SW_HIDE);
  Relayout();

  surface_.Init();
  if (logo_.NewImageFormRES("Capturo", 136, "PNG")) surface_.SetGdiImage(&logo_);
  SetTimer(kLivenessTimer, kLivenessMs);
  if (fileType_ == kRecordAvi) avi_.Init();
  else if (fileType_ == kRecordFlv) flv_.SetParentHwnd(this);
  else mp4_.SetParentHwnd(this);

  PublishWindowCaption(this, QString::fromLatin1(kCaption));
  Redraw();
  return true;
}

// ---- Layout and drawing -----------------------------------------------------------------

void CCapturoDlg::Relayout() {
  std::array<CSize, 6> sizes;
  for (int i = 0; i < 6; ++i) sizes[i] = buttonRects_[i].Size();
  layout_ = capturo::LayoutToolbar(frame_, toolbarRect_.Height(), sizes, buttonRects_[6].Size(), screen_);
  for (int i = 0; i < 6; ++i) buttons_[i].MoveWindow(layout_.buttons[i]);
  buttons_[6].MoveWindow(layout_.stop);
}

void CCapturoDlg::Redraw() {
  if (redrawPending_) return;
  redrawPending_ = true;
  PostMessage(this, WM_LAYER_DRAW);
}

QImage CCapturoDlg::ComposeOverlay() {
  if (state_ == kSelecting) {
    QImage image = backdrop_.copy();
    QPainter p(&image);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(ToQ(frame_), kFrameFill);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (const QImage* strip = toolbar_.GetImage(); strip && !strip->isNull())
      p.drawImage(ToQ(layout_.strip), *strip);
    // The border runs just outside the frame, so that what is recorded is
    // exactly what lies inside it.
    CRect border = frame_;
    border.InflateRect(1, 1);
    p.setPen(QPen(kGreen, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(border.left, border.top, border.Width() - 1, border.Height() - 1));
    for (const CPoint& h : capturo::HandlePoints(frame_))
      p.fillRect(h.x - capturo::kHandleSide / 2, h.y - capturo::kHandleSide / 2, capturo::kHandleSide,
                 capturo::kHandleSide, kGreen);
    DrawButtons(p, 0, 6);
    return image;
  }
  QImage image(screen_.cx, screen_.cy, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  if (state_ == kStopped) return image;
  QPainter p(&image);
  DrawBrackets(p);
  if (state_ == kCountdown) DrawCount(p);
  DrawButtons(p, 6, 7);
  return image;
}

void CCapturoDlg::DrawBrackets(QPainter& p) const {
  // Bars of the pen's width centred on a rectangle 3 pixels outside the
  // frame (its last pixels on the right and bottom), 50 pixels long from
  // each corner, overlapping in a full corner square.
  const int half = kBracketWidth / 2;
  const int xs[2] = {frame_.left - kBracketOffset, frame_.right - 1 + kBracketOffset};
  const int ys[2] = {frame_.top - kBracketOffset, frame_.bottom - 1 + kBracketOffset};
  const int reach = kBracketLength + half;
  p.setCompositionMode(QPainter::CompositionMode_Source);
  for (int i = 0; i < 2; ++i) {
    for (int j = 0; j < 2; ++j) {
      const int x = xs[i], y = ys[j];
      const int barLeft = i == 0 ? x - half : x + half + 1 - reach;
      const int barTop = j == 0 ? y - half : y + half + 1 - reach;
      p.fillRect(QRect(barLeft, y - half, reach, kBracketWidth), kBracket);
      p.fillRect(QRect(x - half, barTop, kBracketWidth, reach), kBracket);
    }
  }
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void CCapturoDlg::DrawCount(QPainter& p) const {
  if (count_ < 1) return;
  const QRect area = ToQ(frame_);
  QFont font(QStringLiteral("黑体"));
  font.setPixelSize(std::max(1, frame_.Height() / 3));
  p.setFont(font);
  p.setPen(kGreen);
  p.drawText(area, Qt::AlignCenter, QString::number(count_));
  QString hint = QStringLiteral("按【F10】退出");
  if (const _MYLANGUAGE* text = layoutMgr_.GetLanguage(CAPTURO_TEXT_STOP_HINT)) hint = QString::fromStdU16String(text->value);
  font.setPixelSize(std::max(1, frame_.Height() / 8));
  p.setFont(font);
  const int quarter = frame_.Height() / 4;
  p.drawText(QRect(area.left(), area.bottom() + 1 - quarter, area.width(), quarter), Qt::AlignCenter, hint);
}

void CCapturoDlg::DrawButtons(QPainter& p, int first, int last) {
  // The buttons paint themselves over the window; drawing them into the
  // window's picture too makes them part of what the window shows and
  // where it takes the mouse.
  for (int i = first; i < last; ++i) {
    CGdiBtnEx& b = buttons_[i];
    if (!b.isVisibleTo(this)) continue;
    b.render(&p, b.pos(), QRegion(), QWidget::DrawChildren);
  }
}

// ---- Messages -----------------------------------------------------------------------------------

LRESULT CCapturoDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_LAYER_DRAW) {
    redrawPending_ = false;
    UpdateLayeredImage(ComposeOverlay(), 255);
    return 1;
  }
  if (msg == startMsg_ || msg == WM_CAPTURO_START) {
    Start();
    return 1;
  }
  if (msg == stopMsg_) {
    Stop();
    return 1;
  }
  if (msg == WM_CAPTURO_PRESET) {
    SetPreset(static_cast<int>(wParam));
    return 1;
  }
  if (msg == MM_WIM_OPEN || msg == MM_WIM_DATA || msg == MM_WIM_CLOSE) return OnSound(msg, wParam, lParam);
  if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    switch (LOWORD(wParam)) {
      case CAPTURO_FULLSCREEN: SetPreset(0); return 1;
      case CAPTURO_1024: SetPreset(1); return 1;
      case CAPTURO_800: SetPreset(2); return 1;
      case CAPTURO_640: SetPreset(3); return 1;
      case CAPTURO_START: Start(); return 1;
      case CAPTURO_CLOSE: CloseUnrecorded(); return 1;
      case CAPTURO_STOP: Stop(); return 1;
      default: break;
    }
  }
  if (msg == WM_CLOSE) {
    // Closing the window is the close button, or the stop while recording.
    if (state_ == kRecording) Stop();
    else if (state_ != kStopped) CloseUnrecorded();
    return 1;
  }
  return CWnd::WindowProc(msg, wParam, lParam);
}

void CCapturoDlg::OnTimer(UINT id) {
  if (id == kLivenessTimer) {
    if (MainProgramThere()) return;
    if (state_ == kRecording) Stop();
    else if (state_ != kStopped) CloseUnrecorded();
    return;
  }
  if (id == kCountdownTimer) {
    --count_;
    Redraw();
    if (count_ >= 0) return;
    KillTimer(kCountdownTimer);
    buttons_[6].ShowWindow(SW_SHOW);
    if (!BeginRecording()) GiveUp();
  }
}

bool CCapturoDlg::MainProgramThere() const { return FindWindowByCaption(QString::fromLatin1(kMainCaption)); }

void CCapturoDlg::PostToMain(UINT msg) {
  PostMessageToCaption(QString::fromLatin1(kMainCaption), msg);
}

// ---- Editing the frame ----------------------------------------------------------------------

void CCapturoDlg::SetPreset(int preset) {
  if (state_ != kSelecting) return;
  const CRect r = capturo::PresetFrame(preset, screen_);
  if (r.IsRectEmpty()) return;
  frame_ = r;
  Relayout();
  Redraw();
}

bool CCapturoDlg::OnLButtonDown(UINT, CPoint p) {
  if (state_ != kSelecting) return true;
  grabbed_ = capturo::HitHandle(frame_, p);
  moving_ = grabbed_ == 0 && frame_.PtInRect(p);
  lastPoint_ = p;
  if (grabbed_ || moving_) SetCapture();
  return true;
}

void CCapturoDlg::OnLButtonUp(UINT, CPoint) {
  if (grabbed_ || moving_) ReleaseCapture();
  grabbed_ = 0;
  moving_ = false;
}

void CCapturoDlg::OnMouseMove(UINT, CPoint p) {
  if (state_ != kSelecting) return;
  if (grabbed_) {
    frame_ = capturo::ResizeFrame(frame_, grabbed_, p, screen_);
  } else if (moving_) {
    frame_ = capturo::MoveFrame(frame_, p.x - lastPoint_.x, p.y - lastPoint_.y, screen_);
    lastPoint_ = p;
  } else {
    static constexpr CursorShape kShapes[9] = {CursorShape::Arrow,   CursorShape::SizeNWSE, CursorShape::SizeNS,
                                               CursorShape::SizeNESW, CursorShape::SizeWE,   CursorShape::SizeNWSE,
                                               CursorShape::SizeNS,  CursorShape::SizeNESW, CursorShape::SizeWE};
    const int handle = capturo::HitHandle(frame_, p);
    SetCursorShape(handle ? kShapes[handle] : frame_.PtInRect(p) ? CursorShape::SizeAll : CursorShape::Arrow);
    return;
  }
  Relayout();
  Redraw();
}

// ---- Start, countdown, recording -----------------------------------------------------------

void CCapturoDlg::Start() {
  if (state_ != kSelecting || !MainProgramThere()) return;
  PostToMain(startMsg_);
  startPosted_ = true;
  for (int i = 0; i < 6; ++i) buttons_[i].ShowWindow(SW_HIDE);
  grabbed_ = 0;
  moving_ = false;
  SetCursorShape(CursorShape::Arrow);
  state_ = kCountdown;
  count_ = kCountStart;
  Redraw();
  SetTimer(kCountdownTimer, kCountdownMs);
}

bool CCapturoDlg::BeginRecording() {
  outWidth_ = capturo::EvenSide(camcfg::ReadInt(camcfg::kVideo, camcfg::kWidth, 0));
  outHeight_ = capturo::EvenSide(camcfg::ReadInt(camcfg::kVideo, camcfg::kHeight, 0));
  if (outWidth_ <= 0 || outHeight_ <= 0) outWidth_ = outHeight_ = 0;
  frame_ = capturo::EvenFrame(frame_, screen_);
  grabRect_ = frame_;
  Relayout();
  Redraw();

  // One grab, timed, gives the writer's picture size and the AVI rate.
  BYTE* bits = nullptr;
  int width = outWidth_, height = outHeight_, size = 0;
  const std::int64_t before = NowMs();
  const int grabbed = surface_.GetSurfaceData24(grabRect_, width, height, bits, size);
  const int elapsed = static_cast<int>(NowMs() - before);
  std::free(bits);
  if (!grabbed || width <= 0 || height <= 0) return false;
  // A grab clipped by the screen's edge may come back odd: the encoders need even sides.
  width_ = width & ~1;
  height_ = height & ~1;
  if (width_ <= 0 || height_ <= 0) return false;
  framesPerSecond_ = capturo::AviFramesPerSecond(elapsed);
  if (!OpenWriter()) return false;
  writerOpen_ = true;

  if (fileType_ != kRecordAvi && wave_.OpenWave(this)) {
    // Without a microphone the recording has pictures only.
    wave_.StartWave();
    soundOn_ = true;
  }
  state_ = kRecording;
  stopRequested_ = false;
  capture_ = std::thread([this] { CaptureLoop(); });
  return true;
}

bool CCapturoDlg::OpenWriter() {
  switch (fileType_) {
    case kRecordFlv:
      if (flv_.Init(width_, height_, path_.c_str())) return true;
      flv_.Close();
      return false;
    case kRecordAvi: {
      BITMAPINFOHEADER header;
      header.biSize = 40;
      header.biWidth = width_;
      header.biHeight = height_;
      header.biPlanes = 1;
      header.biBitCount = 24;
      header.biCompression = 0;
      header.biSizeImage = static_cast<DWORD>(capturo::PaddedRowBytes(width_) * height_);
      if (avi_.CreateAvi(path_.c_str(), &header, framesPerSecond_) != 0) {
        avi_.CloseAviFile();
        return false;
      }
      // Without a microphone the recording has pictures only.
      avi_.CreateAudio(this);
      return true;
    }
    default:
      if (mp4_.Init(path_.c_str(), width_, height_)) return true;
      mp4_.Close();
      return false;
  }
}

void CCapturoDlg::CaptureLoop() {
  capturo::CAviPacer pacer(framesPerSecond_);
  std::int64_t firstMs = -1;
  std::vector<std::uint8_t> fitted, padded;
  BYTE* bits = nullptr;
  const int length = width_ * height_ * 3;
  while (!stopRequested_) {
    int width = outWidth_, height = outHeight_, size = 0;
    if (!surface_.GetSurfaceData24(grabRect_, width, height, bits, size)) {
      // Nothing of the frame is left on the screen: the recording ends
      // with what it has.
      PostMessage(this, stopMsg_);
      break;
    }
    const std::uint8_t* picture = bits;
    if (width != width_ || height != height_) {
      capturo::FitPicture(bits, width, height, fitted, width_, height_);
      picture = fitted.data();
    }
    if (fileType_ == kRecordMp4) {
      mp4_.BmptoH264Data(picture, length);
    } else if (fileType_ == kRecordFlv) {
      flv_.WriteBmpData(picture, length);
    } else {
      const std::int64_t now = NowMs();
      if (firstMs < 0) firstMs = now;
      // A picture owed several times is coded once, at the last place it
      // owes: the places skipped before it hold no data, and players show
      // the picture before them there. Coding it again for each place
      // would fall further behind the clock with every late picture.
      const int owed = pacer.Owed(now - firstMs);
      if (owed > 0) capturo::PadRows(picture, width_, height_, padded);
      if (owed > 0 && avi_.WriteData(static_cast<int>(pacer.Written() - 1), padded.data(),
                                     static_cast<int>(padded.size())) != 0) {
        writeFailed_ = true;
        PostMessage(this, WM_STOP_RECORD, 0, 0);
        break;
      }
    }
    Sleep(1);
  }
  // The last AVI picture stands until the stop: the file lasts as long as
  // the recording did.
  if (fileType_ == kRecordAvi && firstMs >= 0 && !writeFailed_ && !padded.empty()) {
    if (pacer.Owed(NowMs() - firstMs) > 0)
      avi_.WriteData(static_cast<int>(pacer.Written() - 1), padded.data(), static_cast<int>(padded.size()));
  }
  std::free(bits);
}

LRESULT CCapturoDlg::OnSound(UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* device = reinterpret_cast<HWAVEIN>(wParam);
  auto* header = reinterpret_cast<WAVEHDR*>(lParam);
  if (fileType_ == kRecordAvi) {
    // Notices of a device the writer has closed meanwhile are old: their
    // buffers are gone.
    if (!device || device != avi_.GetDevice()) return 0;
    if (msg == MM_WIM_OPEN) avi_.CreateAudioBuffer(22050);
    else if (msg == MM_WIM_DATA && header && state_ == kRecording) avi_.WriteAudioBuffer(device, header);
    return 1;
  }
  if (msg != MM_WIM_DATA || !header || !soundOn_ || device != wave_.GetDevice()) return 0;
  const auto* pcm = reinterpret_cast<const unsigned char*>(header->lpData);
  const int bytes = static_cast<int>(header->dwBytesRecorded);
  if (bytes > 0) {
    if (fileType_ == kRecordFlv) flv_.WritePCMData(pcm, bytes, header->captureUs, header->lostSamples);
    else mp4_.SetPCMData(pcm, bytes, header->captureUs, header->lostSamples);
  }
  wave_.AddBuffer(device, header);
  return 1;
}

// ---- Stopping and ending --------------------------------------------------------------------

void CCapturoDlg::Stop() {
  if (state_ != kRecording) return;
  // The capture thread has stopped handing pictures over before the
  // writer is finished.
  stopRequested_ = true;
  if (capture_.joinable()) capture_.join();
  state_ = kStopped;
  buttons_[6].ShowWindow(SW_HIDE);
  Redraw();
  StopSound();
  if (fileType_ == kRecordMp4) {
    mp4_.AddEndData();
  } else if (fileType_ == kRecordFlv) {
    flv_.Close();
  } else {
    avi_.CloseAviFile();
    avi_.DeleteAudioBuffer();
    PostMessage(this, WM_STOP_RECORD, 0, writeFailed_ ? 0 : 1);
  }
  writerOpen_ = false;
  if (!stopPosted_) {
    stopPosted_ = true;
    PostToMain(stopMsg_);
  }
}

void CCapturoDlg::StopSound() {
  if (!soundOn_) return;
  soundOn_ = false;
  wave_.StopWave();
  wave_.CloseWave();
}

void CCapturoDlg::CloseWriters() {
  if (!writerOpen_) return;
  writerOpen_ = false;
  if (fileType_ == kRecordMp4) {
    mp4_.AddEndData();
    mp4_.Close();
  } else if (fileType_ == kRecordFlv) {
    flv_.Close();
  } else {
    avi_.CloseAviFile();
  }
}

LRESULT CCapturoDlg::OnStopRecord(WPARAM, LPARAM lParam) {
  if (finished_) return 0;
  if (lParam == 0) writeFailed_ = true;
  // A writer that could not write any more reports it at once: the
  // recording ends there, and what was written stays.
  if (state_ == kRecording) Stop();
  if (state_ != kStopped) return 0;
  finished_ = true;
  const bool saved = !writeFailed_;
  if (!quiet_) {
    MessageBox(this, QString::fromStdString(path_),
               saved ? Text("baocunchenggong", "保存成功！") : Text("baocunshibai", "保存失败！"),
               saved ? MB_OK | MB_ICONINFORMATION : MB_OK | MB_ICONERROR);
  }
  EndRecorder(saved ? 1 : 0);
  return 1;
}

void CCapturoDlg::GiveUp() {
  // No recording could be started: say so, tell the main program, and give
  // the reserved name back.
  StopSound();
  CloseWriters();
  state_ = kStopped;
  buttons_[6].ShowWindow(SW_HIDE);
  Redraw();
  // The main program's buttons do not wait for the teacher to read the box.
  if (!stopPosted_) {
    stopPosted_ = true;
    PostToMain(stopMsg_);
  }
  // A writer that opened nothing usable may have left a header behind.
  if (!ReleaseFileName(path_)) {
    std::error_code ec;
    std::filesystem::remove(path_, ec);
  }
  if (!quiet_) MessageBox(this, QString::fromStdString(path_), Text("luzhishibai", "录制失败！"), MB_OK | MB_ICONERROR);
  EndRecorder(0);
}

void CCapturoDlg::CloseUnrecorded() {
  if (state_ == kRecording || ended_) return;
  KillTimer(kCountdownTimer);
  if (startPosted_ && !stopPosted_) {
    stopPosted_ = true;
    PostToMain(stopMsg_);
  }
  if (!finished_) ReleaseFileName(path_);
  EndRecorder(result_);
}

void CCapturoDlg::EndBySignal() {
  quiet_ = true;
  switch (state_) {
    case kRecording: Stop(); break;
    case kStopped:
      // Waiting for the writer, or showing the final box: that box closes.
      if (QWidget* box = QApplication::activeModalWidget(); box && box != this) box->close();
      break;
    default: CloseUnrecorded(); break;
  }
}

void CCapturoDlg::EndRecorder(int result) {
  if (ended_) return;
  ended_ = true;
  result_ = result;
  KillTimer(kLivenessTimer);
  KillTimer(kCountdownTimer);
  stopRequested_ = true;
  if (capture_.joinable()) capture_.join();
  StopSound();
  CloseWriters();
  if (fileType_ == kRecordMp4) mp4_.Close();
  if (fileType_ == kRecordAvi) {
    avi_.CloseAviFile();
    avi_.DeleteAudioBuffer();
    avi_.Close();
  }
  surface_.Close();
  ShowWindow(SW_HIDE);
  EndDialog(result);
}
