// Picture codecs: format choice, decoding with format checks, encoding,
// picture-buffer conversions and the GIF writer with its palette.

#include "imaging/picture_codec.h"

#include "imaging/data_handler.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gif_lib.h>

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <unordered_map>

namespace {

// Pictures beyond this many pixels a side are refused (also by the bitmap code).
constexpr int kMaxSide = 1 << 16;

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

QImage FailImage(std::string* error, const std::string& text) {
  Fail(error, text);
  return QImage();
}

// ---- Recognising the formats by their first bytes ------------------------------

enum class Kind { Unknown, Jpeg, Bmp, Png, Gif, Tiff, Svg };

bool StartsWith(const unsigned char* b, std::size_t n, const char* sig, std::size_t len) {
  return n >= len && std::memcmp(b, sig, len) == 0;
}

bool LooksLikeSvg(const unsigned char* b, std::size_t n) {
  if (n >= 2 && b[0] == 0x1f && b[1] == 0x8b) return true;  // compressed SVG
  std::size_t i = 0;
  if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) i = 3;  // UTF-8 mark
  while (i < n && std::isspace(b[i])) ++i;
  if (i >= n || b[i] != '<') return false;
  const std::string head(reinterpret_cast<const char*>(b + i), std::min<std::size_t>(n - i, 4096));
  return head.find("<svg") != std::string::npos;
}

Kind Recognise(const unsigned char* b, std::size_t n) {
  if (n >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return Kind::Jpeg;
  if (StartsWith(b, n, "\x89PNG\r\n\x1a\n", 8)) return Kind::Png;
  if (StartsWith(b, n, "GIF87a", 6) || StartsWith(b, n, "GIF89a", 6)) return Kind::Gif;
  if (StartsWith(b, n, "II*\0", 4) || StartsWith(b, n, "MM\0*", 4)) return Kind::Tiff;
  if (StartsWith(b, n, "BM", 2)) return Kind::Bmp;
  if (LooksLikeSvg(b, n)) return Kind::Svg;
  return Kind::Unknown;
}

// A JPEG decoder fills a cut-off picture with grey and calls it done; a file
// is complete only when its scan data reaches the end-of-image marker.
bool JpegIsComplete(const unsigned char* b, std::size_t n) {
  std::size_t at = 2;
  while (at + 1 < n) {
    if (b[at] != 0xFF) return false;
    while (at < n && b[at] == 0xFF) ++at;  // fill bytes
    if (at >= n) return false;
    const unsigned char marker = b[at++];
    if (marker == 0xD9) return true;
    if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) continue;  // no length
    if (at + 2 > n) return false;
    const std::size_t length = (static_cast<std::size_t>(b[at]) << 8) | b[at + 1];
    if (length < 2 || at + length > n) return false;
    at += length;
    if (marker == 0xDA) {
      // Entropy-coded data up to the next marker that is neither a stuffed
      // zero nor a restart; progressive files have several scans.
      while (at + 1 < n) {
        if (b[at] == 0xFF && b[at + 1] != 0x00 && !(b[at + 1] >= 0xD0 && b[at + 1] <= 0xD7) &&
            b[at + 1] != 0xFF)
          break;
        ++at;
      }
      if (at + 1 >= n) return false;
    }
  }
  return false;
}

// A GIF stream ends with the trailer byte; the image decoder would show a
// cut-off file half drawn.
bool GifIsComplete(const unsigned char* b, std::size_t n) {
  std::size_t end = n;
  while (end > 0 && b[end - 1] == 0) --end;  // some writers pad with zeros
  return end > 13 && b[end - 1] == 0x3B;
}

