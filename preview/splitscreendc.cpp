#include "preview/splitscreendc.h"

#include "canvas/gdisurface.h"
#include "contracts/fundara/thumbs.h"
#include "imaging/picture_codec.h"

#include <QPainter>

namespace {

constexpr COLORREF kCurrentFrame = RGB(0, 0, 255);

bool IsView(unsigned view) { return view <= static_cast<unsigned>(CSplitScreenDC::kPanes); }

}  // namespace

CSplitScreenDC::CSplitScreenDC() = default;
CSplitScreenDC::~CSplitScreenDC() = default;

// ---- Views ----------------------------------------------------------------------------------

CCameraDC* CSplitScreenDC::GetView(int view) {
  if (view == 0) return &single_;
  return view >= 1 && view <= kPanes ? &panes_[view - 1] : nullptr;
}

const CCameraDC* CSplitScreenDC::GetView(int view) const {
  return const_cast<CSplitScreenDC*>(this)->GetView(view);
}

CSplitScreenBtn* CSplitScreenDC::GetPaneButton(int pane) {
  return pane >= 1 && pane <= kPanes ? &buttons_[pane - 1] : nullptr;
}

int CSplitScreenDC::LaidOutPanes() const { return count_ > kPanes ? kPanes : count_; }

CCameraDC* CSplitScreenDC::Target() { return GetView(current_); }
const CCameraDC* CSplitScreenDC::Target() const { return GetView(current_); }

CRect CSplitScreenDC::ToScreen(const CRect& client) const {
  CRect r = client;
  if (owner_) {
    const CPoint origin = owner_->ClientToScreen(CPoint(0, 0));
    r.OffsetRect(origin.x, origin.y);
  }
  return r;
}

void CSplitScreenDC::InvalidateCanvas(const CRect& rect) {
  if (owner_ && !rect.IsRectEmpty()) owner_->update(ToQRect(rect));
}

// ---- Set-up and layout -----------------------------------------------------------------------

void CSplitScreenDC::Init(CWnd* owner) {
  owner_ = owner;
  single_.SetHwnd(owner);
  single_.SetImageZoomType(ZOOM_KEEPHEIGHT);
  single_.SetShowDPI(1);
  for (int i = 0; i < kPanes; ++i) {
    panes_[i].SetHwnd(owner);
    panes_[i].SetPage(i + 1);
    panes_[i].OpenBg(1);
    panes_[i].SetImageZoomType(ZOOM_KEEPHEIGHT);
  }
  count_ = 0;
  current_ = 0;
  HideCanvasDC();
  LockAllVideo();
  Layout(false);
  ShowCanvasDC(1);
  if (!owner) return;
  for (int i = 0; i < kPanes; ++i) {
    if (buttons_[i].IsLayer()) continue;
    if (buttons_[i].Create(owner, i)) {
      buttons_[i].SetParentHwnd(owner);
      buttons_[i].SetPage(i + 1);
    }
  }
  if (!rotate_.IsLayer() && rotate_.Create(owner)) rotate_.SetParentHwnd(owner);
  Layout(false);
}

int CSplitScreenDC::SetCanvasArea(int count) {
  if (count != 0 && count != 1 && count != 2 && count != 4 && count != 6 && count != 8 && count != 12) return 0;
  count_ = count;
  current_ = count != 0 ? 1 : 0;
  HideCanvasDC();
  LockAllVideo();
  Layout(false);
  ShowCanvasDC(1);
  // Every view fits its next picture to its new rectangle (after the panes
  // were emptied, so that none keeps a zoom taken from its old picture).
  RefitViews();
  return 1;
}

void CSplitScreenDC::SetCanvasSize(int width, int height) {
  const bool changed = width != width_ || height != height_;
  width_ = width;
  height_ = height;
  Layout(changed);
}

