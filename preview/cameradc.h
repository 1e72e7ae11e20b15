#pragma once
// CCameraDC: the frame model of the preview. It keeps the current picture
// (the last camera frame or a still picture loaded from a file), turns it
// into what the user sees (hot pixels, rotation, cut, tone, display mode),
// keeps that in an off-screen buffer and paints it into the owner's surface
// at the chosen zoom and position. It owns no window: the owner passes its
// window handle, its client rectangle and its mouse input.
//
// Frame buffers follow the picture-buffer convention of CDataHandler
// (bottom-up rows padded to 4 bytes, NewMem/DelMem). The crop is in frame
// pixels with the origin at the bottom-left corner.

#include "canvas/bufferdc.h"
#include "canvas/devicecontext.h"
#include "imaging/bitmap_file.h"
#include "imaging/data_handler.h"
#include "platform/geometry.h"
#include "platform/messages.h"
#include "platform/records.h"
#include "preview/historyrecord.h"
#include "preview/preview_messages.h"

#include <QString>

#include <mutex>
#include <string>

enum SHOW_MODE : int {
  SHOW_NORMAL = 0,
  SHOW_GRAY = 1,
  SHOW_BLACKWHITE = 2,
  SHOW_REVERSED = 3,
  SHOW_RELIEF = 4,
  SHOW_SHARPEN = 5,
  SHOW_NONE = 6,
};

enum IMAGE_ZOOM : int {
  ZOOM_SUITABLE = 0,
  ZOOM_WIDTH = 1,
  ZOOM_REALITY = 2,
  ZOOM_KEEPWIDTH = 3,
  ZOOM_KEEPHEIGHT = 4,
  ZOOM_KEEP = 5,
};

// Drive id of a model that no camera feeds.
constexpr unsigned kNoCameraDrive = 255;

class CCameraDC {
 public:
  CCameraDC();
  virtual ~CCameraDC();
  CCameraDC(const CCameraDC&) = delete;
  CCameraDC& operator=(const CCameraDC&) = delete;

  // ---- Frame input and state ----------------------------------------------

  // One camera frame through the whole pipeline, then painted. 0 while the
  // video lock is set or when the frame cannot be copied.
  virtual int SetImageData(const BYTE* data, int width, int height, int depth, const tagRGBQUAD* palette);
  // Replaces the frame with a copy (palette kept only for depth 8).
  int CopyColorImageData(const BYTE* data, int width, int height, int depth, const tagRGBQUAD* palette);
  // A still picture from a file (sets the video lock). 0 when it cannot be loaded.
  int LoadImageData(const std::string& path);
  void ClearData();
  // Redraws from the current frame and invalidates the client rectangle; 0 when empty.
  int InvalidateData();
  int IsEmpty() const { return buffer_.GetBufferDC() == nullptr ? 1 : 0; }

  void OpenBg(int on) { bgOn_ = on; }
  void SetBgColor(COLORREF color) { bgColor_ = color; }
  void SetTipString(const QString& text) { tip_ = text; }
  void SetPage(int page) { page_ = page; }
  void SetImageZoomType(IMAGE_ZOOM type) { zoomType_ = type; }
  void SetHwnd(HWND window) {
    hwnd_ = window;
    history_.SetHwnd(window);
  }
  void SetDC(HDC dc) { targetDc_ = dc; }
  void SetVideoLock(int lock) { videoLock_ = lock; }
  void SetDriveId(unsigned id) { driveId_ = id; }
  void ShowCameraDC(int shown) { shown_ = shown; }
  void RemoveHotpixel(int on) { hotPixel_ = on; }
  void SetShowDPI(int on) { showResolution_ = on; }
  void ReSetZoom() { zoom_ = 0; }
  void ReSetRotation() {
    rotationState_ = 0;
    rotationAngle_ = 0;
  }

  int GetVideoLock() const { return videoLock_; }
  unsigned GetDriveId() const { return driveId_; }
  int GetRotationAngle() const { return rotationAngle_; }
  int GetRotationState() const { return rotationState_; }
  int GetZoom() const { return zoom_; }
  CRect GetImageRect() const { return imageRect_; }
  CRect GetClientRect() const { return clientRect_; }
  CRect GetBufferRect() const { return buffer_.GetBufferRect(); }
  HDC GetBufferDC() const { return buffer_.GetBufferDC(); }
  int GetToneR() const { return toneR_; }
  int GetToneG() const { return toneG_; }
  int GetToneB() const { return toneB_; }
  SHOW_MODE GetShowMode() const { return showMode_; }
  CRect GetCrop() const { return crop_; }
  int GetCutMode() const { return cutMode_; }
  int GetResolutionCountdown() const { return resolutionCountdown_; }
  // The current frame (after rotation); null when empty.
  const BYTE* GetFrame() const { return frame_; }
  int GetFrameWidth() const { return static_cast<int>(width_); }
  int GetFrameHeight() const { return static_cast<int>(height_); }
  int GetFrameDepth() const { return depth_; }
  const CHistoryRecord& GetHistory() const { return history_; }

