#include "platform/window.h"

#include "platform/layer_shape.h"
#include "platform/layered_state.h"
#include "platform/xconnection.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QTimerEvent>
#include <QWheelEvent>
#include <QWindow>

namespace {

QPointer<CWnd>& CaptureWindow() {
  static QPointer<CWnd> capture;
  return capture;
}

Qt::CursorShape QtShape(CursorShape s) {
  switch (s) {
    case CursorShape::Arrow: return Qt::ArrowCursor;
    case CursorShape::Hand: return Qt::PointingHandCursor;
    case CursorShape::Cross: return Qt::CrossCursor;
    case CursorShape::IBeam: return Qt::IBeamCursor;
    case CursorShape::Wait: return Qt::WaitCursor;
    case CursorShape::SizeAll: return Qt::SizeAllCursor;
    case CursorShape::SizeNWSE: return Qt::SizeFDiagCursor;
    case CursorShape::SizeNESW: return Qt::SizeBDiagCursor;
    case CursorShape::SizeWE: return Qt::SizeHorCursor;
    case CursorShape::SizeNS: return Qt::SizeVerCursor;
    case CursorShape::No: return Qt::ForbiddenCursor;
  }
  return Qt::ArrowCursor;
}

CPoint ToPoint(QPointF p) { return CPoint(static_cast<int>(p.x()), static_cast<int>(p.y())); }

}  // namespace

UINT VirtualKeyFromQt(int key) {
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return static_cast<UINT>('A' + (key - Qt::Key_A));
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return static_cast<UINT>('0' + (key - Qt::Key_0));
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return VK_F1 + static_cast<UINT>(key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab: return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: return VK_MENU;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Delete: return VK_DELETE;
    default: return 0;
  }
}

CWnd::CWnd(QWidget* parent) : QWidget(parent) {
  RegisterMessageTarget(this);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
}

CWnd::~CWnd() {
  if (CaptureWindow() == this) ReleaseCapture();
  if (modalLoop_) modalLoop_->exit(modalResult_);
}

bool CWnd::Create(Kind kind, const QString& caption, const CRect& rect, QWidget* parent, UINT id) {
  if (kind == Kind::Layer) return CreateLayer(caption, rect, parent, id);
  id_ = id;
  kind_ = kind;
  Qt::WindowFlags flags;
  switch (kind) {
    case Kind::Layer:
    case Kind::Child: flags = Qt::Widget; break;
    case Kind::Popup: flags = Qt::Window | Qt::FramelessWindowHint; break;
    case Kind::Tool: flags = Qt::Tool | Qt::FramelessWindowHint; break;
    case Kind::TopLevel: flags = Qt::Window; break;
  }
  setParent(parent, flags);
  setWindowTitle(caption);
  MoveWindow(rect, false);
  return true;
}

bool CWnd::CreateLayer(const QString& caption, const CRect& rect, QWidget* host, UINT id) {
  if (!host || host == this) return false;
  id_ = id;
  kind_ = Kind::Layer;
  Layered& L = State();
  L.host = host;
  setParent(host->window(), Qt::Widget);
  setWindowTitle(caption);
  BecomeLayered();
  TrackHost();
  // A layer belongs to its host: it ends with it.
  connect(host, &QObject::destroyed, this, [this] {
    hide();
    deleteLater();
  });
  MoveWindow(rect, false);
  return true;
}

CWnd* CWnd::GetParentWnd() const {
  if (kind_ == Kind::Layer) return layered_ ? dynamic_cast<CWnd*>(layered_->host.data()) : nullptr;
  return dynamic_cast<CWnd*>(parentWidget());
}

int CWnd::ShowWindow(int cmd) {
  const bool wasVisible = isVisible();
  showState_ = cmd;
  switch (cmd) {
    case SW_HIDE: hide(); break;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE: showMinimized(); break;
    case SW_SHOWMAXIMIZED: showMaximized(); break;
    case SW_RESTORE: showNormal(); break;
    default: show(); break;
  }
  return wasVisible ? 1 : 0;
}

void CWnd::MoveWindow(const CRect& rect, bool repaint) {
  const QSize size(std::max(0, rect.Width()), std::max(0, rect.Height()));
  if (kind_ == Kind::Layer) {
    Layered& L = *layered_;
    if (!L.host) return;
    L.anchor = QRect(L.host->mapFromGlobal(QPoint(rect.left, rect.top)), size);
    L.coversHost = L.anchor == L.host->rect();
    FollowHost();
    if (repaint) update();
    return;
  }
  setGeometry(rect.left, rect.top, size.width(), size.height());
  if (repaint) update();
}

