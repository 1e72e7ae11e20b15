#pragma once
// Interface pictures: loading the project's SVG artwork and bitmaps, the
// image folder, mask colours, and the small image holder the controls use.
//
// An image class of another library (the picture holder of the image
// library) receives the pictures CUICtrlMgr loads for it by implementing
// IUIImage; the control library needs to know nothing else about it.

#include "contracts/widgetta/ui_image_receiver.h"

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <string>

// Colour of a colour reference (0x00BBGGRR: red in the low byte).
QColor ColorFromRef(std::uint32_t ref);

// Full path of an interface picture: the image folder (GetImagePath), "/" and
// the name. Backslashes in the name (as older layout files spell folders)
// become "/". Empty for an empty name.
QString UIImagePath(const std::u16string& name);
QString UIImagePath(const QString& name);

// Loads a picture file as 32-bit ARGB (premultiplied). SVG files are drawn
// as large as fits into `size` with their aspect ratio kept (exactly at
// `size` when `stretch`), or at their own size when `size` is not valid.
// Bitmaps are read as they are. A null image when the file cannot be read.
QImage LoadUIPicture(const QString& path, QSize size = {}, bool stretch = false);

// Makes every pixel of the colour reference `mask` fully transparent. A
// mask of 0 means "no mask" (an absent attribute reads as 0).
void ApplyMaskColour(QImage& image, std::uint32_t mask);

// The image holder of the controls (and a plain IUIImage for any window).
class CUIImage : public IUIImage {
 public:
  int SetUIImage(const QImage& image, const QString& path) override;
  // Loads a file as LoadUIPicture does. 1 on success; on failure the holder
  // is empty.
  int Load(const QString& path, QSize size = {}, bool stretch = false);
  void Clear();

  bool IsNull() const { return image_.isNull(); }
  const QImage& GetImage() const { return image_; }
  const QString& GetPath() const { return path_; }
  int GetWidth() const { return image_.width(); }
  int GetHeight() const { return image_.height(); }

 private:
  QImage image_;
  QString path_;
};
