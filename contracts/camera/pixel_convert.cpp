#include "contracts/camera/pixel_convert.h"

#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// BT.601 studio-range conversion in 8-bit fixed point:
// R = (298(Y-16) + 409(V-128) + 128) >> 8, G = (298(Y-16) - 100(U-128) -
// 208(V-128) + 128) >> 8, B = (298(Y-16) + 516(U-128) + 128) >> 8.
inline std::uint8_t Clip8(int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

inline void YuvPixel(int y, int u, int v, std::uint8_t* out) {
  const int yy = 298 * (y - 16) + 128, d = u - 128, e = v - 128;
  out[0] = Clip8((yy + 516 * d) >> 8);
  out[1] = Clip8((yy - 100 * d - 208 * e) >> 8);
  out[2] = Clip8((yy + 409 * e) >> 8);
}

// Two pixels that share their chroma.
inline void YuvPair(int y0, int y1, int u, int v, std::uint8_t* out) {
  const int d = u - 128, e = v - 128;
  const int cb = 516 * d, cg = -100 * d - 208 * e, cr = 409 * e;
  const int a = 298 * (y0 - 16) + 128, b = 298 * (y1 - 16) + 128;
  out[0] = Clip8((a + cb) >> 8);
  out[1] = Clip8((a + cg) >> 8);
  out[2] = Clip8((a + cr) >> 8);
  out[3] = Clip8((b + cb) >> 8);
  out[4] = Clip8((b + cg) >> 8);
  out[5] = Clip8((b + cr) >> 8);
}

}  // namespace

void Yuv422ToBgrBottomUp(const std::uint8_t* src, int srcStride, int width, int height, bool uyvy,
                         std::uint8_t* dst) {
  const int stride = BgrStride(width);
  const int y0 = uyvy ? 1 : 0, u0 = uyvy ? 0 : 1, y1 = uyvy ? 3 : 2, v0 = uyvy ? 2 : 3;
  for (int row = 0; row < height; ++row) {
    const std::uint8_t* s = src + static_cast<std::size_t>(row) * srcStride;
    std::uint8_t* d = dst + static_cast<std::size_t>(height - 1 - row) * stride;
    int x = 0;
    for (; x + 1 < width; x += 2, s += 4, d += 6) YuvPair(s[y0], s[y1], s[u0], s[v0], d);
    if (x < width) YuvPixel(s[y0], s[u0], s[v0], d);
    std::memset(dst + static_cast<std::size_t>(height - 1 - row) * stride + width * 3, 0,
                stride - width * 3);
  }
}

