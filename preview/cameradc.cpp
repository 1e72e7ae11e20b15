#include "preview/cameradc.h"

#include "contracts/fundara/font.h"
#include "contracts/fundara/memory.h"
#include "contracts/fundara/paths.h"
#include "contracts/fundara/thumbs.h"
#include "imaging/bitmap_file.h"
#include "imaging/page_frame.h"
#include "imaging/picture_codec.h"
#include "platform/profile.h"

#include <QFont>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

constexpr LONG kPelsPerMeter300 = 11811;

CRect Intersect(const CRect& a, const CRect& b) {
  CRect r;
  r.IntersectRect(a, b);
  return r;
}

QColor ToQColor(COLORREF c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

// A fresh NewMem copy of a picture buffer; null when it cannot be allocated.
BYTE* CopyPicture(const BYTE* data, long width, long height, int depth) {
  const std::size_t size = PictureSize(width, height, depth);
  BYTE* copy = NewMem(size);
  if (copy) std::memcpy(copy, data, size);
  return copy;
}

// Copies the part `src` of a picture buffer (top-down rectangle, inside the
// picture) into a 32-bit canvas image of the same size as `src`.
void PictureToCanvas(const BYTE* data, long width, long height, int depth, const tagRGBQUAD* palette,
                     const CRect& src, QImage& out) {
  const std::size_t stride = PictureStride(width, depth);
  const int w = src.Width();
  QRgb lut[256];
  if (depth == 8) {
    for (int i = 0; i < 256; ++i) lut[i] = qRgb(palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue);
  }
  for (int y = 0; y < src.Height(); ++y) {
    const long row = height - 1 - (src.top + y);  // bottom-up storage
    const BYTE* s = data + static_cast<std::size_t>(row) * stride;
    auto* d = reinterpret_cast<QRgb*>(out.scanLine(y));
    if (depth == 24) {
      CDataHandler::Colour24ToOpaque32(s + static_cast<std::size_t>(src.left) * 3, d, w);
    } else if (depth == 32) {
      s += static_cast<std::size_t>(src.left) * 4;
      for (int x = 0; x < w; ++x, s += 4) d[x] = 0xFF000000u | (QRgb(s[2]) << 16) | (QRgb(s[1]) << 8) | s[0];
    } else {
      s += src.left;
      for (int x = 0; x < w; ++x) d[x] = lut[s[x]];
    }
  }
}

// An angle in degrees brought into -180…180.
int WrapAngle(int degrees) {
  degrees %= 360;
  if (degrees > 180) degrees -= 360;
  if (degrees < -180) degrees += 360;
  return degrees;
}

// `pixels` (when given) are what the file was written from: the thumbnail
// is made from them rather than from the file read back.
bool WriteThumbOf(const std::string& path, const QImage& pixels = QImage()) {
  CThumbs thumbs;
  thumbs.WriteThumb(path, pixels);  // a missing thumbnail does not undo the save
  return true;
}

}  // namespace

CCameraDC::CCameraDC() { CSetFont::InstallSubstitutes(); }

CCameraDC::~CCameraDC() { ReleaseFrame(); }

void CCameraDC::ReleaseFrame() {
  DelMem(frame_);
  frame_ = nullptr;
  delete[] palette_;
  palette_ = nullptr;
  ReleaseUnturned();
}

void CCameraDC::ReleaseUnturned() {
  DelMem(unturned_);
  unturned_ = nullptr;
  unturnedWidth_ = unturnedHeight_ = 0;
  unturnedAngle_ = 0;
}

// ---- Frame input ------------------------------------------------------------------

int CCameraDC::CopyColorImageData(const BYTE* data, int width, int height, int depth,
                                  const tagRGBQUAD* palette) {
  if (!data || width <= 0 || height <= 0 || (depth != 8 && depth != 24 && depth != 32)) return 0;
  BYTE* copy = CopyPicture(data, width, height, depth);
  if (!copy) return 0;
  tagRGBQUAD* pal = nullptr;
  if (depth == 8 && palette) {
    pal = new tagRGBQUAD[256];
    std::memcpy(pal, palette, sizeof(tagRGBQUAD) * 256);
  }
  std::lock_guard<std::mutex> lock(frameLock_);
  ReleaseFrame();
  frame_ = copy;
  palette_ = pal;
  width_ = width;
  height_ = height;
  depth_ = depth;
  return 1;
}

int CCameraDC::SetImageData(const BYTE* data, int width, int height, int depth, const tagRGBQUAD* palette) {
  if (videoLock_) return 0;
  if (!CopyColorImageData(data, width, height, depth, palette)) return 0;
  if (hotPixel_ && depth_ == 24) handler_.Colour24MedianFilter(frame_, width_, height_);
  {
    std::lock_guard<std::mutex> lock(frameLock_);
    const CRect whole(0, 0, width_, height_);
    CRect region = whole;
    // Angle 0 leaves frame and region as they are. Turned, the frame as it
    // came is kept, so that a frozen frame turned to another angle later
    // starts from it again.
    if (rotationAngle_ != 0) {
      if (depth_ == 24 && (unturned_ = CopyPicture(frame_, width_, height_, depth_)) != nullptr) {
        unturnedWidth_ = width_;
        unturnedHeight_ = height_;
        unturnedAngle_ = 0;
      }
      handler_.RotationImage(frame_, width_, height_, region, depth_, rotationAngle_);
    }
    // A user rectangle stays in force for the following frames as long as
    // it fits them (frames turned by the same angle keep their size).
    const CRect turned(0, 0, width_, height_);
    if (correct_) {
      const float angle = handler_.CheckRotatePictureEx(frame_, width_, height_, depth_, palette_);
      handler_.RotatePicture(frame_, width_, height_, depth_, turned, static_cast<double>(angle));
      crop_ = CRect(0, 0, width_, height_);
    } else if (cutMode_ == 1) {
      // Without a page found the whole frame stays in view: an empty crop
      // would leave nothing to show.
      const CRect page = handler_.GetBlackSideRectEx(frame_, width_, height_, depth_, palette_, turned);
      crop_ = page.IsRectEmpty() ? turned : page;
    } else if (cutMode_ == 2 && !crop_.IsRectEmpty() && Intersect(crop_, turned) == crop_) {
      // keep the user rectangle
    } else {
      crop_ = rotationAngle_ != 0 ? region : turned;
    }
  }
  return Data2DC(frame_, width_, height_, depth_, palette_);
}

