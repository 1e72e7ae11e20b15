// Camera frames as a device may deliver them, damaged included: the first
// bytes give the pixel format, size and row length the device claims, the
// rest is the frame. A frame converts to a picture of the claimed (or
// decoded) size with zeroed row padding, or is refused.
#include <cstring>
#include <vector>

#include "contracts/camera/pixel_convert.h"
#include "tests/fuzz/targets/fuzz_common.h"

namespace {

constexpr std::uint32_t kFormats[] = {FOURCC_MJPG, FOURCC_JPEG, FOURCC_YUYV, FOURCC_UYVY, FOURCC_NV12,
                                      FOURCC_YU12, FOURCC_GREY, FOURCC_RGB3, FOURCC_BGR3, 0};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 6) return 0;
  CRawFrame frame;
  frame.fourcc = kFormats[data[0] % (sizeof kFormats / sizeof kFormats[0])];
  frame.width = data[1] | ((data[2] & 0x03) << 8);   // up to 1023
  frame.height = data[3] | ((data[4] & 0x03) << 8);
  frame.bytesPerLine = data[5] < 0x80 ? 0 : frame.width * 3 + (data[5] - 0x80) - 64;
  // The frame in a block of its own size, so a read past it is caught.
  const std::vector<std::uint8_t> bytes(data + 6, data + size);
  frame.data = bytes.empty() ? nullptr : bytes.data();
  frame.size = bytes.size();

  static CFrameConverter converter;
  std::vector<std::uint8_t> out;
  int width = -1, height = -1;
  if (!converter.Convert(frame, out, width, height)) return 0;
  FUZZ_CHECK(width > 0 && height > 0);
  if (frame.fourcc != FOURCC_MJPG && frame.fourcc != FOURCC_JPEG)
    FUZZ_CHECK(width == frame.width && height == frame.height);
  const int stride = BgrStride(width);
  FUZZ_CHECK(out.size() == static_cast<std::size_t>(stride) * height);
  for (int row = 0; row < height; ++row)
    for (int x = width * 3; x < stride; ++x)
      FUZZ_CHECK(out[static_cast<std::size_t>(row) * stride + x] == 0);
  return 0;
}
