#include "canvas/bufferdc.h"

#include "canvas/gdidc.h"
#include "canvas/gdisurface.h"
#include "tests/canvas/canvas_test_util.h"

#include <QWidget>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

QImage& Bits(const CBufferDC& b) { return *DCImage(b.GetBufferDC()); }

}  // namespace

TEST(BufferDC, EmptyBuffersCreationAndDeepCopies) {
  TestApp();
  CBufferDC empty;
  EXPECT_EQ(empty.GetBufferDC(), nullptr);
  EXPECT_TRUE(empty.GetBufferRect().IsRectNull());
  CBufferDC copyOfEmpty(empty);
  EXPECT_EQ(copyOfEmpty.GetBufferDC(), nullptr);
  EXPECT_TRUE(copyOfEmpty.GetBufferRect().IsRectNull());
  EXPECT_EQ(empty.GetHbitmap(), nullptr);
  EXPECT_EQ(empty.Copy(copyOfEmpty), 0);
  EXPECT_EQ(empty.CreateBufferDC(nullptr, CRect(5, 5, 5, 20)), 0);

  CBufferDC a;
  ASSERT_EQ(a.CreateBufferDC(nullptr, CRect(10, 20, 50, 40)), 1);
  EXPECT_EQ(a.GetBufferRect(), CRect(10, 20, 50, 40));
  EXPECT_EQ(Bits(a).size(), QSize(40, 20));
  EXPECT_EQ(Bits(a).pixel(0, 0), 0u);
  a.SetBackColor(CRect(0, 0, 40, 20), RGB(255, 0, 0));
  EXPECT_EQ(Bits(a).pixel(3, 3), 0xFFFF0000u);

  CBufferDC b(a);
  EXPECT_EQ(b.GetBufferRect(), a.GetBufferRect());
  EXPECT_NE(b.GetBufferDC(), a.GetBufferDC());
  b.SetBackColor(CRect(0, 0, 40, 20), RGB(0, 0, 255));
  EXPECT_EQ(Bits(a).pixel(3, 3), 0xFFFF0000u);  // deep: the original is untouched
  a = empty;
  EXPECT_EQ(a.GetBufferDC(), nullptr);
  EXPECT_EQ(a.Copy(a), 0);

  std::unique_ptr<QImage> bitmap(b.GetHbitmap());
  ASSERT_NE(bitmap, nullptr);
  b.SetBackColor(CRect(0, 0, 40, 20), RGB(0, 255, 0));
  EXPECT_EQ(bitmap->pixel(3, 3), 0xFF0000FFu);
  b.Release();
  EXPECT_EQ(b.GetBufferDC(), nullptr);
  EXPECT_TRUE(b.GetBufferRect().IsRectNull());
}

TEST(BufferDC, DeviceIndependentBitmapsComeInBottomUp) {
  TestApp();
  CBufferDC buf;
  EXPECT_EQ(buf.DIBitsToDC(nullptr, nullptr), 0);
  // 3 × 2 at 24 bits: rows padded to 12 bytes, the first row is the bottom line.
  BITMAPINFOHEADER h;
  h.biWidth = 3;
  h.biHeight = 2;
  h.biBitCount = 24;
  std::vector<BYTE> bits(24, 0);
  bits[0] = 255;       // bottom-left blue
  bits[12 + 8] = 255;  // top-right red
  ASSERT_EQ(buf.DIBitsToDC(bits.data(), &h), 1);
  EXPECT_EQ(buf.GetBufferRect(), CRect(0, 0, 3, 2));
  EXPECT_EQ(Bits(buf).pixel(0, 1), 0xFF0000FFu);
  EXPECT_EQ(Bits(buf).pixel(2, 0), 0xFFFF0000u);

  // 8 bits with the palette after the header.
  struct {
    BITMAPINFOHEADER header;
    tagRGBQUAD colors[256];
  } info;
  info.header.biWidth = 2;
  info.header.biHeight = -1;  // top-down
  info.header.biBitCount = 8;
  info.colors[7] = {10, 20, 30, 0};
  const BYTE grey[4] = {7, 0, 0, 0};
  ASSERT_EQ(buf.DIBitsToDC(grey, &info.header), 1);
  EXPECT_EQ(Bits(buf).pixel(0, 0), qRgb(30, 20, 10));
  h.biBitCount = 16;
  EXPECT_EQ(buf.DIBitsToDC(bits.data(), &h), 0);
}

