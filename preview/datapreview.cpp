#include "preview/datapreview.h"

#include "contracts/fundara/language.h"
#include "contracts/fundara/memory.h"
#include "contracts/fundara/names.h"
#include "contracts/fundara/paths.h"
#include "contracts/widgetta/gdi_slider.h"
#include "imaging/picture_codec.h"
#include "overlay/message_dlg.h"
#include "platform/dialogs.h"
#include "platform/profile.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <memory>

namespace {

constexpr int kLeftSide = 1;
constexpr int kRightSide = 2;

QString LanguageText(const char* key, const char* defaultText) {
  return QString::fromStdString(GetLanguageText(key, defaultText));
}

// The extensions of the save dialog's filters 1 to 5.
constexpr const char* kFilterExtensions[] = {".jpg", ".bmp", ".png", ".gif", ".tif"};

}  // namespace

const QString CDataPreview::kSaveFilter = QStringLiteral(
    "jpg  file(*.jpg)|*.jpg|bmp  file(*.bmp)|*.bmp|png  file(*.png)|*.png|gif  file(*.gif)|*.gif|tif  "
    "file(*.tif)|*.tif||");

CDataPreview::CDataPreview() {
  OnMessage(WM_UPDATE_ZOOM, &CDataPreview::OnUpdateZoom);
  OnMessage(WM_HISTORY_RECORD, &CDataPreview::OnHistoryRecord);
  OnMessage(WM_UPDATE_CUTAREA, &CDataPreview::OnUpdateCutArea);
  gdi_.Init();
}

CDataPreview::~CDataPreview() {
  DelMem(motionPlane_);
  motionPlane_ = nullptr;
  slider_ = nullptr;
}

bool CDataPreview::Create(CWnd* parent, const CRect& rect, UINT id) {
  if (!CWnd::Create(Kind::Child, QStringLiteral("DataPreview"), rect, parent, id)) return false;
  model_.SetHwnd(this);
  model_.ReSetZoom();
  model_.ShowCameraDC(1);
  model_.MoveWindow(GetClientRect(), 0);
  picFolder_ = QString::fromStdString(GetDataPicPath());
  if (!cutLayer_.Create(this)) return false;
  cutLayer_.SetParentHwnd(this);
  if (!certificates_.Create(this)) return false;
  return true;
}

// ---- Frames ----------------------------------------------------------------------------

int CDataPreview::SetImageData(int index, const BYTE* data, int width, int height, int depth,
                               const tagRGBQUAD* palette) {
  if (!data) {
    model_.ClearData();
    // Width 1 without data: the camera is connected and has sent no picture yet.
    model_.SetTipString(width == 1 ? QString() : LanguageText("wushipinshujuxinghao", "无视频数据信号"));
    Invalidate();
    return 0;
  }
  if (index != static_cast<int>(model_.GetDriveId())) return 1;
  SetImageData(data, width, height, depth, palette);
  if (autoPhoto_) WatchForRest(data, width, height, depth, palette);
  return 1;
}

int CDataPreview::SetImageData(const BYTE* data, int width, int height, int depth, const tagRGBQUAD* palette) {
  model_.SetImageData(data, width, height, depth, palette);
  Invalidate();
  return 1;
}

void CDataPreview::WatchForRest(const BYTE* data, int width, int height, int depth, const tagRGBQUAD* palette) {
  const int changed =
      handler_.DynamicPointNumEx(data, width, height, depth, palette, motionPlane_, motionWidth_, motionHeight_);
  if (changed == -1 || changed > kMovingPoints) {
    // The page moves: watch for it to come to rest, and let the picture follow.
    countdown_ = kRestFrames;
    model_.SetVideoLock(0);
  } else if (countdown_ == 0 && changed <= kRestingPoints) {
    // At rest: freeze the picture on the still page until the next movement.
    countdown_ = -1;
    model_.SetVideoLock(1);
    PostMessage(GetParentWnd(), WM_AUTO_PHOTOGRAPH, 0, 0);
  } else if (countdown_ > 0) {
    --countdown_;
  }
}

void CDataPreview::ReSetCameraDC(int driveId) {
  model_.ReSetZoom();
  model_.SetDriveId(static_cast<unsigned>(driveId));
  model_.SetVideoLock(0);
}

// ---- Still pictures ----------------------------------------------------------------------

int CDataPreview::LoadImageData(const QString& path) {
  imagePath_ = path;
  const int loaded = model_.LoadImageData(path.toStdString());
  cutLayer_.ShowWindow(SW_HIDE);
  Invalidate();
  return loaded;
}

QString CDataPreview::ReSetImage() {
  if (imagePath_.isEmpty()) return QString();  // no still picture to go back to
  LoadImageData(imagePath_);
  return imagePath_;
}

