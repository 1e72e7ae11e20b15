// CPixalto: PDF, printing, mail, binding and print preparation.

#include "imaging/pixalto.h"

#include "contracts/fundara/files.h"
#include "contracts/fundara/names.h"
#include "contracts/fundara/paths.h"
#include "contracts/fundara/pdf.h"
#include "contracts/fundara/zip.h"
#include "imaging/data_handler.h"
#include "imaging/picture_codec.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

// JPEG quality of the pictures put into a PDF.
constexpr int kPdfJpegQuality = 90;

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Adds every file to a new archive at `archivePath` and writes it. Nothing is
// left at the path on failure; an existing file there is never replaced.
bool WriteArchive(const std::list<std::string>& files, const std::string& archivePath) {
  if (files.empty() || archivePath.empty() || Exists(archivePath)) return false;
  COnZipFile zip;
  if (!zip.Create(archivePath)) return false;
  for (const std::string& file : files)
    if (!zip.AddFile(file)) {
      zip.Discard();
      return false;
    }
  if (zip.GetCount() != static_cast<int>(files.size())) {
    zip.Discard();
    return false;
  }
  return zip.Close() == 1;
}

}  // namespace

int CPixalto::JPGSavePdf(std::list<std::string> pictures, const std::string& pdfPath) {
  if (pictures.empty() || pdfPath.empty() || Exists(pdfPath)) return 0;
  // The document is written under a private name beside the result and
  // renamed at the end, so a failure never leaves a partial PDF.
  std::string temp = pdfPath + ".XXXXXX.tmp";
  const int fd = ::mkstemps(temp.data(), 4);
  if (fd < 0) return 0;
  ::close(fd);
  CJpg2Pdf writer;
  writer.Reset();
  FILE* pdf = writer.CreatePdfFile(temp);
  bool ok = pdf != nullptr;
  for (const std::string& path : pictures) {
    if (!ok) break;
    const QImage image = ReadPicture(path);
    if (image.isNull()) {
      ok = false;
      break;
    }
    PictureWriteOptions options;
    options.quality = kPdfJpegQuality;
    std::vector<unsigned char> jpeg = EncodePicture(image, PictureFormat::Jpeg, options);
    // The JPEG goes to the writer from memory: no temporary file to clean up.
    FILE* in = jpeg.empty() ? nullptr : ::fmemopen(jpeg.data(), jpeg.size(), "rb");
    if (!in) {
      ok = false;
      break;
    }
    writer.SetPaperSize(image.width(), image.height());
    ok = writer.AddPage(pdf, in) == 1;
    std::fclose(in);
  }
  ok = ok && writer.AddCatalog(pdf) && writer.AddPages(pdf) && writer.AddCrossReferenceTable(pdf) &&
       writer.AddTrailer(pdf);
  if (pdf) {
    ok = std::fflush(pdf) == 0 && ok;
    ok = ::fsync(::fileno(pdf)) == 0 && ok;
    ok = std::fclose(pdf) == 0 && ok;
  }
  if (ok && RenameNoReplace(temp, pdfPath)) return 1;
  ::unlink(temp.c_str());
  return 0;
}

CRect CPixalto::PrintRect(int pageWidth, int pageHeight, int pictureWidth, int pictureHeight) {
  if (pictureWidth < 1 || pictureHeight < 1) return CRect();
  const float scale = std::min(static_cast<float>(pageHeight) / static_cast<float>(pictureHeight),
                               static_cast<float>(pageWidth) / static_cast<float>(pictureWidth));
  const int drawnWidth = static_cast<int>(static_cast<float>(pictureWidth) * scale);
  const int drawnHeight = static_cast<int>(static_cast<float>(pictureHeight) * scale);
  const int x = static_cast<int>(static_cast<float>(pageWidth - drawnWidth) * 0.5f);
  const int y = static_cast<int>(static_cast<float>(pageHeight - drawnHeight) * 0.5f);
  return CRect(x, y, x + drawnWidth, y + drawnHeight);
}

int CPixalto::PrintImage(std::list<std::string> pictures, int blackWhite) {
  // The dialog is a widget: without a widget application there is nothing to show.
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return 0;
  QPrinter printer(QPrinter::HighResolution);
  QPrintDialog dialog(&printer);
  if (dialog.exec() != QDialog::Accepted) return 1;
  return PrintImage(std::move(pictures), blackWhite, printer);
}

int CPixalto::PrintImage(std::list<std::string> pictures, int blackWhite, QPrinter& printer) {
  printer.setDocName(QStringLiteral("print"));
  // A printer that makes copies itself gets each page once.
  const int copies = printer.supportsMultipleCopies() ? 1 : std::max(1, printer.copyCount());
  QPainter painter;
  bool started = false;
  for (const std::string& path : pictures) {
    QImage image = ReadPicture(path);
    if (image.isNull()) continue;  // nothing to print for this one
    if (blackWhite) {
      CBitmapPicture picture;
      if (BufferFromImage(image, picture) && ImageToSingle(picture)) {
        const QImage single = ImageFromBuffer(picture.data, picture.width, picture.height,
                                              picture.depth, nullptr);
        if (!single.isNull()) image = single;
      }
    }
    for (int copy = 0; copy < copies; ++copy) {
      if (!started) {
        if (!painter.begin(&printer)) return 0;
        started = true;
      } else if (!printer.newPage()) {
        painter.end();
        return 0;
      }
      const CRect r = PrintRect(printer.width(), printer.height(), image.width(), image.height());
      painter.setRenderHint(QPainter::SmoothPixmapTransform);
      painter.drawImage(QRect(r.left, r.top, r.Width(), r.Height()), image);
    }
  }
  if (started && !painter.end()) return 0;
  return 1;
}

