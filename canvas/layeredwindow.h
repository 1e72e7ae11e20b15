#pragma once
// Layered windows: a top-level window that shows an ARGB picture with its
// per-pixel alpha, multiplied by a constant alpha, over whatever lies below.

#include <QImage>
#include <QWidget>

// A frameless, translucent top-level window ready to present pictures.
class CLayeredWindow : public QWidget {
  Q_OBJECT
 public:
  explicit CLayeredWindow(QWidget* parent = nullptr);
};

// Presents the part of `image` from its origin with the window's current
// size on the window, blended source-over with per-pixel alpha times
// `alpha` (0..255). Replaces what was presented before and repaints. Works
// on any widget; only translucent top-level windows let the desktop show
// through. False for a null window or image.
bool PresentOnWindow(QWidget* window, const QImage& image, int alpha);
// The same for an image that differs from the one presented before only
// inside `changed`: a window of this program's window class converts and
// repaints only that part; other widgets take the whole image.
bool PresentOnWindow(QWidget* window, const QImage& image, int alpha, const QRect& changed);

// What is presented on the window now (a null image when nothing is), and
// its constant alpha.
QImage PresentedImage(const QWidget* window);
int PresentedAlpha(const QWidget* window);