TEST(BufferDC, StretchesCopiesAndRasterOperations) {
  TestApp();
  CBufferDC small;
  small.CreateBufferDC(nullptr, CRect(0, 0, 2, 2));
  QImage& s = Bits(small);
  s.setPixel(0, 0, 0xFF010203);
  s.setPixel(1, 0, 0xFF040506);
  s.setPixel(0, 1, 0xFF070809);
  s.setPixel(1, 1, 0x800A0B0C);
  CBufferDC big;
  big.CreateBufferDC(nullptr, CRect(0, 0, 4, 4));
  ASSERT_EQ(big.Copy(small), 1);
  // Whole pixels, all four bytes kept.
  EXPECT_EQ(Bits(big).pixel(1, 1), 0xFF010203u);
  EXPECT_EQ(Bits(big).pixel(2, 1), 0xFF040506u);
  EXPECT_EQ(Bits(big).pixel(3, 3), 0x800A0B0Cu);

  QImage target = Surface(10, 10, 0xFF000000);
  ASSERT_EQ(big.StretchPaste(&target, CRect(5, 5, 7, 7), CRect(2, 2, 4, 4)), 1);
  EXPECT_EQ(target.pixel(6, 6), 0x800A0B0Cu);
  EXPECT_EQ(target.pixel(4, 4), 0xFF000000u);
  ASSERT_EQ(small.Paste(&target, CRect(0, 0, 4, 2), SRCCOPY), 1);
  EXPECT_EQ(target.pixel(3, 0), 0xFF040506u);

  // Copy from a context's rectangle onto the whole buffer.
  CBufferDC grab;
  grab.CreateBufferDC(nullptr, CRect(0, 0, 2, 2));
  ASSERT_EQ(grab.Copy(&target, CRect(5, 5, 7, 7)), 1);
  EXPECT_EQ(Bits(grab).pixel(1, 1), 0x800A0B0Cu);

  // The alpha tricks of the annotation layers: AND with 0xFEFFFFFF makes
  // every alpha even, XOR with 0x01000000 flips it back to odd.
  CBufferDC layer;
  layer.CreateBufferDC(nullptr, CRect(0, 0, 3, 1));
  Bits(layer).setPixel(0, 0, 0x01000000);
  Bits(layer).setPixel(1, 0, 0xFF123456);
  Bits(layer).setPixel(2, 0, 0x00000000);
  CBufferDC mask;
  mask.CreateBufferDC(nullptr, CRect(0, 0, 3, 1));
  Bits(mask).fill(0xFEFFFFFF);
  ASSERT_EQ(mask.Paste(layer.GetBufferDC(), CRect(0, 0, 3, 1), SRCAND), 1);
  EXPECT_EQ(Bits(layer).pixel(0, 0), 0x00000000u);
  EXPECT_EQ(Bits(layer).pixel(1, 0), 0xFE123456u);
  Bits(mask).fill(0x01000000);
  mask.Paste(layer.GetBufferDC(), CRect(0, 0, 3, 1), SRCINVERT);
  EXPECT_EQ(Bits(layer).pixel(0, 0), 0x01000000u);
  EXPECT_EQ(Bits(layer).pixel(1, 0), 0xFF123456u);
  Bits(mask).fill(0x00FF0000);
  mask.Paste(layer.GetBufferDC(), CRect(0, 0, 3, 1), SRCPAINT);
  EXPECT_EQ(Bits(layer).pixel(2, 0), 0x01FF0000u);
}