QImage DecodeSvg(const unsigned char* bytes, std::size_t size, std::string* error) {
  QSvgRenderer renderer(QByteArray(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(size)));
  if (!renderer.isValid()) return FailImage(error, "not a valid SVG picture");
  const QSize s = renderer.defaultSize();
  if (s.width() < 1 || s.height() < 1 || s.width() > kMaxSide || s.height() > kMaxSide)
    return FailImage(error, "SVG picture without a usable size");
  QImage image(s, QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return FailImage(error, "out of memory");
  image.fill(Qt::transparent);
  QPainter painter(&image);
  renderer.render(&painter);
  painter.end();
  return image;
}

// Decodes into whatever layout the reader gives (grey, palette, RGB, ARGB).
QImage DecodeNative(const unsigned char* bytes, std::size_t size, std::string* error) {
  if (!bytes || size == 0) return FailImage(error, "empty file");
  const Kind kind = Recognise(bytes, size);
  const char* format = nullptr;
  switch (kind) {
    case Kind::Unknown:
      return FailImage(error, "not a picture file (JPEG, BMP, PNG, GIF, TIFF or SVG)");
    case Kind::Svg:
      return DecodeSvg(bytes, size, error);
    case Kind::Bmp: {
      CBitmapPicture picture;
      std::string why;
      if (DecodeBitmap(bytes, size, picture, &why)) {
        QImage image = ImageFromBuffer(picture.data, picture.width, picture.height, picture.depth,
                                       picture.hasPalette ? picture.palette : nullptr);
        if (image.isNull()) return FailImage(error, "out of memory");
        return image;
      }
      // Other bitmap layouts (1, 4 or 16 bits, run-length coding) go to the
      // platform reader; the layouts ours reads are refused when damaged.
      const bool otherLayout = size >= 34 && ((bytes[28] | bytes[29] << 8) != 8 &&
                                              (bytes[28] | bytes[29] << 8) != 24 &&
                                              (bytes[28] | bytes[29] << 8) != 32);
      const bool compressed = size >= 34 && (bytes[30] == 1 || bytes[30] == 2);
      if (!otherLayout && !compressed) return FailImage(error, "bitmap: " + why);
      QByteArray data(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(size));
      QBuffer buffer(&data);
      buffer.open(QIODevice::ReadOnly);
      QImageReader reader(&buffer, "bmp");
      QImage image;
      if (!reader.read(&image) || image.isNull()) return FailImage(error, "bitmap: " + why);
      return image;
    }
    case Kind::Jpeg:
      if (!JpegIsComplete(bytes, size)) return FailImage(error, "JPEG file is damaged or cut off");
      format = "jpeg";
      break;
    case Kind::Png:
      format = "png";
      break;
    case Kind::Gif:
      if (!GifIsComplete(bytes, size)) return FailImage(error, "GIF file is cut off");
      format = "gif";
      break;
    case Kind::Tiff:
      format = "tiff";
      if (!QImageReader::supportedImageFormats().contains("tiff"))
        return FailImage(error, "TIFF reading is not available (Qt image-formats plugins missing)");
      break;
  }
  QByteArray data(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(size));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, format);
  reader.setDecideFormatFromContent(false);
  reader.setAutoTransform(false);
  QImage image;
  if (!reader.read(&image) || image.isNull()) {
    const std::string why = reader.errorString().toStdString();
    std::string name = format;
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return FailImage(error, name + " file is damaged: " + why);
  }
  if (image.width() > kMaxSide || image.height() > kMaxSide)
    return FailImage(error, "picture larger than 65536 pixels a side");
  return image;
}

// ---- Palettes ------------------------------------------------------------------------

bool IsGreyRamp(const tagRGBQUAD* palette) {
  for (int i = 0; i < 256; ++i)
    if (palette[i].rgbRed != i || palette[i].rgbGreen != i || palette[i].rgbBlue != i) return false;
  return true;
}

