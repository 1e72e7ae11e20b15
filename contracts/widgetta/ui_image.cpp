#include "contracts/widgetta/ui_image.h"

#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>

#include "contracts/fundara/paths.h"

QColor ColorFromRef(std::uint32_t ref) {
  return QColor(static_cast<int>(ref & 0xFF), static_cast<int>((ref >> 8) & 0xFF),
                static_cast<int>((ref >> 16) & 0xFF));
}

QString UIImagePath(const QString& name) {
  if (name.isEmpty()) return {};
  QString rel = name;
  rel.replace(QLatin1Char('\\'), QLatin1Char('/'));
  while (rel.startsWith(QLatin1Char('/'))) rel.remove(0, 1);
  return QString::fromStdString(GetImagePath()) + QLatin1Char('/') + rel;
}

QString UIImagePath(const std::u16string& name) {
  return UIImagePath(QString::fromStdU16String(name));
}

namespace {

bool IsSvg(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  return suffix == QLatin1String("svg") || suffix == QLatin1String("svgz");
}

QImage RenderSvg(const QString& path, QSize size, bool stretch) {
  QSvgRenderer renderer(path);
  if (!renderer.isValid()) return {};
  const QSize own = renderer.defaultSize();
  if (!size.isValid() || size.isEmpty()) size = own;
  // Kept aspect: the picture is as large as fits, and no larger, so that a
  // control can centre it wherever it draws it.
  if (!stretch && !own.isEmpty()) size = own.scaled(size, Qt::KeepAspectRatio);
  if (size.isEmpty()) return {};
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  renderer.render(&p, QRectF(QPointF(0, 0), QSizeF(size)));
  return image;
}

}  // namespace

QImage LoadUIPicture(const QString& path, QSize size, bool stretch) {
  if (path.isEmpty()) return {};
  if (IsSvg(path)) return RenderSvg(path, size, stretch);
  QImageReader reader(path);
  reader.setAutoTransform(true);
  QImage image = reader.read();
  if (image.isNull()) return {};
  return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

void ApplyMaskColour(QImage& image, std::uint32_t mask) {
  if (mask == 0 || image.isNull()) return;
  const QRgb key = ColorFromRef(mask).rgb() & 0x00FFFFFFu;
  image = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x)
      if ((row[x] & 0x00FFFFFFu) == key) row[x] = 0;
  }
  image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

int CUIImage::SetUIImage(const QImage& image, const QString& path) {
  image_ = image;
  path_ = path;
  return image_.isNull() ? 0 : 1;
}

int CUIImage::Load(const QString& path, QSize size, bool stretch) {
  return SetUIImage(LoadUIPicture(path, size, stretch), path);
}

void CUIImage::Clear() {
  image_ = QImage();
  path_.clear();
}
