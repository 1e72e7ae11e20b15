#pragma once
// The eight grips of a frame the teacher resizes (its corners and the
// middles of its sides): where they lie, which one a point hits, and the
// cursor each shows. Hit codes 1 to 8 run top-left, top, top-right, right,
// bottom-right, bottom, bottom-left, left.

#include <array>

#include "platform/geometry.h"
#include "platform/window.h"

inline std::array<CPoint, 8> GripCentres(const CRect& r) {
  const int mx = (r.left + r.right) / 2, my = (r.top + r.bottom) / 2;
  return {CPoint(r.left, r.top),    CPoint(mx, r.top),         CPoint(r.right, r.top),
          CPoint(r.right, my),      CPoint(r.right, r.bottom), CPoint(mx, r.bottom),
          CPoint(r.left, r.bottom), CPoint(r.left, my)};
}

// The square of side `size` centred on a grip.
inline CRect GripSquare(CPoint centre, int size) {
  const int half = size / 2;
  return CRect(centre.x - half, centre.y - half, centre.x + half, centre.y + half);
}

// The hit code of the first grip whose square holds `p`, 0 for none.
inline int GripAt(const CRect& r, CPoint p, int size) {
  const std::array<CPoint, 8> centres = GripCentres(r);
  for (std::size_t i = 0; i < centres.size(); ++i)
    if (GripSquare(centres[i], size).PtInRect(p)) return static_cast<int>(i) + 1;
  return 0;
}

// Moves the sides that grip `code` holds by (dx, dy); false (and nothing
// moved) for any other code.
inline bool DragGrip(CRect& r, int code, int dx, int dy) {
  switch (code) {
    case 1: r.left += dx; r.top += dy; break;
    case 2: r.top += dy; break;
    case 3: r.right += dx; r.top += dy; break;
    case 4: r.right += dx; break;
    case 5: r.right += dx; r.bottom += dy; break;
    case 6: r.bottom += dy; break;
    case 7: r.left += dx; r.bottom += dy; break;
    case 8: r.left += dx; break;
    default: return false;
  }
  return true;
}

// The resize cursor of grip `code`, `otherwise` for any other code.
inline CursorShape GripCursor(int code, CursorShape otherwise) {
  switch (code) {
    case 1:
    case 5: return CursorShape::SizeNWSE;
    case 3:
    case 7: return CursorShape::SizeNESW;
    case 2:
    case 6: return CursorShape::SizeNS;
    case 4:
    case 8: return CursorShape::SizeWE;
    default: return otherwise;
  }
}
