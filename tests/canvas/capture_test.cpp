// Screen capture against a real X server (run under xvfb-run): a known
// pattern is put on the screen, captured and compared.

#include "canvas/gdisurface.h"
#include "canvas/screengrabber.h"

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr int kBlock = 64;

// The colour of screen pixel (x, y): flat 64 × 64 blocks, each different from its neighbours.
QRgb Pattern(int x, int y) {
  const int bx = x / kBlock, by = y / kBlock;
  return qRgb((bx * 37 + 20) & 0xFF, (by * 53 + 40) & 0xFF, ((bx + by) * 29 + 60) & 0xFF);
}

// Covers the whole screen with the pattern in an override-redirect window
// and parks the pointer at `pointer`.
class PatternScreen {
 public:
  explicit PatternScreen(CPoint pointer) {
    conn_ = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(conn_)) return;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data;
    width_ = screen->width_in_pixels;
    height_ = screen->height_in_pixels;
    const xcb_pixmap_t pixmap = xcb_generate_id(conn_);
    xcb_create_pixmap(conn_, screen->root_depth, pixmap, screen->root, width_, height_);
    const xcb_gcontext_t gc = xcb_generate_id(conn_);
    xcb_create_gc(conn_, gc, pixmap, 0, nullptr);
    for (int by = 0; by * kBlock < height_; ++by)
      for (int bx = 0; bx * kBlock < width_; ++bx) {
        const std::uint32_t colour = Pattern(bx * kBlock, by * kBlock) & 0xFFFFFF;
        xcb_change_gc(conn_, gc, XCB_GC_FOREGROUND, &colour);
        const xcb_rectangle_t r{static_cast<std::int16_t>(bx * kBlock), static_cast<std::int16_t>(by * kBlock),
                                kBlock, kBlock};
        xcb_poly_fill_rectangle(conn_, pixmap, gc, 1, &r);
      }
    window_ = xcb_generate_id(conn_);
    const std::uint32_t values[] = {pixmap, 1};
    xcb_create_window(conn_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, width_, height_, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(conn_, window_);
    xcb_warp_pointer(conn_, XCB_NONE, screen->root, 0, 0, 0, 0, static_cast<std::int16_t>(pointer.x),
                     static_cast<std::int16_t>(pointer.y));
    xcb_free_gc(conn_, gc);
    xcb_free_pixmap(conn_, pixmap);
    std::free(xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr));  // round trip
    ok_ = true;
  }
  ~PatternScreen() {
    if (conn_) xcb_disconnect(conn_);
  }
  bool ok() const { return ok_; }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  xcb_connection_t* conn_ = nullptr;
  xcb_window_t window_ = 0;
  int width_ = 0;
  int height_ = 0;
  bool ok_ = false;
};

// Red, green, blue of picture pixel (x, y) of packed or padded bottom-up rows.
QRgb BottomUp(const BYTE* bits, int stride, int height, int x, int y) {
  const BYTE* p = bits + static_cast<size_t>(height - 1 - y) * stride + x * 3;
  return qRgb(p[2], p[1], p[0]);
}

// Pixels of the picture that differ from the pattern at `origin`.
int Differences(const QImage& image, CPoint origin) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      n += (image.pixel(x, y) & 0xFFFFFF) != (Pattern(origin.x + x, origin.y + y) & 0xFFFFFF);
  return n;
}

const CPoint kPointer(1000, 900);

}  // namespace

