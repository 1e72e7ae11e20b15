#include "overlay/cut_layers.h"

#include "contracts/fundara/language.h"
#include "platform/grips.h"

#include <QPainter>

#include <algorithm>

namespace {

const QColor kGreen(0x00, 0xFF, 0x00);

// The "ui" set's window of the crop bar.
constexpr int kBarWindow = 4;

CRect Normalised(CRect r) {
  r.NormalizeRect();
  return r;
}

// Limits a move so that [low + d, high + d] stays within [min, max]: the
// lower limit first, then the upper one, so that a rectangle larger than
// the client (inverted limits) still gets one well-defined answer.
int ClampMove(int d, int lowLimit, int highLimit) {
  d = std::max(d, lowLimit);
  return std::min(d, highLimit);
}

// The text shown in recognition mode while nothing is drawn.
QString OcrHint() {
  return QString::fromStdString(GetLanguageText("qazsbzjkxsbwz", "请按住鼠标左键框选识别文字"));
}

QFont OcrHintFont() {
  LOGFONTW lf;
  lf.lfHeight = 32;
  lf.lfWeight = 700;
  lf.lfCharSet = 134;
  const std::u16string face = u"宋体";
  std::copy(face.begin(), face.end(), lf.lfFaceName);
  return FontFromLogFont(lf);
}

}  // namespace

// ---- Button bar -------------------------------------------------------------------------------

CRect CCutBtnLayer::ButtonRect(int id) {
  static const CRect rects[kButtons] = {CRect(40, 0, 60, 20), CRect(60, 0, 80, 20), CRect(0, 0, 20, 20),
                                        CRect(20, 0, 40, 20), CRect(0, 0, 40, 20),  CRect(40, 0, 80, 20)};
  return id >= 1 && id <= kButtons ? rects[id - 1] : CRect();
}

CCutBtnLayer::CCutBtnLayer() = default;
CCutBtnLayer::~CCutBtnLayer() = default;

bool CCutBtnLayer::Create(CWnd* owner) {
  const CRect origin = OwnerScreenRect(owner);
  if (!CreateLayer(owner, QStringLiteral("cutBtnLayer"),
                   CRect(origin.left, origin.top, origin.left + kWidth, origin.top + kHeight)))
    return false;
  InitConfig();
  LoadResources();
  return true;
}

void CCutBtnLayer::InitConfig() { layout_.LoadSet(u"ui", kBarWindow); }

void CCutBtnLayer::LoadResources() {
  for (int id = 1; id <= kButtons; ++id) {
    CGdiBtnEx& button = buttons_[id - 1];
    CRect ignored;
    layout_.LoadGdiBtn(button, ignored, this, id);
    layout_.SetLanguageTip(button, id);
  }
  SetRect();
}

CGdiBtnEx* CCutBtnLayer::GetButton(int id) { return id >= 1 && id <= kButtons ? &buttons_[id - 1] : nullptr; }

void CCutBtnLayer::SetRect() {
  for (int id = 1; id <= kButtons; ++id) {
    CGdiBtnEx& button = buttons_[id - 1];
    button.MoveWindow(ButtonRect(id));
    const bool recognition = id >= CUT_CMD_OCR_CLOSE;
    button.ShowWindow(recognition == ocr_ ? SW_SHOW : SW_HIDE);
  }
}

void CCutBtnLayer::SetOCRMode(int on) {
  ocr_ = on != 0;
  SetRect();
}

bool CCutBtnLayer::OnEraseBkgnd(QPainter& painter) {
  const CRect client = GetClientRect();
  if (background_.GetBufferRect().Size() != client.Size()) {
    if (background_.CreateBufferDC(nullptr, client)) background_.SetBackColor(client, RGB(0xFF, 0xFF, 0xFF));
    SetRect();
    for (int id = 1; id <= kButtons; ++id) {
      // A button without artwork draws its own tile, which a background
      // would hide.
      CGdiBtnEx& button = buttons_[id - 1];
      const bool artwork = !button.GetNormalImage().isNull() || !button.GetBgImage().isNull();
      if (QImage* surface = DCImage(background_.GetBufferDC()); surface && artwork)
        button.SetBackground(*surface, ButtonRect(id));
    }
  }
  if (QImage* surface = DCImage(background_.GetBufferDC())) painter.drawImage(0, 0, *surface);
  return true;
}

LRESULT CCutBtnLayer::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COMMAND) {
    const int id = static_cast<int>(LOWORD(wParam));
    if (HIWORD(wParam) == BN_CLICKED && id >= 1 && id <= kButtons && target_)
      PostMessage(target_, WM_UPDATE_CUTAREA, static_cast<WPARAM>(id), 0);
    return 1;
  }
  return COverlayLayer::WindowProc(msg, wParam, lParam);
}

// ---- Rectangle layer --------------------------------------------------------------------------

CCutRectLayer::CCutRectLayer() = default;
CCutRectLayer::~CCutRectLayer() { EndDrag(); }

bool CCutRectLayer::Create(CWnd* owner) {
  if (!CreateLayer(owner, QStringLiteral("cutRectLayer"), OwnerScreenRect(owner))) return false;
  SetCursorShape(CursorShape::Cross);
  return bar_.Create(this);
}

void CCutRectLayer::SetOCRMode(int on) {
  ocr_ = on != 0;
  bar_.SetOCRMode(on);
  update();
}

void CCutRectLayer::EndDrag() {
  mode_ = kNoDrag;
  if (GetCapture() == this) ReleaseCapture();
}

int CCutRectLayer::ShowWindow(int cmd) {
  rect_.SetRectEmpty();
  if (cmd == SW_HIDE) EndDrag();
  bar_.ShowWindow(SW_HIDE);
  update();
  return COverlayLayer::ShowWindow(cmd);
}