int CCameraDC::LoadImageData(const std::string& path) {
  videoLock_ = 1;
  rotationState_ = 0;
  rotationAngle_ = 0;
  showMode_ = SHOW_NORMAL;
  luminosity_ = contrast_ = saturation_ = 0;
  toneR_ = toneG_ = toneB_ = 255;
  driveId_ = kNoCameraDrive;
  ClearData();
  CBitmapPicture picture;
  if (!ReadPictureBuffer(path, picture)) return 0;
  {
    std::lock_guard<std::mutex> lock(frameLock_);
    frame_ = picture.data;
    picture.data = nullptr;
    width_ = picture.width;
    height_ = picture.height;
    depth_ = picture.depth;
    if (depth_ == 8) {
      palette_ = new tagRGBQUAD[256];
      if (picture.hasPalette) {
        std::memcpy(palette_, picture.palette, sizeof(tagRGBQUAD) * 256);
      } else {
        GreyPalette(palette_);
      }
    }
    picture.Clear();
    crop_ = CRect(0, 0, width_, height_);
    history_.Clear();
  }
  AddSnapshot();
  Data2DC(frame_, width_, height_, depth_, palette_);
  return 1;
}

void CCameraDC::ClearData() {
  {
    std::lock_guard<std::mutex> lock(frameLock_);
    ReleaseFrame();
    width_ = height_ = 0;
    depth_ = 0;
  }
  buffer_.Release();
  ResetGreenData();
  resolutionCountdown_ = 0;
}

void CCameraDC::ResetGreenData() {
  for (_SEGMENT& s : segments_) s = _SEGMENT{-1, -1, -1, -1};
  for (_STRAIGHTLINE& l : lines_) l = _STRAIGHTLINE{-1, -1, -1};
  mainLine_ = _STRAIGHTLINE{0, 0, -1};
}

int CCameraDC::InvalidateData() {
  if (!frame_) return 0;
  Data2DC(frame_, width_, height_, depth_, palette_);
  InvalidateClient();
  return 1;
}

void CCameraDC::MoveWindow(const CRect& client, int draw) {
  clientRect_ = client;
  if (draw) DoDraw(targetDc_);
}

// ---- Rendering into the buffer --------------------------------------------------------

int CCameraDC::Data2DC(const BYTE* data, int width, int height, int depth, const tagRGBQUAD* palette) {
  if (!data || width <= 0 || height <= 0 || crop_.IsRectEmpty()) return 0;
  const CRect crop = crop_;
  const int cw = crop.Width();
  const int ch = crop.Height();
  const CRect old = buffer_.GetBufferRect();
  const bool sizeChanged = old.Width() != cw || old.Height() != ch;
  if (sizeChanged && showResolution_) resolutionCountdown_ = 10000 / cw;
  // Every pixel of the buffer is rewritten below, so a buffer of the right
  // size is reused rather than allocated and cleared again for each frame.
  if (sizeChanged || !buffer_.GetBufferDC()) {
    if (!buffer_.CreateBufferDC(targetDc_, CRect(0, 0, cw, ch))) return 0;
  }
  if (sizeChanged) {
    UpdateImageRect();
  } else if (zoom_ == 0) {
    SuitableSize(0);
  }

  tagRGBQUAD pal[256];
  if (palette) {
    std::memcpy(pal, palette, sizeof(pal));
  } else {
    GreyPalette(pal);
  }
  int outDepth = depth;
  DWORD imageSize = static_cast<DWORD>(PictureSize(width, height, depth));

  {
    std::lock_guard<std::mutex> lock(frameLock_);
    // The adjustments work on a copy so that the stored frame stays as it
    // came; with every setting at its neutral value there is nothing to
    // change and the frame is read directly.
    const bool neutral = luminosity_ == 0 && contrast_ == 0 && saturation_ == 0 && toneR_ == 255 &&
                         toneG_ == 255 && toneB_ == 255 && (showMode_ == SHOW_NORMAL || showMode_ == SHOW_NONE);
    BYTE* work = neutral ? nullptr : NewMem(PictureSize(width, height, depth));
    // Copy, brightness and contrast in one pass.
    if (work && !handler_.CopyLuminosityContrast(data, work, width, height, depth, luminosity_, contrast_)) {
      DelMem(work);
      work = nullptr;
    }
    if (work) {
      handler_.AdjustSaturation(work, width, height, depth, saturation_);
      handler_.SaturationAlter(work, width, height, depth, toneR_, toneG_, toneB_);
      GetShowModeData(showMode_, work, width, height, imageSize, outDepth, pal);
    }
    if (work || neutral) {
      const BYTE* shown = work ? work : data;
      // The crop is in bottom-left coordinates; the canvas is top-down.
      const CRect source(crop.left, height - crop.bottom, crop.right, height - crop.top);
      const CRect inside = Intersect(source, CRect(0, 0, width, height));
      if (inside == source) {
        QImage* canvas = DCImage(buffer_.GetBufferDC());
        if (canvas) PictureToCanvas(shown, width, height, outDepth, pal, source, *canvas);
      }
    }
    DelMem(work);
    if (greenFrame_) GetDestArea(segments_);
  }
  DoDraw(targetDc_);
  return 1;
}