QString CDataPreview::SaveImage(const QString& path) {
  const QString target = path.isEmpty() ? imagePath_ : path;
  if (target.isEmpty() || !model_.SaveJpegFile(target.toStdString())) return QString();
  return target;
}

void CDataPreview::ShowFailure() {
  const QString failed = LanguageText("baocunshibai", "保存失败！");
  MessageBox(this, failed, failed, MB_OK | MB_ICONERROR);
}

QString CDataPreview::Photograph(int showMessage, const QString& path) {
  const bool cropping = cutLayer_.GetShowWindow() == SW_SHOW;
  bool cropSet = false;
  if (cropping) {
    const CRect rect = CutRect();
    if (!rect.IsRectEmpty()) {
      model_.SetVideoCutRect(rect);
      cropSet = true;
    }
  }
  std::string target = path.toStdString();
  const bool reserved = target.empty();
  if (reserved) {
    const int type = GetPrivateProfileInt("output", "imageType", 1, GetCameraConfig());
    target = GetJpgNamePath(picFolder_.toStdString(), PictureTypeExtension(type));
  }
  const int saved = !target.empty() && model_.SaveJpegFileEx(target);
  // Only a crop this photograph set is taken away again: a cut of the
  // teacher's own (the dark border cut, say) stays.
  if (cropSet) model_.OpenCutBlackSide(0);
  if (!saved) {
    if (reserved && !target.empty()) ReleaseFileName(target);
    ShowFailure();
    return QString();
  }
  const QString result = QString::fromStdString(target);
  if (certificates_.GetShowWindow() == SW_SHOW && !certificates_.LoadImageW(result)) return QString();
  if (showMessage) MessageBox(this, result, LanguageText("baocunchenggong", "保存成功！"), MB_OK | MB_ICONINFORMATION);
  return result;
}

// ---- View ----------------------------------------------------------------------------------

void CDataPreview::SetCameraSize(int zoom) {
  model_.SetCameraSize(zoom, 1);
  Invalidate();
}

void CDataPreview::SuitableSize() {
  model_.SuitableSize(1);
  Invalidate();
}

void CDataPreview::RealitySize() {
  model_.RealitySize(1);
  Invalidate();
}

void CDataPreview::RotationCamera(int command) {
  model_.RotationCamera(command);
  Invalidate();
}

int CDataPreview::RecordUndo() {
  const int done = model_.RecordUndo();
  Invalidate();
  return done;
}

int CDataPreview::RecordRedo() {
  const int done = model_.RecordRedo();
  Invalidate();
  return done;
}

void CDataPreview::SetShowMode(SHOW_MODE mode) { model_.SetShowMode(mode); }

int CDataPreview::OpenGreenFrame(int on) {
  if (on) cutLayer_.ShowWindow(SW_HIDE);
  return model_.OpenGreenFrame(on);
}

void CDataPreview::SetTipString(const QString& text) {
  model_.SetTipString(text);
  Invalidate();
}

// ---- Layers ----------------------------------------------------------------------------------

void CDataPreview::PlaceCutLayer() {
  CRect screen = model_.GetClientRect();
  const CPoint origin = ClientToScreen(CPoint(screen.left, screen.top));
  screen.OffsetRect(origin.x - screen.left, origin.y - screen.top);
  cutLayer_.MoveWindow(screen);
}

void CDataPreview::OpenVideoCutLayer(int buttons, int ocrMode) {
  PlaceCutLayer();
  if (cutLayer_.GetShowWindow() != SW_SHOW) {
    cutLayer_.ShowBtn(buttons);
    cutLayer_.SetOCRMode(ocrMode);
    cutLayer_.ShowWindow(SW_SHOW);
  } else {
    cutLayer_.ShowWindow(SW_HIDE);
  }
}

void CDataPreview::OpenCertificatesPhoto(int on) {
  if (!on) {
    certificates_.ShowWindow(SW_HIDE);
    return;
  }
  // A layer that would lie outside the picture's window is brought to its middle.
  const QRect g = window()->geometry();
  const CRect host(g.x(), g.y(), g.x() + g.width(), g.y() + g.height());
  const CRect layer = certificates_.GetWindowRect();
  CRect inside;
  inside.IntersectRect(layer, host);
  if (!host.IsRectEmpty() && inside != layer) {
    const CPoint c = GetWindowRect().CenterPoint();
    const int left = c.x - layer.Width() / 2, top = c.y - layer.Height() / 2;
    certificates_.MoveWindow(CRect(left, top, left + layer.Width(), top + layer.Height()));
  }
  certificates_.ShowWindow(SW_SHOW);
}

int CDataPreview::ShowWindow(int cmd) {
  if (cmd == SW_HIDE) {
    cutLayer_.ShowWindow(SW_HIDE);
    certificates_.ShowWindow(SW_HIDE);
  }
  return CWnd::ShowWindow(cmd);
}

