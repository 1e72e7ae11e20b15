#pragma once
// CDataPreview: the window that shows the live camera picture or a still
// picture, zoomed, dragged, cropped and photographed. It owns one frame
// model and paints it through a window buffer of its own; it hosts the crop
// layer and the certificates layer; it takes photographs into named files,
// turns pages with two buttons, and watches the camera picture for a page
// that has come to rest after a page turn (automatic photographing).
//
// Notices to the parent: WM_PAGE_TURN (posted, lParam -1 previous, 1 next),
// WM_AUTO_PHOTOGRAPH (posted: take the photograph now) and WM_PHOTOGRAPHED
// (sent, lParam the path as a `const QString*` valid during the call).

#include "canvas/bufferdc.h"
#include "canvas/gdidc.h"
#include "imaging/data_handler.h"
#include "imaging/gdi_image.h"
#include "overlay/cut_layers.h"
#include "platform/window.h"
#include "preview/cameradc.h"
#include "preview/certificateslayer.h"

#include <QString>

class CGdiSlider;

// Page button states (the high nibble of the state byte is the left button).
constexpr int PAGE_BTN_HIDDEN = 0;
constexpr int PAGE_BTN_NORMAL = 1;
constexpr int PAGE_BTN_HOVER = 2;
constexpr int PAGE_BTN_PRESSED = 3;

class CDataPreview : public CWnd {
 public:
  // Change counts of automatic photographing: above kMovingPoints the page
  // is moving; at most kRestingPoints, after kRestFrames calmer frames, it
  // rests and is photographed.
  static constexpr int kMovingPoints = 800;
  static constexpr int kRestingPoints = 99;
  static constexpr int kRestFrames = 5;
  // The translucent light blue over a hovered and a pressed page button.
  static constexpr Gdiplus::ARGB kHoverBlend = 0x3070C0E7u;
  static constexpr Gdiplus::ARGB kPressBlend = 0x9670C0E7u;
  // The filter of the save dialog of the crop layer's save command.
  static const QString kSaveFilter;

  CDataPreview();
  ~CDataPreview() override;

  // Creates the preview as a child of `parent` at `rect` with its crop layer
  // and certificates layer (both hidden).
  bool Create(CWnd* parent, const CRect& rect, UINT id = 0);

  // ---- Frames ----------------------------------------------------------------

  // A camera frame from camera `index`: without data the no-signal tip is
  // shown (0); a frame of another camera than the model's is ignored (1);
  // else it goes to the model and automatic photographing looks at it (1).
  int SetImageData(int index, const BYTE* data, int width, int height, int depth, const tagRGBQUAD* palette);
  // Hands the frame to the model (refused there under the video lock) and
  // invalidates; 1.
  virtual int SetImageData(const BYTE* data, int width, int height, int depth, const tagRGBQUAD* palette);
  // A camera is (re)attached: zoom 0, the drive id, the video lock cleared.
  void ReSetCameraDC(int driveId);

  // ---- Still pictures and photographs -------------------------------------------

  // Loads a picture file into the model (the crop layer is hidden); 0 when
  // it cannot be read (the model is then empty).
  int LoadImageData(const QString& path);
  // Loads the remembered picture again, discarding every edit; its path.
  QString ReSetImage();
  // Saves the shown picture to `path`, or to the remembered picture path
  // when it is empty. The path used, or empty when nothing was saved.
  QString SaveImage(const QString& path = {});
  // Photographs the shown picture (or the page inside the green frame) to
  // `path`, or to a new name in the picture folder in the configured format.
  // The photograph's path, or empty when none was written or the
  // certificates layer still waits for the second side. With `showMessage`
  // the saved path is shown in a message box; a failure always is.
  QString Photograph(int showMessage, const QString& path = {});
  QString GetImagePath() const { return imagePath_; }
  QString GetPicDataPath() const { return picFolder_; }
  void SetPicDataPath(const QString& folder) { picFolder_ = folder; }

  // ---- View and picture settings (passed to the model) ---------------------------

  int GetZoom() const { return model_.GetZoom(); }
  void SetCameraSize(int zoom);
  void SuitableSize();
  void RealitySize();
  void RotationCamera(int command);
  int RecordCanUndo() const { return model_.RecordCanUndo(); }
  int RecordUndo();
  int RecordRedo();
  void SetShowMode(SHOW_MODE mode);
  void SetShowGray(int on) { SetShowMode(on ? SHOW_GRAY : SHOW_NORMAL); }
  int SetLuminosity(int value) { return model_.SetLuminosity(value); }
  int GetLuminosity() const { return model_.GetLuminosity(); }
  int SetContrast(int value) { return model_.SetContrast(value); }
  int GetContrast() const { return model_.GetContrast(); }
  int SetSaturation(int value) { return model_.SetSaturation(value); }
  int GetSaturation() const { return model_.GetSaturation(); }
  int SetToneRGB(int red, int green, int blue) { return model_.SetToneRGB(red, green, blue); }
  int GetToneR() const { return model_.GetToneR(); }
  int GetToneG() const { return model_.GetToneG(); }
  int GetToneB() const { return model_.GetToneB(); }
  int CutBlackSide(int mode) { return model_.OpenCutBlackSide(mode); }
  int OpenCorrect(int on) { return model_.OpenCorrect(on); }
  void RemoveHotpixel(int on) { model_.RemoveHotpixel(on); }
  // Turning the green frame on hides the crop layer first.
  int OpenGreenFrame(int on);
  void SetTipString(const QString& text);
  CRect GetCameraDCImageRect() const { return model_.GetImageRect(); }
  CRect GetCameraDCClientRect() const { return model_.GetClientRect(); }
  // The whole shown picture as a new bitmap the caller deletes; null when empty.
  QImage* GetCameraDCBitmap() { return model_.GetVideoBitmap(CRect()); }