void CSplitScreenDC::Layout(bool sizeChanged) {
  const int W = width_, H = height_;
  const int l = W / 2, a = H / 2, t = W / 3;
  const int n = LaidOutPanes();
  switch (n) {
    case 0:
      single_.MoveWindow(CRect(0, 0, W, H), 0);
      if (rotate_.IsLayer()) rotate_.MoveWindow(ToScreen(CRect(0, 0, W, H)));
      break;
    case 1:
      panes_[0].MoveWindow(CRect(0, 0, W, H), 0);
      break;
    case 2:
      panes_[0].MoveWindow(CRect(0, 0, l, H), 0);
      panes_[1].MoveWindow(CRect(W - l, 0, W, H), 0);
      break;
    case 4:
      panes_[0].MoveWindow(CRect(0, 0, l, a), 0);
      panes_[1].MoveWindow(CRect(W - l, 0, W, a), 0);
      panes_[2].MoveWindow(CRect(0, a, l, H), 0);
      panes_[3].MoveWindow(CRect(l, a, W, H), 0);
      break;
    case 6:
      panes_[0].MoveWindow(CRect(0, 0, t, a), 0);
      panes_[1].MoveWindow(CRect(t, 0, 2 * t, a), 0);
      panes_[2].MoveWindow(CRect(2 * t, 0, W, a), 0);
      panes_[3].MoveWindow(CRect(0, H - a, t, H), 0);
      panes_[4].MoveWindow(CRect(t, H - a, 2 * t, H), 0);
      panes_[5].MoveWindow(CRect(2 * t, H - a, W, H), 0);
      break;
    default:
      break;
  }
  // Each bar centred on its pane.
  for (int i = 0; i < n; ++i) {
    if (!buttons_[i].IsLayer()) continue;
    const CRect pane = ToScreen(panes_[i].GetClientRect());
    const int left = pane.left + (pane.Width() - CSplitScreenBtn::kWidth) / 2;
    const int top = pane.top + (pane.Height() - CSplitScreenBtn::kHeight) / 2;
    buttons_[i].MoveWindow(CRect(left, top, left + CSplitScreenBtn::kWidth, top + CSplitScreenBtn::kHeight));
  }
  if (sizeChanged) RefitViews();
  InvalidateCanvas(CRect(0, 0, W, H));
}

void CSplitScreenDC::RefitViews() {
  // A zoom kept from another rectangle would show a part of the picture
  // (the keep-height rule keeps the old height): every view starts again
  // from the fitted size, and a picture already there is fitted now. Only
  // the target's zoom is announced.
  const CCameraDC* target = Target();
  for (int view = 0; view <= kPanes; ++view) {
    CCameraDC& model = *GetView(view);
    model.ReSetZoom();
    if (!model.IsEmpty()) model.SuitableSize(&model == target ? 1 : 0);
  }
}

// ---- Frames, cameras and pictures -----------------------------------------------------------

int CSplitScreenDC::SetImageData(const BYTE* data, int width, int height, int depth, const tagRGBQUAD* palette,
                                 unsigned driveId) {
  if (!data) return 0;
  for (int view = 0; view <= kPanes; ++view) {
    CCameraDC& model = *GetView(view);
    if (model.GetDriveId() == driveId && !model.GetVideoLock())
      model.SetImageData(data, width, height, depth, palette);
  }
  return 1;
}

int CSplitScreenDC::LoadCamera(unsigned driveId, unsigned view) {
  if (!IsView(view)) return 0;
  if (view > 0) buttons_[view - 1].ShowWindow(SW_HIDE);
  CCameraDC& model = *GetView(static_cast<int>(view));
  model.SetDriveId(driveId);
  model.SetVideoLock(0);
  return 1;
}

