#pragma once
// Turns raw camera frames into 24-bit pictures with bottom-up rows padded
// to 4 bytes (blue, green, red), the form every frame record carries.

#include "contracts/camera/camera_device.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Bytes per row of a 24-bit picture of that width (padded to 4).
inline int BgrStride(int width) { return (width * 3 + 3) & ~3; }

// Decodes JPEG frames with libjpeg-turbo straight into bottom-up BGR.
class CMjpgDecoder {
 public:
  CMjpgDecoder();
  ~CMjpgDecoder();
  CMjpgDecoder(const CMjpgDecoder&) = delete;
  CMjpgDecoder& operator=(const CMjpgDecoder&) = delete;
  // Sizes `out` and fills it; false for data that is not a decodable JPEG.
  bool Decode(const std::uint8_t* jpeg, std::size_t size, std::vector<std::uint8_t>& out,
              int& width, int& height);

 private:
  void* handle_;
};

// Converts any frame of a convertible format (MJPG/JPEG, YUYV, UYVY, NV12,
// YU12, GREY, RGB3, BGR3). The picture's size is the frame's, or the
// decoded JPEG's. False for short or broken frames and unknown formats.
class CFrameConverter {
 public:
  bool Convert(const CRawFrame& frame, std::vector<std::uint8_t>& out, int& width, int& height);

 private:
  CMjpgDecoder jpeg_;
};

// Packed 4:2:2 (Y0 U Y1 V, or U Y0 V Y1 when `uyvy`) to bottom-up BGR, with
// the integer BT.601 studio-range formulas. `srcStride` bytes per source row.
void Yuv422ToBgrBottomUp(const std::uint8_t* src, int srcStride, int width, int height, bool uyvy,
                         std::uint8_t* dst);
// Top-down BGR (stride `srcStride`) to packed YUYV with the inverse formulas.
void BgrToYuyv(const std::uint8_t* src, int srcStride, int width, int height, std::uint8_t* dst);
