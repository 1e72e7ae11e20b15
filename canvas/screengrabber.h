#pragma once
// Grabs rectangles of the X screen through xcb: with the MIT-SHM extension
// when the server offers it (one shared segment, reused while it is large
// enough), otherwise with plain GetImage replies. The mouse pointer is drawn
// in from the XFixes cursor image.

#include "platform/geometry.h"

#include <cstdint>
#include <memory>

class CScreenGrabber {
 public:
  CScreenGrabber();
  ~CScreenGrabber();
  CScreenGrabber(const CScreenGrabber&) = delete;
  CScreenGrabber& operator=(const CScreenGrabber&) = delete;

  // Connects to the display (nullptr: $DISPLAY). False when there is no
  // display or its screen does not store 24-bit colour in 32-bit pixels.
  bool Open(const char* display = nullptr);
  void Close();
  bool IsOpen() const;

  // Shared memory is used when the server offers it; tests switch it off to
  // exercise the GetImage path.
  void SetUseSharedMemory(bool use);
  bool UsesSharedMemory() const;

  // The screen's size now (0 × 0 when not open).
  CSize ScreenSize();

  // One grabbed picture: rows top-down, 4 bytes a pixel (blue, green, red,
  // unused), valid until the next Grab or Close.
  struct Frame {
    std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
  };
  // Grabs `area` clipped to the screen, with the pointer drawn in when
  // `withPointer` and it lies over the area. False when the clipped area is
  // empty or the server refuses; `clipped` receives the area grabbed.
  bool Grab(const CRect& area, Frame& frame, CRect* clipped = nullptr, bool withPointer = true);

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

// Area-averaging (halftone) scaling of a grabbed picture into the rectangle
// (x, y, w, h) of a packed 24-bit picture of outW × outH whose rows are
// stored bottom-up (row 0 in memory is the picture's bottom line). Pixels of
// the rectangle outside the output are skipped.
void ScaleFrameHalftone(const CScreenGrabber::Frame& src, std::uint8_t* out, int outW, int outH, int x, int y,
                        int w, int h);
// The same with whole source pixels (colour on colour), for enlargements.
void ScaleFrameNearest(const CScreenGrabber::Frame& src, std::uint8_t* out, int outW, int outH, int x, int y,
                       int w, int h);