// A QImage in its most faithful layout for a picture buffer: grey or palette
// for 8 bits, BGR for 24, opaque RGB for 32 (the fourth byte is not alpha).
QImage NativeFromBuffer(const unsigned char* data, long width, long height, int depth,
                        const tagRGBQUAD* palette) {
  if (!data || width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return QImage();
  const std::size_t stride = PictureStride(width, depth);
  const int w = static_cast<int>(width), h = static_cast<int>(height);
  auto row = [&](int y) { return data + stride * static_cast<std::size_t>(height - 1 - y); };
  if (depth == 8) {
    tagRGBQUAD grey[256];
    if (!palette) {
      GreyPalette(grey);
      palette = grey;
    }
    const bool isGrey = IsGreyRamp(palette);
    QImage image(w, h, isGrey ? QImage::Format_Grayscale8 : QImage::Format_Indexed8);
    if (image.isNull()) return image;
    if (!isGrey) {
      QList<QRgb> table(256);
      for (int i = 0; i < 256; ++i)
        table[i] = qRgb(palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue);
      image.setColorTable(table);
    }
    for (int y = 0; y < h; ++y) std::memcpy(image.scanLine(y), row(y), static_cast<std::size_t>(w));
    return image;
  }
  if (depth == 24) {
    QImage image(w, h, QImage::Format_BGR888);
    if (image.isNull()) return image;
    for (int y = 0; y < h; ++y)
      std::memcpy(image.scanLine(y), row(y), static_cast<std::size_t>(w) * 3);
    return image;
  }
  if (depth == 32) {
    QImage image(w, h, QImage::Format_RGB32);
    if (image.isNull()) return image;
    for (int y = 0; y < h; ++y) {
      const unsigned char* s = row(y);
      QRgb* d = reinterpret_cast<QRgb*>(image.scanLine(y));
      for (int x = 0; x < w; ++x, s += 4) d[x] = qRgb(s[2], s[1], s[0]);
    }
    return image;
  }
  return QImage();
}

bool HasTransparency(const QImage& argb) {
  for (int y = 0; y < argb.height(); ++y) {
    const QRgb* p = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    for (int x = 0; x < argb.width(); ++x)
      if (qAlpha(p[x]) != 255) return true;
  }
  return false;
}

// ---- GIF writing -------------------------------------------------------------------

// An indexed picture ready for the GIF writer.
struct IndexedPicture {
  int width = 0, height = 0;
  std::vector<unsigned char> indices;  // top-down rows
  std::vector<QRgb> colours;           // at most 256
  int transparent = -1;                // palette entry shown transparent
};

// Median cut over a 6-bit-per-channel histogram of the picture's colours,
// then refined by a few rounds of moving each colour to the mean of the
// histogram cells nearest to it (k-means on the cells).
class CPaletteBuilder {
 public:
  static constexpr int kBits = 6;
  static constexpr int kCells = 1 << (3 * kBits);

  static int Cell(QRgb c) {
    return ((qRed(c) >> (8 - kBits)) << (2 * kBits)) | ((qGreen(c) >> (8 - kBits)) << kBits) |
           (qBlue(c) >> (8 - kBits));
  }

  CPaletteBuilder() : index_(kCells, -1) {}

  void Add(QRgb c) {
    int& slot = index_[Cell(c)];
    if (slot < 0) {
      slot = static_cast<int>(entries_.size());
      entries_.push_back(Entry{});
    }
    Entry& e = entries_[slot];
    e.count += 1;
    e.sum[0] += qRed(c);
    e.sum[1] += qGreen(c);
    e.sum[2] += qBlue(c);
  }

  // Builds at most `limit` colours; fills `lookup` (cell → palette entry).
  std::vector<QRgb> Build(int limit, std::vector<unsigned char>& lookup) {
    for (Entry& e : entries_)
      for (int k = 0; k < 3; ++k) e.mean[k] = static_cast<double>(e.sum[k]) / e.count;
    std::vector<std::array<double, 3>> palette = MedianCut(limit);
    std::vector<int> nearest(entries_.size(), 0);
    for (int round = 0; round < 3; ++round) {
      Assign(palette, nearest);
      std::vector<std::array<double, 4>> acc(palette.size(), {0, 0, 0, 0});
      for (std::size_t i = 0; i < entries_.size(); ++i) {
        auto& a = acc[nearest[i]];
        for (int k = 0; k < 3; ++k) a[k] += static_cast<double>(entries_[i].sum[k]);
        a[3] += static_cast<double>(entries_[i].count);
      }
      for (std::size_t p = 0; p < palette.size(); ++p)
        if (acc[p][3] > 0)
          for (int k = 0; k < 3; ++k) palette[p][k] = acc[p][k] / acc[p][3];
    }
    Assign(palette, nearest);
    lookup.assign(kCells, 0);
    for (int cell = 0; cell < kCells; ++cell)
      if (index_[cell] >= 0) lookup[cell] = static_cast<unsigned char>(nearest[index_[cell]]);
    std::vector<QRgb> colours;
    for (const auto& p : palette)
      colours.push_back(qRgb(static_cast<int>(p[0] + 0.5), static_cast<int>(p[1] + 0.5),
                             static_cast<int>(p[2] + 0.5)));
    return colours;
  }

 private:
  struct Entry {
    std::uint64_t count = 0;
    std::uint64_t sum[3] = {0, 0, 0};
    double mean[3] = {0, 0, 0};
  };
  struct Box {
    std::size_t begin, end;  // range of order_
    double spread;           // widest channel range
    int axis;
    std::uint64_t count;
  };

  void Measure(Box& box) const {
    double lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
    box.count = 0;
    for (std::size_t i = box.begin; i < box.end; ++i) {
      const Entry& e = entries_[order_[i]];
      box.count += e.count;
      for (int k = 0; k < 3; ++k) {
        lo[k] = std::min(lo[k], e.mean[k]);
        hi[k] = std::max(hi[k], e.mean[k]);
      }
    }
    box.axis = 0;
    for (int k = 1; k < 3; ++k)
      if (hi[k] - lo[k] > hi[box.axis] - lo[box.axis]) box.axis = k;
    box.spread = hi[box.axis] - lo[box.axis];
  }

  std::vector<std::array<double, 3>> MedianCut(int limit) {
    order_.resize(entries_.size());
    for (std::size_t i = 0; i < order_.size(); ++i) order_[i] = static_cast<int>(i);
    std::vector<Box> boxes(1, Box{0, order_.size(), 0, 0, 0});
    Measure(boxes[0]);
    while (static_cast<int>(boxes.size()) < limit) {
      // Split the box whose colours are most spread, weighted by how many
      // pixels it covers (square root, so small detailed areas get colours too).
      int best = -1;
      double bestScore = 0;
      for (std::size_t b = 0; b < boxes.size(); ++b) {
        if (boxes[b].end - boxes[b].begin < 2 || boxes[b].spread <= 0) continue;
        const double score = boxes[b].spread * std::sqrt(static_cast<double>(boxes[b].count));
        if (score > bestScore) {
          bestScore = score;
          best = static_cast<int>(b);
        }
      }
      if (best < 0) break;
      Box box = boxes[best];
      const int axis = box.axis;
      std::sort(order_.begin() + static_cast<std::ptrdiff_t>(box.begin),
                order_.begin() + static_cast<std::ptrdiff_t>(box.end),
                [&](int a, int b) { return entries_[a].mean[axis] < entries_[b].mean[axis]; });
      std::uint64_t half = box.count / 2, seen = 0;
      std::size_t cut = box.begin;
      while (cut < box.end - 1 && seen + entries_[order_[cut]].count <= half)
        seen += entries_[order_[cut++]].count;
      if (cut == box.begin) cut = box.begin + 1;
      Box low{box.begin, cut, 0, 0, 0}, high{cut, box.end, 0, 0, 0};
      Measure(low);
      Measure(high);
      boxes[best] = low;
      boxes.push_back(high);
    }
    std::vector<std::array<double, 3>> palette;
    for (const Box& box : boxes) {
      double s[3] = {0, 0, 0};
      for (std::size_t i = box.begin; i < box.end; ++i)
        for (int k = 0; k < 3; ++k) s[k] += static_cast<double>(entries_[order_[i]].sum[k]);
      palette.push_back({s[0] / box.count, s[1] / box.count, s[2] / box.count});
    }
    return palette;
  }

  void Assign(const std::vector<std::array<double, 3>>& palette, std::vector<int>& nearest) const {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      const double* m = entries_[i].mean;
      double bestDistance = std::numeric_limits<double>::max();
      int best = 0;
      for (std::size_t p = 0; p < palette.size(); ++p) {
        // Weighted towards green, as the eye is.
        const double dr = m[0] - palette[p][0], dg = m[1] - palette[p][1], db = m[2] - palette[p][2];
        const double d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
        if (d < bestDistance) {
          bestDistance = d;
          best = static_cast<int>(p);
        }
      }
      nearest[i] = best;
    }
  }

  std::vector<int> index_;  // cell → entry, -1 when no pixel falls in the cell
  std::vector<Entry> entries_;
  std::vector<int> order_;
};