int CSplitScreenDC::LoadImageW(const std::string& path, unsigned view) {
  if (!IsView(view)) return 0;
  // Loading empties the view first: a file that cannot be read is found out
  // before, so that the view keeps its picture (or its bar).
  {
    CBitmapPicture probe;
    if (!ReadPictureBuffer(path, probe)) return 0;
  }
  CCameraDC& model = *GetView(static_cast<int>(view));
  CSplitScreenBtn* bar = view > 0 ? &buttons_[view - 1] : nullptr;
  if (bar) bar->ShowWindow(SW_HIDE);
  const int loaded = model.LoadImageData(path);
  if (!loaded && bar && static_cast<int>(view) <= LaidOutPanes()) bar->ShowWindow(SW_SHOW);
  InvalidateCanvas(model.GetClientRect());
  return loaded;
}

void CSplitScreenDC::LockVideo(int lock, int view) {
  if (CCameraDC* model = view >= 0 ? GetView(view) : nullptr) {
    model->SetVideoLock(lock);
    return;
  }
  for (int v = 0; v <= kPanes; ++v) GetView(v)->SetVideoLock(lock);
}

int CSplitScreenDC::IsLockVideo(int view) const {
  const CCameraDC* model = view >= 0 ? GetView(view) : nullptr;
  return model ? model->GetVideoLock() : 0;
}

void CSplitScreenDC::LockAllVideo() { LockVideo(1, -1); }

void CSplitScreenDC::SetDriveId(unsigned id) {
  if (CCameraDC* t = Target()) t->SetDriveId(id);
}

unsigned CSplitScreenDC::GetCurCameraDriveId() const {
  const CCameraDC* t = Target();
  return t ? t->GetDriveId() : kHiddenDrive;
}

void CSplitScreenDC::SetTipString(const QString& text) {
  if (CCameraDC* t = Target()) t->SetTipString(text);
}

void CSplitScreenDC::SetTipString(int driveId, const QString& text) {
  for (int view = 0; view <= kPanes; ++view) {
    CCameraDC& model = *GetView(view);
    if (model.GetDriveId() == static_cast<unsigned>(driveId)) model.SetTipString(text);
  }
}

// ---- Operations on the target ---------------------------------------------------------------

void CSplitScreenDC::RealitySize() {
  if (CCameraDC* t = Target()) t->RealitySize(1);
}

void CSplitScreenDC::SuitableSize() {
  if (CCameraDC* t = Target()) t->SuitableSize(1);
}

void CSplitScreenDC::SetCameraSize(double zoom) {
  if (CCameraDC* t = Target()) t->SetCameraSize(static_cast<int>(zoom), 1);
}

int CSplitScreenDC::SetLuminosity(int value) {
  CCameraDC* t = Target();
  return t ? t->SetLuminosity(value) : 0;
}

int CSplitScreenDC::GetLuminosity() const {
  const CCameraDC* t = Target();
  return t ? t->GetLuminosity() : 0;
}

int CSplitScreenDC::SetContrast(int value) {
  CCameraDC* t = Target();
  return t ? t->SetContrast(value) : 0;
}

int CSplitScreenDC::GetContrast() const {
  const CCameraDC* t = Target();
  return t ? t->GetContrast() : 0;
}

int CSplitScreenDC::SetSaturation(int value) {
  CCameraDC* t = Target();
  return t ? t->SetSaturation(value) : 0;
}

int CSplitScreenDC::GetSaturation() const {
  const CCameraDC* t = Target();
  return t ? t->GetSaturation() : 0;
}

void CSplitScreenDC::RotationCamera(int command) {
  CCameraDC* t = Target();
  if (!t) return;
  t->RotationCamera(command);
  if (t == &single_ && rotate_.IsLayer()) rotate_.SetRotateAngle(-single_.GetRotationAngle());
  // The model redraws its buffer only: the owner shows it.
  InvalidateCanvas(t->GetClientRect());
}

int CSplitScreenDC::RotateImage(int degrees) {
  if (current_ == 0) {
    single_.RotationCameraEx(degrees);
    InvalidateCanvas(single_.GetClientRect());
  }
  return 1;
}