  // Sets the client rectangle; paints into the target surface at once when draw is set.
  void MoveWindow(const CRect& client, int draw);

  // ---- Picture settings -----------------------------------------------------

  // Accepted only with a frame and no camera feeding the model (drive id 255).
  int SetLuminosity(int value);
  int SetContrast(int value);
  int SetSaturation(int value);
  int SetToneRGB(int red, int green, int blue);
  // The value while no camera feeds the model, 255 otherwise.
  int GetLuminosity() const { return driveId_ == kNoCameraDrive ? luminosity_ : 255; }
  int GetContrast() const { return driveId_ == kNoCameraDrive ? contrast_ : 255; }
  int GetSaturation() const { return driveId_ == kNoCameraDrive ? saturation_ : 255; }
  void SetShowMode(SHOW_MODE mode);
  // 0 shows the whole frame again; any other mode cuts the current crop
  // down to the page found inside it (the crop stays when none is found).
  int OpenCutBlackSide(int mode);
  // Stores the page-correction flag; 1 straightens the current frame at once.
  int OpenCorrect(int on);
  // Page-side detection on every rendered frame, drawn in green.
  int OpenGreenFrame(int on);
  int GetCorrect() const { return correct_; }
  int GetGreenFrame() const { return greenFrame_; }
  const _SEGMENT* GetGreenSegments() const { return segments_; }
  const _STRAIGHTLINE* GetGreenLines() const { return lines_; }
  _STRAIGHTLINE GetMainLine() const { return mainLine_; }
  // Cut to a rectangle given in client coordinates (cut mode 2).
  void SetVideoCutRect(const CRect& rect);
  // 1 quarter turn clockwise, -1 counter-clockwise, 2 flip, 3 mirror.
  void RotationCamera(int command);
  // Sets the angle and shows the frame turned by it: the frame as it was
  // before any free angle is kept, so that each new angle turns that
  // picture again rather than the one already turned.
  int RotationCameraEx(int degrees);
  int RecordUndo();
  int RecordRedo();
  int RecordCanUndo() const { return history_.GetPos() > 0 ? 1 : 0; }

  // ---- View -------------------------------------------------------------------

  void SuitableSize(int notify);
  void SuitableWidth(int notify);
  void RealitySize(int notify);
  void KeepWidth(int notify);
  void KeepHeight(int notify);
  void SetCameraSize(int zoom, int notify);
  int SuitableZoom();
  int UpdateImageRect();
  void MoveImage(CSize offset) { imageRect_.OffsetRect(offset.cx, offset.cy); }

  int OnLButtonDown(UINT flags, CPoint point);
  int OnLButtonUp(UINT flags, CPoint point);
  int OnMouseMove(UINT flags, CPoint point);
  // `point` in screen coordinates.
  int OnMouseWheel(UINT flags, short delta, CPoint point);

  // ---- Painting ---------------------------------------------------------------

  void DoDraw(HDC dc);
  void DrawBg(HDC dc);
  void DrawPageNumber(HDC dc, int page);
  void DrawRect(HDC dc, const CRect& rect);
  int Data2DC(const BYTE* data, int width, int height, int depth, const tagRGBQUAD* palette);

  // Display-mode transform of a picture in place: `data` may be replaced
  // (NewMem), depth, image size and palette rewritten. Returns the mode
  // applied, SHOW_NONE for a bad picture.
  SHOW_MODE GetShowModeData(SHOW_MODE mode, BYTE*& data, int width, int height, DWORD& imageSize, int& depth,
                            tagRGBQUAD* palette);

  // ---- Output -----------------------------------------------------------------

