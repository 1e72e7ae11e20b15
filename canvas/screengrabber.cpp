#include "canvas/screengrabber.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

struct CScreenGrabber::Impl {
  xcb_connection_t* conn = nullptr;
  xcb_window_t root = 0;
  bool shmAvailable = false;
  bool useShm = true;
  bool xfixes = false;
  // Shared segment.
  int shmId = -1;
  std::uint8_t* shmAddr = nullptr;
  xcb_shm_seg_t shmSeg = 0;
  size_t shmSize = 0;
  // Reply of the last plain GetImage (owns the pixels handed out).
  xcb_get_image_reply_t* imageReply = nullptr;

  void FreeShm() {
    if (shmAddr) {
      if (conn) xcb_shm_detach(conn, shmSeg);
      shmdt(shmAddr);
      shmAddr = nullptr;
    }
    if (shmId >= 0) {
      shmctl(shmId, IPC_RMID, nullptr);
      shmId = -1;
    }
    shmSize = 0;
  }

  bool EnsureShm(size_t size) {
    if (shmAddr && shmSize >= size) return true;
    FreeShm();
    shmId = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (shmId < 0) return false;
    void* addr = shmat(shmId, nullptr, 0);
    if (addr == reinterpret_cast<void*>(-1)) {
      shmctl(shmId, IPC_RMID, nullptr);
      shmId = -1;
      return false;
    }
    shmAddr = static_cast<std::uint8_t*>(addr);
    shmSeg = xcb_generate_id(conn);
    xcb_generic_error_t* err = xcb_request_check(conn, xcb_shm_attach_checked(conn, shmSeg, shmId, 0));
    // The server holds its own attachment now; the segment goes when both detach.
    shmctl(shmId, IPC_RMID, nullptr);
    shmId = -1;
    if (err) {
      std::free(err);
      shmdt(shmAddr);
      shmAddr = nullptr;
      return false;
    }
    shmSize = size;
    return true;
  }

  void FreeReply() {
    std::free(imageReply);
    imageReply = nullptr;
  }
};

CScreenGrabber::CScreenGrabber() : d_(std::make_unique<Impl>()) {}
CScreenGrabber::~CScreenGrabber() { Close(); }