SHOW_MODE CCameraDC::GetShowModeData(SHOW_MODE mode, BYTE*& data, int width, int height, DWORD& imageSize,
                                     int& depth, tagRGBQUAD* palette) {
  if (!data || width <= 0 || height <= 0) return SHOW_NONE;
  const std::size_t plane8 = PictureSize(width, height, 8);
  switch (mode) {
    case SHOW_GRAY: {
      BYTE* grey = NewMem(plane8);
      if (!grey) return SHOW_NONE;
      if (!handler_.ColourToGreyScale(data, width, height, depth, palette, grey, 1)) {
        DelMem(grey);
        return SHOW_NONE;
      }
      DelMem(data);
      data = grey;
      depth = 8;
      imageSize = static_cast<DWORD>(plane8);
      GreyPalette(palette);
      return mode;
    }
    case SHOW_BLACKWHITE: {
      const std::size_t packed = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
      BYTE* grey = NewMem(packed);
      BYTE* out = grey ? NewMem(plane8) : nullptr;
      if (!out || !handler_.ColourToGreyScale(data, width, height, depth, palette, grey, 0)) {
        DelMem(grey);
        DelMem(out);
        return SHOW_NONE;
      }
      handler_.GreyDegreeExtend(grey, width, height);
      handler_.GreyDegreeSingle(grey, width, height, 100);
      const std::size_t stride = PictureStride(width, 8);
      std::memset(out, 0, plane8);
      for (int y = 0; y < height; ++y) {
        std::memcpy(out + static_cast<std::size_t>(y) * stride, grey + static_cast<std::size_t>(y) * width,
                    static_cast<std::size_t>(width));
      }
      DelMem(grey);
      DelMem(data);
      data = out;
      depth = 8;
      imageSize = static_cast<DWORD>(plane8);
      GreyPalette(palette);
      return mode;
    }
    case SHOW_REVERSED: {
      const std::size_t size = PictureSize(width, height, depth);
      BYTE* scratch = NewMem(size);
      if (!scratch) return SHOW_NONE;
      if (handler_.ColourToReversed(data, width, height, depth, palette, scratch)) {
        std::memcpy(data, scratch, size);
      }
      DelMem(scratch);
      return mode;
    }
    case SHOW_RELIEF:
    case SHOW_SHARPEN: {
      const std::size_t size = PictureSize(width, height, 24);
      BYTE* colour = NewMem(size);
      BYTE* out = colour ? NewMem(size) : nullptr;
      if (!out || !handler_.GreyScaleToColour24(data, width, height, depth, palette, colour)) {
        DelMem(colour);
        DelMem(out);
        return SHOW_NONE;
      }
      const int ok = mode == SHOW_RELIEF ? handler_.ColourToRelief(colour, width, height, 24, out)
                                         : handler_.ColourToSharpen(colour, width, height, 24, out);
      DelMem(data);
      if (ok) {
        DelMem(colour);
        data = out;
      } else {
        DelMem(out);
        data = colour;
      }
      depth = 24;
      imageSize = static_cast<DWORD>(size);
      return mode;
    }
    default:
      return mode;
  }
}

// ---- Picture settings -------------------------------------------------------------------

void CCameraDC::AddSnapshot() {
  // Only a still picture keeps an undo history; live frames replace each other.
  if (!videoLock_ || !frame_) return;
  std::lock_guard<std::mutex> lock(frameLock_);
  history_.Add(frame_, width_, height_, depth_, rotationState_, luminosity_, contrast_, saturation_, crop_,
               showMode_, toneR_, toneG_, toneB_);
}

void CCameraDC::Redraw() {
  if (frame_) Data2DC(frame_, width_, height_, depth_, palette_);
}

void CCameraDC::InvalidateClient() {
  if (auto* widget = qobject_cast<QWidget*>(hwnd_)) {
    widget->update(ToQRect(clientRect_));
  }
}

int CCameraDC::SetLuminosity(int value) {
  if (!frame_ || driveId_ != kNoCameraDrive) return 0;
  luminosity_ = value;
  AddSnapshot();
  Redraw();
  InvalidateClient();
  return 1;
}

int CCameraDC::SetContrast(int value) {
  if (!frame_ || driveId_ != kNoCameraDrive) return 0;
  contrast_ = value;
  AddSnapshot();
  Redraw();
  InvalidateClient();
  return 1;
}

int CCameraDC::SetSaturation(int value) {
  if (!frame_ || driveId_ != kNoCameraDrive) return 0;
  saturation_ = value;
  AddSnapshot();
  Redraw();
  InvalidateClient();
  return 1;
}

int CCameraDC::SetToneRGB(int red, int green, int blue) {
  if (!frame_ || driveId_ != kNoCameraDrive) return 0;
  toneR_ = std::clamp(red, 0, 255);
  toneG_ = std::clamp(green, 0, 255);
  toneB_ = std::clamp(blue, 0, 255);
  AddSnapshot();
  Redraw();
  InvalidateClient();
  return 1;
}

void CCameraDC::SetShowMode(SHOW_MODE mode) {
  if (mode == SHOW_NONE) return;
  showMode_ = mode;
  if (frame_) AddSnapshot();
  Redraw();
  InvalidateClient();
}

int CCameraDC::OpenCutBlackSide(int mode) {
  if (!frame_) return 0;
  cutMode_ = mode;
  {
    std::lock_guard<std::mutex> lock(frameLock_);
    const CRect whole(0, 0, width_, height_);
    if (mode != 0) {
      CRect area = Intersect(crop_, whole);
      if (area.IsRectEmpty()) area = whole;
      // The page comes back relative to the searched area.
      CRect page = handler_.GetBlackSideRectEx(frame_, width_, height_, depth_, palette_, area);
      if (!page.IsRectEmpty()) {
        page.OffsetRect(area.left, area.top);
        crop_ = page;
      } else {
        crop_ = area;  // no page found: keep what is shown
      }
    } else {
      crop_ = whole;
    }
  }
  AddSnapshot();
  Redraw();
  InvalidateClient();
  return 1;
}

