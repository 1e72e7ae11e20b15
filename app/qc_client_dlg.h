#pragma once
// CQCClientDlg: the picture area of the quick capture window. It opens the
// main camera itself, shows its live picture through its own frame model,
// and lets the user frame an area with a green selection rectangle (eight
// size handles and a move handle, the wheel grows or shrinks it). A
// double-click puts the area on the clipboard and "grabs" it; a press inside
// the grabbed area saves it as a JPEG file in the course folder and offers
// that file for dragging into another program. The file is deleted again
// after the drag.

#include "canvas/bufferdc.h"
#include "contracts/camera/camera.h"
#include "overlay/xml_list_mgr.h"
#include "platform/records.h"
#include "platform/window.h"
#include "preview/cameradc.h"

#include <QString>

#include <list>
#include <memory>
#include <string>

class QScrollBar;

// Retry timer of a camera that failed to open, and its period.
constexpr UINT QC_RETRY_TIMER = 10;
constexpr int QC_RETRY_MS = 1000;
// Handles of the selection rectangle, in hit-test order; 9 is the inside.
constexpr int QC_HANDLE_NONE = -1;
constexpr int QC_HANDLE_MOVE = 9;
// Side of a handle square.
constexpr int QC_HANDLE_SIZE = 8;
// Control ids of the client's description-file block (window 2).
constexpr int QC_CTRL_HINT = 3004;

// Status text when the camera cannot be opened and the capture system gives
// no text of its own.
inline constexpr const char* kCameraLoadFailed = "视频设备加载失败！";

// Opens the main camera for `window`: camera index ("firstCamera"
// "serialId", default 0, negative means 0), resolution selector ("dpi",
// default 0) and pixel format ("dpitype", default ":") of the camera
// configuration. Returns the camera's open result (0 on success) and, in
// `index`, the camera index used.
int OpenFirstCamera(CUsbCamera& camera, HWND window, int& index);
// The status text for a failed open result.
QString CameraOpenFailureText(int result);

// The window that shows the hint text over the bottom of the picture. It
// draws only the text (with a thin contrasting outline so that it stays
// readable on any picture) and lets the mouse pass through to the client.
class CQCHintWnd : public CWnd {
 public:
  bool Create(CWnd* parent, const CRect& rect);
  void SetHint(const QString& text, const QColor& colour);
  void SetTextStyle(const QFont& font, UINT format);
  const QString& GetHintText() const { return text_; }
  QColor GetHintColour() const { return colour_; }

 protected:
  void OnPaint(QPainter& painter) override;

 private:
  QString text_;
  QColor colour_ = Qt::white;
  QFont font_;
  UINT format_ = 0;
};

class CQCClientDlg : public CWnd {
 public:
  // Without a camera the client makes its own (the default providers).
  explicit CQCClientDlg(std::unique_ptr<CUsbCamera> camera = nullptr);
  ~CQCClientDlg() override;

  // Creates the client as child `id` of `parent` at `rect`: makes the course
  // folder, connects the frame model to this window and lays out the hint
  // window from the "quickcap" description files (window 2).
  bool Create(CWnd* parent, const CRect& rect, UINT id);

  // Opens the main camera; on failure shows the status text and retries
  // every second. 1 when the camera is open.
  int OpenCamera();
  // Closes the camera, stops retrying and empties the picture.
  void CloseCamera();

  // The frame road: one WM_CAMERA_FRAME (wParam camera index, lParam the
  // _CAMERAFRAME record of platform/records.h).
  LRESULT OnCameraFrame(WPARAM wParam, LPARAM lParam);

  // Which handle lies under the point (1–8 the squares, 9 inside, -1 none).
  int HitTest(CPoint point) const;
  CursorShape CursorFor(int handle) const;

  // The status text last given to the model (shown while it has no picture).
  const QString& GetStatusText() const { return status_; }
  CRect GetSelection() const { return selection_; }
  void SetSelection(const CRect& rect) { selection_ = rect; }
  int GetHandle() const { return handle_; }
  int IsGrabbed() const { return grabbed_; }
  CCameraDC& GetModel() { return model_; }
  CUsbCamera& GetCamera() { return *camera_; }
  CQCHintWnd& GetHintWnd() { return hint_; }
  QScrollBar* GetScrollBar() const { return scrollBar_; }

  // How long a dropped file stays in the course folder before it is
  // deleted: the receiving program may still be copying it when the drag
  // ends. A cancelled drag deletes the file at once.
  void SetDropKeepMs(int ms) { dropKeepMs_ = ms; }
  // Files handed out by drags and not yet deleted.
  const std::list<std::string>& GetPendingFiles() const { return pending_; }

 protected:
  // Runs the drag of one file (a file URL, copy or move allowed) until the
  // user drops or cancels; returns what the target did. Tests replace it,
  // because a real drag runs its own event loop.
  virtual Qt::DropAction RunFileDrag(const QString& path);

  bool OnLButtonDown(UINT flags, CPoint p) override;
  void OnLButtonUp(UINT flags, CPoint p) override;
  void OnLButtonDblClk(UINT flags, CPoint p) override;
  void OnMouseMove(UINT flags, CPoint p) override;
  bool OnMouseWheel(UINT flags, short delta, CPoint screenPoint) override;
  void OnPaint(QPainter& painter) override;
  void OnSize(int cx, int cy) override;
  void OnTimer(UINT id) override;
  void OnShowWindow(bool show) override;

 private:
  // Puts left ≤ right and top ≤ bottom, grows an empty rectangle by one
  // pixel on every side and keeps it on the picture.
  void NormaliseSelection();
  // Saves the selected area in the course folder, offers it for dragging
  // and deletes it afterwards.
  void DragAreaOut();
  // The name of a new file in the course folder for the current time.
  std::string NewCourseFileName() const;
  // Deletes a handed-out file and its thumbnail.
  static void DeleteHandedOutFile(const std::string& path);
  void DeletePendingFile(const std::string& path);
  // Drops camera frames still queued for this window (after the stream
  // they belong to has ended).
  void DiscardQueuedFrames();
  void SetStatusText(const QString& text);
  void DrawSelection(HDC dc);
  // Shows the hint that goes with the model's video lock.
  void UpdateHint();

  std::unique_ptr<CUsbCamera> camera_;
  CCameraDC model_;
  CBufferDC windowBuffer_;
  QScrollBar* scrollBar_ = nullptr;
  QString status_;
  CRect selection_;
  CPoint lastPoint_;
  int handle_ = QC_HANDLE_NONE;
  int grabbed_ = 0;
  UINT retryTimer_ = QC_RETRY_TIMER;
  CQCHintWnd hint_;
  int hintLock_ = 0;  // the video lock the hint was chosen for
  CXmlListMgr layout_;
  int dropKeepMs_ = 60000;
  std::list<std::string> pending_;
};
