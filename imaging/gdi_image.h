#pragma once
// CGdiImage: the small image holder the whole system uses to load, create,
// scale and save pictures (button artwork, thumbnails, preview frames,
// captured screens).
//
// It owns one picture or none. Pictures made by the holder are 32-bit ARGB
// (QImage::Format_ARGB32, alpha not premultiplied); every operation that
// makes a new picture first deletes the old one, so a failed load leaves the
// holder empty. Operations return 1 for success and 0 for a refusal.
//
// Sources: a file (read whole and closed before decoding, so it is never held
// open), a stream, a shipped resource, another image scaled to a size, a
// drawing surface (a paint device: an image, a pixmap or a widget) and a
// device-independent bitmap. JPEG, BMP, PNG, GIF, TIFF and SVG are read.
// As an IUIImage it also takes the interface pictures the list manager loads
// from the description files.

#include "contracts/widgetta/ui_image_receiver.h"
#include "imaging/picture_codec.h"
#include "platform/geometry.h"
#include "platform/records.h"

#include <QImage>

#include <memory>
#include <string>

class QIODevice;
class QPaintDevice;

class CGdiImage : public IUIImage {
 public:
  CGdiImage();
  // Load at once; a failed load leaves the holder empty.
  explicit CGdiImage(const std::string& path);
  explicit CGdiImage(QIODevice* stream);
  ~CGdiImage() override;
  CGdiImage(const CGdiImage&) = delete;
  CGdiImage& operator=(const CGdiImage&) = delete;
  CGdiImage(CGdiImage&& other) noexcept;
  CGdiImage& operator=(CGdiImage&& other) noexcept;

  int NewImageFormFile(const std::string& path);
  // Reads the stream from its current position to its end.
  int NewImageFormStream(QIODevice* stream);
  // A shipped resource: the Qt resource ":/<module>/<type>/<id>" (":/<type>/<id>"
  // for a null or empty module), for example ":/Capturo/PNG/136".
  int NewImageFormRES(const char* module, unsigned int id, const char* type);
  // A new picture of width × height with `image` drawn scaled into it
  // (smooth scaling). `image` may be this holder's own picture.
  int NewImageFormImage(const QImage* image, int width, int height);
  // A new picture of the rectangle's width and height filled from the
  // surface starting at its origin (0, 0); what lies beyond the surface stays
  // transparent. The surface is an image, a pixmap or a widget (`HDC`).
  int NewImageFormDC(QPaintDevice* dc, const CRect& rect);
  // A picture from a device-independent bitmap: `info` is the 40-byte header
  // followed, for 8 bits, by its palette (a BITMAPINFO); depth 8, 24 or 32,
  // rows bottom-up for a positive height, top-down for a negative one.
  int NewImageFormData(const BITMAPINFOHEADER* info, const void* bits);

  // An interface picture (premultiplied ARGB) becomes the holder's picture
  // in plain ARGB; the file name is not kept. 0 (and empty) for a null one.
  int SetUIImage(const QImage& image, const QString& path) override;

  void DelImage();
  // The picture, or nullptr when empty. Owned by the holder.
  QImage* GetImage() const { return image_.get(); }
  unsigned int GetImageWidth() const;
  unsigned int GetImageHeight() const;
  void GetImageSize(unsigned int& width, unsigned int& height) const;

  // Index of the encoder for a MIME type ("image/bmp", "image/jpeg",
  // "image/gif", "image/tiff", "image/png", in that order) and its format;
  // -1 when there is none.
  static int GetEncoderClsid(const std::string& mimeType, PictureFormat& format);

  // Saves as JPEG with the quality (0..100) whatever the extension, then
  // writes the file's thumbnail. 0 when the holder is empty, the path is
  // empty or saving fails (an older file at the path is then kept).
  int SaveJpg(const std::string& path, int quality);

 private:
  // Takes a decoded picture in ARGB; 0 (and stays empty) for a null one.
  int Adopt(QImage image);

  std::unique_ptr<QImage> image_;
};