int CCameraDC::OpenCorrect(int on) {
  if (!frame_) return 0;
  correct_ = on;
  if (on != 1) return 1;
  {
    std::lock_guard<std::mutex> lock(frameLock_);
    const CRect whole(0, 0, width_, height_);
    CRect area = Intersect(crop_, whole);
    if (area.IsRectEmpty()) area = whole;
    const float angle = handler_.CheckRotatePictureEx(frame_, width_, height_, depth_, palette_);
    handler_.RotatePicture(frame_, width_, height_, depth_, area, static_cast<double>(angle));
    crop_ = CRect(0, 0, width_, height_);
    ReleaseUnturned();
  }
  AddSnapshot();
  Redraw();
  InvalidateClient();
  return 1;
}

int CCameraDC::OpenGreenFrame(int on) {
  greenFrame_ = on;
  ResetGreenData();
  Redraw();
  InvalidateClient();
  return 1;
}

CRect CCameraDC::ClientToFrame(const CRect& rect) const {
  CRect r = Intersect(rect, imageRect_);
  if (r.IsRectEmpty()) return CRect();
  // Relative to the image rectangle (which lies in client coordinates).
  r.OffsetRect(-imageRect_.left, -imageRect_.top);
  if (zoom_ > 0) {
    r = CRect(r.left * 100 / zoom_, r.top * 100 / zoom_, r.right * 100 / zoom_, r.bottom * 100 / zoom_);
  }
  // Into the frame: x from the crop's left, y from the crop's top edge
  // (top-down), then bottom-left coordinates.
  const long cropTopDown = height_ - crop_.bottom;
  CRect topDown(r.left + crop_.left, r.top + cropTopDown, r.right + crop_.left, r.bottom + cropTopDown);
  topDown = Intersect(topDown, CRect(crop_.left, cropTopDown, crop_.right, height_ - crop_.top));
  if (topDown.IsRectEmpty()) return CRect();
  return CRect(topDown.left, height_ - topDown.bottom, topDown.right, height_ - topDown.top);
}

CRect CCameraDC::ClientToBuffer(const CRect& rect) const {
  CRect r = Intersect(rect, imageRect_);
  if (r.IsRectEmpty()) return CRect();
  r.OffsetRect(-imageRect_.left, -imageRect_.top);
  if (zoom_ > 0) {
    r = CRect(r.left * 100 / zoom_, r.top * 100 / zoom_, r.right * 100 / zoom_, r.bottom * 100 / zoom_);
  }
  const CRect b = buffer_.GetBufferRect();
  r = Intersect(r, CRect(0, 0, b.Width(), b.Height()));
  return r;
}

void CCameraDC::SetVideoCutRect(const CRect& rect) {
  if (!frame_) return;
  const CRect cut = ClientToFrame(rect);
  if (cut.IsRectEmpty()) return;  // a rectangle beside the picture would leave nothing to show
  cutMode_ = 2;
  {
    std::lock_guard<std::mutex> lock(frameLock_);
    crop_ = cut;
  }
  AddSnapshot();
  Redraw();
  InvalidateClient();
}

void CCameraDC::RotationCamera(int command) {
  if (!frame_) return;
  rotation_degree value;
  {
    std::lock_guard<std::mutex> lock(frameLock_);
    const long W = width_;
    const long H = height_;
    const CRect c = crop_;
    CRect next;
    switch (command) {
      case 1:
        rotationState_ = rotationState_ >= 3 ? 0 : rotationState_ + 1;
        rotationAngle_ -= 90;
        if (rotationAngle_ < -180) rotationAngle_ += 360;
        value = ROTATION_CLOCKWISE;
        next = CRect(c.top, W - c.right, c.bottom, W - c.left);
        break;
      case -1:
        rotationState_ = (rotationState_ == 0 || rotationState_ >= 4) ? (rotationState_ == 0 ? 3 : 0)
                                                                       : rotationState_ - 1;
        rotationAngle_ += 90;
        if (rotationAngle_ > 180) rotationAngle_ -= 360;
        value = ROTATION_ANTICLOCKWISE;
        next = CRect(H - c.bottom, c.left, H - c.top, c.right);
        break;
      case 2:
        rotationState_ = 4;
        value = ROTATION_FLIP;
        next = CRect(c.left, H - c.bottom, c.right, H - c.top);
        break;
      case 3:
        rotationState_ = 5;
        value = ROTATION_MIRROR;
        next = CRect(W - c.right, c.top, W - c.left, c.bottom);
        break;
      default:
        return;
    }
    if (!handler_.RotationImageData(frame_, width_, height_, depth_, value)) return;
    crop_ = next;
    // The picture kept for free rotation turns along; a quarter turn moves
    // its angle as it moves the frame's.
    if (unturned_) {
      if (handler_.RotationImageData(unturned_, unturnedWidth_, unturnedHeight_, depth_, value)) {
        if (command == 1) unturnedAngle_ = WrapAngle(unturnedAngle_ - 90);
        if (command == -1) unturnedAngle_ = WrapAngle(unturnedAngle_ + 90);
      } else {
        ReleaseUnturned();
      }
    }
  }
  Data2DC(frame_, width_, height_, depth_, palette_);
  AddSnapshot();
}

int CCameraDC::RotationCameraEx(int degrees) {
  degrees = WrapAngle(degrees);
  const int previousAngle = rotationAngle_;
  rotationAngle_ = degrees;
  if (!frame_) return 0;
  {
    std::lock_guard<std::mutex> lock(frameLock_);
    // The first free angle keeps the frame as it is, at the angle it has;
    // every angle is then turned from that picture, by the difference.
    if (!unturned_) {
      unturned_ = CopyPicture(frame_, width_, height_, depth_);
      if (!unturned_) return 0;
      unturnedWidth_ = width_;
      unturnedHeight_ = height_;
      unturnedAngle_ = previousAngle;
    }
    long w = unturnedWidth_, h = unturnedHeight_;
    BYTE* turned = CopyPicture(unturned_, w, h, depth_);
    if (!turned) return 0;
    CRect region(0, 0, w, h);
    const int turn = WrapAngle(degrees - unturnedAngle_);
    if (turn != 0 && !handler_.RotationImage(turned, w, h, region, depth_, turn)) {
      DelMem(turned);
      return 0;
    }
    DelMem(frame_);
    frame_ = turned;
    width_ = w;
    height_ = h;
    crop_ = region;
  }
  return Data2DC(frame_, width_, height_, depth_, palette_);
}