IndexedPicture ToIndexed(const QImage& source) {
  IndexedPicture out;
  out.width = source.width();
  out.height = source.height();
  out.indices.resize(static_cast<std::size_t>(out.width) * out.height);
  const std::size_t w = static_cast<std::size_t>(out.width);

  if (source.format() == QImage::Format_Grayscale8) {
    for (int i = 0; i < 256; ++i) out.colours.push_back(qRgb(i, i, i));
    for (int y = 0; y < out.height; ++y) std::memcpy(&out.indices[y * w], source.constScanLine(y), w);
    return out;
  }
  if (source.format() == QImage::Format_Indexed8) {
    const QList<QRgb> table = source.colorTable();
    bool opaque = !table.isEmpty();
    for (QRgb c : table) opaque = opaque && qAlpha(c) == 255;
    if (opaque && table.size() <= 256) {
      out.colours.assign(table.begin(), table.end());
      for (int y = 0; y < out.height; ++y) {
        const unsigned char* s = source.constScanLine(y);
        for (std::size_t x = 0; x < w; ++x)  // an index beyond the table shows its first colour
          out.indices[y * w + x] = s[x] < table.size() ? s[x] : 0;
      }
      return out;
    }
  }

  const QImage argb = source.convertToFormat(QImage::Format_ARGB32);
  const bool transparent = HasTransparency(argb);
  const int limit = transparent ? 255 : 256;
  // Few colours: an exact palette.
  std::unordered_map<QRgb, unsigned char> exact;
  bool fits = true;
  for (int y = 0; y < out.height && fits; ++y) {
    const QRgb* p = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    for (int x = 0; x < out.width; ++x) {
      if (qAlpha(p[x]) < 128) continue;
      const QRgb c = p[x] | 0xFF000000u;
      if (exact.count(c)) continue;
      if (static_cast<int>(exact.size()) == limit) {
        fits = false;
        break;
      }
      exact.emplace(c, static_cast<unsigned char>(exact.size()));
    }
  }
  std::vector<unsigned char> lookup;
  if (fits) {
    out.colours.resize(exact.size());
    for (const auto& [c, i] : exact) out.colours[i] = c;
  } else {
    CPaletteBuilder builder;
    for (int y = 0; y < out.height; ++y) {
      const QRgb* p = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
      for (int x = 0; x < out.width; ++x)
        if (qAlpha(p[x]) >= 128) builder.Add(p[x]);
    }
    out.colours = builder.Build(limit, lookup);
  }
  if (transparent) {
    out.transparent = static_cast<int>(out.colours.size());
    out.colours.push_back(qRgb(0, 0, 0));
  }
  for (int y = 0; y < out.height; ++y) {
    const QRgb* p = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    for (int x = 0; x < out.width; ++x) {
      unsigned char& d = out.indices[y * w + x];
      if (qAlpha(p[x]) < 128)
        d = static_cast<unsigned char>(out.transparent);
      else if (fits)
        d = exact.at(p[x] | 0xFF000000u);
      else
        d = lookup[CPaletteBuilder::Cell(p[x])];
    }
  }
  return out;
}