TEST(BufferDC, TransparentAndAlphaBlendedPastes) {
  TestApp();
  CBufferDC buf;
  buf.CreateBufferDC(nullptr, CRect(0, 0, 2, 1));
  buf.SetBackColor(CRect(0, 0, 1, 1), RGB(255, 0, 255));
  buf.SetBackColor(CRect(1, 0, 2, 1), RGB(0, 255, 0));
  QImage target = Surface(4, 2, 0xFF0000FF);
  ASSERT_EQ(buf.PasteTransparentBlt(&target, CRect(0, 0, 4, 2), RGB(255, 0, 255)), 1);
  EXPECT_EQ(target.pixel(0, 0), 0xFF0000FFu);  // magenta left out
  EXPECT_EQ(target.pixel(1, 1), 0xFF0000FFu);
  EXPECT_EQ(target.pixel(2, 0), 0xFF00FF00u);
  EXPECT_EQ(target.pixel(3, 1), 0xFF00FF00u);

  CBufferDC white;
  white.CreateBufferDC(nullptr, CRect(0, 0, 10, 10));
  white.SetBackColor(CRect(0, 0, 10, 10), RGB(255, 255, 255));
  QImage dark = Surface(20, 20, 0xFF000000);
  ASSERT_EQ(white.PasteAlphaBlend(&dark, CRect(5, 5, 15, 15), 128), 1);
  EXPECT_EQ(qRed(dark.pixel(10, 10)), 128);
  EXPECT_EQ(dark.pixel(2, 2), 0xFF000000u);
  EXPECT_EQ(white.PasteAlphaBlend(nullptr, CRect(0, 0, 1, 1), 1), 0);
}

TEST(BufferDC, OutlineRectangle) {
  TestApp();
  CBufferDC buf;
  buf.CreateBufferDC(nullptr, CRect(0, 0, 30, 30));
  ASSERT_EQ(buf.DrawRect(CRect(5, 5, 20, 15), 1, RGB(255, 0, 0)), 1);
  const QImage& img = Bits(buf);
  EXPECT_EQ(img.pixel(12, 5), 0xFFFF0000u);
  EXPECT_EQ(img.pixel(20, 10), 0xFFFF0000u);
  EXPECT_EQ(img.pixel(12, 15), 0xFFFF0000u);
  EXPECT_EQ(img.pixel(5, 10), 0xFFFF0000u);
  EXPECT_EQ(img.pixel(4, 5), 0xFFFF0000u);  // the top line starts at left - 1
  EXPECT_EQ(img.pixel(12, 10), 0u);
}

TEST(SurfaceConversion, RGB32toRGB24PadsRowsAndLeavesOtherDepths) {
  BITMAPINFOHEADER h;
  h.biWidth = 3;
  h.biHeight = 2;
  h.biBitCount = 32;
  h.biSizeImage = 24;
  BYTE* bits = static_cast<BYTE*>(std::malloc(24));
  for (int i = 0; i < 24; ++i) bits[i] = static_cast<BYTE>(i);
  CGDISurface::RGB32toRGB24(bits, h);
  EXPECT_EQ(h.biBitCount, 24);
  EXPECT_EQ(h.biSizeImage, 24u);  // 3 × 3 = 9 bytes padded to 12, two rows
  const BYTE row0[12] = {0, 1, 2, 4, 5, 6, 8, 9, 10, 0, 0, 0};
  EXPECT_EQ(std::memcmp(bits, row0, 12), 0);
  EXPECT_EQ(bits[12], 12);
  EXPECT_EQ(bits[24], 0);  // the spare byte
  BYTE* before = bits;
  CGDISurface::RGB32toRGB24(bits, h);  // already 24: untouched
  EXPECT_EQ(bits, before);
  std::free(bits);
}