CRect CWnd::GetWindowRect() const {
  const QPoint origin = mapToGlobal(QPoint(0, 0));
  return CRect(origin.x(), origin.y(), origin.x() + width(), origin.y() + height());
}

CPoint CWnd::ClientToScreen(CPoint p) const {
  const QPoint q = mapToGlobal(QPoint(p.x, p.y));
  return CPoint(q.x(), q.y());
}

CPoint CWnd::ScreenToClient(CPoint p) const {
  const QPoint q = mapFromGlobal(QPoint(p.x, p.y));
  return CPoint(q.x(), q.y());
}

CRect CWnd::GetWorkArea() {
  QScreen* s = QGuiApplication::primaryScreen();
  if (!s) return CRect(0, 0, 1920, 1080);
  const QRect r = s->availableGeometry();
  return CRect(r.left(), r.top(), r.left() + r.width(), r.top() + r.height());
}

CSize CWnd::GetScreenSize() {
  QScreen* s = QGuiApplication::primaryScreen();
  if (!s) return CSize(1920, 1080);
  return CSize(s->geometry().width(), s->geometry().height());
}

void CWnd::SetTimer(UINT id, int ms) {
  KillTimer(id);
  const int qtId = startTimer(std::max(0, ms), Qt::PreciseTimer);
  if (qtId == 0) return;
  timers_[id] = qtId;
  timerIds_[qtId] = id;
}

void CWnd::KillTimer(UINT id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  killTimer(it->second);
  timerIds_.erase(it->second);
  timers_.erase(it);
}

void CWnd::timerEvent(QTimerEvent* e) {
  auto it = timerIds_.find(e->timerId());
  if (it != timerIds_.end()) OnTimer(it->second);
}

void CWnd::SetCapture() {
  CaptureWindow() = this;
  if (isVisible()) grabMouse();
}

void CWnd::ReleaseCapture() {
  if (CWnd* w = CaptureWindow()) {
    if (QWidget::mouseGrabber() == w) w->releaseMouse();
  }
  CaptureWindow() = nullptr;
}

CWnd* CWnd::GetCapture() { return CaptureWindow(); }

void CWnd::SetCursorShape(CursorShape shape) { setCursor(QCursor(QtShape(shape))); }

bool CWnd::SetCursorImage(const QString& path, int hotX, int hotY) {
  QPixmap pix(path);
  if (pix.isNull()) return false;
  setCursor(QCursor(pix, hotX, hotY));
  return true;
}

void CWnd::DragTopLevelWindow() {
  QWidget* top = window();
  if (!top) return;
  // The window manager moves the window itself where it can; the platform
  // refuses (false) without one, and then the window follows the pointer.
  if (QWindow* handle = top->windowHandle(); handle && handle->startSystemMove()) return;
  dragging_ = true;
  dragTarget_ = top;
  // The pointer where the press happened (the cursor when called otherwise).
  const QPoint pointer = pressGlobal_ ? *pressGlobal_ : QCursor::pos();
  dragOffset_ = pointer - top->frameGeometry().topLeft();
}

void CWnd::SetTopMost(bool on) { setWindowFlag(Qt::WindowStaysOnTopHint, on); }

int CWnd::DoModal() {
  QEventLoop loop;
  modalLoop_ = &loop;
  modalResult_ = 0;
  setWindowModality(Qt::ApplicationModal);
  ShowWindow(SW_SHOW);
  QPointer<CWnd> self(this);
  const int result = loop.exec();
  if (self) {
    modalLoop_ = nullptr;
    ShowWindow(SW_HIDE);
    setWindowModality(Qt::NonModal);
  }
  return result;
}

void CWnd::EndDialog(int result) {
  modalResult_ = result;
  if (modalLoop_) modalLoop_->exit(result);
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM, LPARAM) {
  if (msg == WM_CLOSE) {
    close();
    return 1;
  }
  return 0;
}

bool CWnd::PreTranslateKeyDown(UINT vk) { return vk == VK_RETURN || vk == VK_ESCAPE; }