int CSplitScreenDC::GetRotationAngle() const { return current_ == 0 ? single_.GetRotationAngle() : 0; }

void CSplitScreenDC::OpenMRotation() {
  if (current_ != 0 || !owner_ || !rotate_.IsLayer()) return;
  rotate_.MoveWindow(ToScreen(single_.GetClientRect()));
  if (rotate_.GetShowWindow() == SW_SHOW) {
    rotate_.ShowWindow(SW_HIDE);
  } else {
    rotate_.ShowWindow(SW_SHOW);
    rotate_.SetRotateAngle(-single_.GetRotationAngle());
  }
}

void CSplitScreenDC::ReSetZoom(int view) {
  if (CCameraDC* model = view >= 0 ? GetView(view) : nullptr) {
    model->ReSetZoom();
    return;
  }
  for (int v = 0; v <= kPanes; ++v) GetView(v)->ReSetZoom();
}

void CSplitScreenDC::ClearData(int view) {
  const int n = LaidOutPanes();
  if (CCameraDC* model = view >= 0 ? GetView(view) : nullptr) {
    model->ClearData();
    // A bar only on a pane the layout shows.
    if (view >= 1 && view <= n) buttons_[view - 1].ShowWindow(SW_SHOW);
  } else {
    for (int v = 0; v <= kPanes; ++v) GetView(v)->ClearData();
    for (int i = 0; i < n; ++i) buttons_[i].ShowWindow(SW_SHOW);
  }
  InvalidateCanvas(CRect(0, 0, width_, height_));
}

void CSplitScreenDC::ClearCameraData(unsigned driveId) {
  for (int view = 0; view <= kPanes; ++view) {
    CCameraDC& model = *GetView(view);
    if (model.GetDriveId() == driveId) model.ClearData();
  }
  InvalidateCanvas(CRect(0, 0, width_, height_));
}

// ---- Showing and hiding ----------------------------------------------------------------------

void CSplitScreenDC::ShowCanvasDC(int show) {
  const int n = LaidOutPanes();
  if (n == 0) {
    single_.ShowCameraDC(show);
    return;
  }
  for (int i = 0; i < n; ++i) {
    panes_[i].ClearData();
    panes_[i].ShowCameraDC(show);
    buttons_[i].ShowWindow(show ? SW_SHOW : SW_HIDE);
  }
}

void CSplitScreenDC::HideCanvasDC() {
  single_.ShowCameraDC(0);
  single_.SetDriveId(kHiddenDrive);
  for (int i = 0; i < kPanes; ++i) {
    panes_[i].SetDriveId(kHiddenDrive);
    panes_[i].ShowCameraDC(0);
    buttons_[i].ShowWindow(SW_HIDE);
  }
  if (rotate_.IsLayer()) rotate_.ShowWindow(SW_HIDE);
}

void CSplitScreenDC::OpenPageShow() {
  for (int i = 0; i < LaidOutPanes(); ++i) {
    panes_[i].SetPage(i + 1);
    panes_[i].OpenBg(1);
  }
}

// ---- Painting ----------------------------------------------------------------------------------

void CSplitScreenDC::DoDraw(HDC dc) {
  if (!dc) return;
  const int n = LaidOutPanes();
  if (n == 0) {
    // The single view paints into this surface from now on, also when a
    // frame arrives: the owner keeps it alive as long as it shows.
    single_.SetDC(dc);
    single_.DoDraw(dc);
  } else {
    for (int i = 0; i < n; ++i) panes_[i].DoDraw(dc);
  }
  if (current_ >= 1 && current_ <= n) {
    CRect frame = panes_[current_ - 1].GetClientRect();
    frame.DeflateRect(2, 2);
    DrawRect(dc, frame);
  }
}