int CCutRectLayer::DragFrame(CPoint p) const {
  if (rect_.Width() < kHandleSize || rect_.Height() < kHandleSize) return 0;
  if (const int grip = GripAt(rect_, p, kHandleSize)) return grip;
  return rect_.PtInRect(p) ? kMove : 0;
}

CursorShape CCutRectLayer::CursorForHit(int hit) {
  return hit == kMove ? CursorShape::SizeAll : GripCursor(hit, CursorShape::Cross);
}

void CCutRectLayer::DrawGreenFrame(QPainter& painter) const {
  const CRect r = Normalised(rect_);
  PaintRectOutline(painter, r, 2, kGreen);
  for (const CPoint& c : GripCentres(r)) painter.fillRect(ToQRect(GripSquare(c, kHandleSize)), kGreen);
}

void CCutRectLayer::DrawLayer(QPainter& painter) const {
  const QRect client = rect();
  const QColor veil(0, 0, 0, kVeilAlpha);
  const CRect r = Normalised(rect_);
  if (r.IsRectEmpty()) {
    painter.fillRect(client, veil);
    if (ocr_) {
      painter.setFont(OcrHintFont());
      painter.setPen(kGreen);
      painter.drawText(client, Qt::AlignCenter | Qt::TextSingleLine, OcrHint());
    }
    return;
  }
  // The veil goes round the rectangle: above, below, left and right of it.
  const QRect inside = ToQRect(r).intersected(client);
  painter.fillRect(QRect(client.left(), client.top(), client.width(), inside.top() - client.top()), veil);
  painter.fillRect(QRect(client.left(), inside.bottom() + 1, client.width(), client.bottom() - inside.bottom()), veil);
  painter.fillRect(QRect(client.left(), inside.top(), inside.left() - client.left(), inside.height()), veil);
  painter.fillRect(QRect(inside.right() + 1, inside.top(), client.right() - inside.right(), inside.height()), veil);
  DrawGreenFrame(painter);
}

void CCutRectLayer::OnPaint(QPainter& painter) { DrawLayer(painter); }

bool CCutRectLayer::OnLButtonDown(UINT, CPoint p) {
  SetCapture();
  mode_ = DragFrame(p);
  if (mode_ == kNewRect) {
    rect_ = CRect(p.x, p.y, p.x, p.y);
    bar_.ShowWindow(SW_HIDE);
    update();
  }
  SetCursorShape(CursorForHit(mode_));
  last_ = anchor_ = p;
  return true;
}

void CCutRectLayer::OnMouseMove(UINT, CPoint p) {
  if (mode_ == kNoDrag) {
    SetCursorShape(CursorForHit(DragFrame(p)));
    last_ = p;
    return;
  }
  const int dx = p.x - last_.x, dy = p.y - last_.y;
  switch (mode_) {
    case kNewRect: rect_ = Normalised(CRect(anchor_.x, anchor_.y, p.x, p.y)); break;
    case kMove: {
      const CRect client = GetClientRect();
      const int mx = ClampMove(dx, client.left - rect_.left, client.right - rect_.right);
      const int my = ClampMove(dy, client.top - rect_.top, client.bottom - rect_.bottom);
      rect_.OffsetRect(mx, my);
      break;
    }
    default: DragGrip(rect_, mode_, dx, dy); break;
  }
  SetCursorShape(CursorForHit(mode_));
  if (buttonsEnabled_ && bar_.IsWindowVisible()) PlaceBar();
  update();
  last_ = p;
}

void CCutRectLayer::OnLButtonUp(UINT, CPoint) {
  if (GetCapture() == this) ReleaseCapture();
  const int mode = mode_;
  mode_ = kNoDrag;
  if (mode == kNoDrag) return;
  rect_.NormalizeRect();
  if (rect_.IsRectEmpty()) {
    bar_.ShowWindow(SW_HIDE);
  } else if (mode == kNewRect && buttonsEnabled_) {
    PlaceBar();
    bar_.ShowWindow(SW_SHOW);
  }
  update();
}

void CCutRectLayer::PlaceBar() {
  const CRect client = GetClientRect();
  const CRect r = Normalised(rect_);
  int x = r.right - CCutBtnLayer::kWidth;
  int y = r.bottom;
  // Kept inside the layer: pushed up from the bottom, right from the left
  // edge (the save and copy buttons sit at the bar's left end), back from
  // the right edge.
  x = std::max(std::min(x, client.right - CCutBtnLayer::kWidth), client.left);
  y = std::max(std::min(y, client.bottom - CCutBtnLayer::kHeight), client.top);
  const CPoint screen = ClientToScreen(CPoint(x, y));
  bar_.MoveWindow(CRect(screen.x, screen.y, screen.x + CCutBtnLayer::kWidth, screen.y + CCutBtnLayer::kHeight));
}

void CCutRectLayer::OnSize(int, int) {
  if (bar_.IsWindowVisible()) PlaceBar();
}

void CCutRectLayer::OnMove(int, int) {
  if (bar_.IsWindowVisible()) PlaceBar();
}

// ---- Background layer -------------------------------------------------------------------------

CCutBgLayer::CCutBgLayer() : CBackgroundLayer(rectLayer_) {}
CCutBgLayer::~CCutBgLayer() = default;

bool CCutBgLayer::Create(CWnd* owner, const CRect& screenRect) {
  if (!CreateBackground(owner, QStringLiteral("cutBgLayer"), screenRect)) return false;
  // It paints nothing: the rectangle layer over it draws the veil.
  SetCursorShape(CursorShape::Cross);
  return rectLayer_.Create(this);
}
