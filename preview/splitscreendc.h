#pragma once
// CSplitScreenDC: one canvas of an owner window showing either one picture
// (the single view) or one, two, four or six panes side by side, each a
// complete frame model (CCameraDC) fed by a camera or holding a picture
// file, with its own zoom, rotation and settings. It routes frames, mouse
// input and commands to the right model, lays the panes out, frames the
// current pane in blue, keeps a button bar on every empty pane and a
// rotate dial over the single view, and saves the canvas as one picture.
//
// It owns no window: the owner passes its window (Init), its canvas size,
// its paint surface (DoDraw) and its mouse input. The bars and the dial are
// layers over the owner placed in screen coordinates; the owner calls
// SetCanvasSize again when it moves, so that they stay on their panes.
//
// "Target" below is the single view while the current pane is 0, else the
// current pane. Views are numbered 0 (single) and 1 to 6 (panes).

#include "overlay/rotate_layers.h"
#include "overlay/window_layer.h"
#include "preview/cameradc.h"

#include <array>
#include <string>

// Drive id of a view that no camera feeds after the canvas was hidden.
constexpr unsigned kHiddenDrive = 0xFFFFFFFFu;

class CSplitScreenDC {
 public:
  static constexpr int kPanes = 6;

  CSplitScreenDC();
  ~CSplitScreenDC();
  CSplitScreenDC(const CSplitScreenDC&) = delete;
  CSplitScreenDC& operator=(const CSplitScreenDC&) = delete;

  // Ties every view to the owner, empties and locks them, and creates the
  // six button bars and the rotate dial over the owner (hidden).
  void Init(CWnd* owner);

  // 0 (single view), 1, 2, 4 or 6 panes; 8 and 12 show the six-pane
  // layout. Empties and locks every view. 0 for any other count, which
  // changes nothing.
  int SetCanvasArea(int count);
  // Stores the canvas size and lays the views, bars and dial out; a size
  // that differs from the stored one fits every view's picture anew.
  void SetCanvasSize(int width, int height);
  int GetAllCamera() const { return count_; }
  int GetCurCamera() const { return current_; }
  CSize GetCanvasSize() const { return CSize(width_, height_); }

  // A frame of camera `driveId` to every unlocked view that camera feeds.
  // 0 without data.
  int SetImageData(const BYTE* data, int width, int height, int depth, const tagRGBQUAD* palette,
                   unsigned driveId);
  // The view shows camera `driveId` (its lock cleared, its bar hidden).
  // 0 for a view outside 0–6.
  int LoadCamera(unsigned driveId, unsigned view);
  // The view shows the picture file. 0 for a view outside 0–6 or a file
  // that cannot be read, which leaves the view and its bar as they were.
  int LoadImageW(const std::string& path, unsigned view);

  // View 0 or 1–6; any other value locks or unlocks every view.
  void LockVideo(int lock, int view);
  // 0 for views outside 0–6.
  int IsLockVideo(int view) const;
  void LockAllVideo();

  void SetDriveId(unsigned id);
  // kHiddenDrive without a target.
  unsigned GetCurCameraDriveId() const;
  void SetTipString(const QString& text);
  // The tip of every view camera `driveId` feeds.
  void SetTipString(int driveId, const QString& text);

  // On the target, with the zoom notice.
  void RealitySize();
  void SuitableSize();
  void SetCameraSize(double zoom);
  int SetLuminosity(int value);
  int GetLuminosity() const;
  int SetContrast(int value);
  int GetContrast() const;
  int SetSaturation(int value);
  int GetSaturation() const;
  // A quarter turn, flip or mirror of the target; the dial follows the
  // single view's angle.
  void RotationCamera(int command);
  // The single view (only while it is the target) turned to `degrees`. 1.
  int RotateImage(int degrees);
  // The single view's angle while it is the target, else 0.
  int GetRotationAngle() const;
  // Shows the dial over the single view at minus its angle, or hides it.
  void OpenMRotation();

  // View 0 or 1–6; any other value resets every view's zoom.
  void ReSetZoom(int view);
  // Empties view 0 or a pane (its bar shown); any other value empties all.
  void ClearData(int view);
  void ClearCameraData(unsigned driveId);

  void ShowCanvasDC(int show);
  void HideCanvasDC();
  // Every pane of the layout shows its number in its corner.
  void OpenPageShow();

  // Paints the single view or the panes of the layout, then the blue frame
  // around the current pane.
  void DoDraw(HDC dc);
  // A blue frame of pen width 2 along `rect`.
  void DrawRect(HDC dc, const CRect& rect);
  // Client ∩ image rectangle of view 0–6; empty for other values.
  CRect GetImageRect(int view) const;

  // The single view's shown area of the screen (the owner's rectangle when
  // it is empty), or the owner's canvas, read from the screen with whatever
  // lies over it, saved in the path's format with its thumbnail. 0 without
  // an owner, when the screen cannot be read or the file not written.
  int SaveJpegFile0(const std::string& path);
  int SaveJpegFile(const std::string& path);

  // Points in canvas coordinates; the wheel's in screen coordinates.
  int OnLButtonDown(UINT flags, CPoint point);
  int OnLButtonUp(UINT flags, CPoint point);
  int OnMouseMove(UINT flags, CPoint point);
  int OnMouseWheel(UINT flags, short delta, CPoint point);

  void SetGesture(int gesture) { gesture_ = gesture; }
  int GetGesture() const { return gesture_; }

  // View 0–6 (null for others), pane bar 1–6 (null for others), the dial.
  CCameraDC* GetView(int view);
  const CCameraDC* GetView(int view) const;
  CSplitScreenBtn* GetPaneButton(int pane);
  CRotateBgLayer& GetRotateLayer() { return rotate_; }

 private:
  // Panes the layout shows: 0 for the single view, at most six.
  int LaidOutPanes() const;
  CCameraDC* Target();
  const CCameraDC* Target() const;
  // The owner's client rectangle moved to the screen.
  CRect ToScreen(const CRect& client) const;
  void InvalidateCanvas(const CRect& rect);
  void Layout(bool sizeChanged);
  // Every view fits its next picture; one already there is fitted at once.
  void RefitViews();
  int SaveScreen(const CRect& screenArea, const std::string& path);

  CCameraDC single_;
  CWnd* owner_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  std::array<CCameraDC, kPanes> panes_;
  std::array<CSplitScreenBtn, kPanes> buttons_;
  int current_ = 0;
  CRotateBgLayer rotate_;
  int count_ = 0;
  int gesture_ = 1;
};