bool CScreenGrabber::Open(const char* display) {
  Close();
  int screenNumber = 0;
  xcb_connection_t* conn = xcb_connect(display, &screenNumber);
  if (!conn || xcb_connection_has_error(conn)) {
    if (conn) xcb_disconnect(conn);
    return false;
  }
  const xcb_setup_t* setup = xcb_get_setup(conn);
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
  for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
  if (!it.rem) {
    xcb_disconnect(conn);
    return false;
  }
  const xcb_screen_t* screen = it.data;
  // Only 24-bit colour stored as 32-bit little-endian pixels is handled.
  int bpp = 0;
  for (xcb_format_iterator_t f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
    if (f.data->depth == screen->root_depth) bpp = f.data->bits_per_pixel;
  if ((screen->root_depth != 24 && screen->root_depth != 32) || bpp != 32 ||
      setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) {
    xcb_disconnect(conn);
    return false;
  }
  d_->conn = conn;
  d_->root = screen->root;

  const xcb_query_extension_reply_t* shm = xcb_get_extension_data(conn, &xcb_shm_id);
  if (shm && shm->present) {
    xcb_shm_query_version_reply_t* v = xcb_shm_query_version_reply(conn, xcb_shm_query_version(conn), nullptr);
    d_->shmAvailable = v != nullptr;
    std::free(v);
  }
  const xcb_query_extension_reply_t* fixes = xcb_get_extension_data(conn, &xcb_xfixes_id);
  if (fixes && fixes->present) {
    xcb_xfixes_query_version_reply_t* v =
        xcb_xfixes_query_version_reply(conn, xcb_xfixes_query_version(conn, 4, 0), nullptr);
    d_->xfixes = v != nullptr;
    std::free(v);
  }
  return true;
}

void CScreenGrabber::Close() {
  if (!d_->conn) return;
  d_->FreeShm();
  d_->FreeReply();
  xcb_disconnect(d_->conn);
  d_->conn = nullptr;
  d_->shmAvailable = false;
  d_->xfixes = false;
}

bool CScreenGrabber::IsOpen() const { return d_->conn != nullptr; }
void CScreenGrabber::SetUseSharedMemory(bool use) { d_->useShm = use; }
bool CScreenGrabber::UsesSharedMemory() const { return d_->conn && d_->shmAvailable && d_->useShm; }

CSize CScreenGrabber::ScreenSize() {
  if (!d_->conn) return {};
  xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(d_->conn, xcb_get_geometry(d_->conn, d_->root), nullptr);
  if (!g) return {};
  const CSize size(g->width, g->height);
  std::free(g);
  return size;
}

namespace {

// Blends the premultiplied ARGB cursor image over the frame.
void DrawPointer(const xcb_xfixes_get_cursor_image_reply_t* cursor, const CRect& area,
                 const CScreenGrabber::Frame& frame) {
  const std::uint32_t* img = xcb_xfixes_get_cursor_image_cursor_image(cursor);
  const int left = cursor->x - cursor->xhot - area.left;
  const int top = cursor->y - cursor->yhot - area.top;
  for (int cy = 0; cy < cursor->height; ++cy) {
    const int y = top + cy;
    if (y < 0 || y >= frame.height) continue;
    auto* row = reinterpret_cast<std::uint32_t*>(frame.pixels + static_cast<size_t>(y) * frame.stride);
    for (int cx = 0; cx < cursor->width; ++cx) {
      const int x = left + cx;
      if (x < 0 || x >= frame.width) continue;
      const std::uint32_t s = img[cy * cursor->width + cx];
      const std::uint32_t a = s >> 24;
      if (a == 0) continue;
      const std::uint32_t dpx = row[x];
      std::uint32_t out = 0xFF000000;
      for (int shift = 0; shift < 24; shift += 8) {
        const std::uint32_t sc = (s >> shift) & 0xFF, dc = (dpx >> shift) & 0xFF;
        out |= std::min<std::uint32_t>(255, sc + (dc * (255 - a) + 127) / 255) << shift;
      }
      row[x] = out;
    }
  }
}

}  // namespace

bool CScreenGrabber::Grab(const CRect& area, Frame& frame, CRect* clipped, bool withPointer) {
  if (!d_->conn) return false;
  const CSize screen = ScreenSize();
  CRect r;
  if (!r.IntersectRect(area, CRect(0, 0, screen.cx, screen.cy))) return false;
  if (clipped) *clipped = r;
  const size_t bytes = static_cast<size_t>(r.Width()) * r.Height() * 4;

  // Ask for the pointer first so both replies travel in one round trip.
  xcb_xfixes_get_cursor_image_cookie_t cursorCookie{};
  const bool pointer = withPointer && d_->xfixes;
  if (pointer) cursorCookie = xcb_xfixes_get_cursor_image(d_->conn);

  bool grabbed = false;
  if (UsesSharedMemory() && d_->EnsureShm(bytes)) {
    xcb_shm_get_image_reply_t* reply = xcb_shm_get_image_reply(
        d_->conn,
        xcb_shm_get_image(d_->conn, d_->root, static_cast<std::int16_t>(r.left), static_cast<std::int16_t>(r.top),
                          static_cast<std::uint16_t>(r.Width()), static_cast<std::uint16_t>(r.Height()), ~0u,
                          XCB_IMAGE_FORMAT_Z_PIXMAP, d_->shmSeg, 0),
        nullptr);
    if (reply) {
      std::free(reply);
      frame = {d_->shmAddr, r.Width(), r.Height(), r.Width() * 4};
      grabbed = true;
    } else {
      // The server refused shared memory: stay with plain replies from now on.
      d_->FreeShm();
      d_->shmAvailable = false;
    }
  }
  if (!grabbed) {
    d_->FreeReply();
    d_->imageReply = xcb_get_image_reply(
        d_->conn,
        xcb_get_image(d_->conn, XCB_IMAGE_FORMAT_Z_PIXMAP, d_->root, static_cast<std::int16_t>(r.left),
                      static_cast<std::int16_t>(r.top), static_cast<std::uint16_t>(r.Width()),
                      static_cast<std::uint16_t>(r.Height()), ~0u),
        nullptr);
    if (d_->imageReply && static_cast<size_t>(xcb_get_image_data_length(d_->imageReply)) >= bytes) {
      frame = {xcb_get_image_data(d_->imageReply), r.Width(), r.Height(), r.Width() * 4};
      grabbed = true;
    }
  }
  if (pointer) {
    xcb_xfixes_get_cursor_image_reply_t* cursor =
        xcb_xfixes_get_cursor_image_reply(d_->conn, cursorCookie, nullptr);
    if (cursor && grabbed) DrawPointer(cursor, r, frame);
    std::free(cursor);
  }
  return grabbed;
}

// ---------------------------------------------------------------------------
// Scaling into packed 24-bit bottom-up pictures

namespace {

// Fixed-point shares: rows are combined with 8-bit weights (sums of whole
// bytes stay within 16 bits), columns with 12-bit weights.
constexpr int kRowWeightOne = 1 << 8;
constexpr int kColWeightOne = 1 << 12;

// For each output index, the source pixels it covers and their share
// (fixed point, summing exactly to `one`).
struct Taps {
  std::vector<int> first;
  std::vector<int> count;
  std::vector<int> offset;
  std::vector<std::uint16_t> weight;
};

Taps AreaTaps(int srcLen, int dstLen, int one) {
  Taps t;
  t.first.resize(dstLen);
  t.count.resize(dstLen);
  t.offset.resize(dstLen);
  const double scale = static_cast<double>(srcLen) / dstLen;
  for (int i = 0; i < dstLen; ++i) {
    double a = i * scale, b = (i + 1) * scale;
    if (scale < 1.0) {
      // Enlarging: a one-pixel-wide window centred on the output pixel.
      const double c = (i + 0.5) * scale;
      a = std::max(0.0, c - 0.5);
      b = std::min<double>(srcLen, c + 0.5);
    }
    const int s0 = std::clamp(static_cast<int>(std::floor(a)), 0, srcLen - 1);
    const int s1 = std::clamp(static_cast<int>(std::ceil(b)), s0 + 1, srcLen);
    t.first[i] = s0;
    t.offset[i] = static_cast<int>(t.weight.size());
    const double span = b - a;
    int sum = 0, best = 0, bestIndex = 0, n = 0;
    for (int k = s0; k < s1; ++k) {
      const double overlap = std::min(b, k + 1.0) - std::max(a, static_cast<double>(k));
      const int w = span > 0 ? static_cast<int>(std::lround(overlap / span * one)) : one;
      if (w <= 0) {
        if (n == 0) continue;  // a sliver before the first real share
        break;
      }
      if (n == 0) t.first[i] = k;
      t.weight.push_back(static_cast<std::uint16_t>(w));
      sum += w;
      if (w > best) {
        best = w;
        bestIndex = n;
      }
      ++n;
    }
    if (n == 0) {
      t.weight.push_back(static_cast<std::uint16_t>(one));
      n = 1;
      sum = one;
    }
    // Rounding leftovers go to the largest share, so flat colours stay exact.
    std::uint16_t& largest = t.weight[t.offset[i] + bestIndex];
    largest = static_cast<std::uint16_t>(largest + one - sum);
    t.count[i] = n;
  }
  return t;
}

inline std::uint8_t* OutRow(std::uint8_t* out, int outW, int outH, int row) {
  return out + static_cast<size_t>(outH - 1 - row) * outW * 3;
}

}  // namespace

void ScaleFrameHalftone(const CScreenGrabber::Frame& src, std::uint8_t* out, int outW, int outH, int x, int y,
                        int w, int h) {
  if (!src.pixels || !out || src.width <= 0 || src.height <= 0 || w <= 0 || h <= 0) return;
  if (w == src.width && h == src.height) {
    ScaleFrameNearest(src, out, outW, outH, x, y, w, h);
    return;
  }
  const int col0 = std::max(0, -x), col1 = std::min(w, outW - x);
  if (col0 >= col1) return;
  const Taps tx = AreaTaps(src.width, w, kColWeightOne);
  const Taps ty = AreaTaps(src.height, h, kRowWeightOne);
  // Rows first: whole source rows (4 bytes a pixel) weighted into one
  // 16-bit row, a loop the compiler vectorises; then columns on that row.
  const size_t rowValues = static_cast<size_t>(src.width) * 4;
  std::vector<std::uint16_t> merged(rowValues);
  for (int j = 0; j < h; ++j) {
    const int row = y + j;
    if (row < 0 || row >= outH) continue;
    const std::uint16_t* wy = ty.weight.data() + ty.offset[j];
    std::uint16_t* m = merged.data();
    {
      const std::uint8_t* s = src.pixels + static_cast<size_t>(ty.first[j]) * src.stride;
      const std::uint16_t weight = wy[0];
      for (size_t i = 0; i < rowValues; ++i) m[i] = static_cast<std::uint16_t>(s[i] * weight);
    }
    for (int k = 1; k < ty.count[j]; ++k) {
      const std::uint8_t* s = src.pixels + static_cast<size_t>(ty.first[j] + k) * src.stride;
      const std::uint16_t weight = wy[k];
      for (size_t i = 0; i < rowValues; ++i) m[i] = static_cast<std::uint16_t>(m[i] + s[i] * weight);
    }
    std::uint8_t* o = OutRow(out, outW, outH, row) + static_cast<size_t>(x) * 3;
    for (int i = col0; i < col1; ++i) {
      const std::uint16_t* p = m + static_cast<size_t>(tx.first[i]) * 4;
      const std::uint16_t* wx = tx.weight.data() + tx.offset[i];
      std::uint32_t b = 0, g = 0, r = 0;
      for (int k = 0; k < tx.count[i]; ++k, p += 4) {
        b += static_cast<std::uint32_t>(p[0]) * wx[k];
        g += static_cast<std::uint32_t>(p[1]) * wx[k];
        r += static_cast<std::uint32_t>(p[2]) * wx[k];
      }
      o[3 * i] = static_cast<std::uint8_t>((b + (1u << 19)) >> 20);
      o[3 * i + 1] = static_cast<std::uint8_t>((g + (1u << 19)) >> 20);
      o[3 * i + 2] = static_cast<std::uint8_t>((r + (1u << 19)) >> 20);
    }
  }
}

void ScaleFrameNearest(const CScreenGrabber::Frame& src, std::uint8_t* out, int outW, int outH, int x, int y, int w,
                       int h) {
  if (!src.pixels || !out || src.width <= 0 || src.height <= 0 || w <= 0 || h <= 0) return;
  const int col0 = std::max(0, -x), col1 = std::min(w, outW - x);
  if (col0 >= col1) return;
  std::vector<int> xs(w);
  for (int i = 0; i < w; ++i)
    xs[i] = static_cast<int>((static_cast<std::int64_t>(i) * 2 + 1) * src.width / (2 * static_cast<std::int64_t>(w)));
  for (int j = 0; j < h; ++j) {
    const int row = y + j;
    if (row < 0 || row >= outH) continue;
    const int sy = static_cast<int>((static_cast<std::int64_t>(j) * 2 + 1) * src.height / (2 * static_cast<std::int64_t>(h)));
    const std::uint8_t* s = src.pixels + static_cast<size_t>(sy) * src.stride;
    std::uint8_t* o = OutRow(out, outW, outH, row) + static_cast<size_t>(x) * 3;
    for (int i = col0; i < col1; ++i) {
      const std::uint8_t* p = s + xs[i] * 4;
      o[3 * i] = p[0];
      o[3 * i + 1] = p[1];
      o[3 * i + 2] = p[2];
    }
  }
}
