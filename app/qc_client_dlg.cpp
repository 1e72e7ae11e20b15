#include "app/qc_client_dlg.h"

#include "app/settings.h"
#include "contracts/fundara/files.h"
#include "contracts/fundara/language.h"
#include "contracts/fundara/names.h"
#include "contracts/fundara/paths.h"
#include "contracts/fundara/thumbs.h"
#include "contracts/widgetta/list_view.h"
#include "contracts/widgetta/ui_ctrl.h"
#include "platform/grips.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDrag>
#include <QGuiApplication>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <filesystem>

namespace {

const QColor kSelectionGreen(0, 255, 0);

// A time text made safe as a file name: anything but letters, digits, '-'
// and '_' becomes '-'.
std::string SafeFileStem(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '_';
    out += ok ? static_cast<char>(c) : '-';
  }
  return out.empty() ? std::string("capture") : out;
}

}  // namespace

// ---- Opening the main camera ------------------------------------------------------------

int OpenFirstCamera(CUsbCamera& camera, HWND window, int& index) {
  index = std::max(camcfg::ReadInt(camcfg::kFirstCamera, camcfg::kSerialId, 0), 0);
  const int selector = camcfg::ReadInt(camcfg::kFirstCamera, camcfg::kDpi, 0);
  const std::string format = camcfg::ReadString(camcfg::kFirstCamera, camcfg::kDpiType, camcfg::kAnyDpiType);
  return camera.OpenCamera(window, index, format, selector);
}

QString CameraOpenFailureText(int result) {
  if (result == CAMERA_OPEN_FAILED) return QString::fromUtf8(kCameraLoadFailed);
  const std::string text = CUsbCamera::GetErrorText(result);
  return text.empty() ? QString::fromUtf8(kCameraLoadFailed) : QString::fromStdString(text);
}

// ---- Hint window ----------------------------------------------------------------------------

bool CQCHintWnd::Create(CWnd* parent, const CRect& rect) {
  if (!CWnd::Create(Kind::Child, QString(), rect, parent)) return false;
  SetMousePassThrough(true);
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_TranslucentBackground, true);
  return true;
}

void CQCHintWnd::SetHint(const QString& text, const QColor& colour) {
  if (text == text_ && colour == colour_) return;
  text_ = text;
  colour_ = colour;
  update();
}

void CQCHintWnd::SetTextStyle(const QFont& font, UINT format) {
  font_ = font;
  format_ = format;
  update();
}

void CQCHintWnd::OnPaint(QPainter& painter) {
  if (text_.isEmpty()) return;
  painter.setFont(font_);
  // The outline in the opposite shade keeps white text readable on a white
  // page and black text on a dark desk.
  const QColor outline = colour_.lightness() > 127 ? QColor(0, 0, 0, 160) : QColor(255, 255, 255, 200);
  const QRect box = rect();
  painter.setPen(outline);
  for (const QPoint d : {QPoint(-1, 0), QPoint(1, 0), QPoint(0, -1), QPoint(0, 1)})
    CUICaption::DrawText(painter, text_, box.translated(d), format_);
  painter.setPen(colour_);
  CUICaption::DrawText(painter, text_, box, format_);
}

// ---- Client -------------------------------------------------------------------------------

CQCClientDlg::CQCClientDlg(std::unique_ptr<CUsbCamera> camera)
    : camera_(camera ? std::move(camera) : std::make_unique<CUsbCamera>()) {
  OnMessage(WM_CAMERA_FRAME, &CQCClientDlg::OnCameraFrame);
}

CQCClientDlg::~CQCClientDlg() {
  camera_->CloseCamera();
  for (const std::string& path : pending_) DeleteHandedOutFile(path);
}

bool CQCClientDlg::Create(CWnd* parent, const CRect& rect, UINT id) {
  if (!CWnd::Create(Kind::Child, QStringLiteral("QCClientRect"), CRect(), parent, id)) return false;
  setObjectName(QStringLiteral("QCClientRect"));
  CreateDir(GetCoursePath());

  model_.SetHwnd(this);
  model_.OpenBg(1);
  model_.SetBgColor(RGB(255, 255, 255));
  model_.ShowCameraDC(1);

  scrollBar_ = new QScrollBar(Qt::Vertical, this);
  scrollBar_->hide();

  layout_.LoadSet(u"quickcap", 2);
  const auto caption = layout_.ResolveCaption(QC_CTRL_HINT);
  CUICaption style;
  style.Set(caption.control, caption.language, caption.font);
  CRect hintRect = layout_.GetBgRect(QC_CTRL_HINT);
  if (hintRect.IsRectEmpty())  // no layout: two lines over the bottom
    hintRect = CRect(4, rect.Height() - 42, rect.Width() - 4, rect.Height() - 2);
  hint_.Create(this, hintRect);
  hint_.SetTextStyle(style.GetFont(), caption.language ? style.GetFormat() : DT_CENTER | DT_BOTTOM | DT_WORDBREAK);

  // Sizing last: the model, the buffer and the selection follow the size.
  MoveWindow(rect, false);
  OnSize(width(), height());
  UpdateHint();
  ShowWindow(SW_SHOW);
  return true;
}