TEST(ScreenCapture, PatternHeadersClippingPointerAndBothTransports) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (run through ctest: xvfb-run)";
  PatternScreen screen(kPointer);
  ASSERT_TRUE(screen.ok());

  CGDISurface surface;
  BYTE* bits = nullptr;
  BITMAPINFOHEADER header;
  EXPECT_EQ(surface.GetSurfaceData(CRect(0, 0, 10, 10), bits, header), 0);  // before Init
  ASSERT_EQ(surface.Init(), 1);
  ASSERT_NE(surface.Grabber(), nullptr);
  EXPECT_TRUE(surface.Grabber()->UsesSharedMemory());
  EXPECT_EQ(surface.Grabber()->ScreenSize(), CSize(screen.width(), screen.height()));

  // A picture of an area away from the pointer equals the pattern.
  QImage image;
  ASSERT_EQ(surface.GetSurfaceImage(CRect(100, 100, 420, 340), image), 1);
  EXPECT_EQ(image.size(), QSize(320, 240));
  EXPECT_EQ(Differences(image, CPoint(100, 100)), 0);

  // Padded bottom-up rows with their header: 201 pixels make 603 bytes, padded to 604.
  ASSERT_EQ(surface.GetSurfaceData(CRect(100, 100, 301, 200), bits, header), 1);
  EXPECT_EQ(header.biSize, 40u);
  EXPECT_EQ(header.biWidth, 201);
  EXPECT_EQ(header.biHeight, 100);
  EXPECT_EQ(header.biPlanes, 1);
  EXPECT_EQ(header.biBitCount, 24);
  EXPECT_EQ(header.biSizeImage, 604u * 100u);
  EXPECT_EQ(BottomUp(bits, 604, 100, 0, 99), Pattern(100, 199));
  EXPECT_EQ(BottomUp(bits, 604, 100, 200, 0), Pattern(300, 100));
  EXPECT_EQ(bits[604 * 100], 0);  // the spare byte

  // Partly off the screen: clipped. Wholly off: refused, the buffer left as it was.
  ASSERT_EQ(surface.GetSurfaceImage(CRect(screen.width() - 120, screen.height() - 80, screen.width() + 200,
                                          screen.height() + 200),
                                    image),
            1);
  EXPECT_EQ(image.size(), QSize(120, 80));
  EXPECT_EQ(image.pixel(10, 10) & 0xFFFFFF, Pattern(screen.width() - 110, screen.height() - 70) & 0xFFFFFF);
  ASSERT_EQ(surface.GetSurfaceData(CRect(-50, -50, 10, 20), bits, header), 1);
  EXPECT_EQ(header.biWidth, 10);
  EXPECT_EQ(header.biHeight, 20);
  BYTE* const kept = bits;
  EXPECT_EQ(surface.GetSurfaceData(CRect(screen.width(), 0, screen.width() + 50, 50), bits, header), 0);
  EXPECT_EQ(bits, kept);
  int w = 0, h = 0, size = 0;
  EXPECT_EQ(surface.GetSurfaceData24(CRect(-100, -100, -1, -1), w, h, bits, size), 0);
  EXPECT_EQ(bits, kept);
  std::free(bits);

  // The pointer is drawn where it is, and only there.
  const CRect around(kPointer.x - 40, kPointer.y - 40, kPointer.x + 40, kPointer.y + 40);
  ASSERT_EQ(surface.GetSurfaceImage(around, image), 1);
  EXPECT_GT(Differences(image, around.TopLeft()), 20);
  CScreenGrabber grabber;
  ASSERT_TRUE(grabber.Open());
  CScreenGrabber::Frame frame;
  ASSERT_TRUE(grabber.Grab(around, frame, nullptr, false));
  const QImage noPointer(frame.pixels, frame.width, frame.height, frame.stride, QImage::Format_RGB32);
  EXPECT_EQ(Differences(noPointer, around.TopLeft()), 0);

  // Shared memory and plain replies deliver the same pixels.
  CScreenGrabber plain;
  ASSERT_TRUE(plain.Open());
  plain.SetUseSharedMemory(false);
  EXPECT_FALSE(plain.UsesSharedMemory());
  const CRect area(500, 300, 900, 600);
  ASSERT_TRUE(grabber.Grab(area, frame));
  const QImage viaShm = QImage(frame.pixels, frame.width, frame.height, frame.stride, QImage::Format_RGB32).copy();
  CRect clipped;
  ASSERT_TRUE(plain.Grab(area, frame, &clipped));
  EXPECT_EQ(clipped, area);
  const QImage viaReply(frame.pixels, frame.width, frame.height, frame.stride, QImage::Format_RGB32);
  EXPECT_EQ(Differences(viaShm, area.TopLeft()), 0);
  EXPECT_EQ(Differences(viaReply, area.TopLeft()), 0);
  EXPECT_TRUE(grabber.UsesSharedMemory());
}

