#include "preview/certificateslayer.h"

#include "contracts/fundara/language.h"
#include "platform/dialogs.h"

#include <QPainter>

#include <algorithm>
#include <memory>

namespace {

QString FrontTip() { return QString::fromStdString(GetLanguageText("zhengjianzhengmian", "证件正面")); }
QString BackTip() { return QString::fromStdString(GetLanguageText("zhengjianbeimian", "证件背面")); }

constexpr int kEdgeLeft = 1, kEdgeTop = 2, kEdgeRight = 4, kEdgeBottom = 8;

CursorShape CursorForEdges(int edges) {
  switch (edges) {
    case kEdgeLeft | kEdgeTop:
    case kEdgeRight | kEdgeBottom: return CursorShape::SizeNWSE;
    case kEdgeRight | kEdgeTop:
    case kEdgeLeft | kEdgeBottom: return CursorShape::SizeNESW;
    case kEdgeLeft:
    case kEdgeRight: return CursorShape::SizeWE;
    case kEdgeTop:
    case kEdgeBottom: return CursorShape::SizeNS;
    default: return CursorShape::SizeAll;
  }
}

}  // namespace

CCertificatesLayer::CCertificatesLayer() = default;

CCertificatesLayer::~CCertificatesLayer() {
  // Nothing may reach the sides any more.
  front_.SetVideoLock(1);
  back_.SetVideoLock(1);
}

bool CCertificatesLayer::Create(CWnd* owner) {
  if (!owner) return false;
  const CRect work = GetWorkArea();
  const CPoint c = work.CenterPoint();
  const CRect rect(c.x - kWidth / 2, c.y - kHeight / 2, c.x - kWidth / 2 + kWidth, c.y - kHeight / 2 + kHeight);
  if (!CWnd::Create(Kind::Layer, QStringLiteral("certificatesLayer"), rect, owner)) return false;
  SetPaintOverHost();
  for (CCameraDC* side : {&front_, &back_}) {
    side->SetHwnd(this);
    side->ShowCameraDC(1);
  }
  ResetSides();
  LayOutSides();
  hide();
  return true;
}

void CCertificatesLayer::ResetSides() {
  front_.ClearData();
  back_.ClearData();
  front_.SetTipString(FrontTip());
  back_.SetTipString(BackTip());
}

void CCertificatesLayer::Layout(int width, int height, CRect& front, CRect& back) {
  if (Stacked(width, height)) {
    front = CRect(0, 0, width, height / 2);
    back = CRect(0, height / 2, width, height);
  } else {
    front = CRect(0, 0, width / 2, height);
    back = CRect(width / 2, 0, width, height);
  }
}

void CCertificatesLayer::LayOutSides() {
  CRect front, back;
  Layout(width(), height(), front, back);
  front_.MoveWindow(front, 0);
  back_.MoveWindow(back, 0);
  front_.SuitableSize(1);
  back_.SuitableSize(1);
}

int CCertificatesLayer::ShowWindow(int cmd) {
  if (cmd == SW_SHOW) {
    ResetSides();
    Invalidate();
  }
  return CWnd::ShowWindow(cmd);
}

void CCertificatesLayer::LoadSide(CCameraDC& side, const QString& path) {
  side.LoadImageData(path.toStdString());
  side.SuitableSize(1);
}

int CCertificatesLayer::LoadImageW(const QString& path) {
  if (!front_.IsEmpty() && !back_.IsEmpty()) ResetSides();  // a new pair begins
  if (front_.IsEmpty()) {
    LoadSide(front_, path);
    Invalidate();
    return 0;
  }
  LoadSide(back_, path);
  int written = 0;
  if (!back_.IsEmpty()) {
    // The join follows the layout shown: stacked while the layer stands upright.
    const std::unique_ptr<QImage> front(front_.GetVideoBitmap(CRect()));
    const std::unique_ptr<QImage> back(back_.GetVideoBitmap(CRect()));
    written = front_.SaveJpegFile(path.toStdString(), front.get(), back.get(), Stacked(width(), height()) ? 1 : 0);
  }
  Invalidate();
  if (!written) {
    const QString failed = QString::fromStdString(GetLanguageText("baocunshibai", "保存失败！"));
    MessageBox(this, failed, failed, MB_OK | MB_ICONERROR);
  }
  return written;
}