CRect CDataPreview::CutRect() const {
  CRect rect = cutLayer_.GetCutRect();
  rect.NormalizeRect();
  return rect;
}

LRESULT CDataPreview::OnUpdateCutArea(WPARAM wParam, LPARAM) {
  if (cutLayer_.GetShowWindow() != SW_SHOW) return 0;
  const CRect rect = CutRect();
  if (!rect.IsRectEmpty()) {
    switch (wParam) {
      case CUT_CMD_CUT_VIDEO: model_.SetVideoCutRect(rect); break;
      case CUT_CMD_SAVE: SaveCutArea(rect); break;
      case CUT_CMD_COPY: CopyCutArea(rect); break;
      case CUT_CMD_OCR: {
        BYTE* data = nullptr;
        int w = 0, h = 0, depth = 0;
        if (model_.GetVideoData(rect, data, w, h, depth)) OCRBox(data, w, h, depth);
        DelMem(data);
        break;
      }
      default: break;
    }
  }
  cutLayer_.ShowWindow(SW_HIDE);
  Invalidate();
  return 1;
}

void CDataPreview::SaveCutArea(const CRect& rect) {
  int filter = 1;
  QString path = ChooseSaveFile(this, QString(), kSaveFilter, picFolder_, &filter);
  if (path.isEmpty()) return;
  const QString ext = QString::fromLatin1(kFilterExtensions[std::clamp(filter, 1, 5) - 1]);
  if (path.right(4).compare(ext, Qt::CaseInsensitive) != 0) path += ext;
  const std::unique_ptr<QImage> bitmap(model_.GetVideoBitmap(rect));
  if (!bitmap || !model_.SaveJpegFile(path.toStdString(), bitmap.get())) ShowFailure();
}

void CDataPreview::CopyCutArea(const CRect& rect) {
  const std::unique_ptr<QImage> bitmap(model_.GetVideoBitmap(rect));
  if (!bitmap) return;
  if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setImage(*bitmap);
}

// ---- Messages --------------------------------------------------------------------------------

LRESULT CDataPreview::OnUpdateZoom(WPARAM wParam, LPARAM) {
  if (slider_) slider_->SetPos(std::clamp(static_cast<int>(static_cast<LPARAM>(wParam)), 0, 200));
  return 1;
}

LRESULT CDataPreview::OnHistoryRecord(WPARAM wParam, LPARAM lParam) {
  if (historyWnd_) PostMessage(historyWnd_, WM_HISTORY_RECORD, wParam, lParam);
  return 1;
}

// ---- Size and painting -------------------------------------------------------------------------

void CDataPreview::OnSize(int cx, int cy) {
  model_.MoveWindow(CRect(0, 0, cx, cy), 0);
  if (cutLayer_.IsLayer()) PlaceCutLayer();
  PlacePageButtons(leftRect_.Width(), leftRect_.Height(), rightRect_.Width(), rightRect_.Height());
}

void CDataPreview::OnMove(int, int) {
  if (cutLayer_.IsLayer()) PlaceCutLayer();
}

bool CDataPreview::OnEraseBkgnd(QPainter&) {
  const CRect client = GetClientRect();
  const CRect old = buffer_.GetBufferRect();
  if (old.Width() != client.Width() || old.Height() != client.Height()) {
    if (client.IsRectEmpty()) {
      buffer_.Release();
    } else if (buffer_.CreateBufferDC(nullptr, client)) {
      SetStretchBltMode(buffer_.GetBufferDC(), HALFTONE);
    }
  }
  return true;  // the paint covers every pixel
}

void CDataPreview::OnPaint(QPainter& painter) {
  HDC dc = buffer_.GetBufferDC();
  if (!dc) return;
  buffer_.SetBackColor(GetClientRect(), RGB(255, 255, 255));
  model_.DoDraw(dc);
  DrawPageTurningBtn(dc);
  painter.drawImage(0, 0, *DCImage(dc));
}

// ---- Page buttons -------------------------------------------------------------------------------

void CDataPreview::PlacePageButtons(int leftWidth, int leftHeight, int rightWidth, int rightHeight) {
  const CRect c = GetClientRect();
  const int leftTop = c.top + (c.Height() - leftHeight) / 2;
  leftRect_ = CRect(c.left + leftWidth, leftTop, c.left + 2 * leftWidth, leftTop + leftHeight);
  const int rightTop = c.top + (c.Height() - rightHeight) / 2;
  rightRect_ = CRect(c.right - 2 * rightWidth, rightTop, c.right - rightWidth, rightTop + rightHeight);
}