TEST(ScreenCapture, ScaledFramesLogoAndWholeNumberEnlargement) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (run through ctest: xvfb-run)";
  PatternScreen screen(kPointer);
  ASSERT_TRUE(screen.ok());
  CGDISurface surface;
  ASSERT_EQ(surface.Init(), 1);
  const CRect area(0, 0, 640, 360);
  BYTE* bits = nullptr;
  int w = 0, h = 0, size = 0;

  // 0 × 0 asks for the captured size; packed rows, bottom-up.
  ASSERT_EQ(surface.GetSurfaceData24(area, w, h, bits, size), 1);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 360);
  EXPECT_EQ(size, 640 * 360 * 3);
  EXPECT_EQ(BottomUp(bits, 640 * 3, 360, 0, 0), Pattern(0, 0));
  EXPECT_EQ(BottomUp(bits, 640 * 3, 360, 639, 359), Pattern(639, 359));
  EXPECT_EQ(bits[size], 0);

  // Twice the size: never enlarged.
  w = 1280;
  h = 720;
  ASSERT_EQ(surface.GetSurfaceData24(area, w, h, bits, size), 1);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 360);

  // Half the width, full height: scaled by 0.5 and centred vertically.
  w = 320;
  h = 360;
  ASSERT_EQ(surface.GetSurfaceData24(area, w, h, bits, size), 1);
  ASSERT_EQ(w, 320);
  ASSERT_EQ(h, 360);
  EXPECT_EQ(BottomUp(bits, 320 * 3, 360, 100, 50), qRgb(0, 0, 0));
  EXPECT_EQ(BottomUp(bits, 320 * 3, 360, 100, 300), qRgb(0, 0, 0));
  for (int by = 0; by < 5; ++by)
    for (int bx = 0; bx < 10; ++bx)
      EXPECT_EQ(BottomUp(bits, 320 * 3, 360, bx * 32 + 16, 90 + by * 32 + 16), Pattern(bx * kBlock, by * kBlock))
          << bx << "," << by;
  std::free(bits);
  bits = nullptr;

  // The logo: on the first 75 frames after Init, top-right corner 16 pixels in.
  QImage logoPicture(20, 20, QImage::Format_ARGB32);
  logoPicture.fill(0xFFFF00FF);
  CGdiImage logo;
  ASSERT_EQ(logo.NewImageFormImage(&logoPicture, 20, 20), 1);
  surface.SetGdiImage(&logo);
  EXPECT_EQ(surface.GetGdiImage(), &logo);
  ASSERT_EQ(surface.Init(), 1);
  const QRgb magenta = qRgb(255, 0, 255);
  for (int frame = 1; frame <= 76; ++frame) {
    w = h = 0;
    ASSERT_EQ(surface.GetSurfaceData24(area, w, h, bits, size), 1);
    const QRgb inLogo = BottomUp(bits, w * 3, h, 640 - 16 - 20, 16);
    const QRgb corner = BottomUp(bits, w * 3, h, 640 - 16 - 1, 16 + 19);
    const QRgb beside = BottomUp(bits, w * 3, h, 640 - 16, 16);
    if (frame <= 75) {
      ASSERT_EQ(inLogo, magenta) << "frame " << frame;
      ASSERT_EQ(corner, magenta) << "frame " << frame;
    } else {
      EXPECT_EQ(inLogo, Pattern(640 - 36, 16)) << "frame " << frame;
    }
    ASSERT_EQ(beside, Pattern(640 - 16, 16));
  }
  std::free(bits);
  bits = nullptr;
  surface.Close();
  EXPECT_EQ(surface.GetSurfaceData24(area, w, h, bits, size), 0);

  // The second surface enlarges by whole numbers, centred.
  CDXSurface dx;
  ASSERT_EQ(dx.Init(), 1);
  const CRect small(128, 64, 228, 114);  // 100 × 50
  w = 210;
  h = 110;
  ASSERT_EQ(dx.GetSurfaceData24(small, w, h, bits, size), 1);
  ASSERT_EQ(w, 210);
  ASSERT_EQ(h, 110);
  EXPECT_EQ(BottomUp(bits, 630, 110, 2, 2), qRgb(0, 0, 0));
  EXPECT_EQ(BottomUp(bits, 630, 110, 5, 5), Pattern(128, 64));
  EXPECT_EQ(BottomUp(bits, 630, 110, 5 + 2 * 99 + 1, 5 + 2 * 49 + 1), Pattern(227, 113));
  EXPECT_EQ(BottomUp(bits, 630, 110, 207, 107), qRgb(0, 0, 0));
  w = h = 0;
  ASSERT_EQ(dx.GetSurfaceData24(small, w, h, bits, size), 1);
  EXPECT_EQ(w, 100);
  EXPECT_EQ(h, 50);
  w = 50;
  h = 50;
  ASSERT_EQ(dx.GetSurfaceData24(small, w, h, bits, size), 1);  // smaller: shrunk to fit
  EXPECT_EQ(w, 50);
  EXPECT_EQ(BottomUp(bits, 150, 50, 25, 5), qRgb(0, 0, 0));
  BITMAPINFOHEADER header;
  ASSERT_EQ(dx.GetSurfaceData(small, bits, header), 1);
  EXPECT_EQ(header.biWidth, 100);
  EXPECT_EQ(BottomUp(bits, 300, 50, 0, 0), Pattern(128, 64));
  std::free(bits);
}
