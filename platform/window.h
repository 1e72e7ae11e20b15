#pragma once
// The window base every owner-drawn window derives from: a thin layer over
// QWidget that keeps the familiar surface of the window classes — show
// commands with a recorded show state, client/window rectangles, timers by
// id, mouse handlers with client points, numbered messages dispatched through
// a per-window table, paint hooks, cursors, layered (translucent) windows,
// windows the mouse passes through, modal dialogs.
//
// Layered windows. A layer (Kind::Layer) is an overlay over another window
// of this program, its host: it is a child of the host's top-level window,
// placed from screen coordinates, follows the host when it moves, resizes,
// hides or goes full screen, stays above it, and is destroyed with it; Qt
// blends it over the host itself, so no compositing manager is needed. Its
// parent as far as messages go is the host. A top-level layered window is
// translucent where a compositing manager runs; without one its X bounding
// shape is cut to the pixels it draws and it draws those over a grab of the
// screen below taken as it shows, so the screen is never blacked out. In
// both kinds the input region is what the window draws: fully transparent
// and colour-key pixels let the mouse through to the window below.

#include "platform/geometry.h"
#include "platform/messages.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QRegion>
#include <QString>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <optional>

// Show commands.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOWNA = 8;
constexpr int SW_RESTORE = 9;

// Mouse-key flags passed to the mouse handlers.
constexpr UINT MK_LBUTTON = 0x0001;
constexpr UINT MK_RBUTTON = 0x0002;
constexpr UINT MK_SHIFT = 0x0004;
constexpr UINT MK_CONTROL = 0x0008;
constexpr UINT MK_MBUTTON = 0x0010;

// Messages a control sends its parent. A button click arrives as WM_COMMAND
// with wParam = MAKEWPARAM(child id, notification) and lParam = the
// control's handle; a slider reports WM_HSCROLL (WM_VSCROLL when upright)
// with wParam = MAKEWPARAM(scroll code, position) and lParam = its handle.
constexpr UINT WM_COMMAND = 0x0111;
// Asks a window to close (the default handling closes it, as the window
// manager's close button does).
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_HSCROLL = 0x0114;
constexpr UINT WM_VSCROLL = 0x0115;
constexpr UINT BN_CLICKED = 0;
constexpr UINT BN_DOUBLECLICKED = 5;
// Scroll codes of a slider (trackbar).
constexpr UINT TB_LINEUP = 0;
constexpr UINT TB_LINEDOWN = 1;
constexpr UINT TB_PAGEUP = 2;
constexpr UINT TB_PAGEDOWN = 3;
constexpr UINT TB_THUMBPOSITION = 4;
constexpr UINT TB_THUMBTRACK = 5;
constexpr UINT TB_ENDTRACK = 8;

constexpr WPARAM MAKEWPARAM(UINT low, UINT high) {
  return static_cast<WPARAM>((low & 0xFFFFu) | ((high & 0xFFFFu) << 16));
}
constexpr UINT LOWORD(WPARAM w) { return static_cast<UINT>(w & 0xFFFFu); }
constexpr UINT HIWORD(WPARAM w) { return static_cast<UINT>((w >> 16) & 0xFFFFu); }

// Virtual-key codes of the keys the windows look at.
constexpr UINT VK_BACK = 0x08;
constexpr UINT VK_TAB = 0x09;
constexpr UINT VK_RETURN = 0x0D;
constexpr UINT VK_SHIFT = 0x10;
constexpr UINT VK_CONTROL = 0x11;
constexpr UINT VK_MENU = 0x12;
constexpr UINT VK_ESCAPE = 0x1B;
constexpr UINT VK_SPACE = 0x20;
constexpr UINT VK_PRIOR = 0x21;
constexpr UINT VK_NEXT = 0x22;
constexpr UINT VK_END = 0x23;
constexpr UINT VK_HOME = 0x24;
constexpr UINT VK_LEFT = 0x25;
constexpr UINT VK_UP = 0x26;
constexpr UINT VK_RIGHT = 0x27;
constexpr UINT VK_DOWN = 0x28;
constexpr UINT VK_DELETE = 0x2E;
constexpr UINT VK_F1 = 0x70;
constexpr UINT VK_F9 = 0x78;
constexpr UINT VK_F10 = 0x79;
constexpr UINT VK_F12 = 0x7B;

// The virtual-key code of a Qt key (0 when it has none).
UINT VirtualKeyFromQt(int qtKey);

// Standard cursor shapes.
enum class CursorShape { Arrow, Hand, Cross, IBeam, Wait, SizeAll, SizeNWSE, SizeNESW, SizeWE, SizeNS, No };