bool CWnd::event(QEvent* e) {
  if (e->type() == CMessageEvent::Type()) {
    auto* m = static_cast<CMessageEvent*>(e);
    m->Receive();
    auto it = handlers_.find(m->message);
    m->result = it != handlers_.end() ? it->second(m->wParam, m->lParam)
                                      : WindowProc(m->message, m->wParam, m->lParam);
    return true;
  }
  if (e->type() == QEvent::WinIdChange && layered_) layered_->shapesSent = false;
  if (e->type() == QEvent::Show) OnShowWindow(true);
  if (e->type() == QEvent::Hide) OnShowWindow(false);
  return QWidget::event(e);
}

void CWnd::paintEvent(QPaintEvent*) {
  if (IsLayered()) {
    PaintLayered();
    return;
  }
  QPainter p(this);
  if (!OnEraseBkgnd(p)) {
    if (!testAttribute(Qt::WA_TranslucentBackground)) p.fillRect(rect(), palette().window());
  }
  OnPaint(p);
}

UINT CWnd::MouseFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods) {
  UINT f = 0;
  if (buttons & Qt::LeftButton) f |= MK_LBUTTON;
  if (buttons & Qt::RightButton) f |= MK_RBUTTON;
  if (buttons & Qt::MiddleButton) f |= MK_MBUTTON;
  if (mods & Qt::ShiftModifier) f |= MK_SHIFT;
  if (mods & Qt::ControlModifier) f |= MK_CONTROL;
  return f;
}

void CWnd::mousePressEvent(QMouseEvent* e) {
  const CPoint p = ToPoint(e->position());
  const UINT flags = MouseFlags(e->buttons(), e->modifiers());
  if (e->button() == Qt::LeftButton) {
    pressGlobal_ = e->globalPosition().toPoint();
    if (!OnLButtonDown(flags, p) && dragByBackground_ && isWindow()) DragTopLevelWindow();
  } else if (e->button() == Qt::RightButton) {
    OnRButtonDown(flags, p);
  }
}

void CWnd::mouseReleaseEvent(QMouseEvent* e) {
  const CPoint p = ToPoint(e->position());
  const UINT flags = MouseFlags(e->buttons(), e->modifiers());
  if (e->button() == Qt::LeftButton) {
    dragging_ = false;
    pressGlobal_.reset();
    OnLButtonUp(flags, p);
  } else if (e->button() == Qt::RightButton) {
    OnRButtonUp(flags, p);
  }
}

void CWnd::mouseDoubleClickEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton)
    OnLButtonDblClk(MouseFlags(e->buttons(), e->modifiers()), ToPoint(e->position()));
}

void CWnd::mouseMoveEvent(QMouseEvent* e) {
  if (dragging_) {
    if (dragTarget_ && (e->buttons() & Qt::LeftButton))
      dragTarget_->move(e->globalPosition().toPoint() - dragOffset_);
    else
      dragging_ = false;
    return;
  }
  OnMouseMove(MouseFlags(e->buttons(), e->modifiers()), ToPoint(e->position()));
}

void CWnd::wheelEvent(QWheelEvent* e) {
  const int delta = e->angleDelta().y();
  const QPoint g = e->globalPosition().toPoint();
  if (OnMouseWheel(MouseFlags(e->buttons(), e->modifiers()), static_cast<short>(delta),
                   CPoint(g.x(), g.y())))
    e->accept();
  else
    e->ignore();
}

void CWnd::keyPressEvent(QKeyEvent* e) {
  const UINT vk = VirtualKeyFromQt(e->key());
  if (PreTranslateKeyDown(vk)) {
    e->accept();
    return;
  }
  OnKeyDown(vk);
  e->accept();
}

void CWnd::resizeEvent(QResizeEvent*) {
  if (IsLayered() && layered_->imageMode) {
    layered_->shape = layered_->alpha > 0 ? DrawnRegion(layered_->image, rect()) : QRegion();
    ApplyShape();
  } else if (IsLayered() && !isWindow()) {
    // The next paint draws the whole new size and finds the shape again.
    // Until then the old shape is void: set again as the mask, it could lie
    // wholly outside the new size, and no paint would ever come.
    layered_->shape = QRegion(rect());
    clearMask();
  }
  if (isWindow() && isVisible() && IsLayered() && QtXConnection() && !Translucent()) RequestBackdrop();
  OnSize(width(), height());
}

void CWnd::leaveEvent(QEvent*) { OnMouseLeave(); }

void CWnd::closeEvent(QCloseEvent* e) {
  if (modalLoop_) {
    EndDialog(0);
  }
  QWidget::closeEvent(e);
}