int WriteToVector(GifFileType* gif, const GifByteType* data, int length) {
  auto* out = static_cast<std::vector<unsigned char>*>(gif->UserData);
  out->insert(out->end(), data, data + length);
  return length;
}

std::vector<unsigned char> EncodeGif(const QImage& image, std::string* error) {
  if (image.width() > 65535 || image.height() > 65535) {
    Fail(error, "GIF pictures are at most 65535 pixels a side");
    return {};
  }
  IndexedPicture indexed = ToIndexed(image);
  int tableSize = 2;
  while (tableSize < static_cast<int>(indexed.colours.size())) tableSize *= 2;
  std::vector<GifColorType> colours(tableSize, GifColorType{0, 0, 0});
  for (std::size_t i = 0; i < indexed.colours.size(); ++i)
    colours[i] = GifColorType{static_cast<GifByteType>(qRed(indexed.colours[i])),
                              static_cast<GifByteType>(qGreen(indexed.colours[i])),
                              static_cast<GifByteType>(qBlue(indexed.colours[i]))};
  ColorMapObject* map = GifMakeMapObject(tableSize, colours.data());
  if (!map) {
    Fail(error, "out of memory");
    return {};
  }
  std::vector<unsigned char> out;
  int code = 0;
  GifFileType* gif = EGifOpen(&out, WriteToVector, &code);
  if (!gif) {
    GifFreeMapObject(map);
    Fail(error, std::string("GIF writer: ") + GifErrorString(code));
    return {};
  }
  bool ok = EGifPutScreenDesc(gif, indexed.width, indexed.height, 8, 0, map) == GIF_OK;
  if (ok && indexed.transparent >= 0) {
    EGifSetGifVersion(gif, true);
    const GifByteType control[4] = {0x01, 0, 0, static_cast<GifByteType>(indexed.transparent)};
    ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control) == GIF_OK;
  }
  ok = ok && EGifPutImageDesc(gif, 0, 0, indexed.width, indexed.height, false, nullptr) == GIF_OK;
  for (int y = 0; ok && y < indexed.height; ++y)
    ok = EGifPutLine(gif, &indexed.indices[static_cast<std::size_t>(y) * indexed.width],
                     indexed.width) == GIF_OK;
  const int lineError = gif->Error;
  if (EGifCloseFile(gif, &code) != GIF_OK) ok = false;
  GifFreeMapObject(map);
  if (!ok) {
    Fail(error, std::string("GIF writer: ") + GifErrorString(lineError ? lineError : code));
    return {};
  }
  return out;
}