// ---- Painting ---------------------------------------------------------------------------

bool CCertificatesLayer::OnEraseBkgnd(QPainter&) {
  const CRect client = GetClientRect();
  const CRect old = buffer_.GetBufferRect();
  if (old.Width() != client.Width() || old.Height() != client.Height()) {
    if (client.IsRectEmpty())
      buffer_.Release();
    else
      buffer_.CreateBufferDC(nullptr, client);
    if (buffer_.GetBufferDC()) buffer_.SetBackColor(client, RGB(255, 255, 255));
  }
  return true;
}

void CCertificatesLayer::OnPaint(QPainter& painter) {
  HDC dc = buffer_.GetBufferDC();
  if (!dc) return;
  front_.DoDraw(dc);
  back_.DoDraw(dc);
  // The sides fill their halves to the edge; the border goes over them.
  {
    QPainter p(dc);
    const QColor grey(kBorderColour & 0xFF, (kBorderColour >> 8) & 0xFF, (kBorderColour >> 16) & 0xFF);
    const QRect r = rect();
    p.fillRect(QRect(0, 0, r.width(), kBorder), grey);
    p.fillRect(QRect(0, r.height() - kBorder, r.width(), kBorder), grey);
    p.fillRect(QRect(0, 0, kBorder, r.height()), grey);
    p.fillRect(QRect(r.width() - kBorder, 0, kBorder, r.height()), grey);
  }
  painter.drawImage(0, 0, *DCImage(dc));
}

void CCertificatesLayer::OnSize(int, int) {
  LayOutSides();
  Invalidate();
}

// ---- Mouse --------------------------------------------------------------------------------

int CCertificatesLayer::EdgesAt(CPoint p) const {
  int edges = 0;
  if (p.x < kEdgeGrip) edges |= kEdgeLeft;
  if (p.x >= width() - kEdgeGrip) edges |= kEdgeRight;
  if (p.y < kEdgeGrip) edges |= kEdgeTop;
  if (p.y >= height() - kEdgeGrip) edges |= kEdgeBottom;
  return edges;
}

void CCertificatesLayer::PlaceOnScreen(const CRect& screen) { MoveWindow(screen, true); }

bool CCertificatesLayer::OnLButtonDown(UINT, CPoint p) {
  grab_ = EdgesAt(p);
  grabScreen_ = ClientToScreen(p);
  grabRect_ = GetWindowRect();
  SetCapture();
  SetCursorShape(CursorForEdges(grab_));
  return true;
}

void CCertificatesLayer::OnMouseMove(UINT flags, CPoint p) {
  if (grab_ < 0 || !(flags & MK_LBUTTON)) {
    grab_ = -1;
    SetCursorShape(EdgesAt(p) ? CursorForEdges(EdgesAt(p)) : CursorShape::Arrow);
    return;
  }
  const CPoint now = ClientToScreen(p);
  const int dx = now.x - grabScreen_.x, dy = now.y - grabScreen_.y;
  CRect r = grabRect_;
  if (grab_ == 0) {
    r.OffsetRect(dx, dy);
  } else {
    if (grab_ & kEdgeLeft) r.left = std::min(r.left + dx, r.right - kMinSide);
    if (grab_ & kEdgeRight) r.right = std::max(r.right + dx, r.left + kMinSide);
    if (grab_ & kEdgeTop) r.top = std::min(r.top + dy, r.bottom - kMinSide);
    if (grab_ & kEdgeBottom) r.bottom = std::max(r.bottom + dy, r.top + kMinSide);
  }
  PlaceOnScreen(r);
}

void CCertificatesLayer::OnLButtonUp(UINT, CPoint) {
  grab_ = -1;
  ReleaseCapture();
}

void CCertificatesLayer::OnLButtonDblClk(UINT, CPoint) {
  // Upright becomes lying and back, about the same centre.
  const CRect r = GetWindowRect();
  const CPoint c = r.CenterPoint();
  const int w = r.Width(), h = r.Height();
  const int left = c.x - h / 2, top = c.y - w / 2;
  PlaceOnScreen(CRect(left, top, left + h, top + w));
  LayOutSides();
  Invalidate();
}