int CCameraDC::StepHistory(bool undo) {
  if (!frame_) return 0;
  {
    std::lock_guard<std::mutex> lock(frameLock_);
    int showMode = showMode_;
    LONG w = static_cast<LONG>(width_), h = static_cast<LONG>(height_);
    const bool ok = undo ? history_.Undo(frame_, w, h, depth_, rotationState_, luminosity_, contrast_, saturation_,
                                         crop_, showMode, toneR_, toneG_, toneB_)
                         : history_.Redo(frame_, w, h, depth_, rotationState_, luminosity_, contrast_, saturation_,
                                         crop_, showMode, toneR_, toneG_, toneB_);
    if (!ok) return 0;
    ReleaseUnturned();
    width_ = w;
    height_ = h;
    showMode_ = static_cast<SHOW_MODE>(showMode);
    if (depth_ != 8) {
      delete[] palette_;
      palette_ = nullptr;
    }
  }
  Data2DC(frame_, width_, height_, depth_, palette_);
  return 1;
}

int CCameraDC::RecordUndo() { return StepHistory(true); }
int CCameraDC::RecordRedo() { return StepHistory(false); }

// ---- Zoom and position ----------------------------------------------------------------

int CCameraDC::ClampZoom(int zoom) { return std::clamp(zoom, 1, 200); }

void CCameraDC::NotifyZoom(int notify) {
  if (!notify) return;
  InvalidateClient();
  PostMessage(hwnd_, WM_UPDATE_ZOOM, static_cast<WPARAM>(zoom_), static_cast<LPARAM>(page_));
}

void CCameraDC::PlaceCentred(int zoom) {
  const CRect b = buffer_.GetBufferRect();
  const long w = static_cast<long>(b.Width()) * zoom / 100;
  const long h = static_cast<long>(b.Height()) * zoom / 100;
  const long left = clientRect_.left + (clientRect_.Width() - w) / 2;
  const long top = clientRect_.top + (clientRect_.Height() - h) / 2;
  imageRect_ = CRect(left, top, left + w, top + h);
}

void CCameraDC::SuitableSize(int notify) {
  const CRect b = buffer_.GetBufferRect();
  const long W = b.Width(), H = b.Height();
  if (W == 0 || H == 0) return;
  const double rw = static_cast<double>(clientRect_.Width()) / W;
  const double rh = static_cast<double>(clientRect_.Height()) / H;
  const long zoom = rh < rw ? clientRect_.Height() * 100 / H : clientRect_.Width() * 100 / W;
  zoom_ = ClampZoom(static_cast<int>(zoom));
  PlaceCentred(zoom_);
  NotifyZoom(notify);
}

void CCameraDC::SuitableWidth(int notify) {
  const CRect b = buffer_.GetBufferRect();
  if (b.Width() == 0 || b.Height() == 0) return;
  zoom_ = ClampZoom(static_cast<int>(clientRect_.Width() * 100.0 / b.Width()));
  PlaceCentred(zoom_);
  NotifyZoom(notify);
}

void CCameraDC::RealitySize(int notify) {
  const CRect b = buffer_.GetBufferRect();
  if (b.Width() == 0 || b.Height() == 0 || clientRect_.IsRectEmpty()) return;
  zoom_ = 100;
  PlaceCentred(zoom_);
  NotifyZoom(notify);
}

void CCameraDC::SetCameraSize(int zoom, int notify) {
  const CRect b = buffer_.GetBufferRect();
  const long W = b.Width(), H = b.Height();
  if (W == 0 || H == 0) return;
  zoom_ = ClampZoom(zoom);
  const CPoint centre = imageRect_.CenterPoint();
  const long left = centre.x - W * zoom_ / 200;
  const long top = centre.y - H * zoom_ / 200;
  imageRect_ = CRect(left, top, left + W * zoom_ / 100, top + H * zoom_ / 100);
  NotifyZoom(notify);
}

void CCameraDC::KeepWidth(int notify) {
  const CRect b = buffer_.GetBufferRect();
  const long W = b.Width(), H = b.Height();
  if (W == 0 || H == 0) return;
  if (imageRect_.Width() <= 0) {
    SuitableSize(notify);
    return;
  }
  zoom_ = ClampZoom(static_cast<int>(imageRect_.Width() * 100 / W));
  const long cy = imageRect_.CenterPoint().y;
  const long h = H * zoom_ / 100;
  imageRect_.top = cy - h / 2;
  imageRect_.bottom = imageRect_.top + h;
  NotifyZoom(notify);
}

void CCameraDC::KeepHeight(int notify) {
  const CRect b = buffer_.GetBufferRect();
  const long W = b.Width(), H = b.Height();
  if (W == 0 || H == 0) return;
  if (imageRect_.Height() <= 0) {
    SuitableSize(notify);
    return;
  }
  zoom_ = ClampZoom(static_cast<int>(imageRect_.Height() * 100 / H));
  const long cx = imageRect_.CenterPoint().x;
  const long w = W * zoom_ / 100;
  imageRect_.left = cx - w / 2;
  imageRect_.right = imageRect_.left + w;
  NotifyZoom(notify);
}

int CCameraDC::SuitableZoom() {
  if (clientRect_.Width() > 0) {
    zoom_ = ClampZoom(static_cast<int>(imageRect_.Width() * 100 / clientRect_.Width()));
  } else if (clientRect_.Height() > 0) {
    zoom_ = ClampZoom(static_cast<int>(imageRect_.Height() * 100 / clientRect_.Height()));
  }
  PostMessage(hwnd_, WM_UPDATE_ZOOM, static_cast<WPARAM>(zoom_), static_cast<LPARAM>(page_));
  return zoom_;
}