class CWnd : public QWidget {
 public:
  enum class Kind { Child, Popup, Tool, TopLevel, Layer };

  explicit CWnd(QWidget* parent = nullptr);
  ~CWnd() override;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  // Creates the window: a child of `parent` at `rect` in the parent's client
  // coordinates, or a top-level kind at `rect` in screen coordinates (then
  // `parent` is the owner), or a layer over the host `parent` at `rect` in
  // screen coordinates (false without a host). `id` is the child id
  // reported with commands.
  bool Create(Kind kind, const QString& caption, const CRect& rect, QWidget* parent = nullptr,
              UINT id = 0);
  HWND GetSafeHwnd() { return this; }
  UINT GetDlgCtrlID() const { return id_; }
  // The parent window; for a layer its host.
  CWnd* GetParentWnd() const;
  bool IsLayer() const { return kind_ == Kind::Layer; }

  // Shows (5 and the other showing commands) or hides (0) the window and
  // records the command. Returns whether the window was visible before.
  virtual int ShowWindow(int cmd);
  int GetShowState() const { return showState_; }
  bool IsWindowVisible() const { return isVisible(); }

  // Client coordinates of the parent for child windows, screen coordinates
  // for top-level windows and layers.
  void MoveWindow(const CRect& rect, bool repaint = true);
  void MoveWindow(int x, int y, int w, int h, bool repaint = true) {
    MoveWindow(CRect(x, y, x + w, y + h), repaint);
  }
  CRect GetClientRect() const { return CRect(0, 0, width(), height()); }
  // Window rectangle in screen coordinates.
  CRect GetWindowRect() const;
  CPoint ClientToScreen(CPoint p) const;
  CPoint ScreenToClient(CPoint p) const;
  void Invalidate() { update(); }
  void EnableWindow(bool enable) { setEnabled(enable); }
  bool IsWindowEnabled() const { return isEnabled(); }
  void SetWindowText(const QString& text) { setWindowTitle(text); }
  QString GetWindowText() const { return windowTitle(); }

  static CRect GetWorkArea();
  static CSize GetScreenSize();

  // Window timers by id; re-setting an id restarts it.
  void SetTimer(UINT id, int ms);
  void KillTimer(UINT id);
  bool HasTimer(UINT id) const { return timers_.count(id) != 0; }

  // Mouse capture: until released, all mouse input goes to this window.
  void SetCapture();
  static void ReleaseCapture();
  static CWnd* GetCapture();

  // Numbered messages: handlers registered per message number; anything not
  // in the table goes to WindowProc.
  using MessageHandler = std::function<LRESULT(WPARAM, LPARAM)>;
  void OnMessage(UINT msg, MessageHandler handler) { handlers_[msg] = std::move(handler); }
  template <class T>
  void OnMessage(UINT msg, LRESULT (T::*fn)(WPARAM, LPARAM)) {
    T* self = static_cast<T*>(this);
    handlers_[msg] = [self, fn](WPARAM w, LPARAM l) { return (self->*fn)(w, l); };
  }

  // Cursors: a standard shape, or an image with its hot spot.
  void SetCursorShape(CursorShape shape);
  bool SetCursorImage(const QString& path, int hotX, int hotY);

  // Layered windows. What the paint hooks draw (over the window's background
  // colour unless OnEraseBkgnd erases) is shown at the constant alpha
  // (0..255; none is 255), and painted pixels of the colour key become fully
  // transparent.
  void SetLayeredAttributes(std::optional<int> alpha, std::optional<QColor> colourKey);
  // Per-pixel alpha: the window shows `argb` (premultiplied or plain ARGB32)
  // from its origin at the window's size, times the constant `alpha`; the
  // paint hooks rest until SetLayeredAttributes is called again.
  void UpdateLayeredImage(const QImage& argb, int alpha = 255);
  // The same for a picture that differs from the one shown only inside
  // `changed`: only that part is converted, scanned for drawn pixels and
  // repainted. Without a shown picture of the same size and alpha the whole
  // picture is presented.
  void UpdateLayeredImage(const QImage& argb, const QRect& changed, int alpha = 255);
  bool IsLayered() const;
  // The picture UpdateLayeredImage presents (null when none) and its alpha.
  QImage GetLayeredImage() const;
  int GetLayeredAlpha() const;
  // The pixels the window drew at its last paint, in client coordinates:
  // where it shows and takes the mouse. The whole client area for windows
  // that are not layered.
  QRegion GetDrawnRegion() const;
  // The window lets every mouse event pass through to what lies below (for
  // a top-level window through an empty X input shape).
  void SetMousePassThrough(bool on);
  bool IsMousePassThrough() const { return passThrough_; }
  void SetTopMost(bool on);
  // A shown top-level layered window without a compositing manager grabs the
  // screen below it again (it hides its own pixels for the grab); nothing
  // happens otherwise.
  void RefreshBackdrop();
  // A press on the background (not handled by OnLButtonDown) drags the window.
  void SetDragByBackground(bool on) { dragByBackground_ = on; }
  // Moves this window's top-level window (for a layer: its host's) with the
  // mouse until the left button is released: the window manager's own move
  // where it offers one, else the window follows the pointer itself. Call it
  // from a left-button press.
  void DragTopLevelWindow();
  bool IsDraggingTopLevel() const { return dragging_; }
  // A layer that paints straight over its host's picture: what the paint
  // hooks draw blends over the host (translucent colours shade it, pixels
  // left alone show it unchanged) with no layered buffer and no scan of the
  // drawn pixels, and the layer takes the mouse over its whole rectangle.
  // Nothing is filled before the paint hooks run.
  void SetPaintOverHost();

