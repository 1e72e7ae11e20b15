#include "canvas/gdisurface.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kLogoFrames = 75;
constexpr int kLogoMargin = 16;

// malloc'ed, zeroed, with one spare byte; null for an impossible size.
BYTE* AllocResult(size_t bytes) { return static_cast<BYTE*>(std::calloc(bytes + 1, 1)); }

// Captures the area; an output size not given (zero or negative) becomes
// the captured size. False when nothing could be captured.
bool GrabForOutput(CScreenGrabber* grabber, const CRect& area, CScreenGrabber::Frame& frame,
                   int& outW, int& outH) {
  if (!grabber || !grabber->Grab(area, frame) || frame.width <= 0 || frame.height <= 0) return false;
  if (outW <= 0 || outH <= 0) {
    outW = frame.width;
    outH = frame.height;
  }
  return true;
}

void ReplaceResult(BYTE*& bits, BYTE* fresh) {
  std::free(bits);
  bits = fresh;
}

// Blends an ARGB logo onto a packed bottom-up 24-bit picture with its
// top-left corner at (left, top) in picture coordinates.
void StampLogo(const QImage& logo, BYTE* out, int outW, int outH, int left, int top) {
  const QImage argb = logo.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < argb.height(); ++y) {
    const int row = top + y;
    if (row < 0 || row >= outH) continue;
    const auto* s = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    BYTE* o = out + static_cast<size_t>(outH - 1 - row) * outW * 3;
    for (int x = 0; x < argb.width(); ++x) {
      const int col = left + x;
      if (col < 0 || col >= outW) continue;
      const unsigned a = qAlpha(s[x]);
      if (a == 0) continue;
      BYTE* p = o + col * 3;
      const unsigned c[3] = {static_cast<unsigned>(qBlue(s[x])), static_cast<unsigned>(qGreen(s[x])),
                             static_cast<unsigned>(qRed(s[x]))};
      for (int k = 0; k < 3; ++k) p[k] = static_cast<BYTE>((c[k] * a + p[k] * (255 - a) + 127) / 255);
    }
  }
}

// Grabs the area and places it scaled by `scale` and centred into a new
// width × height packed picture; halftone for shrinking, whole pixels otherwise.
BYTE* ScaledPicture(const CScreenGrabber::Frame& frame, int width, int height, float scale, bool halftone) {
  BYTE* out = AllocResult(static_cast<size_t>(width) * height * 3);
  if (!out) return nullptr;
  const float cw = static_cast<float>(frame.width), ch = static_cast<float>(frame.height);
  const int x = static_cast<int>((static_cast<float>(width) - cw * scale) * 0.5f);
  const int y = static_cast<int>((static_cast<float>(height) - ch * scale) * 0.5f);
  const int w = static_cast<int>(cw * scale + static_cast<float>(x)) - x;
  const int h = static_cast<int>(ch * scale + static_cast<float>(y)) - y;
  if (halftone) ScaleFrameHalftone(frame, out, width, height, x, y, w, h);
  else ScaleFrameNearest(frame, out, width, height, x, y, w, h);
  return out;
}

}  // namespace

int CaptureToDib(CScreenGrabber* grabber, const CRect& area, BYTE*& bits, BITMAPINFOHEADER& header) {
  CScreenGrabber::Frame frame;
  if (!grabber || !grabber->Grab(area, frame)) return 0;
  const int stride = (frame.width * 3 + 3) & ~3;
  const size_t bytes = static_cast<size_t>(stride) * frame.height;
  BYTE* out = AllocResult(bytes);
  if (!out) return 0;
  for (int y = 0; y < frame.height; ++y) {
    const BYTE* s = frame.pixels + static_cast<size_t>(y) * frame.stride;
    BYTE* o = out + static_cast<size_t>(frame.height - 1 - y) * stride;
    for (int x = 0; x < frame.width; ++x) {
      o[3 * x] = s[4 * x];
      o[3 * x + 1] = s[4 * x + 1];
      o[3 * x + 2] = s[4 * x + 2];
    }
  }
  header = BITMAPINFOHEADER{};
  header.biSize = 40;
  header.biWidth = frame.width;
  header.biHeight = frame.height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = 0;
  header.biSizeImage = static_cast<DWORD>(bytes);
  ReplaceResult(bits, out);
  return 1;
}

CGDISurface::CGDISurface() = default;
CGDISurface::~CGDISurface() = default;

int CGDISurface::Init() {
  auto grabber = std::make_shared<CScreenGrabber>();
  if (!grabber->Open()) {
    grabber_.reset();
    return 0;
  }
  grabber_ = std::move(grabber);
  logoFrames_ = kLogoFrames;
  return 1;
}

