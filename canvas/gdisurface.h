#pragma once
// Screen capture surfaces. CGDISurface grabs a rectangle of the screen,
// mouse pointer included, either as a device-independent bitmap or scaled
// into a packed 24-bit frame with an optional logo in the top-right corner
// (the screen recorder's frame source). CDXSurface offers the same two
// captures with whole-number enlargement instead of halftone shrinking.
//
// Result buffers are allocated with malloc (one spare zero byte at the end)
// and released by the caller with free; a buffer passed in non-null is freed
// and replaced. Rows are bottom-up, pixels blue, green, red.

#include "canvas/devicecontext.h"
#include "canvas/screengrabber.h"
#include "imaging/gdi_image.h"

#include <QImage>

#include <memory>

class CGDISurface {
 public:
  CGDISurface();
  ~CGDISurface();
  // Copies share the display connection.
  CGDISurface(const CGDISurface&) = default;
  CGDISurface& operator=(const CGDISurface&) = default;

  // Connects to the screen and arms the logo for 75 frames. 0 when there is no usable display.
  int Init();
  int Close();

  // The logo stamped on the first frames after Init (not owned; null: none).
  // The logo stamped on the first frames after Init; the caller keeps it alive.
  void SetGdiImage(CGdiImage* logo) { logo_ = logo; }
  CGdiImage* GetGdiImage() const { return logo_; }

  // The area (clipped to the screen) as a 24-bit picture with the pointer.
  int GetSurfaceImage(const CRect& area, QImage& image);
  // The area as 24-bit rows padded to 4 bytes, with its header.
  int GetSurfaceData(const CRect& area, BYTE*& bits, BITMAPINFOHEADER& header);
  // The area scaled (never enlarged) and centred into width × height packed
  // 24-bit rows; non-positive sizes ask for the captured size. Reports the
  // output size and its byte count.
  int GetSurfaceData24(const CRect& area, int& width, int& height, BYTE*& bits, int& size);
  // 32-bit rows to 24-bit rows padded to 4 bytes; other depths are left alone.
  static void RGB32toRGB24(BYTE*& bits, BITMAPINFOHEADER& header);

  // The grabber behind the surface (null before Init), for tests and tools.
  CScreenGrabber* Grabber() const { return grabber_.get(); }

 private:
  std::shared_ptr<CScreenGrabber> grabber_;
  CGdiImage* logo_ = nullptr;
  int logoFrames_ = 0;
};

class CDXSurface {
 public:
  CDXSurface() = default;
  ~CDXSurface() = default;
  int Init();
  int Close();
  int GetSurfaceData(const CRect& area, BYTE*& bits, BITMAPINFOHEADER& header);
  // Requests at least as large as the capture get it enlarged by the largest
  // whole number that fits, centred; smaller requests get it shrunk to fit.
  int GetSurfaceData24(const CRect& area, int& width, int& height, BYTE*& bits, int& size);

 private:
  std::shared_ptr<CScreenGrabber> grabber_;
};

// Shared by both surfaces: the grabbed area as padded 24-bit bottom-up rows.
int CaptureToDib(CScreenGrabber* grabber, const CRect& area, BYTE*& bits, BITMAPINFOHEADER& header);