  // ---- Layers and page buttons ---------------------------------------------------

  // Shows the crop layer over the picture (with the button bar when
  // `buttons`, in text-recognition mode when `ocrMode`), or hides it when shown.
  void OpenVideoCutLayer(int buttons, int ocrMode);
  // Shows (non-zero) or hides the certificates layer.
  void OpenCertificatesPhoto(int on);
  // Hiding also hides both layers.
  int ShowWindow(int cmd) override;
  // Places the page buttons (each keeps its rectangle's size) and loads
  // their pictures; the right picture's load result.
  int CreatePageTurningBtn(const QString& leftPicture, const CRect& left, const QString& rightPicture,
                           const CRect& right);
  void ShowLeftBtn(int show);
  void ShowRightBtn(int show);
  void DrawPageTurningBtn(HDC dc);
  int GetLeftBtnState() const { return (btnStates_ >> 4) & 0x0F; }
  int GetRightBtnState() const { return btnStates_ & 0x0F; }
  CRect GetLeftBtnRect() const { return leftRect_; }
  CRect GetRightBtnRect() const { return rightRect_; }

  // ---- Accessors of the owner ------------------------------------------------------

  void SetGdiSlider(CGdiSlider* slider) { slider_ = slider; }
  void SetHistoryRecordHwnd(HWND window) { historyWnd_ = window; }
  // Also lets the picture move again.
  void SetAutoPhotoGraphs(int on) {
    autoPhoto_ = on;
    model_.SetVideoLock(0);
  }
  int GetAutoPhotoGraphs() const { return autoPhoto_; }
  void SetIsRollTrackBall(int on) { wheelZoom_ = on; }
  void SetIsLButtonDown(int on) { mouseToModel_ = on; }
  void SetGdiImage(CGdiImage* logo) { logo_ = logo; }
  CGdiImage* GetGdiImage() const { return logo_; }
  void SetGesture(int gesture) { gesture_ = gesture; }
  int GetGesture() const { return gesture_; }
  void SetPhotographHwnd(HWND) {}

  CCameraDC& GetCameraDC() { return model_; }
  CCutBgLayer& GetCutLayer() { return cutLayer_; }
  CCertificatesLayer& GetCertificatesLayer() { return certificates_; }
  int GetPhotographCountdown() const { return countdown_; }
  // The window buffer (null before the first erase).
  HDC GetWindowBufferDC() const { return buffer_.GetBufferDC(); }

 protected:
  bool OnEraseBkgnd(QPainter& painter) override;
  void OnPaint(QPainter& painter) override;
  void OnSize(int cx, int cy) override;
  void OnMove(int x, int y) override;
  bool OnLButtonDown(UINT flags, CPoint p) override;
  void OnLButtonUp(UINT flags, CPoint p) override;
  void OnLButtonDblClk(UINT flags, CPoint p) override;
  void OnMouseMove(UINT flags, CPoint p) override;
  void OnMouseLeave() override;
  bool OnMouseWheel(UINT flags, short delta, CPoint screenPoint) override;

 private:
  LRESULT OnUpdateZoom(WPARAM wParam, LPARAM lParam);
  LRESULT OnHistoryRecord(WPARAM wParam, LPARAM lParam);
  LRESULT OnUpdateCutArea(WPARAM wParam, LPARAM lParam);
  // The crop rectangle, normalised (a handle dragged past the opposite edge
  // leaves it inverted while the button is down).
  CRect CutRect() const;
  void SaveCutArea(const CRect& rect);
  void CopyCutArea(const CRect& rect);
  void WatchForRest(const BYTE* data, int width, int height, int depth, const tagRGBQUAD* palette);
  void PlacePageButtons(int leftWidth, int leftHeight, int rightWidth, int rightHeight);
  void PlaceCutLayer();
  void SetBtnState(bool left, int state);
  int BtnState(bool left) const { return left ? GetLeftBtnState() : GetRightBtnState(); }
  // Which shown button lies under the point: 1 left, 2 right, 0 none.
  int ButtonAt(CPoint p) const;
  void PressAt(UINT flags, CPoint p);
  void ShowFailure();

  CBufferDC buffer_;
  CCameraDC model_;
  CCutBgLayer cutLayer_;
  CCertificatesLayer certificates_;
  CGdiSlider* slider_ = nullptr;
  QString picFolder_;
  QString imagePath_;
  HWND historyWnd_ = nullptr;
  int autoPhoto_ = 0;
  BYTE* motionPlane_ = nullptr;
  int motionWidth_ = 0;
  int motionHeight_ = 0;
  int countdown_ = -1;
  CGdiDC gdi_;
  BYTE btnStates_ = 0;
  CGdiImage leftBtn_, rightBtn_;
  CRect leftRect_, rightRect_;
  int wheelZoom_ = 1;
  int mouseToModel_ = 1;
  CGdiImage* logo_ = nullptr;
  int gesture_ = 0;
  CDataHandler handler_;
};