std::vector<unsigned char> EncodeWithQt(const QImage& image, const char* format, int quality,
                                        std::string* error) {
  if (!QImageWriter::supportedImageFormats().contains(format)) {
    Fail(error, std::string(format) + " writing is not available (Qt image-formats plugins missing)");
    return {};
  }
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  if (quality >= 0) writer.setQuality(std::min(quality, 100));
  if (!writer.write(image)) {
    Fail(error, std::string(format) + " writer: " + writer.errorString().toStdString());
    return {};
  }
  return std::vector<unsigned char>(data.begin(), data.end());
}

// Picture buffer of a QImage keeping grey and palette layouts as 8 bits.
bool BufferFromNative(const QImage& image, CBitmapPicture& picture, bool keepAlpha) {
  const int w = image.width(), h = image.height();
  if (w < 1 || h < 1) return false;
  CBitmapPicture out;
  if (image.format() == QImage::Format_Grayscale8 || image.format() == QImage::Format_Indexed8 ||
      image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB) {
    const QImage indexed = image.format() == QImage::Format_Grayscale8
                               ? image
                               : image.convertToFormat(QImage::Format_Indexed8);
    if (indexed.isNull() || !out.Allocate(w, h, 8)) return false;
    GreyPalette(out.palette);
    if (indexed.format() == QImage::Format_Indexed8) {
      const QList<QRgb> table = indexed.colorTable();
      for (int i = 0; i < table.size() && i < 256; ++i)
        out.palette[i] = tagRGBQUAD{static_cast<BYTE>(qBlue(table[i])),
                                    static_cast<BYTE>(qGreen(table[i])),
                                    static_cast<BYTE>(qRed(table[i])), 0};
      for (int i = static_cast<int>(table.size()); i < 256; ++i) out.palette[i] = tagRGBQUAD{};
    }
    out.hasPalette = true;
    const std::size_t stride = out.Stride();
    for (int y = 0; y < h; ++y)
      std::memcpy(out.data + stride * static_cast<std::size_t>(h - 1 - y), indexed.constScanLine(y),
                  static_cast<std::size_t>(w));
  } else if (keepAlpha && image.hasAlphaChannel()) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    if (argb.isNull() || !out.Allocate(w, h, 32)) return false;
    for (int y = 0; y < h; ++y)  // ARGB32 words are blue, green, red, alpha in memory
      std::memcpy(out.data + static_cast<std::size_t>(w) * 4 * static_cast<std::size_t>(h - 1 - y),
                  argb.constScanLine(y), static_cast<std::size_t>(w) * 4);
  } else {
    const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
    if (bgr.isNull() || !out.Allocate(w, h, 24)) return false;
    const std::size_t stride = out.Stride();
    for (int y = 0; y < h; ++y)
      std::memcpy(out.data + stride * static_cast<std::size_t>(h - 1 - y), bgr.constScanLine(y),
                  static_cast<std::size_t>(w) * 3);
  }
  picture = std::move(out);
  return true;
}

