#pragma once
// The capture frame the teacher places on the screen: where it starts, the
// preset sizes, its eight handles, resizing and moving it, the even size
// the video encoders need, and where its tool strip and buttons stand.
// Rectangles are in screen coordinates; the screen is (0, 0, cx, cy).

#include <array>

#include "platform/geometry.h"

namespace capturo {

constexpr int kMinFrameSide = 10;  // a frame is never narrower or lower
constexpr int kHandleReach = 4;    // a handle reacts this close to its point
constexpr int kHandleSide = 4;     // drawn handles are squares of this side

// 640 × 480 (or the screen, when smaller) centred on the screen.
CRect DefaultFrame(CSize screen);
// The frame a recording starts with: the requested area clipped to the
// screen; the default frame when that leaves nothing.
CRect StartFrame(const CRect& requested, CSize screen);
// Preset 0 is the whole screen, 1 to 3 a centred 1024 × 768, 800 × 600 or
// 640 × 480 frame (clipped to the screen); other values give nothing.
CRect PresetFrame(int preset, CSize screen);

// Handles: 1 top-left, 2 top-middle, 3 top-right, 4 right-middle,
// 5 bottom-right, 6 bottom-middle, 7 bottom-left, 8 left-middle.
std::array<CPoint, 8> HandlePoints(const CRect& frame);
// The handle within reach of `p` (0: none; the first in order wins).
int HitHandle(const CRect& frame, CPoint p);
// The frame with the edges of `handle` moved to `p`, kept at least
// kMinFrameSide wide and high and inside the screen.
CRect ResizeFrame(const CRect& frame, int handle, CPoint p, CSize screen);
// The frame moved by (dx, dy), stopped at the screen's edges.
CRect MoveFrame(const CRect& frame, int dx, int dy, CSize screen);

// A frame of even width and height: an odd side grows by one at its right
// or bottom edge, or shrinks there when that edge is at the screen's edge.
CRect EvenFrame(const CRect& frame, CSize screen);
// A configured output side rounded down to even (0 stays "the frame's size").
int EvenSide(int side);

// Where the tool strip, the six selection buttons and the stop button go
// for a frame. The strip spans the frame's width right under it (inside the
// frame's bottom when there is no room under it); the six buttons stand side
// by side in the strip's middle, pushed back onto the screen at its left and
// right edges; the stop button's top-left corner is the frame's bottom-right
// corner, moved inwards where that would leave the screen.
struct CToolbarLayout {
  CRect strip;
  std::array<CRect, 6> buttons;
  CRect stop;
};
CToolbarLayout LayoutToolbar(const CRect& frame, int stripHeight, const std::array<CSize, 6>& buttons,
                             CSize stopButton, CSize screen);

}  // namespace capturo
