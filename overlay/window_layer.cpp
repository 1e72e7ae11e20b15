#include "overlay/window_layer.h"

#include <QPainter>

namespace {

// The "ui" set's window of the split-screen bar.
constexpr int kSplitWindow = 3;
// Size of a split-screen button whose control is missing (the artwork's grid).
constexpr int kDefaultButtonSide = 48;

// Makes `surface` a buffer of the client size filled with `colour`; false
// when the client is empty.
bool RenewSurface(CBufferDC& surface, const CRect& client, COLORREF colour) {
  if (!surface.CreateBufferDC(nullptr, client)) return false;
  surface.SetBackColor(client, colour);
  return true;
}

}  // namespace

// ---- Window layer -----------------------------------------------------------------------------

CWindowLayer::CWindowLayer() = default;
CWindowLayer::~CWindowLayer() { DelAllBtn(); }

bool CWindowLayer::Create(CWnd* owner, const CRect& screenRect, const QString& name) {
  if (!CreateLayer(owner, name, screenRect)) return false;
  dc_.Init();
  for (Button& b : buttons_) Build(b);
  surfaceStale_ = true;
  return true;
}

void CWindowLayer::Build(Button& b) {
  if (!mgr_ || !IsLayer()) return;
  b.button = std::make_unique<CGdiBtnEx>();
  mgr_->LoadGdiBtn(*b.button, b.rect, this, b.id);
  surfaceStale_ = true;
  update();
}

int CWindowLayer::AddBtn(int id) {
  buttons_.push_back(Button{nullptr, CRect(), id});
  Build(buttons_.back());
  return GetBtnCount();
}

void CWindowLayer::DelAllBtn() {
  buttons_.clear();
  update();
}

CWindowLayer::Button* CWindowLayer::Find(int id) {
  for (Button& b : buttons_)
    if (b.id == id) return &b;
  return nullptr;
}

const CWindowLayer::Button* CWindowLayer::Find(int id) const {
  for (const Button& b : buttons_)
    if (b.id == id) return &b;
  return nullptr;
}

CGdiBtnEx* CWindowLayer::GetBtn(int id) {
  Button* b = Find(id);
  return b ? b->button.get() : nullptr;
}

CRect CWindowLayer::GetBtnRect(int id) const {
  const Button* b = Find(id);
  return b ? b->rect : CRect();
}

void CWindowLayer::SetBtnRect(int id, const CRect& rect) {
  Button* b = Find(id);
  if (!b) return;
  b->rect = rect;
  if (b->button) {
    b->button->MoveWindow(rect);
    surfaceStale_ = true;  // its background comes from the new place
    update();
  }
}

void CWindowLayer::SetBgImage(CGdiImage* image, const CRect&) {
  bgImage_ = image;
  // Drawn at the next paint, even when the panel has painted before.
  surfaceStale_ = true;
  update();
}

int CWindowLayer::ShowWindow(int cmd) { return COverlayLayer::ShowWindow(cmd); }

bool CWindowLayer::OnEraseBkgnd(QPainter& painter) {
  const CRect client = GetClientRect();
  if (surfaceStale_ || surface_.GetBufferRect().Size() != client.Size()) {
    surfaceStale_ = false;
    if (RenewSurface(surface_, client, RGB(0xFF, 0xFF, 0xFF))) {
      if (bgImage_ && bgImage_->GetImage()) dc_.DrawImage(surface_.GetBufferDC(), bgImage_->GetImage(), client);
      const QImage* surface = DCImage(surface_.GetBufferDC());
      for (Button& b : buttons_) {
        if (!b.button) continue;
        b.button->MoveWindow(b.rect);
        b.button->SetBackground(*surface, b.rect);
      }
    }
  }
  if (const QImage* surface = DCImage(surface_.GetBufferDC())) painter.drawImage(0, 0, *surface);
  return true;
}

bool CWindowLayer::OnLButtonDown(UINT, CPoint) {
  // A press on the panel itself (the buttons take their own) moves the
  // owner's window.
  DragTopLevelWindow();
  return true;
}