int CCameraDC::UpdateImageRect() {
  if (zoomType_ == ZOOM_REALITY) {
    RealitySize(1);
  } else if (zoomType_ == ZOOM_WIDTH) {
    SuitableWidth(1);
  } else if (zoom_ == 0 || zoomType_ == ZOOM_SUITABLE) {
    SuitableSize(1);
  } else if (zoomType_ == ZOOM_KEEPWIDTH) {
    KeepWidth(1);
  } else if (zoomType_ == ZOOM_KEEPHEIGHT) {
    KeepHeight(1);
  } else {
    SetCameraSize(zoom_, 0);
  }
  return 1;
}

// ---- Mouse ---------------------------------------------------------------------------------

int CCameraDC::OnLButtonDown(UINT, CPoint point) {
  if (!Intersect(clientRect_, imageRect_).PtInRect(point)) return 0;
  dragging_ = 1;
  startX_ = lastX_ = point.x;
  startY_ = lastY_ = point.y;
  return 1;
}

int CCameraDC::OnLButtonUp(UINT, CPoint point) {
  const int was = dragging_;
  dragging_ = 0;
  return was && Intersect(clientRect_, imageRect_).PtInRect(point) ? 1 : 0;
}

int CCameraDC::OnMouseMove(UINT, CPoint point) {
  if (!Intersect(clientRect_, imageRect_).PtInRect(point)) {
    dragging_ = 0;
    return 0;
  }
  if (dragging_ && !IsEmpty()) {
    imageRect_.OffsetRect(point.x - lastX_, point.y - lastY_);
    lastX_ = point.x;
    lastY_ = point.y;
    InvalidateClient();
  }
  return 1;
}

int CCameraDC::OnMouseWheel(UINT, short delta, CPoint point) {
  CPoint local = point;
  if (auto* widget = qobject_cast<QWidget*>(hwnd_)) {
    const QPoint p = widget->mapFromGlobal(QPoint(point.x, point.y));
    local = CPoint(p.x(), p.y());
  }
  if (!clientRect_.PtInRect(local) || IsEmpty()) return 0;
  const int zoom = static_cast<int>(zoom_ + delta / 100.0);  // truncated toward zero
  SetCameraSize(zoom, 1);
  return 1;
}

// ---- Painting ---------------------------------------------------------------------------------

void CCameraDC::DrawEtchedEdge(HDC dc, const CRect& rect) {
  if (!dc || rect.IsRectEmpty()) return;
  // A groove: shadow outside top-left and inside bottom-right, light between.
  const int l = rect.left, t = rect.top, r = rect.right - 1, b = rect.bottom - 1;
  constexpr QRgb kShadow = 0xFFA0A0A0u, kLight = 0xFFFFFFFFu;
  // Into a canvas image the lines are written directly, pixel for pixel as
  // the painter draws them (both end points included): the painter splits
  // a long vertical line into one span per row and hands the spans to
  // worker threads, which costs more than the line on every frame.
  QImage* image = DCImage(dc);
  if (image && image->format() == kCanvasFormat && rect.Width() >= 4 && rect.Height() >= 4 && l >= 0 && t >= 0 &&
      r < image->width() && b < image->height()) {
    auto across = [image](int y, int x0, int x1, QRgb colour) {
      std::fill_n(reinterpret_cast<QRgb*>(image->scanLine(y)) + x0, x1 - x0 + 1, colour);
    };
    auto down = [image](int x, int y0, int y1, QRgb colour) {
      for (int y = y0; y <= y1; ++y) reinterpret_cast<QRgb*>(image->scanLine(y))[x] = colour;
    };
    across(t, l, r - 1, kShadow);
    down(l, t, b - 1, kShadow);
    down(r - 1, t + 1, b - 1, kShadow);
    across(b - 1, l + 1, r - 1, kShadow);
    across(t + 1, l + 1, r - 2, kLight);
    down(l + 1, t + 1, b - 2, kLight);
    down(r, t, b, kLight);
    across(b, l, r, kLight);
    return;
  }
  QPainter p(dc);
  p.setPen(QColor::fromRgb(kShadow));
  p.drawLine(l, t, r - 1, t);
  p.drawLine(l, t, l, b - 1);
  p.drawLine(r - 1, t + 1, r - 1, b - 1);
  p.drawLine(l + 1, b - 1, r - 1, b - 1);
  p.setPen(QColor::fromRgb(kLight));
  p.drawLine(l + 1, t + 1, r - 2, t + 1);
  p.drawLine(l + 1, t + 1, l + 1, b - 2);
  p.drawLine(r, t, r, b);
  p.drawLine(l, b, r, b);
}

