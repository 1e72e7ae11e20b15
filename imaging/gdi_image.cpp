// CGdiImage: loading, creating, scaling and saving pictures.

#include "imaging/gdi_image.h"

#include "contracts/fundara/thumbs.h"
#include "imaging/data_handler.h"

#include <QFile>
#include <QIODevice>
#include <QPaintDevice>
#include <QPainter>
#include <QPixmap>
#include <QWidget>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <utility>
#include <vector>

namespace {

// Largest picture the holder makes from a size given by a caller.
constexpr int kMaxSide = 1 << 16;

QImage NewArgb(int width, int height) {
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return QImage();
  QImage image(width, height, QImage::Format_ARGB32);
  if (!image.isNull()) image.fill(Qt::transparent);
  return image;
}

}  // namespace

CGdiImage::CGdiImage() = default;

CGdiImage::CGdiImage(const std::string& path) { NewImageFormFile(path); }

CGdiImage::CGdiImage(QIODevice* stream) { NewImageFormStream(stream); }

CGdiImage::~CGdiImage() = default;

CGdiImage::CGdiImage(CGdiImage&& other) noexcept : image_(std::move(other.image_)) {}

CGdiImage& CGdiImage::operator=(CGdiImage&& other) noexcept {
  image_ = std::move(other.image_);
  return *this;
}

int CGdiImage::Adopt(QImage image) {
  if (image.isNull()) return 0;
  if (image.format() != QImage::Format_ARGB32) image = image.convertToFormat(QImage::Format_ARGB32);
  if (image.isNull()) return 0;
  image_ = std::make_unique<QImage>(std::move(image));
  return 1;
}

int CGdiImage::SetUIImage(const QImage& image, const QString& /*path*/) {
  DelImage();
  return Adopt(image);
}

void CGdiImage::DelImage() { image_.reset(); }

int CGdiImage::NewImageFormFile(const std::string& path) {
  DelImage();
  if (path.empty()) return 0;
  return Adopt(ReadPicture(path));
}

int CGdiImage::NewImageFormStream(QIODevice* stream) {
  DelImage();
  if (!stream) return 0;
  return Adopt(ReadPicture(*stream));
}

int CGdiImage::NewImageFormRES(const char* module, unsigned int id, const char* type) {
  DelImage();
  if (!type || !*type) return 0;
  QString name = QStringLiteral(":/");
  if (module && *module) name += QString::fromUtf8(module) + QLatin1Char('/');
  name += QString::fromUtf8(type) + QLatin1Char('/') + QString::number(id);
  QFile resource(name);
  if (!resource.open(QIODevice::ReadOnly)) return 0;
  return Adopt(ReadPicture(resource));
}

int CGdiImage::NewImageFormImage(const QImage* image, int width, int height) {
  if (!image || image->isNull()) {
    DelImage();
    return 0;
  }
  // The source may be our own picture: draw from a copy before replacing it.
  const QImage source = *image;
  DelImage();
  QImage scaled = NewArgb(width, height);
  if (scaled.isNull()) return 0;
  QPainter painter(&scaled);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(QRect(0, 0, width, height), source);
  painter.end();
  return Adopt(std::move(scaled));
}

int CGdiImage::NewImageFormDC(QPaintDevice* dc, const CRect& rect) {
  DelImage();
  if (!dc) return 0;
  const int width = rect.Width(), height = rect.Height();
  QImage target = NewArgb(width, height);
  if (target.isNull()) return 0;
  QImage source;
  switch (dc->devType()) {
    case QInternal::Image:
      source = *static_cast<QImage*>(dc);
      break;
    case QInternal::Pixmap:
      source = static_cast<QPixmap*>(dc)->toImage();
      break;
    case QInternal::Widget:
      source = static_cast<QWidget*>(dc)->grab(QRect(0, 0, width, height)).toImage();
      break;
    default:
      return 0;
  }
  if (source.isNull()) return 0;
  source = source.convertToFormat(QImage::Format_ARGB32);
  // A plain pixel copy: surfaces of the canvas carry their own alpha.
  const int w = std::min(width, source.width()), h = std::min(height, source.height());
  for (int y = 0; y < h; ++y)
    std::memcpy(target.scanLine(y), source.constScanLine(y), static_cast<std::size_t>(w) * 4);
  return Adopt(std::move(target));
}

