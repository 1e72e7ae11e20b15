#pragma once
// Helpers shared by the canvas suites: the application object and pixel probes.

#include "platform/geometry.h"

#include <QApplication>
#include <QImage>

inline QApplication& TestApp() {
  static int argc = 1;
  static char name[] = "test_canvas";
  static char* argv[] = {name, nullptr};
  static QApplication* app = qobject_cast<QApplication*>(QCoreApplication::instance())
                                 ? qobject_cast<QApplication*>(QCoreApplication::instance())
                                 : new QApplication(argc, argv);
  return *app;
}

// A transparent ARGB surface of the given size.
inline QImage Surface(int w, int h, QRgb fill = 0) {
  QImage image(w, h, QImage::Format_ARGB32);
  image.fill(fill);
  return image;
}

// Smallest rectangle holding every pixel whose alpha is above `minAlpha`
// (right and bottom exclusive); empty when there is none.
inline CRect InkBounds(const QImage& image, int minAlpha = 0) {
  CRect r(image.width(), image.height(), 0, 0);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (qAlpha(image.pixel(x, y)) > minAlpha) {
        r.left = std::min(r.left, x);
        r.top = std::min(r.top, y);
        r.right = std::max(r.right, x + 1);
        r.bottom = std::max(r.bottom, y + 1);
      }
  if (r.IsRectEmpty()) return CRect();
  return r;
}

inline bool Inked(const QImage& image, int x, int y) { return qAlpha(image.pixel(x, y)) > 0; }