// The process's file-creation mask, read without changing it (umask() would
// briefly change it for every thread).
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  return 022;
}

bool ReadWholeFile(const std::string& path, std::vector<unsigned char>& bytes, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Fail(error, std::string("cannot open: ") + std::strerror(errno));
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) return Fail(error, "read error");
  return true;
}

}  // namespace

PictureFormat PictureFormatFromPath(std::string_view path) {
  const std::size_t dot = path.rfind('.');
  std::string ext(dot == std::string_view::npos ? std::string_view() : path.substr(dot + 1));
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (ext.find("BMP") != std::string::npos) return PictureFormat::Bmp;
  if (ext.find("PNG") != std::string::npos) return PictureFormat::Png;
  if (ext.find("GIF") != std::string::npos) return PictureFormat::Gif;
  if (ext.find("TIF") != std::string::npos) return PictureFormat::Tiff;
  return PictureFormat::Jpeg;
}

std::string_view PictureTypeExtension(int imageType) {
  static constexpr std::string_view kExtensions[] = {"bmp", "jpg", "png", "gif", "tif"};
  return imageType >= 0 && imageType <= 4 ? kExtensions[imageType] : kExtensions[1];
}

const char* PictureFormatMime(PictureFormat format) {
  switch (format) {
    case PictureFormat::Bmp: return "image/bmp";
    case PictureFormat::Png: return "image/png";
    case PictureFormat::Gif: return "image/gif";
    case PictureFormat::Tiff: return "image/tiff";
    case PictureFormat::Jpeg: break;
  }
  return "image/jpeg";
}

const char* PictureFormatName(PictureFormat format) {
  switch (format) {
    case PictureFormat::Bmp: return "BMP";
    case PictureFormat::Png: return "PNG";
    case PictureFormat::Gif: return "GIF";
    case PictureFormat::Tiff: return "TIFF";
    case PictureFormat::Jpeg: break;
  }
  return "JPEG";
}

QImage DecodePicture(const unsigned char* bytes, std::size_t size, std::string* error) {
  QImage image = DecodeNative(bytes, size, error);
  if (image.isNull()) return image;
  QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  if (argb.isNull()) return FailImage(error, "out of memory");
  return argb;
}

QImage ReadPicture(const std::string& path, std::string* error) {
  std::vector<unsigned char> bytes;
  if (!ReadWholeFile(path, bytes, error)) return QImage();
  return DecodePicture(bytes.data(), bytes.size(), error);
}

QImage ReadPicture(QIODevice& stream, std::string* error) {
  if (!stream.isOpen() || !stream.isReadable()) return FailImage(error, "stream not readable");
  const QByteArray data = stream.readAll();
  return DecodePicture(reinterpret_cast<const unsigned char*>(data.constData()),
                       static_cast<std::size_t>(data.size()), error);
}

std::vector<unsigned char> EncodePicture(const QImage& image, PictureFormat format,
                                         const PictureWriteOptions& options, std::string* error) {
  if (image.isNull() || image.width() > kMaxSide || image.height() > kMaxSide) {
    Fail(error, "no picture to write");
    return {};
  }
  switch (format) {
    case PictureFormat::Bmp: {
      // A 32-bit bitmap's fourth byte is not read as alpha (camera pictures
      // leave it zero), so alpha is not written either.
      CBitmapPicture picture;
      if (!BufferFromNative(image, picture, false)) {
        Fail(error, "out of memory");
        return {};
      }
      std::vector<unsigned char> bytes =
          EncodeBitmap(picture.data, picture.width, picture.height, picture.depth,
                       picture.hasPalette ? picture.palette : nullptr, options.bitmap);
      if (bytes.empty()) Fail(error, "cannot encode this picture as a bitmap");
      return bytes;
    }
    case PictureFormat::Gif:
      return EncodeGif(image, error);
    case PictureFormat::Png:
      return EncodeWithQt(image, "png", -1, error);
    case PictureFormat::Tiff:
      return EncodeWithQt(image, "tiff", -1, error);
    case PictureFormat::Jpeg:
      break;
  }
  // JPEG has no alpha: Grey pictures stay grey, everything else becomes RGB.
  const QImage opaque = image.format() == QImage::Format_Grayscale8
                            ? image
                            : image.convertToFormat(QImage::Format_RGB32);
  return EncodeWithQt(opaque, "jpeg", options.quality, error);
}