void CSplitScreenDC::DrawRect(HDC dc, const CRect& rect) {
  if (!dc || rect.IsRectEmpty()) return;
  QPainter p(dc);
  QPen pen(QColor(kCurrentFrame & 0xFF, (kCurrentFrame >> 8) & 0xFF, (kCurrentFrame >> 16) & 0xFF));
  pen.setWidth(2);
  pen.setJoinStyle(Qt::MiterJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  p.drawRect(ToQRect(rect));
}

CRect CSplitScreenDC::GetImageRect(int view) const {
  const CCameraDC* model = view >= 0 ? GetView(view) : nullptr;
  if (!model) return CRect();
  CRect r;
  r.IntersectRect(model->GetClientRect(), model->GetImageRect());
  return r;
}

// ---- Saving --------------------------------------------------------------------------------------

int CSplitScreenDC::SaveScreen(const CRect& screenArea, const std::string& path) {
  // The screen as it shows, the layers over the canvas included, without
  // the pointer.
  CGDISurface surface;
  if (screenArea.IsRectEmpty() || !surface.Init() || !surface.Grabber()) return 0;
  CScreenGrabber::Frame frame;
  if (!surface.Grabber()->Grab(screenArea, frame, nullptr, false) || frame.width <= 0 || frame.height <= 0) return 0;
  // The screen's depth: 24 bits.
  const QImage picture = QImage(frame.pixels, frame.width, frame.height, frame.stride, QImage::Format_RGB32)
                             .convertToFormat(QImage::Format_RGB888);
  if (picture.isNull() || !WritePicture(path, picture)) return 0;
  CThumbs().WriteThumb(path, picture);  // a missing thumbnail does not undo the save
  return 1;
}

int CSplitScreenDC::SaveJpegFile0(const std::string& path) {
  if (!owner_) return 0;
  CRect area = single_.GetSafeArea();
  if (area.IsRectEmpty()) area = owner_->GetWindowRect();
  return SaveScreen(area, path);
}

int CSplitScreenDC::SaveJpegFile(const std::string& path) {
  if (!owner_) return 0;
  return SaveScreen(ToScreen(CRect(0, 0, width_, height_)), path);
}

// ---- Mouse -----------------------------------------------------------------------------------------

int CSplitScreenDC::OnLButtonDown(UINT flags, CPoint point) {
  const int n = LaidOutPanes();
  if (n == 0) {
    single_.OnLButtonDown(flags, point);
    return 0;
  }
  // Only the panes of the layout: the others keep rectangles of an earlier one.
  bool chosen = false;
  for (int i = 0; i < n; ++i) {
    panes_[i].OnLButtonDown(flags, point);
    if (!chosen && panes_[i].GetClientRect().PtInRect(point)) {
      chosen = true;
      current_ = i + 1;
      PostMessage(owner_, WM_UPDATE_ZOOM, static_cast<WPARAM>(panes_[i].GetZoom()), static_cast<LPARAM>(i + 1));
    }
  }
  InvalidateCanvas(CRect(0, 0, width_, height_));
  return 1;
}

int CSplitScreenDC::OnLButtonUp(UINT flags, CPoint point) {
  for (int view = 0; view <= kPanes; ++view) GetView(view)->OnLButtonUp(flags, point);
  return 1;
}

int CSplitScreenDC::OnMouseMove(UINT flags, CPoint point) {
  const int n = LaidOutPanes();
  if (n == 0) return single_.OnMouseMove(flags, point);
  for (int i = 0; i < n; ++i) panes_[i].OnMouseMove(flags, point);
  return 1;
}

int CSplitScreenDC::OnMouseWheel(UINT flags, short delta, CPoint point) {
  const int n = LaidOutPanes();
  if (n == 0) return single_.OnMouseWheel(flags, delta, point);
  const CPoint local = owner_ ? owner_->ScreenToClient(point) : point;
  for (int i = 0; i < n; ++i) {
    if (!panes_[i].GetClientRect().PtInRect(local)) continue;
    panes_[i].SetCameraSize(static_cast<int>(panes_[i].GetZoom() + delta / 100.0), 1);
  }
  return 1;
}