LRESULT CWindowLayer::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COMMAND) {
    const int id = static_cast<int>(LOWORD(wParam));
    const Button* b = Find(id);
    if (HIWORD(wParam) == BN_CLICKED && b && b->button && reinterpret_cast<HWND>(lParam) == b->button.get())
      if (CWnd* owner = GetParentWnd()) PostMessage(owner, WM_LAYER_BUTTON, static_cast<WPARAM>(id), lParam);
    return 1;
  }
  return COverlayLayer::WindowProc(msg, wParam, lParam);
}

// ---- Split-screen button bar ------------------------------------------------------------------

CSplitScreenBtn::CSplitScreenBtn() {
  OnMessage(WM_LAYER_DRAW, &CSplitScreenBtn::OnDraw);
}

CSplitScreenBtn::~CSplitScreenBtn() = default;

bool CSplitScreenBtn::Create(CWnd* owner, int index) {
  const CRect origin = OwnerScreenRect(owner);
  if (!CreateLayer(owner, QStringLiteral("splitScreenBtn%1").arg(index),
                   CRect(origin.left, origin.top, origin.left + kWidth, origin.top + kHeight)))
    return false;
  dc_.Init();
  InitConfig();
  LoadResources();
  SetRect();
  DoDraw();
  return true;
}

void CSplitScreenBtn::InitConfig() { layout_.LoadSet(u"ui", kSplitWindow); }

void CSplitScreenBtn::LoadResources() {
  CRect ignored;
  layout_.LoadGdiImage(background_, ignored, kBackground);
  for (int i = 0; i < kButtons; ++i) {
    const int id = kFirstButton + i;
    CRect rect;
    layout_.LoadGdiBtn(buttons_[i], rect, this, id);
    if (const _MYLANGUAGE* tip = layout_.GetLanguage(id)) buttons_[i].setToolTip(QString::fromStdU16String(tip->value));
    sizes_[i] = rect.IsRectEmpty() ? CSize(kDefaultButtonSide, kDefaultButtonSide) : rect.Size();
    buttons_[i].ShowWindow(SW_SHOW);
  }
}

CGdiBtnEx* CSplitScreenBtn::GetButton(int id) {
  const int i = id - kFirstButton;
  return i >= 0 && i < kButtons ? &buttons_[i] : nullptr;
}

int CSplitScreenBtn::ShowWindow(int cmd) {
  if (!IsLayer()) return 0;
  return COverlayLayer::ShowWindow(cmd);
}

void CSplitScreenBtn::SetRect() {
  const CRect client = GetClientRect();
  int total = 0;
  for (const CSize& s : sizes_) total += s.cx;
  int x = client.left + (client.Width() - total) / 2;
  for (int i = 0; i < kButtons; ++i) {
    const int y = client.top + (client.Height() - sizes_[i].cy) / 2;
    buttons_[i].MoveWindow(CRect(x, y, x + sizes_[i].cx, y + sizes_[i].cy));
    x += sizes_[i].cx;
  }
}

void CSplitScreenBtn::DoDraw() {
  const CRect client = GetClientRect();
  // Transparent where the background picture leaves the pane's picture.
  if (surface_.CreateBufferDC(nullptr, client) && background_.GetImage())
    dc_.DrawImage(surface_.GetBufferDC(), background_.GetImage(), client);
  update();
}

LRESULT CSplitScreenBtn::OnDraw(WPARAM, LPARAM) {
  update();
  for (CGdiBtnEx& button : buttons_) button.update();
  return 0;
}

bool CSplitScreenBtn::OnEraseBkgnd(QPainter&) { return true; }

void CSplitScreenBtn::OnPaint(QPainter& painter) {
  if (const QImage* surface = DCImage(surface_.GetBufferDC())) painter.drawImage(0, 0, *surface);
}

void CSplitScreenBtn::OnSize(int, int) {
  SetRect();
  DoDraw();
}

LRESULT CSplitScreenBtn::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COMMAND) {
    const int i = static_cast<int>(LOWORD(wParam)) - kFirstButton;
    if (HIWORD(wParam) == BN_CLICKED && i >= 0 && i < kButtons && target_)
      PostMessage(target_, WM_SPLIT_BUTTON, static_cast<WPARAM>(i), static_cast<LPARAM>(page_));
    return 1;
  }
  return COverlayLayer::WindowProc(msg, wParam, lParam);
}