namespace {

// A window that paints itself from a buffer, the way owner-drawn windows do.
class BufferedWindow : public QWidget {
 public:
  CBufferDC buffer;
  CGdiDC gdi;
  int pasted = -1;

 protected:
  void paintEvent(QPaintEvent*) override {
    pasted = buffer.Paste(this, CRect(0, 0, width(), height()), SRCCOPY);
    buffer.PasteAlphaBlend(this, CRect(0, 0, 10, 10), 128);
    gdi.DrawFillRect(this, CPoint(30, 0), CPoint(40, 10), 0xFF0000FF);
  }
};

}  // namespace

TEST(BufferDC, WindowsPaintFromBuffersDuringTheirPaintEvent) {
  TestApp();
  BufferedWindow window;
  window.resize(40, 20);
  window.buffer.CreateBufferDC(nullptr, CRect(0, 0, 20, 10));
  window.buffer.SetBackColor(CRect(0, 0, 20, 10), RGB(255, 0, 0));
  window.buffer.SetBackColor(CRect(10, 0, 20, 10), RGB(0, 255, 0));
  const QImage shown = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(window.pasted, 1);
  // Stretched 2× by whole pixels, then the blend and the fill on top.
  EXPECT_EQ(shown.pixel(15, 15), qRgb(255, 0, 0));
  EXPECT_EQ(shown.pixel(25, 15), qRgb(0, 255, 0));
  EXPECT_EQ(shown.pixel(2, 5), qRgb(255, 0, 0));  // red blended over red
  EXPECT_NEAR(qRed(shown.pixel(7, 5)), 127, 1);    // green at half over red
  EXPECT_NEAR(qGreen(shown.pixel(7, 5)), 128, 1);
  EXPECT_EQ(shown.pixel(35, 5), qRgb(0, 0, 255));
  // Outside a paint event a window surface refuses drawing.
  EXPECT_EQ(window.buffer.Paste(&window, CRect(0, 0, 40, 20), SRCCOPY), 0);
}

namespace {

// A buffer of one-pixel black and white squares.
void FillChecker(CBufferDC& b, int w, int h) {
  b.CreateBufferDC(nullptr, CRect(0, 0, w, h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) Bits(b).setPixel(x, y, (x + y) % 2 ? 0xFFFFFFFF : 0xFF000000);
}

// How many pixels of the rectangle are neither black nor white, and how far
// the darkest and lightest green values lie apart.
struct Tones {
  int mixed = 0;
  int lo = 255, hi = 0;
};
Tones ToneOf(const QImage& image, const CRect& r) {
  Tones t;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x) {
      const int g = qGreen(image.pixel(x, y));
      t.mixed += g != 0 && g != 255;
      t.lo = std::min(t.lo, g);
      t.hi = std::max(t.hi, g);
    }
  return t;
}

}  // namespace

TEST(BufferDC, StretchModesBelongToEachMemoryContext) {
  TestApp();
  CBufferDC a;
  a.CreateBufferDC(nullptr, CRect(0, 0, 4, 4));
  QImage plain = Surface(4, 4);
  const struct {
    const char* what;
    HDC dc;
    int mode;
    int answer;
    int after;
  } cases[] = {
      {"a new context starts with colour on colour", a.GetBufferDC(), HALFTONE, COLORONCOLOR, HALFTONE},
      {"the previous mode comes back", a.GetBufferDC(), COLORONCOLOR, HALFTONE, COLORONCOLOR},
      {"an unknown mode is refused", a.GetBufferDC(), 1, 0, COLORONCOLOR},
      {"an image that is no context is refused", &plain, HALFTONE, 0, COLORONCOLOR},
      {"a null context is refused", nullptr, HALFTONE, 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SetStretchBltMode(c.dc, c.mode), c.answer) << c.what;
    EXPECT_EQ(GetStretchBltMode(c.dc), c.after) << c.what;
  }

  // A copy and a recreated context start afresh.
  SetStretchBltMode(a.GetBufferDC(), HALFTONE);
  CBufferDC copy(a);
  EXPECT_EQ(GetStretchBltMode(copy.GetBufferDC()), COLORONCOLOR);
  EXPECT_EQ(GetStretchBltMode(a.GetBufferDC()), HALFTONE);
  a.CreateBufferDC(nullptr, CRect(0, 0, 6, 6));
  EXPECT_EQ(GetStretchBltMode(a.GetBufferDC()), COLORONCOLOR);
}