int CQCClientDlg::OpenCamera() {
  // A stream still running ends here, and its queued frames with it.
  camera_->CloseCamera();
  DiscardQueuedFrames();
  int index = 0;
  const int result = OpenFirstCamera(*camera_, this, index);
  if (result != 0) {
    SetStatusText(CameraOpenFailureText(result));
    SetTimer(retryTimer_, QC_RETRY_MS);
    Invalidate();
    return 0;
  }
  KillTimer(retryTimer_);
  SetStatusText(QString());
  model_.ReSetZoom();
  model_.SetDriveId(static_cast<unsigned>(index));
  model_.SetVideoLock(0);
  selection_.SetRectEmpty();
  Invalidate();
  return 1;
}

void CQCClientDlg::CloseCamera() {
  camera_->CloseCamera();
  DiscardQueuedFrames();
  KillTimer(retryTimer_);
  model_.ClearData();
  SetStatusText(QString());
  selection_.SetRectEmpty();
  handle_ = QC_HANDLE_NONE;
  grabbed_ = 0;
  Invalidate();
}

void CQCClientDlg::DiscardQueuedFrames() {
  // The capture thread has ended, so nothing more can arrive; a frame it
  // posted before would otherwise refill the emptied model (or be read
  // while a new stream writes the same buffer). The window receives no
  // other posted messages it acts on.
  QCoreApplication::removePostedEvents(this, CMessageEvent::Type());
}

void CQCClientDlg::SetStatusText(const QString& text) {
  status_ = text;
  model_.SetTipString(text);
}

void CQCClientDlg::OnTimer(UINT id) {
  if (id == retryTimer_) OpenCamera();
}

LRESULT CQCClientDlg::OnCameraFrame(WPARAM wParam, LPARAM lParam) {
  const auto* frame = reinterpret_cast<const _CAMERAFRAME*>(lParam);
  if (frame && frame->data) {
    const int open = camera_->GetDeviceId();
    if (open >= 0 && wParam == static_cast<WPARAM>(open)) {
      model_.SetImageData(frame->data, frame->width, frame->height, frame->bitCount, frame->palette);
      Invalidate();
    }
    camera_->SetOneFrame(1);
    return 1;
  }
  if (frame && frame->width == 1) {
    // Connected, no picture yet.
    SetStatusText(QString());
  } else {
    model_.ClearData();
    SetStatusText(QString::fromStdString(GetLanguageText("wushipinshujuxinghao", "无视频数据信号")));
  }
  Invalidate();
  return 1;
}

void CQCClientDlg::OnSize(int cx, int cy) {
  const CRect client(0, 0, cx, cy);
  model_.MoveWindow(client, 0);
  model_.SuitableSize(0);
  selection_ = model_.GetImageRect();
  if (cx > 0 && cy > 0)
    windowBuffer_.CreateBufferDC(nullptr, client);
  else
    windowBuffer_.Release();
  if (scrollBar_) {
    const int w = scrollBar_->sizeHint().width();
    scrollBar_->setGeometry(cx - w, 0, w, cy);
  }
}

// ---- Painting -------------------------------------------------------------------------------

void CQCClientDlg::OnPaint(QPainter& painter) {
  HDC dc = windowBuffer_.GetBufferDC();
  if (!dc) return;
  model_.DoDraw(dc);
  if (!model_.IsEmpty()) {
    if (selection_.IsRectEmpty()) selection_ = model_.GetImageRect();
    DrawSelection(dc);
  }
  painter.drawImage(0, 0, *DCImage(dc));
  if (model_.GetVideoLock() != hintLock_) UpdateHint();
}

void CQCClientDlg::OnShowWindow(bool show) {
  // The language may have changed while the window was hidden.
  if (show) UpdateHint();
}

void CQCClientDlg::DrawSelection(HDC dc) {
  if (selection_.IsRectEmpty()) return;
  QPainter p(dc);
  QPen pen(kSelectionGreen);
  pen.setWidth(2);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  p.drawRect(ToQRect(selection_));
  p.setPen(Qt::NoPen);
  for (const CPoint& pt : GripCentres(selection_)) p.fillRect(ToQRect(GripSquare(pt, QC_HANDLE_SIZE)), kSelectionGreen);
}

void CQCClientDlg::UpdateHint() {
  hintLock_ = model_.GetVideoLock();
  if (hintLock_)
    hint_.SetHint(QString::fromStdString(GetLanguageText("danjifuyuan", "单击复原")), Qt::black);
  else
    hint_.SetHint(QString::fromStdString(GetLanguageText("sjhqtxwjhjrjtbrhtz", "双击获取图像文件或加入剪粘板,然后拖拽")),
                  Qt::white);
}

// ---- Selection ------------------------------------------------------------------------------