int CPixalto::SendOutLook(std::list<std::string> pictures) {
  if (pictures.empty()) return 0;
  std::string attachment;
  if (pictures.size() == 1) {
    if (!IsRegularFile(pictures.front())) return 0;
    std::error_code ec;
    attachment = fs::absolute(pictures.front(), ec).string();
    if (ec) return 0;
  } else {
    // Named after the time; a second mail in the same second gets "_1" and so
    // on, so an archive a mail program may still be reading is never replaced.
    const std::string folder = GetTempDataPath();
    const std::string stem = folder + "/" + GetSysTime();
    attachment = stem + ".zip";
    for (int n = 1; Exists(attachment) && n < 1000; ++n) attachment = stem + "_" + std::to_string(n) + ".zip";
    for (const std::string& p : pictures)
      if (!IsRegularFile(p)) return 0;
    if (!WriteArchive(pictures, attachment)) return 0;
  }
  // Only the start is checked: the mail program keeps running on its own.
  return QProcess::startDetached(QStringLiteral("xdg-email"),
                                 {QStringLiteral("--attach"), QString::fromStdString(attachment)})
             ? 1
             : 0;
}

int CPixalto::BindJpg(std::list<std::string>& pictures, const std::string& archivePath) {
  if (archivePath.empty() || pictures.empty()) return 0;
  if (!WriteArchive(pictures, archivePath)) return 0;
  // The archive is complete on disk: only now are the pictures removed.
  for (const std::string& picture : pictures) DelFile(picture);
  return 1;
}

int CPixalto::BindJpg(const std::string& archivePath) {
  if (archivePath.empty()) return 0;
  const std::string folder = GetBindPath();
  std::list<std::string> found;
  for (const char* pattern : {"*.jpg", "*.bmp", "*.png", "*.gif", "*.tif"})
    SearchFileList(folder, pattern, found);
  if (found.empty()) return 0;
  return WriteArchive(found, archivePath) ? 1 : 0;
}

int CPixalto::UnBindJpg(const std::string& archivePath) {
  if (archivePath.empty() || !IsRegularFile(archivePath)) return 0;
  fs::path folder = fs::path(archivePath).parent_path();
  if (folder.empty()) folder = ".";
  CUnZipFile unzip;
  if (unzip.UnZip(archivePath, folder.string()) != 1) return 0;
  return DelFile(archivePath);
}

int CPixalto::ImageToGray(const CBitmapPicture& source, CBitmapPicture& dest) {
  CBitmapPicture grey;
  if (!grey.Allocate(source.width, source.height, 8)) return 0;
  GreyPalette(grey.palette);
  grey.hasPalette = true;
  dest = std::move(grey);
  if (source.depth != 24 || !source.data) return 0;
  const std::size_t srcStride = source.Stride(), dstStride = dest.Stride();
  for (long y = 0; y < source.height; ++y) {
    const unsigned char* s = source.data + srcStride * static_cast<std::size_t>(y);
    unsigned char* d = dest.data + dstStride * static_cast<std::size_t>(y);
    for (long x = 0; x < source.width; ++x, s += 3) d[x] = static_cast<unsigned char>((s[0] + s[1] + s[2]) / 3);
  }
  return 1;
}

int CPixalto::ImageToSingle(CBitmapPicture& picture) {
  const int width = static_cast<int>(picture.width), height = static_cast<int>(picture.height);
  if (!picture.data || width < 1 || height < 1) return 0;
  std::vector<unsigned char> plane;
  try {
    plane.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  } catch (const std::bad_alloc&) {
    return 0;
  }
  CDataHandler handler;
  if (!handler.ColourToGreyScale(picture.data, width, height, picture.depth,
                                 picture.hasPalette ? picture.palette : nullptr, plane.data(), 0))
    return 0;
  handler.GreyDegreeExtend(plane.data(), width, height);  // a narrow grey range stays as it is
  handler.GreyDegreeSingle(plane.data(), width, height, 100);
  unsigned char* p = plane.data();
  const std::size_t w = static_cast<std::size_t>(width);
  for (int r = 0; r < height; ++r) {
    if (p[r * w] < 125 && !handler.DelBlackSide(p, width, height, r, 0)) return 0;
    if (p[r * w + w - 1] < 125 && !handler.DelBlackSide(p, width, height, r, width - 1)) return 0;
  }
  const std::size_t last = static_cast<std::size_t>(height - 1) * w;
  for (int c = 0; c < width; ++c) {
    if (p[c] < 125 && !handler.DelBlackSide(p, width, height, 0, c)) return 0;
    if (p[last + c] < 125 && !handler.DelBlackSide(p, width, height, height - 1, c)) return 0;
  }
  // Back over the picture at its own depth.
  const std::size_t stride = picture.Stride();
  const int bytes = picture.depth / 8;
  for (int y = 0; y < height; ++y) {
    unsigned char* d = picture.data + stride * static_cast<std::size_t>(y);
    const unsigned char* s = p + static_cast<std::size_t>(y) * w;
    for (int x = 0; x < width; ++x, d += bytes) {
      if (bytes == 1) {
        d[0] = s[x];
      } else {
        d[0] = d[1] = d[2] = s[x];
      }
    }
  }
  if (picture.depth == 8) {
    GreyPalette(picture.palette);
    picture.hasPalette = true;
  }
  return 1;
}
