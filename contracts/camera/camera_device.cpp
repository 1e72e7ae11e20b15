#include "contracts/camera/camera_device.h"

#include "contracts/camera/demo_camera.h"
#include "contracts/camera/v4l2_device.h"

#include <algorithm>
#include <cctype>

std::string FourccText(std::uint32_t fourcc) {
  std::string s;
  for (int i = 0; i < 4; ++i) s += static_cast<char>((fourcc >> (8 * i)) & 0xff);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

std::uint32_t FourccFromText(const std::string& text) {
  if (text.empty() || text.size() > 4) return 0;
  std::string s = text;
  s.resize(4, ' ');
  return MakeFourcc(s[0], s[1], s[2], s[3]);
}

std::string PixelFormatName(std::uint32_t fourcc) {
  return fourcc == FOURCC_YUYV ? std::string("YUY2") : FourccText(fourcc);
}

std::uint32_t PixelFormatFromName(const std::string& name) {
  std::string upper;
  for (char c : name) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper == "YUY2" || upper == "YUYV") return FOURCC_YUYV;
  if (upper == "MJPG" || upper == "MJPEG") return FOURCC_MJPG;
  if (upper == "RGB24") return FOURCC_BGR3;
  for (std::uint32_t f : {FOURCC_JPEG, FOURCC_UYVY, FOURCC_NV12, FOURCC_YU12, FOURCC_GREY, FOURCC_RGB3,
                          FOURCC_BGR3})
    if (upper == FourccText(f)) return f;
  if (upper == "I420") return FOURCC_YU12;
  return 0;
}

bool IsConvertibleFormat(std::uint32_t fourcc) {
  switch (fourcc) {
    case FOURCC_MJPG:
    case FOURCC_JPEG:
    case FOURCC_YUYV:
    case FOURCC_UYVY:
    case FOURCC_NV12:
    case FOURCC_YU12:
    case FOURCC_GREY:
    case FOURCC_RGB3:
    case FOURCC_BGR3: return true;
    default: return false;
  }
}

void NormaliseSizes(std::vector<CFrameSize>& sizes) {
  std::sort(sizes.begin(), sizes.end(), [](const CFrameSize& a, const CFrameSize& b) {
    const long long pa = 1LL * a.width * a.height, pb = 1LL * b.width * b.height;
    if (pa != pb) return pa < pb;
    if (a.width != b.width) return a.width < b.width;
    return a.maxFps > b.maxFps;
  });
  sizes.erase(std::unique(sizes.begin(), sizes.end(),
                          [](const CFrameSize& a, const CFrameSize& b) {
                            return a.width == b.width && a.height == b.height;
                          }),
              sizes.end());
}

std::vector<std::shared_ptr<ICameraProvider>> DefaultCameraProviders() {
  std::vector<std::shared_ptr<ICameraProvider>> providers;
  providers.push_back(std::make_shared<CV4L2Provider>(SystemV4L2Io()));
  if (CDemoCameraOptions demo = DemoCameraOptionsFromEnvironment(); demo.count > 0)
    providers.push_back(std::make_shared<CDemoCameraProvider>(std::move(demo)));
  return providers;
}