  // The picture as shown, in the format of the path's extension.
  int SaveJpegFile(const std::string& path);
  // A bitmap as a 24-bit picture.
  int SaveJpegFile(const std::string& path, const QImage* bitmap);
  // Two bitmaps on a white canvas, one above the other or side by side.
  int SaveJpegFile(const std::string& path, const QImage* first, const QImage* second, int vertical);
  // Depths 24 and 32 only; dpi converted to pixels per metre.
  int SaveBmpFile(const std::string& path, int width, int height, const BYTE* data, int dpiX, int dpiY,
                  int depth);
  // A part of the shown picture (client coordinates) as a new bitmap the
  // caller owns; the whole buffer when the part is empty. Null when empty.
  QImage* GetVideoBitmap(const CRect& rect);
  // Rows of the frame under a client rectangle into a new NewMem buffer
  // (the caller's old one is released).
  int GetVideoData(const CRect& rect, BYTE*& data, int& width, int& height, int& depth);
  // Shown part of the picture in screen coordinates; empty while not shown.
  CRect GetSafeArea() const;
  // The page sides found on the buffer (buffer pixels, rows from the top);
  // also keeps the page lines and main line for SaveGreenFrame. 0 without
  // a buffer or when nothing can be searched (segments then all -1).
  int GetDestArea(_SEGMENT segments[4]);
  // The page inside the green frame, straightened, in the path's format.
  int SaveGreenFrame(const std::string& path);
  // SaveGreenFrame while the green frame is on, else SaveJpegFile.
  int SaveJpegFileEx(const std::string& path);

  // Pixels per metre of saved bitmaps: "output" "bmpDPIX"/"bmpDPIY" of the
  // camera configuration (default 300 dpi) as dpi / 0.0254 + 1.
  static LONG DpiToPelsPerMeter(int dpi);

 private:
  // A client rectangle mapped into frame pixels (bottom-left origin), as
  // the cut rectangle is. Empty when it misses the picture.
  CRect ClientToFrame(const CRect& rect) const;
  // A client rectangle mapped into buffer pixels (top-down).
  CRect ClientToBuffer(const CRect& rect) const;
  void AddSnapshot();
  int StepHistory(bool undo);
  void Redraw();
  void InvalidateClient();
  void NotifyZoom(int notify);
  void PlaceCentred(int zoom);
  static int ClampZoom(int zoom);
  // The background around `covered` (the whole client when it is empty); the
  // etched edge only when nothing is covered, as a picture pasted over the
  // background is followed by its own edge.
  void FillBackground(HDC dc, const CRect& covered);
  void DrawEtchedEdge(HDC dc, const CRect& rect);
  void DrawCentredText(HDC dc, const QString& text, const CRect& rect, COLORREF color, int height, int weight,
                       bool centreHorizontally);
  void ReleaseFrame();
  // Forgets the picture kept for free rotation (the frame was replaced).
  void ReleaseUnturned();
  void ResetGreenData();
  void DrawGreenSegments(HDC dc);
  // The buffer as a 24-bit picture (bottom row first); false when empty.
  bool BufferPicture(CBitmapPicture& picture) const;
  int SaveBuffer24(const std::string& path, const BYTE* data, long width, long height);

  CDataHandler handler_;
  BYTE* frame_ = nullptr;
  tagRGBQUAD* palette_ = nullptr;
  long width_ = 0;
  long height_ = 0;
  int depth_ = 0;
  // The frame before free rotation, at angle unturnedAngle_ (quarter turns,
  // flips and mirrors applied to it as to the frame); null while the frame
  // itself is that picture.
  BYTE* unturned_ = nullptr;
  long unturnedWidth_ = 0;
  long unturnedHeight_ = 0;
  int unturnedAngle_ = 0;
  CBufferDC buffer_;
  CRect clientRect_;
  CRect imageRect_;
  QString tip_;
  int page_ = -1;
  int waitDots_ = 0;
  int dragging_ = 0;
  int lastX_ = 0;
  int lastY_ = 0;
  int startX_ = 0;
  int startY_ = 0;
  int bgOn_ = 1;
  COLORREF bgColor_ = RGB(236, 239, 243);
  int zoom_ = 0;
  IMAGE_ZOOM zoomType_ = ZOOM_KEEP;
  HWND hwnd_ = nullptr;
  HDC targetDc_ = nullptr;
  int videoLock_ = 0;
  int rotationState_ = 0;
  int rotationAngle_ = 0;
  unsigned driveId_ = kNoCameraDrive;
  SHOW_MODE showMode_ = SHOW_NORMAL;
  int luminosity_ = 0;
  int contrast_ = 0;
  int saturation_ = 0;
  int toneR_ = 255;
  int toneG_ = 255;
  int toneB_ = 255;
  CHistoryRecord history_;
  std::mutex frameLock_;
  CRect crop_;
  int cutMode_ = 0;
  int shown_ = 0;
  int hotPixel_ = 0;
  int resolutionCountdown_ = 0;
  int showResolution_ = 0;
  int correct_ = 0;
  int greenFrame_ = 0;
  _SEGMENT segments_[4]{{-1, -1, -1, -1}, {-1, -1, -1, -1}, {-1, -1, -1, -1}, {-1, -1, -1, -1}};
  _STRAIGHTLINE lines_[4]{{-1, -1, -1}, {-1, -1, -1}, {-1, -1, -1}, {-1, -1, -1}};
  _STRAIGHTLINE mainLine_{0, 0, -1};
};