int CGDISurface::Close() {
  grabber_.reset();
  return 1;
}

int CGDISurface::GetSurfaceImage(const CRect& area, QImage& image) {
  CScreenGrabber::Frame frame;
  if (!grabber_ || !grabber_->Grab(area, frame)) return 0;
  QImage out(frame.width, frame.height, QImage::Format_RGB888);
  if (out.isNull()) return 0;
  for (int y = 0; y < frame.height; ++y) {
    const BYTE* s = frame.pixels + static_cast<size_t>(y) * frame.stride;
    BYTE* o = out.scanLine(y);
    for (int x = 0; x < frame.width; ++x) {
      o[3 * x] = s[4 * x + 2];
      o[3 * x + 1] = s[4 * x + 1];
      o[3 * x + 2] = s[4 * x];
    }
  }
  image = std::move(out);
  return 1;
}

int CGDISurface::GetSurfaceData(const CRect& area, BYTE*& bits, BITMAPINFOHEADER& header) {
  return CaptureToDib(grabber_.get(), area, bits, header);
}

int CGDISurface::GetSurfaceData24(const CRect& area, int& width, int& height, BYTE*& bits, int& size) {
  CScreenGrabber::Frame frame;
  int outW = width, outH = height;
  if (!GrabForOutput(grabber_.get(), area, frame, outW, outH)) return 0;
  float scale = std::min(static_cast<float>(outW) / static_cast<float>(frame.width),
                         static_cast<float>(outH) / static_cast<float>(frame.height));
  if (scale >= 1.0f) {
    // Never enlarged: the output is the captured size.
    scale = 1.0f;
    outW = frame.width;
    outH = frame.height;
  }
  BYTE* out = ScaledPicture(frame, outW, outH, scale, true);
  if (!out) return 0;
  const QImage* logo = logo_ ? logo_->GetImage() : nullptr;
  if (logoFrames_ > 0 && logo && !logo->isNull()) {
    StampLogo(*logo, out, outW, outH, outW - kLogoMargin - logo->width(), kLogoMargin);
    --logoFrames_;
  }
  ReplaceResult(bits, out);
  width = outW;
  height = outH;
  size = outW * outH * 3;
  return 1;
}

void CGDISurface::RGB32toRGB24(BYTE*& bits, BITMAPINFOHEADER& header) {
  if (!bits || header.biBitCount != 32 || header.biWidth <= 0 || header.biHeight == 0) return;
  const int width = header.biWidth;
  const int height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
  const int stride = (width * 3 + 3) & ~3;
  const size_t bytes = static_cast<size_t>(stride) * height;
  BYTE* out = AllocResult(bytes);
  if (!out) return;
  for (int y = 0; y < height; ++y) {
    const BYTE* s = bits + static_cast<size_t>(y) * width * 4;
    BYTE* o = out + static_cast<size_t>(y) * stride;
    for (int x = 0; x < width; ++x) std::memcpy(o + 3 * x, s + 4 * x, 3);
  }
  ReplaceResult(bits, out);
  header.biBitCount = 24;
  header.biSizeImage = static_cast<DWORD>(bytes);
}

int CDXSurface::Init() {
  auto grabber = std::make_shared<CScreenGrabber>();
  if (!grabber->Open()) {
    grabber_.reset();
    return 0;
  }
  grabber_ = std::move(grabber);
  return 1;
}

int CDXSurface::Close() {
  grabber_.reset();
  return 1;
}

int CDXSurface::GetSurfaceData(const CRect& area, BYTE*& bits, BITMAPINFOHEADER& header) {
  return CaptureToDib(grabber_.get(), area, bits, header);
}

int CDXSurface::GetSurfaceData24(const CRect& area, int& width, int& height, BYTE*& bits, int& size) {
  CScreenGrabber::Frame frame;
  int outW = width, outH = height;
  if (!GrabForOutput(grabber_.get(), area, frame, outW, outH)) return 0;
  const int whole = std::min(outH / frame.height, outW / frame.width);
  const float scale = whole >= 1 ? static_cast<float>(whole)
                                 : std::min(static_cast<float>(outW) / static_cast<float>(frame.width),
                                            static_cast<float>(outH) / static_cast<float>(frame.height));
  BYTE* out = ScaledPicture(frame, outW, outH, scale, false);
  if (!out) return 0;
  ReplaceResult(bits, out);
  width = outW;
  height = outH;
  size = outW * outH * 3;
  return 1;
}