int CGdiImage::NewImageFormData(const BITMAPINFOHEADER* info, const void* bits) {
  DelImage();
  if (!info || !bits || info->biSize < 40 || info->biPlanes != 1 || info->biWidth < 1 ||
      info->biHeight == 0 || info->biHeight == INT32_MIN)
    return 0;
  const int depth = info->biBitCount;
  const bool bitfields = info->biCompression == 3 && depth == 32;  // plain masks only
  if ((depth != 8 && depth != 24 && depth != 32) || (info->biCompression != 0 && !bitfields))
    return 0;
  const long width = info->biWidth;
  const long height = info->biHeight < 0 ? -static_cast<long>(info->biHeight) : info->biHeight;
  if (width > kMaxSide || height > kMaxSide) return 0;
  tagRGBQUAD palette[256];
  GreyPalette(palette);
  if (depth == 8) {
    const std::size_t entries = info->biClrUsed == 0 || info->biClrUsed > 256 ? 256 : info->biClrUsed;
    const auto* table = reinterpret_cast<const unsigned char*>(info) + info->biSize;
    std::memcpy(palette, table, entries * sizeof(tagRGBQUAD));
  }
  QImage image;
  if (info->biHeight > 0) {
    image = ImageFromBuffer(static_cast<const unsigned char*>(bits), width, height, depth, palette);
  } else {
    // Rows stored top-down: turn them into the bottom-up convention first.
    const std::size_t stride = PictureStride(width, depth);
    std::vector<unsigned char> rows(stride * static_cast<std::size_t>(height));
    const auto* src = static_cast<const unsigned char*>(bits);
    for (long r = 0; r < height; ++r)
      std::memcpy(rows.data() + stride * static_cast<std::size_t>(height - 1 - r),
                  src + stride * static_cast<std::size_t>(r), stride);
    image = ImageFromBuffer(rows.data(), width, height, depth, palette);
  }
  return Adopt(std::move(image));
}

unsigned int CGdiImage::GetImageWidth() const {
  return image_ ? static_cast<unsigned int>(image_->width()) : 0;
}

unsigned int CGdiImage::GetImageHeight() const {
  return image_ ? static_cast<unsigned int>(image_->height()) : 0;
}

void CGdiImage::GetImageSize(unsigned int& width, unsigned int& height) const {
  width = GetImageWidth();
  height = GetImageHeight();
}

int CGdiImage::GetEncoderClsid(const std::string& mimeType, PictureFormat& format) {
  static constexpr PictureFormat kEncoders[] = {PictureFormat::Bmp, PictureFormat::Jpeg,
                                                PictureFormat::Gif, PictureFormat::Tiff,
                                                PictureFormat::Png};
  std::string lower = mimeType;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (int i = 0; i < static_cast<int>(std::size(kEncoders)); ++i)
    if (lower == PictureFormatMime(kEncoders[i])) {
      format = kEncoders[i];
      return i;
    }
  return -1;
}

int CGdiImage::SaveJpg(const std::string& path, int quality) {
  if (!image_ || path.empty()) return 0;
  PictureFormat format = PictureFormat::Jpeg;
  if (GetEncoderClsid("image/jpeg", format) < 0) return 0;
  PictureWriteOptions options;
  options.quality = std::clamp(quality, 0, 100);
  const std::vector<unsigned char> bytes = EncodePicture(*image_, format, options);
  if (bytes.empty() || !WriteFileAtomically(path, bytes)) return 0;
  CThumbs().WriteThumb(path);
  return 1;
}