void BgrToYuyv(const std::uint8_t* src, int srcStride, int width, int height, std::uint8_t* dst) {
  auto yOf = [](int b, int g, int r) { return ((66 * r + 129 * g + 25 * b + 128) >> 8) + 16; };
  auto uOf = [](int b, int g, int r) { return ((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128; };
  auto vOf = [](int b, int g, int r) { return ((112 * r - 94 * g - 18 * b + 128) >> 8) + 128; };
  const int dstStride = ((width + 1) & ~1) * 2;
  for (int row = 0; row < height; ++row) {
    const std::uint8_t* s = src + static_cast<std::size_t>(row) * srcStride;
    std::uint8_t* d = dst + static_cast<std::size_t>(row) * dstStride;
    for (int x = 0; x < width; x += 2, d += 4) {
      const std::uint8_t* p0 = s + x * 3;
      const std::uint8_t* p1 = x + 1 < width ? p0 + 3 : p0;
      const int b = (p0[0] + p1[0] + 1) >> 1, g = (p0[1] + p1[1] + 1) >> 1, r = (p0[2] + p1[2] + 1) >> 1;
      d[0] = static_cast<std::uint8_t>(yOf(p0[0], p0[1], p0[2]));
      d[1] = static_cast<std::uint8_t>(uOf(b, g, r));
      d[2] = static_cast<std::uint8_t>(yOf(p1[0], p1[1], p1[2]));
      d[3] = static_cast<std::uint8_t>(vOf(b, g, r));
    }
  }
}

CMjpgDecoder::CMjpgDecoder() : handle_(tjInitDecompress()) {}

CMjpgDecoder::~CMjpgDecoder() {
  if (handle_) tjDestroy(static_cast<tjhandle>(handle_));
}

bool CMjpgDecoder::Decode(const std::uint8_t* jpeg, std::size_t size, std::vector<std::uint8_t>& out,
                          int& width, int& height) {
  if (!handle_ || !jpeg || size < 4 || size > 0x7fffffffu) return false;
  auto h = static_cast<tjhandle>(handle_);
  int w = 0, ht = 0, subsamp = 0, colorspace = 0;
  if (tjDecompressHeader3(h, jpeg, static_cast<unsigned long>(size), &w, &ht, &subsamp, &colorspace) != 0)
    return false;
  if (w <= 0 || ht <= 0 || w > 16384 || ht > 16384) return false;
  const int stride = BgrStride(w);
  out.resize(static_cast<std::size_t>(stride) * ht);
  // Decoding into a padded, bottom-up picture; a warning (for instance a
  // truncated last scan) still leaves a usable frame.
  if (tjDecompress2(h, jpeg, static_cast<unsigned long>(size), out.data(), w, stride, ht, TJPF_BGR,
                    TJFLAG_BOTTOMUP) != 0 &&
      tjGetErrorCode(h) != TJERR_WARNING)
    return false;
  if (stride != w * 3)
    for (int row = 0; row < ht; ++row)
      std::memset(out.data() + static_cast<std::size_t>(row) * stride + w * 3, 0, stride - w * 3);
  width = w;
  height = ht;
  return true;
}

bool CFrameConverter::Convert(const CRawFrame& frame, std::vector<std::uint8_t>& out, int& width,
                              int& height) {
  if (!frame.data) return false;
  if (frame.fourcc == FOURCC_MJPG || frame.fourcc == FOURCC_JPEG)
    return jpeg_.Decode(frame.data, frame.size, out, width, height);

  const int w = frame.width, h = frame.height;
  if (w <= 0 || h <= 0 || w > 16384 || h > 16384) return false;
  int packed = 0;  // bytes of one packed source row
  std::size_t need = 0;
  switch (frame.fourcc) {
    case FOURCC_YUYV:
    case FOURCC_UYVY: packed = ((w + 1) & ~1) * 2; break;
    case FOURCC_GREY: packed = w; break;
    case FOURCC_RGB3:
    case FOURCC_BGR3: packed = w * 3; break;
    // An NV12 chroma row holds a U,V pair for every two pixels, so a row of
    // an odd width still needs an even number of bytes.
    case FOURCC_NV12: packed = (w + 1) & ~1; break;
    case FOURCC_YU12: packed = w; break;
    default: return false;
  }
  const int srcStride = frame.bytesPerLine > 0 ? frame.bytesPerLine : packed;
  if (srcStride < packed) return false;
  const std::size_t plane = static_cast<std::size_t>(srcStride) * h;
  need = plane;
  if (frame.fourcc == FOURCC_NV12) need = plane + static_cast<std::size_t>(srcStride) * ((h + 1) / 2);
  if (frame.fourcc == FOURCC_YU12)
    need = plane + 2 * static_cast<std::size_t>((srcStride + 1) / 2) * ((h + 1) / 2);
  if (frame.size < need) return false;

  const int stride = BgrStride(w);
  out.assign(static_cast<std::size_t>(stride) * h, 0);
  width = w;
  height = h;
  const std::uint8_t* s = frame.data;
  switch (frame.fourcc) {
    case FOURCC_YUYV:
    case FOURCC_UYVY: Yuv422ToBgrBottomUp(s, srcStride, w, h, frame.fourcc == FOURCC_UYVY, out.data()); break;
    case FOURCC_GREY:
      for (int row = 0; row < h; ++row) {
        const std::uint8_t* p = s + static_cast<std::size_t>(row) * srcStride;
        std::uint8_t* d = out.data() + static_cast<std::size_t>(h - 1 - row) * stride;
        for (int x = 0; x < w; ++x, d += 3) d[0] = d[1] = d[2] = p[x];
      }
      break;
    case FOURCC_RGB3:
    case FOURCC_BGR3: {
      const bool swap = frame.fourcc == FOURCC_RGB3;
      for (int row = 0; row < h; ++row) {
        const std::uint8_t* p = s + static_cast<std::size_t>(row) * srcStride;
        std::uint8_t* d = out.data() + static_cast<std::size_t>(h - 1 - row) * stride;
        if (!swap) {
          std::memcpy(d, p, static_cast<std::size_t>(w) * 3);
        } else {
          for (int x = 0; x < w; ++x, d += 3, p += 3) {
            d[0] = p[2];
            d[1] = p[1];
            d[2] = p[0];
          }
        }
      }
      break;
    }
    case FOURCC_NV12:
    case FOURCC_YU12: {
          const bool nv12 = frame.fourcc == FOURCC_NV12;
      const int cStride = nv12 ? srcStride : (srcStride + 1) / 2;
      const std::uint8_t* cb = s + plane;
      const std::uint8_t* cr = cb + static_cast<std::size_t>(cStride) * ((h + 1) / 2);
      for (int row = 0; row < h; ++row) {
        const std::uint8_t* py = s + static_cast<std::size_t>(row) * srcStride;
        const std::size_t crow = static_cast<std::size_t>(row / 2) * cStride;
        std::uint8_t* d = out.data() + static_cast<std::size_t>(h - 1 - row) * stride;
        for (int x = 0; x < w; ++x, d += 3) {
          const int u = nv12 ? cb[crow + (x & ~1)] : cb[crow + x / 2];
          const int v = nv12 ? cb[crow + (x & ~1) + 1] : cr[crow + x / 2];
          YuvPixel(py[x], u, v, d);
        }
      }
      break;
    }
    default: return false;
  }
  return true;
}