int CDataPreview::CreatePageTurningBtn(const QString& leftPicture, const CRect& left, const QString& rightPicture,
                                       const CRect& right) {
  PlacePageButtons(left.Width(), left.Height(), right.Width(), right.Height());
  leftBtn_.NewImageFormFile(leftPicture.toStdString());
  const int loaded = rightBtn_.NewImageFormFile(rightPicture.toStdString());
  Invalidate();
  return loaded;
}

void CDataPreview::SetBtnState(bool left, int state) {
  const int s = state & 0x0F;
  btnStates_ = static_cast<BYTE>(left ? (btnStates_ & 0x0F) | (s << 4) : (btnStates_ & 0xF0) | s);
}

void CDataPreview::ShowLeftBtn(int show) {
  SetBtnState(true, show ? PAGE_BTN_NORMAL : PAGE_BTN_HIDDEN);
  Invalidate();
}

void CDataPreview::ShowRightBtn(int show) {
  SetBtnState(false, show ? PAGE_BTN_NORMAL : PAGE_BTN_HIDDEN);
  Invalidate();
}

void CDataPreview::DrawPageTurningBtn(HDC dc) {
  for (const bool left : {true, false}) {
    const int state = BtnState(left);
    if (state == PAGE_BTN_HIDDEN) continue;
    const CRect& r = left ? leftRect_ : rightRect_;
    const CGdiImage& picture = left ? leftBtn_ : rightBtn_;
    if (picture.GetImage()) gdi_.DrawImage(dc, picture.GetImage(), r);
    if (state == PAGE_BTN_HOVER)
      gdi_.DrawFillRect(dc, CPoint(r.left, r.top), CPoint(r.right, r.bottom), kHoverBlend);
    else if (state == PAGE_BTN_PRESSED)
      gdi_.DrawFillRect(dc, CPoint(r.left, r.top), CPoint(r.right, r.bottom), kPressBlend);
  }
}

int CDataPreview::ButtonAt(CPoint p) const {
  if (GetLeftBtnState() != PAGE_BTN_HIDDEN && leftRect_.PtInRect(p)) return kLeftSide;
  if (GetRightBtnState() != PAGE_BTN_HIDDEN && rightRect_.PtInRect(p)) return kRightSide;
  return 0;
}

// ---- Mouse ----------------------------------------------------------------------------------------

void CDataPreview::PressAt(UINT flags, CPoint p) {
  SetCapture();
  if (const int button = ButtonAt(p)) {
    SetBtnState(button == kLeftSide, PAGE_BTN_PRESSED);
    Invalidate();
  } else if (mouseToModel_) {
    model_.OnLButtonDown(flags, p);
  }
}

bool CDataPreview::OnLButtonDown(UINT flags, CPoint p) {
  PressAt(flags, p);
  return true;
}

void CDataPreview::OnLButtonUp(UINT flags, CPoint p) {
  ReleaseCapture();
  for (const bool left : {true, false}) {
    if (BtnState(left) != PAGE_BTN_PRESSED) continue;
    const bool over = (left ? leftRect_ : rightRect_).PtInRect(p);
    SetBtnState(left, over ? PAGE_BTN_HOVER : PAGE_BTN_NORMAL);
    if (over) PostMessage(GetParentWnd(), WM_PAGE_TURN, 0, left ? -1 : 1);
    Invalidate();
    return;
  }
  if (mouseToModel_) model_.OnLButtonUp(flags, p);
}

void CDataPreview::OnLButtonDblClk(UINT flags, CPoint p) {
  // A quick second press on a page button turns another page.
  if (ButtonAt(p)) {
    PressAt(flags, p);
    return;
  }
  CRect picture;
  picture.IntersectRect(model_.GetClientRect(), model_.GetImageRect());
  if (!picture.PtInRect(p)) return;
  const QString path = Photograph(0);
  if (!path.isEmpty()) SendTextMessage(GetParentWnd(), WM_PHOTOGRAPHED, 0, path);
}

void CDataPreview::OnMouseMove(UINT flags, CPoint p) {
  for (const bool left : {true, false}) {
    const int state = BtnState(left);
    if (state == PAGE_BTN_HIDDEN || state == PAGE_BTN_PRESSED) continue;
    SetBtnState(left, (left ? leftRect_ : rightRect_).PtInRect(p) ? PAGE_BTN_HOVER : PAGE_BTN_NORMAL);
  }
  Invalidate();
  if (mouseToModel_) model_.OnMouseMove(flags, p);
}

void CDataPreview::OnMouseLeave() {
  // No button stays lit once the pointer has left the window.
  for (const bool left : {true, false})
    if (BtnState(left) == PAGE_BTN_HOVER) SetBtnState(left, PAGE_BTN_NORMAL);
  Invalidate();
}

bool CDataPreview::OnMouseWheel(UINT flags, short delta, CPoint screenPoint) {
  if (wheelZoom_) {
    model_.OnMouseWheel(flags, delta, screenPoint);
    Invalidate();
  }
  return true;
}
