#include "contracts/fundara/thumbs.h"

#include <sys/stat.h>

#include <QBuffer>
#include <QCryptographicHash>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <filesystem>

#include "contracts/fundara/internal.h"
#include "contracts/fundara/paths.h"

using namespace fundara_internal;

namespace {

constexpr int kNormalSize = 128;

fs::path AbsolutePath(const std::string& p) {
  std::error_code ec;
  fs::path a = fs::absolute(fs::path(p), ec);
  return a.lexically_normal();
}

std::string MimeOf(const std::string& ext) {
  if (ext == "jpg" || ext == "jpeg") return "image/jpeg";
  if (ext == "tif" || ext == "tiff") return "image/tiff";
  return "image/" + ext;
}

// One text of a thumbnail ("Thumb::URI", …), empty when missing. The image
// is decoded whole: reading only the header mangles keys holding ':'.
std::string ThumbText(const fs::path& thumb, const char* key) {
  const QImage image(QString::fromStdString(thumb.string()), "png");
  return image.text(QString::fromLatin1(key)).toStdString();
}

bool FileMTime(const fs::path& p, long long& mtime, long long& size) {
  struct stat st {};
  if (::stat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  mtime = static_cast<long long>(st.st_mtim.tv_sec);
  size = static_cast<long long>(st.st_size);
  return true;
}

bool MakePrivateDir(const fs::path& dir) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir, ec)) return false;
    ::chmod(dir.c_str(), 0700);
  }
  return true;
}

}  // namespace

bool CThumbs::IsPictureFile(const std::string& path) {
  const std::string ext = ExtensionLower(path);
  return ext == "jpg" || ext == "jpeg" || ext == "bmp" || ext == "png" || ext == "gif" ||
         ext == "tif" || ext == "tiff";
}

std::string CThumbs::GetThumbPath(const std::string& picturePath) {
  const std::string uri = FileUri(AbsolutePath(picturePath));
  const QByteArray md5 =
      QCryptographicHash::hash(QByteArray::fromStdString(uri), QCryptographicHash::Md5).toHex();
  return (fs::path(GetThumbsPath()) / "normal" / (md5.toStdString() + ".png")).string();
}

bool CThumbs::IsThumbFresh(const std::string& picturePath) {
  long long mtime = 0, size = 0;
  if (!FileMTime(picturePath, mtime, size)) return false;
  const fs::path thumb = GetThumbPath(picturePath);
  std::error_code ec;
  if (!fs::exists(thumb, ec)) return false;
  return ThumbText(thumb, "Thumb::MTime") == std::to_string(mtime) &&
         ThumbText(thumb, "Thumb::URI") == FileUri(AbsolutePath(picturePath));
}

int CThumbs::WriteThumb(const std::string& picturePath) { return WriteThumb(picturePath, QImage()); }

int CThumbs::WriteThumb(const std::string& picturePath, const QImage& pixels) {
  if (picturePath.empty()) return 0;
  const fs::path picture = AbsolutePath(picturePath);
  const fs::path root = AbsolutePath(GetThumbsPath());
  // Thumbnails of thumbnails are never made.
  const auto rel = picture.lexically_relative(root);
  if (!rel.empty() && *rel.begin() != "..") return 0;
  long long mtime = 0, size = 0;
  if (!FileMTime(picture, mtime, size)) return 0;

  QImage image;
  QSize full;
  if (!pixels.isNull()) {
    full = pixels.size();
    // A whole-pixel reduction to a few times the thumbnail's size first, so
    // that the smooth scaling below reads a small picture, not the photograph.
    const QSize near = full.scaled(4 * kNormalSize, 4 * kNormalSize, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    image = full.width() > near.width() || full.height() > near.height()
                ? pixels.scaled(near, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                : pixels;
  } else {
    QImageReader reader(QString::fromStdString(picture.string()));
    full = reader.size();
    if (full.isValid() && (full.width() > kNormalSize || full.height() > kNormalSize))
      reader.setScaledSize(full.scaled(kNormalSize, kNormalSize, Qt::KeepAspectRatio)
                               .expandedTo(QSize(1, 1)));
    image = reader.read();
  }
  if (image.isNull()) return 0;
  if (image.width() > kNormalSize || image.height() > kNormalSize)
    image = image.scaled(kNormalSize, kNormalSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  if (image.hasAlphaChannel())
    image = image.convertToFormat(QImage::Format_ARGB32);
  else
    image = image.convertToFormat(QImage::Format_RGB32);

  image.setText("Thumb::URI", QString::fromStdString(FileUri(picture)));
  image.setText("Thumb::MTime", QString::number(mtime));
  image.setText("Thumb::Size", QString::number(size));
  image.setText("Thumb::Mime", QString::fromStdString(MimeOf(ExtensionLower(picture))));
  if (full.isValid()) {
    image.setText("Thumb::Image::Width", QString::number(full.width()));
    image.setText("Thumb::Image::Height", QString::number(full.height()));
  }
  image.setText("Software", "Brevio");

  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "png");
  if (!writer.write(image)) return 0;

  const fs::path thumb = GetThumbPath(picture.string());
  if (!MakePrivateDir(thumb.parent_path())) return 0;
  return WriteFileAtomically(thumb, png.constData(), static_cast<std::size_t>(png.size()), 0600) ? 1
                                                                                                 : 0;
}

int CThumbs::DelAllThumb() {
  const std::string prefix = FileUri(AbsolutePath(GetDataPathEx())) + "/";
  int deleted = 0;
  for (const char* size : {"normal", "large", "x-large", "xx-large"}) {
    const fs::path dir = fs::path(GetThumbsPath()) / size;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      if (it->path().extension() != ".png" || !it->is_regular_file(ec)) continue;
      const std::string uri = ThumbText(it->path(), "Thumb::URI");
      if (uri.compare(0, prefix.size(), prefix) != 0) continue;
      std::error_code rec;
      if (fs::remove(it->path(), rec)) ++deleted;
    }
  }
  return deleted;
}

int CThumbs::NewAllThumbs() {
  const fs::path root = GetDataPathEx();
  int written = 0;
  std::error_code ec;
  fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec) || !IsPictureFile(it->path().string())) continue;
    if (IsThumbFresh(it->path().string())) continue;
    written += WriteThumb(it->path().string());
  }
  return written;
}