  // Modal dialogs: runs a local loop until EndDialog; returns its result.
  int DoModal();
  void EndDialog(int result);
  bool InModalLoop() const { return modalLoop_ != nullptr; }

 protected:
  // Message hooks a window class overrides.
  virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
  virtual void OnTimer(UINT id) { (void)id; }
  // Returning true means handled (no background drag starts).
  virtual bool OnLButtonDown(UINT flags, CPoint p) { (void)flags; (void)p; return false; }
  virtual void OnLButtonUp(UINT flags, CPoint p) { (void)flags; (void)p; }
  virtual void OnLButtonDblClk(UINT flags, CPoint p) { (void)flags; (void)p; }
  virtual void OnRButtonDown(UINT flags, CPoint p) { (void)flags; (void)p; }
  virtual void OnRButtonUp(UINT flags, CPoint p) { (void)flags; (void)p; }
  virtual void OnMouseMove(UINT flags, CPoint p) { (void)flags; (void)p; }
  virtual void OnMouseLeave() {}
  // Wheel: signed delta (120 a notch) and the screen point. True if handled.
  virtual bool OnMouseWheel(UINT flags, short delta, CPoint screenPoint) {
    (void)flags; (void)delta; (void)screenPoint; return false;
  }
  // Key filter run before anything else: true swallows the key. The default
  // swallows Enter and Escape like every owner-drawn window.
  virtual bool PreTranslateKeyDown(UINT vk);
  virtual void OnKeyDown(UINT vk) { (void)vk; }
  // Painting: erase the background first (return true when done), then paint.
  virtual bool OnEraseBkgnd(QPainter& painter) { (void)painter; return false; }
  virtual void OnPaint(QPainter& painter) { (void)painter; }
  virtual void OnSize(int cx, int cy) { (void)cx; (void)cy; }
  // The window has moved: the screen position of its client area's origin.
  virtual void OnMove(int x, int y) { (void)x; (void)y; }
  virtual void OnShowWindow(bool show) { (void)show; }

  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void timerEvent(QTimerEvent* e) override;
  void leaveEvent(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void moveEvent(QMoveEvent* e) override;

 public:
  void setVisible(bool visible) override;

 private:
  struct Layered;
  class HostTracker;
  bool CreateLayer(const QString& caption, const CRect& rect, QWidget* host, UINT id);
  Layered& State();
  void BecomeLayered();
  void PaintLayered();
  void ApplyShape();
  void FollowHost();
  void TrackHost();
  void RaiseLayers();
  void RequestBackdrop();
  void ReleaseBackdropPointer();
  bool Translucent() const;
  static UINT MouseFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods);

  UINT id_ = 0;
  Kind kind_ = Kind::Child;
  bool passThrough_ = false;
  std::unique_ptr<Layered> layered_;
  int showState_ = 0;
  std::map<UINT, int> timers_;        // id → Qt timer id
  std::map<int, UINT> timerIds_;      // Qt timer id → id
  std::map<UINT, MessageHandler> handlers_;
  bool dragByBackground_ = false;
  bool dragging_ = false;
  QPointer<QWidget> dragTarget_;  // the top-level window a drag moves
  QPoint dragOffset_;
  std::optional<QPoint> pressGlobal_;  // while the left button is down
  class QEventLoop* modalLoop_ = nullptr;
  int modalResult_ = 0;
};