int CQCClientDlg::HitTest(CPoint point) const {
  if (selection_.IsRectEmpty()) return QC_HANDLE_NONE;
  if (const int grip = GripAt(selection_, point, QC_HANDLE_SIZE)) return grip;
  return selection_.PtInRect(point) ? QC_HANDLE_MOVE : QC_HANDLE_NONE;
}

CursorShape CQCClientDlg::CursorFor(int handle) const {
  if (handle == QC_HANDLE_MOVE) return grabbed_ ? CursorShape::Hand : CursorShape::SizeAll;
  return GripCursor(handle, CursorShape::Arrow);
}

void CQCClientDlg::NormaliseSelection() {
  selection_.NormalizeRect();
  if (selection_.IsRectEmpty()) selection_.InflateRect(1, 1);
  selection_.IntersectRect(selection_, model_.GetImageRect());
}

bool CQCClientDlg::OnLButtonDown(UINT, CPoint p) {
  const int hit = HitTest(p);
  if (hit == QC_HANDLE_MOVE && grabbed_) {
    SetCursorShape(CursorShape::Hand);
    DragAreaOut();
    return true;
  }
  handle_ = hit;
  SetCursorShape(CursorFor(hit));
  SetCapture();
  lastPoint_ = p;
  return true;
}

void CQCClientDlg::OnMouseMove(UINT, CPoint p) {
  if (handle_ == QC_HANDLE_NONE) {
    SetCursorShape(CursorFor(HitTest(p)));
    return;
  }
  int dx = p.x - lastPoint_.x, dy = p.y - lastPoint_.y;
  lastPoint_ = p;
  CRect& r = selection_;
  if (handle_ == QC_HANDLE_MOVE) {
    // The whole rectangle moves, but never out of the client area.
    const CRect c = GetClientRect();
    dx = std::max(std::min(dx, c.right - r.right), c.left - r.left);
    dy = std::max(std::min(dy, c.bottom - r.bottom), c.top - r.top);
    r.OffsetRect(dx, dy);
  } else if (!DragGrip(r, handle_, dx, dy)) {
    return;
  }
  NormaliseSelection();
  Invalidate();
}

void CQCClientDlg::OnLButtonUp(UINT, CPoint) {
  ReleaseCapture();
  handle_ = QC_HANDLE_NONE;
}

bool CQCClientDlg::OnMouseWheel(UINT, short delta, CPoint) {
  const int grow = delta / 100;  // one notch of 120 is one pixel
  selection_.InflateRect(grow, grow);
  NormaliseSelection();
  Invalidate();
  return true;
}

void CQCClientDlg::OnLButtonDblClk(UINT, CPoint) {
  if (grabbed_) {
    grabbed_ = 0;
    Invalidate();
    return;
  }
  grabbed_ = 1;
  Invalidate();
  std::unique_ptr<QImage> area(model_.GetVideoBitmap(selection_));
  if (area && !area->isNull()) QGuiApplication::clipboard()->setImage(*area);
}

// ---- Dragging the area out ------------------------------------------------------------------

std::string CQCClientDlg::NewCourseFileName() const {
  namespace fs = std::filesystem;
  const std::string folder = GetCoursePath();
  const std::string stem = SafeFileStem(GetSysTime());
  // A file of the same second may still be waiting to be deleted.
  std::string path = folder + "/" + stem + ".jpg";
  std::error_code ec;
  for (int n = 1; fs::exists(fs::path(path), ec); ++n) path = folder + "/" + stem + "_" + std::to_string(n) + ".jpg";
  return path;
}

void CQCClientDlg::DragAreaOut() {
  CreateDir(GetCoursePath());
  const std::string path = NewCourseFileName();
  std::unique_ptr<QImage> area(model_.GetVideoBitmap(selection_));
  const bool saved = area && model_.SaveJpegFile(path, area.get()) != 0;
  area.reset();
  Qt::DropAction action = Qt::IgnoreAction;
  if (saved) {
    QPointer<CQCClientDlg> self(this);
    action = RunFileDrag(QString::fromStdString(path));
    if (!self) {
      // The window went away during the drag loop.
      DeleteHandedOutFile(path);
      return;
    }
  }
  if (saved && action != Qt::IgnoreAction && dropKeepMs_ > 0) {
    // The receiving program may copy the file after the drop has ended.
    pending_.push_back(path);
    QTimer::singleShot(dropKeepMs_, this, [this, path] { DeletePendingFile(path); });
  } else {
    DeleteHandedOutFile(path);
  }
  grabbed_ = 0;
  handle_ = QC_HANDLE_NONE;
  SetCursorShape(CursorShape::Arrow);
  Invalidate();
}

Qt::DropAction CQCClientDlg::RunFileDrag(const QString& path) {
  return DragFilesOut(this, {path});
}

void CQCClientDlg::DeleteHandedOutFile(const std::string& path) {
  DelFile(CThumbs::GetThumbPath(path));
  DelFile(path);
}

void CQCClientDlg::DeletePendingFile(const std::string& path) {
  auto it = std::find(pending_.begin(), pending_.end(), path);
  if (it == pending_.end()) return;
  pending_.erase(it);
  DeleteHandedOutFile(path);
}