bool DecodePictureBuffer(const unsigned char* bytes, std::size_t size, CBitmapPicture& picture,
                         std::string* error) {
  if (bytes && Recognise(bytes, size) == Kind::Bmp && DecodeBitmap(bytes, size, picture, nullptr))
    return true;
  const QImage image = DecodeNative(bytes, size, error);
  if (image.isNull()) return false;
  if (!BufferFromNative(image, picture, image.hasAlphaChannel() &&
                                            HasTransparency(image.convertToFormat(QImage::Format_ARGB32))))
    return Fail(error, "out of memory");
  return true;
}

bool ReadPictureBuffer(const std::string& path, CBitmapPicture& picture, std::string* error) {
  std::vector<unsigned char> bytes;
  if (!ReadWholeFile(path, bytes, error)) return false;
  return DecodePictureBuffer(bytes.data(), bytes.size(), picture, error);
}

std::vector<unsigned char> EncodePictureBuffer(const unsigned char* data, long width, long height,
                                               int depth, const tagRGBQUAD* palette,
                                               PictureFormat format,
                                               const PictureWriteOptions& options,
                                               std::string* error) {
  if (format == PictureFormat::Bmp) {
    std::vector<unsigned char> bytes = EncodeBitmap(data, width, height, depth, palette, options.bitmap);
    if (bytes.empty()) Fail(error, "cannot encode this picture as a bitmap");
    return bytes;
  }
  const QImage image = NativeFromBuffer(data, width, height, depth, palette);
  if (image.isNull()) {
    Fail(error, "not a picture of 8, 24 or 32 bits");
    return {};
  }
  return EncodePicture(image, format, options, error);
}

QImage ImageFromBuffer(const unsigned char* data, long width, long height, int depth,
                       const tagRGBQUAD* palette) {
  const QImage native = NativeFromBuffer(data, width, height, depth, palette);
  if (native.isNull()) return native;
  return native.convertToFormat(QImage::Format_ARGB32);
}

bool BufferFromImage(const QImage& image, CBitmapPicture& picture) {
  if (image.isNull()) return false;
  const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
  return BufferFromNative(bgr, picture, false);
}

bool WriteFileAtomically(const std::string& path, const std::vector<unsigned char>& bytes,
                         std::string* error) {
  if (path.empty()) return Fail(error, "no output path");
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) return Fail(error, std::string("cannot create: ") + std::strerror(errno));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const std::string reason = n < 0 ? std::strerror(errno) : "nothing written";
      ::close(fd);
      ::unlink(temp.c_str());
      return Fail(error, "write error: " + reason);
    }
    done += static_cast<std::size_t>(n);
  }
  // mkstemp creates the file for the owner only; give it the usual mode.
  ::fchmod(fd, 0666 & ~CurrentUmask());
  if (::close(fd) != 0 || std::rename(temp.c_str(), path.c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    ::unlink(temp.c_str());
    return Fail(error, "cannot write: " + reason);
  }
  return true;
}

bool WritePicture(const std::string& path, const QImage& image, const PictureWriteOptions& options,
                  std::string* error) {
  const std::vector<unsigned char> bytes =
      EncodePicture(image, PictureFormatFromPath(path), options, error);
  return !bytes.empty() && WriteFileAtomically(path, bytes, error);
}

bool WritePictureBuffer(const std::string& path, const CBitmapPicture& picture,
                        const PictureWriteOptions& options, std::string* error) {
  const std::vector<unsigned char> bytes =
      EncodePictureBuffer(picture.data, picture.width, picture.height, picture.depth,
                          picture.hasPalette ? picture.palette : nullptr,
                          PictureFormatFromPath(path), options, error);
  return !bytes.empty() && WriteFileAtomically(path, bytes, error);
}
