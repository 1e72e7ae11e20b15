#pragma once
// The receiver of a picture that the control library loads for an image
// holder of another library. Only this interface crosses: a holder that
// implements it needs the header, not the control library itself.

#include <QImage>
#include <QString>

class IUIImage {
 public:
  virtual ~IUIImage() = default;
  // The picture (ARGB32 premultiplied) and the file it came from. Returns 1
  // when the image took it.
  virtual int SetUIImage(const QImage& image, const QString& path) = 0;
};