void CCameraDC::DrawCentredText(HDC dc, const QString& text, const CRect& rect, COLORREF color, int height,
                                int weight, bool centreHorizontally) {
  if (!dc) return;
  CSetFont font;
  font.SetFont("宋体", height, weight);
  QPainter p(dc);
  p.setFont(font.GetFont());
  p.setPen(ToQColor(color));
  const int align = (centreHorizontally ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter | Qt::TextSingleLine;
  p.drawText(ToQRect(rect), align, text);
}

void CCameraDC::DrawBg(HDC dc) { FillBackground(dc, CRect()); }

void CCameraDC::FillBackground(HDC dc, const CRect& covered) {
  if (!dc || !bgOn_ || clientRect_.IsRectEmpty()) return;
  {
    QPainter p(dc);
    const QColor colour = ToQColor(bgColor_);
    const CRect c = clientRect_;
    const CRect in = Intersect(covered, c);
    if (in.IsRectEmpty()) {
      p.fillRect(ToQRect(c), colour);
    } else {
      // Only the strips around the part an opaque picture will cover.
      const CRect strips[4] = {CRect(c.left, c.top, c.right, in.top), CRect(c.left, in.bottom, c.right, c.bottom),
                               CRect(c.left, in.top, in.left, in.bottom), CRect(in.right, in.top, c.right, in.bottom)};
      for (const CRect& r : strips)
        if (!r.IsRectEmpty()) p.fillRect(ToQRect(r), colour);
    }
  }
  // With a picture to come, the edge is drawn once over it (DoDraw).
  if (covered.IsRectEmpty()) DrawEtchedEdge(dc, clientRect_);
}

void CCameraDC::DrawPageNumber(HDC dc, int page) {
  if (!dc || page <= 0) return;
  const CRect square(clientRect_.right - 20, clientRect_.bottom - 20, clientRect_.right, clientRect_.bottom);
  DrawCentredText(dc, QString::number(page), square, RGB(0, 0, 0), 16, 100, true);
}

void CCameraDC::DrawRect(HDC dc, const CRect& rect) {
  if (!dc) return;
  QPainter p(dc);
  QPen pen(QColor(255, 0, 0));
  pen.setWidth(2);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  p.drawRect(ToQRect(rect));
}

void CCameraDC::DoDraw(HDC dc) {
  if (!shown_) return;
  if (!dc) dc = targetDc_;
  if (!dc) return;
  // The part of the image rectangle inside the client rectangle and the
  // matching part of the buffer, each side cut in proportion.
  const CRect b = buffer_.GetBufferRect();
  const CRect dest = Intersect(imageRect_, clientRect_);
  const long iw = imageRect_.Width(), ih = imageRect_.Height();
  CRect source;
  if (!IsEmpty() && !dest.IsRectEmpty() && iw > 0 && ih > 0) {
    source = CRect((dest.left - imageRect_.left) * b.Width() / iw, (dest.top - imageRect_.top) * b.Height() / ih,
                   (dest.right - imageRect_.left) * b.Width() / iw,
                   (dest.bottom - imageRect_.top) * b.Height() / ih);
  }
  const bool paste = !source.IsRectEmpty();
  // The picture is opaque: the background under it need not be filled first.
  FillBackground(dc, paste ? dest : CRect());
  DrawPageNumber(dc, page_);
  if (!IsEmpty()) {
    tip_.clear();
    if (paste) {
      buffer_.StretchPaste(dc, dest, source);
      DrawEtchedEdge(dc, clientRect_);
    }
    if (greenFrame_) DrawGreenSegments(dc);
    if (showResolution_ && !videoLock_ && resolutionCountdown_ >= 1) {
      DrawCentredText(dc, QString("%1×%2").arg(b.Width()).arg(b.Height()), imageRect_, RGB(0, 255, 0), 30, 400,
                      true);
      --resolutionCountdown_;
    }
    return;
  }
  if (!tip_.isEmpty()) {
    DrawCentredText(dc, tip_, clientRect_, RGB(255, 0, 0), 26, 400, true);
    return;
  }
  waitDots_ = (waitDots_ + 1) % 10;
  const QString dots(1 + waitDots_, QChar('.'));
  const long cx = clientRect_.left + clientRect_.Width() / 2;
  DrawCentredText(dc, dots, CRect(cx - 100, clientRect_.top, clientRect_.right, clientRect_.bottom), RGB(255, 0, 0),
                  40, 400, false);
}

void CCameraDC::DrawGreenSegments(HDC dc) {
  const CRect b = buffer_.GetBufferRect();
  const long iw = imageRect_.Width(), ih = imageRect_.Height();
  if (b.IsRectEmpty() || iw <= 0 || ih <= 0) return;
  QPainter p(dc);
  QPen pen(QColor(0, 255, 0, 255));
  pen.setWidth(2);
  p.setPen(pen);
  p.setClipRect(ToQRect(clientRect_));
  // Buffer pixels scaled onto the image rectangle, where the picture is pasted.
  auto place = [&](int x, int y) {
    return QPoint(static_cast<int>(imageRect_.left + static_cast<long long>(x) * iw / b.Width()),
                  static_cast<int>(imageRect_.top + static_cast<long long>(y) * ih / b.Height()));
  };
  for (const _SEGMENT& s : segments_) {
    if (s.x1 < 0 || s.x2 < 0) continue;
    p.drawLine(place(s.x1, s.y1), place(s.x2, s.y2));
  }
}

// ---- Output -------------------------------------------------------------------------------------

LONG CCameraDC::DpiToPelsPerMeter(int dpi) { return static_cast<LONG>(dpi / 0.0254 + 1); }

int CCameraDC::SaveBuffer24(const std::string& path, const BYTE* data, long width, long height) {
  PictureWriteOptions options;
  const std::string config = GetCameraConfig();
  options.bitmap.xPelsPerMeter = DpiToPelsPerMeter(GetPrivateProfileInt("output", "bmpDPIX", 300, config));
  options.bitmap.yPelsPerMeter = DpiToPelsPerMeter(GetPrivateProfileInt("output", "bmpDPIY", 300, config));
  options.bitmap.offBits = 54;
  const PictureFormat format = PictureFormatFromPath(path);
  const auto bytes = EncodePictureBuffer(data, width, height, 24, nullptr, format, options);
  if (bytes.empty() || !WriteFileAtomically(path, bytes)) return 0;
  return WriteThumbOf(path) ? 1 : 0;
}

bool CCameraDC::BufferPicture(CBitmapPicture& picture) const {
  const QImage* canvas = DCImage(buffer_.GetBufferDC());
  return canvas && !canvas->isNull() && BufferFromImage(*canvas, picture) && picture.depth == 24;
}

int CCameraDC::GetDestArea(_SEGMENT segments[4]) {
  CBitmapPicture picture;
  if (!segments || !BufferPicture(picture)) return 0;
  PageFrame found;
  if (!FindPageFrame(picture.data, static_cast<int>(picture.width), static_cast<int>(picture.height), found)) {
    // Nothing to search on: no sides are drawn and nothing is straightened.
    for (int i = 0; i < 4; ++i) segments[i] = _SEGMENT{-1, -1, -1, -1};
    if (segments == segments_) ResetGreenData();
    return 0;
  }
  mainLine_ = found.main;
  for (int i = 0; i < 4; ++i) {
    lines_[i] = found.lines[i];
    segments[i] = found.segments[i];
  }
  return 1;
}

int CCameraDC::SaveGreenFrame(const std::string& path) {
  CBitmapPicture picture;
  if (!BufferPicture(picture)) return 0;
  BYTE* out = nullptr;
  int ow = 0, oh = 0;
  if (!handler_.RotateGreenFrame(picture.data, static_cast<int>(picture.width), static_cast<int>(picture.height), 24,
                                 lines_, out, ow, oh) ||
      !out || ow <= 0 || oh <= 0) {
    DelMem(out);
    return 0;
  }
  const int ok = SaveBuffer24(path, out, ow, oh);
  DelMem(out);
  return ok;
}

int CCameraDC::SaveJpegFileEx(const std::string& path) {
  return greenFrame_ ? SaveGreenFrame(path) : SaveJpegFile(path);
}

int CCameraDC::SaveJpegFile(const std::string& path) {
  const QImage* canvas = DCImage(buffer_.GetBufferDC());
  if (!canvas || canvas->isNull()) return 0;
  const PictureFormat format = PictureFormatFromPath(path);
  if (format != PictureFormat::Bmp) {
    // The buffer is opaque: its pixels are encoded as they lie, without a
    // copy into a picture buffer and back, and give the thumbnail too.
    const QImage opaque(canvas->constBits(), canvas->width(), canvas->height(), canvas->bytesPerLine(),
                        QImage::Format_RGB32);
    const auto bytes = EncodePicture(opaque, format);
    if (bytes.empty() || !WriteFileAtomically(path, bytes)) return 0;
    return WriteThumbOf(path, opaque) ? 1 : 0;
  }
  CBitmapPicture picture;
  if (!BufferFromImage(*canvas, picture)) return 0;
  return SaveBuffer24(path, picture.data, picture.width, picture.height);
}

int CCameraDC::SaveJpegFile(const std::string& path, const QImage* bitmap) {
  if (!bitmap || bitmap->isNull()) return 0;
  CBitmapPicture picture;
  if (!BufferFromImage(*bitmap, picture)) return 0;
  PictureWriteOptions options;
  if (!WritePictureBuffer(path, picture, options)) return 0;
  return WriteThumbOf(path) ? 1 : 0;
}

int CCameraDC::SaveJpegFile(const std::string& path, const QImage* first, const QImage* second, int vertical) {
  if (!first || !second || first->isNull() || second->isNull()) return 0;
  const int w1 = first->width(), h1 = first->height(), w2 = second->width(), h2 = second->height();
  const int width = vertical ? std::max(w1, w2) : w1 + w2;
  const int height = vertical ? h1 + h2 : std::max(h1, h2);
  QImage canvas(width, height, QImage::Format_RGB888);
  if (canvas.isNull()) return 0;
  canvas.fill(Qt::white);
  {
    QPainter p(&canvas);
    if (vertical) {
      p.drawImage((width - w1) / 2, 0, *first);
      p.drawImage((width - w2) / 2, h1, *second);
    } else {
      p.drawImage(0, (height - h1) / 2, *first);
      p.drawImage(w1, (height - h2) / 2, *second);
    }
  }
  return SaveJpegFile(path, &canvas);
}

int CCameraDC::SaveBmpFile(const std::string& path, int width, int height, const BYTE* data, int dpiX, int dpiY,
                           int depth) {
  if (!data || width <= 0 || height <= 0 || (depth != 24 && depth != 32)) return 0;
  BitmapWriteOptions options;
  options.xPelsPerMeter = DpiToPelsPerMeter(dpiX);
  options.yPelsPerMeter = DpiToPelsPerMeter(dpiY);
  options.offBits = 54;
  const auto bytes = EncodeBitmap(data, width, height, depth, nullptr, options);
  if (bytes.empty() || !WriteFileAtomically(path, bytes)) return 0;
  return WriteThumbOf(path) ? 1 : 0;
}

QImage* CCameraDC::GetVideoBitmap(const CRect& rect) {
  const QImage* canvas = DCImage(buffer_.GetBufferDC());
  if (!canvas) return nullptr;
  const CRect part = ClientToBuffer(rect);
  if (part.IsRectEmpty()) return buffer_.GetHbitmap();
  auto* out = new QImage(canvas->copy(ToQRect(part)));
  if (out->isNull()) {
    delete out;
    return nullptr;
  }
  return out;
}

int CCameraDC::GetVideoData(const CRect& rect, BYTE*& data, int& width, int& height, int& depth) {
  std::lock_guard<std::mutex> lock(frameLock_);
  if (!frame_) return 0;
  const CRect part = ClientToFrame(rect);
  if (part.IsRectEmpty()) return 0;
  const int w = part.Width(), h = part.Height();
  const std::size_t srcStride = PictureStride(width_, depth_);
  const std::size_t dstStride = PictureStride(w, depth_);
  BYTE* out = NewMem(dstStride * static_cast<std::size_t>(h));
  if (!out) return 0;
  const std::size_t bpp = static_cast<std::size_t>(depth_) / 8;
  for (int y = 0; y < h; ++y) {
    const BYTE* s = frame_ + static_cast<std::size_t>(part.top + y) * srcStride + part.left * bpp;
    BYTE* d = out + static_cast<std::size_t>(y) * dstStride;
    std::memcpy(d, s, static_cast<std::size_t>(w) * bpp);
    std::memset(d + w * bpp, 0, dstStride - w * bpp);
  }
  DelMem(data);
  data = out;
  width = w;
  height = h;
  depth = depth_;
  return 1;
}

CRect CCameraDC::GetSafeArea() const {
  if (!shown_) return CRect();
  CRect area = Intersect(clientRect_, imageRect_);
  if (auto* widget = qobject_cast<QWidget*>(hwnd_)) {
    const QPoint origin = widget->mapToGlobal(QPoint(0, 0));
    area.OffsetRect(origin.x(), origin.y());
  }
  return area;
}