TEST(BufferDC, StretchPasteFollowsTheTargetsStretchMode) {
  TestApp();
  CBufferDC checker;
  FillChecker(checker, 8, 8);
  const struct {
    const char* what;
    int mode;
    CRect dest, source;
    CRect probe;        // target pixels checked
    bool mixed;         // grey tones appear
    int lo, hi;         // range of the probed green values
  } cases[] = {
      // Halving: whole pixels keep one of the two colours, averaging gives grey.
      {"halved, colour on colour", COLORONCOLOR, CRect(0, 0, 4, 4), CRect(0, 0, 8, 8), CRect(0, 0, 4, 4), false, 0, 0},
      {"halved, halftone", HALFTONE, CRect(0, 0, 4, 4), CRect(0, 0, 8, 8), CRect(0, 0, 4, 4), true, 127, 128},
      // One to one nothing is averaged whatever the mode.
      {"one to one, halftone", HALFTONE, CRect(2, 2, 6, 6), CRect(0, 0, 4, 4), CRect(2, 2, 6, 6), false, 0, 255},
      // Reaching past the target's edge: the part inside is still averaged.
      {"clipped, halftone", HALFTONE, CRect(-2, -2, 2, 2), CRect(0, 0, 8, 8), CRect(0, 0, 2, 2), true, 127, 128},
      // Enlarging: whole pixels, or interpolated tones between them.
      {"doubled, colour on colour", COLORONCOLOR, CRect(0, 0, 8, 8), CRect(0, 0, 4, 4), CRect(0, 0, 8, 8), false, 0, 255},
      {"doubled, halftone", HALFTONE, CRect(0, 0, 8, 8), CRect(0, 0, 4, 4), CRect(0, 0, 8, 8), true, 0, 255},
  };
  for (const auto& c : cases) {
    CBufferDC target;
    target.CreateBufferDC(nullptr, CRect(0, 0, 8, 8));
    target.SetBackColor(CRect(0, 0, 8, 8), RGB(0, 0, 0));
    SetStretchBltMode(target.GetBufferDC(), c.mode);
    ASSERT_EQ(checker.StretchPaste(target.GetBufferDC(), c.dest, c.source), 1) << c.what;
    const Tones t = ToneOf(Bits(target), c.probe);
    EXPECT_EQ(t.mixed > 0, c.mixed) << c.what;
    EXPECT_GE(t.lo, c.lo) << c.what;
    EXPECT_LE(t.hi, c.hi) << c.what;
    if (!c.mixed) {
      EXPECT_EQ(t.lo == 0 && t.hi == 255, c.hi == 255) << c.what;
    }
    EXPECT_EQ(qAlpha(Bits(target).pixel(c.probe.left, c.probe.top)), 255) << c.what;
  }

  // The other transfers stretch by whole pixels even onto a halftone target.
  CBufferDC target;
  target.CreateBufferDC(nullptr, CRect(0, 0, 4, 4));
  SetStretchBltMode(target.GetBufferDC(), HALFTONE);
  ASSERT_EQ(checker.Paste(target.GetBufferDC(), CRect(0, 0, 4, 4), SRCCOPY), 1);
  EXPECT_EQ(ToneOf(Bits(target), CRect(0, 0, 4, 4)).mixed, 0);
}
