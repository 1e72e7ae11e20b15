#include "recorder/record_frame.h"

#include <algorithm>
#include <cstdlib>

namespace capturo {

namespace {

CRect Centred(CSize size, CSize screen) {
  const int w = std::min(size.cx, screen.cx), h = std::min(size.cy, screen.cy);
  const int left = (screen.cx - w) / 2, top = (screen.cy - h) / 2;
  return CRect(left, top, left + w, top + h);
}

// Moves [lo, hi) by the least amount that brings it inside [0, limit).
void PushInside(int& lo, int& hi, int limit) {
  if (hi > limit) {
    lo -= hi - limit;
    hi = limit;
  }
  if (lo < 0) {
    hi -= lo;
    lo = 0;
  }
}

}  // namespace

CRect DefaultFrame(CSize screen) { return Centred(CSize(640, 480), screen); }

CRect StartFrame(const CRect& requested, CSize screen) {
  CRect clipped;
  if (!clipped.IntersectRect(requested, CRect(0, 0, screen.cx, screen.cy))) return DefaultFrame(screen);
  return clipped;
}

CRect PresetFrame(int preset, CSize screen) {
  switch (preset) {
    case 0: return CRect(0, 0, screen.cx, screen.cy);
    case 1: return Centred(CSize(1024, 768), screen);
    case 2: return Centred(CSize(800, 600), screen);
    case 3: return Centred(CSize(640, 480), screen);
    default: return CRect();
  }
}

std::array<CPoint, 8> HandlePoints(const CRect& f) {
  const int cx = (f.left + f.right) / 2, cy = (f.top + f.bottom) / 2;
  return {CPoint(f.left, f.top),     CPoint(cx, f.top),        CPoint(f.right, f.top), CPoint(f.right, cy),
          CPoint(f.right, f.bottom), CPoint(cx, f.bottom),     CPoint(f.left, f.bottom), CPoint(f.left, cy)};
}

int HitHandle(const CRect& frame, CPoint p) {
  const std::array<CPoint, 8> points = HandlePoints(frame);
  for (int i = 0; i < 8; ++i) {
    if (std::abs(p.x - points[i].x) <= kHandleReach && std::abs(p.y - points[i].y) <= kHandleReach) return i + 1;
  }
  return 0;
}

CRect ResizeFrame(const CRect& frame, int handle, CPoint p, CSize screen) {
  CRect r = frame;
  const int x = std::clamp(p.x, 0, screen.cx), y = std::clamp(p.y, 0, screen.cy);
  const bool left = handle == 1 || handle == 7 || handle == 8;
  const bool right = handle == 3 || handle == 4 || handle == 5;
  const bool top = handle == 1 || handle == 2 || handle == 3;
  const bool bottom = handle == 5 || handle == 6 || handle == 7;
  if (left) r.left = std::min(x, r.right - kMinFrameSide);
  if (right) r.right = std::max(x, r.left + kMinFrameSide);
  if (top) r.top = std::min(y, r.bottom - kMinFrameSide);
  if (bottom) r.bottom = std::max(y, r.top + kMinFrameSide);
  // A frame already at the screen's edge grows the other way.
  PushInside(r.left, r.right, screen.cx);
  PushInside(r.top, r.bottom, screen.cy);
  return r;
}

CRect MoveFrame(const CRect& frame, int dx, int dy, CSize screen) {
  CRect r = frame;
  r.OffsetRect(dx, dy);
  PushInside(r.left, r.right, screen.cx);
  PushInside(r.top, r.bottom, screen.cy);
  return r;
}

CRect EvenFrame(const CRect& frame, CSize screen) {
  CRect r = frame;
  if (r.Width() % 2) r.right += r.right < screen.cx ? 1 : -1;
  if (r.Height() % 2) r.bottom += r.bottom < screen.cy ? 1 : -1;
  return r;
}

int EvenSide(int side) { return side > 0 ? side & ~1 : 0; }

CToolbarLayout LayoutToolbar(const CRect& frame, int stripHeight, const std::array<CSize, 6>& buttons,
                             CSize stopButton, CSize screen) {
  CToolbarLayout out;
  int stripTop = frame.bottom;
  if (stripTop + stripHeight > screen.cy) stripTop = std::max(frame.top, frame.bottom - stripHeight);
  out.strip = CRect(frame.left, stripTop, frame.right, stripTop + stripHeight);

  int total = 0;
  for (const CSize& b : buttons) total += b.cx;
  int left = frame.left + (frame.Width() - total) / 2;
  int right = left + total;
  PushInside(left, right, screen.cx);
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    const int top = out.strip.top + (stripHeight - buttons[i].cy) / 2;
    out.buttons[i] = CRect(CPoint(left, top), buttons[i]);
    left += buttons[i].cx;
  }

  CRect stop(frame.BottomRight(), stopButton);
  if (stop.right > screen.cx) stop.OffsetRect(screen.cx - stop.right, 0);
  if (stop.bottom > screen.cy) stop.OffsetRect(0, screen.cy - stop.bottom);
  out.stop = stop;
  return out;
}

}  // namespace capturo
