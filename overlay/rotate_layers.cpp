#include "overlay/rotate_layers.h"

#include <QPainter>

#include <algorithm>
#include <cstdint>

namespace {

// The "ui" set's window of the dial; control 1 is the dial picture.
constexpr int kDialWindow = 9;
constexpr int kDialControl = 1;

constexpr Gdiplus::ARGB kOpaqueBlack = 0xFF000000;

LOGFONTW AngleFont() {
  LOGFONTW lf;
  lf.lfHeight = 60;
  lf.lfWeight = 400;
  lf.lfCharSet = 1;
  lf.lfQuality = 4;
  const std::u16string face = u"宋体";
  std::copy(face.begin(), face.end(), lf.lfFaceName);
  return lf;
}

}  // namespace

// ---- Dial layer -------------------------------------------------------------------------------

CRotateBtnLayer::CRotateBtnLayer() : font_(AngleFont()) {}

CRotateBtnLayer::~CRotateBtnLayer() {
  if (GetCapture() == this) ReleaseCapture();
}

bool CRotateBtnLayer::Create(CWnd* owner) {
  if (!CreateLayer(owner, QStringLiteral("cutRectLayer"), OwnerScreenRect(owner))) return false;
  surface_.CreateBufferDC(nullptr, CRect(0, 0, 10, 10));
  gdi_.Init();
  gdi_.Clear(surface_.GetBufferDC(), kOpaqueBlack);
  // Black is fully transparent, everything else shows at alpha 120.
  SetLayeredAttributes(kAlpha, QColor(0, 0, 0));
  InitConfig();
  LoadResources();
  return true;
}

void CRotateBtnLayer::InitConfig() { layout_.LoadSet(u"ui", kDialWindow); }

void CRotateBtnLayer::LoadResources() {
  layout_.LoadGdiImage(dial_, imageRect_, kDialControl);
  SetRect();
}

void CRotateBtnLayer::SetRect() {
  const CRect client = GetClientRect();
  const int w = imageRect_.Width(), h = imageRect_.Height();
  const int left = client.left + (client.Width() - w) / 2;
  const int top = client.top + (client.Height() - h) / 2;
  imageRect_ = CRect(left, top, left + w, top + h);
}

QString CRotateBtnLayer::AngleText(int degrees) { return QString::asprintf("%d°", degrees); }

int CRotateBtnLayer::TurnAngle(int angle, int delta) {
  std::int64_t a = static_cast<std::int64_t>(angle) + delta;
  // The fewest steps of 360 that bring the angle to 180 or below, or to
  // -180 or above.
  if (a > 180) a -= 360 * ((a - 180 + 359) / 360);
  if (a < -180) a += 360 * ((-180 - a + 359) / 360);
  return static_cast<int>(a);
}

void CRotateBtnLayer::SetRotateAngle(int degrees) {
  angle_ = degrees;
  DrawDial(true);
}

void CRotateBtnLayer::DrawDial(bool invalidate) {
  HDC dc = surface_.GetBufferDC();
  if (!dc) return;
  gdi_.Clear(dc, kOpaqueBlack);
  // Without a dial rectangle (no description file) there is no dial.
  if (!imageRect_.IsRectEmpty()) {
    // Turned by the angle's remainder: the same picture, without the loss
    // of precision a huge stored angle would bring.
    gdi_.DrawImage(dc, dial_.GetImage(), imageRect_, angle_ % 360);
    gdi_.DrawTextW(dc, AngleText(angle_), &font_, imageRect_, kTextColor, kTextFormat);
  }
  if (invalidate) Invalidate();
}

bool CRotateBtnLayer::OnEraseBkgnd(QPainter&) {
  const CRect client = GetClientRect();
  if (surface_.GetBufferRect().Size() != client.Size() && surface_.CreateBufferDC(nullptr, client)) {
    SetRect();
    DrawDial(false);
  }
  // The paint copies the whole surface: nothing to erase.
  return true;
}

void CRotateBtnLayer::OnPaint(QPainter& painter) {
  if (const QImage* surface = GetSurface()) painter.drawImage(0, 0, *surface);
}

bool CRotateBtnLayer::OnLButtonDown(UINT, CPoint p) {
  SetCapture();
  dragging_ = true;
  last_ = press_ = p;
  return true;
}

void CRotateBtnLayer::OnMouseMove(UINT, CPoint p) {
  const int dx = p.x - last_.x, dy = p.y - last_.y;
  last_ = p;
  if (!imageRect_.PtInRect(p)) dragging_ = false;
  if (!dragging_) return;
  if (dy != 0) {
    // Down along the right half turns clockwise, down along the left half back.
    const bool right = (imageRect_.left + imageRect_.right) / 2 < p.x;
    angle_ = TurnAngle(angle_, right ? dy : -dy);
  } else if (dx != 0) {
    // Right along the top half turns clockwise, right along the bottom half back.
    const bool below = (imageRect_.top + imageRect_.bottom) / 2 < p.y;
    angle_ = TurnAngle(angle_, below ? -dx : dx);
  } else {
    return;
  }
  DrawDial(true);
}

void CRotateBtnLayer::OnLButtonUp(UINT, CPoint) {
  if (GetCapture() == this) ReleaseCapture();
  dragging_ = false;
  if (target_) PostMessage(target_, WM_ROTATE_ANGLE, static_cast<WPARAM>(static_cast<std::intptr_t>(angle_)), 0);
}

// ---- Background layer -------------------------------------------------------------------------

CRotateBgLayer::CRotateBgLayer() : CBackgroundLayer(dial_) {}
CRotateBgLayer::~CRotateBgLayer() = default;

bool CRotateBgLayer::Create(CWnd* owner, const CRect& screenRect) {
  return CreateBackground(owner, QStringLiteral("rotateBgLayer"), screenRect) && dial_.Create(this);
}
