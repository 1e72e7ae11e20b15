#pragma once
// The part of a layered window's picture that is drawn: every pixel that is
// not fully transparent and not of the colour key. It is what the window
// shows and, as on every layered window, where it takes the mouse; the
// rest lets the mouse through to the window below.

#include <QImage>
#include <QRegion>

#include <optional>

// The drawn pixels of `image` (32-bit ARGB, plain or premultiplied) inside
// `area` (clipped to the image), as a region of rectangles in the image's
// coordinates. `colourKey` leaves out pixels of that red, green and blue
// whatever their alpha.
QRegion DrawnRegion(const QImage& image, const QRect& area, std::optional<QRgb> colourKey = std::nullopt);
inline QRegion DrawnRegion(const QImage& image, std::optional<QRgb> colourKey = std::nullopt) {
  return DrawnRegion(image, image.rect(), colourKey);
}
